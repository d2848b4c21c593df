// The command and dialog event sinks, connected to the testbed's stand-ins of the
// client's own commands (created through COM), and OnInitDialog filling the client's dialogs
// from the source document.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dms/event_sinks.h"
#include "outside/dms.h"
#include "testbed/dms/client_commands.h"
#include "tests/settings_support.h"

namespace {

using testing_support::ScopedProfileIni;
using vpdf::ComPtr;

constexpr DWORD kNotConnected = 0xFEFEFEFE;

// `first`, then the profile attributes 24..73 and 96, then `last`.
std::vector<long> WithProfile(std::vector<long> first, const std::vector<long>& last = {}) {
  for (long n = 24; n <= 73; ++n) first.push_back(n);
  first.push_back(96);
  first.insert(first.end(), last.begin(), last.end());
  return first;
}

// What the source document of SourceDocument() has for attribute `number`, as text.
std::wstring SourceValue(long number) {
  switch (number) {
    case 7: return L"VARNELPDF";  // the PDF type of the profile ini
    case 3: return L"Contract";
    case 5:
    case 6: return L"JDOE";
    case 8: return L"DOC";
    case 9: return L"LEGAL";
    case 0: return L"DB1";
    case 17: return L"1717";
    default: return L"A" + std::to_wstring(number);
  }
}

void SetValue(tb::Document* document, long number, const vpdf::Variant& value) {
  document->SetAttribute(number, *value.Get());
}

// Invokes `id` on `sink` with one VT_DISPATCH argument; the event's result in `result`.
HRESULT Fire(IDispatch& sink, DISPID id, IDispatch* argument, VARIANT& result) {
  VARIANT arg;
  arg.vt = VT_DISPATCH;
  arg.pdispVal = argument;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  VariantInit(&result);
  return sink.Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
}

class EventSinks : public testing::Test {
 protected:
  void SetUp() override {
    // DocTypeForFile("temp.pdf") reads PDFAPPID from the profile ini.
    ini.Write(L"[WorkSite]\r\nPDFAPPID=VARNELPDF\r\n");
  }
  void TearDown() override {
    vpdf::SetSourceDocument(nullptr);
    tb::ResetClientCommands();
    for (IUnknown* object : owned) object->Release();
    owned.clear();
    EXPECT_EQ(0, tb::LiveObjects()) << "a client object was not released";
  }

  template <class T>
  T* Keep(T* object) {
    owned.push_back(static_cast<IDispatch*>(object));
    return object;
  }

  // A client command created through COM, with a fresh context.
  ComPtr<ICommand> Command(const CLSID& clsid) {
    ComPtr<ICommand> command;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ICommand),
                                     command.PutVoid()));
    ComPtr<IContextItems> context;
    EXPECT_EQ(S_OK, tb::NewContextItems(context.Put()));
    if (command) {
      EXPECT_EQ(S_OK, command->Initialize(context.Get()));
    }
    return command;
  }

  // Runs the command with `sink` connected as the add-in does; the record of its run. The
  // script of `kind` is set first when one is given.
  tb::ClientCommandRun Run(const CLSID& clsid, vpdf::EventSink& sink,
                           std::optional<tb::DialogKind> dialog = {},
                           tb::UserAction user = tb::UserAction::kAccept) {
    tb::ClientScript script;
    script.dialog = dialog;
    script.user = user;
    const bool fileOpen = clsid == tb::kClsidFileOpenCmd;
    tb::SetClientScript(fileOpen ? tb::ClientCommandKind::kFileOpen
                        : clsid == tb::kClsidNewDocumentCmd ? tb::ClientCommandKind::kNewDocument
                                                            : tb::ClientCommandKind::kNewVersion,
                        script);
    ComPtr<ICommand> command = Command(clsid);
    if (!command) return {};
    EXPECT_EQ(S_OK, command->Update());
    LONG status = -1;
    command->get_Status(&status);
    EXPECT_EQ(0, status);
    EXPECT_EQ(S_OK, sink.Connect(command.Get()));
    EXPECT_EQ(S_OK, command->Execute());
    EXPECT_EQ(S_OK, sink.Disconnect());
    command.Reset();
    std::vector<tb::ClientCommandRun> runs = tb::ClientCommandRuns();
    return runs.empty() ? tb::ClientCommandRun() : runs.back();
  }

  // A source document: database DB1, description "Contract", author JDOE, class DOC,
  // subclass LEGAL, attributes 24..73 and 96 as texts "A<n>", attribute 17 the number 1717.
  tb::Document* SourceDocument() {
    tb::Session* session = Keep(tb::Session::Create(L"jdoe", L"S1"));
    tb::Database* database = Keep(tb::Database::Create(L"DB1", session));
    tb::Document* document =
        Keep(tb::Document::Create(database, 1234, 2, L"Contract", L"WORDX", L"docx", L""));
    tb::SetDocumentProfile(document, L"JDOE", L"DOC", L"LEGAL");
    for (long number : WithProfile({}))
      SetValue(document, number, vpdf::Variant::String(SourceValue(number)));
    SetValue(document, 17, vpdf::Variant::Long(1717));
    return document;
  }

  static std::wstring ValueOf(const tb::ClientCommandRun& run, long number) {
    for (const tb::AttributeWrite& write : run.dialogWrites)
      if (write.number == number) return write.value;
    return L"<unset>";
  }
  static std::vector<long> Numbers(const tb::ClientCommandRun& run) {
    std::vector<long> numbers;
    for (const tb::AttributeWrite& write : run.dialogWrites) numbers.push_back(write.number);
    return numbers;
  }

  ScopedProfileIni ini;
  std::vector<IUnknown*> owned;
};

