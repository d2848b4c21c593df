#include "dms/working_copy.h"

#include <utility>

#include "convutils/conv_utils.h"
#include "convutils/entry_guard.h"
#include "convutils/log.h"
#include "dms/doc_select.h"
#include "dms/document_profile.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\DMSConnectors\\iManageCommon\\DMSiManageCommon");

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

// The stem and extension under which a document is copied to the temporary folder: its name
// (its extension taken off when it ends with it), or database_number_version when it has no
// name; both made safe.
void CopyName(const dms::Document& document, std::wstring& stem, std::wstring& extension) {
  const std::wstring own = Lower(document.Extension().Value());
  extension = L"." + own;
  std::wstring name = document.Name().Value();
  if (name.empty()) {
    dms::Database database = document.GetDatabase().Value();
    name = database.Name().Value() + L"_" + std::to_wstring(document.Number().Value()) + L"_" +
           std::to_wstring(document.Version().Value());
  } else if (EndsWithNoCase(name, extension)) {
    // The name's own ending, as it is written.
    extension = name.substr(name.size() - extension.size());
    name.resize(name.size() - extension.size());
  }
  stem = SafeFileName(name);
  extension = extension.size() > 1 ? L"." + SafeFileName(extension.substr(1)) : L"";
}

}  // namespace

WorkingCopy::WorkingCopy(WorkingCopy&& other) noexcept
    : m_document(std::move(other.m_document)),
      m_path(std::move(other.m_path)),
      m_file(std::move(other.m_file)),
      m_link(std::move(other.m_link)),
      m_checkedOut(std::exchange(other.m_checkedOut, false)) {}

WorkingCopy::~WorkingCopy() {
  if (m_checkedOut) {
    // Also while an exception unwinds: a failure of the release is logged, never thrown.
    Guarded(kLog, "release of the check-out", false, [&] {
      dms::Got<bool> still = m_document.CheckedOut();
      if (still.Ok() && still.value) m_document.UnlockDocument();
      return true;
    });
  }
  m_link.Delete();
  m_file.Delete();
}

HRESULT WorkingCopy::Make(const dms::Document& document, CopyMode mode) {
  const HRESULT placed = Locate(document, mode.place);
  if (FAILED(placed) || m_path.empty()) return FAILED(placed) ? placed : E_FAIL;
  if (mode.access == CopyAccess::kCheckOut) return CheckOut();
  return Fetch(mode.access == CopyAccess::kReadOnly);
}

HRESULT WorkingCopy::Locate(const dms::Document& document, CopyPlace place) {
  m_document = document;
  m_file.Delete();
  m_path.clear();
  HRESULT hr = S_OK;
  switch (place) {
    case CopyPlace::kTemporary:
      hr = MakeDocumentTempPath(document, m_file, TypeExtension(document).c_str());
      m_path = m_file.Path();
      break;
    case CopyPlace::kPortable:
      hr = DocCreate(document, m_path);
      break;
    case CopyPlace::kTempFolder: {
      std::wstring stem, extension;
      CopyName(document, stem, extension);
      const std::wstring temp = UserTempFolder();
      if (temp.empty()) {
        hr = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        break;
      }
      // Each document its own new copy: a name that is taken gets a number.
      m_file = CreateNewFile(temp, stem, extension);
      m_path = m_file.Path();
      if (m_path.empty()) {
        kLog.Error("No file for %S%S", stem.c_str(), extension.c_str());
        hr = E_FAIL;
      }
      break;
    }
  }
  if (FAILED(hr)) {
    m_file.Delete();
    m_path.clear();
  }
  return hr;
}

void WorkingCopy::UseExisting(const std::wstring& path) {
  m_file.Delete();
  m_path = path;
}

HRESULT WorkingCopy::CheckOutTo(const dms::Document& document, const std::wstring& path) {
  m_document = document;
  m_file.Delete();
  m_path = path;
  return CheckOut();
}

HRESULT WorkingCopy::CheckOut() {
  const HRESULT hr = CheckOutForEditing(m_document, m_path);
  if (SUCCEEDED(hr)) m_checkedOut = true;
  return hr;
}

HRESULT WorkingCopy::Fetch(bool readOnly) {
  const bool existed = m_file.Empty() && FileExists(m_path.c_str());
  // The client does not replace a file: the empty file that holds the name makes room.
  m_file.MakeRoom();
  const HRESULT hr = m_document.GetCopy(m_path);
  if (FAILED(hr)) return hr;
  if (readOnly) SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_READONLY);
  if (m_file.Empty() && !existed) m_file = OwnedFile(m_path);
  return hr;
}

void WorkingCopy::WriteLinkFile(const std::string& text) {
  std::wstring folder, stem, extension;
  SplitPath(m_path, folder, stem, extension);
  std::wstring linkPath = folder + stem + L".crx";
  Handle file(CreateFileW(linkPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  // From the file's creation to its owner nothing may throw: the path is moved, not copied.
  m_link = OwnedFile(std::move(linkPath));
  DWORD written = 0;
  if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
    kLog.Error("Cannot write %S: %d", m_link.Path().c_str(), static_cast<int>(GetLastError()));
}

void WorkingCopy::WriteProfileFiles() {
  std::wstring written;
  WriteDocumentProfile(m_document, written, m_path);
  WriteMhcFile(m_document, written, m_path);
}

void WorkingCopy::Keep() {
  m_checkedOut = false;
  m_file.Release();
  m_link.Release();
}

HRESULT CheckOutForEditing(const dms::Document& document, const std::wstring& path) {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  DATE date = 0;
  SystemTimeToVariantTime(&now, &date);
  constexpr DATE kDueIn = 1.0 / 6;  // four hours
  constexpr LONG kReplaceExisting = 1;
  constexpr LONG kCheckOutActivity = 2;
  return document.CheckOutEx(path, kReplaceExisting, date + kDueIn, L"", kCheckOutActivity,
                             L"Ostrel Varnel PDF", L"");
}

std::wstring TypeExtension(const dms::Document& document) {
  if (dms::Got<dms::DocumentType> type = document.Type(); type.Ok() && type.value) {
    dms::Got<std::wstring> extension = type.value.ApplicationExtension();
    if (extension.Ok() && !extension.value.empty()) return extension.value;
  }
  return L"pdf";
}

}  // namespace vpdf
