// The merge and save dialogs and the message box from the add-in's own templates, worked as a person
// works them: what each shows, what the clicks change and store, how the merge dialog resizes.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "convutils/conv_utils.h"
#include "convutils/resource.h"
#include "tests/settings_support.h"
#include "tests/testing/harness.h"
#include "ui/how_to_save_dlg.h"
#include "ui/merge_sort_dlg.h"
#include "ui/message_box.h"
#include "ui/progress_window.h"

namespace {

using namespace testing_support;

constexpr wchar_t kSettingsKey[] = L"Software\\Ostrel\\PDF\\V1\\iManage Work";

HINSTANCE AddinResources() {
  static HMODULE module =
      LoadLibraryExW(testbed::AddinPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  return module;
}

// The stored "do_merge how_to_save saver_new_related" ("-": missing), or replaced by `stored`.
std::wstring Choices(const std::wstring& stored = L"") {
  const wchar_t* names[] = {L"do_merge", L"how_to_save", L"saver_new_related"};
  std::wstring text;
  for (int i = 0; i < 3; ++i) {
    if (!stored.empty()) {
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, names[i]);
      if (stored[i * 2] != L'-') SetDword(HKEY_CURRENT_USER, kSettingsKey, names[i], stored[i * 2] - L'0');
      continue;
    }
    DWORD value = 0, size = sizeof value;
    const bool found = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, names[i], RRF_RT_REG_DWORD, nullptr, &value,
                                    &size) == ERROR_SUCCESS;
    text += (i ? L" " : L"") + (found ? std::to_wstring(value) : L"-");
  }
  return text;
}

// The controls' states as "0"/"1".
std::string Flags(HWND d, bool (*state)(HWND, int), std::initializer_list<int> ids) {
  std::string flags;
  for (int id : ids) flags += state(d, id) ? '1' : '0';
  return flags;
}
bool Usable(HWND d, int id) { return Enabled(d, id) && Visible(d, id); }

class DialogTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(AddinResources(), nullptr) << "VPDFIManageAddon.dll"; }

  std::unique_ptr<vpdf::MergeSortDlg> Merge(bool extended = false, int language = 0,
                                            std::vector<const wchar_t*> names = {L"Annual report", L"Board minutes"}) {
    vpdf::doc_description_list docs;
    for (size_t i = 0; i < names.size(); ++i)
      docs.push_back(std::make_shared<vpdf::doc_description>(L"n/a", names[i], L"DOCX", std::to_wstring(1001 + i),
                                                             std::to_wstring(i + 1), L""));
    return std::make_unique<vpdf::MergeSortDlg>(L"iManage Work", L"merge_dialog_size", extended, std::move(docs),
                                                language, nullptr, AddinResources());
  }
  // Shows the dialog with `script` driving it; the result of DoModal.
  template <class Dialog>
  static INT_PTR Show(Dialog& dialog, std::function<void(HWND)> script) {
    DialogDriver driver(std::move(script));
    INT_PTR result = dialog.DoModal();
    driver.Join();
    EXPECT_TRUE(driver.Found() && !driver.Forced()) << "the dialog never came up, or stayed";
    return result;
  }

  ScopedRegistryKeys newKeys_{MissingParts({{HKEY_CURRENT_USER, kRunConfigKey}})};  // removed last
  ScopedRegistryKeys keys_{{{HKEY_CURRENT_USER, kSettingsKey}, {HKEY_CURRENT_USER, kRunConfigKey}}};
};

