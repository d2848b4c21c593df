// Storing Create PDF's result: the save-choice dialog (from this program's copy of the add-in's
// templates, save_result_tests.rc) worked from a second thread through window messages, then a
// new document (imported, related, with history), a new version (checked out and in directly
// or through the client's new-version command) or a local file (the system's Save-As dialog).
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "commands/createpdf/create_pdf.h"
#include "tests/testing/harness.h"
#include "tests/save_result_support.h"

namespace {

using namespace testing_support;
using vpdf::CCreatePDF_I;
using vpdf::ComPtr;

testing::Environment* const g_client = testing::AddGlobalTestEnvironment(new ClientInstallation);

constexpr int kNewDocumentRadio = 206, kRelateBox = 203, kNewVersionRadio = 207,
              kLocalSaveRadio = 204, kMessageText = 211;

// The next visible dialog of `thread` other than `previous`, within a few seconds.
HWND NextDialog(DWORD thread, HWND previous) {
  for (int i = 0; i < 1000; ++i, Sleep(20))
    if (HWND found = VisibleDialogOf(thread); found && found != previous) return found;
  return nullptr;
}

// A Static text of the message box.
std::wstring MessageBoxText(HWND box) {
  std::wstring texts;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    if (_wcsicmp(name, L"Static") == 0) texts += Text(child);
  }
  return texts;
}

DATE LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  DATE date = 0;
  SystemTimeToVariantTime(&now, &date);
  return date;
}

class SaveResult : public CleanTempFolderTest {
 protected:
  void SetUp() override {
    CleanTempFolderTest::SetUp();
    uiThread = GetCurrentThreadId();
    SetString(HKEY_CURRENT_USER, kClientOptionsKey, kShowProfileValue, L"N");
    portable = TempFolder() + L"save_result_portable";
    SetString(HKEY_CURRENT_USER, L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable",
              L"PORTABLE_DIRECTORY", portable);
    useProfile.SetDword(0);

    command = ComPtr<vpdf::CCreatePDF>(new vpdf::CCreatePDF);
    ASSERT_EQ(S_OK, tb::NewContextItems(context.Put()));
    ASSERT_EQ(S_OK, command->Initialize(context.Get()));

    session = Keep(tb::Session::Create(L"jdoe", L"S1"));
    database = Keep(tb::Database::Create(L"DB1", session));
    content = TempFolder() + L"save_result_content.docx";
    Touch(content);
    document = NewDocument(1234, 2, L"Contract");
    pdfPath = TempFolder() + L"Contract.pdf";
    sourcePath = TempFolder() + L"Contract.docx";
    TouchResult();
    CCreatePDF_I::merging = 0;
  }
  void TearDown() override {
    CCreatePDF_I::merging = 0;
    EXPECT_FALSE(FileExists(pdfPath)) << "the PDF is deleted";
    EXPECT_FALSE(FileExists(sourcePath)) << "the source file is deleted";
    for (const std::wstring& file : {pdfPath, sourcePath, content}) DeleteFileW(file.c_str());
    for (const wchar_t* folder : {L"\\DB1\\jdoe", L"\\DB1", L""})
      RemoveDirectoryW((portable + folder).c_str());
    command = {};
    context = {};
    tb::ResetClientCommands();
    for (IDispatch* object : owned) object->Release();
    owned.clear();
    EXPECT_EQ(0, tb::LiveObjects()) << "a client object was not released";
    CleanTempFolderTest::TearDown();
  }

  template <class T>
  T* Keep(T* object) {
    owned.push_back(static_cast<IDispatch*>(object));
    return object;
  }
  tb::Document* NewDocument(long number, long version, const std::wstring& name,
                            tb::Database* in = nullptr) {
    tb::Document* created = Keep(tb::Document::Create(in ? in : database, number, version, name,
                                                      L"WORDX", L"docx", content));
    tb::SetDocumentProfile(created, L"JDOE", L"CONTRACT", L"");
    return created;
  }

