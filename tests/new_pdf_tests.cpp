// Create new PDF from a local file and from a scanner: availability from the client's sessions,
// the system's file-open dialog driven from a second thread, the testbed's print and scan
// agents and image-to-PDF library, the session that receives the document, and the silent
// import through the testbed's import command.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "commands/newpdf/new_pdf_from_file.h"
#include "commands/newpdf/new_pdf_from_scanner.h"
#include "outside/dms.h"
#include "testbed/dms/client_commands.h"
#include "tests/command_run_support.h"
#include "tests/dialog_driver.h"

namespace {

using testing_support::DialogDriver;
using testing_support::FileExists;
using testing_support::TempFolder;
using testing_support::TraceRecord;
using testing_support::Utf8;

constexpr char kSource[] = "PDFConverter\\VPDFIManageAddon\\CreateNewPDF";
constexpr char kFileStart[] = "****************** CreateNewPDFBegin Execute() START ******************";
constexpr char kFileEnd[] = "******************* CreatenEWPDFFile Execute() END *******************";
constexpr wchar_t kWorkSiteKey[] = L"Software\\Ostrel\\PDF\\V1\\WorkSite";
constexpr int kFileNameEdit = 0x480;   // edt1
constexpr int kFileNameCombo = 0x47C;  // cmb13

// A client folder with IManExt2.dll for the whole program (looked up once per process), so
// that new documents go through the client's silent import.
class SilentImportClient : public testing::Environment {
 public:
  void SetUp() override {
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    m_folder = std::wstring(program) + L".client\\";
    CreateDirectoryW(m_folder.c_str(), nullptr);
    testing_support::WriteText(m_folder + L"IManExt2.dll", "MZ");
    m_tree = new testing_support::ScopedRegistryTree(HKEY_LOCAL_MACHINE, L"Software\\InterWoven");
    testing_support::SetString(HKEY_LOCAL_MACHINE,
                               L"Software\\InterWoven\\WorkSite\\9.0\\Common\\InstallRoot", L"path",
                               m_folder);
  }
  void TearDown() override {
    delete m_tree;
    DeleteFileW((m_folder + L"IManExt2.dll").c_str());
    RemoveDirectoryW(m_folder.c_str());
  }

