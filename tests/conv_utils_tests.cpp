// The product's helpers as the add-in starts them: the testbed's stand-ins under
// build/bin/product, real processes, waits, registry and files.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convutils/conv_utils.h"
#include "testbed/agents/journal.h"
#include "testbed/harness/import_hook.h"
#include "tests/settings_support.h"

namespace {

using testing_support::MessageBoxCloser;
using testing_support::ScopedRegistryValue;
using testing_support::Utf8;
using vpdf::CConvUtils;

constexpr wchar_t kProductKey[] = L"Software\\Ostrel\\PDF\\V1";
constexpr wchar_t kProductKey32[] = L"Software\\Wow6432Node\\Ostrel\\PDF\\V1";
constexpr wchar_t kConfigKey[] = L"Software\\VarnelTestbed\\Config";

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Lower-cased: the loader may keep another spelling of a folder.
std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  CharLowerW(path);
  return path;
}
std::wstring Lower(std::wstring text) {
  CharLowerW(text.data());
  return text;
}

// The show state of every ShellExecuteEx call of this program, on its way to the real one: under
// Wine no process can see from outside whether a window shows.
std::wstring g_shows;
testing_support::ScopedImportHook* g_shellHook = nullptr;
BOOL WINAPI RecordShow(SHELLEXECUTEINFOW* info) {
  g_shows += std::to_wstring(info->nShow);
  return g_shellHook->Original<decltype(&ShellExecuteExW)>()(info);
}

// The product pointed at the folder a test chooses (settings put back afterwards), agent
// controls cleared, a journal, a working folder "W" in %TEMP% that goes again.
class Helpers : public testing_support::CleanTempFolderTest {
 protected:
  void SetUp() override {
    CleanTempFolderTest::SetUp();
    m_work = testing_support::TempFolder() + L"vr" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(m_work.c_str(), nullptr));
    g_shellHook = &m_shellHook;
    ASSERT_TRUE(m_shellHook.Installed());
  }
  void TearDown() override {
    g_shellHook = nullptr;
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(m_work), error);
    EXPECT_FALSE(error) << error.message();
    CleanTempFolderTest::TearDown();
  }
  std::wstring Work(const std::wstring& name) const { return m_work + L"\\" + name; }
  std::wstring Folder(const std::wstring& name) const {
    CreateDirectoryW(Work(name).c_str(), nullptr);
    return Work(name);
  }
  void Write(const std::wstring& name, const std::string& bytes) const {
    ASSERT_TRUE(tbpdf::WriteFileBytes(Work(name), bytes)) << Utf8(name);
  }
  // The working folder written "W".
  std::wstring Render(std::wstring text) const {
    for (size_t at; (at = text.find(m_work)) != std::wstring::npos;) text.replace(at, m_work.size(), L"W");
    return text;
  }
  // The journal, a line a run: program and arguments (of a library: the call).
  std::wstring Started() const {
    std::wstring text;
    for (const testbed::JournalEntry& entry : journal.Entries())
      text += entry.program + L" " + (entry.program.ends_with(L".exe") ? entry.Arguments() : entry.commandLine) + L"\n";
    return Render(text);
  }
  std::wstring Short(const std::wstring& name) const {
    wchar_t path[MAX_PATH] = {};
    GetShortPathNameW(Work(name).c_str(), path, MAX_PATH);
    return Render(path);
  }

  // Declared first: removed last, after the values inside them are put back.
  testing_support::ScopedRegistryKeys m_newKeys{testing_support::MissingParts(
      {{HKEY_LOCAL_MACHINE, kProductKey}, {HKEY_LOCAL_MACHINE, kProductKey32},
       {HKEY_CURRENT_USER, kConfigKey}})};
  ScopedRegistryValue m_installPath{HKEY_LOCAL_MACHINE, kProductKey, L"InstallPath"};
  ScopedRegistryValue m_installPath32{HKEY_LOCAL_MACHINE, kProductKey32, L"InstallPath", KEY_WOW64_32KEY};
  ScopedRegistryValue m_configPath{HKEY_CURRENT_USER, kConfigKey, L"InstallPath"};
  testbed::ScopedAgentControls controls;
  testbed::AgentJournal journal;
  std::wstring m_work;
  testing_support::ScopedImportHook m_shellHook{"SHELL32.dll", "ShellExecuteExW", reinterpret_cast<void*>(&RecordShow)};
};

