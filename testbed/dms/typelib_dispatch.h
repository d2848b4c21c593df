// What the testbed's COM classes share: IDispatch of the client's dual interfaces, answered
// from the registered IManExt type library, and their class objects.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <new>
#include <tuple>

namespace tb {

inline constexpr GUID kLibIManExt = {0x7583B91A, 0x3857, 0x11D2, {0xAC, 0xDF, 0x00, 0xA0, 0xC9, 0x70, 0xF4, 0x9D}};

template <class Interface>
class TypeLibDispatch : public Interface {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    return index == 0 ? Load(info) : DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    ITypeInfo* info = nullptr;
    HRESULT hr = Load(&info);
    if (FAILED(hr)) return hr;
    hr = info->GetIDsOfNames(names, count, ids);
    info->Release();
    return hr;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override {
    ITypeInfo* info = nullptr;
    HRESULT hr = Load(&info);
    if (FAILED(hr)) return hr;
    hr = info->Invoke(static_cast<Interface*>(this), id, flags, params, result, exception,
                      argError);
    info->Release();
    return hr;
  }

 private:
  static HRESULT Load(ITypeInfo** info) {
    ITypeLib* library = nullptr;
    HRESULT hr = LoadRegTypeLib(kLibIManExt, 1, 0, LOCALE_NEUTRAL, &library);
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(__uuidof(Interface), info);
    library->Release();
    return hr;
  }
};

void LockModule(bool lock);

// A class object that lives as long as the module; `T(args)` makes its objects (reference
// count 1), and every server lock locks the module.
template <class T, class... Args>
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(Args... args) : m_args(args...) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    T* created = std::apply([](Args... args) { return new (std::nothrow) T(args...); }, m_args);
    if (!created) return E_OUTOFMEMORY;
    HRESULT hr = created->QueryInterface(iid, object);
    created->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    LockModule(lock != FALSE);
    return S_OK;
  }

 private:
  std::tuple<Args...> m_args;
};

}  // namespace tb
