// The progress window of a long run (Create PDF, Send PDF in e-mail, Open with the conversion
// tool): the command's name as title, "Document 3 of 30: <description>", a progress bar, the
// current step and a Cancel button. Modeless: the waits for the helpers keep dispatching the
// thread's messages (its keyboard through the dialog manager: Tab, Enter, Space, Escape, Alt+F4),
// and the run asks Cancelled() between its steps. Each window is its run's Cancel: while it is
// there the waits see its Cancel, and the run before it (if any) has its own back afterwards.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "convutils/comutil.h"
#include "convutils/conv_utils.h"

namespace vpdf {

// The steps shown under the bar.
enum class ProgressStep { kCopying, kConverting, kMerging, kSaving };

// Window class of the progress window (not the platform's dialog class: it is no dialog that
// waits for an answer).
inline constexpr wchar_t kProgressWindowClass[] = L"VPDFProgressWindow";
// Control ids inside the window.
inline constexpr int kProgressDocumentText = 100;
inline constexpr int kProgressBar = 101;
inline constexpr int kProgressStepText = 102;

class ProgressWindow {
 public:
  // `menuTextId`: the command's menu text (English id + language offset), whose text without
  // its mnemonic and shortcut is the title. `total`: the documents the run copies or converts;
  // with more than one the window shows at once, else only when one conversion has taken
  // longer than a second while a helper is waited for. It takes the keyboard when it shows,
  // unless the person is answering a dialog, and gives it back to `owner`, the client's main
  // window (may be null), when it goes. It reads right to left when its texts do (Arabic).
  // `resources`: the module with the strings; null means the add-in module.
  ProgressWindow(UINT menuTextId, int total, int langOffset, HWND owner,
                 HINSTANCE resources = nullptr);
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // Document `number` (from 1) of the total is the one being worked on.
  void Document(int number, const std::wstring& description);
  void Step(ProgressStep step);
  // Dispatches the messages that wait (a click on Cancel among them) and tells whether the
  // user has cancelled the run.
  bool Cancelled() { return Pump(false); }
  // Whether Cancel was pressed, without dispatching anything.
  bool WasCancelled() const { return m_cancelled; }
  // Takes the window down for good: from here on the run starts what the user works in.
  void Close();

  HWND Window() const { return m_window; }
  // Whether the run in progress, if any, was cancelled (dispatching its waiting messages first).
  static bool RunCancelled() { return s_current && s_current->Pump(true); }

  // Keeps the progress window of the run in progress (if any) out of sight while a dialog of
  // the add-in or of the client is up; it comes back when the dialog has closed.
  class Hidden {
   public:
    Hidden();
    ~Hidden();
    Hidden(const Hidden&) = delete;
    Hidden& operator=(const Hidden&) = delete;
  };

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Create(HWND owner, const std::wstring& title);
  void Show();
  // Before the window goes out of sight: the client's window gets the keyboard back.
  void GiveBackKeyboard();
  void OnCancel();
  std::wstring Text(UINT englishId) const;
  // Cancelled(), `always` or when the last dispatch is more than a few milliseconds ago.
  bool Pump(bool always);
  void StopShowTimer();

  HINSTANCE m_resources;
  int m_langOffset;
  int m_total;
  int m_number = 1;  // the document being worked on
  bool m_cancelled = false;
  bool m_shown = false;  // has been shown: stays up (but for Hidden) until the run ends
  bool m_showTimer = false;  // the timer that shows the window after a slow conversion is set
  ULONGLONG m_pumped = 0;    // when Cancelled() last dispatched the waiting messages
  // What the window shows, as the run stands and as last painted: each change repaints a
  // control, the costliest part of a document's step, so the window follows the run at most a
  // few times a second (a change soon after the last one waits for a timer, which the waits for
  // the helpers dispatch) unless it is wanted `now`.
  struct View {
    std::wstring line;  // "Document 3 of 30: ..."
    int step = -1;      // a ProgressStep
    int bar = -1;
    bool operator==(const View&) const = default;
  };
  View m_wanted, m_painted;
  ULONGLONG m_refreshed = 0;    // when the window last followed the run
  bool m_refreshTimer = false;  // the timer that makes it follow later is set
  void Refresh(bool now);
  void Repaint();
  std::wstring m_documentFormat;
  std::wstring m_stepTexts[4];
  HWND m_window = nullptr;
  GdiObject<HFONT> m_font;
  Handle m_cancelEvent;
  std::optional<CConvUtils::RunScope> m_run;  // what the waits see of this run, until Close
  ProgressWindow* m_outer = nullptr;  // the run in progress before this one (none in practice)

  static ProgressWindow* s_current;
  static int s_hiddenDepth;
};

// A menu text as a title: without its "\t" shortcut and its mnemonic ("&C", or "(&C)" after
// the text as East Asian menus write it).
std::wstring TitleFromMenuText(const std::wstring& menuText);

}  // namespace vpdf
