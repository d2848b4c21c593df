// Set-up for the tests that run a command's Update and Execute on the testbed's DMS objects
// and helper programs: the product pointed at the testbed's install folder, usage events on,
// no DMS profile file, every registry value put back afterwards, a journal of the helpers, a
// working folder for the documents' contents, and the checks that every test ends with (the
// temporary folder as it was found, every client object released).
#pragma once
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "IManExt.h"
#include "convutils/comutil.h"
#include "testbed/agents/journal.h"
#include "testbed/dms/tbdms.h"
#include "tests/settings_support.h"
#include "tests/testing/registry.h"

namespace testing_support {

inline constexpr wchar_t kRunProductKey[] = L"Software\\Ostrel\\PDF\\V1";
inline constexpr wchar_t kRunProductKey32[] = L"Software\\Wow6432Node\\Ostrel\\PDF\\V1";
inline constexpr wchar_t kRunConfigKey[] = L"Software\\VarnelTestbed\\Config";
inline constexpr wchar_t kRunPolicyKey[] = L"Software\\Policies\\Ostrel\\VarnelPDF 5.1\\Preferences";

inline std::vector<std::pair<HKEY, std::wstring>> MissingRunKeys() {
  return MissingParts({{HKEY_LOCAL_MACHINE, kRunProductKey},
                       {HKEY_LOCAL_MACHINE, kRunProductKey32},
                       {HKEY_LOCAL_MACHINE, kRunPolicyKey},
                       {HKEY_CURRENT_USER, kRunConfigKey},
                       {HKEY_CURRENT_USER, kRunProductKey},
                       {HKEY_CURRENT_USER, L"Software\\VarnelTestbed\\Agents"}});
}

// The running processes with this executable name that this process started.
inline std::vector<DWORD> ChildProcesses(const wchar_t* exeName) {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, exeName) == 0 &&
        entry.th32ParentProcessID == GetCurrentProcessId())
      ids.push_back(entry.th32ProcessID);
  CloseHandle(snapshot);
  return ids;
}

inline void WaitForChildren(const wchar_t* exeName) {
  for (DWORD id : ChildProcesses(exeName)) {
    if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id)) {
      WaitForSingleObject(process, 15000);
      CloseHandle(process);
    }
  }
}