// A handler that throws ends the dialog as one that could not be shown (-1): no window of it is left,
// neither hidden (thrown while it opens) nor open (thrown by OK).
TEST_F(DialogTest, AThrowingHandlerEndsTheMergeDialog) {
  struct Failing : vpdf::MergeSortDlg {
    using MergeSortDlg::MergeSortDlg;
    bool inInit = false;
    BOOL OnInitDialog() override { return MergeSortDlg::OnInitDialog() && inInit ? throw std::bad_alloc() : TRUE; }
    void OnOK() override { throw std::bad_alloc(); }
  };
  for (bool inInit : {true, false}) {
    Failing dialog(L"iManage Work", L"merge_dialog_size", false, {}, 0, nullptr, AddinResources());
    dialog.inInit = inInit;
    harness::Answerer person;
    person.On(harness::AnyDialog(), {harness::Press(IDOK)});
    EXPECT_EQ(-1, dialog.DoModal());
    person.Stop();
    EXPECT_EQ(nullptr, FindWindowW(L"#32770", nullptr)) << "a window of the dialog is left";
    EXPECT_EQ(inInit ? L"" : L"Merge items to one PDF -> OK\n", person.Log());
  }
}

TEST_F(DialogTest, MergeDialogShowsTheDocumentsAndSwitchesItsControls) {
  // Each row: stored choices, mode, language, clicks each with the state it leaves (0: as it opens),
  // the closing button (0: the close box) and the stored choices then. States: checked each, one |
  // enabled up, down, list | usable save group, new document, new version, relate | checked the last three.
  const struct {
    const wchar_t* stored;
    bool extended;
    int language;
    std::vector<std::pair<int, const char*>> steps;
    int close;
    const wchar_t* storedAfter;
  } rows[] = {
      {L"- - -", false, 0, {{0, "10 000 0000 011"}, {IDC_MERGE, "01 111 0000 011"}}, IDCANCEL, L"- - -"},
      {L"- - -", false, 0, {{IDC_MERGE, "01 111 0000 011"}}, 0, L"- - -"},
      {L"1 - -", false, 0, {{0, "01 111 0000 011"}, {IDC_SINGLE, "10 000 0000 011"}, {IDC_MERGE, "01 111 0000 011"},
                            {IDC_SINGLE, "10 000 0000 011"}}, IDOK, L"0 0 1"},
      {L"- - 0", true, 0, {{0, "10 000 1111 010"}, {IDC_MERGE, "01 111 0000 100"}, {IDC_SINGLE, "10 000 1111 100"}},
       IDOK, L"0 1 0"},
      {L"1 - -", true, 0, {{0, "01 111 0000 011"}}, IDOK, L"1 0 1"},
      {L"- - -", false, 200, {{0, "10 000 0000 011"}}, IDCANCEL, L"- - -"},
  };
  LONG listHeight[2] = {};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(row.stored)) << row.extended);
    Choices(row.stored);
    auto dialog = Merge(row.extended, row.language);
    const INT_PTR result = Show(*dialog, [&](HWND d) {
      HWND list = Control(d, IDC_FILE_LIST);
      EXPECT_EQ(row.language ? L"Elemente zu einem PDF zusammenf\u00fchren" : L"Merge items to one PDF", Text(d));
      const std::vector<std::wstring> english{L"Files", L"Doc. Number", L"Version"},
          german{L"Dateien", L"Dok.-Nummer", L"Version"};
      EXPECT_EQ(row.language ? german : english, ColumnTitles(list));
      const std::vector<std::vector<std::wstring>> shown{{L"Annual report", L"1001", L"1"},
                                                         {L"Board minutes", L"1002", L"2"}};
      EXPECT_EQ(shown, Rows(list));
      listHeight[row.extended] = ControlRect(d, IDC_FILE_LIST).bottom - ControlRect(d, IDC_FILE_LIST).top;
      for (const auto& [click, state] : row.steps) {
        if (click) Click(d, click);
        EXPECT_EQ(state, Flags(d, Checked, {IDC_SINGLE, IDC_MERGE}) + " " +
                             Flags(d, Enabled, {IDC_UP, IDC_DOWN, IDC_FILE_LIST}) + " " +
                             Flags(d, Usable, {IDC_SAVE_GROUP, IDC_MERGE_SAVE_NEW_DOCUMENT,
                                               IDC_MERGE_SAVE_NEW_VERSION, IDC_MERGE_RELATE}) + " " +
                             Flags(d, Checked, {IDC_MERGE_SAVE_NEW_DOCUMENT, IDC_MERGE_SAVE_NEW_VERSION, IDC_MERGE_RELATE}))
            << click;
      }
      if (row.close)
        Click(d, row.close);
      else
        SendMessageW(d, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(row.close ? row.close : IDCANCEL, result);
    EXPECT_EQ(row.storedAfter, Choices());
  }
  EXPECT_GT(listHeight[0], listHeight[1]) << "the list takes the room of the hidden save group";
}

TEST_F(DialogTest, UpAndDownMoveTheSelectedRowAndOkGivesTheShownOrder) {
  // The row selected, the button pressed, then the first column as shown.
  using Column = std::vector<std::vector<std::wstring>>;
  const std::tuple<int, int, Column> moves[] = {
      {0, IDC_UP, {{L"A"}, {L"B"}, {L""}, {L"D"}}}, {3, IDC_DOWN, {{L"A"}, {L"B"}, {L""}, {L"D"}}},  // first and last stay
      {2, IDC_UP, {{L"A"}, {L"B"}, {L""}, {L"D"}}},  // a row without a name stays
      {3, IDC_UP, {{L"A"}, {L"B"}, {L"D"}, {L""}}}, {0, IDC_DOWN, {{L"B"}, {L"A"}, {L"D"}, {L""}}},
      {2, IDC_UP, {{L"B"}, {L"D"}, {L"A"}, {L""}}}};
  auto dialog = Merge(false, 0, {L"A", L"B", L"", L"D"});
  EXPECT_EQ(IDOK, Show(*dialog, [&](HWND d) {
              Click(d, IDC_MERGE);
              for (const auto& [row, button, shown] : moves) {
                SelectRow(Control(d, IDC_FILE_LIST), row);
                Click(d, button);
                EXPECT_EQ(shown, Rows(Control(d, IDC_FILE_LIST), 1)) << row;
              }
              Click(d, IDOK);
            }));
  std::vector<std::wstring> output;
  for (const auto& record : dialog->output()) output.push_back(record->name + L" " + record->number);
  EXPECT_EQ((std::vector<std::wstring>{L"B 1002", L"D 1004", L"A 1001", L" 1003"}), output);
}

TEST_F(DialogTest, ResizingMovesTheControlsStopsAtTheInitialSizeAndOpensAsStoredEvenBeyondTheScreen) {
  auto dialog = Merge(true);
  SIZE initial{};
  EXPECT_EQ(IDOK, Show(*dialog, [&](HWND d) {
              initial = WindowSize(d);
              // How far each control's edges move when the window grows by 120 x 90: the list stretches,
              // OK, Cancel and Up follow the right edge, OK, Cancel and the save group the bottom.
              const std::pair<int, RECT> anchors[] = {
                  {IDC_FILE_LIST, {0, 0, 120, 90}},   {IDOK, {120, 90, 120, 90}}, {IDCANCEL, {120, 90, 120, 90}},
                  {IDC_SAVE_GROUP, {0, 90, 0, 90}},   {IDC_MERGE_RELATE, {0, 90, 0, 90}},
                  {IDC_SINGLE, {0, 0, 0, 0}},         {IDC_UP, {120, 0, 120, 0}}};
              std::vector<RECT> before;
              for (const auto& [id, moves] : anchors) before.push_back(ControlRect(d, id));
              ResizeWindow(d, initial.cx + 120, initial.cy + 90);
              for (size_t i = 0; i < before.size(); ++i) {
                const RECT after = ControlRect(d, anchors[i].first), &m = anchors[i].second;
                EXPECT_EQ((std::vector<LONG>{m.left, m.top, m.right, m.bottom}),
                          (std::vector<LONG>{after.left - before[i].left, after.top - before[i].top,
                                             after.right - before[i].right, after.bottom - before[i].bottom}))
                    << anchors[i].first;
              }
              ResizeWindow(d, 100, 80);
              EXPECT_EQ(initial.cx, WindowSize(d).cx) << "smaller than it opened";
              EXPECT_EQ(initial.cy, WindowSize(d).cy);
              MINMAXINFO limits{};
              SendMessageW(d, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
              EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), limits.ptMaxTrackSize.x) << "dragged beyond the screen";
              EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), limits.ptMaxTrackSize.y);
              ResizeWindow(d, initial.cx + 50, initial.cy + 40);
              Click(d, IDOK);
            }));
  dialog.reset();
  const SIZE opened = initial, screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  // The stored size (as it was left; a 0 leaves the template's; beyond the screen), the size it opens with.
  const std::pair<SIZE, SIZE> rows[] = {{{0, 0}, {opened.cx + 50, opened.cy + 40}}, {{0, 0}, opened}, {{900, 0}, opened},
                                        {{opened.cx + 140, opened.cy + 60}, {opened.cx + 140, opened.cy + 60}},
                                        {{screen.cx + 300, screen.cy + 200}, {screen.cx + 300, screen.cy + 200}}};
  POINT okMargin{-1, -1};  // OK's distance to the lower right corner
  for (const auto& [stored, expected] : rows) {
    if (&stored != &rows[0].first)
      SetDword(HKEY_CURRENT_USER, kSettingsKey, L"merge_dialog_size", MAKELONG(stored.cx, stored.cy));
    auto dialog = Merge();
    Show(*dialog, [&](HWND d) {
      EXPECT_EQ(expected.cx, WindowSize(d).cx) << stored.cx;
      EXPECT_EQ(expected.cy, WindowSize(d).cy) << stored.cy;
      const POINT margin{ClientRect(d).right - ControlRect(d, IDOK).right,
                         ClientRect(d).bottom - ControlRect(d, IDOK).bottom};
      if (okMargin.x < 0) okMargin = margin;
      EXPECT_TRUE(okMargin.x == margin.x && okMargin.y == margin.y) << "OK keeps its place in the corner";
      Click(d, IDCANCEL);
    });
  }
}

