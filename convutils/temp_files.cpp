#include "convutils/temp_files.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <utility>
#include <vector>

#include "convutils/comutil.h"
#include "convutils/conv_utils.h"
#include "convutils/log.h"
#include "convutils/settings.h"

namespace vpdf {
namespace {

constexpr LogSource kTempLog("PDFConverter\\ConvUtils\\TemporaryFile");
constexpr LogSource kUtilsLog("PDFConverter\\ConvUtils\\ConvUtils");

constexpr wchar_t kForbidden[] = L"*?:\"/\\|<>";
constexpr wchar_t kReplacement = L'_';
constexpr size_t kMaxFilePath = 254;
constexpr size_t kMaxFileName = 255;
// Same-name files are numbered up to this: far beyond any selection, so none runs out of names.
constexpr unsigned int kMaxNumber = 0x7FFFFFFF;
constexpr unsigned int kMaxFolderTries = 10000;

// Numbers of the working folders, for the life of the process.
unsigned int g_folderCounter = 0;
// The working folders made here and still there: each goes with the last file deleted in it.
std::vector<std::wstring> g_workFolders;

// The working folder that held `path` goes when nothing else is left in it.
void RemoveEmptyWorkFolder(const std::wstring& path) {
  for (auto folder = g_workFolders.begin(); folder != g_workFolders.end(); ++folder) {
    const std::size_t length = folder->size();
    if (path.size() <= length + 1 || path[length] != L'\\' ||
        path.compare(0, length, *folder) != 0 || path.find(L'\\', length + 1) != std::wstring::npos)
      continue;
    if (RemoveDirectoryW(folder->c_str())) g_workFolders.erase(folder);
    return;
  }
}

bool IsReservedDeviceName(std::wstring_view name) {
  // The platform ignores an extension and trailing spaces after a device name.
  name = name.substr(0, name.find(L'.'));
  while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
  static constexpr const wchar_t* kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$",
                                                L"CONOUT$"};
  for (const wchar_t* device : kDevices)
    if (name.size() == wcslen(device) && !_wcsnicmp(name.data(), device, name.size()))
      return true;
  return name.size() == 4 && (!_wcsnicmp(name.data(), L"COM", 3) ||
                              !_wcsnicmp(name.data(), L"LPT", 3)) &&
         name[3] >= L'1' && name[3] <= L'9';
}

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

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

}  // namespace

std::wstring SafeFileName(std::wstring_view name) {
  std::wstring safe(name);
  for (wchar_t& c : safe)
    if (c < 0x20 || wcschr(kForbidden, c)) c = kReplacement;
  for (size_t i = safe.size(); i > 0 && (safe[i - 1] == L'.' || safe[i - 1] == L' '); --i)
    safe[i - 1] = kReplacement;
  if (IsReservedDeviceName(safe)) safe.insert(0, 1, kReplacement);
  return safe;
}

std::wstring ShownFileName(std::wstring_view name) {
  std::wstring shown;
  for (wchar_t c : name)
    if (c >= 0x20 && !wcschr(kForbidden, c)) shown += c;
  return shown.empty() ? L"dml" : shown;
}

std::wstring FitStem(size_t folderLength, const std::wstring& stem, const std::wstring& tail,
                     size_t maxPath) {
  size_t room = kMaxFileName - std::min(kMaxFileName, tail.size());
  if (folderLength + tail.size() < maxPath)
    room = std::min(room, maxPath - folderLength - tail.size());
  else
    room = 0;
  if (stem.size() <= room) return stem;
  if (room > 0 && IsHighSurrogate(stem[room - 1])) --room;
  // A cut may end in a point or a space that the platform would drop, or be a device name,
  // whose '_' in front takes the place of the last character.
  std::wstring cut = SafeFileName(stem.substr(0, room));
  if (cut.size() > room) cut.pop_back();
  return cut;
}

OwnedFile& OwnedFile::operator=(OwnedFile&& other) noexcept {
  if (this != &other) {
    Delete();
    m_path = other.Release();
  }
  return *this;
}

void DeleteRunFile(const std::wstring& path) {
  if (path.empty()) return;
  // Only a read-only file needs its attributes cleared: one call less for every other file.
  if (!DeleteFileW(path.c_str()) && GetLastError() == ERROR_ACCESS_DENIED) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  }
  RemoveEmptyWorkFolder(path);
}

