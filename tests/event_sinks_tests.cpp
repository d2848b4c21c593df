// The client's own commands (the testbed's stand-ins, created through COM) run with the add-in's
// event sinks: what the client's dialogs receive, which events reach a sink, what the browser is
// given and what DocSelect makes of the answer; and the local path of a document.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/identity.h"
#include "dms/doc_select.h"
#include "dms/event_sinks.h"
#include "testbed/dms/client_commands.h"
#include "tests/identity_support.h"

namespace {

using vpdf::ComPtr;
using tb::UserAction;

// `first`, then the profile attributes 24..73 and 96, then `last`.
std::vector<long> WithProfile(std::vector<long> first, const std::vector<long>& last = {}) {
  for (long n = 24; n <= 73; ++n) first.push_back(n);
  first.push_back(96);
  first.insert(first.end(), last.begin(), last.end());
  return first;
}

// What the source document of Source() has for attribute `number`, as text.
std::wstring SourceValue(long number) {
  switch (number) {
    case 7: return L"VARNELPDF";  // the PDF type of the profile ini
    case 3: return L"Contract";
    case 5: case 6: return L"JDOE";
    case 8: return L"DOC";
    case 9: return L"LEGAL";
    case 0: return L"DB1";
    case 17: return L"1717";
    default: return L"A" + std::to_wstring(number);
  }
}

// A client command's script: what the user picks in the browser and does, the dialog shown.
tb::ClientScript Script(std::vector<IDispatch*> selection, UserAction user = UserAction::kAccept,
                        std::optional<tb::DialogKind> dialog = {}) {
  tb::ClientScript script;
  script.selection = std::move(selection);
  script.user = user;
  script.dialog = dialog;
  return script;
}

class ClientCommands : public testing_support::KeepingTest {
 protected:
  void TearDown() override {
    vpdf::SetSourceDocument(nullptr);
    tb::ResetClientCommands();
    KeepingTest::TearDown();
  }
  tb::Document* NewDocument(long number = 1234, long version = 2, const std::wstring& user = L"jdoe") {
    tb::Database* database = Keep(tb::Database::Create(L"DB1", Keep(tb::Session::Create(user, L"S1"))));
    return Keep(tb::Document::Create(database, number, version, L"Contract", L"WORDX", L"docx", L""));
  }
  // Description "Contract", author JDOE, class DOC, subclass LEGAL, attributes 24..73 and 96 as
  // texts "A<n>", attribute 17 the number 1717.
  tb::Document* Source() {
    tb::Document* document = NewDocument();
    tb::SetDocumentProfile(document, L"JDOE", L"DOC", L"LEGAL");
    for (long number : WithProfile({})) document->SetAttribute(number, *vpdf::Variant::String(SourceValue(number)).Get());
    document->SetAttribute(17, *vpdf::Variant::Long(1717).Get());
    return document;
  }
  static tb::ClientCommandRun LastRun() {
    std::vector<tb::ClientCommandRun> runs = tb::ClientCommandRuns();
    return runs.empty() ? tb::ClientCommandRun() : runs.back();
  }
  testing_support::ScopedProfileIni ini{L"[WorkSite]\r\nPDFAPPID=VARNELPDF\r\n"};  // DocTypeForFile("temp.pdf")
};

TEST_F(ClientCommands, EachDialogReceivesTheSourceProfileInItsOrderAndEveryEventReachesItsSink) {
  enum SourceKind { kNone, kFull, kGaps, kNoAuthor, kNoClass };
  const std::wstring accepted = L"OnInitDialog:1 PreOnOK:1 Dialog.OnOK:0 PostOnOK:1";
  std::vector<long> gaps;
  for (long n : WithProfile({7, 3, 6, 5, 8, 0}))
    if (n != 25 && n != 50 && n != 96) gaps.push_back(n);
  const struct {
    const char* what; CLSID command; std::optional<tb::DialogKind> dialog; SourceKind source; UserAction user;
    bool dialogSink;  // a dialog-event sink beside the command-event sink
    std::vector<long> written; std::wstring events;
    const char* cancelled;  // C: the command sink's flag, D: the dialog sink's
  } rows[] = {
      {"new version without source", tb::kClsidNewVersionCmd, {}, kNone, UserAction::kAccept, false, {7}, accepted, ""},
      {"new version", tb::kClsidNewVersionCmd, {}, kFull, UserAction::kAccept, false, WithProfile({7, 3, 6, 5, 8, 9, 0}, {17}), accepted, ""},
      {"new profile", tb::kClsidNewDocumentCmd, {}, kFull, UserAction::kAccept, true, WithProfile({3, 17, 6, 5, 8, 9, 0}),
       L"OnInitDialog:1 PreOnOK:1 Dialog.OnOK:1 PostOnOK:1", ""},
      {"edit profile", tb::kClsidNewVersionCmd, tb::DialogKind::kEditProfile, kFull, UserAction::kAccept, false, {8}, accepted, ""},
      {"file save", tb::kClsidFileOpenCmd, tb::DialogKind::kFileSave, kFull, UserAction::kAccept, false, WithProfile({3, 6, 5, 8, 9, 0}), accepted, ""},
      {"none of the four dialogs", tb::kClsidNewVersionCmd, tb::DialogKind::kOther, kFull, UserAction::kAccept, false, {}, accepted, ""},
      {"empty, failing and missing values skipped", tb::kClsidNewVersionCmd, {}, kGaps, UserAction::kAccept, false, gaps, accepted, ""},
      {"no author: 5 and 6 unset", tb::kClsidNewVersionCmd, {}, kNoAuthor, UserAction::kAccept, false, WithProfile({7, 3, 8, 9, 0}, {17}), accepted, ""},
      {"no class: nothing set", tb::kClsidNewVersionCmd, {}, kNoClass, UserAction::kAccept, false, {},
       L"OnInitDialog:1=-2147467261 PreOnOK:1 Dialog.OnOK:0 PostOnOK:1", ""},
      {"cancel", tb::kClsidNewVersionCmd, {}, kNone, UserAction::kCancel, false, {7}, L"OnInitDialog:1 Dialog.OnCancel:0 OnCancel:1", "C"},
      {"cancel in the new profile", tb::kClsidNewDocumentCmd, {}, kNone, UserAction::kCancel, true, {3},
       L"OnInitDialog:1 Dialog.OnCancel:1 OnCancel:1", "CD"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    tb::Document* source = row.source == kNone ? nullptr : Source();
    if (row.source == kGaps) {
      for (long number : {25L, 50L, 96L, 17L}) source->SetAttribute(number, *vpdf::Variant().Get());
      source->Fail(L"SubClass", E_FAIL);
    }
    if (row.source == kNoAuthor) tb::SetDocumentProfile(source, L"", L"DOC", L"LEGAL");
    if (row.source == kNoClass) source->Remove(L"Class");
    vpdf::SetSourceDocument(source);
    tb::SetClientScript(row.command == tb::kClsidFileOpenCmd ? tb::ClientCommandKind::kFileOpen
                        : row.command == tb::kClsidNewDocumentCmd ? tb::ClientCommandKind::kNewDocument
                                                                  : tb::ClientCommandKind::kNewVersion, Script({}, row.user, row.dialog));
    vpdf::CmdEvents commandSink;
    vpdf::DlgEvents dialogSink;
    {
      ComPtr<ICommand> command;
      ComPtr<IContextItems> context;
      ASSERT_EQ(S_OK, CoCreateInstance(row.command, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ICommand), command.PutVoid()));
      ASSERT_EQ(S_OK, tb::NewContextItems(context.Put()));
      ASSERT_EQ(S_OK, command->Initialize(context.Get()));
      ASSERT_EQ(S_OK, commandSink.Connect(command.Get()));
      if (row.dialogSink) {
        ASSERT_EQ(S_OK, dialogSink.Connect(command.Get()));
      }
      EXPECT_EQ(S_OK, command->Execute());
      EXPECT_EQ(S_OK, commandSink.Disconnect());
      EXPECT_EQ(row.dialogSink ? S_OK : CONNECT_E_NOCONNECTION, dialogSink.Disconnect());
    }
    const tb::ClientCommandRun run = LastRun();
    std::vector<long> written;
    for (const tb::AttributeWrite& write : run.dialogWrites) {
      written.push_back(write.number);
      EXPECT_EQ(write.number == 7 || source ? SourceValue(write.number) : L"", write.value) << write.number;
      EXPECT_TRUE(write.flag) << write.number;
      EXPECT_EQ(write.number == 17 ? VT_I4 : VT_BSTR, write.type) << write.number;
    }
    EXPECT_EQ(row.written, written);
    std::wstring events;
    for (const tb::FiredEvent& event : run.events)
      events += (events.empty() ? L"" : L" ") + event.name + L":" + std::to_wstring(event.sinks) +
                (event.result ? L"=" + std::to_wstring(event.result) : L"");
    EXPECT_EQ(row.events, events);
    EXPECT_EQ(std::string(row.cancelled), std::string(commandSink.Cancelled() ? "C" : "") + (dialogSink.Cancelled() ? "D" : ""));
    EXPECT_EQ(run.advised, run.unadvised) << "a sink left connected";
    EXPECT_EQ(row.dialogSink ? 2u : 1u, run.advised.size());
  }
}

// DocSelect: what the user does in the browser, or what the browser answers, and the result.
TEST_F(ClientCommands, DocSelectGivesTheLastDocumentOfTheAnswer) {
  tb::Document* first = NewDocument(1);
  tb::Document* last = NewDocument(2);
  tb::AutoObject* shortcut = Keep(tb::NewShortcut(first));
  tb::ClientScript unreadable = Script({}, UserAction::kNothing), inactive = Script({});
  unreadable.executeResult = E_FAIL;
  inactive.status = 1;
  const struct {
    const char* what; tb::ClientScript script; int result; IDispatch* document;
  } rows[] = {
      {"the picked document", Script({first}), 0, first},
      {"a shortcut", Script({shortcut}), 0, first},
      {"the last document", Script({first, Keep(tb::NewObject()), last}), 0, last},
      {"no document", Script({Keep(tb::NewObject())}), -1, nullptr},
      {"nothing", Script({}), -4, nullptr},
      {"cancel", Script({first}, UserAction::kCancel), -4, nullptr},
      {"an answer that cannot be read", unreadable, -4, nullptr},
      {"an inactive browser", inactive, -1, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    tb::ResetClientCommands();
    tb::SetClientScript(tb::ClientCommandKind::kFileOpen, row.script);
    tb::Session* session = tb::Session::Create(L"jdoe", L"S1");
    dms::Document document;
    EXPECT_EQ(row.result, vpdf::DocSelect(document, dms::Session{ComPtr<IDispatch>::Adopt(session)}));
    EXPECT_EQ(row.document, document.Get());
    const tb::ClientCommandRun run = LastRun();
    EXPECT_EQ(1, run.updates);
    EXPECT_EQ(row.script.status == 0 ? 1 : 0, run.executes);
    EXPECT_EQ(run.advised, run.unadvised) << "the sink is disconnected";
  }
  // A shortcut that cannot be resolved is raised to the command's outer level.
  shortcut->Fail(L"Resolve", E_ACCESSDENIED);
  tb::SetClientScript(tb::ClientCommandKind::kFileOpen, Script({shortcut}));
  dms::Document document;
  try {
    vpdf::DocSelect(document, dms::Session{ComPtr<IDispatch>(Keep(tb::Session::Create(L"jdoe", L"S1")))});
    ADD_FAILURE() << "no COM error raised";
  } catch (const vpdf::ComError& error) {
    EXPECT_EQ(E_ACCESSDENIED, error.Error());
  }
}

TEST_F(ClientCommands, TheBrowserGetsFiveItemsInOrderWithEnglishTextsWhateverTheLanguage) {
  testing_support::IdentitySettings settings;
  settings.SetInstallPath(testing_support::ProductFolder());
  settings.SetUILanguageAll(1031);
  ASSERT_EQ(200, vpdf::DetectUILanguage());
  // A visible top-level window of this process is the client's main window.
  std::unique_ptr<HWND__, decltype(&DestroyWindow)> client(
      CreateWindowExW(0, L"STATIC", L"client", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr),
      &DestroyWindow);
  ASSERT_EQ(client.get(), vpdf::ApplicationMainWindow());
  tb::Session* session = Keep(tb::Session::Create(L"jdoe", L"S1"));
  VARIANT dms;
  ASSERT_TRUE(session->Get(L"NRTDMS", &dms));
  const void* dmsObject = dms.pdispVal;
  VariantClear(&dms);
  tb::SetClientScript(tb::ClientCommandKind::kFileOpen, Script({NewDocument()}));
  dms::Document document;
  EXPECT_EQ(0, vpdf::DocSelect(document, dms::Session{ComPtr<IDispatch>(session)}));
  std::wstring items;
  for (const tb::ContextRecord& item : LastRun().context)
    items += item.name + L" " + std::to_wstring(item.type) + L" " +
             (item.strings.empty() ? item.text.empty() ? std::to_wstring(item.number) : item.text : item.strings[0]) +
             (item.objects == std::vector<const void*>{dmsObject} ? L" the DMS" : L"") + L"\n";
  EXPECT_EQ(L"IManExt2.BrowseCmd.WindowTitle 8 Select document for new version\n"
            L"IManExt2.CommandList 8200 New Version\n"
            L"ParentWindow 3 " + std::to_wstring(static_cast<long>(reinterpret_cast<LONG_PTR>(client.get()))) + L"\n"
            L"IManDMS 9 0 the DMS\n"
            L"IManExt2.MultiFileSelection 11 0\n", items);
}

constexpr UINT kPing = WM_APP + 7;
HANDLE g_dispatched = nullptr;
LRESULT CALLBACK PingWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPing) SetEvent(g_dispatched);
  return DefWindowProcW(window, message, wParam, lParam);
}