TEST_F(DialogTest, SaveDialogOpensWithTheStoredChoiceAndStoresTheLast) {
  // Each row: stored choices, mode, clicks, then checked new document, relate, new version, local save |
  // relate enabled, local save shown; button, decision, stored choices once the dialog is gone; language.
  const struct {
    const wchar_t* stored;
    bool extended;
    std::vector<int> clicks;
    const char* state;
    int button, decision;
    const wchar_t* storedAfter;
    int language = 0;
  } rows[] = {
      {L"- - -", true, {}, "1100 11", IDOK, 0, L"- 0 1"},
      {L"- 2 -", false, {}, "1100 10", IDOK, 0, L"- 0 1"},  // local save is not offered
      {L"- 2 -", true, {}, "0101 01", IDOK, 2, L"- 2 1"},
      {L"- 1 -", true, {}, "0110 01", IDOK, 1, L"- 1 1"},
      {L"- - -", true, {IDC_SAVE_LOCAL}, "0101 01", IDOK, 2, L"- 2 1"},
      {L"- - -", true, {IDC_RELATE, IDC_SAVE_NEW_VERSION}, "0010 01", IDOK, 1, L"- 1 0"},
      {L"- 1 0", true, {IDC_SAVE_NEW_DOCUMENT, IDC_RELATE}, "1100 11", IDCANCEL, 0, L"- 1 0"},  // as it opened
      {L"- 2 0", false, {IDC_SAVE_NEW_VERSION}, "0010 00", IDCANCEL, 0, L"- 0 0"},
      {L"- - -", true, {}, "1100 11", IDCANCEL, 0, L"- 0 1", 200},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(row.stored)) << row.extended << row.state);
    Choices(row.stored);
    auto dialog = std::make_unique<vpdf::HowToSaveDlg>(L"iManage Work", L"How do you want to save it ?", row.extended,
                                                       row.language, nullptr, AddinResources());
    EXPECT_EQ(row.button, Show(*dialog, [&](HWND d) {
                EXPECT_EQ(row.language ? L"Speichern unter" : L"Save As", Text(d));
                EXPECT_EQ(L"How do you want to save it ?", Text(Control(d, IDC_MESSAGE)));
                for (int click : row.clicks) Click(d, click);
                EXPECT_EQ(row.state, Flags(d, Checked, {IDC_SAVE_NEW_DOCUMENT, IDC_RELATE, IDC_SAVE_NEW_VERSION,
                                                        IDC_SAVE_LOCAL}) +
                                         " " + Flags(d, Enabled, {IDC_RELATE}) + Flags(d, Visible, {IDC_SAVE_LOCAL}));
                Click(d, row.button);
              }));
    if (row.button == IDOK) {
      EXPECT_EQ(row.decision, dialog->decision());
    }
    dialog.reset();
    EXPECT_EQ(row.storedAfter, Choices());
  }
  Choices(L"- - -");
  { vpdf::HowToSaveDlg unshown(L"iManage Work", L"", true, 0, nullptr, AddinResources()); }
  EXPECT_EQ(L"- - -", Choices()) << "a dialog never shown stores nothing";
}

