// Usage analytics: the decision table in the real registry, the helper's command
// line as the testbed's usagestats.exe receives it, and EscapeUrlText.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convutils/usage_analytics.h"
#include "testbed/agents/journal.h"
#include "tests/import_hook.h"
#include "tests/settings_support.h"
#include "tests/testing/registry.h"

namespace {

using testing_support::ScopedRegistryValue;
using testing_support::Utf8;
using vpdf::CUsageAnalytics;
using vpdf::EscapeUrlText;

constexpr wchar_t kProductKey[] = L"Software\\Ostrel\\PDF\\V1";
constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Ostrel\\VarnelPDF 5.1\\Preferences";
constexpr wchar_t kTrackingId[] = L"UA-271828182-1";

// What the tests create: taken away again (the agents' controls too, beyond their own key).
tbreg::KeyList NewKeys() {
  return testing_support::MissingParts({{HKEY_LOCAL_MACHINE, kProductKey},
                                        {HKEY_LOCAL_MACHINE, kPolicyKey},
                                        {HKEY_CURRENT_USER, kProductKey},
                                        {HKEY_CURRENT_USER, kPolicyKey},
                                        {HKEY_CURRENT_USER, L"Software\\VarnelTestbed\\Agents"}});
}

// The processes named usagestats.exe that this process started.
std::vector<DWORD> OurHelpers() {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, L"usagestats.exe") == 0 &&
        entry.th32ParentProcessID == GetCurrentProcessId())
      ids.push_back(entry.th32ProcessID);
  CloseHandle(snapshot);
  return ids;
}

// Every test: the analytics values of both roots saved and put back, keys that did not exist
// removed again, a journal, and a working folder that goes again. The helper is the testbed's
// usagestats.exe of the product folder unless a test says otherwise.
class AnalyticsTest : public testing_support::CleanTempFolderTest {
 protected:
  void SetUp() override {
    CleanTempFolderTest::SetUp();
    m_work = testing_support::TempFolder() + L"analytics" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(m_work.c_str(), nullptr));
    for (ScopedRegistryValue* value : {&m_policy[0], &m_policy[1], &m_switch[0], &m_switch[1],
                                       &m_install[0], &m_install[1]})
      value->Remove();
    journal.Clear();
  }
  void TearDown() override {
    // Wait for any helper still running before its folder goes.
    for (DWORD id : OurHelpers()) {
      if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id)) {
        WaitForSingleObject(process, 15000);
        CloseHandle(process);
      }
    }
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(m_work), error);
    EXPECT_FALSE(error) << error.message();
    CleanTempFolderTest::TearDown();
  }

  ScopedRegistryValue& CollectData(HKEY root) { return m_policy[root == HKEY_CURRENT_USER]; }
  ScopedRegistryValue& AnalyticsEnabled(HKEY root) { return m_switch[root == HKEY_CURRENT_USER]; }
  ScopedRegistryValue& InstallPath(HKEY root) { return m_install[root == HKEY_CURRENT_USER]; }

  // An install folder of the test's own with the testbed helper and, if given, a Build.id.
  std::wstring MakeInstallFolder(const char* buildId) {
    std::wstring folder = m_work + L"\\install\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    CopyFileW((testbed::ProductFolder() + L"\\usagestats.exe").c_str(),
              (folder + L"usagestats.exe").c_str(), FALSE);
    if (buildId) tbpdf::WriteFileBytes(folder + L"Build.id", buildId);
    return folder;
  }
  // The product's own folder, with its Build.id "5.1.0.2718".
  std::wstring UseProduct() {
    std::wstring folder = testbed::ProductFolder() + L"\\";
    InstallPath(HKEY_LOCAL_MACHINE).SetString(folder);
    return folder;
  }
  void Enable() { CollectData(HKEY_LOCAL_MACHINE).SetDword(1); }

  static DWORD ReadDword(HKEY root, const wchar_t* path, const wchar_t* name, DWORD* type = nullptr) {
    DWORD value = 0xDEADBEEF, size = sizeof value, found = 0;
    if (RegGetValueW(root, path, name, RRF_RT_ANY, &found, &value, &size) != ERROR_SUCCESS)
      return 0xDEADBEEF;
    if (type) *type = found;
    return value;
  }

  // Keys first: removed after the values in them are put back.
  testing_support::ScopedRegistryKeys m_newKeys{NewKeys()};
  ScopedRegistryValue m_policy[2] = {{HKEY_LOCAL_MACHINE, kPolicyKey, L"CollectData"},
                                     {HKEY_CURRENT_USER, kPolicyKey, L"CollectData"}};
  ScopedRegistryValue m_switch[2] = {{HKEY_LOCAL_MACHINE, kProductKey, L"AnalyticsEnabled"},
                                     {HKEY_CURRENT_USER, kProductKey, L"AnalyticsEnabled"}};
  ScopedRegistryValue m_install[2] = {{HKEY_LOCAL_MACHINE, kProductKey, L"InstallPath"},
                                      {HKEY_CURRENT_USER, kProductKey, L"InstallPath"}};
  testbed::ScopedAgentControls controls;
  testbed::AgentJournal journal;
  std::wstring m_work;
};

