#include "commands/command_impl.h"

#include <map>
#include <string>

#include "convutils/entry_guard.h"
#include "convutils/log.h"
#include "convutils/module.h"
#include "commands/identity.h"
#include "commands/selected_items.h"

namespace vpdf {
namespace {

// ICommand's type information from the client's registered IManExt library,
// loaded once for the process, with the names of its members for GetIDsOfNames.
struct CommandTypeInfo {
  ComPtr<ITypeInfo> info;
  std::map<std::wstring, DISPID> names;
};

CommandTypeInfo g_typeInfo;

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CommandBase");

HRESULT LoadCommandTypeInfo() {
  if (g_typeInfo.info) return S_OK;
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadRegTypeLib(LIBID_IManExt, 1, 0, LOCALE_NEUTRAL, library.Put());
  if (FAILED(hr)) return hr;
  ComPtr<ITypeInfo> info;
  hr = library->GetTypeInfoOfGuid(__uuidof(ICommand), info.Put());
  if (FAILED(hr)) return hr;
  TYPEATTR* attributes = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
      FUNCDESC* function = nullptr;
      if (FAILED(info->GetFuncDesc(i, &function))) continue;
      Bstr name;
      UINT found = 0;
      if (SUCCEEDED(info->GetNames(function->memid, name.Put(), 1, &found)) && found == 1)
        g_typeInfo.names.emplace(name.Str(), function->memid);
      info->ReleaseFuncDesc(function);
    }
    info->ReleaseTypeAttr(attributes);
  }
  g_typeInfo.info = info;
  return S_OK;
}

// Every property goes through one of the helpers below, each guarded: nothing it throws reaches
// the client.
HRESULT GetString(const Bstr& stored, BSTR* value) {
  return GuardedHr(kLog, "get property", [&]() -> HRESULT {
    if (!value) return E_POINTER;
    *value = nullptr;
    if (!stored.Get()) return S_OK;
    *value = SysAllocStringLen(stored.Get(), SysStringLen(stored.Get()));
    return *value ? S_OK : E_OUTOFMEMORY;
  });
}

HRESULT PutString(Bstr& stored, BSTR value) {
  return GuardedHr(kLog, "put property", [&]() -> HRESULT {
    BSTR copy = value ? SysAllocStringLen(value, SysStringLen(value)) : nullptr;
    if (value && !copy) return E_OUTOFMEMORY;
    stored = Bstr::Adopt(copy);
    return S_OK;
  });
}

HRESULT GetVariant(const Variant& stored, VARIANT* value) {
  return GuardedHr(kLog, "get property", [&]() -> HRESULT {
    if (!value) return E_POINTER;
    VariantInit(value);
    return VariantCopy(value, const_cast<VARIANT*>(stored.Get()));
  });
}

HRESULT PutVariant(Variant& stored, const VARIANT& value) {
  return GuardedHr(kLog, "put property", [&]() -> HRESULT {
    Variant copy;
    HRESULT hr = VariantCopy(copy.Get(), const_cast<VARIANT*>(&value));
    if (SUCCEEDED(hr)) stored = std::move(copy);
    return hr;
  });
}

template <class T>
HRESULT GetNumber(T stored, T* value) {
  if (!value) return E_POINTER;
  *value = stored;
  return S_OK;
}

// How many bytes of a VARIANT's value field a context value of `type` moves;
// 0 for the types that move as a whole VARIANT, -1 for a type not supported.
int ContextValueSize(VARTYPE type) {
  switch (type) {
    case VT_I2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_DECIMAL:
      return 8;
    case VT_VARIANT:
    case VT_ARRAY | VT_BSTR:
    case VT_ARRAY | VT_DISPATCH:
      return 0;
    default:
      return -1;
  }
}

}  // namespace

void ReleaseCommandTypeInfo() {
  g_typeInfo.info.Reset();
  g_typeInfo.names.clear();
}

ICommandImpl::ICommandImpl() { Module::Instance().Lock(); }

ICommandImpl::~ICommandImpl() { Module::Instance().Unlock(); }

const CommandEnvironment& ICommandImpl::Environment() {
  if (!m_environment) m_environment = SharedCommandEnvironment();
  return *m_environment;
}

STDMETHODIMP ICommandImpl::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ICommand))
    *object = static_cast<ICommand*>(this);
  else if (iid == IID_ISupportErrorInfo)
    *object = static_cast<ISupportErrorInfo*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

// Apartment-threaded: every call comes on the client's UI thread.
STDMETHODIMP_(ULONG) ICommandImpl::AddRef() { return ++m_refs; }

