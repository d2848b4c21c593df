#define TBDMS_BUILD
#include "testbed/dms/tbdms.h"

#include <oleauto.h>

#include <algorithm>
#include <cwctype>

namespace tb {
namespace {

volatile LONG g_live = 0;

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  return text;
}

}  // namespace

long LiveObjects() { return g_live; }

long LiveObjectsAdd(long delta) { return InterlockedAdd(&g_live, delta); }

AutoObject::AutoObject() { InterlockedIncrement(&g_live); }

AutoObject::~AutoObject() {
  for (auto& [name, value] : m_properties) VariantClear(&value);
  InterlockedDecrement(&g_live);
}

STDMETHODIMP AutoObject::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch ||
      std::find(m_iids.begin(), m_iids.end(), iid) != m_iids.end()) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) AutoObject::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) AutoObject::Release() {
  ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP AutoObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP AutoObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

std::wstring AutoObject::Key(const std::wstring& name) const { return Lower(name); }

DISPID AutoObject::IdOf(const std::wstring& name) {
  std::wstring key = Key(name);
  auto found = std::find(m_names.begin(), m_names.end(), key);
  if (found != m_names.end()) return static_cast<DISPID>(found - m_names.begin()) + 1;
  m_names.push_back(key);
  return static_cast<DISPID>(m_names.size());
}

STDMETHODIMP AutoObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    std::wstring key = Key(names[i]);
    if (i == 0 && (m_properties.count(key) || m_methods.count(key) || m_failures.count(key))) {
      ids[i] = IdOf(key);
    } else {
      ids[i] = DISPID_UNKNOWN;
      hr = DISP_E_UNKNOWNNAME;
    }
  }
  return hr;
}

STDMETHODIMP AutoObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO*, UINT*) {
  if (id < 1 || static_cast<size_t>(id) > m_names.size()) return DISP_E_MEMBERNOTFOUND;
  const std::wstring& key = m_names[static_cast<size_t>(id) - 1];
  ++m_calls[key];
  auto failure = m_failures.find(key);
  if (failure != m_failures.end()) return failure->second;

  // Arguments come last to first; handlers take them in natural order.
  std::vector<VARIANT*> args;
  UINT positional = params ? params->cArgs - params->cNamedArgs : 0;
  for (UINT i = 0; i < positional; ++i) args.push_back(&params->rgvarg[params->cArgs - 1 - i]);

  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (!params || params->cArgs < 1) return DISP_E_BADPARAMCOUNT;
    VARIANT& value = params->rgvarg[0];
    VARIANT copy;
    VariantInit(&copy);
    HRESULT hr = VariantCopyInd(&copy, &value);
    if (FAILED(hr)) return hr;
    VariantClear(&m_properties[key]);
    m_properties[key] = copy;
    return S_OK;
  }
  auto method = m_methods.find(key);
  if (method != m_methods.end()) {
    VARIANT ignored;
    VariantInit(&ignored);
    HRESULT hr = method->second(args, result ? result : &ignored);
    VariantClear(&ignored);
    return hr;
  }
  auto property = m_properties.find(key);
  if (property == m_properties.end()) return DISP_E_MEMBERNOTFOUND;
  if (!result) return S_OK;
  VariantInit(result);
  return VariantCopy(result, &property->second);
}

void AutoObject::Set(const std::wstring& name, const VARIANT& value) {
  VARIANT& slot = m_properties[Key(name)];
  VariantClear(&slot);
  VariantCopy(&slot, const_cast<VARIANT*>(&value));
}

void AutoObject::SetLong(const std::wstring& name, long value) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = value;
  Set(name, v);
}

void AutoObject::SetString(const std::wstring& name, const std::wstring& value) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  Set(name, v);
  SysFreeString(v.bstrVal);
}

void AutoObject::SetBool(const std::wstring& name, bool value) {
  VARIANT v;
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  Set(name, v);
}

void AutoObject::SetDate(const std::wstring& name, DATE value) {
  VARIANT v;
  v.vt = VT_DATE;
  v.date = value;
  Set(name, v);
}

void AutoObject::SetObject(const std::wstring& name, IDispatch* object) {
  VARIANT v;
  v.vt = VT_DISPATCH;
  v.pdispVal = object;
  Set(name, v);
}

