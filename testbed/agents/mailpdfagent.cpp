// Stand-in of the product's mail agent: mailpdfagent.exe /mail /files "<pdf>" "<pdf>" ...
// Records its command line, how many files it was given and how many of them exist.
#include <windows.h>

#include <string>
#include <vector>

#include "testbed/agents/agent_common.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  tbagent::ApplyDelay(L"mailpdfagent");
  const std::vector<std::wstring> args = tbagent::SplitArguments(commandLine);
  std::wstring what;
  int exitCode = 0;
  if (args.size() < 3 || args[1] != L"/mail" || args[2] != L"/files") {
    what = L"bad arguments";
    exitCode = 2;
  } else {
    size_t existing = 0;
    for (size_t i = 3; i < args.size(); ++i)
      existing += GetFileAttributesW(args[i].c_str()) != INVALID_FILE_ATTRIBUTES;
    what = L"files " + std::to_wstring(args.size() - 3) + L", existing " + std::to_wstring(existing);
  }
  return tbagent::Finish(commandLine, what, exitCode);
}
