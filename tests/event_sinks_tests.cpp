// The command and dialog event sinks, connected to the testbed's stand-ins of the
// client's own commands (created through COM), and OnInitDialog filling the client's dialogs
// from the source document.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/event_sinks.h"
#include "outside/dms.h"
#include "testbed/dms/client_commands.h"
#include "tests/settings_support.h"

namespace {

using testing_support::ScopedProfileIni;
using testing_support::TraceLog;
using testing_support::TraceRecord;
using vpdf::ComPtr;

constexpr DWORD kNotConnected = 0xFEFEFEFE;

std::vector<long> Range(long first, long last) {
  std::vector<long> numbers;
  for (long n = first; n <= last; ++n) numbers.push_back(n);
  return numbers;
}

std::vector<long> Concat(std::initializer_list<std::vector<long>> parts) {
  std::vector<long> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// 24..73 and 96.
std::vector<long> ProfileNumbers() { return Concat({Range(24, 73), {96}}); }

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
      EXPECT_EQ(S_OK, command->putref_Context(context.Get()));
    }
    return command;
  }

  // Runs the command with `sink` connected as the add-in does; the record of its run.
  tb::ClientCommandRun Run(const CLSID& clsid, vpdf::EventSink& sink, HRESULT expected = S_OK) {
    ComPtr<ICommand> command = Command(clsid);
    if (!command) return {};
    EXPECT_EQ(S_OK, command->Update());
    LONG status = -1;
    command->get_Status(&status);
    EXPECT_EQ(0, status);
    EXPECT_EQ(S_OK, sink.Connect(command.Get()));
    EXPECT_EQ(expected, command->Execute());
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
    for (long number : ProfileNumbers()) SetText(document, number, L"A" + std::to_wstring(number));
    VARIANT value;
    value.vt = VT_I4;
    value.lVal = 1717;
    document->SetAttribute(17, value);
    return document;
  }
  static void SetText(tb::Document* document, long number, const std::wstring& text) {
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(text.c_str());
    document->SetAttribute(number, value);
    VariantClear(&value);
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

TEST_F(EventSinks, ConnectKeepsTheCookieAndDisconnectResetsIt) {
  ComPtr<ICommand> command = Command(tb::kClsidNewVersionCmd);
  vpdf::CmdEvents sink;
  EXPECT_EQ(kNotConnected, sink.Cookie());
  EXPECT_FALSE(sink.Cancelled());

  ASSERT_EQ(S_OK, sink.Connect(command.Get()));
  DWORD cookie = sink.Cookie();
  EXPECT_NE(kNotConnected, cookie);
  tb::ClientCommandRun run = tb::ClientCommandRuns().back();
  EXPECT_EQ(std::vector<DWORD>{cookie}, run.advised);
  EXPECT_EQ(1, run.connected);

  EXPECT_EQ(S_OK, sink.Disconnect());
  EXPECT_EQ(kNotConnected, sink.Cookie());
  run = tb::ClientCommandRuns().back();
  EXPECT_EQ(std::vector<DWORD>{cookie}, run.unadvised);
  EXPECT_EQ(0, run.connected);

  // Not connected any more: nothing to take back.
  EXPECT_EQ(CONNECT_E_NOCONNECTION, sink.Disconnect());
  EXPECT_EQ(kNotConnected, sink.Cookie());
  EXPECT_EQ(1u, tb::ClientCommandRuns().back().unadvised.size());
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
  EXPECT_EQ(L"Dialog.OnCancel", run.events[1].name);
  EXPECT_EQ(1, run.events[1].sinks);
  EXPECT_EQ(L"OnCancel", run.events[2].name);
  EXPECT_EQ(1, run.events[2].sinks);
  EXPECT_EQ(0, run.events[2].result);
  EXPECT_EQ(S_OK, commandSink.Disconnect());
  EXPECT_EQ(S_OK, dialogSink.Disconnect());
}

TEST_F(EventSinks, ASourceWithoutConnectionPointsLeavesTheSinkUnconnected) {
  tb::AutoObject* plain = Keep(tb::NewObject());
  vpdf::CmdEvents sink;
  EXPECT_EQ(E_NOINTERFACE, sink.Connect(plain));
  EXPECT_EQ(kNotConnected, sink.Cookie());
  EXPECT_EQ(E_POINTER, sink.Connect(nullptr));
  EXPECT_EQ(kNotConnected, sink.Cookie());
}

TEST_F(EventSinks, ASinkThatGoesWhileConnectedTakesItselfBack) {
  ComPtr<ICommand> command = Command(tb::kClsidFileOpenCmd);
  DWORD cookie = 0;
  {
    vpdf::CmdEvents sink;
    ASSERT_EQ(S_OK, sink.Connect(command.Get()));
    cookie = sink.Cookie();
  }
  tb::ClientCommandRun run = tb::ClientCommandRuns().back();
  EXPECT_EQ(std::vector<DWORD>{cookie}, run.unadvised);
  EXPECT_EQ(0, run.connected);
}

// ---- IUnknown and IDispatch ----------------------------------------------------------------

TEST_F(EventSinks, QueryInterfaceRules) {
  vpdf::CmdEvents commands;
  vpdf::DlgEvents dialogs;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, commands.QueryInterface(GUID_NULL, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_POINTER, commands.QueryInterface(IID_IUnknown, nullptr));
  EXPECT_EQ(E_POINTER, dialogs.QueryInterface(GUID_NULL, nullptr));

  for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &dms::IID_ICommandEvents}) {
    object = nullptr;
    EXPECT_EQ(S_OK, commands.QueryInterface(*iid, &object));
    EXPECT_EQ(static_cast<IDispatch*>(&commands), object);
  }
  object = nullptr;
  EXPECT_EQ(S_OK, dialogs.QueryInterface(dms::IID_IDialogEvents, &object));
  EXPECT_EQ(static_cast<IDispatch*>(&dialogs), object);
  EXPECT_EQ(E_NOINTERFACE, commands.QueryInterface(dms::IID_IDialogEvents, &object));
  EXPECT_EQ(E_NOINTERFACE, dialogs.QueryInterface(dms::IID_ICommandEvents, &object));
  EXPECT_EQ(E_NOINTERFACE, commands.QueryInterface(IID_IConnectionPoint, &object));

  // The stack frame decides the lifetime: no counting.
  EXPECT_EQ(1u, commands.AddRef());
  EXPECT_EQ(1u, commands.AddRef());
  EXPECT_EQ(1u, commands.Release());
  EXPECT_EQ(1u, dialogs.Release());

  UINT count = 7;
  ITypeInfo* info = nullptr;
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(L"OnCancel");
  EXPECT_EQ(E_NOTIMPL, commands.GetTypeInfoCount(&count));
  EXPECT_EQ(E_NOTIMPL, commands.GetTypeInfo(0, 0, &info));
  EXPECT_EQ(E_NOTIMPL, commands.GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
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

TEST_F(EventSinks, InvokeAnswersOnlyTheListedDispids) {
  TraceLog log;
  tb::AutoObject* sender = Keep(tb::NewObject());
  vpdf::CmdEvents commands;
  VARIANT result;
  for (DISPID unknown : {0, 5, 6, -1, 100}) {
    EXPECT_EQ(S_OK, Fire(commands, unknown, sender, result)) << unknown;
    EXPECT_EQ(VT_EMPTY, result.vt) << unknown;
  }
  EXPECT_FALSE(commands.Cancelled());
  EXPECT_TRUE(log.Records().empty());

  EXPECT_EQ(S_OK, Fire(commands, 1, sender, result));
  EXPECT_EQ(VT_I4, result.vt);
  EXPECT_EQ(0, result.lVal);
  EXPECT_EQ(S_OK, Fire(commands, 2, sender, result));
  EXPECT_FALSE(commands.Cancelled());
  EXPECT_EQ(S_OK, Fire(commands, 3, sender, result));
  EXPECT_EQ(VT_I4, result.vt);
  EXPECT_EQ(0, result.lVal);
  EXPECT_TRUE(commands.Cancelled());

  std::vector<std::string> texts;
  for (const TraceRecord& record : log.Records()) {
    texts.push_back(record.text);
    EXPECT_EQ(0, record.level);
  }
  EXPECT_EQ((std::vector<std::string>{
                "_ICommandEvents PreOnOK begin", "_ICommandEvents PreOnOK end",
                "_ICommandEvents PostOnOK begin", "_ICommandEvents PostOnOK end",
                "_ICommandEvents OnCancel begin", "_ICommandEvents OnCancel end"}),
            texts);

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
  EXPECT_EQ(VT_I4, result.vt);
  EXPECT_EQ(0, result.lVal);
  EXPECT_TRUE(dialogs.Cancelled());
}

// ---- The client's commands with a sink -----------------------------------------------------

TEST_F(EventSinks, OnCancelSetsTheFlagAndExecuteStillSucceeds) {
  TraceLog log;
  tb::ClientScript cancel;
  cancel.user = tb::UserAction::kCancel;
  tb::SetClientScript(tb::ClientCommandKind::kNewVersion, cancel);
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, sink, S_OK);
  EXPECT_TRUE(sink.Cancelled());
  EXPECT_LT(log.IndexOf("_ICommandEvents OnCancel begin"),
            log.IndexOf("_ICommandEvents OnCancel end"));
  EXPECT_GE(log.IndexOf("_ICommandEvents OnCancel begin"), 0);
  EXPECT_FALSE(log.Has("_ICommandEvents PreOnOK begin"));
}