  // The converted PDF and its source, as Create PDF leaves them for SaveResult.
  void TouchResult() {
    Touch(pdfPath);
    Touch(sourcePath);
  }
  HRESULT Save(const std::vector<IDispatch*>& sources, bool merged) {
    std::vector<ComPtr<IDispatch>> list(sources.begin(), sources.end());
    return command->SaveResult(document, pdfPath, sourcePath, list, merged);
  }

  bool Refreshed() {
    VARIANT value = ContextItem(context.Get(), L"iManExt.Refresh");
    bool set = value.vt == VT_BOOL && value.boolVal == VARIANT_TRUE;
    VariantClear(&value);
    return set;
  }

  static std::vector<tb::MemberCall> Calls(tb::Document* of, const std::wstring& member) {
    std::vector<tb::MemberCall> found;
    for (const tb::MemberCall& call : of->Recorded())
      if (call.member == member) found.push_back(call);
    return found;
  }

  ScopedRegistryTree clientUser{HKEY_CURRENT_USER, L"Software\\InterWoven"};
  ScopedRegistryTree dialogSettings{HKEY_CURRENT_USER, L"Software\\Ostrel\\PDF\\V1\\iManage Work"};
  ScopedRegistryValue useProfile{HKEY_CURRENT_USER, kProductWorkSiteKey, L"UseProfile"};
  ScopedProfileIni ini;
  DWORD uiThread = 0;
  std::wstring portable, content, pdfPath, sourcePath;
  ComPtr<vpdf::CCreatePDF> command;
  ComPtr<IContextItems> context;
  tb::Session* session = nullptr;
  tb::Database* database = nullptr;
  tb::Document* document = nullptr;
  std::vector<IDispatch*> owned;
};

// Picks `radio` in the save-choice dialog, sets the relate box when it is enabled, presses OK;
// `then` works the next dialog, if any.
struct Choose {
  Choose(int radio, bool relate, std::wstring* message = nullptr,
         std::function<void(HWND)> then = nullptr)
      : driver([=](HWND dialog) {
          if (message) *message = Text(Control(dialog, kMessageText));
          Click(dialog, radio);
          if (Checked(dialog, kRelateBox) != relate && Enabled(dialog, kRelateBox))
            Click(dialog, kRelateBox);
          Click(dialog, IDOK);
          if (then) then(dialog);
        }) {}
  DialogDriver driver;
};

TEST_F(SaveResult, CancelDeletesBothFilesAndStoresNothing) {
  // The question is English whatever the language; a merged result has a question of its own.
  const wchar_t* questions[] = {
      L"The 'Contract.docx' has been converted to a PDF file.\nHow do you want to save the "
      L"'Contract.pdf' ?",
      L"The selected files has been converted to a PDF file. How do you want to save the "
      L"result ?"};
  for (int merging : {0, 1}) {
    SCOPED_TRACE(merging);
    CCreatePDF_I::merging = merging;
    TouchResult();
    std::wstring message;
    {
      DialogDriver driver([&](HWND dialog) {
        message = Text(Control(dialog, kMessageText));
        Click(dialog, IDCANCEL);
      });
      EXPECT_EQ(S_OK, Save({document}, merging == 1));
      EXPECT_TRUE(driver.Found());
      EXPECT_FALSE(driver.Forced());
    }
    EXPECT_EQ(questions[merging], message);
    EXPECT_FALSE(FileExists(pdfPath));
    EXPECT_FALSE(FileExists(sourcePath));
  }
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
  EXPECT_TRUE(document->Recorded().empty());
  EXPECT_TRUE(document->History().empty());
  EXPECT_FALSE(Refreshed());
}

