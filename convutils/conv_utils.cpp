#include "convutils/conv_utils.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstdio>
#include <cwchar>
#include <cwctype>

#include "convutils/comutil.h"
#include "convutils/log.h"
#include "convutils/settings.h"
#include "outside/companions.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\ConvUtils\\ConvUtils");

constexpr ULONG kShellExecuteMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;  // 0x140
constexpr DWORD kConverterCreationFlags = NORMAL_PRIORITY_CLASS;                 // 0x20
constexpr int kMaxFilesPerMail = 30;
constexpr DWORD kEndedAgentWaitMs = 5000;  // for an ended agent to let go of its files

// The run in progress (UI thread only): its Cancel and its window.
HANDLE g_cancelEvent = nullptr;
HWND g_runWindow = nullptr;
CConvUtils::RunScope* g_runScope = nullptr;  // the run in progress, for its settings

// ShellExecuteEx with verb "open", no owner and no working folder; the process handle or null.
HANDLE StartWithShell(const std::wstring& file, const std::wstring& parameters, int show,
                      ULONG mask) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = mask;
  info.hwnd = nullptr;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = nullptr;
  info.nShow = show;
  if (!ShellExecuteExW(&info)) {
    Handle failed(info.hProcess);  // closed: nobody waits for a start that failed
    return nullptr;
  }
  return info.hProcess;
}

// What the print and scan runners share: find the agent, start it hidden, wait pumping,
// and hand back its exit code. False when the agent is missing or did not start.
bool RunProductAgent(const wchar_t* runner, const wchar_t* agentName,
                     const std::wstring& parameters, DWORD& exitCode) {
  std::wstring installFolder;
  const std::wstring agent = CConvUtils::RunScope::Once(agentName, [&] {
    installFolder = outside::ConfigRegistryBasedInstallPath(520);
    return CConvUtils::FindHelperExecutable(installFolder.c_str(), agentName, L"bin");
  });
  if (agent.empty()) {
    kLog.Error("%S: %S not found under \"%S\"", runner, agentName, installFolder.c_str());
    return false;
  }
  const HANDLE cancel = CConvUtils::CancelEvent();
  if (cancel && WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0) {
    kLog.Trace("%S: the run was cancelled, %S not started", runner, agentName);
    return false;
  }
  kLog.Trace("%S: command line %S %S", runner, agent.c_str(), parameters.c_str());
  Handle process(StartWithShell(agent, parameters, SW_HIDE, kShellExecuteMask));
  if (!process) {
    kLog.Error("ShellExecuteEx returned false");
    return false;
  }
  kLog.Trace("%S: started, waiting", runner);
  const DWORD waited =
      CConvUtils::WaitPumpingMessages(process.Get(), CConvUtils::kWakeAllInput, false, cancel);
  const DWORD waitError = GetLastError();
  if (waited != WAIT_OBJECT_0) {
    // Cancelled, or the wait itself failed: the agent is hidden, nobody but the add-in can end
    // it, and what it would still write must not arrive after its file was given up.
    TerminateProcess(process.Get(), ERROR_CANCELLED);
    CConvUtils::WaitPumpingMessages(process.Get(), CConvUtils::kWakeAllInput, false, nullptr,
                                    kEndedAgentWaitMs);
    if (waited == WAIT_OBJECT_0 + 1)
      kLog.Trace("%S: the run was cancelled, %S ended", runner, agentName);
    else
      kLog.Error("%S: the wait for %S failed (%d), the agent was ended", runner, agentName,
                 static_cast<int>(waitError));
    return false;
  }
  exitCode = 0;
  GetExitCodeProcess(process.Get(), &exitCode);
  kLog.Trace("%S: wait ended, exit code %d", runner, static_cast<int>(exitCode));
  return true;
}

// The first `size` bytes of a file, fewer when it is shorter, none when it cannot be read.
std::string FileHead(const wchar_t* path, DWORD size) {
  std::string head(size, '\0');
  DWORD read = 0;
  Handle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file || !ReadFile(file.Get(), head.data(), size, &read, nullptr)) read = 0;
  head.resize(read);
  return head;
}

std::string ToUtf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.resize(static_cast<std::size_t>(size - 1));
  return result;
}

// The product's install folder for its libraries: kind 1, falling back to kind 0.
std::wstring LibraryInstallFolder() {
  wchar_t folder[520] = {};
  DWORD size = 520;
  if (GetProductInstallPath(folder, size, 1)) return folder;
  size = 520;
  folder[0] = L'\0';
  if (GetProductInstallPath(folder, size, 0)) return folder;
  return {};
}

}  // namespace

