// Drives a modal dialog the way a person would: a second thread waits until the dialog that
// the test thread shows is on screen, then works it through window messages (clicks, list
// selection, resizing) that the dialog's own thread handles in its modal loop.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class DialogDriver {
 public:
  // Starts the driving thread for the next dialog (class #32770) that the calling thread
  // shows. `script` runs on the driving thread with the dialog window; a dialog that is still
  // up a few seconds after the script has returned is cancelled (and Forced() says so).
  explicit DialogDriver(std::function<void(HWND dialog)> script);
  // Waits for the driving thread.
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  void Join();
  bool Found() const { return m_found; }
  bool Forced() const { return m_forced; }

 private:
  void Run();

  DWORD m_uiThread;
  std::function<void(HWND)> m_script;
  bool m_found = false;
  bool m_forced = false;
  std::thread m_thread;
};

// A dialog (class #32770) that thread `thread` shows now, or null.
HWND VisibleDialogOf(DWORD thread);
// A window of class `className` that thread `thread` shows now, or null.
HWND VisibleWindowOf(DWORD thread, const wchar_t* className);
// The same, waited for up to 20 seconds.
HWND WaitForWindowOf(DWORD thread, const wchar_t* className);

// A control of the dialog; id -1 finds the first control whose id reads as -1.
HWND Control(HWND dialog, int id);
// BM_CLICK on a button, radio button or check box.
void Click(HWND dialog, int id);
bool Checked(HWND dialog, int id);
bool Enabled(HWND dialog, int id);
bool Visible(HWND dialog, int id);
std::wstring Text(HWND window);

// The list view's rows, each as its column texts.
std::vector<std::vector<std::wstring>> Rows(HWND list, int columns = 3);
std::vector<std::wstring> ColumnTitles(HWND list);
std::vector<int> ColumnWidths(HWND list);
// Selects and focuses one row (LVM_SETITEMSTATE), clearing the others.
void SelectRow(HWND list, int row);
int SelectedRow(HWND list);
LPARAM RowData(HWND list, int row);
void SetRowData(HWND list, int row, LPARAM data);

// Rectangles in the dialog's client coordinates.
RECT ClientRect(HWND dialog);
RECT ControlRect(HWND dialog, int id);
SIZE WindowSize(HWND window);
// Resizes the dialog's window the way dragging its frame would (SetWindowPos, no move).
void ResizeWindow(HWND dialog, int width, int height);

}  // namespace testing_support
