// The object of the testbed's DMS client: its interfaces built from the client's type libraries
// (vtables and IDispatch), its properties in a bag, its methods as handlers.
#define TBDMS_BUILD
#include "testbed/dms/tbdms.h"
#include "testbed/dms/module.h"

#include <oleauto.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <utility>

namespace tb {
namespace {

volatile LONG g_live = 0;

// ---- The client's type libraries ----------------------------------------------------------

// One parameter as the type library declares it, its type as a handler sees it. `level`:
// pointers above the value (an interface pointer is a value).
struct ParamInfo {
  VARTYPE vt = VT_EMPTY;
  int level = 0;
  USHORT flags = 0;
  IID iid = IID_NULL;
};

struct MemberInfo {
  std::wstring name;
  MEMBERID id = 0;
  INVOKEKIND kind = INVOKE_FUNC;
  std::vector<ParamInfo> params;
  UINT arguments = 0;  // what a caller by name gives: the parameters but the [out,retval] one
};

struct InterfaceInfo {
  bool dual = false;
  ITypeInfo* info = nullptr;         // the interface (for a dual one, its dispatch type)
  std::map<int, MemberInfo> slots;   // by vtable slot
};

// The module's type libraries are the client's: 1 its command extensions, 2 its document objects.
ITypeLib* LoadClientLibrary(int number) {
  ITypeLib* library = nullptr;
  LoadTypeLibEx((ModulePath() + L"\\" + std::to_wstring(number)).c_str(), REGKIND_NONE, &library);
  return library;
}

// Bytes a value of a handler's type takes in an argument slot or behind an [out] pointer.
size_t Width(VARTYPE vt) {
  switch (vt) {
    case VT_BOOL:
    case VT_I2:
      return 2;
    case VT_I4:
      return 4;
    default:
      return 8;
  }
}

ParamInfo Describe(ITypeInfo* owner, const ELEMDESC& element) {
  ParamInfo param;
  param.flags = element.paramdesc.wParamFlags;
  const TYPEDESC* type = &element.tdesc;
  while (type->vt == VT_PTR) {
    type = type->lptdesc;
    ++param.level;
  }
  param.vt = type->vt;
  if (param.vt == VT_DISPATCH || param.vt == VT_UNKNOWN) {
    param.iid = param.vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
  } else if (param.vt == VT_USERDEFINED) {
    ITypeInfo* referenced = nullptr;
    TYPEATTR* attributes = nullptr;
    param.vt = VT_I4;  // enumerations
    if (SUCCEEDED(owner->GetRefTypeInfo(type->hreftype, &referenced)) &&
        SUCCEEDED(referenced->GetTypeAttr(&attributes))) {
      if (attributes->typekind == TKIND_DISPATCH || attributes->typekind == TKIND_INTERFACE) {
        param.vt = attributes->typekind == TKIND_DISPATCH ? VT_DISPATCH : VT_UNKNOWN;
        param.iid = attributes->guid;
        --param.level;
      }
      referenced->ReleaseTypeAttr(attributes);
    }
    if (referenced) referenced->Release();
  } else if (param.vt == VT_UI2) {
    param.vt = VT_I2;
  } else if (param.vt != VT_BSTR && param.vt != VT_BOOL && param.vt != VT_I2 &&
             param.vt != VT_DATE && param.vt != VT_R8 && param.vt != VT_VARIANT) {
    param.vt = VT_I4;
  }
  return param;
}

// The client's interface `iid` as its library declares it; null when the library has none.
const InterfaceInfo* ClientInterface(const IID& iid) {
  static auto* known = new std::vector<std::pair<IID, InterfaceInfo*>>;
  for (const auto& [key, value] : *known)
    if (key == iid) return value;
  static ITypeLib* libraries[] = {LoadClientLibrary(1), LoadClientLibrary(2)};
  ITypeInfo* info = nullptr;
  for (ITypeLib* library : libraries)
    if (!info && library && FAILED(library->GetTypeInfoOfGuid(iid, &info))) info = nullptr;
  InterfaceInfo* result = nullptr;
  if (info) {
    result = new InterfaceInfo;
    result->info = info;
    TYPEATTR* dispatchAttributes = nullptr;
    info->GetTypeAttr(&dispatchAttributes);
    result->dual = dispatchAttributes->typekind == TKIND_DISPATCH;
    info->ReleaseTypeAttr(dispatchAttributes);
    // A dual interface's dispatch view hides the [out,retval] parameters: the vtable view
    // has them.
    ITypeInfo* vtableView = info;
    HREFTYPE vtableType = 0;
    if (result->dual && SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableType)))
      info->GetRefTypeInfo(vtableType, &vtableView);
    else
      vtableView->AddRef();
    info = vtableView;
    TYPEATTR* attributes = nullptr;
    info->GetTypeAttr(&attributes);
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
      FUNCDESC* function = nullptr;
      if (FAILED(info->GetFuncDesc(i, &function))) continue;
      MemberInfo member;
      BSTR name = nullptr;
      info->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr);
      member.name = name ? name : L"";
      SysFreeString(name);
      member.id = function->memid;
      member.kind = function->invkind;
      for (SHORT p = 0; p < function->cParams; ++p) {
        member.params.push_back(Describe(info, function->lprgelemdescParam[p]));
        if (!(member.params.back().flags & PARAMFLAG_FRETVAL)) ++member.arguments;
      }
      result->slots[function->oVft / static_cast<int>(sizeof(void*))] = std::move(member);
      info->ReleaseFuncDesc(function);
    }
    info->ReleaseTypeAttr(attributes);
    info->Release();
  }
  known->emplace_back(iid, result);
  return result;
}

}  // namespace

