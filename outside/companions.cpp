#include "outside/companions.h"

#include <windows.h>

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

template <class Fn>
Fn Entry(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                : nullptr;
}

struct TraceLibrary {
  using EnabledFn = bool (*)(int);
  EnabledFn enabled = nullptr;
  TraceLogPrintAllFn print = nullptr;
  TraceLibrary() {
    HMODULE module = LoadLibraryW(L"traceDiag.dll");
    enabled = Entry<EnabledFn>(module, "isTraceLogEnabled");
    print = Entry<TraceLogPrintAllFn>(module, "TraceLogPrintAll");
  }
};

struct ConfigLibrary {
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
  ConfigLibrary() {
    HMODULE module = LoadLibraryW(L"prodcfg_x64.dll");
    getInstance = Entry<GetInstanceFn>(module, kGetInstance);
    getUILanguage = Entry<GetUILanguageFn>(module, kGetUILanguage);
    registryBasedInstallPath = Entry<InstallPathFn>(module, kRegistryBasedInstallPath);
    getInstallPath = Entry<InstallPathFn>(module, kGetInstallPath);
  }
  CPDFConfig* Instance() const { return getInstance ? getInstance() : nullptr; }
};

struct JoinLibrary {
  PdfJoin entries;
  bool complete = false;
  JoinLibrary() {
    HMODULE module = LoadLibraryW(L"PdfJoinPlugin_x64.api");
    auto ordinal = [](int n) { return reinterpret_cast<const char*>(static_cast<ULONG_PTR>(n)); };
    entries.InitPDFAttach = Entry<PdfJoin::InitFn>(module, ordinal(1));
    entries.EndPDFAttach = Entry<PdfJoin::EndFn>(module, ordinal(2));
    entries.DoOpenFile = Entry<PdfJoin::OpenFn>(module, ordinal(4));
    entries.DoSaveFile = Entry<PdfJoin::SaveFn>(module, ordinal(5));
    entries.DoMerge2 = Entry<PdfJoin::MergeFn>(module, ordinal(9));
    complete = entries.InitPDFAttach && entries.EndPDFAttach && entries.DoOpenFile &&
               entries.DoSaveFile && entries.DoMerge2;
  }
};

// Loaded once per process on first use, never retried.
const TraceLibrary& Trace() {
  static const TraceLibrary library;
  return library;
}
const ConfigLibrary& Config() {
  static const ConfigLibrary library;
  return library;
}

std::wstring InstallPathFrom(ConfigLibrary::InstallPathFn fn, std::size_t size) {
  CPDFConfig* config = Config().Instance();
  if (!fn || !config || size == 0) return {};
  std::wstring buffer(size, L'\0');
  fn(config, buffer.data(), size);
  buffer.resize(wcsnlen(buffer.c_str(), size));
  return buffer;
}

}  // namespace

TraceLogPrintAllFn TraceLogIfEnabled(int category) {
  const TraceLibrary& trace = Trace();
  if (!trace.enabled || !trace.print || !trace.enabled(category)) return nullptr;
  return trace.print;
}

int ConfigUILanguage(int kind) {
  CPDFConfig* config = Config().Instance();
  if (!config || !Config().getUILanguage) return -1;
  return Config().getUILanguage(config, kind);
}

std::wstring ConfigRegistryBasedInstallPath(std::size_t size) {
  return InstallPathFrom(Config().registryBasedInstallPath, size);
}

std::wstring ConfigInstallPath(std::size_t size) {
  return InstallPathFrom(Config().getInstallPath, size);
}

const PdfJoin* PdfJoinPlugin() {
  static const JoinLibrary library;
  return library.complete ? &library.entries : nullptr;
}

}  // namespace outside

// The configuration class's copy assignment: the add-in module exports it under its Microsoft
// name, which the product's other modules import (the .def file maps it).
CPDFConfig& CPDFConfig::operator=(const CPDFConfig& other) {
  m_loaded = other.m_loaded;
  for (int i = 0; i < 3; ++i) m_uiLanguage[i] = other.m_uiLanguage[i];
  for (std::size_t i = 0; i < std::size(m_installPath); ++i) m_installPath[i] = other.m_installPath[i];
  return *this;
}
