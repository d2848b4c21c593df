// The stand-ins of the product's helper programs, started as the add-in starts them,
// their journal, their failure controls and the laid-out product install folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <tuple>

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

TEST_F(PrintAgent, PrintsATextFileOrAnyOtherFileUnderItsName) {
  std::wstring source = folder.File(L"notes.txt"), output = folder.File(L"notes.pdf");
  std::string text = "\xEF\xBB\xBF" "Caf\xC3\xA9 (draft)\r\n\r\nlast line\r\n";
  for (int i = 0; i < 60; ++i) text += "row " + std::to_string(i) + "\n";
  ASSERT_TRUE(WriteText(source, text));
  EXPECT_EQ(Print(source, output), 0u);
  std::vector<tbpdf::Page> pages;
  ASSERT_TRUE(tbpdf::Read(output, pages));
  ASSERT_EQ(pages.size(), 2u);  // 63 lines, 49 per page under the heading
  EXPECT_EQ(std::vector<std::wstring>(pages[0].begin(), pages[0].begin() + 4),
            std::vector<std::wstring>({L"notes.txt", L"Caf\u00e9 (draft)", L"", L"last line"}));
  EXPECT_EQ(pages[1][0], L"notes.txt");
  EXPECT_EQ(pages[1].back(), L"row 59");
  KeepSample(L"printagent", output, 2, {L"notes.txt", L"Caf\u00e9 (draft)", L"row 59"});
  auto entries = journal.Entries(testbed::kPrintAgentExe);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].commandLine, L"\"" + Product(L"bin\\printpdfagent.exe") + L"\" " + parameters);
  EXPECT_EQ(entries[0].what, L"pdf 2 pages, exit 0");

  source = folder.File(L"Quarterly report.docx");
  output = folder.File(L"out.pdf");
  ASSERT_TRUE(WriteText(source, std::string("PK\x03\x04 binary", 13)));
  EXPECT_EQ(Print(source, output, L"/m", L"/viewpdf"), 0u);
  ASSERT_TRUE(tbpdf::Read(output, pages));
  EXPECT_EQ(pages, std::vector<tbpdf::Page>({{L"Quarterly report.docx"}}));
  KeepSample(L"printother", output, 1, {L"Quarterly report.docx"});
  EXPECT_EQ(journal.Entries().back().Arguments(), parameters);
}

// The add-in's tests see a wrong command line as a refusal.
TEST_F(PrintAgent, RefusesOtherCommandLines) {
  std::wstring source = folder.File(L"a.txt"), output = folder.File(L"a.pdf");
  ASSERT_TRUE(WriteText(source, "x"));
  DWORD exitCode = 0;
  for (const std::wstring& bad :
       {L"/p \"" + source + L"\" \"" + output + L"\"", L"/x \"" + source + L"\" \"" + output +
        L"\" /noviewpdf", L"/p \"" + source + L"\" \"" + output + L"\" /view",
        L"/p " + source + L" " + output + L" extra /noviewpdf"}) {
    ASSERT_TRUE(RunLikeAddIn(Product(L"bin\\printpdfagent.exe"), bad, SW_HIDE, exitCode));
    EXPECT_EQ(exitCode, 2u) << bad;
  }
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
  const struct {
    std::wstring subject, behaviour, source;
    DWORD exitCode;
    long long size;  // of the output, -1: none
  } rows[] = {
      {L"A.DOC", testbed::kFail, a, 1, -1},
      {L"", L"", b, 0, 1},  // other sources print normally
      {L"*", testbed::kNoOutput, c, 0, -1},
      {L"", L"", a, 1, -1},  // the file name wins over "*"
      {b, testbed::kEmpty, b, 0, 0},
      {L"b.doc", testbed::kFail, b, 0, 0},  // the full path wins over the file name
      {c, testbed::kFailWithOutput, c, 1, 1},
  };
  for (const auto& row : rows) {
    if (!row.subject.empty()) testbed::SetAgentBehaviour(testbed::kPrintAgent, row.subject, row.behaviour);
    DeleteFileW(output.c_str());
    EXPECT_EQ(Print(row.source, output), row.exitCode) << row.subject << " " << row.source;
    EXPECT_EQ(FileSize(output) > 0 ? tbpdf::PageCount(output) : FileSize(output), row.size);
  }
  std::vector<std::wstring> whats;
  for (const auto& entry : journal.Entries(testbed::kPrintAgentExe)) whats.push_back(entry.what);
  EXPECT_EQ(whats, std::vector<std::wstring>(
                       {L"fail, exit 1", L"pdf 1 pages, exit 0", L"nooutput, exit 0",
                        L"fail, exit 1", L"empty, exit 0", L"empty, exit 0",
                        L"pdf 1 pages, exit 1"}));
}