TEST_F(EventSinks, AcceptLeavesTheFlagClear) {
  TraceLog log;
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, sink);
  EXPECT_FALSE(sink.Cancelled());
  std::vector<std::wstring> fired;
  for (const tb::FiredEvent& event : run.events) fired.push_back(event.name);
  EXPECT_EQ((std::vector<std::wstring>{L"OnInitDialog", L"PreOnOK", L"Dialog.OnOK", L"PostOnOK"}),
            fired);
  for (const tb::FiredEvent& event : run.events)
    if (event.name != L"Dialog.OnOK") {
      EXPECT_EQ(1, event.sinks) << event.name;
    }
  EXPECT_LT(log.IndexOf("_ICommandEvents OnInitDialog begin"),
            log.IndexOf("_ICommandEvents PreOnOK begin"));
  EXPECT_LT(log.IndexOf("_ICommandEvents PreOnOK end"),
            log.IndexOf("_ICommandEvents PostOnOK begin"));
}

// ---- OnInitDialog --------------------------------------------------------------------------

TEST_F(EventSinks, NewVersionDialogWithoutSourceDocumentGetsOnlyThePdfType) {
  TraceLog log;
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, sink);
  EXPECT_EQ(tb::DialogKind::kNewVersion, run.dialog);
  ASSERT_EQ(1u, run.dialogWrites.size());
  EXPECT_EQ(7, run.dialogWrites[0].number);
  EXPECT_EQ(VT_BSTR, run.dialogWrites[0].type);
  EXPECT_EQ(L"VARNELPDF", run.dialogWrites[0].value);
  EXPECT_TRUE(run.dialogWrites[0].flag);
  EXPECT_EQ(0, run.events[0].result);

  EXPECT_LT(log.IndexOf("_ICommandEvents OnInitDialog begin"),
            log.IndexOf("OnInitDialog get attributes"));
  EXPECT_LT(log.IndexOf("OnInitDialog get attributes"),
            log.IndexOf("OnInitDialog :: pNewVersionDlg ***"));
  EXPECT_LT(log.IndexOf("OnInitDialog :: pNewVersionDlg ***"),
            log.IndexOf("_ICommandEvents OnInitDialog return S_OK"));
  EXPECT_GE(log.IndexOf("_ICommandEvents OnInitDialog begin"), 0);
  EXPECT_FALSE(log.Has("_ICommandEvents OnInitDialog end"));
}