 private:
  std::wstring m_folder;
  testing_support::ScopedRegistryTree* m_tree = nullptr;
};
testing::Environment* const g_client = testing::AddGlobalTestEnvironment(new SilentImportClient);

// What the user does in the file-open dialog: types `path` and presses Open, or cancels
// (empty path).
void DriveFileDialog(HWND dialog, const std::wstring& path) {
  if (path.empty()) {
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  HWND name = testing_support::Control(dialog, kFileNameEdit);
  if (!name) name = testing_support::Control(dialog, kFileNameCombo);
  ASSERT_NE(nullptr, name) << "no file-name field";
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  testing_support::Click(dialog, IDOK);
}

template <class Command>
class NewPdfTest : public testing_support::CommandRunTest<Command> {
 protected:
  using Base = testing_support::CommandRunTest<Command>;

  void SetUp() override {
    Base::SetUp();
    m_useProfile.Remove();  // the silent import
    tb::ResetClientCommands();
  }
  void TearDown() override {
    tb::ResetClientCommands();  // scripts hold references
    Base::TearDown();
    EXPECT_EQ(m_expectedErrors, ErrorRecords()) << "error records";
  }

  tb::Session* NewSession(const std::wstring& id) {
    auto* session = tb::Session::Create(L"jdoe", id);
    this->Keep(session);
    return session;
  }
  tb::Database* NewDatabase(const std::wstring& name, tb::Session* session) {
    tb::Database* database = tb::Database::Create(name, session);
    this->Keep(database);
    return database;
  }
  // The DMS object of the client, with these sessions, as item "NRTDMS".
  tb::AutoObject* GiveDms(const std::vector<IDispatch*>& sessions) {
    tb::AutoObject* dmsObject = this->Keep(tb::NewObject());
    dmsObject->Answer(dms::IID_INRTDMS);
    tb::AutoObject* collection = tb::NewSessions(sessions);
    dmsObject->SetObject(L"Sessions", collection);
    collection->Release();
    AddItem(L"NRTDMS", VT_DISPATCH, dmsObject);
    return dmsObject;
  }
  // A folder of the client in `database`.
  tb::AutoObject* NewFolder(tb::Database* database) {
    tb::AutoObject* folder = this->Keep(tb::NewObject());
    folder->Answer(dms::IID_INRTFolder);
    folder->SetObject(L"Database", database);
    return folder;
  }
  void AddItem(const wchar_t* name, VARTYPE type, IDispatch* object) {
    VARIANT value;
    value.vt = type;
    value.pdispVal = object;  // the collection takes its own reference
    BSTR itemName = SysAllocString(name);
    ASSERT_EQ(S_OK, this->m_context->Add(itemName, value));
    SysFreeString(itemName);
  }

  // The document the import command gives back, checked out (the silent import's way).
  tb::Document* ImportGives(HRESULT executeResult = S_OK) {
    tb::Document* imported = tb::Document::Create(NewDatabase(L"DB1", NewSession(L"IMP")), 9001,
                                                  1, L"", L"ACROBAT", L"pdf", L"");
    this->Keep(imported);
    imported->SetBool(L"CheckedOut", true);
    tb::ClientScript script;
    script.executeResult = executeResult;
    script.onAccept = [imported](IContextItems* context) {
      VARIANT value;
      value.vt = VT_DISPATCH;
      value.pdispVal = imported;
      BSTR name = SysAllocString(L"ImportedDocument");
      context->Add(name, value);
      SysFreeString(name);
    };
    tb::SetClientScript(tb::ClientCommandKind::kSilentImport, script);
    return imported;
  }

  // The one silent import run, its context item `name`.
  static const tb::ContextRecord* ImportItem(const std::wstring& name) {
    std::vector<tb::ClientCommandRun> runs = tb::ClientCommandRuns();
    EXPECT_EQ(1u, runs.size());
    if (runs.size() != 1) return nullptr;
    EXPECT_EQ(tb::ClientCommandKind::kSilentImport, runs[0].kind);
    EXPECT_EQ(1, runs[0].executes);
    static tb::ContextRecord found;
    for (const tb::ContextRecord& record : runs[0].context)
      if (record.name == name) return &(found = record);
    return nullptr;
  }
  // The DMS object of the session that the import went to.
  static const void* ImportedIntoDms() {
    const tb::ContextRecord* record = ImportItem(L"IManDMS");
    return record && record->objects.size() == 1 ? record->objects[0] : nullptr;
  }
  static const void* DmsOf(tb::Session* session) {
    VARIANT value;
    VariantInit(&value);
    session->Get(L"DMS", &value);
    const void* object = value.pdispVal;
    VariantClear(&value);
    return object;
  }

  // The refresh item the command left: VT_EMPTY when none.
  VARTYPE RefreshType(VARIANT_BOOL* flag = nullptr) {
    VARIANT value = testing_support::ContextItem(this->m_context.Get(), L"iManExt.Refresh");
    VARTYPE type = value.vt;
    if (flag && type == VT_BOOL) *flag = value.boolVal;
    VariantClear(&value);
    return type;
  }

  // Error records since the log was last cleared.
  int ErrorRecords() const {
    int count = 0;
    for (const TraceRecord& record : this->log.Records()) count += record.level == 2;
    return count;
  }
  int m_expectedErrors = 0;  // what the test leaves in the log

  testing_support::ScopedRegistryValue m_useProfile{HKEY_CURRENT_USER, kWorkSiteKey,
                                                    L"UseProfile"};
};

// ---- Availability -----------------------------------------------------------------------

template <class Command>
class Availability : public NewPdfTest<Command> {};
using BothCommands =
    testing::Types<vpdf::CCreateNewPDFFromFile, vpdf::CCreateNewPDFFromScanner>;
TYPED_TEST_SUITE(Availability, BothCommands);

TYPED_TEST(Availability, NoSessionsDisable) {
  EXPECT_EQ(vpdf::kDisabled, this->StatusAfterUpdate(vpdf::kEnabled)) << "no items at all";
  this->GiveDms({});
  EXPECT_EQ(vpdf::kDisabled, this->StatusAfterUpdate(vpdf::kEnabled)) << "a DMS without sessions";
}

TYPED_TEST(Availability, OneSessionOfTheDmsEnables) {
  this->GiveDms({this->NewSession(L"S1")});
  EXPECT_EQ(vpdf::kEnabled, this->StatusAfterUpdate(vpdf::kDisabled));
}

TYPED_TEST(Availability, SessionCollectionItemComesFirst) {
  tb::AutoObject* sessions = this->Keep(tb::NewSessions({this->NewSession(L"S1")}));
  this->AddItem(L"NRTSessions", VT_UNKNOWN, sessions);
  EXPECT_EQ(vpdf::kEnabled, this->StatusAfterUpdate(vpdf::kDisabled));

  this->NewCommand();
  tb::AutoObject* none = this->Keep(tb::NewSessions({}));
  this->AddItem(L"NRTSessions", VT_UNKNOWN, none);
  this->GiveDms({this->NewSession(L"S2")});
  EXPECT_EQ(vpdf::kDisabled, this->StatusAfterUpdate(vpdf::kEnabled))
      << "an empty session collection is the answer, the DMS is not asked";
  EXPECT_EQ(0, this->log.Count(kFileStart)) << "Update runs nothing";
}

TYPED_TEST(Availability, ObjectsThatAreNoSessionCollectionDisable) {
  tb::AutoObject* plain = this->Keep(tb::NewObject());  // answers neither interface
  plain->SetLong(L"Count", 3);
  this->AddItem(L"NRTSessions", VT_UNKNOWN, plain);
  this->AddItem(L"NRTDMS", VT_DISPATCH, plain);
  EXPECT_EQ(vpdf::kDisabled, this->StatusAfterUpdate(vpdf::kEnabled));

  this->NewCommand();
  tb::AutoObject* dmsObject = this->GiveDms({this->NewSession(L"S1")});
  dmsObject->Fail(L"Sessions", E_ACCESSDENIED);
  EXPECT_EQ(vpdf::kDisabled, this->StatusAfterUpdate(vpdf::kEnabled));
}

// ---- Temporary names --------------------------------------------------------------------

TEST(NewPdfTempNames, TempNameIsAFreeSsNameInTheTemporaryFolder) {
  wchar_t name[270] = L"unchanged";
  ASSERT_TRUE(vpdf::CCreateNewPDFFromFile_I::MakeTempName(name, 270));
  std::wstring made = name;
  ASSERT_EQ(TempFolder(), made.substr(0, TempFolder().size()));
  EXPECT_TRUE(std::regex_match(made.substr(TempFolder().size()),
                               std::wregex(LR"(SS_[0-9A-F]{1,4}\.tmp)", std::regex::icase)))
      << Utf8(made);
  EXPECT_FALSE(FileExists(made)) << "the made file is removed again";

  wchar_t second[270] = {};
  ASSERT_TRUE(vpdf::CCreateNewPDFFromFile_I::MakeTempName(second, 270));
  EXPECT_FALSE(FileExists(second));

  wchar_t small[8] = {};
  ASSERT_TRUE(vpdf::CCreateNewPDFFromFile_I::MakeTempName(small, 8));
  EXPECT_EQ(made.substr(0, 7), std::wstring(small)) << "cut to the buffer";
}

TEST(NewPdfTempNames, ScanNameIsAPdfNameAndNoFileIsLeft) {
  const auto before = testing_support::TempFolderEntries();
  wchar_t name[MAX_PATH] = {};
  vpdf::CCreateNewPDFFromScanner_I::MakeScanTempName(name);
  std::wstring made = name;
  ASSERT_EQ(TempFolder(), made.substr(0, TempFolder().size()));
  EXPECT_TRUE(std::regex_match(made.substr(TempFolder().size()),
                               std::wregex(LR"(sca[0-9A-F]{1,4}\.pdf)", std::regex::icase)))
      << Utf8(made);
  EXPECT_EQ(L"", testing_support::TempFolderChanges(before, testing_support::TempFolderEntries()))
      << "neither the .tmp file nor the PDF stays";
}

// ---- From a local file ------------------------------------------------------------------

class FromFile : public NewPdfTest<vpdf::CCreateNewPDFFromFile> {
 protected:
  // Runs Execute while a second thread picks `path` in the file-open dialog (cancels when
  // empty).
  HRESULT RunPicking(const std::wstring& path) {
    HRESULT result = E_UNEXPECTED;
    {
      DialogDriver driver([path](HWND dialog) { DriveFileDialog(dialog, path); });
      result = m_command->Execute();
      driver.Join();
      EXPECT_TRUE(driver.Found()) << "the file-open dialog was not shown";
      EXPECT_FALSE(driver.Forced()) << "the dialog did not take the user's answer";
    }
    return result;
  }

  // The check-in of the imported document: its path, which must have existed then.
  std::wstring CheckedInFrom(tb::Document* imported) {
    std::vector<tb::MemberCall> calls = imported->Recorded();
    EXPECT_EQ(1u, calls.size());
    if (calls.size() != 1) return {};
    EXPECT_EQ(L"CheckIn", calls[0].member);
    EXPECT_TRUE(calls[0].fileExisted) << "the PDF existed when it was checked in";
    return calls[0].args[0];
  }

  void ExpectUsageEvent() {
    ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
    auto usage = journal.Entries(testbed::kUsageStatsExe);
    ASSERT_EQ(1u, usage.size());
    EXPECT_EQ(UsageCommandLine(L"ec|iManage|ea|Create%20PDF|el|From%20Local"),
              usage[0].commandLine);
  }
};

TEST_F(FromFile, WordDocumentIsPrintedAndImportedUnderItsName) {
  tb::Session* first = NewSession(L"S1");
  GiveDms({first, NewSession(L"S2")});
  tb::Document* imported = ImportGives();
  const std::wstring source = Work(L"Report.docx");
  testing_support::WriteText(source, "word document");

  EXPECT_EQ(S_OK, RunPicking(source));

  // Printed by the print agent into an SS_ name of the temporary folder.
  auto prints = journal.Entries(testbed::kPrintAgentExe);
  ASSERT_EQ(1u, prints.size());
  auto parts = testing_support::QuotedParts(prints[0].Arguments());
  ASSERT_EQ(2u, parts.size()) << Utf8(prints[0].commandLine);
  EXPECT_EQ(source, parts[0]);
  const std::wstring pdf = parts[1];
  EXPECT_EQ(L"/p \"" + source + L"\" \"" + pdf + L"\" /noviewpdf", prints[0].Arguments());
  EXPECT_EQ(L"pdf 1 pages, exit 0", prints[0].what);
  ASSERT_EQ(TempFolder(), pdf.substr(0, TempFolder().size()));
  EXPECT_TRUE(std::regex_match(pdf.substr(TempFolder().size()),
                               std::wregex(LR"(SS_[0-9A-F]{1,4}\.pdf)", std::regex::icase)))
      << Utf8(pdf);
  EXPECT_TRUE(journal.Entries(testbed::kRasterLibrary).empty());

  // Imported silently as "Report", of the PDF type, into the first session, from that PDF.
  const tb::ContextRecord* description = ImportItem(L"IManExt.Import.DocDescription");
  ASSERT_NE(nullptr, description);
  EXPECT_EQ(L"Report", description->text);
  const tb::ContextRecord* type = ImportItem(L"IManExt.Import.DocType");
  ASSERT_NE(nullptr, type);
  EXPECT_EQ(L"ACROBAT", type->text);
  EXPECT_EQ(DmsOf(first), ImportedIntoDms());
  EXPECT_EQ(pdf, CheckedInFrom(imported));
  EXPECT_FALSE(FileExists(pdf)) << "the PDF is deleted after the import";
  EXPECT_TRUE(FileExists(source)) << "the user's file stays";

  VARIANT_BOOL refresh = VARIANT_FALSE;
  EXPECT_EQ(VT_BOOL, RefreshType(&refresh));
  EXPECT_EQ(VARIANT_TRUE, refresh);

  TraceRecord start, end;
  ASSERT_TRUE(log.Find(kFileStart, start));
  ASSERT_TRUE(log.Find(kFileEnd, end));
  EXPECT_EQ(kSource, start.source);
  EXPECT_LT(log.IndexOf(kFileStart), log.IndexOf(kFileEnd));
  bool documentsLogged = false;
  for (const TraceRecord& record : log.Records())
    documentsLogged |= record.text.rfind("My_documents folder path: ", 0) == 0;
  EXPECT_TRUE(documentsLogged);
  ExpectUsageEvent();
}

TEST_F(FromFile, OxpsFileIsConvertedWithoutThePrintAgent) {
  tb::Session* first = NewSession(L"S1");
  GiveDms({first});
  tb::Document* imported = ImportGives();
  const std::wstring source = Work(L"Plan.OXPS");
  testbed::WriteXpsPackage(source, 2);

  EXPECT_EQ(S_OK, RunPicking(source));

  EXPECT_TRUE(journal.Entries(testbed::kPrintAgentExe).empty()) << "no print agent for XPS";
  auto conversions = journal.Entries(testbed::kRasterLibrary);
  ASSERT_EQ(1u, conversions.size());
  const std::wstring pdf = CheckedInFrom(imported);
  EXPECT_EQ(L"P4ToPDFConvert(\"" + source + L"\", \"" + pdf + L"\", 15, 0, 0)",
            conversions[0].commandLine);
  EXPECT_EQ(L"0, pdf 2 pages", conversions[0].what);
  const tb::ContextRecord* description = ImportItem(L"IManExt.Import.DocDescription");
  ASSERT_NE(nullptr, description);
  EXPECT_EQ(L"Plan", description->text);
  EXPECT_FALSE(FileExists(pdf));
  EXPECT_EQ(VT_BOOL, RefreshType());
  EXPECT_TRUE(log.Has(kFileEnd));
  ExpectUsageEvent();
}

TEST_F(FromFile, SelectedDocumentChoosesTheSessionOfItsDatabase) {
  tb::Session* second = NewSession(L"S2");
  GiveDms({NewSession(L"S1"), second});
  tb::Document* selected =
      tb::Document::Create(NewDatabase(L"DB2", second), 77, 1, L"Memo", L"WORDX", L"docx", L"");
  Keep(selected);
  Select(L"SelectedIManContents", {selected});
  // The container would say otherwise: the selected document comes first.
  tb::AutoObject* folder = NewFolder(NewDatabase(L"DB3", NewSession(L"S3")));
  AddItem(L"SelectedContainer", VT_UNKNOWN, folder);
  ImportGives();
  const std::wstring source = Work(L"Notes.txt");
  testing_support::WriteText(source, "line\r\n");

  EXPECT_EQ(S_OK, RunPicking(source));
  EXPECT_EQ(DmsOf(second), ImportedIntoDms());
  EXPECT_TRUE(log.Has(kFileEnd));
  ExpectUsageEvent();
}

TEST_F(FromFile, SelectedFolderChoosesTheSessionOfItsDatabase) {
  tb::Session* third = NewSession(L"S3");
  GiveDms({NewSession(L"S1"), NewSession(L"S2")});
  tb::AutoObject* folder = NewFolder(NewDatabase(L"DB3", third));
  Select(L"SelectedIManContents", {folder});
  ImportGives();
  const std::wstring source = Work(L"Notes.txt");
  testing_support::WriteText(source, "line\r\n");

  EXPECT_EQ(S_OK, RunPicking(source));
  EXPECT_EQ(DmsOf(third), ImportedIntoDms());
  ExpectUsageEvent();
}

TEST_F(FromFile, ContainerDecidesWhenTheSelectionCannotBeRead) {
  tb::Session* third = NewSession(L"S3");
  GiveDms({NewSession(L"S1")});
  tb::Document* broken =
      tb::Document::Create(NewDatabase(L"DB2", NewSession(L"S2")), 78, 1, L"Memo", L"WORDX",
                           L"docx", L"");
  Keep(broken);
  broken->Fail(L"Database", E_ACCESSDENIED);
  Select(L"SelectedIManContents", {broken});
  AddItem(L"SelectedContainer", VT_UNKNOWN, NewFolder(NewDatabase(L"DB3", third)));
  ImportGives();
  const std::wstring source = Work(L"Notes.txt");
  testing_support::WriteText(source, "line\r\n");

  EXPECT_EQ(S_OK, RunPicking(source));
  EXPECT_EQ(DmsOf(third), ImportedIntoDms());
  ExpectUsageEvent();
}

TEST_F(FromFile, SessionAsContainerAndNothingSelected) {
  tb::Session* first = NewSession(L"S1");
  tb::Session* second = NewSession(L"S2");
  GiveDms({first, second});
  AddItem(L"SelectedContainer", VT_UNKNOWN, second);
  ImportGives();
  const std::wstring source = Work(L"Notes.txt");
  testing_support::WriteText(source, "line\r\n");
  EXPECT_EQ(S_OK, RunPicking(source));
  EXPECT_EQ(DmsOf(second), ImportedIntoDms()) << "the container is the session itself";
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));

