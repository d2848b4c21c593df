// Stand-ins of the DMS client's own commands in tbdms.dll: the file-open
// browser, the new-version command, the silent import and the new-document command, each
// registered under the client's class id. Each is an ICommand with a connection point
// container that fires the client's command events (_ICommandEvents) and dialog events
// (_IDialogEvents), and offers one of the client's dialog objects to OnInitDialog.
//
// The test decides what the user does: a script per kind of command (SetClientScript), read
// when a command of that kind updates and executes. Every command instance records what it
// was given and what it fired (ClientCommandRuns).
//
// On Execute a command fires, in this order:
//   OnInitDialog(dialog)                      when it has a dialog
//   accept: PreOnOK(command), dialog OnOK(dialog), its results written, PostOnOK(command)
//   cancel: dialog OnCancel(dialog), OnCancel(command)
// (the dialog events carry the command itself when there is no dialog), then answers the
// script's executeResult. Results written on accept:
//   file-open:      "SelectedIManObjects"  VT_ARRAY|VT_DISPATCH of the script's selection
//   new version:    "iManExt.NewVersionCmd.Document"  a new Document: the first of
//                   "SelectedNRTDocuments" with the next version, checked out to
//                   "IManExt.Import.FileName"
//   silent import,
//   new document:   "ImportedDocument"  a new Document from "IManExt.Import.FileName" (content,
//                   extension), "IManExt.Import.DocType" (type name) and
//                   "IManExt.Import.DocDescription" (name and description), in a database of
//                   the script's name whose Session is "DestinationObject"
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "testbed/dms/tbdms.h"

