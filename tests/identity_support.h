// Set-up for the command identity tests: the product's install folder, UI language, client
// version and skin settings, put back as they were afterwards; reading the marker pixel of a
// command image; starting a copy of the test program as a child process.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/settings_support.h"
#include "tests/testing/registry.h"

namespace testing_support {

inline constexpr wchar_t kWowProductKey[] = L"Software\\Wow6432Node\\Ostrel\\PDF\\V1";
inline constexpr wchar_t kProductKey[] = L"Software\\Ostrel\\PDF\\V1";
inline constexpr wchar_t kTestbedConfigKey[] = L"Software\\VarnelTestbed\\Config";
inline constexpr wchar_t kInterWovenKey[] = L"Software\\InterWoven";
inline constexpr wchar_t kSkinPolicyKey[] = L"Software\\Policies\\Ostrel\\VarnelPDF 5.1\\OPTIONS";
inline constexpr wchar_t kSkinPreferenceKey[] =
    L"Software\\Ostrel\\PDF\\Ostrel Varnel PDF\\Preference";

inline std::wstring ProgramPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}
// Folder of this program, ending with a backslash.
inline std::wstring ProgramFolder() {
  const std::wstring path = ProgramPath();
  return path.substr(0, path.find_last_of(L'\\') + 1);
}
// The product install folder that the build lays out (the stand-in skin libraries are there);
// a child started by RunChild from a copy elsewhere is told its parent's.
inline std::wstring ProductFolder() {
  wchar_t folder[MAX_PATH] = {};
  DWORD length = GetEnvironmentVariableW(L"VPDF_PRODUCT_FOLDER", folder, MAX_PATH);
  if (length && length < MAX_PATH) return folder;
  return ProgramFolder() + L"product\\";
}

// Everything the identity of a command depends on, saved now and put back at the end.
class IdentitySettings {
 public:
  // The product's install folder (GetProductInstallPath); empty removes it.
  void SetInstallPath(const std::wstring& folder) {
    Set(m_installPath, folder.empty() ? nullptr : folder.c_str());
  }
  // The product's UI language of component kind 0..2 (the prodcfg_x64 stand-in); 0 removes it.
  void SetUILanguage(int kind, DWORD language) {
    language ? m_uiLanguage[kind].SetDword(language) : m_uiLanguage[kind].Remove();
  }
  void SetUILanguageAll(DWORD language) {
    for (int kind = 0; kind < 3; ++kind) SetUILanguage(kind, language);
  }
  // "DeskSite Version" of the client; null removes it.
  void SetClientVersion(const wchar_t* version) { Set(m_clientVersion, version); }
  void ClearSkin() {
    m_policyMachine.Remove();
    m_policyUser.Remove();
    m_preference.Remove();
  }
  ScopedRegistryValue& PolicyMachine() { return m_policyMachine; }
  ScopedRegistryValue& PolicyUser() { return m_policyUser; }
  ScopedRegistryValue& Preference() { return m_preference; }

 private:
  static void Set(const ScopedRegistryValue& value, const wchar_t* text) {
    text ? value.SetString(text) : value.Remove();
  }
  // Declared first: keys the test makes go after the values in them are put back.
  ScopedRegistryKeys m_newKeys{MissingParts({{HKEY_LOCAL_MACHINE, kWowProductKey},
                                             {HKEY_CURRENT_USER, kTestbedConfigKey},
                                             {HKEY_LOCAL_MACHINE, kInterWovenKey},
                                             {HKEY_LOCAL_MACHINE, kSkinPolicyKey},
                                             {HKEY_CURRENT_USER, kSkinPolicyKey},
                                             {HKEY_CURRENT_USER, kSkinPreferenceKey}})};
  ScopedRegistryValue m_installPath{HKEY_LOCAL_MACHINE, kWowProductKey, L"InstallPath"};
  ScopedRegistryValue m_uiLanguage[3] = {{HKEY_CURRENT_USER, kTestbedConfigKey, L"UILanguage0"},
                                         {HKEY_CURRENT_USER, kTestbedConfigKey, L"UILanguage1"},
                                         {HKEY_CURRENT_USER, kTestbedConfigKey, L"UILanguage2"}};
  ScopedRegistryValue m_clientVersion{HKEY_LOCAL_MACHINE, kInterWovenKey, L"DeskSite Version"};
  ScopedRegistryValue m_policyMachine{HKEY_LOCAL_MACHINE, kSkinPolicyKey, L"SkinType"};
  ScopedRegistryValue m_policyUser{HKEY_CURRENT_USER, kSkinPolicyKey, L"SkinType"};
  ScopedRegistryValue m_preference{HKEY_CURRENT_USER, kSkinPreferenceKey, L"SkinType"};
};