  // A container that is neither folder, database nor session leaves the first session.
  tb::ResetClientCommands();
  journal.Clear();
  NewCommand();
  GiveDms({first, second});
  AddItem(L"SelectedContainer", VT_UNKNOWN, Keep(tb::NewObject()));
  ImportGives();
  EXPECT_EQ(S_OK, RunPicking(source));
  EXPECT_EQ(DmsOf(first), ImportedIntoDms());
  ExpectUsageEvent();
}

TEST_F(FromFile, FailingContainerImportsNothing) {
  GiveDms({NewSession(L"S1")});
  tb::AutoObject* folder = NewFolder(NewDatabase(L"DB3", NewSession(L"S3")));
  folder->Fail(L"Database", E_ACCESSDENIED);
  AddItem(L"SelectedContainer", VT_UNKNOWN, folder);
  ImportGives();
  const std::wstring source = Work(L"Notes.txt");
  testing_support::WriteText(source, "line\r\n");

  EXPECT_EQ(E_ACCESSDENIED, RunPicking(source));
  EXPECT_EQ(1u, journal.Entries(testbed::kPrintAgentExe).size());
  EXPECT_TRUE(tb::ClientCommandRuns().empty()) << "nothing is imported";
  EXPECT_EQ(VT_EMPTY, RefreshType());
  m_expectedErrors = 1;
  ExpectUsageEvent();
}

