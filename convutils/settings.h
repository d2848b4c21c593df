// Access to the product's settings: one registry value at a time (CConvRegKey), the DMS
// profile ini file VarnelProDMS.ini (dmsprofile_reader), the product's install folder and a
// registry tree copy. A read never fails: it falls back to its default.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

namespace vpdf {

// The product's registry keys.
inline constexpr wchar_t kProductRootKey[] = L"Software\\Ostrel\\PDF";
inline constexpr wchar_t kProductKey[] = L"Software\\Ostrel\\PDF\\V1";
inline constexpr wchar_t kProductWowKey[] = L"Software\\Wow6432Node\\Ostrel\\PDF\\V1";
inline constexpr wchar_t kProductWorkSiteKey[] = L"Software\\Ostrel\\PDF\\V1\\WorkSite";
inline constexpr wchar_t kSkinPreferenceKey[] =
    L"Software\\Ostrel\\PDF\\Ostrel Varnel PDF\\Preference";

// One registry value, string or 32-bit number, with its default. Used on the stack, once.
class CConvRegKey {
 public:
  // A string value; `defaultString` may be null (a read then gives nothing).
  CConvRegKey(HKEY root, const wchar_t* subkey, const wchar_t* valueName,
              const wchar_t* defaultString);
  // A number value.
  CConvRegKey(HKEY root, const wchar_t* subkey, const wchar_t* valueName, DWORD defaultNumber);
  // Lets a literal such as 0 or -1 choose the number constructor.
  CConvRegKey(HKEY root, const wchar_t* subkey, const wchar_t* valueName, int defaultNumber)
      : CConvRegKey(root, subkey, valueName, static_cast<DWORD>(defaultNumber)) {}
  virtual ~CConvRegKey() = default;
  CConvRegKey(const CConvRegKey&) = delete;
  CConvRegKey& operator=(const CConvRegKey&) = delete;

  // 0 or KEY_WOW64_32KEY: added to the access of every open and create.
  void SetExtraAccess(REGSAM extra) { m_extraAccess = extra; }

  // The value as a number (its registry type is not checked), or the default.
  // `error` receives the result of opening the key: an open error when the key is missing,
  // ERROR_SUCCESS when the key exists (whether or not the value does).
  DWORD ReadNumber(LONG* error = nullptr);
  bool ReadBool() { return ReadNumber() != 0; }
  // The stored text, else the default (empty for none); the key is opened once. A value below
  // 2 bytes counts as missing.
  std::wstring ReadString();

  // Create the key when needed and write; the result is the registry error code.
  LONG WriteNumber(DWORD value);
  LONG WriteBool(bool value) { return WriteNumber(value ? 1 : 0); }
  LONG WriteString(const wchar_t* value);

  // REG_SZ for a string value, REG_DWORD for a number value.
  DWORD Type() const { return m_type; }

 private:
  HKEY m_root;
  wchar_t m_subkey[MAX_PATH + 1] = {};
  wchar_t m_valueName[MAX_PATH + 1] = {};
  DWORD m_type;
  DWORD m_defaultNumber = 0;
  std::wstring m_defaultString;
  REGSAM m_extraAccess = 0;
};

// The DMS profile ini file, %ProgramData%\Ostrel\VarnelProDMS.ini. A missing file or key gives
// the default.
class dmsprofile_reader {
 public:
  static int read_int(const wchar_t* section, const wchar_t* key, int def);
  // An empty value in the file also gives the default.
  static std::wstring read_string(const wchar_t* section, const wchar_t* key, const wchar_t* def);
  // True when the text (lower-cased) is exactly "yes" or "true".
  static bool read_flag(const wchar_t* section, const wchar_t* key, bool def);
  // The DMS application id for documents of a type (key: the type name in upper case followed
  // by "APPID"), as narrow text into `out`. False when it is empty, does not fit with room to
  // spare (its length must be below size - 1) or does not convert to the ANSI code page.
  static bool read_appid(const wchar_t* section, const wchar_t* typeName, char* out,
                         std::size_t size);
  // Full path of the ini file; empty when the common application data folder is unknown.
  static std::wstring ini_path();
};

// The product's install folder (ending with a backslash) into `buffer` of `size` characters.
// Kind 3: InstallPath under HKLM\Software\Ostrel\PDF; any other kind: InstallPath under
// HKLM\Software\Wow6432Node\Ostrel\PDF\V1 in the 32-bit view. A path of length L is copied
// when L + 1 <= size (size is then unchanged); when it does not fit, size becomes L + 1; when
// the value is empty or missing, size becomes 0. The result is true only when it was copied.
bool GetProductInstallPath(wchar_t* buffer, DWORD& size, int kind);

// True when StandAlone under HKLM\Software\Wow6432Node\Ostrel\PDF\V1 is 0 (default 1).
bool IsNotStandAlone();

// Copies the tree under `source` to `subkeyName` under `destination` (created when missing),
// or, when `intoDestination` is set, only the subkeys of `source` straight into `destination`.
// When source and destination are the same key, subkeys whose names are a prefix of
// `subkeyName` (without regard to case) are skipped, so that a key is never copied into itself.
// The result is a Win32 error code, 0 on success.
LONG CopyRegistryTree(HKEY source, HKEY destination, const wchar_t* subkeyName,
                      bool intoDestination);

}  // namespace vpdf
