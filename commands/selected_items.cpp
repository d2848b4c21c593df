#include "commands/selected_items.h"

namespace vpdf {

SAFEARRAY* SelectionArray(const VARIANT* selection) {
  return selection && selection->vt == kSelectionType ? selection->parray : nullptr;
}

bool SameTextNoCase(const std::wstring& text, const wchar_t* other) {
  return CompareStringOrdinal(text.c_str(), static_cast<int>(text.size()), other, -1, TRUE) ==
         CSTR_EQUAL;
}

HRESULT ResolveShortcut(IDispatch* item, dms::Document& out) {
  if (!item) return E_POINTER;
  ComPtr<IUnknown> probe;
  HRESULT hr = item->QueryInterface(dms::IID_IManObject, probe.PutVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IUnknown> target;
  hr = dms::ResolveShortcut(item, target);
  if (FAILED(hr)) return hr;
  if (!target) return E_POINTER;
  hr = target->QueryInterface(dms::IID_IManDocument, probe.PutVoid());
  if (FAILED(hr)) return hr;
  // The client's document answers by name through its dual INRTDocument only.
  return dms::Document::From(target.Get(), out);
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

HRESULT SelectedDocument(IDispatch* element, dms::Document& out) {
  if (SUCCEEDED(dms::Document::From(element, out))) return S_OK;
  dms::Document manDocument;
  HRESULT hr = ResolveShortcut(element, manDocument);
  if (FAILED(hr)) return hr;
  return dms::Document::From(manDocument.Get(), out);
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
