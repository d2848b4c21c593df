#pragma once
#include "commands/command_impl.h"

namespace vpdf {

class COpenInCnv_I : public ICommandImpl {
 public:
  explicit COpenInCnv_I(Placement placement);
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
