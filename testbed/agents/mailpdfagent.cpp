// Stand-in of the product's mail agent: mailpdfagent.exe /mail /files "<pdf>" "<pdf>" ...
// Records its command line, how many files it was given and how many of them exist.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "testbed/agents/agent_common.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  tbagent::ApplyDelay(L"mailpdfagent");
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc);
  std::vector<std::wstring> args(argv, argv + (argv ? argc : 0));
  if (argv) LocalFree(argv);
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
  tbagent::JournalWrite(tbagent::ModuleName(nullptr), commandLine,
                        what + L", exit " + std::to_wstring(exitCode));
  return exitCode;
}
