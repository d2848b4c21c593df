// Stand-in of the product's scan agent: scanpdfagent.exe <output path, unquoted>
// The whole text after the program (leading and trailing blanks removed) is the output path.
#include <windows.h>

#include <string>
#include <vector>

#include "testbed/agents/agent_common.h"
#include "testbed/pdf/tbpdf.h"

namespace {

constexpr wchar_t kAgent[] = L"scanpdfagent";
using tbagent::Finish;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  tbagent::ApplyDelay(kAgent);
  std::wstring output = tbagent::ArgumentsAfterProgram(commandLine);
  while (!output.empty() && (output.back() == L' ' || output.back() == L'\t')) output.pop_back();
  if (output.empty() || output.find(L'"') != std::wstring::npos)
    return Finish(commandLine, L"bad arguments", 2);

  tbagent::OutputBehaviour behaviour;
  if (int settled = tbagent::SettleWithoutPdf(kAgent, output, output, commandLine, behaviour);
      settled >= 0)
    return settled;
  const int count = behaviour.pages > 0 ? behaviour.pages : 1;
  std::vector<tbpdf::Page> pages;
  for (int i = 1; i <= count; ++i)
    pages.push_back({L"Scanned page " + std::to_wstring(i) + L" of " + std::to_wstring(count)});
  if (!tbpdf::Write(output, pages)) return Finish(commandLine, L"cannot write output", 1);
  return Finish(commandLine, L"pdf " + std::to_wstring(count) + L" pages",
                behaviour.kind == tbagent::OutputBehaviour::FailWithOutput ? 1 : 0);
}
