#include "outside/companions.h"

#include <windows.h>

#include <mutex>

#include "outside/prodcfg.h"

namespace outside {
namespace {

// The product's libraries are built with Microsoft's compiler: the configuration library's
// members are exported under Microsoft's decorated names, whatever compiler builds the add-in.
// The log library's functions are extern "C" and the merge plug-in's are taken by ordinal.
constexpr char kGetInstance[] = "?get_instance@CPDFConfig@@SAAEAV1@XZ";
constexpr char kGetUILanguage[] = "?GetUILanguage@CPDFConfig@@QEAAHH@Z";
constexpr char kRegistryBasedInstallPath[] =
    "?registry_based_install_path@CPDFConfig@@QEAAHPEA_W_K@Z";
constexpr char kGetInstallPath[] = "?GetInstallPath@CPDFConfig@@QEAAHPEA_W_K@Z";

HMODULE g_owner = nullptr;

template <class Fn>
Fn Entry(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const char* Ordinal(int n) { return reinterpret_cast<const char*>(static_cast<ULONG_PTR>(n)); }

// One library beside the add-in: loaded on first use; a library that is missing or lacks an
// entry is looked for again once RetryMissing() has been called (by the next command).
template <class Entries>
class Library {
 public:
  explicit Library(const wchar_t* file) : m_file(file) {}

  // The entries, or null when the library or one of its entries is missing.
  const Entries* Get() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::kNotTried) Load();
    return m_state == State::kLoaded ? &m_entries : nullptr;
  }
  void RetryMissing() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::kMissing) m_state = State::kNotTried;
  }
  const wchar_t* File() const { return m_file; }

 private:
  enum class State { kNotTried, kLoaded, kMissing };
  void Load() {
    m_state = State::kMissing;
    const std::wstring path = CompanionFolder() + m_file;
    if (path.size() == std::wcslen(m_file)) return;  // no folder: never a bare name
    // Its own dependencies from its folder and the system's only, never the current folder.
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr,
                                    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) return;
    m_entries = Entries::From(module);
    if (!m_entries.Complete()) {
      FreeLibrary(module);
      m_entries = Entries{};
      return;
    }
    m_state = State::kLoaded;
  }

  const wchar_t* m_file;
  std::mutex m_lock;
  State m_state = State::kNotTried;
  Entries m_entries;
};

struct TraceEntries {
  using EnabledFn = bool (*)(int);
  EnabledFn enabled = nullptr;
  TraceLogPrintAllFn print = nullptr;
  static TraceEntries From(HMODULE module) {
    return {Entry<EnabledFn>(module, "isTraceLogEnabled"),
            Entry<TraceLogPrintAllFn>(module, "TraceLogPrintAll")};
  }
  bool Complete() const { return enabled && print; }
};

struct ConfigEntries {
  // x64 Windows has one calling convention: a non-virtual member gets `this` in RCX as its
  // first argument, the others follow as for a free function, and none of these returns a
  // class by value. A free function taking the object first is therefore ABI-identical to the
  // member; the static member takes no object and returns the reference as a pointer.
  using GetInstanceFn = CPDFConfig* (*)();
  using GetUILanguageFn = int (*)(CPDFConfig*, int);
  using InstallPathFn = int (*)(CPDFConfig*, wchar_t*, std::size_t);
  GetInstanceFn getInstance = nullptr;
  GetUILanguageFn getUILanguage = nullptr;
  InstallPathFn registryBasedInstallPath = nullptr;
  InstallPathFn getInstallPath = nullptr;
  static ConfigEntries From(HMODULE module) {
    return {Entry<GetInstanceFn>(module, kGetInstance),
            Entry<GetUILanguageFn>(module, kGetUILanguage),
            Entry<InstallPathFn>(module, kRegistryBasedInstallPath),
            Entry<InstallPathFn>(module, kGetInstallPath)};
  }
  bool Complete() const {
    return getInstance && getUILanguage && registryBasedInstallPath && getInstallPath;
  }
};

