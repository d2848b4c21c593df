#include "addon/registration.h"

#include <oleauto.h>

#include <string>

#include "addon/module.h"
#include "addon/object_map.h"
#include "addon/registrar.h"
#include "convutils/comutil.h"

namespace vpdf {
namespace {

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(Module::Instance().Handle(), path, MAX_PATH);
  return path;
}

HRESULT RunScripts(bool doRegister) {
  const ScriptReplacements replacements = {{L"MODULE", ModulePath()}};
  for (const ObjectMapEntry& entry : ObjectMap()) {
    HRESULT hr = RunRegistryScript(Module::Instance().Handle(), entry.script, doRegister,
                                   replacements);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
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
  return UnRegisterTypeLib(Module::Instance().TypeLibId(), 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
}

}  // namespace vpdf
