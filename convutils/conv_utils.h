// The helper process runner: finding the product's helper executables,
// starting them with their fixed command lines and waiting for them while the calling
// (UI) thread keeps dispatching its messages, judging their result, the conversion tool,
// XPS conversion through the image-to-PDF library, and PDF/XPS recognition.
#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vpdf {

enum class ExistsAs { kFileOrFolder, kFileOnly };
// True when something is at `path` (a null or empty path names nothing); a folder counts
// only with kFileOrFolder.
bool FileExists(const wchar_t* path, ExistsAs what = ExistsAs::kFileOrFolder);

// True for a path that names its place by itself: a drive and its root ("C:\...") or a network
// share ("\\server\..."). Anything else would be taken from the client's current folder or drive.
bool IsFullPath(std::wstring_view path);

// The user's temporary folder ending with a backslash; empty (and logged) when the system does
// not know it or it is not a full path.
std::wstring UserTempFolder();

// A product library whose entry points are resolved by name. Virtual slots, in order:
// clear the entry points, resolve them (true only when all exist), destroy.
class DynLoadDll {
 public:
  DynLoadDll() = default;
  DynLoadDll(const DynLoadDll&) = delete;
  DynLoadDll& operator=(const DynLoadDll&) = delete;

  virtual void ClearEntryPoints() = 0;
  virtual bool ResolveEntryPoints() = 0;
  virtual ~DynLoadDll() = default;

  HMODULE Module() const { return m_module; }
  void SetModule(HMODULE module) { m_module = module; }

 protected:
  HMODULE m_module = nullptr;
};

// The image-to-PDF library "rasterpdf64.dll": one instance for the process, loaded on
// first use and kept (freed again only when its entry points cannot be resolved).
class ImgPDFDll : public DynLoadDll {
 public:
  using GenericFn = int (*)();
  // P4ToPDFConvert(UTF-8 source, UTF-8 target, mode, option 1, option 2): < 0 is failure.
  using P4ToPDFConvertFn = int (*)(const char* source, const char* target, int mode, int option1,
                                   int option2);

  static ImgPDFDll& Instance();

  void ClearEntryPoints() override;
  bool ResolveEntryPoints() override;
  ~ImgPDFDll() override = default;

  GenericFn MRCConvertEx = nullptr;
  P4ToPDFConvertFn P4ToPDFConvert = nullptr;
  GenericFn Stationary = nullptr;
  GenericFn ConvertWithEngine = nullptr;
};

class CConvUtils {
 public:
  // installFolder\subFolder\exeName when that file exists, else installFolder\exeName when
  // that exists, else empty. Joined with the path-append rule in 260-character buffers.
  static std::wstring FindHelperExecutable(const wchar_t* installFolder, const wchar_t* exeName,
                                           const wchar_t* subFolder);

  // The print agent "printpdfagent.exe": true when it exited with 0 and wrote the PDF.
  static bool PrintPDFWithHelper(const wchar_t* sourcePath, const wchar_t* outputPath,
                                 bool mailSwitch, bool viewResult);

  // The scan agent "scanpdfagent.exe": true when it exited with 0 and wrote the PDF.
  static bool ScanToPDFWithHelper(const wchar_t* outputPath);

  // The mail agent "bin\mailpdfagent.exe" under HKLM\Software\Ostrel\PDF\V1 InstallPath,
  // started once per 30 files (short paths, quoted), each run waited for. Answers, per file,
  // whether it went to an agent that started.
  static std::vector<bool> RunMailAgent(const std::vector<std::wstring>& pdfPaths);
  // The same with the install folder already read (it ends with a backslash); `started` is
  // told of each batch (its first file's index and its size) once its agent has ended, the
  // files there all along (not after a failed wait), before the next batch's agent starts.
  using BatchStarted = std::function<void(std::size_t first, std::size_t count)>;
  static std::vector<bool> RunMailAgent(const std::wstring& installFolder,
                                        const std::vector<std::wstring>& pdfPaths,
                                        const BatchStarted& started = nullptr);
  // The InstallPath string under HKLM\Software\Ostrel\PDF\V1 (270 characters), empty when
  // the key or value is missing: the folder of the mail agent and of the PDF editor.
  static std::wstring ReadAgentInstallFolder();
  // `relative` inside `installFolder` (one backslash between them), or empty, logged, when the
  // folder is not a full path (drive or network share): a helper is never looked for in the
  // client's current folder.
  static std::wstring HelperInFolder(const std::wstring& installFolder, const wchar_t* relative);