namespace tb {

// Class ids of the client's commands.
inline constexpr CLSID kClsidFileOpenCmd = {0xEE701CEB, 0x2591, 0x46DF, {0xBC, 0xD4, 0x08, 0xC7, 0xDC, 0x98, 0x1F, 0x1F}};
inline constexpr CLSID kClsidNewVersionCmd = {0x1E6A8848, 0x54C8, 0x11D2, {0xA6, 0xE2, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};
inline constexpr CLSID kClsidImportCmd = {0xF2984223, 0x2B6C, 0x4594, {0x90, 0x88, 0xB3, 0x20, 0x83, 0x5F, 0x3E, 0x7B}};
inline constexpr CLSID kClsidNewDocumentCmd = {0xAEF5633C, 0x77ED, 0x11D2, {0xA6, 0xE4, 0x00, 0x60, 0x08, 0x3A, 0x94, 0x2D}};

enum class ClientCommandKind { kFileOpen, kNewVersion, kSilentImport, kNewDocument };

// The client's dialogs. kOther answers none of the four dialog interfaces (it still has the
// attribute-write method, so that a write to it would show).
enum class DialogKind { kNone, kNewVersion, kNewProfile, kEditProfile, kFileSave, kOther };

// What the user does while the command runs. kNothing: no event at all (results not written).
enum class UserAction { kAccept, kCancel, kNothing };

// One call of a dialog's SetAttributeValueByID(number, value, flag). The dialogs are not in the
// client's document-object library: they answer any member their handlers hold.
struct AttributeWrite {
  long number = 0;
  VARTYPE type = VT_EMPTY;
  std::wstring value;  // the value as text (VT_BSTR: the string itself)
  bool flag = false;   // the third argument was true
};

// A dialog object of the client: answers the IID of its kind and records every attribute
// written through SetAttributeValueByID.
class TBDMS_API Dialog : public AutoObject {
 public:
  static Dialog* Create(DialogKind kind);
  DialogKind Kind() const { return m_kind; }
  std::vector<AttributeWrite> Writes() const { return m_writes; }
  // The attribute numbers written, in order.
  std::vector<long> Numbers() const;
  // The last write of `number`, if any.
  std::optional<AttributeWrite> Write(long number) const;

 private:
  Dialog() = default;
  DialogKind m_kind = DialogKind::kOther;
  std::vector<AttributeWrite> m_writes;
};

// The script of one kind of command, kept until changed or ResetClientCommands.
struct ClientScript {
  HRESULT updateResult = S_OK;     // what Update answers
  long status = 0;                 // the Status that Update sets (0: may run, 1: not active)
  HRESULT executeResult = S_OK;    // what Execute answers, after the events
  UserAction user = UserAction::kAccept;
  std::optional<DialogKind> dialog;  // default: new-version dialog for the new-version
                                     // command, new-profile for the new-document command,
                                     // none for the others
  // file-open: the objects the user picks (the script keeps a reference to each).
  std::vector<IDispatch*> selection;
  // Replaces the results the command writes on accept: gets the command's context.
  std::function<void(IContextItems* context)> onAccept;
  // New documents: number (0: the next free one, from 9001), version (0: 1 for imports,
  // the source's version + 1 for a new version), database name, checked out (default: true
  // for the silent import and the new version, false for the new-document command).
  long newNumber = 0;
  long newVersion = 0;
  std::wstring databaseName = L"DB1";
  std::optional<bool> checkedOut;
};

TBDMS_API void SetClientScript(ClientCommandKind kind, const ClientScript& script);

// One context item as a command found it when it executed.
struct ContextRecord {
  std::wstring name;
  VARTYPE type = VT_EMPTY;
  std::wstring text;                  // VT_BSTR
  long number = 0;                    // VT_I2, VT_I4, VT_BOOL (-1 true, 0 false)
  std::vector<std::wstring> strings;  // VT_ARRAY|VT_BSTR, in index order
  std::vector<const void*> objects;   // VT_DISPATCH / VT_UNKNOWN (one) or arrays of them
};

struct FiredEvent {
  std::wstring name;  // "OnInitDialog", "PreOnOK", "PostOnOK", "OnCancel",
                      // "Dialog.OnOK", "Dialog.OnCancel"
  int sinks = 0;      // sinks reached
  long result = 0;    // the last sink's answer
};

// What one command instance was given and did.
struct ClientCommandRun {
  ClientCommandKind kind = ClientCommandKind::kFileOpen;
  int updates = 0;
  int executes = 0;
  bool hadContext = false;              // a context was set when it executed
  std::vector<ContextRecord> context;   // the context at the last Execute, in item order
  std::vector<FiredEvent> events;       // every event fired, in order
  DialogKind dialog = DialogKind::kNone;
  std::vector<AttributeWrite> dialogWrites;  // what the sinks wrote into its dialog
  std::vector<DWORD> advised;           // cookies handed out, both connection points
  std::vector<DWORD> unadvised;         // cookies taken back
  int connected = 0;                    // sinks connected now
  bool released = false;                // the instance is gone
};

// Every command instance created since the last reset, in order of creation.
TBDMS_API std::vector<ClientCommandRun> ClientCommandRuns();

// Scripts back to their defaults (references released), records cleared, stored documents
// released, new numbers from 9001 again.
TBDMS_API void ResetClientCommands();

// The documents that the commands created (imports and new versions), in order; they live
// until ResetClientCommands. An imported document's content is a copy of the imported file.
TBDMS_API std::vector<Document*> StoredDocuments();

// An object known by its name: a user (INRTUser) unless `iid` says otherwise
// (INRTDocumentClass for a class).
TBDMS_API AutoObject* NewNamed(const std::wstring& name, const IID* iid = nullptr);

// Sets Author, Class and SubClass of a document to named objects; an empty subclass leaves
// SubClass missing (its read fails).
TBDMS_API void SetDocumentProfile(AutoObject* document, const std::wstring& author,
                                  const std::wstring& documentClass,
                                  const std::wstring& subClass);

// Files a document in one folder: its Folders collection holds an INRTFolder with that
// FolderID and Name.
TBDMS_API void FileInFolder(AutoObject* document, long folderId, const std::wstring& name);

// Called on the creating thread whenever a context-item collection is created (also through
// COM); an empty function removes it. ResetClientCommands removes it too.
TBDMS_API void OnContextItemsCreated(std::function<void()> hook);

#ifdef TBDMS_BUILD
void RunContextItemsHook();
// The names of the items of a context-item collection of the testbed, in order.
std::vector<std::wstring> ContextNames(IContextItems* items);
// For the module: the class objects of the four commands.
HRESULT ClientCommandClassObject(REFCLSID clsid, REFIID iid, void** object);
#endif

}  // namespace tb