// ---------------------------------------------------------------- image-to-PDF library

ImgPDFDll& ImgPDFDll::Instance() {
  static ImgPDFDll instance;
  return instance;
}

void ImgPDFDll::ClearEntryPoints() {
  MRCConvertEx = nullptr;
  P4ToPDFConvert = nullptr;
  Stationary = nullptr;
  ConvertWithEngine = nullptr;
}

bool ImgPDFDll::ResolveEntryPoints() {
  if (!m_module) return false;
  auto entry = [this](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(m_module, name));
  };
  // One after another, stopping at the first that is missing.
  if (!(MRCConvertEx = reinterpret_cast<GenericFn>(entry("MRCConvertEx")))) return false;
  if (!(P4ToPDFConvert = reinterpret_cast<P4ToPDFConvertFn>(entry("P4ToPDFConvert"))))
    return false;
  if (!(Stationary = reinterpret_cast<GenericFn>(entry("Stationary")))) return false;
  if (!(ConvertWithEngine = reinterpret_cast<GenericFn>(entry("ConvertWithEngine")))) return false;
  return true;
}

// ---------------------------------------------------------------- finding helpers

std::wstring CConvUtils::FindHelperExecutable(const wchar_t* installFolder, const wchar_t* exeName,
                                              const wchar_t* subFolder) {
  if (!installFolder || !*installFolder || !exeName || !*exeName) return {};
  // Never the client's current folder or drive.
  if (!IsFullPath(installFolder)) return {};
  wchar_t path[MAX_PATH] = {};
  if (subFolder && *subFolder) {
    if (PathCombineW(path, installFolder, subFolder) && PathAppendW(path, exeName) &&
        FileExists(path))
      return path;
  }
  path[0] = L'\0';
  if (PathCombineW(path, installFolder, exeName) && FileExists(path)) return path;
  return {};
}

std::wstring CConvUtils::ReadAgentInstallFolder() {
  CConvRegKey key(HKEY_LOCAL_MACHINE, kProductKey, L"InstallPath", static_cast<const wchar_t*>(nullptr));
  std::wstring folder = key.ReadString();
  if (folder.size() >= 270) folder.resize(269);  // a buffer of 270 characters
  return folder;
}

std::wstring CConvUtils::HelperInFolder(const std::wstring& installFolder,
                                        const wchar_t* relative) {
  const std::wstring& f = installFolder;
  if (!IsFullPath(f)) {
    kLog.Error("%S not started: the product's install folder \"%S\" is not a full path", relative,
               f.c_str());
    return {};
  }
  return f.back() == L'\\' ? f + relative : f + L'\\' + relative;
}

bool CConvUtils::LaunchWithShell(const std::wstring& file, const std::wstring& parameters,
                                 int show) {
  Handle process(StartWithShell(file, parameters, show, kShellExecuteMask));
  return process.Get() != nullptr;
}

// ---------------------------------------------------------------- waiting

CConvUtils::RunScope::RunScope(HANDLE cancel, HWND window)
    : m_outerCancel(g_cancelEvent), m_outerWindow(g_runWindow), m_outer(g_runScope) {
  g_cancelEvent = cancel;
  g_runWindow = window;
  g_runScope = this;
}

CConvUtils::RunScope::~RunScope() {
  g_cancelEvent = m_outerCancel;
  g_runWindow = m_outerWindow;
  g_runScope = m_outer;
}

std::wstring CConvUtils::RunScope::Once(const wchar_t* key,
                                        const std::function<std::wstring()>& read) {
  if (!g_runScope) return read();
  auto& settings = g_runScope->m_settings;
  for (const auto& [name, value] : settings)
    if (name == key) return value;
  std::wstring value = read();
  settings.emplace_back(key, value);
  return value;
}

HANDLE CConvUtils::CancelEvent() { return g_cancelEvent; }

void CConvUtils::DispatchWaiting(MSG& message, bool translate) {
  if (g_runWindow && IsWindow(g_runWindow) && IsDialogMessageW(g_runWindow, &message)) return;
  if (translate) TranslateMessage(&message);
  DispatchMessageW(&message);
}

DWORD CConvUtils::WaitPumpingMessages(HANDLE process, DWORD wakeMask, bool translate,
                                      HANDLE cancel, DWORD timeoutMs) {
  const HANDLE handles[] = {process, cancel};
  const DWORD count = cancel ? 2 : 1;
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    DWORD left = INFINITE;
    if (timeoutMs != INFINITE) {
      const ULONGLONG spent = GetTickCount64() - start;
      left = spent >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - spent);
    }
    DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, left, wakeMask);
    if (result != WAIT_OBJECT_0 + count) return result;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchWaiting(message, translate);
  }
}

