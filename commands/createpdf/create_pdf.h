#pragma once
#include "commands/command_impl.h"

namespace vpdf {

class CCreatePDF_I : public ICommandImpl {
 public:
  explicit CCreatePDF_I(Placement placement);
};

class CCreatePDF : public CCreatePDF_I {
 public:
  CCreatePDF() : CCreatePDF_I(Placement::kMenu) {}
};

class CCreatePDF_CM : public CCreatePDF_I {
 public:
  CCreatePDF_CM() : CCreatePDF_I(Placement::kContextMenu) {}
};

}  // namespace vpdf
