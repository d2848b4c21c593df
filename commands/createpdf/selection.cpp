// Create PDF: whether the command is available, and the documents it works on.
#include <string>

#include "commands/createpdf/create_pdf.h"
#include "commands/selected_items.h"
#include "convutils/log.h"
#include "outside/dms.h"

#include "IManage.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreatePDF");

// What GetBounds and GetSelectedDoc log for each step that stops them, by SelectionFault.
constexpr const char* kFaultTexts[] = {
    "",
    "****************** CreatePDF GetBounds() LBound fail ******************",
    "****************** CreatePDF GetBounds() UBound fail ******************",
    "****************** CreatePDF GetBounds() UBound fail ******************",
    "SafeArrayGetLBound() failed",
    "SafeArrayGetUBound() failed",
    "pDisp->QueryInterface failed",
    "pIManCS->Resolve failed",
    "pIManC->QueryInterface failed",
    "pIManDocument->QueryInterface failed",
};

const char* FaultText(SelectionFault fault) { return kFaultTexts[static_cast<int>(fault)]; }

}  // namespace

LONG CCreatePDF_I::busy = 0;
LONG CCreatePDF_I::merging = 0;

HRESULT CCreatePDF_I::OnUpdate() {
  kLog.Trace("CCreatePDF::Update ");
  LONG status = kDisabled;
  if (!SelectionStatusOf(
          [](const std::wstring& extension) {
            return !SameTextNoCase(extension, L"PDF") && !SameTextNoCase(extension, L"MSG");
          },
          status))
    return S_OK;
  put_Status(status);
  kLog.Trace("CCreatePDF::put_Status  commandType :%d", static_cast<int>(status));
  return S_OK;
}

HRESULT CCreatePDF_I::GetBounds(VARIANT* selection, LONG* lower, LONG* upper,
                                SelectionFault* failedStep) {
  try {
    kLog.Trace("****************** CreatePDF GetBounds() START ******************");
    SelectionFault fault = SelectionFault::kNone;
    HRESULT hr = SelectionBounds(ContextRead(), true, selection, *lower, *upper, fault);
    if (failedStep) *failedStep = fault;
    if (FAILED(hr)) {
      kLog.Error(FaultText(fault));
      // The bounds of the selection as given, or the objects item missing, fail plainly.
      return fault == SelectionFault::kObjectsLowerBound ||
                     fault == SelectionFault::kObjectsUpperBound
                 ? hr
                 : E_FAIL;
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
    HRESULT hr = SelectionElement(selection, *index, element);
    if (FAILED(hr)) {
      kLog.Error("SafeArrayGetElement(%d) failed", static_cast<int>(*index));
      *index = -1;
      kLog.Error("****************** CreatePDF GetSelectedDoc() END ******************");
      return hr;
    }
    dms::Document found;
    SelectionFault fault;
    hr = SelectedDocument(element.Get(), found, &fault);
    if (FAILED(hr)) {
      kLog.Error(FaultText(fault));
      return hr;
    }
    *document = found.Get();
    (*document)->AddRef();
    return S_OK;
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
    // The type's details are read for the log alone: with the log off, no call of the client's.
    if (!LogSource::Enabled()) return S_OK;
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