TEST_F(EventSinks, NewVersionDialogReceivesTheSourceProfileInOrder) {
  TraceLog log;
  tb::Document* source = SourceDocument();
  vpdf::SourceDocumentScope slot(source);
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, sink);

  EXPECT_EQ(Concat({{7, 3, 6, 5, 8, 9, 0}, ProfileNumbers(), {17}}), Numbers(run));
  EXPECT_EQ(L"VARNELPDF", ValueOf(run, 7));
  EXPECT_EQ(L"Contract", ValueOf(run, 3));
  EXPECT_EQ(L"JDOE", ValueOf(run, 6));
  EXPECT_EQ(L"JDOE", ValueOf(run, 5));
  EXPECT_EQ(L"DOC", ValueOf(run, 8));
  EXPECT_EQ(L"LEGAL", ValueOf(run, 9));
  EXPECT_EQ(L"DB1", ValueOf(run, 0));
  EXPECT_EQ(L"A24", ValueOf(run, 24));
  EXPECT_EQ(L"A73", ValueOf(run, 73));
  EXPECT_EQ(L"A96", ValueOf(run, 96));
  EXPECT_EQ(L"1717", ValueOf(run, 17));
  for (const tb::AttributeWrite& write : run.dialogWrites) {
    EXPECT_TRUE(write.flag) << write.number;
    EXPECT_EQ(write.number == 17 ? VT_I4 : VT_BSTR, write.type) << write.number;
  }
  EXPECT_TRUE(log.Has("OnInitDialog :: pNewVersionDlg 24 var.bstr : A24"));
  EXPECT_TRUE(log.Has("OnInitDialog :: pNewVersionDlg 96 var.bstr : A96"));
  EXPECT_TRUE(log.Has("_ICommandEvents OnInitDialog return S_OK"));
}

