// Send PDF in e-mail on the testbed's documents, print agent, image-to-PDF library and mail
// agent: what is converted, what is mailed in which batches, the history entries, and that
// nothing is left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "commands/mail/send_pdf_email.h"
#include "tests/command_run_support.h"
#include "ui/progress_window.h"

namespace {

using namespace testing_support;

constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr wchar_t kUsage[] =
    L"run usagestats.exe Software\\Ostrel\\PDF\\V1|5.1.0.2718|UA-271828182-1|ec|iManage|ea|Send%20E-mail -> recorded, exit 0\n";

// A selected element: a document, or with a null name an object that is no document.
struct Element {
  const wchar_t* name;
  const wchar_t* extension = L"DOC";
  const wchar_t* fails = nullptr;  // "GetCopy", or an agent behaviour for its conversion
  bool shortcut = false;
};
enum class Setting { kNone, kNoSelection, kUnreadable, kObjects, kGerman, kMailMissing,
                     kWorkFolder, kCancel };

struct Row {
  const char* what;
  std::vector<Element> elements;
  Setting setting;
  HRESULT result;
  std::wstring effects;  // 8.3 names: the mail agent gets short paths
};

std::wstring Print(const std::wstring& copy, const std::wstring& pdf, const wchar_t* what = L"pdf 1 pages, exit 0") {
  return L"run printpdfagent.exe /p \"" + copy + L"\" \"" + pdf + L"\" /noviewpdf -> " + what + L"\n";
}
std::wstring Mail(const std::wstring& files, int count) {
  const std::wstring n = std::to_wstring(count);
  return L"run mailpdfagent.exe /mail /files " + files + L" -> files " + n + L", existing " + n + L", exit 0\n";
}
std::wstring Sent(int number, const wchar_t* text = L"Converted to PDF and sent") {
  return std::to_wstring(number) + L" history 11 \"" + text + L"\"\n";
}

class SendPdfTest : public CommandRunTest<vpdf::CSendPDFEMail> {};

TEST_F(SendPdfTest, Runs) {
  const Row rows[] = {
      {"documents of one name each their own PDF; a failed print is not mailed",
       {{L"Memo"}, {L"Memo"}, {L"Budget plan", L"DOCX", testbed::kFail}}, Setting::kNone, E_FAIL,
       Print(L"%TEMP%\\Memo.doc", L"%TEMP%\\Memo001.pdf") + Print(L"%TEMP%\\Memo.doc", L"%TEMP%\\Memo002.pdf") +
           Print(L"%TEMP%\\Budget plan.docx", L"%TEMP%\\Budget plan.pdf", L"fail, exit 1") +
           Mail(L"\"%TEMP%\\Memo001.pdf\" \"%TEMP%\\Memo002.pdf\"", 2) + kUsage + Sent(101) +
           L"101 copied to %TEMP%\\Memo.doc\n" + Sent(102) + L"102 copied to %TEMP%\\Memo.doc\n"
           L"103 copied to %TEMP%\\Budget plan.docx\n"},
      {"XPS through the image library; a failed one is left out",
       {{L"Plan", L"XPS"}, {L"Site", L"OXPS", testbed::kFail}}, Setting::kNone, S_OK,
       L"run rasterpdf64.dll P4ToPDFConvert(\"%TEMP%\\Plan.xps\", \"%TEMP%\\Plan.pdf\", 15, 0, 0) -> 0, pdf 2 pages\n"
       L"run rasterpdf64.dll P4ToPDFConvert(\"%TEMP%\\Site.oxps\", \"%TEMP%\\Site.pdf\", 15, 0, 0) -> -1, fail\n" +
           Mail(L"\"%TEMP%\\Plan.pdf\"", 1) + kUsage + Sent(101) +
           L"101 copied to %TEMP%\\Plan.xps\n102 copied to %TEMP%\\Site.oxps\n"},
      {"a document without copy is left out; shortcuts stand for their documents",
       {{L"First"}, {L"Locked", L"DOC", L"GetCopy"}, {.name = L"Third", .shortcut = true}},
       Setting::kObjects, S_OK,
       Print(L"%TEMP%\\First.doc", L"%TEMP%\\First.pdf") + Print(L"%TEMP%\\Third.doc", L"%TEMP%\\Third.pdf") +
           Mail(L"\"%TEMP%\\First.pdf\" \"%TEMP%\\Third.pdf\"", 2) + kUsage + Sent(101) +
           L"101 copied to %TEMP%\\First.doc\n" + Sent(103) + L"103 copied to %TEMP%\\Third.doc\n"},
      {"an element that is no document ends the walk", {{L"First"}, {nullptr}, {L"After"}},
       Setting::kNone, S_OK,
       Print(L"%TEMP%\\First.doc", L"%TEMP%\\First.pdf") + Mail(L"\"%TEMP%\\First.pdf\"", 1) +
           kUsage + Sent(101) + L"101 copied to %TEMP%\\First.doc\n"},
      {"no selection", {}, Setting::kNoSelection, S_OK, kUsage},
      {"unreadable bounds", {}, Setting::kUnreadable, E_INVALIDARG, kUsage},
      {"the history in the product's language", {{L"Angebot"}}, Setting::kGerman, S_OK,
       Print(L"%TEMP%\\Angebot.doc", L"%TEMP%\\Angebot.pdf") + Mail(L"\"%TEMP%\\Angebot.pdf\"", 1) +
           kUsage + Sent(101, L"In PDF konvertiert und gesendet") + L"101 copied to %TEMP%\\Angebot.doc\n"},
      {"no mail agent: nothing sent, the PDF goes", {{L"Letter"}}, Setting::kMailMissing, S_OK,
       L"Error: Path not found. -> OK\n" + Print(L"%TEMP%\\Letter.doc", L"%TEMP%\\Letter.pdf") +
           L"101 copied to %TEMP%\\Letter.doc\n"},
      {"a configured working folder: copies in a folder of their own, nothing left",
       {{L"report", L""}}, Setting::kWorkFolder, S_OK,
       Print(L"%TEMP%\\pdf.wrk\\iman001\\report", L"%TEMP%\\pdf.wrk\\iman001\\report.pdf") +
           Mail(L"\"%TEMP%\\pdf.wrk\\iman001\\report.pdf\"", 1) + kUsage + Sent(101) +
           L"101 copied to %TEMP%\\pdf.wrk\\iman001\\report\ntemp +pdf.wrk\\iman001\\\n"},
      {"cancel while the second converts: nothing mailed, no history",
       {{L"Offer"}, {L"Terms", L"DOC", testbed::kHang}}, Setting::kCancel, S_OK,
       L"Send PDF in e-mail -> cancel\n" + Print(L"%TEMP%\\Offer.doc", L"%TEMP%\\Offer.pdf") +
           Print(L"%TEMP%\\Terms.doc", L"%TEMP%\\Terms.pdf", L"hang") + kUsage +
           L"101 copied to %TEMP%\\Offer.doc\n102 copied to %TEMP%\\Terms.doc\n"},
  };
  const std::wstring empty = Work(L"empty");
  ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
  const std::wstring folder = TempFolder() + L"pdf.wrk";  // a point in it; 8.3 names
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  WriteText(TempFolder() + L"Memo.pdf", "the user's own");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    testbed::ClearAgentControls();
    journal.Clear();
    SetUILanguage(row.setting == Setting::kGerman ? 1031 : 1033);
    NewCommand();  // the language is taken when the command is made
    m_installPath.SetString((row.setting == Setting::kMailMissing ? empty : testbed::ProductFolder()) + L"\\");
    m_profileIni.Write(row.setting == Setting::kWorkFolder
                           ? L"[WorkSite]\r\nTEMP_FOLDER_PATH=" + folder + L"\r\n"
                           : L"");
    std::vector<IDispatch*> selection;
    std::vector<tb::Document*> documents;
    long number = 100;
    for (const Element& element : row.elements) {
      if (!element.name) {
        selection.push_back(Keep(tb::NewObject()));
        continue;
      }
      tb::Document* document = Doc(element.name, element.extension, "content\r\n", ++number);
      if (element.extension[0] == L'X' || element.extension[0] == L'O')
        testbed::WriteXpsPackage(Work(L"content" + std::to_wstring(number) + L"." + element.extension), 2);
      std::wstring copy = std::wstring(element.name) + L"." + element.extension;
      CharLowerBuffW(copy.data() + wcslen(element.name), static_cast<DWORD>(wcslen(element.extension) + 1));
      if (element.fails && wcscmp(element.fails, L"GetCopy") == 0)
        document->Fail(L"GetCopy", E_ACCESSDENIED);
      else if (element.fails)
        testbed::SetAgentBehaviour(element.extension[0] == L'D' ? testbed::kPrintAgent : testbed::kRaster,
                                   copy, element.fails);
      documents.push_back(document);
      selection.push_back(element.shortcut ? Keep(tb::NewShortcut(document)) : document);
    }
    if (row.setting == Setting::kUnreadable) SelectUnreadable(kNrt);
    if (row.setting != Setting::kNoSelection && row.setting != Setting::kUnreadable)
      Select(row.setting == Setting::kObjects ? L"SelectedIManObjects" : kNrt, selection);
    world.changes.Restart();
    harness::Answerer person;
    person.On(harness::Titled(L"Error"), {harness::Press(IDOK)});
    if (row.setting == Setting::kCancel)
      person.On(harness::OfClass(vpdf::kProgressWindowClass), {harness::Do(L"cancel", [&](HWND progress) {
                  journal.WaitFor(testbed::kPrintAgentExe, 2);  // the second one hangs
                  Click(progress, IDCANCEL);
                })});
    EXPECT_EQ(row.result, m_command->Execute());
    person.Stop();
    EXPECT_EQ(row.effects, person.Log() + Effects());
    EXPECT_TRUE(ChildProcesses(testbed::kPrintAgentExe).empty()) << "an agent left running";
    for (tb::Document* document : documents)
      for (const tb::HistoryEntry& entry : document->History())
        EXPECT_EQ(L"Ostrel Varnel PDF", entry.application + entry.location + entry.custom1 + entry.custom2);
  }
  EXPECT_EQ("the user's own", ReadBytes(TempFolder() + L"Memo.pdf"));
  DeleteFileW((TempFolder() + L"Memo.pdf").c_str());
  std::filesystem::remove_all(folder);
}

