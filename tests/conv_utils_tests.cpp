// The helper process runner: real helper processes (the testbed's stand-ins of the
// product's agents, laid out under build/bin/product), real waits, real registry and files.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "convutils/conv_utils.h"
#include "testbed/agents/journal.h"
#include "tests/import_hook.h"
#include "tests/settings_support.h"
#include "tests/testing/trace_log.h"

namespace {

using testing_support::ScopedImportHook;
using testing_support::ScopedRegistryValue;
using testing_support::TraceRecord;
using testing_support::Utf8;
using vpdf::CConvUtils;

constexpr wchar_t kProductKey[] = L"Software\\Ostrel\\PDF\\V1";
constexpr wchar_t kProductKey32[] = L"Software\\Wow6432Node\\Ostrel\\PDF\\V1";
constexpr wchar_t kConfigKey[] = L"Software\\VarnelTestbed\\Config";
constexpr char kSource[] = "PDFConverter\\ConvUtils\\ConvUtils";

// Removes, when it goes, the part of a key path that did not exist when it was made (so a
// test that creates keys takes them away again). Declare it before the values inside it.
class ScopedNewKey {
 public:
  ScopedNewKey(HKEY root, const std::wstring& path, REGSAM view = 0) : m_root(root), m_view(view) {
    std::wstring prefix;
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find(L'\\', start);
      if (end == std::wstring::npos) end = path.size();
      std::wstring next = path.substr(0, end);
      HKEY key = nullptr;
      if (RegOpenKeyExW(root, next.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
        m_parent = prefix;
        m_child = path.substr(start, end - start);
        return;
      }
      RegCloseKey(key);
      prefix = next;
      start = end + 1;
    }
  }
  ~ScopedNewKey() {
    if (m_child.empty()) return;
    HKEY parent = nullptr;
    if (RegOpenKeyExW(m_root, m_parent.empty() ? nullptr : m_parent.c_str(), 0,
                      KEY_ALL_ACCESS | m_view, &parent) != ERROR_SUCCESS)
      return;
    RegDeleteTreeW(parent, m_child.c_str());
    RegDeleteKeyExW(parent, m_child.c_str(), m_view, 0);
    RegCloseKey(parent);
  }
  ScopedNewKey(const ScopedNewKey&) = delete;
  ScopedNewKey& operator=(const ScopedNewKey&) = delete;

 private:
  HKEY m_root;
  REGSAM m_view;
  std::wstring m_parent, m_child;
};

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

int LevelOf(const testing_support::TraceLog& log, const std::string& text) {
  TraceRecord record;
  return log.Find(text, record) ? record.level : -1;
}

// Closes the message boxes that this thread shows while it lives, remembering their
// captions and texts (a thread timer, dispatched by the message box's own loop).
class MessageBoxCloser {
 public:
  struct Box {
    std::wstring caption, text;
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
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (wcscmp(className, L"#32770") != 0 || s_closed.count(window)) return TRUE;
    s_closed.insert(window);
    Box box;
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    box.caption = text;
    text[0] = L'\0';
    GetDlgItemTextW(window, 0xFFFF, text, 1024);
    box.text = text;
    s_boxes.push_back(box);
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
  void UseProduct() { testbed::PointProductAt(testbed::ProductFolder()); }

