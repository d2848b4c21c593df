// The client's own commands as stand-ins: see client_commands.h.
#define TBDMS_BUILD
#include "testbed/dms/client_commands.h"
#include "testbed/dms/module.h"

#include "IManage.h"

#include <ocidl.h>
#include <olectl.h>
#include <oleauto.h>

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <utility>

namespace tb {
namespace {

constexpr IID kICommandEvents = {0x31679F04, 0x3EBD, 0x11D2, {0xA6, 0xDD, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
constexpr IID kIDialogEvents = {0x1E6A8843, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
constexpr IID kINewVersionDlg = {0x1E6A8845, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
constexpr IID kINewProfileDlg = {0x1E6A8841, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
constexpr IID kIEditProfileDlg = {0x1E6A883D, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
constexpr IID kIIManFileSaveDlg = {0xB23B4CD0, 0xB289, 0x4F83, {0x96, 0x9D, 0x2A, 0x44, 0xD6, 0xB1, 0xB7, 0x18}};

// ---- Small helpers ------------------------------------------------------------------------

// A property of any automation object, read by name.
bool GetProperty(IDispatch* object, const wchar_t* name, VARIANT* value) {
  VariantInit(value);
  if (!object) return false;
  DISPID id = 0;
  LPOLESTR member = const_cast<LPOLESTR>(name);
  if (FAILED(object->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_USER_DEFAULT, &id))) return false;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  return SUCCEEDED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
                                  DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, value, nullptr,
                                  nullptr));
}

std::wstring StringProperty(IDispatch* object, const wchar_t* name) {
  Variant value;
  GetProperty(object, name, &value);
  return TextOf(value);
}

long LongProperty(IDispatch* object, const wchar_t* name) {
  Variant value;
  GetProperty(object, name, &value);
  return NumberOf(value);
}

// The object in a VARIANT (VT_DISPATCH, VT_UNKNOWN, or the first element of an array of
// them), with a reference; null when there is none.
IDispatch* FirstObject(const VARIANT& value) {
  IUnknown* unknown = nullptr;
  VARTYPE base = value.vt & VT_TYPEMASK;
  if ((value.vt & VT_ARRAY) && value.parray && (base == VT_DISPATCH || base == VT_UNKNOWN)) {
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(value.parray, 1, &lower);
    SafeArrayGetUBound(value.parray, 1, &upper);
    if (upper < lower) return nullptr;
    if (FAILED(SafeArrayGetElement(value.parray, &lower, &unknown))) return nullptr;
  } else if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) {
    unknown = value.punkVal;
    if (unknown) unknown->AddRef();
  }
  if (!unknown) return nullptr;
  IDispatch* object = nullptr;
  unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&object));
  unknown->Release();
  return object;
}

void ReadItem(IContextItems* items, const wchar_t* name, VARIANT* value) {
  Variant index;
  index.vt = VT_BSTR;
  index.bstrVal = SysAllocString(name);
  VariantInit(value);
  if (items) items->Item(index, value);
}

std::wstring ItemText(IContextItems* items, const wchar_t* name) {
  Variant value;
  ReadItem(items, name, &value);
  return TextOf(value);
}

// Adds the item of `type` whose pointer (array or object) is handed over.
void WriteItem(IContextItems* items, const wchar_t* name, VARTYPE type, void* content) {
  Variant value;
  value.vt = type;
  value.byref = content;
  BSTR itemName = SysAllocString(name);
  items->Add(itemName, value);
  SysFreeString(itemName);
}

ContextRecord Record(const std::wstring& name, const VARIANT& original) {
  ContextRecord record;
  record.name = name;
  Variant value;
  VariantCopyInd(&value, const_cast<VARIANT*>(&original));
  record.type = value.vt;
  VARTYPE base = value.vt & VT_TYPEMASK;
  if (value.vt & VT_ARRAY) {
    LONG lower = 0, upper = -1;
    if (value.parray) {
      SafeArrayGetLBound(value.parray, 1, &lower);
      SafeArrayGetUBound(value.parray, 1, &upper);
    }
    for (LONG i = lower; i <= upper; ++i) {
      if (base == VT_BSTR) {
        BSTR text = nullptr;
        SafeArrayGetElement(value.parray, &i, &text);
        record.strings.push_back(text ? std::wstring(text, SysStringLen(text)) : L"");
        SysFreeString(text);
      } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
        IUnknown* object = nullptr;
        SafeArrayGetElement(value.parray, &i, &object);
        record.objects.push_back(object);
        if (object) object->Release();
      }
    }
  } else if (value.vt == VT_BSTR) {
    record.text = value.bstrVal ? std::wstring(value.bstrVal, SysStringLen(value.bstrVal)) : L"";
  } else if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) {
    record.objects.push_back(value.punkVal);
  } else if (value.vt == VT_BOOL) {
    record.number = value.boolVal;
  } else if (value.vt != VT_EMPTY && value.vt != VT_NULL) {
    record.number = NumberOf(value);
    record.text = TextOf(value);
  }
  return record;
}

