// Times Create PDF's Execute on a merge of 30 documents and splits the time into what the
// helper processes take (their start and the wait for them), what the merge plug-in takes, what
// the dialogs take (the person answering them included), and what is left: the command's own
// work. Run by hand under Wine (README, Benchmarks): not a test.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "commands/createpdf/create_pdf.h"
#include "outside/companions.h"
#include "testbed/agents/journal.h"
#include "testbed/dms/tbdms.h"
#include "testbed/harness/answerer.h"
#include "testbed/harness/import_hook.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDocuments = 30;
constexpr int kRounds = 5;

// Time spent below each boundary in the current round, in microseconds.
struct Spent {
  double start = 0, wait = 0, plugin = 0, dialogs = 0;
};
Spent g_spent;

class Timer {
 public:
  explicit Timer(double& into) : m_into(into), m_begin(Clock::now()) {}
  ~Timer() {
    m_into += std::chrono::duration<double, std::micro>(Clock::now() - m_begin).count();
  }
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

 private:
  double& m_into;
  Clock::time_point m_begin;
};

// The real functions, from the hooks installed in main.
decltype(&ShellExecuteExW) g_shellExecute = nullptr;
decltype(&CreateProcessW) g_createProcess = nullptr;
decltype(&MsgWaitForMultipleObjects) g_wait = nullptr;
decltype(&DialogBoxIndirectParamW) g_dialog = nullptr;

BOOL WINAPI TimedShellExecute(SHELLEXECUTEINFOW* info) {
  Timer timer(g_spent.start);
  return g_shellExecute(info);
}
BOOL WINAPI TimedCreateProcess(LPCWSTR application, LPWSTR commandLine,
                               LPSECURITY_ATTRIBUTES process, LPSECURITY_ATTRIBUTES thread,
                               BOOL inherit, DWORD flags, LPVOID environment, LPCWSTR folder,
                               LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info) {
  Timer timer(g_spent.start);
  return g_createProcess(application, commandLine, process, thread, inherit, flags, environment,
                         folder, startup, info);
}
DWORD WINAPI TimedWait(DWORD count, const HANDLE* handles, BOOL all, DWORD ms, DWORD mask) {
  Timer timer(g_spent.wait);
  return g_wait(count, handles, all, ms, mask);
}
INT_PTR WINAPI TimedDialog(HINSTANCE instance, LPCDLGTEMPLATEW dialog, HWND parent, DLGPROC proc,
                           LPARAM param) {
  Timer timer(g_spent.dialogs);
  return g_dialog(instance, dialog, parent, proc, param);
}

// The merge plug-in's entry points, each timed around the real one.
outside::PdfJoin g_join;
int TimedInit(int value) {
  Timer timer(g_spent.plugin);
  return g_join.InitPDFAttach(value);
}
int TimedOpen(const wchar_t* path, void** handle, const char* password) {
  Timer timer(g_spent.plugin);
  return g_join.DoOpenFile(path, handle, password);
}
int TimedMerge(void* handle, const wchar_t* path, const wchar_t* a, const wchar_t* b,
               const wchar_t* c, const wchar_t* d, const char* e, short f) {
  Timer timer(g_spent.plugin);
  return g_join.DoMerge2(handle, path, a, b, c, d, e, f);
}
int TimedSave(const wchar_t* path, void* handle, int value) {
  Timer timer(g_spent.plugin);
  return g_join.DoSaveFile(path, handle, value);
}
int TimedEnd(int value) {
  Timer timer(g_spent.plugin);
  return g_join.EndPDFAttach(value);
}

