// Test set-up for the settings, temporary-file and client-option tests: registry values and
// the DMS profile ini file put back as they were, and a check that the temporary folder is
// left as it was found.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "tests/testing/registry.h"
#include "tests/testing/trace_log.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>
#include <string>
#include <vector>

namespace testing_support {

// One registry value, saved now and put back (or removed again) when this goes.
class ScopedRegistryValue {
 public:
  // `view` 0 or KEY_WOW64_32KEY: the registry view of every read and write.
  ScopedRegistryValue(HKEY root, std::wstring path, std::wstring name, REGSAM view = 0)
      : m_root(root), m_path(std::move(path)), m_name(std::move(name)), m_view(view) {
    const DWORD flags = RRF_RT_ANY | RRF_NOEXPAND |
                        (m_view & KEY_WOW64_32KEY ? RRF_SUBKEY_WOW6432KEY : 0);
    DWORD size = 0;
    if (RegGetValueW(m_root, m_path.c_str(), m_name.c_str(), flags, &m_type, nullptr, &size) !=
        ERROR_SUCCESS)
      return;
    m_data.resize(size);
    m_existed = RegGetValueW(m_root, m_path.c_str(), m_name.c_str(), flags, &m_type,
                             m_data.data(), &size) == ERROR_SUCCESS;
  }
  ~ScopedRegistryValue() {
    if (m_existed)
      Set(m_type, m_data.data(), static_cast<DWORD>(m_data.size()));
    else
      Remove();
  }
  ScopedRegistryValue(const ScopedRegistryValue&) = delete;
  ScopedRegistryValue& operator=(const ScopedRegistryValue&) = delete;

  // Any type, raw bytes.
  void Set(DWORD type, const void* data, DWORD size) const {
    if (!m_view) {
      RegSetKeyValueW(m_root, m_path.c_str(), m_name.c_str(), type, data, size);
      return;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_WRITE | m_view, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
      return;
    RegSetValueExW(key, m_name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }
  void SetString(const std::wstring& text) const {
    if (!m_view) return testing_support::SetString(m_root, m_path, m_name.c_str(), text);
    Set(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  void SetDword(DWORD value) const {
    if (!m_view) return testing_support::SetDword(m_root, m_path, m_name.c_str(), value);
    Set(REG_DWORD, &value, sizeof value);
  }
  void Remove() const {
    HKEY key = nullptr;
    if (RegOpenKeyExW(m_root, m_path.c_str(), 0, KEY_SET_VALUE | m_view, &key) != ERROR_SUCCESS)
      return;
    RegDeleteValueW(key, m_name.c_str());
    RegCloseKey(key);
  }

 private:
  HKEY m_root;
  std::wstring m_path, m_name;
  REGSAM m_view = 0;
  bool m_existed = false;
  DWORD m_type = 0;
  std::vector<BYTE> m_data;
};

// A registry tree held in memory.
struct RegistryTree {
  struct Value {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
  };
  std::vector<Value> values;
  std::vector<std::pair<std::wstring, RegistryTree>> subkeys;

  void Read(HKEY key) {
    for (DWORD i = 0;; ++i) {
      wchar_t name[16384];
      DWORD nameLength = 16384, size = 0;
      Value value;
      if (RegEnumValueW(key, i, name, &nameLength, nullptr, &value.type, nullptr, &size) !=
          ERROR_SUCCESS)
        break;
      value.data.resize(size);
      nameLength = 16384;
      RegEnumValueW(key, i, name, &nameLength, nullptr, &value.type, value.data.data(), &size);
      value.name = name;
      values.push_back(std::move(value));
    }
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD nameLength = 256;
      if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS)
        break;
      HKEY child = nullptr;
      if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
      subkeys.emplace_back(name, RegistryTree());
      subkeys.back().second.Read(child);
      RegCloseKey(child);
    }
  }
  void Write(HKEY key) const {
    for (const Value& value : values)
      RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                     static_cast<DWORD>(value.data.size()));
    for (const auto& [name, tree] : subkeys) {
      HKEY child = nullptr;
      if (RegCreateKeyExW(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                          nullptr) != ERROR_SUCCESS)
        continue;
      tree.Write(child);
      RegCloseKey(child);
    }
  }
};

// A key that a test may change at will: it is removed now, and what was there (other
// components' entries included) comes back when this goes.
class ScopedRegistryTree {
 public:
  ScopedRegistryTree(HKEY root, std::wstring path) : m_root(root), m_path(std::move(path)) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(m_root, m_path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      m_existed = true;
      m_saved.Read(key);
      RegCloseKey(key);
    }
    RegDeleteTreeW(m_root, m_path.c_str());
    RegDeleteKeyW(m_root, m_path.c_str());
  }
  ~ScopedRegistryTree() {
    RegDeleteTreeW(m_root, m_path.c_str());
    RegDeleteKeyW(m_root, m_path.c_str());
    HKEY key = nullptr;
    if (m_existed && RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                     nullptr, &key, nullptr) == ERROR_SUCCESS) {
      m_saved.Write(key);
      RegCloseKey(key);
    }
  }
  ScopedRegistryTree(const ScopedRegistryTree&) = delete;
  ScopedRegistryTree& operator=(const ScopedRegistryTree&) = delete;