// ---- Connecting ----------------------------------------------------------------------------

TEST_F(EventSinks, ConnectKeepsTheCookieAndDisconnectTakesItBack) {
  ComPtr<ICommand> command = Command(tb::kClsidNewVersionCmd);
  vpdf::CmdEvents sink;
  EXPECT_EQ(kNotConnected, sink.Cookie());
  EXPECT_FALSE(sink.Cancelled());
  // A source without connection points, or none, leaves the sink unconnected.
  EXPECT_EQ(E_NOINTERFACE, sink.Connect(Keep(tb::NewObject())));
  EXPECT_EQ(E_POINTER, sink.Connect(nullptr));
  EXPECT_EQ(kNotConnected, sink.Cookie());

  ASSERT_EQ(S_OK, sink.Connect(command.Get()));
  const DWORD cookie = sink.Cookie();
  EXPECT_NE(kNotConnected, cookie);
  EXPECT_EQ(std::vector<DWORD>{cookie}, tb::ClientCommandRuns().back().advised);

  EXPECT_EQ(S_OK, sink.Disconnect());
  EXPECT_EQ(kNotConnected, sink.Cookie());
  tb::ClientCommandRun run = tb::ClientCommandRuns().back();
  EXPECT_EQ(std::vector<DWORD>{cookie}, run.unadvised);
  EXPECT_EQ(0, run.connected);
  // Not connected any more: nothing to take back.
  EXPECT_EQ(CONNECT_E_NOCONNECTION, sink.Disconnect());
  EXPECT_EQ(1u, tb::ClientCommandRuns().back().unadvised.size());

  // A sink that goes while connected takes itself back.
  ComPtr<ICommand> other = Command(tb::kClsidFileOpenCmd);
  DWORD otherCookie = 0;
  {
    vpdf::CmdEvents scoped;
    ASSERT_EQ(S_OK, scoped.Connect(other.Get()));
    otherCookie = scoped.Cookie();
  }
  run = tb::ClientCommandRuns().back();
  EXPECT_EQ(std::vector<DWORD>{otherCookie}, run.unadvised);
  EXPECT_EQ(0, run.connected);
}

TEST_F(EventSinks, EachSinkConnectsToItsOwnEventInterface) {
  ComPtr<ICommand> command = Command(tb::kClsidNewDocumentCmd);
  vpdf::CmdEvents commandSink;
  vpdf::DlgEvents dialogSink;
  ASSERT_EQ(S_OK, commandSink.Connect(command.Get()));
  ASSERT_EQ(S_OK, dialogSink.Connect(command.Get()));
  EXPECT_NE(commandSink.Cookie(), dialogSink.Cookie());
  EXPECT_EQ(2, tb::ClientCommandRuns().back().connected);

  // The cancel reaches both, each through its own interface.
  tb::ClientScript cancel;
  cancel.user = tb::UserAction::kCancel;
  tb::SetClientScript(tb::ClientCommandKind::kNewDocument, cancel);
  EXPECT_EQ(S_OK, command->Execute());
  EXPECT_TRUE(commandSink.Cancelled());
  EXPECT_TRUE(dialogSink.Cancelled());
  const tb::ClientCommandRun run = tb::ClientCommandRuns().back();
  ASSERT_EQ(3u, run.events.size());
  EXPECT_EQ(L"OnInitDialog", run.events[0].name);
  EXPECT_TRUE(run.events[1].name == L"Dialog.OnCancel" && run.events[1].sinks == 1);
  EXPECT_TRUE(run.events[2].name == L"OnCancel" && run.events[2].sinks == 1);
  EXPECT_EQ(S_OK, commandSink.Disconnect());
  EXPECT_EQ(S_OK, dialogSink.Disconnect());
}

