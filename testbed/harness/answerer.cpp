#include "testbed/harness/answerer.h"

#include <commctrl.h>

#include <chrono>
#include <cstdio>

#include "testbed/harness/changes.h"

namespace harness {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Long enough for a dialog's own start-up posts; short enough that nobody notices.
constexpr milliseconds kSettle(50);
// A window nobody answers gets this long before it is cancelled.
constexpr milliseconds kGrace(1000);
// After its steps an answered window must be gone within this.
constexpr milliseconds kToClose(5000);

constexpr int kMessageTextId = 0xFFFF, kMessageIconId = 0x0440;
constexpr int kFileNameCombo = 0x47C, kFileNameEdit = 0x480;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// A button's label as a person reads it: no mnemonic marks.
std::wstring Label(HWND dialog, int id) {
  std::wstring text = Text(Control(dialog, id));
  std::wstring label;
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] != L'&' || (i + 1 < text.size() && text[i + 1] == L'&' && ++i)) label += text[i];
  return label.empty() ? L"#" + std::to_wstring(id) : label;
}

std::wstring OneLine(std::wstring text) {
  for (wchar_t& c : text)
    if (c == L'\r' || c == L'\n') c = L' ';
  for (size_t at = text.find(L"  "); at != std::wstring::npos; at = text.find(L"  ", at))
    text.erase(at, 1);
  while (!text.empty() && text.back() == L' ') text.pop_back();
  return text;
}

HWND FileNameBox(HWND dialog) {
  HWND box = GetDlgItem(dialog, kFileNameCombo);
  return box ? box : GetDlgItem(dialog, kFileNameEdit);
}

}  // namespace

Which AnyDialog() {
  return {[](HWND) { return true; }};
}
Which WithControl(int id) {
  return {[id](HWND window) { return GetDlgItem(window, id) != nullptr; }};
}
Which Titled(const std::wstring& part) {
  return {[part](HWND window) { return Text(window).find(part) != std::wstring::npos; }};
}
Which Saying(const std::wstring& part) {
  return {[part](HWND window) {
    return Text(window).find(part) != std::wstring::npos ||
           MessageText(window).find(part) != std::wstring::npos;
  }};
}
Which OfClass(const std::wstring& windowClass) {
  return {[](HWND) { return true; }, windowClass};
}
Which FileDialog() {
  return {[](HWND window) { return FileNameBox(window) != nullptr; }};
}