TEST_F(DialogTest, MessageBoxCaptionButtonAndRightToLeftForArabic) {
  ScopedRegistryKeys newKeys{MissingParts({{HKEY_LOCAL_MACHINE, kRunProductKey32}})};
  ScopedRegistryValue installPath{HKEY_LOCAL_MACHINE, kRunProductKey32, L"InstallPath", KEY_WOW64_32KEY};
  // Languages of component kinds 0 and 2, installed (then kind 2 decides), styles added (right to left).
  const std::tuple<DWORD, DWORD, bool, UINT> rows[] = {
      {1033, 1025, false, 0}, {1025, 1033, false, 0x180000}, {1025, 1033, true, 0},
      {1033, 1025, true, 0x180000}, {1033, 0x0C01, true, 0}, {1033, 1031, true, 0}};
  for (const auto& [kind0, kind2, installed, added] : rows) {
    SetDword(HKEY_CURRENT_USER, kRunConfigKey, L"UILanguage0", kind0);
    SetDword(HKEY_CURRENT_USER, kRunConfigKey, L"UILanguage2", kind2);
    if (installed)
      installPath.SetString(L"C:\\Program Files\\Ostrel\\");
    else
      installPath.Remove();
    EXPECT_EQ(MB_YESNO | added, vpdf::MessageBoxStyle(MB_YESNO)) << kind0 << " " << kind2 << " " << installed;
  }
  for (const wchar_t* caption : {static_cast<const wchar_t*>(nullptr), L"Checked out"}) {
    harness::Answerer person;
    person.On(harness::AnyDialog(), {harness::Press(caption ? IDNO : IDOK)});
    EXPECT_EQ(caption ? IDNO : IDOK, vpdf::VPDFMessageBox(nullptr, L"General error", caption,
                                                          caption ? MB_YESNO : MB_OK | MB_ICONERROR));
    person.Stop();
    EXPECT_EQ(std::wstring(caption ? caption : L"Ostrel Varnel PDF") + L": General error -> " + (caption ? L"No" : L"OK") + L"\n",
              person.Log());
  }
}

