#include "commands/open/open_in_pro.h"

#include "addon/resource.h"
#include "convutils/log.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\OpenPDF");

constexpr wchar_t kName[] = L"RPDFIManAddon.OpenInPro";  // the same for both classes
constexpr wchar_t kProductKey[] = L"Software\\Ostrel\\PDF\\V1";
constexpr int kClassicBitmap = 14640;
constexpr int kRibbonBitmap = 14650;

struct LogTexts {
  const char* entered;
  const char* language;
  const char* putName;
  const char* putMenuText;
  const char* putHelpText;
  const char* putBitmap;
  const char* keyOpened;
};

constexpr LogTexts kMenu = {"COpenInPro::COpenInPro()",       "COpenInPro::DetectUILanguage %d",
                            "COpenInPro::put_Name %S",        "COpenInPro::put_MenuText %S",
                            "COpenInPro::put_HelpText %S",    "COpenInPro::put_Bitmap ",
                            "COpenInPro SUCCESS key.Open"};
constexpr LogTexts kContextMenu = {
    "COpenInPro_CM::COpenInPro_CM()",    "COpenInPro_CM::DetectUILanguage %d",
    "COpenInPro_CM::put_Name %S",        "COpenInPro_CM::put_MenuText %S",
    "COpenInPro_CM::put_HelpText %S",    "COpenInPro_CM::put_Bitmap ",
    "COpenInPro_CM SUCCESS key.Open"};

}  // namespace

COpenInPro_I::COpenInPro_I(Placement placement) {
  const bool menu = placement == Placement::kMenu;
  const LogTexts& log = menu ? kMenu : kContextMenu;

  kLog.Trace(log.entered);
  m_langOffset = DetectUILanguage();
  kLog.Trace(log.language, m_langOffset);

  Bstr name(kName);
  put_Name(name.Get());
  kLog.Trace(log.putName, name.c_str());
  // The description string does not exist in any language: the property stays empty.
  put_DescriptionText(Bstr::Adopt(LoadResString(IDS_OPENINPRO_DESCRIPTION + m_langOffset)).Get());
  // The client's version is read once: the menu variant's accelerator and image depend on it.
  const bool ribbon = menu && IsRibbonClient();
  if (!ribbon) put_Accelerator(AcceleratorFor(L'P'));
  put_Status(kDisabled);

  Bstr menuText = Bstr::Adopt(LoadResString(IDS_OPENINPRO_MENU + m_langOffset));
  put_MenuText(menuText.Get());
  kLog.Trace(log.putMenuText, menuText.c_str());
  Bstr helpText = Bstr::Adopt(LoadResString(IDS_OPENINPRO_HELP + m_langOffset));
  put_HelpText(helpText.Get());
  kLog.Trace(log.putHelpText, helpText.c_str());

  // The classic image in the mail client's host and in a classic client (UseClassicImages);
  // the context-menu variant always has the classic image, scaled.
  const int bitmapId = !menu || IsOutlookHost() || !ribbon ? kClassicBitmap : kRibbonBitmap;
  m_hBitmap = LoadBITMAPFromIconDLL(bitmapId, !menu || ribbon);
  put_Bitmap(*Variant::Long(static_cast<LONG>(reinterpret_cast<LONG_PTR>(m_hBitmap))).Get());
  kLog.Trace(log.putBitmap);

  // The command kind tells whether the product is installed on this machine.
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    kLog.Trace(log.keyOpened);
    put_CommandKind(1);
  } else {
    put_CommandKind(0);
  }
}

COpenInPro_I::~COpenInPro_I() {
  if (m_hBitmap) DeleteObject(m_hBitmap);
}

}  // namespace vpdf
