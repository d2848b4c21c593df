#pragma once
#include <string>

#include "commands/command_impl.h"

namespace vpdf {

class COpenInCnv_I : public ICommandImpl {
 public:
  // Logs nothing.
  explicit COpenInCnv_I(Placement placement)
      : m_langOffset(TakeIdentity(CommandFamily::kOpenInCnv, placement)) {}

  // Enabled only for a non-empty selection of PDF, XPS and OXPS documents.
  HRESULT OnUpdate() override;
  // Copies the selected documents to the temporary folder, lists them in a file list and
  // starts the conversion tool on the list, which then owns the list and the copies.
  HRESULT OnExecute() override;

  // Starts the conversion tool on the list file at `listPath`, without waiting for it: true
  // when it started.
  bool LaunchConversionTool(const std::wstring& listPath);
  // Deletes the copies that the list file at `listPath` names, and the list itself.
  void DeleteFileList(const std::wstring& listPath);

 protected:
  int m_langOffset = 0;  // added to the id of every localised resource
};

using COpenInCnv = PlacedCommand<COpenInCnv_I, Placement::kMenu>;
using COpenInCnv_CM = PlacedCommand<COpenInCnv_I, Placement::kContextMenu>;

}  // namespace vpdf