TEST_F(FromFile, FailedPrintImportsNothingAndDoesNotRefresh) {
  GiveDms({NewSession(L"S1")});
  ImportGives();
  const std::wstring source = Work(L"Report.docx");
  testing_support::WriteText(source, "word document");
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"report.docx", testbed::kFailWithOutput);

  EXPECT_EQ(E_FAIL, RunPicking(source));

  auto prints = journal.Entries(testbed::kPrintAgentExe);
  ASSERT_EQ(1u, prints.size());
  EXPECT_EQ(L"pdf 1 pages, exit 1", prints[0].what);
  const std::wstring pdf = testing_support::QuotedParts(prints[0].Arguments()).at(1);
  EXPECT_FALSE(FileExists(pdf)) << "the agent's partial output goes too";
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
  EXPECT_EQ(VT_EMPTY, RefreshType());

  const std::wstring tempName = pdf.substr(0, pdf.size() - 4) + L".tmp";
  TraceRecord failed;
  ASSERT_TRUE(log.Find(Utf8(L"Failed: Printing file " + source + L" from file " + tempName), failed));
  EXPECT_EQ(2, failed.level);
  EXPECT_EQ(kSource, failed.source);
  EXPECT_TRUE(log.Has(kFileStart));
  EXPECT_FALSE(log.Has(kFileEnd)) << "a failed conversion ends without the END record";
  TraceRecord runner;
  ASSERT_TRUE(log.Find("Print failed", runner)) << "the runner's own record";
  m_expectedErrors = 2;
  ExpectUsageEvent();
}