// ---- IUnknown and IDispatch ----------------------------------------------------------------

TEST_F(EventSinks, QueryInterfaceRules) {
  vpdf::CmdEvents commands;
  vpdf::DlgEvents dialogs;
  const struct {
    IDispatch* sink;
    const IID& iid;
    bool found;
  } cases[] = {{&commands, IID_IUnknown, true},          {&dialogs, IID_IDispatch, true},
               {&commands, dms::IID_ICommandEvents, true}, {&dialogs, dms::IID_IDialogEvents, true},
               {&commands, dms::IID_IDialogEvents, false}, {&dialogs, dms::IID_ICommandEvents, false}};
  for (const auto& c : cases) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(c.found ? S_OK : E_NOINTERFACE, c.sink->QueryInterface(c.iid, &object));
    EXPECT_EQ(c.found ? c.sink : nullptr, object);
  }
  EXPECT_EQ(E_POINTER, commands.QueryInterface(IID_IUnknown, nullptr));

  // The stack frame decides the lifetime: no counting.
  EXPECT_EQ(1u, commands.AddRef());
  EXPECT_EQ(1u, dialogs.Release());

}

TEST_F(EventSinks, InvokeAnswersOnlyTheListedDispids) {
  tb::AutoObject* sender = Keep(tb::NewObject());
  vpdf::CmdEvents commands;
  VARIANT result;
  for (DISPID unknown : {0, 5, -1}) {
    EXPECT_EQ(S_OK, Fire(commands, unknown, sender, result)) << unknown;
    EXPECT_EQ(VT_EMPTY, result.vt) << unknown;
  }
  for (DISPID id : {1, 2, 3}) {
    EXPECT_FALSE(commands.Cancelled()) << "before " << id;
    EXPECT_EQ(S_OK, Fire(commands, id, sender, result));
    EXPECT_TRUE(result.vt == VT_I4 && result.lVal == 0) << id;
  }
  EXPECT_TRUE(commands.Cancelled());

  // A call without its one argument is refused.
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(DISP_E_BADPARAMCOUNT,
            commands.Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr));

  vpdf::DlgEvents dialogs;
  for (DISPID ignored : {1, 4, 0}) EXPECT_EQ(S_OK, Fire(dialogs, ignored, sender, result));
  EXPECT_EQ(S_OK, Fire(dialogs, 3, sender, result));
  EXPECT_EQ(VT_I4, result.vt);
  EXPECT_FALSE(dialogs.Cancelled());
  EXPECT_EQ(S_OK, Fire(dialogs, 2, sender, result));
  EXPECT_TRUE(result.vt == VT_I4 && result.lVal == 0);
  EXPECT_TRUE(dialogs.Cancelled());
}

// ---- The client's commands with a sink -----------------------------------------------------

TEST_F(EventSinks, CancelSetsTheFlagAndAcceptLeavesItClear) {
  vpdf::CmdEvents cancelled;
  Run(tb::kClsidNewVersionCmd, cancelled, {}, tb::UserAction::kCancel);
  EXPECT_TRUE(cancelled.Cancelled());

  vpdf::CmdEvents accepted;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, accepted);
  EXPECT_FALSE(accepted.Cancelled());
  std::vector<std::wstring> fired;
  for (const tb::FiredEvent& event : run.events) {
    fired.push_back(event.name);
    EXPECT_EQ(event.name == L"Dialog.OnOK" ? 0 : 1, event.sinks) << event.name;
  }
  EXPECT_EQ((std::vector<std::wstring>{L"OnInitDialog", L"PreOnOK", L"Dialog.OnOK", L"PostOnOK"}),
            fired);
}

// ---- OnInitDialog --------------------------------------------------------------------------