struct Pixel {
  int r = -1, g = -1, b = -1, a = -1;
};
struct ImageInfo {
  int width = 0, height = 0, bitsPerPixel = 0;
  Pixel marker, second;  // pixels (0, 0) and (1, 0)
  // The image id that the stand-in skins draw into pixel (0, 0).
  int MarkerId() const { return marker.r < 0 ? -1 : (marker.r << 8) | marker.g; }
  int Skin() const { return marker.b; }  // 1 gray, 2 light gray, 3 blue, 4 generic
};

inline ImageInfo ReadImage(HBITMAP bitmap) {
  ImageInfo info;
  BITMAP header = {};
  if (!bitmap || !GetObjectW(bitmap, sizeof header, &header)) return info;
  info.width = header.bmWidth;
  info.height = header.bmHeight;
  info.bitsPerPixel = header.bmBitsPixel;
  BITMAPINFO request = {};
  request.bmiHeader.biSize = sizeof request.bmiHeader;
  request.bmiHeader.biWidth = header.bmWidth;
  request.bmiHeader.biHeight = -header.bmHeight;  // top row first
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  std::vector<BYTE> bits(static_cast<size_t>(header.bmWidth) * header.bmHeight * 4);
  HDC screen = GetDC(nullptr);
  int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(header.bmHeight), bits.data(), &request,
                       DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows <= 0) return info;
  info.marker = {bits[2], bits[1], bits[0], bits[3]};
  if (header.bmWidth > 1) info.second = {bits[6], bits[5], bits[4], bits[7]};
  return info;
}

// A VT_I4 image property as a bitmap handle.
inline HBITMAP BitmapOf(const VARIANT& value) {
  return value.vt == VT_I4 ? reinterpret_cast<HBITMAP>(static_cast<LONG_PTR>(value.lVal)) : nullptr;
}

// Runs `program` (a copy of this test program) with the arguments and extra environment
// variables, the current folder being this program's folder. The result is the child's exit
// code, or -1 when it could not start, or -3 when it exited 0 without reaching ChildRan():
// a child test that skipped must not pass for one that checked.
inline int RunChild(const std::wstring& program, const std::wstring& arguments,
                    std::vector<std::pair<std::wstring, std::wstring>> environment = {}) {
  wchar_t mark[MAX_PATH] = {}, folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"chd", 0, mark);
  DeleteFileW(mark);
  environment.emplace_back(L"VPDF_CHILD_MARK", mark);
  environment.emplace_back(L"VPDF_PRODUCT_FOLDER", ProductFolder());
  for (const auto& [name, value] : environment)
    SetEnvironmentVariableW(name.c_str(), value.c_str());
  std::wstring line = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                ProgramFolder().c_str(), &startup, &process);
  for (const auto& [name, value] : environment) SetEnvironmentVariableW(name.c_str(), nullptr);
  if (!started) return -1;
  WaitForSingleObject(process.hProcess, 120000);
  DWORD code = static_cast<DWORD>(-1);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  bool ran = DeleteFileW(mark) != 0;
  return code == 0 && !ran ? -3 : static_cast<int>(code);
}

// Called by a child test when it has made all its checks.
inline void ChildRan() {
  wchar_t mark[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"VPDF_CHILD_MARK", mark, MAX_PATH)) return;
  HANDLE file = CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

// The value of an environment variable, empty when it is not set.
inline std::wstring Environment(const wchar_t* name) {
  wchar_t value[512] = {};
  DWORD length = GetEnvironmentVariableW(name, value, 512);
  return length && length < 512 ? std::wstring(value, length) : std::wstring();
}

}  // namespace testing_support
