// What the files of tbdms.dll share among themselves: the module's lock and path, class
// objects, and reading a VARIANT as text or number.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <tuple>

namespace tb {

inline constexpr GUID kLibIManExt = {0x7583B91A, 0x3857, 0x11D2, {0xAC, 0xDF, 0x00, 0xA0, 0xC9, 0x70, 0xF4, 0x9D}};

void LockModule(bool lock);
std::wstring ModulePath();

// A VARIANT that clears itself.
struct Variant : VARIANT {
  Variant() { VariantInit(this); }
  ~Variant() { VariantClear(this); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
};

inline std::wstring TextOf(const VARIANT& value) {
  VARIANT text;
  VariantInit(&text);
  std::wstring result;
  if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR)) &&
      text.bstrVal)
    result.assign(text.bstrVal, SysStringLen(text.bstrVal));
  VariantClear(&text);
  return result;
}

inline long NumberOf(const VARIANT& value) {
  VARIANT number;
  VariantInit(&number);
  long result = 0;
  if (SUCCEEDED(VariantChangeType(&number, const_cast<VARIANT*>(&value), 0, VT_I4)))
    result = number.lVal;
  VariantClear(&number);
  return result;
}

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
