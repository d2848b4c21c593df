// Send PDF in e-mail on the testbed's documents, print agent, image-to-PDF library and mail
// agent: what is converted, what is mailed in which batches, the history entries, and that
// nothing is left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "commands/mail/send_pdf_email.h"
#include "tests/run_effects.h"
#include "ui/progress_window.h"

namespace {

using namespace testing_support;

constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr wchar_t kUsage[] = L"usagestats.exe ec|iManage|ea|Send%20E-mail -> recorded, exit 0";

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
  std::vector<std::wstring> effects;
};

std::wstring Print(const std::wstring& copy, const std::wstring& pdf, const wchar_t* what) {
  return L"printpdfagent.exe /p \"" + copy + L"\" \"" + pdf + L"\" /noviewpdf -> " + what;
}
std::wstring Sent(const std::wstring& name, const wchar_t* text = L"Converted to PDF and sent") {
  return name + L": history 11 Ostrel Varnel PDF: " + text;
}

class SendPdfTest : public CommandRunTest<vpdf::CSendPDFEMail> {};

TEST_F(SendPdfTest, Runs) {
  const wchar_t* ok = L"pdf 1 pages, exit 0";
  const Row rows[] = {
      {"documents of one name each their own PDF; a failed print is not mailed",
       {{L"Report"}, {L"Report"}, {L"Budget plan", L"DOCX", testbed::kFail}}, Setting::kNone,
       E_FAIL,
       {kUsage, L"Report: copy %T\\Report.doc", L"Report: copy %T\\Report.doc",
        L"Budget plan: copy %T\\Budget plan.docx",
        Print(L"%T\\Report.doc", L"%T\\Report001.pdf", ok),
        Print(L"%T\\Report.doc", L"%T\\Report002.pdf", ok),
        Print(L"%T\\Budget plan.docx", L"%T\\Budget plan.pdf", L"fail, exit 1"),
        L"mailpdfagent.exe (short paths) -> files 2, existing 2, exit 0",
        Sent(L"Report"), Sent(L"Report")}},
      {"XPS through the image library; a failed one is left out",
       {{L"Floor plan", L"XPS"}, {L"Site", L"OXPS", testbed::kFail}}, Setting::kNone, S_OK,
       {kUsage, L"Floor plan: copy %T\\Floor plan.xps", L"Site: copy %T\\Site.oxps",
        L"rasterpdf64.dll P4ToPDFConvert(\"%T\\Floor plan.xps\", \"%T\\Floor plan.pdf\", 15, 0, 0) -> 0, pdf 2 pages",
        L"rasterpdf64.dll P4ToPDFConvert(\"%T\\Site.oxps\", \"%T\\Site.pdf\", 15, 0, 0) -> -1, fail",
        L"mailpdfagent.exe (short paths) -> files 1, existing 1, exit 0",
        Sent(L"Floor plan")}},
      {"a document without copy is left out; shortcuts stand for their documents",
       {{L"First"}, {L"Locked", L"DOC", L"GetCopy"}, {.name = L"Third", .shortcut = true}},
       Setting::kObjects, S_OK,
       {kUsage, L"First: copy %T\\First.doc", L"Third: copy %T\\Third.doc",
        Print(L"%T\\First.doc", L"%T\\First.pdf", ok), Print(L"%T\\Third.doc", L"%T\\Third.pdf", ok),
        L"mailpdfagent.exe (short paths) -> files 2, existing 2, exit 0",
        Sent(L"First"), Sent(L"Third")}},
      {"an element that is no document ends the walk", {{L"First"}, {nullptr}, {L"After"}},
       Setting::kNone, S_OK,
       {kUsage, L"First: copy %T\\First.doc", Print(L"%T\\First.doc", L"%T\\First.pdf", ok),
        L"mailpdfagent.exe (short paths) -> files 1, existing 1, exit 0",
        Sent(L"First")}},
      {"no selection", {}, Setting::kNoSelection, S_OK, {kUsage}},
      {"unreadable bounds", {}, Setting::kUnreadable, E_INVALIDARG, {kUsage}},
      {"the history in the product's language", {{L"Angebot"}}, Setting::kGerman, S_OK,
       {kUsage, L"Angebot: copy %T\\Angebot.doc", Print(L"%T\\Angebot.doc", L"%T\\Angebot.pdf", ok),
        L"mailpdfagent.exe (short paths) -> files 1, existing 1, exit 0",
        Sent(L"Angebot", L"In PDF konvertiert und gesendet")}},
      {"no mail agent: nothing sent, the PDF goes", {{L"Letter"}}, Setting::kMailMissing, S_OK,
       {L"asked Error: Path not found.", L"Letter: copy %T\\Letter.doc", Print(L"%T\\Letter.doc", L"%T\\Letter.pdf", ok)}},
      {"a configured working folder: copies in a folder of their own, nothing left",
       {{L"report", L""}}, Setting::kWorkFolder, S_OK,
       {kUsage, L"report: copy %W\\pdf.work\\iman001\\report",
        Print(L"%W\\pdf.work\\iman001\\report", L"%W\\pdf.work\\iman001\\report.pdf", ok),
        L"mailpdfagent.exe (short paths) -> files 1, existing 1, exit 0",
        Sent(L"report")}},
      {"cancel while the second converts: nothing mailed, no history",
       {{L"Offer"}, {L"Terms", L"DOC", testbed::kHang}}, Setting::kCancel, S_OK,
       {kUsage, L"asked Send PDF in e-mail: ", L"Offer: copy %T\\Offer.doc",
        L"Terms: copy %T\\Terms.doc", Print(L"%T\\Offer.doc", L"%T\\Offer.pdf", ok),
        Print(L"%T\\Terms.doc", L"%T\\Terms.pdf", L"hang")}},
  };
  const std::wstring empty = Work(L"empty");
  ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(Work(L"pdf.work").c_str(), nullptr));
  WriteText(TempFolder() + L"Report.pdf", "the user's own");
  RunEffects effects(journal, m_work);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    journal.Clear();
    testbed::ClearAgentControls();
    SetUILanguage(row.setting == Setting::kGerman ? 1031 : 1033);
    NewCommand();  // the language is taken when the command is made
    m_installPath.SetString((row.setting == Setting::kMailMissing ? empty : testbed::ProductFolder()) + L"\\");
    m_profileIni.Write(row.setting == Setting::kWorkFolder
                           ? L"[WorkSite]\r\nTEMP_FOLDER_PATH=" + Work(L"pdf.work") + L"\r\n"
                           : L"");
    std::vector<IDispatch*> selection;
    std::vector<tb::Document*> documents;
    for (const Element& element : row.elements) {
      if (!element.name) {
        selection.push_back(Keep(tb::NewObject()));
        continue;
      }
      tb::Document* document = Doc(element.name, element.extension);
      const std::wstring content = Work(L"content" + std::to_wstring(document->GetLong(L"Number")) +
                                        L"." + element.extension);
      if (element.extension[0] == L'X' || element.extension[0] == L'O')
        testbed::WriteXpsPackage(content, 2);
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
    effects.Start();
    std::vector<std::wstring> seen;
    std::thread user;
    if (row.setting == Setting::kCancel)
      user = std::thread([&, ui = GetCurrentThreadId()] {
        HWND progress = WaitForWindowOf(ui, vpdf::kProgressWindowClass);
        journal.WaitFor(testbed::kPrintAgentExe, 2);  // the second one hangs
        seen.push_back(L"asked " + Text(progress) + L": ");
        Click(progress, IDCANCEL);
      });
    Answers answers([](HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); });
    EXPECT_EQ(row.result, m_command->Execute());
    if (user.joinable()) user.join();
    for (const std::wstring& line : answers.Stop()) seen.push_back(line);
    EXPECT_EQ(Lines(row.effects), effects.Render(documents, seen));
    EXPECT_TRUE(ChildProcesses(testbed::kPrintAgentExe).empty()) << "an agent left running";
  }
  EXPECT_EQ("the user's own", ReadBytes(TempFolder() + L"Report.pdf"));
  DeleteFileW((TempFolder() + L"Report.pdf").c_str());
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
