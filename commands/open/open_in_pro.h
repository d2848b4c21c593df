#pragma once
#include "commands/command_impl.h"

namespace vpdf {

class COpenInPro_I : public ICommandImpl {
 public:
  explicit COpenInPro_I(Placement placement);
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