// ---------------------------------------------------------------- print and scan agents

bool CConvUtils::PrintPDFWithHelper(const wchar_t* sourcePath, const wchar_t* outputPath,
                                    bool mailSwitch, bool viewResult) {
  bool result = false;
  try {
    kLog.Trace("PrintPDFWithHelper enter: \"%S\" -> \"%S\"", sourcePath ? sourcePath : L"",
               outputPath ? outputPath : L"");
    // "%s \"%s\" \"%s\" %s"
    std::wstring parameters = std::wstring(mailSwitch ? L"/m" : L"/p") + L" \"" +
                              (sourcePath ? sourcePath : L"") + L"\" \"" +
                              (outputPath ? outputPath : L"") + L"\" " +
                              (viewResult ? L"/viewpdf" : L"/noviewpdf");
    DWORD exitCode = 0;
    if (RunProductAgent(L"PrintPDFWithHelper", L"printpdfagent.exe", parameters, exitCode)) {
      if (exitCode != 0) {
        kLog.Error("Print failed");
      } else if (IsPdfOutput(outputPath)) {
        kLog.Trace("Print Succeeded");
        result = true;
      } else {
        kLog.Error("Printed file not found");
      }
    }
  } catch (...) {
    kLog.Error("Exception in PrintPDFWithHelper");
  }
  kLog.Trace("PrintPDFWithHelper exit");
  return result;
}

bool CConvUtils::ScanToPDFWithHelper(const wchar_t* outputPath) {
  bool result = false;
  try {
    kLog.Trace("ScanToPDFWithHelper enter: \"%S\"", outputPath ? outputPath : L"");
    std::wstring parameters = outputPath ? outputPath : L"";  // "%s", not quoted
    DWORD exitCode = 0;
    if (RunProductAgent(L"ScanToPDFWithHelper", L"scanpdfagent.exe", parameters, exitCode)) {
      if (exitCode != 0) {
        kLog.Error("Scan failed");
      } else if (IsPdfOutput(outputPath)) {
        kLog.Trace("Print Succeeded");
        result = true;
      } else {
        kLog.Error("Scanned file not found");
      }
    }
  } catch (...) {
    kLog.Error("Exception in ScanToPDFWithHelper");
  }
  kLog.Trace("ScanToPDFWithHelper exit");
  return result;
}

// ---------------------------------------------------------------- mail agent

std::vector<bool> CConvUtils::RunMailAgent(const std::vector<std::wstring>& pdfPaths) {
  return RunMailAgent(ReadAgentInstallFolder(), pdfPaths);
}

std::vector<bool> CConvUtils::RunMailAgent(const std::wstring& installFolder,
                                           const std::vector<std::wstring>& pdfPaths,
                                           const BatchStarted& started) {
  std::vector<bool> handed(pdfPaths.size(), false);
  try {
    const std::wstring agent = HelperInFolder(installFolder, L"bin\\mailpdfagent.exe");
    if (agent.empty()) return handed;
    kLog.Trace("RunMailAgent enter: %d files, agent %S", static_cast<int>(pdfPaths.size()),
               agent.c_str());
    std::wstring files;
    int inList = 0;
    for (std::size_t i = 0; i < pdfPaths.size(); ++i) {
      wchar_t shortPath[MAX_PATH] = {};
      DWORD length = GetShortPathNameW(pdfPaths[i].c_str(), shortPath, MAX_PATH);
      // A file that does not exist (a failed print) has no short form: it goes as it is.
      const wchar_t* listed = length > 0 && length < MAX_PATH ? shortPath : pdfPaths[i].c_str();
      files += L"\"";
      files += listed;
      files += L"\" ";
      ++inList;
      if (inList < kMaxFilesPerMail && i + 1 < pdfPaths.size()) continue;

      std::wstring parameters = L" /mail /files " + files;
      kLog.Trace("RunMailAgent: %S%S", agent.c_str(), parameters.c_str());
      Handle process(StartWithShell(agent, parameters, SW_SHOWNORMAL, kShellExecuteMask));
      if (!process) {
        kLog.Error("ShellExecuteEx returned false");
      } else if (WaitPumpingMessages(process.Get()) != WAIT_OBJECT_0) {
        // Whether the agent read its files before they go is not known: none counts as sent.
        kLog.Error("RunMailAgent: the wait for the mail agent failed, error %d",
                   static_cast<int>(GetLastError()));
      } else {
        // The agent has ended with its files there all along: they were handed over.
        const std::size_t first = i + 1 - static_cast<std::size_t>(inList);
        for (std::size_t j = first; j <= i; ++j) handed[j] = true;
        kLog.Trace("RunMailAgent: mail agent ended");
        if (started) started(first, static_cast<std::size_t>(inList));
      }
      files.clear();
      inList = 0;
    }
  } catch (...) {
    kLog.Error("Exception in RunMailAgent");
  }
  kLog.Trace("RunMailAgent exit");
  return handed;
}