// ---- Interfaces of an object --------------------------------------------------------------

// One client interface of an object: its interface pointer is the facet itself.
using AnyFunction = void (*)();
struct Facet {
  const AnyFunction* table;
  AutoObject* owner;
  const InterfaceInfo* info;
  IID iid;
};

namespace {

using Raw = ULONG_PTR;
constexpr int kArguments = 12;
constexpr size_t kSlots = 96;

// Every member of every client interface lands here. The platform's call passes each argument
// in a 64-bit slot (a VARIANT by its address) and loads the first ones into both register
// sets, so one signature fits all members; the type library says what each slot holds.
template <size_t Slot>
HRESULT STDMETHODCALLTYPE Member(Facet* self, Raw a1, Raw a2, Raw a3, Raw a4, Raw a5, Raw a6,
                                 Raw a7, Raw a8, Raw a9, Raw a10, Raw a11, Raw a12) {
  const Raw raw[kArguments] = {a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12};
  return self->owner->CallSlot(*self, static_cast<int>(Slot), raw);
}

HRESULT STDMETHODCALLTYPE FacetQueryInterface(Facet* self, REFIID iid, void** object) {
  return self->owner->QueryInterface(iid, object);
}
ULONG STDMETHODCALLTYPE FacetAddRef(Facet* self) { return self->owner->AddRef(); }
ULONG STDMETHODCALLTYPE FacetRelease(Facet* self) { return self->owner->Release(); }
HRESULT STDMETHODCALLTYPE FacetGetTypeInfoCount(Facet* self, UINT* count) {
  return self->owner->GetTypeInfoCount(count);
}
HRESULT STDMETHODCALLTYPE FacetGetTypeInfo(Facet* self, UINT index, LCID lcid, ITypeInfo** info) {
  return self->owner->GetTypeInfo(index, lcid, info);
}
HRESULT STDMETHODCALLTYPE FacetGetIDsOfNames(Facet* self, REFIID iid, LPOLESTR* names, UINT count,
                                             LCID lcid, DISPID* ids) {
  return self->owner->GetIDsOfNames(iid, names, count, lcid, ids);
}
HRESULT STDMETHODCALLTYPE FacetInvoke(Facet* self, DISPID id, REFIID iid, LCID lcid, WORD flags,
                                      DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                      UINT* argError) {
  return self->owner->Invoke(id, iid, lcid, flags, params, result, exception, argError);
}

template <class F>
AnyFunction Any(F function) {
  return reinterpret_cast<AnyFunction>(function);
}

template <size_t... Slot>
void FillMembers(AnyFunction* table, std::index_sequence<Slot...>) {
  ((table[Slot] = Any(&Member<Slot>)), ...);
}

// Vtables: IUnknown, then IDispatch for dual interfaces, then the members.
const AnyFunction* Table(bool dual) {
  static AnyFunction* tables[2] = {};
  AnyFunction*& table = tables[dual ? 1 : 0];
  if (!table) {
    table = new AnyFunction[kSlots];
    FillMembers(table, std::make_index_sequence<kSlots>());
    table[0] = Any(&FacetQueryInterface);
    table[1] = Any(&FacetAddRef);
    table[2] = Any(&FacetRelease);
    if (dual) {
      table[3] = Any(&FacetGetTypeInfoCount);
      table[4] = Any(&FacetGetTypeInfo);
      table[5] = Any(&FacetGetIDsOfNames);
      table[6] = Any(&FacetInvoke);
    }
  }
  return table;
}

// An argument of a vtable call as a VARIANT that the handlers read.
HRESULT ArgumentOf(const ParamInfo& param, Raw raw, VARIANT& value) {
  VariantInit(&value);
  if (param.vt == VT_VARIANT) return VariantCopy(&value, reinterpret_cast<VARIANT*>(raw));
  value.vt = param.vt;
  std::memcpy(&value.llVal, &raw, Width(param.vt));
  if (param.vt == VT_BSTR) value.bstrVal = SysAllocString(value.bstrVal);
  if ((param.vt == VT_DISPATCH || param.vt == VT_UNKNOWN) && value.punkVal)
    value.punkVal->AddRef();
  return S_OK;
}

void ClearOut(const ParamInfo& param, void* out) {
  if (out && param.vt == VT_VARIANT)
    VariantInit(static_cast<VARIANT*>(out));
  else if (out)
    std::memset(out, 0, Width(param.vt));
}

// The handler's answer into the declared [out,retval] type.
HRESULT WriteOut(const ParamInfo& param, VARIANT& result, void* out) {
  if (param.vt == VT_VARIANT) return VariantCopy(static_cast<VARIANT*>(out), &result);
  if (param.vt == VT_DISPATCH || param.vt == VT_UNKNOWN) {
    if (result.vt == VT_EMPTY || ((result.vt == VT_DISPATCH || result.vt == VT_UNKNOWN) &&
                                  !result.punkVal))
      return S_OK;
    if (result.vt != VT_DISPATCH && result.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    return result.punkVal->QueryInterface(param.iid, static_cast<void**>(out));
  }
  HRESULT hr = result.vt == param.vt ? S_OK : VariantChangeType(&result, &result, 0, param.vt);
  if (FAILED(hr)) return hr;
  std::memcpy(out, &result.llVal, Width(param.vt));
  if (param.vt == VT_BSTR) result.vt = VT_EMPTY;  // handed over
  return S_OK;
}

}  // namespace

long LiveObjects() { return g_live; }

namespace {
void (*g_enter)() = nullptr;
void (*g_leave)() = nullptr;
thread_local int t_depth = 0;

// Marks a call that reached an object of the client, for ObserveCalls.
class Inside {
 public:
  Inside() {
    if (t_depth++ == 0 && g_enter) g_enter();
  }
  ~Inside() {
    if (--t_depth == 0 && g_leave) g_leave();
  }
  Inside(const Inside&) = delete;
  Inside& operator=(const Inside&) = delete;
};
}  // namespace

void ObserveCalls(void (*enter)(), void (*leave)()) {
  g_enter = enter;
  g_leave = leave;
}

AutoObject::AutoObject() { InterlockedIncrement(&g_live); }

AutoObject::~AutoObject() {
  for (auto& [name, value] : m_properties) VariantClear(&value);
  for (Facet* facet : m_facets) delete facet;
  InterlockedDecrement(&g_live);
}

bool AutoObject::Typed() const {
  return std::any_of(m_iids.begin(), m_iids.end(),
                     [](const IID& iid) { return ClientInterface(iid) != nullptr; });
}

Facet* AutoObject::FacetOf(const IID& iid) {
  for (Facet* facet : m_facets)
    if (facet->iid == iid) return facet;
  const InterfaceInfo* info = ClientInterface(iid);
  if (!info) return nullptr;
  m_facets.push_back(new Facet{Table(info->dual), this, info, iid});
  return m_facets.back();
}

Facet* AutoObject::DualFacet() {
  for (const IID& iid : m_iids) {
    const InterfaceInfo* info = ClientInterface(iid);
    if (info && info->dual) return FacetOf(iid);
  }
  return nullptr;
}

STDMETHODIMP AutoObject::QueryInterface(REFIID iid, void** object) {
  const Inside inside;
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch) {
    *object = static_cast<IDispatch*>(this);
  } else if (std::find(m_iids.begin(), m_iids.end(), iid) != m_iids.end()) {
    Facet* facet = FacetOf(iid);
    *object = facet ? static_cast<void*>(facet) : static_cast<IDispatch*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) AutoObject::AddRef() {
  const Inside inside;
  return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

STDMETHODIMP_(ULONG) AutoObject::Release() {
  const Inside inside;
  ULONG refs = static_cast<ULONG>(InterlockedDecrement(&m_refs));
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP AutoObject::GetTypeInfoCount(UINT* count) {
  const Inside inside;
  if (!count) return E_POINTER;
  *count = DualFacet() ? 1 : 0;
  return S_OK;
}

STDMETHODIMP AutoObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  const Inside inside;
  if (!info) return E_POINTER;
  *info = nullptr;
  Facet* dual = DualFacet();
  if (!dual) return E_NOTIMPL;
  if (index != 0) return DISP_E_BADINDEX;
  *info = dual->info->info;
  (*info)->AddRef();
  return S_OK;
}

std::wstring AutoObject::Key(const std::wstring& name) const {
  std::wstring key = name;
  for (wchar_t& c : key) c = static_cast<wchar_t>(std::towlower(c));
  return key;
}

DISPID AutoObject::IdOf(const std::wstring& name) {
  std::wstring key = Key(name);
  auto found = std::find(m_names.begin(), m_names.end(), key);
  if (found != m_names.end()) return static_cast<DISPID>(found - m_names.begin()) + 1;
  m_names.push_back(key);
  return static_cast<DISPID>(m_names.size());
}

STDMETHODIMP AutoObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  const Inside inside;
  if (!names || !ids) return E_POINTER;
  if (Facet* dual = DualFacet()) return dual->info->info->GetIDsOfNames(names, count, ids);
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    std::wstring key = Key(names[i]);
    // An object of the client's library without a dual interface has no names at all.
    if (i == 0 && !Typed() &&
        (m_properties.count(key) || m_methods.count(key) || m_failures.count(key))) {
      ids[i] = IdOf(key);
    } else {
      ids[i] = DISPID_UNKNOWN;
      hr = DISP_E_UNKNOWNNAME;
    }
  }
  return hr;
}

