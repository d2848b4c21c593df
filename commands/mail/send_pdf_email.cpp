#include "commands/mail/send_pdf_email.h"

#include "convutils/resource.h"
#include "commands/command_identity.h"
#include "convutils/log.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\SendPDFEMail");

// Both classes carry the same name.
constexpr CommandIdentity kIdentity = {L"RPDFIManAddon.SendPDFEMail",
                                       L"List the documents which are selected.",
                                       0,
                                       L'S',
                                       true,
                                       IDS_SENDPDFEMAIL_MENU,
                                       IDS_SENDPDFEMAIL_HELP,
                                       14620,
                                       14630};

struct LogTexts {
  const char* entered;
  const char* language;
  const char* putName;
  const char* putMenuText;
  const char* putHelpText;
  const char* putBitmap;
};

constexpr LogTexts kMenu = {"CSendPDFEMail::CSendPDFEMail()", "CSendPDFEMail::DetectUILanguage %d",
                            "CSendPDFEMail::put_Name %S", "CSendPDFEMail::put_MenuText %S",
                            "CSendPDFEMail::put_HelpText %S", "CSendPDFEMail::put_Bitmap "};
constexpr LogTexts kContextMenu = {
    "CSendPDFEMail_CM::CSendPDFEMail_CM()", "CSendPDFEMail_CM::DetectUILanguage %d",
    "CSendPDFEMail_CM::put_Name %S", "CSendPDFEMail_CM::put_MenuText %S",
    "CSendPDFEMail_CM::put_HelpText %S", "CSendPDFEMail_CM::put_Bitmap "};

}  // namespace

CSendPDFEMail_I::CSendPDFEMail_I(Placement placement) {
  const LogTexts& log = placement == Placement::kMenu ? kMenu : kContextMenu;

  kLog.Trace(log.entered);
  m_langOffset = Environment().langOffset;
  kLog.Trace(log.language, m_langOffset);

  put_Bitmap(*m_images.Keep(ApplyIdentity(*this, placement, Environment(), kIdentity,
                                          {&kLog, log.putName, log.putMenuText, log.putHelpText}))
                  .Get());
  kLog.Trace(log.putBitmap);
}

}  // namespace vpdf