// ---------------------------------------------------------------- escaping

TEST(EscapeUrlText, EscapesBlanksAndUnitsAbove127Only) {
  const std::pair<const wchar_t*, const wchar_t*> rows[] = {
      {L"a b", L"a%20b"}, {L"\u00E9", L"%E9"}, {L"\u20AC", L"%20AC"},
      {L"\u0080\u00FF\u0100\uFFFF", L"%80%FF%100%FFFF"}, {L"", L""},
      {L"|%\\/?&=+-_.~\x7F\t", L"|%\\/?&=+-_.~\x7F\t"},
      {L"\U0001F600", L"%D83D%DE00"},  // outside the basic plane: unit by unit
  };
  for (const auto& [text, escaped] : rows) EXPECT_EQ(escaped, EscapeUrlText(text)) << Utf8(escaped);
}

// ---------------------------------------------------------------- decision table

TEST_F(AnalyticsTest, PolicyFirstMachineBeforeUserThenTheSwitchOnlyExactlyOneEnables) {
  UseProduct();
  const DWORD kNone = 0xFFFFFFFF;
  const struct {
    DWORD machinePolicy, userPolicy, machineSwitch, userSwitch;
    bool enabled;
  } rows[] = {
      {0, 1, 1, 1, false},  // the machine's policy is read first, whatever the switch says
      {1, kNone, 0, kNone, true},
      {kNone, 0, kNone, 1, false},  // the user's policy when the machine has none
      {kNone, 1, kNone, 0, true},
      {kNone, 2, kNone, 1, false},
      {kNone, kNone, 0, 1, false},  // no policy: the machine's switch first
      {kNone, kNone, kNone, 1, true},
      {kNone, kNone, kNone, 0, false},
      {kNone, kNone, kNone, 2, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.machinePolicy << " " << row.userPolicy << " "
                                    << row.machineSwitch << " " << row.userSwitch);
    const std::pair<ScopedRegistryValue*, DWORD> values[] = {
        {&CollectData(HKEY_LOCAL_MACHINE), row.machinePolicy},
        {&CollectData(HKEY_CURRENT_USER), row.userPolicy},
        {&AnalyticsEnabled(HKEY_LOCAL_MACHINE), row.machineSwitch},
        {&AnalyticsEnabled(HKEY_CURRENT_USER), row.userSwitch}};
    for (const auto& [value, number] : values) {
      if (number == kNone) value->Remove();
      else value->SetDword(number);
    }
    CUsageAnalytics analytics(kProductKey, kTrackingId);
    analytics.AddField(L"ec", L"iManage");
    EXPECT_EQ(row.enabled, analytics.Enabled());
    // A switch that is present is never rewritten.
    EXPECT_EQ(row.userSwitch == kNone ? 0xDEADBEEF : row.userSwitch,
              ReadDword(HKEY_CURRENT_USER, kProductKey, L"AnalyticsEnabled"));
    if (!row.enabled) {
      EXPECT_EQ(L"", analytics.HelperPath());
      EXPECT_EQ(L"", analytics.Parameters());
      analytics.Send();
      EXPECT_TRUE(OurHelpers().empty());
    }
  }
  EXPECT_FALSE(journal.WaitFor(testbed::kUsageStatsExe, 1, 1500));

  // The policy's registry type is not checked: four bytes of another type count as a number.
  DWORD one = 1;
  CollectData(HKEY_CURRENT_USER).Set(REG_BINARY, &one, sizeof one);
  AnalyticsEnabled(HKEY_LOCAL_MACHINE).SetDword(0);
  EXPECT_TRUE(CUsageAnalytics(kProductKey, kTrackingId).Enabled());
}

