// The module's entry points. No exception leaves them.
#include <windows.h>

#include "addon/object_map.h"
#include "addon/registration.h"
#include "commands/command_impl.h"
#include "convutils/entry_guard.h"
#include "convutils/log.h"
#include "convutils/module.h"

namespace {
constexpr vpdf::LogSource kLog("PDFConverter\\VPDFIManageAddon\\VPDFIManageAddon");
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    vpdf::Module::Instance().Init(instance);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    vpdf::ReleaseClassObjects();
    vpdf::ReleaseCommandTypeInfo();
    vpdf::Module::Instance().Term();
  }
  kLog.Trace("IMAnageAddon DllMain - win64");
  return TRUE;
}

STDAPI DllCanUnloadNow() { return vpdf::Module::Instance().LockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return vpdf::GuardedHr(kLog, "DllGetClassObject", [&] { return vpdf::GetClassObject(clsid, iid, object); });
}

STDAPI DllRegisterServer() {
  return vpdf::GuardedHr(kLog, "DllRegisterServer", [&] { return vpdf::RegisterAll(); });
}

STDAPI DllUnregisterServer() {
  return vpdf::GuardedHr(kLog, "DllUnregisterServer", [&] { return vpdf::UnregisterAll(); });
}