// Thirty PDFs a mail at most, each under its short path, the history on each document.
TEST_F(SendPdfTest, ThirtyFiveDocumentsGoToTwoMailRunsOfShortPaths) {
  std::vector<IDispatch*> selection;
  std::vector<std::wstring> shortForms;
  for (int i = 1; i <= 35; ++i) {
    const std::wstring name = L"Quarterly report " + std::to_wstring(100 + i);
    selection.push_back(Doc(name, L"DOCX"));
    const std::wstring pdf = TempFolder() + name + L".pdf";
    WriteText(pdf, "x");
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_LT(0u, GetShortPathNameW(pdf.c_str(), shortPath, MAX_PATH));
    EXPECT_NE(pdf, shortPath) << "the name must have a short form of its own";
    shortForms.push_back(shortPath);
    DeleteFileW(pdf.c_str());
  }
  Select(kNrt, selection);
  EXPECT_EQ(S_OK, m_command->Execute());
  std::vector<testbed::JournalEntry> mails = journal.Entries(testbed::kMailAgentExe);
  ASSERT_EQ(2u, mails.size());
  EXPECT_EQ(L"files 30, existing 30, exit 0", mails[0].what);
  EXPECT_EQ(L"files 5, existing 5, exit 0", mails[1].what);
  std::vector<std::wstring> listed = QuotedParts(mails[0].Arguments() + mails[1].Arguments());
  EXPECT_EQ(shortForms, listed);
  for (IDispatch* document : selection)
    EXPECT_EQ(1u, static_cast<tb::Document*>(document)->History().size());
}

}  // namespace