TEST_F(FromFile, FailedXpsConversionImportsNothing) {
  GiveDms({NewSession(L"S1")});
  ImportGives();
  const std::wstring source = Work(L"Plan.xps");
  testbed::WriteXpsPackage(source, 1);
  testbed::SetAgentBehaviour(testbed::kRaster, L"plan.xps", testbed::kFail);

  EXPECT_EQ(E_FAIL, RunPicking(source));
  EXPECT_EQ(1u, journal.Entries(testbed::kRasterLibrary).size());
  EXPECT_TRUE(journal.Entries(testbed::kPrintAgentExe).empty());
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
  EXPECT_EQ(VT_EMPTY, RefreshType());
  EXPECT_FALSE(log.Has(kFileEnd));
  ExpectUsageEvent();
}

TEST_F(FromFile, CancelledDialogDoesNothing) {
  GiveDms({NewSession(L"S1")});
  ImportGives();

  EXPECT_EQ(S_OK, RunPicking(L""));

  EXPECT_TRUE(journal.Entries(testbed::kPrintAgentExe).empty());
  EXPECT_TRUE(journal.Entries(testbed::kRasterLibrary).empty());
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
  EXPECT_EQ(VT_EMPTY, RefreshType());
  EXPECT_LT(log.IndexOf(kFileStart), log.IndexOf(kFileEnd));
  ExpectUsageEvent();
}

