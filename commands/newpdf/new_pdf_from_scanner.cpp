#include "commands/newpdf/new_pdf_from_scanner.h"

#include "addon/resource.h"
#include "convutils/log.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreateNewPDF");

constexpr wchar_t kDescription[] = L"List the documents which are selected.";
constexpr int kClassicBitmap = 14580;
constexpr int kRibbonBitmap = 14590;

}  // namespace

CCreateNewPDFFromScanner_I::CCreateNewPDFFromScanner_I(Placement placement) {
  const bool menu = placement == Placement::kMenu;

  m_langOffset = DetectUILanguage();
  kLog.Trace(menu ? "CCreateNewPDFFromScanner::CCreateNewPDFFromScanner m_langOffset : %d"
                  : "CCreateNewPDFFromScanner_CM::CCreateNewPDFFromScanner_CM m_langOffset : %d",
             m_langOffset);

  Bstr name(menu ? L"RPDFIManAddon.CreateNewPDFScan" : L"RPDFIManAddon.CreateNewPDFScan_CM");
  put_Name(name.Get());
  kLog.Trace("put_Name : %S m_langOffset : %d ", name.c_str(), m_langOffset);
  put_DescriptionText(Bstr(kDescription).Get());
  // The client's version is read once: the menu variant's accelerator and image depend on it.
  const bool ribbon = menu && IsRibbonClient();
  if (!ribbon) put_Accelerator(AcceleratorFor(L'A'));
  put_CommandKind(1);
  put_Status(kDisabled);

  Bstr menuText = Bstr::Adopt(LoadResString(IDS_NEWPDF_SCAN_MENU + m_langOffset));
  put_MenuText(menuText.Get());
  kLog.Trace("bstrMenuText : %S  ", menuText.c_str());
  Bstr helpText = Bstr::Adopt(LoadResString(IDS_NEWPDF_SCAN_HELP + m_langOffset));
  put_HelpText(helpText.Get());
  kLog.Trace("put_HelpText : %S  ", helpText.c_str());

  // The classic image in the mail client's host and in a classic client (UseClassicImages);
  // the context-menu variant always has the classic image, scaled.
  const int bitmapId = !menu || IsOutlookHost() || !ribbon ? kClassicBitmap : kRibbonBitmap;
  HBITMAP bitmap = LoadBITMAPFromIconDLL(bitmapId, !menu || ribbon);
  put_Bitmap(*m_images.Keep(bitmap).Get());
}

}  // namespace vpdf