  // Starts `file` through ShellExecuteEx (verb "open", no owner, mask 0x140) with the show
  // state `show`, without waiting for it: true when it started.
  static bool LaunchWithShell(const std::wstring& file, const std::wstring& parameters, int show);

  // The conversion tool "vpdfassist.exe" under GetProductInstallPath (kind 1): true when it
  // started (modal: and ended).
  static bool LaunchConverter(const wchar_t* commandLine, bool modal, HWND parent);
  static bool CheckConverterCommandLine(const wchar_t* commandLine, wchar_t* output,
                                        std::size_t capacity);

  // A message box when `force` is set or HKCU\Software\Wow6432Node\Ostrel\PDF\V1
  // ShowDebugMessage is a non-zero DWORD.
  static void ShowDebugMessage(const wchar_t* caption, const wchar_t* text, bool force);

  // A helper's or the merge's output that counts as made: a non-empty file that begins with
  // "%PDF-". Every PDF name is created empty before a helper runs, so mere existence says nothing.
  static bool IsPdfOutput(const wchar_t* path);

  // "%PDF-1." / "%PDF-2." at the start, or a ZIP ("PK") named .xps or .oxps.
  static bool IsPDFOrXPSFile(const wchar_t* path);

  // Through P4ToPDFConvert of "rasterpdf64.dll"; callers pass mode 15 and options 0, 0. True
  // when it answered success and wrote the PDF.
  static bool ConvertXPSToPDF(const wchar_t* sourcePath, const wchar_t* targetPath, int mode,
                              int option1, int option2);

  // Flags: 1 host executable's folder, 2 install folder, 4 install\x64, 8 install\bin\,
  // 16 install\bin\Plug-ins; tried in that order with LOAD_WITH_ALTERED_SEARCH_PATH.
  static HMODULE LoadProductLibrary(const wchar_t* fileName, DWORD searchFlags);

  // Waits for `process` while removing and dispatching every message of the calling thread
  // whenever input arrives (translating them too when asked; the keyboard of the run's window
  // goes through the dialog manager). Ends on anything but input: WAIT_OBJECT_0 when the process
  // ended, WAIT_OBJECT_0 + 1 when `cancel` (an event, may be null) was set, WAIT_TIMEOUT after
  // `timeoutMs`. The print, scan and mail waits use QS_ALLINPUT (0x1CFF), no translation.
  static DWORD WaitPumpingMessages(HANDLE process, DWORD wakeMask = kWakeAllInput,
                                   bool translate = false, HANDLE cancel = nullptr,
                                   DWORD timeoutMs = INFINITE);
  // One queued message dispatched as the waits dispatch it: the keyboard of the run's window
  // (Tab, Enter, Space, Escape) through the dialog manager, everything else as it is.
  static void DispatchWaiting(MSG& message, bool translate);

  // The run in progress as its waits see it, for the scope's life: its Cancel (a manual-reset
  // event, may be null: nothing to cancel) and its modeless window (may be null). The print and
  // scan agents are not started once the Cancel is set, and an agent being waited for is ended
  // when it is set: the run then counts as failed. When the scope ends, the run that was in
  // progress before it (if any) is the one again.
  class RunScope {
   public:
    RunScope(HANDLE cancel, HWND window);
    ~RunScope();
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

    // A setting that a run reads once, not once per document: the run's first call reads it
    // with `read`, its later calls get that value. Outside a run every call reads.
    static std::wstring Once(const wchar_t* key, const std::function<std::wstring()>& read);

   private:
    HANDLE m_outerCancel;
    HWND m_outerWindow;
    RunScope* m_outer;
    std::vector<std::pair<std::wstring, std::wstring>> m_settings;
  };
  static HANDLE CancelEvent();

  static constexpr DWORD kWakeAllInput = 0x1CFF;       // QS_ALLINPUT with raw input, touch, pointer
  static constexpr DWORD kWakeAllInputPosted = 0x1DFF;  // ... with QS_ALLPOSTMESSAGE
};

}  // namespace vpdf
