#include "commands/open/open_in_pro.h"

#include "addon/resource.h"
#include "commands/command_identity.h"
#include "convutils/log.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\OpenPDF");

constexpr wchar_t kProductKey[] = L"Software\\Ostrel\\PDF\\V1";
// Both classes carry the same name; the description string exists in no language, so the
// property stays empty; the kind follows the product key below.
constexpr CommandIdentity kIdentity = {L"RPDFIManAddon.OpenInPro", nullptr,
                                       IDS_OPENINPRO_DESCRIPTION, L'P', false,
                                       IDS_OPENINPRO_MENU, IDS_OPENINPRO_HELP, 14640, 14650};

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
  const LogTexts& log = placement == Placement::kMenu ? kMenu : kContextMenu;

  kLog.Trace(log.entered);
  m_langOffset = DetectUILanguage();
  kLog.Trace(log.language, m_langOffset);

  m_hBitmap = ApplyIdentity(*this, placement, m_langOffset, kIdentity,
                            {&kLog, log.putName, log.putMenuText, log.putHelpText});
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
