// The stand-ins of the product's helper programs, started as the add-in starts them,
// their journal, their failure controls and the laid-out product install folder.
#include <windows.h>

#include <gtest/gtest.h>

#include "testbed/agents/journal.h"
#include "testbed/pdf/tbpdf.h"
#include "tests/testbed_test_helpers.h"

using testbed_tests::FileExists;
using testbed_tests::FileSize;
using testbed_tests::KeepSample;
using testbed_tests::RunCommandLine;
using testbed_tests::RunLikeAddIn;
using testbed_tests::TempFolder;
using testbed_tests::WriteText;

namespace {

std::wstring Product(const std::wstring& relative) {
  return testbed::ProductFolder() + L"\\" + relative;
}

class Agents : public ::testing::Test {
 protected:
  testbed::ScopedAgentControls controls;
  testbed::AgentJournal journal;
  TempFolder folder{L"agents "};
};

TEST_F(Agents, ProductFolderHoldsEveryHelper) {
  for (const wchar_t* file :
       {L"bin\\printpdfagent.exe", L"bin\\scanpdfagent.exe", L"bin\\mailpdfagent.exe",
        L"bin\\varnelpdf.exe", L"vpdfassist.exe", L"usagestats.exe", L"rasterpdf64.dll",
        L"Build.id"})
    EXPECT_TRUE(FileExists(Product(file))) << file;
  EXPECT_FALSE(FileExists(Product(L"printpdfagent.exe")));
}

// ---------------------------------------------------------------- print agent

class PrintAgent : public Agents {
 protected:
  // Runs the agent with the parameters of PrintPDFWithHelper.
  DWORD Print(const std::wstring& source, const std::wstring& output,
              const std::wstring& mode = L"/p", const std::wstring& view = L"/noviewpdf") {
    parameters = mode + L" \"" + source + L"\" \"" + output + L"\" " + view;
    DWORD exitCode = 0xDEAD;
    EXPECT_TRUE(RunLikeAddIn(Product(L"bin\\printpdfagent.exe"), parameters, SW_HIDE, exitCode));
    return exitCode;
  }
  std::wstring parameters;
};

TEST_F(PrintAgent, PrintsATextFileWithItsName) {
  std::wstring source = folder.File(L"notes.txt"), output = folder.File(L"notes.pdf");
  std::string text = "\xEF\xBB\xBF" "Caf\xC3\xA9 (draft)\r\n\r\nlast line\r\n";
  for (int i = 0; i < 60; ++i) text += "row " + std::to_string(i) + "\n";
  ASSERT_TRUE(WriteText(source, text));
  EXPECT_EQ(Print(source, output), 0u);
  std::vector<tbpdf::Page> pages;
  ASSERT_TRUE(tbpdf::Read(output, pages));
  ASSERT_EQ(pages.size(), 2u);  // 63 lines, 49 per page under the heading
  EXPECT_EQ(pages[0][0], L"notes.txt");
  EXPECT_EQ(pages[0][1], L"Caf\u00e9 (draft)");
  EXPECT_EQ(pages[0][2], L"");
  EXPECT_EQ(pages[0][3], L"last line");
  EXPECT_EQ(pages[1][0], L"notes.txt");
  EXPECT_EQ(pages[1].back(), L"row 59");
  KeepSample(L"printagent", output, 2, {L"notes.txt", L"Caf\u00e9 (draft)", L"row 59"});

  auto entries = journal.Entries(testbed::kPrintAgentExe);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].commandLine, L"\"" + Product(L"bin\\printpdfagent.exe") + L"\" " + parameters);
  EXPECT_EQ(entries[0].Arguments(), parameters);
  EXPECT_EQ(entries[0].what, L"pdf 2 pages, exit 0");
}

TEST_F(PrintAgent, PrintsAnyOtherFileAsOnePageWithItsName) {
  std::wstring source = folder.File(L"Quarterly report.docx"), output = folder.File(L"out.pdf");
  ASSERT_TRUE(WriteText(source, std::string("PK\x03\x04 binary", 13)));
  EXPECT_EQ(Print(source, output, L"/m", L"/viewpdf"), 0u);
  std::vector<tbpdf::Page> pages;
  ASSERT_TRUE(tbpdf::Read(output, pages));
  EXPECT_EQ(pages, std::vector<tbpdf::Page>({{L"Quarterly report.docx"}}));
  ASSERT_EQ(journal.Entries().size(), 1u);
  EXPECT_EQ(journal.Entries()[0].Arguments(), parameters);
}