// Each of the client's dialogs gets its own attributes of the source, in its own order.
TEST_F(EventSinks, EachDialogReceivesTheSourceProfileInItsOrder) {
  struct Case {
    const char* what;
    bool source;
    CLSID command;
    std::optional<tb::DialogKind> dialog;
    std::vector<long> numbers;
  };
  const Case cases[] = {
      {"new version without source", false, tb::kClsidNewVersionCmd, {}, {7}},
      {"new version", true, tb::kClsidNewVersionCmd, {}, WithProfile({7, 3, 6, 5, 8, 9, 0}, {17})},
      {"new profile", true, tb::kClsidNewDocumentCmd, {}, WithProfile({3, 17, 6, 5, 8, 9, 0})},
      {"edit profile", true, tb::kClsidNewVersionCmd, tb::DialogKind::kEditProfile, {8}},
      {"file save", true, tb::kClsidFileOpenCmd, tb::DialogKind::kFileSave,
       WithProfile({3, 6, 5, 8, 9, 0})},
      {"none of the four interfaces", true, tb::kClsidNewVersionCmd, tb::DialogKind::kOther, {}},
  };
  tb::Document* source = SourceDocument();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vpdf::SetSourceDocument(c.source ? source : nullptr);
    vpdf::CmdEvents sink;
    tb::ClientCommandRun run = Run(c.command, sink, c.dialog);
    EXPECT_EQ(c.numbers, Numbers(run));
    for (const tb::AttributeWrite& write : run.dialogWrites) {
      EXPECT_EQ(SourceValue(write.number), write.value) << write.number;
      EXPECT_TRUE(write.flag) << write.number;
      EXPECT_EQ(write.number == 17 ? VT_I4 : VT_BSTR, write.type) << write.number;
    }
    ASSERT_FALSE(run.events.empty());
    EXPECT_EQ(0, run.events[0].result);
  }
}

TEST_F(EventSinks, WhatTheSourceCannotGiveIsSkipped) {
  tb::Document* source = SourceDocument();
  for (long number : {25L, 50L, 96L, 17L}) SetValue(source, number, vpdf::Variant());
  SetValue(source, 30, vpdf::Variant::Long(42));
  source->Fail(L"SubClass", E_FAIL);
  vpdf::SetSourceDocument(source);
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, sink);
  std::vector<long> expected;
  for (long n : WithProfile({7, 3, 6, 5, 8, 0}))
    if (n != 25 && n != 50 && n != 96) expected.push_back(n);
  EXPECT_EQ(expected, Numbers(run));
  EXPECT_EQ(L"42", ValueOf(run, 30));

  // An empty author leaves 5 and 6 unset.
  source = SourceDocument();
  tb::SetDocumentProfile(source, L"", L"DOC", L"LEGAL");
  vpdf::SetSourceDocument(source);
  EXPECT_EQ(WithProfile({7, 3, 8, 9, 0}, {17}), Numbers(Run(tb::kClsidNewVersionCmd, sink)));
}

TEST_F(EventSinks, ASourceWithoutAuthorTypeOrClassSetsNothing) {
  tb::Document* source = SourceDocument();
  source->Remove(L"Class");
  vpdf::SourceDocumentScope slot(source);
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, sink);
  EXPECT_TRUE(run.dialogWrites.empty());
  ASSERT_FALSE(run.events.empty());
  EXPECT_EQ(L"OnInitDialog", run.events[0].name);
  EXPECT_EQ(static_cast<long>(E_POINTER), run.events[0].result);

  tb::Document* other = SourceDocument();
  other->Fail(L"Author", E_ACCESSDENIED);
  vpdf::SetSourceDocument(other);
  tb::Dialog* dialog = Keep(tb::Dialog::Create(tb::DialogKind::kNewVersion));
  VARIANT result;
  EXPECT_EQ(S_OK, Fire(sink, 4, dialog, result));
  EXPECT_EQ(static_cast<LONG>(E_POINTER), result.lVal);
  EXPECT_TRUE(dialog->Writes().empty());
}

TEST_F(EventSinks, TheFirstDialogInterfaceInTheListWins) {
  tb::Dialog* dialog = Keep(tb::Dialog::Create(tb::DialogKind::kFileSave));
  dialog->Answer(dms::IID_INewProfileDlg);
  vpdf::CmdEvents sink;
  VARIANT result;
  EXPECT_EQ(S_OK, Fire(sink, 4, dialog, result));
  EXPECT_EQ(VT_I4, result.vt);
  // Without a source document the new-profile dialog gets attribute 3 (empty) only.
  ASSERT_EQ(std::vector<long>{3}, dialog->Numbers());
  EXPECT_EQ(L"", dialog->Writes()[0].value);
}

TEST_F(EventSinks, TheSourceDocumentSlotHoldsAReference) {
  tb::Document* source = tb::Document::Create(nullptr, 1, 1, L"Held", L"WORDX", L"docx", L"");
  vpdf::SetSourceDocument(source);
  source->Release();
  EXPECT_EQ(3, tb::LiveObjects()) << "the document, its type and its history list stay alive";
  EXPECT_EQ(static_cast<IDispatch*>(source), vpdf::SourceDocument().Get());
  vpdf::SetSourceDocument(nullptr);
  EXPECT_FALSE(vpdf::SourceDocument());
  EXPECT_EQ(0, tb::LiveObjects());
  {
    tb::Document* scoped = Keep(tb::Document::Create(nullptr, 2, 1, L"Scoped", L"", L"", L""));
    vpdf::SourceDocumentScope scope(scoped);
    EXPECT_EQ(static_cast<IDispatch*>(scoped), vpdf::SourceDocument().Get());
  }
  EXPECT_FALSE(vpdf::SourceDocument());
}

