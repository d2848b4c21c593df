// Times Create PDF's Update against the bare object-model calls it cannot avoid
// (element fetch, interface request, type, extension) for the same selection.
// Run by hand under Wine: not a test.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "commands/createpdf/create_pdf.h"
#include "outside/dms.h"
#include "testbed/dms/tbdms.h"

namespace {

using Clock = std::chrono::steady_clock;

HRESULT GetByName(IDispatch* object, const wchar_t* member, VARIANT* result) {
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(member);
  HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                        &none, result, nullptr, nullptr);
}

// The calls Update needs per element, made directly; returns the number accepted.
long BareCalls(SAFEARRAY* array, long count) {
  long accepted = 0;
  for (LONG i = 0; i < count; ++i) {
    IDispatch* element = nullptr;
    if (FAILED(SafeArrayGetElement(array, &i, &element)) || !element) continue;
    IDispatch* document = nullptr;
    if (SUCCEEDED(element->QueryInterface(dms::IID_INRTDocument, reinterpret_cast<void**>(&document)))) {
      VARIANT type, extension;
      VariantInit(&type);
      VariantInit(&extension);
      if (SUCCEEDED(GetByName(document, dms::member::kType, &type)) && type.vt == VT_DISPATCH &&
          SUCCEEDED(GetByName(type.pdispVal, dms::member::kApplicationExtension, &extension)))
        ++accepted;
      VariantClear(&extension);
      VariantClear(&type);
      document->Release();
    }
    element->Release();
  }
  return accepted;
}

}  // namespace

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int result = 0;
  std::printf("%8s %8s %14s %14s %8s\n", "docs", "rounds", "Update us", "bare us", "ratio");
  for (long count : {10L, 100L, 1000L}) {
    std::vector<IDispatch*> documents;
    for (long i = 0; i < count; ++i)
      documents.push_back(tb::Document::Create(nullptr, i + 1, 1, L"Doc", L"WORD", L"DOCX", L""));
    SAFEARRAY* array = tb::DispatchArray(documents);
    IContextItems* context = nullptr;
    if (FAILED(tb::NewContextItems(&context))) {
      std::printf("no context-item class registered\n");
      result = 1;
      break;
    }
    VARIANT selection;
    selection.vt = VT_ARRAY | VT_DISPATCH;
    selection.parray = array;
    BSTR name = SysAllocString(L"SelectedNRTDocuments");
    context->Add(name, selection);
    SysFreeString(name);

    auto* command = new vpdf::CCreatePDF;
    command->AddRef();
    command->Initialize(context);

    const long rounds = 20000 / count;
    command->Update();  // warm up both paths
    BareCalls(array, count);

    auto start = Clock::now();
    for (long r = 0; r < rounds; ++r) command->Update();
    auto update = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;

    long accepted = 0;
    start = Clock::now();
    for (long r = 0; r < rounds; ++r) accepted += BareCalls(array, count);
    auto bare = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;

    LONG status = -1;
    command->get_Status(&status);
    if (status != 0 || accepted != count * rounds) {
      std::printf("unexpected: status %ld, accepted %ld\n", static_cast<long>(status), accepted);
      result = 1;
    }
    std::printf("%8ld %8ld %14.1f %14.1f %8.2f\n", count, rounds, update, bare, update / bare);

    command->Release();
    context->Release();
    VariantClear(&selection);
    for (IDispatch* document : documents) document->Release();
  }
  CoUninitialize();
  return result;
}
