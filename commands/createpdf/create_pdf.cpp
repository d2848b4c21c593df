#include "commands/createpdf/create_pdf.h"

#include "convutils/resource.h"
#include "commands/command_identity.h"
#include "convutils/log.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreatePDF");


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
  const Identity& id = placement == Placement::kMenu ? kMenu : kContextMenu;

  kLog.Trace(id.entered);
  m_langOffset = Environment().langOffset;
  kLog.Trace(id.language, m_langOffset);

  const CommandIdentity identity = {id.name, L"List the documents which are selected.", 0, L'C',
                                    true, IDS_CREATEPDF_MENU, IDS_CREATEPDF_HELP, 14560, 14570};
  put_Bitmap(*m_images.Keep(ApplyIdentity(*this, placement, Environment(), identity,
                                          {&kLog, id.putName, id.putMenuText, id.putHelpText}))
                  .Get());
  kLog.Trace(id.putBitmap);

  put_LargeBitmap(*m_images.Keep(CopyOfCachedImage(id.largeBitmap, true, true)).Get());
  kLog.Trace(id.putLargeBitmap);
  put_SmallIcon(*m_images.Keep(CopyOfCachedImage(id.smallIcon, true, true)).Get());
  kLog.Trace(id.putSmallIcon);
  put_LargeIcon(*m_images.Keep(CopyOfCachedImage(id.largeIcon, true, true)).Get());
  kLog.Trace(id.putLargeIcon);
}

}  // namespace vpdf
