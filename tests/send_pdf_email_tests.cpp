// Send PDF in e-mail on the testbed's documents, print agent, image-to-PDF library and mail
// agent: what is converted, what is mailed in which batches, the history entries, and that
// nothing is left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "commands/mail/send_pdf_email.h"
#include "testbed/harness/import_hook.h"
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
  const wchar_t* extension = L"DOC", *fails = nullptr;  // fails: "GetCopy", or an agent behaviour
  bool shortcut = false;
};
enum class Setting { kNone, kNoSelection, kUnreadable, kObjects, kGerman, kMailMissing, kMailWaitFails,
                     kWorkFolder, kCancel };

struct Row {
  const char* what;
  std::vector<Element> elements;
  Setting setting;
  HRESULT result;
  std::wstring effects;  // 8.3 names: the mail agent gets short paths
};

// A copy in the temporary folder printed to a PDF there.
std::wstring Print(const std::wstring& copy, const std::wstring& pdf, const wchar_t* what = L"pdf 1 pages, exit 0") {
  return L"run printpdfagent.exe /p \"%TEMP%\\" + copy + L"\" \"%TEMP%\\" + pdf + L"\" /noviewpdf -> " + what + L"\n";
}
std::wstring Mail(const std::wstring& files, int count) {
  const std::wstring n = std::to_wstring(count);
  return L"run mailpdfagent.exe /mail /files " + files + L" -> files " + n + L", existing " + n + L", exit 0\n";
}
// Document `number` copied to the temporary folder, and with a history entry when sent.
std::wstring Copied(int number, const std::wstring& copy) {
  return std::to_wstring(number) + L" copied to %TEMP%\\" + copy + L", native format\n";
}
// The run's one message of what it could not send (or of `n` documents left out), answered.
std::wstring Told(const std::wstring& text, int n = 0, int of = 0) {
  return L"Ostrel Varnel PDF: " + (n ? std::to_wstring(n) + L" of " + std::to_wstring(of) + L" documents could not be "
         L"converted and were left out." : L"Send PDF in e-mail could not finish: " + text + L"; nothing was sent.") + L" -> OK\n";
}
std::wstring Sent(int number, const std::wstring& copy, const wchar_t* text = L"Converted to PDF and sent") {
  return std::to_wstring(number) + L" history 11 \"" + text + L"\"\n" + Copied(number, copy);
}

