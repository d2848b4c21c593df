#pragma once
#include <string>

#include "commands/command_impl.h"
#include "commands/identity.h"

namespace vpdf {

class COpenInCnv_I : public ICommandImpl {
 public:
  explicit COpenInCnv_I(Placement placement);

  // Enabled only for a non-empty selection of PDF, XPS and OXPS documents.
  STDMETHODIMP Update() override;
  // Copies the selected documents to the temporary folder, lists them in a file list and
  // starts the conversion tool on the list, which then owns the list and the copies.
  STDMETHODIMP Execute() override;

  // Starts the conversion tool on the list file at `listPath`, without waiting for it: true
  // when it started.
  bool LaunchConversionTool(const std::wstring& listPath);
  // Deletes the copies that the list file at `listPath` names, and the list itself.
  void DeleteFileList(const std::wstring& listPath);

 protected:
  int m_langOffset = 0;  // added to the id of every localised resource
  HBITMAP m_hBitmap = nullptr;  // the Bitmap image, owned by m_images

 private:
  CommandImages m_images;  // the images handed to the client
};

class COpenInCnv : public COpenInCnv_I {
 public:
  COpenInCnv() : COpenInCnv_I(Placement::kMenu) {}
};

class COpenInCnv_CM : public COpenInCnv_I {
 public:
  COpenInCnv_CM() : COpenInCnv_I(Placement::kContextMenu) {}
};

}  // namespace vpdf
