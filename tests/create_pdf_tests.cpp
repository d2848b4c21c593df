// Create PDF as the client runs it on the testbed's documents, helpers and merge plug-in. Each row:
// the selection, what fails, a person's answers, and what the user and the DMS see afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "commands/createpdf/create_pdf.h"
#include "testbed/harness/import_hook.h"
#include "tests/testing/harness.h"
#include "tests/save_result_support.h"
#include "ui/progress_window.h"

namespace {

using namespace testing_support;

testing::Environment* const g_client = testing::AddGlobalTestEnvironment(new ClientInstallation);

constexpr int kMergeRadio = 217, kSingleRadio = 218, kUp = 214, kList = 216;
constexpr int kFileNameCombo = 0x47C;
constexpr int kNewDocument = 206, kRelate = 203, kNewVersion = 207, kLocal = 204, kQuestion = 211;
constexpr wchar_t kPortableKey[] = L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable";

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }
// What a person does for an answer: merge dialog "cancel", "each", "one" or "one:<names in order>"; save
// dialog "cancel", "new", "new-norel", "version", "local"; the system's Save As "file:<name in %TEMP%>";
// a message box "ok" or "yes".
std::vector<harness::Step> Steps(const std::wstring& answer) {
  using harness::Pick, harness::Press;
  std::vector<std::wstring> order;
  std::wistringstream names(answer.size() > 4 ? answer.substr(4) : L"");
  for (std::wstring name; std::getline(names, name, L',');) order.push_back(name);
  const int radio = answer == L"each" ? kSingleRadio : answer == L"version" ? kNewVersion
                    : answer == L"local" ? kLocal : 0;
  if (radio) return {Pick(radio), Press(IDOK)};
  if (answer.starts_with(L"one")) return {Pick(kMergeRadio), harness::Order(kList, kUp, order), Press(IDOK)};
  if (answer.starts_with(L"new")) return {Pick(kNewDocument), harness::Check(kRelate, answer == L"new"), Press(IDOK)};
  if (answer.starts_with(L"file:")) return {harness::FileName(TempFolder() + answer.substr(5)), Press(IDOK)};
  return {Press(answer == L"cancel" ? IDCANCEL : answer == L"yes" ? IDYES : IDOK)};
}

// How often the progress window came up in a row (seen in the messages the window receives).
int g_progressShown = 0;
LRESULT CALLBACK CountProgressShown(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  wchar_t name[64] = {};
  if (code == HC_ACTION && sent->message == WM_SHOWWINDOW && sent->wParam && GetClassNameW(sent->hwnd, name, 64) &&
      std::wstring(name) == vpdf::kProgressWindowClass)
    ++g_progressShown;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A person who presses Cancel as the window says it saves (the click waits in the queue).
WNDPROC g_stepText = nullptr;
LRESULT CALLBACK CancelAtSaving(HWND text, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTEXT && std::wstring(reinterpret_cast<const wchar_t*>(lParam)).starts_with(L"Saving"))
    PostMessageW(GetParent(text), WM_COMMAND, IDCANCEL, 0);
  return CallWindowProcW(g_stepText, text, message, wParam, lParam);
}

// The row's answers, one dialog after another, noted with what the dialog showed (documents, question);
// "stop" presses Cancel in the progress window once a helper hangs, noting what the window said then.
void Answer(harness::Answerer& person, const std::vector<std::wstring>& answers, const testbed::AgentJournal& journal,
            std::function<void()> inMergeDialog, std::chrono::steady_clock::time_point& stoppedAt) {
  for (const std::wstring& answer : answers) {
    if (answer == L"at saving") {
      person.On(harness::OfClass(vpdf::kProgressWindowClass), {harness::Do(L"cancel as it saves", [](HWND progress) {
                  g_stepText = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(Control(progress, vpdf::kProgressStepText),
                      GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CancelAtSaving)));
                })});
      continue;
    }
    if (answer == L"stop") {
      person.On(harness::OfClass(vpdf::kProgressWindowClass),
                {{[&journal](HWND progress) {
                    bool hangs = false;
                    for (const ULONGLONG until = GetTickCount64() + 10000; !hangs; Sleep(20)) {
                      for (const auto& entry : journal.Entries(testbed::kPrintAgentExe)) hangs |= entry.what == L"hang";
                      if (!hangs && GetTickCount64() > until) {
                        ADD_FAILURE() << "no print agent hung within 10 s";
                        break;
                      }
                    }
                    Sleep(400);  // the window follows the run within a quarter of a second
                    return Text(Control(progress, vpdf::kProgressDocumentText)) + L", " +
                           Text(Control(progress, vpdf::kProgressStepText)) + L" stop";
                  },
                  [&stoppedAt](HWND progress) {
                    stoppedAt = std::chrono::steady_clock::now();
                    harness::Press(IDCANCEL).act(progress);
                  }}});
      continue;
    }
    auto shown = [answer](HWND dialog) {
      std::wstring text;
      if (HWND list = Control(dialog, kList))
        for (const auto& row : Rows(list)) text += (text.empty() ? L"[" : L", ") + row[0];
      if (!text.empty()) text += L"] ";
      if (HWND question = Control(dialog, kQuestion)) text = L"\"" + Text(question) + L"\" ";
      if (harness::FileDialog().matches(dialog)) text = harness::Offered().say(dialog) + L" ";
      std::replace(text.begin(), text.end(), L'\n', L' ');
      DWORD process = 0;
      if (VisibleWindowOf(GetWindowThreadProcessId(dialog, &process), vpdf::kProgressWindowClass))
        text += L"(beside the progress window) ";
      return text + answer;
    };
    person.On(harness::AnyDialog(), {{shown, [steps = Steps(answer), inMergeDialog](HWND dialog) {
                                        if (Control(dialog, kList) && inMergeDialog) inMergeDialog();
                                        for (const harness::Step& step : steps) step.act(dialog);
                                      }}});
  }
}

