// Every member that the add-in calls by name on the DMS client's objects, with the dual
// interfaces that declare it (outside/IManage.idl, outside/client_model.tsv), in one place.
// Only dual interfaces appear here: vtable-only ones (IManDocument, IManContentShortcut,
// INRTLaunchMethod) are called through their declared vtables.
#pragma once

namespace dms::member {

struct Member {
  const wchar_t* name;
  const wchar_t* interfaces;  // space-separated; empty: declared by none of them
  constexpr operator const wchar_t*() const { return name; }
};

// Documents
inline constexpr Member kNumber{L"Number", L"INRTDocument"};
inline constexpr Member kVersion{L"Version", L"INRTDocument"};
inline constexpr Member kName{L"Name", L"INRTDocument INRTDatabase INRTDocumentType INRTUser INRTDocumentClass"};
inline constexpr Member kDescription{L"Description", L"INRTDocument INRTDatabase INRTDocumentType"};
inline constexpr Member kExtension{L"Extension", L"INRTDocument"};
inline constexpr Member kDatabase{L"Database", L"INRTDocument INRTFolder"};
inline constexpr Member kType{L"Type", L"INRTDocument"};
inline constexpr Member kCheckoutPath{L"CheckoutPath", L"INRTDocument"};
inline constexpr Member kCheckedOut{L"CheckedOut", L"INRTDocument"};
inline constexpr Member kGetAttributeByID{L"GetAttributeByID", L"INRTDocument"};
inline constexpr Member kGetCopy{L"GetCopy", L"INRTDocument"};
inline constexpr Member kHistoryList{L"HistoryList", L"INRTDocument"};
inline constexpr Member kAuthor{L"Author", L"INRTDocument"};
inline constexpr Member kClass{L"Class", L"INRTDocument"};
inline constexpr Member kSubClass{L"SubClass", L"INRTDocument"};

// Profile fields of a document
inline constexpr Member kOperator{L"Operator", L"INRTDocument"};
inline constexpr Member kLastUser{L"LastUser", L"INRTDocument"};
inline constexpr Member kInUseBy{L"InUseBy", L"INRTDocument"};
inline constexpr Member kRetentionDays{L"RetentionDays", L"INRTDocument"};
inline constexpr Member kIndexable{L"Indexable", L"INRTDocument"};
inline constexpr Member kCreationDate{L"CreationDate", L"INRTDocument"};
// Unconfirmed: the text of the ".mhc" file beside a portable copy. No interface of the
// client's library declares it; a document that does not answer it has no such text.
inline constexpr Member kMhcText{L"MhcText", L""};

// Storing documents: check-out and check-in, relations, the folders that hold a document
inline constexpr Member kCheckOutEx{L"CheckOutEx", L"INRTDocument"};
inline constexpr Member kCheckInEx{L"CheckInEx", L"INRTDocument"};
inline constexpr Member kUnlockDocument{L"UnlockDocument", L"INRTDocument"};
inline constexpr Member kRelateDocument{L"RelateDocument", L"INRTDocument"};
inline constexpr Member kFolders{L"Folders", L"INRTDocument"};
inline constexpr Member kCreateDocument{L"CreateDocument", L"INRTDatabase"};

// History entries (INRTHistoryList)
inline constexpr Member kAdd{L"Add", L"INRTHistoryList"};

// Document types
inline constexpr Member kApplicationExtension{L"ApplicationExtension", L"INRTDocumentType"};
inline constexpr Member kID{L"ID", L"INRTDocumentType INRTSession"};
inline constexpr Member kDMSExtension{L"DMSExtension", L"INRTDocumentType"};
inline constexpr Member kOpenMethod{L"Openmethod", L"INRTDocumentType"};
inline constexpr Member kViewMethod{L"Viewmethod", L"INRTDocumentType"};

// Databases and sessions
inline constexpr Member kSession{L"Session", L"INRTDatabase"};
inline constexpr Member kUserID{L"UserID", L"INRTSession"};
inline constexpr Member kServerName{L"ServerName", L"INRTSession"};
inline constexpr Member kNRTDMS{L"NRTDMS", L"INRTSession"};
// The DMS object's session collection
inline constexpr Member kSessions{L"Sessions", L"INRTDMS"};

// The client's dialogs (new version, new profile, edit profile, file save): not in the
// document-object library.
inline constexpr Member kSetAttributeValueByID{L"SetAttributeValueByID", L""};

// Collections (INRTSessions, INRTFolders)
inline constexpr Member kCount{L"Count", L"INRTSessions INRTFolders"};
inline constexpr Member kItem{L"Item", L"INRTSessions INRTFolders"};

// Everything above, for the check against the client's declarations.
inline constexpr const Member* kAll[] = {
    &kNumber, &kVersion, &kName, &kDescription, &kExtension, &kDatabase, &kType,
    &kCheckoutPath, &kCheckedOut, &kGetAttributeByID, &kGetCopy, &kHistoryList, &kAuthor,
    &kClass, &kSubClass, &kOperator, &kLastUser, &kInUseBy, &kRetentionDays, &kIndexable,
    &kCreationDate, &kMhcText, &kCheckOutEx, &kCheckInEx, &kUnlockDocument, &kRelateDocument,
    &kFolders, &kCreateDocument, &kAdd, &kApplicationExtension, &kID, &kDMSExtension,
    &kOpenMethod, &kViewMethod, &kSession, &kUserID, &kServerName, &kNRTDMS, &kSessions,
    &kSetAttributeValueByID, &kCount, &kItem};

}  // namespace dms::member
