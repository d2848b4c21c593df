#pragma once
#include "commands/command_impl.h"
#include "commands/identity.h"

namespace vpdf {

class CCreatePDF_I : public ICommandImpl {
 public:
  explicit CCreatePDF_I(Placement placement);

 protected:
  int m_langOffset = 0;  // added to the id of every localised resource

 private:
  CommandImages m_images;  // the images handed to the client
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