  // Declared first: removed last, after the values inside them are put back.
  ScopedNewKey m_newProductKey{HKEY_LOCAL_MACHINE, kProductKey};
  ScopedNewKey m_newProductKey32{HKEY_LOCAL_MACHINE, kProductKey32, KEY_WOW64_32KEY};
  ScopedNewKey m_newConfigKey{HKEY_CURRENT_USER, kConfigKey};
  ScopedNewKey m_newDebugKey{HKEY_CURRENT_USER, kProductKey32};
  ScopedRegistryValue m_installPath{HKEY_LOCAL_MACHINE, kProductKey, L"InstallPath"};
  ScopedRegistryValue m_installPath32{HKEY_LOCAL_MACHINE, kProductKey32, L"InstallPath",
                                      KEY_WOW64_32KEY};
  ScopedRegistryValue m_configPath{HKEY_CURRENT_USER, kConfigKey, L"InstallPath"};
  ScopedRegistryValue m_debugMessage{HKEY_CURRENT_USER, kProductKey32, L"ShowDebugMessage"};
  testbed::ScopedAgentControls controls;
  testbed::AgentJournal journal;
  std::wstring m_work;
};

// ---------------------------------------------------------------- finding helpers

TEST_F(RunnerTest, FindHelperExecutablePrefersTheSubfolder) {
  ASSERT_TRUE(CreateDirectoryW(Work(L"bin").c_str(), nullptr));
  WriteBytes(Work(L"tool.exe"), "top");
  WriteBytes(Work(L"bin\\tool.exe"), "bin");
  WriteBytes(Work(L"only.exe"), "top");
  EXPECT_EQ(Work(L"bin\\tool.exe"), CConvUtils::FindHelperExecutable(m_work.c_str(), L"tool.exe", L"bin"));
  // With a trailing backslash on the folder, still one backslash between the parts.
  EXPECT_EQ(Work(L"bin\\tool.exe"),
            CConvUtils::FindHelperExecutable((m_work + L"\\").c_str(), L"tool.exe", L"bin"));
  EXPECT_EQ(Work(L"only.exe"), CConvUtils::FindHelperExecutable(m_work.c_str(), L"only.exe", L"bin"));
  EXPECT_EQ(L"", CConvUtils::FindHelperExecutable(m_work.c_str(), L"none.exe", L"bin"));
  EXPECT_EQ(L"", CConvUtils::FindHelperExecutable(L"", L"tool.exe", L"bin"));
}

TEST_F(RunnerTest, PrintAgentInBinWinsOverTheTopLevel) {
  const std::wstring agent = testbed::ProductFolder() + L"\\bin\\printpdfagent.exe";
  ASSERT_TRUE(CreateDirectoryW(Work(L"install").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(Work(L"install\\bin").c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(agent.c_str(), Work(L"install\\bin\\printpdfagent.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(agent.c_str(), Work(L"install\\printpdfagent.exe").c_str(), FALSE));
  testbed::PointProductAt(Work(L"install"));
  WriteBytes(Work(L"letter.txt"), "Dear reader\r\n");

  EXPECT_TRUE(CConvUtils::PrintPDFWithHelper(Work(L"letter.txt").c_str(), Work(L"letter.pdf").c_str(),
                                             false, false));
  auto runs = journal.Entries(testbed::kPrintAgentExe);
  ASSERT_EQ(1u, runs.size());
  // The program token of the command line is the agent that was started.
  EXPECT_EQ(0u, runs[0].commandLine.find(L"\"" + Work(L"install\\bin\\printpdfagent.exe") + L"\""))
      << Utf8(runs[0].commandLine);

  // Without the one in bin, the top-level one is started.
  journal.Clear();
  ASSERT_TRUE(DeleteFileW(Work(L"install\\bin\\printpdfagent.exe").c_str()));
  EXPECT_TRUE(CConvUtils::PrintPDFWithHelper(Work(L"letter.txt").c_str(), Work(L"letter.pdf").c_str(),
                                             false, false));
  runs = journal.Entries(testbed::kPrintAgentExe);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(0u, runs[0].commandLine.find(L"\"" + Work(L"install\\printpdfagent.exe") + L"\""))
      << Utf8(runs[0].commandLine);
}

// ---------------------------------------------------------------- print agent

TEST_F(RunnerTest, PrintAgentGetsTheParametersAndItsPdfIsTheResult) {
  UseProduct();
  WriteBytes(Work(L"memo.txt"), "first line\r\nsecond line\r\n");
  const std::wstring pdf = Work(L"memo.pdf");

  EXPECT_TRUE(CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), pdf.c_str(), false, false));
  auto runs = journal.Entries(testbed::kPrintAgentExe);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(L"/p \"" + Work(L"memo.txt") + L"\" \"" + pdf + L"\" /noviewpdf", runs[0].Arguments());
  EXPECT_EQ(L"pdf 1 pages, exit 0", runs[0].what);
  std::vector<tbpdf::Page> pages;
  ASSERT_TRUE(tbpdf::Read(pdf, pages));
  EXPECT_EQ(1u, pages.size());
  EXPECT_EQ(0, LevelOf(log, "Print Succeeded"));
  EXPECT_EQ(0, LevelOf(log, "PrintPDFWithHelper exit"));
  EXPECT_LT(log.IndexOf("Print Succeeded"), log.IndexOf("PrintPDFWithHelper exit"));
  for (const TraceRecord& record : log.Records()) EXPECT_EQ(kSource, record.source);
}

TEST_F(RunnerTest, PrintParametersWithBothSwitchesBeginWithMailAndEndWithView) {
  UseProduct();
  WriteBytes(Work(L"memo.txt"), "text\r\n");
  const std::wstring pdf = Work(L"memo.pdf");

  EXPECT_TRUE(CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), pdf.c_str(), true, true));
  auto runs = journal.Entries(testbed::kPrintAgentExe);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(L"/m \"" + Work(L"memo.txt") + L"\" \"" + pdf + L"\" /viewpdf", runs[0].Arguments());
}

TEST_F(RunnerTest, PrintAgentExitCodeNotZeroIsPrintFailed) {
  UseProduct();
  WriteBytes(Work(L"memo.txt"), "text\r\n");
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"*", testbed::kFail);

  EXPECT_FALSE(CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), Work(L"memo.pdf").c_str(),
                                              false, false));
  ASSERT_EQ(1u, journal.Entries(testbed::kPrintAgentExe).size());
  EXPECT_EQ(2, LevelOf(log, "Print failed"));
  EXPECT_FALSE(log.Has("Print Succeeded"));
  EXPECT_FALSE(log.Has("Printed file not found"));
  EXPECT_TRUE(log.Has("PrintPDFWithHelper exit"));

  // The output is not inspected when the exit code says failure.
  log.Clear();
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"*", testbed::kFailWithOutput);
  EXPECT_FALSE(CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), Work(L"memo.pdf").c_str(),
                                              false, false));
  EXPECT_TRUE(Exists(Work(L"memo.pdf")));
  EXPECT_EQ(2, LevelOf(log, "Print failed"));
}

TEST_F(RunnerTest, PrintAgentExitZeroWithoutOutputIsPrintedFileNotFound) {
  UseProduct();
  WriteBytes(Work(L"memo.txt"), "text\r\n");
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"memo.txt", testbed::kNoOutput);

  EXPECT_FALSE(CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), Work(L"memo.pdf").c_str(),
                                              false, false));
  auto runs = journal.Entries(testbed::kPrintAgentExe);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(L"nooutput, exit 0", runs[0].what);
  EXPECT_EQ(2, LevelOf(log, "Printed file not found"));
  EXPECT_FALSE(log.Has("Print failed"));
  EXPECT_FALSE(log.Has("Print Succeeded"));
}