// Each run: what was started with which arguments (a delay in every helper shows whether the
// run waited for it), the show states asked for, the result and the output left.
TEST_F(Helpers, RunsStartTheirHelperWithItsCommandLineAndWaitAsTheHelperNeeds) {
  Write(L"memo.txt", "first line\r\n");
  std::vector<std::wstring> pdfs;
  for (int i = 1; i <= 31; ++i) {
    pdfs.push_back(L"Attachment " + std::to_wstring(i) + L" of the mail.pdf");
    Write(pdfs.back(), "%PDF-1.4\n");
  }
  Write(L"list.txt", "one.pdf\r\n");
  Folder(L"empty");
  Folder(L"broken");
  Folder(L"broken\\bin");
  Write(L"broken\\bin\\printpdfagent.exe", "this is no program\r\n");
  Folder(L"both");  // the agent in bin and something of its name at the top: bin first
  Folder(L"both\\bin");
  Write(L"both\\printpdfagent.exe", "this is no program\r\n");
  ASSERT_TRUE(CopyFileW((testbed::ProductFolder() + L"\\bin\\printpdfagent.exe").c_str(), Work(L"both\\bin\\printpdfagent.exe").c_str(), FALSE));
  auto mail = [&](size_t from, size_t to) {
    std::wstring line = std::wstring(testbed::kMailAgentExe) + L" /mail /files ";
    for (size_t i = from; i < to; ++i) line += L"\"" + Short(pdfs[i]) + L"\" ";
    return line + L"\n";
  };
  const std::wstring print = L"printpdfagent.exe /p \"W\\memo.txt\" \"W\\memo.pdf\" ";
  enum Call { kPrint, kPrintMailView, kPrintView, kScan, kMail, kConverter };
  enum Place { kProduct, kEmptyFolder, kBrokenAgent, kBoth, kNoFolder };
  const struct {
    const char* what; Call call; Place place = kProduct;
    const wchar_t* behaviour = nullptr;  // of the print or scan agent
    std::vector<std::wstring> input = {};  // mail: the files; converter: the command line
    bool result = true; std::wstring started = L"", shows = L"", output = L""; bool waited = true;
  } rows[] = {
      {"print", kPrint, kProduct, nullptr, {}, true, print + L"/noviewpdf\n", L"0", L"memo.pdf"},
      {"print for mail, shown", kPrintMailView, kProduct, nullptr, {}, true,
       L"printpdfagent.exe /m \"W\\memo.txt\" \"W\\memo.pdf\" /viewpdf\n", L"0", L"memo.pdf"},
      {"print, shown", kPrintView, kProduct, nullptr, {}, true, print + L"/viewpdf\n", L"0", L"memo.pdf"},
      {"scan: the output unquoted", kScan, kProduct, nullptr, {}, true, L"scanpdfagent.exe W\\scan.pdf\n", L"0", L"scan.pdf"},
      {"print fails with output", kPrint, kProduct, testbed::kFailWithOutput, {}, false, print + L"/noviewpdf\n", L"0", L"memo.pdf"},
      {"print writes nothing", kPrint, kProduct, testbed::kNoOutput, {}, false, print + L"/noviewpdf\n", L"0"},
      {"scan fails with output", kScan, kProduct, testbed::kFailWithOutput, {}, false, L"scanpdfagent.exe W\\scan.pdf\n", L"0", L"scan.pdf"},
      {"scan leaves an empty file", kScan, kProduct, testbed::kEmpty, {}, false, L"scanpdfagent.exe W\\scan.pdf\n", L"0", L"scan.pdf"},
      {"the agent in bin first", kPrint, kBoth, nullptr, {}, true, print + L"/noviewpdf\n", L"0", L"memo.pdf"},
      {"no print agent", kPrint, kEmptyFolder, nullptr, {}, false},
      {"no install folder", kPrint, kNoFolder, nullptr, {}, false},
      {"an agent that is no program", kPrint, kBrokenAgent, nullptr, {}, false, L"", L"0"},
      {"31 files: 30 a mail, short paths", kMail, kProduct, nullptr, pdfs, true, mail(0, 30) + mail(30, 31), L"11"},
      {"30 files: one mail", kMail, kProduct, nullptr, {pdfs.begin(), pdfs.begin() + 30}, true, mail(0, 30), L"1"},
      {"a failed print goes as it is", kMail, kProduct, nullptr, {L"failed print.pdf"}, true,
       L"mailpdfagent.exe /mail /files \"W\\failed print.pdf\" \n", L"1"},
      {"no files, no mail", kMail},
      {"converter, not waited for", kConverter, kProduct, nullptr, {L"/tempfile"}, true,
       L"vpdfassist.exe /tempfile\n", L"1", L"", false},
      {"converter with its list", kConverter, kProduct, nullptr, {L"\"" + Work(L"list.txt") + L"\" /tempfile"}, true,
       L"vpdfassist.exe \"W\\list.txt\" /tempfile\n", L"1", L"", false},
      {"converter, list missing", kConverter, kProduct, nullptr, {L"\"" + Work(L"gone.txt") + L"\" /tempfile"}, true, L"", L"", L"", false},
      {"converter, no install folder", kConverter, kNoFolder, nullptr, {L"/tempfile"}, true, L"", L"", L"", false},
  };
  MessageBoxCloser boxes;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    testbed::ClearAgentControls();
    for (const wchar_t* agent : {testbed::kPrintAgent, testbed::kScanAgent, testbed::kMailAgent, testbed::kConversionTool})
      testbed::SetAgentDelay(agent, 200);
    if (row.behaviour) testbed::SetAgentBehaviour(row.call == kScan ? testbed::kScanAgent : testbed::kPrintAgent, L"*", row.behaviour);
    const wchar_t* places[] = {nullptr, L"empty", L"broken", L"both", nullptr};
    testbed::PointProductAt(places[row.place] ? Work(places[row.place]) : testbed::ProductFolder());
    if (row.place == kNoFolder) {
      m_configPath.Remove();
      m_installPath32.Remove();
    }
    journal.Clear();
    g_shows.clear();
    bool result = true;
    switch (row.call) {
      case kPrint: case kPrintMailView: case kPrintView:
        result = CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(), Work(L"memo.pdf").c_str(),
                                                row.call == kPrintMailView, row.call != kPrint);
        break;
      case kScan: result = CConvUtils::ScanToPDFWithHelper(Work(L"scan.pdf").c_str()); break;
      case kMail: {
        std::vector<std::wstring> paths;
        for (const std::wstring& name : row.input) paths.push_back(Work(name));
        CConvUtils::RunMailAgent(paths);
        break;
      }
      case kConverter: CConvUtils::LaunchConverter(row.input[0].c_str(), false, nullptr);
    }
    EXPECT_EQ(row.result, result);
    EXPECT_EQ(row.waited ? row.started : L"", Started());
    if (!row.waited) {  // no shell start (shows) is nothing started
      EXPECT_TRUE(row.started.empty() || journal.WaitFor(testbed::kConversionToolExe, 1));
      EXPECT_EQ(row.started, Started());
    }
    EXPECT_EQ(row.shows, g_shows);
    for (const wchar_t* output : {L"memo.pdf", L"scan.pdf"}) {
      EXPECT_EQ(row.output == output, Exists(Work(output))) << Utf8(output);
      DeleteFileW(Work(output).c_str());
    }
  }
  EXPECT_EQ(1u, boxes.Boxes().size()) << "only the shell's own report of the broken agent";
}

