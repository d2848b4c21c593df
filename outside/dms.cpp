#include "outside/dms.h"

#include "IManage.h"

#include <algorithm>

namespace dms {

using vpdf::Variant;

HRESULT Object::Query(IUnknown* unknown, REFIID iid, Object& out) {
  if (!unknown) return E_POINTER;
  vpdf::ComPtr<IUnknown> asked;
  HRESULT hr = unknown->QueryInterface(iid, asked.PutVoid());
  if (FAILED(hr)) return hr;
  // The object's IDispatch is its dual interface's.
  vpdf::ComPtr<IDispatch> object;
  hr = asked->QueryInterface(IID_IDispatch, object.PutVoid());
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
  EXCEPINFO exception{};
  hr = m_object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception,
                        nullptr);
  if (hr == DISP_E_EXCEPTION) {
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    if (FAILED(exception.scode)) hr = exception.scode;
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  return hr;
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

HRESULT Document::CheckOutEx(const std::wstring& path, LONG options, DATE due,
                             const std::wstring& comment, LONG activity,
                             const std::wstring& application, const std::wstring& location) const {
  Args args;
  args.push_back(Variant::String(path));
  args.push_back(Variant::Long(options));
  Variant date;
  date.Get()->vt = VT_DATE;
  date.Get()->date = due;
  args.push_back(std::move(date));
  args.push_back(Variant::String(comment));
  args.push_back(Variant::Long(activity));
  args.push_back(Variant::String(application));
  args.push_back(Variant::String(location));
  return Call(member::kCheckOutEx, std::move(args)).hr;
}

HRESULT Document::CheckInEx(const std::wstring& path, LONG disposition, LONG options,
                            LONG activity, const std::wstring& application,
                            const std::wstring& comment, const std::wstring& location) const {
  VARIANT errors;
  VariantInit(&errors);
  Args args;
  args.push_back(Variant::String(path));
  args.push_back(Variant::Long(disposition));
  args.push_back(Variant::Long(options));
  args.push_back(Variant::Long(activity));
  args.push_back(Variant::String(application));
  args.push_back(Variant::String(comment));
  args.push_back(Variant::String(location));
  Variant byRef;
  byRef.Get()->vt = VT_BYREF | VT_VARIANT;
  byRef.Get()->pvarVal = &errors;
  args.push_back(std::move(byRef));
  HRESULT hr = Call(member::kCheckInEx, std::move(args)).hr;
  VariantClear(&errors);
  return hr;
}

HRESULT Document::UnlockDocument() const { return Call(member::kUnlockDocument).hr; }

HRESULT Document::RelateDocument(LONG number, const std::wstring& comments, bool& related) const {
  Args args;
  args.push_back(Variant::Long(number));
  args.push_back(Variant::String(comments));
  Got<Variant> answer = Call(member::kRelateDocument, std::move(args));
  related = answer.Ok() && answer.value.Type() == VT_BOOL &&
            answer.value.Get()->boolVal == VARIANT_TRUE;
  return answer.hr;
}

Got<std::wstring> Document::MhcText() const { return StringProperty(member::kMhcText); }

bool NotAMember(HRESULT hr) { return hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND; }

HRESULT ResolveShortcut(IUnknown* item, vpdf::ComPtr<IUnknown>& target) {
  target.Reset();
  if (!item) return E_POINTER;
  vpdf::ComPtr<IManContentShortcut> shortcut;
  HRESULT hr = item->QueryInterface(__uuidof(IManContentShortcut), shortcut.PutVoid());
  if (FAILED(hr)) return hr;
  vpdf::ComPtr<IManContent> content;
  hr = shortcut->Resolve(content.Put());
  if (SUCCEEDED(hr) && content) hr = content->QueryInterface(IID_IUnknown, target.PutVoid());
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
  return Call(member::kGetAttributeByID, std::move(args));
}

HRESULT Document::GetCopy(const std::wstring& path) const {
  Args args;
  args.push_back(Variant::String(path));
  args.push_back(Variant::Long(0));
  return Call(member::kGetCopy, std::move(args)).hr;
}

HRESULT Dialog::SetAttribute(LONG number, const Variant& value) const {
  Args args;
  args.push_back(Variant::Long(number));
  args.push_back(value);
  args.push_back(Variant::Bool(true));
  return Call(member::kSetAttributeValueByID, std::move(args)).hr;
}

HRESULT Document::AddHistory(LONG activity, const std::wstring& application,
                             const std::wstring& comment) const {
  Got<Object> history = ObjectProperty(member::kHistoryList);
  if (FAILED(history.hr)) return history.hr;
  Args args;
  args.push_back(Variant::Long(activity));
  args.push_back(Variant::Long(0));  // duration
  args.push_back(Variant::Long(0));  // pages printed
  args.push_back(Variant::String(application));
  args.push_back(Variant::String(comment));
  for (int i = 0; i < 3; ++i) args.push_back(Variant::String(L""));  // location, custom 1 and 2
  return history.value.Call(member::kAdd, std::move(args)).hr;
}

}  // namespace dms
