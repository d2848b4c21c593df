// The client's own commands as stand-ins: see client_commands.h.
#define TBDMS_BUILD
#include "testbed/dms/client_commands.h"
#include "testbed/dms/typelib_dispatch.h"

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
long LiveObjectsAdd(long delta);

namespace {

constexpr IID kICommandEvents = {0x31679F04, 0x3EBD, 0x11D2, {0xA6, 0xDD, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
constexpr IID kIDialogEvents = {0x1E6A8843, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
constexpr IID kINewVersionDlg = {0x1E6A8845, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
constexpr IID kINewProfileDlg = {0x1E6A8841, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
constexpr IID kIEditProfileDlg = {0x1E6A883D, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
constexpr IID kIIManFileSaveDlg = {0xB23B4CD0, 0xB289, 0x4F83, {0x96, 0x9D, 0x2A, 0x44, 0xD6, 0xB1, 0xB7, 0x18}};
constexpr IID kINRTDocument = {0x37085B9A, 0x90AC, 0x11D4, {0x81, 0x00, 0x00, 0xC0, 0x4F, 0x61, 0x0D, 0xBB}};

// ---- Small helpers ------------------------------------------------------------------------

std::wstring TextOf(const VARIANT& value) {
  VARIANT text;
  VariantInit(&text);
  std::wstring result;
  if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR)) &&
      text.bstrVal)
    result.assign(text.bstrVal, SysStringLen(text.bstrVal));
  VariantClear(&text);
  return result;
}

long NumberOf(const VARIANT& value) {
  VARIANT number;
  VariantInit(&number);
  long result = 0;
  if (SUCCEEDED(VariantChangeType(&number, const_cast<VARIANT*>(&value), 0, VT_I4)))
    result = number.lVal;
  VariantClear(&number);
  return result;
}

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
  VARIANT value;
  GetProperty(object, name, &value);
  std::wstring text = TextOf(value);
  VariantClear(&value);
  return text;
}

long LongProperty(IDispatch* object, const wchar_t* name) {
  VARIANT value;
  GetProperty(object, name, &value);
  long number = NumberOf(value);
  VariantClear(&value);
  return number;
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

bool ReadItem(IContextItems* items, const wchar_t* name, VARIANT* value) {
  VariantInit(value);
  if (!items) return false;
  VARIANT index;
  index.vt = VT_BSTR;
  index.bstrVal = SysAllocString(name);
  HRESULT hr = items->Item(index, value);
  VariantClear(&index);
  return SUCCEEDED(hr);
}

void WriteItem(IContextItems* items, const wchar_t* name, const VARIANT& value) {
  BSTR itemName = SysAllocString(name);
  items->Add(itemName, value);
  SysFreeString(itemName);
}

void WriteObjectItem(IContextItems* items, const wchar_t* name, IDispatch* object) {
  VARIANT value;
  value.vt = VT_DISPATCH;
  value.pdispVal = object;
  WriteItem(items, name, value);
}

ContextRecord Record(const std::wstring& name, const VARIANT& original) {
  ContextRecord record;
  record.name = name;
  VARIANT value;
  VariantInit(&value);
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
  VariantClear(&value);
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
  switch (kind) {
    case ClientCommandKind::kNewVersion:
      return DialogKind::kNewVersion;
    case ClientCommandKind::kNewDocument:
      return DialogKind::kNewProfile;
    default:
      return DialogKind::kNone;
  }
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

class ClientCommand;

class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(ClientCommand* owner, const IID& iid) : m_owner(owner), m_iid(iid) {}
  ~ConnectionPoint() {
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
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = m_iid;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
  }

  // Calls `id` on every sink with the one VT_DISPATCH argument.
  FiredEvent Fire(const wchar_t* name, DISPID id, IDispatch* argument) {
    FiredEvent fired;
    fired.name = name;
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
    return fired;
  }
  int Connected() const { return static_cast<int>(m_sinks.size()); }

 private:
  ClientCommand* m_owner;
  IID m_iid;
  std::vector<std::pair<DWORD, IDispatch*>> m_sinks;
};

class ClientCommand final : public TypeLibDispatch<ICommand>, public IConnectionPointContainer {
 public:
  explicit ClientCommand(ClientCommandKind kind)
      : m_kind(kind), m_record(std::make_shared<ClientCommandRun>()) {
    m_record->kind = kind;
    Runs().push_back(m_record);
    LiveObjectsAdd(1);
    LockModule(true);
  }
  ~ClientCommand() {
    if (m_context) m_context->Release();
    m_record->released = true;
    LiveObjectsAdd(-1);
    LockModule(false);
  }

  ClientCommandRun& RecordOf() { return *m_record; }
  void UpdateConnections() {
    m_record->connected = m_commandPoint.Connected() + m_dialogPoint.Connected();
  }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(ICommand))
      *object = static_cast<ICommand*>(this);
    else if (iid == IID_IConnectionPointContainer)
      *object = static_cast<IConnectionPointContainer*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
  }

  // ICommand: the members the add-in uses; the others keep a value or are not implemented.
  STDMETHODIMP get_Name(BSTR* value) override { return Text(m_name, value); }
  STDMETHODIMP put_Name(BSTR value) override { return Keep(m_name, value); }
  STDMETHODIMP get_DescriptionText(BSTR* value) override { return Text(L"", value); }
  STDMETHODIMP put_DescriptionText(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_CommandKind(LONG* value) override { return Number(0, value); }
  STDMETHODIMP put_CommandKind(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP get_Status(LONG* value) override { return Number(m_status, value); }
  STDMETHODIMP put_Status(LONG value) override {
    m_status = value;
    return S_OK;
  }
  STDMETHODIMP get_Tag(LONG* value) override { return Number(0, value); }
  STDMETHODIMP put_Tag(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP get_MenuText(BSTR* value) override { return Text(m_name, value); }
  STDMETHODIMP put_MenuText(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_Bitmap(VARIANT* value) override { return Empty(value); }
  STDMETHODIMP put_Bitmap(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_Accelerator(LONG* value) override { return Number(0, value); }
  STDMETHODIMP put_Accelerator(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP get_HelpText(BSTR* value) override { return Text(L"", value); }
  STDMETHODIMP put_HelpText(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_AuxText(BSTR* value) override { return Text(L"", value); }
  STDMETHODIMP put_AuxText(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_AuxValue(LONG* value) override { return Number(0, value); }
  STDMETHODIMP put_AuxValue(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP get_Context(IContextItems** value) override {
    if (!value) return E_POINTER;
    *value = m_context;
    if (!m_context) return E_FAIL;
    m_context->AddRef();
    return S_OK;
  }
  STDMETHODIMP get_SubCommands(ICommands** value) override {
    if (value) *value = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP putref_SubCommands(ICommands*) override { return E_NOTIMPL; }
  STDMETHODIMP Initialize(IContextItems* value) override {
    if (value) value->AddRef();
    if (m_context) m_context->Release();
    m_context = value;
    return S_OK;
  }
  STDMETHODIMP Update() override {
    ++m_record->updates;
    ClientScript script = ScriptOf(m_kind);
    if (FAILED(script.updateResult)) return script.updateResult;
    m_status = script.status;
    return script.updateResult;
  }
  STDMETHODIMP Execute() override;
  STDMETHODIMP get_LargeBitmap(VARIANT* value) override { return Empty(value); }
  STDMETHODIMP put_LargeBitmap(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_AuxText2(BSTR* value) override { return Text(L"", value); }
  STDMETHODIMP put_AuxText2(BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP get_SmallIcon(VARIANT* value) override { return Empty(value); }
  STDMETHODIMP put_SmallIcon(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_LargeIcon(VARIANT* value) override { return Empty(value); }
  STDMETHODIMP put_LargeIcon(VARIANT) override { return E_NOTIMPL; }
  STDMETHODIMP get_AuxFlag(short* value) override {
    if (!value) return E_POINTER;
    *value = 0;
    return S_OK;
  }
  STDMETHODIMP put_AuxFlag(short) override { return E_NOTIMPL; }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points) *points = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (iid == kICommandEvents)
      *point = &m_commandPoint;
    else if (iid == kIDialogEvents)
      *point = &m_dialogPoint;
    else
      return CONNECT_E_NOCONNECTION;
    (*point)->AddRef();
    return S_OK;
  }

 private:
  static HRESULT Text(const std::wstring& text, BSTR* value) {
    if (!value) return E_POINTER;
    *value = SysAllocString(text.c_str());
    return S_OK;
  }
  static HRESULT Keep(std::wstring& slot, BSTR value) {
    slot = value ? value : L"";
    return S_OK;
  }
  static HRESULT Number(LONG number, LONG* value) {
    if (!value) return E_POINTER;
    *value = number;
    return S_OK;
  }
  static HRESULT Empty(VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    return S_OK;
  }

  void Fire(ConnectionPoint& point, const wchar_t* name, DISPID id, IDispatch* argument) {
    m_record->events.push_back(point.Fire(name, id, argument));
  }
  void SnapshotContext();
  void WriteResults(const ClientScript& script);
  IDispatch* NewVersion(const ClientScript& script);
  IDispatch* Imported(const ClientScript& script);

  ULONG m_refs = 1;
  ClientCommandKind m_kind;
  std::shared_ptr<ClientCommandRun> m_record;
  IContextItems* m_context = nullptr;
  LONG m_status = 1;
  std::wstring m_name;
  ConnectionPoint m_commandPoint{this, kICommandEvents};
  ConnectionPoint m_dialogPoint{this, kIDialogEvents};
};

STDMETHODIMP_(ULONG) ConnectionPoint::AddRef() { return m_owner->AddRef(); }
STDMETHODIMP_(ULONG) ConnectionPoint::Release() { return m_owner->Release(); }

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  if (!container) return E_POINTER;
  return m_owner->QueryInterface(IID_IConnectionPointContainer,
                                 reinterpret_cast<void**>(container));
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  IDispatch* events = nullptr;
  if (FAILED(sink->QueryInterface(m_iid, reinterpret_cast<void**>(&events))) || !events)
    return CONNECT_E_CANNOTCONNECT;
  *cookie = g_nextCookie++;
  m_sinks.emplace_back(*cookie, events);
  m_owner->RecordOf().advised.push_back(*cookie);
  m_owner->UpdateConnections();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  auto found = std::find_if(m_sinks.begin(), m_sinks.end(),
                            [cookie](const auto& entry) { return entry.first == cookie; });
  if (found == m_sinks.end()) return CONNECT_E_NOCONNECTION;
  IDispatch* sink = found->second;
  m_sinks.erase(found);
  sink->Release();
  m_owner->RecordOf().unadvised.push_back(cookie);
  m_owner->UpdateConnections();
  return S_OK;
}

void ClientCommand::SnapshotContext() {
  m_record->context.clear();
  m_record->hadContext = m_context != nullptr;
  if (!m_context) return;
  for (const std::wstring& name : ContextNames(m_context)) {
    VARIANT value;
    ReadItem(m_context, name.c_str(), &value);
    m_record->context.push_back(Record(name, value));
    VariantClear(&value);
  }
}

IDispatch* ClientCommand::NewVersion(const ClientScript& script) {
  VARIANT selected;
  ReadItem(m_context, L"SelectedNRTDocuments", &selected);
  IDispatch* source = FirstObject(selected);
  VariantClear(&selected);
  if (!source) return nullptr;
  VARIANT file;
  ReadItem(m_context, L"IManExt.Import.FileName", &file);
  std::wstring path = TextOf(file);
  VariantClear(&file);

  VARIANT type;
  GetProperty(source, L"Type", &type);
  IDispatch* typeObject = FirstObject(type);
  VariantClear(&type);
  Document* created = Document::Create(
      nullptr, script.newNumber ? script.newNumber : LongProperty(source, L"Number"),
      script.newVersion ? script.newVersion : LongProperty(source, L"Version") + 1,
      StringProperty(source, L"Name"), StringProperty(typeObject, L"Name"),
      StringProperty(typeObject, L"ApplicationExtension"), path);
  if (typeObject) typeObject->Release();
  VARIANT database;
  if (GetProperty(source, L"Database", &database)) created->Set(L"Database", database);
  VariantClear(&database);
  created->SetString(L"Description", StringProperty(source, L"Description"));
  created->SetBool(L"CheckedOut", script.checkedOut.value_or(true));
  created->SetString(L"CheckoutPath", path);
  source->Release();
  return Store(created);
}

IDispatch* ClientCommand::Imported(const ClientScript& script) {
  VARIANT value;
  ReadItem(m_context, L"IManExt.Import.FileName", &value);
  std::wstring path = TextOf(value);
  VariantClear(&value);
  ReadItem(m_context, L"IManExt.Import.DocType", &value);
  std::wstring type = TextOf(value);
  VariantClear(&value);
  ReadItem(m_context, L"IManExt.Import.DocDescription", &value);
  std::wstring description = TextOf(value);
  VariantClear(&value);

  std::wstring name = path.substr(path.find_last_of(L"\\/") == std::wstring::npos
                                      ? 0
                                      : path.find_last_of(L"\\/") + 1);
  size_t dot = name.find_last_of(L'.');
  std::wstring extension = dot == std::wstring::npos ? L"" : name.substr(dot + 1);

  Database* database = Database::Create(script.databaseName, nullptr);
  ReadItem(m_context, L"DestinationObject", &value);
  if (value.vt == VT_DISPATCH)
    database->Set(L"Session", value);
  else
    database->Remove(L"Session");
  VariantClear(&value);

  Document* created = Document::Create(database, script.newNumber ? script.newNumber : g_nextNumber++,
                                       script.newVersion ? script.newVersion : 1, description, type,
                                       extension, path);
  created->StoreContent(path);
  database->Release();
  created->SetBool(L"CheckedOut",
                   script.checkedOut.value_or(m_kind == ClientCommandKind::kSilentImport));
  created->SetString(L"CheckoutPath", path);
  return Store(created);
}

void ClientCommand::WriteResults(const ClientScript& script) {
  if (!m_context) return;
  if (script.onAccept) {
    script.onAccept(m_context);
    return;
  }
  switch (m_kind) {
    case ClientCommandKind::kFileOpen: {
      VARIANT value;
      value.vt = VT_ARRAY | VT_DISPATCH;
      value.parray = DispatchArray(script.selection);
      WriteItem(m_context, L"SelectedIManObjects", value);
      VariantClear(&value);
      break;
    }
    case ClientCommandKind::kNewVersion:
      if (IDispatch* created = NewVersion(script)) {
        WriteObjectItem(m_context, L"iManExt.NewVersionCmd.Document", created);
        created->Release();
      }
      break;
    case ClientCommandKind::kSilentImport:
    case ClientCommandKind::kNewDocument:
      if (IDispatch* created = Imported(script)) {
        WriteObjectItem(m_context, L"ImportedDocument", created);
        created->Release();
      }
      break;
  }
}

STDMETHODIMP ClientCommand::Execute() {
  AddRef();  // a sink may let the command go while it fires
  ++m_record->executes;
  SnapshotContext();
  ClientScript script = ScriptOf(m_kind);
  DialogKind dialogKind = script.dialog.value_or(DefaultDialog(m_kind));
  Dialog* dialog = dialogKind == DialogKind::kNone ? nullptr : Dialog::Create(dialogKind);
  m_record->dialog = dialogKind;
  IDispatch* self = static_cast<ICommand*>(this);
  IDispatch* dialogArgument = dialog ? static_cast<IDispatch*>(dialog) : self;

  if (script.user != UserAction::kNothing && dialog)
    Fire(m_commandPoint, L"OnInitDialog", 4, dialog);
  if (script.user == UserAction::kAccept) {
    Fire(m_commandPoint, L"PreOnOK", 1, self);
    Fire(m_dialogPoint, L"Dialog.OnOK", 3, dialogArgument);
    WriteResults(script);
    Fire(m_commandPoint, L"PostOnOK", 2, self);
  } else if (script.user == UserAction::kCancel) {
    Fire(m_dialogPoint, L"Dialog.OnCancel", 2, dialogArgument);
    Fire(m_commandPoint, L"OnCancel", 3, self);
  }
  if (dialog) {
    m_record->dialogWrites = dialog->Writes();
    dialog->Release();
  }
  Release();
  return script.executeResult;
}

// ---- Class objects ------------------------------------------------------------------------

struct CommandClass {
  const CLSID* clsid;
  ClientCommandKind kind;
};
constexpr CommandClass kCommandClasses[] = {
    {&kClsidFileOpenCmd, ClientCommandKind::kFileOpen},
    {&kClsidNewVersionCmd, ClientCommandKind::kNewVersion},
    {&kClsidImportCmd, ClientCommandKind::kSilentImport},
    {&kClsidNewDocumentCmd, ClientCommandKind::kNewDocument},
};

using CommandFactory = ClassFactory<ClientCommand, ClientCommandKind>;

CommandFactory g_factories[] = {
    CommandFactory(ClientCommandKind::kFileOpen), CommandFactory(ClientCommandKind::kNewVersion),
    CommandFactory(ClientCommandKind::kSilentImport),
    CommandFactory(ClientCommandKind::kNewDocument)};

const IID* DialogIid(DialogKind kind) {
  switch (kind) {
    case DialogKind::kNewVersion:
      return &kINewVersionDlg;
    case DialogKind::kNewProfile:
      return &kINewProfileDlg;
    case DialogKind::kEditProfile:
      return &kIEditProfileDlg;
    case DialogKind::kFileSave:
      return &kIIManFileSaveDlg;
    default:
      return nullptr;
  }
}

}  // namespace

// ---- Dialogs ------------------------------------------------------------------------------

Dialog* Dialog::Create(DialogKind kind) {
  auto* dialog = new Dialog;
  dialog->m_kind = kind;
  if (const IID* iid = DialogIid(kind)) dialog->Answer(*iid);
  dialog->SetMethod(L"SetAttributeValueByID",
                    [dialog](std::vector<VARIANT*>& args, VARIANT* result) {
                      if (args.size() < 3) return DISP_E_BADPARAMCOUNT;
                      AttributeWrite write;
                      write.number = NumberOf(*args[0]);
                      VARIANT value;
                      VariantInit(&value);
                      VariantCopyInd(&value, args[1]);
                      write.type = value.vt;
                      write.value = TextOf(value);
                      VariantClear(&value);
                      write.flag = NumberOf(*args[2]) != 0;
                      dialog->m_writes.push_back(std::move(write));
                      VariantInit(result);
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
}

std::vector<Document*> StoredDocuments() { return Stored(); }

AutoObject* NewNamed(const std::wstring& name, const IID* iid) {
  AutoObject* object = NewObject(iid ? *iid : __uuidof(INRTUser));
  object->SetString(L"Name", name);
  return object;
}

void SetDocumentProfile(AutoObject* document, const std::wstring& author,
                        const std::wstring& documentClass, const std::wstring& subClass) {
  auto set = [document](const wchar_t* member, const std::wstring& name) {
    AutoObject* named =
        NewNamed(name, member == std::wstring(L"Author") ? nullptr : &__uuidof(INRTDocumentClass));
    document->SetObject(member, named);
    named->Release();
  };
  set(L"Author", author);
  set(L"Class", documentClass);
  if (subClass.empty())
    document->Remove(L"SubClass");
  else
    set(L"SubClass", subClass);
}

void OnContextItemsCreated(std::function<void()> hook) { ContextItemsHook() = std::move(hook); }

void RunContextItemsHook() {
  std::function<void()> hook = ContextItemsHook();
  if (hook) hook();
}

bool IsClientCommandClass(REFCLSID clsid) {
  return std::any_of(std::begin(kCommandClasses), std::end(kCommandClasses),
                     [&](const CommandClass& entry) { return *entry.clsid == clsid; });
}

HRESULT ClientCommandClassObject(REFCLSID clsid, REFIID iid, void** object) {
  for (size_t i = 0; i < std::size(kCommandClasses); ++i)
    if (*kCommandClasses[i].clsid == clsid) return g_factories[i].QueryInterface(iid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace tb
