// Import of a file as a new DMS document: silently through the client's import command when
// IManExt2.dll is installed and UseProfile is off, else through its new-document command with
// the profile dialog (the testbed's stand-ins, created through COM).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/import_document.h"
#include "tests/save_result_support.h"

namespace {

using namespace testing_support;
using vpdf::ComPtr;

testing::Environment* const g_client = testing::AddGlobalTestEnvironment(new ClientInstallation);

class ImportNewDocument : public CleanTempFolderTest {
 protected:
  void SetUp() override {
    CleanTempFolderTest::SetUp();
    session = tb::Session::Create(L"jdoe", L"S1");
    folder = tb::NewObject();
    path = TempFolder() + L"import_test.pdf";
    Touch(path);
  }
  void TearDown() override {
    DeleteFileW(path.c_str());
    tb::ResetClientCommands();
    folder->Release();
    session->Release();
    for (IDispatch* object : owned) object->Release();
    EXPECT_EQ(0, tb::LiveObjects()) << "a client object was not released";
    CleanTempFolderTest::TearDown();
  }

  tb::Document* NewDocument(long number) {
    tb::Database* database = tb::Database::Create(L"DB2", session);
    owned.push_back(database);
    tb::Document* document =
        tb::Document::Create(database, number, 1, L"Imported", L"ACROBAT", L"pdf", L"");
    owned.push_back(document);
    return document;
  }

  static std::vector<std::wstring> Names(const tb::ClientCommandRun& run) {
    std::vector<std::wstring> names;
    for (const tb::ContextRecord& record : run.context) names.push_back(record.name);
    return names;
  }

  HRESULT Import(dms::Document& created, const std::wstring& comment, bool withSession = true) {
    dms::Session wrapped{ComPtr<IDispatch>(withSession ? session : nullptr)};
    dms::Object destination{ComPtr<IDispatch>(folder)};
    return vpdf::ImportNewDocument(path, L"Quarterly report", wrapped, destination, created,
                                   comment);
  }