TEST_F(FromFile, FailingImportIsTheResultAndThePdfGoes) {
  GiveDms({NewSession(L"S1")});
  ImportGives(E_ACCESSDENIED);
  const std::wstring source = Work(L"Notes.txt");
  testing_support::WriteText(source, "line\r\n");

  EXPECT_EQ(E_ACCESSDENIED, RunPicking(source));
  const std::wstring pdf =
      testing_support::QuotedParts(journal.Entries(testbed::kPrintAgentExe).at(0).Arguments()).at(1);
  EXPECT_FALSE(FileExists(pdf));
  EXPECT_EQ(VT_EMPTY, RefreshType());
  EXPECT_TRUE(log.Has(kFileEnd));
  m_expectedErrors = 1;  // the import's own record
  ExpectUsageEvent();
}

TEST_F(FromFile, WithoutSessionTheImportRefuses) {
  ImportGives();
  const std::wstring source = Work(L"Notes.txt");
  testing_support::WriteText(source, "line\r\n");

  EXPECT_EQ(E_INVALIDARG, RunPicking(source));
  EXPECT_EQ(1u, journal.Entries(testbed::kPrintAgentExe).size());
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
  EXPECT_EQ(VT_EMPTY, RefreshType());
  EXPECT_TRUE(log.Has(kFileEnd));
  ExpectUsageEvent();
}

