#include "addon/client_registration.h"

#include <winspool.h>

#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "addon/open_commands.h"
#include "commands/identity.h"
#include "convutils/comutil.h"
#include "convutils/log.h"
#include "convutils/settings.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreatePDF");

struct BaseKey {
  const wchar_t* path;
  const char* found;
};
constexpr BaseKey kDesksite8 = {L"Software\\InterWoven\\WorkSite\\8.0\\Desksite",
                                "Desksite 8 or higher is found"};
constexpr BaseKey kClientDesksite = {L"Software\\InterWoven\\WorkSite\\Client\\Desksite",
                                     "Desksite 8 or higher is found"};
constexpr BaseKey kThinClient = {L"Software\\NetRight\\iThinClient", "Desksite 6.6 is found"};
constexpr BaseKey kRegistrationOrder[] = {kDesksite8, kClientDesksite, kThinClient};
constexpr BaseKey kUnregistrationOrder[] = {kClientDesksite, kDesksite8, kThinClient};

constexpr wchar_t kPrinterName[] = L"Varnel PDF";
constexpr wchar_t kAddIn[] = L"RPDFIManAddon";
constexpr wchar_t kMenuName[] = L"VarnelPDFMenu";
constexpr wchar_t kMenuText[] = L"&Ostrel PDF";
constexpr DWORD kMenuIndex = 7;
constexpr UINT kNewPdfMenuString = 322;  // "Create &New PDF"

constexpr wchar_t kNewPdfFile[] = L"RPDFIManAddon.CreateNewPDFFile";
constexpr wchar_t kNewPdfScan[] = L"RPDFIManAddon.CreateNewPDFScan";
constexpr wchar_t kCreatePdf[] = L"RPDFIManAddon.CreatePDF";
constexpr wchar_t kSendPdf[] = L"RPDFIManAddon.SendPDFEMail";
constexpr wchar_t kOpenInPro[] = L"RPDFIManAddon.OpenInPro";
constexpr wchar_t kOpenInCnv[] = L"RPDFIManAddon.OpenInCnv";

const BaseKey* FindBase(const BaseKey* begin, const BaseKey* end) {
  for (const BaseKey* base = begin; base != end; ++base) {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, base->path, KEY_READ) == ERROR_SUCCESS) return base;
  }
  return nullptr;
}

// Opens the key for reading and writing, or creates it so when it cannot be opened.
bool OpenOrCreate(const std::wstring& path, RegKey& key) {
  if (key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | KEY_WRITE) == ERROR_SUCCESS)
    return true;
  return key.Create(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ | KEY_WRITE) == ERROR_SUCCESS;
}

void SetString(const RegKey& key, const wchar_t* name, const std::wstring& text) {
  if (!key) return;
  RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void SetDword(const RegKey& key, const wchar_t* name, DWORD value) {
  if (!key) return;
  RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof value);
}

void Append(std::wstring& list, const wchar_t* name) {
  if (!list.empty()) list += L',';
  list += name;
}

// vpdfassist.exe in the product install folder of `kind`.
bool ConverterIn(int kind) {
  wchar_t folder[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!GetProductInstallPath(folder, size, kind)) return false;
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return IsExistingFile(path + L"vpdfassist.exe");
}

bool IsConverterInstalled() {
  if (IsNotStandAlone()) {
    kLog.Trace("Varnel Pro identified");
    if (!ConverterIn(2)) return false;
    kLog.Trace("Varnel Pro regkey is found");
    return true;
  }
  kLog.Trace("Varnel Pro is not identified");
  if (!ConverterIn(0)) return false;
  kLog.Trace("Varnel Create is found");
  return true;
}

// The localised sub-menu text: string 322 of the UI language.
std::wstring NewPdfMenuText() {
  return Bstr::Adopt(LoadResString(kNewPdfMenuString + static_cast<UINT>(DetectUILanguage())))
      .Str();
}

