#include "commands/import_document.h"

#include "IManExt.h"
#include "commands/command_impl.h"
#include "dms/event_sinks.h"
#include "convutils/log.h"
#include "dms/client_options.h"
#include "dms/doc_select.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreatePDF");

// Creates the client command `clsid`, hands it `items` and lets it update itself. S_FALSE when
// it says it may not run now.
HRESULT PrepareCommand(REFCLSID clsid, IContextItems* items, ComPtr<ICommand>& command) {
  HRESULT hr = CreateClientObject(clsid, __uuidof(ICommand), command.PutVoid());
  if (FAILED(hr)) {
    kLog.Error("ImportNewDocument() create command failed, hr: 0x%08X", static_cast<unsigned>(hr));
    return hr;
  }
  hr = command->Initialize(items);
  if (SUCCEEDED(hr)) hr = command->Update();
  LONG status = 1;
  if (SUCCEEDED(hr)) hr = command->get_Status(&status);
  if (FAILED(hr)) {
    kLog.Error("ImportNewDocument() command update failed, hr: 0x%08X", static_cast<unsigned>(hr));
    return hr;
  }
  if (status != 0) {
    kLog.Warning("ImportNewDocument() command not active, status %d", static_cast<int>(status));
    return S_FALSE;
  }
  return S_OK;
}

// The document in item "ImportedDocument", asked for as INRTDocument.
HRESULT ImportedDocument(IContextItems* items, dms::Document& document) {
  Variant value;
  HRESULT hr = ReadContextItem(items, L"ImportedDocument", value);
  if (FAILED(hr)) return hr;
  VARIANT* v = value.Get();
  IUnknown* object = v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN ? v->punkVal : nullptr;
  if (!object) return E_POINTER;
  return dms::Document::From(object, document);
}

HRESULT SilentImport(const std::wstring& path, const std::wstring& title,
                     const std::wstring& type, const dms::Session& session,
                     dms::Document& newDocument, const std::wstring& historyComment) {
  kLog.Trace("ImportNewDocument() silent import");
  ComPtr<IContextItems> items;
  HRESULT hr = CreateClientObject(dms::CLSID_ContextItems, __uuidof(IContextItems), items.PutVoid());
  if (FAILED(hr)) return hr;
  if (!type.empty()) AddContextItem(items.Get(), L"IManExt.Import.DocType", Variant::String(type));
  AddContextItem(items.Get(), L"IManExt.Import.DocDescription", Variant::String(title));
  dms::Got<dms::Object> dmsObject = session.NRTDMS();
  AddContextItem(items.Get(), L"IManDMS", Variant::Dispatch(dmsObject.value.Get()));
  AddContextItem(items.Get(), L"IManExt.NoZeroByteCreation", Variant::Long(0));

  ComPtr<ICommand> command;
  hr = PrepareCommand(dms::CLSID_ImportCmd, items.Get(), command);
  if (hr != S_OK) return hr;
  hr = command->Execute();
  if (FAILED(hr)) {
    kLog.Error("ImportNewDocument() Execute failed, hr: 0x%08X", static_cast<unsigned>(hr));
    return hr;
  }
  dms::Document created;
  hr = ImportedDocument(items.Get(), created);
  if (FAILED(hr)) {
    kLog.Error("ImportNewDocument() no ImportedDocument, hr: 0x%08X", static_cast<unsigned>(hr));
    return hr;
  }
  // The silent import leaves an empty document checked out: the content arrives by check-in.
  dms::Got<bool> checkedOut = created.CheckedOut();
  if (checkedOut.Ok() && checkedOut.value) {
    if (!historyComment.empty())
      created.AddHistory(kHistoryActivity, kHistoryApplication, historyComment);
    hr = created.CheckInEx(path, 3, 0, kCheckInActivity, kHistoryApplication, L"", L"");
    if (FAILED(hr)) {
      kLog.Error("ImportNewDocument() CheckIn failed, hr: 0x%08X", static_cast<unsigned>(hr));
      return hr;
    }
  }
  newDocument = std::move(created);
  kLog.Trace("ImportNewDocument() imported");
  return S_OK;
}

HRESULT InteractiveImport(const std::wstring& path, const std::wstring& title,
                          const std::wstring& type, const dms::Session& session,
                          const dms::Object& folder, dms::Document& newDocument) {
  kLog.Trace("ImportNewDocument() import with profile dialog");
  ComPtr<IContextItems> items;
  HRESULT hr = CreateClientObject(dms::CLSID_ContextItems, __uuidof(IContextItems), items.PutVoid());
  if (FAILED(hr)) return hr;
  if (!type.empty()) AddContextItem(items.Get(), L"IManExt.Import.DocType", Variant::String(type));
  AddContextItem(items.Get(), L"IManExt.Import.FileName", Variant::String(path));
  AddContextItem(items.Get(), L"IManExt.Import.DocDescription", Variant::String(title));
  AddContextItem(items.Get(), L"IManExt.Import.KeepCheckedOut", Variant::Bool(false));
  AddContextItem(items.Get(), L"DestinationObject", Variant::Dispatch(session.Get()));
  if (folder) AddContextItem(items.Get(), L"SelectedNRTFolder", Variant::Dispatch(folder.Get()));

  ComPtr<ICommand> command;
  hr = PrepareCommand(dms::CLSID_NewDocumentCmd, items.Get(), command);
  if (hr != S_OK) return hr;
  DlgEvents events;
  events.Connect(command.Get());
  hr = command->Execute();
  events.Disconnect();
  if (FAILED(hr)) {
    kLog.Error("ImportNewDocument() Execute failed, hr: 0x%08X", static_cast<unsigned>(hr));
    return hr;
  }
  if (events.Cancelled()) {
    kLog.Trace("ImportNewDocument() operation canceled");
    return S_FALSE;
  }
  dms::Document created;
  hr = ImportedDocument(items.Get(), created);
  if (FAILED(hr)) {
    kLog.Error("ImportNewDocument() no ImportedDocument, hr: 0x%08X", static_cast<unsigned>(hr));
    return hr;
  }
  newDocument = std::move(created);
  kLog.Trace("ImportNewDocument() imported");
  return S_OK;
}

}  // namespace

HRESULT ImportNewDocument(const std::wstring& path, const std::wstring& title,
                          const dms::Session& session, const dms::Object& folder,
                          dms::Document& newDocument, const std::wstring& historyComment) {
  if (!session || path.empty()) return E_INVALIDARG;
  const std::wstring type = DocTypeForFile(path.c_str());
  if (!UseProfile() && FindIManExt2())
    return SilentImport(path, title, type, session, newDocument, historyComment);
  return InteractiveImport(path, title, type, session, folder, newDocument);
}

}  // namespace vpdf
