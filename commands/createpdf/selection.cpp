// Create PDF: whether the command is available, and the documents it works on.
#include <string>

#include "commands/createpdf/create_pdf.h"
#include "commands/selected_items.h"
#include "convutils/log.h"
#include "outside/dms.h"

#include "IManage.h"

namespace vpdf {
namespace {

// The document under `object`, asked for as INRTDocument: its IDispatch, with a reference.
HRESULT DocumentDispatch(IUnknown* object, IDispatch** document) {
  dms::Document found;
  HRESULT hr = dms::Document::From(object, found);
  if (SUCCEEDED(hr)) {
    *document = found.Get();
    (*document)->AddRef();
  }
  return hr;
}


constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreatePDF");

SAFEARRAY* ArrayOf(const VARIANT* selection) { return SelectionArray(selection); }

// Whether element `index` is a document, or a shortcut to one, that may be converted.
bool Convertible(SAFEARRAY* array, LONG index) {
  ComPtr<IDispatch> element;
  if (FAILED(SafeArrayGetElement(array, &index, element.Put())) || !element) return false;
  std::wstring extension;
  if (FAILED(SelectedTypeExtension(element.Get(), extension))) return false;
  return !SameTextNoCase(extension, L"PDF") && !SameTextNoCase(extension, L"MSG");
}

}  // namespace

LONG CCreatePDF_I::busy = 0;
LONG CCreatePDF_I::merging = 0;

STDMETHODIMP CCreatePDF_I::Update() {
  kLog.Trace("CCreatePDF::Update ");
  Variant selection;
  if (FAILED(GetContextValue(kSelectedNRTDocuments, kSelectionType, selection.Put())) &&
      FAILED(GetContextValue(kSelectedIManObjects, kSelectionType, selection.Put())))
    return S_OK;
  LONG lower = 0, upper = 0;
  if (FAILED(SafeArrayGetLBound(ArrayOf(selection.Get()), 1, &lower)) ||
      FAILED(SafeArrayGetUBound(ArrayOf(selection.Get()), 1, &upper)))
    return S_OK;

  LONG status = kDisabled;
  try {
    bool readable = true;
    if (upper == lower - 1) {
      readable = SUCCEEDED(GetContextValue(kSelectedIManObjects, kSelectionType, selection.Put())) &&
                 SUCCEEDED(SafeArrayGetLBound(ArrayOf(selection.Get()), 1, &lower)) &&
                 SUCCEEDED(SafeArrayGetUBound(ArrayOf(selection.Get()), 1, &upper));
    }
    for (LONG i = lower; readable && i <= upper; ++i) {
      if (!Convertible(ArrayOf(selection.Get()), i)) {
        status = kDisabled;
        break;
      }
      status = kEnabled;
    }
  } catch (...) {
    // A failing object-model call leaves the command unavailable.
    status = kDisabled;
  }
  put_Status(status);
  kLog.Trace("CCreatePDF::put_Status  commandType :%d", static_cast<int>(status));
  return S_OK;
}

HRESULT CCreatePDF_I::GetBounds(VARIANT* selection, LONG* lower, LONG* upper) {
  try {
    kLog.Trace("****************** CreatePDF GetBounds() START ******************");
    if (FAILED(SafeArrayGetLBound(ArrayOf(selection), 1, lower))) {
      kLog.Error("****************** CreatePDF GetBounds() LBound fail ******************");
      return E_FAIL;
    }
    if (FAILED(SafeArrayGetUBound(ArrayOf(selection), 1, upper))) {
      kLog.Error("****************** CreatePDF GetBounds() UBound fail ******************");
      return E_FAIL;
    }
    if (*upper - *lower + 1 == 0) {
      Variant fallback;
      if (FAILED(GetContextValue(kSelectedIManObjects, kSelectionType, fallback.Put()))) {
        kLog.Error("****************** CreatePDF GetBounds() UBound fail ******************");
        return E_FAIL;
      }
      // The caller reads its elements from the array whose bounds it gets.
      VariantClear(selection);
      *selection = fallback.Detach();
      HRESULT hr = SafeArrayGetLBound(ArrayOf(selection), 1, lower);
      if (FAILED(hr)) {
        kLog.Error("SafeArrayGetLBound() failed");
        return hr;
      }
      hr = SafeArrayGetUBound(ArrayOf(selection), 1, upper);
      if (FAILED(hr)) {
        kLog.Error("SafeArrayGetUBound() failed");
        return hr;
      }
    }
    if (*upper - *lower + 1 == 0) {
      kLog.Error("lDocCnt == 0");
      return E_FAIL;
    }
    kLog.Trace("****************** CreatePDF GetBounds() END ******************");
    return S_OK;
  } catch (...) {
    kLog.Error("Exception in GetBounds");
    return E_FAIL;
  }
}

HRESULT CCreatePDF_I::GetSelectedDoc(VARIANT* selection, LONG* index, IDispatch** document) {
  try {
    kLog.Trace("****************** CreatePDF GetSelectedDoc() START ******************");
    *document = nullptr;
    ComPtr<IDispatch> element;
    HRESULT hr = SafeArrayGetElement(ArrayOf(selection), index, element.Put());
    if (SUCCEEDED(hr) && !element) hr = E_POINTER;
    if (FAILED(hr)) {
      kLog.Error("SafeArrayGetElement(%d) failed", static_cast<int>(*index));
      *index = -1;
      kLog.Error("****************** CreatePDF GetSelectedDoc() END ******************");
      return hr;
    }
    if (SUCCEEDED(DocumentDispatch(element.Get(), document))) return S_OK;

    ComPtr<IUnknown> probe;
    hr = element->QueryInterface(dms::IID_IManObject, probe.PutVoid());
    if (FAILED(hr)) {
      kLog.Error("pDisp->QueryInterface failed");
      return hr;
    }
    ComPtr<IUnknown> target;
    hr = dms::ResolveShortcut(element.Get(), target);
    if (hr == E_NOINTERFACE) {
      kLog.Error("pDisp->QueryInterface failed");
      return hr;
    }
    if (FAILED(hr) || !target) {
      kLog.Error("pIManCS->Resolve failed");
      return FAILED(hr) ? hr : E_POINTER;
    }
    ComPtr<IUnknown> manDocument;
    hr = target->QueryInterface(dms::IID_IManDocument, manDocument.PutVoid());
    if (FAILED(hr)) {
      kLog.Error("pIManC->QueryInterface failed");
      return hr;
    }
    hr = DocumentDispatch(manDocument.Get(), document);
    if (FAILED(hr)) kLog.Error("pIManDocument->QueryInterface failed");
    return hr;
  } catch (...) {
    kLog.Error("Exception in GetSelectedDoc");
    return E_FAIL;
  }
}

namespace {

void LogText(const dms::Object& object, const wchar_t* member, const char* format) {
  auto text = object.StringProperty(member);
  if (text.Ok()) kLog.Trace(LogFormat(format), text.value.c_str());
}

// A launch method of the type: INRTLaunchMethod, called through its vtable.
void LogMethod(const dms::Object& type, const wchar_t* which, const char* const (&formats)[6]) {
  auto value = type.Property(which);
  if (!value.Ok()) return;
  const VARIANT* v = value.value.Get();
  IUnknown* unknown = v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH ? v->punkVal : nullptr;
  ComPtr<INRTLaunchMethod> method;
  if (!unknown ||
      FAILED(unknown->QueryInterface(__uuidof(INRTLaunchMethod), method.PutVoid())))
    return;
  using Getter = HRESULT (STDMETHODCALLTYPE INRTLaunchMethod::*)(BSTR*);
  const Getter getters[] = {&INRTLaunchMethod::get_ID,      &INRTLaunchMethod::get_Name,
                            &INRTLaunchMethod::get_Path,    &INRTLaunchMethod::get_DDEName,
                            &INRTLaunchMethod::get_DDEOpen, &INRTLaunchMethod::get_Description};
  for (int i = 0; i < 6; ++i) {
    Bstr text;
    if (SUCCEEDED((method.Get()->*getters[i])(text.Put())))
      kLog.Trace(LogFormat(formats[i]), text.c_str());
  }
}

}  // namespace

HRESULT CCreatePDF_I::GetMethods(IDispatch* document) {
  try {
    kLog.Trace("****************** CreatePDF GetMethods() START ******************");
    auto type = dms::Document(ComPtr<IDispatch>(document)).Type();
    if (type.Ok() && type.value) {
      const dms::Object& t = type.value;
      LogText(t, dms::member::kID, "pDocType: ID: %S");
      LogText(t, dms::member::kName, "pDocType: Name: %S");
      LogText(t, dms::member::kDMSExtension, "pDocType: DMSExtension: %S");
      LogText(t, dms::member::kApplicationExtension, "pDocType: ApplicationExtension: %S");
      LogText(t, dms::member::kDescription, "pDocType: Description: %S");
      static const char* const kOpen[6] = {
          "pOpenMet: ID: %S",      "pOpenMet: Name: %S",    "pOpenMet: Path: %S",
          "pOpenMet: DDEName: %S", "pOpenMet: DDEOpen: %S", "pOpenMet: Description: %S"};
      static const char* const kView[6] = {
          "pViewMet: ID: %S",      "pViewMet: Name: %S",    "pViewMet: Path: %S",
          "pViewMet: DDEName: %S", "pViewMet: DDEOpen: %S", "pViewMet: Description: %S"};
      LogMethod(t, dms::member::kOpenMethod, kOpen);
      LogMethod(t, dms::member::kViewMethod, kView);
    }
    kLog.Trace("******************* CreatePDF GetMethods() END *******************");
    return S_OK;
  } catch (...) {
    kLog.Error("Exception in GetMethods");
    return E_FAIL;
  }
}

}  // namespace vpdf