// Deletes `path` below `parent` depth first: each subkey is emptied and deleted before its
// parent.
LONG DeleteKeyDepthFirst(HKEY parent, const std::wstring& path) {
  RegKey key;
  LONG result = key.Open(parent, path.c_str(), KEY_READ | KEY_WRITE | DELETE);
  if (result != ERROR_SUCCESS) return result;
  for (;;) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    if (DeleteKeyDepthFirst(key.Get(), name) != ERROR_SUCCESS) break;
  }
  key.Close();
  return RegDeleteKeyW(parent, path.c_str());
}

}  // namespace

// The product's printer test was "the printer can be opened and a printer change notification
// can be obtained on it"; all it needs to know is whether a printer of that name exists. The print
// system's own list answers that: every printer that OpenPrinter opens by its name is a local
// printer or a printer connection, and EnumPrinters lists both. (Under Wine a printer that
// exists only as a spooler registry entry is listed but cannot be opened; the list is the
// answer that holds on both.)
bool IsCreatePrinterInstalled() {
  const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
  DWORD needed = 0, count = 0;
  EnumPrintersW(flags, nullptr, 4, nullptr, 0, &needed, &count);
  if (needed == 0) return false;
  std::vector<BYTE> buffer(needed);
  if (!EnumPrintersW(flags, nullptr, 4, buffer.data(), needed, &needed, &count)) return false;
  const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (printers[i].pPrinterName && _wcsicmp(printers[i].pPrinterName, kPrinterName) == 0)
      return true;
  return false;
}

std::wstring ClientBaseKey(bool forRegistration) {
  const BaseKey* base =
      forRegistration ? FindBase(std::begin(kRegistrationOrder), std::end(kRegistrationOrder))
                      : FindBase(std::begin(kUnregistrationOrder), std::end(kUnregistrationOrder));
  return base ? base->path : L"";
}

