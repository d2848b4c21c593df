// The client's collection classes: context items (class {62F8CCF6-...}) and the
// command collection behind "IManExt.Commands", with their class objects and
// self-registration.
#define TBDMS_BUILD
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "IManExt.h"
#include "testbed/dms/client_commands.h"
#include "testbed/dms/module.h"
#include "testbed/dms/tbdms.h"

namespace tb {
namespace {

HINSTANCE g_module = nullptr;
volatile LONG g_locks = 0;

constexpr CLSID kClsidContextItems = {0x62F8CCF6, 0x3C71, 0x11D2, {0x8B, 0x38, 0x00, 0xA0, 0xC9, 0x70, 0xA7, 0x30}};
// The client interface whose registration the add-in's interface repair takes as correct.
constexpr IID kIidReference = {0x62F8CCEF, 0x3C71, 0x11D2, {0x8B, 0x38, 0x00, 0xA0, 0xC9, 0x70, 0xA7, 0x30}};
// The testbed's own class identifier for the command collection.
constexpr CLSID kClsidCommands = {0x5D7A0C31, 0x2B44, 0x4E8B, {0x9F, 0x61, 0x3A, 0x1C, 0x7E, 0x20, 0x55, 0x01}};
// Answered only by the testbed's own context-item collections.
constexpr IID kTestbedContext = {0x5D7A0C32, 0x2B44, 0x4E8B, {0x9F, 0x61, 0x3A, 0x1C, 0x7E, 0x20, 0x55, 0x02}};

// Position of a 1-based index, or of a name in any case among `names`, among `count` entries;
// -1 when absent.
long Position(VARIANT* index, const std::vector<std::wstring>& names, size_t count) {
  Variant copy;
  if ((index->vt & ~VT_BYREF) == VT_BSTR) {
    if (FAILED(VariantCopyInd(&copy, index))) return -1;
    for (size_t i = 0; i < names.size(); ++i)
      if (_wcsicmp(names[i].c_str(), copy.bstrVal ? copy.bstrVal : L"") == 0)
        return static_cast<long>(i);
    return -1;
  }
  if (FAILED(VariantChangeType(&copy, index, 0, VT_I4))) return -1;
  return copy.lVal >= 1 && static_cast<size_t>(copy.lVal) <= count ? copy.lVal - 1 : -1;
}

HRESULT Count(VARIANT* result, size_t count) {
  result->vt = VT_I4;
  result->lVal = static_cast<LONG>(count);
  return S_OK;
}

// The client's context-item collection: values by name, in the order they were added.
class ContextItems final : public AutoObject {
 public:
  ContextItems() {
    Answer(__uuidof(IContextItems));
    SetMethod(L"Count",
              [this](Args&, VARIANT* result) { return tb::Count(result, m_names.size()); });
    SetMethod(L"Item", [this](Args& args, VARIANT* result) {
      long at = Position(args[0], m_names, m_names.size());
      return at < 0 ? E_INVALIDARG : VariantCopy(result, &m_values[static_cast<size_t>(at)]);
    });
    SetMethod(L"Add", [this](Args& args, VARIANT*) {
      VARIANT copy;
      VariantInit(&copy);
      HRESULT hr = VariantCopy(&copy, args[1]);
      if (FAILED(hr)) return hr;
      long at = Position(args[0], m_names, 0);
      if (at < 0) {
        m_names.push_back(TextOf(*args[0]));
        m_values.push_back(copy);
      } else {
        VariantClear(&m_values[static_cast<size_t>(at)]);
        m_values[static_cast<size_t>(at)] = copy;
      }
      return S_OK;
    });
    SetMethod(L"Remove", [this](Args& args, VARIANT*) {
      long at = Position(args[0], m_names, m_names.size());
      if (at < 0) return E_INVALIDARG;
      VariantClear(&m_values[static_cast<size_t>(at)]);
      m_values.erase(m_values.begin() + at);
      m_names.erase(m_names.begin() + at);
      return S_OK;
    });
    RunContextItemsHook();
  }
  ~ContextItems() override {
    for (VARIANT& value : m_values) VariantClear(&value);
  }
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object || iid != kTestbedContext) return AutoObject::QueryInterface(iid, object);
    *object = this;
    AddRef();
    return S_OK;
  }
  const std::vector<std::wstring>& Names() const { return m_names; }

 private:
  using Args = std::vector<VARIANT*>;
  std::vector<std::wstring> m_names;
  std::vector<VARIANT> m_values;
};