class CreatePdf : public CommandRunTest<vpdf::CCreatePDF> {
 public:
  using CommandRunTest::NewCommand, CommandRunTest::Select, CommandRunTest::SelectUnreadable, CommandRunTest::m_command, CommandRunTest::world,
      CommandRunTest::m_profileIni, CommandRunTest::Work;
  void SetUp() override {
    CommandRunTest::SetUp();
    SetString(HKEY_CURRENT_USER, kPortableKey, L"PORTABLE_DIRECTORY", Work(L"portable"));
    m_useProfile.SetDword(0);
    m_shownHook = SetWindowsHookExW(WH_CALLWNDPROC, CountProgressShown, nullptr, GetCurrentThreadId());
  }
  void TearDown() override {
    UnhookWindowsHookEx(m_shownHook);
    CommandRunTest::TearDown();
  }

  // Documents "<name>.<extension>" numbered from 1, their content "text <number>" (XPS: two pages).
  std::vector<tb::Document*> Documents(const std::vector<std::wstring>& names) {
    std::vector<tb::Document*> documents;
    for (const std::wstring& file : names) {
      const long number = static_cast<long>(documents.size()) + 1;
      const std::wstring extension = file.substr(file.rfind(L'.') + 1);
      documents.push_back(Doc(file.substr(0, file.rfind(L'.')), extension,
                              "text " + std::to_string(number) + "\r\n", number));
      if (extension == L"xps")
        testbed::WriteXpsPackage(Work(L"content" + std::to_wstring(number) + L".xps"), 2);
    }
    return documents;
  }

  // The document the person picks in the client's browser for a new version of a merged file.
  tb::Document* PickTarget(long number, tb::UserAction user) {
    tb::Document* target = world.Keep(
        tb::Document::Create(world.Database(), number, 3, L"Target", L"WORDX", L"docx", Work(L"content1.txt")));
    tb::ClientScript browse;
    browse.selection = {target};
    browse.user = user;
    tb::SetClientScript(tb::ClientCommandKind::kFileOpen, browse);
    return target;
  }

  // What a row shows: dialogs, helpers and merge (short), what the DMS and the temporary folder show
  // (harness::Changes, the helpers' copies left to the helper lines), client commands, client option.
  std::wstring Outcome(const harness::Answerer& person) const {
    std::wstring out = person.Log(), merged, failed, usage;
    for (const testbed::JournalEntry& entry : journal.Entries()) {
      const std::vector<std::wstring> quoted = QuotedParts(entry.commandLine);
      if (entry.program == testbed::kPrintAgentExe)
        out += L"print " + FileName(quoted.at(1)) + (entry.what.ends_with(L"exit 0") ? L"" : L": " + entry.what) + L"\n";
      else if (entry.program == testbed::kRasterLibrary)
        out += L"convert " + FileName(quoted.at(0)) + L": " + entry.what + L"\n";
      else if (entry.program == testbed::kMergePlugin && !quoted.empty() && entry.commandLine.rfind(L"DoSave", 0))
        merged += L" " + FileName(quoted[0]);
      if (entry.program == testbed::kMergePlugin && !entry.what.starts_with(L"0") && failed.empty())
        failed = L"merge failed at " + entry.commandLine.substr(0, entry.commandLine.find(L'(')) + L": " + entry.what + L"\n";
    }
    if (!merged.empty()) out += L"merge" + merged + L"\n";
    out += failed;
    std::wistringstream changes(Effects());
    for (std::wstring line; std::getline(changes, line);)
      if (line.starts_with(L"run usagestats.exe "))
        usage += line + L"\n";
      else if (!line.starts_with(L"run ") && line.find(L" copied to ") == std::wstring::npos)
        out += line + L"\n";
    for (const tb::ClientCommandRun& run : tb::ClientCommandRuns())
      out += std::wstring(L"client's ") + (run.kind == tb::ClientCommandKind::kFileOpen ? L"browser" :
                                           run.kind == tb::ClientCommandKind::kNewVersion ? L"new version" : L"import") +
             (run.advised == run.unadvised ? L"" : L" (an event sink left connected)") + L"\n";
    const std::wstring option = GetString(HKEY_CURRENT_USER, kClientOptionsKey, kShowProfileValue);
    if (option != m_option) out += L"client option " + option + L"\n";
    if (g_progressShown) out += L"progress window came up " + std::to_wstring(g_progressShown) + L"x\n";
    return out + usage;
  }

  ScopedRegistryTree m_clientUser{HKEY_CURRENT_USER, L"Software\\InterWoven"};
  ScopedRegistryTree m_dialogSettings{HKEY_CURRENT_USER, L"Software\\Ostrel\\PDF\\V1\\iManage Work"};
  ScopedRegistryValue m_useProfile{HKEY_CURRENT_USER, kProductWorkSiteKey, L"UseProfile"};
  std::wstring m_option = L"N";
  HHOOK m_shownHook = nullptr;
};