TEST_F(AnalyticsTest, WithoutAnyValueTheFirstUseWritesTheSwitchAndStartsTheHelper) {
  const std::wstring folder = UseProduct();
  CUsageAnalytics analytics(kProductKey, kTrackingId);
  EXPECT_TRUE(analytics.Enabled());
  DWORD type = 0;
  EXPECT_EQ(1u, ReadDword(HKEY_CURRENT_USER, kProductKey, L"AnalyticsEnabled", &type));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_FALSE(testing_support::ValueExists(HKEY_LOCAL_MACHINE, kProductKey, L"AnalyticsEnabled"));
  EXPECT_EQ(folder + L"usagestats.exe", analytics.HelperPath());

  // The product folder's Build.id is "5.1.0.2718"; fields trimmed, escaped, empty ones left out.
  analytics.AddField(L" ec ", L"\tiManage ");
  analytics.AddField(L"ea", L"Send E-mail");
  analytics.AddField(L"el", L"Caf\u00E9 \u20AC");
  for (const wchar_t* empty : {L"", L"   ", static_cast<const wchar_t*>(nullptr)}) {
    analytics.AddField(L"el", empty);
    analytics.AddField(empty, L"value");
  }
  const std::wstring parameters =
      L"Software\\Ostrel\\PDF\\V1|5.1.0.2718|UA-271828182-1|ec|iManage|ea|Send%20E-mail|el|"
      L"Caf%E9%20%20AC";
  EXPECT_EQ(parameters, analytics.Parameters());
  analytics.Send();
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
  auto runs = journal.Entries(testbed::kUsageStatsExe);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(folder + L"usagestats.exe " + parameters, runs[0].commandLine);
  EXPECT_EQ(L"recorded, exit 0", runs[0].what);
}

// ---------------------------------------------------------------- helper and build id

TEST_F(AnalyticsTest, HelperAndBuildIdComeFromTheInstallFolder) {
  Enable();
  const std::wstring folder = MakeInstallFolder("\r\n   \t 5.1.2345.6  extra words\r\nnext");
  InstallPath(HKEY_CURRENT_USER).SetString(folder);  // the user's when the machine has none

  CUsageAnalytics analytics(kProductKey, kTrackingId);
  EXPECT_EQ(folder + L"usagestats.exe", analytics.HelperPath());
  EXPECT_EQ(L"Software\\Ostrel\\PDF\\V1|5.1.2345.6|UA-271828182-1", analytics.Parameters());

  // The machine's folder comes first; without a Build.id the identifier is empty.
  InstallPath(HKEY_LOCAL_MACHINE).SetString(m_work + L"\\");
  CUsageAnalytics other(kProductKey, kTrackingId);
  EXPECT_EQ(m_work + L"\\usagestats.exe", other.HelperPath());
  EXPECT_EQ(L"Software\\Ostrel\\PDF\\V1||UA-271828182-1", other.Parameters());
  other.Send();  // nothing to start there, nothing reported
  EXPECT_TRUE(OurHelpers().empty());
}

// ---------------------------------------------------------------- sending

// What Send passes to CreateProcess is recorded on its way to the real function: Wine does
// not apply priority classes to the processes it starts.
TEST_F(AnalyticsTest, HelperStartsBelowNormalPriorityAndIsNotWaitedFor) {
  Enable();
  const std::wstring folder = UseProduct();
  testbed::SetAgentDelay(testbed::kUsageStats, 2000);
  CUsageAnalytics analytics(kProductKey, kTrackingId);
  analytics.AddField(L"ec", L"iManage");
  analytics.AddField(L"ea", L"Scan");
  testing_support::RecordedProcessStarts recorded;
  ASSERT_TRUE(recorded.Installed());

  analytics.Send();
  ASSERT_EQ(1u, recorded.Starts().size());
  const testing_support::ProcessStart& helper = recorded.Starts()[0];
  EXPECT_EQ(folder + L"usagestats.exe Software\\Ostrel\\PDF\\V1|5.1.0.2718|UA-271828182-1|ec|"
                     L"iManage|ea|Scan",
            helper.commandLine);
  EXPECT_EQ(static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS), helper.flags);

  // Still running: Send did not wait for it.
  EXPECT_EQ(1u, OurHelpers().size());
  EXPECT_TRUE(journal.Entries().empty());
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
}

TEST_F(AnalyticsTest, CommandLineMustFit1040Characters) {
  Enable();
  UseProduct();
  // 1040 characters with the terminator: 1039 are started.
  for (size_t length : {1039u, 1040u}) {
    CUsageAnalytics analytics(kProductKey, kTrackingId);
    size_t used = analytics.CommandLine().size() + 4;  // "|el|"
    analytics.AddField(L"el", std::wstring(length - used, L'x').c_str());
    ASSERT_EQ(length, analytics.CommandLine().size());
    analytics.Send();
  }
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
  EXPECT_FALSE(journal.WaitFor(testbed::kUsageStatsExe, 2, 1500));
  EXPECT_EQ(1039u, journal.Entries(testbed::kUsageStatsExe)[0].commandLine.size());
}

}  // namespace
