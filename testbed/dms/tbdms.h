// Stand-in of the DMS client's object model (tbdms.dll): automation objects that
// answer the client's IIDs and member names, the context-item collection class
// and the "IManExt.Commands" collection. Tests and the client host build a DMS
// world with the classes below; the add-in sees it only through COM.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <map>
#include <string>
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

// An automation object: properties in a bag, methods as handlers, any member made
// to fail with a chosen HRESULT. Member names are matched without regard to case,
// as automation clients expect.
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
  // How often a member was reached through Invoke.
  int Calls(const std::wstring& name) const;

  // Makes the object answer QueryInterface for `iid` too.
  void Answer(const IID& iid);

 protected:
  AutoObject();
  virtual ~AutoObject();

 private:
  DISPID IdOf(const std::wstring& name);
  std::wstring Key(const std::wstring& name) const;

  ULONG m_refs = 1;
  std::vector<IID> m_iids;
  std::map<std::wstring, VARIANT> m_properties;
  std::map<std::wstring, Method> m_methods;
  std::map<std::wstring, HRESULT> m_failures;
  std::map<std::wstring, int> m_calls;
  std::vector<std::wstring> m_names;  // DISPID = index + 1
};

// Creates a plain automation object (reference count 1, owned by the caller).
TBDMS_API AutoObject* NewObject();

class Session;

class TBDMS_API Database : public AutoObject {
 public:
  // Name, Session; CreateDocument gives a new, empty Document of this database.
  static Database* Create(const std::wstring& name, Session* session);
};

class TBDMS_API Session : public AutoObject {
 public:
  // UserID, SessionID, Name (the session id until set otherwise), DMS.
  static Session* Create(const std::wstring& userId, const std::wstring& sessionId);
};

struct HistoryEntry {
  long activity = 0;
  std::wstring application;
  long a = 0, b = 0;
  std::wstring comment, text1, text2;
};

// One call of CheckOut, CheckIn, UnlockContent or RelateDocument on a document.
struct MemberCall {
  std::wstring member;
  std::vector<std::wstring> args;  // each as text; a date as its number of days
  bool fileExisted = false;        // the first argument named an existing file at the call
};

class TBDMS_API Document : public AutoObject {
 public:
  // A document whose content is the file `contentPath` (copied out by GetCopy).
  // Type is a document type object with Name `typeName` and ApplicationExtension `extension`.
  static Document* Create(Database* database, long number, long version, const std::wstring& name,
                          const std::wstring& typeName, const std::wstring& extension,
                          const std::wstring& contentPath);
  std::vector<std::wstring> Copies() const { return m_copies; }
  std::vector<HistoryEntry> History() const { return m_history; }
  void SetAttribute(long number, const VARIANT& value);
  // CheckOut (copies the content to the path), CheckIn, UnlockContent and RelateDocument
  // (answers true) as they were called, in order.
  std::vector<MemberCall> Recorded() const { return m_recorded; }
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
  std::vector<HistoryEntry> m_history;
  std::map<long, VARIANT> m_attributes;
  std::vector<MemberCall> m_recorded;
};

// A shortcut object: Resolve gives `target`.
TBDMS_API AutoObject* NewShortcut(IDispatch* target);

// The sessions collection (Count, Item by 1-based index).
TBDMS_API AutoObject* NewSessions(const std::vector<IDispatch*>& sessions);

// A SAFEARRAY of VT_DISPATCH with the given objects (each AddRef'ed), for selections.
TBDMS_API SAFEARRAY* DispatchArray(const std::vector<IDispatch*>& objects);

// The registered context-item collection class, created through COM.
TBDMS_API HRESULT NewContextItems(IContextItems** items);

// The client's own commands (file-open, new version, imports), their dialogs and the scripts
// that decide what the user does: testbed/dms/client_commands.h.

}  // namespace tb