// The system's wait failing for the mail agent's process only.
ScopedImportHook* g_waitHook = nullptr;
DWORD WINAPI FailMailAgentWait(DWORD count, const HANDLE* handles, BOOL all, DWORD ms, DWORD mask) {
  wchar_t image[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  const bool mail = QueryFullProcessImageNameW(handles[0], 0, image, &size) && std::wstring(image).ends_with(testbed::kMailAgentExe);
  return mail ? WAIT_FAILED : g_waitHook->Original<decltype(&MsgWaitForMultipleObjects)>()(count, handles, all, ms, mask);
}

class SendPdfTest : public CommandRunTest<vpdf::CSendPDFEMail> {};

TEST_F(SendPdfTest, Runs) {
  const Row rows[] = {
      {"documents of one name each their own PDF; a failed print is not mailed",
       {{L"Memo"}, {L"Memo"}, {L"Budget plan", L"DOCX", testbed::kFail}}, Setting::kNone, E_FAIL,
       Told(L"", 1, 3) + Print(L"Memo.doc", L"Memo001.pdf") + Print(L"Memo.doc", L"Memo002.pdf") +
           Print(L"Budget plan.docx", L"Budget plan.pdf", L"fail, exit 1") +
           Mail(L"\"%TEMP%\\Memo001.pdf\" \"%TEMP%\\Memo002.pdf\"", 2) + kUsage + Sent(101, L"Memo.doc") +
           Sent(102, L"Memo.doc") + Copied(103, L"Budget plan.docx")},
      {"XPS through the image library; a failed one is left out",
       {{L"Plan", L"XPS"}, {L"Site", L"OXPS", testbed::kFail}}, Setting::kNone, S_OK,
       Told(L"", 1, 2) + L"run rasterpdf64.dll P4ToPDFConvert(\"%TEMP%\\Plan.xps\", \"%TEMP%\\Plan.pdf\", 15, 0, 0) -> 0, pdf 2 pages\n"
       L"run rasterpdf64.dll P4ToPDFConvert(\"%TEMP%\\Site.oxps\", \"%TEMP%\\Site.pdf\", 15, 0, 0) -> -1, fail\n" +
           Mail(L"\"%TEMP%\\Plan.pdf\"", 1) + kUsage + Sent(101, L"Plan.xps") + Copied(102, L"Site.oxps")},
      {"a print agent that writes nothing: not mailed, not marked as sent", {{L"Notes", L"DOC", testbed::kNoOutput}},
       Setting::kNone, E_FAIL, Told(L"no document could be converted to PDF") + Print(L"Notes.doc", L"Notes.pdf", L"nooutput, exit 0") + kUsage + Copied(101, L"Notes.doc")},
      {"a document without copy is left out; shortcuts stand for their documents",
       {{L"First"}, {L"Locked", L"DOC", L"GetCopy"}, {.name = L"Third", .shortcut = true}},
       Setting::kObjects, S_OK,
       Told(L"", 1, 3) + Print(L"First.doc", L"First.pdf") + Print(L"Third.doc", L"Third.pdf") +
           Mail(L"\"%TEMP%\\First.pdf\" \"%TEMP%\\Third.pdf\"", 2) + kUsage + Sent(101, L"First.doc") +
           Sent(103, L"Third.doc")},
      {"an element that is no document ends the walk", {{L"First"}, {nullptr}, {L"After"}},
       Setting::kNone, S_OK,
       Told(L"", 2, 3) + Print(L"First.doc", L"First.pdf") + Mail(L"\"%TEMP%\\First.pdf\"", 1) + kUsage + Sent(101, L"First.doc")},
      {"no selection", {}, Setting::kNoSelection, S_OK, kUsage},
      {"unreadable bounds: the person told", {}, Setting::kUnreadable, E_INVALIDARG, Told(L"an unexpected error occurred") + kUsage},
      {"the history in the product's language", {{L"Angebot"}}, Setting::kGerman, S_OK,
       Print(L"Angebot.doc", L"Angebot.pdf") + Mail(L"\"%TEMP%\\Angebot.pdf\"", 1) + kUsage +
           Sent(101, L"Angebot.doc", L"In PDF konvertiert und gesendet")},
      {"the wait for the mail agent fails: nothing counts as sent, the person is told (in German)", {{L"Angebot"}},
       Setting::kMailWaitFails, S_OK, L"Ostrel Varnel PDF: PDF per E-Mail senden konnte nicht abgeschlossen werden: ein "
       L"unerwarteter Fehler ist aufgetreten; es wurde nichts gesendet. -> OK\n" + Print(L"Angebot.doc", L"Angebot.pdf") +
       L"run mailpdfagent.exe /mail /files \"%TEMP%\\Angebot.pdf\" -> files 1, existing 0, exit 0\n" + kUsage + Copied(101, L"Angebot.doc")},
      {"no mail agent: nothing sent, the PDF goes", {{L"Letter"}}, Setting::kMailMissing, S_OK,
       L"Error: Path not found. -> OK\n" + Print(L"Letter.doc", L"Letter.pdf") + Copied(101, L"Letter.doc")},
      {"a configured working folder: copies in a folder of their own, nothing left",
       {{L"report", L""}}, Setting::kWorkFolder, S_OK,
       Print(L"pdf.wrk\\iman001\\report", L"pdf.wrk\\iman001\\report.pdf") +
           Mail(L"\"%TEMP%\\pdf.wrk\\iman001\\report.pdf\"", 1) + kUsage +
           Sent(101, L"pdf.wrk\\iman001\\report")},
      {"cancel while the second converts: nothing mailed, no history",
       {{L"Offer"}, {L"Terms", L"DOC", testbed::kHang}}, Setting::kCancel, S_OK,
       L"Send PDF in e-mail -> cancel\n" + Print(L"Offer.doc", L"Offer.pdf") +
           Print(L"Terms.doc", L"Terms.pdf", L"hang") + kUsage + Copied(101, L"Offer.doc") + Copied(102, L"Terms.doc")},
  };
  const std::wstring empty = Work(L"empty");
  ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
  const std::wstring folder = TempFolder() + L"pdf.wrk";  // a point in it; 8.3 names
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  WriteText(TempFolder() + L"Memo.pdf", "the user's own");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SetUILanguage(row.setting == Setting::kGerman || row.setting == Setting::kMailWaitFails ? 1031 : 1033);  // taken when the command is made
    NewRow();
    world.installPath.SetString((row.setting == Setting::kMailMissing ? empty : testbed::ProductFolder()) + L"\\");
    m_profileIni.Write(row.setting == Setting::kWorkFolder ? L"[WorkSite]\r\nTEMP_FOLDER_PATH=" + folder + L"\r\n" : L"");
    std::vector<IDispatch*> selection;
    long number = 100;
    for (const Element& element : row.elements) {
      if (!element.name) {
        selection.push_back(Keep(tb::NewObject()));
        continue;
      }
      tb::Document* document = Doc(element.name, element.extension, "content\r\n", ++number);
      const std::wstring extension = element.extension;
      if (extension[0] == L'X' || extension[0] == L'O')
        testbed::WriteXpsPackage(Work(L"content" + std::to_wstring(number) + L"." + extension), 2);
      std::wstring copy = element.name + (L"." + extension);
      CharLowerW(copy.data() + wcslen(element.name));
      if (element.fails && wcscmp(element.fails, L"GetCopy") == 0)
        document->Fail(L"GetCopy", E_ACCESSDENIED);
      else if (element.fails)
        testbed::SetAgentBehaviour(extension[0] == L'D' ? testbed::kPrintAgent : testbed::kRaster, copy, element.fails);
      selection.push_back(element.shortcut ? Keep(tb::NewShortcut(document)) : document);
    }
    if (row.setting == Setting::kUnreadable) SelectUnreadable(kNrt);
    if (row.setting != Setting::kNoSelection && row.setting != Setting::kUnreadable)
      Select(row.setting == Setting::kObjects ? L"SelectedIManObjects" : kNrt, selection);
    harness::Answerer person;
    person.On(harness::Titled(L"Error"), {harness::Press(IDOK)}).On(harness::Titled(L"Ostrel"), {harness::Press(IDOK)});
    if (row.setting == Setting::kCancel)
      person.On(harness::OfClass(vpdf::kProgressWindowClass), {harness::Do(L"cancel", [&](HWND progress) {
                  EXPECT_TRUE(journal.WaitFor(testbed::kPrintAgentExe, 2)) << "no second print agent (it hangs)";
                  Click(progress, IDCANCEL);
                })});
    std::optional<ScopedImportHook> waits;
    if (row.setting == Setting::kMailWaitFails)  // the agent looks for its files after the run has gone on
      testbed::SetAgentDelay(testbed::kMailAgent, 300), g_waitHook = &waits.emplace("USER32.dll", "MsgWaitForMultipleObjects",
                                                                          reinterpret_cast<void*>(&FailMailAgentWait));
    EXPECT_EQ(row.result, m_command->Execute());
    waits.reset();
    person.Stop();
    if (row.setting == Setting::kMailWaitFails) journal.WaitFor(testbed::kMailAgentExe, 1);
    EXPECT_EQ(row.effects, person.Log() + Effects());
    EXPECT_TRUE(ChildProcesses(testbed::kPrintAgentExe).empty()) << "an agent left running";
  }
  EXPECT_EQ("the user's own", ReadBytes(TempFolder() + L"Memo.pdf"));
  DeleteFileW((TempFolder() + L"Memo.pdf").c_str());
  std::filesystem::remove_all(folder);
}

