// Usage events: the policy and switch values in the real registry decide whether the testbed's
// usagestats.exe is started, and with which command line.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "convutils/usage_analytics.h"
#include "testbed/harness/import_hook.h"
#include "tests/command_run_support.h"

namespace {

using testing_support::ScopedRegistryValue;
using testing_support::Utf8;

constexpr wchar_t kProductKey[] = L"Software\\Ostrel\\PDF\\V1";
constexpr wchar_t kTrackingId[] = L"UA-271828182-1";
constexpr DWORD kNone = 0xFFFFFFFF, kBinaryOne = 0xB1;

void Set(const ScopedRegistryValue& value, DWORD number) {
  if (number == kNone) value.Remove();
  else if (number == kBinaryOne) value.Set(REG_BINARY, "\1\0\0\0", 4);
  else value.SetDword(number);
}

using UsageEvents = testing_support::WorldTest;

// The policy, switch and install values of the world and the user's install folder, set by each
// row and put back; two more folders with the helper, one with a Build.id.
TEST_F(UsageEvents, PolicyThenSwitchDecideAndTheInstallFolderGivesHelperAndBuild) {
  const ScopedRegistryValue userInstall{HKEY_CURRENT_USER, kProductKey, L"InstallPath"};
  for (const wchar_t* folder : {L"user", L"machine"}) {
    CreateDirectoryW(world.Work(folder).c_str(), nullptr);
    CopyFileW((testbed::ProductFolder() + L"\\usagestats.exe").c_str(), world.Work(folder + std::wstring(L"\\usagestats.exe")).c_str(), FALSE);
  }
  harness::WriteText(world.Work(L"user\\Build.id"), "\r\n   \t 5.1.2345.6  extra words\r\nnext");
  const std::wstring product = testbed::ProductFolder() + L"\\", work = world.work + L"\\", user = work + L"user\\",
                     machine = work + L"machine\\";
  // Fields trimmed, blanks and units above 127 escaped, empty ones left out.
  const std::wstring fields = L"|UA-271828182-1|ec|iManage|ea|Send%20E-mail|el|Caf%E9%20%20AC|x|%FF%100%D83D%DE00|%\\/?&=+-_.~";
  auto line = [&](const std::wstring& folder, const wchar_t* build) {
    return L"\"" + folder + L"usagestats.exe\" Software\\Ostrel\\PDF\\V1|" + build + fields;
  };
  const struct {
    DWORD machinePolicy, userPolicy, machineSwitch, userSwitch; std::wstring machineFolder, userFolder, started;
  } rows[] = {
      {0, 1, 1, 1, product, L"", L""},  // the machine's policy first, whatever the switch says
      {1, kNone, 0, kNone, product, L"", line(product, L"5.1.0.2718")},
      {kNone, 0, kNone, 1, product, L"", L""},  // the user's policy when the machine has none
      {kNone, 1, kNone, 0, product, L"", line(product, L"5.1.0.2718")},
      {kNone, 2, kNone, 1, product, L"", L""},  // only exactly 1 enables
      {kNone, kBinaryOne, 0, kNone, product, L"", line(product, L"5.1.0.2718")},  // its type is not checked
      {kNone, kNone, 0, 1, product, L"", L""},  // no policy: the machine's switch first
      {kNone, kNone, kNone, 1, product, L"", line(product, L"5.1.0.2718")},
      {kNone, kNone, kNone, 0, product, L"", L""},
      {kNone, kNone, kNone, 2, product, L"", L""},
      {kNone, kNone, kNone, kNone, product, L"", line(product, L"5.1.0.2718")},  // the switch is written
      {1, kNone, kNone, kNone, L"", user, line(user, L"5.1.2345.6")},  // the user's folder when the machine has none
      {1, kNone, kNone, kNone, machine, user, line(machine, L"")},     // the machine's first, without a Build.id
      {1, kNone, kNone, kNone, work, L"", L""},                        // no helper there: nothing, silently
  };
  testing_support::RecordedProcessStarts starts;
  ASSERT_TRUE(starts.Installed());
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.machinePolicy << " " << row.userPolicy << " " << row.machineSwitch << " "
                                    << row.userSwitch << " " << Utf8(row.machineFolder + L"|" + row.userFolder));
    Set(world.collectData, row.machinePolicy);
    Set(world.collectDataUser, row.userPolicy);
    Set(world.analyticsMachine, row.machineSwitch);
    Set(world.analyticsUser, row.userSwitch);
    for (int i = 0; i < 2; ++i) {
      const std::wstring& folder = i ? row.userFolder : row.machineFolder;
      const ScopedRegistryValue& value = i ? userInstall : world.installPath;
      if (folder.empty()) value.Remove();
      else value.SetString(folder);
    }
    testbed::SetAgentDelay(testbed::kUsageStats, 300);
    world.journal.Clear();
    starts.Starts().clear();
    {
      vpdf::CUsageAnalytics analytics(kProductKey, kTrackingId);
      analytics.AddField(L" ec ", L"\tiManage ");
      analytics.AddField(L"ea", L"Send E-mail");
      analytics.AddField(L"el", L"Caf\u00E9 \u20AC");
      analytics.AddField(L"x", L"\u00FF\u0100\U0001F600|%\\/?&=+-_.~");
      for (const wchar_t* empty : {L"", L"   ", static_cast<const wchar_t*>(nullptr)}) {
        analytics.AddField(L"el", empty);
        analytics.AddField(empty, L"value");
      }
      analytics.Send();
    }
    EXPECT_TRUE(world.journal.Entries().empty()) << "waited for the helper";
    size_t started = 0;  // Wine does not apply priority classes: what was asked for is recorded
    for (const auto& start : starts.Starts()) {
      started += start.process != nullptr;
      EXPECT_EQ(static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS), start.flags);
    }
    if (started) {
      EXPECT_TRUE(world.journal.WaitFor(testbed::kUsageStatsExe, 1)) << "the usage helper did not journal";
    }
    const auto runs = world.journal.Entries(testbed::kUsageStatsExe);
    EXPECT_EQ(row.started, runs.empty() ? L"" : runs[0].commandLine);
    EXPECT_EQ(runs.size(), started);
    // A switch is written, to the user's key, only when nothing was found.
    const bool written = row.machinePolicy == kNone && row.userPolicy == kNone && row.machineSwitch == kNone &&
                         row.userSwitch == kNone;
    DWORD after = kNone, size = sizeof after;
    RegGetValueW(HKEY_CURRENT_USER, kProductKey, L"AnalyticsEnabled", RRF_RT_REG_DWORD, nullptr, &after, &size);
    EXPECT_EQ(written ? 1 : row.userSwitch, after);
    EXPECT_EQ(row.machineSwitch == kNone, !testing_support::ValueExists(HKEY_LOCAL_MACHINE, kProductKey, L"AnalyticsEnabled"));
  }
}

}  // namespace