void AutoObject::Remove(const std::wstring& name) {
  auto found = m_properties.find(Key(name));
  if (found == m_properties.end()) return;
  VariantClear(&found->second);
  m_properties.erase(found);
}

bool AutoObject::Get(const std::wstring& name, VARIANT* value) const {
  auto found = m_properties.find(Key(name));
  if (found == m_properties.end()) return false;
  VariantInit(value);
  return SUCCEEDED(VariantCopy(value, const_cast<VARIANT*>(&found->second)));
}

std::wstring AutoObject::GetString(const std::wstring& name) const {
  VARIANT v;
  if (!Get(name, &v)) return {};
  std::wstring text;
  if (SUCCEEDED(VariantChangeType(&v, &v, 0, VT_BSTR)) && v.bstrVal) text = v.bstrVal;
  VariantClear(&v);
  return text;
}

long AutoObject::GetLong(const std::wstring& name) const {
  VARIANT v;
  if (!Get(name, &v)) return 0;
  long number = SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4)) ? v.lVal : 0;
  VariantClear(&v);
  return number;
}

void AutoObject::SetMethod(const std::wstring& name, Method method) {
  m_methods[Key(name)] = std::move(method);
}

void AutoObject::Fail(const std::wstring& name, HRESULT hr) {
  if (hr == S_OK)
    m_failures.erase(Key(name));
  else
    m_failures[Key(name)] = hr;
}

int AutoObject::Calls(const std::wstring& name) const {
  auto found = m_calls.find(Key(name));
  return found == m_calls.end() ? 0 : found->second;
}

void AutoObject::Answer(const IID& iid) { m_iids.push_back(iid); }

namespace {

class Plain : public AutoObject {};

// Interface identifiers of the client's document objects.
constexpr IID kINRTDocument = {0x37085B9A, 0x90AC, 0x11D4, {0x81, 0x00, 0x00, 0xC0, 0x4F, 0x61, 0x0D, 0xBB}};
constexpr IID kIManDocument = {0x68A9B2E3, 0x0E4B, 0x4738, {0x97, 0xAB, 0x37, 0x8A, 0x7B, 0xD3, 0x4F, 0x58}};
constexpr IID kIManShortcut = {0xDD251D9B, 0x53F3, 0x4461, {0x86, 0xED, 0x94, 0x81, 0xBB, 0xF3, 0x6E, 0xE9}};
constexpr IID kIManShortcutItem = {0x3B34D56B, 0x4C64, 0x4042, {0xAA, 0x07, 0xF7, 0xD5, 0xA8, 0x8E, 0x38, 0xE4}};
constexpr IID kINRTDatabase = {0x37085B84, 0x90AC, 0x11D4, {0x81, 0x00, 0x00, 0xC0, 0x4F, 0x61, 0x0D, 0xBB}};
constexpr IID kINRTSession = {0x37085B82, 0x90AC, 0x11D4, {0x81, 0x00, 0x00, 0xC0, 0x4F, 0x61, 0x0D, 0xBB}};
constexpr IID kINRTSessions = {0x37085B80, 0x90AC, 0x11D4, {0x81, 0x00, 0x00, 0xC0, 0x4F, 0x61, 0x0D, 0xBB}};

std::wstring ArgString(VARIANT* arg) {
  VARIANT v;
  VariantInit(&v);
  std::wstring text;
  if (SUCCEEDED(VariantChangeType(&v, arg, 0, VT_BSTR)) && v.bstrVal) text = v.bstrVal;
  VariantClear(&v);
  return text;
}

long ArgLong(VARIANT* arg) {
  VARIANT v;
  VariantInit(&v);
  long number = SUCCEEDED(VariantChangeType(&v, arg, 0, VT_I4)) ? v.lVal : 0;
  VariantClear(&v);
  return number;
}

// An argument as text for the records; a date as its number of days.
std::wstring ArgText(VARIANT* arg) {
  VARIANT v;
  VariantInit(&v);
  VariantCopyInd(&v, arg);
  std::wstring text = v.vt == VT_DATE ? std::to_wstring(v.date) : ArgString(&v);
  VariantClear(&v);
  return text;
}

}  // namespace

AutoObject* NewObject() { return new Plain; }