Step Press(int id) {
  return {[id](HWND dialog) { return Label(dialog, id); },
          [id](HWND dialog) { Click(dialog, id); }};
}
Step Pick(int id) {
  return {[id](HWND dialog) { return L"pick " + Label(dialog, id); },
          [id](HWND dialog) { Click(dialog, id); }};
}
Step Check(int id, bool checked) {
  return {[id, checked](HWND dialog) { return (checked ? L"check " : L"clear ") + Label(dialog, id); },
          [id, checked](HWND dialog) {
            if (Checked(dialog, id) != checked) Click(dialog, id);
          }};
}
Step Type(int id, const std::wstring& text) {
  return {[text](HWND) { return L"type \"" + Shorten(text) + L"\""; },
          [id, text](HWND dialog) { SetWindowTextW(Control(dialog, id), text.c_str()); }};
}
Step FileName(const std::wstring& path) {
  return {[path](HWND) { return L"type \"" + Shorten(path) + L"\""; },
          [path](HWND dialog) { SetWindowTextW(FileNameBox(dialog), path.c_str()); }};
}
Step Offered() {
  return {[](HWND dialog) {
            constexpr int kFileTypes = 0x470;  // the dialog's file-type combo box
            HWND types = GetDlgItem(dialog, kFileTypes);
            std::wstring said = L"[";
            const LRESULT count = types ? SendMessageW(types, CB_GETCOUNT, 0, 0) : 0;
            for (LRESULT i = 0; i < count; ++i) {
              wchar_t text[256] = {};
              SendMessageW(types, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
              // The dialog keeps each type's pattern as the item's data.
              const auto* pattern = reinterpret_cast<const wchar_t*>(SendMessageW(types, CB_GETITEMDATA, i, 0));
              said += (i ? L" | " : L"") + std::wstring(text) + L" = " +
                      (pattern && reinterpret_cast<LRESULT>(pattern) != CB_ERR ? pattern : L"?");
            }
            return said + L"] \"" + Shorten(Text(FileNameBox(dialog))) + L"\"";
          },
          [](HWND) {}};
}
Step Order(int listId, int upId, const std::vector<std::wstring>& order) {
  std::wstring said = L"order";
  for (const std::wstring& name : order) said += (said.size() > 5 ? L", " : L" ") + name;
  return {[said](HWND) { return said; },
          [listId, upId, order](HWND dialog) {
            HWND list = Control(dialog, listId);
            for (size_t target = 0; target < order.size(); ++target) {
              auto rows = Rows(list, 1);
              for (size_t row = target; row < rows.size(); ++row) {
                if (rows[row][0] != order[target]) continue;
                for (size_t at = row; at > target; --at) {
                  SelectRow(list, static_cast<int>(at));
                  Click(dialog, upId);
                }
                break;
              }
            }
          }};
}
Step Keys(const std::wstring& said, std::vector<WORD> chord) {
  return {[said](HWND) { return said; },
          [chord](HWND) {
            std::vector<INPUT> inputs;
            auto key = [&inputs](WORD virtualKey, DWORD flags) {
              INPUT input{};
              input.type = INPUT_KEYBOARD;
              input.ki.wVk = virtualKey;
              input.ki.dwFlags = flags;
              inputs.push_back(input);
            };
            for (WORD k : chord) key(k, 0);
            for (auto k = chord.rbegin(); k != chord.rend(); ++k) key(*k, KEYEVENTF_KEYUP);
            SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
          }};
}
Step Do(const std::wstring& said, std::function<void(HWND)> act) {
  return {[said](HWND) { return said; }, std::move(act)};
}

struct Answerer::Answer {
  Which which;
  std::vector<Step> steps;
  bool always = false;
  bool used = false;
};

struct Answerer::Window {
  enum State { kNew, kActing, kActed, kDone };
  HWND hwnd = nullptr;
  std::wstring line;  // "<title>: <text>"
  Clock::time_point seen, acted;
  State state = kNew;
  bool gone = false;
  std::atomic<bool> finished{false};
  std::thread worker;
};

Answerer::Answerer() : Answerer(GetCurrentThreadId()) {}

Answerer::Answerer(DWORD uiThread) : m_ui(uiThread) {
  m_thread = std::thread([this] { Run(); });
}

Answerer::~Answerer() { Stop(); }

Answerer& Answerer::On(Which which, std::vector<Step> steps) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_script.push_back(std::make_shared<Answer>(Answer{std::move(which), std::move(steps)}));
  return *this;
}

Answerer& Answerer::Always(Which which, std::vector<Step> steps) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_script.push_back(std::make_shared<Answer>(Answer{std::move(which), std::move(steps), true}));
  return *this;
}

Answerer& Answerer::LeaveOthers() {
  m_leaveOthers = true;
  return *this;
}

void Answerer::Stop() {
  if (!m_thread.joinable()) return;
  m_stop = true;
  // The steps may be sending messages to this thread's windows. A step that never ends would
  // hang the program: it fails instead, saying so.
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (!m_done) {
    if (GetTickCount64() > deadline) {
      std::fputs("FAILED: a person's step did not end within 60 s of Stop\n", stderr);
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(5);
  }
  m_thread.join();
}

std::wstring Answerer::Log() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::wstring text;
  for (const std::wstring& line : m_log) text += line + L"\n";
  return text;
}

std::wstring Answerer::Unanswered() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::wstring text;
  for (const std::wstring& line : m_unanswered) text += line + L"\n";
  return text;
}

bool Answerer::Found() const { return m_found; }

bool Answerer::Forced() const { return m_forced; }

