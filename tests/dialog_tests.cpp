// The merge dialog, the save-choice dialog and the message box from the add-in's own templates
// (VPDFIManageAddon.dll loaded as a resource module), worked from a second thread as a person
// works them: what each shows, what the clicks change, what is stored for the next time, and
// how the merge dialog resizes and remembers its size.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "convutils/resource.h"
#include "tests/import_hook.h"
#include "tests/settings_support.h"
#include "tests/testing/harness.h"
#include "ui/how_to_save_dlg.h"
#include "ui/merge_sort_dlg.h"
#include "ui/message_box.h"

namespace {

using namespace testing_support;
using vpdf::doc_description, vpdf::HowToSaveDlg, vpdf::MergeSortDlg;

constexpr wchar_t kSettingsKey[] = L"Software\\Ostrel\\PDF\\V1\\iManage Work";
constexpr wchar_t kSize[] = L"merge_dialog_size";

HINSTANCE AddinResources() {
  static HMODULE module = [] {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    PathAppendW(path, L"VPDFIManageAddon.dll");
    return LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }();
  return module;
}

// The stored choices "do_merge how_to_save saver_new_related", "-" for a missing one.
std::wstring StoredChoices() {
  std::wstring text;
  for (const wchar_t* name : {L"do_merge", L"how_to_save", L"saver_new_related"}) {
    DWORD value = 0, size = sizeof value;
    const bool found = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr,
                                    &value, &size) == ERROR_SUCCESS;
    text += (text.empty() ? L"" : L" ") + (found ? std::to_wstring(value) : L"-");
  }
  return text;
}
void Store(const wchar_t* name, DWORD value) { SetDword(HKEY_CURRENT_USER, kSettingsKey, name, value); }

// The controls' states as "0"/"1", groups separated by blanks.
std::string Flags(HWND d, bool (*state)(HWND, int), std::initializer_list<int> ids) {
  std::string flags;
  for (int id : ids) flags += state(d, id) ? '1' : '0';
  return flags;
}
// Merge dialog: checked single, merge | enabled up, down, list | visible and usable save group
// | checked new document, new version, relate.
std::string MergeState(HWND d) {
  const std::initializer_list<int> group = {IDC_SAVE_GROUP, IDC_MERGE_SAVE_NEW_DOCUMENT,
                                            IDC_MERGE_SAVE_NEW_VERSION, IDC_MERGE_RELATE};
  auto usable = [](HWND dialog, int id) { return Enabled(dialog, id) && Visible(dialog, id); };
  return Flags(d, Checked, {IDC_SINGLE, IDC_MERGE}) + " " + Flags(d, Enabled, {IDC_UP, IDC_DOWN, IDC_FILE_LIST}) +
         " " + Flags(d, Visible, group) + " " + Flags(d, usable, group) + " " +
         Flags(d, Checked, {IDC_MERGE_SAVE_NEW_DOCUMENT, IDC_MERGE_SAVE_NEW_VERSION, IDC_MERGE_RELATE});
}
std::vector<std::wstring> Names(HWND list) {
  std::vector<std::wstring> names;
  for (const auto& row : Rows(list)) names.push_back(row[0] + L" " + row[1] + L" " + row[2]);
  return names;
}

class DialogTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(AddinResources(), nullptr) << "VPDFIManageAddon.dll"; }

  std::unique_ptr<MergeSortDlg> Merge(bool extended = false, int language = 0,
                                      std::vector<const wchar_t*> names = {L"Annual report", L"Board minutes",
                                                                          L"Contract draft"}) {
    vpdf::doc_description_list docs;
    for (size_t i = 0; i < names.size(); ++i)
      docs.push_back(std::make_shared<doc_description>(L"n/a", names[i], L"DOCX", std::to_wstring(1001 + i),
                                                       std::to_wstring(i + 1), L""));
    return std::make_unique<MergeSortDlg>(L"iManage Work", kSize, extended, std::move(docs), language,
                                          nullptr, AddinResources());
  }
  std::unique_ptr<HowToSaveDlg> Save(bool extended, int language = 0) {
    return std::make_unique<HowToSaveDlg>(L"iManage Work", L"How do you want to save it ?", extended, language,
                                          nullptr, AddinResources());
  }
  // Shows the dialog with `script` driving it; the result of DoModal.
  template <class Dialog>
  static INT_PTR Show(Dialog& dialog, std::function<void(HWND)> script) {
    DialogDriver driver(std::move(script));
    INT_PTR result = dialog.DoModal();
    driver.Join();
    EXPECT_TRUE(driver.Found()) << "the dialog never came up";
    EXPECT_FALSE(driver.Forced()) << "the script left the dialog open";
    return result;
  }
  SIZE OpenedSize() {
    SIZE size{};
    auto dialog = Merge();
    Show(*dialog, [&](HWND d) {
      size = WindowSize(d);
      Click(d, IDCANCEL);
    });
    return size;
  }

  ScopedRegistryKeys keys_{{{HKEY_CURRENT_USER, kSettingsKey}, {HKEY_CURRENT_USER, L"Software\\VarnelTestbed\\Config"}}};
};

