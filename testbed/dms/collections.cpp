// The client's collection classes: context items (class {62F8CCF6-...}) and the
// command collection behind "IManExt.Commands", with their class objects and
// self-registration.
#define TBDMS_BUILD
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
#include <cwctype>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "testbed/dms/client_commands.h"
#include "testbed/dms/tbdms.h"
#include "testbed/dms/typelib_dispatch.h"

namespace tb {
long LiveObjectsAdd(long delta);
}

namespace {

HINSTANCE g_module = nullptr;
volatile LONG g_locks = 0;

constexpr CLSID kClsidContextItems = {0x62F8CCF6, 0x3C71, 0x11D2, {0x8B, 0x38, 0x00, 0xA0, 0xC9, 0x70, 0xA7, 0x30}};
// The client interface whose registration the add-in's interface repair takes as correct.
constexpr IID kIidReference = {0x62F8CCEF, 0x3C71, 0x11D2, {0x8B, 0x38, 0x00, 0xA0, 0xC9, 0x70, 0xA7, 0x30}};
// The testbed's own class identifier for the command collection.
constexpr CLSID kClsidCommands = {0x5D7A0C31, 0x2B44, 0x4E8B, {0x9F, 0x61, 0x3A, 0x1C, 0x7E, 0x20, 0x55, 0x01}};

// Dual interfaces answer IDispatch from the registered IManExt type library.
template <class Interface>
class Dual : public tb::TypeLibDispatch<Interface> {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != __uuidof(Interface))
      return E_NOINTERFACE;
    *object = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

 protected:
  Dual() {
    tb::LiveObjectsAdd(1);
    InterlockedIncrement(&g_locks);
  }
  virtual ~Dual() {
    tb::LiveObjectsAdd(-1);
    InterlockedDecrement(&g_locks);
  }

 private:
  volatile LONG m_refs = 1;
};

bool SameName(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

class ContextItem final : public Dual<IContextItem> {
 public:
  ContextItem(std::wstring name, const VARIANT& value) : m_name(std::move(name)) {
    VariantInit(&m_value);
    VariantCopy(&m_value, const_cast<VARIANT*>(&value));
  }
  ~ContextItem() override { VariantClear(&m_value); }

  STDMETHODIMP get_Name(BSTR* name) override {
    if (!name) return E_POINTER;
    *name = SysAllocString(m_name.c_str());
    return S_OK;
  }
  STDMETHODIMP get_Value(VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    return VariantCopy(value, &m_value);
  }
  STDMETHODIMP put_Value(VARIANT value) override {
    VARIANT copy;
    VariantInit(&copy);
    HRESULT hr = VariantCopy(&copy, &value);
    if (FAILED(hr)) return hr;
    VariantClear(&m_value);
    m_value = copy;
    return S_OK;
  }
  const std::wstring& Name() const { return m_name; }

 private:
  std::wstring m_name;
  VARIANT m_value;
};

// Position of a 1-based index or of a name among `items`; -1 when absent.
template <class Item>
long Find(const std::vector<Item*>& items, const VARIANT& index,
          const std::wstring& (*nameOf)(Item*)) {
  VARIANT copy;
  VariantInit(&copy);
  if (index.vt == VT_BSTR || (index.vt == (VT_BSTR | VT_BYREF))) {
    if (FAILED(VariantCopyInd(&copy, const_cast<VARIANT*>(&index)))) return -1;
    std::wstring name = copy.bstrVal ? copy.bstrVal : L"";
    VariantClear(&copy);
    for (size_t i = 0; i < items.size(); ++i)
      if (nameOf && SameName(nameOf(items[i]), name.c_str())) return static_cast<long>(i);
    return -1;
  }
  if (FAILED(VariantChangeType(&copy, const_cast<VARIANT*>(&index), 0, VT_I4))) return -1;
  long position = copy.lVal - 1;
  return position >= 0 && position < static_cast<long>(items.size()) ? position : -1;
}

const std::wstring& ItemName(ContextItem* item) { return item->Name(); }

// Answered only by the testbed's own context-item collections.
constexpr IID kTestbedContext = {0x5D7A0C32, 0x2B44, 0x4E8B, {0x9F, 0x61, 0x3A, 0x1C, 0x7E, 0x20, 0x55, 0x02}};

class ContextItems final : public Dual<IContextItems> {
 public:
  ContextItems() { tb::RunContextItemsHook(); }
  ~ContextItems() override {
    for (ContextItem* item : m_items) item->Release();
  }

  STDMETHODIMP get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(m_items.size());
    return S_OK;
  }
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object && iid == kTestbedContext) {
      *object = this;  // the testbed's own way in, for the names of the items
      AddRef();
      return S_OK;
    }
    return Dual<IContextItems>::QueryInterface(iid, object);
  }
  STDMETHODIMP Item(VARIANT index, VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    long at = Find<ContextItem>(m_items, index, ItemName);
    if (at < 0) return E_INVALIDARG;
    return m_items[static_cast<size_t>(at)]->get_Value(value);
  }
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    for (ContextItem* item : m_items) names.push_back(item->Name());
    return names;
  }
  STDMETHODIMP Add(BSTR name, VARIANT value) override {
    VARIANT index;
    index.vt = VT_BSTR;
    index.bstrVal = name;
    long at = Find<ContextItem>(m_items, index, ItemName);
    if (at >= 0) return m_items[static_cast<size_t>(at)]->put_Value(value);
    m_items.push_back(new ContextItem(name ? name : L"", value));
    return S_OK;
  }
  STDMETHODIMP Remove(VARIANT index) override {
    long at = Find<ContextItem>(m_items, index, ItemName);
    if (at < 0) return E_INVALIDARG;
    m_items[static_cast<size_t>(at)]->Release();
    m_items.erase(m_items.begin() + at);
    return S_OK;
  }
  STDMETHODIMP get__NewEnum(IUnknown** items) override {
    if (items) *items = nullptr;
    return E_NOTIMPL;
  }

 private:
  std::vector<ContextItem*> m_items;
};