void Answerer::Run() {
  for (;;) {
    const bool stopping = m_stop;
    Look();
    bool busy = false;
    for (const auto& window : m_windows) busy |= window->state == Window::kActing;
    // Stopping waits for the steps under way, not for windows still to come.
    if (stopping && !busy) break;
    Sleep(20);
  }
  for (const auto& window : m_windows)
    if (window->worker.joinable()) window->worker.join();
  m_done = true;
}

Answerer::Answer* Answerer::Find(HWND window, const std::wstring& windowClass) {
  std::vector<std::shared_ptr<Answer>> script;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    script = m_script;
  }
  for (const auto& answer : script)
    if ((answer->always || !answer->used) && _wcsicmp(answer->which.windowClass.c_str(), windowClass.c_str()) == 0 &&
        answer->which.matches(window))
      return answer.get();
  return nullptr;
}

void Answerer::Look() {
  std::vector<HWND> shown;
  EnumThreadWindows(
      m_ui,
      [](HWND window, LPARAM list) -> BOOL {
        if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&shown));
  const auto now = Clock::now();
  // Only this thread touches the windows; the lock guards the script and the log, never a
  // window message (the UI thread may be waiting for the lock).
  std::vector<std::shared_ptr<Answer>> script;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    script = m_script;
  }
  auto note = [this](const std::wstring& line, bool failure) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.push_back(line);
    if (failure) m_unanswered.push_back(line);
  };
  for (const auto& window : m_windows)
    if (!IsWindow(window->hwnd) || !IsWindowVisible(window->hwnd)) window->gone = true;
  for (HWND hwnd : shown) {
    bool known = false;
    for (const auto& window : m_windows) known |= window->hwnd == hwnd && !window->gone;
    if (known) continue;
    const std::wstring windowClass = ClassOf(hwnd);
    bool wanted = windowClass == L"#32770";
    for (const auto& answer : script)
      wanted |= _wcsicmp(answer->which.windowClass.c_str(), windowClass.c_str()) == 0;
    if (!wanted) continue;
    auto window = std::make_shared<Window>();
    window->hwnd = hwnd;
    window->seen = now;
    m_windows.push_back(window);
  }
  for (const auto& window : m_windows) {
    const HWND hwnd = window->hwnd;
    switch (window->state) {
      case Window::kNew: {
        if (window->gone || now - window->seen < kSettle) break;
        const std::wstring windowClass = ClassOf(hwnd);
        if (window->line.empty()) {
          window->line = Shorten(OneLine(Text(hwnd)));
          const std::wstring message = Shorten(OneLine(MessageText(hwnd)));
          if (!message.empty()) window->line += L": " + message;
        }
        if (Answer* answer = Find(hwnd, windowClass)) {
          answer->used = true;
          m_found = true;
          std::wstring said;
          for (const Step& step : answer->steps) said += (said.empty() ? L"" : L", ") + step.say(hwnd);
          note(window->line + L" -> " + said, false);
          window->state = Window::kActing;
          // A step may open the next window (the "replace?" question under the file dialog's
          // OK) and wait for it: the steps run on their own thread, this one keeps looking.
          window->worker = std::thread([window, steps = answer->steps] {
            for (const Step& step : steps) step.act(window->hwnd);
            window->finished = true;
          });
        } else if (m_leaveOthers || windowClass != L"#32770") {
          window->state = Window::kDone;
        } else if (now - window->seen >= kGrace) {
          note(window->line + L" -> no answer, cancelled", true);
          PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
          window->state = Window::kDone;
        }
        break;
      }
      case Window::kActing:
        if (window->finished) {
          window->state = Window::kActed;
          window->acted = now;
        }
        break;
      case Window::kActed:
        if (window->gone) {
          window->state = Window::kDone;
        } else if (now - window->acted >= kToClose) {
          m_forced = true;
          note(window->line + L" -> still open, cancelled", true);
          PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
          window->state = Window::kDone;
        }
        break;
      case Window::kDone:
        break;
    }
  }
}

