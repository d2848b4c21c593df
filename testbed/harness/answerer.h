// A person at the client: answers the dialogs and message boxes that one thread (the client's
// UI thread) shows, from a thread of its own, by a script of answers, and writes down what it
// saw and did. Also the system's own boxes (the file dialogs' "replace?" and "not found"
// questions): every window of class #32770 that the thread shows is answered or, with no answer
// for it, cancelled after a short grace time and reported, so a run never waits for ever.
//
//   harness::Answerer person;
//   person.On(harness::WithControl(kFileList), {harness::Pick(kMerge), harness::Press(IDOK)})
//       .On(harness::WithControl(kSaveLocal), {harness::Pick(kSaveLocal), harness::Press(IDOK)})
//       .On(harness::FileDialog(), {harness::FileName(result), harness::Press(IDOK)})
//       .On(harness::Saying(L"already exists"), {harness::Press(IDYES)});
//   command->Execute();
//   person.Stop();
//   EXPECT_EQ(L"Merge items to one PDF -> pick Combine files into one PDF document, OK\n"
//             L"Save As -> pick Local Save, OK\n"
//             L"Save As -> type \"%WORK%\\out.pdf\", Save\n"
//             L"Save As: File already exists. Do you want to replace it? -> Yes\n",
//             person.Log());
//   EXPECT_EQ(L"", person.Unanswered());
//
// Log lines read "<title>: <message text> -> <steps>", paths shortened (harness::Shorten).
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace harness {

// Which window an answer is for.
struct Which {
  std::function<bool(HWND)> matches;
  std::wstring windowClass = L"#32770";
};
Which AnyDialog();
// A dialog with a control of this id.
Which WithControl(int id);
// A window whose title holds `part`.
Which Titled(const std::wstring& part);
// A window whose title or message text holds `part`.
Which Saying(const std::wstring& part);
// A window of another class (the progress window), shown by the thread.
Which OfClass(const std::wstring& windowClass);
// The common file dialogs (the name box is there).
Which FileDialog();

// What a person does in the window, and how the log says it.
struct Step {
  std::function<std::wstring(HWND)> say;
  std::function<void(HWND)> act;
};
// A button, check box or radio button clicked; the log names it by its label.
Step Press(int id);
Step Pick(int id);
// A check box brought to `checked`.
Step Check(int id, bool checked);
Step Type(int id, const std::wstring& text);
// The file name typed into a common file dialog.
Step FileName(const std::wstring& path);
// Nothing done: the log says what a common file dialog offers, its file types (each as the
// list shows it and its pattern) and the name it proposes: [PDF Files (*.PDF) = *.pdf] "a.pdf".
Step Offered();
// The list view's rows moved with the "up" button until their first column reads `order`
// (rows not named keep their place after them).
Step Order(int listId, int upId, const std::vector<std::wstring>& order);
// Keys pressed together, as a person types them (to whichever window has the keyboard), and
// released in reverse order: {VK_MENU, VK_F4} is Alt+F4. The log says `said`.
Step Keys(const std::wstring& said, std::vector<WORD> chord);
// Anything else a person does.
Step Do(const std::wstring& said, std::function<void(HWND)> act);

class Answerer {
 public:
  // Watches the calling thread (or `uiThread`) from now on.
  Answerer();
  explicit Answerer(DWORD uiThread);
  ~Answerer();  // Stop()
  Answerer(const Answerer&) = delete;
  Answerer& operator=(const Answerer&) = delete;

  // The next window that `which` matches gets `steps`, in order. Answers are tried in the
  // order they were given; each is used once, unless given with Always.
  Answerer& On(Which which, std::vector<Step> steps);
  Answerer& Always(Which which, std::vector<Step> steps);
  // Windows without an answer are left alone (not cancelled, not reported).
  Answerer& LeaveOthers();

  // Waits (pumping this thread's messages) until the steps under way are done, then stops.
  void Stop();
  // One line per window, in the order they came, each ending in "\n".
  std::wstring Log() const;
  // The lines of windows that had no answer or stayed open after it: each was cancelled.
  std::wstring Unanswered() const;
  bool Found() const;   // some window was answered
  bool Forced() const;  // some window stayed open after its answer and was cancelled

 private:
  struct Answer;
  struct Window;
  void Run();
  void Look();
  Answer* Find(HWND window, const std::wstring& windowClass);

  DWORD m_ui;
  mutable std::mutex m_mutex;
  std::vector<std::shared_ptr<Answer>> m_script;
  std::vector<std::shared_ptr<Window>> m_windows;
  std::vector<std::wstring> m_log, m_unanswered;
  std::atomic<bool> m_leaveOthers{false}, m_found{false}, m_forced{false}, m_stop{false}, m_done{false};
  std::thread m_thread;
};

// The older form used by the dialog tests: the first dialog that the calling thread shows,
// worked by `script`; cancelled when still up a few seconds after the script has returned.
class DialogDriver {
 public:
  explicit DialogDriver(std::function<void(HWND dialog)> script);
  void Join() { m_answerer.Stop(); }
  bool Found() const { return m_answerer.Found(); }
  bool Forced() const { return m_answerer.Forced(); }

 private:
  Answerer m_answerer;
};

// Low-level helpers on windows of another thread of this process.
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
// A message box's text (its static control), empty for other windows.
std::wstring MessageText(HWND box);

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

}  // namespace harness
