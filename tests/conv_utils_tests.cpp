// The helper process runner: real helper processes (the testbed's stand-ins of the
// product's agents, laid out under build/bin/product), real waits, real registry and files.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convutils/conv_utils.h"
#include "testbed/agents/journal.h"
#include "tests/import_hook.h"
#include "tests/settings_support.h"
#include "tests/testing/trace_log.h"

namespace {

using testing_support::MessageBoxCloser;
using testing_support::ScopedImportHook;
using testing_support::ScopedRegistryValue;
using testing_support::TraceRecord;
using testing_support::Utf8;
using vpdf::CConvUtils;

constexpr wchar_t kProductKey[] = L"Software\\Ostrel\\PDF\\V1";
constexpr wchar_t kProductKey32[] = L"Software\\Wow6432Node\\Ostrel\\PDF\\V1";
constexpr wchar_t kConfigKey[] = L"Software\\VarnelTestbed\\Config";

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  ASSERT_TRUE(tbpdf::WriteFileBytes(path, bytes)) << Utf8(path);
}

std::wstring ShortPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return length && length < MAX_PATH ? std::wstring(buffer) : std::wstring();
}

std::wstring ModulePath(HMODULE module) {
  wchar_t loaded[MAX_PATH] = {};
  GetModuleFileNameW(module, loaded, MAX_PATH);
  return loaded;
}

int LevelOf(const testing_support::TraceLog& log, const std::string& text) {
  TraceRecord record;
  return log.Find(text, record) ? record.level : -1;
}

// Every test: the product pointed at a folder of its choice (the settings put back as they
// were afterwards), agent controls cleared, a journal, the trace log, and a working folder
// in %TEMP% that is removed again; the temporary folder is left as it was found.
class RunnerTest : public testing_support::CleanTempFolderTest {
 protected:
  void SetUp() override {
    CleanTempFolderTest::SetUp();
    static int counter = 0;
    m_work = testing_support::TempFolder() + L"runner" + std::to_wstring(GetCurrentProcessId()) +
             L"_" + std::to_wstring(++counter);
    ASSERT_TRUE(CreateDirectoryW(m_work.c_str(), nullptr));
    journal.Clear();
  }
  void TearDown() override {
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(m_work), error);
    EXPECT_FALSE(error) << error.message();
    CleanTempFolderTest::TearDown();
  }

  // A path in the working folder.
  std::wstring Work(const std::wstring& name) const { return m_work + L"\\" + name; }
  std::wstring Folder(const std::wstring& name) const {
    CreateDirectoryW(Work(name).c_str(), nullptr);
    return Work(name);
  }
  void UseProduct() { testbed::PointProductAt(testbed::ProductFolder()); }
  bool Print(bool mail = false, bool view = false) {
    return CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), Work(L"memo.pdf").c_str(),
                                          mail, view);
  }

  // Declared first: removed last, after the values inside them are put back.
  testing_support::ScopedRegistryKeys m_newKeys{testing_support::MissingParts(
      {{HKEY_LOCAL_MACHINE, kProductKey},
       {HKEY_LOCAL_MACHINE, kProductKey32},
       {HKEY_CURRENT_USER, kConfigKey},
       {HKEY_CURRENT_USER, kProductKey32}})};
  ScopedRegistryValue m_installPath{HKEY_LOCAL_MACHINE, kProductKey, L"InstallPath"};
  ScopedRegistryValue m_installPath32{HKEY_LOCAL_MACHINE, kProductKey32, L"InstallPath",
                                      KEY_WOW64_32KEY};
  ScopedRegistryValue m_configPath{HKEY_CURRENT_USER, kConfigKey, L"InstallPath"};
  ScopedRegistryValue m_debugMessage{HKEY_CURRENT_USER, kProductKey32, L"ShowDebugMessage"};
  testbed::ScopedAgentControls controls;
  testbed::AgentJournal journal;
  std::wstring m_work;
};

// ---------------------------------------------------------------- show states
// Whether a helper's window shows cannot be seen from outside under Wine: the program's own
// ShellExecuteEx import records it on the way to the real function.