TEST_F(EventSinks, AttributesTheSourceCannotGiveAreSkipped) {
  tb::Document* source = SourceDocument();
  VARIANT empty;
  VariantInit(&empty);
  for (long number : {25L, 50L, 96L, 17L}) source->SetAttribute(number, empty);
  VARIANT number;
  number.vt = VT_I4;
  number.lVal = 42;
  source->SetAttribute(30, number);
  source->Fail(L"SubClass", E_FAIL);
  vpdf::SourceDocumentScope slot(source);
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, sink);

  std::vector<long> expected{7, 3, 6, 5, 8, 0};
  for (long n : ProfileNumbers())
    if (n != 25 && n != 50 && n != 96) expected.push_back(n);
  EXPECT_EQ(expected, Numbers(run));
  EXPECT_EQ(L"42", ValueOf(run, 30));
}

TEST_F(EventSinks, AnEmptyAuthorLeavesFiveAndSixUnset) {
  tb::Document* source = SourceDocument();
  tb::SetDocumentProfile(source, L"", L"DOC", L"LEGAL");
  vpdf::SourceDocumentScope slot(source);
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, sink);
  EXPECT_EQ(Concat({{7, 3, 8, 9, 0}, ProfileNumbers(), {17}}), Numbers(run));
}

TEST_F(EventSinks, NewProfileDialogOrder) {
  TraceLog log;
  vpdf::SourceDocumentScope slot(SourceDocument());
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewDocumentCmd, sink);
  EXPECT_EQ(tb::DialogKind::kNewProfile, run.dialog);
  EXPECT_EQ(Concat({{3, 17, 6, 5, 8, 9, 0}, ProfileNumbers()}), Numbers(run));
  EXPECT_TRUE(log.Has("OnInitDialog :: pNewProfileDlg ***"));
  EXPECT_TRUE(log.Has("OnInitialog :: pNewProfileDlg 24 var.bstr : A24"));
  EXPECT_TRUE(log.Has("_ICommandEvents OnInitDialog return S_OK"));
}

TEST_F(EventSinks, EditProfileDialogGetsTheClass) {
  TraceLog log;
  vpdf::SourceDocumentScope slot(SourceDocument());
  tb::ClientScript script;
  script.dialog = tb::DialogKind::kEditProfile;
  tb::SetClientScript(tb::ClientCommandKind::kNewVersion, script);
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, sink);
  EXPECT_EQ(std::vector<long>{8}, Numbers(run));
  EXPECT_EQ(L"DOC", ValueOf(run, 8));
  EXPECT_TRUE(log.Has("OnInitDialog :: IEditProfileDlg ***"));
}