 private:
  HKEY m_root;
  std::wstring m_path;
  bool m_existed = false;
  RegistryTree m_saved;
};

// %ProgramData%\Ostrel\VarnelProDMS.ini, found independently of the code under test.
inline std::wstring ProfileIniFolder() {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::wstring(folder) + L"\\Ostrel";
}
inline std::wstring ProfileIniPath() { return ProfileIniFolder() + L"\\VarnelProDMS.ini"; }

// The DMS profile ini file with the given text (written as UTF-16 with a byte order mark)
// while this lives; what was there before (file, folder or nothing) comes back afterwards.
class ScopedProfileIni {
 public:
  ScopedProfileIni() {
    m_folderMade = CreateDirectoryW(ProfileIniFolder().c_str(), nullptr) != 0;
    std::ifstream in(std::filesystem::path(ProfileIniPath()), std::ios::binary);
    if (in) {
      m_existed = true;
      m_previous.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    DeleteFileW(ProfileIniPath().c_str());
  }
  explicit ScopedProfileIni(const std::wstring& text) : ScopedProfileIni() { Write(text); }
  ~ScopedProfileIni() {
    DeleteFileW(ProfileIniPath().c_str());
    if (m_existed) {
      std::ofstream out(std::filesystem::path(ProfileIniPath()), std::ios::binary);
      out.write(m_previous.data(), static_cast<std::streamsize>(m_previous.size()));
    }
    if (m_folderMade) RemoveDirectoryW(ProfileIniFolder().c_str());
  }
  ScopedProfileIni(const ScopedProfileIni&) = delete;
  ScopedProfileIni& operator=(const ScopedProfileIni&) = delete;

  void Write(const std::wstring& text) const {
    std::ofstream out(std::filesystem::path(ProfileIniPath()), std::ios::binary | std::ios::trunc);
    const wchar_t bom = 0xFEFF;
    out.write(reinterpret_cast<const char*>(&bom), sizeof bom);
    out.write(reinterpret_cast<const char*>(text.data()),
              static_cast<std::streamsize>(text.size() * sizeof(wchar_t)));
  }

 private:
  bool m_folderMade = false;
  bool m_existed = false;
  std::string m_previous;
};

inline std::wstring TempFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return folder;
}

// The names in the temporary folder, for a check that a test leaves it as it found it.
inline std::set<std::wstring> TempFolderEntries() {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((TempFolder() + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.insert(found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// What differs between two listings, "+name" for new entries and "-name" for lost ones.
inline std::wstring TempFolderChanges(const std::set<std::wstring>& before,
                                      const std::set<std::wstring>& after) {
  std::wstring changes;
  for (const std::wstring& name : after)
    if (!before.count(name)) changes += L" +" + name;
  for (const std::wstring& name : before)
    if (!after.count(name)) changes += L" -" + name;
  return changes;
}

// A test that must leave the temporary folder as it found it, with the trace log on.
class CleanTempFolderTest : public testing::Test {
 protected:
  void SetUp() override { m_tempBefore = TempFolderEntries(); }
  void TearDown() override {
    EXPECT_EQ(L"", TempFolderChanges(m_tempBefore, TempFolderEntries()))
        << "the temporary folder changed";
  }
  TraceLog log;

 private:
  std::set<std::wstring> m_tempBefore;
};

// UTF-8 for comparisons with trace records.
inline std::string Utf8(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                 nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

// Closes the message boxes that this thread shows while it lives, remembering their
// captions and texts (a thread timer, dispatched by the message box's own loop).
class MessageBoxCloser {
 public:
  struct Box {
    std::wstring caption, text;
    bool operator==(const Box&) const = default;
  };
  MessageBoxCloser() {
    s_boxes.clear();
    s_closed.clear();
    m_timer = SetTimer(nullptr, 0, 100, &MessageBoxCloser::OnTimer);
  }
  ~MessageBoxCloser() { KillTimer(nullptr, m_timer); }
  const std::vector<Box>& Boxes() const { return s_boxes; }

 private:
  static BOOL CALLBACK OnWindow(HWND window, LPARAM) {
    wchar_t className[64] = {}, caption[1024] = {}, text[1024] = {};
    GetClassNameW(window, className, 64);
    if (wcscmp(className, L"#32770") != 0 || !s_closed.insert(window).second) return TRUE;
    GetWindowTextW(window, caption, 1024);
    GetDlgItemTextW(window, 0xFFFF, text, 1024);
    s_boxes.push_back({caption, text});
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
  }
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), &MessageBoxCloser::OnWindow, 0);
  }
  UINT_PTR m_timer = 0;
  static inline std::vector<Box> s_boxes;
  static inline std::set<HWND> s_closed;
};

}  // namespace testing_support