struct ShellStart {
  std::wstring file, parameters;
  int show = -1;
};
std::vector<ShellStart> g_shellStarts;
ScopedImportHook* g_shellHook = nullptr;

BOOL WINAPI RecordShellExecuteEx(SHELLEXECUTEINFOW* info) {
  g_shellStarts.push_back({info->lpFile ? info->lpFile : L"", info->lpParameters ? info->lpParameters : L"",
                           info->nShow});
  return g_shellHook->Original<decltype(&ShellExecuteExW)>()(info);
}

class RecordedStarts {
 public:
  RecordedStarts() {
    g_shellStarts.clear();
    g_shellHook = &m_shell;
  }
  ~RecordedStarts() { g_shellHook = nullptr; }
  bool Installed() const { return m_shell.Installed(); }

 private:
  ScopedImportHook m_shell{"SHELL32.dll", "ShellExecuteExW", reinterpret_cast<void*>(&RecordShellExecuteEx)};
};

// ---------------------------------------------------------------- finding helpers

TEST_F(RunnerTest, FindHelperExecutablePrefersTheSubfolder) {
  Folder(L"bin");
  for (const wchar_t* name : {L"tool.exe", L"bin\\tool.exe", L"only.exe"}) WriteBytes(Work(name), "x");
  EXPECT_EQ(Work(L"bin\\tool.exe"), CConvUtils::FindHelperExecutable(m_work.c_str(), L"tool.exe", L"bin"));
  EXPECT_EQ(Work(L"bin\\tool.exe"),
            CConvUtils::FindHelperExecutable((m_work + L"\\").c_str(), L"tool.exe", L"bin"));
  EXPECT_EQ(Work(L"only.exe"), CConvUtils::FindHelperExecutable(m_work.c_str(), L"only.exe", L"bin"));
  EXPECT_EQ(L"", CConvUtils::FindHelperExecutable(m_work.c_str(), L"none.exe", L"bin"));
  EXPECT_EQ(L"", CConvUtils::FindHelperExecutable(L"", L"tool.exe", L"bin"));
}

// ---------------------------------------------------------------- print and scan agents

TEST_F(RunnerTest, PrintAndScanAgentsHiddenWithTheirArgumentsAndTheirFailures) {
  UseProduct();
  WriteBytes(Work(L"memo.txt"), "first line\r\nsecond line\r\n");
  const std::wstring files = L"\"" + Work(L"memo.txt") + L"\" \"" + Work(L"memo.pdf") + L"\" ";
  const struct {
    bool scan, mail, view;
    const wchar_t* behaviour;
    std::wstring arguments;
    bool succeeds, outputLeft;
    const char* error;  // the only trace of why it failed
  } rows[] = {
      {false, false, false, nullptr, L"/p " + files + L"/noviewpdf", true, true, nullptr},
      {false, true, true, nullptr, L"/m " + files + L"/viewpdf", true, true, nullptr},
      {false, false, true, nullptr, L"/p " + files + L"/viewpdf", true, true, nullptr},
      {true, false, false, nullptr, Work(L"scan.pdf"), true, true, nullptr},  // unquoted
      {false, false, false, testbed::kFailWithOutput, L"", false, true, "Print failed"},
      {false, false, false, testbed::kNoOutput, L"", false, false, "Printed file not found"},
      {true, false, false, testbed::kFailWithOutput, L"", false, true, "Scan failed"},
      {true, false, false, testbed::kEmpty, L"", false, true, "Scanned file not found"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.arguments) + (row.error ? row.error : ""));
    const std::wstring pdf = Work(row.scan ? L"scan.pdf" : L"memo.pdf");
    DeleteFileW(pdf.c_str());
    journal.Clear();
    log.Clear();
    testbed::ClearAgentControls();
    if (row.behaviour)
      testbed::SetAgentBehaviour(row.scan ? testbed::kScanAgent : testbed::kPrintAgent, L"*",
                                 row.behaviour);
    RecordedStarts recorded;
    ASSERT_TRUE(recorded.Installed());
    EXPECT_EQ(row.succeeds, row.scan ? CConvUtils::ScanToPDFWithHelper(pdf.c_str())
                                     : Print(row.mail, row.view));
    const auto runs = journal.Entries(row.scan ? testbed::kScanAgentExe : testbed::kPrintAgentExe);
    ASSERT_EQ(1u, runs.size());
    if (!row.arguments.empty()) {
      EXPECT_EQ(row.arguments, runs[0].Arguments());
    }
    EXPECT_EQ(row.outputLeft, Exists(pdf));
    ASSERT_EQ(1u, g_shellStarts.size());
    EXPECT_EQ(SW_HIDE, g_shellStarts[0].show);
    if (row.error) {
      EXPECT_EQ(2, LevelOf(log, row.error));
    }
  }
}

