// Stand-in of the product's conversion tool: vpdfassist.exe "<file list>" /tempfile
// Records its command line and, when its first argument names a file, that file's content.
// It deletes nothing (the list's Delete=1 is left to the tests to inspect).
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "testbed/agents/agent_common.h"
#include "testbed/pdf/tbpdf.h"

namespace {

// "utf16le" (no byte order mark), "utf16le-bom", or "bytes" (read as UTF-8, else Windows-1252).
std::wstring Decode(const std::string& bytes, std::wstring& encoding) {
  auto wide = [](const char* data, size_t size) {
    return std::wstring(reinterpret_cast<const wchar_t*>(data), size / 2);
  };
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    encoding = L"utf16le-bom";
    return wide(bytes.data() + 2, bytes.size() - 2);
  }
  bool zeroHigh = false, zeroLow = false;
  for (size_t i = 0; i < bytes.size(); ++i) (i % 2 ? zeroHigh : zeroLow) |= bytes[i] == 0;
  if (!bytes.empty() && bytes.size() % 2 == 0 && zeroHigh && !zeroLow) {
    encoding = L"utf16le";
    return wide(bytes.data(), bytes.size());
  }
  encoding = L"bytes";
  if (bytes.empty()) return {};
  UINT codePage = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, 0) > 0
                      ? CP_UTF8
                      : 1252;
  int size = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
  return text;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  tbagent::ApplyDelay(L"vpdfassist");
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc);
  std::vector<std::wstring> args(argv, argv + (argv ? argc : 0));
  if (argv) LocalFree(argv);
  std::wstring what = L"no list, exit 0";
  std::string bytes;
  DWORD attributes = args.size() >= 2 ? GetFileAttributesW(args[1].c_str()) : INVALID_FILE_ATTRIBUTES;
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      tbpdf::ReadFileBytes(args[1], bytes)) {
    std::wstring encoding;
    std::wstring content = Decode(bytes, encoding);
    what = L"list " + encoding + L", exit 0: " + content;
  }
  tbagent::JournalWrite(tbagent::ModuleName(nullptr), commandLine, what);
  return 0;
}