TEST_F(RunnerTest, MissingPrintAgentStartsNothing) {
  ASSERT_TRUE(CreateDirectoryW(Work(L"empty").c_str(), nullptr));
  testbed::PointProductAt(Work(L"empty"));
  WriteBytes(Work(L"memo.txt"), "text\r\n");
  MessageBoxCloser boxes;

  EXPECT_FALSE(CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), Work(L"memo.pdf").c_str(),
                                              false, false));
  EXPECT_TRUE(journal.Entries().empty());
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_FALSE(log.Has("ShellExecuteEx returned false"));
  EXPECT_TRUE(log.Has("PrintPDFWithHelper exit"));

  // Nor without any install folder at all.
  m_configPath.Remove();
  EXPECT_FALSE(CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), Work(L"memo.pdf").c_str(),
                                              false, false));
  EXPECT_TRUE(journal.Entries().empty());
}

TEST_F(RunnerTest, PrintAgentThatCannotStartIsShellExecuteExFalse) {
  // Something named like the agent that is no program.
  ASSERT_TRUE(CreateDirectoryW(Work(L"broken").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(Work(L"broken\\bin").c_str(), nullptr));
  WriteBytes(Work(L"broken\\bin\\printpdfagent.exe"), "this is no program\r\n");
  testbed::PointProductAt(Work(L"broken"));
  WriteBytes(Work(L"memo.txt"), "text\r\n");
  MessageBoxCloser boxes;  // the shell may report the failure in a message box

  EXPECT_FALSE(CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), Work(L"memo.pdf").c_str(),
                                              false, false));
  EXPECT_EQ(2, LevelOf(log, "ShellExecuteEx returned false"));
  EXPECT_TRUE(log.Has("PrintPDFWithHelper exit"));
  EXPECT_TRUE(journal.Entries().empty());
}

// ---------------------------------------------------------------- scan agent

TEST_F(RunnerTest, ScanAgentGetsTheOutputPathUnquoted) {
  UseProduct();
  const std::wstring pdf = Work(L"scan.pdf");
  EXPECT_TRUE(CConvUtils::ScanToPDFWithHelper(pdf.c_str()));
  auto runs = journal.Entries(testbed::kScanAgentExe);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(pdf, runs[0].Arguments());
  EXPECT_GT(tbpdf::PageCount(pdf), 0);
  EXPECT_EQ(0, LevelOf(log, "Print Succeeded"));
  EXPECT_EQ(0, LevelOf(log, "ScanToPDFWithHelper exit"));
}

TEST_F(RunnerTest, ScanAgentEmptyOutputIsScannedFileNotFound) {
  UseProduct();
  const std::wstring pdf = Work(L"scan.pdf");
  testbed::SetAgentBehaviour(testbed::kScanAgent, L"scan.pdf", testbed::kEmpty);

  EXPECT_FALSE(CConvUtils::ScanToPDFWithHelper(pdf.c_str()));
  ASSERT_EQ(1u, journal.Entries(testbed::kScanAgentExe).size());
  EXPECT_TRUE(Exists(pdf));  // there, but empty
  EXPECT_EQ(2, LevelOf(log, "Scanned file not found"));
  EXPECT_FALSE(log.Has("Print Succeeded"));
  EXPECT_TRUE(log.Has("ScanToPDFWithHelper exit"));

  log.Clear();
  DeleteFileW(pdf.c_str());
  testbed::SetAgentBehaviour(testbed::kScanAgent, L"scan.pdf", testbed::kNoOutput);
  EXPECT_FALSE(CConvUtils::ScanToPDFWithHelper(pdf.c_str()));
  EXPECT_EQ(2, LevelOf(log, "Scanned file not found"));
}

TEST_F(RunnerTest, ScanAgentExitCodeNotZeroIsScanFailed) {
  UseProduct();
  testbed::SetAgentBehaviour(testbed::kScanAgent, L"*", testbed::kFailWithOutput);
  EXPECT_FALSE(CConvUtils::ScanToPDFWithHelper(Work(L"scan.pdf").c_str()));
  EXPECT_EQ(2, LevelOf(log, "Scan failed"));
  EXPECT_FALSE(log.Has("Scanned file not found"));
  EXPECT_FALSE(log.Has("Print Succeeded"));
}

// ---------------------------------------------------------------- what is passed to the system

// The arguments of the process starts and waits, recorded on their way to the real functions.
struct ShellStart {
  ULONG mask = 0;
  HWND owner = nullptr;
  std::wstring verb, file, parameters;
  bool directory = false;
  int show = -1;
};
struct Wait {
  DWORD count = 0;
  BOOL waitAll = TRUE;
  DWORD timeout = 0;
  DWORD mask = 0;
};
std::vector<ShellStart> g_shellStarts;
std::vector<Wait> g_waits;
ScopedImportHook* g_shellHook = nullptr;
ScopedImportHook* g_waitHook = nullptr;

BOOL WINAPI RecordShellExecuteEx(SHELLEXECUTEINFOW* info) {
  ShellStart start;
  start.mask = info->fMask;
  start.owner = info->hwnd;
  start.verb = info->lpVerb ? info->lpVerb : L"<null>";
  start.file = info->lpFile ? info->lpFile : L"<null>";
  start.parameters = info->lpParameters ? info->lpParameters : L"<null>";
  start.directory = info->lpDirectory != nullptr;
  start.show = info->nShow;
  g_shellStarts.push_back(start);
  return g_shellHook->Original<decltype(&ShellExecuteExW)>()(info);
}

DWORD WINAPI RecordMsgWait(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD timeout,
                           DWORD mask) {
  g_waits.push_back({count, waitAll, timeout, mask});
  return g_waitHook->Original<decltype(&MsgWaitForMultipleObjects)>()(count, handles, waitAll,
                                                                      timeout, mask);
}

