// The merge-and-order dialog, the save-choice dialog, the message box and the
// resizable base, shown from the add-in's own templates (VPDFIManageAddon.dll, loaded as a
// resource module) and driven from a second thread through window messages, as a person
// would work them: clicks, list selection, resizing, OK and Cancel. The scripts check the
// dialog while it is up (gtest's checks are thread-safe on Windows).
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "convutils/resource.h"
#include "tests/testing/harness.h"
#include "tests/import_hook.h"
#include "tests/settings_support.h"
#include "tests/testing/registry.h"
#include "ui/how_to_save_dlg.h"
#include "ui/merge_sort_dlg.h"
#include "ui/message_box.h"

namespace {

using namespace testing_support;  // the dialog driver's helpers
using testing::ElementsAre;
using vpdf::doc_description, vpdf::doc_description_list, vpdf::HowToSaveDlg, vpdf::MergeSortDlg;

constexpr wchar_t kSubkey[] = L"iManage Work";
constexpr wchar_t kSettingsKey[] = L"Software\\Ostrel\\PDF\\V1\\iManage Work";
constexpr wchar_t kSizeValue[] = L"merge_dialog_size";
constexpr wchar_t kTestbedConfigKey[] = L"Software\\VarnelTestbed\\Config";
constexpr int kGerman = 200;
const std::vector<std::wstring> kSampleNames{L"Annual report", L"Board minutes", L"Contract draft"};

// The add-in DLL beside the test program, as a resource module: the dialogs take their
// templates and strings from it.
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

bool Stored(const wchar_t* name) { return ValueExists(HKEY_CURRENT_USER, kSettingsKey, name); }
DWORD ReadDword(const wchar_t* name) {
  DWORD value = 0xDEADBEEF, size = sizeof value;
  RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}
void StoreDword(const wchar_t* name, DWORD value) {
  SetDword(HKEY_CURRENT_USER, kSettingsKey, name, value);
}

std::shared_ptr<doc_description> Doc(const wchar_t* name, const wchar_t* number,
                                     const wchar_t* version) {
  return std::make_shared<doc_description>(L"n/a", name, L"DOCX", number, version, L"");
}
doc_description_list SampleDocs() {
  return {Doc(L"Annual report", L"1001", L"1"), Doc(L"Board minutes", L"1002", L"3"),
          Doc(L"Contract draft", L"1003", L"2")};
}

std::vector<std::wstring> Names(const doc_description_list& list) {
  std::vector<std::wstring> names;
  for (const auto& record : list) names.push_back(record->name);
  return names;
}
std::vector<std::wstring> FirstColumn(HWND list) {
  std::vector<std::wstring> names;
  for (const auto& row : Rows(list)) names.push_back(row[0]);
  return names;
}

// The state of several controls as "0"/"1" characters, to compare in one line.
std::string Flags(HWND d, bool (*state)(HWND, int), std::initializer_list<int> ids) {
  std::string flags;
  for (int id : ids) flags += state(d, id) ? '1' : '0';
  return flags;
}
const std::initializer_list<int> kOrdering = {IDC_UP, IDC_DOWN, IDC_FILE_LIST};
const std::initializer_list<int> kSaveGroup = {IDC_SAVE_GROUP, IDC_MERGE_SAVE_NEW_DOCUMENT,
                                               IDC_MERGE_SAVE_NEW_VERSION, IDC_MERGE_RELATE};

class DialogTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(AddinResources(), nullptr) << "VPDFIManageAddon.dll"; }

  ScopedRegistryKeys keys_{
      {{HKEY_CURRENT_USER, kSettingsKey}, {HKEY_CURRENT_USER, kTestbedConfigKey}}};
};

// Shows the dialog with `script` driving it; the result of DoModal.
template <class Dialog>
INT_PTR Show(Dialog& dialog, std::function<void(HWND)> script) {
  DialogDriver driver(std::move(script));
  INT_PTR result = dialog.DoModal();
  driver.Join();
  EXPECT_TRUE(driver.Found()) << "the dialog never came up";
  EXPECT_FALSE(driver.Forced()) << "the script left the dialog open";
  return result;
}

