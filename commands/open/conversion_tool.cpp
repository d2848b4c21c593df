// Open with the conversion tool: availability from the selection, the copies of the selected
// documents and the file list that hands them to the tool.
#include <string>
#include <vector>

#include "convutils/resource.h"
#include "commands/execute_guard.h"
#include "commands/command_run.h"
#include "commands/open/open_in_cnv.h"
#include "commands/selected_items.h"
#include "convutils/conv_utils.h"
#include "convutils/log.h"
#include "convutils/settings.h"
#include "convutils/temp_files.h"
#include "convutils/usage_analytics.h"
#include "dms/doc_select.h"
#include "dms/working_copy.h"
#include "ui/progress_window.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\OpenPDF");

constexpr wchar_t kSection[] = L"FILES";
constexpr int kDMSLinkID = 768;

// Writes a piece of the file list: UTF-16 little-endian, no byte order mark. False when it
// was not written whole.
bool WriteList(const Handle& list, const std::wstring& text) {
  DWORD written = 0;
  const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (WriteFile(list.Get(), text.data(), bytes, &written, nullptr) && written == bytes)
    return true;
  kLog.Error("Cannot write the file list: %d", static_cast<int>(GetLastError()));
  return false;
}

// The profile functions read UTF-16 only behind a byte order mark, and the tool wants the
// list without one. A list about to be deleted gets the mark first so that it can be read.
void MarkAsUnicode(const std::wstring& path) {
  Handle owned(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!owned) return;
  const HANDLE file = owned.Get();
  LARGE_INTEGER size = {};
  std::string bytes;
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < (1 << 24)) {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
      read = 0;
    bytes.resize(read);
  }
  if (bytes.size() >= 2 && !(bytes[0] == '\xFF' && bytes[1] == '\xFE')) {
    bytes.insert(0, "\xFF\xFE");
    DWORD written = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

}  // namespace

HRESULT COpenInCnv_I::OnUpdate() {
  LONG status = kDisabled;
  if (!SelectionStatusOf(
          [](const std::wstring& extension) {
            return SameTextNoCase(extension, L"PDF") || SameTextNoCase(extension, L"XPS") ||
                   SameTextNoCase(extension, L"OXPS");
          },
          status))
    return S_OK;
  put_Status(status);
  return S_OK;
}

