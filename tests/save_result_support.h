// Shared by the tests that store results through the client's commands (Create PDF, imports):
// the client's installation (IManExt2.dll found), its option keys, context-item records.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "IManExt.h"
#include "testbed/dms/client_commands.h"
#include "tests/command_run_support.h"

namespace testing_support {

inline constexpr wchar_t kClientOptionsKey[] = L"Software\\InterWoven\\WorkSite\\8.0\\Common\\Advanced Options";
inline constexpr wchar_t kShowProfileValue[] = L"Show profile for checkin as newversion";
inline constexpr wchar_t kProductWorkSiteKey[] = L"Software\\Ostrel\\PDF\\V1\\WorkSite";

// A client folder with IManExt2.dll for the whole program: whether it is installed is looked
// up once per process.
class ClientInstallation : public testing::Environment {
 public:
  void SetUp() override {
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    m_folder = std::wstring(program) + L".client\\";
    CreateDirectoryW(m_folder.c_str(), nullptr);
    WriteText(m_folder + L"IManExt2.dll", "");
    m_machine = std::make_unique<ScopedRegistryTree>(HKEY_LOCAL_MACHINE, L"Software\\InterWoven");
    SetString(HKEY_LOCAL_MACHINE, L"Software\\InterWoven\\WorkSite\\9.0\\Common\\InstallRoot", L"path", m_folder);
  }
  void TearDown() override {
    m_machine.reset();
    DeleteFileW((m_folder + L"IManExt2.dll").c_str());
    RemoveDirectoryW(m_folder.c_str());
  }

 private:
  std::wstring m_folder;
  std::unique_ptr<ScopedRegistryTree> m_machine;
};

// The record of context item `name` as a client command found it.
inline const tb::ContextRecord* FindRecord(const tb::ClientCommandRun& run, const std::wstring& name) {
  for (const tb::ContextRecord& record : run.context)
    if (record.name == name) return &record;
  return nullptr;
}

}  // namespace testing_support