TEST(SaveResultTexts, PlaceholdersAreFilledByHandOrTheBuiltInTextServes) {
  const std::wstring builtIn =
      L"'src.doc' has been converted to a PDF file.\nDo you want to save out.pdf to iManage "
      L"database";
  const struct {
    const wchar_t *format, *first, *second;
    std::wstring expected;
  } questions[] = {
      {L"A %s B %s C", L"x", L"y", L"A x B y C"},
      // A second "%s" may be the last characters; the first must leave five after its start.
      {L"a%s%s..", L"1", L"2", L"a12.."},
      {L"abcdef%s%s", L"src.doc", L"out.pdf", builtIn},
      // Other '%' sequences stay as they are: the text is no printf format.
      {L"100% %s %d %s", L"a", L"b", L"100% a %d b"},
      {L"Only %s here, no second one", L"src.doc", L"out.pdf", builtIn},
      {L"", L"src.doc", L"out.pdf", builtIn}};
  for (const auto& q : questions)
    EXPECT_EQ(q.expected, CCreatePDF_I::SaveQuestion(q.format, q.first, q.second)) << q.format;

  const std::pair<const wchar_t*, const wchar_t*> histories[] = {
      {L"Document %d version %d in database \"%s\" created from this document",
       L"Document 5 version 2 in database \"DB1\" created from this document"},
      {L"Database %s then %d and %d", L"5_2_DB1"},
      {L"Only %d", L"5_2_DB1"},
      {L"", L"5_2_DB1"}};
  for (const auto& [format, expected] : histories)
    EXPECT_EQ(expected, CCreatePDF_I::HistoryText(format, 5, 2, L"DB1")) << format;
}

TEST_F(SaveResult, NewDocumentRelatedToThreeSources) {
  tb::Database* other = Keep(tb::Database::Create(L"DB9", session));
  tb::Document* imported = Keep(tb::Document::Create(other, 555, 1, L"", L"ACROBAT", L"pdf", L""));
  ImportGives(tb::ClientCommandKind::kSilentImport, imported, true);
  tb::Document* second = NewDocument(1235, 1, L"Annex");
  tb::Document* third = NewDocument(1236, 4, L"Letter");
  {
    Choose choose(kNewDocumentRadio, true);
    EXPECT_EQ(S_OK, Save({document, second, third}, false));
  }
  EXPECT_TRUE(Refreshed());

  std::vector<tb::ClientCommandRun> runs = tb::ClientCommandRuns();
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(L"Contract", FindRecord(runs[0], L"IManExt.Import.DocDescription")->text);
  std::vector<tb::HistoryEntry> newHistory = imported->History();
  ASSERT_EQ(1u, newHistory.size());
  EXPECT_EQ(L"Create from document 1234 version 2 in database \"DB1\" ", newHistory[0].comment);
  std::vector<tb::MemberCall> checkIns = Calls(imported, L"CheckInEx");
  ASSERT_EQ(1u, checkIns.size());
  EXPECT_EQ(pdfPath, checkIns[0].args[0]);
  EXPECT_TRUE(checkIns[0].fileExisted);

  std::vector<tb::MemberCall> toSources = Calls(imported, L"RelateDocument");
  ASSERT_EQ(3u, toSources.size());
  const std::vector<std::pair<tb::Document*, std::wstring>> sources = {
      {document, L"1234"}, {second, L"1235"}, {third, L"1236"}};
  for (size_t i = 0; i < sources.size(); ++i) {
    EXPECT_EQ(sources[i].second, toSources[i].args[0]);
    EXPECT_EQ(L"", toSources[i].args[1]);
    std::vector<tb::MemberCall> back = Calls(sources[i].first, L"RelateDocument");
    ASSERT_EQ(1u, back.size());
    EXPECT_EQ(L"555", back[0].args[0]);
    std::vector<tb::HistoryEntry> history = sources[i].first->History();
    ASSERT_EQ(1u, history.size());
    EXPECT_EQ(9, history[0].activity);
    EXPECT_EQ(L"Ostrel Varnel PDF", history[0].application);
    EXPECT_EQ(L"Document 555 version 1 in database \"DB9\" created from this document",
              history[0].comment);
    EXPECT_EQ(L"", history[0].location + history[0].custom1 + history[0].custom2);
  }
}

TEST_F(SaveResult, NewDocumentWithoutRelateWritesNoRelations) {
  tb::Document* imported = Keep(tb::Document::Create(database, 556, 1, L"", L"ACROBAT", L"pdf", L""));
  ImportGives(tb::ClientCommandKind::kSilentImport, imported, true);
  {
    Choose choose(kNewDocumentRadio, false);
    Save({document}, false);
  }
  EXPECT_TRUE(Calls(imported, L"RelateDocument").empty());
  EXPECT_TRUE(Calls(document, L"RelateDocument").empty());
  EXPECT_TRUE(document->History().empty());
  EXPECT_TRUE(Refreshed());
}