TEST_F(PrintAgent, RefusesOtherCommandLines) {
  std::wstring source = folder.File(L"a.txt"), output = folder.File(L"a.pdf");
  ASSERT_TRUE(WriteText(source, "x"));
  DWORD exitCode = 0;
  const std::wstring exe = Product(L"bin\\printpdfagent.exe");
  for (const std::wstring& bad :
       {L"/p \"" + source + L"\" \"" + output + L"\"", L"/x \"" + source + L"\" \"" + output +
        L"\" /noviewpdf", L"/p \"" + source + L"\" \"" + output + L"\" /view",
        L"/p " + source + L" " + output + L" extra /noviewpdf"}) {
    ASSERT_TRUE(RunLikeAddIn(exe, bad, SW_HIDE, exitCode));
    EXPECT_EQ(exitCode, 2u) << bad;
  }
  EXPECT_FALSE(FileExists(output));
  EXPECT_EQ(Print(folder.File(L"missing.txt"), output), 1u);
  EXPECT_FALSE(FileExists(output));
  auto entries = journal.Entries(testbed::kPrintAgentExe);
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].what, L"bad arguments, exit 2");
  EXPECT_EQ(entries[4].what, L"missing source, exit 1");
}

TEST_F(PrintAgent, ControlsByFileNameFullPathOrStar) {
  std::wstring a = folder.File(L"a.doc"), b = folder.File(L"b.doc"), c = folder.File(L"c.doc");
  for (const std::wstring& source : {a, b, c}) ASSERT_TRUE(WriteText(source, "x"));
  std::wstring output = folder.File(L"out.pdf");

  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"A.DOC", testbed::kFail);
  EXPECT_EQ(Print(a, output), 1u);
  EXPECT_FALSE(FileExists(output));
  EXPECT_EQ(Print(b, output), 0u);  // other sources print normally
  EXPECT_EQ(tbpdf::PageCount(output), 1);
  DeleteFileW(output.c_str());

  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"*", testbed::kNoOutput);
  EXPECT_EQ(Print(c, output), 0u);
  EXPECT_FALSE(FileExists(output));
  EXPECT_EQ(Print(a, output), 1u);  // the file name wins over "*"

  testbed::SetAgentBehaviour(testbed::kPrintAgent, b, testbed::kEmpty);
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"b.doc", testbed::kFail);
  EXPECT_EQ(Print(b, output), 0u);  // the full path wins over the file name
  EXPECT_EQ(FileSize(output), 0);

  testbed::SetAgentBehaviour(testbed::kPrintAgent, c, testbed::kFailWithOutput);
  EXPECT_EQ(Print(c, output), 1u);
  EXPECT_EQ(tbpdf::PageCount(output), 1);

  testbed::SetAgentBehaviour(testbed::kPrintAgent, c, testbed::PagesBehaviour(3));
  EXPECT_EQ(Print(c, output), 0u);
  std::vector<tbpdf::Page> pages;
  ASSERT_TRUE(tbpdf::Read(output, pages));
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[2], tbpdf::Page({L"c.doc", L"page 3 of 3"}));

  testbed::SetAgentBehaviour(testbed::kPrintAgent, c, L"explode");
  EXPECT_EQ(Print(c, output), 3u);

  std::vector<std::wstring> whats;
  for (const auto& entry : journal.Entries(testbed::kPrintAgentExe)) whats.push_back(entry.what);
  EXPECT_EQ(whats, std::vector<std::wstring>(
                       {L"fail, exit 1", L"pdf 1 pages, exit 0", L"nooutput, exit 0",
                        L"fail, exit 1", L"empty, exit 0", L"pdf 1 pages, exit 1",
                        L"pdf 3 pages, exit 0", L"unknown control explode, exit 3"}));
}

