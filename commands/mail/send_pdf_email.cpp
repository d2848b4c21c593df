#include "commands/mail/send_pdf_email.h"

namespace vpdf {

CSendPDFEMail_I::CSendPDFEMail_I(Placement placement) {
  put_Name(Bstr(placement == Placement::kMenu ? L"RPDFIManAddon.SendPDFEMail" : L"RPDFIManAddon.SendPDFEMail").Get());
}

}  // namespace vpdf
