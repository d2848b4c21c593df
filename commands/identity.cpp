#include "commands/identity.h"

#include <cwchar>

#include "addon/module.h"
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

bool IsRibbonClient() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\InterWoven", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  wchar_t version[33] = {};
  DWORD bytes = 32 * sizeof(wchar_t);
  DWORD type = 0;
  LONG result = RegQueryValueExW(key, L"DeskSite Version", nullptr, &type,
                                 reinterpret_cast<BYTE*>(version), &bytes);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  version[32] = L'\0';
  return std::wcstod(version, nullptr) >= 92.0;
}

bool IsOutlookHost() {
  wchar_t path[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0) return false;
  path[length < MAX_PATH ? length : MAX_PATH] = L'\0';
  CharUpperBuffW(path, static_cast<DWORD>(std::wcslen(path)));
  return std::wcsstr(path, L"\\OUTLOOK") != nullptr;
}

bool UseClassicImages() { return IsOutlookHost() || !IsRibbonClient(); }

BSTR LoadResString(UINT id) {
  const wchar_t* text = nullptr;
  int length = LoadStringW(Module::Instance().Handle(), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(length));
}

CommandImages::~CommandImages() {
  for (HBITMAP bitmap : m_bitmaps) DeleteObject(bitmap);
}

Variant CommandImages::Keep(HBITMAP bitmap) {
  if (bitmap) m_bitmaps.push_back(bitmap);
  // GDI handles fit in 32 bits (they are sign-extended on 64-bit Windows).
  return Variant::Long(static_cast<LONG>(reinterpret_cast<LONG_PTR>(bitmap)));
}

}  // namespace vpdf
