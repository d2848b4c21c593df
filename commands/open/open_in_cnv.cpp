#include "commands/open/open_in_cnv.h"

#include "addon/resource.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

constexpr int kClassicBitmap = 14600;
constexpr int kRibbonBitmap = 14610;

}  // namespace

// Logs nothing.
COpenInCnv_I::COpenInCnv_I(Placement placement) {
  const bool menu = placement == Placement::kMenu;

  m_langOffset = DetectUILanguage();
  put_Name(Bstr(menu ? L"RPDFIManAddon.OpenInCnv" : L"RPDFIManAddon.OpenInCnv_CM").Get());
  // The description string does not exist in any language: the property stays empty.
  put_DescriptionText(Bstr::Adopt(LoadResString(IDS_OPENINCNV_DESCRIPTION + m_langOffset)).Get());
  // The client's version is read once: the menu variant's accelerator and image depend on it.
  const bool ribbon = menu && IsRibbonClient();
  if (!ribbon) put_Accelerator(AcceleratorFor(L'W'));
  put_CommandKind(1);
  put_Status(kDisabled);

  put_MenuText(Bstr::Adopt(LoadResString(IDS_OPENINCNV_MENU + m_langOffset)).Get());
  put_HelpText(Bstr::Adopt(LoadResString(IDS_OPENINCNV_HELP + m_langOffset)).Get());

  // The classic image in the mail client's host and in a classic client (UseClassicImages);
  // the context-menu variant always has the classic image, scaled.
  const int bitmapId = !menu || IsOutlookHost() || !ribbon ? kClassicBitmap : kRibbonBitmap;
  m_hBitmap = LoadBITMAPFromIconDLL(bitmapId, !menu || ribbon);
  put_Bitmap(*m_images.Keep(m_hBitmap).Get());
}

}  // namespace vpdf
