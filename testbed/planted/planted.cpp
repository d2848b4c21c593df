// A library planted where a user's files are (the client's current folder), under the name of
// one of the product's libraries. Its code running at all is the fault: on loading it leaves
// "<its own path>.ran" behind, and it has none of the real library's entries.
#include <windows.h>

#include <string>

namespace {

void LeaveTrace(HMODULE self) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH - 5) return;
  const std::wstring trace = std::wstring(path, length) + L".ran";
  HANDLE file = CreateFileW(trace.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

}  // namespace

#ifdef PLANTED_PROGRAM
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  LeaveTrace(nullptr);
  return 0;
}
#else
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) LeaveTrace(instance);
  return TRUE;
}
#endif
