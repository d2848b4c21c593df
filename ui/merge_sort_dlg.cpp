#include "ui/merge_sort_dlg.h"

#include <commctrl.h>

#include "convutils/resource.h"
#include "convutils/log.h"
#include "convutils/settings.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFiManageAddon_UI\\VPDFIManMergeSortDlg");

// Grid lines, full-row select, info tips and the header in all views.
constexpr DWORD kListExtendedStyles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP |
                                      LVS_EX_HEADERINALLVIEWS;
static_assert(kListExtendedStyles == 0x02000421);

// The list takes the place of the hidden save group.
constexpr int kListGrowth = 110;

const char* TrueFalse(bool value) { return value ? "true" : "false"; }

// A wide text in the ANSI code page, for the log.
std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(),
                        size, nullptr, nullptr);
  return narrow;
}

void EnsureCommonControls() {
  static const bool done = [] {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    return InitCommonControlsEx(&init) != FALSE;
  }();
  (void)done;
}

}  // namespace

MergeSortDlg::MergeSortDlg(std::wstring subkey, std::wstring sizeValueName, bool extended,
                           doc_description_list input, int langOffset, HWND parent,
                           HINSTANCE resources)
    : resizable_dialog(IDD_MERGE_SORT + langOffset, subkey, std::move(sizeValueName), parent,
                       SIZE{0, 0}, resources),
      m_extended(extended),
      m_langOffset(langOffset),
      m_input(input.begin(), input.end()) {
  kLog.Trace("MergeSortDlg::MergeSortDlg(extended: %s)", TrueFalse(extended));
  std::wstring key = kDialogSettingsBase + subkey;
  m_loadSettings = [this, key] {
    merge_documents_ = CConvRegKey(HKEY_CURRENT_USER, key.c_str(), L"do_merge", 0).ReadBool();
    save_new_ = CConvRegKey(HKEY_CURRENT_USER, key.c_str(), L"how_to_save", 0).ReadNumber();
    save_new_related_ =
        CConvRegKey(HKEY_CURRENT_USER, key.c_str(), L"saver_new_related", 1).ReadBool();
  };
  m_saveSettings = [this, key] {
    CConvRegKey(HKEY_CURRENT_USER, key.c_str(), L"do_merge", 0).WriteBool(merge_documents_);
    CConvRegKey(HKEY_CURRENT_USER, key.c_str(), L"how_to_save", 0).WriteNumber(save_new_);
    CConvRegKey(HKEY_CURRENT_USER, key.c_str(), L"saver_new_related", 1)
        .WriteBool(save_new_related_);
  };
  EnsureCommonControls();
}

BOOL MergeSortDlg::OnInitDialog() {
  BOOL result = resizable_dialog::OnInitDialog();
  m_loadSettings();
  m_list = Item(IDC_FILE_LIST);

  SetCheck(IDC_MERGE, merge_documents_);
  SetCheck(IDC_SINGLE, !merge_documents_);
  SetCheck(IDC_MERGE_SAVE_NEW_DOCUMENT, save_new_ != 0);
  SetCheck(IDC_MERGE_SAVE_NEW_VERSION, save_new_ == 0);
  SetCheck(IDC_MERGE_RELATE, save_new_related_);
  EnableItem(IDC_UP, merge_documents_);
  EnableItem(IDC_DOWN, merge_documents_);
  EnableItem(IDC_FILE_LIST, merge_documents_);
  if (merge_documents_) EnableSaveGroup(false);

  if (m_list) {
    ListView_SetExtendedListViewStyle(
        m_list, ListView_GetExtendedListViewStyle(m_list) | kListExtendedStyles);
    RECT client{};
    GetClientRect(m_list, &client);
    int width = client.right - client.left - GetSystemMetrics(SM_CXVSCROLL);
    const struct {
      UINT text;
      double share;
    } columns[] = {{IDS_COLUMN_FILES, 0.6}, {IDS_COLUMN_DOC_NUMBER, 0.25}, {IDS_COLUMN_VERSION, 0.15}};
    int index = 0;
    for (const auto& column : columns) {
      std::wstring title = ResourceString(column.text + m_langOffset);
      LVCOLUMNW lvc{};
      lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
      lvc.pszText = title.data();
      lvc.cx = static_cast<int>(width * column.share);
      lvc.iSubItem = index;
      ListView_InsertColumn(m_list, index, &lvc);
      ++index;
    }
    int row = 0;
    for (const auto& record : m_input) {
      InsertRow(row, record->name, record->number, record->version, row);
      kLog.Trace("itemData[%d] %s, %s.%s", row, Narrow(record->name).c_str(),
                 Narrow(record->number).c_str(), Narrow(record->version).c_str());
      ++row;
    }
  }

  if (!m_extended) {
    for (int id : {IDC_SAVE_GROUP, IDC_MERGE_SAVE_NEW_DOCUMENT, IDC_MERGE_RELATE,
                   IDC_MERGE_SAVE_NEW_VERSION})
      ShowItem(id, false);
    GrowControl(IDC_FILE_LIST, 0, kListGrowth);
  }

  AddAnchor(IDC_FILE_LIST, ALIGN_STRETCH_X | ALIGN_STRETCH_Y);
  for (int id : {IDC_SAVE_GROUP, IDC_MERGE_SAVE_NEW_DOCUMENT, IDC_MERGE_RELATE,
                 IDC_MERGE_SAVE_NEW_VERSION})
    AddAnchor(id, ALIGN_LEFT | ALIGN_BOTTOM);
  AddAnchor(IDOK, ALIGN_RIGHT | ALIGN_BOTTOM);
  AddAnchor(IDCANCEL, ALIGN_RIGHT | ALIGN_BOTTOM);
  // Up and Down stay beside the list's right edge: left where they are, the widened list
  // would cover them.
  AddAnchor(IDC_UP, ALIGN_RIGHT | ALIGN_TOP);
  AddAnchor(IDC_DOWN, ALIGN_RIGHT | ALIGN_TOP);
  RestoreSize();
  return result;
}

