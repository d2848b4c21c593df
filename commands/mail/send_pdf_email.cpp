#include "commands/mail/send_pdf_email.h"

#include "addon/resource.h"
#include "convutils/log.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\SendPDFEMail");

constexpr wchar_t kName[] = L"RPDFIManAddon.SendPDFEMail";  // the same for both classes
constexpr wchar_t kDescription[] = L"List the documents which are selected.";
constexpr int kClassicBitmap = 14620;
constexpr int kRibbonBitmap = 14630;

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
  const bool menu = placement == Placement::kMenu;
  const LogTexts& log = menu ? kMenu : kContextMenu;

  kLog.Trace(log.entered);
  m_langOffset = DetectUILanguage();
  kLog.Trace(log.language, m_langOffset);

  Bstr name(kName);
  put_Name(name.Get());
  kLog.Trace(log.putName, name.c_str());
  put_DescriptionText(Bstr(kDescription).Get());
  // The client's version is read once: the menu variant's accelerator and image depend on it.
  const bool ribbon = menu && IsRibbonClient();
  if (!ribbon) put_Accelerator(AcceleratorFor(L'S'));
  put_CommandKind(1);
  put_Status(kDisabled);

  Bstr menuText = Bstr::Adopt(LoadResString(IDS_SENDPDFEMAIL_MENU + m_langOffset));
  put_MenuText(menuText.Get());
  kLog.Trace(log.putMenuText, menuText.c_str());
  Bstr helpText = Bstr::Adopt(LoadResString(IDS_SENDPDFEMAIL_HELP + m_langOffset));
  put_HelpText(helpText.Get());
  kLog.Trace(log.putHelpText, helpText.c_str());

  // The classic image in the mail client's host and in a classic client (UseClassicImages);
  // the context-menu variant always has the classic image, scaled.
  const int bitmapId = !menu || IsOutlookHost() || !ribbon ? kClassicBitmap : kRibbonBitmap;
  HBITMAP bitmap = LoadBITMAPFromIconDLL(bitmapId, !menu || ribbon);
  put_Bitmap(*m_images.Keep(bitmap).Get());
  kLog.Trace(log.putBitmap);
}

}  // namespace vpdf
