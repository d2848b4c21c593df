#include "ui/resizable_dialog.h"

#include <algorithm>

#include "convutils/settings.h"

namespace vpdf {

resizable_dialog::resizable_dialog(UINT templateId, std::wstring subkey,
                                   std::wstring sizeValueName, HWND parent, SIZE initialSize,
                                   HINSTANCE resources)
    : modal_dialog(templateId, parent, resources), m_resizable(true), m_initialSize(initialSize) {
  std::wstring key = kDialogSettingsBase + subkey;
  DWORD initial = MAKELONG(static_cast<WORD>(initialSize.cx), static_cast<WORD>(initialSize.cy));
  m_loadSize = [key, sizeValueName, initial]() {
    return CConvRegKey(HKEY_CURRENT_USER, key.c_str(), sizeValueName.c_str(), initial)
        .ReadNumber();
  };
  m_saveSize = [key, sizeValueName](DWORD size) {
    CConvRegKey(HKEY_CURRENT_USER, key.c_str(), sizeValueName.c_str(), DWORD{0}).WriteNumber(size);
  };
}

resizable_dialog::resizable_dialog(UINT templateId, HWND parent, HINSTANCE resources)
    : modal_dialog(templateId, parent, resources), m_resizable(false) {}

resizable_dialog::~resizable_dialog() {
  if (m_resizable && m_sizeRestored && m_width >= 1 && m_height >= 1 && m_saveSize)
    m_saveSize(MAKELONG(static_cast<WORD>(m_width), static_cast<WORD>(m_height)));
}

BOOL resizable_dialog::OnInitDialog() {
  BOOL result = modal_dialog::OnInitDialog();
  RECT window{};
  GetWindowRect(GetSafeHwnd(), &window);
  m_minimum = SIZE{window.right - window.left, window.bottom - window.top};
  m_width = m_minimum.cx;
  m_height = m_minimum.cy;
  return result;
}

bool resizable_dialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (message) {
    case WM_SIZE:
      OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
      result = 0;
      return true;
    case WM_GETMINMAXINFO:
      if (!OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam))) return false;
      result = 0;
      return true;
    default:
      return modal_dialog::OnMessage(message, wParam, lParam, result);
  }
}

void resizable_dialog::AddAnchor(int id, BYTE flags, CTRL_ALIGN::Callback callback) {
  if (!m_resizable) return;
  HWND control = Item(id);
  if (!control) return;
  RECT client{}, rect{};
  GetClientRect(GetSafeHwnd(), &client);
  GetWindowRect(control, &rect);
  MapWindowPoints(HWND_DESKTOP, GetSafeHwnd(), reinterpret_cast<POINT*>(&rect), 2);

  BYTE horizontal = flags & ALIGN_HORIZONTAL_MASK, vertical = flags & ALIGN_VERTICAL_MASK;
  // An edge follows the right (bottom) edge when the part holds that bit, except for the left
  // (top) edge of a stretching part, which stays.
  bool leftFromRight = (horizontal & ALIGN_RIGHT) && !(horizontal & ALIGN_LEFT);
  bool rightFromRight = (horizontal & ALIGN_RIGHT) != 0;
  bool topFromBottom = (vertical & ALIGN_BOTTOM) && !(vertical & ALIGN_TOP);
  bool bottomFromBottom = (vertical & ALIGN_BOTTOM) != 0;

  auto anchor = std::make_shared<CTRL_ALIGN>();
  anchor->id = id;
  anchor->left = leftFromRight ? client.right - rect.left : rect.left;
  anchor->leftPercent = leftFromRight ? 100 : 0;
  anchor->right = rightFromRight ? client.right - rect.right : rect.right;
  anchor->rightPercent = rightFromRight ? 100 : 0;
  anchor->top = topFromBottom ? client.bottom - rect.top : rect.top;
  anchor->topPercent = topFromBottom ? 100 : 0;
  anchor->bottom = bottomFromBottom ? client.bottom - rect.bottom : rect.bottom;
  anchor->bottomPercent = bottomFromBottom ? 100 : 0;
  anchor->callback = std::move(callback);
  m_anchors.push_back(std::move(anchor));
}

void resizable_dialog::RestoreSize() {
  if (!m_resizable || !GetSafeHwnd()) return;
  m_sizeRestored = true;
  DWORD stored = m_loadSize ? m_loadSize() : 0;
  int width = LOWORD(stored), height = HIWORD(stored);
  if (width == 0 || height == 0) return;
  m_applying = SIZE{width, height};
  SetWindowPos(GetSafeHwnd(), nullptr, 0, 0, width, height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  m_applying = SIZE{};
}

void resizable_dialog::GrowControl(int id, int dx, int dy) {
  HWND control = Item(id);
  if (!control) return;
  RECT rect{};
  GetWindowRect(control, &rect);
  SetWindowPos(control, nullptr, 0, 0, rect.right - rect.left + dx, rect.bottom - rect.top + dy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void resizable_dialog::OnSize(UINT, int cx, int cy) {
  if (!m_resizable || cx == -1 || cy == -1 || cx * cy == 0) return;
  RECT window{};
  GetWindowRect(GetSafeHwnd(), &window);
  m_width = window.right - window.left;
  m_height = window.bottom - window.top;

  struct Moved {
    HWND control;
    RECT rect;
    const CTRL_ALIGN* anchor;
  };
  std::vector<Moved> moved;
  HDWP batch = BeginDeferWindowPos(100);
  for (const auto& anchor : m_anchors) {
    HWND control = Item(anchor->id);
    if (!control) continue;
    RECT rect{anchor->leftPercent == 100 ? cx - anchor->left : anchor->left,
              anchor->topPercent == 100 ? cy - anchor->top : anchor->top,
              anchor->rightPercent == 100 ? cx - anchor->right : anchor->right,
              anchor->bottomPercent == 100 ? cy - anchor->bottom : anchor->bottom};
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (batch)
      batch = DeferWindowPos(batch, control, nullptr, rect.left, rect.top,
                             rect.right - rect.left, rect.bottom - rect.top, flags);
    else
      SetWindowPos(control, nullptr, rect.left, rect.top, rect.right - rect.left,
                   rect.bottom - rect.top, flags);
    moved.push_back({control, rect, anchor.get()});
  }
  if (batch) EndDeferWindowPos(batch);
  for (const auto& m : moved)
    if (m.anchor->callback) m.anchor->callback(m.control, m.rect);
  // Group boxes and static texts are not redrawn by the move alone.
  InvalidateRect(GetSafeHwnd(), nullptr, TRUE);
}

bool resizable_dialog::OnGetMinMaxInfo(MINMAXINFO* info) {
  if (!m_resizable || !info) return false;
  // A size stored on a larger screen is applied as stored; only dragging stops at the screen.
  auto allowStored = [this, info] {
    info->ptMaxTrackSize.x = std::max<LONG>(info->ptMaxTrackSize.x, m_applying.cx);
    info->ptMaxTrackSize.y = std::max<LONG>(info->ptMaxTrackSize.y, m_applying.cy);
  };
  if (m_noMinimum) {
    allowStored();
    return m_applying.cx != 0;
  }
  int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  info->ptMaxPosition = POINT{0, 0};
  info->ptMaxSize = POINT{screenWidth, screenHeight};
  info->ptMaxTrackSize = POINT{screenWidth, screenHeight};
  if (m_minimum.cx > 0 && m_minimum.cy > 0)
    info->ptMinTrackSize = POINT{m_minimum.cx, m_minimum.cy};
  allowStored();
  return true;
}

}  // namespace vpdf
