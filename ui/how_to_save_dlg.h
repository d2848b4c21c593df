// Save-choice dialog: how a converted PDF is to be stored. Template 307 plus
// the language offset; a plain modal dialog.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "ui/modal_dialog.h"

namespace vpdf {

class HowToSaveDlg : public modal_dialog {
 public:
  enum Decision : int { kNone = -1, kNewDocument = 0, kNewVersion = 1, kLocalSave = 2 };

  // Settings "how_to_save" and "saver_new_related" under HKCU\Software\Ostrel\PDF\V1\<subkey>.
  // `extended` offers "Local Save" as well. `resources`: the module holding template
  // 307 + `langOffset`; null means the add-in module.
  HowToSaveDlg(std::wstring subkey, std::wstring message, bool extended, int langOffset,
               HWND parent = nullptr, HINSTANCE resources = nullptr);
  // Saves the settings, after OK and after Cancel alike (once the dialog has been shown).
  ~HowToSaveDlg() override;

  // After DoModal returned IDOK: 0 new document, 1 new version, 2 local save, -1 none.
  int decision() const { return m_decision; }
  bool relate() const { return m_relate; }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(int id, int code, HWND control) override;

 private:
  int m_langOffset;
  std::wstring m_message;
  bool m_extended;
  std::function<void()> m_loadSettings;
  std::function<void()> m_saveSettings;
  HWND m_messageText = nullptr;  // control 211
  HWND m_relateBox = nullptr;    // control 203
  int m_decision = kNone;
  bool m_relate = true;
  bool m_loaded = false;
};

}  // namespace vpdf
