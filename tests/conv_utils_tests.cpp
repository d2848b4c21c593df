// The product's helpers as the add-in starts them: the testbed's stand-ins under
// the product's folder, real processes, waits, registry and files.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convutils/conv_utils.h"
#include "testbed/harness/answerer.h"
#include "testbed/harness/import_hook.h"
#include "testbed/sweep/faults.h"
#include "tests/command_run_support.h"

namespace {

using harness::FileExists;
using vpdf::CConvUtils;

// The show state of every ShellExecuteEx call of this program, on its way to the real one: under
// Wine no process can see from outside whether a window shows.
std::wstring g_shows;
testing_support::ScopedImportHook* g_shellHook = nullptr;
BOOL WINAPI RecordShow(SHELLEXECUTEINFOW* info) {
  g_shows += std::to_wstring(info->nShow);
  return g_shellHook->Original<decltype(&ShellExecuteExW)>()(info);
}

// The product pointed at the folder a test chooses, in a harness::CommandWorld (%WORK%).
class Helpers : public testing_support::WorldTest {
 protected:
  std::wstring Work(const std::wstring& name) const { return world.Work(name); }
  std::wstring Folder(const std::wstring& name) const {
    std::filesystem::create_directories(std::filesystem::path(Work(name)));
    return Work(name);
  }
  void Write(const std::wstring& name, const std::string& bytes) const { harness::WriteText(Work(name), bytes); }
  // The helpers run since the world's last Reset: "run <program> <arguments> -> <what it did>".
  std::wstring Started() const { return world.changes.Render(); }
};

// Each run: the boxes a person saw and what was started with which arguments (a delay in every
// helper shows whether the run waited for it), the show states asked for, the result and the
// output left.
TEST_F(Helpers, RunsStartTheirHelperWithItsCommandLineAndWaitAsTheHelperNeeds) {
  testing_support::ScopedImportHook shellHook{"SHELL32.dll", "ShellExecuteExW", reinterpret_cast<void*>(&RecordShow)};
  g_shellHook = &shellHook;
  ASSERT_TRUE(shellHook.Installed());
  Write(L"memo.txt", "first line\r\n");
  std::vector<std::wstring> pdfs;
  for (int i = 1; i <= 31; ++i) {
    pdfs.push_back(L"Attachment " + std::to_wstring(i) + L" of the mail.pdf");
    Write(pdfs.back(), "%PDF-1.4\n");
  }
  Write(L"list.txt", "one.pdf\r\n");
  Folder(L"empty");
  Folder(L"broken\\bin");
  Write(L"broken\\bin\\printpdfagent.exe", "this is no program\r\n");
  Folder(L"both\\bin");  // the agent in bin and something of its name at the top: bin first
  Write(L"both\\printpdfagent.exe", "this is no program\r\n");
  ASSERT_TRUE(CopyFileW((testbed::ProductFolder() + L"\\bin\\printpdfagent.exe").c_str(), Work(L"both\\bin\\printpdfagent.exe").c_str(), FALSE));
  auto mail = [&](size_t from, size_t to) {
    std::wstring line = L"run mailpdfagent.exe /mail /files";
    for (size_t i = from; i < to; ++i) {
      wchar_t path[MAX_PATH] = {};
      GetShortPathNameW(Work(pdfs[i]).c_str(), path, MAX_PATH);
      line += L" \"" + harness::Shorten(path) + L"\"";
    }
    return line + L" -> files " + std::to_wstring(to - from) + L", existing " + std::to_wstring(to - from) + L", exit 0\n";
  };
  auto print = [](const wchar_t* view, const wchar_t* what = L"pdf 1 pages, exit 0") {
    return L"run printpdfagent.exe /p \"%WORK%\\memo.txt\" \"%WORK%\\memo.pdf\" " + std::wstring(view) + L" -> " + what + L"\n";
  };
  auto scan = [](const wchar_t* what = L"pdf 1 pages, exit 0") { return L"run scanpdfagent.exe %WORK%\\scan.pdf -> " + std::wstring(what) + L"\n"; };
  enum Call { kPrint, kPrintMailView, kPrintView, kScan, kMail, kConverter };
  enum Place { kProduct, kEmptyFolder, kBrokenAgent, kBoth, kNoFolder };
  const struct {
    const char* what; Call call; Place place = kProduct;
    const wchar_t* behaviour = nullptr;  // of the print or scan agent
    std::vector<std::wstring> input = {};  // mail: the files; converter: the command line
    bool result = true; std::wstring seen = L"", shows = L"", output = L""; bool waited = true;
    const char* fails = nullptr;  // the first call of this function
  } rows[] = {
      {"print", kPrint, kProduct, nullptr, {}, true, print(L"/noviewpdf"), L"0", L"memo.pdf"},
      {"print for mail, shown", kPrintMailView, kProduct, nullptr, {}, true,
       L"run printpdfagent.exe /m \"%WORK%\\memo.txt\" \"%WORK%\\memo.pdf\" /viewpdf -> pdf 1 pages, exit 0\n", L"0", L"memo.pdf"},
      {"print, shown", kPrintView, kProduct, nullptr, {}, true, print(L"/viewpdf"), L"0", L"memo.pdf"},
      {"scan: the output unquoted", kScan, kProduct, nullptr, {}, true, scan(), L"0", L"scan.pdf"},
      {"print fails with output", kPrint, kProduct, testbed::kFailWithOutput, {}, false, print(L"/noviewpdf", L"pdf 1 pages, exit 1"), L"0", L"memo.pdf"},
      {"print writes nothing", kPrint, kProduct, testbed::kNoOutput, {}, false, print(L"/noviewpdf", L"nooutput, exit 0"), L"0"},
      {"print leaves an empty file", kPrint, kProduct, testbed::kEmpty, {}, false, print(L"/noviewpdf", L"empty, exit 0"), L"0", L"memo.pdf"},
      {"scan fails with output", kScan, kProduct, testbed::kFailWithOutput, {}, false, scan(L"pdf 1 pages, exit 1"), L"0", L"scan.pdf"},
      {"scan leaves an empty file", kScan, kProduct, testbed::kEmpty, {}, false, scan(L"empty, exit 0"), L"0", L"scan.pdf"},
      {"the agent in bin first", kPrint, kBoth, nullptr, {}, true, print(L"/noviewpdf"), L"0", L"memo.pdf"},
      {"no print agent", kPrint, kEmptyFolder, nullptr, {}, false},
      {"the wait fails: the agent is ended before it writes", kPrint, kProduct, nullptr, {}, false,
       L"", L"0", L"", true, "MsgWaitForMultipleObjects"},
      {"no install folder", kPrint, kNoFolder, nullptr, {}, false},
      {"an agent that is no program: the shell says so", kPrint, kBrokenAgent, nullptr, {}, false, L"Error: Bad EXE format for -> OK\n", L"0"},
      {"31 files: 30 a mail, short paths", kMail, kProduct, nullptr, pdfs, true, mail(0, 30) + mail(30, 31), L"11"},
      {"30 files: one mail", kMail, kProduct, nullptr, {pdfs.begin(), pdfs.begin() + 30}, true, mail(0, 30), L"1"},
      {"a failed print goes as it is", kMail, kProduct, nullptr, {L"failed print.pdf"}, true,
       L"run mailpdfagent.exe /mail /files \"%WORK%\\failed print.pdf\" -> files 1, existing 0, exit 0\n", L"1"},
      {"no files, no mail", kMail},
      {"converter, not waited for", kConverter, kProduct, nullptr, {L"/tempfile"}, true,
       L"run vpdfassist.exe /tempfile -> no list, exit 0\n", L"1", L"", false},
      {"converter with its list", kConverter, kProduct, nullptr, {L"\"" + Work(L"list.txt") + L"\" /tempfile"}, true,
       L"run vpdfassist.exe \"%WORK%\\list.txt\" /tempfile -> list bytes, exit 0: one.pdf\n", L"1", L"", false},
      {"converter, list missing", kConverter, kProduct, nullptr, {L"\"" + Work(L"gone.txt") + L"\" /tempfile"}, true, L"", L"", L"", false},
      {"converter, no install folder", kConverter, kNoFolder, nullptr, {L"/tempfile"}, true, L"", L"", L"", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    world.Reset();
    for (const wchar_t* agent : {testbed::kPrintAgent, testbed::kScanAgent, testbed::kMailAgent, testbed::kConversionTool})
      testbed::SetAgentDelay(agent, 200);
    if (row.behaviour) testbed::SetAgentBehaviour(row.call == kScan ? testbed::kScanAgent : testbed::kPrintAgent, L"*", row.behaviour);
    const wchar_t* places[] = {nullptr, L"empty", L"broken", L"both", nullptr};
    testbed::PointProductAt(places[row.place] ? Work(places[row.place]) : testbed::ProductFolder());
    if (row.place == kNoFolder) {
      world.configPath.Remove();
      world.installPath32.Remove();
    }
    g_shows.clear();
    harness::Answerer person;
    person.On(harness::Titled(L"Error"), {harness::Press(IDOK)});
    bool result = true;
    sweep::Faults faults(GetModuleHandleW(nullptr), row.fails ? row.fails : "", 1);
    faults.Arm(true);
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
    faults.Arm(false);
    const std::wstring atReturn = Started();
    if (row.fails) harness::WaitForChildren(testbed::kPrintAgentExe);  // one given up on writes late
    person.Stop();
    EXPECT_EQ(row.result, result);
    if (!row.waited && !row.shows.empty()) {  // the shell was asked
      EXPECT_TRUE(world.journal.WaitFor(testbed::kConversionToolExe, 1)) << "the conversion tool did not start";
    }
    EXPECT_EQ(row.seen, person.Log() + Started());
    EXPECT_EQ(row.waited ? Started() : L"", atReturn) << "waited for the helper or not";
    EXPECT_EQ(row.shows, g_shows);
    for (const wchar_t* output : {L"memo.pdf", L"scan.pdf"}) {
      EXPECT_EQ(row.output == output, FileExists(Work(output))) << testing_support::Utf8(output);
      DeleteFileW(Work(output).c_str());
    }
  }
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
    EXPECT_EQ(row.recognised, CConvUtils::IsPDFOrXPSFile(Work(row.name).c_str())) << testing_support::Utf8(row.name);
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
  EXPECT_EQ(L"run rasterpdf64.dll P4ToPDFConvert(\"%WORK%\\Säulen.xps\", \"%WORK%\\Säulen.pdf\", 15, 0, 0) -> 0, pdf 3 pages\n", Started());
  EXPECT_EQ(3, tbpdf::PageCount(Work(L"Säulen.pdf")));
  testbed::SetAgentBehaviour(testbed::kRaster, L"*", testbed::kFail);
  EXPECT_FALSE(convert(L"other.pdf"));  // a negative result
  testbed::SetAgentBehaviour(testbed::kRaster, L"*", testbed::kEmpty);
  EXPECT_FALSE(convert(L"other.pdf"));  // success, but an empty file
  testbed::ClearAgentControls();
  // Once loaded it stays: the install folder is no longer needed.
  wchar_t loaded[MAX_PATH] = {};
  GetModuleFileNameW(GetModuleHandleW(L"rasterpdf64.dll"), loaded, MAX_PATH);
  EXPECT_EQ(L"%PRODUCT%\\rasterpdf64.dll", harness::Shorten(loaded));
  testbed::PointProductAt(Work(L"empty"));
  EXPECT_TRUE(convert(L"again.pdf"));
  EXPECT_TRUE(FileExists(Work(L"again.pdf")));
}

}  // namespace
