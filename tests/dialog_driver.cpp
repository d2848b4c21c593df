#include "tests/dialog_driver.h"

#include <commctrl.h>

#include <chrono>

namespace testing_support {
namespace {

struct Search {
  const wchar_t* className;
  HWND found = nullptr;
};

BOOL CALLBACK FindWindowOfClass(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (_wcsicmp(className, search->className) == 0 && IsWindowVisible(window)) {
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

DialogDriver::DialogDriver(std::function<void(HWND)> script)
    : m_uiThread(GetCurrentThreadId()), m_script(std::move(script)) {
  m_thread = std::thread([this] { Run(); });
}

DialogDriver::~DialogDriver() { Join(); }

void DialogDriver::Join() {
  if (m_thread.joinable()) m_thread.join();
}

void DialogDriver::Run() {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::seconds(20);
  HWND dialog = nullptr;
  while (!(dialog = VisibleDialogOf(m_uiThread)) && Clock::now() < deadline) Sleep(20);
  if (!dialog) return;
  m_found = true;
  m_script(dialog);
  deadline = Clock::now() + std::chrono::seconds(5);
  while (IsWindow(dialog) && Clock::now() < deadline) Sleep(20);
  if (IsWindow(dialog)) {
    m_forced = true;
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  }
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

}  // namespace testing_support