// ---- Scripts and records ------------------------------------------------------------------

std::map<ClientCommandKind, ClientScript>& Scripts() {
  static auto* scripts = new std::map<ClientCommandKind, ClientScript>;
  return *scripts;
}

std::vector<std::shared_ptr<ClientCommandRun>>& Runs() {
  static auto* runs = new std::vector<std::shared_ptr<ClientCommandRun>>;
  return *runs;
}

void ReleaseSelection(ClientScript& script) {
  for (IDispatch* object : script.selection)
    if (object) object->Release();
  script.selection.clear();
}

ClientScript ScriptOf(ClientCommandKind kind) {
  auto found = Scripts().find(kind);
  return found == Scripts().end() ? ClientScript() : found->second;
}

DialogKind DefaultDialog(ClientCommandKind kind) {
  return kind == ClientCommandKind::kNewVersion    ? DialogKind::kNewVersion
         : kind == ClientCommandKind::kNewDocument ? DialogKind::kNewProfile
                                                   : DialogKind::kNone;
}

long g_nextNumber = 9001;

// Every document the commands created, kept as the DMS keeps what it stores.
std::vector<Document*>& Stored() {
  static auto* stored = new std::vector<Document*>;
  return *stored;
}
Document* Store(Document* document) {
  document->AddRef();
  Stored().push_back(document);
  return document;
}

std::function<void()>& ContextItemsHook() {
  static auto* hook = new std::function<void()>;
  return *hook;
}
DWORD g_nextCookie = 1;

// ---- The command --------------------------------------------------------------------------

// One outgoing interface of an object: its sinks by cookie, each event called by DISPID with
// one object argument. Advice given and taken back is recorded in `record`.
class EventPoint final : public IConnectionPoint {
 public:
  EventPoint(IConnectionPointContainer* owner, const IID& iid, ClientCommandRun& record)
      : m_owner(owner), m_iid(iid), m_record(record) {}
  ~EventPoint() {
    for (auto& [cookie, sink] : m_sinks) sink->Release();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IConnectionPoint) return E_NOINTERFACE;
    *object = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_owner->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_owner->Release(); }
  STDMETHODIMP GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = m_iid;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override {
    if (!container) return E_POINTER;
    m_owner->AddRef();
    *container = m_owner;
    return S_OK;
  }
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(&events))) || !events)
      return CONNECT_E_CANNOTCONNECT;
    *cookie = g_nextCookie++;
    m_sinks.emplace_back(*cookie, events);
    m_record.advised.push_back(*cookie);
    ++m_record.connected;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    auto found = std::find_if(m_sinks.begin(), m_sinks.end(),
                              [cookie](const auto& entry) { return entry.first == cookie; });
    if (found == m_sinks.end()) return CONNECT_E_NOCONNECTION;
    IDispatch* sink = found->second;
    m_sinks.erase(found);
    sink->Release();
    m_record.unadvised.push_back(cookie);
    --m_record.connected;
    return S_OK;
  }
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
  }

  // Calls `id` on every sink with the one VT_DISPATCH argument; recorded as `name`.
  void Fire(const wchar_t* name, DISPID id, IDispatch* argument) {
    FiredEvent fired{name};
    std::vector<IDispatch*> sinks;
    for (auto& [cookie, sink] : m_sinks) {
      sink->AddRef();
      sinks.push_back(sink);
    }
    for (IDispatch* sink : sinks) {
      VARIANT arg;
      arg.vt = VT_DISPATCH;
      arg.pdispVal = argument;
      DISPPARAMS params{&arg, nullptr, 1, 0};
      VARIANT result;
      VariantInit(&result);
      if (SUCCEEDED(sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                 &result, nullptr, nullptr))) {
        ++fired.sinks;
        fired.result = NumberOf(result);
      }
      VariantClear(&result);
      sink->Release();
    }
    m_record.events.push_back(std::move(fired));
  }

 private:
  IConnectionPointContainer* m_owner;
  IID m_iid;
  ClientCommandRun& m_record;
  std::vector<std::pair<DWORD, IDispatch*>> m_sinks;
};

