// The product's closed companion libraries, loaded on first call the way a
// delay-load import would be. A missing library never stops the add-in:
// no log, the default configuration, a failed merge.
#pragma once
#include <cstddef>
#include <string>

namespace outside {

constexpr int kLogCategory = 85;

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
