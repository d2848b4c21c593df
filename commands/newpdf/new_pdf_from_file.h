#pragma once
#include "commands/command_impl.h"

namespace vpdf {

class CCreateNewPDFFromFile_I : public ICommandImpl {
 public:
  explicit CCreateNewPDFFromFile_I(Placement placement);
};

class CCreateNewPDFFromFile : public CCreateNewPDFFromFile_I {
 public:
  CCreateNewPDFFromFile() : CCreateNewPDFFromFile_I(Placement::kMenu) {}
};

class CCreateNewPDFFromFile_CM : public CCreateNewPDFFromFile_I {
 public:
  CCreateNewPDFFromFile_CM() : CCreateNewPDFFromFile_I(Placement::kContextMenu) {}
};

}  // namespace vpdf