int RegisterHaldenAddonForIManage() {
  kLog.Trace("CreatePDF RegisterHaldenAddonForIManage enter");
  const bool converter = IsConverterInstalled();
  const bool editor = IsEditorInstalled();
  const bool printer = IsCreatePrinterInstalled();
  if (printer) kLog.Warning("Varnel Create is found");

  const BaseKey* base = FindBase(std::begin(kRegistrationOrder), std::end(kRegistrationOrder));
  if (!base) {
    kLog.Error("No compatible Desksite is found");
    return 0;
  }
  kLog.Trace(LogFormat(base->found));
  const std::wstring root = base->path;
  const std::wstring customize = root + L"\\Customize";
  const std::wstring integration = customize + L"\\Integration";

  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, customize.c_str(), KEY_READ) != ERROR_SUCCESS &&
      key.Create(HKEY_LOCAL_MACHINE, customize.c_str(), KEY_READ | KEY_WRITE) == ERROR_SUCCESS) {
    RegKey created;
    created.Create(HKEY_LOCAL_MACHINE, integration.c_str(), KEY_READ | KEY_WRITE);
  }
  key.Close();

  if (!printer && !editor && !converter) return 1;

  RegKey integrationKey;
  if (integrationKey.Open(HKEY_LOCAL_MACHINE, integration.c_str(), KEY_READ | KEY_WRITE) !=
      ERROR_SUCCESS)
    return 1;
  SetString(integrationKey, kAddIn, L"Y");
  integrationKey.Close();

  const std::wstring menus = customize + L"\\" + kAddIn + L"\\Menus";
  RegKey menusKey;
  OpenOrCreate(menus, menusKey);
  SetString(menusKey, L"AddInMenus", kMenuName);
  menusKey.Close();
  const std::wstring menu = menus + L"\\" + kMenuName;
  kLog.Trace("regStringSubKeys %S", menu.c_str());
  RegKey menuKey;
  OpenOrCreate(menu, menuKey);

  std::wstring commands;
  if (printer || editor) {
    if (!IsRibbonClient()) {
      kLog.Trace("!DSHasRibbon()");
      const std::wstring text = NewPdfMenuText();
      std::wstring subCommands;
      if (printer) Append(subCommands, kNewPdfFile);
      if (editor) Append(subCommands, kNewPdfScan);
      // Without its text the sub-menu would have no key name of its own.
      if (!text.empty()) {
        const std::wstring subMenu = menu + L"\\" + text;
        kLog.Trace("subNewPDFMenuKey %S", subMenu.c_str());
        RegKey subMenuKey;
        OpenOrCreate(subMenu, subMenuKey);
        kLog.Trace("MenuText %S", text.c_str());
        SetString(subMenuKey, L"MenuText", text);
        kLog.Trace("Commands %S", subCommands.c_str());
        SetString(subMenuKey, L"Commands", subCommands);
        Append(commands, text.c_str());
      } else {
        kLog.Error("the new PDF sub-menu text (string %d) is missing",
                   static_cast<int>(kNewPdfMenuString));
      }
      kLog.Trace("strCommandsNames %S", commands.c_str());
    } else {
      kLog.Trace("Ribbon()");
      if (printer) {
        kLog.Trace("add IMAN_NEWPDF_FILE_COMMAND_NAME");
        Append(commands, kNewPdfFile);
      }
      if (editor) {
        kLog.Trace("add IMAN_NEWPDF_SCAN_COMMAND_NAME");
        Append(commands, kNewPdfScan);
      }
    }
  }
  if (printer) {
    kLog.Trace("add IMAN_SENDPDF_COMMAND_NAME and IMAN_NEWPDF_SCAN_COMMAND_NAME");
    Append(commands, kCreatePdf);
    Append(commands, kSendPdf);
  }
  if (editor) {
    kLog.Trace("add IMAN_OPEN_PRO_COMMAND_NAME");
    Append(commands, kOpenInPro);
  }
  if (converter) {
    kLog.Trace("add IMAN_OPENINCNV_COMMAND_NAME");
    Append(commands, kOpenInCnv);
  }
  kLog.Trace("strCommandsNames %S", commands.c_str());
  SetString(menuKey, L"Commands", commands);
  SetDword(menuKey, L"Index", kMenuIndex);
  SetString(menuKey, L"MenuText", kMenuText);
  menuKey.Close();

  if (printer) {
    kLog.Trace("bCreatePrinterIsInstalled");
    const std::wstring toolbar = customize + L"\\" + kAddIn + L"\\Toolbars\\VarnelPDFToolbar";
    RegKey toolbarKey;
    OpenOrCreate(toolbar, toolbarKey);
    SetDword(toolbarKey, L"Index", 1);
    struct Item {
      const wchar_t* key;
      const wchar_t* command;
      DWORD index;
    };
    for (const Item& item : {Item{L"Item1", kCreatePdf, 1}, Item{L"Item2", kSendPdf, 2}}) {
      RegKey itemKey;
      OpenOrCreate(toolbar + L"\\" + item.key, itemKey);
      SetString(itemKey, L"Command", item.command);
      SetDword(itemKey, L"Index", item.index);
      SetDword(itemKey, L"ID", 0);
    }
  }
  return 1;
}

int UnregisterHaldenAddonForIManage() {
  const BaseKey* base = FindBase(std::begin(kUnregistrationOrder), std::end(kUnregistrationOrder));
  if (!base) return 0;
  const std::wstring customize = std::wstring(base->path) + L"\\Customize";
  RegKey integration;
  if (integration.Open(HKEY_LOCAL_MACHINE, (customize + L"\\Integration").c_str(),
                       KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
    return 0;
  RegDeleteValueW(integration.Get(), kAddIn);
  integration.Close();
  DeleteKeyDepthFirst(HKEY_LOCAL_MACHINE, customize + L"\\" + kAddIn);
  return 1;
}

}  // namespace vpdf
