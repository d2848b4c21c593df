#include "commands/createpdf/create_pdf.h"

#include "addon/resource.h"
#include "convutils/log.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreatePDF");

constexpr wchar_t kDescription[] = L"List the documents which are selected.";
constexpr int kClassicBitmap = 14560;
constexpr int kRibbonBitmap = 14570;

// What the two classes differ in: name, log texts and PNG images.
struct Identity {
  const wchar_t* name;
  const char* entered;
  const char* language;
  const char* putName;
  const char* putMenuText;
  const char* putHelpText;
  const char* putBitmap;
  const char* putLargeBitmap;
  const char* putSmallIcon;
  const char* putLargeIcon;
  int largeBitmap, smallIcon, largeIcon;
};

constexpr Identity kMenu = {
    L"RPDFIManAddon.CreatePDF", "CCreatePDF::CCreatePDF()", "CCreatePDF::DetectUILanguage %d",
    "CCreatePDF::put_Name %S", "CCreatePDF::put_MenuText %S", "CCreatePDF::put_HelpText %S",
    "CCreatePDF::put_Bitmap ", "CCreatePDF::put_LargeBitmap ", "CCreatePDF::put_SmallIcon ",
    "CCreatePDF::put_LargeIcon ", 12761, 14111, 12761};

constexpr Identity kContextMenu = {
    L"RPDFIManAddon.CreatePDF_CM", "CCreatePDF_CM::CCreatePDF_CM()",
    "CCreatePDF_CM::DetectUILanguage %d", "CCreatePDF_CM::put_Name %S",
    "CCreatePDF_CM::put_MenuText %S", "CCreatePDF_CM::put_HelpText %S",
    "CCreatePDF_CM::put_Bitmap ", "CCreatePDF_CM::put_LargeBitmap ",
    "CCreatePDF_CM::put_SmallIcon ", "CCreatePDF_CM::put_LargeIcon ", 14111, 14111, 14111};

}  // namespace

CCreatePDF_I::CCreatePDF_I(Placement placement) {
  const bool menu = placement == Placement::kMenu;
  const Identity& id = menu ? kMenu : kContextMenu;

  kLog.Trace(id.entered);
  m_langOffset = DetectUILanguage();
  kLog.Trace(id.language, m_langOffset);

  Bstr name(id.name);
  put_Name(name.Get());
  kLog.Trace(id.putName, name.c_str());
  put_DescriptionText(Bstr(kDescription).Get());
  // The client's version is read once: the menu variant's accelerator and image depend on it.
  const bool ribbon = menu && IsRibbonClient();
  if (!ribbon) put_Accelerator(AcceleratorFor(L'C'));
  put_CommandKind(1);
  put_Status(kDisabled);

  Bstr menuText = Bstr::Adopt(LoadResString(IDS_CREATEPDF_MENU + m_langOffset));
  put_MenuText(menuText.Get());
  kLog.Trace(id.putMenuText, menuText.c_str());
  Bstr helpText = Bstr::Adopt(LoadResString(IDS_CREATEPDF_HELP + m_langOffset));
  put_HelpText(helpText.Get());
  kLog.Trace(id.putHelpText, helpText.c_str());

  // The classic image in the mail client's host and in a classic client (UseClassicImages);
  // the context-menu variant always has the classic image, scaled.
  const int bitmapId = !menu || IsOutlookHost() || !ribbon ? kClassicBitmap : kRibbonBitmap;
  HBITMAP bitmap = LoadBITMAPFromIconDLL(bitmapId, !menu || ribbon);
  put_Bitmap(*m_images.Keep(bitmap).Get());
  kLog.Trace(id.putBitmap);

  GdiplusUser gdiplus;  // started once for the three images
  put_LargeBitmap(*m_images.Keep(LoadPNGFromIconDLL(id.largeBitmap, true)).Get());
  kLog.Trace(id.putLargeBitmap);
  put_SmallIcon(*m_images.Keep(LoadPNGFromIconDLL(id.smallIcon, true)).Get());
  kLog.Trace(id.putSmallIcon);
  put_LargeIcon(*m_images.Keep(LoadPNGFromIconDLL(id.largeIcon, true)).Get());
  kLog.Trace(id.putLargeIcon);
}

}  // namespace vpdf
