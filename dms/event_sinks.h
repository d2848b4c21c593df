// Command and dialog event sinks: while one of the DMS client's own commands
// runs, the add-in listens to its events. CmdEvents listens on _ICommandEvents (it notes a
// cancel and fills the client's dialogs with the profile of the source document); DlgEvents
// listens on the client's dialog events and notes a cancel.
//
// Both are dispatch-only sinks that live on the stack of the function that runs the client
// command: AddRef and Release do not count.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

#include "convutils/comutil.h"

namespace vpdf {

// The connection cookie of a sink that is not connected.
inline constexpr DWORD kNotConnected = 0xFEFEFEFE;

class EventSink : public IDispatch {
 public:
  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;

  // IUnknown: IUnknown, IDispatch and the sink's event interface, each the sink itself.
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  // IDispatch: no type information; Invoke answers the DISPIDs of the sink's event table
  // (other DISPIDs: S_OK, nothing done).
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // Finds the source's connection point for the event interface (through its
  // IConnectionPointContainer) and advises the sink there, keeping the cookie.
  HRESULT Connect(IUnknown* source);
  // Unadvises with the cookie; the cookie is kNotConnected again afterwards.
  HRESULT Disconnect();

  DWORD Cookie() const { return m_cookie; }
  bool Cancelled() const { return m_cancelled; }
  const IID& EventInterface() const { return m_events; }

  // One row of the event table: the handler gets the event's one VT_DISPATCH argument and
  // answers the event's 32-bit result. Handlers never throw.
  using Handler = LONG (EventSink::*)(IDispatch* argument);
  struct Entry {
    DISPID id;
    Handler handler;
  };

 protected:
  EventSink(const IID& events, const Entry* table, size_t entries);
  ~EventSink();

  void SetCancelled() { m_cancelled = true; }

 private:
  IID m_events;
  const Entry* m_table;
  size_t m_entries;
  DWORD m_cookie = kNotConnected;
  bool m_cancelled = false;
  ComPtr<IConnectionPoint> m_point;
};

// The sink on a client command's _ICommandEvents {31679F04-3EBD-11D2-A6DD-0060083A942D}:
// 1 PreOnOK, 2 PostOnOK, 3 OnCancel (sets the cancelled flag), 4 OnInitDialog (fills the
// dialog from the source document of SetSourceDocument).
class CmdEvents final : public EventSink {
 public:
  CmdEvents();

  LONG PreOnOK(IDispatch* sender);
  LONG PostOnOK(IDispatch* sender);
  LONG OnCancel(IDispatch* sender);
  // Returns 0, or E_POINTER when the source document gives no author, type or class (then
  // no attribute is set).
  LONG OnInitDialog(IDispatch* dialog);
};

// The sink on the client's dialog events {1E6A8843-54C8-11D2-A6E2-0060083A942D}:
// 2 cancel (sets the cancelled flag), 3 accept (nothing).
class DlgEvents final : public EventSink {
 public:
  DlgEvents();

  LONG OnCancel(IDispatch* dialog);
  LONG OnOK(IDispatch* dialog);
};

// The process-wide source-document slot: the document (INRTDocument) whose profile the
// client's dialogs receive in OnInitDialog. Held with a reference; null empties it.
// Read and written on the client's UI thread only.
void SetSourceDocument(IDispatch* document);
ComPtr<IDispatch> SourceDocument();

// Puts a document into the slot for the lifetime of this object and empties it afterwards.
class SourceDocumentScope {
 public:
  explicit SourceDocumentScope(IDispatch* document) { SetSourceDocument(document); }
  ~SourceDocumentScope() { SetSourceDocument(nullptr); }
  SourceDocumentScope(const SourceDocumentScope&) = delete;
  SourceDocumentScope& operator=(const SourceDocumentScope&) = delete;
};

}  // namespace vpdf
