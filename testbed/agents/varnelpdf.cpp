// Stand-in of the product's PDF editor: varnelpdf.exe "<document>"
// Records its command line and whether the document exists.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "testbed/agents/agent_common.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  tbagent::ApplyDelay(L"varnelpdf");
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc);
  std::vector<std::wstring> args(argv, argv + (argv ? argc : 0));
  if (argv) LocalFree(argv);
  std::wstring what;
  int exitCode = 0;
  if (args.size() != 2 || args[1].empty()) {
    what = L"bad arguments";
    exitCode = 2;
  } else {
    what = GetFileAttributesW(args[1].c_str()) != INVALID_FILE_ATTRIBUTES ? L"document exists"
                                                                          : L"document missing";
  }
  tbagent::JournalWrite(tbagent::ModuleName(nullptr), commandLine,
                        what + L", exit " + std::to_wstring(exitCode));
  return exitCode;
}
