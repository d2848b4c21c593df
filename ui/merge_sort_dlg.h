// Merge and order dialog of Create PDF: one PDF per document or one merged PDF, and the
// order of the documents for a merge. Template 333 plus the language offset.
#pragma once
#include <windows.h>

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "ui/doc_description.h"
#include "ui/resizable_dialog.h"

namespace vpdf {

// The dialog's input and output: shared records, in list order.
using doc_description_list = std::list<std::shared_ptr<doc_description>>;

// A list of records of a derived type (doc_list of doc_description_COM) as the dialog takes it.
template <class T>
doc_description_list AsDocDescriptions(const std::list<std::shared_ptr<T>>& records) {
  return doc_description_list(records.begin(), records.end());
}

class MergeSortDlg : public resizable_dialog {
 public:
  // Settings under HKCU\Software\Ostrel\PDF\V1\<subkey>; the window size under value
  // `sizeValueName` there. `extended` shows the save group (new document / new version).
  // `resources`: the module holding template 333 + `langOffset` and strings 334-336 +
  // `langOffset`; null means the add-in module.
  MergeSortDlg(std::wstring subkey, std::wstring sizeValueName, bool extended,
               doc_description_list input, int langOffset, HWND parent,
               HINSTANCE resources = nullptr);

  // Read after DoModal returned IDOK.
  bool merge_documents() const { return merge_documents_; }
  DWORD save_new() const { return save_new_; }
  bool save_new_related() const { return save_new_related_; }
  // The input records in the order shown when OK was pressed.
  const doc_description_list& output() const { return m_output; }
  // The same, as records of the caller's derived type (records of another type are left out).
  template <class T>
  std::list<std::shared_ptr<T>> output_as() const {
    std::list<std::shared_ptr<T>> result;
    for (const auto& record : m_output)
      if (auto typed = std::dynamic_pointer_cast<T>(record)) result.push_back(std::move(typed));
    return result;
  }

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

  void OnUp() { MoveSelected(-1); }
  void OnDown() { MoveSelected(+1); }
  void OnMerge();
  void OnSingle();
  void OnClose();

 private:
  // The controls into merge_documents_, save_new_ and save_new_related_.
  void ReadControls();
  void EnableSaveGroup(bool enable);
  void MoveSelected(int step);
  std::wstring ItemText(int row, int column) const;
  void InsertRow(int row, const std::wstring& name, const std::wstring& number,
                 const std::wstring& version, LPARAM data);

  HWND m_list = nullptr;  // control 216
  bool m_extended;
  int m_langOffset;
  std::vector<std::shared_ptr<doc_description>> m_input;
  doc_description_list m_output;
  std::function<void()> m_loadSettings;
  std::function<void()> m_saveSettings;
  bool merge_documents_ = false;   // "do_merge"
  DWORD save_new_ = 0;             // "how_to_save"
  bool save_new_related_ = true;   // "saver_new_related"
};

}  // namespace vpdf