// The collection is made on a worker thread of its own apartment while this thread dispatches.
TEST_F(ClientCommands, TheContextItemsAreMadeOnAWorkerWhileThisThreadDispatchesMessages) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = PingWindow;
  windowClass.lpszClassName = L"DocSelectPing";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, L"DocSelectPing", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_TRUE(window);
  g_dispatched = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD creatingThread = 0;
  APTTYPE apartment = APTTYPE_CURRENT;
  bool dispatched = false;
  tb::OnContextItemsCreated([&] {
    creatingThread = GetCurrentThreadId();
    APTTYPEQUALIFIER qualifier;
    CoGetApartmentType(&apartment, &qualifier);
    PostMessageW(window, kPing, 0, 0);  // answered only while the UI thread dispatches
    dispatched = WaitForSingleObject(g_dispatched, 10000) == WAIT_OBJECT_0;
  });
  ComPtr<IContextItems> collection;
  EXPECT_TRUE(vpdf::CreateContextItemsOnWorker(collection));
  tb::OnContextItemsCreated(nullptr);
  EXPECT_TRUE(dispatched);
  EXPECT_NE(GetCurrentThreadId(), creatingThread);
  EXPECT_EQ(APTTYPE_STA, apartment);
  EXPECT_EQ(S_OK, vpdf::AddContextItem(collection.Get(), L"Probe", vpdf::Variant::Long(5)));
  DestroyWindow(window);
  CloseHandle(g_dispatched);
}

