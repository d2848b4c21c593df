// Picking a document in the client's file-open browser (the testbed's stand-in,
// created through COM), the context-item collection made on a worker thread, and the local
// path of a document in the client's portable folder. This program carries the add-in's string
// tables (doc_select_tests.rc), so the browser's texts come from them.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "commands/identity.h"
#include "dms/doc_select.h"
#include "testbed/dms/client_commands.h"
#include "tests/identity_support.h"

namespace {

using testing_support::IdentitySettings;
using testing_support::ScopedRegistryTree;
using testing_support::ScopedRegistryValue;
using testing_support::TraceLog;
using testing_support::TraceRecord;
using vpdf::ComPtr;

constexpr wchar_t kPortable[] = L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable";

bool IsFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The level of the first record with this text; -1 when there is none.
int LevelOf(const TraceLog& log, const std::string& text) {
  TraceRecord record;
  return log.Find(text, record) ? record.level : -1;
}

class DocSelect : public testing::Test {
 protected:
  void TearDown() override {
    tb::ResetClientCommands();
    for (IDispatch* object : owned) object->Release();
    owned.clear();
    EXPECT_EQ(0, tb::LiveObjects()) << "a client object was not released";
  }

  template <class T>
  T* Keep(T* object) {
    owned.push_back(static_cast<IDispatch*>(object));
    return object;
  }

  tb::Session* NewSession() { return Keep(tb::Session::Create(L"jdoe", L"S1")); }

  tb::Document* NewDocument(long number = 1234, long version = 2) {
    tb::Database* database = Keep(tb::Database::Create(L"DB1", NewSession()));
    return Keep(tb::Document::Create(database, number, version, L"Contract", L"WORDX", L"docx",
                                     L""));
  }

  // The user picks `selection` (or does what `script` says) in the browser.
  void Browser(tb::ClientScript script) {
    tb::SetClientScript(tb::ClientCommandKind::kFileOpen, script);
  }
  void Picks(const std::vector<IDispatch*>& selection) {
    tb::ClientScript script;
    script.selection = selection;
    Browser(script);
  }

  // DocSelect on a session of its own; the session reference goes with the call.
  int Select(dms::Document& document) {
    tb::Session* session = tb::Session::Create(L"jdoe", L"S1");
    dms::Session wrapped{ComPtr<IDispatch>(session)};
    session->Release();
    return vpdf::DocSelect(document, std::move(wrapped));
  }

  static tb::ClientCommandRun LastRun() {
    std::vector<tb::ClientCommandRun> runs = tb::ClientCommandRuns();
    return runs.empty() ? tb::ClientCommandRun() : runs.back();
  }