// ---------------------------------------------------------------- conversion tool

bool CConvUtils::CheckConverterCommandLine(const wchar_t* commandLine, wchar_t* output,
                                           std::size_t capacity) {
  if (!commandLine || !output) return false;
  std::wstring quoted;
  if (const wchar_t* open = wcschr(commandLine, L'"')) {
    if (const wchar_t* close = wcschr(open + 1, L'"')) quoted.assign(open + 1, close);
  }
  if (!quoted.empty()) {
    static const wchar_t* const kSchemes[] = {L"http://", L"https://", L"ftp:", L"file://"};
    bool web = false;
    for (const wchar_t* scheme : kSchemes)
      web = web || quoted.compare(0, wcslen(scheme), scheme) == 0;
    if (!web && !FileExists(quoted.c_str())) return false;
  }
  std::size_t length = wcslen(commandLine);
  if (length + 1 > capacity) return false;
  wmemcpy(output, commandLine, length + 1);
  return true;
}

bool CConvUtils::LaunchConverter(const wchar_t* commandLine, bool modal, HWND parent) {
  wchar_t checked[MAX_PATH] = {};
  if (!CheckConverterCommandLine(commandLine, checked, MAX_PATH)) {
    kLog.Error("ERROR: Invalid commandline parameter");
    return false;
  }
  wchar_t folder[520] = {};
  DWORD size = 520;
  if (!GetProductInstallPath(folder, size, 1)) return false;
  const std::wstring toolPath = HelperInFolder(folder, L"vpdfassist.exe");
  if (toolPath.empty() || toolPath.size() >= 520) return false;
  const wchar_t* tool = toolPath.c_str();

  if (!modal) {
    kLog.Trace("LaunchConverter: %S %S", tool, checked);
    // Mask 0 gives no process handle: only the shell's answer tells whether it started.
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.lpVerb = L"open";
    info.lpFile = tool;
    info.lpParameters = checked;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) {
      // The shell's own code (SE_ERR_*): the last error is not always set.
      kLog.Error("LaunchConverter: %S could not be started, error %d", tool,
                 static_cast<int>(reinterpret_cast<INT_PTR>(info.hInstApp)));
      return false;
    }
    return true;
  }

  if (IsWindow(parent))
    EnableWindow(parent, FALSE);
  else
    kLog.Warning("ALERT: LaunchConverter should be modal, but the parent window is invalid");

  wchar_t line[780] = {};
  int formatted = _snwprintf(line, 780, L"\"%ls\" %ls", tool, checked);
  if (formatted < 0 || formatted >= 780) {
    line[779] = L'\0';
    wchar_t debug[400];
    _snwprintf(debug, 400, L"_snwprintf failed with %d in %hs(%d)\n", formatted, __FILE__,
               __LINE__);
    debug[399] = L'\0';
    OutputDebugStringW(debug);
  }
  kLog.Trace("LaunchConverter: %S", line);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(tool, line, nullptr, nullptr, TRUE, kConverterCreationFlags, nullptr,
                      nullptr, &startup, &info)) {
    kLog.Error("LaunchConverter: CreateProcess failed with %d", static_cast<int>(GetLastError()));
    if (IsWindow(parent)) EnableWindow(parent, TRUE);
    return false;
  }
  Handle process(info.hProcess), thread(info.hThread);
  WaitPumpingMessages(process.Get(), kWakeAllInputPosted, true);
  ShowDebugMessage(L"LaunchConverter", commandLine, false);
  if (IsWindow(parent)) EnableWindow(parent, TRUE);
  return true;
}

void CConvUtils::ShowDebugMessage(const wchar_t* caption, const wchar_t* text, bool force) {
  if (!force) {
    DWORD value = 0, type = 0, bytes = sizeof value;
    RegKey key;
    if (key.Open(HKEY_CURRENT_USER, kProductWowKey, KEY_READ) != ERROR_SUCCESS) return;
    if (RegQueryValueExW(key.Get(), L"ShowDebugMessage", nullptr, &type,
                         reinterpret_cast<BYTE*>(&value), &bytes) != ERROR_SUCCESS ||
        type != REG_DWORD || value == 0)
      return;
  }
  MessageBoxW(nullptr, text ? text : L"", caption ? caption : L"", MB_OK);
}

