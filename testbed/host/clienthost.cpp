// The client host: loads the add-in the way the DMS client does (through COM, in
// process, on a single-threaded apartment), creates its command objects by ProgID,
// reads their properties, hands them a selection and calls Update or runs them, and prints
// what it did in words a person reads.
#include <windows.h>
#include <objbase.h>

#include <exception>
#include <string>
#include <vector>

#include "IManExt.h"
#include "addon/registration.h"
#include "testbed/agents/journal.h"
#include "testbed/dms/tbdms.h"
#include "testbed/host/host.h"
#include "testbed/registry/registry_sandbox.h"

namespace {

using host::Print;
using host::SampleWorld;

constexpr const wchar_t* kProgIds[] = {
    L"RPDFImanAddon.CreateNewPDFFile", L"RPDFImanAddon.CreateNewPDFFile_CM",
    L"RPDFImanAddon.CreateNewPDFScan", L"RPDFImanAddon.CreateNewPDFScan_CM",
    L"RPDFImanAddon.CreatePDF",        L"RPDFImanAddon.CreatePDF_CM",
    L"RPDFImanAddon.SendPDFEMail",     L"RPDFImanAddon.SendPDFEMail_CM",
    L"RPDFImanAddon.OpenInPro",        L"RPDFImanAddon.OpenInPro_CM",
    L"RPDFImanAddon.OpenInCnv",        L"RPDFImanAddon.OpenInCnv_CM",
};

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

int ListCommands(DWORD language) {
  int failures = 0;
  {
    SampleWorld world;
    // The product's UI language for the configuration library, for this run only.
    if (language) {
      world.SetUILanguage(language);
      Print(L"Product UI language: %lu\n", language);
    }
    IContextItems* context = nullptr;
    std::vector<tb::Document*> selected(world.documents.begin(), world.documents.end());
    HRESULT hr = world.MakeContext(selected, &context);
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
      command->Initialize(context);
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

// Every place that registration writes, as the registry stands now, in the sandbox's dump
// that the tests compare.
int ShowRegistration() {
  for (const vpdf::RegistrationEntry& entry : vpdf::RegistrationEntries()) {
    const std::wstring where = entry.rootName + L"\\" + entry.path;
    if (!tbreg::KeyExists(entry.root, entry.path)) {
      Print(L"(%ls) %ls: not present\n", entry.kind.c_str(), where.c_str());
    } else if (entry.value.empty()) {
      Print(L"(%ls) %ls\n%ls", entry.kind.c_str(), entry.rootName.c_str(),
            tbreg::Dump(entry.root, entry.path).c_str());
    } else {
      Print(L"(%ls) %ls\n  %ls = %ls\n", entry.kind.c_str(), where.c_str(), entry.value.c_str(),
            tbreg::GetString(entry.root, entry.path, entry.value.c_str(), L"(not present)")
                .c_str());
    }
  }
  return 0;
}

namespace {

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* crash) {
  Print(L"Crashed: exception 0x%08lX\n", crash->ExceptionRecord->ExceptionCode);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

// `clienthost fault <function> <k> <verb> ...`: the verb's run with the add-in's k-th call of
// `function` failing (k 0: none), then whether it came and how often the add-in called each
// function. A crash is reported, not debugged.
int RunFaulted(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  SetUnhandledExceptionFilter(ReportCrash);
  std::set_terminate([] {
    Print(L"Crashed: terminate\n");
    TerminateProcess(GetCurrentProcess(), 3);
  });
  // The add-in as COM finds it, loaded first so that its import table can be changed.
  CLSID clsid;
  wchar_t key[96] = L"CLSID\\";
  if (FAILED(CLSIDFromProgID(L"RPDFImanAddon.CreatePDF", &clsid))) return 2;
  StringFromGUID2(clsid, key + 6, 64);
  wcscat(key, L"\\InprocServer32");
  const std::wstring path = tbreg::GetString(HKEY_CLASSES_ROOT, key, L"", L"");
  HMODULE addin = LoadLibraryW(path.c_str());
  if (!addin) {
    Print(L"The add-in %ls does not load\n", path.c_str());
    return 2;
  }
  char function[128] = {};
  WideCharToMultiByte(CP_UTF8, 0, argv[2], -1, function, sizeof function, nullptr, nullptr);
  int result = 2;
  {
    sweep::Faults faults(addin, function, wcstol(argv[3], nullptr, 10));
    host::g_faults = &faults;
    result = host::RunCommandVerb(argc - 3, argv + 3);
    host::g_faults = nullptr;
    Print(L"Fault: %ls\n", faults.Fired() ? L"fired" : L"not reached");
    const std::string counts = faults.Counts();
    Print(L"Calls:\n%hs", counts.c_str());
  }
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring verb = argc > 1 ? argv[1] : L"list";
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int result = 2;
  if (verb == L"list") {
    result = ListCommands(argc > 2 ? wcstoul(argv[2], nullptr, 0) : 0);
  } else if (verb == L"registry") {
    result = ShowRegistration();
  } else if (verb == L"dialogs") {
    result = host::ShowDialog(argc, argv);
  } else if (verb == L"fault") {
    result = RunFaulted(argc, argv);
  } else if (verb == L"createpdf" || verb == L"newpdf" || verb == L"sendpdf" ||
             verb == L"openinpro" || verb == L"openincnv") {
    result = host::RunCommandVerb(argc, argv);
  } else {
    Print(L"usage: clienthost list [language id] | registry\n"
          L"       clienthost createpdf [merge|single|version] [local|dms] [n...]\n"
          L"       clienthost newpdf [file|scan] | sendpdf [n...] | openinpro [n...] | openincnv [n...]\n"
          L"       clienthost dialogs merge|save|message|progress [options]\n"
          L"       clienthost fault <function> <k> <command verb> ...\n");
  }
  CoUninitialize();
  return result;
}
