#include "ui/modal_dialog.h"

#include <iterator>

#include "convutils/entry_guard.h"
#include "convutils/log.h"
#include "convutils/module.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFiManageAddon_UI\\ModalDialog");

}  // namespace

modal_dialog::modal_dialog(UINT templateId, HWND parent, HINSTANCE resources)
    : m_templateId(templateId),
      m_parent(parent),
      m_resources(resources ? resources : Module::Instance().Handle()) {}

modal_dialog::~modal_dialog() = default;

INT_PTR modal_dialog::DoModal() {
  // The template comes from the resource module; the window belongs to the module whose code
  // runs it, which is the add-in (or the program that links the add-in's code).
  HRSRC found = FindResourceW(m_resources, MAKEINTRESOURCEW(m_templateId), MAKEINTRESOURCEW(5));
  HGLOBAL loaded = found ? LoadResource(m_resources, found) : nullptr;
  auto* dialogTemplate = loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
  if (!dialogTemplate) return -1;
  return DialogBoxIndirectParamW(Module::Instance().Handle(), dialogTemplate, m_parent,
                                 &modal_dialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

bool modal_dialog::OnCommand(int, int, HWND) { return false; }

bool modal_dialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (message) {
    case WM_INITDIALOG: {
      RECT before{};
      GetWindowRect(m_hWnd, &before);
      result = OnInitDialog();
      // As the platform's dialog class does: a dialog that its initialisation did not move is
      // centred over its owner (or the work area when the owner cannot be seen).
      RECT after{};
      GetWindowRect(m_hWnd, &after);
      if (before.left == after.left && before.top == after.top) {
        RECT area{};
        HWND owner = GetWindow(m_hWnd, GW_OWNER);
        if (owner && IsWindowVisible(owner) && !IsIconic(owner))
          GetWindowRect(owner, &area);
        else
          SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        int width = after.right - after.left, height = after.bottom - after.top;
        int x = area.left + (area.right - area.left - width) / 2;
        int y = area.top + (area.bottom - area.top - height) / 2;
        if (x < area.left) x = area.left;
        if (y < area.top) y = area.top;
        SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return true;
    }
    case WM_COMMAND: {
      int id = LOWORD(wParam), code = HIWORD(wParam);
      if (lParam == 0 || code == BN_CLICKED) {
        if (id == IDOK) {
          OnOK();
          return true;
        }
        if (id == IDCANCEL) {
          OnCancel();
          return true;
        }
      }
      return OnCommand(id, code, reinterpret_cast<HWND>(lParam));
    }
    default:
      return false;
  }
}

void modal_dialog::EndDialog(INT_PTR result) {
  if (m_hWnd) ::EndDialog(m_hWnd, result);
}

HWND modal_dialog::Item(int id) const {
  if (!m_hWnd) return nullptr;
  if (HWND item = GetDlgItem(m_hWnd, id)) return item;
  if (id != -1) return nullptr;
  for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    int childId = GetDlgCtrlID(child);
    if (childId == -1 || childId == 0xFFFF) return child;
  }
  return nullptr;
}

bool modal_dialog::IsChecked(int id) const {
  HWND item = Item(id);
  return item && SendMessageW(item, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void modal_dialog::SetCheck(int id, bool checked) {
  if (HWND item = Item(id)) SendMessageW(item, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void modal_dialog::EnableItem(int id, bool enable) {
  if (HWND item = Item(id)) EnableWindow(item, enable);
}

void modal_dialog::ShowItem(int id, bool show) {
  if (HWND item = Item(id)) ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

std::wstring modal_dialog::ResourceString(UINT id) const {
  wchar_t text[1024];
  int length = ::LoadStringW(m_resources, id, text, static_cast<int>(std::size(text)));
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

INT_PTR CALLBACK modal_dialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  modal_dialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<modal_dialog*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->m_hWnd = window;
  } else {
    // Messages before WM_INITDIALOG (the font, the frame) find no object and take the default.
    self = reinterpret_cast<modal_dialog*>(GetWindowLongPtrW(window, DWLP_USER));
  }
  if (!self) return FALSE;

  INT_PTR result = 0;
  // A handler that throws ends the dialog as one that could not be shown (-1): neither left open
  // nor hidden, and nothing of it reaches the system's dialog manager.
  bool handled = GuardedElse(
      kLog, "DialogProc", [&] { return self->OnMessage(message, wParam, lParam, result); },
      [&] {
        ::EndDialog(window, -1);
        result = FALSE;
        return message == WM_INITDIALOG;
      });
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, DWLP_USER, 0);
    self->m_hWnd = nullptr;
  }
  if (!handled) return FALSE;
  switch (message) {
    // These answer through the procedure's own result.
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
      return result;
    default:
      SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
      return TRUE;
  }
}

}  // namespace vpdf
