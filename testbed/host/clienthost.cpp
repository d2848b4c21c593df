// The client host: loads the add-in the way the DMS client does (through COM, in
// process, on a single-threaded apartment), creates its command objects by ProgID,
// reads their properties, hands them a selection and calls Update, and prints what
// it did in words a person reads.
#include <windows.h>
#include <objbase.h>

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "IManExt.h"
#include "addon/registration.h"
#include "testbed/agents/journal.h"
#include "testbed/dms/tbdms.h"
#include "testbed/pdf/tbpdf.h"

namespace {

constexpr const wchar_t* kProgIds[] = {
    L"RPDFImanAddon.CreateNewPDFFile", L"RPDFImanAddon.CreateNewPDFFile_CM",
    L"RPDFImanAddon.CreateNewPDFScan", L"RPDFImanAddon.CreateNewPDFScan_CM",
    L"RPDFImanAddon.CreatePDF",        L"RPDFImanAddon.CreatePDF_CM",
    L"RPDFImanAddon.SendPDFEMail",     L"RPDFImanAddon.SendPDFEMail_CM",
    L"RPDFImanAddon.OpenInPro",        L"RPDFImanAddon.OpenInPro_CM",
    L"RPDFImanAddon.OpenInCnv",        L"RPDFImanAddon.OpenInCnv_CM",
};

void Print(const wchar_t* format, ...) {
  wchar_t text[4096];
  va_list args;
  va_start(args, format);
  _vsnwprintf(text, 4095, format, args);
  va_end(args);
  text[4095] = L'\0';
  // The console may not speak UTF-16; UTF-8 reads everywhere.
  char utf8[16384];
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  if (length > 0) fwrite(utf8, 1, static_cast<size_t>(length - 1), stdout);
}

std::wstring Text(BSTR value) {
  std::wstring text = value ? value : L"(none)";
  SysFreeString(value);
  for (size_t at = text.find(L'\t'); at != std::wstring::npos; at = text.find(L'\t', at))
    text.replace(at, 1, L"\\t");
  for (size_t at = text.find(L'\n'); at != std::wstring::npos; at = text.find(L'\n', at))
    text.replace(at, 1, L"\\n");
  return text;
}

const wchar_t* StatusText(LONG status) {
  return status == 0 ? L"enabled" : status == 1 ? L"disabled" : L"other";
}

// A small DMS world: one database, one session, three documents.
struct SampleWorld {
  tb::Session* session = nullptr;
  tb::Database* database = nullptr;
  std::vector<tb::Document*> documents;
  std::wstring folder;

  SampleWorld() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder = std::wstring(temp) + L"clienthost-samples";
    CreateDirectoryW(folder.c_str(), nullptr);
    session = tb::Session::Create(L"jdoe", L"!nrtdms:0:!session:DMSSERVER:");
    database = tb::Database::Create(L"DB1", session);
    const wchar_t* names[] = {L"Meeting notes", L"Budget 2026", L"Contract draft"};
    for (long i = 0; i < 3; ++i) {
      std::wstring path = folder + L"\\sample" + std::to_wstring(i + 1) + L".txt";
      std::string body = "Sample document " + std::to_string(i + 1) + "\r\n";
      HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      DWORD written = 0;
      WriteFile(file, body.data(), static_cast<DWORD>(body.size()), &written, nullptr);
      CloseHandle(file);
      documents.push_back(
          tb::Document::Create(database, 1001 + i, 1, names[i], L"ANSI", L"txt", path));
    }
  }
  ~SampleWorld() {
    for (tb::Document* document : documents) document->Release();
    database->Release();
    session->Release();
    for (int i = 1; i <= 3; ++i)
      DeleteFileW((folder + L"\\sample" + std::to_wstring(i) + L".txt").c_str());
    RemoveDirectoryW(folder.c_str());
  }

  // The context a client hands a command: the selected documents.
  HRESULT MakeContext(IContextItems** items) const {
    HRESULT hr = tb::NewContextItems(items);
    if (FAILED(hr)) return hr;
    std::vector<IDispatch*> selected(documents.begin(), documents.end());
    VARIANT selection;
    selection.vt = VT_ARRAY | VT_DISPATCH;
    selection.parray = tb::DispatchArray(selected);
    BSTR name = SysAllocString(L"SelectedNRTDocuments");
    hr = (*items)->Add(name, selection);
    SysFreeString(name);
    VariantClear(&selection);
    return hr;
  }
};