CreatePdf* g_running = nullptr;
// The PDF's name failing to be allocated once, as the check-in hands it over after the check-out.
std::optional<ScopedImportHook> g_allocations;
tb::Document* g_checkedOut = nullptr;
BSTR WINAPI FailOnceCheckedOut(const OLECHAR* text, UINT length) {
  const bool fail = g_checkedOut && g_checkedOut->Calls(L"CheckOutEx") && std::wstring(text, length).ends_with(L".pdf");
  if (fail) g_checkedOut = nullptr;
  return fail ? nullptr : g_allocations->Original<decltype(&SysAllocStringLen)>()(text, length);
}
// The name of the version the client's command made failing to be allocated once.
bool g_failNewVersion = false;
BSTR WINAPI FailOnceNewVersion(const OLECHAR* text) {
  const bool fail = text && std::wstring_view(text) == L"iManExt.NewVersionCmd.Document" && std::exchange(g_failNewVersion, false);
  return fail ? nullptr : g_allocations->Original<decltype(&SysAllocString)>()(text);
}
// The merge plug-in failing to load once: the process's first merge runs without it.
bool g_failJoinLoad = false;
HMODULE WINAPI FailOnceJoinLoad(LPCWSTR path, HANDLE file, DWORD flags) {
  const bool fail = path && std::wstring_view(path).ends_with(L"PdfJoinPlugin_x64.api") && std::exchange(g_failJoinLoad, false);
  if (fail) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return fail ? nullptr : g_allocations->Original<decltype(&LoadLibraryExW)>()(path, file, flags);
}
std::atomic<bool> g_secondDone{false};
HANDLE g_held = nullptr;  // a file another program has open

struct Row {
  const char* name;
  std::vector<std::wstring> selection;  // "<name>.<extension>", selected in this order
  std::vector<std::wstring> answers;
  std::wstring effects;
  std::function<void(CreatePdf&, std::vector<tb::Document*>& documents)> setup = nullptr;  // failures, scripts
  std::function<void(std::vector<tb::Document*>& documents)> inMergeDialog = nullptr;
  const wchar_t* usersFile = nullptr;  // in the temporary folder before the run
  DWORD language = 1033;  // the product's
};

// An allocation failing inside Update is the client's answer, never an exception that would end its process.
TEST_F(CreatePdf, UpdateAnswersAFailedAllocation) {
  Select(L"SelectedNRTDocuments", {Documents({L"Alpha.txt", L"Beta.txt"})[0]});
  ScopedImportHook failing("OLEAUT32.dll", "SysAllocString", reinterpret_cast<void*>(+[](const OLECHAR*) -> BSTR { return nullptr; }));
  LONG status = 0;
  EXPECT_EQ(E_OUTOFMEMORY, m_command->Update() | m_command->get_Status(&status));
  EXPECT_EQ(1, status);
}

