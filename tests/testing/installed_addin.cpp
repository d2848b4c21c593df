// A test program that links the add-in's code runs it as the add-in installed in the product's
// folder: its resources, and the folder where it finds the product's libraries, are those of
// that module, never of the test program's own folder.
#include <windows.h>

#include <cstdio>

#include "convutils/module.h"
#include "testbed/agents/journal.h"

namespace {

const bool g_installed = [] {
  const std::wstring path = testbed::AddinPath();
  HMODULE addin = LoadLibraryExW(path.c_str(), nullptr,
                                 LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!addin) {
    std::fprintf(stderr, "FAILED: the installed add-in %ls does not load (%lu)\n", path.c_str(),
                 GetLastError());
    return false;
  }
  vpdf::Module::Instance().Init(addin);
  return true;
}();

}  // namespace