TEST_F(PrintAgent, DelayControl) {
  std::wstring source = folder.File(L"a.txt");
  ASSERT_TRUE(WriteText(source, "x"));
  testbed::SetAgentDelay(testbed::kPrintAgent, 1500);
  ULONGLONG start = GetTickCount64();
  EXPECT_EQ(Print(source, folder.File(L"a.pdf")), 0u);
  EXPECT_GE(GetTickCount64() - start, 1400u);
}

// ---------------------------------------------------------------- scan agent

TEST_F(Agents, ScanAgentWritesToTheUnquotedPath) {
  std::wstring output = folder.File(L"SS_ab12.pdf");  // the folder's name holds a blank
  DWORD exitCode = 0xDEAD;
  ASSERT_TRUE(RunLikeAddIn(Product(L"bin\\scanpdfagent.exe"), output, SW_HIDE, exitCode));
  EXPECT_EQ(exitCode, 0u);
  std::vector<tbpdf::Page> pages;
  ASSERT_TRUE(tbpdf::Read(output, pages));
  EXPECT_EQ(pages, std::vector<tbpdf::Page>({{L"Scanned page 1 of 1"}}));
  KeepSample(L"scanagent", output, 1, {L"Scanned page 1 of 1"});
  auto entries = journal.Entries(testbed::kScanAgentExe);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Arguments(), output);
  EXPECT_EQ(entries[0].what, L"pdf 1 pages, exit 0");
}

