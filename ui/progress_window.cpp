#include "ui/progress_window.h"

#include "convutils/entry_guard.h"

#include <commctrl.h>

#include <vector>

#include "convutils/language.h"
#include "convutils/module.h"
#include "convutils/resource.h"
#include "convutils/log.h"

// Last: it marks the unbounded string functions of the headers above as deprecated.
#include <strsafe.h>

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFiManageAddon_UI\\ProgressWindow");

constexpr UINT_PTR kShowTimer = 1;
constexpr UINT kSlowConversionMs = 1000;  // a conversion this slow shows the window
// A change of the window sooner after the last one than this waits for a timer.
constexpr UINT_PTR kRefreshTimer = 2;
constexpr ULONGLONG kRefreshEveryMs = 250;
constexpr int kBarSteps = 100;            // per document

// Layout at 96 dots per inch.
constexpr int kMargin = 12, kWidth = 420, kLineHeight = 20, kBarHeight = 18;
constexpr int kButtonWidth = 88, kButtonHeight = 26;

int Scaled(int value, int dpi) { return MulDiv(value, dpi, 96); }

void EnsureProgressControl() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    return InitCommonControlsEx(&init) != FALSE;
  }();
  (void)done;
}

// Where the bar stands when a step of document `number` begins.
int BarPosition(int number, ProgressStep step) {
  static constexpr int kStepShare[] = {0, 25, 100, 100};  // copying, converting, merging, saving
  return (number - 1) * kBarSteps + kStepShare[static_cast<int>(step)];
}

bool IsDialog(HWND window) {
  wchar_t name[16] = {};
  return window && GetClassNameW(window, name, 16) && wcscmp(name, L"#32770") == 0;
}

// The person is answering a dialog (of this program or another): the keyboard stays there.
bool DialogHasKeyboard() { return IsDialog(GetActiveWindow()) || IsDialog(GetForegroundWindow()); }

}  // namespace

ProgressWindow* ProgressWindow::s_current = nullptr;
int ProgressWindow::s_hiddenDepth = 0;

std::wstring TitleFromMenuText(const std::wstring& menuText) {
  std::wstring text = menuText.substr(0, menuText.find(L'\t'));
  if (const std::size_t open = text.find(L"(&");
      open != std::wstring::npos && text.find(L')', open) == open + 3)
    text.erase(open, 4);
  std::wstring title;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;  // "&&" stays one "&"
    title += text[i];
  }
  while (!title.empty() && title.back() == L' ') title.pop_back();
  return title;
}

ProgressWindow::ProgressWindow(UINT menuTextId, int total, int langOffset, HWND owner,
                               HINSTANCE resources)
    : m_resources(resources ? resources : Module::Instance().Handle()),
      m_langOffset(langOffset),
      m_total(total > 0 ? total : 1) {
  m_cancelEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  m_outer = s_current;
  s_current = this;
  wchar_t menuText[256] = {};
  LoadStringW(m_resources, menuTextId, menuText, 256);
  // The texts of every document's line and steps, loaded once for the run.
  m_documentFormat = Text(IDS_PROGRESS_DOCUMENT);
  static constexpr UINT kStepText[] = {IDS_PROGRESS_COPYING, IDS_PROGRESS_CONVERTING,
                                       IDS_PROGRESS_MERGING, IDS_PROGRESS_SAVING};
  for (std::size_t i = 0; i < std::size(kStepText); ++i) m_stepTexts[i] = Text(kStepText[i]);
  Create(owner, TitleFromMenuText(menuText));
  m_run.emplace(m_cancelEvent.Get(), m_window);
  if (total > 1) Show();
}

ProgressWindow::~ProgressWindow() { Close(); }

void ProgressWindow::Close() {
  if (m_window) {
    StopShowTimer();
    GiveBackKeyboard();
    DestroyWindow(m_window);
    m_window = nullptr;
    // The class names this module's window procedure: it must not outlive an unloaded add-in.
    // (Fails harmlessly while another run's window still uses it.)
    UnregisterClassW(kProgressWindowClass, Module::Instance().Handle());
  }
  if (s_current == this) s_current = m_outer;
  m_run.reset();  // the waits see the run before this one again
  m_cancelEvent.Reset();
}