STDMETHODIMP_(ULONG) ICommandImpl::Release() {
  ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

STDMETHODIMP ICommandImpl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP ICommandImpl::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return GuardedHr(kLog, "GetTypeInfo", [&]() -> HRESULT {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    HRESULT hr = LoadCommandTypeInfo();
    if (FAILED(hr)) return hr;
    *info = g_typeInfo.info.Get();
    (*info)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP ICommandImpl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid,
                                         DISPID* ids) {
  return GuardedHr(kLog, "GetIDsOfNames", [&]() -> HRESULT {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = LoadCommandTypeInfo();
    if (FAILED(hr)) return hr;
    if (count == 1 && names[0]) {
      auto found = g_typeInfo.names.find(names[0]);
      if (found != g_typeInfo.names.end()) {
        ids[0] = found->second;
        return S_OK;
      }
    }
    (void)lcid;
    return g_typeInfo.info->GetIDsOfNames(names, count, ids);
  });
}

STDMETHODIMP ICommandImpl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  return GuardedHr(kLog, "Invoke", [&]() -> HRESULT {
    HRESULT hr = LoadCommandTypeInfo();
    if (FAILED(hr)) return hr;
    return g_typeInfo.info->Invoke(static_cast<ICommand*>(this), id, flags, params, result,
                                   exception, argError);
  });
}

STDMETHODIMP ICommandImpl::get_Name(BSTR* value) { return GetString(m_name, value); }
STDMETHODIMP ICommandImpl::put_Name(BSTR value) { return PutString(m_name, value); }
STDMETHODIMP ICommandImpl::get_DescriptionText(BSTR* value) {
  return GetString(m_descriptionText, value);
}
STDMETHODIMP ICommandImpl::put_DescriptionText(BSTR value) {
  return PutString(m_descriptionText, value);
}
STDMETHODIMP ICommandImpl::get_CommandKind(LONG* value) { return GetNumber(m_commandKind, value); }
STDMETHODIMP ICommandImpl::put_CommandKind(LONG value) {
  if (static_cast<ULONG>(value) > kMaxCommandKind) return E_INVALIDARG;
  m_commandKind = value;
  return S_OK;
}
STDMETHODIMP ICommandImpl::get_Status(LONG* value) { return GetNumber(m_status, value); }
STDMETHODIMP ICommandImpl::put_Status(LONG value) {
  m_status = value & kStatusMask;
  return S_OK;
}
STDMETHODIMP ICommandImpl::get_Tag(LONG* value) { return GetNumber(m_tag, value); }
STDMETHODIMP ICommandImpl::put_Tag(LONG value) {
  m_tag = value;
  return S_OK;
}
STDMETHODIMP ICommandImpl::get_MenuText(BSTR* value) { return GetString(m_menuText, value); }
STDMETHODIMP ICommandImpl::put_MenuText(BSTR value) { return PutString(m_menuText, value); }
STDMETHODIMP ICommandImpl::get_Bitmap(VARIANT* value) { return GetVariant(m_bitmap, value); }
STDMETHODIMP ICommandImpl::put_Bitmap(VARIANT value) { return PutVariant(m_bitmap, value); }
STDMETHODIMP ICommandImpl::get_Accelerator(LONG* value) { return GetNumber(m_accelerator, value); }
STDMETHODIMP ICommandImpl::put_Accelerator(LONG value) {
  m_accelerator = value;
  return S_OK;
}
STDMETHODIMP ICommandImpl::get_HelpText(BSTR* value) { return GetString(m_helpText, value); }
STDMETHODIMP ICommandImpl::put_HelpText(BSTR value) { return PutString(m_helpText, value); }
STDMETHODIMP ICommandImpl::get_AuxText(BSTR* value) { return GetString(m_auxText, value); }
STDMETHODIMP ICommandImpl::put_AuxText(BSTR value) { return PutString(m_auxText, value); }
STDMETHODIMP ICommandImpl::get_AuxValue(LONG* value) { return GetNumber(m_auxValue, value); }
STDMETHODIMP ICommandImpl::put_AuxValue(LONG value) {
  m_auxValue = value;
  return S_OK;
}

STDMETHODIMP ICommandImpl::get_Context(IContextItems** value) {
  return GuardedHr(kLog, "get_Context", [&]() -> HRESULT {
    if (!value) return E_POINTER;
    *value = m_context.Get();
    if (!*value) return E_FAIL;
    (*value)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP ICommandImpl::get_SubCommands(ICommands** value) {
  return GuardedHr(kLog, "get_SubCommands", [&]() -> HRESULT {
    if (!value) return E_POINTER;
    *value = nullptr;
    if (!m_subCommands) {
      CLSID clsid;
      HRESULT hr = CLSIDFromProgID(L"IManExt.Commands", &clsid);
      if (FAILED(hr)) return hr;
      hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, __uuidof(ICommands), m_subCommands.PutVoid());
      if (FAILED(hr)) return hr;
    }
    *value = m_subCommands.Get();
    (*value)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP ICommandImpl::putref_SubCommands(ICommands* value) {
  return GuardedHr(kLog, "putref_SubCommands", [&]() -> HRESULT {
    m_subCommands = ComPtr<ICommands>(value);
    return S_OK;
  });
}

STDMETHODIMP ICommandImpl::Initialize(IContextItems* value) {
  return GuardedHr(kLog, "Initialize", [&]() -> HRESULT {
    m_context = ComPtr<IContextItems>(value);
    return S_OK;
  });
}

STDMETHODIMP ICommandImpl::Update() {
  return GuardedHr(kLog, "Update", [&] { return OnUpdate(); });
}
// Execute's own guard (RunGuarded) logs and ends a run's failures; this one is the last resort for
// what each command does around it.
STDMETHODIMP ICommandImpl::Execute() {
  return GuardedHr(kLog, "Execute", [&] { return OnExecute(); });
}

STDMETHODIMP ICommandImpl::get_LargeBitmap(VARIANT* value) {
  return GetVariant(m_largeBitmap, value);
}
STDMETHODIMP ICommandImpl::put_LargeBitmap(VARIANT value) {
  return PutVariant(m_largeBitmap, value);
}
STDMETHODIMP ICommandImpl::get_AuxText2(BSTR* value) { return GetString(m_auxText2, value); }
STDMETHODIMP ICommandImpl::put_AuxText2(BSTR value) { return PutString(m_auxText2, value); }
STDMETHODIMP ICommandImpl::get_SmallIcon(VARIANT* value) { return GetVariant(m_smallIcon, value); }
STDMETHODIMP ICommandImpl::put_SmallIcon(VARIANT value) { return PutVariant(m_smallIcon, value); }
STDMETHODIMP ICommandImpl::get_LargeIcon(VARIANT* value) { return GetVariant(m_largeIcon, value); }
STDMETHODIMP ICommandImpl::put_LargeIcon(VARIANT value) { return PutVariant(m_largeIcon, value); }

STDMETHODIMP ICommandImpl::get_AuxFlag(short* value) {
  if (value) *value = m_auxFlag;
  return S_OK;
}
STDMETHODIMP ICommandImpl::put_AuxFlag(short value) {
  m_auxFlag = value;
  return S_OK;
}

STDMETHODIMP ICommandImpl::InterfaceSupportsErrorInfo(REFIID iid) {
  return iid == __uuidof(ICommand) || iid == IID_ICommand2 || iid == IID_ICommand3 ? S_OK : S_FALSE;
}

HRESULT ICommandImpl::GetContextValue(const wchar_t* name, VARTYPE expectedType, void* value) {
  if (!m_context) return S_FALSE;
  if (!value) return E_POINTER;
  Variant index = Variant::String(name);
  VARIANT read;
  VariantInit(&read);
  HRESULT hr = m_context->Item(*index.Get(), &read);
  if (FAILED(hr)) return hr;
  if (read.vt != expectedType) {
    VariantClear(&read);
    return E_INVALIDARG;
  }
  if (read.vt == VT_EMPTY) return S_FALSE;
  if (read.vt == VT_NULL) return S_OK;
  int size = ContextValueSize(read.vt);
  if (size < 0) {
    VariantClear(&read);
    return E_INVALIDARG;
  }
  // Strings, interfaces and arrays pass to the caller as they are: no copy, no clear.
  if (size == 0)
    *static_cast<VARIANT*>(value) = read;
  else
    memcpy(value, &read.llVal, static_cast<size_t>(size));
  return S_OK;
}

HRESULT ICommandImpl::SetContextValue(const wchar_t* name, VARTYPE type, const void* value) {
  int size = ContextValueSize(type);
  if (size < 0) return E_INVALIDARG;
  if (!m_context) return S_FALSE;
  if (!value) return E_POINTER;
  VARIANT item;
  VariantInit(&item);
  if (size == 0) {
    item = *static_cast<const VARIANT*>(value);
  } else {
    memcpy(&item.llVal, value, static_cast<size_t>(size));
    item.vt = type;
  }
  Bstr itemName(name);
  // The collection copies an [in] VARIANT; the caller keeps what it passed.
  return m_context->Add(itemName.Get(), item);
}

ContextReader ICommandImpl::ContextRead() {
  return [this](const wchar_t* name, VARTYPE type, void* value) {
    return GetContextValue(name, type, value);
  };
}

HRESULT ICommandImpl::ReadSelection(Variant& selection, LONG& lower, LONG& upper,
                                   SelectionFault* failedStep) {
  const ContextReader read = ContextRead();
  SelectionFault fault = SelectionFault::kNone;
  HRESULT hr = ReadSelectionValue(read, selection)
                   ? SelectionBounds(read, true, selection.Get(), lower, upper, fault)
                   : S_FALSE;
  if (failedStep) *failedStep = fault;
  if (fault == SelectionFault::kLowerBound || fault == SelectionFault::kUpperBound) return S_FALSE;
  return hr;
}

bool ICommandImpl::SelectionStatusOf(bool (*accept)(const std::wstring& extension),
                                     LONG& status) {
  Variant selection;
  LONG lower = 0, upper = -1;
  HRESULT hr = ReadSelection(selection, lower, upper);
  if (hr == S_FALSE) return false;
  status = SUCCEEDED(hr) ? SelectionStatus(SelectionArray(selection.Get()), lower, upper, accept)
                         : kDisabled;
  return true;
}

}  // namespace vpdf
