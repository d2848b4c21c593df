// Test set-up for the settings, temporary-file and client-option tests: registry values and
// the DMS profile ini file put back as they were, and a check that the temporary folder is
// left as it was found.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "tests/testing/registry.h"
#include "tests/testing/trace_log.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// %ProgramData%\Ostrel\VarnelProDMS.ini, found independently of the code under test.
inline std::wstring ProfileIniFolder() {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::wstring(folder) + L"\\Ostrel";
}
inline std::wstring ProfileIniPath() { return ProfileIniFolder() + L"\\VarnelProDMS.ini"; }

// The DMS profile ini file with the given text (written as UTF-16 with a byte order mark)
// while this lives, and none before or after: the build's prefix has none of its own, and one
// that a killed run left must not reach the next.
class ScopedProfileIni {
 public:
  ScopedProfileIni() { DeleteFileW(ProfileIniPath().c_str()); }
  explicit ScopedProfileIni(const std::wstring& text) : ScopedProfileIni() { Write(text); }
  ~ScopedProfileIni() {
    DeleteFileW(ProfileIniPath().c_str());
    RemoveDirectoryW(ProfileIniFolder().c_str());  // when nothing else is in it
  }
  ScopedProfileIni(const ScopedProfileIni&) = delete;
  ScopedProfileIni& operator=(const ScopedProfileIni&) = delete;

  void Write(const std::wstring& text) const {
    CreateDirectoryW(ProfileIniFolder().c_str(), nullptr);
    const std::wstring bytes = L"\xFEFF" + text;
    std::ofstream(std::filesystem::path(ProfileIniPath()), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size() * 2));
  }
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
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) names.insert(found.cFileName);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return names;
}

inline void RemoveNewInTemp(const std::set<std::wstring>& before) {
  std::error_code ignored;
  for (const std::wstring& name : TempFolderEntries())
    if (!before.count(name)) std::filesystem::remove_all(std::filesystem::path(TempFolder() + name), ignored);
}

// A test that must leave the temporary folder as it found it, with the trace log on.
class CleanTempFolderTest : public testing::Test {
 protected:
  void SetUp() override { m_tempBefore = TempFolderEntries(); }
  // "+name" for new entries and "-name" for lost ones.
  void TearDown() override {
    const std::set<std::wstring> after = TempFolderEntries();
    std::wstring changes;
    for (const std::wstring& name : after) changes += m_tempBefore.count(name) ? L"" : L" +" + name;
    for (const std::wstring& name : m_tempBefore) changes += after.count(name) ? L"" : L" -" + name;
    EXPECT_EQ(L"", changes) << "the temporary folder changed";
  }
  TraceLog log;

 private:
  std::set<std::wstring> m_tempBefore;
};

// UTF-8 for comparisons with trace records and for messages.
inline std::string Utf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                                     out.data(), static_cast<int>(out.size()), nullptr, nullptr)));
  return out;
}

}  // namespace testing_support
