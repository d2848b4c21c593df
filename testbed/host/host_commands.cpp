// The client host's command runs: each verb builds a selection from the sample world, runs one
// of the add-in's commands through COM the way the client does (context, Update, Execute),
// answers its dialogs the way a person would, and prints what the command started (the
// stand-ins' journal) and what changed in the DMS (history, relations, check-outs, stored
// documents).
#include <windows.h>
#include <objbase.h>

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "testbed/agents/journal.h"
#include "testbed/dms/client_commands.h"
#include "testbed/host/host.h"
#include "testbed/registry/registry_sandbox.h"
#include "testbed/pdf/tbpdf.h"

namespace host {
namespace {

constexpr int kSaveLocal = 204, kSaveNewDocument = 206, kRelate = 203;
constexpr int kFileList = 216, kMerge = 217, kSingle = 218, kUp = 214;
constexpr int kFileNameCombo = 0x47C, kFileNameEdit = 0x480;

BOOL CALLBACK FindShownDialog(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

std::wstring RowText(HWND list, int row) {
  wchar_t text[260] = {};
  LVITEMW item = {};
  item.pszText = text;
  item.cchTextMax = 260;
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

std::wstring WindowText(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

void Press(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// How the person at the client answers the dialogs of one run.
struct Answers {
  bool merge = true;                // merge dialog: one PDF, or one per document
  std::vector<std::wstring> order;  // merge dialog: document names, first to last
  bool saveInDms = false;           // save dialog: new related document, else a local file
  std::wstring fileName;            // file dialogs: the name typed in
  bool openReadOnly = true;         // the question about a document checked out by another
};

// Answers the dialogs that the UI thread shows, from a thread of its own.
class DialogAnswerer {
 public:
  explicit DialogAnswerer(Answers answers)
      : m_ui(GetCurrentThreadId()), m_answers(std::move(answers)) {
    m_thread = std::thread([this] { Run(); });
  }
  ~DialogAnswerer() {
    m_stop = true;
    m_thread.join();
  }
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

 private:
  void Run() {
    while (!m_stop) {
      HWND dialog = nullptr;
      EnumThreadWindows(m_ui, FindShownDialog, reinterpret_cast<LPARAM>(&dialog));
      if (!dialog) {
        Sleep(20);
        continue;
      }
      Sleep(100);
      Answer(dialog);
      for (int i = 0; i < 500 && IsWindow(dialog) && IsWindowVisible(dialog); ++i) Sleep(20);
      if (IsWindow(dialog) && IsWindowVisible(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      while (IsWindow(dialog) && IsWindowVisible(dialog)) Sleep(20);
    }
  }

  void Answer(HWND dialog) {
    if (GetDlgItem(dialog, kFileList)) {
      AnswerMergeDialog(dialog);
    } else if (GetDlgItem(dialog, kSaveLocal)) {
      Print(L"  Save dialog: %ls\n",
            m_answers.saveInDms ? L"new document, related to its source" : L"local file");
      if (m_answers.saveInDms) {
        Press(dialog, kSaveNewDocument);
        if (SendMessageW(GetDlgItem(dialog, kRelate), BM_GETCHECK, 0, 0) != BST_CHECKED)
          Press(dialog, kRelate);
      } else {
        Press(dialog, kSaveLocal);
      }
      Press(dialog, IDOK);
    } else if (HWND name = GetDlgItem(dialog, kFileNameCombo) ? GetDlgItem(dialog, kFileNameCombo)
                                                              : GetDlgItem(dialog, kFileNameEdit)) {
      Print(L"  File dialog \"%ls\": %ls\n", WindowText(dialog).c_str(),
            m_answers.fileName.c_str());
      SetWindowTextW(name, m_answers.fileName.c_str());
      Press(dialog, IDOK);
    } else if (GetDlgItem(dialog, IDYES)) {
      std::wstring text;
      for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (WindowText(child).size() > text.size()) text = WindowText(child);
      Print(L"  Question \"%ls\": %ls\n", text.c_str(), m_answers.openReadOnly ? L"Yes" : L"No");
      Press(dialog, m_answers.openReadOnly ? IDYES : IDNO);
    } else {
      Print(L"  Dialog \"%ls\": cancelled\n", WindowText(dialog).c_str());
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
  }

  void AnswerMergeDialog(HWND dialog) {
    Print(L"  Merge dialog: %ls\n", m_answers.merge ? L"one PDF" : L"one PDF per document");
    Press(dialog, m_answers.merge ? kMerge : kSingle);
    HWND list = GetDlgItem(dialog, kFileList);
    const auto& order = m_answers.order;
    for (size_t target = 0; target < order.size(); ++target) {
      int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
      for (int row = static_cast<int>(target); row < count; ++row) {
        if (RowText(list, row) != order[target]) continue;
        for (int at = row; at > static_cast<int>(target); --at) {
          LVITEMW state = {};
          state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
          SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                       reinterpret_cast<LPARAM>(&state));
          state.state = LVIS_SELECTED | LVIS_FOCUSED;
          SendMessageW(list, LVM_SETITEMSTATE, at, reinterpret_cast<LPARAM>(&state));
          Press(dialog, kUp);
        }
        break;
      }
    }
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) Print(L"    %d. %ls\n", row + 1, RowText(list, row).c_str());
    Press(dialog, IDOK);
  }

  DWORD m_ui;
  Answers m_answers;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// Creates the command `progId`, hands it the context, updates it and, when it is enabled,
// executes it while the dialogs are answered.
bool RunCommand(const wchar_t* progId, IContextItems* context, const Answers& answers) {
  CLSID clsid;
  ICommand* command = nullptr;
  HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ICommand),
                          reinterpret_cast<void**>(&command));
  if (FAILED(hr)) {
    Print(L"%ls is not available (0x%08lX): is the add-in registered?\n", progId,
          static_cast<unsigned long>(hr));
    return false;
  }
  BSTR menu = nullptr;
  command->get_MenuText(&menu);
  command->Initialize(context);
  command->Update();
  LONG status = 1;
  command->get_Status(&status);
  Print(L"%ls (\"%ls\"): %ls\n", progId, menu ? menu : L"", status == 0 ? L"enabled" : L"disabled");
  SysFreeString(menu);
  if (status == 0) {
    {
      DialogAnswerer answerer(answers);
      hr = command->Execute();
    }
    Print(L"Execute: 0x%08lX\n", static_cast<unsigned long>(hr));
  }
  command->Release();
  return status == 0;
}

void PrintJournal(const testbed::AgentJournal& journal) {
  auto entries = journal.Entries();
  Print(L"\nStarted by the command (%zu):\n", entries.size());
  for (const auto& entry : entries) {
    std::wstring what = entry.what;
    for (size_t at = what.find(L'\n'); at != std::wstring::npos; at = what.find(L'\n', at))
      what.replace(at, 1, L" | ");
    // Programs journal their command line, libraries the call they took.
    const bool program = entry.program.size() > 4 &&
                         _wcsicmp(entry.program.c_str() + entry.program.size() - 4, L".exe") == 0;
    Print(L"  %ls %ls\n    -> %ls\n", entry.program.c_str(),
          (program ? entry.Arguments() : entry.commandLine).c_str(), what.c_str());
  }
}

void PrintDocument(tb::Document* document) {
  Print(L"  %ld v%ld \"%ls\" (%ls)", document->GetLong(L"Number"), document->GetLong(L"Version"),
        document->GetString(L"Name").c_str(), document->GetString(L"Extension").c_str());
  const int pages = tbpdf::PageCount(document->ContentPath());
  if (pages > 0) Print(L", a PDF of %d pages", pages);
  Print(L"\n");
  for (const std::wstring& copy : document->Copies()) Print(L"    copied to %ls\n", copy.c_str());
  for (const auto& entry : document->History())
    Print(L"    history: [%ld] %ls\n", entry.activity, entry.comment.c_str());
  for (const auto& call : document->Recorded()) {
    if (call.member == L"RelateDocument")
      Print(L"    related to %ls\n", call.args.empty() ? L"?" : call.args[0].c_str());
    else if (call.member == L"CheckOutEx" || call.member == L"CheckInEx")
      Print(L"    %ls %ls\n", call.member == L"CheckOutEx" ? L"checked out to" : L"checked in from",
            call.args.empty() ? L"?" : call.args[0].c_str());
    else
      Print(L"    %ls\n", call.member.c_str());
  }
}

void PrintDms(const SampleWorld& world) {
  Print(L"\nThe selected documents now:\n");
  for (tb::Document* document : world.documents) PrintDocument(document);
  auto stored = tb::StoredDocuments();
  Print(L"New documents and versions stored in the DMS: %zu\n", stored.size());
  for (tb::Document* document : stored) PrintDocument(document);
}

// The n-th documents of the world, in the order the numbers are given.
std::vector<tb::Document*> Pick(const SampleWorld& world, int argc, wchar_t** argv, int first) {
  std::vector<tb::Document*> picked;
  for (int i = first; i < argc; ++i) {
    size_t n = static_cast<size_t>(_wtoi(argv[i]));
    if (n >= 1 && n <= world.documents.size()) picked.push_back(world.documents[n - 1]);
  }
  return picked;
}

std::wstring CurrentFolder() {
  wchar_t here[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, here);
  return here;
}

// Deletes what the conversion tool was handed: the copies its list names, and the list.
void DeleteHandedOver(const testbed::AgentJournal& journal) {
  for (const auto& entry : journal.Entries(testbed::kConversionToolExe)) {
    std::wstring list = entry.Arguments();
    list = list.substr(1, list.find(L'"', 1) - 1);
    std::wstring text = entry.what;
    for (size_t at = text.find(L"=\""); at != std::wstring::npos; at = text.find(L"=\"", at)) {
      size_t end = text.find(L'"', at + 2);
      DeleteFileW(text.substr(at + 2, end - at - 2).c_str());
      at = end;
    }
    DeleteFileW(list.c_str());
  }
}

}  // namespace

int RunCommandVerb(int argc, wchar_t** argv) {
  const std::wstring verb = argv[1];
  const std::wstring option = argc > 2 ? argv[2] : L"";
  testbed::PointProductAt(testbed::ProductFolder());
  tb::ResetClientCommands();
  // Copies for the editor go into a folder here, not into the client's default C:\NRPortbl.
  tbreg::Value portable(HKEY_CURRENT_USER,
                        L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable",
                        L"PORTABLE_DIRECTORY");
  const std::wstring portableFolder = CurrentFolder() + L"\\portable";
  portable.SetString(portableFolder);
  // What an earlier run left for the editor (read-only copies among it) goes first.
  std::error_code ignored;
  for (const auto& file : std::filesystem::recursive_directory_iterator(portableFolder, ignored))
    SetFileAttributesW(file.path().c_str(), FILE_ATTRIBUTE_NORMAL);
  std::filesystem::remove_all(portableFolder, ignored);
  const std::wstring result = CurrentFolder() + L"\\" + verb + L"-result.pdf";
  DeleteFileW(result.c_str());

  int failures = 0;
  {
    SampleWorld world;
    world.AddXps(1004, L"Floor plan", 2);
    world.AddPdf(1005, L"Signed offer", 2);
    world.AddPdf(1006, L"Scanned invoice", 1);
    testbed::AgentJournal journal;
    Answers answers;
    std::vector<tb::Document*> selected;
    const wchar_t* progId = nullptr;
    if (verb == L"createpdf") {
      // createpdf [merge|single] [local|dms] [n...]: the first four samples, in this order.
      progId = L"RPDFImanAddon.CreatePDF";
      answers.merge = option != L"single";
      int first = 3;
      if (argc > 3 && (std::wstring(argv[3]) == L"dms" || std::wstring(argv[3]) == L"local")) {
        answers.saveInDms = std::wstring(argv[3]) == L"dms";
        ++first;
      }
      selected.assign(world.documents.begin(), world.documents.begin() + 4);
      for (tb::Document* document : Pick(world, argc, argv, first))
        answers.order.push_back(document->GetString(L"Name"));
      answers.fileName = result;
    } else if (verb == L"newpdf") {
      // newpdf [file|scan]: a sample text file through the print agent, or a scan.
      progId = option == L"scan" ? L"RPDFImanAddon.CreateNewPDFScan"
                                 : L"RPDFImanAddon.CreateNewPDFFile";
      answers.fileName = world.folder + L"\\sample1.txt";
    } else if (verb == L"sendpdf") {
      progId = L"RPDFImanAddon.SendPDFEMail";
      selected = Pick(world, argc, argv, 2);
      if (selected.empty()) selected.assign(world.documents.begin(), world.documents.begin() + 4);
    } else if (verb == L"openinpro" || verb == L"openincnv") {
      progId = verb == L"openinpro" ? L"RPDFImanAddon.OpenInPro" : L"RPDFImanAddon.OpenInCnv";
      selected = Pick(world, argc, argv, 2);
      // The editor takes the two PDFs; the conversion tool the XPS document too.
      if (selected.empty())
        selected.assign(world.documents.begin() + (verb == L"openinpro" ? 4 : 3),
                        world.documents.end());
      if (verb == L"openinpro") {
        // The scanned invoice is checked out by a colleague; it opens read-only after a Yes.
        tb::AutoObject* colleague = tb::NewNamed(L"asmith");
        world.documents[5]->SetObject(L"InUseBy", colleague);
        colleague->Release();
        world.documents[5]->SetBool(L"CheckedOut", true);
      }
    } else {
      Print(L"unknown verb %ls\n", verb.c_str());
      return 2;
    }

    Print(L"Selection:");
    for (tb::Document* document : selected)
      Print(L" %ld \"%ls\"", document->GetLong(L"Number"), document->GetString(L"Name").c_str());
    Print(L"%ls\n", selected.empty() ? L" none (the DB1 database is the selected container)" : L"");
    IContextItems* context = nullptr;
    if (FAILED(world.MakeContext(selected, &context))) {
      Print(L"Could not create the client's context items: is tbdms.dll registered?\n");
      return 1;
    }
    if (!RunCommand(progId, context, answers)) ++failures;
    context->Release();

    // The editor, the conversion tool and the usage helper run on after Execute.
    if (verb == L"openinpro") journal.WaitFor(testbed::kPdfEditorExe, selected.size());
    if (verb == L"openincnv") journal.WaitFor(testbed::kConversionToolExe, 1);
    journal.WaitFor(testbed::kUsageStatsExe, 1, 3000);
    PrintJournal(journal);
    PrintDms(world);
    if (verb == L"openincnv") DeleteHandedOver(journal);

    if (verb == L"createpdf") {
      // A PDF stored in the DMS is exported next to the local one's place, for checking.
      auto stored = tb::StoredDocuments();
      if (!stored.empty()) CopyFileW(stored.back()->ContentPath().c_str(), result.c_str(), FALSE);
      std::vector<tbpdf::Page> pages;
      if (tbpdf::Read(result, pages)) {
        Print(L"\nThe PDF (%ls): %zu pages\n", result.c_str(), pages.size());
        for (size_t i = 0; i < pages.size(); ++i)
          Print(L"  page %zu: %ls\n", i + 1, pages[i].empty() ? L"" : pages[i][0].c_str());
      } else {
        Print(L"\nNo PDF at %ls\n", result.c_str());
        ++failures;
      }
    }
    tb::ResetClientCommands();
  }
  long live = tb::LiveObjects();
  Print(L"Client objects still alive: %ld\n", live);
  return failures || live ? 1 : 0;
}

}  // namespace host
