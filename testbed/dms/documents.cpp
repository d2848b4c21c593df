// The client's document objects of the testbed: sessions, databases, documents and what
// hangs off them, each an AutoObject answering the client's declared interfaces.
#define TBDMS_BUILD
#include "testbed/dms/client_commands.h"
#include "testbed/dms/module.h"
#include "testbed/dms/tbdms.h"

#include "IManage.h"

#include <string>
#include <utility>
#include <vector>

namespace tb {
namespace {

// An argument as text for the records; a date as its number of days.
std::wstring ArgText(VARIANT* arg) {
  Variant value;
  VariantCopyInd(&value, arg);
  return value.vt == VT_DATE ? std::to_wstring(value.date) : TextOf(value);
}

}  // namespace

Session* Session::Create(const std::wstring& userId, const std::wstring& sessionId) {
  auto* session = static_cast<Session*>(NewObject(__uuidof(INRTSession)));
  session->SetString(L"UserID", userId);
  session->SetString(L"ID", sessionId);
  session->SetString(L"ServerName", sessionId);
  AutoObject* dms = NewObject(__uuidof(INRTDMS));
  dms->SetString(L"ID", L"NRTDMS");
  session->SetObject(L"NRTDMS", dms);
  dms->Release();
  return session;
}

Database* Database::Create(const std::wstring& name, Session* session) {
  auto* database = static_cast<Database*>(NewObject(__uuidof(INRTDatabase)));
  database->SetString(L"Name", name);
  database->SetObject(L"Session", session);
  database->SetMethod(L"CreateDocument", [database](std::vector<VARIANT*>&, VARIANT* result) {
    result->vt = VT_DISPATCH;
    result->pdispVal = Document::Create(database, 0, 0, L"", L"", L"", L"");
    return S_OK;
  });
  return database;
}

Document::Document() {
  Answer(__uuidof(INRTDocument));
  Answer(__uuidof(IManDocument));
  Answer(__uuidof(IManContent));
  Answer(__uuidof(IManObject));
}

Document::~Document() {
  for (auto& [number, value] : m_attributes) VariantClear(&value);
  if (m_ownsContent) DeleteFileW(m_content.c_str());
}

bool Document::StoreContent(const std::wstring& path) {
  // The store is a folder beside tbdms.dll, away from the temporary folder that tests watch.
  static int stored = 0;
  std::wstring folder = ModulePath();
  folder = folder.substr(0, folder.find_last_of(L'\\') + 1) + L"tbdms-store";
  CreateDirectoryW(folder.c_str(), nullptr);
  const size_t dot = path.find_last_of(L'.');
  const std::wstring extension =
      dot == std::wstring::npos || path.find(L'\\', dot) != std::wstring::npos ? L""
                                                                               : path.substr(dot);
  const std::wstring target = folder + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                              std::to_wstring(++stored) + extension;
  if (!CopyFileW(path.c_str(), target.c_str(), FALSE)) return false;
  if (m_ownsContent) DeleteFileW(m_content.c_str());
  m_content = target;
  m_ownsContent = true;
  return true;
}

Document* Document::Create(Database* database, long number, long version,
                           const std::wstring& name, const std::wstring& typeName,
                           const std::wstring& extension, const std::wstring& contentPath) {
  auto* document = new Document;
  document->m_content = contentPath;
  document->SetLong(L"Number", number);
  document->SetLong(L"Version", version);
  document->SetString(L"Name", name);
  document->SetString(L"Description", name);
  document->SetString(L"Extension", extension);
  document->SetObject(L"Database", database);
  document->SetString(L"CheckoutPath", L"");
  document->SetBool(L"CheckedOut", false);
  AutoObject* type = NewObject(__uuidof(INRTDocumentType));
  type->SetString(L"Name", typeName);
  type->SetString(L"ApplicationExtension", extension);
  document->SetObject(L"Type", type);
  type->Release();
  AutoObject* history = NewObject(__uuidof(INRTHistoryList));
  history->SetMethod(L"Add", [document](std::vector<VARIANT*>& args, VARIANT*) {
    document->m_history.push_back({NumberOf(*args[0]), NumberOf(*args[1]), NumberOf(*args[2]),
                                   TextOf(*args[3]), TextOf(*args[4]), TextOf(*args[5]),
                                   TextOf(*args[6]), TextOf(*args[7])});
    return S_OK;
  });
  document->SetObject(L"HistoryList", history);
  history->Release();

  // GetCopy(path, options): the content copied to path.
  document->SetMethod(L"GetCopy", [document](std::vector<VARIANT*>& args, VARIANT*) {
    std::wstring target = TextOf(*args[0]);
    if (!CopyFileW(document->m_content.c_str(), target.c_str(), FALSE)) return E_FAIL;
    document->m_copies.push_back(target);
    document->m_copyOptions.push_back(NumberOf(*args[1]));
    return S_OK;
  });
  document->SetMethod(L"GetAttributeByID", [document](std::vector<VARIANT*>& args, VARIANT* result) {
    auto found = document->m_attributes.find(NumberOf(*args[0]));
    VariantInit(result);
    if (found == document->m_attributes.end()) return S_OK;
    return VariantCopy(result, &found->second);
  });
  auto record = [document](const wchar_t* member, std::vector<VARIANT*>& args) {
    MemberCall call;
    call.member = member;
    for (VARIANT* arg : args) call.args.push_back(ArgText(arg));
    call.fileExisted = !call.args.empty() && !call.args[0].empty() &&
                       GetFileAttributesW(call.args[0].c_str()) != INVALID_FILE_ATTRIBUTES;
    document->m_recorded.push_back(std::move(call));
  };
  // CheckOutEx(path, options, due date, comment, activity, application, location)
  document->SetMethod(L"CheckOutEx", [document, record](std::vector<VARIANT*>& args, VARIANT*) {
    record(L"CheckOutEx", args);
    std::wstring target = TextOf(*args[0]);
    if (!document->m_content.empty()) CopyFileW(document->m_content.c_str(), target.c_str(), FALSE);
    document->SetBool(L"CheckedOut", true);
    document->SetString(L"CheckoutPath", target);
    return S_OK;
  });
  // CheckInEx(path, disposition, options, activity, application, comment, location,
  // [in,out] error results): the checked-in document.
  document->SetMethod(L"CheckInEx", [document, record](std::vector<VARIANT*>& args, VARIANT* result) {
    std::vector<VARIANT*> given(args.begin(), args.begin() + 7);
    record(L"CheckInEx", given);
    document->StoreContent(TextOf(*args[0]));
    document->SetBool(L"CheckedOut", false);
    result->vt = VT_DISPATCH;
    result->pdispVal = document;
    document->AddRef();
    return S_OK;
  });
  document->SetMethod(L"UnlockDocument", [document, record](std::vector<VARIANT*>& args, VARIANT* result) {
    record(L"UnlockDocument", args);
    document->SetBool(L"CheckedOut", false);
    result->vt = VT_BOOL;
    result->boolVal = VARIANT_TRUE;
    return S_OK;
  });
  // RelateDocument(number, comments): whether the relation was made.
  document->SetMethod(L"RelateDocument", [record](std::vector<VARIANT*>& args, VARIANT* result) {
    record(L"RelateDocument", args);
    result->vt = VT_BOOL;
    result->boolVal = VARIANT_TRUE;
    return S_OK;
  });
  return document;
}

void Document::SetAttribute(long number, const VARIANT& value) {
  VARIANT& slot = m_attributes[number];
  VariantClear(&slot);
  VariantCopy(&slot, const_cast<VARIANT*>(&value));
}

AutoObject* NewShortcut(IDispatch* target) {
  AutoObject* shortcut = NewObject(__uuidof(IManObject));
  shortcut->Answer(__uuidof(IManContentShortcut));
  shortcut->SetObject(L"Target", target);
  shortcut->SetMethod(L"Resolve", [shortcut](std::vector<VARIANT*>&, VARIANT* result) {
    return shortcut->Get(L"Target", result) ? S_OK : E_FAIL;
  });
  return shortcut;
}

AutoObject* NewSessions(const std::vector<IDispatch*>& sessions) {
  AutoObject* collection = NewObject(__uuidof(INRTSessions));
  collection->SetLong(L"Count", static_cast<long>(sessions.size()));
  for (size_t i = 0; i < sessions.size(); ++i)
    collection->SetObject(L"#" + std::to_wstring(i + 1), sessions[i]);
  collection->SetMethod(L"Item", [collection](std::vector<VARIANT*>& args, VARIANT* result) {
    return collection->Get(L"#" + std::to_wstring(NumberOf(*args[0])), result) ? S_OK
                                                                             : DISP_E_BADINDEX;
  });
  return collection;
}

SAFEARRAY* DispatchArray(const std::vector<IDispatch*>& objects) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_DISPATCH, 0, static_cast<ULONG>(objects.size()));
  for (LONG i = 0; i < static_cast<LONG>(objects.size()); ++i)
    SafeArrayPutElement(array, &i, objects[static_cast<size_t>(i)]);  // AddRefs
  return array;
}

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

void FileInFolder(AutoObject* document, long folderId, const std::wstring& name) {
  AutoObject* folder = NewObject(__uuidof(INRTFolder));
  folder->SetLong(L"FolderID", folderId);
  folder->SetString(L"Name", name);
  AutoObject* folders = NewObject(__uuidof(INRTFolders));
  folders->SetLong(L"Count", 1);
  folders->SetObject(L"#1", folder);
  folder->Release();
  folders->SetMethod(L"Item", [folders](std::vector<VARIANT*>& args, VARIANT* result) {
    return folders->Get(L"#" + std::to_wstring(NumberOf(*args[0])), result) ? S_OK : DISP_E_BADINDEX;
  });
  document->SetObject(L"Folders", folders);
  folders->Release();
}

}  // namespace tb
