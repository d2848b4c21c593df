// For tests that must see the arguments the code under test passes to a system function
// (creation flags, show states, wake masks) that no process can observe from outside
// under Wine: while alive, the test program's own import-table slot of that function
// points to a recording stand-in, which calls the real function and returns its result.
#pragma once
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace testing_support {

class ScopedImportHook {
 public:
  // `dll` as the import table names it ("KERNEL32.dll", "SHELL32.dll", "USER32.dll"); the
  // slot of `module` (the program itself when null).
  ScopedImportHook(const char* dll, const char* function, void* replacement,
                   HMODULE module = nullptr) {
    auto* base = reinterpret_cast<BYTE*>(module ? module : GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress) return;
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name; ++import) {
      if (_stricmp(reinterpret_cast<const char*>(base + import->Name), dll) != 0) continue;
      auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
          base + (import->OriginalFirstThunk ? import->OriginalFirstThunk : import->FirstThunk));
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
      for (; names->u1.AddressOfData; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
        m_slot = reinterpret_cast<void**>(&slots->u1.Function);
        m_original = *m_slot;
        Write(replacement);
        return;
      }
    }
  }
  ~ScopedImportHook() {
    if (m_slot) Write(m_original);
  }
  ScopedImportHook(const ScopedImportHook&) = delete;
  ScopedImportHook& operator=(const ScopedImportHook&) = delete;

  bool Installed() const { return m_slot != nullptr; }
  // The real function, for the stand-in to call.
  template <class Fn>
  Fn Original() const {
    return reinterpret_cast<Fn>(m_original);
  }

 private:
  void Write(void* value) {
    DWORD protection = 0;
    VirtualProtect(m_slot, sizeof(void*), PAGE_READWRITE, &protection);
    *m_slot = value;
    VirtualProtect(m_slot, sizeof(void*), protection, &protection);
  }

  void** m_slot = nullptr;
  void* m_original = nullptr;
};

// What one CreateProcessW call was given, and the handles it returned.
struct ProcessStart {
  bool applicationGiven = false;
  std::wstring application, commandLine;
  BOOL inherit = FALSE;
  DWORD flags = 0;
  STARTUPINFOW startup = {};
  HANDLE process = nullptr, thread = nullptr;
};

// While alive, records every CreateProcessW call of the test program (on its way to the
// real function). One at a time.
class RecordedProcessStarts {
 public:
  RecordedProcessStarts() {
    Starts().clear();
    Hook() = &m_hook;
  }
  ~RecordedProcessStarts() { Hook() = nullptr; }
  RecordedProcessStarts(const RecordedProcessStarts&) = delete;
  RecordedProcessStarts& operator=(const RecordedProcessStarts&) = delete;

  bool Installed() const { return m_hook.Installed(); }
  static std::vector<ProcessStart>& Starts() {
    static std::vector<ProcessStart> starts;
    return starts;
  }

 private:
  static ScopedImportHook*& Hook() {
    static ScopedImportHook* hook = nullptr;
    return hook;
  }
  static BOOL WINAPI Record(const wchar_t* application, wchar_t* commandLine,
                            SECURITY_ATTRIBUTES* processAttributes,
                            SECURITY_ATTRIBUTES* threadAttributes, BOOL inherit, DWORD flags,
                            void* environment, const wchar_t* directory, STARTUPINFOW* startup,
                            PROCESS_INFORMATION* info) {
    ProcessStart start;
    start.applicationGiven = application != nullptr;
    start.application = application ? application : L"";
    start.commandLine = commandLine ? commandLine : L"";
    start.inherit = inherit;
    start.flags = flags;
    if (startup) start.startup = *startup;
    BOOL result = Hook()->Original<decltype(&CreateProcessW)>()(
        application, commandLine, processAttributes, threadAttributes, inherit, flags,
        environment, directory, startup, info);
    if (result) {
      start.process = info->hProcess;
      start.thread = info->hThread;
    }
    Starts().push_back(start);
    return result;
  }

  ScopedImportHook m_hook{"KERNEL32.dll", "CreateProcessW", reinterpret_cast<void*>(&Record)};
};

}  // namespace testing_support