// ---------------------------------------------------------------- scan agent

TEST_F(Agents, ScanAgentWritesToTheUnquotedPathAndFollowsItsControls) {
  const std::wstring exe = Product(L"bin\\scanpdfagent.exe");
  std::wstring output = folder.File(L"SS_ab12.pdf");  // the folder's name holds a blank
  DWORD exitCode = 0xDEAD;
  ASSERT_TRUE(RunLikeAddIn(exe, output, SW_HIDE, exitCode));
  EXPECT_EQ(exitCode, 0u);
  std::vector<tbpdf::Page> pages;
  ASSERT_TRUE(tbpdf::Read(output, pages));
  EXPECT_EQ(pages, std::vector<tbpdf::Page>({{L"Scanned page 1 of 1"}}));
  KeepSample(L"scanagent", output, 1, {L"Scanned page 1 of 1"});
  auto entries = journal.Entries(testbed::kScanAgentExe);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].Arguments(), output);
  EXPECT_EQ(entries[0].what, L"pdf 1 pages, exit 0");

  const std::tuple<const wchar_t*, DWORD, long long> rows[] = {
      {testbed::kEmpty, 0, 0}, {testbed::kFail, 1, -1}, {testbed::kNoOutput, 0, -1}};
  for (const auto& [behaviour, code, size] : rows) {
    DeleteFileW(output.c_str());
    testbed::SetAgentBehaviour(testbed::kScanAgent, L"*", behaviour);
    ASSERT_TRUE(RunLikeAddIn(exe, output, SW_HIDE, exitCode));
    EXPECT_EQ(exitCode, code) << behaviour;
    EXPECT_EQ(FileSize(output), size) << behaviour;
  }
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
  const std::string lists[] = {
      std::string(reinterpret_cast<const char*>(content.data()), content.size() * 2),
      std::string("\xFF\xFE[\0F\0", 6), "[FILES]\n"};
  DWORD exitCode = 0xDEAD;
  for (const std::string& bytes : lists) {
    ASSERT_TRUE(WriteText(list, bytes));
    ASSERT_TRUE(RunLikeAddIn(Product(L"vpdfassist.exe"), L" \"" + list + L"\" /tempfile",
                             SW_SHOWNORMAL, exitCode));
  }
  ASSERT_TRUE(RunLikeAddIn(Product(L"vpdfassist.exe"), L"/x", SW_SHOWNORMAL, exitCode));
  ASSERT_TRUE(journal.WaitFor(testbed::kConversionToolExe, 4));
  auto entries = journal.Entries(testbed::kConversionToolExe);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].Arguments(), L"\"" + list + L"\" /tempfile");
  EXPECT_EQ(entries[0].what, L"list utf16le, exit 0: " + content);
  EXPECT_EQ(entries[1].what, L"list utf16le-bom, exit 0: [F");
  EXPECT_EQ(entries[2].what, L"list bytes, exit 0: [FILES]\n");
  EXPECT_EQ(entries[3].what, L"no list, exit 0");
  EXPECT_TRUE(FileExists(list));  // Delete=1 is not acted on
}

TEST_F(Agents, EditorAndUsageHelperRecordTheirCommandLines) {
  std::wstring document = folder.File(L"doc.pdf");
  ASSERT_TRUE(tbpdf::Write(document, {{L"doc"}}));
  DWORD exitCode = 0xDEAD;
  for (const std::wstring& pdf : {document, folder.File(L"gone.pdf")})
    ASSERT_TRUE(RunLikeAddIn(Product(L"bin\\varnelpdf.exe"), L"\"" + pdf + L"\"", SW_SHOWNORMAL, exitCode));
  auto editor = journal.Entries(testbed::kPdfEditorExe);
  ASSERT_EQ(editor.size(), 2u);
  EXPECT_EQ(editor[0].Arguments(), L"\"" + document + L"\"");
  EXPECT_EQ(editor[0].what, L"document exists, exit 0");
  EXPECT_EQ(editor[1].what, L"document missing, exit 0");

  // The usage helper: CreateProcess with the helper path, a blank and the parameter string.
  std::wstring line = Product(L"usagestats.exe") +
                      L" Software\\Ostrel\\PDF\\V1|5.1.0.2718|UA-271828182-1|ec|iManage|ea|Open";
  ASSERT_TRUE(RunCommandLine(line, exitCode));
  auto usage = journal.Entries(testbed::kUsageStatsExe);
  ASSERT_EQ(usage.size(), 1u);
  EXPECT_EQ(usage[0].commandLine, line);
  EXPECT_EQ(usage[0].what, L"recorded, exit 0");
}

}  // namespace
