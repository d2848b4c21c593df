// Test programs run on a single-threaded apartment, like the client's UI thread. A crash fails
// the program at once instead of waiting on Wine's debugger, and what the run left in %TEMP%
// goes too, or the next run finds its names taken.
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/settings_support.h"

namespace {

std::set<std::wstring> g_tempAtStart;

LONG WINAPI FailAtOnce(EXCEPTION_POINTERS* crash) {
  std::fprintf(stderr, "FAILED: exception 0x%08lX\n", crash->ExceptionRecord->ExceptionCode);
  std::fflush(stderr);
  testing_support::RemoveNewInTemp(g_tempAtStart);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  g_tempAtStart = testing_support::TempFolderEntries();
  SetUnhandledExceptionFilter(FailAtOnce);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
