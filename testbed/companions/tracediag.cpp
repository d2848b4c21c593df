// Stand-in of the product's diagnostic log library: while the environment variable
// VPDF_TRACE_LOG names a file, every record is appended to it as one line
// "level|source|line|text" (UTF-8, with "\n" and "\\" escaped in the text).
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

std::wstring TraceFile() {
  wchar_t path[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"VPDF_TRACE_LOG", path, MAX_PATH);
  return length && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

}  // namespace

extern "C" __declspec(dllexport) bool isTraceLogEnabled(int category) {
  return category == 85 && !TraceFile().empty();
}

extern "C" __declspec(dllexport) void TraceLogPrintAll(int, int level, const char* sourceFile,
                                                       int line, const char* format, ...) {
  std::wstring path = TraceFile();
  if (path.empty() || !format) return;
  // %S takes a wide string, as in the product's own formats: the Microsoft C library's printf.
  char text[8192];
  va_list args;
  va_start(args, format);
  int written = _vsnprintf(text, sizeof text - 1, format, args);
  va_end(args);
  text[sizeof text - 1] = '\0';
  if (written < 0) written = static_cast<int>(strlen(text));

  // The log speaks the ANSI code page; the file is UTF-8 for the tests.
  int wide = MultiByteToWideChar(CP_ACP, 0, text, written, nullptr, 0);
  std::wstring wtext(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, written, wtext.data(), wide);
  std::string utf8(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wtext.data(), wide, nullptr,
                                                           0, nullptr, nullptr)),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, wtext.data(), wide, utf8.data(), static_cast<int>(utf8.size()),
                      nullptr, nullptr);

  std::string record = std::to_string(level) + "|" + (sourceFile ? sourceFile : "") + "|" +
                       std::to_string(line) + "|";
  for (char c : utf8) {
    if (c == '\n')
      record += "\\n";
    else if (c == '\\')
      record += "\\\\";
    else if (c != '\r')
      record += c;
  }
  record += "\n";

  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD done = 0;
  WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &done, nullptr);
  CloseHandle(file);
}