// ICommand as the client's library declares it: Initialize, Update and Execute do the work,
// Status answers what Update set, any other property keeps what is put.
class ClientCommand final : public AutoObject, public IConnectionPointContainer {
 public:
  explicit ClientCommand(ClientCommandKind kind)
      : m_kind(kind), m_record(std::make_shared<ClientCommandRun>()) {
    m_record->kind = kind;
    Runs().push_back(m_record);
    Answer(__uuidof(ICommand));
    SetLong(L"Status", 1);
    // Initialize shares its DISPID with the Context property, so the library names it so:
    // with the context given it is Initialize.
    SetMethod(L"Context", [this](std::vector<VARIANT*>& args, VARIANT* result) {
      if (args.empty() && !m_context) return E_FAIL;
      if (args.empty()) {
        result->vt = VT_UNKNOWN;
        result->punkVal = m_context;
        m_context->AddRef();
        return S_OK;
      }
      if (m_context) m_context->Release();
      m_context = nullptr;
      if (args[0]->punkVal)
        args[0]->punkVal->QueryInterface(__uuidof(IContextItems),
                                         reinterpret_cast<void**>(&m_context));
      return S_OK;
    });
    SetMethod(L"Update", [this](std::vector<VARIANT*>&, VARIANT*) {
      ++m_record->updates;
      ClientScript script = ScriptOf(m_kind);
      if (SUCCEEDED(script.updateResult)) SetLong(L"Status", script.status);
      return script.updateResult;
    });
    SetMethod(L"Execute", [this](std::vector<VARIANT*>&, VARIANT*) { return Execute(); });
  }
  ~ClientCommand() override {
    if (m_context) m_context->Release();
    m_record->released = true;
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object || iid != IID_IConnectionPointContainer)
      return AutoObject::QueryInterface(iid, object);
    *object = static_cast<IConnectionPointContainer*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AutoObject::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return AutoObject::Release(); }

  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points) *points = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = iid == kICommandEvents ? &m_commandPoint : iid == kIDialogEvents ? &m_dialogPoint
                                                                              : nullptr;
    if (!*point) return CONNECT_E_NOCONNECTION;
    (*point)->AddRef();
    return S_OK;
  }

 private:
  HRESULT Execute();
  void SnapshotContext();
  void WriteResults(const ClientScript& script);
  IDispatch* NewVersion(const ClientScript& script);
  IDispatch* Imported(const ClientScript& script);

  ClientCommandKind m_kind;
  std::shared_ptr<ClientCommandRun> m_record;
  IContextItems* m_context = nullptr;
  EventPoint m_commandPoint{this, kICommandEvents, *m_record};
  EventPoint m_dialogPoint{this, kIDialogEvents, *m_record};
};

void ClientCommand::SnapshotContext() {
  m_record->context.clear();
  m_record->hadContext = m_context != nullptr;
  for (const std::wstring& name : ContextNames(m_context)) {
    Variant value;
    ReadItem(m_context, name.c_str(), &value);
    m_record->context.push_back(Record(name, value));
  }
}