// ---- From a scanner ---------------------------------------------------------------------

class FromScanner : public NewPdfTest<vpdf::CCreateNewPDFFromScanner> {
 protected:
  void SetUp() override {
    NewPdfTest::SetUp();
    log.Clear();  // the constructor's records
  }
  // The scan agent's one run: its output path.
  std::wstring ScanPath(const std::wstring& what) {
    auto scans = journal.Entries(testbed::kScanAgentExe);
    EXPECT_EQ(1u, scans.size());
    if (scans.size() != 1) return {};
    EXPECT_EQ(what, scans[0].what);
    const std::wstring path = scans[0].Arguments();
    EXPECT_EQ(TempFolder(), path.substr(0, TempFolder().size()));
    EXPECT_TRUE(std::regex_match(path.substr(TempFolder().size()),
                                 std::wregex(LR"(sca[0-9A-F]{1,4}\.pdf)", std::regex::icase)))
        << Utf8(path);
    EXPECT_FALSE(FileExists(path)) << "the scan file is deleted";
    return path;
  }
  void ExpectUsageEvent() {
    ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
    auto usage = journal.Entries(testbed::kUsageStatsExe);
    ASSERT_EQ(1u, usage.size());
    EXPECT_EQ(UsageCommandLine(L"ec|iManage|ea|Scan"), usage[0].commandLine);
  }
  // The command's own records: none besides the runner's and the import's.
  void ExpectNoOwnRecords() {
    for (const TraceRecord& record : log.Records())
      EXPECT_NE(kSource, record.source) << record.text;
  }
};

TEST_F(FromScanner, ScanGoesToTheSessionOfTheSelectedFolder) {
  tb::Session* third = NewSession(L"S3");
  GiveDms({NewSession(L"S1"), NewSession(L"S2")});
  AddItem(L"SelectedContainer", VT_UNKNOWN, NewFolder(NewDatabase(L"DB3", third)));
  tb::Document* imported = ImportGives();

  EXPECT_EQ(S_OK, m_command->Execute());

  const std::wstring scan = ScanPath(L"pdf 1 pages, exit 0");
  EXPECT_EQ(DmsOf(third), ImportedIntoDms());
  const tb::ContextRecord* description = ImportItem(L"IManExt.Import.DocDescription");
  ASSERT_NE(nullptr, description);
  EXPECT_EQ(L"", description->text) << "no title";
  const tb::ContextRecord* type = ImportItem(L"IManExt.Import.DocType");
  ASSERT_NE(nullptr, type);
  EXPECT_EQ(L"ACROBAT", type->text);
  std::vector<tb::MemberCall> calls = imported->Recorded();
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(L"CheckIn", calls[0].member);
  EXPECT_EQ(scan, calls[0].args[0]);
  EXPECT_TRUE(calls[0].fileExisted);
  VARIANT_BOOL refresh = VARIANT_FALSE;
  EXPECT_EQ(VT_BOOL, RefreshType(&refresh));
  EXPECT_EQ(VARIANT_TRUE, refresh);
  EXPECT_TRUE(log.Has("ImportNewDocument() silent import"));
  ExpectNoOwnRecords();
  ExpectUsageEvent();
}

