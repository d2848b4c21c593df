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

// UTF-16 (with BOM), UTF-8 (with or without BOM), else Windows-1252.
std::wstring DecodeText(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE)
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
  std::string body = bytes;
  if (body.compare(0, 3, "\xEF\xBB\xBF") == 0) body.erase(0, 3);
  if (body.empty()) return {};
  int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, body.data(),
                                 static_cast<int>(body.size()), nullptr, 0);
  UINT codePage = size > 0 ? CP_UTF8 : 1252;
  size = MultiByteToWideChar(codePage, 0, body.data(), static_cast<int>(body.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, body.data(), static_cast<int>(body.size()), text.data(), size);
  return text;
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
    pages = tbpdf::Paginate(name, SplitLines(DecodeText(bytes)));
  } else {
    pages.push_back({name});
  }
  if (!tbpdf::Write(output, pages)) return Finish(commandLine, L"cannot write output", 1);
  std::wstring what = L"pdf " + std::to_wstring(pages.size()) + L" pages";
  return Finish(commandLine, what, behaviour.kind == tbagent::OutputBehaviour::FailWithOutput ? 1 : 0);
}