void OwnedFile::Delete() {
  DeleteRunFile(m_path);
  m_path.clear();
}

std::wstring OwnedFile::Release() {
  std::wstring path;
  path.swap(m_path);
  return path;
}

namespace {

// A new name folder + stem (+ number) + extension, made as an empty file when `make`, else only
// found free; empty when none can be had.
std::wstring NewName(const std::wstring& folder, const std::wstring& stem,
                     const std::wstring& extension, bool make) {
  auto pathOf = [&](unsigned int number, bool& fits) {
    const std::wstring tail = (number ? Numbered(L"%.3u", number) : std::wstring()) + extension;
    const std::wstring fitted = FitStem(folder.size(), stem, tail);
    fits = !fitted.empty() || stem.empty();
    return folder + fitted + tail;
  };
  // The next number to try: after the plain name, the numbers double while they are taken and the
  // gap is then halved back to a free one just after a taken one, so that the thousandth file of
  // one name costs a few lookups, not a thousand tries.
  auto firstFree = [&] {
    unsigned int taken = 0, free = 1;
    bool fits = true;
    while (free < kMaxNumber / 2 && Exists(pathOf(free, fits))) taken = free, free *= 2;
    while (free - taken > 1) {
      const unsigned int middle = taken + (free - taken) / 2;
      (Exists(pathOf(middle, fits)) ? taken : free) = middle;
    }
    return free;
  };
  for (unsigned int number = 0; number < kMaxNumber; number = number ? number + 1 : firstFree()) {
    bool fits = true;
    std::wstring path = pathOf(number, fits);
    if (!fits) break;
    DWORD error = ERROR_FILE_EXISTS;
    if (make) {
      // From the file's creation to its owner nothing may throw: the path is moved, not copied.
      if (Handle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr)))
        return path;
      error = GetLastError();
    } else if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND) return path;
    }
    // A folder of that name, or a file being deleted, answers "access denied" as well; a name
    // that is not there answers it only when the folder is closed to us.
    const bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                       (error == ERROR_ACCESS_DENIED &&
                        (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ||
                         GetLastError() != ERROR_FILE_NOT_FOUND));
    if (!taken) {
      kUtilsLog.Warning("CreateNewFile: cannot create %S: %d", path.c_str(),
                        static_cast<int>(error));
      return {};
    }
  }
  kUtilsLog.Warning("CreateNewFile: no free name for %S%S%S", folder.c_str(), stem.c_str(),
                    extension.c_str());
  return {};
}

}  // namespace

OwnedFile CreateNewFile(const std::wstring& folder, const std::wstring& stem,
                        const std::wstring& extension) {
  std::wstring path = NewName(folder, stem, extension, true);
  return path.empty() ? OwnedFile() : OwnedFile(std::move(path));
}

void SplitPath(const std::wstring& path, std::wstring& folder, std::wstring& stem,
               std::wstring& extension) {
  const size_t slash = path.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
  const std::wstring name = path.substr(folder.size());
  const size_t dot = name.rfind(L'.');
  stem = dot == std::wstring::npos ? name : name.substr(0, dot);
  extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot);
}

OwnedFile CreateNewFileBeside(const std::wstring& path, const std::wstring& extension) {
  std::wstring folder, stem, unused;
  SplitPath(path, folder, stem, unused);
  return CreateNewFile(folder, stem, extension);
}

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
    base = UserTempFolder();
    if (base.empty()) return false;
  }

  const std::wstring pattern = base + (folderPrefix ? folderPrefix : L"");
  std::wstring folder;
  unsigned int tries = 0;
  do folder = pattern + Numbered(L"%.3u", ++g_folderCounter);
  while (Exists(folder) && ++tries < kMaxFolderTries);

  // The whole path is built before the folder is made: nothing after it may throw.
  std::wstring name = SafeFileName(fileName ? fileName : L"");
  if (name.empty()) name = L"1";
  std::wstring unused, stem, extension;
  SplitPath(name, unused, stem, extension);
  std::wstring fitted = FitStem(folder.size() + 1, stem, extension);
  if (fitted.empty()) {
    // An extension too long for any stem goes as well.
    fitted = FitStem(folder.size() + 1, name, L"");
    extension.clear();
  }
  const std::wstring full = folder + L'\\' + fitted + extension;
  g_workFolders.reserve(g_workFolders.size() + 1);

  if (tries == kMaxFolderTries || !CreateDirectoryW(folder.c_str(), nullptr)) {
    if (useGivenFolder) {
      path[0] = L'\0';
      return CreateWithFolder(path, fileName, folderPrefix, false);
    }
    path[0] = L'\0';
    kTempLog.Trace("CTemporaryFile::CreateWithFolder could not create directory, returning");
    return false;
  }

  g_workFolders.push_back(std::move(folder));  // room taken above: nothing thrown
  wmemcpy(path, full.c_str(), full.size() + 1);
  return true;
}