IDispatch* ClientCommand::NewVersion(const ClientScript& script) {
  Variant selected, type, database;
  ReadItem(m_context, L"SelectedNRTDocuments", &selected);
  IDispatch* source = FirstObject(selected);
  if (!source) return nullptr;
  const std::wstring path = ItemText(m_context, L"IManExt.Import.FileName");
  GetProperty(source, L"Type", &type);
  IDispatch* typeObject = FirstObject(type);
  Document* created = Document::Create(
      nullptr, script.newNumber ? script.newNumber : LongProperty(source, L"Number"),
      script.newVersion ? script.newVersion : LongProperty(source, L"Version") + 1,
      StringProperty(source, L"Name"), StringProperty(typeObject, L"Name"),
      StringProperty(typeObject, L"ApplicationExtension"), path);
  if (typeObject) typeObject->Release();
  if (GetProperty(source, L"Database", &database)) created->Set(L"Database", database);
  created->SetString(L"Description", StringProperty(source, L"Description"));
  created->SetBool(L"CheckedOut", script.checkedOut.value_or(true));
  created->SetString(L"CheckoutPath", path);
  source->Release();
  return Store(created);
}

IDispatch* ClientCommand::Imported(const ClientScript& script) {
  const std::wstring path = ItemText(m_context, L"IManExt.Import.FileName");
  const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);  // no folder: npos + 1 == 0
  const size_t dot = name.find_last_of(L'.');
  const std::wstring extension = dot == std::wstring::npos ? L"" : name.substr(dot + 1);

  Database* database = Database::Create(script.databaseName, nullptr);
  Variant destination;
  ReadItem(m_context, L"DestinationObject", &destination);
  if (destination.vt == VT_DISPATCH)
    database->Set(L"Session", destination);
  else
    database->Remove(L"Session");

  Document* created =
      Document::Create(database, script.newNumber ? script.newNumber : g_nextNumber++,
                       script.newVersion ? script.newVersion : 1,
                       ItemText(m_context, L"IManExt.Import.DocDescription"),
                       ItemText(m_context, L"IManExt.Import.DocType"), extension, path);
  created->StoreContent(path);
  database->Release();
  // What the client files the new document with: the folder's number ("" without one) and
  // the keep-checked-out flag ("" when not given).
  Variant folder, keep;
  ReadItem(m_context, L"SelectedNRTFolder", &folder);
  IDispatch* folderObject = FirstObject(folder);
  ReadItem(m_context, L"IManExt.Import.KeepCheckedOut", &keep);
  created->Note({L"Imported",
                 {ItemText(m_context, L"IManExt.Import.DocDescription"),
                  ItemText(m_context, L"IManExt.Import.DocType"),
                  folderObject ? std::to_wstring(LongProperty(folderObject, L"FolderID")) : L"",
                  keep.vt == VT_BOOL ? (keep.boolVal ? L"1" : L"0") : L""}});
  if (folderObject) folderObject->Release();
  created->SetBool(L"CheckedOut",
                   script.checkedOut.value_or(m_kind == ClientCommandKind::kSilentImport));
  created->SetString(L"CheckoutPath", path);
  return Store(created);
}

void ClientCommand::WriteResults(const ClientScript& script) {
  if (!m_context) return;
  if (script.onAccept) return script.onAccept(m_context);
  if (m_kind == ClientCommandKind::kFileOpen)
    WriteItem(m_context, L"SelectedIManObjects", VT_ARRAY | VT_DISPATCH,
              DispatchArray(script.selection));
  else if (IDispatch* created = m_kind == ClientCommandKind::kNewVersion ? NewVersion(script)
                                                                         : Imported(script))
    WriteItem(m_context,
              m_kind == ClientCommandKind::kNewVersion ? L"iManExt.NewVersionCmd.Document"
                                                       : L"ImportedDocument",
              VT_DISPATCH, created);
}

HRESULT ClientCommand::Execute() {
  // The events carry the interface the caller holds; the reference keeps the command alive
  // when a sink lets it go while it fires.
  IDispatch* self = nullptr;
  QueryInterface(__uuidof(ICommand), reinterpret_cast<void**>(&self));
  ++m_record->executes;
  SnapshotContext();
  ClientScript script = ScriptOf(m_kind);
  DialogKind dialogKind = script.dialog.value_or(DefaultDialog(m_kind));
  Dialog* dialog = dialogKind == DialogKind::kNone ? nullptr : Dialog::Create(dialogKind);
  m_record->dialog = dialogKind;
  IDispatch* dialogArgument = dialog ? static_cast<IDispatch*>(dialog) : self;

  if (script.user != UserAction::kNothing && dialog)
    m_commandPoint.Fire(L"OnInitDialog", 4, dialog);
  if (script.user == UserAction::kAccept) {
    m_commandPoint.Fire(L"PreOnOK", 1, self);
    m_dialogPoint.Fire(L"Dialog.OnOK", 3, dialogArgument);
    WriteResults(script);
    m_commandPoint.Fire(L"PostOnOK", 2, self);
  } else if (script.user == UserAction::kCancel) {
    m_dialogPoint.Fire(L"Dialog.OnCancel", 2, dialogArgument);
    m_commandPoint.Fire(L"OnCancel", 3, self);
  }
  if (dialog) {
    m_record->dialogWrites = dialog->Writes();
    dialog->Release();
  }
  self->Release();
  return script.executeResult;
}

