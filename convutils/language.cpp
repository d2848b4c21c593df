#include "convutils/language.h"

#include "convutils/module.h"
#include "convutils/settings.h"
#include "outside/companions.h"

namespace vpdf {

int LanguageOffsetFor(int languageId) {
  switch (languageId) {
    case 0x040C: return kFrench;
    case 0x0407: return kGerman;
    case 0x0410: return kItalian;
    case 0x040A: return kSpanish;
    case 0x0413: return kDutch;
    case 0x0406: return kDanish;
    case 0x041D: return kSwedish;
    case 0x0416: return kPortugueseBrazil;
    case 0x040E: return kHungarian;
    default: return kEnglish;
  }
}

int InstalledComponentKind() {
  for (int kind : {2, 1}) {
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (GetProductInstallPath(path, size, kind)) return kind;
  }
  return 0;
}

int DetectUILanguage() {
  const int kind = InstalledComponentKind();
  return LanguageOffsetFor(outside::ConfigUILanguage(kind));
}

BSTR LoadResString(UINT id) {
  const wchar_t* text = nullptr;
  int length = LoadStringW(Module::Instance().Handle(), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(length));
}

}  // namespace vpdf
