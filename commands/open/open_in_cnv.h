#pragma once
#include "commands/command_impl.h"
#include "commands/identity.h"

namespace vpdf {

class COpenInCnv_I : public ICommandImpl {
 public:
  explicit COpenInCnv_I(Placement placement);

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
