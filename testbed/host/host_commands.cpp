// The client host's command runs: each verb builds a selection from the sample world, runs one
// of the add-in's commands through COM the way the client does (context, Update, Execute),
// answers its dialogs the way a person would (harness::Answerer), and prints the answers and
// what the command changed (harness::Changes: helpers started, DMS, temporary folder).
#include <windows.h>
#include <objbase.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testbed/agents/journal.h"
#include "testbed/harness/answerer.h"
#include "testbed/dms/client_commands.h"
#include "testbed/host/host.h"
#include "testbed/registry/registry_sandbox.h"
#include "testbed/pdf/tbpdf.h"

namespace host {

sweep::Faults* g_faults = nullptr;

namespace {

constexpr int kSaveLocal = 204, kSaveNewDocument = 206, kRelate = 203, kSaveNewVersion = 207;
constexpr int kFileList = 216, kMerge = 217, kSingle = 218, kUp = 214;

// The windows of this thread that the add-in left behind: its own classes' windows and dialogs.
std::wstring WindowsLeft(HMODULE addin) {
  struct Found {
    HMODULE addin;
    std::wstring text;
  } found{addin, L""};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM param) -> BOOL {
        auto* found = reinterpret_cast<Found*>(param);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        const bool own = found->addin && reinterpret_cast<HMODULE>(GetClassLongPtrW(
                                             window, GCLP_HMODULE)) == found->addin;
        if (own || std::wstring(name) == L"#32770")
          found->text += std::wstring(found->text.empty() ? L"" : L", ") + name + L" \"" +
                         harness::Text(window) + (IsWindowVisible(window) ? L"\"" : L"\" hidden");
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found.text;
}

// Creates the command `progId`, hands it the context, updates it and, when it is enabled,
// executes it while the dialogs are answered. Under a fault plan, the add-in's calls are
// counted (and one fails) from the command's creation to its release.
bool RunCommand(const wchar_t* progId, IContextItems* context, harness::Answerer& person) {
  struct Armed {
    Armed() { if (g_faults) g_faults->Arm(true); }
    ~Armed() { if (g_faults) g_faults->Arm(false); }
  } armed;
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
    hr = command->Execute();
    Print(L"Execute: 0x%08lX\n", static_cast<unsigned long>(hr));
    const std::wstring left = WindowsLeft(GetModuleHandleW(L"VPDFIManageAddon.dll"));
    if (!left.empty()) Print(L"Windows left after Execute: %ls\n", left.c_str());
    person.Stop();
  }
  command->Release();
  return status == 0;
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

void PrintLines(const std::wstring& lines) {
  if (lines.empty()) Print(L"  nothing\n");
  for (size_t start = 0, end; start < lines.size(); start = end + 1) {
    end = lines.find(L'\n', start);
    if (end == std::wstring::npos) end = lines.size();
    Print(L"  %ls\n", lines.substr(start, end - start).c_str());
  }
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
  const std::wstring here = CurrentFolder();
  const std::wstring result = here + L"\\" + verb + L"-result.pdf";

  int failures = 0;
  {
    SampleWorld world;
    world.AddXps(1004, L"Floor plan", 2);
    world.AddPdf(1005, L"Signed offer", 2);
    world.AddPdf(1006, L"Scanned invoice", 1);
    // The person at the client. The system's "replace the file?" question comes first: it
    // has a Yes button too.
    harness::Answerer person;
    person.Always(harness::Saying(L"already exists"), {harness::Press(IDYES)});
    std::vector<tb::Document*> selected;
    const wchar_t* progId = nullptr;
    if (verb == L"createpdf") {
      // createpdf [merge|single] [local|dms] [n...]: the first four samples, in this order.
      progId = L"RPDFImanAddon.CreatePDF";
      bool saveInDms = false;
      int first = 3;
      if (argc > 3 && (std::wstring(argv[3]) == L"dms" || std::wstring(argv[3]) == L"local")) {
        saveInDms = std::wstring(argv[3]) == L"dms";
        ++first;
      }
      // createpdf version: the first sample alone, saved as its own new version.
      if (option == L"version")
        selected.assign(1, world.documents[0]);
      else
        selected.assign(world.documents.begin(), world.documents.begin() + 4);
      std::vector<std::wstring> order;
      for (tb::Document* document : Pick(world, argc, argv, first))
        order.push_back(document->GetString(L"Name"));
      std::vector<harness::Step> merge = {harness::Pick(option == L"single" ? kSingle : kMerge)};
      if (!order.empty()) merge.push_back(harness::Order(kFileList, kUp, order));
      merge.push_back(harness::Press(IDOK));
      person.On(harness::WithControl(kFileList), merge);
      if (option == L"version")
        person.Always(harness::WithControl(kSaveLocal),
                      {harness::Pick(kSaveNewVersion), harness::Press(IDOK)});
      else if (saveInDms)
        person.Always(harness::WithControl(kSaveLocal),
                      {harness::Pick(kSaveNewDocument), harness::Check(kRelate, true),
                       harness::Press(IDOK)});
      else
        person.Always(harness::WithControl(kSaveLocal), {harness::Pick(kSaveLocal), harness::Press(IDOK)});
      person.Always(harness::FileDialog(), {harness::FileName(result), harness::Press(IDOK)});
    } else if (verb == L"newpdf") {
      // newpdf [file|scan]: a sample text file through the print agent, or a scan.
      progId = option == L"scan" ? L"RPDFImanAddon.CreateNewPDFScan"
                                 : L"RPDFImanAddon.CreateNewPDFFile";
      person.On(harness::FileDialog(),
                {harness::FileName(world.documents[0]->ContentPath()), harness::Press(IDOK)});
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
        person.On(harness::WithControl(IDYES), {harness::Press(IDYES)});
      }
    } else {
      Print(L"unknown verb %ls\n", verb.c_str());
      return 2;
    }
    // The add-in's own messages (a missing merge plug-in, a result that is missing): read, and
    // OK.
    person.Always(harness::Titled(L"Ostrel Varnel PDF"), {harness::Press(IDOK)});
    // An earlier run's result stays: saving over it is the system's "replace?" question.
    std::error_code noFile;
    const auto resultBefore = std::filesystem::last_write_time(result, noFile);

    Print(L"Selection:");
    for (tb::Document* document : selected)
      Print(L" %ld \"%ls\"", document->GetLong(L"Number"), document->GetString(L"Name").c_str());
    Print(L"%ls\n", selected.empty() ? L" none (the DB1 database is the selected container)" : L"");
    IContextItems* context = nullptr;
    if (FAILED(world.MakeContext(selected, &context))) {
      Print(L"Could not create the client's context items: is tbdms.dll registered?\n");
      return 1;
    }
    if (!RunCommand(progId, context, person)) ++failures;
    context->Release();
    Print(L"\nAnswered:\n");
    PrintLines(person.Log());
    if (!person.Unanswered().empty()) ++failures;

    // The editor and the conversion tool run on after Execute: the effects wait for those that
    // started (a run that started none does not wait for them).
    Print(L"\nChanged:\n");
    PrintLines(world.Effects());
    if (verb == L"openincnv") DeleteHandedOver(world.journal);

    if (verb == L"createpdf" && option != L"version") {
      // A PDF stored in the DMS is exported next to the local one's place, for checking.
      auto stored = tb::StoredDocuments();
      if (!stored.empty()) CopyFileW(stored.back()->ContentPath().c_str(), result.c_str(), FALSE);
      std::vector<tbpdf::Page> pages;
      std::error_code error;
      if (std::filesystem::last_write_time(result, error) != resultBefore && tbpdf::Read(result, pages)) {
        Print(L"\nThe PDF (%ls): %zu pages\n", result.c_str(), pages.size());
        for (size_t i = 0; i < pages.size(); ++i)
          Print(L"  page %zu: %ls\n", i + 1, pages[i].empty() ? L"" : pages[i][0].c_str());
      } else {
        Print(L"\nNo new PDF at %ls\n", result.c_str());
        ++failures;
      }
    }
    tb::ResetClientCommands();
    // The file dialog leaves the current folder where the file was picked: in the samples'
    // folder, which goes with the world.
    SetCurrentDirectoryW(here.c_str());
  }
  long live = tb::LiveObjects();
  Print(L"Client objects still alive: %ld\n", live);
  return failures || live ? 1 : 0;
}

}  // namespace host
