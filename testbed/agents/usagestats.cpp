// Stand-in of the product's usage-statistics helper: usagestats.exe <parameter string>
// Records its command line; sends nothing.
#include <windows.h>

#include <string>

#include "testbed/agents/agent_common.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  tbagent::ApplyDelay(L"usagestats");
  tbagent::JournalWrite(tbagent::ModuleName(nullptr), commandLine, L"recorded, exit 0");
  return 0;
}
