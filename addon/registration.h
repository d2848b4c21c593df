#pragma once
#include <windows.h>

namespace vpdf {

// The module's COM entries: each object-map entry's registry script, then the
// type library (resource TYPELIB 1). Stops at the first failing script.
HRESULT RegisterServer();
HRESULT UnregisterServer();

}  // namespace vpdf
