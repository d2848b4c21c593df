// Stand-in of the product's PDF editor: varnelpdf.exe "<document>"
// Records its command line and whether the document exists.
#include <windows.h>

#include <string>
#include <vector>

#include "testbed/agents/agent_common.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  tbagent::ApplyDelay(L"varnelpdf");
  const std::vector<std::wstring> args = tbagent::SplitArguments(commandLine);
  std::wstring what;
  int exitCode = 0;
  if (args.size() != 2 || args[1].empty()) {
    what = L"bad arguments";
    exitCode = 2;
  } else {
    what = GetFileAttributesW(args[1].c_str()) != INVALID_FILE_ATTRIBUTES ? L"document exists"
                                                                          : L"document missing";
  }
  return tbagent::Finish(commandLine, what, exitCode);
}