class RecordedStarts {
 public:
  RecordedStarts() {
    g_shellStarts.clear();
    g_waits.clear();
    g_shellHook = &m_shell;
    g_waitHook = &m_wait;
  }
  ~RecordedStarts() { g_shellHook = g_waitHook = nullptr; }
  bool Installed() const { return m_shell.Installed() && m_process.Installed() && m_wait.Installed(); }
  const std::vector<testing_support::ProcessStart>& ProcessStarts() const {
    return m_process.Starts();
  }

 private:
  ScopedImportHook m_shell{"SHELL32.dll", "ShellExecuteExW", reinterpret_cast<void*>(&RecordShellExecuteEx)};
  testing_support::RecordedProcessStarts m_process;
  ScopedImportHook m_wait{"USER32.dll", "MsgWaitForMultipleObjects", reinterpret_cast<void*>(&RecordMsgWait)};
};

void ExpectAgentWaits(size_t atLeast) {
  EXPECT_GE(g_waits.size(), atLeast);
  for (const Wait& wait : g_waits) {
    EXPECT_EQ(1u, wait.count);
    EXPECT_FALSE(wait.waitAll);
    EXPECT_EQ(INFINITE, wait.timeout);
    EXPECT_EQ(0x1CFFu, wait.mask);
  }
}

TEST_F(RunnerTest, PrintAndScanAgentsStartHiddenThroughTheShellAndWaitOnAllInput) {
  UseProduct();
  WriteBytes(Work(L"memo.txt"), "text\r\n");
  RecordedStarts recorded;
  ASSERT_TRUE(recorded.Installed());

  ASSERT_TRUE(CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), Work(L"memo.pdf").c_str(),
                                             false, false));
  ASSERT_EQ(1u, g_shellStarts.size());
  const ShellStart& print = g_shellStarts[0];
  EXPECT_EQ(0x140u, print.mask);
  EXPECT_EQ(nullptr, print.owner);
  EXPECT_EQ(L"open", print.verb);
  EXPECT_EQ(testbed::ProductFolder() + L"\\bin\\printpdfagent.exe", print.file);
  EXPECT_EQ(L"/p \"" + Work(L"memo.txt") + L"\" \"" + Work(L"memo.pdf") + L"\" /noviewpdf",
            print.parameters);
  EXPECT_FALSE(print.directory);
  EXPECT_EQ(SW_HIDE, print.show);
  ExpectAgentWaits(1);
  EXPECT_TRUE(log.Has(Utf8(L"PrintPDFWithHelper: command line " + print.file + L" " +
                           print.parameters)));

  g_waits.clear();
  ASSERT_TRUE(CConvUtils::ScanToPDFWithHelper(Work(L"scan.pdf").c_str()));
  ASSERT_EQ(2u, g_shellStarts.size());
  const ShellStart& scan = g_shellStarts[1];
  EXPECT_EQ(0x140u, scan.mask);
  EXPECT_EQ(testbed::ProductFolder() + L"\\bin\\scanpdfagent.exe", scan.file);
  EXPECT_EQ(Work(L"scan.pdf"), scan.parameters);
  EXPECT_EQ(SW_HIDE, scan.show);
  ExpectAgentWaits(1);
  EXPECT_TRUE(recorded.ProcessStarts().empty());
}

TEST_F(RunnerTest, MailAgentStartsShownWithItsParameters) {
  UseProduct();
  WriteBytes(Work(L"a.pdf"), "%PDF-1.4\n");
  WriteBytes(Work(L"b.pdf"), "%PDF-1.4\n");
  RecordedStarts recorded;
  ASSERT_TRUE(recorded.Installed());

  CConvUtils::RunMailAgent({Work(L"a.pdf"), Work(L"b.pdf")});
  ASSERT_EQ(1u, g_shellStarts.size());
  const ShellStart& mail = g_shellStarts[0];
  EXPECT_EQ(0x140u, mail.mask);
  EXPECT_EQ(L"open", mail.verb);
  EXPECT_EQ(testbed::ProductFolder() + L"\\bin\\mailpdfagent.exe", mail.file);
  EXPECT_EQ(L" /mail /files \"" + ShortPath(Work(L"a.pdf")) + L"\" \"" + ShortPath(Work(L"b.pdf")) +
                L"\" ",
            mail.parameters);
  EXPECT_EQ(SW_SHOWNORMAL, mail.show);
  ExpectAgentWaits(1);
}

TEST_F(RunnerTest, ConverterStartsThroughTheShellOrAsAModalProcess) {
  UseProduct();
  RecordedStarts recorded;
  ASSERT_TRUE(recorded.Installed());
  const std::wstring tool = testbed::ProductFolder() + L"\\vpdfassist.exe";

  CConvUtils::LaunchConverter(L"/tempfile", false, nullptr);
  ASSERT_EQ(1u, g_shellStarts.size());
  EXPECT_EQ(0u, g_shellStarts[0].mask);
  EXPECT_EQ(L"open", g_shellStarts[0].verb);
  EXPECT_EQ(tool, g_shellStarts[0].file);
  EXPECT_EQ(L"/tempfile", g_shellStarts[0].parameters);
  EXPECT_EQ(SW_SHOWNORMAL, g_shellStarts[0].show);
  EXPECT_TRUE(g_waits.empty());
  ASSERT_TRUE(journal.WaitFor(testbed::kConversionToolExe, 1));

  CConvUtils::LaunchConverter(L"/tempfile", true, nullptr);
  ASSERT_EQ(1u, recorded.ProcessStarts().size());
  const testing_support::ProcessStart& modal = recorded.ProcessStarts()[0];
  EXPECT_EQ(tool, modal.application);
  EXPECT_EQ(L"\"" + tool + L"\" /tempfile", modal.commandLine);
  EXPECT_TRUE(modal.inherit);
  EXPECT_EQ(0x20u, modal.flags);
  EXPECT_EQ(static_cast<DWORD>(STARTF_USESHOWWINDOW), modal.startup.dwFlags);
  EXPECT_EQ(SW_SHOW, modal.startup.wShowWindow);
  ASSERT_GE(g_waits.size(), 1u);
  for (const Wait& wait : g_waits) EXPECT_EQ(0x1DFFu, wait.mask);
  EXPECT_EQ(2u, journal.Entries(testbed::kConversionToolExe).size());
}

