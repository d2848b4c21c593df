// The product's closed companion libraries, loaded on first call the way a delay-load import
// would be, but only from the add-in's own folder by full path: a library of that name in the
// client's current folder or on its PATH never loads into the client. A missing library never
// stops the add-in: no log, the default configuration, a failed merge.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

namespace outside {

constexpr int kLogCategory = 85;
inline constexpr wchar_t kMergePluginFile[] = L"PdfJoinPlugin_x64.api";

// The module whose folder holds the libraries (the add-in; set when it is loaded). Without
// one, the module that holds this code.
void SetOwnerModule(HMODULE module);
// That folder, ending with "\\"; empty when it cannot be told.
std::wstring CompanionFolder();
// A library or entry that was missing is looked for again on its next use (each command
// calls this first, so one failed load does not disable a command until the client restarts).
void RetryMissingCompanions();

// traceDiag.dll, by its undecorated extern "C" names isTraceLogEnabled and TraceLogPrintAll:
// the record writer when records of the category are enabled, else null.
using TraceLogPrintAllFn = void (*)(int category, int level, const char* sourceFile, int line,
                                    const char* format, ...);
TraceLogPrintAllFn TraceLogIfEnabled(int category);

// prodcfg_x64.dll, through CPDFConfig::get_instance(); the members by their Microsoft-decorated
// names (?get_instance@CPDFConfig@@SAAEAV1@XZ and the like, listed in companions.cpp).
int ConfigUILanguage(int kind);  // -1 when unknown or the library is missing
std::wstring ConfigRegistryBasedInstallPath(std::size_t size);
std::wstring ConfigInstallPath(std::size_t size);

// PdfJoinPlugin_x64.api, by ordinal.
struct PdfJoin {
  using InitFn = int (*)(int);
  using OpenFn = int (*)(const wchar_t* path, void** handle, const char* password);
  using MergeFn = int (*)(void* handle, const wchar_t* path, const wchar_t*, const wchar_t*,
                          const wchar_t*, const wchar_t*, const char*, short);
  using SaveFn = int (*)(const wchar_t* path, void* handle, int);
  using EndFn = int (*)(int);
  InitFn InitPDFAttach = nullptr;  // ordinal 1
  OpenFn DoOpenFile = nullptr;     // ordinal 4
  MergeFn DoMerge2 = nullptr;      // ordinal 9
  SaveFn DoSaveFile = nullptr;     // ordinal 5
  EndFn EndPDFAttach = nullptr;    // ordinal 2
};
// Null when the plug-in or one of its entry points is missing.
const PdfJoin* PdfJoinPlugin();

}  // namespace outside