std::wstring ProgressWindow::Text(UINT englishId) const {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(m_resources, englishId + static_cast<UINT>(m_langOffset),
                                 reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

void ProgressWindow::Create(HWND owner, const std::wstring& title) {
  EnsureProgressControl();
  const HINSTANCE module = Module::Instance().Handle();
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &ProgressWindow::WindowProc;
  windowClass.hInstance = module;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kProgressWindowClass;
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    kLog.Error("ProgressWindow: RegisterClassEx failed with %d", static_cast<int>(GetLastError()));
    return;
  }

  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    m_font.Reset(CreateFontIndirectW(&metrics.lfMessageFont));

  // Mirrored when its texts read right to left: only the Arabic block's do.
  const bool mirrored = m_langOffset == kArabic;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT |
                        (mirrored ? WS_EX_LAYOUTRTL | WS_EX_RTLREADING : 0);
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  const int inner = Scaled(kWidth - 2 * kMargin, dpi);
  RECT frame{0, 0, Scaled(kWidth, dpi),
             Scaled(kMargin * 3 + kLineHeight * 2 + kBarHeight + 8 + kButtonHeight, dpi)};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;

  RECT area{};
  if (owner && IsWindowVisible(owner) && !IsIconic(owner))
    GetWindowRect(owner, &area);
  else
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const int x = area.left + (area.right - area.left - width) / 2;
  const int y = area.top + (area.bottom - area.top - height) / 2;

  m_window = CreateWindowExW(exStyle, kProgressWindowClass, title.c_str(), style, x, y, width,
                             height, owner, nullptr, module, this);
  if (!m_window) {
    kLog.Error("ProgressWindow: CreateWindowEx failed with %d", static_cast<int>(GetLastError()));
    return;
  }
  auto child = [&](const wchar_t* className, const std::wstring& text, DWORD childStyle, int id,
                   int left, int top, int childWidth, int childHeight) {
    HWND control = CreateWindowExW(0, className, text.c_str(), WS_CHILD | WS_VISIBLE | childStyle,
                                   Scaled(left, dpi), Scaled(top, dpi), childWidth,
                                   Scaled(childHeight, dpi), m_window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module,
                                   nullptr);
    if (control && m_font)
      SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), 0);
    return control;
  };
  int top = kMargin;
  child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kProgressDocumentText, kMargin,
        top, inner, kLineHeight);
  top += kLineHeight + 4;
  HWND bar = child(PROGRESS_CLASSW, L"", 0, kProgressBar, kMargin, top, inner, kBarHeight);
  SendMessageW(bar, PBM_SETRANGE32, 0, m_total * kBarSteps);
  top += kBarHeight + 6;
  child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kProgressStepText, kMargin, top,
        inner, kLineHeight);
  top += kLineHeight + kMargin;
  child(L"BUTTON", Text(IDS_PROGRESS_CANCEL), BS_DEFPUSHBUTTON | WS_TABSTOP, IDCANCEL,
        kWidth - kMargin - kButtonWidth, top, Scaled(kButtonWidth, dpi), kButtonHeight);
}

void ProgressWindow::Show() {
  m_shown = true;
  if (!m_window || s_hiddenDepth > 0 || IsWindowVisible(m_window)) return;
  Repaint();  // it comes up showing the run as it stands
  ShowWindow(m_window, DialogHasKeyboard() ? SW_SHOWNOACTIVATE : SW_SHOW);
  UpdateWindow(m_window);
}

void ProgressWindow::GiveBackKeyboard() {
  if (!m_window || GetActiveWindow() != m_window) return;
  if (HWND owner = GetWindow(m_window, GW_OWNER); owner && IsWindowEnabled(owner))
    SetActiveWindow(owner);
}

void ProgressWindow::Document(int number, const std::wstring& description) {
  if (!m_window) return;
  StopShowTimer();
  wchar_t text[512] = {};
  StringCchPrintfW(text, 512, m_documentFormat.c_str(), number, m_total, description.c_str());
  m_wanted.line = text;
  m_wanted.bar = BarPosition(number, ProgressStep::kCopying);
  m_number = number;
  Refresh(false);
}

void ProgressWindow::Step(ProgressStep step) {
  if (!m_window) return;
  if (step == ProgressStep::kMerging) m_number = m_total;
  // The last steps stand alone: they are shown at once, and a Cancel pressed meanwhile is looked
  // for at once (the other steps are followed by Cancelled() or a wait for a helper, which look
  // anyway).
  const bool last = step == ProgressStep::kMerging || step == ProgressStep::kSaving;
  m_wanted.step = static_cast<int>(step);
  m_wanted.bar = BarPosition(m_number, step);
  Refresh(last);
  Pump(last);
  // Only the waits for a helper dispatch the timer: a conversion that does not wait (the
  // image-to-PDF library) is over before it could show the window, and Cancelled() drops it.
  if (step == ProgressStep::kConverting && !m_shown && m_window)
    m_showTimer = SetTimer(m_window, kShowTimer, kSlowConversionMs, nullptr) != 0;
}