TEST_F(SaveResult, NewVersionOfASingleFileIsCheckedOutAndCheckedInDirectly) {
  const DATE before = LocalNow();
  {
    Choose choose(kNewVersionRadio, false);
    Save({document}, false);
  }
  const DATE after = LocalNow();
  std::vector<tb::MemberCall> calls = document->Recorded();
  ASSERT_EQ(2u, calls.size());
  ASSERT_EQ(7u, calls[0].args.size());
  EXPECT_EQ(L"CheckOutEx", calls[0].member);
  EXPECT_EQ(sourcePath, calls[0].args[0]);
  EXPECT_EQ(L"1", calls[0].args[1]);
  const double due = std::stod(calls[0].args[2]);
  EXPECT_GE(due, before + 1.0 / 6.0 - 1e-5);
  EXPECT_LE(due, after + 1.0 / 6.0 + 1e-5);
  EXPECT_EQ((std::vector<std::wstring>{L"", L"2", L"Ostrel Varnel PDF", L""}),
            std::vector<std::wstring>(calls[0].args.begin() + 3, calls[0].args.end()));
  EXPECT_EQ(L"CheckInEx", calls[1].member);
  EXPECT_EQ((std::vector<std::wstring>{pdfPath, L"0", L"0", L"3", L"Ostrel Varnel PDF", L"", L""}),
            std::vector<std::wstring>(calls[1].args.begin(), calls[1].args.begin() + 7));
  EXPECT_TRUE(calls[1].fileExisted);
  EXPECT_TRUE(tb::ClientCommandRuns().empty()) << "no client command on the direct path";
  EXPECT_TRUE(Refreshed());
}