// The product's UI language for the configuration library, set for one run and put back after.
class ScopedUILanguage {
 public:
  explicit ScopedUILanguage(DWORD language) {
    for (int kind = 0; kind < 3; ++kind) {
      wchar_t name[] = L"UILanguage0";
      name[10] = static_cast<wchar_t>(L'0' + kind);
      DWORD size = sizeof m_saved[kind];
      m_had[kind] = RegGetValueW(HKEY_CURRENT_USER, kConfigKey, name, RRF_RT_REG_DWORD, nullptr,
                                 &m_saved[kind], &size) == ERROR_SUCCESS;
      RegSetKeyValueW(HKEY_CURRENT_USER, kConfigKey, name, REG_DWORD, &language, sizeof language);
    }
  }
  ~ScopedUILanguage() {
    for (int kind = 0; kind < 3; ++kind) {
      wchar_t name[] = L"UILanguage0";
      name[10] = static_cast<wchar_t>(L'0' + kind);
      if (m_had[kind])
        RegSetKeyValueW(HKEY_CURRENT_USER, kConfigKey, name, REG_DWORD, &m_saved[kind],
                        sizeof m_saved[kind]);
      else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kConfigKey, name);
    }
  }
  ScopedUILanguage(const ScopedUILanguage&) = delete;
  ScopedUILanguage& operator=(const ScopedUILanguage&) = delete;

 private:
  static constexpr wchar_t kConfigKey[] = L"Software\\VarnelTestbed\\Config";
  DWORD m_saved[3] = {};
  bool m_had[3] = {};
};

int ListCommands(DWORD language) {
  int failures = 0;
  testbed::PointProductAt(testbed::ProductFolder());
  std::unique_ptr<ScopedUILanguage> uiLanguage;
  if (language) {
    uiLanguage = std::make_unique<ScopedUILanguage>(language);
    Print(L"Product UI language: %lu\n", language);
  }
  {
    SampleWorld world;
    IContextItems* context = nullptr;
    HRESULT hr = world.MakeContext(&context);
    if (FAILED(hr)) {
      Print(L"Could not create the client's context items (0x%08lX): is tbdms.dll registered?\n",
            static_cast<unsigned long>(hr));
      return 1;
    }
    Print(L"Selection: %zu documents in database DB1 (", world.documents.size());
    for (size_t i = 0; i < world.documents.size(); ++i)
      Print(L"%ls%ld \"%ls\"", i ? L", " : L"", world.documents[i]->GetLong(L"Number"),
            world.documents[i]->GetString(L"Name").c_str());
    Print(L")\n\n");

    int found = 0;
    for (const wchar_t* progId : kProgIds) {
      CLSID clsid;
      ICommand* command = nullptr;
      hr = CLSIDFromProgID(progId, &clsid);
      if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ICommand),
                              reinterpret_cast<void**>(&command));
      if (FAILED(hr)) {
        Print(L"%ls: not available (0x%08lX)\n", progId, static_cast<unsigned long>(hr));
        ++failures;
        continue;
      }
      ++found;
      BSTR name = nullptr, menu = nullptr, help = nullptr;
      LONG accelerator = 0, kind = 0, before = 0, after = 0;
      command->get_Name(&name);
      command->get_MenuText(&menu);
      command->get_HelpText(&help);
      command->get_Accelerator(&accelerator);
      command->get_CommandKind(&kind);
      command->get_Status(&before);
      command->putref_Context(context);
      HRESULT updated = command->Update();
      command->get_Status(&after);
      Print(L"%ls\n  Name:        %ls\n  Menu text:   %ls\n  Help text:   %ls\n", progId,
            Text(name).c_str(), Text(menu).c_str(), Text(help).c_str());
      if (accelerator)
        Print(L"  Accelerator: Alt+%lc\n", static_cast<wchar_t>(accelerator & 0xFFFF));
      else
        Print(L"  Accelerator: none\n");
      Print(L"  Kind:        %ld\n  Status:      %ls after construction, %ls after Update "
            L"with the selection (Update 0x%08lX)\n\n",
            kind, StatusText(before), StatusText(after), static_cast<unsigned long>(updated));
      command->Release();
    }
    context->Release();
    Print(L"%d of %zu command classes found.\n", found, std::size(kProgIds));
  }
  long live = tb::LiveObjects();
  Print(L"Client objects still alive after the commands were released: %ld\n", live);
  return failures || live ? 1 : 0;
}

