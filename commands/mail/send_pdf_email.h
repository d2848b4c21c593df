#pragma once
#include "commands/command_impl.h"

namespace vpdf {

class CSendPDFEMail_I : public ICommandImpl {
 public:
  explicit CSendPDFEMail_I(Placement placement);
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
