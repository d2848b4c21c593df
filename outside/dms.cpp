#include "outside/dms.h"

#include <algorithm>

namespace dms {

using vpdf::Variant;

HRESULT Object::Query(IUnknown* unknown, REFIID iid, Object& out) {
  if (!unknown) return E_POINTER;
  vpdf::ComPtr<IDispatch> object;
  HRESULT hr = unknown->QueryInterface(iid, object.PutVoid());
  if (SUCCEEDED(hr)) out = Object(std::move(object));
  return hr;
}

HRESULT Object::Invoke(const wchar_t* member, WORD flags, Args& args, VARIANT* result) const {
  if (!m_object) return E_POINTER;
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(member);
  HRESULT hr = m_object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  // DISPPARAMS carries the arguments last to first.
  std::vector<VARIANT> reversed(args.size());
  std::transform(args.rbegin(), args.rend(), reversed.begin(), [](Variant& v) { return *v.Get(); });
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  return m_object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                          nullptr);
}

Got<Variant> Object::Property(const wchar_t* member, Args args) const {
  Got<Variant> got;
  got.hr = Invoke(member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, got.value.Put());
  return got;
}

HRESULT Object::PutProperty(const wchar_t* member, Variant value) const {
  Args args;
  args.push_back(std::move(value));
  return Invoke(member, DISPATCH_PROPERTYPUT, args, nullptr);
}

Got<Variant> Object::Call(const wchar_t* member, Args args) const {
  Got<Variant> got;
  got.hr = Invoke(member, DISPATCH_METHOD, args, got.value.Put());
  return got;
}

namespace {

// The property converted to `type`; a value that does not convert is a failure.
Got<Variant> Typed(const Object& object, const wchar_t* member, VARTYPE type) {
  Got<Variant> got = object.Property(member);
  if (got.Ok() && got.value.Type() != type)
    got.hr = VariantChangeType(got.value.Get(), got.value.Get(), 0, type);
  return got;
}

}  // namespace

Got<LONG> Object::LongProperty(const wchar_t* member) const {
  Got<Variant> v = Typed(*this, member, VT_I4);
  return {v.hr, v.Ok() ? v.value.Get()->lVal : 0};
}

Got<std::wstring> Object::StringProperty(const wchar_t* member) const {
  Got<Variant> v = Typed(*this, member, VT_BSTR);
  Got<std::wstring> got{v.hr, {}};
  if (v.Ok() && v.value.Get()->bstrVal)
    got.value.assign(v.value.Get()->bstrVal, SysStringLen(v.value.Get()->bstrVal));
  return got;
}

Got<bool> Object::BoolProperty(const wchar_t* member) const {
  Got<Variant> v = Typed(*this, member, VT_BOOL);
  return {v.hr, v.Ok() && v.value.Get()->boolVal == VARIANT_TRUE};
}

Got<DATE> Object::DateProperty(const wchar_t* member) const {
  Got<Variant> v = Typed(*this, member, VT_DATE);
  return {v.hr, v.Ok() ? v.value.Get()->date : 0.0};
}

Got<Object> Object::ObjectProperty(const wchar_t* member) const {
  Got<Variant> v = Property(member);
  Got<Object> got{v.hr, {}};
  if (!v.Ok()) return got;
  VARIANT* value = v.value.Get();
  IUnknown* unknown = value->vt == VT_DISPATCH ? value->pdispVal
                      : value->vt == VT_UNKNOWN ? value->punkVal
                                                : nullptr;
  if (!unknown) {
    got.hr = value->vt == VT_DISPATCH || value->vt == VT_UNKNOWN ? E_POINTER : DISP_E_TYPEMISMATCH;
    return got;
  }
  vpdf::ComPtr<IDispatch> object;
  got.hr = unknown->QueryInterface(IID_IDispatch, object.PutVoid());
  if (SUCCEEDED(got.hr)) got.value = Object(std::move(object));
  return got;
}

namespace {

template <class T>
Got<T> As(Got<Object> got) {
  return {got.hr, T(vpdf::ComPtr<IDispatch>(got.value.Get()))};
}

}  // namespace

Got<Session> Database::GetSession() const { return As<Session>(ObjectProperty(member::kSession)); }

HRESULT Document::From(IUnknown* unknown, Document& out) {
  Object object;
  HRESULT hr = Query(unknown, IID_INRTDocument, object);
  if (SUCCEEDED(hr)) out = Document(vpdf::ComPtr<IDispatch>(object.Get()));
  return hr;
}

Got<Database> Document::GetDatabase() const { return As<Database>(ObjectProperty(member::kDatabase)); }

Got<DocumentType> Document::Type() const { return As<DocumentType>(ObjectProperty(member::kType)); }

