// A modal dialog from one of the add-in's dialog templates, without a framework: one dialog
// procedure that forwards the messages to virtual members of the dialog object.
#pragma once
#include <windows.h>

#include <string>

namespace vpdf {

class modal_dialog {
 public:
  // `resources`: the module that holds the template and the dialog's strings; null means the
  // add-in module (Module::Instance().Handle()). A module loaded as a data file will do.
  modal_dialog(UINT templateId, HWND parent, HINSTANCE resources = nullptr);
  virtual ~modal_dialog();
  modal_dialog(const modal_dialog&) = delete;
  modal_dialog& operator=(const modal_dialog&) = delete;

  // Shows the dialog and returns the value it was ended with (IDOK, IDCANCEL, ...), or -1
  // when the template is missing or the dialog could not be created.
  INT_PTR DoModal();

  // The dialog window while it is up, else null.
  HWND GetSafeHwnd() const { return m_hWnd; }
  UINT TemplateId() const { return m_templateId; }
  HINSTANCE Resources() const { return m_resources; }

 protected:
  // WM_INITDIALOG. The result is that of the message: TRUE lets the system set the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // The OK button (IDOK) and Cancel (IDCANCEL, also Escape and the close box).
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // WM_COMMAND of any other control; true when handled.
  virtual bool OnCommand(int id, int code, HWND control);
  // Every message; the default hands them to the members above. Return true with `result`
  // set when the message was handled (the dialog procedure's result, see DialogProc).
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

  void EndDialog(INT_PTR result);

  // Helpers on the dialog's controls. Control id -1 (an unnamed group box or static) is found
  // too: the first child whose id reads as -1.
  HWND Item(int id) const;
  bool IsChecked(int id) const;
  void SetCheck(int id, bool checked);
  void EnableItem(int id, bool enable);
  void ShowItem(int id, bool show);
  // String `id` of the resource module, empty when missing.
  std::wstring ResourceString(UINT id) const;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  UINT m_templateId;
  HWND m_parent;
  HINSTANCE m_resources;
  HWND m_hWnd = nullptr;
};

}  // namespace vpdf
