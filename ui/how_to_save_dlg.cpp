#include "ui/how_to_save_dlg.h"

#include "convutils/resource.h"
#include "convutils/settings.h"
#include "ui/resizable_dialog.h"

namespace vpdf {

HowToSaveDlg::HowToSaveDlg(std::wstring subkey, std::wstring message, bool extended,
                           int langOffset, HWND parent, HINSTANCE resources)
    : modal_dialog(IDD_HOW_TO_SAVE + langOffset, parent, resources),
      m_langOffset(langOffset),
      m_message(std::move(message)),
      m_extended(extended) {
  std::wstring key = kDialogSettingsBase + subkey;
  m_loadSettings = [this, key] {
    m_decision = static_cast<int>(
        CConvRegKey(HKEY_CURRENT_USER, key.c_str(), L"how_to_save", 0).ReadNumber());
    m_relate = CConvRegKey(HKEY_CURRENT_USER, key.c_str(), L"saver_new_related", 1).ReadBool();
    m_loaded = true;
  };
  m_saveSettings = [this, key] {
    CConvRegKey(HKEY_CURRENT_USER, key.c_str(), L"how_to_save", 0)
        .WriteNumber(static_cast<DWORD>(m_decision));
    CConvRegKey(HKEY_CURRENT_USER, key.c_str(), L"saver_new_related", 1).WriteBool(m_relate);
  };
}

HowToSaveDlg::~HowToSaveDlg() {
  // A dialog that never got as far as reading its settings has nothing to put back.
  if (m_loaded) m_saveSettings();
}

BOOL HowToSaveDlg::OnInitDialog() {
  BOOL result = modal_dialog::OnInitDialog();
  m_loadSettings();
  if (!m_extended && m_decision > kNewVersion) m_decision = kNewDocument;
  m_messageText = Item(IDC_MESSAGE);
  m_relateBox = Item(IDC_RELATE);
  if (m_messageText) SetWindowTextW(m_messageText, m_message.c_str());
  SetCheck(IDC_SAVE_NEW_DOCUMENT, m_decision == kNewDocument);
  SetCheck(IDC_SAVE_NEW_VERSION, m_decision == kNewVersion);
  SetCheck(IDC_SAVE_LOCAL, m_decision == kLocalSave);
  SetCheck(IDC_RELATE, m_relate);
  EnableItem(IDC_RELATE, m_decision == kNewDocument);
  if (!m_extended) ShowItem(IDC_SAVE_LOCAL, false);
  return result;
}

bool HowToSaveDlg::OnCommand(int id, int code, HWND control) {
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_SAVE_NEW_DOCUMENT:
        EnableItem(IDC_RELATE, true);
        return true;
      case IDC_SAVE_NEW_VERSION:
      case IDC_SAVE_LOCAL:
        EnableItem(IDC_RELATE, false);
        return true;
      default:
        break;
    }
  }
  return modal_dialog::OnCommand(id, code, control);
}

void HowToSaveDlg::OnOK() {
  if (IsChecked(IDC_SAVE_NEW_DOCUMENT))
    m_decision = kNewDocument;
  else if (IsChecked(IDC_SAVE_NEW_VERSION))
    m_decision = kNewVersion;
  else if (IsChecked(IDC_SAVE_LOCAL))
    m_decision = kLocalSave;
  else
    m_decision = kNone;
  m_relate = IsChecked(IDC_RELATE);
  EndDialog(IDOK);
}

}  // namespace vpdf
