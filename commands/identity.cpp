#include "commands/identity.h"

#include <cwchar>

#include "convutils/settings.h"


namespace vpdf {

bool IsRibbonClient() {
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, L"Software\\InterWoven", KEY_READ) != ERROR_SUCCESS) return false;
  wchar_t version[33] = {};
  DWORD bytes = 32 * sizeof(wchar_t);
  DWORD type = 0;
  LONG result = RegQueryValueExW(key.Get(), L"DeskSite Version", nullptr, &type,
                                 reinterpret_cast<BYTE*>(version), &bytes);
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

std::shared_ptr<const CommandEnvironment> SharedCommandEnvironment() {
  static std::weak_ptr<const CommandEnvironment> current;  // the client's UI thread only
  if (auto shared = current.lock()) return shared;
  static const bool outlookHost = IsOutlookHost();
  RegKey product;
  auto shared = std::make_shared<const CommandEnvironment>(CommandEnvironment{
      DetectUILanguage(), IsRibbonClient(), outlookHost,
      product.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_READ) == ERROR_SUCCESS});
  current = shared;
  return shared;
}

bool UseClassicImages() { return IsOutlookHost() || !IsRibbonClient(); }

Variant CommandImages::Keep(HBITMAP bitmap) {
  if (bitmap) m_bitmaps.emplace_back(bitmap);
  // GDI handles fit in 32 bits (they are sign-extended on 64-bit Windows).
  return Variant::Long(static_cast<LONG>(reinterpret_cast<LONG_PTR>(bitmap)));
}

}  // namespace vpdf
