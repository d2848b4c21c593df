#pragma once
#include "commands/command_impl.h"
#include "commands/identity.h"

namespace vpdf {

class CSendPDFEMail_I : public ICommandImpl {
 public:
  explicit CSendPDFEMail_I(Placement placement);

  // Enabled only for a non-empty selection in which no document is a PDF or an e-mail
  // message.
  STDMETHODIMP Update() override;
  // Converts every selected document to PDF, writes its history entry, mails the PDFs in
  // batches through the mail agent and deletes them again.
  STDMETHODIMP Execute() override;

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
