#include "convutils/settings.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <cwctype>
#include <memory>
#include <vector>

#include "convutils/log.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\ConvUtils\\dmsprofile_reader");

constexpr REGSAM kReadAccess = KEY_READ;        // 0x20019
constexpr REGSAM kWriteAccess = 0x2001F;        // read and write
constexpr DWORD kProfileStringChars = 2600;
constexpr DWORD kAppIdChars = MAX_PATH;

wchar_t* CopyOf(const wchar_t* text) {
  if (!text) return nullptr;
  size_t length = wcslen(text);
  auto* copy = new wchar_t[length + 1];
  wmemcpy(copy, text, length + 1);
  return copy;
}

void CopyBounded(wchar_t (&target)[MAX_PATH + 1], const wchar_t* text) {
  wcsncpy(target, text ? text : L"", MAX_PATH);
  target[MAX_PATH] = L'\0';
}

}  // namespace

// ---- CConvRegKey --------------------------------------------------------------------------

CConvRegKey::CConvRegKey(HKEY root, const wchar_t* subkey, const wchar_t* valueName,
                         const wchar_t* defaultString)
    : m_root(root), m_type(REG_SZ), m_defaultString(CopyOf(defaultString)) {
  CopyBounded(m_subkey, subkey);
  CopyBounded(m_valueName, valueName);
}

CConvRegKey::CConvRegKey(HKEY root, const wchar_t* subkey, const wchar_t* valueName,
                         DWORD defaultNumber)
    : m_root(root), m_type(REG_DWORD), m_defaultNumber(defaultNumber) {
  CopyBounded(m_subkey, subkey);
  CopyBounded(m_valueName, valueName);
}

CConvRegKey::~CConvRegKey() {
  delete[] m_defaultString;
  delete[] m_lastString;
}

void CConvRegKey::SetLastString(const wchar_t* text, size_t length) {
  delete[] m_lastString;
  m_lastString = nullptr;
  if (!text) return;
  m_lastString = new wchar_t[length + 1];
  wmemcpy(m_lastString, text, length);
  m_lastString[length] = L'\0';
}

