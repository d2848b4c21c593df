// Stand-in of the product's conversion tool: vpdfassist.exe "<file list>" /tempfile
// Records its command line and, when its first argument names a file, that file's content.
// It deletes nothing (the list's Delete=1 is left to the tests to inspect).
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "testbed/agents/agent_common.h"
#include "testbed/pdf/tbpdf.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  tbagent::ApplyDelay(L"vpdfassist");
  const std::vector<std::wstring> args = tbagent::SplitArguments(commandLine);
  std::wstring what = L"no list, exit 0";
  std::string bytes;
  DWORD attributes = args.size() >= 2 ? GetFileAttributesW(args[1].c_str()) : INVALID_FILE_ATTRIBUTES;
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      tbpdf::ReadFileBytes(args[1], bytes)) {
    std::wstring encoding;
    std::wstring content = tbagent::DecodeText(bytes, &encoding);
    what = L"list " + encoding + L", exit 0: " + content;
  }
  tbagent::JournalWrite(tbagent::ModuleName(nullptr), commandLine, what);
  return 0;
}