// ---------------------------------------------------------------- PDF and XPS files

bool CConvUtils::IsPdfOutput(const wchar_t* path) {
  return path && *path && FileHead(path, 5) == "%PDF-";
}

bool CConvUtils::IsPDFOrXPSFile(const wchar_t* path) {
  if (!path || !*path) return false;
  const std::string head = FileHead(path, 7);
  if (head == "%PDF-1." || head == "%PDF-2.") return true;
  if (head.starts_with("PK")) {
    const wchar_t* extension = PathFindExtensionW(path);
    return _wcsicmp(extension, L".xps") == 0 || _wcsicmp(extension, L".oxps") == 0;
  }
  return false;
}

bool CConvUtils::ConvertXPSToPDF(const wchar_t* sourcePath, const wchar_t* targetPath, int mode,
                                 int option1, int option2) {
  ImgPDFDll& library = ImgPDFDll::Instance();
  if (!library.Module()) {
    HMODULE module = LoadProductLibrary(L"rasterpdf64.dll", 3);
    if (!module) {
      kLog.Error("ConvertXPSToPDF: rasterpdf64.dll could not be loaded");
      return false;
    }
    library.SetModule(module);
    library.ClearEntryPoints();
    if (!library.ResolveEntryPoints()) {
      kLog.Error("ConvertXPSToPDF: an entry point of rasterpdf64.dll is missing");
      FreeLibrary(module);
      library.SetModule(nullptr);
      library.ClearEntryPoints();
      return false;
    }
  }
  if (!library.P4ToPDFConvert || !sourcePath || !targetPath) return false;
  std::string source = ToUtf8(sourcePath), target = ToUtf8(targetPath);
  int result = library.P4ToPDFConvert(source.c_str(), target.c_str(), mode, option1, option2);
  kLog.Trace("ConvertXPSToPDF: P4ToPDFConvert(\"%S\", \"%S\", %d, %d, %d) returned %d", sourcePath,
             targetPath, mode, option1, option2, result);
  if (result < 0) return false;
  if (!IsPdfOutput(targetPath)) {
    kLog.Error("Printed file not found");
    return false;
  }
  return true;
}

HMODULE CConvUtils::LoadProductLibrary(const wchar_t* fileName, DWORD searchFlags) {
  if (!fileName || !*fileName) return nullptr;
  auto load = [fileName](const std::wstring& folder, const wchar_t* sub) -> HMODULE {
    if (folder.empty()) return nullptr;
    wchar_t path[MAX_PATH] = {};
    if (!PathCombineW(path, folder.c_str(), sub ? sub : L"")) return nullptr;
    if (!PathAppendW(path, fileName)) return nullptr;
    // By full path; its own dependencies from its folder and the system's, never the
    // client's current folder.
    return LoadLibraryExW(path, nullptr,
                          LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  };
  if (searchFlags & 1) {
    wchar_t exe[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (length > 0 && length < MAX_PATH && PathRemoveFileSpecW(exe)) {
      if (HMODULE module = load(exe, nullptr)) return module;
    }
  }
  if (!(searchFlags & (2 | 4 | 8 | 16))) return nullptr;
  std::wstring install = LibraryInstallFolder();
  if (!IsFullPath(install)) return nullptr;
  if (searchFlags & 2)
    if (HMODULE module = load(install, nullptr)) return module;
  if (searchFlags & 4)
    if (HMODULE module = load(install, L"x64")) return module;
  if (searchFlags & 8)
    if (HMODULE module = load(install, L"bin\\")) return module;
  if (searchFlags & 16)
    if (HMODULE module = load(install, L"bin\\Plug-ins")) return module;
  return nullptr;
}

bool IsFullPath(std::wstring_view path) {
  const auto slash = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  const bool drive = path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && slash(path[2]);
  const bool share = path.size() >= 3 && slash(path[0]) && slash(path[1]) && !slash(path[2]);
  return drive || share;
}

std::wstring UserTempFolder() {
  wchar_t folder[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH || !IsFullPath(folder)) {
    kLog.Error("The temporary folder \"%S\" is not a full path (%d)", length < MAX_PATH ? folder : L"",
               static_cast<int>(length));
    return {};
  }
  std::wstring result(folder, length);
  if (result.back() != L'\\') result += L'\\';
  return result;
}

bool FileExists(const wchar_t* path, ExistsAs what) {
  if (!path || !*path) return false;
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return what == ExistsAs::kFileOrFolder || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace vpdf