TEST_F(DialogTest, MergeDialogShowsTheDocumentsAndSwitchesItsControls) {
  // Each row: what is stored before, the dialog's mode, then clicks each followed by the state
  // it leaves (0: the state as it opens), the button that closes it and what is stored then.
  struct Step {
    int click;
    const char* state;
  };
  const struct {
    const wchar_t* stored;  // do_merge, saver_new_related; "-" none
    bool extended;
    std::vector<Step> steps;
    int close;
    const wchar_t* storedAfter;
  } rows[] = {
      {L"- -", false, {{0, "10 000 0000 0000 011"}, {IDC_MERGE, "01 111 0000 0000 011"}}, IDCANCEL, L"- - -"},
      {L"- -", false, {{IDC_MERGE, "01 111 0000 0000 011"}}, 0, L"- - -"},  // the close box
      {L"1 -", false, {{0, "01 111 0000 0000 011"}, {IDC_SINGLE, "10 000 0000 0000 011"},
                       {IDC_MERGE, "01 111 0000 0000 011"}, {IDC_SINGLE, "10 000 0000 0000 011"}},
       IDOK, L"0 0 1"},
      {L"- 0", true, {{0, "10 000 1111 1111 010"}, {IDC_MERGE, "01 111 1111 0000 100"},
                      {IDC_SINGLE, "10 000 1111 1111 100"}}, IDOK, L"0 1 0"},
      {L"1 -", true, {{0, "01 111 1111 0000 011"}}, IDOK, L"1 0 1"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << testing::PrintToString(std::wstring(row.stored)) << row.extended);
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    if (row.stored[0] != L'-') Store(L"do_merge", row.stored[0] - L'0');
    if (row.stored[2] != L'-') Store(L"saver_new_related", row.stored[2] - L'0');
    auto dialog = Merge(row.extended);
    const INT_PTR result = Show(*dialog, [&](HWND d) {
      EXPECT_EQ(L"Merge items to one PDF", Text(d));
      EXPECT_EQ((std::vector<std::wstring>{L"Files", L"Doc. Number", L"Version"}), ColumnTitles(Control(d, IDC_FILE_LIST)));
      EXPECT_EQ((std::vector<std::wstring>{L"Annual report 1001 1", L"Board minutes 1002 2", L"Contract draft 1003 3"}),
                Names(Control(d, IDC_FILE_LIST)));
      for (const Step& step : row.steps) {
        if (step.click) Click(d, step.click);
        EXPECT_EQ(step.state, MergeState(d)) << step.click;
      }
      if (row.close)
        Click(d, row.close);
      else
        SendMessageW(d, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(row.close ? row.close : IDCANCEL, result);
    EXPECT_EQ(row.storedAfter, StoredChoices());
  }
}

TEST_F(DialogTest, UpAndDownMoveTheSelectedRowAndOkGivesTheShownOrder) {
  // Each row: the row selected and the button pressed, then the rows as shown.
  const struct {
    int row, button;
    std::vector<const wchar_t*> shown;
  } moves[] = {
      {0, IDC_UP, {L"A", L"B", L"", L"D"}},    // the first row stays first
      {3, IDC_DOWN, {L"A", L"B", L"", L"D"}},  // the last row stays last
      {2, IDC_UP, {L"A", L"B", L"", L"D"}},    // a row without a name does not move
      {3, IDC_UP, {L"A", L"B", L"D", L""}},
      {0, IDC_DOWN, {L"B", L"A", L"D", L""}},
      {2, IDC_UP, {L"B", L"D", L"A", L""}},
  };
  auto dialog = Merge(false, 0, {L"A", L"B", L"", L"D"});
  std::vector<std::wstring> shown;
  EXPECT_EQ(IDOK, Show(*dialog, [&](HWND d) {
              Click(d, IDC_MERGE);
              HWND list = Control(d, IDC_FILE_LIST);
              for (const auto& move : moves) {
                SelectRow(list, move.row);
                Click(d, move.button);
                std::vector<std::wstring> names;
                for (const auto& row : Rows(list)) names.push_back(row[0]);
                EXPECT_EQ(std::vector<std::wstring>(move.shown.begin(), move.shown.end()), names) << move.row;
              }
              Click(d, IDOK);
            }));
  for (const auto& record : dialog->output()) shown.push_back(record->name + L" " + record->number);
  EXPECT_EQ((std::vector<std::wstring>{L"B 1002", L"D 1004", L"A 1001", L" 1003"}), shown);
}

TEST_F(DialogTest, GermanTemplatesAndTheListTakingTheRoomOfTheHiddenSaveGroup) {
  auto merge = Merge(false, 200);
  Show(*merge, [&](HWND d) {
    EXPECT_EQ(L"Elemente zu einem PDF zusammenf\u00fchren", Text(d));
    EXPECT_EQ(L"F\u00fcr &jedes Eingabedokument ein PDF erstellen", Text(Control(d, IDC_SINGLE)));
    EXPECT_EQ((std::vector<std::wstring>{L"Dateien", L"Dok.-Nummer", L"Version"}), ColumnTitles(Control(d, IDC_FILE_LIST)));
    Click(d, IDCANCEL);
  });
  auto save = Save(true, 200);
  Show(*save, [&](HWND d) {
    EXPECT_EQ(L"Speichern unter", Text(d));
    EXPECT_EQ(L"&Abbrechen", Text(Control(d, IDCANCEL)));
    Click(d, IDCANCEL);
  });
  RECT lists[2]{};
  for (bool extended : {false, true}) {
    auto dialog = Merge(extended);
    Show(*dialog, [&](HWND d) {
      lists[extended] = ControlRect(d, IDC_FILE_LIST);
      Click(d, IDCANCEL);
    });
  }
  EXPECT_EQ(lists[0].top, lists[1].top);
  EXPECT_EQ(lists[0].right - lists[0].left, lists[1].right - lists[1].left);
  EXPECT_GT(lists[0].bottom - lists[0].top, lists[1].bottom - lists[1].top);
}

TEST_F(DialogTest, ResizingMovesTheControlsStopsAtTheInitialSizeAndIsRemembered) {
  auto dialog = Merge(true);
  SIZE initial{};
  EXPECT_EQ(IDOK, Show(*dialog, [&](HWND d) {
              initial = WindowSize(d);
              // Each control: how far its left, top, right and bottom edges move when the window
              // grows by 120 x 90: the list stretches, OK, Cancel and Up follow the right edge (OK
              // and Cancel the bottom too), the save group the bottom, the radio buttons stay.
              const struct {
                int id;
                RECT moves;
              } anchors[] = {{IDC_FILE_LIST, {0, 0, 120, 90}}, {IDOK, {120, 90, 120, 90}},
                             {IDCANCEL, {120, 90, 120, 90}},    {IDC_SAVE_GROUP, {0, 90, 0, 90}},
                             {IDC_MERGE_RELATE, {0, 90, 0, 90}}, {IDC_SINGLE, {0, 0, 0, 0}},
                             {IDC_UP, {120, 0, 120, 0}}};
              std::vector<RECT> before;
              for (const auto& anchor : anchors) before.push_back(ControlRect(d, anchor.id));
              ResizeWindow(d, initial.cx + 120, initial.cy + 90);
              for (size_t i = 0; i < before.size(); ++i) {
                const RECT after = ControlRect(d, anchors[i].id);
                const RECT& m = anchors[i].moves;
                EXPECT_EQ((std::vector<LONG>{m.left, m.top, m.right, m.bottom}),
                          (std::vector<LONG>{after.left - before[i].left, after.top - before[i].top,
                                             after.right - before[i].right, after.bottom - before[i].bottom}))
                    << anchors[i].id;
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
  EXPECT_EQ(initial.cx + 50, OpenedSize().cx) << "the size it was left at";
}

TEST_F(DialogTest, StoredSizesOpenAsStoredEvenLargerThanTheScreen) {
  const SIZE opened = OpenedSize(), screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  // The stored width and height (0: as the template opens), and the size it opens with.
  const struct {
    int width, height;
    SIZE expected;
  } rows[] = {{0, 0, opened},
              {900, 0, opened},
              {opened.cx + 140, opened.cy + 60, {opened.cx + 140, opened.cy + 60}},
              {screen.cx + 300, screen.cy + 200, {screen.cx + 300, screen.cy + 200}}};
  POINT okMargin{-1, -1};  // OK's distance to the lower right corner, as the template opens
  for (const auto& row : rows) {
    Store(kSize, MAKELONG(row.width, row.height));
    auto dialog = Merge();
    Show(*dialog, [&](HWND d) {
      EXPECT_EQ(row.expected.cx, WindowSize(d).cx) << row.width;
      EXPECT_EQ(row.expected.cy, WindowSize(d).cy) << row.height;
      const POINT margin{ClientRect(d).right - ControlRect(d, IDOK).right,
                         ClientRect(d).bottom - ControlRect(d, IDOK).bottom};
      if (okMargin.x < 0) okMargin = margin;
      EXPECT_EQ(okMargin.x, margin.x) << "OK keeps its place in the corner";
      EXPECT_EQ(okMargin.y, margin.y);
      Click(d, IDCANCEL);
    });
  }
}

TEST_F(DialogTest, SaveDialogOpensWithTheStoredChoiceAndStoresTheLast) {
  // Each row: stored choice (-1 none) and relate flag, mode, clicks, then the checked new
  // document, relate, new version, local save, whether relate is enabled and local save shown,
  // the button, the decision and what is stored afterwards.
  const struct {
    int stored, relate;
    bool extended;
    std::vector<int> clicks;
    const char* state;
    int button, decision;
    const wchar_t* storedAfter;  // how_to_save saver_new_related
  } rows[] = {
      {-1, -1, true, {}, "1100 11", IDOK, 0, L"0 1"},
      {2, -1, false, {}, "1100 10", IDOK, 0, L"0 1"},  // local save is not offered
      {2, -1, true, {}, "0101 01", IDOK, 2, L"2 1"},
      {1, -1, true, {}, "0110 01", IDOK, 1, L"1 1"},
      {-1, -1, true, {IDC_SAVE_LOCAL}, "0101 01", IDOK, 2, L"2 1"},
      {-1, -1, true, {IDC_RELATE, IDC_SAVE_NEW_VERSION}, "0010 01", IDOK, 1, L"1 0"},
      {1, 0, true, {IDC_SAVE_NEW_DOCUMENT, IDC_RELATE}, "1100 11", IDCANCEL, 1, L"1 0"},  // as it opened
      {2, 0, false, {IDC_SAVE_NEW_VERSION}, "0010 00", IDCANCEL, 0, L"0 0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.stored << " " << row.extended << " " << row.state);
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    if (row.stored >= 0) Store(L"how_to_save", static_cast<DWORD>(row.stored));
    if (row.relate >= 0) Store(L"saver_new_related", static_cast<DWORD>(row.relate));
    auto dialog = Save(row.extended);
    EXPECT_EQ(row.button, Show(*dialog, [&](HWND d) {
                EXPECT_EQ(L"Save As", Text(d));
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
    EXPECT_EQ(std::wstring(L"- ") + row.storedAfter, StoredChoices());
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  { auto unshown = Save(true); }
  EXPECT_EQ(L"- - -", StoredChoices()) << "a dialog never shown stores nothing";
}

// The message box's style reaches the platform through the program's import of MessageBoxW.
std::vector<UINT> g_styles;
testing_support::ScopedImportHook* g_hook = nullptr;
int WINAPI RecordingMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  g_styles.push_back(style);
  return g_hook->Original<int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT)>()(owner, text, caption, style);
}

TEST_F(DialogTest, MessageBoxCaptionButtonAndRightToLeftForArabic) {
  testing_support::ScopedRegistryKeys newKeys{
      testing_support::MissingParts({{HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1"}})};
  ScopedRegistryValue installPath{HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1", L"InstallPath",
                                  KEY_WOW64_32KEY};
  ScopedImportHook hook{"USER32.dll", "MessageBoxW", reinterpret_cast<void*>(&RecordingMessageBoxW)};
  g_hook = &hook;
  ASSERT_TRUE(hook.Installed());
  const wchar_t* config = L"Software\\VarnelTestbed\\Config";
  // The language of component kind 0, of kind 2, an install path, and the styles added.
  const struct {
    DWORD kind0, kind2;
    bool installed;
    UINT added;
  } rows[] = {{1033, 1033, false, 0},     {1025, 1033, false, 0x180000}, {1025, 1033, true, 0},
              {1033, 1025, true, 0x180000}, {1033, 0x0C01, true, 0},     {1033, 1031, true, 0}};
  for (const auto& row : rows) {
    SetDword(HKEY_CURRENT_USER, config, L"UILanguage0", row.kind0);
    SetDword(HKEY_CURRENT_USER, config, L"UILanguage2", row.kind2);
    if (row.installed)
      installPath.SetString(L"C:\\Program Files\\Ostrel\\");
    else
      installPath.Remove();
    g_styles.clear();
    std::wstring caption;
    for (int button : {IDOK, IDNO}) {
      DialogDriver driver([&](HWND box) {
        caption = Text(box);
        Click(box, button);
      });
      EXPECT_EQ(button, vpdf::VPDFMessageBox(nullptr, L"General error", button == IDOK ? nullptr : L"Checked out",
                                             button == IDOK ? MB_OK | MB_ICONERROR : MB_YESNO));
      driver.Join();
      EXPECT_EQ(button == IDOK ? L"Ostrel Varnel PDF" : L"Checked out", caption);
    }
    EXPECT_EQ((std::vector<UINT>{MB_OK | MB_ICONERROR | row.added, MB_YESNO | row.added}), g_styles)
        << row.kind0 << " " << row.kind2 << " " << row.installed;
  }
  g_hook = nullptr;
}

}  // namespace