TEST_F(Agents, ScanAgentControls) {
  const std::wstring exe = Product(L"bin\\scanpdfagent.exe");
  std::wstring output = folder.File(L"scan.pdf");
  DWORD exitCode = 0xDEAD;
  testbed::SetAgentBehaviour(testbed::kScanAgent, L"*", testbed::kEmpty);
  ASSERT_TRUE(RunLikeAddIn(exe, output, SW_HIDE, exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(FileSize(output), 0);
  DeleteFileW(output.c_str());
  testbed::SetAgentBehaviour(testbed::kScanAgent, L"*", testbed::kFail);
  ASSERT_TRUE(RunLikeAddIn(exe, output, SW_HIDE, exitCode));
  EXPECT_EQ(exitCode, 1u);
  EXPECT_FALSE(FileExists(output));
  testbed::SetAgentBehaviour(testbed::kScanAgent, L"*", testbed::kNoOutput);
  ASSERT_TRUE(RunLikeAddIn(exe, output, SW_HIDE, exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(FileExists(output));
  testbed::SetAgentBehaviour(testbed::kScanAgent, L"scan.pdf", testbed::PagesBehaviour(2));
  ASSERT_TRUE(RunLikeAddIn(exe, output, SW_HIDE, exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(tbpdf::PageCount(output), 2);
  ASSERT_TRUE(RunLikeAddIn(exe, L"\"" + output + L"\"", SW_HIDE, exitCode));
  EXPECT_EQ(exitCode, 2u);  // the add-in passes the path unquoted
}

// ---------------------------------------------------------------- recorders

TEST_F(Agents, MailAgentRecordsItsFiles) {
  std::wstring a = folder.File(L"a.pdf"), b = folder.File(L"b.pdf");
  ASSERT_TRUE(tbpdf::Write(a, {{L"a"}}));
  // Short paths, each quoted and followed by one blank, after " /mail /files ".
  wchar_t shortA[MAX_PATH];
  ASSERT_NE(GetShortPathNameW(a.c_str(), shortA, MAX_PATH), 0u);
  std::wstring parameters = L" /mail /files \"" + std::wstring(shortA) + L"\" \"" + b + L"\" ";
  DWORD exitCode = 0xDEAD;
  ASSERT_TRUE(RunLikeAddIn(Product(L"bin\\mailpdfagent.exe"), parameters, SW_SHOWNORMAL, exitCode));
  auto entries = journal.Entries(testbed::kMailAgentExe);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].commandLine,
            L"\"" + Product(L"bin\\mailpdfagent.exe") + L"\" " + parameters);
  EXPECT_EQ(entries[0].what, L"files 2, existing 1, exit 0");
}

TEST_F(Agents, ConversionToolRecordsItsFileList) {
  // The conversion tool's list: UTF-16 little-endian without a byte order mark, lines ending in a line feed.
  std::wstring list = folder.File(L"ss_1a2b.txt");
  std::wstring content = L"[FILES]\nCount=1\nDMSLinkID=768\nDelete=1\n1=\"C:\\new\\x|y.pdf\"\n";
  ASSERT_TRUE(WriteText(list, std::string(reinterpret_cast<const char*>(content.data()),
                                          content.size() * 2)));
  std::wstring parameters = L" \"" + list + L"\" /tempfile";
  DWORD exitCode = 0xDEAD;
  ASSERT_TRUE(RunLikeAddIn(Product(L"vpdfassist.exe"), parameters, SW_SHOWNORMAL, exitCode));
  ASSERT_TRUE(journal.WaitFor(testbed::kConversionToolExe, 1));
  auto entries = journal.Entries(testbed::kConversionToolExe);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Arguments(), L"\"" + list + L"\" /tempfile");
  EXPECT_EQ(entries[0].what, L"list utf16le, exit 0: " + content);
  EXPECT_TRUE(FileExists(list));  // Delete=1 is not acted on

  // With a byte order mark, and as bytes; with no list at all.
  ASSERT_TRUE(WriteText(list, std::string("\xFF\xFE[\0F\0", 6)));
  ASSERT_TRUE(RunLikeAddIn(Product(L"vpdfassist.exe"), parameters, SW_SHOWNORMAL, exitCode));
  ASSERT_TRUE(WriteText(list, "[FILES]\n"));
  ASSERT_TRUE(RunLikeAddIn(Product(L"vpdfassist.exe"), parameters, SW_SHOWNORMAL, exitCode));
  ASSERT_TRUE(RunLikeAddIn(Product(L"vpdfassist.exe"), L"/x", SW_SHOWNORMAL, exitCode));
  entries = journal.Entries(testbed::kConversionToolExe);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[1].what, L"list utf16le-bom, exit 0: [F");
  EXPECT_EQ(entries[2].what, L"list bytes, exit 0: [FILES]\n");
  EXPECT_EQ(entries[3].what, L"no list, exit 0");
}

TEST_F(Agents, EditorAndUsageHelperRecordTheirCommandLines) {
  std::wstring document = folder.File(L"doc.pdf");
  ASSERT_TRUE(tbpdf::Write(document, {{L"doc"}}));
  DWORD exitCode = 0xDEAD;
  ASSERT_TRUE(RunLikeAddIn(Product(L"bin\\varnelpdf.exe"), L"\"" + document + L"\"",
                           SW_SHOWNORMAL, exitCode));
  ASSERT_TRUE(RunLikeAddIn(Product(L"bin\\varnelpdf.exe"), L"\"" + folder.File(L"gone.pdf") + L"\"",
                           SW_SHOWNORMAL, exitCode));
  auto editor = journal.Entries(testbed::kPdfEditorExe);
  ASSERT_EQ(editor.size(), 2u);
  EXPECT_EQ(editor[0].Arguments(), L"\"" + document + L"\"");
  EXPECT_EQ(editor[0].what, L"document exists, exit 0");
  EXPECT_EQ(editor[1].what, L"document missing, exit 0");

  // The usage helper: CreateProcess with the helper path, a blank and the parameter string.
  std::wstring line = Product(L"usagestats.exe") +
                      L" Software\\Ostrel\\PDF\\V1|5.1.0.2718|UA-271828182-1|ec|iManage|ea|Open|el|"
                      L"Varnel%20PDF";
  ASSERT_TRUE(RunCommandLine(line, exitCode));
  auto usage = journal.Entries(testbed::kUsageStatsExe);
  ASSERT_EQ(usage.size(), 1u);
  EXPECT_EQ(usage[0].commandLine, line);
  EXPECT_EQ(usage[0].what, L"recorded, exit 0");
}

TEST_F(Agents, JournalClears) {
  DWORD exitCode = 0;
  ASSERT_TRUE(RunCommandLine(Product(L"usagestats.exe") + L" x", exitCode));
  EXPECT_EQ(journal.Entries().size(), 1u);
  journal.Clear();
  EXPECT_TRUE(journal.Entries().empty());
  ASSERT_TRUE(RunCommandLine(Product(L"usagestats.exe") + L" y", exitCode));
  ASSERT_EQ(journal.Entries().size(), 1u);
  EXPECT_EQ(journal.Entries()[0].Arguments(), L"y");
}

}  // namespace