// ---------------------------------------------------------------- waiting

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct Dispatched {
  std::atomic<int> count{0};
  DWORD thread = 0;
  size_t journalEntriesThen = 99;
  BOOL parentEnabledThen = TRUE;
  HWND parent = nullptr;
  const testbed::AgentJournal* journal = nullptr;
};
Dispatched g_dispatched;

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP + 7) {
    g_dispatched.thread = GetCurrentThreadId();
    g_dispatched.journalEntriesThen = g_dispatched.journal->Entries().size();
    if (g_dispatched.parent) g_dispatched.parentEnabledThen = IsWindowEnabled(g_dispatched.parent);
    ++g_dispatched.count;
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A window of this thread that records WM_APP + 7, and a thread that posts it after a while.
class PostedWhileWaiting {
 public:
  explicit PostedWhileWaiting(const testbed::AgentJournal& journal, HWND parent = nullptr) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = RecordingWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"RunnerTestRecorder";
    RegisterClassW(&windowClass);
    m_window = CreateWindowW(L"RunnerTestRecorder", L"", WS_OVERLAPPED, 0, 0, 10, 10,
                             HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    g_dispatched.count = 0;
    g_dispatched.thread = 0;
    g_dispatched.journalEntriesThen = 99;
    g_dispatched.parentEnabledThen = TRUE;
    g_dispatched.parent = parent;
    g_dispatched.journal = &journal;
  }
  ~PostedWhileWaiting() {
    if (m_poster.joinable()) m_poster.join();
    DestroyWindow(m_window);
    g_dispatched.parent = nullptr;
  }
  void PostAfter(DWORD milliseconds) {
    HWND window = m_window;
    m_poster = std::thread([window, milliseconds] {
      Sleep(milliseconds);
      PostMessageW(window, WM_APP + 7, 0, 0);
    });
  }
  HWND Window() const { return m_window; }

 private:
  HWND m_window = nullptr;
  std::thread m_poster;
};

TEST_F(RunnerTest, MessagePostedDuringTheWaitIsDispatchedBeforeTheRunnerReturns) {
  UseProduct();
  WriteBytes(Work(L"memo.txt"), "text\r\n");
  testbed::SetAgentDelay(testbed::kPrintAgent, 2500);
  PostedWhileWaiting posted(journal);
  ASSERT_TRUE(posted.Window());
  posted.PostAfter(500);

  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), Work(L"memo.pdf").c_str(),
                                             false, false));
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(2000));  // it did wait for the agent
  EXPECT_EQ(1, g_dispatched.count.load());
  EXPECT_EQ(GetCurrentThreadId(), g_dispatched.thread);
  EXPECT_EQ(0u, g_dispatched.journalEntriesThen);  // while the agent still ran
  EXPECT_EQ(1u, journal.Entries(testbed::kPrintAgentExe).size());
}

// ---------------------------------------------------------------- mail agent

TEST_F(RunnerTest, ThirtyOnePdfsStartTheMailAgentTwiceWithShortPaths) {
  UseProduct();
  std::vector<std::wstring> pdfs;
  for (int i = 1; i <= 31; ++i) {
    wchar_t name[80];
    swprintf(name, 80, L"Attachment number %02d of the mail.pdf", i);
    pdfs.push_back(Work(name));
    WriteBytes(pdfs.back(), "%PDF-1.4\n");
  }
  testbed::SetAgentDelay(testbed::kMailAgent, 300);

  CConvUtils::RunMailAgent(pdfs);
  // Both runs have ended when it returns.
  auto runs = journal.Entries(testbed::kMailAgentExe);
  ASSERT_EQ(2u, runs.size());
  std::wstring first = L"/mail /files ", second = L"/mail /files ";
  for (int i = 0; i < 31; ++i) {
    std::wstring shortPath = ShortPath(pdfs[i]);
    ASSERT_FALSE(shortPath.empty());
    ASSERT_NE(pdfs[i], shortPath);
    (i < 30 ? first : second) += L"\"" + shortPath + L"\" ";
  }
  EXPECT_EQ(first, runs[0].Arguments());
  EXPECT_EQ(second, runs[1].Arguments());
  EXPECT_EQ(L"files 30, existing 30, exit 0", runs[0].what);
  EXPECT_EQ(L"files 1, existing 1, exit 0", runs[1].what);
  EXPECT_EQ(0u, runs[0].commandLine.find(L"\"" + testbed::ProductFolder() + L"\\bin\\mailpdfagent.exe\""))
      << Utf8(runs[0].commandLine);
}

