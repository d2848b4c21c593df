// Open with the conversion tool: availability from the selection, the copies of the selected
// documents and the file list that hands them to the tool.
#include <string>

#include "commands/execute_guard.h"
#include "commands/open/open_in_cnv.h"
#include "commands/selected_items.h"
#include "convutils/conv_utils.h"
#include "convutils/log.h"
#include "convutils/temp_files.h"
#include "convutils/usage_analytics.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\OpenPDF");

constexpr wchar_t kSection[] = L"FILES";
constexpr int kDMSLinkID = 768;

std::wstring Lower(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() &&
         CompareStringOrdinal(text.c_str() + (text.size() - end.size()),
                              static_cast<int>(end.size()), end.c_str(),
                              static_cast<int>(end.size()), TRUE) == CSTR_EQUAL;
}

// The name under which a document is copied to the temporary folder: its name with its
// extension, or database_number_version.extension when it has no name.
std::wstring CopyName(const dms::Document& document) {
  const std::wstring extension = Lower(document.Extension().Value());
  std::wstring name = document.Name().Value();
  if (!name.empty()) {
    if (!EndsWithNoCase(name, L"." + extension)) name += L"." + extension;
    return name;
  }
  dms::Database database = document.GetDatabase().Value();
  return database.Name().Value() + L"_" + std::to_wstring(document.Number().Value()) + L"_" +
         std::to_wstring(document.Version().Value()) + L"." + extension;
}

// The file list being written: UTF-16 little-endian, no byte order mark.
class ListFile {
 public:
  explicit ListFile(const std::wstring& path)
      : m_file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;
  ~ListFile() { Close(); }

  bool IsOpen() const { return m_file != INVALID_HANDLE_VALUE; }
  void Write(const std::wstring& text) {
    DWORD written = 0;
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (!WriteFile(m_file, text.data(), bytes, &written, nullptr) || written != bytes)
      kLog.Error("Cannot write the file list: %d", static_cast<int>(GetLastError()));
  }
  void Close() {
    if (IsOpen()) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE m_file;
};

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

STDMETHODIMP COpenInCnv_I::Update() {
  Variant selection;
  LONG lower = 0, upper = -1;
  HRESULT hr = ReadSelection(selection, lower, upper);
  if (hr == S_FALSE) return S_OK;

  LONG status = kDisabled;
  if (SUCCEEDED(hr)) {
    SAFEARRAY* array = SelectionArray(selection.Get());
    status = SelectionStatus(array, lower, upper, [](const std::wstring& extension) {
      return SameTextNoCase(extension, L"PDF") || SameTextNoCase(extension, L"XPS") ||
             SameTextNoCase(extension, L"OXPS");
    });
  }
  put_Status(status);
  return S_OK;
}

STDMETHODIMP COpenInCnv_I::Execute() {
  HRESULT result = S_OK;
  RunGuarded(kLog, [&] {
    ReportCommandUsage(L"Open", L"Conversion Desk");

    Variant selection;
    LONG lower = 0, upper = -1;
    HRESULT hr = ReadSelection(selection, lower, upper);
    if (hr == S_FALSE) return;
    if (FAILED(hr)) {
      result = hr;
      return;
    }
    if (upper - lower + 1 <= 0) return;  // nothing selected: nothing is written

    wchar_t name[MAX_PATH] = {};
    if (!MakeTempFileNameWithExt(L"", name, MAX_PATH)) {
      kLog.Error("COpenInCnv: no name for the file list");
      result = E_FAIL;
      return;
    }
    std::wstring listPath = name;
    listPath.replace(listPath.size() - 3, 3, L"txt");
    ListFile list(listPath);
    if (!list.IsOpen()) {
      kLog.Error("COpenInCnv: cannot create the file list %S", listPath.c_str());
      result = E_FAIL;
      return;
    }
    // Until the tool has the list, the list and the copies in it are ours to delete.
    bool handedOver = false;
    struct Abandon {
      COpenInCnv_I* command;
      ListFile& list;
      const std::wstring& path;
      const bool& handedOver;
      ~Abandon() {
        if (handedOver) return;
        list.Close();
        command->DeleteFileList(path);
      }
    } abandon{this, list, listPath, handedOver};

    list.Write(L"[FILES]\n");
    list.Write(L"Count=");
    list.Write(std::to_wstring(upper - lower + 1));
    list.Write(L"\nDMSLinkID=");
    list.Write(std::to_wstring(kDMSLinkID));
    list.Write(L"\nDelete=1\n");

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    int copies = 0;
    for (LONG i = lower; i <= upper; ++i) {
      ComPtr<IDispatch> element;
      hr = SafeArrayGetElement(SelectionArray(selection.Get()), &i, element.Put());
      if (SUCCEEDED(hr) && !element) hr = E_POINTER;
      if (FAILED(hr)) {
        kLog.Error("COpenInCnv: SafeArrayGetElement(%d) failed", static_cast<int>(i));
        result = hr;
        return;
      }
      dms::Document document;
      hr = SelectedDocument(element.Get(), document);
      if (FAILED(hr)) {
        kLog.Error("COpenInCnv: element %d is not a DMS document", static_cast<int>(i));
        list.Close();
        handedOver = true;
        LaunchConversionTool(listPath);
        result = hr;
        return;
      }
      const std::wstring copyPath = std::wstring(temp) + CopyName(document);
      hr = document.GetCopy(copyPath);
      if (hr != S_OK) {
        kLog.Error("COpenInCnv: GetCopy(%S) failed", copyPath.c_str());
        result = hr;
        return;
      }
      result = hr;
      list.Write(std::to_wstring(++copies) + L"=\"" + copyPath + L"\"\n");
    }
    list.Close();
    handedOver = true;
    LaunchConversionTool(listPath);
  });
  return result;
}

void COpenInCnv_I::LaunchConversionTool(const std::wstring& listPath) {
  const std::wstring commandLine = L" \"" + listPath + L"\" /tempfile";
  kLog.Trace("COpenInCnv: LaunchConversionTool%S", commandLine.c_str());
  CConvUtils::LaunchConverter(commandLine.c_str(), false, nullptr);
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