// --- createpdf: Create PDF on the samples, its dialogs answered as the command line says ---

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
  item.iSubItem = 0;
  item.pszText = text;
  item.cchTextMax = 260;
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

void Press(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// Answers the dialogs that the UI thread shows, the way a person at the client would.
class DialogAnswers {
 public:
  DialogAnswers(bool merge, std::vector<std::wstring> order, std::wstring saveAs)
      : m_ui(GetCurrentThreadId()), m_merge(merge), m_order(std::move(order)),
        m_saveAs(std::move(saveAs)) {
    m_thread = std::thread([this] { Run(); });
  }
  ~DialogAnswers() {
    m_stop = true;
    m_thread.join();
  }

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
      if (GetDlgItem(dialog, 216)) {
        AnswerMergeDialog(dialog);
      } else if (GetDlgItem(dialog, 204)) {
        Print(L"  Save dialog: \"Local Save\"\n");
        Press(dialog, 204);
        Press(dialog, IDOK);
      } else if (HWND name = GetDlgItem(dialog, 0x47C) ? GetDlgItem(dialog, 0x47C)
                                                       : GetDlgItem(dialog, 0x480)) {
        Print(L"  Save-As dialog: %ls\n", m_saveAs.c_str());
        SetWindowTextW(name, m_saveAs.c_str());
        Press(dialog, IDOK);
      } else {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      }
      for (int i = 0; i < 500 && IsWindow(dialog) && IsWindowVisible(dialog); ++i) Sleep(20);
      if (IsWindow(dialog) && IsWindowVisible(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      while (IsWindow(dialog) && IsWindowVisible(dialog)) Sleep(20);
    }
  }
  void AnswerMergeDialog(HWND dialog) {
    Print(L"  Merge dialog: %ls\n", m_merge ? L"one PDF" : L"one PDF per document");
    Press(dialog, m_merge ? 217 : 218);
    HWND list = GetDlgItem(dialog, 216);
    for (size_t target = 0; target < m_order.size(); ++target) {
      int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
      for (int row = static_cast<int>(target); row < count; ++row) {
        if (RowText(list, row) != m_order[target]) continue;
        for (int at = row; at > static_cast<int>(target); --at) {
          LVITEMW state = {};
          state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
          SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
          state.state = LVIS_SELECTED | LVIS_FOCUSED;
          SendMessageW(list, LVM_SETITEMSTATE, at, reinterpret_cast<LPARAM>(&state));
          Press(dialog, 214);
        }
        break;
      }
    }
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) Print(L"    %d. %ls\n", row + 1, RowText(list, row).c_str());
    Press(dialog, IDOK);
  }

  DWORD m_ui;
  bool m_merge;
  std::vector<std::wstring> m_order;
  std::wstring m_saveAs;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// `clienthost createpdf [merge|single] [n...]`: the n-th sample documents in this order.
int RunCreatePdf(int argc, wchar_t** argv) {
  const bool merge = argc <= 2 || std::wstring(argv[2]) != L"single";
  testbed::PointProductAt(testbed::ProductFolder());
  wchar_t here[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, here);
  const std::wstring output = std::wstring(here) + L"\\createpdf-result.pdf";
  DeleteFileW(output.c_str());
  int failures = 0;
  {
    SampleWorld world;
    std::wstring xps = world.folder + L"\\sample4.xps";
    testbed::WriteXpsPackage(xps, 2);
    world.documents.push_back(
        tb::Document::Create(world.database, 1004, 1, L"Floor plan", L"XPS", L"xps", xps));
    std::vector<std::wstring> order;
    for (int i = 3; i < argc; ++i) {
      size_t n = static_cast<size_t>(_wtoi(argv[i]));
      if (n >= 1 && n <= world.documents.size())
        order.push_back(world.documents[n - 1]->GetString(L"Name"));
    }
    IContextItems* context = nullptr;
    CLSID clsid;
    ICommand* command = nullptr;
    HRESULT hr = world.MakeContext(&context);
    if (SUCCEEDED(hr)) hr = CLSIDFromProgID(L"RPDFImanAddon.CreatePDF", &clsid);
    if (SUCCEEDED(hr))
      hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ICommand),
                            reinterpret_cast<void**>(&command));
    if (FAILED(hr)) {
      Print(L"Create PDF is not available (0x%08lX)\n", static_cast<unsigned long>(hr));
      if (context) context->Release();
      return 1;
    }
    command->putref_Context(context);
    command->Update();
    Print(L"Create PDF on %zu documents, %ls:\n", world.documents.size(),
          merge ? L"merged" : L"one PDF each");
    {
      DialogAnswers answers(merge, order, output);
      hr = command->Execute();
    }
    Print(L"Execute: 0x%08lX\n", static_cast<unsigned long>(hr));
    command->Release();
    context->Release();
    std::vector<tbpdf::Page> pages;
    if (tbpdf::Read(output, pages)) {
      Print(L"The PDF went to %ls: %zu pages\n", output.c_str(), pages.size());
      for (size_t i = 0; i < pages.size(); ++i)
        Print(L"  page %zu: %ls\n", i + 1, pages[i].empty() ? L"" : pages[i][0].c_str());
    } else {
      Print(L"No PDF at %ls\n", output.c_str());
      ++failures;
    }
    for (tb::Document* document : world.documents) {
      Print(L"Document %ld \"%ls\": %zu history entries\n", document->GetLong(L"Number"),
            document->GetString(L"Name").c_str(), document->History().size());
      for (const auto& entry : document->History())
        Print(L"  history: %ls\n", entry.comment.c_str());
    }
    world.documents.back()->Release();
    world.documents.pop_back();
    DeleteFileW(xps.c_str());
  }
  long live = tb::LiveObjects();
  Print(L"Client objects still alive: %ld\n", live);
  return failures || live ? 1 : 0;
}

}  // namespace

