#include "convutils/settings.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <cwctype>
#include <memory>
#include <vector>

#include "convutils/comutil.h"
#include "convutils/log.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\ConvUtils\\dmsprofile_reader");

constexpr REGSAM kReadAccess = KEY_READ;        // 0x20019
constexpr REGSAM kWriteAccess = 0x2001F;        // read and write
constexpr DWORD kProfileStringChars = 2600;
constexpr DWORD kAppIdChars = MAX_PATH;

void CopyBounded(wchar_t (&target)[MAX_PATH + 1], const wchar_t* text) {
  wcsncpy(target, text ? text : L"", MAX_PATH);
  target[MAX_PATH] = L'\0';
}

}  // namespace

// ---- CConvRegKey --------------------------------------------------------------------------

CConvRegKey::CConvRegKey(HKEY root, const wchar_t* subkey, const wchar_t* valueName,
                         const wchar_t* defaultString)
    : m_root(root), m_type(REG_SZ), m_defaultString(defaultString ? defaultString : L"") {
  CopyBounded(m_subkey, subkey);
  CopyBounded(m_valueName, valueName);
}

CConvRegKey::CConvRegKey(HKEY root, const wchar_t* subkey, const wchar_t* valueName,
                         DWORD defaultNumber)
    : m_root(root), m_type(REG_DWORD), m_defaultNumber(defaultNumber) {
  CopyBounded(m_subkey, subkey);
  CopyBounded(m_valueName, valueName);
}

DWORD CConvRegKey::ReadNumber(LONG* error) {
  RegKey key;
  LONG opened = key.Open(m_root, m_subkey, kReadAccess | m_extraAccess);
  if (error) *error = opened;
  if (opened != ERROR_SUCCESS) return m_defaultNumber;
  DWORD value = 0, size = sizeof value;
  if (RegQueryValueExW(key.Get(), m_valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS)
    value = m_defaultNumber;
  return value;
}

std::wstring CConvRegKey::ReadString() {
  RegKey key;
  DWORD size = 0;
  if (key.Open(m_root, m_subkey, kReadAccess | m_extraAccess) == ERROR_SUCCESS &&
      RegQueryValueExW(key.Get(), m_valueName, nullptr, nullptr, nullptr, &size) ==
          ERROR_SUCCESS &&
      size >= sizeof(wchar_t)) {
    // Whole characters only, and a terminator even when the stored text has none.
    DWORD chars = size / sizeof(wchar_t);
    std::vector<wchar_t> text(chars + 1, L'\0');
    DWORD bytes = chars * sizeof(wchar_t);
    if (RegQueryValueExW(key.Get(), m_valueName, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(text.data()), &bytes) == ERROR_SUCCESS)
      return text.data();
  }
  return m_defaultString;
}

LONG CConvRegKey::WriteNumber(DWORD value) {
  RegKey key;
  LONG result = key.Create(m_root, m_subkey, kWriteAccess | m_extraAccess);
  if (result != ERROR_SUCCESS) return result;
  return RegSetValueExW(key.Get(), m_valueName, 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG CConvRegKey::WriteString(const wchar_t* value) {
  if (!value) value = L"";
  RegKey key;
  LONG result = key.Create(m_root, m_subkey, kWriteAccess | m_extraAccess);
  if (result != ERROR_SUCCESS) return result;
  return RegSetValueExW(key.Get(), m_valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                        static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
}

// ---- dmsprofile_reader --------------------------------------------------------------------

std::wstring dmsprofile_reader::ini_path() {
  // The machine's application-data folder does not move while the client runs; asking the
  // shell for it took a tenth of a merge's own time, once for every document. A failed look-up
  // is asked again.
  static std::wstring known;
  if (!known.empty()) return known;
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
    return {};
  if (!PathAppendW(path, L"\\Ostrel") || !PathAppendW(path, L"VarnelProDMS.ini")) return {};
  kLog.Trace("DMS profile ini path is %S", path);
  known = path;
  return known;
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
                    productRoot ? kProductRootKey : kProductWowKey,
                    L"InstallPath", L"");
  if (!productRoot) value.SetExtraAccess(KEY_WOW64_32KEY);
  const std::wstring path = value.ReadString();
  // The text up to its first terminator, as a C string would be copied.
  const DWORD length = static_cast<DWORD>(wcslen(path.c_str()));
  if (length == 0) {
    size = 0;
    return false;
  }
  if (!buffer || length + 1 > size) {
    size = length + 1;
    return false;
  }
  wmemcpy(buffer, path.c_str(), length + 1);
  return true;
}

bool IsNotStandAlone() {
  CConvRegKey standAlone(HKEY_LOCAL_MACHINE, kProductWowKey, L"StandAlone", 1);
  return standAlone.ReadNumber() == 0;
}

// ---- Registry tree copy -------------------------------------------------------------------

LONG CopyRegistryTree(HKEY source, HKEY destination, const wchar_t* subkeyName,
                      bool intoDestination) {
  const wchar_t* name = subkeyName ? subkeyName : L"";
  RegKey created;
  if (!intoDestination) {
    LONG result = created.Create(destination, name, KEY_ALL_ACCESS);
    if (result != ERROR_SUCCESS) return result;
  }
  const HKEY target = intoDestination ? destination : created.Get();

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
    RegKey child;
    result = child.Open(source, childName, KEY_ALL_ACCESS);
    if (result != ERROR_SUCCESS) break;
    result = CopyRegistryTree(child.Get(), target, childName, false);
  }
  return result;
}

}  // namespace vpdf