  std::vector<IDispatch*> owned;
};

TEST_F(DocSelect, ThePickedDocumentIsTheResult) {
  ASSERT_EQ(nullptr, vpdf::ApplicationMainWindow());
  tb::Document* picked = NewDocument();
  Picks({picked});
  dms::Document document;
  EXPECT_EQ(0, Select(document));
  EXPECT_EQ(static_cast<IDispatch*>(picked), document.Get());
  tb::ClientCommandRun run = LastRun();
  EXPECT_EQ(1, run.updates);
  EXPECT_EQ(1, run.executes);
  EXPECT_EQ(1u, run.advised.size());
  EXPECT_EQ(run.advised, run.unadvised) << "the sink is disconnected after Execute";
  ASSERT_EQ(5u, run.context.size());
  EXPECT_EQ(L"ParentWindow", run.context[2].name);
  EXPECT_EQ(0, run.context[2].number) << "without a main window";
}

// An answer written by the browser in place of the selection.
std::function<void(IContextItems*)> Answer(VARTYPE type, SAFEARRAY* array, IDispatch* single) {
  return [=](IContextItems* context) {
    VARIANT value;
    value.vt = type;
    if (array)
      value.parray = array;
    else
      value.pdispVal = single;
    context->Add(vpdf::Bstr(L"SelectedIManObjects").Get(), value);
    if (array) SafeArrayDestroy(array);
  };
}

TEST_F(DocSelect, TheLastDocumentOfTheAnswerIsTheResult) {
  tb::Document* first = NewDocument(1);
  tb::Document* last = NewDocument(2);
  tb::AutoObject* shortcut = Keep(tb::NewShortcut(first));
  auto script = [](std::vector<IDispatch*> selection, tb::UserAction user = tb::UserAction::kAccept) {
    tb::ClientScript s;
    s.selection = std::move(selection);
    s.user = user;
    return s;
  };
  tb::ClientScript unreadable = script({}, tb::UserAction::kNothing), inactive = script({}),
                   dispatchMarked = script({}), unknowns = script({}), single = script({});
  unreadable.executeResult = E_FAIL;
  inactive.status = 1;
  // A VT_DISPATCH array (FADF_DISPATCH) given as VT_UNKNOWN elements counts; a VT_UNKNOWN array
  // or a single object does not.
  SAFEARRAY* unknownArray = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
  LONG index = 0;
  SafeArrayPutElement(unknownArray, &index, static_cast<IUnknown*>(first));
  dispatchMarked.onAccept = Answer(VT_ARRAY | VT_UNKNOWN, tb::DispatchArray({first}), nullptr);
  unknowns.onAccept = Answer(VT_ARRAY | VT_UNKNOWN, unknownArray, nullptr);
  single.onAccept = Answer(VT_DISPATCH, nullptr, first);
  struct Case {
    const char* what;
    tb::ClientScript script;
    int result;
    IDispatch* document;
    std::string failure;  // the error record of a failed pick
  };
  const Case cases[] = {
      {"a shortcut", script({shortcut}), 0, first, ""},
      {"the last document", script({first, Keep(tb::NewObject()), last}), 0, last, ""},
      {"no document", script({Keep(tb::NewObject())}), -1, nullptr, ""},
      {"nothing", script({}), -4, nullptr, "DocSelect() no documents selected"},
      {"cancel", script({first}, tb::UserAction::kCancel), -4, nullptr,
       "DocSelect() operation canceled"},
      {"an answer that cannot be read", unreadable, -4, nullptr,
       "DocSelect() Error SelectedIManObjects"},
      {"an inactive browser", inactive, -1, nullptr, ""},
      {"dispatch-marked unknowns", dispatchMarked, 0, first, ""},
      {"unknowns", unknowns, -1, nullptr, ""},
      {"one object", single, -1, nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TraceLog log;
    tb::ResetClientCommands();
    Browser(c.script);
    dms::Document document;
    EXPECT_EQ(c.result, Select(document));
    EXPECT_EQ(c.document, document.Get());
    if (!c.failure.empty()) {
      EXPECT_EQ(2, LevelOf(log, c.failure));
    }
    EXPECT_EQ(c.script.status == 0 ? 1 : 0, LastRun().executes);
    EXPECT_EQ(LastRun().advised, LastRun().unadvised) << "the sink is disconnected";
  }
  EXPECT_EQ(1, shortcut->Calls(L"Resolve"));
}

TEST_F(DocSelect, AFailingResolveIsRaised) {
  tb::AutoObject* shortcut = Keep(tb::NewShortcut(NewDocument()));
  shortcut->Fail(L"Resolve", E_ACCESSDENIED);
  Picks({shortcut});
  dms::Document document;
  try {
    Select(document);
    ADD_FAILURE() << "no COM error raised";
  } catch (const vpdf::ComError& error) {
    EXPECT_EQ(E_ACCESSDENIED, error.Error());
  }
}

TEST_F(DocSelect, TheBrowserGetsFiveItemsInOrderWithEnglishTexts) {
  IdentitySettings settings;
  settings.SetInstallPath(testing_support::ProductFolder());
  settings.SetUILanguageAll(1031);  // German
  ASSERT_EQ(200, vpdf::DetectUILanguage());
  BSTR german = vpdf::LoadResString(538);
  ASSERT_NE(nullptr, german);
  EXPECT_STRNE(L"Select document for new version", german) << "the German table is there";
  SysFreeString(german);

  // A visible top-level window of this process is the client's main window.
  std::unique_ptr<HWND__, decltype(&DestroyWindow)> client(
      CreateWindowExW(0, L"STATIC", L"client", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                      nullptr, nullptr, GetModuleHandleW(nullptr), nullptr),
      &DestroyWindow);
  ASSERT_TRUE(client);
  ASSERT_EQ(client.get(), vpdf::ApplicationMainWindow());

  tb::Session* session = NewSession();
  VARIANT dms;
  ASSERT_TRUE(session->Get(L"NRTDMS", &dms));
  const void* dmsObject = dms.pdispVal;
  VariantClear(&dms);

  Picks({NewDocument()});
  dms::Document document;
  EXPECT_EQ(0, vpdf::DocSelect(document, dms::Session{ComPtr<IDispatch>(session)}));

  tb::ClientCommandRun run = LastRun();
  ASSERT_TRUE(run.hadContext);
  ASSERT_EQ(5u, run.context.size());
  const std::vector<tb::ContextRecord>& items = run.context;
  const std::pair<const wchar_t*, VARTYPE> kinds[] = {
      {L"IManExt2.BrowseCmd.WindowTitle", VT_BSTR}, {L"IManExt2.CommandList", VT_ARRAY | VT_BSTR},
      {L"ParentWindow", VT_I4}, {L"IManDMS", VT_DISPATCH}, {L"IManExt2.MultiFileSelection", VT_BOOL}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(kinds[i].first, items[i].name);
    EXPECT_EQ(kinds[i].second, items[i].type) << i;
  }
  EXPECT_EQ(L"Select document for new version", items[0].text);
  EXPECT_EQ(std::vector<std::wstring>{L"New Version"}, items[1].strings);
  EXPECT_EQ(static_cast<long>(reinterpret_cast<LONG_PTR>(client.get())), items[2].number);
  EXPECT_EQ(std::vector<const void*>{dmsObject}, items[3].objects);
  EXPECT_EQ(VARIANT_FALSE, items[4].number);
}

// ---- The worker thread -------------------------------------------------------------------

constexpr UINT kPing = WM_APP + 7;
HANDLE g_dispatched = nullptr;

LRESULT CALLBACK PingWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPing) {
    SetEvent(g_dispatched);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(DocSelect, TheWorkerRunsWhileThisThreadDispatchesMessages) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = PingWindow;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"DocSelectPing";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, L"DocSelectPing", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(window);
  g_dispatched = CreateEventW(nullptr, TRUE, FALSE, nullptr);

  DWORD uiThread = GetCurrentThreadId(), creatingThread = 0;
  APTTYPE apartment = APTTYPE_CURRENT;
  bool dispatchedWhileCreating = false;
  tb::OnContextItemsCreated([&] {
    creatingThread = GetCurrentThreadId();
    APTTYPEQUALIFIER qualifier;
    CoGetApartmentType(&apartment, &qualifier);
    // The collection is not there until the UI thread has dispatched this message.
    PostMessageW(window, kPing, 0, 0);
    dispatchedWhileCreating = WaitForSingleObject(g_dispatched, 10000) == WAIT_OBJECT_0;
  });

  ComPtr<IContextItems> collection;
  EXPECT_TRUE(vpdf::CreateContextItemsOnWorker(collection));
  tb::OnContextItemsCreated(nullptr);
  EXPECT_TRUE(dispatchedWhileCreating);
  EXPECT_TRUE(creatingThread && creatingThread != uiThread);
  EXPECT_EQ(APTTYPE_STA, apartment);
  ASSERT_TRUE(collection);
  // The collection is usable here.
  EXPECT_EQ(S_OK, vpdf::AddContextItem(collection.Get(), L"Probe", vpdf::Variant::Long(5)));
  collection.Reset();

  DestroyWindow(window);
  UnregisterClassW(L"DocSelectPing", GetModuleHandleW(nullptr));
  CloseHandle(g_dispatched);
  g_dispatched = nullptr;
}

TEST_F(DocSelect, TheWorkerReplacesWhatTheSlotHeld) {
  ComPtr<IContextItems> collection;
  ASSERT_EQ(S_OK, tb::NewContextItems(collection.Put()));
  IContextItems* before = collection.Get();
  collection->AddRef();
  EXPECT_TRUE(vpdf::CreateContextItemsOnWorker(collection));
  EXPECT_NE(before, collection.Get());
  EXPECT_EQ(0u, before->Release()) << "the earlier collection was released";
}

// ---- DocCreate --------------------------------------------------------------------------

// Folders made by a test, removed (deepest first) at the end when they were not there before.
class MadeFolders {
 public:
  explicit MadeFolders(std::vector<std::wstring> deepestFirst) : m_folders(std::move(deepestFirst)) {
    for (const std::wstring& folder : m_folders) m_existed.push_back(IsFolder(folder));
  }
  ~MadeFolders() {
    for (size_t i = 0; i < m_folders.size(); ++i)
      if (!m_existed[i]) RemoveDirectoryW(m_folders[i].c_str());
  }

