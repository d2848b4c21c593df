// What the benchmarks of a command's Execute time apart from the command's own work: the
// helper processes (their start and the wait for them), the merge plug-in, the dialogs (the
// person answering them included) and the calls into the client's objects (tbdms.dll, which
// reports them itself: ObserveCalls). The add-in's code is linked into the benchmark, so its calls
// of the system functions go through this program's import table, where they are timed.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <list>

#include "bench/sampler.h"
#include "outside/companions.h"
#include "testbed/agents/journal.h"
#include "testbed/dms/tbdms.h"
#include "testbed/harness/command_world.h"
#include "testbed/harness/import_hook.h"
#include "testbed/registry/registry_sandbox.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// Time spent below each boundary in the current round, in microseconds.
struct Spent {
  double start = 0, wait = 0, plugin = 0, dialogs = 0;
  double client = 0;  // inside the client's objects, outside every other boundary
  double probe = 0;  // the benchmark's own looks (bench::g_onWait), never the command's
  // Part of the command's own time: its calls that open, read, make or delete a file by name
  // (each one a request to the file system that no faster code makes cheaper).
  double files = 0;
  int fileCalls = 0;
};
inline Spent g_spent;

class Timer {
 public:
  // `apart`: the time is not the command's own (the profile leaves it out); else it is what is
  // measured (the profile looks only there).
  explicit Timer(double& into, bool apart = true) : m_into(into), m_apart(apart), m_begin(Clock::now()) {
    ++(m_apart ? bench::Sampler::Apart() : bench::Sampler::Measured());
  }
  ~Timer() {
    m_into += std::chrono::duration<double, std::micro>(Clock::now() - m_begin).count();
    --(m_apart ? bench::Sampler::Apart() : bench::Sampler::Measured());
  }
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

 private:
  double& m_into;
  bool m_apart;
  Clock::time_point m_begin;
};

// The product pointed at the testbed's folder while this lives; the settings that say where it
// is installed are put back as they were when it goes.
class ProductAtTestbed {
 public:
  ProductAtTestbed() { testbed::PointProductAt(testbed::ProductFolder()); }

 private:
  tbreg::Value m_path{HKEY_LOCAL_MACHINE, harness::kRunProductKey, L"InstallPath"};
  tbreg::Value m_path32{HKEY_LOCAL_MACHINE, harness::kRunProductKey32, L"InstallPath", KEY_WOW64_32KEY};
  tbreg::Value m_config{HKEY_CURRENT_USER, harness::kRunConfigKey, L"InstallPath"};
};

// The real functions, from the hooks installed in main.
inline decltype(&ShellExecuteExW) g_shellExecute = nullptr;
inline decltype(&CreateProcessW) g_createProcess = nullptr;
inline decltype(&MsgWaitForMultipleObjects) g_wait = nullptr;
inline decltype(&DialogBoxIndirectParamW) g_dialog = nullptr;

inline BOOL WINAPI TimedShellExecute(SHELLEXECUTEINFOW* info) {
  Timer timer(g_spent.start);
  return g_shellExecute(info);
}
inline BOOL WINAPI TimedCreateProcess(LPCWSTR application, LPWSTR commandLine,
                               LPSECURITY_ATTRIBUTES process, LPSECURITY_ATTRIBUTES thread,
                               BOOL inherit, DWORD flags, LPVOID environment, LPCWSTR folder,
                               LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info) {
  Timer timer(g_spent.start);
  return g_createProcess(application, commandLine, process, thread, inherit, flags, environment,
                         folder, startup, info);
}
// Called before each wait for a helper, when the files the helper works on are on disk.
inline void (*g_onWait)() = nullptr;
inline DWORD WINAPI TimedWait(DWORD count, const HANDLE* handles, BOOL all, DWORD ms, DWORD mask) {
  if (g_onWait) {
    Timer probe(g_spent.probe);
    g_onWait();
  }
  Timer timer(g_spent.wait);
  return g_wait(count, handles, all, ms, mask);
}
inline INT_PTR WINAPI TimedDialog(HINSTANCE instance, LPCDLGTEMPLATEW dialog, HWND parent, DLGPROC proc,
                           LPARAM param) {
  Timer timer(g_spent.dialogs);
  return g_dialog(instance, dialog, parent, proc, param);
}

// A file call of the command's thread, counted into Spent::files (and still own time).
inline Clock::time_point g_fileBegin;
inline int g_fileDepth = 0;
class FileCall {
 public:
  FileCall() : m_counted(Counted()) {
    if (m_counted && g_fileDepth++ == 0) g_fileBegin = Clock::now();
  }
  ~FileCall() {
    if (!m_counted || --g_fileDepth > 0) return;
    g_spent.files += std::chrono::duration<double, std::micro>(Clock::now() - g_fileBegin).count();
    ++g_spent.fileCalls;
  }
  FileCall(const FileCall&) = delete;
  FileCall& operator=(const FileCall&) = delete;