  ScopedProfileIni ini;  // no DMS profile: PDF files are of type ACROBAT
  ScopedRegistryValue useProfile{HKEY_CURRENT_USER, kProductWorkSiteKey, L"UseProfile"};
  tb::Session* session = nullptr;
  tb::AutoObject* folder = nullptr;
  std::wstring path;
  std::vector<IDispatch*> owned;
};

TEST_F(ImportNewDocument, SilentImportWritesTheHistoryAndChecksTheFileIn) {
  useProfile.SetDword(0);
  tb::Document* imported = NewDocument(501);
  ImportGives(tb::ClientCommandKind::kSilentImport, imported, true);
  dms::Document created;
  EXPECT_EQ(S_OK, Import(created, L"Create from document 7 version 1"));
  EXPECT_EQ(static_cast<IDispatch*>(imported), created.Get());

  std::vector<tb::ClientCommandRun> runs = tb::ClientCommandRuns();
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(tb::ClientCommandKind::kSilentImport, runs[0].kind);
  EXPECT_EQ(1, runs[0].executes);
  EXPECT_EQ((std::vector<std::wstring>{L"IManExt.Import.DocType", L"IManExt.Import.DocDescription",
                                       L"IManDMS", L"IManExt.NoZeroByteCreation"}),
            Names(runs[0]));
  EXPECT_EQ(L"ACROBAT", FindRecord(runs[0], L"IManExt.Import.DocType")->text);
  EXPECT_EQ(L"Quarterly report", FindRecord(runs[0], L"IManExt.Import.DocDescription")->text);
  VARIANT dmsObject;
  ASSERT_TRUE(session->Get(L"NRTDMS", &dmsObject));
  ASSERT_EQ(1u, FindRecord(runs[0], L"IManDMS")->objects.size());
  EXPECT_EQ(static_cast<const void*>(dmsObject.pdispVal), FindRecord(runs[0], L"IManDMS")->objects[0]);
  VariantClear(&dmsObject);
  EXPECT_EQ(VT_I4, FindRecord(runs[0], L"IManExt.NoZeroByteCreation")->type);
  EXPECT_EQ(0, FindRecord(runs[0], L"IManExt.NoZeroByteCreation")->number);

  std::vector<tb::HistoryEntry> history = imported->History();
  ASSERT_EQ(1u, history.size());
  EXPECT_EQ(9, history[0].activity);
  EXPECT_EQ(L"Ostrel Varnel PDF", history[0].application);
  EXPECT_EQ(L"Create from document 7 version 1", history[0].comment);
  std::vector<tb::MemberCall> calls = imported->Recorded();
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(L"CheckInEx", calls[0].member);
  EXPECT_EQ(path, calls[0].args[0]);
  EXPECT_EQ(L"3", calls[0].args[1]);
  EXPECT_TRUE(calls[0].fileExisted);
}

TEST_F(ImportNewDocument, ADocumentNotCheckedOutIsLeftAloneAndAFailedCheckInIsTheResult) {
  useProfile.SetDword(0);
  tb::Document* imported = NewDocument(502);
  ImportGives(tb::ClientCommandKind::kSilentImport, imported, false);
  dms::Document created;
  EXPECT_EQ(S_OK, Import(created, L"comment"));
  EXPECT_TRUE(imported->History().empty());
  EXPECT_TRUE(imported->Recorded().empty());

  imported = NewDocument(503);
  imported->Fail(L"CheckInEx", E_ACCESSDENIED);
  ImportGives(tb::ClientCommandKind::kSilentImport, imported, true);
  dms::Document failed;
  EXPECT_EQ(E_ACCESSDENIED, Import(failed, L""));
  EXPECT_FALSE(failed);
  EXPECT_TRUE(imported->History().empty()) << "an empty comment writes no history";
}

TEST_F(ImportNewDocument, InactiveImportCommandImportsNothing) {
  useProfile.SetDword(0);
  tb::ClientScript script;
  script.status = 1;
  tb::SetClientScript(tb::ClientCommandKind::kSilentImport, script);
  dms::Document created;
  EXPECT_EQ(S_FALSE, Import(created, L"comment"));
  EXPECT_FALSE(created);
  ASSERT_EQ(1u, tb::ClientCommandRuns().size());
  EXPECT_EQ(1, tb::ClientCommandRuns()[0].updates);
  EXPECT_EQ(0, tb::ClientCommandRuns()[0].executes);
}

TEST_F(ImportNewDocument, WithUseProfileTheNewDocumentCommandAsksForTheProfile) {
  useProfile.SetDword(1);
  tb::Document* imported = NewDocument(504);
  ImportGives(tb::ClientCommandKind::kNewDocument, imported, false);
  dms::Document created;
  EXPECT_EQ(S_OK, Import(created, L"comment"));
  EXPECT_EQ(static_cast<IDispatch*>(imported), created.Get());

  std::vector<tb::ClientCommandRun> runs = tb::ClientCommandRuns();
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(tb::ClientCommandKind::kNewDocument, runs[0].kind);
  EXPECT_EQ((std::vector<std::wstring>{L"IManExt.Import.DocType", L"IManExt.Import.FileName",
                                       L"IManExt.Import.DocDescription",
                                       L"IManExt.Import.KeepCheckedOut", L"DestinationObject",
                                       L"SelectedNRTFolder"}),
            Names(runs[0]));
  EXPECT_EQ(path, FindRecord(runs[0], L"IManExt.Import.FileName")->text);
  EXPECT_EQ(VT_BOOL, FindRecord(runs[0], L"IManExt.Import.KeepCheckedOut")->type);
  EXPECT_EQ(0, FindRecord(runs[0], L"IManExt.Import.KeepCheckedOut")->number);
  EXPECT_EQ(static_cast<const void*>(static_cast<IDispatch*>(session)),
            FindRecord(runs[0], L"DestinationObject")->objects.at(0));
  EXPECT_EQ(static_cast<const void*>(static_cast<IDispatch*>(folder)),
            FindRecord(runs[0], L"SelectedNRTFolder")->objects.at(0));
  ASSERT_EQ(1u, runs[0].advised.size()) << "a sink listens while the command runs";
  EXPECT_EQ(runs[0].advised, runs[0].unadvised);
  EXPECT_TRUE(imported->History().empty()) << "the profile dialog path writes no history";
  EXPECT_TRUE(imported->Recorded().empty());
}

TEST_F(ImportNewDocument, CancelInTheProfileDialogEndsTheImport) {
  useProfile.SetDword(1);
  tb::Document* imported = NewDocument(505);
  ImportGives(tb::ClientCommandKind::kNewDocument, imported, false, tb::UserAction::kCancel);
  dms::Document created;
  EXPECT_EQ(S_FALSE, Import(created, L"comment"));
  EXPECT_FALSE(created);
}

TEST_F(ImportNewDocument, WithoutASessionNothingRuns) {
  dms::Document created;
  EXPECT_EQ(E_INVALIDARG, Import(created, L"comment", false));
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
}

}  // namespace