TEST_F(RunnerTest, MissingOrBrokenPrintAgentStartsNothing) {
  WriteBytes(Work(L"memo.txt"), "text\r\n");
  MessageBoxCloser boxes;  // the shell may report a broken agent in a message box
  testbed::PointProductAt(Folder(L"empty"));
  EXPECT_FALSE(Print());
  m_configPath.Remove();  // nor without any install folder at all
  EXPECT_FALSE(Print());
  EXPECT_TRUE(boxes.Boxes().empty());
  // Something named like the agent that is no program.
  Folder(L"broken");
  Folder(L"broken\\bin");
  WriteBytes(Work(L"broken\\bin\\printpdfagent.exe"), "this is no program\r\n");
  testbed::PointProductAt(Work(L"broken"));
  EXPECT_FALSE(Print());
  EXPECT_TRUE(journal.Entries().empty());
}

// ---------------------------------------------------------------- mail agent

TEST_F(RunnerTest, MailAgentTakesThirtyShortPathsARunAndIsWaitedFor) {
  UseProduct();
  std::vector<std::wstring> pdfs;
  for (int i = 1; i <= 31; ++i) {
    wchar_t name[80];
    swprintf(name, 80, L"Attachment number %02d of the mail.pdf", i);
    pdfs.push_back(Work(name));
    WriteBytes(pdfs.back(), "%PDF-1.4\n");
  }
  testbed::SetAgentDelay(testbed::kMailAgent, 300);
  RecordedStarts recorded;
  ASSERT_TRUE(recorded.Installed());

  CConvUtils::RunMailAgent(pdfs);
  // Both runs have ended when it returns.
  auto runs = journal.Entries(testbed::kMailAgentExe);
  ASSERT_EQ(2u, runs.size());
  std::wstring lists[2] = {L"/mail /files ", L"/mail /files "};
  for (int i = 0; i < 31; ++i) {
    std::wstring shortPath = ShortPath(pdfs[i]);
    ASSERT_FALSE(shortPath.empty());
    ASSERT_NE(pdfs[i], shortPath);
    lists[i / 30] += L"\"" + shortPath + L"\" ";
  }
  ASSERT_EQ(2u, g_shellStarts.size());
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(lists[run], runs[run].Arguments());
    EXPECT_EQ(SW_SHOWNORMAL, g_shellStarts[run].show);
  }
  EXPECT_EQ(L"files 30, existing 30, exit 0", runs[0].what);
  EXPECT_EQ(L"files 1, existing 1, exit 0", runs[1].what);

  // Thirty are one run; a missing file (a failed print) goes as it is; none start nothing.
  journal.Clear();
  pdfs.resize(30);
  CConvUtils::RunMailAgent(pdfs);
  CConvUtils::RunMailAgent({Work(L"failed print.pdf")});
  CConvUtils::RunMailAgent(std::vector<std::wstring>());
  runs = journal.Entries(testbed::kMailAgentExe);
  ASSERT_EQ(2u, runs.size());
  EXPECT_EQ(L"files 30, existing 30, exit 0", runs[0].what);
  EXPECT_EQ(L"/mail /files \"" + Work(L"failed print.pdf") + L"\" ", runs[1].Arguments());
}