bool MergeSortDlg::OnCommand(int id, int code, HWND control) {
  if (code != BN_CLICKED) return resizable_dialog::OnCommand(id, code, control);
  switch (id) {
    case IDC_UP:
      OnUp();
      return true;
    case IDC_DOWN:
      OnDown();
      return true;
    case IDC_MERGE:
      OnMerge();
      return true;
    case IDC_SINGLE:
      OnSingle();
      return true;
    default:
      return resizable_dialog::OnCommand(id, code, control);
  }
}

bool MergeSortDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  if (message == WM_CLOSE) {
    OnClose();
    result = 0;
    return true;
  }
  return resizable_dialog::OnMessage(message, wParam, lParam, result);
}

void MergeSortDlg::ReadControls() {
  merge_documents_ = IsChecked(IDC_MERGE);
  save_new_ = IsChecked(IDC_MERGE_SAVE_NEW_DOCUMENT) ? 1 : 0;
  save_new_related_ = IsChecked(IDC_MERGE_RELATE);
}

void MergeSortDlg::EnableSaveGroup(bool enable) {
  for (int id : {IDC_SAVE_GROUP, IDC_MERGE_SAVE_NEW_DOCUMENT, IDC_MERGE_SAVE_NEW_VERSION,
                 IDC_MERGE_RELATE})
    EnableItem(id, enable);
}

void MergeSortDlg::OnMerge() {
  kLog.Trace("MergeSortDlg OnMerge()");
  ReadControls();
  EnableItem(IDC_UP, true);
  EnableItem(IDC_DOWN, true);
  EnableItem(IDC_FILE_LIST, true);
  if (m_extended) {
    EnableSaveGroup(false);
    // A merged result is saved as a new document.
    save_new_ = 1;
    SetCheck(IDC_MERGE_SAVE_NEW_DOCUMENT, true);
    SetCheck(IDC_MERGE_SAVE_NEW_VERSION, false);
  }
}

void MergeSortDlg::OnSingle() {
  kLog.Trace("MergeSortDlg OnSingle()");
  ReadControls();
  EnableItem(IDC_UP, false);
  EnableItem(IDC_DOWN, false);
  EnableItem(IDC_FILE_LIST, false);
  if (m_extended) EnableSaveGroup(true);
}

void MergeSortDlg::OnClose() {
  kLog.Trace("OnClose1()");
  OnCancel();
  kLog.Trace("OnClose2()");
}

void MergeSortDlg::OnOK() {
  merge_documents_ = IsChecked(IDC_MERGE);
  save_new_ = IsChecked(IDC_MERGE_SAVE_NEW_DOCUMENT) ? 1 : 0;
  save_new_related_ = IsChecked(IDC_MERGE_RELATE);
  m_output.clear();
  int count = m_list ? ListView_GetItemCount(m_list) : 0;
  for (int row = 0; row < count; ++row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(m_list, &item)) continue;
    if (item.lParam < 0 || static_cast<std::size_t>(item.lParam) >= m_input.size()) continue;
    m_output.push_back(m_input[static_cast<std::size_t>(item.lParam)]);
  }
  kLog.Trace("OnOK(), merge_documents_: %s, save_new_: %s, save_new_related_: %s",
             TrueFalse(merge_documents_), TrueFalse(save_new_ != 0), TrueFalse(save_new_related_));
  EndDialog(IDOK);
  m_saveSettings();
}

std::wstring MergeSortDlg::ItemText(int row, int column) const {
  wchar_t text[1024] = {};
  ListView_GetItemText(m_list, row, column, text, static_cast<int>(std::size(text)));
  return text;
}

void MergeSortDlg::InsertRow(int row, const std::wstring& name, const std::wstring& number,
                             const std::wstring& version, LPARAM data) {
  std::wstring texts[] = {name, number, version};
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = row;
  item.pszText = texts[0].data();
  item.lParam = data;
  int inserted = ListView_InsertItem(m_list, &item);
  if (inserted < 0) return;
  ListView_SetItemText(m_list, inserted, 1, texts[1].data());
  ListView_SetItemText(m_list, inserted, 2, texts[2].data());
}

void MergeSortDlg::MoveSelected(int step) {
  if (!m_list) return;
  int row = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
  if (row < 0) return;
  int target = row + step;
  if (target < 0 || target >= ListView_GetItemCount(m_list)) return;
  std::wstring name = ItemText(row, 0);
  if (name.empty()) return;
  std::wstring number = ItemText(row, 1), version = ItemText(row, 2);
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  ListView_GetItem(m_list, &item);
  ListView_DeleteItem(m_list, row);
  InsertRow(target, name, number, version, item.lParam);
  ListView_SetItemState(m_list, target, LVIS_SELECTED | LVIS_FOCUSED,
                        LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(m_list, target, FALSE);
}

}  // namespace vpdf