// The person: merges in the order shown, then cancels the save question.
constexpr int kFileList = 216, kMerge = 217, kSaveLocal = 204;

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  testbed::PointProductAt(testbed::ProductFolder());
  auto* join = const_cast<outside::PdfJoin*>(outside::PdfJoinPlugin());
  if (!join) {
    std::printf("The merge plug-in is missing beside the add-in: build first.\n");
    return 1;
  }
  g_join = *join;
  *join = {&TimedInit, &TimedOpen, &TimedMerge, &TimedSave, &TimedEnd};
  testing_support::ScopedImportHook shell("SHELL32.dll", "ShellExecuteExW",
                                          reinterpret_cast<void*>(&TimedShellExecute));
  testing_support::ScopedImportHook create("KERNEL32.dll", "CreateProcessW",
                                           reinterpret_cast<void*>(&TimedCreateProcess));
  testing_support::ScopedImportHook wait("USER32.dll", "MsgWaitForMultipleObjects",
                                         reinterpret_cast<void*>(&TimedWait));
  testing_support::ScopedImportHook dialog("USER32.dll", "DialogBoxIndirectParamW",
                                           reinterpret_cast<void*>(&TimedDialog));
  if (!shell.Installed() || !create.Installed() || !wait.Installed() || !dialog.Installed()) {
    std::printf("A system function to time is not imported by this program.\n");
    return 1;
  }
  g_shellExecute = shell.Original<decltype(g_shellExecute)>();
  g_createProcess = create.Original<decltype(g_createProcess)>();
  g_wait = wait.Original<decltype(g_wait)>();
  g_dialog = dialog.Original<decltype(g_dialog)>();

  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"bench_execute";
  CreateDirectoryW(folder.c_str(), nullptr);
  tb::Session* session = tb::Session::Create(L"jdoe", L"DMSSRV");
  tb::Database* database = tb::Database::Create(L"DB1", session);
  std::vector<IDispatch*> documents;
  for (int i = 1; i <= kDocuments; ++i) {
    const std::wstring path = folder + L"\\doc" + std::to_wstring(i) + L".txt";
    std::ofstream(path.c_str(), std::ios::binary) << "Document " << i << "\r\n";
    documents.push_back(tb::Document::Create(database, 1000 + i, 1, L"Document " + std::to_wstring(i),
                                             L"ANSI", L"txt", path));
  }

  std::printf("Create PDF, merge of %d text documents; times in ms\n", kDocuments);
  std::printf("%6s %9s %9s %9s %9s %9s %10s %11s\n", "round", "Execute", "start", "wait",
              "plug-in", "dialogs", "own", "own/doc");
  std::vector<double> own;
  for (int round = 1; round <= kRounds; ++round) {
    vpdf::ComPtr<vpdf::CCreatePDF> command(new vpdf::CCreatePDF);
    IContextItems* context = nullptr;
    if (FAILED(tb::NewContextItems(&context))) return 1;
    VARIANT selection;
    selection.vt = VT_ARRAY | VT_DISPATCH;
    selection.parray = tb::DispatchArray(documents);
    BSTR name = SysAllocString(L"SelectedNRTDocuments");
    context->Add(name, selection);
    SysFreeString(name);
    VariantClear(&selection);
    command->Initialize(context);

    g_spent = {};
    double total = 0;
    {
      harness::Answerer person;
      person.On(harness::WithControl(kFileList), {harness::Pick(kMerge), harness::Press(IDOK)})
          .On(harness::WithControl(kSaveLocal), {harness::Press(IDCANCEL)});
      Timer timer(total);
      command->Execute();
    }
    command.Reset();
    context->Release();
    const double rest = total - g_spent.start - g_spent.wait - g_spent.plugin - g_spent.dialogs;
    own.push_back(rest);
    std::printf("%6d %9.1f %9.1f %9.1f %9.1f %9.1f %10.1f %11.2f\n", round, total / 1000,
                g_spent.start / 1000, g_spent.wait / 1000, g_spent.plugin / 1000,
                g_spent.dialogs / 1000, rest / 1000, rest / 1000 / kDocuments);
  }
  std::sort(own.begin(), own.end());
  std::printf("own time, median of %d rounds: %.1f ms (%.2f ms per document)\n", kRounds,
              own[kRounds / 2] / 1000, own[kRounds / 2] / 1000 / kDocuments);

  for (IDispatch* document : documents) document->Release();
  database->Release();
  session->Release();
  for (int i = 1; i <= kDocuments; ++i)
    DeleteFileW((folder + L"\\doc" + std::to_wstring(i) + L".txt").c_str());
  RemoveDirectoryW(folder.c_str());
  std::printf("client objects still alive: %ld\n", tb::LiveObjects());
  CoUninitialize();
  return 0;
}
