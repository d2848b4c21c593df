// Shared by the tests of storing Create PDF's result and of importing new documents: the
// client's installation (IManExt2.dll found, options key), registry and profile set-up put
// back afterwards, the testbed's DMS objects, and context-item reads.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IManExt.h"
#include "testbed/dms/client_commands.h"
#include "tests/command_run_support.h"
#include "tests/settings_support.h"

namespace testing_support {

inline constexpr wchar_t kClientOptionsKey[] =
    L"Software\\InterWoven\\WorkSite\\8.0\\Common\\Advanced Options";
inline constexpr wchar_t kShowProfileValue[] = L"Show profile for checkin as newversion";
inline constexpr wchar_t kInstallRootKey[] = L"Software\\InterWoven\\WorkSite\\9.0\\Common\\InstallRoot";
inline constexpr wchar_t kProductWorkSiteKey[] = L"Software\\Ostrel\\PDF\\V1\\WorkSite";

// A client folder with IManExt2.dll for the whole program: whether it is installed is looked
// up once per process.
class ClientInstallation : public testing::Environment {
 public:
  void SetUp() override {
    wchar_t folder[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, folder, MAX_PATH);
    m_folder = std::wstring(folder) + L".client\\";
    CreateDirectoryW(m_folder.c_str(), nullptr);
    HANDLE file = CreateFileW((m_folder + L"IManExt2.dll").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    m_machine = new ScopedRegistryTree(HKEY_LOCAL_MACHINE, L"Software\\InterWoven");
    SetString(HKEY_LOCAL_MACHINE, kInstallRootKey, L"path", m_folder);
  }
  void TearDown() override {
    delete m_machine;
    DeleteFileW((m_folder + L"IManExt2.dll").c_str());
    RemoveDirectoryW(m_folder.c_str());
  }

 private:
  std::wstring m_folder;
  ScopedRegistryTree* m_machine = nullptr;
};

// The record of context item `name` as a client command found it.
inline const tb::ContextRecord* FindRecord(const tb::ClientCommandRun& run, const std::wstring& name) {
  for (const tb::ContextRecord& record : run.context)
    if (record.name == name) return &record;
  return nullptr;
}

// Writes `document` as "ImportedDocument" when the client command accepts.
inline void ImportGives(tb::ClientCommandKind kind, IDispatch* document, bool checkedOut,
                        tb::UserAction user = tb::UserAction::kAccept) {
  tb::ClientScript script;
  script.user = user;
  script.onAccept = [document](IContextItems* context) {
    VARIANT value;
    value.vt = VT_DISPATCH;
    value.pdispVal = document;
    BSTR name = SysAllocString(L"ImportedDocument");
    context->Add(name, value);
    SysFreeString(name);
  };
  static_cast<tb::AutoObject*>(document)->SetBool(L"CheckedOut", checkedOut);
  tb::SetClientScript(kind, script);
}

// An empty file.
inline void Touch(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, "%PDF-1.4\n", 9, &written, nullptr);
  CloseHandle(file);
}

}  // namespace testing_support
