#include "dms/client_options.h"

#include <cwchar>
#include <cwctype>
#include <vector>

#include "convutils/conv_utils.h"
#include "convutils/log.h"
#include "convutils/settings.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\DMSConnectors\\iManageCommon\\DMSiManageCommon");

constexpr REGSAM kRead = KEY_READ;        // 0x20019
constexpr REGSAM kReadWrite = 0x2001F;

constexpr wchar_t kClientRoot[] = L"Software\\InterWoven\\WorkSite";
constexpr wchar_t kClientOptions[] = L"\\Common\\Advanced Options";
constexpr wchar_t kThinClientRoot[] = L"Software\\NetRight\\iManage\\ThinClient";
constexpr wchar_t kThinClientOptions[] = L"\\Advanced Options";
constexpr wchar_t kShowProfile[] = L"Show profile for checkin as newversion";
constexpr wchar_t kPortable[] = L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable";

// The options path of one client family: root + "\" + its first subkey + suffix. False when
// the root cannot be opened.
bool OptionsPath(const wchar_t* root, const wchar_t* suffix, std::wstring& path) {
  RegKey key;
  if (key.Open(HKEY_CURRENT_USER, root, kRead) != ERROR_SUCCESS) return false;
  wchar_t first[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  if (RegEnumKeyExW(key.Get(), 0, first, &length, nullptr, nullptr, nullptr, nullptr) !=
      ERROR_SUCCESS)
    first[0] = L'\0';
  path = std::wstring(root) + L"\\" + first + suffix;
  return true;
}

// The string value (REG_SZ or REG_EXPAND_SZ, not expanded) in `size` bytes of `text`.
bool ReadText(HKEY key, const wchar_t* name, wchar_t* text, DWORD size) {
  return RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                      nullptr, text, &size) == ERROR_SUCCESS;
}

// A value of any type as text, read into 512 bytes.
bool ReadPortableValue(HKEY key, const wchar_t* name, std::wstring& text) {
  wchar_t buffer[257] = {};
  DWORD size = 512;
  if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS)
    return false;
  text = buffer;
  return true;
}

void WriteShowProfile(const wchar_t* root, const wchar_t* suffix, const wchar_t* text) {
  std::wstring path;
  if (!OptionsPath(root, suffix, path)) return;
  RegKey key;
  if (key.Open(HKEY_CURRENT_USER, path.c_str(), kRead) != ERROR_SUCCESS) return;
  key.Close();
  kLog.Trace("SetShowProfileForCheckin %S key set %S value", path.c_str(), text);
  if (key.Create(HKEY_CURRENT_USER, path.c_str(), kReadWrite) != ERROR_SUCCESS) return;
  RegSetValueExW(key.Get(), kShowProfile, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
}

// Unknown until first asked, then 0 (not found) or 1 (found) for the life of the process.
DWORD g_imanExt2 = 0xFFFFFFFF;

}  // namespace

RegKey GetiManageRegPath() {
  kLog.Trace("GetiManageRegPath begin");
  kLog.Trace("GetiManageRegPath _64readfrom32or32readfrom64 %d  read %d", 0,
             static_cast<int>(kRead));
  RegKey result;
  std::wstring path;
  if (OptionsPath(kClientRoot, kClientOptions, path)) {
    result.Open(HKEY_CURRENT_USER, path.c_str(), kRead);
    kLog.Trace("regString %S", path.c_str());
  }
  if (!result && OptionsPath(kThinClientRoot, kThinClientOptions, path)) {
    result.Open(HKEY_CURRENT_USER, path.c_str(), kRead);
    kLog.Trace("regString2 %S", path.c_str());
  }
  kLog.Trace("GetiManageRegPath leave");
  return result;
}

bool EnableNewVersionProfileDlg() {
  kLog.Trace("EnableNewVersionProfileDlg begin");
  RegKey key = GetiManageRegPath();
  if (!key) {
    kLog.Trace("EnableNewVersionProfileDlg end, true");
    return true;
  }
  kLog.Trace("EnableNewVersionProfileDlg key2");
  wchar_t text[MAX_PATH] = {};
  if (!ReadText(key.Get(), kShowProfile, text, sizeof text)) {
    kLog.Trace("EnableNewVersionProfileDlg, !key2 true");
    return true;
  }
  kLog.Trace("keyName %S", text);
  if (_wcsicmp(text, L"N") == 0) {
    kLog.Trace("EnableNewVersionProfileDlg false");
    return false;
  }
  kLog.Trace("EnableNewVersionProfileDlg true");
  return true;
}

void SetShowProfileForCheckin(bool show) {
  kLog.Trace("SetShowProfileForCheckin begin");
  const wchar_t* text = show ? L"Y" : L"N";
  WriteShowProfile(kClientRoot, kClientOptions, text);
  WriteShowProfile(kThinClientRoot, kThinClientOptions, text);
  kLog.Trace("SetShowProfileForCheckin end");
}

