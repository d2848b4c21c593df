#include "testbed/sweep/faults.h"

#include <commdlg.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "testbed/harness/import_hook.h"

namespace sweep {
namespace {

std::atomic<bool> g_armed{false};
std::atomic<bool> g_fired{false};
int g_target = -1;  // the table line of the function to fail
long g_k = 0;

// One stand-in per table line: counts the calls while armed and fails the k-th of the target.
template <int Line, class Fn>
struct Stub;
template <int Line, class R, class... A>
struct Stub<Line, R (*)(A...)> {
  static inline R (*original)(A...) = nullptr;
  static inline std::atomic<long> calls{0};
  static inline R failure{};
  static inline DWORD error = 0;
  static R Call(A... args) {
    if (g_armed) {
      const long call = ++calls;
      if (Line == g_target && call == g_k) {
        g_fired = true;
        SetLastError(error);
        return failure;
      }
    }
    return original(args...);
  }
};

struct Entry {
  const char* dll;
  const char* name;
  int line;
  void* stub;
  void** original;
  std::atomic<long>* calls;
};

template <int Line, class Fn, class R>
Entry Make(const char* dll, const char* name, R failure, DWORD error) {
  using S = Stub<Line, Fn>;
  S::failure = failure;
  S::error = error;
  return {dll, name, Line, reinterpret_cast<void*>(&S::Call),
          reinterpret_cast<void**>(&S::original), &S::calls};
}

#define VPDF_FAULT(dll, fn, failure, error) \
  Make<__LINE__, decltype(&fn)>(dll, #fn, failure, error)

const std::vector<Entry>& Table() {
  static const std::vector<Entry> table = {
      VPDF_FAULT("KERNEL32.dll", CreateFileW, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED),
      VPDF_FAULT("KERNEL32.dll", WriteFile, FALSE, ERROR_DISK_FULL),
      VPDF_FAULT("KERNEL32.dll", ReadFile, FALSE, ERROR_READ_FAULT),
      VPDF_FAULT("KERNEL32.dll", GetTempPathW, 0UL, ERROR_ACCESS_DENIED),
      VPDF_FAULT("KERNEL32.dll", GetTempFileNameW, 0U, ERROR_ACCESS_DENIED),
      VPDF_FAULT("KERNEL32.dll", CreateDirectoryW, FALSE, ERROR_ACCESS_DENIED),
      VPDF_FAULT("KERNEL32.dll", CopyFileW, FALSE, ERROR_ACCESS_DENIED),
      VPDF_FAULT("KERNEL32.dll", DeleteFileW, FALSE, ERROR_SHARING_VIOLATION),
      VPDF_FAULT("KERNEL32.dll", GetFileAttributesW, INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED),
      VPDF_FAULT("KERNEL32.dll", SetFileAttributesW, FALSE, ERROR_ACCESS_DENIED),
      VPDF_FAULT("KERNEL32.dll", GetShortPathNameW, 0UL, ERROR_ACCESS_DENIED),
      VPDF_FAULT("KERNEL32.dll", GetModuleFileNameW, 0UL, ERROR_INSUFFICIENT_BUFFER),
      VPDF_FAULT("KERNEL32.dll", LoadLibraryW, static_cast<HMODULE>(nullptr), ERROR_MOD_NOT_FOUND),
      VPDF_FAULT("KERNEL32.dll", LoadLibraryExW, static_cast<HMODULE>(nullptr), ERROR_MOD_NOT_FOUND),
      VPDF_FAULT("KERNEL32.dll", GetProcAddress, static_cast<FARPROC>(nullptr), ERROR_PROC_NOT_FOUND),
      VPDF_FAULT("KERNEL32.dll", FindResourceW, static_cast<HRSRC>(nullptr), ERROR_RESOURCE_NAME_NOT_FOUND),
      VPDF_FAULT("KERNEL32.dll", LoadResource, static_cast<HGLOBAL>(nullptr), ERROR_NOT_ENOUGH_MEMORY),
      VPDF_FAULT("KERNEL32.dll", CreateThread, static_cast<HANDLE>(nullptr), ERROR_NOT_ENOUGH_MEMORY),
      VPDF_FAULT("KERNEL32.dll", CreateEventW, static_cast<HANDLE>(nullptr), ERROR_NOT_ENOUGH_MEMORY),
      VPDF_FAULT("KERNEL32.dll", CreateProcessW, FALSE, ERROR_FILE_NOT_FOUND),
      VPDF_FAULT("KERNEL32.dll", WaitForSingleObject, WAIT_FAILED, ERROR_INVALID_HANDLE),
      VPDF_FAULT("KERNEL32.dll", GetExitCodeProcess, FALSE, ERROR_INVALID_HANDLE),
      VPDF_FAULT("KERNEL32.dll", MultiByteToWideChar, 0, ERROR_INSUFFICIENT_BUFFER),
      VPDF_FAULT("KERNEL32.dll", WideCharToMultiByte, 0, ERROR_INSUFFICIENT_BUFFER),
      VPDF_FAULT("KERNEL32.dll", ExpandEnvironmentStringsW, 0UL, ERROR_INSUFFICIENT_BUFFER),
      VPDF_FAULT("KERNEL32.dll", WritePrivateProfileStringW, FALSE, ERROR_ACCESS_DENIED),
      VPDF_FAULT("ADVAPI32.dll", RegOpenKeyExW, static_cast<LSTATUS>(ERROR_ACCESS_DENIED), ERROR_ACCESS_DENIED),
      VPDF_FAULT("ADVAPI32.dll", RegQueryValueExW, static_cast<LSTATUS>(ERROR_ACCESS_DENIED), ERROR_ACCESS_DENIED),
      VPDF_FAULT("ADVAPI32.dll", RegGetValueW, static_cast<LSTATUS>(ERROR_ACCESS_DENIED), ERROR_ACCESS_DENIED),
      VPDF_FAULT("ADVAPI32.dll", RegCreateKeyExW, static_cast<LSTATUS>(ERROR_ACCESS_DENIED), ERROR_ACCESS_DENIED),
      VPDF_FAULT("ADVAPI32.dll", RegSetValueExW, static_cast<LSTATUS>(ERROR_ACCESS_DENIED), ERROR_ACCESS_DENIED),
      VPDF_FAULT("SHELL32.dll", ShellExecuteExW, FALSE, ERROR_FILE_NOT_FOUND),
      VPDF_FAULT("SHELL32.dll", SHGetFolderPathW, E_FAIL, ERROR_PATH_NOT_FOUND),
      VPDF_FAULT("SHLWAPI.dll", PathAppendW, FALSE, ERROR_FILENAME_EXCED_RANGE),
      VPDF_FAULT("SHLWAPI.dll", PathCombineW, static_cast<LPWSTR>(nullptr), ERROR_FILENAME_EXCED_RANGE),
      VPDF_FAULT("USER32.dll", MsgWaitForMultipleObjects, WAIT_FAILED, ERROR_INVALID_HANDLE),
      VPDF_FAULT("USER32.dll", DialogBoxIndirectParamW, static_cast<INT_PTR>(-1), ERROR_NOT_ENOUGH_MEMORY),
      VPDF_FAULT("USER32.dll", LoadStringW, 0, ERROR_RESOURCE_NAME_NOT_FOUND),
      VPDF_FAULT("USER32.dll", MessageBoxW, 0, ERROR_NOT_ENOUGH_MEMORY),
      VPDF_FAULT("USER32.dll", CreateWindowExW, static_cast<HWND>(nullptr), ERROR_NOT_ENOUGH_MEMORY),
      VPDF_FAULT("USER32.dll", SetTimer, static_cast<UINT_PTR>(0), ERROR_NOT_ENOUGH_MEMORY),
      VPDF_FAULT("comdlg32.dll", GetOpenFileNameW, FALSE, 0UL),
      VPDF_FAULT("comdlg32.dll", GetSaveFileNameW, FALSE, 0UL),
      VPDF_FAULT("ole32.dll", CoCreateInstance, E_OUTOFMEMORY, 0UL),
      VPDF_FAULT("ole32.dll", CLSIDFromProgID, CO_E_CLASSSTRING, 0UL),
      VPDF_FAULT("ole32.dll", CreateStreamOnHGlobal, E_OUTOFMEMORY, 0UL),
      VPDF_FAULT("OLEAUT32.dll", SysAllocString, static_cast<BSTR>(nullptr), 0UL),
      VPDF_FAULT("OLEAUT32.dll", SysAllocStringLen, static_cast<BSTR>(nullptr), 0UL),
      VPDF_FAULT("OLEAUT32.dll", SafeArrayCreateVector, static_cast<SAFEARRAY*>(nullptr), 0UL),
      VPDF_FAULT("OLEAUT32.dll", SafeArrayGetElement, E_OUTOFMEMORY, 0UL),
      VPDF_FAULT("OLEAUT32.dll", SafeArrayGetLBound, DISP_E_BADINDEX, 0UL),
      VPDF_FAULT("OLEAUT32.dll", SafeArrayGetUBound, DISP_E_BADINDEX, 0UL),
      VPDF_FAULT("OLEAUT32.dll", SafeArrayGetDim, 0U, 0UL),
      VPDF_FAULT("OLEAUT32.dll", SafeArrayPutElement, E_OUTOFMEMORY, 0UL),
      VPDF_FAULT("OLEAUT32.dll", SafeArrayCopy, E_OUTOFMEMORY, 0UL),
      VPDF_FAULT("OLEAUT32.dll", VariantCopy, E_OUTOFMEMORY, 0UL),
      VPDF_FAULT("OLEAUT32.dll", VariantChangeType, DISP_E_TYPEMISMATCH, 0UL),
      VPDF_FAULT("OLEAUT32.dll", SystemTimeToVariantTime, 0, 0UL),
      VPDF_FAULT("msvcrt.dll", malloc, static_cast<void*>(nullptr), ERROR_NOT_ENOUGH_MEMORY),
      VPDF_FAULT("msvcrt.dll", calloc, static_cast<void*>(nullptr), ERROR_NOT_ENOUGH_MEMORY),
      VPDF_FAULT("msvcrt.dll", realloc, static_cast<void*>(nullptr), ERROR_NOT_ENOUGH_MEMORY),
      VPDF_FAULT("msvcrt.dll", _wfopen, static_cast<FILE*>(nullptr), ERROR_ACCESS_DENIED),
  };
  return table;
}

}  // namespace

std::vector<std::string> FaultFunctions() {
  std::vector<std::string> names;
  for (const Entry& entry : Table()) names.push_back(entry.name);
  return names;
}

struct Faults::Hooks {
  std::vector<std::unique_ptr<testing_support::ScopedImportHook>> hooks;
  std::vector<std::string> missing;
};

Faults::Faults(HMODULE module, const std::string& function, long k) : m_hooks(new Hooks) {
  g_target = -1;
  g_k = k;
  g_fired = false;
  for (const Entry& entry : Table()) {
    entry.calls->store(0);
    if (function == entry.name) g_target = entry.line;
    auto hook = std::make_unique<testing_support::ScopedImportHook>(entry.dll, entry.name,
                                                                    entry.stub, module);
    if (!hook->Installed()) {
      m_hooks->missing.push_back(entry.name);
      continue;
    }
    *entry.original = hook->Original<void*>();
    m_hooks->hooks.push_back(std::move(hook));
  }
}

Faults::~Faults() {
  g_armed = false;
  m_hooks->hooks.clear();
}

void Faults::Arm(bool on) { g_armed = on; }
bool Faults::Fired() const { return g_fired; }

std::string Faults::Counts() const {
  std::string out;
  for (const Entry& entry : Table())
    if (const long calls = entry.calls->load())
      out += std::string(entry.name) + " " + std::to_string(calls) + "\n";
  return out;
}

std::vector<std::string> Faults::Missing() const { return m_hooks->missing; }

}  // namespace sweep