using OwnContextItems = ContextItems;

class Commands final : public Dual<ICommands> {
 public:
  ~Commands() override {
    for (ICommand* command : m_commands) command->Release();
  }
  STDMETHODIMP get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(m_commands.size());
    return S_OK;
  }
  STDMETHODIMP get_Item(VARIANT index, ICommand** command) override {
    if (!command) return E_POINTER;
    *command = nullptr;
    long at = Find<ICommand>(m_commands, index, nullptr);
    if (at < 0) return E_INVALIDARG;
    *command = m_commands[static_cast<size_t>(at)];
    (*command)->AddRef();
    return S_OK;
  }
  STDMETHODIMP Add(ICommand* command) override {
    if (!command) return E_POINTER;
    command->AddRef();
    m_commands.push_back(command);
    return S_OK;
  }
  STDMETHODIMP get__NewEnum(IUnknown** commands) override {
    if (commands) *commands = nullptr;
    return E_NOTIMPL;
  }

 private:
  std::vector<ICommand*> m_commands;
};

tb::ClassFactory<ContextItems> g_contextItemsFactory;

tb::ClassFactory<Commands> g_commandsFactory;

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

std::wstring ModulePath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(g_module, path, MAX_PATH);
  return path;
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
    {&tb::kClsidFileOpenCmd, L"IManExt2.IManFileOpenCmd", L"IManFileOpenCmd Class"},
    {&tb::kClsidNewVersionCmd, L"IManExt.NewVersionCmd", L"NewVersionCmd Class"},
    {&tb::kClsidImportCmd, L"IManExt2.ImportCmd", L"ImportCmd Class"},
    {&tb::kClsidNewDocumentCmd, L"IManExt.ImportCmd", L"ImportCmd (new document) Class"},
};

}  // namespace

namespace tb {

void LockModule(bool lock) {
  if (lock)
    InterlockedIncrement(&g_locks);
  else
    InterlockedDecrement(&g_locks);
}

std::vector<std::wstring> ContextNames(IContextItems* items) {
  OwnContextItems* own = nullptr;
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

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

STDAPI DllCanUnloadNow() { return g_locks == 0 ? S_OK : S_FALSE; }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid == kClsidContextItems) return g_contextItemsFactory.QueryInterface(iid, object);
  if (clsid == kClsidCommands) return g_commandsFactory.QueryInterface(iid, object);
  if (tb::IsClientCommandClass(clsid)) return tb::ClientCommandClassObject(clsid, iid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
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
      SetKey(reference + L"\\TypeLib", nullptr, GuidText(tb::kLibIManExt)) ||
      SetKey(reference + L"\\TypeLib", L"Version", L"1.0"))
    return SELFREG_E_TYPELIB;
  return S_OK;
}

STDAPI DllUnregisterServer() {
  for (const ClassEntry& entry : kClasses) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(*entry.clsid)).c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, entry.progId);
  }
  UnRegisterTypeLib(tb::kLibIManExt, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"Interface\\" + GuidText(kIidReference)).c_str());
  return S_OK;
}