TEST_F(RunnerTest, MailAgentTakesThirtyFilesInOneRunAndNothingStartsNothing) {
  UseProduct();
  std::vector<std::wstring> pdfs;
  for (int i = 1; i <= 30; ++i) {
    pdfs.push_back(Work(L"m" + std::to_wstring(i) + L".pdf"));
    WriteBytes(pdfs.back(), "%PDF-1.4\n");
  }
  CConvUtils::RunMailAgent(pdfs);
  auto runs = journal.Entries(testbed::kMailAgentExe);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(L"files 30, existing 30, exit 0", runs[0].what);

  journal.Clear();
  CConvUtils::RunMailAgent(std::vector<std::wstring>());
  EXPECT_TRUE(journal.Entries().empty());
}

TEST_F(RunnerTest, MailAgentFolderIsTheInstallPathOfTheProductKey) {
  // Only HKLM\Software\Ostrel\PDF\V1 InstallPath counts; "bin\..." is appended directly.
  m_installPath.SetString(testbed::ProductFolder() + L"\\");
  EXPECT_EQ(testbed::ProductFolder() + L"\\", CConvUtils::ReadAgentInstallFolder());
  WriteBytes(Work(L"a.pdf"), "%PDF-1.4\n");
  CConvUtils::RunMailAgent({Work(L"a.pdf")});
  ASSERT_EQ(1u, journal.Entries(testbed::kMailAgentExe).size());

  m_installPath.Remove();
  EXPECT_EQ(L"", CConvUtils::ReadAgentInstallFolder());
}

TEST_F(RunnerTest, MissingMailAgentEndsAtOnce) {
  ASSERT_TRUE(CreateDirectoryW(Work(L"empty").c_str(), nullptr));
  WriteBytes(Work(L"a.pdf"), "%PDF-1.4\n");
  MessageBoxCloser boxes;  // the shell may report the failure in a message box
  CConvUtils::RunMailAgent(Work(L"empty") + L"\\", {Work(L"a.pdf")});
  EXPECT_EQ(2, LevelOf(log, "ShellExecuteEx returned false"));
  EXPECT_TRUE(journal.Entries().empty());
}

// ---------------------------------------------------------------- conversion tool

TEST_F(RunnerTest, ConverterCommandLineChecks) {
  wchar_t out[MAX_PATH] = {};
  WriteBytes(Work(L"list.txt"), "x");

  // No double quote at all: accepted unchanged.
  EXPECT_TRUE(CConvUtils::CheckConverterCommandLine(L"/tempfile no quotes here", out, MAX_PATH));
  EXPECT_STREQ(L"/tempfile no quotes here", out);
  // An opening quote without a closing one: the quoted part counts as empty.
  EXPECT_TRUE(CConvUtils::CheckConverterCommandLine(L"\"C:\\does\\not\\exist.txt", out, MAX_PATH));
  // A quoted file that does not exist: rejected.
  EXPECT_FALSE(CConvUtils::CheckConverterCommandLine(
      (L"\"" + Work(L"missing.txt") + L"\" /tempfile").c_str(), out, MAX_PATH));
  // An existing file or folder: accepted.
  const std::wstring withFile = L"\"" + Work(L"list.txt") + L"\" /tempfile";
  EXPECT_TRUE(CConvUtils::CheckConverterCommandLine(withFile.c_str(), out, MAX_PATH));
  EXPECT_EQ(withFile, out);
  EXPECT_TRUE(CConvUtils::CheckConverterCommandLine((L"\"" + m_work + L"\"").c_str(), out, MAX_PATH));
  // A web scheme prefix: accepted without a file check; case-sensitive.
  for (const wchar_t* line : {L"\"http://example.com/a.pdf\"", L"\"https://example.com/a b.pdf\" /x",
                              L"\"ftp:server/a.pdf\"", L"\"file://host/share/a.pdf\""})
    EXPECT_TRUE(CConvUtils::CheckConverterCommandLine(line, out, MAX_PATH)) << Utf8(line);
  EXPECT_FALSE(CConvUtils::CheckConverterCommandLine(L"\"HTTP://example.com/a.pdf\"", out, MAX_PATH));
  EXPECT_FALSE(CConvUtils::CheckConverterCommandLine(L"\" http://example.com/a.pdf\"", out, MAX_PATH));
  // The whole line with its terminator must fit.
  EXPECT_TRUE(CConvUtils::CheckConverterCommandLine(L"abcd", out, 5));
  EXPECT_STREQ(L"abcd", out);
  wcscpy(out, L"unchanged");
  EXPECT_FALSE(CConvUtils::CheckConverterCommandLine(L"abcde", out, 5));
  EXPECT_STREQ(L"unchanged", out);
}

TEST_F(RunnerTest, ConverterNotModalIsStartedWithTheCheckedLineAndNotWaitedFor) {
  UseProduct();
  WriteBytes(Work(L"list.txt"), "one.pdf\r\n");
  testbed::SetAgentDelay(testbed::kConversionTool, 1500);
  const std::wstring line = L"\"" + Work(L"list.txt") + L"\" /tempfile";

  auto start = std::chrono::steady_clock::now();
  CConvUtils::LaunchConverter(line.c_str(), false, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1200));
  EXPECT_TRUE(journal.Entries().empty());
  ASSERT_TRUE(journal.WaitFor(testbed::kConversionToolExe, 1));
  auto runs = journal.Entries(testbed::kConversionToolExe);
  EXPECT_EQ(line, runs[0].Arguments());
  EXPECT_EQ(0u, runs[0].commandLine.find(L"\"" + testbed::ProductFolder() + L"\\vpdfassist.exe\""))
      << Utf8(runs[0].commandLine);
  Sleep(300);  // let it end before the working folder goes
}