// Every place that registration writes, as the registry stands now, with what is there.
void DumpKey(HKEY key, const std::wstring& path, int depth) {
  Print(L"%*ls[%ls]\n", depth * 2, L"", path.c_str());
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    BYTE data[2048];
    DWORD nameLength = 256, type = 0, size = sizeof data - 2;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS)
      break;
    data[size] = data[size + 1] = 0;
    if (type == REG_SZ || type == REG_EXPAND_SZ)
      Print(L"%*ls  %ls = \"%ls\"\n", depth * 2, L"", nameLength ? name : L"@",
            reinterpret_cast<const wchar_t*>(data));
    else if (type == REG_DWORD)
      Print(L"%*ls  %ls = dword:%lu\n", depth * 2, L"", nameLength ? name : L"@",
            *reinterpret_cast<const DWORD*>(data));
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
    DumpKey(sub, path + L"\\" + name, depth + 1);
    RegCloseKey(sub);
  }
}

int ShowRegistration() {
  for (const vpdf::RegistrationEntry& entry : vpdf::RegistrationEntries()) {
    HKEY key = nullptr;
    std::wstring where = entry.rootName + L"\\" + entry.path;
    if (RegOpenKeyExW(entry.root, entry.path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      Print(L"(%ls) %ls: not present\n", entry.kind.c_str(), where.c_str());
      continue;
    }
    if (entry.value.empty()) {
      Print(L"(%ls)\n", entry.kind.c_str());
      DumpKey(key, where, 0);
    } else {
      wchar_t text[2048] = {};
      DWORD size = sizeof text - sizeof(wchar_t);
      bool read = RegGetValueW(key, nullptr, entry.value.c_str(), RRF_RT_REG_SZ, nullptr, text,
                               &size) == ERROR_SUCCESS;
      Print(L"(%ls) %ls\n  %ls = %ls\n", entry.kind.c_str(), where.c_str(), entry.value.c_str(),
            read ? text : L"(not present)");
    }
    RegCloseKey(key);
  }
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  std::wstring verb = argc > 1 ? argv[1] : L"list";
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int result = 2;
  if (verb == L"list") {
    result = ListCommands(argc > 2 ? wcstoul(argv[2], nullptr, 0) : 0);
  } else if (verb == L"registry") {
    result = ShowRegistration();
  } else if (verb == L"createpdf") {
    result = RunCreatePdf(argc, argv);
  } else {
    Print(L"usage: clienthost [list [language id] | registry | createpdf [merge|single] [n...]]\n");
  }
  CoUninitialize();
  return result;
}
