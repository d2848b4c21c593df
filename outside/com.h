// Owners of the COM values that the DMS client's declarations pass: interface pointers, BSTR,
// VARIANT and SAFEARRAY, and the COM error that an unchecked failure raises.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <string>
#include <utility>

namespace vpdf {

// An object-model failure that the code does not test itself; caught at the
// outer level of a command's Execute.
class ComError {
 public:
  explicit ComError(HRESULT hr) : m_hr(hr) {}
  HRESULT Error() const { return m_hr; }
  std::wstring Message() const;

 private:
  HRESULT m_hr;
};

inline void ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) throw ComError(hr);
}

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* p) : m_p(p) {  // NOLINT: takes its own reference, like the pointer it copies
    if (m_p) m_p->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
  ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ~ComPtr() { Reset(); }
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }

  static ComPtr Adopt(T* p) {
    ComPtr result;
    result.m_p = p;
    return result;
  }
  void Reset() {
    if (T* p = std::exchange(m_p, nullptr)) p->Release();
  }
  T* Detach() { return std::exchange(m_p, nullptr); }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // Out parameter: releases what is held first.
  T** Put() {
    Reset();
    return &m_p;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>& out) const {
    if (!m_p) return E_POINTER;
    return m_p->QueryInterface(iid, out.PutVoid());
  }

 private:
  T* m_p = nullptr;
};

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* text) : m_s(text ? SysAllocString(text) : nullptr) {
    if (text && !m_s) throw ComError(E_OUTOFMEMORY);
  }
  explicit Bstr(const std::wstring& text)
      : m_s(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (!m_s) throw ComError(E_OUTOFMEMORY);
  }
  Bstr(const Bstr& other) : Bstr(static_cast<const wchar_t*>(other.m_s)) {}
  Bstr(Bstr&& other) noexcept : m_s(std::exchange(other.m_s, nullptr)) {}
  ~Bstr() { SysFreeString(m_s); }
  Bstr& operator=(Bstr other) noexcept {
    std::swap(m_s, other.m_s);
    return *this;
  }
  static Bstr Adopt(BSTR s) {
    Bstr result;
    result.m_s = s;
    return result;
  }
  BSTR Get() const { return m_s; }
  BSTR Detach() { return std::exchange(m_s, nullptr); }
  BSTR* Put() {
    SysFreeString(std::exchange(m_s, nullptr));
    return &m_s;
  }
  bool Empty() const { return SysStringLen(m_s) == 0; }
  std::wstring Str() const { return m_s ? std::wstring(m_s, SysStringLen(m_s)) : std::wstring(); }
  // For %S in log formats: never null.
  const wchar_t* c_str() const { return m_s ? m_s : L""; }

 private:
  BSTR m_s = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&m_v); }
  Variant(const Variant& other) : Variant() {
    ThrowIfFailed(VariantCopy(&m_v, const_cast<VARIANT*>(&other.m_v)));
  }
  Variant(Variant&& other) noexcept : m_v(other.m_v) { VariantInit(&other.m_v); }
  ~Variant() { VariantClear(&m_v); }
  Variant& operator=(Variant other) noexcept {
    std::swap(m_v, other.m_v);
    return *this;
  }

  static Variant Long(LONG value) {
    Variant v;
    v.m_v.vt = VT_I4;
    v.m_v.lVal = value;
    return v;
  }
  static Variant Bool(bool value) {
    Variant v;
    v.m_v.vt = VT_BOOL;
    v.m_v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  static Variant String(const wchar_t* text) {
    Variant v;
    v.m_v.vt = VT_BSTR;
    v.m_v.bstrVal = Bstr(text).Detach();
    return v;
  }
  static Variant String(const std::wstring& text) {
    Variant v;
    v.m_v.vt = VT_BSTR;
    v.m_v.bstrVal = Bstr(text).Detach();
    return v;
  }
  static Variant Dispatch(IDispatch* object) {
    Variant v;
    v.m_v.vt = VT_DISPATCH;
    v.m_v.pdispVal = object;
    if (object) object->AddRef();
    return v;
  }
  static Variant Unknown(IUnknown* object) {
    Variant v;
    v.m_v.vt = VT_UNKNOWN;
    v.m_v.punkVal = object;
    if (object) object->AddRef();
    return v;
  }

  VARIANT* Get() { return &m_v; }
  const VARIANT* Get() const { return &m_v; }
  VARIANT* Put() {
    VariantClear(&m_v);
    return &m_v;
  }
  VARIANT Detach() {
    VARIANT v = m_v;
    VariantInit(&m_v);
    return v;
  }
  VARTYPE Type() const { return m_v.vt; }

 private:
  VARIANT m_v;
};

class SafeArray {
 public:
  SafeArray() = default;
  explicit SafeArray(SAFEARRAY* array) : m_a(array) {}
  SafeArray(const SafeArray&) = delete;
  SafeArray& operator=(const SafeArray&) = delete;
  SafeArray(SafeArray&& other) noexcept : m_a(std::exchange(other.m_a, nullptr)) {}
  ~SafeArray() {
    if (m_a) SafeArrayDestroy(m_a);
  }
  SAFEARRAY* Get() const { return m_a; }
  SAFEARRAY* Detach() { return std::exchange(m_a, nullptr); }
  // Elements of a one-dimensional array (upper bound - lower bound + 1); 0 when none.
  LONG Count() const;
  LONG Lower() const;

 private:
  SAFEARRAY* m_a = nullptr;
};

}  // namespace vpdf
