#include "dms/event_sinks.h"

#include <ocidl.h>
#include <olectl.h>

#include <iterator>
#include <string>

#include "convutils/entry_guard.h"
#include "convutils/log.h"
#include "dms/client_options.h"
#include "outside/dms.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\DMSConnectors\\iManageCommon\\DMSiManageCommon");

// The process-wide source-document slot (UI thread only).
IDispatch* g_sourceDocument = nullptr;

// Profile attributes copied one by one from the source document to a dialog.
template <class Visit>
void ForEachProfileAttribute(Visit visit) {
  for (LONG number = 24; number <= 73; ++number) visit(number);
  visit(96);
}

// What OnInitDialog hands to the dialogs: D0, D3, D5, D6, D8, D9 and A17.
struct SourceProfile {
  dms::Document document;  // empty without a source document
  std::wstring database, description, author, author2, className, subClass;
  Variant attribute17;
};

// Reads the profile of the source document. False when the document gives no author,
// document type or class: the dialog then gets nothing.
bool ReadSourceProfile(SourceProfile& profile) {
  ComPtr<IDispatch> source = SourceDocument();
  if (source) {
    profile.document = dms::Document(source);
    const dms::Document& document = profile.document;
    if (auto database = document.GetDatabase(); database.Ok()) {
      if (auto name = database.value.Name(); name.Ok()) profile.database = name.value;
    }
    if (auto description = document.Description(); description.Ok())
      profile.description = description.value;
    auto author = document.Author();
    auto type = document.Type();
    auto documentClass = document.Class();
    if (!author.Ok() || !type.Ok() || !documentClass.Ok()) {
      kLog.Error("OnInitDialog source document without author, type or class, hr: 0x%08lX",
                 static_cast<unsigned long>(FAILED(author.hr)         ? author.hr
                                            : FAILED(type.hr)         ? type.hr
                                                                      : documentClass.hr));
      return false;
    }
    if (auto name = author.value.Name(); name.Ok()) profile.author = name.value;
    type.value.Name();  // read like the client's own code does; not used
    if (auto name = documentClass.value.Name(); name.Ok()) profile.className = name.value;
    if (auto subClass = document.SubClass(); subClass.Ok()) {
      if (auto name = subClass.value.Name(); name.Ok()) profile.subClass = name.value;
    }
    if (auto attribute = document.Attribute(17); attribute.Ok())
      profile.attribute17 = std::move(attribute.value);
  }
  profile.author2 = profile.author;  // D6 is D5
  return true;
}

class DialogFiller {
 public:
  DialogFiller(const dms::Dialog& dialog, const SourceProfile& profile)
      : m_dialog(dialog), m_profile(profile) {}

  void Text(LONG number, const std::wstring& text) const {
    m_dialog.SetAttribute(number, Variant::String(text));
  }
  void TextIfAny(LONG number, const std::wstring& text) const {
    if (!text.empty()) Text(number, text);
  }
  void Attribute17() const {
    if (m_profile.attribute17.Type() != VT_EMPTY) m_dialog.SetAttribute(17, m_profile.attribute17);
  }
  // Attributes 3, 6, 5, 8, 9 and 0, each only when the source gave a text.
  void Names() const {
    TextIfAny(3, m_profile.description);
    TextIfAny(6, m_profile.author2);
    TextIfAny(5, m_profile.author);
    TextIfAny(8, m_profile.className);
    TextIfAny(9, m_profile.subClass);
    TextIfAny(0, m_profile.database);
  }
  // Attributes 24 to 73 and 96 as the source document has them; `format` logs a BSTR value.
  void ProfileAttributes(const char* format) const {
    if (!m_profile.document) return;
    ForEachProfileAttribute([&](LONG number) {
      dms::Got<Variant> value = m_profile.document.Attribute(number);
      if (!value.Ok() || value.value.Type() == VT_EMPTY) return;
      if (value.value.Type() == VT_BSTR) {
        BSTR text = value.value.Get()->bstrVal;
        kLog.Trace(LogFormat(format, std::source_location::current()), static_cast<int>(number),
                   static_cast<const wchar_t*>(text ? text : L""));
      }
      m_dialog.SetAttribute(number, value.value);
    });
  }

 private:
  const dms::Dialog& m_dialog;
  const SourceProfile& m_profile;
};