TEST_F(Helpers, PdfAndXpsRecognisedByTheirFirstBytes) {
  const std::string zip("PK\x03\x04\x14\x00", 6);
  const struct {
    const wchar_t* name; std::string bytes; bool recognised;
  } rows[] = {{L"v2", "%PDF-2.0\nrest", true}, {L"v3.pdf", "%PDF-3.0\n", false}, {L"short.pdf", "%PDF-1", false},
              {L"lower.pdf", "%pdf-1.4\n", false}, {L"doc.XPS", zip, true}, {L"doc.oxps", zip, true},
              {L"doc.zip", zip, false}, {L"pk.xps", "PK", true}, {L"text.xps", "not a zip", false},
              {L"empty.pdf", "", false}};
  for (const auto& row : rows) {
    Write(row.name, row.bytes);
    EXPECT_EQ(row.recognised, CConvUtils::IsPDFOrXPSFile(Work(row.name).c_str())) << Utf8(row.name);
  }
  EXPECT_FALSE(CConvUtils::IsPDFOrXPSFile(Work(L"missing.pdf").c_str()));
}

// In this order: the library lives for the whole process once loaded.
TEST_F(Helpers, ConvertXpsToPdfThroughTheImageLibrary) {
  ASSERT_FALSE(GetModuleHandleW(L"rasterpdf64.dll")) << "loaded before this test";
  const std::wstring xps = Work(L"Säulen.xps");
  ASSERT_TRUE(testbed::WriteXpsPackage(xps, 3));
  auto convert = [&](const wchar_t* pdf) { return CConvUtils::ConvertXPSToPDF(xps.c_str(), Work(pdf).c_str(), 15, 0, 0); };
  testbed::PointProductAt(Folder(L"empty"));
  EXPECT_FALSE(convert(L"none.pdf"));
  EXPECT_EQ(L"", Started());

  testbed::PointProductAt(testbed::ProductFolder());
  EXPECT_TRUE(convert(L"Säulen.pdf"));
  EXPECT_EQ(L"rasterpdf64.dll P4ToPDFConvert(\"W\\Säulen.xps\", \"W\\Säulen.pdf\", 15, 0, 0)\n", Started());
  EXPECT_EQ(3, tbpdf::PageCount(Work(L"Säulen.pdf")));
  testbed::SetAgentBehaviour(testbed::kRaster, L"*", testbed::kFail);
  EXPECT_FALSE(convert(L"other.pdf"));  // a negative result
  testbed::ClearAgentControls();
  // Once loaded it stays: the install folder is no longer needed.
  HMODULE module = GetModuleHandleW(L"rasterpdf64.dll");
  EXPECT_EQ(Lower(testbed::ProductFolder() + L"\\rasterpdf64.dll"), ModulePath(module));
  testbed::PointProductAt(Work(L"empty"));
  EXPECT_TRUE(convert(L"again.pdf"));
  EXPECT_TRUE(Exists(Work(L"again.pdf")));
}

}  // namespace