// DocCreate: the document's path in the client's portable folder, its folders made.
TEST_F(ClientCommands, DocCreateGivesThePathInThePortableFolder) {
  constexpr wchar_t kPortable[] = L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable";
  testing_support::ScopedRegistryTree portable{HKEY_CURRENT_USER, kPortable};
  wchar_t profile[MAX_PATH] = {};
  ASSERT_LT(0u, GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH));
  const std::wstring home = std::wstring(profile) + L"\\NrPortblTest", temp = testing_support::TempFolder() + L"vpdf_portable";
  const struct {
    const char* what;
    std::wstring setting, root;  // the registry's folder, the one used
    const wchar_t* failing;      // a member of the document that fails
    std::wstring user, file;     // empty file: E_FAIL, nothing made
  } rows[] = {
      {"default", L"", L"C:\\NRPortbl", nullptr, L"jdoe", L"1234_2.docx"},
      {"no type", L"", L"C:\\NRPortbl", L"Type", L"jdoe", L"1234_2.pdf"},
      {"environment variables", L"%USERPROFILE%\\NrPortblTest", home, nullptr, L"jdoe", L"1234_2.docx"},
      {"doubled backslashes", temp + L"\\", temp, nullptr, L"jdoe", L"1234_2.docx"},
      {"no number", L"", L"C:\\NRPortbl", L"Number", L"jdoe", L""},
      {"no version", L"", L"C:\\NRPortbl", L"Version", L"jdoe", L""},
      {"a folder part over 259 characters", L"", L"C:\\NRPortbl", nullptr, std::wstring(250, L'u'), L""},
      {"a path of 259 characters", L"", L"C:\\NrPortbl", nullptr, std::wstring(231, L'u'), L"1234_2.docx"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const bool existed = GetFileAttributesW(row.root.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (row.setting.empty()) RegDeleteKeyValueW(HKEY_CURRENT_USER, kPortable, L"PORTABLE_DIRECTORY");
    else testing_support::SetString(HKEY_CURRENT_USER, kPortable, L"PORTABLE_DIRECTORY", row.setting);
    tb::Document* document = NewDocument(1234, 2, row.user);
    if (row.failing) document->Fail(row.failing, E_ACCESSDENIED);
    std::wstring path = L"unchanged";
    EXPECT_EQ(row.file.empty() ? E_FAIL : S_OK, vpdf::DocCreate(dms::Document(ComPtr<IDispatch>(document)), path));
    const std::wstring folder = row.root + L"\\DB1\\" + row.user;
    EXPECT_EQ(row.file.empty() ? L"unchanged" : folder + L"\\" + row.file, path);
    if (!row.file.empty()) {
      EXPECT_TRUE(std::filesystem::is_directory(folder) && !std::filesystem::exists(path)) << "the folders made, the file not";
    }
    EXPECT_EQ(row.user.size() < 240, std::filesystem::is_directory(row.root + L"\\DB1")) << "made before the number is read";
    std::error_code ignored;
    if (!existed) std::filesystem::remove_all(row.root, ignored);
  }
}

}  // namespace