TEST_F(RunnerTest, RejectedConverterLineStartsNothing) {
  UseProduct();
  MessageBoxCloser boxes;
  CConvUtils::LaunchConverter((L"\"" + Work(L"missing.txt") + L"\" /tempfile").c_str(), false, nullptr);
  EXPECT_EQ(2, LevelOf(log, "ERROR: Invalid commandline parameter"));
  EXPECT_FALSE(journal.WaitFor(testbed::kConversionToolExe, 1, 1500));
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(RunnerTest, ConverterWithoutInstallFolderStartsNothingSilently) {
  m_installPath32.Remove();
  CConvUtils::LaunchConverter(L"/tempfile", false, nullptr);
  EXPECT_FALSE(journal.WaitFor(testbed::kConversionToolExe, 1, 1500));
  EXPECT_FALSE(log.Has("ERROR: Invalid commandline parameter"));
}

TEST_F(RunnerTest, ConverterModalDisablesItsParentAndWaits) {
  UseProduct();
  WriteBytes(Work(L"list.txt"), "one.pdf\r\n");
  testbed::SetAgentDelay(testbed::kConversionTool, 1500);
  const std::wstring line = L"\"" + Work(L"list.txt") + L"\" /tempfile";
  HWND parent = CreateWindowW(L"STATIC", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(parent);
  PostedWhileWaiting posted(journal, parent);
  posted.PostAfter(400);

  CConvUtils::LaunchConverter(line.c_str(), true, parent);
  // It waited: the tool has ended and journaled; the message came while it ran.
  auto runs = journal.Entries(testbed::kConversionToolExe);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(L"\"" + testbed::ProductFolder() + L"\\vpdfassist.exe\" " + line, runs[0].commandLine);
  EXPECT_EQ(1, g_dispatched.count.load());
  EXPECT_EQ(0u, g_dispatched.journalEntriesThen);
  EXPECT_FALSE(g_dispatched.parentEnabledThen);
  EXPECT_TRUE(IsWindowEnabled(parent));
  EXPECT_FALSE(log.Has("ALERT: LaunchConverter should be modal, but the parent window is invalid"));
  DestroyWindow(parent);
}

TEST_F(RunnerTest, ConverterModalWithoutParentWarnsAndStillWaits) {
  UseProduct();
  CConvUtils::LaunchConverter(L"/tempfile", true, nullptr);
  EXPECT_EQ(1, LevelOf(log, "ALERT: LaunchConverter should be modal, but the parent window is invalid"));
  auto runs = journal.Entries(testbed::kConversionToolExe);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(L"\"" + testbed::ProductFolder() + L"\\vpdfassist.exe\" /tempfile", runs[0].commandLine);
}

// ---------------------------------------------------------------- debug message

TEST_F(RunnerTest, DebugMessageOnlyWithTheSwitchOrForced) {
  MessageBoxCloser boxes;
  m_debugMessage.Remove();
  CConvUtils::ShowDebugMessage(L"Caption", L"Text", false);
  EXPECT_EQ(0u, boxes.Boxes().size());

  m_debugMessage.SetDword(0);
  CConvUtils::ShowDebugMessage(L"Caption", L"Text", false);
  EXPECT_EQ(0u, boxes.Boxes().size());

  m_debugMessage.SetString(L"1");  // not a DWORD: no box
  CConvUtils::ShowDebugMessage(L"Caption", L"Text", false);
  EXPECT_EQ(0u, boxes.Boxes().size());

  m_debugMessage.SetDword(1);
  CConvUtils::ShowDebugMessage(L"LaunchConverter", L"/tempfile", false);
  ASSERT_EQ(1u, boxes.Boxes().size());
  EXPECT_EQ(L"LaunchConverter", boxes.Boxes()[0].caption);
  EXPECT_EQ(L"/tempfile", boxes.Boxes()[0].text);

  m_debugMessage.Remove();
  CConvUtils::ShowDebugMessage(L"Forced", L"Always", true);
  ASSERT_EQ(2u, boxes.Boxes().size());
  EXPECT_EQ(L"Forced", boxes.Boxes()[1].caption);
  EXPECT_EQ(L"Always", boxes.Boxes()[1].text);
}

// ---------------------------------------------------------------- PDF and XPS files

TEST_F(RunnerTest, PdfAndXpsRecognisedByTheirFirstBytes) {
  const std::string zip("PK\x03\x04\x14\x00\x00\x00", 8);
  WriteBytes(Work(L"v2.txt"), "%PDF-2.0\nrest");
  WriteBytes(Work(L"v1"), "%PDF-1.7\n");
  WriteBytes(Work(L"v3.pdf"), "%PDF-3.0\n");
  WriteBytes(Work(L"short.pdf"), "%PDF-1");
  WriteBytes(Work(L"lower.pdf"), "%pdf-1.4\n");
  WriteBytes(Work(L"doc.XPS"), zip);
  WriteBytes(Work(L"doc.oxps"), zip);
  WriteBytes(Work(L"doc.zip"), zip);
  WriteBytes(Work(L"pk.xps"), "PK");
  WriteBytes(Work(L"text.xps"), "not a zip");
  WriteBytes(Work(L"empty.pdf"), "");

  EXPECT_TRUE(CConvUtils::IsPDFOrXPSFile(Work(L"v2.txt").c_str()));
  EXPECT_TRUE(CConvUtils::IsPDFOrXPSFile(Work(L"v1").c_str()));
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(Work(L"v3.pdf").c_str()));
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(Work(L"short.pdf").c_str()));
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(Work(L"lower.pdf").c_str()));
  EXPECT_TRUE(CConvUtils::IsPDFOrXPSFile(Work(L"doc.XPS").c_str()));
  EXPECT_TRUE(CConvUtils::IsPDFOrXPSFile(Work(L"doc.oxps").c_str()));
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(Work(L"doc.zip").c_str()));
  EXPECT_TRUE(CConvUtils::IsPDFOrXPSFile(Work(L"pk.xps").c_str()));
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(Work(L"text.xps").c_str()));
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(Work(L"empty.pdf").c_str()));
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(Work(L"missing.pdf").c_str()));
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(L""));
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(nullptr));
}