Got<Document> Database::CreateDocument() const {
  Got<Object> created = ObjectProperty(member::kCreateDocument);
  return {created.hr, Document(vpdf::ComPtr<IDispatch>(created.value.Get()))};
}

HRESULT Document::PutCheckoutPath(const std::wstring& path) const {
  return PutProperty(member::kCheckoutPath, Variant::String(path));
}

HRESULT Document::CheckOut(const std::wstring& path, LONG mode, DATE due,
                           const std::wstring& comment, LONG option,
                           const std::wstring& application, const std::wstring& text) const {
  Args args;
  args.push_back(Variant::String(path));
  args.push_back(Variant::Long(mode));
  Variant date;
  date.Get()->vt = VT_DATE;
  date.Get()->date = due;
  args.push_back(std::move(date));
  args.push_back(Variant::String(comment));
  args.push_back(Variant::Long(option));
  args.push_back(Variant::String(application));
  args.push_back(Variant::String(text));
  return Call(member::kCheckOut, std::move(args)).hr;
}

HRESULT Document::CheckIn(const std::wstring& path, LONG mode, LONG option1, LONG option2,
                          const std::wstring& application, const std::wstring& text1,
                          const std::wstring& text2, LONG* result) const {
  LONG answer = 0;
  Args args;
  args.push_back(Variant::String(path));
  args.push_back(Variant::Long(mode));
  args.push_back(Variant::Long(option1));
  args.push_back(Variant::Long(option2));
  args.push_back(Variant::String(application));
  args.push_back(Variant::String(text1));
  args.push_back(Variant::String(text2));
  Variant out;
  out.Get()->vt = VT_BYREF | VT_I4;
  out.Get()->plVal = &answer;
  args.push_back(std::move(out));
  HRESULT hr = Call(member::kCheckIn, std::move(args)).hr;
  if (result) *result = answer;
  return hr;
}

HRESULT Document::UnlockContent() const { return Call(member::kUnlockContent).hr; }

HRESULT Document::RelateDocument(LONG number, const std::wstring& text, bool& related) const {
  VARIANT_BOOL answer = VARIANT_FALSE;
  Args args;
  args.push_back(Variant::Long(number));
  args.push_back(Variant::String(text));
  Variant out;
  out.Get()->vt = VT_BYREF | VT_BOOL;
  out.Get()->pboolVal = &answer;
  args.push_back(std::move(out));
  HRESULT hr = Call(member::kRelateDocument, std::move(args)).hr;
  related = SUCCEEDED(hr) && answer == VARIANT_TRUE;
  return hr;
}

Got<Named> Document::Operator() const { return As<Named>(ObjectProperty(member::kOperator)); }

Got<Named> Document::LastUser() const { return As<Named>(ObjectProperty(member::kLastUser)); }

Got<Named> Document::InUseBy() const { return As<Named>(ObjectProperty(member::kInUseBy)); }

Got<Named> Document::Author() const { return As<Named>(ObjectProperty(member::kAuthor)); }

Got<Named> Document::Class() const { return As<Named>(ObjectProperty(member::kClass)); }

Got<Named> Document::SubClass() const { return As<Named>(ObjectProperty(member::kSubClass)); }

Got<Variant> Document::Attribute(LONG number) const {
  Args args;
  args.push_back(Variant::Long(number));
  return Call(member::kGetAttributeValueByID, std::move(args));
}

HRESULT Document::GetCopy(const std::wstring& path) const {
  Args args;
  args.push_back(Variant::String(path));
  args.push_back(Variant::Long(0));
  Got<Variant> result = Call(member::kGetCopy, std::move(args));
  if (FAILED(result.hr)) return result.hr;
  // The client answers a negative number when the copy failed.
  Variant code = std::move(result.value);
  if (code.Type() != VT_EMPTY && SUCCEEDED(VariantChangeType(code.Get(), code.Get(), 0, VT_I4)) &&
      code.Get()->lVal < 0)
    return code.Get()->lVal;
  return S_OK;
}

HRESULT Dialog::SetAttribute(LONG number, const Variant& value) const {
  Args args;
  args.push_back(Variant::Long(number));
  args.push_back(value);
  args.push_back(Variant::Bool(true));
  return Call(member::kSetAttributeValueByID, std::move(args)).hr;
}

HRESULT Document::AddHistory(LONG activity, const std::wstring& application, LONG number1,
                             LONG number2, const std::wstring& comment, const std::wstring& text1,
                             const std::wstring& text2) const {
  Args args;
  args.push_back(Variant::Long(activity));
  args.push_back(Variant::String(application));
  args.push_back(Variant::Long(number1));
  args.push_back(Variant::Long(number2));
  args.push_back(Variant::String(comment));
  args.push_back(Variant::String(text1));
  args.push_back(Variant::String(text2));
  return Call(member::kAddHistory, std::move(args)).hr;
}

}  // namespace dms
