// Stand-in of the product configuration library. It answers from values that a
// test or the client host writes under HKCU\Software\VarnelTestbed\Config:
// "UILanguage0".."UILanguage2" (DWORD language identifiers) and "InstallPath".
#include "outside/prodcfg.h"

#include <windows.h>

#include <cwchar>

namespace {

constexpr wchar_t kConfigKey[] = L"Software\\VarnelTestbed\\Config";

int CopyInstallPath(wchar_t* buffer, std::size_t size) {
  if (!buffer || size == 0) return 0;
  buffer[0] = L'\0';
  wchar_t path[520];
  DWORD bytes = sizeof path;
  if (RegGetValueW(HKEY_CURRENT_USER, kConfigKey, L"InstallPath", RRF_RT_REG_SZ, nullptr, path,
                   &bytes) != ERROR_SUCCESS)
    return 0;
  wcsncpy(buffer, path, size - 1);
  buffer[size - 1] = L'\0';
  return static_cast<int>(wcslen(buffer));
}

}  // namespace

CPDFConfig& CPDFConfig::get_instance() {
  static CPDFConfig instance;
  return instance;
}

int CPDFConfig::GetUILanguage(int kind) {
  if (kind < 0 || kind > 2) return -1;
  wchar_t name[] = L"UILanguage0";
  name[10] = static_cast<wchar_t>(L'0' + kind);
  DWORD language = 0, bytes = sizeof language;
  if (RegGetValueW(HKEY_CURRENT_USER, kConfigKey, name, RRF_RT_REG_DWORD, nullptr, &language,
                   &bytes) != ERROR_SUCCESS)
    return -1;
  m_uiLanguage[kind] = static_cast<int>(language);
  return m_uiLanguage[kind];
}

int CPDFConfig::registry_based_install_path(wchar_t* buffer, std::size_t size) {
  return CopyInstallPath(buffer, size);
}

int CPDFConfig::GetInstallPath(wchar_t* buffer, std::size_t size) {
  return CopyInstallPath(buffer, size);
}
