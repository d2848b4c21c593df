// The client host: loads the add-in the way the DMS client does (through COM, in
// process, on a single-threaded apartment), creates its command objects by ProgID,
// reads their properties, hands them a selection and calls Update, and prints what
// it did in words a person reads.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

#include "IManExt.h"
#include "testbed/dms/tbdms.h"

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

int ListCommands() {
  int failures = 0;
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring verb = argc > 1 ? argv[1] : L"list";
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int result = 2;
  if (verb == L"list") {
    result = ListCommands();
  } else {
    Print(L"usage: clienthost [list]\n");
  }
  CoUninitialize();
  return result;
}
