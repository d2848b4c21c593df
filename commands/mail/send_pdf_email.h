#pragma once
#include "commands/command_impl.h"
#include "commands/identity.h"

namespace vpdf {

class CSendPDFEMail_I : public ICommandImpl {
 public:
  explicit CSendPDFEMail_I(Placement placement);

 protected:
  int m_langOffset = 0;  // added to the id of every localised resource

 private:
  CommandImages m_images;  // the images handed to the client
};

class CSendPDFEMail : public CSendPDFEMail_I {
 public:
  CSendPDFEMail() : CSendPDFEMail_I(Placement::kMenu) {}
};

class CSendPDFEMail_CM : public CSendPDFEMail_I {
 public:
  CSendPDFEMail_CM() : CSendPDFEMail_I(Placement::kContextMenu) {}
};

}  // namespace vpdf