// ---------------------------------------------------------------- conversion tool

TEST_F(RunnerTest, ConverterCommandLineChecks) {
  WriteBytes(Work(L"list.txt"), "x");
  const std::wstring file = L"\"" + Work(L"list.txt") + L"\" /tempfile";
  const struct {
    std::wstring line;
    bool accepted;
    size_t capacity = MAX_PATH;
  } rows[] = {
      {L"/tempfile no quotes here", true},
      {L"\"C:\\does\\not\\exist.txt", true},  // no closing quote: the quoted part is empty
      {L"\"" + Work(L"missing.txt") + L"\" /tempfile", false},
      {file, true},
      {L"\"" + m_work + L"\"", true},
      // A web scheme prefix needs no file; case-sensitive, at the very start.
      {L"\"http://example.com/a.pdf\"", true},
      {L"\"file://host/share/a.pdf\"", true},
      {L"\"HTTP://example.com/a.pdf\"", false},
      {L"\" http://example.com/a.pdf\"", false},
      // The whole line with its terminator must fit.
      {L"abcd", true, 5},
      {L"abcde", false, 5},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.line));
    wchar_t out[MAX_PATH] = L"unchanged";
    EXPECT_EQ(row.accepted, CConvUtils::CheckConverterCommandLine(row.line.c_str(), out, row.capacity));
    EXPECT_EQ(row.accepted ? row.line : L"unchanged", out);
  }
}

TEST_F(RunnerTest, ConverterShownAndNotWaitedForOrRejectedWithoutAStart) {
  UseProduct();
  MessageBoxCloser boxes;
  {
    RecordedStarts recorded;
    ASSERT_TRUE(recorded.Installed());
    testbed::SetAgentDelay(testbed::kConversionTool, 1000);
    CConvUtils::LaunchConverter(L"/tempfile", false, nullptr);
    EXPECT_TRUE(journal.Entries().empty()) << "waited for the tool";
    ASSERT_TRUE(journal.WaitFor(testbed::kConversionToolExe, 1));
    EXPECT_EQ(L"/tempfile", journal.Entries(testbed::kConversionToolExe)[0].Arguments());
    ASSERT_EQ(1u, g_shellStarts.size());
    EXPECT_EQ(SW_SHOWNORMAL, g_shellStarts[0].show);
  }
  // Modal without a parent window: still waited for.
  testbed::ClearAgentControls();
  journal.Clear();
  CConvUtils::LaunchConverter(L"/tempfile", true, nullptr);
  EXPECT_EQ(1u, journal.Entries(testbed::kConversionToolExe).size());
  // A line naming a missing file, or no install folder: nothing starts, silently.
  journal.Clear();
  CConvUtils::LaunchConverter((L"\"" + Work(L"missing.txt") + L"\" /tempfile").c_str(), false, nullptr);
  m_installPath32.Remove();
  CConvUtils::LaunchConverter(L"/tempfile", false, nullptr);
  EXPECT_FALSE(journal.WaitFor(testbed::kConversionToolExe, 1, 1500));
  EXPECT_TRUE(boxes.Boxes().empty());
}

// What the thread's timer saw when it fired while the runner waited.
struct Dispatched {
  int count = 0;
  size_t journalEntriesThen = 99;
  BOOL parentEnabledThen = TRUE;
  HWND parent = nullptr;
  const testbed::AgentJournal* journal = nullptr;
};
Dispatched g_dispatched;

void CALLBACK RecordOnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_dispatched.journalEntriesThen = g_dispatched.journal->Entries().size();
  g_dispatched.parentEnabledThen = IsWindowEnabled(g_dispatched.parent);
  ++g_dispatched.count;
}