std::unique_ptr<MergeSortDlg> MakeMergeDialog(bool extended = false, int langOffset = 0,
                                              doc_description_list docs = SampleDocs()) {
  return std::make_unique<MergeSortDlg>(kSubkey, kSizeValue, extended, std::move(docs), langOffset,
                                        nullptr, AddinResources());
}

// The window size a fresh merge dialog opens with.
SIZE OpenedSize() {
  SIZE size{};
  auto dialog = MakeMergeDialog();
  Show(*dialog, [&](HWND d) {
    size = WindowSize(d);
    Click(d, IDCANCEL);
  });
  return size;
}

// ---------------------------------------------------------------------------------------------
// MergeSortDlg

TEST_F(DialogTest, MergeDialogOpensFromItsTemplateWithOneRowPerDocument) {
  auto dialog = MakeMergeDialog();
  INT_PTR result = Show(*dialog, [&](HWND d) {
    EXPECT_EQ(Text(d), L"Merge items to one PDF");
    HWND list = Control(d, IDC_FILE_LIST);
    EXPECT_THAT(ColumnTitles(list), ElementsAre(L"Files", L"Doc. Number", L"Version"));
    EXPECT_THAT(Rows(list), ElementsAre(ElementsAre(L"Annual report", L"1001", L"1"),
                                        ElementsAre(L"Board minutes", L"1002", L"3"),
                                        ElementsAre(L"Contract draft", L"1003", L"2")));
    // Defaults: one PDF per document, ordering off; not extended: no save group.
    EXPECT_EQ("10", Flags(d, Checked, {IDC_SINGLE, IDC_MERGE}));
    EXPECT_EQ("000", Flags(d, Enabled, kOrdering));
    EXPECT_EQ("0000", Flags(d, Visible, kSaveGroup));
    // Columns at 60/25/15 % of the list.
    RECT client{};
    GetClientRect(list, &client);
    const int usable = client.right - GetSystemMetrics(SM_CXVSCROLL);
    EXPECT_THAT(ColumnWidths(list),
                ElementsAre(static_cast<int>(usable * 0.6), static_cast<int>(usable * 0.25),
                            static_cast<int>(usable * 0.15)));
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(DialogTest, CancelAndTheCloseBoxStoreNoChoices) {
  auto dialog = MakeMergeDialog();
  EXPECT_EQ(IDCANCEL, Show(*dialog, [&](HWND d) {
              Click(d, IDC_MERGE);
              SelectRow(Control(d, IDC_FILE_LIST), 2);
              Click(d, IDC_UP);
              Click(d, IDCANCEL);
            }));
  EXPECT_TRUE(dialog->output().empty());
  dialog = MakeMergeDialog();
  EXPECT_EQ(IDCANCEL, Show(*dialog, [&](HWND d) { SendMessageW(d, WM_CLOSE, 0, 0); }));
  for (const wchar_t* name : {L"do_merge", L"how_to_save", L"saver_new_related"})
    EXPECT_FALSE(Stored(name));
}

TEST_F(DialogTest, UpAndDownReorderWithinTheListAndOkReturnsTheShownOrder) {
  auto docs = SampleDocs();
  auto dialog = MakeMergeDialog(false, 0, docs);
  INT_PTR result = Show(*dialog, [&](HWND d) {
    Click(d, IDC_MERGE);
    HWND list = Control(d, IDC_FILE_LIST);
    // Up on the first row and Down on the last change nothing.
    SelectRow(list, 0);
    Click(d, IDC_UP);
    EXPECT_EQ(SelectedRow(list), 0);
    SelectRow(list, 2);
    Click(d, IDC_DOWN);
    EXPECT_EQ(SelectedRow(list), 2);
    EXPECT_EQ(FirstColumn(list), kSampleNames);
    Click(d, IDC_UP);  // Contract draft one place up, with its three texts
    EXPECT_THAT(Rows(list)[1], ElementsAre(L"Contract draft", L"1003", L"2"));
    EXPECT_EQ(SelectedRow(list), 1);
    SelectRow(list, 0);  // Annual report one place down
    Click(d, IDC_DOWN);
    EXPECT_EQ(SelectedRow(list), 1);
    EXPECT_THAT(FirstColumn(list),
                ElementsAre(L"Contract draft", L"Annual report", L"Board minutes"));
    Click(d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_TRUE(dialog->merge_documents());
  // The output holds the input records themselves, in the shown order, also as the caller's type.
  const std::vector<std::shared_ptr<doc_description>> input(docs.begin(), docs.end());
  EXPECT_THAT(dialog->output(), ElementsAre(input[2], input[0], input[1]));
  EXPECT_EQ(dialog->output_as<doc_description>().size(), 3u);
  EXPECT_EQ(ReadDword(L"do_merge"), 1u);
  EXPECT_EQ(ReadDword(L"how_to_save"), 0u);
  EXPECT_EQ(ReadDword(L"saver_new_related"), 1u);
}

TEST_F(DialogTest, ARowWithoutNameDoesNotMoveAndRowsWithForeignDataAreLeftOut) {
  StoreDword(L"do_merge", 1);
  auto dialog =
      MakeMergeDialog(false, 0, {Doc(L"Annual report", L"1001", L"1"), Doc(L"", L"1002", L"3")});
  Show(*dialog, [&](HWND d) {
    HWND list = Control(d, IDC_FILE_LIST);
    SelectRow(list, 1);
    Click(d, IDC_UP);
    EXPECT_THAT(Rows(list), ElementsAre(ElementsAre(L"Annual report", L"1001", L"1"),
                                        ElementsAre(L"", L"1002", L"3")));
    Click(d, IDOK);
  });
  dialog = MakeMergeDialog();
  Show(*dialog, [&](HWND d) {
    SetRowData(Control(d, IDC_FILE_LIST), 1, 7);
    Click(d, IDOK);
  });
  EXPECT_THAT(Names(dialog->output()), ElementsAre(L"Annual report", L"Contract draft"));
}

TEST_F(DialogTest, MergeAndSingleSwitchTheOrderingControls) {
  StoreDword(L"do_merge", 1);
  auto dialog = MakeMergeDialog();
  Show(*dialog, [&](HWND d) {
    EXPECT_EQ("01", Flags(d, Checked, {IDC_SINGLE, IDC_MERGE}));
    EXPECT_EQ("111", Flags(d, Enabled, kOrdering));
    Click(d, IDC_SINGLE);
    EXPECT_EQ("000", Flags(d, Enabled, kOrdering));
    Click(d, IDC_MERGE);
    EXPECT_EQ("111", Flags(d, Enabled, kOrdering));
    Click(d, IDC_SINGLE);
    Click(d, IDOK);
  });
  EXPECT_FALSE(dialog->merge_documents());
  EXPECT_EQ(ReadDword(L"do_merge"), 0u);
}

TEST_F(DialogTest, ExtendedDialogShowsTheSaveGroupAndMergeChoosesNewDocument) {
  StoreDword(L"saver_new_related", 0);
  auto dialog = MakeMergeDialog(true);
  INT_PTR result = Show(*dialog, [&](HWND d) {
    EXPECT_EQ("1111", Flags(d, Visible, kSaveGroup));
    EXPECT_EQ("1111", Flags(d, Enabled, kSaveGroup));
    // "how_to_save" 0: new version; relate off as stored.
    EXPECT_EQ("010",
              Flags(d, Checked,
                    {IDC_MERGE_SAVE_NEW_DOCUMENT, IDC_MERGE_SAVE_NEW_VERSION, IDC_MERGE_RELATE}));
    Click(d, IDC_MERGE);
    EXPECT_EQ("0000", Flags(d, Enabled, kSaveGroup));
    EXPECT_EQ("10", Flags(d, Checked, {IDC_MERGE_SAVE_NEW_DOCUMENT, IDC_MERGE_SAVE_NEW_VERSION}));
    Click(d, IDC_SINGLE);
    EXPECT_EQ("1111", Flags(d, Enabled, kSaveGroup));
    Click(d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_FALSE(dialog->merge_documents());
  EXPECT_EQ(dialog->save_new(), 1u);
  EXPECT_EQ(ReadDword(L"how_to_save"), 1u);
  EXPECT_EQ(ReadDword(L"saver_new_related"), 0u);

  // A stored merge opens with the save group disabled.
  StoreDword(L"do_merge", 1);
  dialog = MakeMergeDialog(true);
  Show(*dialog, [&](HWND d) {
    EXPECT_EQ("0000", Flags(d, Enabled, kSaveGroup));
    EXPECT_TRUE(Checked(d, IDC_MERGE_SAVE_NEW_DOCUMENT));
    Click(d, IDCANCEL);
  });
}

TEST_F(DialogTest, HiddenSaveGroupGivesTheListItsRoom) {
  RECT lists[2]{};
  for (bool extended : {false, true}) {
    auto dialog = MakeMergeDialog(extended);
    Show(*dialog, [&](HWND d) {
      lists[extended] = ControlRect(d, IDC_FILE_LIST);
      Click(d, IDCANCEL);
    });
  }
  EXPECT_EQ(lists[0].top, lists[1].top);
  EXPECT_EQ(lists[0].right - lists[0].left, lists[1].right - lists[1].left);
  EXPECT_GT(lists[0].bottom - lists[0].top, lists[1].bottom - lists[1].top);
}

TEST_F(DialogTest, GermanTemplatesWithLanguageOffset200) {
  auto merge = MakeMergeDialog(false, kGerman);
  Show(*merge, [&](HWND d) {
    EXPECT_EQ(Text(d), L"Elemente zu einem PDF zusammenf\u00fchren");
    EXPECT_EQ(Text(Control(d, IDC_SINGLE)), L"F\u00fcr &jedes Eingabedokument ein PDF erstellen");
    EXPECT_EQ(Text(Control(d, IDC_UP)), L"Nach &oben");
    EXPECT_THAT(ColumnTitles(Control(d, IDC_FILE_LIST)),
                ElementsAre(L"Dateien", L"Dok.-Nummer", L"Version"));
    Click(d, IDCANCEL);
  });
  HowToSaveDlg save(kSubkey, L"", true, kGerman, nullptr, AddinResources());
  Show(save, [&](HWND d) {
    EXPECT_EQ(Text(d), L"Speichern unter");
    EXPECT_EQ(Text(Control(d, IDCANCEL)), L"&Abbrechen");
    Click(d, IDCANCEL);
  });
}

// ---------------------------------------------------------------------------------------------
// The resizable base: resizing, the minimum size and the stored size, on MergeSortDlg

TEST_F(DialogTest, ResizingMovesControlsByTheirAnchorsAndStopsAtTheInitialSize) {
  auto dialog = MakeMergeDialog(true);
  SIZE initial{};
  INT_PTR result = Show(*dialog, [&](HWND d) {
    initial = WindowSize(d);
    const int ids[] = {IDC_FILE_LIST,    IDOK,       IDCANCEL, IDC_SAVE_GROUP,
                       IDC_MERGE_RELATE, IDC_SINGLE, IDC_UP};
    RECT before[7];
    for (int i = 0; i < 7; ++i) before[i] = ControlRect(d, ids[i]);
    const RECT client0 = ClientRect(d);
    ResizeWindow(d, initial.cx + 120, initial.cy + 90);
    EXPECT_EQ(WindowSize(d).cx, initial.cx + 120);
    EXPECT_EQ(WindowSize(d).cy, initial.cy + 90);
    const RECT client1 = ClientRect(d);
    EXPECT_EQ(client1.right - client0.right, 120);
    EXPECT_EQ(client1.bottom - client0.bottom, 90);
    // Moves of left, top, right and bottom: the list stretches; OK, Cancel and Up keep their
    // distance to the right (and OK and Cancel to the bottom); the save group moves down;
    // controls without an anchor stay.
    const RECT moves[7] = {{0, 0, 120, 90}, {120, 90, 120, 90}, {120, 90, 120, 90}, {0, 90, 0, 90},
                           {0, 90, 0, 90},  {0, 0, 0, 0},       {120, 0, 120, 0}};
    for (int i = 0; i < 7; ++i) {
      const RECT after = ControlRect(d, ids[i]);
      EXPECT_EQ(after.left - before[i].left, moves[i].left) << ids[i];
      EXPECT_EQ(after.top - before[i].top, moves[i].top) << ids[i];
      EXPECT_EQ(after.right - before[i].right, moves[i].right) << ids[i];
      EXPECT_EQ(after.bottom - before[i].bottom, moves[i].bottom) << ids[i];
    }
    // Up and Down stay beside the widened list.
    EXPECT_GE(ControlRect(d, IDC_DOWN).left, ControlRect(d, IDC_FILE_LIST).right);

    // Shrinking stops at the initial size; the maximum is the screen.
    ResizeWindow(d, 100, 80);
    EXPECT_EQ(WindowSize(d).cx, initial.cx);
    EXPECT_EQ(WindowSize(d).cy, initial.cy);
    MINMAXINFO limits{};
    SendMessageW(d, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, initial.cx);
    EXPECT_EQ(limits.ptMinTrackSize.y, initial.cy);
    EXPECT_EQ(limits.ptMaxTrackSize.x, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(limits.ptMaxTrackSize.y, GetSystemMetrics(SM_CYSCREEN));
    ResizeWindow(d, initial.cx + 50, initial.cy + 40);
    Click(d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  // The last size is stored: width in the low word, height in the high word.
  dialog.reset();
  EXPECT_EQ(ReadDword(kSizeValue), static_cast<DWORD>(MAKELONG(initial.cx + 50, initial.cy + 40)));
}

TEST_F(DialogTest, StoredSizeIsRestoredAndAnchorsFollowIt) {
  RECT client0{}, ok0{}, list0{};
  SIZE templateSize{};
  {
    auto dialog = MakeMergeDialog();
    Show(*dialog, [&](HWND d) {
      templateSize = WindowSize(d);
      client0 = ClientRect(d);
      ok0 = ControlRect(d, IDOK);
      list0 = ControlRect(d, IDC_FILE_LIST);
      Click(d, IDCANCEL);
    });
  }
  // Closing stored the size it had.
  EXPECT_EQ(ReadDword(kSizeValue), static_cast<DWORD>(MAKELONG(templateSize.cx, templateSize.cy)));

  // A size stored on a larger screen is applied as stored too.
  const SIZE screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  for (const SIZE grow : {SIZE{140, 60}, SIZE{screen.cx + 300 - templateSize.cx,
                                              screen.cy + 200 - templateSize.cy}}) {
    StoreDword(kSizeValue, MAKELONG(templateSize.cx + grow.cx, templateSize.cy + grow.cy));
    auto dialog = MakeMergeDialog();
    Show(*dialog, [&](HWND d) {
      EXPECT_EQ(WindowSize(d).cx, templateSize.cx + grow.cx);
      EXPECT_EQ(WindowSize(d).cy, templateSize.cy + grow.cy);
      const RECT client1 = ClientRect(d), ok1 = ControlRect(d, IDOK),
                 list1 = ControlRect(d, IDC_FILE_LIST);
      EXPECT_EQ(client1.right - ok1.right, client0.right - ok0.right);
      EXPECT_EQ(client1.bottom - ok1.bottom, client0.bottom - ok0.bottom);
      EXPECT_EQ(list1.right - list1.left, list0.right - list0.left + grow.cx);
      EXPECT_EQ(list1.bottom - list1.top, list0.bottom - list0.top + grow.cy);
      Click(d, IDCANCEL);
    });
  }
}

TEST_F(DialogTest, AStoredSizeWithAZeroLeavesTheTemplateSize) {
  const SIZE templateSize = OpenedSize();
  for (DWORD stored : {0ul, static_cast<DWORD>(MAKELONG(900, 0))}) {
    StoreDword(kSizeValue, stored);
    const SIZE opened = OpenedSize();
    EXPECT_EQ(opened.cx, templateSize.cx) << stored;
    EXPECT_EQ(opened.cy, templateSize.cy) << stored;
  }
}

TEST_F(DialogTest, MissingTemplateGivesMinusOne) {
  MergeSortDlg dialog(kSubkey, kSizeValue, false, SampleDocs(), 4000, nullptr, AddinResources());
  EXPECT_EQ(dialog.DoModal(), -1);
}

// ---------------------------------------------------------------------------------------------
// HowToSaveDlg

constexpr wchar_t kSaveMessage[] =
    L"The 'a.docx' has been converted to a PDF file.\nHow do you want to save it ?";

std::unique_ptr<HowToSaveDlg> MakeSaveDialog(bool extended) {
  return std::make_unique<HowToSaveDlg>(kSubkey, kSaveMessage, extended, 0, nullptr,
                                        AddinResources());
}

// New document, relate, new version, local save.
const std::initializer_list<int> kSaveChoices = {IDC_SAVE_NEW_DOCUMENT, IDC_RELATE,
                                                 IDC_SAVE_NEW_VERSION, IDC_SAVE_LOCAL};

TEST_F(DialogTest, SaveDialogOpensWithTheStoredChoice) {
  struct Case {
    int stored;  // -1: nothing stored
    bool extended;
    const char* checked;  // kSaveChoices
    bool relateEnabled;
    int decision;  // after OK
  } cases[] = {
      {-1, true, "1100", true, 0},
      // Local save is only offered in extended mode.
      {2, false, "1100", true, 0},
      {2, true, "0101", false, 2},
      {1, true, "0110", false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.stored << (c.extended ? " extended" : ""));
    if (c.stored >= 0) StoreDword(L"how_to_save", static_cast<DWORD>(c.stored));
    auto dialog = MakeSaveDialog(c.extended);
    EXPECT_EQ(IDOK, Show(*dialog, [&](HWND d) {
                EXPECT_EQ(Text(d), L"Save As");
                EXPECT_EQ(Text(Control(d, IDC_MESSAGE)), kSaveMessage);
                EXPECT_EQ(c.checked, Flags(d, Checked, kSaveChoices));
                EXPECT_EQ(c.relateEnabled, Enabled(d, IDC_RELATE));
                EXPECT_EQ(c.extended, Visible(d, IDC_SAVE_LOCAL));
                Click(d, IDOK);
              }));
    EXPECT_EQ(dialog->decision(), c.decision);
    EXPECT_TRUE(dialog->relate());
    // Stored when the dialog object goes, not before.
    EXPECT_EQ(c.stored >= 0, Stored(L"how_to_save"));
    dialog.reset();
    EXPECT_EQ(ReadDword(L"how_to_save"), static_cast<DWORD>(c.decision));
    EXPECT_EQ(ReadDword(L"saver_new_related"), 1u);
  }
}

TEST_F(DialogTest, RelateBoxIsGreyedForNewVersionAndLocalSave) {
  auto dialog = MakeSaveDialog(true);
  EXPECT_EQ(IDOK, Show(*dialog, [&](HWND d) {
              Click(d, IDC_SAVE_NEW_VERSION);
              EXPECT_FALSE(Enabled(d, IDC_RELATE));
              Click(d, IDC_SAVE_LOCAL);
              EXPECT_FALSE(Enabled(d, IDC_RELATE));
              Click(d, IDC_SAVE_NEW_DOCUMENT);
              EXPECT_TRUE(Enabled(d, IDC_RELATE));
              Click(d, IDC_RELATE);  // off
              Click(d, IDC_SAVE_NEW_VERSION);
              Click(d, IDOK);
            }));
  EXPECT_EQ(dialog->decision(), 1);
  EXPECT_FALSE(dialog->relate());
  dialog.reset();
  EXPECT_EQ(ReadDword(L"how_to_save"), 1u);
  EXPECT_EQ(ReadDword(L"saver_new_related"), 0u);
}

TEST_F(DialogTest, SaveDialogStoresTheInitialChoiceAfterCancelAndNothingWhenNeverShown) {
  { auto unshown = MakeSaveDialog(true); }
  EXPECT_FALSE(Stored(L"how_to_save"));
  for (bool extended : {true, false}) {
    // Not extended, a stored local save opens (and is stored again) as a new document.
    StoreDword(L"how_to_save", extended ? 1 : 2);
    StoreDword(L"saver_new_related", 0);
    auto dialog = MakeSaveDialog(extended);
    EXPECT_EQ(IDCANCEL, Show(*dialog, [&](HWND d) {
                Click(d, IDC_SAVE_NEW_VERSION);
                Click(d, IDC_SAVE_NEW_DOCUMENT);
                Click(d, IDC_RELATE);
                Click(d, IDCANCEL);
              }));
    StoreDword(L"how_to_save", 7);  // overwritten on destruction
    dialog.reset();
    EXPECT_EQ(ReadDword(L"how_to_save"), extended ? 1u : 0u);
    EXPECT_EQ(ReadDword(L"saver_new_related"), 0u);
  }
}

// ---------------------------------------------------------------------------------------------
// The message box. The real box comes up and is closed from the driving thread. Wine
// draws a box with MB_RIGHT | MB_RTLREADING like any other (its window and text keep their
// left-to-right styles), so the style is observed where it reaches the platform: the test
// program's import of MessageBoxW records each call on its way to the real function.

struct MessageBoxCall {
  std::wstring text, caption;
  UINT style = 0;
};
std::vector<MessageBoxCall> g_messageBoxCalls;
ScopedImportHook* g_messageBoxHook = nullptr;

int WINAPI RecordingMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  g_messageBoxCalls.push_back({text ? text : L"", caption ? caption : L"", style});
  using Fn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
  return g_messageBoxHook->Original<Fn>()(owner, text, caption, style);
}

class MessageBoxTest : public DialogTest {
 protected:
  void SetUp() override {
    g_messageBoxCalls.clear();
    g_messageBoxHook = &hook_;
    ASSERT_TRUE(hook_.Installed());
    // No installed component: the configuration's language of kind 0 is the one that counts.
    installPath_.Remove();
  }
  void TearDown() override { g_messageBoxHook = nullptr; }

  // Shows the box through the routine, checks its caption and text and presses `button`.
  int ShowAndPress(const wchar_t* text, const wchar_t* caption, UINT style, int button,
                   const wchar_t* shownCaption) {
    DialogDriver driver([&](HWND box) {
      EXPECT_EQ(Text(box), shownCaption);
      std::vector<std::wstring> texts;
      for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        texts.push_back(Text(child));
      EXPECT_THAT(texts, testing::Contains(text));
      Click(box, button);
    });
    int result = vpdf::VPDFMessageBox(nullptr, text, caption, style);
    driver.Join();
    EXPECT_TRUE(driver.Found() && !driver.Forced());
    return result;
  }
  void SetLanguage(int kind, DWORD language) const {
    SetDword(HKEY_CURRENT_USER, kTestbedConfigKey, kind ? L"UILanguage2" : L"UILanguage0",
             language);
  }

  testing_support::ScopedRegistryKeys newKeys_{testing_support::MissingParts(
      {{HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1"}})};
  ScopedRegistryValue installPath_{HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1",
                                   L"InstallPath", KEY_WOW64_32KEY};
  ScopedImportHook hook_{"USER32.dll", "MessageBoxW",
                         reinterpret_cast<void*>(&RecordingMessageBoxW)};
};

TEST_F(MessageBoxTest, CaptionDefaultsToTheProductAndThePressedButtonIsReturned) {
  EXPECT_EQ(IDOK, ShowAndPress(L"General error", nullptr, MB_OK | MB_ICONERROR, IDOK,
                               L"Ostrel Varnel PDF"));
  for (int button : {IDNO, IDYES})
    EXPECT_EQ(button, ShowAndPress(L"Open it read-only?", L"Checked out",
                                   MB_YESNO | MB_ICONQUESTION, button, L"Checked out"));
  ASSERT_EQ(g_messageBoxCalls.size(), 3u);
  // Left to right: the style as given.
  EXPECT_EQ(g_messageBoxCalls[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(g_messageBoxCalls[0].caption, L"Ostrel Varnel PDF");
  EXPECT_EQ(g_messageBoxCalls[2].style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
}

TEST_F(MessageBoxTest, ArabicOfTheDecidingComponentAddsRightAlignedRightToLeftReading) {
  SetLanguage(0, 1025);
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_OK), 0x180000u);
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_YESNO | MB_ICONQUESTION),
            static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_RIGHT | MB_RTLREADING));
  const wchar_t* arabic = L"\u062e\u0637\u0623 \u0639\u0627\u0645";
  EXPECT_EQ(IDOK, ShowAndPress(arabic, nullptr, MB_OK | MB_ICONERROR, IDOK, L"Ostrel Varnel PDF"));
  ASSERT_EQ(g_messageBoxCalls.size(), 1u);
  EXPECT_EQ(g_messageBoxCalls[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR | 0x180000));

  // With an install path the language of component kind 2 counts, not that of kind 0.
  SetLanguage(2, 1033);
  installPath_.SetString(L"C:\\Program Files\\Ostrel\\");
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_OK), 0u);
  SetLanguage(2, 1025);
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_OK), 0x180000u);
  // Another Arabic variant is not 1025; another language adds nothing.
  for (DWORD other : {0x0C01ul, 1031ul}) {
    SetLanguage(2, other);
    EXPECT_EQ(vpdf::MessageBoxStyle(MB_OK), 0u) << other;
  }
}

}  // namespace