Session* Session::Create(const std::wstring& userId, const std::wstring& sessionId) {
  auto* session = static_cast<Session*>(static_cast<AutoObject*>(new Plain));
  session->Answer(kINRTSession);
  session->SetString(L"UserID", userId);
  session->SetString(L"SessionID", sessionId);
  session->SetString(L"Name", sessionId);
  AutoObject* dms = NewObject();
  dms->SetString(L"Name", L"NRTDMS");
  session->SetObject(L"DMS", dms);
  dms->Release();
  return session;
}

Database* Database::Create(const std::wstring& name, Session* session) {
  auto* database = static_cast<Database*>(static_cast<AutoObject*>(new Plain));
  database->Answer(kINRTDatabase);
  database->SetString(L"Name", name);
  database->SetObject(L"Session", session);
  database->SetMethod(L"CreateDocument", [database](std::vector<VARIANT*>&, VARIANT* result) {
    result->vt = VT_DISPATCH;
    result->pdispVal = Document::Create(database, 0, 0, L"", L"", L"", L"");
    return S_OK;
  });
  return database;
}

Document::Document() {
  Answer(kINRTDocument);
  Answer(kIManDocument);
}

Document::~Document() {
  for (auto& [number, value] : m_attributes) VariantClear(&value);
  if (m_ownsContent) DeleteFileW(m_content.c_str());
}

bool Document::StoreContent(const std::wstring& path) {
  // The store is a folder beside tbdms.dll, away from the temporary folder that tests watch.
  static int stored = 0;
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&NewObject), &module);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(module, self, MAX_PATH);
  std::wstring folder(self);
  folder = folder.substr(0, folder.find_last_of(L'\\') + 1) + L"tbdms-store";
  CreateDirectoryW(folder.c_str(), nullptr);
  const size_t dot = path.find_last_of(L'.');
  const std::wstring extension =
      dot == std::wstring::npos || path.find(L'\\', dot) != std::wstring::npos ? L""
                                                                               : path.substr(dot);
  const std::wstring target = folder + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                              std::to_wstring(++stored) + extension;
  if (!CopyFileW(path.c_str(), target.c_str(), FALSE)) return false;
  if (m_ownsContent) DeleteFileW(m_content.c_str());
  m_content = target;
  m_ownsContent = true;
  return true;
}