 private:
  static bool Counted();
  bool m_counted;
};
inline decltype(&CreateFileW) g_createFile = nullptr;
inline decltype(&ReadFile) g_readFile = nullptr;
inline decltype(&DeleteFileW) g_deleteFile = nullptr;
inline decltype(&GetFileAttributesW) g_attributes = nullptr;
inline HANDLE WINAPI TimedCreateFile(LPCWSTR path, DWORD access, DWORD share,
                                     LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                     DWORD flags, HANDLE from) {
  FileCall call;
  return g_createFile(path, access, share, security, disposition, flags, from);
}
inline BOOL WINAPI TimedReadFile(HANDLE file, LPVOID into, DWORD size, LPDWORD read,
                                 LPOVERLAPPED overlapped) {
  FileCall call;
  return g_readFile(file, into, size, read, overlapped);
}
inline BOOL WINAPI TimedDeleteFile(LPCWSTR path) {
  FileCall call;
  return g_deleteFile(path);
}
inline DWORD WINAPI TimedAttributes(LPCWSTR path) {
  FileCall call;
  return g_attributes(path);
}

// The calls of the command's thread into the client's objects; one made inside another
// boundary (a dialog's) is that boundary's time already.
inline DWORD g_commandThread = 0;
inline Clock::time_point g_clientBegin;
inline bool g_inClient = false;
inline void EnterClient() {
  if (GetCurrentThreadId() != g_commandThread || Sampler::Apart().load() > 0) return;
  ++Sampler::Apart();
  g_inClient = true;
  g_clientBegin = Clock::now();
}
inline void LeaveClient() {
  if (GetCurrentThreadId() != g_commandThread || !g_inClient) return;
  g_spent.client += std::chrono::duration<double, std::micro>(Clock::now() - g_clientBegin).count();
  g_inClient = false;
  --Sampler::Apart();
}

// The merge plug-in's entry points, each timed around the real one.
inline outside::PdfJoin g_join;
inline int TimedInit(int value) {
  Timer timer(g_spent.plugin);
  return g_join.InitPDFAttach(value);
}
inline int TimedOpen(const wchar_t* path, void** handle, const char* password) {
  Timer timer(g_spent.plugin);
  return g_join.DoOpenFile(path, handle, password);
}
inline int TimedMerge(void* handle, const wchar_t* path, const wchar_t* a, const wchar_t* b,
               const wchar_t* c, const wchar_t* d, const char* e, short f) {
  Timer timer(g_spent.plugin);
  return g_join.DoMerge2(handle, path, a, b, c, d, e, f);
}
inline int TimedSave(const wchar_t* path, void* handle, int value) {
  Timer timer(g_spent.plugin);
  return g_join.DoSaveFile(path, handle, value);
}
inline int TimedEnd(int value) {
  Timer timer(g_spent.plugin);
  return g_join.EndPDFAttach(value);
}

// Puts `replacement` into this program's import slot of `function` for the life of the
// program, `original` getting the real one; false when the program does not import it.
template <typename Fn>
bool Hook(const char* dll, const char* function, Fn replacement, Fn& original) {
  static std::list<testing_support::ScopedImportHook> hooks;
  const auto& hook = hooks.emplace_back(dll, function, reinterpret_cast<void*>(replacement));
  if (!hook.Installed()) return false;
  original = hook.template Original<Fn>();
  return true;
}

// Installs the timing of the helpers, the dialogs, the merge plug-in and the client's objects
// for the life of the program (the calling thread is the command's); false (with a message)
// when one of them cannot be timed.
inline bool InstallTimers() {
  auto* join = const_cast<outside::PdfJoin*>(outside::PdfJoinPlugin());
  if (!join) {
    std::printf("The merge plug-in is missing beside the add-in: build first.\n");
    return false;
  }
  g_join = *join;
  *join = {&TimedInit, &TimedOpen, &TimedMerge, &TimedSave, &TimedEnd};
  if (!Hook("SHELL32.dll", "ShellExecuteExW", &TimedShellExecute, g_shellExecute) ||
      !Hook("KERNEL32.dll", "CreateProcessW", &TimedCreateProcess, g_createProcess) ||
      !Hook("USER32.dll", "MsgWaitForMultipleObjects", &TimedWait, g_wait) ||
      !Hook("USER32.dll", "DialogBoxIndirectParamW", &TimedDialog, g_dialog)) {
    std::printf("A system function to time is not imported by this program.\n");
    return false;
  }
  g_commandThread = GetCurrentThreadId();
  tb::ObserveCalls(&EnterClient, &LeaveClient);
  return true;
}

// Times the command's file calls as well (InstallTimers first).
inline bool InstallFileTimers() {
  if (!Hook("KERNEL32.dll", "CreateFileW", &TimedCreateFile, g_createFile) ||
      !Hook("KERNEL32.dll", "ReadFile", &TimedReadFile, g_readFile) ||
      !Hook("KERNEL32.dll", "DeleteFileW", &TimedDeleteFile, g_deleteFile) ||
      !Hook("KERNEL32.dll", "GetFileAttributesW", &TimedAttributes, g_attributes)) {
    std::printf("A file function to time is not imported by this program.\n");
    return false;
  }
  return true;
}

// Only the command's own calls: not those of the client's objects, of a dialog or of the
// benchmark's looks, which are timed apart already.
inline bool FileCall::Counted() {
  return GetCurrentThreadId() == g_commandThread && Sampler::Apart().load() == 0 &&
         Sampler::Measured().load() > 0;
}

}  // namespace bench