// ---- Class objects ------------------------------------------------------------------------

using CommandFactory = ClassFactory<ClientCommand, ClientCommandKind>;
struct CommandClass {
  const CLSID* clsid;
  CommandFactory factory;
};
CommandClass g_commandClasses[] = {
    {&kClsidFileOpenCmd, CommandFactory(ClientCommandKind::kFileOpen)},
    {&kClsidNewVersionCmd, CommandFactory(ClientCommandKind::kNewVersion)},
    {&kClsidImportCmd, CommandFactory(ClientCommandKind::kSilentImport)},
    {&kClsidNewDocumentCmd, CommandFactory(ClientCommandKind::kNewDocument)},
};

}  // namespace

// ---- Dialogs ------------------------------------------------------------------------------

Dialog* Dialog::Create(DialogKind kind) {
  auto* dialog = new Dialog;
  dialog->m_kind = kind;
  // In DialogKind's order.
  const IID* const iids[] = {nullptr, &kINewVersionDlg, &kINewProfileDlg, &kIEditProfileDlg,
                             &kIIManFileSaveDlg, nullptr};
  if (const IID* iid = iids[static_cast<int>(kind)]) dialog->Answer(*iid);
  dialog->SetMethod(L"SetAttributeValueByID", [dialog](std::vector<VARIANT*>& args, VARIANT*) {
    if (args.size() < 3) return DISP_E_BADPARAMCOUNT;
    Variant value;
    VariantCopyInd(&value, args[1]);
    dialog->m_writes.push_back(
        {NumberOf(*args[0]), value.vt, TextOf(value), NumberOf(*args[2]) != 0});
    return S_OK;
  });
  return dialog;
}

std::vector<long> Dialog::Numbers() const {
  std::vector<long> numbers;
  for (const AttributeWrite& write : m_writes) numbers.push_back(write.number);
  return numbers;
}

std::optional<AttributeWrite> Dialog::Write(long number) const {
  for (auto write = m_writes.rbegin(); write != m_writes.rend(); ++write)
    if (write->number == number) return *write;
  return std::nullopt;
}

// ---- Scripts, records, profile helpers ----------------------------------------------------

void SetClientScript(ClientCommandKind kind, const ClientScript& script) {
  ClientScript& slot = Scripts()[kind];
  ReleaseSelection(slot);
  slot = script;
  for (IDispatch* object : slot.selection)
    if (object) object->AddRef();
}

std::vector<ClientCommandRun> ClientCommandRuns() {
  std::vector<ClientCommandRun> runs;
  for (const auto& run : Runs()) runs.push_back(*run);
  return runs;
}

void ResetClientCommands() {
  ContextItemsHook() = nullptr;
  for (auto& [kind, script] : Scripts()) ReleaseSelection(script);
  Scripts().clear();
  Runs().clear();
  for (Document* document : Stored()) document->Release();
  Stored().clear();
  g_nextNumber = 9001;
}

std::vector<Document*> StoredDocuments() { return Stored(); }

void OnContextItemsCreated(std::function<void()> hook) { ContextItemsHook() = std::move(hook); }

void RunContextItemsHook() {
  std::function<void()> hook = ContextItemsHook();
  if (hook) hook();
}

HRESULT ClientCommandClassObject(REFCLSID clsid, REFIID iid, void** object) {
  for (CommandClass& entry : g_commandClasses)
    if (*entry.clsid == clsid) return entry.factory.QueryInterface(iid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace tb
