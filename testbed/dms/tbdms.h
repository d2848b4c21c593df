// Stand-in of the DMS client's object model (tbdms.dll): objects that answer the client's
// interfaces as its type libraries declare them, the context-item collection class and the
// "IManExt.Commands" collection. Tests and the client host build a
// DMS world with the classes below; the add-in sees it only through COM.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "IManExt.h"

#ifdef TBDMS_BUILD
#define TBDMS_API __declspec(dllexport)
#else
#define TBDMS_API __declspec(dllimport)
#endif

namespace tb {

// Objects of the testbed alive in this process: every test asserts that the add-in
// released all it took.
TBDMS_API long LiveObjects();

// For the benchmarks, which time apart what the add-in spends inside the client's objects:
// `enter` runs when a call from outside reaches one of them, `leave` when it returns; a call
// made from within such a call is not reported again. Null stops the reports.
TBDMS_API void ObserveCalls(void (*enter)(), void (*leave)());

struct Facet;

// An object of the client: properties in a bag, methods as handlers, any member made to fail
// with a chosen HRESULT. Every interface of the client's libraries (outside/IManage.idl,
// outside/IManExt.idl) that it answers is the declared one: a vtable built from the type
// library, and for a dual interface IDispatch through the platform's ITypeInfo::Invoke, so an
// undeclared name, a wrong argument count or type, and a call by name on a vtable-only
// interface are refused as the client refuses them. Bag and handler names are the declared
// member names, matched without regard to case (a member that shares its DISPID with another
// has that one's name). An object that answers none of the libraries' interfaces (the
// client's dialogs, objects of unknown kind) answers any name its bag or handlers hold.
class TBDMS_API AutoObject : public IDispatch {
 public:
  using Method = std::function<HRESULT(std::vector<VARIANT*>& args, VARIANT* result)>;

  AutoObject(const AutoObject&) = delete;
  AutoObject& operator=(const AutoObject&) = delete;

  // IUnknown / IDispatch
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override;

  // Property values: copied in and out.
  void Set(const std::wstring& name, const VARIANT& value);
  void SetLong(const std::wstring& name, long value);
  void SetString(const std::wstring& name, const std::wstring& value);
  void SetBool(const std::wstring& name, bool value);
  void SetDate(const std::wstring& name, DATE value);
  void SetObject(const std::wstring& name, IDispatch* object);  // null: VT_DISPATCH null
  void Remove(const std::wstring& name);
  bool Get(const std::wstring& name, VARIANT* value) const;
  std::wstring GetString(const std::wstring& name) const;
  long GetLong(const std::wstring& name) const;

  void SetMethod(const std::wstring& name, Method method);
  // Every later get, put or call of `name` answers `hr` (S_OK clears the failure).
  void Fail(const std::wstring& name, HRESULT hr);
  // How often a member was reached, by name or through the vtable.
  int Calls(const std::wstring& name) const;

  // Makes the object answer QueryInterface for `iid` too.
  void Answer(const IID& iid);

  // For the vtable of a client interface: member `slot` of `facet` called with raw arguments.
  HRESULT CallSlot(const Facet& facet, int slot, const ULONG_PTR* raw);

 protected:
  AutoObject();
  virtual ~AutoObject();

 private:
  DISPID IdOf(const std::wstring& name);
  std::wstring Key(const std::wstring& name) const;
  Facet* FacetOf(const IID& iid);
  Facet* DualFacet();
  bool Typed() const;
  HRESULT Perform(const std::wstring& name, int kind, std::vector<VARIANT*>& args, VARIANT* result);

  volatile LONG m_refs = 1;
  std::vector<IID> m_iids;
  std::vector<Facet*> m_facets;
  std::map<std::wstring, VARIANT> m_properties;
  std::map<std::wstring, Method> m_methods;
  std::map<std::wstring, HRESULT> m_failures;
  std::map<std::wstring, int> m_calls;
  std::vector<std::wstring> m_names;  // DISPID = index + 1
};

// Creates an object of no known kind (reference count 1, owned by the caller).
TBDMS_API AutoObject* NewObject();
// Creates an object that answers the client's interface `iid`.
TBDMS_API AutoObject* NewObject(const IID& iid);

class Session;

class TBDMS_API Database : public AutoObject {
 public:
  // INRTDatabase: Name, Session; CreateDocument gives a new, empty Document of this database.
  static Database* Create(const std::wstring& name, Session* session);
};

class TBDMS_API Session : public AutoObject {
 public:
  // INRTSession: UserID, ID (the session id), ServerName, NRTDMS (an INRTDMS object).
  static Session* Create(const std::wstring& userId, const std::wstring& sessionId);
};

// One call of HistoryList.Add on a document.
struct HistoryEntry {
  long activity = 0;
  long duration = 0, pages = 0;
  std::wstring application, comment, location, custom1, custom2;
};

// One call of CheckOutEx, CheckInEx, UnlockDocument or RelateDocument on a document, or the
// client's import that made it ("Imported": name, type, folder number, keep checked out).
struct MemberCall {
  std::wstring member;
  std::vector<std::wstring> args;  // each as text; a date as its number of days
  bool fileExisted = false;        // the first argument named an existing file at the call
};

class TBDMS_API Document : public AutoObject {
 public:
  // A document (INRTDocument, IManDocument) whose content is the file `contentPath` (copied
  // out by GetCopy). Type is an INRTDocumentType with Name `typeName` and ApplicationExtension
  // `extension`; HistoryList records what Add is given.
  static Document* Create(Database* database, long number, long version, const std::wstring& name,
                          const std::wstring& typeName, const std::wstring& extension,
                          const std::wstring& contentPath);
  std::vector<std::wstring> Copies() const { return m_copies; }
  // The options of each GetCopy, in the order of Copies().
  std::vector<long> CopyOptions() const { return m_copyOptions; }
  std::vector<HistoryEntry> History() const { return m_history; }
  void SetAttribute(long number, const VARIANT& value);
  // CheckOutEx (copies the content to the path), CheckInEx, UnlockDocument and
  // RelateDocument (answers true) as they were called, in order.
  std::vector<MemberCall> Recorded() const { return m_recorded; }
  void Note(MemberCall call) { m_recorded.push_back(std::move(call)); }
  // Takes a copy of the file at `path` as the stored content, as the DMS does when a document
  // is imported or checked in: the add-in may delete its own file afterwards.
  bool StoreContent(const std::wstring& path);
  const std::wstring& ContentPath() const { return m_content; }

 private:
  Document();
  ~Document() override;  // releases what the attributes hold, deletes the stored content
  std::wstring m_content;
  bool m_ownsContent = false;
  std::vector<std::wstring> m_copies;
  std::vector<long> m_copyOptions;
  std::vector<HistoryEntry> m_history;
  std::map<long, VARIANT> m_attributes;
  std::vector<MemberCall> m_recorded;
};

// A shortcut object (IManObject, IManContentShortcut, vtable only): Resolve gives `target`.
TBDMS_API AutoObject* NewShortcut(IDispatch* target);

// The sessions collection (INRTSessions: Count, Item by 1-based index).
TBDMS_API AutoObject* NewSessions(const std::vector<IDispatch*>& sessions);

// A SAFEARRAY of VT_DISPATCH with the given objects (each AddRef'ed), for selections.
TBDMS_API SAFEARRAY* DispatchArray(const std::vector<IDispatch*>& objects);

// The registered context-item collection class, created through COM.
TBDMS_API HRESULT NewContextItems(IContextItems** items);

// The client's own commands (file-open, new version, imports), their dialogs and the scripts
// that decide what the user does: testbed/dms/client_commands.h.

}  // namespace tb