bool AskDialog(IDispatch* object, const IID& iid, dms::Dialog& dialog) {
  dms::Object found;
  if (!object || FAILED(dms::Object::Query(object, iid, found))) return false;
  dialog = dms::Dialog(ComPtr<IDispatch>(found.Get()));
  return true;
}

LONG FillDialog(IDispatch* object) {
  kLog.Trace("_ICommandEvents OnInitDialog begin");
  kLog.Trace("OnInitDialog get attributes");
  SourceProfile profile;
  if (!ReadSourceProfile(profile)) return E_POINTER;

  dms::Dialog dialog;
  if (AskDialog(object, dms::IID_INewVersionDlg, dialog)) {
    kLog.Trace("OnInitDialog :: pNewVersionDlg ***");
    DialogFiller fill(dialog, profile);
    fill.Text(7, DocTypeForFile(L"temp.pdf"));
    fill.Names();
    fill.ProfileAttributes("OnInitDialog :: pNewVersionDlg %d var.bstr : %S");
    fill.Attribute17();
  } else if (AskDialog(object, dms::IID_INewProfileDlg, dialog)) {
    kLog.Trace("OnInitDialog :: pNewProfileDlg ***");
    DialogFiller fill(dialog, profile);
    fill.Text(3, profile.description);
    fill.Attribute17();
    fill.TextIfAny(6, profile.author2);
    fill.TextIfAny(5, profile.author);
    fill.TextIfAny(8, profile.className);
    fill.TextIfAny(9, profile.subClass);
    fill.TextIfAny(0, profile.database);
    fill.ProfileAttributes("OnInitialog :: pNewProfileDlg %d var.bstr : %S");
  } else if (AskDialog(object, dms::IID_IEditProfileDlg, dialog)) {
    kLog.Trace("OnInitDialog :: IEditProfileDlg ***");
    DialogFiller(dialog, profile).Text(8, profile.className);
  } else if (AskDialog(object, dms::IID_IIManFileSaveDlg, dialog)) {
    kLog.Trace("OnInitDialog :: IIManFileSaveDlg ***");
    DialogFiller fill(dialog, profile);
    fill.Names();
    fill.ProfileAttributes("OnInitDialog :: pIManFileSaveDlg %d var.bstr : %S");
  } else {
    kLog.Trace("_ICommandEvents OnInitDialog end");
    return 0;
  }
  kLog.Trace("_ICommandEvents OnInitDialog return S_OK");
  return 0;
}

}  // namespace

// ---- EventSink ----------------------------------------------------------------------------

EventSink::EventSink(const IID& events, const Entry* table, size_t entries)
    : m_events(events), m_table(table), m_entries(entries) {}

EventSink::~EventSink() {
  if (m_cookie != kNotConnected) Disconnect();
}

STDMETHODIMP EventSink::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == GUID_NULL) return E_NOINTERFACE;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == m_events) {
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP EventSink::GetTypeInfoCount(UINT*) { return E_NOTIMPL; }

STDMETHODIMP EventSink::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }

STDMETHODIMP EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO*, UINT*) {
  return GuardedHr(kLog, "Invoke", [&]() -> HRESULT {
    const Entry* entry = nullptr;
    for (size_t i = 0; i < m_entries; ++i)
      if (m_table[i].id == id) entry = &m_table[i];
    if (!entry) return S_OK;
    if (!params || params->cArgs != 1 || params->cNamedArgs != 0) return DISP_E_BADPARAMCOUNT;

    Variant argument;
    if (FAILED(VariantChangeType(argument.Put(), &params->rgvarg[0], 0, VT_DISPATCH)))
      return DISP_E_TYPEMISMATCH;

    // The call description of the event: standard call, a 32-bit integer result and one
    // VT_DISPATCH parameter. DispCallFunc calls the first virtual function of `bound`, which
    // hands the argument to the sink's handler.
    class Bound final {
     public:
      Bound(EventSink* sink, Handler handler) : m_sink(sink), m_handler(handler) {}
      // Called from the platform's code: nothing may be thrown through it.
      virtual LONG STDMETHODCALLTYPE Call(IDispatch* argument) {
        return Guarded(kLog, "event handler", static_cast<LONG>(E_UNEXPECTED),
                       [&] { return (m_sink->*m_handler)(argument); });
      }

     private:
      EventSink* m_sink;
      Handler m_handler;
    };
    Bound bound(this, entry->handler);
    VARTYPE types[1] = {VT_DISPATCH};
    VARIANT* arguments[1] = {argument.Get()};
    Variant answer;
    HRESULT hr = DispCallFunc(&bound, 0, CC_STDCALL, VT_I4, 1, types, arguments, answer.Put());
    if (FAILED(hr)) return hr;
    if (result) *result = answer.Detach();
    return S_OK;
  });
}

