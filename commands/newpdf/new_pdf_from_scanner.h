#pragma once
#include "commands/command_impl.h"

namespace vpdf {

class CCreateNewPDFFromScanner_I : public ICommandImpl {
 public:
  explicit CCreateNewPDFFromScanner_I(Placement placement);
};

class CCreateNewPDFFromScanner : public CCreateNewPDFFromScanner_I {
 public:
  CCreateNewPDFFromScanner() : CCreateNewPDFFromScanner_I(Placement::kMenu) {}
};

class CCreateNewPDFFromScanner_CM : public CCreateNewPDFFromScanner_I {
 public:
  CCreateNewPDFFromScanner_CM() : CCreateNewPDFFromScanner_I(Placement::kContextMenu) {}
};

}  // namespace vpdf