// The progress window of a run waiting for its helper, worked from the keyboard: it takes the
// keyboard from the client's window when it shows, each way of cancelling ends the wait, and the
// client's window has the keyboard back when the window goes.
TEST_F(DialogTest, ProgressWindowCancelsFromTheKeyboard) {
  using harness::Keys;
  const std::pair<const char*, std::vector<harness::Step>> rows[] = {
      {"Escape", {Keys(L"Escape", {VK_ESCAPE})}},
      {"Enter", {Keys(L"Enter", {VK_RETURN})}},
      {"Tab, Space", {Keys(L"Tab", {VK_TAB}), Keys(L"Space", {VK_SPACE})}},
      {"Alt+F4", {Keys(L"Alt+F4", {VK_MENU, VK_F4})}},
      {"close box", {harness::Do(L"close box", [](HWND w) { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); })}},
  };
  HWND client = CreateWindowExW(0, L"STATIC", L"Client", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 400, nullptr,
                                nullptr, nullptr, nullptr);
  for (const auto& [way, steps] : rows) {
    SCOPED_TRACE(way);
    SetForegroundWindow(client);
    harness::Answerer person;
    person.On(harness::OfClass(vpdf::kProgressWindowClass), steps);
    DWORD waited = 0;
    {
      vpdf::ProgressWindow progress(IDS_CREATEPDF_MENU, 2, 0, client, AddinResources());
      vpdf::Handle helper(CreateEventW(nullptr, TRUE, FALSE, nullptr));  // never ends
      waited = vpdf::CConvUtils::WaitPumpingMessages(helper.Get(), vpdf::CConvUtils::kWakeAllInput, false,
                                                     vpdf::CConvUtils::CancelEvent(), 5000);
      person.Stop();
    }
    EXPECT_EQ(WAIT_OBJECT_0 + 1, waited) << "the wait was not cancelled";
    EXPECT_EQ(client, GetActiveWindow()) << "the client's window did not get the keyboard back";
  }
  // The window of a slow conversion comes up while the person answers a dialog: the dialog keeps the keyboard.
  vpdf::ProgressWindow slow(IDS_CREATEPDF_MENU, 1, 0, client, AddinResources());
  slow.Step(vpdf::ProgressStep::kConverting);
  const DWORD ui = GetCurrentThreadId();
  std::wstring seen;  // the title of the window with the keyboard
  harness::Answerer person;
  person.On(harness::AnyDialog(), {harness::Do(L"look", [&](HWND) {
                                     EXPECT_TRUE(harness::WaitForWindowOf(ui, vpdf::kProgressWindowClass))
                                         << "the progress window did not come up";
                                     seen = Text(GetForegroundWindow());
                                   }),
                                   harness::Press(IDOK)});
  vpdf::Handle helper(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    MessageBoxW(nullptr, L"Shall the client go on?", L"Client", MB_OK);
  });
  vpdf::CConvUtils::WaitPumpingMessages(helper.Get(), vpdf::CConvUtils::kWakeAllInput, false, nullptr, 2500);
  person.Stop();
  EXPECT_EQ(L"Client: Shall the client go on? -> look, OK\n", person.Log());
  EXPECT_EQ(L"Client", seen) << "the progress window took the keyboard from the dialog";
  DestroyWindow(client);
}

// Mirrored when its texts read right to left, whatever the product's language.
TEST_F(DialogTest, ProgressWindowIsMirroredOnlyForArabicTexts) {
  // The block of its texts, the product's UI language, whether it is mirrored.
  const std::tuple<int, DWORD, bool> rows[] = {{0, 1025, false}, {2000, 1033, true}, {200, 1025, false}};
  for (const auto& [offset, product, mirrored] : rows) {
    for (const wchar_t* kind : {L"UILanguage0", L"UILanguage1", L"UILanguage2"})
      SetDword(HKEY_CURRENT_USER, kRunConfigKey, kind, product);
    vpdf::ProgressWindow progress(IDS_CREATEPDF_MENU + offset, 2, offset, nullptr, AddinResources());
    EXPECT_EQ(mirrored, (GetWindowLongW(progress.Window(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0) << offset;
  }
}

}  // namespace
