#include "commands/selected_items.h"

namespace vpdf {

SAFEARRAY* SelectionArray(const VARIANT* selection) {
  return selection && selection->vt == kSelectionType ? selection->parray : nullptr;
}

bool ReadSelectionValue(const ContextReader& read, Variant& selection) {
  return SUCCEEDED(read(kSelectedNRTDocuments, kSelectionType, selection.Put())) ||
         SUCCEEDED(read(kSelectedIManObjects, kSelectionType, selection.Put()));
}

HRESULT SelectionBounds(const ContextReader& read, bool objectsWhenEmpty, VARIANT* selection,
                        LONG& lower, LONG& upper, SelectionFault& fault) {
  fault = SelectionFault::kNone;
  HRESULT hr = SafeArrayGetLBound(SelectionArray(selection), 1, &lower);
  if (FAILED(hr)) {
    fault = SelectionFault::kLowerBound;
    return hr;
  }
  hr = SafeArrayGetUBound(SelectionArray(selection), 1, &upper);
  if (FAILED(hr)) {
    fault = SelectionFault::kUpperBound;
    return hr;
  }
  if (!objectsWhenEmpty || upper - lower + 1 != 0) return S_OK;

  Variant objects;
  hr = read(kSelectedIManObjects, kSelectionType, objects.Put());
  if (hr == S_FALSE) hr = E_FAIL;  // no context collection at all
  if (FAILED(hr)) {
    fault = SelectionFault::kNoObjects;
    return hr;
  }
  VariantClear(selection);
  *selection = objects.Detach();
  hr = SafeArrayGetLBound(SelectionArray(selection), 1, &lower);
  if (FAILED(hr)) {
    fault = SelectionFault::kObjectsLowerBound;
    return hr;
  }
  hr = SafeArrayGetUBound(SelectionArray(selection), 1, &upper);
  if (FAILED(hr)) fault = SelectionFault::kObjectsUpperBound;
  return hr;
}

HRESULT SelectionElement(const VARIANT* selection, LONG index, ComPtr<IDispatch>& element) {
  HRESULT hr = SafeArrayGetElement(SelectionArray(selection), &index, element.Put());
  if (SUCCEEDED(hr) && !element) hr = E_POINTER;
  return hr;
}

bool SameTextNoCase(const std::wstring& text, const wchar_t* other) {
  return CompareStringOrdinal(text.c_str(), static_cast<int>(text.size()), other, -1, TRUE) ==
         CSTR_EQUAL;
}

HRESULT ResolveShortcut(IDispatch* item, dms::Document& out, SelectionFault* fault) {
  SelectionFault unused;
  SelectionFault& step = fault ? *fault : unused;
  step = SelectionFault::kNotShortcut;
  if (!item) return E_POINTER;
  ComPtr<IUnknown> probe;
  HRESULT hr = item->QueryInterface(dms::IID_IManObject, probe.PutVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IUnknown> target;
  hr = dms::ResolveShortcut(item, target);
  if (hr == E_NOINTERFACE) return hr;
  step = SelectionFault::kResolve;
  if (FAILED(hr)) return hr;
  if (!target) return E_POINTER;
  step = SelectionFault::kNotManDocument;
  hr = target->QueryInterface(dms::IID_IManDocument, probe.PutVoid());
  if (FAILED(hr)) return hr;
  // The client's document answers by name through its dual INRTDocument only.
  step = SelectionFault::kNotDocument;
  hr = dms::Document::From(target.Get(), out);
  if (SUCCEEDED(hr)) step = SelectionFault::kNone;
  return hr;
}

HRESULT SelectedTypeExtension(IDispatch* element, std::wstring& extension) {
  dms::Document document;
  if (FAILED(dms::Document::From(element, document))) {
    HRESULT hr = ResolveShortcut(element, document);
    if (FAILED(hr)) return hr;
  }
  auto type = document.Type();
  if (FAILED(type.hr)) return type.hr;
  if (!type.value) return E_POINTER;
  auto text = type.value.ApplicationExtension();
  if (FAILED(text.hr)) return text.hr;
  extension = std::move(text.value);
  return S_OK;
}

HRESULT SelectedDocument(IDispatch* element, dms::Document& out, SelectionFault* fault) {
  if (fault) *fault = SelectionFault::kNone;
  if (SUCCEEDED(dms::Document::From(element, out))) return S_OK;
  dms::Document manDocument;
  HRESULT hr = ResolveShortcut(element, manDocument, fault);
  if (FAILED(hr)) return hr;
  hr = dms::Document::From(manDocument.Get(), out);
  if (FAILED(hr) && fault) *fault = SelectionFault::kNotDocument;
  return hr;
}

LONG SelectionStatus(SAFEARRAY* array, LONG lower, LONG upper,
                     bool (*accept)(const std::wstring& extension)) {
  LONG status = 1;
  try {
    for (LONG i = lower; i <= upper; ++i) {
      vpdf::ComPtr<IDispatch> element;
      std::wstring extension;
      if (FAILED(SafeArrayGetElement(array, &i, element.Put())) || !element ||
          FAILED(SelectedTypeExtension(element.Get(), extension)) || !accept(extension))
        return 1;
      status = 0;
    }
  } catch (...) {
    // An object-model call that fails on the way leaves the command unavailable.
    return 1;
  }
  return status;
}

}  // namespace vpdf
