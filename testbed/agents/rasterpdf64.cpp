// Stand-in of the product's image-to-PDF library (rasterpdf64.dll). Only P4ToPDFConvert
// works: it turns an XPS package (a ZIP) into a PDF with one page per FixedPage part
// (entries whose names end in ".fpage", in central-directory order). Every call is journaled.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testbed/agents/agent_common.h"
#include "testbed/pdf/tbpdf.h"

namespace {

constexpr wchar_t kAgent[] = L"rasterpdf64";

uint32_t Le32(const std::string& data, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(data[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(data[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(data[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(data[at + 3])) << 24;
}
uint16_t Le16(const std::string& data, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(data[at]) |
                               static_cast<unsigned char>(data[at + 1]) << 8);
}

// Entry names from the ZIP's central directory; false when it is not a ZIP.
bool ZipEntryNames(const std::string& zip, std::vector<std::string>& names) {
  if (zip.size() < 22 || zip.compare(0, 2, "PK") != 0) return false;
  size_t end = std::string::npos;
  size_t lowest = zip.size() > 22 + 65535 ? zip.size() - 22 - 65535 : 0;
  for (size_t at = zip.size() - 22;; --at) {
    if (Le32(zip, at) == 0x06054b50) {
      end = at;
      break;
    }
    if (at == lowest) break;
  }
  if (end == std::string::npos) return false;
  size_t count = Le16(zip, end + 10);
  size_t at = Le32(zip, end + 16);
  for (size_t i = 0; i < count; ++i) {
    if (at + 46 > zip.size() || Le32(zip, at) != 0x02014b50) return false;
    size_t nameLength = Le16(zip, at + 28), extra = Le16(zip, at + 30), comment = Le16(zip, at + 32);
    if (at + 46 + nameLength > zip.size()) return false;
    names.push_back(zip.substr(at + 46, nameLength));
    at += 46 + nameLength + extra + comment;
  }
  return true;
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i)
    if (tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])) != suffix[i])
      return false;
  return true;
}

// A UTF-8 argument for the journal and for the file system; false when it is not valid UTF-8.
bool Argument(const char* text, std::wstring& wide) {
  if (!text) return false;
  std::string bytes(text);
  if (bytes.empty()) return false;
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                          static_cast<int>(bytes.size()), nullptr, 0) <= 0)
    return false;
  wide = tbagent::Utf8ToWide(bytes);
  return true;
}

using tbagent::Quoted;

int Unsupported(const std::wstring& call) {
  return tbagent::LibraryResult(call, -1, L"not supported by the testbed");
}

}  // namespace

extern "C" {

int MRCConvertEx(const char* source, const char* target, int mode, int option) {
  return Unsupported(L"MRCConvertEx(" + Quoted(source) + L", " + Quoted(target) + L", " +
                     std::to_wstring(mode) + L", " + std::to_wstring(option) + L")");
}

int Stationary(const char* source, const char* target, int mode) {
  return Unsupported(L"Stationary(" + Quoted(source) + L", " + Quoted(target) + L", " +
                     std::to_wstring(mode) + L")");
}

int ConvertWithEngine(const char* source, const char* target, int engine, int mode) {
  return Unsupported(L"ConvertWithEngine(" + Quoted(source) + L", " + Quoted(target) + L", " +
                     std::to_wstring(engine) + L", " + std::to_wstring(mode) + L")");
}

// Result: 0 success; -1 "fail" control; -2 bad arguments (null, empty or not UTF-8);
// -3 source unreadable or not a ZIP; -4 no FixedPage part; -5 target not writable.
int P4ToPDFConvert(const char* utf8Source, const char* utf8Target, int mode, int option1,
                   int option2) {
  const std::wstring call = L"P4ToPDFConvert(" + Quoted(utf8Source) + L", " + Quoted(utf8Target) +
                            L", " + std::to_wstring(mode) + L", " + std::to_wstring(option1) +
                            L", " + std::to_wstring(option2) + L")";
  tbagent::ApplyDelay(kAgent);
  std::wstring source, target;
  if (!Argument(utf8Source, source) || !Argument(utf8Target, target))
    return tbagent::LibraryResult(call, -2, L"bad arguments");
  std::wstring control = tbagent::Behaviour(kAgent, source);
  tbagent::OutputBehaviour behaviour = tbagent::ParseBehaviour(control);
  switch (behaviour.kind) {
    case tbagent::OutputBehaviour::Unknown:
      return tbagent::LibraryResult(call, -1, L"unknown control " + control);
    case tbagent::OutputBehaviour::Fail:
      return tbagent::LibraryResult(call, -1, L"fail");
    case tbagent::OutputBehaviour::NoOutput:
      return tbagent::LibraryResult(call, 0, L"nooutput");
    case tbagent::OutputBehaviour::Empty:
      tbpdf::WriteFileBytes(target, {});
      return tbagent::LibraryResult(call, 0, L"empty");
    default:
      break;
  }
  std::string zip;
  std::vector<std::string> names;
  if (!tbpdf::ReadFileBytes(source, zip) || !ZipEntryNames(zip, names))
    return tbagent::LibraryResult(call, -3, L"not a package");
  const std::wstring package = tbagent::FileNameOf(source);
  std::vector<std::wstring> parts;
  for (const std::string& name : names)
    if (EndsWithNoCase(name, ".fpage")) parts.push_back(tbagent::Utf8ToWide(name));
  if (behaviour.pages > 0) {
    parts.resize(static_cast<size_t>(behaviour.pages), L"(control)");
  }
  if (parts.empty()) return tbagent::LibraryResult(call, -4, L"no fixed pages");
  std::vector<tbpdf::Page> pages;
  for (size_t i = 0; i < parts.size(); ++i)
    pages.push_back({package, L"page " + std::to_wstring(i + 1) + L" of " +
                                  std::to_wstring(parts.size()),
                     parts[i]});
  if (!tbpdf::Write(target, pages)) return tbagent::LibraryResult(call, -5, L"cannot write target");
  int result = behaviour.kind == tbagent::OutputBehaviour::FailWithOutput ? -1 : 0;
  return tbagent::LibraryResult(call, result, L"pdf " + std::to_wstring(pages.size()) + L" pages");
}

}  // extern "C"