TEST_F(CreatePdf, Scenarios) {
  const std::wstring kUsage = L"run usagestats.exe Software\\Ostrel\\PDF\\V1|5.1.0.2718|UA-271828182-1|ec|iManage|ea|"
                              L"Create%20PDF|el|From%20DMS -> recorded, exit 0\n";
  const std::wstring kDue = L", replacing the local file, due in 4h local time\n";
  const std::wstring kSaveAs = L"Save As -> [PDF Files (*.PDF) = *.pdf] \"Contract.pdf\" ";
  const std::wstring kMerged =
      L"Save As -> \"The selected files has been converted to a PDF file. How do you want to save the result ?\" ";
  auto mergedVersion = [&](const std::wstring& message) { return L"Merge items to one PDF -> [Alpha, Beta] one\n" +
    kMerged + L"version\n" + message + L"print Alpha.txt\nprint Beta.txt\nmerge Alpha.pdf Beta.pdf\n"; };
  const std::wstring kMergedVersion = mergedVersion(L"");
  auto single = [](const std::wstring& name, const std::wstring& answer) {
    return L"Save As -> \"The '" + name + L".txt' has been converted to a PDF file. How do you want to save the '" +
           name + L".pdf' ?\" " + answer + L"\n";
  };
  // A source of new document 9001, and 9001 itself, stored with `pages` and checked in; the history as an
  // English or a German user reads it.
  auto source = [](const std::wstring& number, bool german = false) {
    return number + (german ? L" history 9 \"Dokument 9001 Version 1 in Datenbank „DB1“ wurde aus diesem Dokument erstellt\"\n"
                            : L" history 9 \"Document 9001 version 1 in database \"DB1\" created from this document\"\n") +
           number + L" related to 9001\n";
  };
  auto stored = [](const std::wstring& name, const std::wstring& pages, const std::wstring& from,
                   std::wstring disk = L"", bool german = false, const std::wstring& version = L"1") {
    return L"stored 9001 v1 \"" + name + L"\" , " + pages + L"\n9001 history 9 \"" +
           (german ? L"Erstellt aus Dokument " + from + L" Version " + version + L" in Datenbank „ACTIVE“ "
                   : L"Create from document " + from + L" version " + version + L" in database \"ACTIVE\" ") +
           L"\"\n9001 imported \"" + name + L"\" type ACROBAT\n9001 checked in from %TEMP%\\" +
           (disk.empty() ? name : disk) + L".pdf as a new document\n";
  };
  auto told = [](const std::wstring& text) {  // the one message of a run without its result, answered
    return L"Ostrel Varnel PDF: " + (text.ends_with(L"out.") ? text : L"Create PDF could not finish: " + text +
                                     L"; nothing was stored.") + L" -> ok\n"; };
  // A merge of Alpha and Beta whose plug-in fails at `call` with `what`.
  auto merge = [&told](const char* name, const std::wstring& call, const std::wstring& what) {
    const bool opened = call != L"InitPDFAttach";
    return Row{name, {L"Alpha.txt", L"Beta.txt"}, {L"one", L"ok"},
               L"Merge items to one PDF -> [Alpha, Beta] one\n" + told(L"the PDF files could not be merged") +
                   L"print Alpha.txt\nprint Beta.txt\n" + std::wstring(opened ? L"merge Alpha.pdf Beta.pdf\n" : L"") +
                   L"merge failed at " + call + L": " + what + L"\nprogress window came up 1x\n",
               [call](CreatePdf&, auto&) { testbed::SetMergeResult(call, 7); }};
  };
  const Row rows[] = {
      {"one XPS document: no merge question, the image library converts it",
       {L"Floor plan.xps"}, {L"cancel"},
       L"Save As -> \"The 'Floor plan.xps' has been converted to a PDF file. How do you want to save the 'Floor "
       L"plan.pdf' ?\" cancel\nconvert Floor plan.xps: 0, pdf 2 pages\n"},
      {"a PDF is left out", {L"Scan.pdf", L"Memo.txt"}, {L"each", L"cancel", L"ok"}, L"Merge items to one PDF -> [Scan, "
       L"Memo] each\n" + single(L"Memo", L"cancel") + told(L"1 of 2 documents could not be converted and were left out.") + L"print Memo.txt\n"
       L"progress window came up 1x\n"},
      // The first merge of the process, so that the plug-in is loaded here; the rows after it
      // merge only if a failed load is tried again.
      {"the merge plug-in failing to load: nothing saved, the next merge loads it", {L"Alpha.txt", L"Beta.txt"},
       {L"one", L"ok"}, L"Merge items to one PDF -> [Alpha, Beta] one\nOstrel Varnel PDF: The PDF files cannot be merged: "
       L"the file PdfJoinPlugin_x64.api was not found in the folder %PRODUCT%\\. Nothing was saved. -> ok\n",
       [](CreatePdf&, auto&) {
         g_failJoinLoad = true;
         g_allocations.emplace("KERNEL32.dll", "LoadLibraryExW", reinterpret_cast<void*>(&FailOnceJoinLoad));
       }},
      merge("the merge plug-in refuses: nothing saved", L"InitPDFAttach", L"7, control"),
      merge("the first PDF cannot be opened: nothing saved, nothing left", L"DoOpenFile", L"7, control"),
      merge("a PDF cannot be appended: nothing saved, nothing left", L"DoMerge2", L"7, control"),
      merge("the merged file cannot be written: nothing saved, nothing left", L"DoSaveFile", L"7, control"),
      merge("the plug-in's session ends failing: nothing saved, nothing left", L"EndPDFAttach", L"7, control"),
      {"merged in the dialog's order, a new document related to all", {L"Alpha.txt", L"Beta.txt", L"Gamma.txt"},
       {L"one:Gamma,Alpha,Beta", L"new"},
       L"Merge items to one PDF -> [Alpha, Beta, Gamma] one:Gamma,Alpha,Beta\n" + kMerged + L"new\n"
       L"print Gamma.txt\nprint Alpha.txt\nprint Beta.txt\nmerge Gamma.pdf Alpha.pdf Beta.pdf\n" + source(L"1") +
           source(L"2") + source(L"3") + stored(L"Gamma", L"3 pages: Gamma.txt | Alpha.txt | Beta.txt", L"3") +
           L"9001 related to 3\n9001 related to 1\n9001 related to 2\nrefresh\nclient's import\n"
       L"progress window came up 1x\n"},
      {"in German: the dialogs' titles and the history, the save question in English", {L"Alpha.txt", L"Beta.txt"},
       {L"one", L"new"},
       L"Elemente zu einem PDF zusammenführen -> [Alpha, Beta] one\nSpeichern unter" + kMerged.substr(7) + L"new\n"
       L"print Alpha.txt\nprint Beta.txt\nmerge Alpha.pdf Beta.pdf\n" + source(L"1", true) + source(L"2", true) +
           stored(L"Alpha", L"2 pages: Alpha.txt | Beta.txt", L"1", L"", true) +
           L"9001 related to 1\n9001 related to 2\nrefresh\nclient's import\nprogress window came up 1x\n",
       nullptr, nullptr, nullptr, 1031},
      {"a source of version 3: both history texts name its version", {L"Contract.txt"}, {L"new"},
       single(L"Contract", L"new") + L"print Contract.txt\n" + source(L"1") +
           stored(L"Contract", L"1 pages: Contract.txt", L"1", L"", false, L"3") + L"9001 related to 1\nrefresh\nclient's import\n",
       [](CreatePdf&, auto& docs) { docs[0]->SetLong(L"Version", 3); }},
      {"one PDF each, in selection order; a taken name numbered on disk only", {L"Alpha.txt", L"Beta.txt"},
       {L"each", L"cancel", L"new"},
       L"Merge items to one PDF -> [Alpha, Beta] each\n" + single(L"Alpha", L"cancel") + single(L"Beta", L"new") +
           L"print Alpha.txt\nprint Beta.txt\n" + source(L"2") + stored(L"Beta", L"1 pages: Beta.txt", L"2", L"Beta001") +
           L"9001 related to 2\nrefresh\nclient's import\nprogress window came up 2x\n", nullptr, nullptr, L"Beta.pdf"},
      {"documents that cannot be copied or printed are left out", {L"Alpha.txt", L"Beta.txt", L"Gamma.txt"},
       {L"each", L"cancel", L"ok"}, L"Merge items to one PDF -> [Alpha, Beta, Gamma] each\n" + single(L"Alpha", L"cancel") +
       told(L"2 of 3 documents could not be converted and were left out.") + L"print Alpha.txt\nprint Gamma.txt: fail, exit 1\nprogress window came up 2x\n",
       [](CreatePdf&, auto& docs) {
         docs[1]->Fail(L"GetCopy", E_FAIL);
         testbed::SetAgentBehaviour(testbed::kPrintAgent, L"Gamma.txt", testbed::kFail);
       }},
      {"a document that cannot be printed is left out of the merge", {L"Alpha.txt", L"Beta.txt", L"Gamma.txt"},
       {L"one", L"cancel"},
       L"Merge items to one PDF -> [Alpha, Beta, Gamma] one\n" + kMerged + L"cancel\n"
       L"print Alpha.txt: fail, exit 1\nprint Beta.txt\nprint Gamma.txt\nmerge Beta.pdf Gamma.pdf\n"
       L"progress window came up 1x\n",
       [](CreatePdf&, auto&) { testbed::SetAgentBehaviour(testbed::kPrintAgent, L"Alpha.txt", testbed::kFail); }},
      {"a print agent that writes nothing: no new version, no new document", {L"Alpha.txt", L"Beta.txt"},
       {L"each", L"ok", L"version"},
       L"Merge items to one PDF -> [Alpha, Beta] each\n" + told(L"no document could be converted to PDF") + L"print Alpha.txt\nprint Beta.txt\nprogress window came up 1x\n",
       [](CreatePdf&, auto&) { testbed::SetAgentBehaviour(testbed::kPrintAgent, L"*", testbed::kNoOutput); }},
      {"a document printed to nothing is left out of the merge", {L"Alpha.txt", L"Beta.txt", L"Gamma.txt"},
       {L"one", L"new-norel", L"ok"},
       L"Merge items to one PDF -> [Alpha, Beta, Gamma] one\n" + kMerged + L"new-norel\n" +
           told(L"1 of 3 documents could not be converted and were left out.") + L"print Alpha.txt\n"
       L"print Beta.txt\nprint Gamma.txt\nmerge Alpha.pdf Gamma.pdf\n" +
           stored(L"Alpha", L"2 pages: Alpha.txt | Gamma.txt", L"1") +
           L"refresh\nclient's import\nprogress window came up 1x\n",
       [](CreatePdf&, auto&) { testbed::SetAgentBehaviour(testbed::kPrintAgent, L"Beta.txt", testbed::kNoOutput); }},
      {"a document unreadable before the dialog is left out of the merge and told", {L"Alpha.txt", L"Beta.txt", L"Gamma.txt"},
       {L"one", L"new-norel", L"ok"},
       L"Merge items to one PDF -> [Alpha, Beta] one\n" + kMerged + L"new-norel\n" +
           told(L"1 of 3 documents could not be converted and were left out.") + L"print Alpha.txt\n"
       L"print Beta.txt\nmerge Alpha.pdf Beta.pdf\n" + stored(L"Alpha", L"2 pages: Alpha.txt | Beta.txt", L"1") +
           L"refresh\nclient's import\nprogress window came up 1x\n",
       [](CreatePdf&, auto& docs) { docs[2]->Fail(L"Number", E_ACCESSDENIED); }},
      {"every document fails: no merge, nothing asked", {L"Alpha.txt", L"Beta.txt"}, {L"one", L"ok"},
       L"Merge items to one PDF -> [Alpha, Beta] one\n" + told(L"no document could be converted to PDF") + L"print Alpha.txt: fail, exit 1\nprint Beta.txt: fail, exit 1\n"
       L"progress window came up 1x\n",
       [](CreatePdf&, auto&) { testbed::SetAgentBehaviour(testbed::kPrintAgent, L"*", testbed::kFail); }},
      {"names of forbidden characters: each copy gone once printed, each PDF its own name, the title as named",
       {L"Q3: Plan.txt", L"?*:.txt", L"<|>.txt"}, {L"one", L"new-norel"},
       L"Merge items to one PDF -> [Q3: Plan, ?*:, <|>] one\n" + kMerged + L"new-norel\nprint Q3_ Plan.txt\n"
       L"print ___.txt\nprint ___.txt\nmerge Q3_ Plan.pdf ___.pdf ___001.pdf\n" +
           stored(L"Q3 Plan", L"3 pages: Q3_ Plan.txt | ___.txt | ___.txt", L"1", L"Q3_ Plan") +
           L"refresh\nclient's import\nprogress window came up 1x\n"},
      {"documents of one name, of one type and of another, all merged", {L"Report.txt", L"Report.txt", L"Report.csv"},
       {L"one", L"new-norel"},
       L"Merge items to one PDF -> [Report, Report, Report] one\n" + kMerged + L"new-norel\nprint Report.txt\n"
       L"print Report.txt\nprint Report.csv\nmerge Report.pdf Report001.pdf Report002.pdf\n" +
           stored(L"Report", L"3 pages: Report.txt | Report.txt | Report.csv", L"1") +
           L"refresh\nclient's import\nprogress window came up 1x\n"},
      {"an empty document selection: the objects are converted", {L"Alpha.txt", L"Beta.txt"},
       {L"each", L"cancel", L"cancel"},
       L"Merge items to one PDF -> [Alpha, Beta] each\n" + single(L"Alpha", L"cancel") + single(L"Beta", L"cancel") +
       L"print Alpha.txt\nprint Beta.txt\nprogress window came up 2x\n",
       [](CreatePdf& test, auto& docs) {
         test.NewCommand();
         test.Select(L"SelectedNRTDocuments", {});
         test.Select(L"SelectedIManObjects", std::vector<IDispatch*>(docs.begin(), docs.end()));
       }},
      {"cancel in the merge dialog, a second run meanwhile asks nothing", {L"Alpha.txt", L"Beta.txt"}, {L"cancel"},
       L"Merge items to one PDF -> [Alpha, Beta] cancel\n",
       [](CreatePdf& test, auto&) {
         g_running = &test;
         g_secondDone = false;
         SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR id, DWORD) {
           if (!harness::VisibleDialogOf(GetCurrentThreadId())) return;  // the second run comes while the dialog is up
           KillTimer(nullptr, id);
           EXPECT_EQ(S_OK, g_running->m_command->Execute());
           g_secondDone = true;
         });
       },
       [](auto&) {
         const ULONGLONG until = GetTickCount64() + 10000;
         while (!g_secondDone && GetTickCount64() < until) Sleep(20);
         EXPECT_TRUE(g_secondDone) << "no second run while the merge dialog was up";
       }},
      {"a selection whose bounds cannot be read: nothing converted, the person told", {L"Alpha.txt", L"Beta.txt"},
       {L"ok"}, told(L"an unexpected error occurred"),
       [](CreatePdf& test, auto&) { test.SelectUnreadable(L"SelectedNRTDocuments"); }},
      {"a call failing after the dialog ends the run", {L"Alpha.txt", L"Beta.txt"}, {L"one", L"ok"},
       L"Merge items to one PDF -> [Alpha, Beta] one\n" + told(L"an unexpected error occurred") + L"print Alpha.txt\nprogress window came up 1x\n", nullptr,
       [](auto& docs) { docs[1]->Fail(L"Extension", E_ACCESSDENIED); }},
      {"cancel in the progress window while a merge converts", {L"P1.txt", L"P2.txt", L"P3.txt", L"P4.txt"},
       {L"one", L"stop"},
       L"Merge items to one PDF -> [P1, P2, P3, P4] one\n"
       L"Create PDF -> Document 3 of 4: P3, Converting to PDF... stop\n"
       L"print P1.txt\nprint P2.txt\nprint P3.txt: hang\nprogress window came up 1x\n",
       [](CreatePdf&, auto&) { testbed::SetAgentBehaviour(testbed::kPrintAgent, L"P3.txt", testbed::kHang); }},
      {"cancel in the progress window of one slow conversion, in German", {L"Budget.txt"}, {L"stop"},
       L"PDF erstellen -> Dokument 1 von 1: Budget, Wird in PDF konvertiert... stop\nprint Budget.txt: hang\n"
       L"progress window came up 1x\n",
       [](CreatePdf&, auto&) { testbed::SetAgentBehaviour(testbed::kPrintAgent, L"*", testbed::kHang); }, nullptr, nullptr, 1031},
      {"a slow XPS conversion, which does not wait, shows no window after it", {L"Floor plan.xps"}, {L"cancel"},
       L"Save As -> \"The 'Floor plan.xps' has been converted to a PDF file. How do you want to save the 'Floor "
       L"plan.pdf' ?\" cancel\nconvert Floor plan.xps: 0, pdf 2 pages\n",
       [](CreatePdf&, auto&) { testbed::SetAgentDelay(testbed::kRaster, 1500); }},
      {"cancel as the first of two is to be saved: no save question", {L"Alpha.txt", L"Beta.txt"},
       {L"each", L"at saving"},
       L"Merge items to one PDF -> [Alpha, Beta] each\nCreate PDF -> cancel as it saves\nprint Alpha.txt\n"
       L"progress window came up 1x\n",
       [](CreatePdf&, auto&) { testbed::SetAgentDelay(testbed::kPrintAgent, 500); }},
      {"a second run meanwhile is told, the first one's Cancel still ends its agent", {L"Budget.txt"}, {L"ok", L"stop"},
       L"Ostrel Varnel PDF: Another PDF command is still running. Wait until it has finished, then try again. -> ok\n"
       L"Create PDF -> Document 1 of 1: Budget, Converting to PDF... stop\nprint Budget.txt: hang\n"
       L"progress window came up 1x\n",
       [](CreatePdf& test, auto&) {
         testbed::SetAgentBehaviour(testbed::kPrintAgent, L"*", testbed::kHang);
         g_running = &test;
         SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
           KillTimer(nullptr, id);
           g_running->m_command->Execute();  // reached while the print agent runs
         });
       }},
      {"a new version, checked in directly", {L"Contract.txt"}, {L"version"},
       single(L"Contract", L"version") + L"print Contract.txt\n"
       L"1 checked out to %TEMP%\\Contract.txt" + kDue +
       L"1 checked in from %TEMP%\\Contract.pdf as a new version\nrefresh\n"},
      {"a failed check-in is retried through the client's new-version command", {L"Contract.txt"},
       {L"version", L"ok"},
       single(L"Contract", L"version") + L"Ostrel Varnel PDF: General error -> ok\nprint Contract.txt\n"
       L"1 checked out to %TEMP%\\Contract.txt" + kDue + L"stored 1 v2 \"Contract\" txt, 1 pages: Contract.txt\n"
       L"1 checked in from %TEMP%\\Contract.pdf replacing the original\nrefresh\nclient's new version\n",
       [](CreatePdf&, auto& docs) { docs[0]->Fail(L"CheckInEx", E_FAIL); }},
      {"an allocation failing once the client's command made the version: it still gets its PDF", {L"Contract.txt"},
       {L"version", L"ok"},
       single(L"Contract", L"version") + L"Ostrel Varnel PDF: General error -> ok\nprint Contract.txt\n"
       L"1 checked out to %TEMP%\\Contract.txt" + kDue + L"stored 1 v2 \"Contract\" txt, 1 pages: Contract.txt\n"
       L"1 checked in from %TEMP%\\Contract.pdf replacing the original\nrefresh\nclient's new version\n",
       [](CreatePdf&, auto& docs) {
         docs[0]->Fail(L"CheckInEx", E_FAIL);
         g_failNewVersion = true;
         g_allocations.emplace("OLEAUT32.dll", "SysAllocString", reinterpret_cast<void*>(&FailOnceNewVersion));
       }},
      {"a retry that fails too: the error box of the first failure is the one message", {L"Contract.txt"},
       {L"version", L"ok"}, single(L"Contract", L"version") + L"Ostrel Varnel PDF: General error -> ok\nprint Contract.txt\n"
       L"1 checked out to %TEMP%\\Contract.txt" + kDue + L"1 unlocked\nrefresh\nclient's new version\n",
       [](CreatePdf&, auto& docs) {  // the client's command is not active
         docs[0]->Fail(L"CheckInEx", E_FAIL);
         tb::ClientScript inactive;
         inactive.status = 1;
         tb::SetClientScript(tb::ClientCommandKind::kNewVersion, inactive);
       }},
      {"a check-in that fails for good releases the check-out", {L"Contract.txt"}, {L"version", L"ok"},
       single(L"Contract", L"version") + told(L"the DMS did not accept the PDF file") + L"print Contract.txt\n"
       L"1 checked out to %TEMP%\\Contract.txt" + kDue + L"1 unlocked\nrefresh\nclient option Y\n",
       [](CreatePdf&, auto& docs) {
         docs[0]->SetMethod(L"CheckInEx", [](auto&, VARIANT*) {  // the client's dialog turned on meanwhile
           SetString(HKEY_CURRENT_USER, kClientOptionsKey, kShowProfileValue, L"Y");
           return E_FAIL;
         });
       }},
      {"an allocation failing in the check-in releases the check-out", {L"Contract.txt"}, {L"version", L"ok"},
       single(L"Contract", L"version") + told(L"an unexpected error occurred") + L"print Contract.txt\n"
       L"1 checked out to %TEMP%\\Contract.txt" + kDue + L"1 unlocked\n", [](CreatePdf&, auto& docs) {
         g_allocations.emplace("OLEAUT32.dll", "SysAllocStringLen", reinterpret_cast<void*>(&FailOnceCheckedOut));
         g_checkedOut = docs[0]; }},
      {"cancel in the client's new-version dialog releases the check-out", {L"Contract.txt"}, {L"version"},
       single(L"Contract", L"version") + L"print Contract.txt\n"
       L"1 checked out to %TEMP%\\Contract.txt" + kDue + L"1 unlocked\nrefresh\nclient's new version\n",
       [](CreatePdf&, auto&) {
         SetString(HKEY_CURRENT_USER, kClientOptionsKey, kShowProfileValue, L"Y");
         tb::ClientScript script;
         script.user = tb::UserAction::kCancel;
         tb::SetClientScript(tb::ClientCommandKind::kNewVersion, script);
       }},
      {"a merged file as a new version: nothing picked", {L"Alpha.txt", L"Beta.txt"}, {L"one", L"version"},
       kMergedVersion + L"client's browser\nprogress window came up 1x\n",
       [](CreatePdf& test, auto&) { test.PickTarget(77, tb::UserAction::kCancel); }},
      {"a merged file as a new version of the picked document", {L"Alpha.txt", L"Beta.txt"}, {L"one", L"version"},
       kMergedVersion + L"77 history 9 \"77_3_Target\"\n"
       L"77 checked out to %WORK%\\portable\\ACTIVE\\jdoe\\77_3.docx" + kDue +
       L"77 checked in from %TEMP%\\Alpha.pdf as a new version\nrefresh\nclient's browser\nprogress window came up 1x\n",
       [](CreatePdf& test, auto&) { test.PickTarget(77, tb::UserAction::kAccept); }},
      {"a merged file as a new version, copies in the temporary folder", {L"Alpha.txt", L"Beta.txt"}, {L"one", L"version"},
       kMergedVersion + L"77 history 9 \"77_3_Target\"\n" L"77 checked out to %TEMP%\\Target.docx" + kDue +
       L"77 checked in from %TEMP%\\Alpha.pdf as a new version\ntemp +Target.docx\nrefresh\nclient's browser\n"
       L"progress window came up 1x\n",
       [](CreatePdf& test, auto&) {
         test.m_profileIni.Write(L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\n");
         test.PickTarget(77, tb::UserAction::kAccept);
       }},
      {"a merged file as a new version, copies in the administrator's folder", {L"Alpha.txt", L"Beta.txt"},
       {L"one", L"version"},
       kMergedVersion + L"77 history 9 \"77_3_Target\"\n" L"77 checked out to %WORK%\\iman003\\Target.docx" + kDue +
       L"77 checked in from %WORK%\\iman001\\Alpha.pdf as a new version\nrefresh\nclient's browser\n"
       L"progress window came up 1x\n",
       [](CreatePdf& test, auto&) {
         test.m_profileIni.Write(L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\nTEMP_FOLDER_PATH=" + test.Work(L"") + L"\r\n");
         test.PickTarget(77, tb::UserAction::kAccept);
       }},
      {"a picked document without a local path is not checked out", {L"Alpha.txt", L"Beta.txt"},
       {L"one", L"version", L"ok"}, mergedVersion(told(L"the DMS did not accept the PDF file")) + L"client's browser\nprogress window came up 1x\n",
       [](CreatePdf& test, auto&) { test.PickTarget(78, tb::UserAction::kAccept)->Fail(L"Number", E_ACCESSDENIED); }},
      {"a local file where the user says, offered under the document's name, of the type offered", {L"Contract.txt"},
       {L"local", L"file:Chosen"}, single(L"Contract", L"local") + kSaveAs + L"file:Chosen\nprint Contract.txt\n"
       L"temp +Chosen.pdf\n", nullptr, nullptr, L"Contract.pdf"},
      {"Save As cancelled: nothing kept", {L"Contract.txt"}, {L"local", L"cancel"},
       single(L"Contract", L"local") + kSaveAs + L"cancel\nprint Contract.txt\n"},
      {"Save As onto a file in use: the copy fails, the file keeps its bytes, nothing kept", {L"Contract.txt"},
       {L"local", L"file:Taken.pdf", L"yes", L"ok"},
       single(L"Contract", L"local") + kSaveAs + L"file:Taken.pdf\nSave As: File already exists. Do you want to "
       L"replace it? -> yes\n" + told(L"the file could not be saved") + L"print Contract.txt\n",
       [](CreatePdf& test, auto&) {
         WriteText(TempFolder() + L"Taken.pdf", "the user's own");
         g_held = CreateFileW((TempFolder() + L"Taken.pdf").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         test.world.changes.ShowFiles(TempFolder(), L"Taken.pdf");
         test.world.changes.Restart();
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.usersFile) WriteText(TempFolder() + row.usersFile, "the user's");
    SetUILanguage(row.language);  // read when the command is made
    NewRow();  // a new command; the journal, helper failures and client scripts cleared
    m_profileIni.Write(L"");
    g_progressShown = 0;
    SetString(HKEY_CURRENT_USER, kClientOptionsKey, kShowProfileValue, L"N");
    std::vector<tb::Document*> documents = Documents(row.selection);
    Select(L"SelectedNRTDocuments", std::vector<IDispatch*>(documents.begin(), documents.end()));
    if (row.setup) row.setup(*this, documents);
    m_option = GetString(HKEY_CURRENT_USER, kClientOptionsKey, kShowProfileValue);
    const std::set<std::wstring> tempBefore = TempFolderEntries();
    harness::Answerer person;
    std::chrono::steady_clock::time_point stoppedAt;
    Answer(person, row.answers, journal, [&] { if (row.inMergeDialog) row.inMergeDialog(documents); }, stoppedAt);
    EXPECT_EQ(S_OK, m_command->Execute());
    g_allocations.reset();
    const auto returned = std::chrono::steady_clock::now();
    person.Stop();
    if (stoppedAt != std::chrono::steady_clock::time_point{}) {
      EXPECT_LT(returned - stoppedAt, std::chrono::seconds(3)) << "Cancel took its time";
    }
    EXPECT_TRUE(ChildProcesses(testbed::kPrintAgentExe).empty()) << "a print agent still runs";
    EXPECT_EQ(row.effects + kUsage, Outcome(person));
    for (const auto& group : {documents, tb::StoredDocuments()})
      for (tb::Document* document : group)
        for (const tb::HistoryEntry& entry : document->History()) EXPECT_EQ(L"Ostrel Varnel PDF", entry.application);
    for (tb::Document* stored : tb::StoredDocuments()) {
      std::vector<tbpdf::Page> pages;
      tbpdf::Read(stored->ContentPath(), pages);
      for (const tbpdf::Page& page : pages)  // "text <n>" under the name of the file document n was copied to
        EXPECT_EQ(page.at(0), FileName(documents.at(std::stoul(page.at(1).substr(5)) - 1)->Copies().at(0)));
    }
    RemoveNewInTemp(tempBefore);
    if (g_held && CloseHandle(std::exchange(g_held, nullptr))) DeleteFileW((TempFolder() + L"Taken.pdf").c_str());
    if (!row.usersFile) continue;
    EXPECT_EQ("the user's", ReadBytes(TempFolder() + row.usersFile));
    DeleteFileW((TempFolder() + row.usersFile).c_str());
  }
}

}  // namespace
