// Every member name that the add-in calls on the DMS client's objects through
// IDispatch, in one place, so that it can be checked against the real client.
#pragma once

namespace dms::member {

// Documents (INRTDocument, IManDocument)
inline constexpr wchar_t kNumber[] = L"Number";
inline constexpr wchar_t kVersion[] = L"Version";
inline constexpr wchar_t kName[] = L"Name";
inline constexpr wchar_t kDescription[] = L"Description";
inline constexpr wchar_t kExtension[] = L"Extension";
inline constexpr wchar_t kDatabase[] = L"Database";
inline constexpr wchar_t kType[] = L"Type";
inline constexpr wchar_t kCheckoutPath[] = L"CheckoutPath";
inline constexpr wchar_t kCheckedOut[] = L"CheckedOut";
inline constexpr wchar_t kGetAttributeValueByID[] = L"GetAttributeValueByID";
inline constexpr wchar_t kGetCopy[] = L"GetCopy";
inline constexpr wchar_t kAddHistory[] = L"AddHistory";
inline constexpr wchar_t kAuthor[] = L"Author";
inline constexpr wchar_t kClass[] = L"Class";
inline constexpr wchar_t kSubClass[] = L"SubClass";

// Profile fields of a document (INRTDocument)
inline constexpr wchar_t kOperator[] = L"Operator";
inline constexpr wchar_t kLastUser[] = L"LastUser";
inline constexpr wchar_t kInUseBy[] = L"InUseBy";
inline constexpr wchar_t kRetentionDays[] = L"RetentionDays";
inline constexpr wchar_t kIndexable[] = L"Indexable";
inline constexpr wchar_t kCreationDate[] = L"CreationDate";
// The text that goes into the ".mhc" file beside a portable copy
inline constexpr wchar_t kMhcText[] = L"MhcText";

// Storing documents: check-out and check-in, relations, the folders that hold a document
inline constexpr wchar_t kCheckOut[] = L"CheckOut";
inline constexpr wchar_t kCheckIn[] = L"CheckIn";
inline constexpr wchar_t kUnlockContent[] = L"UnlockContent";
inline constexpr wchar_t kRelateDocument[] = L"RelateDocument";
inline constexpr wchar_t kFolders[] = L"Folders";
inline constexpr wchar_t kCreateDocument[] = L"CreateDocument";

// Document types
inline constexpr wchar_t kApplicationExtension[] = L"ApplicationExtension";
inline constexpr wchar_t kID[] = L"ID";
inline constexpr wchar_t kDMSExtension[] = L"DMSExtension";
inline constexpr wchar_t kOpenMethod[] = L"OpenMethod";
inline constexpr wchar_t kViewMethod[] = L"ViewMethod";

// Application methods of a document type
inline constexpr wchar_t kPath[] = L"Path";
inline constexpr wchar_t kDDEName[] = L"DDEName";
inline constexpr wchar_t kDDEOpen[] = L"DDEOpen";

// Shortcuts
inline constexpr wchar_t kResolve[] = L"Resolve";

// Databases and sessions
inline constexpr wchar_t kSession[] = L"Session";
inline constexpr wchar_t kUserID[] = L"UserID";
inline constexpr wchar_t kSessionID[] = L"SessionID";
inline constexpr wchar_t kDMS[] = L"DMS";
// The DMS object's session collection
inline constexpr wchar_t kSessions[] = L"Sessions";

// The client's dialogs (new version, new profile, edit profile, file save)
inline constexpr wchar_t kSetAttributeValueByID[] = L"SetAttributeValueByID";

// Collections
inline constexpr wchar_t kCount[] = L"Count";
inline constexpr wchar_t kItem[] = L"Item";

}  // namespace dms::member