STDMETHODIMP AutoObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  const Inside inside;
  if (Facet* dual = DualFacet()) {
    // Wine's ITypeInfo::Invoke passes surplus arguments over in silence; the client refuses
    // a call with more arguments than declared, as Windows does.
    for (const auto& [slot, member] : dual->info->slots)
      if (member.id == id && (member.kind & flags) && params && params->cArgs > member.arguments)
        return DISP_E_BADPARAMCOUNT;
    return dual->info->info->Invoke(dual, id, flags, params, result, exception, argError);
  }
  if (Typed() || id < 1 || static_cast<size_t>(id) > m_names.size()) return DISP_E_MEMBERNOTFOUND;
  const std::wstring key = m_names[static_cast<size_t>(id) - 1];
  // Arguments come last to first; handlers take them in natural order.
  std::vector<VARIANT*> args;
  UINT positional = params ? params->cArgs - params->cNamedArgs : 0;
  for (UINT i = 0; i < positional; ++i) args.push_back(&params->rgvarg[params->cArgs - 1 - i]);
  int kind = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF) ? INVOKE_PROPERTYPUT
             : flags & DISPATCH_METHOD                               ? INVOKE_FUNC
                                                                     : INVOKE_PROPERTYGET;
  if (kind == INVOKE_PROPERTYPUT && (!params || params->cArgs < 1)) return DISP_E_BADPARAMCOUNT;
  if (kind == INVOKE_PROPERTYPUT) args.assign(1, &params->rgvarg[0]);
  Variant ignored;
  HRESULT hr = Perform(key, kind, args, result ? result : &ignored);
  return hr == E_NOTIMPL ? DISP_E_MEMBERNOTFOUND : hr;
}