HRESULT COpenInCnv_I::OnExecute() {
  const OneRunAtATime run(m_langOffset);
  if (run.Refused()) return S_OK;
  HRESULT result = S_OK;
  RunOutcome outcome(IDS_NOT_FINISHED_OPENED, IDS_OPENINCNV_MENU, m_langOffset,
                     IDS_NOT_OPENED_COUNT);
  // A run that ends here before the tool has the list opens nothing.
  const auto failed = [&](HRESULT hr) {
    result = hr;
    outcome.Failed(IDS_REASON_UNEXPECTED);
  };
  const bool finished = RunGuarded(kLog, [&] {
    ReportCommandUsage(L"Open", L"Conversion Desk");

    Variant selection;
    LONG lower = 0, upper = -1;
    SelectionFault fault = SelectionFault::kNone;
    HRESULT hr = ReadSelection(selection, lower, upper, &fault);
    if (hr == S_FALSE) {
      if (BoundsUnreadable(fault)) outcome.Failed(IDS_REASON_UNEXPECTED);
      return;
    }
    if (FAILED(hr)) return failed(hr);
    if (upper - lower + 1 <= 0) return;  // nothing selected: nothing is written

    // Until the tool has the list, the list and the copies are ours to delete; the list's
    // handle is closed before its file goes.
    OwnedFile listFile;
    Handle list;
    std::vector<WorkingCopy> copies;
    // The list's name is free as a PDF name; as a text name it is tried a few times.
    constexpr int kListNameTries = 10;
    std::wstring listPath;
    for (int attempt = 0; attempt < kListNameTries && !list; ++attempt) {
      wchar_t name[MAX_PATH] = {};
      if (!MakeTempFileNameWithExt(L"", name, MAX_PATH)) break;
      listPath = name;
      listPath.replace(listPath.size() - 3, 3, L"txt");
      list.Reset(CreateFileW(listPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (listPath.empty()) {
      kLog.Error("COpenInCnv: no name for the file list");
      return failed(E_FAIL);
    }
    if (!list) {
      kLog.Error("COpenInCnv: cannot create the file list %S", listPath.c_str());
      return failed(E_FAIL);
    }
    listFile = OwnedFile(listPath);

    // A list the tool would misread (a count without its lines) is not handed over: the run
    // ends as after a failed copy.
    if (!WriteList(list, L"[FILES]\n") || !WriteList(list, L"Count=") ||
        !WriteList(list, std::to_wstring(upper - lower + 1)) ||
        !WriteList(list, L"\nDMSLinkID=") || !WriteList(list, std::to_wstring(kDMSLinkID)) ||
        !WriteList(list, L"\nDelete=1\n")) {
      return failed(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT));
    }

    ProgressWindow progress(IDS_OPENINCNV_MENU + m_langOffset, static_cast<int>(upper - lower + 1),
                            m_langOffset, ApplicationMainWindow());
    // The tool owns the list and the copies once it has started on them; when it did not
    // start they are deleted here.
    const auto handOver = [&] {
      list.Reset();
      progress.Close();
      if (!LaunchConversionTool(listPath)) return outcome.Failed(IDS_REASON_NO_PROGRAM);
      listFile.Release();
      for (WorkingCopy& copy : copies) {
        copy.Keep();
        outcome.Delivered();  // each document is one the person asked to open
      }
    };
    for (LONG i = lower; i <= upper; ++i) {
      ComPtr<IDispatch> element;
      hr = SelectionElement(selection.Get(), i, element);
      if (FAILED(hr)) {
        kLog.Error("COpenInCnv: SafeArrayGetElement(%d) failed", static_cast<int>(i));
        return failed(hr);
      }
      dms::Document document;
      hr = SelectedDocument(element.Get(), document);
      if (FAILED(hr)) {
        kLog.Error("COpenInCnv: element %d is not a DMS document", static_cast<int>(i));
        // The tool gets the documents before it; this one and the rest are not opened.
        outcome.Failed(IDS_REASON_UNEXPECTED, static_cast<int>(upper - i + 1));
        handOver();
        result = hr;
        return;
      }
      progress.Document(static_cast<int>(i - lower + 1), ProgressLine(document));
      progress.Step(ProgressStep::kCopying);
      // Each document its own new copy in the temporary folder.
      WorkingCopy copy;
      hr = copy.Make(document, {CopyPlace::kTempFolder, CopyAccess::kCopy});
      if (copy.Path().empty()) {
        kLog.Error("COpenInCnv: no file for element %d", static_cast<int>(i));
        return failed(E_FAIL);
      }
      if (hr != S_OK) {
        kLog.Error("COpenInCnv: GetCopy(%S) failed", copy.Path().c_str());
        return failed(hr);
      }
      result = hr;
      copies.push_back(std::move(copy));
      if (!WriteList(list, std::to_wstring(copies.size()) + L"=\"" + copies.back().Path() +
                               L"\"\n")) {
        return failed(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT));
      }
      if (progress.Cancelled()) {
        kLog.Trace("COpenInCnv: cancelled by the user, the copies are deleted");
        outcome.Cancelled();
        result = S_OK;
        return;
      }
    }
    handOver();
  });
  if (!finished) outcome.Failed(IDS_REASON_UNEXPECTED);
  outcome.Tell();
  return result;
}

bool COpenInCnv_I::LaunchConversionTool(const std::wstring& listPath) {
  const std::wstring commandLine = L" \"" + listPath + L"\" /tempfile";
  kLog.Trace("COpenInCnv: LaunchConversionTool%S", commandLine.c_str());
  if (CConvUtils::LaunchConverter(commandLine.c_str(), false, nullptr)) return true;
  wchar_t folder[520] = {};
  DWORD size = 520;
  if (GetProductInstallPath(folder, size, 1))
    NoteShellMessageOfMissing(CConvUtils::HelperInFolder(folder, L"vpdfassist.exe"));
  return false;
}

void COpenInCnv_I::DeleteFileList(const std::wstring& listPath) {
  MarkAsUnicode(listPath);
  const UINT count = GetPrivateProfileIntW(kSection, L"Count", 0, listPath.c_str());
  for (UINT number = 1; number <= count; ++number) {
    wchar_t file[261] = {};
    GetPrivateProfileStringW(kSection, std::to_wstring(number).c_str(), L"", file, 261,
                             listPath.c_str());
    if (file[0]) DeleteFileW(file);
  }
  DeleteFileW(listPath.c_str());
}

}  // namespace vpdf