inline std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteText(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The quoted pieces of a command line, in order.
inline std::vector<std::wstring> QuotedParts(const std::wstring& line) {
  std::vector<std::wstring> parts;
  for (size_t open = line.find(L'"'); open != std::wstring::npos;) {
    size_t close = line.find(L'"', open + 1);
    if (close == std::wstring::npos) break;
    parts.push_back(line.substr(open + 1, close - open - 1));
    open = line.find(L'"', close + 1);
  }
  return parts;
}

// The value of context item `name` as the add-in left it; VT_EMPTY when there is none.
inline VARIANT ContextItem(IContextItems* items, const wchar_t* name) {
  VARIANT value;
  VariantInit(&value);
  VARIANT index;
  index.vt = VT_BSTR;
  index.bstrVal = SysAllocString(name);
  items->Item(index, &value);
  VariantClear(&index);
  return value;
}

// A test that runs a command of type `Command` (linked in, created with new) with a context
// collection of the testbed.
template <class Command>
class CommandRunTest : public CleanTempFolderTest {
 protected:
  void SetUp() override {
    static int counter = 0;
    m_work = TempFolder() + L"cmdrun" + std::to_wstring(GetCurrentProcessId()) + L"_" +
             std::to_wstring(++counter);
    std::error_code ignored;  // a run that was killed may have left its folder
    std::filesystem::remove_all(std::filesystem::path(m_work), ignored);
    CleanTempFolderTest::SetUp();
    ASSERT_TRUE(CreateDirectoryW(m_work.c_str(), nullptr));
    for (ScopedRegistryValue* value : {&m_installPath, &m_configPath, &m_collectData,
                                       &m_collectDataUser, &m_analyticsMachine, &m_analyticsUser})
      value->Remove();
    m_installPath32.Remove();
    for (auto& language : m_uiLanguage) language.Remove();
    testbed::PointProductAt(testbed::ProductFolder());
    // Usage events are on by policy: every Execute starts the usage helper.
    m_collectData.SetDword(1);
    journal.Clear();
    NewCommand();
  }

  void TearDown() override {
    // Helpers that nobody waits for must be gone before their journal and folders go.
    WaitForChildren(L"usagestats.exe");
    WaitForChildren(L"vpdfassist.exe");
    m_command.Reset();
    m_context.Reset();
    for (IDispatch* object : m_owned) object->Release();
    m_owned.clear();
    EXPECT_EQ(0, tb::LiveObjects()) << "a client object was not released";
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(m_work), error);
    EXPECT_FALSE(error) << error.message();
    CleanTempFolderTest::TearDown();
  }

  // A new command object (the old one gone first) with a new, empty context collection.
  void NewCommand() {
    m_command.Reset();
    m_command = vpdf::ComPtr<Command>(new Command);
    ASSERT_EQ(S_OK, tb::NewContextItems(m_context.Put()));
    ASSERT_EQ(S_OK, m_command->Initialize(m_context.Get()));
  }

  // The product's UI language for every component kind (the configuration stand-in).
  void SetUILanguage(DWORD language) {
    for (auto& value : m_uiLanguage) value.SetDword(language);
  }

  // A path in the working folder.
  std::wstring Work(const std::wstring& name) const { return m_work + L"\\" + name; }

  // A document whose content is a new file in the working folder; released at the end.
  tb::Document* Doc(const std::wstring& name, const std::wstring& extension,
                    const std::string& content = "content\r\n", long number = 0) {
    static long next = 1000;
    if (!number) number = ++next;
    std::wstring contentPath = Work(L"content" + std::to_wstring(number) + L"." + extension);
    WriteText(contentPath, content);
    tb::Document* document = tb::Document::Create(Database(), number, 1, name,
                                                  extension + L"TYPE", extension, contentPath);
    m_owned.push_back(document);
    return document;
  }
  tb::Database* Database() {
    if (!m_database) {
      tb::Session* session = tb::Session::Create(L"jdoe", L"DMSSRV");
      m_database = tb::Database::Create(L"ACTIVE", session);
      session->Release();
      m_owned.push_back(m_database);
    }
    return m_database;
  }
  tb::AutoObject* Keep(tb::AutoObject* object) {
    m_owned.push_back(object);
    return object;
  }

  void Select(const wchar_t* item, const std::vector<IDispatch*>& objects) {
    VARIANT value;
    value.vt = VT_ARRAY | VT_DISPATCH;
    value.parray = tb::DispatchArray(objects);
    BSTR name = SysAllocString(item);
    ASSERT_EQ(S_OK, m_context->Add(name, value));
    SysFreeString(name);
    VariantClear(&value);
  }
  // An item of the selection's type whose array cannot be read.
  void SelectUnreadable(const wchar_t* item) {
    VARIANT value;
    value.vt = VT_ARRAY | VT_DISPATCH;
    value.parray = nullptr;
    BSTR name = SysAllocString(item);
    ASSERT_EQ(S_OK, m_context->Add(name, value));
    SysFreeString(name);
  }

  // Whether the command asked the client to refresh its view.
  bool Refreshed() const {
    VARIANT value = ContextItem(m_context.Get(), L"iManExt.Refresh");
    const bool set = value.vt == VT_BOOL && value.boolVal == VARIANT_TRUE;
    VariantClear(&value);
    return set;
  }

  LONG StatusAfterUpdate(LONG before) {
    m_command->put_Status(before);
    EXPECT_EQ(S_OK, m_command->Update());
    LONG status = -1;
    m_command->get_Status(&status);
    return status;
  }

  // The usage helper's command line for this event's fields, as the journal records it.
  static std::wstring UsageCommandLine(const std::wstring& fields) {
    return testbed::ProductFolder() + L"\\usagestats.exe Software\\Ostrel\\PDF\\V1|5.1.0.2718|" +
           L"UA-271828182-1|" + fields;
  }

  // Declared first: removed last, after the values inside them are put back.
  ScopedRegistryKeys m_newKeys{MissingRunKeys()};
  ScopedRegistryValue m_installPath{HKEY_LOCAL_MACHINE, kRunProductKey, L"InstallPath"};
  ScopedRegistryValue m_installPath32{HKEY_LOCAL_MACHINE, kRunProductKey32, L"InstallPath",
                                      KEY_WOW64_32KEY};
  ScopedRegistryValue m_configPath{HKEY_CURRENT_USER, kRunConfigKey, L"InstallPath"};
  ScopedRegistryValue m_collectData{HKEY_LOCAL_MACHINE, kRunPolicyKey, L"CollectData"};
  ScopedRegistryValue m_collectDataUser{HKEY_CURRENT_USER, kRunPolicyKey, L"CollectData"};
  ScopedRegistryValue m_analyticsMachine{HKEY_LOCAL_MACHINE, kRunProductKey, L"AnalyticsEnabled"};
  ScopedRegistryValue m_analyticsUser{HKEY_CURRENT_USER, kRunProductKey, L"AnalyticsEnabled"};
  ScopedRegistryValue m_uiLanguage[3] = {{HKEY_CURRENT_USER, kRunConfigKey, L"UILanguage0"},
                                         {HKEY_CURRENT_USER, kRunConfigKey, L"UILanguage1"},
                                         {HKEY_CURRENT_USER, kRunConfigKey, L"UILanguage2"}};
  ScopedProfileIni m_profileIni;  // no DMS profile file unless a test writes one
  testbed::ScopedAgentControls controls;
  testbed::AgentJournal journal;
  std::wstring m_work;
  vpdf::ComPtr<Command> m_command;
  vpdf::ComPtr<IContextItems> m_context;
  tb::Database* m_database = nullptr;
  std::vector<IDispatch*> m_owned;
};

}  // namespace testing_support