// The client's command collection ("IManExt.Commands"): commands by 1-based index.
class Commands final : public AutoObject {
 public:
  Commands() {
    Answer(__uuidof(ICommands));
    SetMethod(L"Count",
              [this](Args&, VARIANT* result) { return tb::Count(result, m_commands.size()); });
    SetMethod(L"Item", [this](Args& args, VARIANT* result) {
      long at = Position(args[0], {}, m_commands.size());
      if (at < 0) return E_INVALIDARG;
      result->vt = VT_UNKNOWN;
      result->punkVal = m_commands[static_cast<size_t>(at)];
      result->punkVal->AddRef();
      return S_OK;
    });
    SetMethod(L"Add", [this](Args& args, VARIANT*) {
      if (!args[0]->punkVal) return E_POINTER;
      args[0]->punkVal->AddRef();
      m_commands.push_back(args[0]->punkVal);
      return S_OK;
    });
  }
  ~Commands() override {
    for (IUnknown* command : m_commands) command->Release();
  }

 private:
  using Args = std::vector<VARIANT*>;
  std::vector<IUnknown*> m_commands;
};

ClassFactory<ContextItems> g_contextItemsFactory;
ClassFactory<Commands> g_commandsFactory;

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

LONG SetKey(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                               &key, nullptr);
  if (error != ERROR_SUCCESS) return error;
  error = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return error;
}

struct ClassEntry {
  const CLSID* clsid;
  const wchar_t* progId;
  const wchar_t* description;
};
constexpr ClassEntry kClasses[] = {
    {&kClsidContextItems, L"IManExt.ContextItems", L"ContextItems Class"},
    {&kClsidCommands, L"IManExt.Commands", L"Commands Class"},
    // The client's own commands (client_commands.cpp).
    {&kClsidFileOpenCmd, L"IManExt2.IManFileOpenCmd", L"IManFileOpenCmd Class"},
    {&kClsidNewVersionCmd, L"IManExt.NewVersionCmd", L"NewVersionCmd Class"},
    {&kClsidImportCmd, L"IManExt2.ImportCmd", L"ImportCmd Class"},
    {&kClsidNewDocumentCmd, L"IManExt.ImportCmd", L"ImportCmd (new document) Class"},
};

}  // namespace

void LockModule(bool lock) {
  if (lock)
    InterlockedIncrement(&g_locks);
  else
    InterlockedDecrement(&g_locks);
}

std::wstring ModulePath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(g_module, path, MAX_PATH);
  return path;
}

std::vector<std::wstring> ContextNames(IContextItems* items) {
  ContextItems* own = nullptr;
  if (!items || FAILED(items->QueryInterface(kTestbedContext, reinterpret_cast<void**>(&own))))
    return {};
  std::vector<std::wstring> names = own->Names();
  own->Release();
  return names;
}

HRESULT NewContextItems(IContextItems** items) {
  return CoCreateInstance(kClsidContextItems, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IContextItems),
                          reinterpret_cast<void**>(items));
}

}  // namespace tb

using namespace tb;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

STDAPI DllCanUnloadNow() { return g_locks == 0 && LiveObjects() == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid == kClsidContextItems) return g_contextItemsFactory.QueryInterface(iid, object);
  if (clsid == kClsidCommands) return g_commandsFactory.QueryInterface(iid, object);
  return ClientCommandClassObject(clsid, iid, object);
}

STDAPI DllRegisterServer() {
  std::wstring path = ModulePath();
  for (const ClassEntry& entry : kClasses) {
    std::wstring clsid = GuidText(*entry.clsid);
    std::wstring key = L"CLSID\\" + clsid;
    if (SetKey(key, nullptr, entry.description) || SetKey(key + L"\\InprocServer32", nullptr, path) ||
        SetKey(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") ||
        SetKey(key + L"\\ProgID", nullptr, entry.progId) ||
        SetKey(entry.progId, nullptr, entry.description) ||
        SetKey(std::wstring(entry.progId) + L"\\CLSID", nullptr, clsid))
      return SELFREG_E_CLASS;
  }
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  hr = RegisterTypeLib(library, path.data(), nullptr);
  library->Release();
  if (FAILED(hr)) return hr;
  // One more interface of the client's library that our IDL leaves out (its name is ours),
  // registered as the client registers its dual interfaces: the add-in's repair copies it.
  const std::wstring reference = L"Interface\\" + GuidText(kIidReference);
  const std::wstring marshaler = L"{00020424-0000-0000-C000-000000000046}";
  if (SetKey(reference, nullptr, L"IReference") ||
      SetKey(reference + L"\\ProxyStubClsid", nullptr, marshaler) ||
      SetKey(reference + L"\\ProxyStubClsid32", nullptr, marshaler) ||
      SetKey(reference + L"\\TypeLib", nullptr, GuidText(kLibIManExt)) ||
      SetKey(reference + L"\\TypeLib", L"Version", L"1.0"))
    return SELFREG_E_TYPELIB;
  return S_OK;
}

STDAPI DllUnregisterServer() {
  for (const ClassEntry& entry : kClasses) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(*entry.clsid)).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, entry.progId);
  }
  UnRegisterTypeLib(kLibIManExt, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"Interface\\" + GuidText(kIidReference)).c_str());
  return S_OK;
}