TEST_F(SaveResult, FailedDirectCheckInRetriesThroughTheClientsDialog) {
  document->Fail(L"CheckInEx", E_FAIL);
  std::wstring boxText, boxCaption;
  {
    Choose choose(kNewVersionRadio, false, nullptr, [&](HWND first) {
      HWND box = NextDialog(uiThread, first);
      if (!box) return;
      boxText = MessageBoxText(box);
      boxCaption = Text(box);
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    Save({document}, false);
  }
  EXPECT_EQ(L"General error", boxText);
  EXPECT_EQ(L"Ostrel Varnel PDF", boxCaption);
  EXPECT_EQ(L"N", GetString(HKEY_CURRENT_USER, kClientOptionsKey, kShowProfileValue))
      << "the option is turned off again after the retry";

  std::vector<tb::ClientCommandRun> runs = tb::ClientCommandRuns();
  ASSERT_EQ(1u, runs.size());
  const tb::ClientCommandRun& run = runs[0];
  EXPECT_EQ(tb::ClientCommandKind::kNewVersion, run.kind);
  EXPECT_EQ(pdfPath, FindRecord(run, L"IManExt.Import.FileName")->text);
  EXPECT_EQ(static_cast<const void*>(static_cast<IDispatch*>(document)),
            FindRecord(run, L"SelectedNRTDocuments")->objects.at(0));
  EXPECT_EQ(static_cast<const void*>(static_cast<IDispatch*>(session)),
            FindRecord(run, L"SelectedNRTSessions")->objects.at(0));
  ASSERT_EQ(1u, run.advised.size());
  EXPECT_EQ(run.advised, run.unadvised);
  // The client's new-version dialog got the source document's profile through the sink.
  std::map<long, std::wstring> written;
  for (const tb::AttributeWrite& write : run.dialogWrites) written[write.number] = write.value;
  EXPECT_EQ((std::map<long, std::wstring>{
                {0, L"DB1"}, {3, L"Contract"}, {5, L"JDOE"}, {6, L"JDOE"}, {7, L"ACROBAT"}, {8, L"CONTRACT"}}),
            written);
}

TEST_F(SaveResult, CancelInTheClientsNewVersionDialogReleasesTheCheckout) {
  SetString(HKEY_CURRENT_USER, kClientOptionsKey, kShowProfileValue, L"Y");
  tb::ClientScript script;
  script.user = tb::UserAction::kCancel;
  tb::SetClientScript(tb::ClientCommandKind::kNewVersion, script);
  {
    Choose choose(kNewVersionRadio, false);
    Save({document}, false);
  }
  std::vector<tb::MemberCall> calls = document->Recorded();
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ(L"CheckOutEx", calls[0].member);
  EXPECT_EQ(L"UnlockDocument", calls[1].member);
  EXPECT_EQ(L"Y", GetString(HKEY_CURRENT_USER, kClientOptionsKey, kShowProfileValue));
}

TEST_F(SaveResult, NewVersionOfAMergedFileGoesToThePickedDocument) {
  tb::Document* target = NewDocument(77, 3, L"Target");
  tb::ClientScript browse;
  browse.selection = {target};
  browse.user = tb::UserAction::kCancel;
  tb::SetClientScript(tb::ClientCommandKind::kFileOpen, browse);
  {
    Choose choose(kNewVersionRadio, false);
    Save({document}, true);
  }
  EXPECT_TRUE(target->Recorded().empty()) << "nothing picked, nothing stored";
  EXPECT_TRUE(target->History().empty());
  EXPECT_FALSE(Refreshed());
  ASSERT_EQ(1u, tb::ClientCommandRuns().size()) << "only the browser ran";

  browse.user = tb::UserAction::kAccept;
  tb::SetClientScript(tb::ClientCommandKind::kFileOpen, browse);
  TouchResult();
  {
    Choose choose(kNewVersionRadio, false);
    Save({document, NewDocument(1235, 1, L"Annex")}, true);
  }
  EXPECT_TRUE(document->Recorded().empty()) << "the first merged document is not versioned";
  std::vector<tb::MemberCall> calls = target->Recorded();
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ(L"CheckOutEx", calls[0].member);
  EXPECT_EQ(portable + L"\\DB1\\jdoe\\77_3.docx", calls[0].args[0]);
  EXPECT_EQ(L"CheckInEx", calls[1].member);
  EXPECT_EQ(pdfPath, calls[1].args[0]);
  std::vector<tb::HistoryEntry> history = target->History();
  ASSERT_EQ(1u, history.size());
  EXPECT_EQ(L"77_3_Target", history[0].comment);
  EXPECT_TRUE(Refreshed());
  DeleteFileW((portable + L"\\DB1\\jdoe\\77_3.docx").c_str());

  // A target whose local path cannot be built is not checked out to an empty one.
  tb::Document* unplaced = NewDocument(78, 1, L"Unplaced");
  unplaced->Fail(L"Number", E_ACCESSDENIED);
  browse.selection = {unplaced};
  tb::SetClientScript(tb::ClientCommandKind::kFileOpen, browse);
  TouchResult();
  {
    Choose choose(kNewVersionRadio, false);
    Save({document}, true);
  }
  EXPECT_TRUE(unplaced->Recorded().empty()) << testing_support::Utf8(unplaced->Recorded().at(0).member);
}

TEST_F(SaveResult, LocalSaveCopiesThePdfWhereTheUserSays) {
  // The system dialog makes the chosen folder the current one.
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  const std::wstring folder = TempFolder() + L"save_result_local";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring target = folder + L"\\Chosen.pdf";
  std::wstring title;
  {
    Choose choose(kLocalSaveRadio, false, nullptr, [&](HWND first) {
      HWND saveAs = NextDialog(uiThread, first);
      if (!saveAs) return;
      title = Text(saveAs);
      HWND edit = Control(saveAs, 1152);  // edt1
      if (!edit) edit = Control(saveAs, 1148);  // cmb13
      SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.c_str()));
      PostMessageW(saveAs, WM_COMMAND, IDOK, 0);
    });
    Save({document}, false);
  }
  EXPECT_EQ(L"Save As", title);
  EXPECT_TRUE(FileExists(target));
  EXPECT_TRUE(document->Recorded().empty());
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
  DeleteFileW(target.c_str());
  SetCurrentDirectoryW(current);
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