 private:
  std::vector<std::wstring> m_folders;
  std::vector<bool> m_existed;
};

class DocCreate : public DocSelect {
 protected:
  ScopedRegistryTree portable{HKEY_CURRENT_USER, kPortable};

  HRESULT Create(tb::Document* document, std::wstring& path) {
    return vpdf::DocCreate(dms::Document(ComPtr<IDispatch>(document)), path);
  }
};

TEST_F(DocCreate, ThePathInThePortableFolderWithItsFolders) {
  wchar_t profile[MAX_PATH] = {};
  ASSERT_LT(0u, GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH));
  const std::wstring home = std::wstring(profile) + L"\\NrPortblTest";
  const std::wstring temp = testing_support::TempFolder() + L"vpdf_portable";
  const std::wstring none = L"<none>";
  struct Case {
    const char* what;
    std::wstring setting, root, file;  // the registry's folder, the one used, the file name
  };
  const Case cases[] = {
      {"default", none, L"C:\\NRPortbl", L"1234_2.docx"},
      {"no type", none, L"C:\\NRPortbl", L"1234_2.pdf"},
      {"environment variables", L"%USERPROFILE%\\NrPortblTest", home, L"1234_2.docx"},
      // The temporary folder ends with a backslash: the setting has a doubled one.
      {"doubled backslashes", temp + L"\\", temp, L"1234_2.docx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MadeFolders made({c.root + L"\\DB1\\jdoe", c.root + L"\\DB1", c.root});
    if (c.setting != none)
      testing_support::SetString(HKEY_CURRENT_USER, kPortable, L"PORTABLE_DIRECTORY", c.setting);
    tb::Document* document = NewDocument(1234, 2);
    if (c.file.ends_with(L".pdf")) document->Fail(L"Type", E_FAIL);
    std::wstring path;
    EXPECT_EQ(S_OK, Create(document, path));
    EXPECT_EQ(c.root + L"\\DB1\\jdoe\\" + c.file, path);
    EXPECT_TRUE(IsFolder(c.root + L"\\DB1\\jdoe"));
    EXPECT_FALSE(Exists(path)) << "DocCreate makes no file";
  }
}

TEST_F(DocCreate, NumberOrVersionThatCannotBeReadFails) {
  MadeFolders made({L"C:\\NRPortbl\\DB1\\jdoe", L"C:\\NRPortbl\\DB1", L"C:\\NRPortbl"});
  for (const wchar_t* member : {L"Number", L"Version"}) {
    TraceLog log;
    tb::Document* document = NewDocument();
    document->Fail(member, E_ACCESSDENIED);
    std::wstring path = L"unchanged";
    EXPECT_EQ(E_FAIL, Create(document, path));
    EXPECT_EQ(L"unchanged", path);
    EXPECT_EQ(2, LevelOf(log, "DocSelect() / get_" + testing_support::Utf8(member) + "() bad hr, returning"));
  }
}

TEST_F(DocCreate, AFolderPartLongerThan259CharactersFails) {
  tb::Session* session = Keep(tb::Session::Create(std::wstring(250, L'u'), L"S1"));
  tb::Database* database = Keep(tb::Database::Create(L"DB1", session));
  tb::Document* document =
      Keep(tb::Document::Create(database, 1, 1, L"Long", L"WORDX", L"docx", L""));
  MadeFolders made({L"C:\\NRPortbl\\DB1", L"C:\\NRPortbl"});
  std::wstring path;
  EXPECT_EQ(E_FAIL, Create(document, path));
  EXPECT_FALSE(IsFolder(L"C:\\NRPortbl\\DB1"));
}

}  // namespace
