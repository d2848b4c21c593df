#include "commands/newpdf/new_pdf_run.h"

#include "convutils/log.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreateNewPDF");

// `unknown` under `iid`: false when it has no such interface; any other failure is raised.
bool Query(IUnknown* unknown, REFIID iid, dms::Object& out) {
  HRESULT hr = dms::Object::Query(unknown, iid, out);
  if (hr == E_NOINTERFACE) return false;
  ThrowIfFailed(hr);
  return true;
}

// The object in a property value (VT_DISPATCH or VT_UNKNOWN), as IDispatch.
dms::Object ObjectIn(Variant& value) {
  VARIANT* v = value.Get();
  if ((v->vt != VT_DISPATCH && v->vt != VT_UNKNOWN) || !v->punkVal) ThrowIfFailed(E_POINTER);
  dms::Object object;
  ThrowIfFailed(dms::Object::Query(v->punkVal, IID_IDispatch, object));
  return object;
}

// The "NRTDMS" item as the DMS object interface; empty when absent.
dms::Object DmsObject(const ContextReader& read) {
  ComPtr<IDispatch> item;
  if (read(L"NRTDMS", VT_DISPATCH, item.Put()) != S_OK || !item) return {};
  dms::Object dmsObject;
  if (FAILED(dms::Object::Query(item.Get(), dms::IID_INRTDMS, dmsObject))) return {};
  return dmsObject;
}

dms::Object SessionsOf(const dms::Object& dmsObject) {
  if (!dmsObject) return {};
  dms::Got<Variant> sessions = dmsObject.Property(dms::member::kSessions);
  if (!sessions.Ok()) return {};
  dms::Object collection;
  VARIANT* v = sessions.value.Get();
  if ((v->vt != VT_DISPATCH && v->vt != VT_UNKNOWN) || !v->punkVal ||
      FAILED(dms::Object::Query(v->punkVal, dms::IID_INRTSessions, collection)))
    return {};
  return collection;
}

dms::Session SessionOfDatabase(const dms::Object& database) {
  Variant value = database.Property(dms::member::kSession).Value();
  dms::Object session = ObjectIn(value);
  return dms::Session(ComPtr<IDispatch>(session.Get()));
}

// The database of a folder object.
dms::Object DatabaseOf(const dms::Object& object) {
  Variant value = object.Property(dms::member::kDatabase).Value();
  return ObjectIn(value);
}

}  // namespace

bool HasSession(const ContextReader& read) {
  dms::Object collection;
  ComPtr<IUnknown> sessions;
  if (read(L"NRTSessions", VT_UNKNOWN, sessions.Put()) == S_OK && sessions)
    dms::Object::Query(sessions.Get(), dms::IID_INRTSessions, collection);
  if (!collection) collection = SessionsOf(DmsObject(read));
  if (!collection) return false;
  dms::Got<LONG> count = collection.LongProperty(dms::member::kCount);
  return count.Ok() && count.value >= 1;
}

dms::Session FirstSession(const ContextReader& read) {
  dms::Object collection = SessionsOf(DmsObject(read));
  if (!collection) return {};
  dms::Args index;
  index.push_back(Variant::Long(1));
  dms::Got<Variant> item = collection.Call(dms::member::kItem, std::move(index));
  VARIANT* v = item.value.Get();
  dms::Object session;
  if (!item.Ok() || (v->vt != VT_DISPATCH && v->vt != VT_UNKNOWN) || !v->punkVal ||
      FAILED(dms::Object::Query(v->punkVal, IID_IDispatch, session)))
    return {};
  return dms::Session(ComPtr<IDispatch>(session.Get()));
}

bool SessionOfSelectedContents(const ContextReader& read, dms::Session& session) {
  Variant contents;
  if (read(L"SelectedIManContents", VT_ARRAY | VT_DISPATCH, contents.Put()) != S_OK ||
      contents.Type() != (VT_ARRAY | VT_DISPATCH))
    return false;
  try {
    SAFEARRAY* array = contents.Get()->parray;
    LONG lower = 0, upper = -1;
    ThrowIfFailed(SafeArrayGetLBound(array, 1, &lower));
    ThrowIfFailed(SafeArrayGetUBound(array, 1, &upper));
    if (lower > 0 || upper < 0) ThrowIfFailed(DISP_E_BADINDEX);
    ComPtr<IDispatch> element;
    LONG first = 0;
    ThrowIfFailed(SafeArrayGetElement(array, &first, element.Put()));

    dms::Object document, database, folder;
    const bool isDocument = Query(element.Get(), dms::IID_INRTDocument, document);
    const bool isDatabase = Query(element.Get(), dms::IID_INRTDatabase, database);
    const bool isFolder = Query(element.Get(), dms::IID_INRTFolder, folder);
    dms::Object found;
    if (isFolder)
      found = DatabaseOf(folder);
    else if (isDocument)
      found = DatabaseOf(document);
    else if (isDatabase)
      found = database;
    if (!found) return false;
    session = SessionOfDatabase(found);
    return true;
  } catch (const ComError&) {
    // The selection cannot be read: the container decides instead.
    return false;
  }
}

bool SessionOfContainer(const ContextReader& read, dms::Session& session) {
  ComPtr<IUnknown> container;
  if (read(L"SelectedContainer", VT_UNKNOWN, container.Put()) != S_OK || !container) return false;
  dms::Object folder, database, containerSession;
  if (Query(container.Get(), dms::IID_INRTFolder, folder))
    database = DatabaseOf(folder);
  else
    Query(container.Get(), dms::IID_INRTDatabase, database);
  if (database) {
    session = SessionOfDatabase(database);
    return true;
  }
  if (!Query(container.Get(), dms::IID_INRTSession, containerSession)) return false;
  session = dms::Session(ComPtr<IDispatch>(containerSession.Get()));
  return true;
}

std::wstring ReplaceExtension(const std::wstring& path, const wchar_t* extension) {
  const size_t slash = path.find_last_of(L"\\/");
  const size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
    return path + extension;
  return path.substr(0, dot) + extension;
}

HRESULT CNewPdfCommand::OnUpdate() {
  const bool any = HasSession([this](const wchar_t* name, VARTYPE type, void* value) {
    return GetContextValue(name, type, value);
  });
  put_Status(any ? kEnabled : kDisabled);
  return S_OK;
}

}  // namespace vpdf