TEST_F(RunnerTest, ConverterModalDisablesItsParentAndDispatchesMessagesWhileItWaits) {
  UseProduct();
  WriteBytes(Work(L"list.txt"), "one.pdf\r\n");
  testbed::SetAgentDelay(testbed::kConversionTool, 1500);
  const std::wstring line = L"\"" + Work(L"list.txt") + L"\" /tempfile";
  HWND parent = CreateWindowW(L"STATIC", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(parent);
  g_dispatched = Dispatched{0, 99, TRUE, parent, &journal};
  SetTimer(nullptr, 0, 400, &RecordOnTimer);

  CConvUtils::LaunchConverter(line.c_str(), true, parent);
  // It waited: the tool has ended and journaled; the timer fired while it ran.
  auto runs = journal.Entries(testbed::kConversionToolExe);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(L"\"" + testbed::ProductFolder() + L"\\vpdfassist.exe\" " + line, runs[0].commandLine);
  EXPECT_EQ(1, g_dispatched.count);
  EXPECT_EQ(0u, g_dispatched.journalEntriesThen);
  EXPECT_FALSE(g_dispatched.parentEnabledThen);
  EXPECT_TRUE(IsWindowEnabled(parent));
  DestroyWindow(parent);
}

// ---------------------------------------------------------------- debug message

TEST_F(RunnerTest, DebugMessageOnlyWithTheSwitchOrForced) {
  MessageBoxCloser boxes;
  const struct {
    int value;  // -1: no value, -2: the string "1"
    bool force;
    bool shown;
  } rows[] = {{-1, false, false}, {0, false, false}, {-2, false, false}, {1, false, true},
              {-1, true, true}};
  std::vector<MessageBoxCloser::Box> expected;
  for (const auto& row : rows) {
    if (row.value == -1) m_debugMessage.Remove();
    else if (row.value == -2) m_debugMessage.SetString(L"1");
    else m_debugMessage.SetDword(static_cast<DWORD>(row.value));
    const std::wstring caption = L"Caption " + std::to_wstring(row.value) + (row.force ? L"f" : L"");
    CConvUtils::ShowDebugMessage(caption.c_str(), L"/tempfile", row.force);
    if (row.shown) expected.push_back({caption, L"/tempfile"});
    EXPECT_EQ(expected, boxes.Boxes()) << Utf8(caption);
  }
}

// ---------------------------------------------------------------- PDF and XPS files

TEST_F(RunnerTest, PdfAndXpsRecognisedByTheirFirstBytes) {
  const std::string zip("PK\x03\x04\x14\x00\x00\x00", 8);
  const struct {
    const wchar_t* name;
    std::string bytes;
    bool recognised;
  } rows[] = {
      {L"v2", "%PDF-2.0\nrest", true},    {L"v3.pdf", "%PDF-3.0\n", false},
      {L"short.pdf", "%PDF-1", false},
      {L"lower.pdf", "%pdf-1.4\n", false}, {L"doc.XPS", zip, true},
      {L"doc.oxps", zip, true},            {L"doc.zip", zip, false},
      {L"pk.xps", "PK", true},             {L"text.xps", "not a zip", false},
      {L"empty.pdf", "", false},
  };
  for (const auto& row : rows) {
    WriteBytes(Work(row.name), row.bytes);
    EXPECT_EQ(row.recognised, CConvUtils::IsPDFOrXPSFile(Work(row.name).c_str())) << Utf8(row.name);
  }
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(Work(L"missing.pdf").c_str()));
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(L""));
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(nullptr));
}

// ---------------------------------------------------------------- image-to-PDF library