DWORD CConvRegKey::ReadNumber(LONG* error) {
  HKEY key = nullptr;
  LONG opened = RegOpenKeyExW(m_root, m_subkey, 0, kReadAccess | m_extraAccess, &key);
  if (error) *error = opened;
  if (opened != ERROR_SUCCESS) return m_defaultNumber;
  DWORD value = 0, size = sizeof value;
  if (RegQueryValueExW(key, m_valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS)
    value = m_defaultNumber;
  RegCloseKey(key);
  return value;
}

const wchar_t* CConvRegKey::ReadString() {
  DWORD size = 0;
  HKEY key = nullptr;
  bool present = false;
  if (RegOpenKeyExW(m_root, m_subkey, 0, kReadAccess | m_extraAccess, &key) == ERROR_SUCCESS) {
    present = RegQueryValueExW(key, m_valueName, nullptr, nullptr, nullptr, &size) ==
                  ERROR_SUCCESS &&
              size >= sizeof(wchar_t);
    RegCloseKey(key);
  }
  if (present && RegOpenKeyExW(m_root, m_subkey, 0, kReadAccess | m_extraAccess, &key) ==
                     ERROR_SUCCESS) {
    // Whole characters only, and a terminator even when the stored text has none.
    DWORD chars = size / sizeof(wchar_t);
    std::vector<wchar_t> text(chars + 1, L'\0');
    DWORD bytes = chars * sizeof(wchar_t);
    LONG read = RegQueryValueExW(key, m_valueName, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(text.data()), &bytes);
    RegCloseKey(key);
    if (read == ERROR_SUCCESS) {
      SetLastString(text.data(), wcslen(text.data()));
      return m_lastString;
    }
  }
  SetLastString(m_defaultString, m_defaultString ? wcslen(m_defaultString) : 0);
  return m_lastString;
}

LONG CConvRegKey::WriteNumber(DWORD value) {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(m_root, m_subkey, 0, nullptr, 0, kWriteAccess | m_extraAccess,
                                nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetValueExW(key, m_valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
  RegCloseKey(key);
  return result;
}

LONG CConvRegKey::WriteString(const wchar_t* value) {
  if (!value) value = L"";
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(m_root, m_subkey, 0, nullptr, 0, kWriteAccess | m_extraAccess,
                                nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetValueExW(key, m_valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return result;
}

// ---- dmsprofile_reader --------------------------------------------------------------------

std::wstring dmsprofile_reader::ini_path() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
    return {};
  if (!PathAppendW(path, L"\\Ostrel") || !PathAppendW(path, L"VarnelProDMS.ini")) return {};
  kLog.Trace("DMS profile ini path is %S", path);
  return path;
}

int dmsprofile_reader::read_int(const wchar_t* section, const wchar_t* key, int def) {
  kLog.Trace("dmsprofile_reader::read_int(\"%S\"/\"%S\")", section, key);
  std::wstring path = ini_path();
  int result = path.empty()
                   ? def
                   : static_cast<int>(GetPrivateProfileIntW(section, key, def, path.c_str()));
  kLog.Trace("dmsprofile_reader::read_int() returns %d", result);
  return result;
}

std::wstring dmsprofile_reader::read_string(const wchar_t* section, const wchar_t* key,
                                            const wchar_t* def) {
  kLog.Trace("dmsprofile_reader::read_string(\"%S\"/\"%S\")", section, key);
  std::wstring result = def ? def : L"";
  std::wstring path = ini_path();
  if (!path.empty()) {
    std::vector<wchar_t> buffer(kProfileStringChars, L'\0');
    DWORD length = GetPrivateProfileStringW(section, key, result.c_str(), buffer.data(),
                                            kProfileStringChars, path.c_str());
    if (length > 0) result.assign(buffer.data(), length);
  }
  kLog.Trace("dmsprofile_reader::read_string() returns \"%S\"", result.c_str());
  return result;
}

bool dmsprofile_reader::read_flag(const wchar_t* section, const wchar_t* key, bool def) {
  std::wstring text = read_string(section, key, def ? L"yes" : L"no");
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text == L"yes" || text == L"true";
}

bool dmsprofile_reader::read_appid(const wchar_t* section, const wchar_t* typeName, char* out,
                                   size_t size) {
  if (!out) return false;
  std::wstring path = ini_path();
  if (path.empty()) return false;
  std::wstring key = typeName ? typeName : L"";
  for (wchar_t& c : key) c = static_cast<wchar_t>(std::towupper(c));
  key += L"APPID";
  wchar_t text[kAppIdChars] = {};
  DWORD length = GetPrivateProfileStringW(section, key.c_str(), L"", text, kAppIdChars,
                                          path.c_str());
  kLog.Trace("dmsprofile_reader::read_appid(\"%S\"/\"%S\") read \"%S\"", section, key.c_str(),
             text);
  if (length == 0 || length + 1 >= size) return false;
  BOOL lossy = FALSE;
  int written = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out,
                                    static_cast<int>(size), nullptr, &lossy);
  if (written == 0 || lossy) {
    out[0] = '\0';
    return false;
  }
  return true;
}

// ---- Install folder -----------------------------------------------------------------------

bool GetProductInstallPath(wchar_t* buffer, DWORD& size, int kind) {
  const bool productRoot = kind == 3;
  CConvRegKey value(HKEY_LOCAL_MACHINE,
                    productRoot ? L"Software\\Ostrel\\PDF"
                                : L"Software\\Wow6432Node\\Ostrel\\PDF\\V1",
                    L"InstallPath", L"");
  if (!productRoot) value.SetExtraAccess(KEY_WOW64_32KEY);
  const wchar_t* path = value.ReadString();
  DWORD length = path ? static_cast<DWORD>(wcslen(path)) : 0;
  if (length == 0) {
    size = 0;
    return false;
  }
  if (!buffer || length + 1 > size) {
    size = length + 1;
    return false;
  }
  wmemcpy(buffer, path, length + 1);
  return true;
}

bool IsNotStandAlone() {
  CConvRegKey standAlone(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1",
                         L"StandAlone", 1);
  return standAlone.ReadNumber() == 0;
}

// ---- Registry tree copy -------------------------------------------------------------------

LONG CopyRegistryTree(HKEY source, HKEY destination, const wchar_t* subkeyName,
                      bool intoDestination) {
  const wchar_t* name = subkeyName ? subkeyName : L"";
  HKEY target = destination;
  if (!intoDestination) {
    LONG created = RegCreateKeyExW(destination, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                   &target, nullptr);
    if (created != ERROR_SUCCESS) return created;
  }

  LONG result = ERROR_SUCCESS;
  if (!intoDestination) {
    std::vector<BYTE> data(4096);
    for (DWORD index = 0;; ++index) {
      wchar_t valueName[MAX_PATH + 1];
      DWORD nameChars = 0, type = 0, dataSize = 0;
      LONG got;
      for (;;) {
        nameChars = MAX_PATH + 1;
        dataSize = static_cast<DWORD>(data.size());
        got = RegEnumValueW(source, index, valueName, &nameChars, nullptr, &type, data.data(),
                            &dataSize);
        // Only a larger data size is worth a retry: a name of more than 260 characters is not.
        if (got != ERROR_MORE_DATA || dataSize <= data.size()) break;
        data.resize(dataSize);
      }
      if (got == ERROR_NO_MORE_ITEMS) break;
      if (got != ERROR_SUCCESS) {
        result = got;
        break;
      }
      result = RegSetValueExW(target, valueName, 0, type, data.data(), dataSize);
      if (result != ERROR_SUCCESS) break;
    }
  }

  for (DWORD index = 0; result == ERROR_SUCCESS; ++index) {
    wchar_t childName[MAX_PATH + 1];
    DWORD nameChars = MAX_PATH + 1;
    LONG got = RegEnumKeyExW(source, index, childName, &nameChars, nullptr, nullptr, nullptr,
                             nullptr);
    if (got == ERROR_NO_MORE_ITEMS) break;
    if (got != ERROR_SUCCESS) {
      result = got;
      break;
    }
    // Copying a key into itself: leave out the copy being made (and any key whose name
    // begins it), or the copy would go on inside itself.
    if (source == destination && _wcsnicmp(childName, name, nameChars) == 0) continue;
    HKEY child = nullptr;
    result = RegOpenKeyExW(source, childName, 0, KEY_ALL_ACCESS, &child);
    if (result != ERROR_SUCCESS) break;
    result = CopyRegistryTree(child, target, childName, false);
    RegCloseKey(child);
  }

  if (target != destination) RegCloseKey(target);
  return result;
}

}  // namespace vpdf
