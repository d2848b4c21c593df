#include "ui/message_box.h"

#include <string>

#include "convutils/language.h"
#include "convutils/log.h"
#include "convutils/module.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

// The application title string of the platform's dialog framework.
constexpr UINT kAppTitleString = 0xE000;

// The product's UI language for the installed component, as DetectUILanguage chooses it.
int ProductUILanguage() { return GetProductUILanguage(InstalledComponentKind()); }

constexpr LogSource kLog("PDFConverter\\VPDFiManageAddon_UI\\MessageBox");

int g_errorBoxes = 0;  // UI thread only

}  // namespace

UINT MessageBoxStyle(UINT style) {
  if (ProductUILanguage() == kArabicLanguageId) style |= MB_RIGHT | MB_RTLREADING;
  return style;
}

const wchar_t* MessageBoxCaption(const wchar_t* caption) {
  if (caption && *caption) return caption;
  static const std::wstring appName = [] {
    wchar_t text[256];
    int length = LoadStringW(Module::Instance().Handle(), kAppTitleString, text,
                             static_cast<int>(sizeof text / sizeof text[0]));
    return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
  }();
  return appName.empty() ? kDefaultMessageBoxCaption : appName.c_str();
}

int VPDFMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style) {
  if (!text || !*text) {
    kLog.Error("A message box without text is not shown");
    return 0;
  }
  if ((style & MB_ICONMASK) == MB_ICONERROR) ++g_errorBoxes;
  return MessageBoxW(owner, text, MessageBoxCaption(caption), MessageBoxStyle(style));
}

int ErrorBoxesShown() { return g_errorBoxes; }
void CountErrorBoxShown() { ++g_errorBoxes; }

}  // namespace vpdf
