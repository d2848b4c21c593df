#pragma once
#include "commands/command_impl.h"
#include "commands/identity.h"

namespace vpdf {

class CCreateNewPDFFromFile_I : public ICommandImpl {
 public:
  explicit CCreateNewPDFFromFile_I(Placement placement);

 protected:
  int m_langOffset = 0;  // added to the id of every localised resource

 private:
  CommandImages m_images;  // the images handed to the client
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
