#include "testbed/agents/agent_common.h"

#include <shellapi.h>

#include <cwchar>
#include <cwctype>
#include <utility>

namespace tbagent {

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return {};
  int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::wstring EscapeWhat(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\\') {
      out += L"\\\\";
    } else if (c == L'\n') {
      out += L"\\n";
    } else if (c == L'\r') {
      out += L"\\r";
    } else if (c == L'|' || (c < 32 && c != L'\t')) {
      wchar_t hex[8];
      swprintf(hex, 8, L"\\x%02X", static_cast<unsigned>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::wstring UnescapeWhat(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    wchar_t e = text[++i];
    if (e == L'n') {
      out += L'\n';
    } else if (e == L'r') {
      out += L'\r';
    } else if (e == L'x' && i + 2 < text.size()) {
      out += static_cast<wchar_t>(wcstoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += e;
    }
  }
  return out;
}

void JournalWrite(const std::wstring& program, const std::wstring& commandLine,
                  const std::wstring& what) {
  wchar_t path[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(kJournalVariable, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::wstring line = program + L"|";
  for (wchar_t c : commandLine)
    line += c == L'\r' ? L'\x240D' : c == L'\n' ? L'\x240A' : c;
  line += L"|" + EscapeWhat(what) + L"\n";
  std::string bytes = WideToUtf8(line);

  HANDLE mutex = CreateMutexW(nullptr, FALSE, kJournalMutex);
  if (mutex) WaitForSingleObject(mutex, 10000);
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD done = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(file);
  }
  if (mutex) {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
}

std::wstring FileNameOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring ModuleName(HMODULE module) {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  return FileNameOf(std::wstring(path, length));
}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

std::wstring ArgumentsAfterProgram(const std::wstring& commandLine) {
  size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == L'"') {
    size_t close = commandLine.find(L'"', 1);
    i = close == std::wstring::npos ? commandLine.size() : close + 1;
  } else {
    while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t') ++i;
  }
  while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
  return commandLine.substr(i);
}

namespace {

bool ReadString(HKEY key, const std::wstring& name, std::wstring& value) {
  wchar_t buffer[1024];
  DWORD size = sizeof buffer;
  if (RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS)
    return false;
  value = buffer;
  return true;
}

}  // namespace

std::wstring Behaviour(const std::wstring& agent, const std::wstring& subjectPath) {
  HKEY key = nullptr;
  std::wstring path = std::wstring(kControlKey) + L"\\" + agent;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  std::wstring value;
  bool found = (!subjectPath.empty() && ReadString(key, subjectPath, value)) ||
               (!subjectPath.empty() && ReadString(key, FileNameOf(subjectPath), value)) ||
               ReadString(key, L"*", value);
  RegCloseKey(key);
  return found ? value : std::wstring();
}

bool ControlDword(const std::wstring& agent, const wchar_t* name, DWORD& value) {
  std::wstring path = std::wstring(kControlKey) + L"\\" + agent;
  DWORD size = sizeof value;
  return RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value,
                      &size) == ERROR_SUCCESS;
}

void ApplyDelay(const std::wstring& agent) {
  DWORD delay = 0;
  if (ControlDword(agent, L"DelayMs", delay) && delay > 0) Sleep(delay);
}

OutputBehaviour ParseBehaviour(const std::wstring& text) {
  static const std::pair<const wchar_t*, OutputBehaviour::Kind> kKinds[] = {
      {L"", OutputBehaviour::Pdf},         {L"pdf", OutputBehaviour::Pdf},
      {L"fail", OutputBehaviour::Fail},    {L"nooutput", OutputBehaviour::NoOutput},
      {L"empty", OutputBehaviour::Empty},  {L"failwithoutput", OutputBehaviour::FailWithOutput},
      {L"hang", OutputBehaviour::Hang}};
  OutputBehaviour result;
  std::wstring lower;
  for (wchar_t c : text) lower += static_cast<wchar_t>(towlower(c));
  for (const auto& [name, kind] : kKinds)
    if (lower == name) {
      result.kind = kind;
      return result;
    }
  wchar_t* end = nullptr;
  const long pages = lower.rfind(L"pages:", 0) == 0 ? wcstol(lower.c_str() + 6, &end, 10) : 0;
  if (end && *end == 0 && pages >= 1 && pages <= 1000)
    result.pages = static_cast<int>(pages);
  else
    result.kind = OutputBehaviour::Unknown;
  return result;
}

std::wstring DecodeText(const std::string& bytes, std::wstring* encoding) {
  auto wide = [](const char* data, size_t size) {
    return std::wstring(reinterpret_cast<const wchar_t*>(data), size / 2);
  };
  std::wstring unused;
  std::wstring& kind = encoding ? *encoding : unused;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    kind = L"utf16le-bom";
    return wide(bytes.data() + 2, bytes.size() - 2);
  }
  bool zeroHigh = false, zeroLow = false;
  for (size_t i = 0; i < bytes.size(); ++i) (i % 2 ? zeroHigh : zeroLow) |= bytes[i] == 0;
  if (!bytes.empty() && bytes.size() % 2 == 0 && zeroHigh && !zeroLow) {
    kind = L"utf16le";
    return wide(bytes.data(), bytes.size());
  }
  kind = L"bytes";
  if (bytes.empty()) return {};
  UINT codePage = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, 0) > 0
                      ? CP_UTF8
                      : 1252;
  int size =
      MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
  return text;
}

int LibraryResult(const std::wstring& call, int result, const std::wstring& detail) {
  JournalWrite(ModuleName(ThisModule()), call,
               std::to_wstring(result) + (detail.empty() ? L"" : L", " + detail));
  return result;
}

std::wstring Quoted(const wchar_t* text) {
  return text ? L"\"" + std::wstring(text) + L"\"" : std::wstring(L"null");
}

std::wstring Quoted(const char* utf8) { return utf8 ? Quoted(Utf8ToWide(utf8).c_str()) : L"null"; }

int Finish(const std::wstring& commandLine, const std::wstring& what, int exitCode) {
  JournalWrite(ModuleName(nullptr), commandLine, what + L", exit " + std::to_wstring(exitCode));
  return exitCode;
}

std::vector<std::wstring> SplitArguments(const std::wstring& commandLine) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &argc);
  std::vector<std::wstring> args(argv, argv + (argv ? argc : 0));
  if (argv) LocalFree(argv);
  return args;
}

// A hung agent ends by itself after a minute, so that a test that fails to end it cannot
// keep the suite waiting for ever.
constexpr DWORD kHangMs = 60000;
constexpr int kHangExitCode = 4;

int SettleWithoutPdf(const std::wstring& agent, const std::wstring& subject,
                     const std::wstring& output, const std::wstring& commandLine,
                     OutputBehaviour& behaviour) {
  const std::wstring control = Behaviour(agent, subject);
  behaviour = ParseBehaviour(control);
  switch (behaviour.kind) {
    case OutputBehaviour::Unknown:
      return Finish(commandLine, L"unknown control " + control, 3);
    case OutputBehaviour::Fail:
      return Finish(commandLine, L"fail", 1);
    case OutputBehaviour::NoOutput:
      return Finish(commandLine, L"nooutput", 0);
    case OutputBehaviour::Hang:
      // Journalled at once: whoever ends the hung run has nothing else to see it by.
      JournalWrite(ModuleName(ThisModule()), commandLine, L"hang");
      Sleep(kHangMs);
      return kHangExitCode;
    case OutputBehaviour::Empty: {
      HANDLE file = CreateFileW(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
      return Finish(commandLine, L"empty", 0);
    }
    default:
      return -1;
  }
}

}  // namespace tbagent