TEST_F(EventSinks, FileSaveDialogOrder) {
  TraceLog log;
  vpdf::SourceDocumentScope slot(SourceDocument());
  tb::ClientScript script;
  script.dialog = tb::DialogKind::kFileSave;
  tb::SetClientScript(tb::ClientCommandKind::kFileOpen, script);
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidFileOpenCmd, sink);
  EXPECT_EQ(Concat({{3, 6, 5, 8, 9, 0}, ProfileNumbers()}), Numbers(run));
  EXPECT_TRUE(log.Has("OnInitDialog :: IIManFileSaveDlg ***"));
  EXPECT_TRUE(log.Has("OnInitDialog :: pIManFileSaveDlg 73 var.bstr : A73"));
}

TEST_F(EventSinks, ADialogWithNoneOfTheFourInterfacesIsLeftUntouched) {
  TraceLog log;
  vpdf::SourceDocumentScope slot(SourceDocument());
  tb::ClientScript script;
  script.dialog = tb::DialogKind::kOther;
  tb::SetClientScript(tb::ClientCommandKind::kNewVersion, script);
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, sink);
  EXPECT_TRUE(run.dialogWrites.empty());
  EXPECT_EQ(0, run.events[0].result);
  EXPECT_TRUE(log.Has("_ICommandEvents OnInitDialog end"));
  EXPECT_FALSE(log.Has("_ICommandEvents OnInitDialog return S_OK"));
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

TEST_F(EventSinks, ASourceWithoutAuthorTypeOrClassSetsNothing) {
  TraceLog log;
  tb::Document* source = SourceDocument();
  source->Remove(L"Class");
  vpdf::SourceDocumentScope slot(source);
  vpdf::CmdEvents sink;
  tb::ClientCommandRun run = Run(tb::kClsidNewVersionCmd, sink);
  EXPECT_TRUE(run.dialogWrites.empty());
  ASSERT_FALSE(run.events.empty());
  EXPECT_EQ(L"OnInitDialog", run.events[0].name);
  EXPECT_EQ(static_cast<long>(E_POINTER), run.events[0].result);
  EXPECT_FALSE(log.Has("_ICommandEvents OnInitDialog return S_OK"));

  tb::Document* other = SourceDocument();
  other->Fail(L"Author", E_ACCESSDENIED);
  vpdf::SetSourceDocument(other);
  tb::Dialog* dialog = Keep(tb::Dialog::Create(tb::DialogKind::kNewVersion));
  VARIANT result;
  EXPECT_EQ(S_OK, Fire(sink, 4, dialog, result));
  EXPECT_EQ(static_cast<LONG>(E_POINTER), result.lVal);
  EXPECT_TRUE(dialog->Writes().empty());
}

TEST_F(EventSinks, TheSourceDocumentSlotHoldsAReference) {
  tb::Document* source =
      tb::Document::Create(nullptr, 1, 1, L"Held", L"WORDX", L"docx", L"");
  vpdf::SetSourceDocument(source);
  source->Release();
  EXPECT_EQ(2, tb::LiveObjects()) << "the document and its type object stay alive";
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

}  // namespace

// ---- The stand-ins' results (used by the saving and new-PDF commands) -----------------------

namespace {

std::wstring StringOf(IDispatch* object, const wchar_t* member) {
  dms::Object wrapped{ComPtr<IDispatch>(object)};
  return wrapped.StringProperty(member).value;
}

}  // namespace

