// The merge-and-order dialog, the save-choice dialog, the message box and the
// resizable base, shown from the add-in's own templates (VPDFIManageAddon.dll, loaded as a
// resource module) and driven from a second thread through window messages, as a person
// would work them: clicks, list selection, resizing, OK and Cancel.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "addon/resource.h"
#include "tests/dialog_driver.h"
#include "tests/import_hook.h"
#include "tests/settings_support.h"
#include "tests/testing/registry.h"
#include "tests/testing/trace_log.h"
#include "ui/how_to_save_dlg.h"
#include "ui/merge_sort_dlg.h"
#include "ui/message_box.h"
#include "ui/resizable_dialog.h"

namespace {

using testing_support::Checked;
using testing_support::Click;
using testing_support::ColumnTitles;
using testing_support::ColumnWidths;
using testing_support::Control;
using testing_support::ControlRect;
using testing_support::ClientRect;
using testing_support::DialogDriver;
using testing_support::Enabled;
using testing_support::ResizeWindow;
using testing_support::RowData;
using testing_support::Rows;
using testing_support::SelectedRow;
using testing_support::SelectRow;
using testing_support::SetRowData;
using testing_support::Text;
using testing_support::Visible;
using testing_support::WindowSize;
using vpdf::doc_description;
using vpdf::doc_description_list;
using vpdf::HowToSaveDlg;
using vpdf::MergeSortDlg;

constexpr wchar_t kSubkey[] = L"iManage Work";
constexpr wchar_t kSettingsKey[] = L"Software\\Ostrel\\PDF\\V1\\iManage Work";
constexpr wchar_t kSizeValue[] = L"merge_dialog_size";
constexpr wchar_t kTestbedConfigKey[] = L"Software\\VarnelTestbed\\Config";
constexpr int kGerman = 200;

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

bool ValueExists(const wchar_t* name) {
  return testing_support::ValueExists(HKEY_CURRENT_USER, kSettingsKey, name);
}

DWORD ReadDword(const wchar_t* name) {
  DWORD value = 0xDEADBEEF, size = sizeof value;
  RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

void StoreDword(const wchar_t* name, DWORD value) {
  testing_support::SetDword(HKEY_CURRENT_USER, kSettingsKey, name, value);
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

class DialogTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(AddinResources(), nullptr) << "VPDFIManageAddon.dll"; }

  testing_support::ScopedRegistryKeys keys_{{{HKEY_CURRENT_USER, kSettingsKey},
                                             {HKEY_CURRENT_USER, kTestbedConfigKey}}};
  testing_support::TraceLog log_;
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
  return std::make_unique<MergeSortDlg>(kSubkey, kSizeValue, extended, std::move(docs),
                                        langOffset, nullptr, AddinResources());
}

// ---------------------------------------------------------------------------------------------
// MergeSortDlg

TEST_F(DialogTest, MergeDialogOpensFromItsTemplateWithOneRowPerDocument) {
  auto dialog = MakeMergeDialog();
  std::wstring title;
  std::vector<std::vector<std::wstring>> rows;
  std::vector<std::wstring> columns;
  std::vector<LPARAM> data;
  bool single = false, merge = true, up = true, down = true, list = true, group = true,
       newDocument = true, newVersion = true, relate = true;
  INT_PTR result = Show(*dialog, [&](HWND d) {
    title = Text(d);
    HWND listView = Control(d, IDC_FILE_LIST);
    rows = Rows(listView);
    columns = ColumnTitles(listView);
    for (int row = 0; row < 3; ++row) data.push_back(RowData(listView, row));
    single = Checked(d, IDC_SINGLE);
    merge = Checked(d, IDC_MERGE);
    up = Enabled(d, IDC_UP);
    down = Enabled(d, IDC_DOWN);
    list = Enabled(d, IDC_FILE_LIST);
    group = Visible(d, IDC_SAVE_GROUP);
    newDocument = Visible(d, IDC_MERGE_SAVE_NEW_DOCUMENT);
    newVersion = Visible(d, IDC_MERGE_SAVE_NEW_VERSION);
    relate = Visible(d, IDC_MERGE_RELATE);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(title, L"Merge items to one PDF");
  EXPECT_THAT(columns, testing::ElementsAre(L"Files", L"Doc. Number", L"Version"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_THAT(rows[0], testing::ElementsAre(L"Annual report", L"1001", L"1"));
  EXPECT_THAT(rows[1], testing::ElementsAre(L"Board minutes", L"1002", L"3"));
  EXPECT_THAT(rows[2], testing::ElementsAre(L"Contract draft", L"1003", L"2"));
  EXPECT_THAT(data, testing::ElementsAre(0, 1, 2));
  // Defaults: one PDF per document, ordering off; not extended: no save group.
  EXPECT_TRUE(single);
  EXPECT_FALSE(merge);
  EXPECT_FALSE(up);
  EXPECT_FALSE(down);
  EXPECT_FALSE(list);
  EXPECT_FALSE(group);
  EXPECT_FALSE(newDocument);
  EXPECT_FALSE(newVersion);
  EXPECT_FALSE(relate);
  EXPECT_TRUE(log_.Has("MergeSortDlg::MergeSortDlg(extended: false)"));
  EXPECT_TRUE(log_.Has("itemData[0] Annual report, 1001.1"));
  EXPECT_TRUE(log_.Has("itemData[2] Contract draft, 1003.2"));
  testing_support::TraceRecord record;
  ASSERT_TRUE(log_.Find("itemData[1] Board minutes, 1002.3", record));
  EXPECT_EQ(record.source, "PDFConverter\\VPDFiManageAddon_UI\\VPDFIManMergeSortDlg");
}

TEST_F(DialogTest, MergeDialogListHasItsExtendedStylesAndColumnShares) {
  auto dialog = MakeMergeDialog();
  DWORD styles = 0;
  std::vector<int> widths;
  int usable = 0;
  Show(*dialog, [&](HWND d) {
    HWND list = Control(d, IDC_FILE_LIST);
    styles = static_cast<DWORD>(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    widths = ColumnWidths(list);
    RECT client{};
    GetClientRect(list, &client);
    usable = client.right - GetSystemMetrics(SM_CXVSCROLL);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(styles & 0x02000421u, 0x02000421u);
  ASSERT_EQ(widths.size(), 3u);
  EXPECT_EQ(widths[0], static_cast<int>(usable * 0.6));
  EXPECT_EQ(widths[1], static_cast<int>(usable * 0.25));
  EXPECT_EQ(widths[2], static_cast<int>(usable * 0.15));
}

TEST_F(DialogTest, CancelReturnsCancelAndStoresNoChoices) {
  auto dialog = MakeMergeDialog();
  INT_PTR result = Show(*dialog, [&](HWND d) {
    Click(d, IDC_MERGE);
    SelectRow(Control(d, IDC_FILE_LIST), 2);
    Click(d, IDC_UP);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(dialog->output().empty());
  EXPECT_FALSE(ValueExists(L"do_merge"));
  EXPECT_FALSE(ValueExists(L"how_to_save"));
  EXPECT_FALSE(ValueExists(L"saver_new_related"));
}

TEST_F(DialogTest, CloseBoxEndsTheDialogAsCancel) {
  auto dialog = MakeMergeDialog();
  INT_PTR result = Show(*dialog, [&](HWND d) { SendMessageW(d, WM_CLOSE, 0, 0); });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_FALSE(ValueExists(L"do_merge"));
  EXPECT_TRUE(log_.Has("OnClose1()"));
  EXPECT_TRUE(log_.Has("OnClose2()"));
}

TEST_F(DialogTest, UpOnTheFirstRowAndDownOnTheLastChangeNothing) {
  StoreDword(L"do_merge", 1);
  auto dialog = MakeMergeDialog();
  std::vector<std::wstring> afterUp, afterDown;
  int selectedAfterUp = -2, selectedAfterDown = -2;
  INT_PTR result = Show(*dialog, [&](HWND d) {
    HWND list = Control(d, IDC_FILE_LIST);
    SelectRow(list, 0);
    Click(d, IDC_UP);
    afterUp = FirstColumn(list);
    selectedAfterUp = SelectedRow(list);
    SelectRow(list, 2);
    Click(d, IDC_DOWN);
    afterDown = FirstColumn(list);
    selectedAfterDown = SelectedRow(list);
    Click(d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  std::vector<std::wstring> original{L"Annual report", L"Board minutes", L"Contract draft"};
  EXPECT_EQ(afterUp, original);
  EXPECT_EQ(afterDown, original);
  EXPECT_EQ(selectedAfterUp, 0);
  EXPECT_EQ(selectedAfterDown, 2);
  EXPECT_EQ(Names(dialog->output()), original);
}

TEST_F(DialogTest, UpAndDownReorderAndOkReturnsTheShownOrder) {
  auto docs = SampleDocs();
  auto dialog = MakeMergeDialog(false, 0, docs);
  std::vector<std::vector<std::wstring>> rowsAfterUp;
  std::vector<std::wstring> shown;
  int selectedAfterUp = -1, selectedAfterDown = -1;
  INT_PTR result = Show(*dialog, [&](HWND d) {
    Click(d, IDC_MERGE);
    HWND list = Control(d, IDC_FILE_LIST);
    SelectRow(list, 2);  // Contract draft one place up
    Click(d, IDC_UP);
    rowsAfterUp = Rows(list);
    selectedAfterUp = SelectedRow(list);
    SelectRow(list, 0);  // Annual report one place down
    Click(d, IDC_DOWN);
    selectedAfterDown = SelectedRow(list);
    shown = FirstColumn(list);
    Click(d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  ASSERT_EQ(rowsAfterUp.size(), 3u);
  // The moved row keeps its three texts.
  EXPECT_THAT(rowsAfterUp[1], testing::ElementsAre(L"Contract draft", L"1003", L"2"));
  EXPECT_EQ(selectedAfterUp, 1);
  EXPECT_EQ(selectedAfterDown, 1);
  EXPECT_THAT(shown, testing::ElementsAre(L"Contract draft", L"Annual report", L"Board minutes"));
  EXPECT_TRUE(dialog->merge_documents());
  // The output holds the input records themselves, in the shown order.
  auto input = std::vector<std::shared_ptr<doc_description>>(docs.begin(), docs.end());
  EXPECT_THAT(dialog->output(), testing::ElementsAre(input[2], input[0], input[1]));
  // The choices are stored.
  EXPECT_EQ(ReadDword(L"do_merge"), 1u);
  EXPECT_EQ(ReadDword(L"how_to_save"), 0u);
  EXPECT_EQ(ReadDword(L"saver_new_related"), 1u);
  EXPECT_TRUE(log_.Has("MergeSortDlg OnMerge()"));
  EXPECT_TRUE(
      log_.Has("OnOK(), merge_documents_: true, save_new_: false, save_new_related_: true"));
}

TEST_F(DialogTest, RowWithoutNameDoesNotMove) {
  StoreDword(L"do_merge", 1);
  doc_description_list docs{Doc(L"Annual report", L"1001", L"1"), Doc(L"", L"1002", L"3")};
  auto dialog = MakeMergeDialog(false, 0, docs);
  std::vector<std::vector<std::wstring>> rows;
  Show(*dialog, [&](HWND d) {
    HWND list = Control(d, IDC_FILE_LIST);
    SelectRow(list, 1);
    Click(d, IDC_UP);
    rows = Rows(list);
    Click(d, IDOK);
  });
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], L"Annual report");
  EXPECT_EQ(rows[1][1], L"1002");
}

TEST_F(DialogTest, RowsWhoseItemDataIsOutOfRangeAreLeftOut) {
  StoreDword(L"do_merge", 1);
  auto dialog = MakeMergeDialog();
  Show(*dialog, [&](HWND d) {
    SetRowData(Control(d, IDC_FILE_LIST), 1, 7);
    Click(d, IDOK);
  });
  EXPECT_THAT(Names(dialog->output()), testing::ElementsAre(L"Annual report", L"Contract draft"));
}

TEST_F(DialogTest, OutputAsTheCallersRecordType) {
  auto dialog = MakeMergeDialog();
  Show(*dialog, [&](HWND d) { Click(d, IDOK); });
  auto typed = dialog->output_as<doc_description>();
  EXPECT_EQ(typed.size(), 3u);
  EXPECT_FALSE(dialog->merge_documents());
  EXPECT_EQ(ReadDword(L"do_merge"), 0u);
}

TEST_F(DialogTest, StoredMergeOpensWithMergeCheckedAndOrderingEnabled) {
  StoreDword(L"do_merge", 1);
  auto dialog = MakeMergeDialog();
  bool single = true, merge = false, up = false, down = false, list = false;
  Show(*dialog, [&](HWND d) {
    single = Checked(d, IDC_SINGLE);
    merge = Checked(d, IDC_MERGE);
    up = Enabled(d, IDC_UP);
    down = Enabled(d, IDC_DOWN);
    list = Enabled(d, IDC_FILE_LIST);
    Click(d, IDCANCEL);
  });
  EXPECT_FALSE(single);
  EXPECT_TRUE(merge);
  EXPECT_TRUE(up);
  EXPECT_TRUE(down);
  EXPECT_TRUE(list);
}

TEST_F(DialogTest, MergeAndSingleSwitchTheOrderingControls) {
  auto dialog = MakeMergeDialog();
  bool afterMerge[3] = {}, afterSingle[3] = {true, true, true};
  Show(*dialog, [&](HWND d) {
    Click(d, IDC_MERGE);
    afterMerge[0] = Enabled(d, IDC_UP);
    afterMerge[1] = Enabled(d, IDC_DOWN);
    afterMerge[2] = Enabled(d, IDC_FILE_LIST);
    Click(d, IDC_SINGLE);
    afterSingle[0] = Enabled(d, IDC_UP);
    afterSingle[1] = Enabled(d, IDC_DOWN);
    afterSingle[2] = Enabled(d, IDC_FILE_LIST);
    Click(d, IDCANCEL);
  });
  EXPECT_THAT(afterMerge, testing::ElementsAre(true, true, true));
  EXPECT_THAT(afterSingle, testing::ElementsAre(false, false, false));
  EXPECT_TRUE(log_.Has("MergeSortDlg OnMerge()"));
  EXPECT_TRUE(log_.Has("MergeSortDlg OnSingle()"));
}

TEST_F(DialogTest, ExtendedDialogShowsTheSaveGroupAndMergeChoosesNewDocument) {
  StoreDword(L"saver_new_related", 0);
  auto dialog = MakeMergeDialog(true);
  bool shown = false, newVersion = false, newDocument = true, relate = true, groupEnabled = false;
  bool merged[4] = {true, true, true, true};  // group, 250, 252, 251 enabled after Merge
  bool mergedNewDocument = false, mergedNewVersion = true;
  bool single[4] = {};
  INT_PTR result = Show(*dialog, [&](HWND d) {
    shown = Visible(d, IDC_SAVE_GROUP) && Visible(d, IDC_MERGE_SAVE_NEW_DOCUMENT) &&
            Visible(d, IDC_MERGE_SAVE_NEW_VERSION) && Visible(d, IDC_MERGE_RELATE);
    newVersion = Checked(d, IDC_MERGE_SAVE_NEW_VERSION);  // "how_to_save" 0
    newDocument = Checked(d, IDC_MERGE_SAVE_NEW_DOCUMENT);
    relate = Checked(d, IDC_MERGE_RELATE);
    groupEnabled = Enabled(d, IDC_MERGE_SAVE_NEW_DOCUMENT);
    Click(d, IDC_MERGE);
    int ids[] = {IDC_SAVE_GROUP, IDC_MERGE_SAVE_NEW_DOCUMENT, IDC_MERGE_SAVE_NEW_VERSION,
                 IDC_MERGE_RELATE};
    for (int i = 0; i < 4; ++i) merged[i] = Enabled(d, ids[i]);
    mergedNewDocument = Checked(d, IDC_MERGE_SAVE_NEW_DOCUMENT);
    mergedNewVersion = Checked(d, IDC_MERGE_SAVE_NEW_VERSION);
    Click(d, IDC_SINGLE);
    for (int i = 0; i < 4; ++i) single[i] = Enabled(d, ids[i]);
    Click(d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(newVersion);
  EXPECT_FALSE(newDocument);
  EXPECT_FALSE(relate);
  EXPECT_TRUE(groupEnabled);
  EXPECT_THAT(merged, testing::ElementsAre(false, false, false, false));
  EXPECT_TRUE(mergedNewDocument);
  EXPECT_FALSE(mergedNewVersion);
  EXPECT_THAT(single, testing::ElementsAre(true, true, true, true));
  EXPECT_FALSE(dialog->merge_documents());
  EXPECT_EQ(dialog->save_new(), 1u);
  EXPECT_EQ(ReadDword(L"how_to_save"), 1u);
  EXPECT_EQ(ReadDword(L"saver_new_related"), 0u);
  EXPECT_TRUE(log_.Has("MergeSortDlg::MergeSortDlg(extended: true)"));
}

TEST_F(DialogTest, ExtendedDialogWithStoredMergeOpensWithTheSaveGroupDisabled) {
  StoreDword(L"do_merge", 1);
  StoreDword(L"how_to_save", 1);
  auto dialog = MakeMergeDialog(true);
  bool enabled[4] = {true, true, true, true};
  bool newDocument = false;
  Show(*dialog, [&](HWND d) {
    int ids[] = {IDC_SAVE_GROUP, IDC_MERGE_SAVE_NEW_DOCUMENT, IDC_MERGE_SAVE_NEW_VERSION,
                 IDC_MERGE_RELATE};
    for (int i = 0; i < 4; ++i) enabled[i] = Enabled(d, ids[i]);
    newDocument = Checked(d, IDC_MERGE_SAVE_NEW_DOCUMENT);
    Click(d, IDCANCEL);
  });
  EXPECT_THAT(enabled, testing::ElementsAre(false, false, false, false));
  EXPECT_TRUE(newDocument);
}

TEST_F(DialogTest, HiddenSaveGroupGivesTheList110MorePixels) {
  auto plain = MakeMergeDialog(false);
  auto extended = MakeMergeDialog(true);
  RECT plainList{}, extendedList{};
  Show(*plain, [&](HWND d) {
    plainList = ControlRect(d, IDC_FILE_LIST);
    Click(d, IDCANCEL);
  });
  Show(*extended, [&](HWND d) {
    extendedList = ControlRect(d, IDC_FILE_LIST);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(plainList.top, extendedList.top);
  EXPECT_EQ(plainList.right - plainList.left, extendedList.right - extendedList.left);
  EXPECT_EQ((plainList.bottom - plainList.top) - (extendedList.bottom - extendedList.top), 110);
}

TEST_F(DialogTest, GermanTemplateWithLanguageOffset200) {
  auto dialog = MakeMergeDialog(false, kGerman);
  std::wstring title, single, up;
  std::vector<std::wstring> columns;
  Show(*dialog, [&](HWND d) {
    title = Text(d);
    single = Text(Control(d, IDC_SINGLE));
    up = Text(Control(d, IDC_UP));
    columns = ColumnTitles(Control(d, IDC_FILE_LIST));
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(title, L"Elemente zu einem PDF zusammenf\u00fchren");
  EXPECT_EQ(single, L"F\u00fcr &jedes Eingabedokument ein PDF erstellen");
  EXPECT_EQ(up, L"Nach &oben");
  EXPECT_THAT(columns, testing::ElementsAre(L"Dateien", L"Dok.-Nummer", L"Version"));
}

// ---------------------------------------------------------------------------------------------
// The resizable base: resizing, the minimum size and the stored size, on MergeSortDlg

TEST_F(DialogTest, ResizingMovesControlsByTheirAnchorsAndStopsAtTheInitialSize) {
  auto dialog = MakeMergeDialog(true);
  SIZE initial{}, grown{}, shrunk{}, last{};
  RECT client0{}, client1{}, list0{}, list1{}, ok0{}, ok1{}, cancel0{}, cancel1{}, group0{},
      group1{}, relate0{}, relate1{}, single0{}, single1{}, up0{}, up1{}, down1{};
  MINMAXINFO limits{};
  INT_PTR result = Show(*dialog, [&](HWND d) {
    initial = WindowSize(d);
    client0 = ClientRect(d);
    list0 = ControlRect(d, IDC_FILE_LIST);
    ok0 = ControlRect(d, IDOK);
    cancel0 = ControlRect(d, IDCANCEL);
    group0 = ControlRect(d, IDC_SAVE_GROUP);
    relate0 = ControlRect(d, IDC_MERGE_RELATE);
    single0 = ControlRect(d, IDC_SINGLE);
    up0 = ControlRect(d, IDC_UP);

    ResizeWindow(d, initial.cx + 120, initial.cy + 90);
    grown = WindowSize(d);
    client1 = ClientRect(d);
    list1 = ControlRect(d, IDC_FILE_LIST);
    ok1 = ControlRect(d, IDOK);
    cancel1 = ControlRect(d, IDCANCEL);
    group1 = ControlRect(d, IDC_SAVE_GROUP);
    relate1 = ControlRect(d, IDC_MERGE_RELATE);
    single1 = ControlRect(d, IDC_SINGLE);
    up1 = ControlRect(d, IDC_UP);
    down1 = ControlRect(d, IDC_DOWN);

    ResizeWindow(d, 100, 80);
    shrunk = WindowSize(d);
    SendMessageW(d, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));

    ResizeWindow(d, initial.cx + 50, initial.cy + 40);
    last = WindowSize(d);
    Click(d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(grown.cx, initial.cx + 120);
  EXPECT_EQ(grown.cy, initial.cy + 90);
  EXPECT_EQ(client1.right - client0.right, 120);
  EXPECT_EQ(client1.bottom - client0.bottom, 90);
  // The list stretches both ways.
  EXPECT_EQ(list1.left, list0.left);
  EXPECT_EQ(list1.top, list0.top);
  EXPECT_EQ(list1.right, list0.right + 120);
  EXPECT_EQ(list1.bottom, list0.bottom + 90);
  // OK and Cancel keep their distance to the right and bottom edges.
  EXPECT_EQ(client1.right - ok1.right, client0.right - ok0.right);
  EXPECT_EQ(client1.bottom - ok1.bottom, client0.bottom - ok0.bottom);
  EXPECT_EQ(ok1.right - ok1.left, ok0.right - ok0.left);
  EXPECT_EQ(client1.right - cancel1.left, client0.right - cancel0.left);
  EXPECT_EQ(client1.bottom - cancel1.top, client0.bottom - cancel0.top);
  // The save group keeps its place relative to the left and bottom edges.
  EXPECT_EQ(group1.left, group0.left);
  EXPECT_EQ(group1.right, group0.right);
  EXPECT_EQ(group1.top, group0.top + 90);
  EXPECT_EQ(relate1.left, relate0.left);
  EXPECT_EQ(relate1.top, relate0.top + 90);
  // Up and Down stay beside the widened list, at their height.
  EXPECT_EQ(client1.right - up1.right, client0.right - up0.right);
  EXPECT_EQ(up1.top, up0.top);
  EXPECT_GE(up1.left, list1.right);
  EXPECT_GE(down1.left, list1.right);
  // Controls without an anchor stay.
  EXPECT_EQ(single1.left, single0.left);
  EXPECT_EQ(single1.top, single0.top);
  // Shrinking stops at the initial size.
  EXPECT_EQ(shrunk.cx, initial.cx);
  EXPECT_EQ(shrunk.cy, initial.cy);
  EXPECT_EQ(limits.ptMinTrackSize.x, initial.cx);
  EXPECT_EQ(limits.ptMinTrackSize.y, initial.cy);
  EXPECT_EQ(limits.ptMaxTrackSize.x, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(limits.ptMaxTrackSize.y, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(limits.ptMaxSize.x, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(limits.ptMaxPosition.x, 0);
  EXPECT_EQ(limits.ptMaxPosition.y, 0);
  // The last size is stored: width in the low word, height in the high word.
  EXPECT_EQ(last.cx, initial.cx + 50);
  dialog.reset();
  EXPECT_EQ(ReadDword(kSizeValue),
            static_cast<DWORD>(MAKELONG(initial.cx + 50, initial.cy + 40)));
}

TEST_F(DialogTest, StoredSizeIsRestoredAndAnchorsFollowIt) {
  // The template size and the OK button's place first.
  SIZE templateSize{};
  RECT client0{}, ok0{}, list0{};
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
  EXPECT_EQ(ReadDword(kSizeValue),
            static_cast<DWORD>(MAKELONG(templateSize.cx, templateSize.cy)));

  int width = templateSize.cx + 140, height = templateSize.cy + 60;
  StoreDword(kSizeValue, MAKELONG(width, height));
  auto dialog = MakeMergeDialog();
  SIZE opened{};
  RECT client1{}, ok1{}, list1{};
  Show(*dialog, [&](HWND d) {
    opened = WindowSize(d);
    client1 = ClientRect(d);
    ok1 = ControlRect(d, IDOK);
    list1 = ControlRect(d, IDC_FILE_LIST);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(opened.cx, width);
  EXPECT_EQ(opened.cy, height);
  EXPECT_EQ(client1.right - ok1.right, client0.right - ok0.right);
  EXPECT_EQ(client1.bottom - ok1.bottom, client0.bottom - ok0.bottom);
  EXPECT_EQ(list1.right - list1.left, list0.right - list0.left + 140);
  EXPECT_EQ(list1.bottom - list1.top, list0.bottom - list0.top + 60);
}

TEST_F(DialogTest, StoredSizeOfZeroLeavesTheTemplateSize) {
  SIZE templateSize{}, withZero{}, withHalfZero{};
  {
    auto dialog = MakeMergeDialog();
    Show(*dialog, [&](HWND d) {
      templateSize = WindowSize(d);
      Click(d, IDCANCEL);
    });
  }
  StoreDword(kSizeValue, 0);
  {
    auto dialog = MakeMergeDialog();
    Show(*dialog, [&](HWND d) {
      withZero = WindowSize(d);
      Click(d, IDCANCEL);
    });
  }
  StoreDword(kSizeValue, MAKELONG(900, 0));  // a zero height leaves it too
  {
    auto dialog = MakeMergeDialog();
    Show(*dialog, [&](HWND d) {
      withHalfZero = WindowSize(d);
      Click(d, IDCANCEL);
    });
  }
  EXPECT_EQ(withZero.cx, templateSize.cx);
  EXPECT_EQ(withZero.cy, templateSize.cy);
  EXPECT_EQ(withHalfZero.cx, templateSize.cx);
  EXPECT_EQ(withHalfZero.cy, templateSize.cy);
}

TEST_F(DialogTest, StoredSizeFromALargerScreenIsRequestedAsItIs) {
  int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  StoreDword(kSizeValue, MAKELONG(screenWidth + 300, screenHeight + 200));
  auto dialog = MakeMergeDialog();
  SIZE opened{}, dragged{};
  Show(*dialog, [&](HWND d) {
    opened = WindowSize(d);
    ResizeWindow(d, screenWidth + 500, screenHeight + 400);
    dragged = WindowSize(d);
    Click(d, IDCANCEL);
  });
  // Nothing measures the stored size against this screen; the platform keeps the window
  // within the maximum tracking size, which is the screen's.
  EXPECT_EQ(opened.cx, screenWidth);
  EXPECT_EQ(opened.cy, screenHeight);
  EXPECT_EQ(dragged.cx, screenWidth);
  EXPECT_EQ(dragged.cy, screenHeight);
}

// A dialog of our own on the base, to see the base without MergeSortDlg: a callback anchor, a
// plain (not resizable) variant and the no-minimum switch.
class AnchoredSaveDialog : public vpdf::resizable_dialog {
 public:
  using resizable_dialog::resizable_dialog;
  using resizable_dialog::SetNoMinimum;
  std::vector<RECT> moves;
  bool restore = true;

 protected:
  BOOL OnInitDialog() override {
    BOOL result = resizable_dialog::OnInitDialog();
    AddAnchor(IDOK, vpdf::ALIGN_RIGHT | vpdf::ALIGN_BOTTOM,
              [this](HWND, const RECT& rect) { moves.push_back(rect); });
    AddAnchor(4711, vpdf::ALIGN_RIGHT);  // no such control: ignored
    if (restore) RestoreSize();
    return result;
  }
};

TEST_F(DialogTest, BaseCallsAnchorCallbacksAndIgnoresMissingControls) {
  AnchoredSaveDialog dialog(IDD_HOW_TO_SAVE, kSubkey, L"test_size", nullptr, SIZE{0, 0},
                            AddinResources());
  RECT client{}, ok{};
  Show(dialog, [&](HWND d) {
    SIZE size = WindowSize(d);
    ResizeWindow(d, size.cx + 30, size.cy + 20);
    client = ClientRect(d);
    ok = ControlRect(d, IDOK);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(dialog.Anchors().size(), 1u);
  ASSERT_FALSE(dialog.moves.empty());
  EXPECT_EQ(dialog.moves.back().left, ok.left);
  EXPECT_EQ(dialog.moves.back().bottom, ok.bottom);
  EXPECT_EQ(dialog.Anchors().front()->leftPercent, 100);
  EXPECT_EQ(dialog.Anchors().front()->bottomPercent, 100);
}

TEST_F(DialogTest, InitialSizeFromTheOwnerIsUsedWhenNothingIsStored) {
  AnchoredSaveDialog dialog(IDD_HOW_TO_SAVE, kSubkey, L"test_size", nullptr, SIZE{640, 300},
                            AddinResources());
  SIZE opened{};
  Show(dialog, [&](HWND d) {
    opened = WindowSize(d);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(opened.cx, 640);
  EXPECT_EQ(opened.cy, 300);
}

TEST_F(DialogTest, PlainBaseDialogKeepsNoAnchorsAndStoresNoSize) {
  AnchoredSaveDialog dialog(IDD_HOW_TO_SAVE, nullptr, AddinResources());
  INT_PTR result = Show(dialog, [&](HWND d) { Click(d, IDOK); });
  EXPECT_EQ(result, IDOK);
  EXPECT_FALSE(dialog.IsResizable());
  EXPECT_TRUE(dialog.Anchors().empty());
  EXPECT_FALSE(ValueExists(L"test_size"));
}

TEST_F(DialogTest, SizeIsNotStoredWhenItWasNeverRestored) {
  {
    AnchoredSaveDialog dialog(IDD_HOW_TO_SAVE, kSubkey, L"test_size", nullptr, SIZE{0, 0},
                              AddinResources());
    dialog.restore = false;
    Show(dialog, [&](HWND d) { Click(d, IDOK); });
  }
  EXPECT_FALSE(ValueExists(L"test_size"));
}

TEST_F(DialogTest, MissingTemplateGivesMinusOne) {
  MergeSortDlg dialog(kSubkey, kSizeValue, false, SampleDocs(), 4000, nullptr, AddinResources());
  EXPECT_EQ(dialog.DoModal(), -1);
}

// ---------------------------------------------------------------------------------------------
// HowToSaveDlg

std::unique_ptr<HowToSaveDlg> MakeSaveDialog(bool extended, int langOffset = 0) {
  return std::make_unique<HowToSaveDlg>(
      kSubkey, L"The 'a.docx' has been converted to a PDF file.\nHow do you want to save it ?",
      extended, langOffset, nullptr, AddinResources());
}

struct SaveDialogState {
  std::wstring title, message;
  bool newDocument = false, relate = false, relateEnabled = false, newVersion = false,
       local = false, localVisible = false;
};

SaveDialogState ReadSaveDialog(HWND d) {
  SaveDialogState state;
  state.title = Text(d);
  state.message = Text(Control(d, IDC_MESSAGE));
  state.newDocument = Checked(d, IDC_SAVE_NEW_DOCUMENT);
  state.relate = Checked(d, IDC_RELATE);
  state.relateEnabled = Enabled(d, IDC_RELATE);
  state.newVersion = Checked(d, IDC_SAVE_NEW_VERSION);
  state.local = Checked(d, IDC_SAVE_LOCAL);
  state.localVisible = Visible(d, IDC_SAVE_LOCAL);
  return state;
}

TEST_F(DialogTest, SaveDialogDefaultsToNewDocumentRelatedAndShowsTheMessage) {
  auto dialog = MakeSaveDialog(true);
  SaveDialogState state;
  INT_PTR result = Show(*dialog, [&](HWND d) {
    state = ReadSaveDialog(d);
    Click(d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(state.title, L"Save As");
  EXPECT_EQ(state.message,
            L"The 'a.docx' has been converted to a PDF file.\nHow do you want to save it ?");
  EXPECT_TRUE(state.newDocument);
  EXPECT_TRUE(state.relate);
  EXPECT_TRUE(state.relateEnabled);
  EXPECT_FALSE(state.newVersion);
  EXPECT_FALSE(state.local);
  EXPECT_TRUE(state.localVisible);
  EXPECT_EQ(dialog->decision(), 0);
  EXPECT_TRUE(dialog->relate());
  // Saved when the dialog object goes, not before.
  EXPECT_FALSE(ValueExists(L"how_to_save"));
  dialog.reset();
  EXPECT_EQ(ReadDword(L"how_to_save"), 0u);
  EXPECT_EQ(ReadDword(L"saver_new_related"), 1u);
}

TEST_F(DialogTest, StoredLocalSaveWithoutExtendedModeOpensWithNewDocument) {
  StoreDword(L"how_to_save", 2);
  auto dialog = MakeSaveDialog(false);
  SaveDialogState state;
  Show(*dialog, [&](HWND d) {
    state = ReadSaveDialog(d);
    Click(d, IDCANCEL);
  });
  EXPECT_TRUE(state.newDocument);
  EXPECT_FALSE(state.local);
  EXPECT_FALSE(state.localVisible);
  EXPECT_TRUE(state.relateEnabled);
  dialog.reset();
  // After Cancel the decision as shown at initialisation is stored.
  EXPECT_EQ(ReadDword(L"how_to_save"), 0u);
}

TEST_F(DialogTest, StoredLocalSaveInExtendedModeOpensWithLocalSaveAndRelateGreyed) {
  StoreDword(L"how_to_save", 2);
  auto dialog = MakeSaveDialog(true);
  SaveDialogState state;
  Show(*dialog, [&](HWND d) {
    state = ReadSaveDialog(d);
    Click(d, IDOK);
  });
  EXPECT_TRUE(state.local);
  EXPECT_TRUE(state.localVisible);
  EXPECT_FALSE(state.newDocument);
  EXPECT_FALSE(state.relateEnabled);
  EXPECT_EQ(dialog->decision(), 2);
}

TEST_F(DialogTest, StoredNewVersionOpensWithRelateGreyed) {
  StoreDword(L"how_to_save", 1);
  auto dialog = MakeSaveDialog(true);
  SaveDialogState state;
  Show(*dialog, [&](HWND d) {
    state = ReadSaveDialog(d);
    Click(d, IDOK);
  });
  EXPECT_TRUE(state.newVersion);
  EXPECT_FALSE(state.relateEnabled);
  EXPECT_EQ(dialog->decision(), 1);
}

TEST_F(DialogTest, RelateBoxIsGreyedForNewVersionAndLocalSave) {
  auto dialog = MakeSaveDialog(true);
  bool afterVersion = true, afterLocal = true, afterDocument = false;
  INT_PTR result = Show(*dialog, [&](HWND d) {
    Click(d, IDC_SAVE_NEW_VERSION);
    afterVersion = Enabled(d, IDC_RELATE);
    Click(d, IDC_SAVE_LOCAL);
    afterLocal = Enabled(d, IDC_RELATE);
    Click(d, IDC_SAVE_NEW_DOCUMENT);
    afterDocument = Enabled(d, IDC_RELATE);
    Click(d, IDC_RELATE);  // off
    Click(d, IDC_SAVE_NEW_VERSION);
    Click(d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_FALSE(afterVersion);
  EXPECT_FALSE(afterLocal);
  EXPECT_TRUE(afterDocument);
  EXPECT_EQ(dialog->decision(), 1);
  EXPECT_FALSE(dialog->relate());
  dialog.reset();
  EXPECT_EQ(ReadDword(L"how_to_save"), 1u);
  EXPECT_EQ(ReadDword(L"saver_new_related"), 0u);
}

TEST_F(DialogTest, SaveDialogStoresTheInitialChoiceAfterCancel) {
  StoreDword(L"how_to_save", 1);
  StoreDword(L"saver_new_related", 0);
  auto dialog = MakeSaveDialog(true);
  INT_PTR result = Show(*dialog, [&](HWND d) {
    Click(d, IDC_SAVE_LOCAL);
    Click(d, IDC_SAVE_NEW_DOCUMENT);
    Click(d, IDC_RELATE);
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  StoreDword(L"how_to_save", 7);  // overwritten on destruction
  dialog.reset();
  EXPECT_EQ(ReadDword(L"how_to_save"), 1u);
  EXPECT_EQ(ReadDword(L"saver_new_related"), 0u);
}

TEST_F(DialogTest, SaveDialogThatWasNeverShownStoresNothing) {
  { auto dialog = MakeSaveDialog(true); }
  EXPECT_FALSE(ValueExists(L"how_to_save"));
}

TEST_F(DialogTest, GermanSaveDialog) {
  auto dialog = MakeSaveDialog(true, kGerman);
  SaveDialogState state;
  std::wstring cancel;
  Show(*dialog, [&](HWND d) {
    state = ReadSaveDialog(d);
    cancel = Text(Control(d, IDCANCEL));
    Click(d, IDCANCEL);
  });
  EXPECT_EQ(state.title, L"Speichern unter");
  EXPECT_EQ(cancel, L"&Abbrechen");
}

// ---------------------------------------------------------------------------------------------
// The message box. The real box comes up and is closed from the driving thread. Wine
// draws a box with MB_RIGHT | MB_RTLREADING like any other (its window and text keep their
// left-to-right styles), so the style is observed where it reaches the platform: the test
// program's import of MessageBoxW records each call on its way to the real function.

struct MessageBoxCall {
  HWND owner = nullptr;
  std::wstring text, caption;
  UINT style = 0;
};
std::vector<MessageBoxCall> g_messageBoxCalls;
testing_support::ScopedImportHook* g_messageBoxHook = nullptr;

int WINAPI RecordingMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  g_messageBoxCalls.push_back({owner, text ? text : L"", caption ? caption : L"", style});
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

  testing_support::ScopedRegistryValue installPath_{HKEY_LOCAL_MACHINE,
                                                    L"Software\\Wow6432Node\\Ostrel\\PDF\\V1",
                                                    L"InstallPath", KEY_WOW64_32KEY};

  struct Seen {
    std::wstring caption;
    std::vector<std::wstring> texts;
    bool found = false;
  };

  // Shows the box through the routine and presses `button` on it.
  int ShowAndPress(const wchar_t* text, const wchar_t* caption, UINT style, int button,
                   Seen& seen) {
    DialogDriver driver([&](HWND box) {
      seen.caption = Text(box);
      for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        seen.texts.push_back(Text(child));
      Click(box, button);
    });
    int result = vpdf::VPDFMessageBox(nullptr, text, caption, style);
    driver.Join();
    seen.found = driver.Found() && !driver.Forced();
    return result;
  }

  testing_support::ScopedImportHook hook_{"USER32.dll", "MessageBoxW",
                                          reinterpret_cast<void*>(&RecordingMessageBoxW)};
};

TEST_F(MessageBoxTest, DefaultCaptionAndLeftToRightStyle) {
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_OK | MB_ICONERROR), static_cast<UINT>(MB_OK | MB_ICONERROR));
  Seen seen;
  int result = ShowAndPress(L"General error", nullptr, MB_OK | MB_ICONERROR, IDOK, seen);
  EXPECT_TRUE(seen.found);
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(seen.caption, L"Ostrel Varnel PDF");
  EXPECT_THAT(seen.texts, testing::Contains(L"General error"));
  ASSERT_EQ(g_messageBoxCalls.size(), 1u);
  EXPECT_EQ(g_messageBoxCalls[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(g_messageBoxCalls[0].caption, L"Ostrel Varnel PDF");
}

TEST_F(MessageBoxTest, GivenCaptionIsKeptAndThePressedButtonReturned) {
  Seen seen;
  int result =
      ShowAndPress(L"Open it read-only?", L"Checked out", MB_YESNO | MB_ICONQUESTION, IDNO, seen);
  EXPECT_TRUE(seen.found);
  EXPECT_EQ(result, IDNO);
  EXPECT_EQ(seen.caption, L"Checked out");
  result =
      ShowAndPress(L"Open it read-only?", L"Checked out", MB_YESNO | MB_ICONQUESTION, IDYES, seen);
  EXPECT_EQ(result, IDYES);
  EXPECT_EQ(vpdf::MessageBoxCaption(L""), std::wstring(L"Ostrel Varnel PDF"));
}

TEST_F(MessageBoxTest, ArabicAddsRightAlignedRightToLeftReading) {
  testing_support::SetDword(HKEY_CURRENT_USER, kTestbedConfigKey, L"UILanguage0", 1025);
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_OK), 0x180000u);
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_YESNO | MB_ICONQUESTION),
            static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | 0x180000));
  Seen seen;
  int result = ShowAndPress(L"\u062e\u0637\u0623 \u0639\u0627\u0645", nullptr,
                            MB_OK | MB_ICONERROR, IDOK, seen);
  EXPECT_TRUE(seen.found);
  EXPECT_EQ(result, IDOK);
  ASSERT_EQ(g_messageBoxCalls.size(), 1u);
  EXPECT_EQ(g_messageBoxCalls[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR | 0x180000));
  EXPECT_EQ(g_messageBoxCalls[0].style & (MB_RIGHT | MB_RTLREADING),
            static_cast<UINT>(MB_RIGHT | MB_RTLREADING));

  // Another Arabic variant is not 1025; another language adds nothing.
  testing_support::SetDword(HKEY_CURRENT_USER, kTestbedConfigKey, L"UILanguage0", 0x0C01);
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_OK), 0u);
  testing_support::SetDword(HKEY_CURRENT_USER, kTestbedConfigKey, L"UILanguage0", 1031);
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_OK), 0u);
}

// The product's install folder (GetProductInstallPath), set for a test and put back after it.
class ScopedInstallPath {
 public:
  explicit ScopedInstallPath(const std::wstring& folder) {
    DWORD size = sizeof m_saved;
    m_existed = RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", RRF_RT_REG_SZ, nullptr,
                             m_saved, &size) == ERROR_SUCCESS;
    testing_support::SetString(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", folder);
  }
  ~ScopedInstallPath() {
    if (m_existed)
      testing_support::SetString(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", m_saved);
    else
      RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kKey, L"InstallPath");
  }

 private:
  static constexpr wchar_t kKey[] = L"Software\\Wow6432Node\\Ostrel\\PDF\\V1";
  wchar_t m_saved[MAX_PATH] = {};
  bool m_existed = false;
};

TEST_F(MessageBoxTest, LanguageOfTheInstalledComponentDecides) {
  // With an install path the language of component kind 2 counts, not that of kind 0.
  testing_support::SetDword(HKEY_CURRENT_USER, kTestbedConfigKey, L"UILanguage0", 1025);
  testing_support::SetDword(HKEY_CURRENT_USER, kTestbedConfigKey, L"UILanguage2", 1033);
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_OK), 0x180000u);
  ScopedInstallPath installed(L"C:\\Program Files\\Ostrel\\");
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_OK), 0u);
  testing_support::SetDword(HKEY_CURRENT_USER, kTestbedConfigKey, L"UILanguage2", 1025);
  EXPECT_EQ(vpdf::MessageBoxStyle(MB_OK), 0x180000u);
}

}  // namespace
