#include "commands/newpdf/new_pdf_from_file.h"
#include "commands/command_run.h"

#include <commdlg.h>
#include <shlobj.h>

#include <string>

#include "convutils/resource.h"
#include "commands/execute_guard.h"
#include "commands/import_document.h"
#include "commands/newpdf/new_pdf_run.h"
#include "convutils/conv_utils.h"
#include "convutils/log.h"
#include "convutils/usage_analytics.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreateNewPDF");

constexpr DWORD kSourceBuffer = 270;  // the file dialog's buffer, in characters

std::wstring ResString(UINT id) { return Bstr::Adopt(LoadResString(id)).Str(); }

bool SameNoCase(const std::wstring& text, const wchar_t* other) {
  return CompareStringOrdinal(text.c_str(), static_cast<int>(text.size()), other, -1, TRUE) ==
         CSTR_EQUAL;
}

// The source's file name without its folder and extension.
std::wstring TitleOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

// The extension of `path` from its last point, the point included; empty without one.
std::wstring ExtensionOf(const std::wstring& path) {
  const size_t dot = path.rfind(L'.');
  return dot == std::wstring::npos ? std::wstring() : path.substr(dot);
}

// Lets the user pick the file; false when the dialog is cancelled or fails.
bool AskForSourceFile(int langOffset, wchar_t (&file)[kSourceBuffer]) {
  const std::wstring title = ResString(IDS_OPEN_TITLE + langOffset);
  // The filter resource holds its own NUL between the parts; the list ends with two.
  std::wstring filter = ResString(IDS_ALL_FILES_FILTER + langOffset);
  filter.push_back(L'\0');
  filter.push_back(L'\0');

  wchar_t documents[MAX_PATH] = {};
  const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT,
                                      documents);
  if (SUCCEEDED(hr)) {
    kLog.Trace("My_documents folder path: %S", documents);
  } else {
    kLog.Warning("Error get my_documents folder path: %l", static_cast<long>(hr));
    documents[0] = L'\0';
  }

  file[0] = L'\0';
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = GetForegroundWindow();
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = file;
  dialog.nMaxFile = kSourceBuffer;
  dialog.nMaxFileTitle = kSourceBuffer;
  dialog.lpstrInitialDir = documents[0] ? documents : nullptr;
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_PATHMUSTEXIST;
  dialog.lpstrDefExt = L"*";
  return GetOpenFileNameW(&dialog) != FALSE;
}

constexpr char kExecuteEnd[] =
    "******************* CreatenEWPDFFile Execute() END *******************";

}  // namespace

bool CCreateNewPDFFromFile_I::MakeTempName(wchar_t* buffer, DWORD size) {
  wchar_t folder[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, folder);
  if (length == 0) return false;
  // A longer folder does not fit a name: the buffer stays as it was.
  if (length >= MAX_PATH) return true;
  if (!IsFullPath(folder)) {
    kLog.Error("The temporary folder %S is not a full path", folder);
    return false;
  }
  wchar_t name[MAX_PATH] = {};
  const bool made = GetTempFileNameW(folder, L"SS_", 0, name) != 0;
  if (made) {
    lstrcpynW(buffer, name, static_cast<int>(size));
    DeleteFileW(name);
  }
  return made;
}

HRESULT CCreateNewPDFFromFile_I::OnExecute() {
  const OneRunAtATime run(m_langOffset);
  if (run.Refused()) return S_OK;
  HRESULT result = S_OK;
  RunOutcome outcome(IDS_NOT_FINISHED_IMPORTED, IDS_NEWPDF_SUBMENU, m_langOffset);
  // A run that ends before the import imports nothing.
  const auto failed = [&](HRESULT hr) {
    result = hr;
    outcome.Failed(IDS_REASON_UNEXPECTED);
  };
  const bool finished = RunGuarded(kLog, [&] {
    ReportCommandUsage(L"Create PDF", L"From Local");
    kLog.Trace("****************** CreateNewPDFBegin Execute() START ******************");

    wchar_t file[kSourceBuffer] = {};
    if (!AskForSourceFile(m_langOffset, file)) {
      // Cancelled, unless the dialog itself failed.
      if (CommDlgExtendedError() != 0) outcome.Failed(IDS_REASON_UNEXPECTED);
      kLog.Trace(kExecuteEnd);
      return;
    }
    const std::wstring source = file;
    file[0] = L'\0';
    MakeTempName(file, kSourceBuffer);
    const std::wstring tempName = file;
    if (tempName.empty()) {
      // Without a name in the temporary folder the PDF would land beside the source.
      kLog.Error("No temporary name for %S", source.c_str());
      return failed(E_FAIL);
    }
    // The PDF's name is created new beside the temporary name: a file that has it already is
    // left alone. The run's PDF goes whichever way the run ends.
    OwnedFile pdf = CreateNewFileBeside(tempName, L".pdf");
    if (pdf.Empty()) {
      kLog.Error("No PDF name beside %S", tempName.c_str());
      return failed(E_FAIL);
    }
    const std::wstring pdfPath = pdf.Path();

    const std::wstring extension = ExtensionOf(source);
    if (SameNoCase(extension, L".xps") || SameNoCase(extension, L".oxps")) {
      if (!CConvUtils::ConvertXPSToPDF(source.c_str(), pdfPath.c_str(), 15, 0, 0)) {
        return failed(E_FAIL);
      }
    } else if (!CConvUtils::PrintPDFWithHelper(source.c_str(), pdfPath.c_str(), false, false)) {
      kLog.Error("Failed: Printing file %S from file %S", source.c_str(), tempName.c_str());
      return failed(E_FAIL);
    }

    const ContextReader read = [this](const wchar_t* name, VARTYPE type, void* value) {
      return GetContextValue(name, type, value);
    };
    dms::Session session = FirstSession(read);
    if (!SessionOfSelectedContents(read, session)) {
      try {
        SessionOfContainer(read, session);
      } catch (const ComError& error) {
        kLog.Error("SelectedContainer failed, hr: 0x%08X", static_cast<unsigned>(error.Error()));
        kLog.Trace(kExecuteEnd);
        return failed(error.Error());
      }
    }

    dms::Document created;
    result = ImportNewDocument(pdfPath, TitleOf(source), session, dms::Object(), created, L"");
    if (FAILED(result)) outcome.Failed(IDS_REASON_DMS_REFUSED);
    if (SUCCEEDED(result)) {
      const VARIANT_BOOL refresh = VARIANT_TRUE;
      SetContextValue(L"iManExt.Refresh", VT_BOOL, &refresh);
    }
    pdf.Delete();
    kLog.Trace(kExecuteEnd);
  });
  if (!finished) outcome.Failed(IDS_REASON_UNEXPECTED);
  outcome.Tell();
  return result;
}

}  // namespace vpdf
