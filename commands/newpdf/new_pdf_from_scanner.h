#pragma once
#include "commands/command_impl.h"
#include "commands/identity.h"

namespace vpdf {

class CCreateNewPDFFromScanner_I : public ICommandImpl {
 public:
  explicit CCreateNewPDFFromScanner_I(Placement placement);

 protected:
  int m_langOffset = 0;  // added to the id of every localised resource

 private:
  CommandImages m_images;  // the images handed to the client
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