// One test, in this order: the library instance lives for the whole process once loaded.
TEST_F(RunnerTest, ConvertXpsToPdfThroughTheImageLibrary) {
  ASSERT_FALSE(GetModuleHandleW(L"rasterpdf64.dll")) << "loaded before this test";
  const std::wstring xps = Work(L"Säulen.xps");
  ASSERT_TRUE(testbed::WriteXpsPackage(xps, 3));
  auto convert = [&](const wchar_t* pdf) {
    return CConvUtils::ConvertXPSToPDF(xps.c_str(), Work(pdf).c_str(), 15, 0, 0);
  };

  // Without an install folder the library is not found: failure, nothing loaded.
  testbed::PointProductAt(Folder(L"empty"));
  EXPECT_FALSE(convert(L"Säulen.pdf"));
  EXPECT_FALSE(vpdf::ImgPDFDll::Instance().Module());
  EXPECT_TRUE(journal.Entries().empty());

  UseProduct();
  EXPECT_TRUE(convert(L"Säulen.pdf"));
  auto calls = journal.Entries(testbed::kRasterLibrary);
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(L"P4ToPDFConvert(\"" + xps + L"\", \"" + Work(L"Säulen.pdf") + L"\", 15, 0, 0)",
            calls[0].commandLine);
  EXPECT_EQ(3, tbpdf::PageCount(Work(L"Säulen.pdf")));
  HMODULE module = vpdf::ImgPDFDll::Instance().Module();
  ASSERT_TRUE(module);
  EXPECT_EQ(0, _wcsicmp((testbed::ProductFolder() + L"\\rasterpdf64.dll").c_str(),
                        ModulePath(module).c_str()));

  // A negative result is a failure.
  testbed::SetAgentBehaviour(testbed::kRaster, L"*", testbed::kFail);
  EXPECT_FALSE(convert(L"other.pdf"));
  testbed::ClearAgentControls();

  // Once loaded it stays: the install folder is no longer needed.
  testbed::PointProductAt(Work(L"empty"));
  EXPECT_TRUE(convert(L"again.pdf"));
  EXPECT_EQ(module, vpdf::ImgPDFDll::Instance().Module());
  EXPECT_EQ(3u, journal.Entries(testbed::kRasterLibrary).size());
}

// ---------------------------------------------------------------- product libraries

TEST_F(RunnerTest, LoadProductLibrarySearchesThePlacesTheFlagsSelect) {
  // Flag 1: the host executable's folder (the trace library sits beside the test program).
  HMODULE beside = CConvUtils::LoadProductLibrary(L"traceDiag.dll", 1);
  ASSERT_TRUE(beside);
  FreeLibrary(beside);
  EXPECT_FALSE(CConvUtils::LoadProductLibrary(L"traceDiag.dll", 2 | 4 | 8 | 16));

  // Flags 2, 4, 8, 16 under the install folder: a copy of a small DLL in each place.
  const std::wstring dll = testbed::ProductFolder() + L"\\rasterpdf64.dll";
  const std::wstring install = Folder(L"install");
  for (const wchar_t* folder : {L"install\\x64", L"install\\bin", L"install\\bin\\Plug-ins"})
    Folder(folder);
  testbed::PointProductAt(install);
  auto expectLoaded = [](HMODULE module, const std::wstring& path) {
    ASSERT_TRUE(module) << Utf8(path);
    EXPECT_EQ(0, _wcsicmp(path.c_str(), ModulePath(module).c_str())) << Utf8(ModulePath(module));
    FreeLibrary(module);
  };
  const std::pair<const wchar_t*, DWORD> places[] = {
      {L"\\probe2.dll", 2}, {L"\\x64\\probe4.dll", 4}, {L"\\bin\\probe8.dll", 8},
      {L"\\bin\\Plug-ins\\probe16.dll", 16}};
  for (const auto& [place, flag] : places) {
    const std::wstring path = install + place;
    const wchar_t* name = wcsrchr(place, L'\\') + 1;
    ASSERT_TRUE(CopyFileW(dll.c_str(), path.c_str(), FALSE));
    EXPECT_FALSE(CConvUtils::LoadProductLibrary(name, 31 & ~flag)) << flag;
    expectLoaded(CConvUtils::LoadProductLibrary(name, flag), path);
  }
  // The first place in the order wins.
  ASSERT_TRUE(CopyFileW(dll.c_str(), (install + L"\\bin\\probe4.dll").c_str(), FALSE));
  expectLoaded(CConvUtils::LoadProductLibrary(L"probe4.dll", 4 | 8), install + L"\\x64\\probe4.dll");
  EXPECT_FALSE(CConvUtils::LoadProductLibrary(L"nowhere.dll", 31));
}

}  // namespace