// ---- The stand-ins' results (used by the saving and new-PDF commands) -----------------------

// Executes the client command `clsid` with these context items; the document it wrote to
// item `result`.
dms::Document ExecuteForDocument(ComPtr<ICommand> command,
                                 const std::vector<std::pair<const wchar_t*, vpdf::Variant>>& items,
                                 const wchar_t* result) {
  ComPtr<IContextItems> context;
  EXPECT_EQ(S_OK, command->get_Context(context.Put()));
  for (const auto& [name, value] : items)
    EXPECT_EQ(S_OK, context->Add(vpdf::Bstr(name).Get(), *value.Get()));
  EXPECT_EQ(S_OK, command->Update());
  EXPECT_EQ(S_OK, command->Execute());
  vpdf::Variant value;
  dms::Document created;
  if (context->Item(*vpdf::Variant::String(result).Get(), value.Put()) == S_OK &&
      value.Type() == VT_DISPATCH)
    dms::Document::From(value.Get()->pdispVal, created);
  EXPECT_TRUE(created) << "no document in the result item";
  return created;
}

TEST_F(EventSinks, TheNewVersionCommandWritesTheCheckedOutNewVersion) {
  tb::Document* source = SourceDocument();
  vpdf::Variant documents;
  documents.Put()->vt = VT_ARRAY | VT_DISPATCH;
  documents.Get()->parray = tb::DispatchArray({source});
  std::vector<std::pair<const wchar_t*, vpdf::Variant>> items;
  items.emplace_back(L"SelectedNRTDocuments", std::move(documents));
  items.emplace_back(L"IManExt.Import.FileName", vpdf::Variant::String(L"C:\\x\\merged.pdf"));
  dms::Document created = ExecuteForDocument(Command(tb::kClsidNewVersionCmd), items,
                                             L"iManExt.NewVersionCmd.Document");
  ASSERT_TRUE(created);
  EXPECT_EQ(1234, created.Number().value);
  EXPECT_EQ(3, created.Version().value);
  EXPECT_TRUE(created.CheckedOut().value);
  EXPECT_EQ(L"C:\\x\\merged.pdf", created.CheckoutPath().value);
  tb::ClientCommandRun run = tb::ClientCommandRuns().back();
  ASSERT_EQ(2u, run.context.size());
  EXPECT_EQ(L"SelectedNRTDocuments", run.context[0].name);
  EXPECT_EQ(std::vector<const void*>{static_cast<IDispatch*>(source)}, run.context[0].objects);
}

TEST_F(EventSinks, TheImportCommandsWriteTheImportedDocument) {
  tb::Session* session = Keep(tb::Session::Create(L"jdoe", L"S1"));
  for (bool silent : {true, false}) {
    SCOPED_TRACE(silent ? "silent import" : "new document");
    tb::ClientScript script;
    script.newNumber = silent ? 501 : 502;
    tb::SetClientScript(
        silent ? tb::ClientCommandKind::kSilentImport : tb::ClientCommandKind::kNewDocument,
        script);
    std::vector<std::pair<const wchar_t*, vpdf::Variant>> items;
    items.emplace_back(L"IManExt.Import.FileName", vpdf::Variant::String(L"C:\\in\\scan.pdf"));
    items.emplace_back(L"IManExt.Import.DocType", vpdf::Variant::String(L"ACROBAT"));
    items.emplace_back(L"IManExt.Import.DocDescription", vpdf::Variant::String(L"scan"));
    items.emplace_back(L"DestinationObject", vpdf::Variant::Dispatch(session));
    dms::Document created =
        ExecuteForDocument(Command(silent ? tb::kClsidImportCmd : tb::kClsidNewDocumentCmd),
                           items, L"ImportedDocument");
    ASSERT_TRUE(created);
    EXPECT_EQ(silent ? 501 : 502, created.Number().value);
    EXPECT_EQ(L"scan", created.Name().value);
    EXPECT_EQ(L"ACROBAT", created.Type().value.Name().value);
    EXPECT_EQ(silent, created.CheckedOut().value);
    EXPECT_EQ(L"jdoe", created.GetDatabase().value.GetSession().value.UserID().value);
  }
}

}  // namespace
