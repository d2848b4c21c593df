#pragma once
#include "commands/command_impl.h"
#include "commands/identity.h"

namespace vpdf {

class COpenInPro_I : public ICommandImpl {
 public:
  explicit COpenInPro_I(Placement placement);
  ~COpenInPro_I() override;

 protected:
  int m_langOffset = 0;  // added to the id of every localised resource
  HBITMAP m_hBitmap = nullptr;  // the Bitmap image handed to the client; deleted with the command
};

class COpenInPro : public COpenInPro_I {
 public:
  COpenInPro() : COpenInPro_I(Placement::kMenu) {}
};

class COpenInPro_CM : public COpenInPro_I {
 public:
  COpenInPro_CM() : COpenInPro_I(Placement::kContextMenu) {}
};

}  // namespace vpdf