struct JoinEntries : PdfJoin {
  static JoinEntries From(HMODULE module) {
    JoinEntries entries;
    entries.InitPDFAttach = Entry<InitFn>(module, Ordinal(1));
    entries.EndPDFAttach = Entry<EndFn>(module, Ordinal(2));
    entries.DoOpenFile = Entry<OpenFn>(module, Ordinal(4));
    entries.DoSaveFile = Entry<SaveFn>(module, Ordinal(5));
    entries.DoMerge2 = Entry<MergeFn>(module, Ordinal(9));
    return entries;
  }
  bool Complete() const {
    return InitPDFAttach && EndPDFAttach && DoOpenFile && DoSaveFile && DoMerge2;
  }
};

Library<TraceEntries>& Trace() {
  static Library<TraceEntries> library(L"traceDiag.dll");
  return library;
}
Library<ConfigEntries>& Config() {
  static Library<ConfigEntries> library(L"prodcfg_x64.dll");
  return library;
}
Library<JoinEntries>& Join() {
  static Library<JoinEntries> library(kMergePluginFile);
  return library;
}

CPDFConfig* ConfigInstance(const ConfigEntries*& entries) {
  entries = Config().Get();
  return entries ? entries->getInstance() : nullptr;
}

std::wstring InstallPathFrom(ConfigEntries::InstallPathFn ConfigEntries::*fn, std::size_t size) {
  const ConfigEntries* entries = nullptr;
  CPDFConfig* config = ConfigInstance(entries);
  if (!config || size == 0) return {};
  std::wstring buffer(size, L'\0');
  (entries->*fn)(config, buffer.data(), size);
  buffer.resize(wcsnlen(buffer.c_str(), size));
  return buffer;
}

}  // namespace

void SetOwnerModule(HMODULE module) { g_owner = module; }

std::wstring CompanionFolder() {
  HMODULE owner = g_owner;
  if (!owner &&
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&CompanionFolder), &owner))
    return {};
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(owner, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring folder(path, length);
  const std::size_t slash = folder.find_last_of(L'\\');
  // A module's name is always a full path; anything else is no folder.
  if (slash == std::wstring::npos || folder.size() < 3 ||
      !(folder[1] == L':' || (folder[0] == L'\\' && folder[1] == L'\\')))
    return {};
  return folder.substr(0, slash + 1);
}

void RetryMissingCompanions() {
  Trace().RetryMissing();
  Config().RetryMissing();
  Join().RetryMissing();
}

TraceLogPrintAllFn TraceLogIfEnabled(int category) {
  const TraceEntries* trace = Trace().Get();
  if (!trace || !trace->enabled(category)) return nullptr;
  return trace->print;
}

int ConfigUILanguage(int kind) {
  const ConfigEntries* entries = nullptr;
  CPDFConfig* config = ConfigInstance(entries);
  return config ? entries->getUILanguage(config, kind) : -1;
}

std::wstring ConfigRegistryBasedInstallPath(std::size_t size) {
  return InstallPathFrom(&ConfigEntries::registryBasedInstallPath, size);
}

std::wstring ConfigInstallPath(std::size_t size) {
  return InstallPathFrom(&ConfigEntries::getInstallPath, size);
}

const PdfJoin* PdfJoinPlugin() { return Join().Get(); }

}  // namespace outside

// The configuration class's copy assignment: the add-in module exports it under its Microsoft
// name, which the product's other modules import (the .def file maps it).
CPDFConfig& CPDFConfig::operator=(const CPDFConfig& other) {
  m_loaded = other.m_loaded;
  for (int i = 0; i < 3; ++i) m_uiLanguage[i] = other.m_uiLanguage[i];
  for (std::size_t i = 0; i < std::size(m_installPath); ++i) m_installPath[i] = other.m_installPath[i];
  return *this;
}