DialogDriver::DialogDriver(std::function<void(HWND)> script) {
  m_answerer.On(AnyDialog(), {Do(L"script", std::move(script))}).LeaveOthers();
}

// Low-level helpers.
namespace {

struct Search {
  const wchar_t* className;
  HWND found = nullptr;
};

BOOL CALLBACK FindWindowOfClass(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  if (_wcsicmp(ClassOf(window).c_str(), search->className) == 0 && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND VisibleWindowOf(DWORD thread, const wchar_t* className) {
  Search search{className};
  EnumThreadWindows(thread, FindWindowOfClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND VisibleDialogOf(DWORD thread) { return VisibleWindowOf(thread, L"#32770"); }

HWND WaitForWindowOf(DWORD thread, const wchar_t* className) {
  HWND window = nullptr;
  for (int i = 0; i < 1000 && !(window = VisibleWindowOf(thread, className)); ++i) Sleep(20);
  return window;
}

HWND Control(HWND dialog, int id) {
  if (HWND item = GetDlgItem(dialog, id)) return item;
  if (id != -1) return nullptr;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    int childId = GetDlgCtrlID(child);
    if (childId == -1 || childId == 0xFFFF) return child;
  }
  return nullptr;
}

void Click(HWND dialog, int id) { SendMessageW(Control(dialog, id), BM_CLICK, 0, 0); }

bool Checked(HWND dialog, int id) {
  return SendMessageW(Control(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Enabled(HWND dialog, int id) {
  HWND item = Control(dialog, id);
  return item && IsWindowEnabled(item);
}

bool Visible(HWND dialog, int id) {
  HWND item = Control(dialog, id);
  return item && (GetWindowLongW(item, GWL_STYLE) & WS_VISIBLE);
}

std::wstring Text(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

std::wstring MessageText(HWND box) {
  // A message box holds its text, its icon and its buttons, nothing else.
  HWND text = GetDlgItem(box, kMessageTextId);
  if (!text) return L"";
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    if (id != kMessageTextId && id != kMessageIconId && (id < IDOK || id > IDHELP)) return L"";
  }
  return Text(text);
}

std::vector<std::vector<std::wstring>> Rows(HWND list, int columns) {
  std::vector<std::vector<std::wstring>> rows;
  int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    std::vector<std::wstring> texts;
    for (int column = 0; column < columns; ++column) {
      wchar_t text[512] = {};
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = text;
      item.cchTextMax = 512;
      SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
      texts.emplace_back(text);
    }
    rows.push_back(std::move(texts));
  }
  return rows;
}

std::vector<std::wstring> ColumnTitles(HWND list) {
  std::vector<std::wstring> titles;
  for (int column = 0;; ++column) {
    wchar_t text[256] = {};
    LVCOLUMNW lvc{};
    lvc.mask = LVCF_TEXT;
    lvc.pszText = text;
    lvc.cchTextMax = 256;
    if (!SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&lvc))) break;
    titles.emplace_back(text);
  }
  return titles;
}

std::vector<int> ColumnWidths(HWND list) {
  std::vector<int> widths;
  for (int column = 0;; ++column) {
    LVCOLUMNW lvc{};
    lvc.mask = LVCF_WIDTH;
    if (!SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&lvc))) break;
    widths.push_back(lvc.cx);
  }
  return widths;
}

void SelectRow(HWND list, int row) {
  LVITEMW clear{};
  clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  clear.state = 0;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

int SelectedRow(HWND list) {
  return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                       MAKELPARAM(LVNI_SELECTED, 0)));
}

LPARAM RowData(HWND list, int row) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return item.lParam;
}

void SetRowData(HWND list, int row, LPARAM data) {
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  item.lParam = data;
  SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

RECT ClientRect(HWND dialog) {
  RECT rect{};
  GetClientRect(dialog, &rect);
  return rect;
}

RECT ControlRect(HWND dialog, int id) {
  RECT rect{};
  GetWindowRect(Control(dialog, id), &rect);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

SIZE WindowSize(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void ResizeWindow(HWND dialog, int width, int height) {
  SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace harness