// Thirty PDFs a mail at most, each under its short path, the history on each document.
TEST_F(SendPdfTest, ThirtyFiveDocumentsGoToTwoMailRunsOfShortPaths) {
  std::vector<IDispatch*> selection;
  std::vector<std::wstring> shortForms;
  for (int i = 101; i <= 135; ++i) {
    const std::wstring name = L"Quarterly report " + std::to_wstring(i), pdf = TempFolder() + name + L".pdf";
    selection.push_back(Doc(name, L"DOCX"));
    WriteText(pdf, "x");
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_LT(0u, GetShortPathNameW(pdf.c_str(), shortPath, MAX_PATH));
    ASSERT_NE(pdf, shortPath) << "the name must have a short form of its own";
    shortForms.push_back(shortPath);
    DeleteFileW(pdf.c_str());
  }
  Select(kNrt, selection);
  // While the second mail agent runs, the entries of the first one's thirty documents are written already.
  testbed::SetAgentDelay(testbed::kMailAgent, 500);
  static std::function<void()> tick;
  size_t sentWhileMailing = 99;
  DWORD firstAgent = 0;  // the first agent may still be listed a moment after it wrote its journal
  tick = [&] {
    const std::vector<DWORD> agents = ChildProcesses(testbed::kMailAgentExe);
    if (sentWhileMailing != 99 || agents.empty()) return;
    if (!firstAgent) firstAgent = agents.front();
    if (agents.front() == firstAgent) return;
    sentWhileMailing = std::count_if(selection.begin(), selection.end(),
                                     [](IDispatch* d) { return !static_cast<tb::Document*>(d)->History().empty(); });
  };
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) { tick(); });
  EXPECT_EQ(S_OK, m_command->Execute());
  KillTimer(nullptr, timer);
  EXPECT_EQ(30u, sentWhileMailing);
  const std::vector<testbed::JournalEntry> mails = journal.Entries(testbed::kMailAgentExe);
  ASSERT_EQ(2u, mails.size());
  EXPECT_EQ(L"files 30, existing 30, exit 0|files 5, existing 5, exit 0", mails[0].what + L"|" + mails[1].what);
  EXPECT_EQ(shortForms, QuotedParts(mails[0].Arguments() + mails[1].Arguments()));
  for (IDispatch* document : selection) {
    const auto history = static_cast<tb::Document*>(document)->History();
    ASSERT_EQ(1u, history.size());
    EXPECT_EQ(L"Ostrel Varnel PDF", history[0].application + history[0].location + history[0].custom1 + history[0].custom2);
  }
}

}  // namespace