// A member reached by name or through the vtable: a put stores its value, a handler answers
// when there is one, else a get answers the bag's value.
HRESULT AutoObject::Perform(const std::wstring& name, int kind, std::vector<VARIANT*>& args,
                            VARIANT* result) {
  const std::wstring key = Key(name);
  ++m_calls[key];
  auto failure = m_failures.find(key);
  if (failure != m_failures.end()) return failure->second;
  if (kind == INVOKE_PROPERTYPUT || kind == INVOKE_PROPERTYPUTREF) {
    if (args.empty()) return DISP_E_BADPARAMCOUNT;
    Variant copy;
    HRESULT hr = VariantCopyInd(&copy, args.back());
    if (SUCCEEDED(hr)) Set(key, copy);
    return hr;
  }
  auto method = m_methods.find(key);
  if (method != m_methods.end()) return method->second(args, result);
  auto property = m_properties.find(key);
  if (property == m_properties.end()) return E_NOTIMPL;
  return VariantCopy(result, &property->second);
}

HRESULT AutoObject::CallSlot(const Facet& facet, int slot, const ULONG_PTR* raw) {
  const Inside inside;
  auto found = facet.info->slots.find(slot);
  if (found == facet.info->slots.end()) return E_NOTIMPL;
  const MemberInfo& member = found->second;
  if (member.params.size() > kArguments) return E_NOTIMPL;
  std::vector<VARIANT> owned(member.params.size());
  std::vector<VARIANT*> args;
  void* out = nullptr;
  const ParamInfo* outParam = nullptr;
  HRESULT hr = S_OK;
  for (size_t i = 0; i < member.params.size(); ++i) {
    const ParamInfo& param = member.params[i];
    VariantInit(&owned[i]);
    if (param.flags & PARAMFLAG_FRETVAL) {
      out = reinterpret_cast<void*>(raw[i]);
      outParam = &param;
      if (!out) hr = E_POINTER;
      ClearOut(param, out);
    } else if (param.level == 1 && param.vt == VT_VARIANT) {
      args.push_back(reinterpret_cast<VARIANT*>(raw[i]));  // [in,out]: the caller's own
    } else {
      if (SUCCEEDED(hr) && param.level == 0) hr = ArgumentOf(param, raw[i], owned[i]);
      args.push_back(&owned[i]);
    }
  }
  Variant result;
  if (SUCCEEDED(hr)) hr = Perform(member.name, member.kind, args, &result);
  if (SUCCEEDED(hr) && out) {
    const HRESULT written = WriteOut(*outParam, result, out);
    if (FAILED(written)) hr = written;
  }
  for (VARIANT& value : owned) VariantClear(&value);
  return hr;
}

