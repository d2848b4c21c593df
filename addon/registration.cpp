#include "addon/registration.h"

#include <oleauto.h>

#include <string>

#include "addon/client_registration.h"
#include "convutils/module.h"
#include "addon/object_map.h"
#include "addon/open_commands.h"
#include "addon/registrar.h"
#include "addon/repair_interfaces.h"
#include "convutils/comutil.h"
#include "convutils/log.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\VPDFIManageAddon");

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(Module::Instance().Handle(), path, MAX_PATH);
  return path;
}

const GUID& LibraryId() {
  const GUID& id = Module::Instance().TypeLibId();
  return id == GUID_NULL ? LIBID_VPDFIMANAGEADDONLib : id;
}

std::wstring GuidText(const GUID& id) {
  wchar_t text[64] = {};
  StringFromGUID2(id, text, 64);
  return text;
}

HRESULT RunScripts(bool doRegister) {
  const ScriptReplacements replacements = {{L"MODULE", ModulePath()}};
  for (const ObjectMapEntry& entry : ObjectMap()) {
    HRESULT hr =
        RunRegistryScript(Module::Instance().Handle(), entry.script, doRegister, replacements);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// Whether the library's 1.0 entry is in the registry at all.
bool TypeLibRegistered() {
  RegKey key;
  return key.Open(HKEY_CLASSES_ROOT, (L"TypeLib\\" + GuidText(LibraryId()) + L"\\1.0").c_str(),
                  KEY_READ) == ERROR_SUCCESS;
}

}  // namespace

HRESULT RegisterServer() {
  HRESULT hr = RunScripts(true);
  if (FAILED(hr)) return hr;
  std::wstring path = ModulePath();
  ComPtr<ITypeLib> library;
  hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Put());
  if (FAILED(hr)) return hr;
  std::wstring helpDir = path.substr(0, path.find_last_of(L'\\'));
  return RegisterTypeLib(library.Get(), path.data(), helpDir.data());
}

HRESULT UnregisterServer() {
  HRESULT hr = RunScripts(false);
  if (FAILED(hr)) return hr;
  // Windows answers TYPE_E_REGISTRYACCESS for a library whose entries are not there; Wine
  // answers E_INVALIDARG. Asked first, the answer is the same on both.
  if (!TypeLibRegistered()) return TYPE_E_REGISTRYACCESS;
  return UnRegisterTypeLib(LibraryId(), 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
}

HRESULT RegisterAll() {
  kLog.Trace("DllRegisterServer enter");
  RepairIManageInterfaces();
  kLog.Trace("Call RegisterOpenCommand()");
  RegisterOpenCommands();
  kLog.Trace("Call RegisterHaldenAddonForIManage()");
  RegisterHaldenAddonForIManage();
  kLog.Trace("DllRegisterServer exit");
  HRESULT hr = RegisterServer();
  if (FAILED(hr)) kLog.Error("RegisterServer faild 0x%08X", static_cast<unsigned>(hr));
  return hr;
}

HRESULT UnregisterAll() {
  kLog.Trace("DllUnregisterServer enter");
  kLog.Trace("RepairIManageInterfaces ");
  RepairIManageInterfaces();
  kLog.Trace("after RepairIManageInterfaces ");
  UnRegisterOpenCommands();
  UnregisterHaldenAddonForIManage();
  kLog.Trace("_Module.UnregisterServer");
  HRESULT hr = UnregisterServer();
  if (hr == TYPE_E_REGISTRYACCESS) hr = S_OK;
  kLog.Trace("DllUnregisterServer exit %d", static_cast<int>(hr));
  return hr;
}

std::vector<RegistrationEntry> RegistrationEntries() {
  std::vector<RegistrationEntry> entries;
  auto add = [&entries](HKEY root, const wchar_t* rootName, std::wstring path, std::wstring value,
                        const wchar_t* kind) {
    entries.push_back({root, rootName, std::move(path), std::move(value), kind});
  };
  for (const ObjectMapEntry& entry : ObjectMap()) {
    const std::wstring progId = entry.progId;
    add(HKEY_CLASSES_ROOT, L"HKCR", progId + L".1", L"", L"class");
    add(HKEY_CLASSES_ROOT, L"HKCR", progId, L"", L"class");
    add(HKEY_CLASSES_ROOT, L"HKCR", L"CLSID\\" + GuidText(entry.clsid), L"", L"class");
  }
  add(HKEY_CLASSES_ROOT, L"HKCR", L"TypeLib\\" + GuidText(LibraryId()), L"", L"type library");
  for (const wchar_t* view : {L"Interface\\", L"Wow6432Node\\Interface\\"})
    for (const wchar_t* iid :
         {L"{62F8CCF1-3C71-11D2-8B38-00A0C970A730}", L"{62F8CCF3-3C71-11D2-8B38-00A0C970A730}",
          L"{62F8CCF5-3C71-11D2-8B38-00A0C970A730}", L"{62F8CCF7-3C71-11D2-8B38-00A0C970A730}",
          L"{62B13AF2-8354-11D3-809A-00C04F790E87}", L"{152C3FB0-2D42-4F06-9A17-21AD98F77980}"})
      add(HKEY_CLASSES_ROOT, L"HKCR", std::wstring(view) + iid, L"", L"interface repair");

  const std::wstring base = ClientBaseKey(true);
  if (!base.empty()) {
    add(HKEY_LOCAL_MACHINE, L"HKLM", base + L"\\Customize\\Integration", L"RPDFIManAddon",
        L"client menu");
    add(HKEY_LOCAL_MACHINE, L"HKLM", base + L"\\Customize\\RPDFIManAddon", L"", L"client menu");
  }
  for (int site : {kSiteDeskSite, kSiteMailSite, kSiteFileSite}) {
    std::wstring key = OpenCommandsSiteKey(site);
    if (!key.empty()) add(HKEY_LOCAL_MACHINE, L"HKLM", key, L"Commands", L"open commands");
  }
  // Without a DeskSite list under a WorkSite version key, the thin client's lists and its
  // default command stand in for it.
  const std::wstring thinClient = L"Software\\NetRight\\iThinClient\\Commands\\";
  const std::wstring desk = OpenCommandsSiteKey(kSiteDeskSite);
  if (desk.empty() || desk.rfind(thinClient, 0) == 0) {
    const std::wstring grid = thinClient + L"Grid Popup Menus";
    const std::wstring options = L"SOFTWARE\\NetRight\\iManage\\ThinClient\\5.0\\Advanced Options";
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, grid.c_str(), KEY_READ) == ERROR_SUCCESS)
      add(HKEY_LOCAL_MACHINE, L"HKLM", grid, L"Commands", L"open commands");
    if (key.Open(HKEY_CURRENT_USER, options.c_str(), KEY_READ) == ERROR_SUCCESS)
      add(HKEY_CURRENT_USER, L"HKCU", options, L"Default Command", L"open commands");
  }
  return entries;
}

}  // namespace vpdf
