// The DMS client's document objects. The add-in asks for them by IID and calls the members
// of their dual interfaces by name through IDispatch (names in outside/dms_members.h); the
// vtable-only interfaces are called through the declarations in outside/IManage.idl.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "outside/com.h"
#include "outside/dms_members.h"

namespace dms {

// IIDs under which the client's objects answer.
inline constexpr IID IID_INRTDocument = {0x37085B9A, 0x90AC, 0x11D4, {0x81, 0x00, 0x00, 0xC0, 0x4F, 0x61, 0x0D, 0xBB}};
inline constexpr IID IID_IManDocument = {0x68A9B2E3, 0x0E4B, 0x4738, {0x97, 0xAB, 0x37, 0x8A, 0x7B, 0xD3, 0x4F, 0x58}};
// IManContentShortcut (vtable only): Resolve gives the object it stands for.
inline constexpr IID IID_IManContentShortcut = {0xDD251D9B, 0x53F3, 0x4461, {0x86, 0xED, 0x94, 0x81, 0xBB, 0xF3, 0x6E, 0xE9}};
// IManObject (vtable only): asked of an item before it is treated as a shortcut.
inline constexpr IID IID_IManObject = {0x3B34D56B, 0x4C64, 0x4042, {0xAA, 0x07, 0xF7, 0xD5, 0xA8, 0x8E, 0x38, 0xE4}};
inline constexpr IID IID_INRTDatabase = {0x37085B84, 0x90AC, 0x11D4, {0x81, 0x00, 0x00, 0xC0, 0x4F, 0x61, 0x0D, 0xBB}};
inline constexpr IID IID_INRTSession = {0x37085B82, 0x90AC, 0x11D4, {0x81, 0x00, 0x00, 0xC0, 0x4F, 0x61, 0x0D, 0xBB}};
inline constexpr IID IID_INRTSessions = {0x37085B80, 0x90AC, 0x11D4, {0x81, 0x00, 0x00, 0xC0, 0x4F, 0x61, 0x0D, 0xBB}};
inline constexpr IID IID_INRTDMS = {0x37085B7E, 0x90AC, 0x11D4, {0x81, 0x00, 0x00, 0xC0, 0x4F, 0x61, 0x0D, 0xBB}};
inline constexpr IID IID_INRTFolder = {0x37085B88, 0x90AC, 0x11D4, {0x81, 0x00, 0x00, 0xC0, 0x4F, 0x61, 0x0D, 0xBB}};

// Event interfaces of the client's commands.
inline constexpr IID IID_ICommandEvents = {0x31679F04, 0x3EBD, 0x11D2, {0xA6, 0xDD, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
inline constexpr IID IID_IDialogEvents = {0x1E6A8843, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
// The client's dialogs that a command-event sink fills.
inline constexpr IID IID_INewVersionDlg = {0x1E6A8845, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
inline constexpr IID IID_INewProfileDlg = {0x1E6A8841, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
inline constexpr IID IID_IEditProfileDlg = {0x1E6A883D, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
inline constexpr IID IID_IIManFileSaveDlg = {0xB23B4CD0, 0xB289, 0x4F83, {0x96, 0x9D, 0x2A, 0x44, 0xD6, 0xB1, 0xB7, 0x18}};

// Classes of the client: the context-item collection and the client's own commands.
inline constexpr CLSID CLSID_ContextItems = {0x62F8CCF6, 0x3C71, 0x11D2, {0x8B, 0x38, 0x00, 0xA0, 0xC9, 0x70, 0xA7, 0x30}};
inline constexpr CLSID CLSID_IManFileOpenCmd = {0xEE701CEB, 0x2591, 0x46DF, {0xBC, 0xD4, 0x08, 0xC7, 0xDC, 0x98, 0x1F, 0x1F}};
inline constexpr CLSID CLSID_NewVersionCmd = {0x1E6A8848, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
inline constexpr CLSID CLSID_ImportCmd = {0xF2984223, 0x2B6C, 0x4594, {0x90, 0x88, 0xB3, 0x20, 0x83, 0x5F, 0x3E, 0x7B}};
inline constexpr CLSID CLSID_NewDocumentCmd = {0xAEF5633C, 0x77ED, 0x11D2, {0xA6, 0xE4, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};

// The result of one object-model call: its HRESULT and, on success, its value.
// Value() raises the failure as a COM error, for calls whose result the code does not test.
template <class T>
struct Got {
  HRESULT hr = E_FAIL;
  T value{};
  bool Ok() const { return SUCCEEDED(hr); }
  T& Value() & {
    vpdf::ThrowIfFailed(hr);
    return value;
  }
  T Value() && {
    vpdf::ThrowIfFailed(hr);
    return std::move(value);
  }
};

using Args = std::vector<vpdf::Variant>;

// An automation object of the client, called by member name.
class Object {
 public:
  Object() = default;
  explicit Object(vpdf::ComPtr<IDispatch> object) : m_object(std::move(object)) {}

  // The object behind `unknown` under interface `iid`: E_NOINTERFACE when it has none.
  static HRESULT Query(IUnknown* unknown, REFIID iid, Object& out);

  IDispatch* Get() const { return m_object.Get(); }
  explicit operator bool() const { return static_cast<bool>(m_object); }

  // args in natural order; VT_BYREF arguments carry out values back. A failure the member
  // reports through the platform's DISP_E_EXCEPTION is answered as the member's own HRESULT.
  HRESULT Invoke(const wchar_t* member, WORD flags, Args& args, VARIANT* result) const;
  Got<vpdf::Variant> Property(const wchar_t* member, Args args = {}) const;
  HRESULT PutProperty(const wchar_t* member, vpdf::Variant value) const;
  Got<vpdf::Variant> Call(const wchar_t* member, Args args = {}) const;

  Got<LONG> LongProperty(const wchar_t* member) const;
  Got<std::wstring> StringProperty(const wchar_t* member) const;
  Got<bool> BoolProperty(const wchar_t* member) const;
  Got<DATE> DateProperty(const wchar_t* member) const;
  Got<Object> ObjectProperty(const wchar_t* member) const;

 private:
  vpdf::ComPtr<IDispatch> m_object;
};

class Session : public Object {
 public:
  using Object::Object;
  Got<std::wstring> UserID() const { return StringProperty(member::kUserID); }
  Got<std::wstring> ID() const { return StringProperty(member::kID); }
  // A session's name is the name of its server: the session has no Name of its own.
  Got<std::wstring> Name() const { return StringProperty(member::kServerName); }
  Got<Object> NRTDMS() const { return ObjectProperty(member::kNRTDMS); }
};

class Document;

class Database : public Object {
 public:
  using Object::Object;
  Got<std::wstring> Name() const { return StringProperty(member::kName); }
  Got<Session> GetSession() const;
  // A new document object of this database, not yet stored.
  Got<Document> CreateDocument() const;
};

// Document types, users, classes: objects known by their name.
class Named : public Object {
 public:
  using Object::Object;
  Got<std::wstring> Name() const { return StringProperty(member::kName); }
};

class DocumentType : public Named {
 public:
  using Named::Named;
  Got<std::wstring> ApplicationExtension() const {
    return StringProperty(member::kApplicationExtension);
  }
};

// The answer of an object that has no member of that name.
bool NotAMember(HRESULT hr);

// What a shortcut (IManContentShortcut, called through its vtable) stands for: E_NOINTERFACE
// when `item` is no shortcut; the target may be null.
HRESULT ResolveShortcut(IUnknown* item, vpdf::ComPtr<IUnknown>& target);

class Document : public Object {
 public:
  using Object::Object;
  // The document under `unknown`, asked for as INRTDocument.
  static HRESULT From(IUnknown* unknown, Document& out);

  Got<LONG> Number() const { return LongProperty(member::kNumber); }
  Got<LONG> Version() const { return LongProperty(member::kVersion); }
  Got<std::wstring> Name() const { return StringProperty(member::kName); }
  Got<std::wstring> Description() const { return StringProperty(member::kDescription); }
  Got<std::wstring> Extension() const { return StringProperty(member::kExtension); }
  Got<std::wstring> CheckoutPath() const { return StringProperty(member::kCheckoutPath); }
  Got<bool> CheckedOut() const { return BoolProperty(member::kCheckedOut); }
  Got<Database> GetDatabase() const;
  Got<DocumentType> Type() const;
  // The operator and the users who last edited and now use the document: objects known by
  // their name; a document without such a user answers no object.
  Got<Named> Operator() const;
  Got<Named> LastUser() const;
  Got<Named> InUseBy() const;
  Got<LONG> RetentionDays() const { return LongProperty(member::kRetentionDays); }
  Got<bool> Indexable() const { return BoolProperty(member::kIndexable); }
  Got<DATE> CreationDate() const { return DateProperty(member::kCreationDate); }
  // The text of the ".mhc" file beside a portable copy: unconfirmed, see kMhcText. A
  // document that does not answer the member fails with NotAMember.
  Got<std::wstring> MhcText() const;
  // The author (a user), the class and the subclass: objects known by their name.
  Got<Named> Author() const;
  Got<Named> Class() const;
  Got<Named> SubClass() const;
  Got<vpdf::Variant> Attribute(LONG number) const;
  // The folders that hold the document: a collection with Count and Item (from 1).
  Got<Object> Folders() const { return ObjectProperty(member::kFolders); }
  HRESULT PutCheckoutPath(const std::wstring& path) const;
  // CheckOutEx: checks the document out to `path` with options, due date, comment, the
  // history activity to record, the application's name and a location.
  HRESULT CheckOutEx(const std::wstring& path, LONG options, DATE due, const std::wstring& comment,
                     LONG activity, const std::wstring& application,
                     const std::wstring& location) const;
  // CheckInEx: checks the document in from `path` with disposition, options, the history
  // activity to record, the application's name, a comment and a location.
  HRESULT CheckInEx(const std::wstring& path, LONG disposition, LONG options, LONG activity,
                    const std::wstring& application, const std::wstring& comment,
                    const std::wstring& location) const;
  // Releases the checkout (UnlockDocument).
  HRESULT UnlockDocument() const;
  // Relates this document to document `number`; `related` is the client's answer.
  HRESULT RelateDocument(LONG number, const std::wstring& comments, bool& related) const;
  // Copies the document's content to `path`.
  HRESULT GetCopy(const std::wstring& path) const;
  // Adds an entry to the document's history list: activity code, the application's name and
  // a comment (no duration, no pages, no location or custom texts).
  HRESULT AddHistory(LONG activity, const std::wstring& application,
                     const std::wstring& comment) const;
};

// One of the client's dialogs, as a command hands it to OnInitDialog.
class Dialog : public Object {
 public:
  using Object::Object;
  // Sets profile attribute `number` to `value`, with the flag VARIANT_TRUE.
  HRESULT SetAttribute(LONG number, const vpdf::Variant& value) const;
};

}  // namespace dms