void ProgressWindow::Refresh(bool now) {
  if (m_wanted == m_painted) return;
  // Out of sight nothing paints: the texts are set when it shows.
  if (!IsWindowVisible(m_window)) return;
  const ULONGLONG tick = GetTickCount64();
  if (!now && tick - m_refreshed < kRefreshEveryMs) {
    if (!m_refreshTimer)
      m_refreshTimer = SetTimer(m_window, kRefreshTimer,
                                static_cast<UINT>(kRefreshEveryMs - (tick - m_refreshed)), nullptr) != 0;
    if (m_refreshTimer) return;
  }
  Repaint();
}

void ProgressWindow::Repaint() {
  if (m_refreshTimer) KillTimer(m_window, kRefreshTimer);
  m_refreshTimer = false;
  if (m_wanted.line != m_painted.line)
    SetDlgItemTextW(m_window, kProgressDocumentText, m_wanted.line.c_str());
  if (m_wanted.step != m_painted.step)
    SetDlgItemTextW(m_window, kProgressStepText,
                    m_wanted.step < 0 ? L"" : m_stepTexts[m_wanted.step].c_str());
  if (m_wanted.bar != m_painted.bar)
    SendDlgItemMessageW(m_window, kProgressBar, PBM_SETPOS, m_wanted.bar, 0);
  m_painted = m_wanted;
  m_refreshed = GetTickCount64();
}

void ProgressWindow::StopShowTimer() {
  if (m_showTimer && m_window) KillTimer(m_window, kShowTimer);
  m_showTimer = false;
}

bool ProgressWindow::Pump(bool always) {
  // Between the steps: a slow step is over, it shows no window any more.
  StopShowTimer();
  // Each look into the queue is a call to the window system: between the steps, which do
  // it anyway, a click on Cancel waits a few milliseconds at most.
  constexpr ULONGLONG kPumpEveryMs = 15;
  const ULONGLONG now = GetTickCount64();
  if (!always && now - m_pumped < kPumpEveryMs) return m_cancelled;
  m_pumped = now;
  // The same pump as the waits for the helpers, none translated but the window's keyboard.
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    CConvUtils::DispatchWaiting(message, false);
  }
  return m_cancelled;
}

void ProgressWindow::OnCancel() {
  if (m_cancelled) return;
  m_cancelled = true;
  kLog.Trace("ProgressWindow: Cancel");
  if (m_cancelEvent) SetEvent(m_cancelEvent.Get());
  EnableWindow(GetDlgItem(m_window, IDCANCEL), FALSE);
}

LRESULT CALLBACK ProgressWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  // A message whose handling throws is the system's again.
  return GuardedElse(
      kLog, "ProgressWindow", [&] { return HandleMessage(window, message, wParam, lParam); },
      [&] { return DefWindowProcW(window, message, wParam, lParam); });
}

LRESULT ProgressWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) {
    switch (message) {
      case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
          self->OnCancel();
          return 0;
        }
        break;
      case WM_CLOSE:  // the close box and Alt+F4 cancel; the run takes the window down
        self->OnCancel();
        return 0;
      case DM_GETDEFID:  // Enter presses Cancel, the one button
        return MAKELRESULT(IDCANCEL, DC_HASDEFID);
      case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
          SetFocus(GetDlgItem(window, IDCANCEL));
          return 0;
        }
        break;
      case WM_TIMER:
        if (wParam == kRefreshTimer) {
          self->Repaint();
          return 0;
        }
        if (wParam == kShowTimer) {
          self->StopShowTimer();
          self->Show();
          return 0;
        }
        break;
      case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

ProgressWindow::Hidden::Hidden() {
  ++s_hiddenDepth;
  if (s_current && s_current->m_window && IsWindowVisible(s_current->m_window)) {
    s_current->GiveBackKeyboard();
    ShowWindow(s_current->m_window, SW_HIDE);
  }
}

ProgressWindow::Hidden::~Hidden() {
  --s_hiddenDepth;
  if (s_hiddenDepth == 0 && s_current && s_current->m_shown) s_current->Show();
}

}  // namespace vpdf
