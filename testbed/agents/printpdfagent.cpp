// Stand-in of the product's print agent: printpdfagent.exe /p|/m "<source>" "<output>" /viewpdf|/noviewpdf
// Writes a PDF whose pages are headed by the source's file name; a text file's lines follow.
#include <windows.h>

#include <string>
#include <vector>

#include "testbed/agents/agent_common.h"
#include "testbed/pdf/tbpdf.h"

namespace {

constexpr wchar_t kAgent[] = L"printpdfagent";

bool IsTextFile(const std::wstring& name) {
  size_t dot = name.find_last_of(L'.');
  if (dot == std::wstring::npos) return false;
  std::wstring ext = name.substr(dot + 1);
  for (wchar_t& c : ext) c = static_cast<wchar_t>(towlower(c));
  for (const wchar_t* known : {L"txt", L"text", L"csv", L"log", L"ini", L"md"})
    if (ext == known) return true;
  return false;
}

std::vector<std::wstring> SplitLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::wstring line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' || text[i] == L'\n') {
      if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      lines.push_back(line);
      line.clear();
    } else {
      line += text[i];
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

using tbagent::Finish;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  tbagent::ApplyDelay(kAgent);
  const std::vector<std::wstring> args = tbagent::SplitArguments(commandLine);
  if (args.size() != 5 || (args[1] != L"/p" && args[1] != L"/m") ||
      (args[4] != L"/viewpdf" && args[4] != L"/noviewpdf") || args[2].empty() || args[3].empty())
    return Finish(commandLine, L"bad arguments", 2);
  const std::wstring& source = args[2];
  const std::wstring& output = args[3];

  tbagent::OutputBehaviour behaviour;
  if (int settled = tbagent::SettleWithoutPdf(kAgent, source, output, commandLine, behaviour);
      settled >= 0)
    return settled;

  std::string bytes;
  if (!tbpdf::ReadFileBytes(source, bytes)) return Finish(commandLine, L"missing source", 1);
  const std::wstring name = tbagent::FileNameOf(source);
  std::vector<tbpdf::Page> pages;
  if (behaviour.pages > 0) {
    for (int i = 1; i <= behaviour.pages; ++i)
      pages.push_back({name, L"page " + std::to_wstring(i) + L" of " +
                                 std::to_wstring(behaviour.pages)});
  } else if (IsTextFile(name)) {
    std::wstring text = tbagent::DecodeText(bytes);
    if (!text.empty() && text[0] == L'\xFEFF') text.erase(0, 1);
    pages = tbpdf::Paginate(name, SplitLines(text));
  } else {
    pages.push_back({name});
  }
  if (!tbpdf::Write(output, pages)) return Finish(commandLine, L"cannot write output", 1);
  std::wstring what = L"pdf " + std::to_wstring(pages.size()) + L" pages";
  return Finish(commandLine, what, behaviour.kind == tbagent::OutputBehaviour::FailWithOutput ? 1 : 0);
}
