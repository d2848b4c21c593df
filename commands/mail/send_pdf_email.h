#pragma once
#include "commands/command_impl.h"

namespace vpdf {

class CSendPDFEMail_I : public ICommandImpl {
 public:
  explicit CSendPDFEMail_I(Placement placement)
      : m_langOffset(TakeIdentity(CommandFamily::kSendPDFEMail, placement)) {}

  // Enabled only for a non-empty selection in which no document is a PDF or an e-mail
  // message.
  HRESULT OnUpdate() override;
  // Converts every selected document to PDF, writes its history entry, mails the PDFs in
  // batches through the mail agent and deletes them again.
  HRESULT OnExecute() override;

 protected:
  int m_langOffset = 0;  // added to the id of every localised resource
};

using CSendPDFEMail = PlacedCommand<CSendPDFEMail_I, Placement::kMenu>;
using CSendPDFEMail_CM = PlacedCommand<CSendPDFEMail_I, Placement::kContextMenu>;

}  // namespace vpdf