bool FindIManExt2() {
  if (g_imanExt2 == 0 || g_imanExt2 == 1) return g_imanExt2 == 1;
  g_imanExt2 = 0;
  RegKey root;
  if (root.Open(HKEY_LOCAL_MACHINE, kClientRoot, kRead) != ERROR_SUCCESS) return false;
  for (DWORD index = 0;; ++index) {
    wchar_t version[MAX_PATH];
    DWORD length = MAX_PATH;
    if (RegEnumKeyExW(root.Get(), index, version, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    std::wstring installRoot =
        std::wstring(kClientRoot) + L"\\" + version + L"\\Common\\InstallRoot";
    RegKey key;
    wchar_t folder[MAX_PATH] = {};
    if (key.Open(HKEY_LOCAL_MACHINE, installRoot.c_str(), kRead) != ERROR_SUCCESS ||
        !ReadText(key.Get(), L"path", folder, sizeof folder))
      continue;
    // The value is expected to end with a backslash: nothing is put in between.
    std::wstring library = std::wstring(folder) + L"IManExt2.dll";
    if (library.size() >= MAX_PATH) continue;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(library.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      FindClose(search);
      kLog.Trace("FindIManExt2 found %S", library.c_str());
      g_imanExt2 = 1;
    }
  }
  return g_imanExt2 == 1;
}

HRESULT GetDesksitePath(BSTR* path) {
  if (!path) return E_POINTER;
  kLog.Trace("GetDesksitePath begin");
  std::wstring folder;
  RegKey key;
  if (key.Open(HKEY_CURRENT_USER, kPortable, KEY_QUERY_VALUE) != ERROR_SUCCESS) {
    folder = L"C:\\NRPortbl\\";
  } else if (ReadPortableValue(key.Get(), L"PORTABLE_DIRECTORY", folder)) {
    folder += L"\\";
  } else {
    if (!ReadPortableValue(key.Get(), L"PORTABLE_DRIVE", folder)) folder = L"C";
    folder += L":\\NrPortbl\\";
  }
  key.Close();
  kLog.Trace("GetDesksitePath end");
  *path = SysAllocString(folder.c_str());
  return *path ? S_OK : E_OUTOFMEMORY;
}

bool UseProfile() {
  DWORD value = 0, size = sizeof value;
  return RegGetValueW(HKEY_CURRENT_USER, kProductWorkSiteKey, L"UseProfile", RRF_RT_REG_DWORD,
                      nullptr, &value, &size) == ERROR_SUCCESS &&
         value != 0;
}

bool UseTempForOpen() {
  return dmsprofile_reader::read_int(L"WorkSite", L"USE_TEMP_FOR_OPEN", 0) > 0;
}

std::wstring DocTypeForFile(const wchar_t* path) {
  if (!path) return {};
  const wchar_t* name = path;
  for (const wchar_t* c = path; *c; ++c)
    if (*c == L'\\' || *c == L'/') name = c + 1;
  const wchar_t* dot = wcsrchr(name, L'.');
  std::wstring extension = dot ? dot : L"";
  for (wchar_t& c : extension) c = static_cast<wchar_t>(std::towlower(c));

  auto pdfType = [] {
    char id[MAX_PATH] = {};
    wchar_t type[MAX_PATH] = {};
    if (!dmsprofile_reader::read_appid(L"WorkSite", L"PDF", id, sizeof id) ||
        !MultiByteToWideChar(CP_ACP, 0, id, -1, type, MAX_PATH))
      return std::wstring(L"ACROBAT");
    return std::wstring(type);
  };
  auto office = [](const wchar_t* officeName, const wchar_t* clientName) {
    return std::wstring(dmsprofile_reader::read_int(L"WorkSite", L"USE_OFFICE_TYPES", 0) == 1
                            ? officeName
                            : clientName);
  };

  if (extension == L".pdf") return pdfType();
  if (extension == L".doc") return office(L"DOC", L"WORD");
  if (extension == L".rtf") return L"RTF";
  if (extension == L".docx") return office(L"DOCX", L"WORDX");
  if (extension == L".xls") return office(L"XLS", L"EXCEL");
  if (extension == L".xlsx") return office(L"XLSX", L"EXCELX");
  if (extension == L".wpd") return L"WPF";
  if (extension == L".ppt") return L"PPT";
  if (extension == L".pptx") return L"PPTX";
  if (extension == L".xps" || extension == L".oxps") return L"XPS";
  if (extension == L".bmp") return L"BMP";
  if (extension == L".tif" || extension == L".tiff") return L"TIFF";
  if (extension == L".jpg" || extension == L".jpeg") return L"JPEG";
  return CConvUtils::IsPDFOrXPSFile(path) ? pdfType() : std::wstring();
}

}  // namespace vpdf