void AutoObject::Set(const std::wstring& name, const VARIANT& value) {
  VARIANT& slot = m_properties[Key(name)];
  VariantClear(&slot);
  VariantCopy(&slot, const_cast<VARIANT*>(&value));
}

namespace {
// A VARIANT of a handler's type made from the bytes of its value (not a BSTR: not copied).
VARIANT Scalar(VARTYPE vt, const void* bytes) {
  VARIANT value;
  VariantInit(&value);
  value.vt = vt;
  std::memcpy(&value.llVal, bytes, Width(vt));
  return value;
}
}  // namespace

void AutoObject::SetLong(const std::wstring& name, long value) { Set(name, Scalar(VT_I4, &value)); }

void AutoObject::SetString(const std::wstring& name, const std::wstring& value) {
  BSTR text = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  Set(name, Scalar(VT_BSTR, &text));
  SysFreeString(text);
}

void AutoObject::SetBool(const std::wstring& name, bool value) {
  const VARIANT_BOOL flag = value ? VARIANT_TRUE : VARIANT_FALSE;
  Set(name, Scalar(VT_BOOL, &flag));
}

void AutoObject::SetDate(const std::wstring& name, DATE value) {
  Set(name, Scalar(VT_DATE, &value));
}

void AutoObject::SetObject(const std::wstring& name, IDispatch* object) {
  Set(name, Scalar(VT_DISPATCH, &object));
}

void AutoObject::Remove(const std::wstring& name) {
  auto found = m_properties.find(Key(name));
  if (found == m_properties.end()) return;
  VariantClear(&found->second);
  m_properties.erase(found);
}

bool AutoObject::Get(const std::wstring& name, VARIANT* value) const {
  VariantInit(value);
  auto found = m_properties.find(Key(name));
  if (found == m_properties.end()) return false;
  return SUCCEEDED(VariantCopy(value, const_cast<VARIANT*>(&found->second)));
}

std::wstring AutoObject::GetString(const std::wstring& name) const {
  VARIANT value;
  std::wstring text = Get(name, &value) ? TextOf(value) : L"";
  VariantClear(&value);
  return text;
}

long AutoObject::GetLong(const std::wstring& name) const {
  VARIANT value;
  long number = Get(name, &value) ? NumberOf(value) : 0;
  VariantClear(&value);
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

}  // namespace

AutoObject* NewObject() { return new Plain; }

AutoObject* NewObject(const IID& iid) {
  AutoObject* object = new Plain;
  object->Answer(iid);
  return object;
}

}  // namespace tb