TEST_F(EventSinks, TheNewVersionCommandWritesTheCheckedOutNewVersion) {
  tb::Document* source = SourceDocument();
  ComPtr<ICommand> command = Command(tb::kClsidNewVersionCmd);
  ComPtr<IContextItems> context;
  ASSERT_EQ(S_OK, command->get_Context(context.Put()));
  vpdf::Variant documents;
  documents.Put()->vt = VT_ARRAY | VT_DISPATCH;
  documents.Get()->parray = tb::DispatchArray({source});
  vpdf::Bstr name(L"SelectedNRTDocuments");
  ASSERT_EQ(S_OK, context->Add(name.Get(), *documents.Get()));
  vpdf::Bstr file(L"IManExt.Import.FileName");
  ASSERT_EQ(S_OK, context->Add(file.Get(), *vpdf::Variant::String(L"C:\\x\\merged.pdf").Get()));
  ASSERT_EQ(S_OK, command->Update());
  ASSERT_EQ(S_OK, command->Execute());

  ComPtr<IContextItem> item;
  ASSERT_EQ(S_OK, context->get_Item(*vpdf::Variant::String(L"iManExt.NewVersionCmd.Document").Get(),
                                    item.Put()));
  vpdf::Variant value;
  ASSERT_EQ(S_OK, item->get_Value(value.Put()));
  ASSERT_EQ(VT_DISPATCH, value.Type());
  dms::Document created;
  ASSERT_EQ(S_OK, dms::Document::From(value.Get()->pdispVal, created));
  EXPECT_EQ(1234, created.Number().value);
  EXPECT_EQ(3, created.Version().value);
  EXPECT_TRUE(created.CheckedOut().value);
  EXPECT_EQ(L"C:\\x\\merged.pdf", created.CheckoutPath().value);
  EXPECT_EQ(L"DB1", created.GetDatabase().value.Name().value);
  EXPECT_EQ(L"docx", created.Type().value.ApplicationExtension().value);
  tb::ClientCommandRun run = tb::ClientCommandRuns().back();
  ASSERT_EQ(2u, run.context.size());
  EXPECT_EQ(L"SelectedNRTDocuments", run.context[0].name);
  EXPECT_EQ(std::vector<const void*>{static_cast<IDispatch*>(source)}, run.context[0].objects);
}

TEST_F(EventSinks, TheImportCommandsWriteTheImportedDocument) {
  tb::Session* session = Keep(tb::Session::Create(L"jdoe", L"S1"));
  for (bool silent : {true, false}) {
    ComPtr<ICommand> command = Command(silent ? tb::kClsidImportCmd : tb::kClsidNewDocumentCmd);
    ComPtr<IContextItems> context;
    ASSERT_EQ(S_OK, command->get_Context(context.Put()));
    auto add = [&](const wchar_t* item, const vpdf::Variant& value) {
      vpdf::Bstr itemName(item);
      ASSERT_EQ(S_OK, context->Add(itemName.Get(), *value.Get()));
    };
    add(L"IManExt.Import.FileName", vpdf::Variant::String(L"C:\\in\\scan.pdf"));
    add(L"IManExt.Import.DocType", vpdf::Variant::String(L"ACROBAT"));
    add(L"IManExt.Import.DocDescription", vpdf::Variant::String(L"scan"));
    add(L"DestinationObject", vpdf::Variant::Dispatch(session));
    tb::ClientScript script;
    script.newNumber = silent ? 501 : 502;
    tb::SetClientScript(silent ? tb::ClientCommandKind::kSilentImport
                               : tb::ClientCommandKind::kNewDocument,
                        script);
    ASSERT_EQ(S_OK, command->Execute());

    vpdf::Variant value;
    ComPtr<IContextItem> item;
    ASSERT_EQ(S_OK, context->get_Item(*vpdf::Variant::String(L"ImportedDocument").Get(), item.Put()));
    ASSERT_EQ(S_OK, item->get_Value(value.Put()));
    dms::Document created;
    ASSERT_EQ(S_OK, dms::Document::From(value.Get()->pdispVal, created));
    EXPECT_EQ(silent ? 501 : 502, created.Number().value);
    EXPECT_EQ(1, created.Version().value);
    EXPECT_EQ(L"scan", created.Name().value);
    EXPECT_EQ(L"ACROBAT", created.Type().value.Name().value);
    EXPECT_EQ(L"pdf", created.Type().value.ApplicationExtension().value);
    EXPECT_EQ(silent, created.CheckedOut().value);
    EXPECT_EQ(L"jdoe",
              created.GetDatabase().value.GetSession().value.UserID().value);
    EXPECT_EQ(L"DB1", StringOf(created.GetDatabase().value.Get(), L"Name"));
  }
}