TEST_F(FromScanner, SelectedContentsAreNotConsulted) {
  tb::Session* first = NewSession(L"S1");
  tb::Session* second = NewSession(L"S2");
  GiveDms({first, second});
  tb::Document* selected =
      tb::Document::Create(NewDatabase(L"DB2", second), 77, 1, L"Memo", L"WORDX", L"docx", L"");
  Keep(selected);
  Select(L"SelectedIManContents", {selected});
  ImportGives();

  EXPECT_EQ(S_OK, m_command->Execute());
  ScanPath(L"pdf 1 pages, exit 0");
  EXPECT_EQ(DmsOf(first), ImportedIntoDms());
  ExpectUsageEvent();
}

TEST_F(FromScanner, DatabaseAsContainer) {
  tb::Session* second = NewSession(L"S2");
  GiveDms({NewSession(L"S1")});
  AddItem(L"SelectedContainer", VT_UNKNOWN, NewDatabase(L"DB2", second));
  ImportGives();
  EXPECT_EQ(S_OK, m_command->Execute());
  ScanPath(L"pdf 1 pages, exit 0");
  EXPECT_EQ(DmsOf(second), ImportedIntoDms());
  ExpectUsageEvent();
}

TEST_F(FromScanner, CancelledEmptyOrMissingScanImportsNothing) {
  GiveDms({NewSession(L"S1")});
  ImportGives();
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {testbed::kFail, L"fail, exit 1"},
      {testbed::kEmpty, L"empty, exit 0"},
      {testbed::kNoOutput, L"nooutput, exit 0"},
      {testbed::kFailWithOutput, L"pdf 1 pages, exit 1"}};
  for (const auto& [behaviour, what] : cases) {
    SCOPED_TRACE(Utf8(behaviour));
    journal.Clear();
    log.Clear();
    testbed::SetAgentBehaviour(testbed::kScanAgent, L"*", behaviour);
    EXPECT_EQ(S_OK, m_command->Execute());
    ScanPath(what);
    EXPECT_TRUE(tb::ClientCommandRuns().empty());
    EXPECT_EQ(VT_EMPTY, RefreshType());
    EXPECT_EQ(1, ErrorRecords()) << "the runner's record";
    EXPECT_FALSE(log.Has("ImportNewDocument() silent import"));
    ExpectNoOwnRecords();
    ExpectUsageEvent();
    testing_support::WaitForChildren(L"usagestats.exe");
  }
  m_expectedErrors = 1;  // of the last round
}

TEST_F(FromScanner, FailingImportIsTheResultAndTheScanGoes) {
  GiveDms({NewSession(L"S1")});
  ImportGives(E_ACCESSDENIED);
  EXPECT_EQ(E_ACCESSDENIED, m_command->Execute());
  ScanPath(L"pdf 1 pages, exit 0");
  EXPECT_EQ(VT_EMPTY, RefreshType());
  m_expectedErrors = 1;  // the import's record
  ExpectUsageEvent();
}

TEST_F(FromScanner, FailingContainerIsTheResultAndTheScanGoes) {
  GiveDms({NewSession(L"S1")});
  tb::AutoObject* folder = NewFolder(NewDatabase(L"DB3", NewSession(L"S3")));
  folder->Fail(L"Database", E_ACCESSDENIED);
  AddItem(L"SelectedContainer", VT_UNKNOWN, folder);
  ImportGives();
  EXPECT_EQ(E_ACCESSDENIED, m_command->Execute());
  ScanPath(L"pdf 1 pages, exit 0");
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
  EXPECT_EQ(VT_EMPTY, RefreshType());
  ExpectNoOwnRecords();
  ExpectUsageEvent();
}

TEST_F(FromScanner, WithoutSessionTheImportRefusesAndTheScanGoes) {
  ImportGives();
  EXPECT_EQ(E_INVALIDARG, m_command->Execute());
  ScanPath(L"pdf 1 pages, exit 0");
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
  EXPECT_EQ(VT_EMPTY, RefreshType());
  ExpectUsageEvent();
}

}  // namespace
