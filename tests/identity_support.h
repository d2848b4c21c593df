// What a command's identity depends on: the product's install folder, UI language, client
// version and skin settings, put back as they were afterwards.
#pragma once
#include <windows.h>

#include <string>

#include "tests/settings_support.h"
#include "tests/testing/harness.h"

namespace testing_support {

inline constexpr wchar_t kInterWovenKey[] = L"Software\\InterWoven";
inline constexpr wchar_t kSkinPolicyKey[] = L"Software\\Policies\\Ostrel\\VarnelPDF 5.1\\OPTIONS";
inline constexpr wchar_t kSkinPreferenceKey[] = L"Software\\Ostrel\\PDF\\Ostrel Varnel PDF\\Preference";

inline std::wstring ProgramPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}
// An environment variable of this process; empty when unset.
inline std::wstring EnvironmentVariable(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length && length < MAX_PATH ? value : L"";
}
// The product's install folder (the stand-in skin libraries are there), ending with "\\".
inline std::wstring ProductFolder() { return testbed::ProductFolder() + L"\\"; }

// Everything the identity of a command depends on, saved now and put back at the end.
class IdentitySettings {
 public:
  // The product's install folder (GetProductInstallPath); empty removes it.
  void SetInstallPath(const std::wstring& folder) { Set(m_installPath, folder.empty() ? nullptr : folder.c_str()); }
  // The product's UI language of component kind 0..2 (the prodcfg_x64 stand-in); 0 removes it.
  void SetUILanguage(int kind, DWORD language) {
    language ? m_uiLanguage[kind].SetDword(language) : m_uiLanguage[kind].Remove();
  }
  void SetUILanguageAll(DWORD language) { for (int kind : {0, 1, 2}) SetUILanguage(kind, language); }
  // "DeskSite Version" of the client; null removes it.
  void SetClientVersion(const wchar_t* version) { Set(m_clientVersion, version); }
  void ClearSkin() { m_policyMachine.Remove(), m_policyUser.Remove(), m_preference.Remove(); }
  ScopedRegistryValue& PolicyMachine() { return m_policyMachine; }
  ScopedRegistryValue& PolicyUser() { return m_policyUser; }
  ScopedRegistryValue& Preference() { return m_preference; }

 private:
  static void Set(const ScopedRegistryValue& value, const wchar_t* text) { text ? value.SetString(text) : value.Remove(); }
  // Declared first: keys the test makes go after the values in them are put back.
  ScopedRegistryKeys m_newKeys{MissingParts({{HKEY_LOCAL_MACHINE, kRunProductKey32}, {HKEY_CURRENT_USER, kRunConfigKey},
                                             {HKEY_LOCAL_MACHINE, kInterWovenKey}, {HKEY_LOCAL_MACHINE, kSkinPolicyKey},
                                             {HKEY_CURRENT_USER, kSkinPolicyKey}, {HKEY_CURRENT_USER, kSkinPreferenceKey}})};
  ScopedRegistryValue m_installPath{HKEY_LOCAL_MACHINE, kRunProductKey32, L"InstallPath"};
  ScopedRegistryValue m_uiLanguage[3] = {{HKEY_CURRENT_USER, kRunConfigKey, L"UILanguage0"},
                                         {HKEY_CURRENT_USER, kRunConfigKey, L"UILanguage1"},
                                         {HKEY_CURRENT_USER, kRunConfigKey, L"UILanguage2"}};
  ScopedRegistryValue m_clientVersion{HKEY_LOCAL_MACHINE, kInterWovenKey, L"DeskSite Version"};
  ScopedRegistryValue m_policyMachine{HKEY_LOCAL_MACHINE, kSkinPolicyKey, L"SkinType"};
  ScopedRegistryValue m_policyUser{HKEY_CURRENT_USER, kSkinPolicyKey, L"SkinType"};
  ScopedRegistryValue m_preference{HKEY_CURRENT_USER, kSkinPreferenceKey, L"SkinType"};
};

}  // namespace testing_support