// ---------------------------------------------------------------- image-to-PDF library

// One test, in this order: the library instance lives for the whole process once loaded.
TEST_F(RunnerTest, ConvertXpsToPdfThroughTheImageLibrary) {
  ASSERT_FALSE(GetModuleHandleW(L"rasterpdf64.dll")) << "loaded before this test";
  ASSERT_TRUE(testbed::WriteXpsPackage(Work(L"Säulen.xps"), 3));

  // Without an install folder the library is not found: failure, nothing loaded.
  ASSERT_TRUE(CreateDirectoryW(Work(L"empty").c_str(), nullptr));
  testbed::PointProductAt(Work(L"empty"));
  EXPECT_FALSE(CConvUtils::ConvertXPSToPDF(Work(L"Säulen.xps").c_str(), Work(L"Säulen.pdf").c_str(),
                                           15, 0, 0));
  EXPECT_FALSE(vpdf::ImgPDFDll::Instance().Module());
  EXPECT_TRUE(journal.Entries().empty());

  UseProduct();
  EXPECT_TRUE(CConvUtils::ConvertXPSToPDF(Work(L"Säulen.xps").c_str(), Work(L"Säulen.pdf").c_str(),
                                          15, 0, 0));
  auto calls = journal.Entries(testbed::kRasterLibrary);
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(L"P4ToPDFConvert(\"" + Work(L"Säulen.xps") + L"\", \"" + Work(L"Säulen.pdf") +
                L"\", 15, 0, 0)",
            calls[0].commandLine);
  EXPECT_EQ(3, tbpdf::PageCount(Work(L"Säulen.pdf")));
  HMODULE module = vpdf::ImgPDFDll::Instance().Module();
  ASSERT_TRUE(module);
  wchar_t loaded[MAX_PATH] = {};
  GetModuleFileNameW(module, loaded, MAX_PATH);
  EXPECT_EQ(0, _wcsicmp((testbed::ProductFolder() + L"\\rasterpdf64.dll").c_str(), loaded));
  EXPECT_TRUE(vpdf::ImgPDFDll::Instance().MRCConvertEx);
  EXPECT_TRUE(vpdf::ImgPDFDll::Instance().Stationary);
  EXPECT_TRUE(vpdf::ImgPDFDll::Instance().ConvertWithEngine);

  // A negative result is a failure.
  testbed::SetAgentBehaviour(testbed::kRaster, L"*", testbed::kFail);
  EXPECT_FALSE(CConvUtils::ConvertXPSToPDF(Work(L"Säulen.xps").c_str(), Work(L"other.pdf").c_str(),
                                           15, 0, 0));
  testbed::ClearAgentControls();

  // Once loaded it stays: the install folder is no longer needed.
  testbed::PointProductAt(Work(L"empty"));
  EXPECT_TRUE(CConvUtils::ConvertXPSToPDF(Work(L"Säulen.xps").c_str(), Work(L"again.pdf").c_str(),
                                          15, 0, 0));
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
  const std::wstring install = Work(L"install");
  for (const wchar_t* folder : {L"", L"\\x64", L"\\bin", L"\\bin\\Plug-ins"})
    ASSERT_TRUE(CreateDirectoryW((install + folder).c_str(), nullptr) || !*folder);
  testbed::PointProductAt(install);
  struct Place {
    const wchar_t* folder;
    const wchar_t* name;
    DWORD flag;
  };
  for (const Place& place : {Place{L"", L"probe2.dll", 2}, Place{L"\\x64", L"probe4.dll", 4},
                             Place{L"\\bin", L"probe8.dll", 8},
                             Place{L"\\bin\\Plug-ins", L"probe16.dll", 16}}) {
    const std::wstring path = install + place.folder + L"\\" + place.name;
    ASSERT_TRUE(CopyFileW(dll.c_str(), path.c_str(), FALSE));
    EXPECT_FALSE(CConvUtils::LoadProductLibrary(place.name, 31 & ~place.flag)) << place.flag;
    HMODULE module = CConvUtils::LoadProductLibrary(place.name, place.flag);
    ASSERT_TRUE(module) << place.flag;
    wchar_t loaded[MAX_PATH] = {};
    GetModuleFileNameW(module, loaded, MAX_PATH);
    EXPECT_EQ(0, _wcsicmp(path.c_str(), loaded)) << Utf8(loaded);
    FreeLibrary(module);
  }
  // The first place in the order wins.
  ASSERT_TRUE(CopyFileW(dll.c_str(), (install + L"\\bin\\probe4.dll").c_str(), FALSE));
  HMODULE module = CConvUtils::LoadProductLibrary(L"probe4.dll", 4 | 8);
  ASSERT_TRUE(module);
  wchar_t loaded[MAX_PATH] = {};
  GetModuleFileNameW(module, loaded, MAX_PATH);
  EXPECT_EQ(0, _wcsicmp((install + L"\\x64\\probe4.dll").c_str(), loaded)) << Utf8(loaded);
  FreeLibrary(module);
  EXPECT_FALSE(CConvUtils::LoadProductLibrary(L"nowhere.dll", 31));
}

}  // namespace
