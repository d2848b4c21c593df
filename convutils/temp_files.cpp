#include "convutils/temp_files.h"

#include <cwchar>
#include <cwctype>

#include "convutils/log.h"
#include "convutils/settings.h"

namespace vpdf {
namespace {

constexpr LogSource kTempLog("PDFConverter\\ConvUtils\\TemporaryFile");
constexpr LogSource kUtilsLog("PDFConverter\\ConvUtils\\ConvUtils");

constexpr wchar_t kForbidden[] = L"*?:\"/\\|<>";
constexpr size_t kMaxFilePath = 254;

// Numbers of the working folders, for the life of the process.
unsigned int g_folderCounter = 0;

std::wstring WithoutForbidden(const wchar_t* name) {
  std::wstring cleaned;
  for (const wchar_t* c = name ? name : L""; *c; ++c)
    if (!wcschr(kForbidden, *c)) cleaned += *c;
  return cleaned;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring Numbered(const wchar_t* format, unsigned int number) {
  wchar_t digits[16];
  swprintf(digits, 16, format, number);
  return digits;
}

// The user's temporary folder, ending with a backslash; empty when unknown.
std::wstring TempFolder() {
  wchar_t folder[MAX_PATH];
  DWORD length = GetTempPathW(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring result(folder, length);
  if (result.back() != L'\\') result += L'\\';
  return result;
}

// A path of more than 254 characters cut to 254, keeping the extension of its file name.
void Shorten(std::wstring& path) {
  if (path.size() <= kMaxFilePath) return;
  size_t dot = path.rfind(L'.');
  size_t slash = path.rfind(L'\\');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash) ||
      path.size() - dot >= kMaxFilePath) {
    path.resize(kMaxFilePath);
    return;
  }
  std::wstring extension = path.substr(dot);
  path.resize(kMaxFilePath - extension.size());
  path += extension;
}

}  // namespace

bool CTemporaryFile::CreateWithFolder(wchar_t* path, const wchar_t* fileName,
                                      const wchar_t* folderPrefix, bool useGivenFolder) {
  std::wstring base;
  if (useGivenFolder && path[0]) {
    DWORD attributes = GetFileAttributesW(path);
    const DWORD kFolderBits = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & kFolderBits) != FILE_ATTRIBUTE_DIRECTORY) {
      kTempLog.Trace("CTemporaryFile::CreateWithFolder attribute value: %d, invalid or not folder "
                     "or readonly, using temp folder instead",
                     static_cast<int>(attributes));
      path[0] = L'\0';
    }
    base = path;
    if (!base.empty() && base.size() <= MAX_PATH - 2 && base.back() != L'\\') base += L'\\';
  }
  if (base.empty()) {
    base = TempFolder();
    if (base.empty()) return false;
  }

  const std::wstring pattern = base + (folderPrefix ? folderPrefix : L"");
  std::wstring folder;
  do folder = pattern + Numbered(L"%.3u", ++g_folderCounter);
  while (Exists(folder));
  if (!CreateDirectoryW(folder.c_str(), nullptr)) {
    if (useGivenFolder) {
      path[0] = L'\0';
      return CreateWithFolder(path, fileName, folderPrefix, false);
    }
    path[0] = L'\0';
    kTempLog.Trace("CTemporaryFile::CreateWithFolder could not create directory, returning");
    return false;
  }

  std::wstring name = WithoutForbidden(fileName);
  if (name.empty()) name = L"1";
  std::wstring full = folder + L"\\" + name;
  Shorten(full);
  wmemcpy(path, full.c_str(), full.size() + 1);
  return true;
}

HRESULT MakeDocumentTempPath(const dms::Document& document, std::wstring& path,
                             const wchar_t* extension) {
  path.clear();
  dms::Got<std::wstring> name = document.Name();
  if (!name.Ok()) return name.hr;
  std::wstring base = WithoutForbidden(name.value.c_str());
  if (base.empty()) base = L"dml";

  std::wstring suffix;
  if (extension) {
    suffix = extension;
  } else {
    dms::Got<std::wstring> own = document.Extension();
    if (!own.Ok()) return own.hr;
    suffix = own.value;
  }
  suffix = Lower(suffix);
  if (!suffix.empty()) suffix.insert(0, L".");

  std::wstring configured = dmsprofile_reader::read_string(L"WorkSite", L"TEMP_FOLDER_PATH", L"");
  DWORD attributes = configured.empty() ? INVALID_FILE_ATTRIBUTES
                                        : GetFileAttributesW(configured.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      configured.size() < MAX_PATH) {
    wchar_t buffer[MAX_PATH];
    wcscpy(buffer, configured.c_str());
    if (!CTemporaryFile::CreateWithFolder(buffer, base.c_str(), L"iman", true))
      return HRESULT_FROM_WIN32(ERROR_CANNOT_MAKE);
    path = buffer + suffix;
  } else {
    std::wstring stem = TempFolder();
    if (stem.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    stem += base;
    path = stem + suffix;
    for (unsigned int number = 1; Exists(path); ++number)
      path = stem + Numbered(L"%.3u", number) + suffix;
  }
  kTempLog.Trace("MakeDocumentTempPath %S", path.c_str());
  return S_OK;
}

bool MakeTempFileNameWithExt(const wchar_t* input, wchar_t* out, size_t capacity) {
  std::wstring folder = TempFolder();
  if (folder.empty() || !out) return false;

  std::wstring extension = L".pdf";
  if (input && *input) {
    const wchar_t* dot = wcsrchr(input, L'.');
    if (!dot)
      extension.clear();
    else if (wcslen(dot) < 10 &&
             (!_wcsicmp(dot, L".xps") || !_wcsicmp(dot, L".pdf") || !_wcsicmp(dot, L".oxps")))
      extension = dot;
  }

  for (int attempt = 0; attempt < 10; ++attempt) {
    wchar_t placeholder[MAX_PATH];
    if (!GetTempFileNameW(folder.c_str(), L"SS_", 0, placeholder)) continue;
    std::wstring name = Lower(placeholder);
    size_t tmp = name.rfind(L".tmp");
    if (tmp != std::wstring::npos) name.replace(tmp, 4, extension);
    bool taken = Exists(name);
    DeleteFileW(placeholder);
    if (taken) continue;
    if (name.size() + 1 > capacity) {
      kUtilsLog.Warning("MakeTempFileNameWithExt: %S does not fit in %d characters", name.c_str(),
                        static_cast<int>(capacity));
      return false;
    }
    wmemcpy(out, name.c_str(), name.size() + 1);
    return true;
  }
  return false;
}

}  // namespace vpdf