Document* Document::Create(Database* database, long number, long version,
                           const std::wstring& name, const std::wstring& typeName,
                           const std::wstring& extension, const std::wstring& contentPath) {
  auto* document = new Document;
  document->m_content = contentPath;
  document->SetLong(L"Number", number);
  document->SetLong(L"Version", version);
  document->SetString(L"Name", name);
  document->SetString(L"Description", name);
  document->SetString(L"Extension", extension);
  document->SetObject(L"Database", database);
  document->SetString(L"CheckoutPath", L"");
  document->SetBool(L"CheckedOut", false);
  AutoObject* type = NewObject();
  type->SetString(L"Name", typeName);
  type->SetString(L"ApplicationExtension", extension);
  document->SetObject(L"Type", type);
  type->Release();

  // GetCopy(path, flags): the content copied to path; -1 when it cannot be.
  document->SetMethod(L"GetCopy", [document](std::vector<VARIANT*>& args, VARIANT* result) {
    if (args.empty()) return DISP_E_BADPARAMCOUNT;
    std::wstring target = ArgString(args[0]);
    bool copied = CopyFileW(document->m_content.c_str(), target.c_str(), FALSE) != 0;
    if (copied) document->m_copies.push_back(target);
    result->vt = VT_I4;
    result->lVal = copied ? 0 : -1;
    return S_OK;
  });
  document->SetMethod(L"GetAttributeValueByID",
                      [document](std::vector<VARIANT*>& args, VARIANT* result) {
                        if (args.empty()) return DISP_E_BADPARAMCOUNT;
                        auto found = document->m_attributes.find(ArgLong(args[0]));
                        VariantInit(result);
                        if (found == document->m_attributes.end()) return S_OK;
                        return VariantCopy(result, &found->second);
                      });
  document->SetMethod(L"AddHistory", [document](std::vector<VARIANT*>& args, VARIANT*) {
    if (args.size() < 7) return DISP_E_BADPARAMCOUNT;
    document->m_history.push_back({ArgLong(args[0]), ArgString(args[1]), ArgLong(args[2]),
                                   ArgLong(args[3]), ArgString(args[4]), ArgString(args[5]),
                                   ArgString(args[6])});
    return S_OK;
  });
  auto record = [document](const wchar_t* member, std::vector<VARIANT*>& args) {
    MemberCall call;
    call.member = member;
    for (VARIANT* arg : args) call.args.push_back(ArgText(arg));
    call.fileExisted = !call.args.empty() && !call.args[0].empty() &&
                       GetFileAttributesW(call.args[0].c_str()) != INVALID_FILE_ATTRIBUTES;
    document->m_recorded.push_back(std::move(call));
  };
  // CheckOut(path, mode, due, comment, option, application, text)
  document->SetMethod(L"CheckOut", [document, record](std::vector<VARIANT*>& args, VARIANT*) {
    if (args.size() < 7) return DISP_E_BADPARAMCOUNT;
    record(L"CheckOut", args);
    std::wstring target = ArgString(args[0]);
    if (!document->m_content.empty()) CopyFileW(document->m_content.c_str(), target.c_str(), FALSE);
    document->SetBool(L"CheckedOut", true);
    document->SetString(L"CheckoutPath", target);
    return S_OK;
  });
  // CheckIn(path, mode, option, option, application, text, text, [out] result)
  document->SetMethod(L"CheckIn", [document, record](std::vector<VARIANT*>& args, VARIANT*) {
    if (args.size() < 7) return DISP_E_BADPARAMCOUNT;
    record(L"CheckIn", args);
    document->StoreContent(ArgString(args[0]));
    if (args.size() > 7 && args[7]->vt == (VT_BYREF | VT_I4)) *args[7]->plVal = 0;
    document->SetBool(L"CheckedOut", false);
    return S_OK;
  });
  document->SetMethod(L"UnlockContent", [document, record](std::vector<VARIANT*>& args, VARIANT*) {
    record(L"UnlockContent", args);
    document->SetBool(L"CheckedOut", false);
    return S_OK;
  });
  // RelateDocument(number, text, [out] related)
  document->SetMethod(L"RelateDocument", [record](std::vector<VARIANT*>& args, VARIANT*) {
    if (args.size() < 3) return DISP_E_BADPARAMCOUNT;
    std::vector<VARIANT*> given(args.begin(), args.begin() + 2);
    record(L"RelateDocument", given);
    if (args[2]->vt == (VT_BYREF | VT_BOOL)) *args[2]->pboolVal = VARIANT_TRUE;
    return S_OK;
  });
  return document;
}

void Document::SetAttribute(long number, const VARIANT& value) {
  VARIANT& slot = m_attributes[number];
  VariantClear(&slot);
  VariantCopy(&slot, const_cast<VARIANT*>(&value));
}

AutoObject* NewShortcut(IDispatch* target) {
  AutoObject* shortcut = NewObject();
  shortcut->Answer(kIManShortcutItem);
  shortcut->Answer(kIManShortcut);
  shortcut->SetObject(L"Target", target);
  shortcut->SetMethod(L"Resolve", [shortcut](std::vector<VARIANT*>&, VARIANT* result) {
    return shortcut->Get(L"Target", result) ? S_OK : E_FAIL;
  });
  return shortcut;
}

AutoObject* NewSessions(const std::vector<IDispatch*>& sessions) {
  AutoObject* collection = NewObject();
  collection->Answer(kINRTSessions);
  collection->SetLong(L"Count", static_cast<long>(sessions.size()));
  for (size_t i = 0; i < sessions.size(); ++i)
    collection->SetObject(L"#" + std::to_wstring(i + 1), sessions[i]);
  collection->SetMethod(L"Item", [collection](std::vector<VARIANT*>& args, VARIANT* result) {
    if (args.empty()) return DISP_E_BADPARAMCOUNT;
    return collection->Get(L"#" + std::to_wstring(ArgLong(args[0])), result) ? S_OK
                                                                             : DISP_E_BADINDEX;
  });
  return collection;
}

SAFEARRAY* DispatchArray(const std::vector<IDispatch*>& objects) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_DISPATCH, 0, static_cast<ULONG>(objects.size()));
  for (LONG i = 0; i < static_cast<LONG>(objects.size()); ++i)
    SafeArrayPutElement(array, &i, objects[static_cast<size_t>(i)]);  // AddRefs
  return array;
}

}  // namespace tb