namespace {

// MakeDocumentTempPath's new name, made as a file when `make`, else only found free.
HRESULT DocumentTempPath(const dms::Document& document, const wchar_t* extension, bool make,
                         std::wstring& path) {
  path.clear();
  dms::Got<std::wstring> name = document.Name();
  if (!name.Ok()) return name.hr;
  std::wstring base = SafeFileName(name.value);
  if (base.empty()) base = L"dml";

  std::wstring suffix;
  if (extension) {
    suffix = extension;
  } else {
    dms::Got<std::wstring> own = document.Extension();
    if (!own.Ok()) return own.hr;
    suffix = own.value;
  }
  suffix = SafeFileName(Lower(suffix));
  if (!suffix.empty()) suffix.insert(0, L".");

  std::wstring folder;
  const std::wstring configured = CConvUtils::RunScope::Once(L"TEMP_FOLDER_PATH", [] {
    return dmsprofile_reader::read_string(L"WorkSite", L"TEMP_FOLDER_PATH", L"");
  });
  const bool full = IsFullPath(configured);
  if (!configured.empty() && !full)
    kTempLog.Error("MakeDocumentTempPath: TEMP_FOLDER_PATH \"%S\" is not a full path, using the "
                   "temporary folder", configured.c_str());
  DWORD attributes = full ? GetFileAttributesW(configured.c_str()) : INVALID_FILE_ATTRIBUTES;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      configured.size() < MAX_PATH) {
    wchar_t buffer[MAX_PATH];
    wcscpy(buffer, configured.c_str());
    if (!CTemporaryFile::CreateWithFolder(buffer, base.c_str(), L"iman", true))
      return HRESULT_FROM_WIN32(ERROR_CANNOT_MAKE);
    std::wstring ownPoint;
    SplitPath(buffer, folder, base, ownPoint);
    base += ownPoint;  // a point in the document's name belongs to the stem here
  } else {
    folder = UserTempFolder();
    if (folder.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  }
  path = NewName(folder, base, suffix, make);
  if (path.empty()) return HRESULT_FROM_WIN32(ERROR_CANNOT_MAKE);
  kTempLog.Trace("MakeDocumentTempPath %S", path.c_str());
  return S_OK;
}

}  // namespace

HRESULT MakeDocumentTempPath(const dms::Document& document, OwnedFile& file,
                             const wchar_t* extension) {
  file.Delete();
  std::wstring path;
  const HRESULT hr = DocumentTempPath(document, extension, true, path);
  if (SUCCEEDED(hr)) file = OwnedFile(std::move(path));
  return hr;
}

HRESULT FindDocumentTempPath(const dms::Document& document, std::wstring& path,
                             const wchar_t* extension) {
  return DocumentTempPath(document, extension, false, path);
}

bool MakeTempFileNameWithExt(const wchar_t* input, wchar_t* out, size_t capacity) {
  std::wstring folder = UserTempFolder();
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

  // The system makes a placeholder file: from then until it is deleted nothing may throw, so
  // the name's room is taken before.
  std::wstring name;
  name.reserve(MAX_PATH + extension.size());
  for (int attempt = 0; attempt < 10; ++attempt) {
    wchar_t placeholder[MAX_PATH];
    if (!GetTempFileNameW(folder.c_str(), L"SS_", 0, placeholder)) continue;
    name.assign(placeholder);
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
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