HRESULT EventSink::Connect(IUnknown* source) {
  if (!source) return E_POINTER;
  if (m_cookie != kNotConnected) Disconnect();
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IConnectionPoint> point;
  hr = container->FindConnectionPoint(m_events, point.Put());
  if (FAILED(hr)) return hr;
  if (!point) return E_POINTER;
  DWORD cookie = 0;
  hr = point->Advise(static_cast<IDispatch*>(this), &cookie);
  if (FAILED(hr)) return hr;
  m_point = std::move(point);
  m_cookie = cookie;
  return S_OK;
}

HRESULT EventSink::Disconnect() {
  if (!m_point) {
    m_cookie = kNotConnected;
    return CONNECT_E_NOCONNECTION;
  }
  HRESULT hr = m_point->Unadvise(m_cookie);
  m_point.Reset();
  m_cookie = kNotConnected;
  return hr;
}

// ---- CmdEvents ----------------------------------------------------------------------------

namespace {

template <class Sink>
constexpr EventSink::Handler As(LONG (Sink::*handler)(IDispatch*)) {
  return static_cast<EventSink::Handler>(handler);
}

const EventSink::Entry kCommandEvents[] = {
    {1, As(&CmdEvents::PreOnOK)},
    {2, As(&CmdEvents::PostOnOK)},
    {3, As(&CmdEvents::OnCancel)},
    {4, As(&CmdEvents::OnInitDialog)},
};

const EventSink::Entry kDialogEvents[] = {
    {2, As(&DlgEvents::OnCancel)},
    {3, As(&DlgEvents::OnOK)},
};

}  // namespace

CmdEvents::CmdEvents()
    : EventSink(dms::IID_ICommandEvents, kCommandEvents, std::size(kCommandEvents)) {}

LONG CmdEvents::PreOnOK(IDispatch*) {
  kLog.Trace("_ICommandEvents PreOnOK begin");
  kLog.Trace("_ICommandEvents PreOnOK end");
  return 0;
}

LONG CmdEvents::PostOnOK(IDispatch*) {
  kLog.Trace("_ICommandEvents PostOnOK begin");
  kLog.Trace("_ICommandEvents PostOnOK end");
  return 0;
}

LONG CmdEvents::OnCancel(IDispatch*) {
  kLog.Trace("_ICommandEvents OnCancel begin");
  SetCancelled();
  kLog.Trace("_ICommandEvents OnCancel end");
  return 0;
}

LONG CmdEvents::OnInitDialog(IDispatch* dialog) {
  try {
    return FillDialog(dialog);
  } catch (const ComError& error) {
    kLog.Error("_ICommandEvents OnInitDialog failed, hr: 0x%08lX",
               static_cast<unsigned long>(error.Error()));
    return error.Error();
  } catch (...) {
    kLog.Error("_ICommandEvents OnInitDialog failed");
    return E_FAIL;
  }
}

// ---- DlgEvents ----------------------------------------------------------------------------

DlgEvents::DlgEvents()
    : EventSink(dms::IID_IDialogEvents, kDialogEvents, std::size(kDialogEvents)) {}

LONG DlgEvents::OnCancel(IDispatch*) {
  SetCancelled();
  return 0;
}

LONG DlgEvents::OnOK(IDispatch*) { return 0; }

// ---- Source-document slot -----------------------------------------------------------------

void SetSourceDocument(IDispatch* document) {
  if (document) document->AddRef();
  IDispatch* previous = g_sourceDocument;
  g_sourceDocument = document;
  if (previous) previous->Release();
}

ComPtr<IDispatch> SourceDocument() { return ComPtr<IDispatch>(g_sourceDocument); }

}  // namespace vpdf
