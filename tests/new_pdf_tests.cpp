// Create new PDF from a local file and from a scanner: availability from the client's sessions,
// the system's file-open dialog driven from a second thread, the testbed's print and scan
// agents and image-to-PDF library, the session that receives the document, and the silent
// import through the testbed's import command.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <type_traits>
#include <vector>

#include "commands/newpdf/new_pdf_from_file.h"
#include "commands/newpdf/new_pdf_from_scanner.h"
#include "outside/dms.h"
#include "tests/testing/harness.h"
#include "tests/save_result_support.h"

namespace {

using namespace testing_support;

constexpr int kFileNameEdit = 0x480, kFileNameCombo = 0x47C;  // edt1, cmb13
constexpr wchar_t kScanName[] = LR"(sca[0-9A-F]{1,4}\.pdf)";

// New documents go through the client's silent import.
testing::Environment* const g_client = testing::AddGlobalTestEnvironment(new ClientInstallation);

// Whether `path` is a name of this pattern in the temporary folder.
bool TempNamed(const std::wstring& path, const wchar_t* pattern) {
  return path.rfind(TempFolder(), 0) == 0 &&
         std::regex_match(path.substr(TempFolder().size()), std::wregex(pattern, std::regex::icase));
}

// What the user does in the file-open dialog: types `path` and presses Open, or cancels
// (empty path).
void DriveFileDialog(HWND dialog, const std::wstring& path) {
  if (path.empty()) {
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  HWND name = Control(dialog, kFileNameEdit);
  if (!name) name = Control(dialog, kFileNameCombo);
  ASSERT_NE(nullptr, name) << "no file-name field";
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  Click(dialog, IDOK);
}

template <class Command>
class NewPdf : public CommandRunTest<Command> {
 protected:
  using Base = CommandRunTest<Command>;
  static constexpr bool kFile = std::is_same_v<Command, vpdf::CCreateNewPDFFromFile>;

  void SetUp() override {
    Base::SetUp();
    m_useProfile.Remove();  // the silent import
    tb::ResetClientCommands();
    this->log.Clear();  // the constructor's records
  }
  void TearDown() override {
    tb::ResetClientCommands();  // scripts hold references
    Base::TearDown();
    EXPECT_EQ(m_expectedErrors, ErrorRecords()) << "error records";
  }

  // Another run in the same test: new command and context, no scripts, empty journal and log.
  void Again() {
    WaitForChildren(L"usagestats.exe");
    tb::ResetClientCommands();
    this->journal.Clear();
    this->NewCommand();
    this->log.Clear();  // the constructor's records
  }

  template <class T>
  T* Held(T* object) {
    this->Keep(object);
    return object;
  }
  tb::Session* NewSession(const std::wstring& id) { return Held(tb::Session::Create(L"jdoe", id)); }
  tb::Database* NewDatabase(tb::Session* session) {
    return Held(tb::Database::Create(L"DB", session));
  }
  tb::Document* DocumentIn(tb::Session* session) {
    return Held(tb::Document::Create(NewDatabase(session), 77, 1, L"Memo", L"WORDX", L"docx", L""));
  }
  tb::AutoObject* FolderIn(tb::Session* session) {
    tb::AutoObject* folder = this->Keep(tb::NewObject());
    folder->Answer(dms::IID_INRTFolder);
    folder->SetObject(L"Database", NewDatabase(session));
    return folder;
  }
  // The DMS object of the client, with these sessions, as item "NRTDMS".
  tb::AutoObject* GiveDms(const std::vector<IDispatch*>& sessions) {
    tb::AutoObject* dmsObject = this->Keep(tb::NewObject());
    dmsObject->Answer(dms::IID_INRTDMS);
    dmsObject->SetObject(L"Sessions", this->Keep(tb::NewSessions(sessions)));
    AddItem(L"NRTDMS", VT_DISPATCH, dmsObject);
    return dmsObject;
  }
  void AddItem(const wchar_t* name, VARTYPE type, IDispatch* object) {
    VARIANT value;
    value.vt = type;
    value.pdispVal = object;  // the collection takes its own reference
    ASSERT_EQ(S_OK, this->m_context->Add(vpdf::Bstr(name).Get(), value));
  }
  // A text file for the file command to pick.
  std::wstring Source(const std::wstring& name = L"Notes.txt") {
    WriteText(this->Work(name), "line\r\n");
    return this->Work(name);
  }

  // The import command gives back this document, checked out (the silent import's way).
  tb::Document* Importing(HRESULT executeResult = S_OK) {
    tb::Document* imported = Held(tb::Document::Create(NewDatabase(NewSession(L"IMP")), 9001, 1,
                                                       L"", L"ACROBAT", L"pdf", L""));
    imported->SetBool(L"CheckedOut", true);
    tb::ClientScript script;
    script.executeResult = executeResult;
    script.onAccept = [imported](IContextItems* context) {
      context->Add(vpdf::Bstr(L"ImportedDocument").Get(), *vpdf::Variant::Dispatch(imported).Get());
    };
    tb::SetClientScript(tb::ClientCommandKind::kSilentImport, script);
    return imported;
  }

  // Runs Execute; the file command's open dialog is worked from a second thread, picking
  // `source` (cancelled when empty).
  HRESULT Run(const std::wstring& source) {
    if constexpr (!kFile) {
      return this->m_command->Execute();
    } else {
      DialogDriver driver([source](HWND dialog) { DriveFileDialog(dialog, source); });
      const HRESULT result = this->m_command->Execute();
      driver.Join();
      EXPECT_TRUE(driver.Found()) << "the file-open dialog was not shown";
      EXPECT_FALSE(driver.Forced()) << "the dialog did not take the user's answer";
      return result;
    }
  }

  // The PDF that the one print (or scan) agent run made: a new name of the temporary folder,
  // deleted again.
  std::wstring RunPdf(const std::wstring& what = L"pdf 1 pages, exit 0") {
    auto runs = this->journal.Entries(kFile ? testbed::kPrintAgentExe : testbed::kScanAgentExe);
    EXPECT_EQ(1u, runs.size());
    if (runs.size() != 1) return {};
    EXPECT_EQ(what, runs[0].what);
    const std::wstring pdf = kFile ? QuotedParts(runs[0].Arguments()).at(1) : runs[0].Arguments();
    EXPECT_TRUE(TempNamed(pdf, kFile ? LR"(SS_[0-9A-F]{1,4}\.pdf)" : kScanName)) << Utf8(pdf);
    EXPECT_FALSE(FileExists(pdf)) << "the PDF is deleted";
    return pdf;
  }

  // Context item `name` of the one silent import run.
  static tb::ContextRecord ImportItem(const std::wstring& name) {
    std::vector<tb::ClientCommandRun> runs = tb::ClientCommandRuns();
    EXPECT_EQ(1u, runs.size());
    if (runs.size() != 1) return {};
    EXPECT_EQ(tb::ClientCommandKind::kSilentImport, runs[0].kind);
    EXPECT_EQ(1, runs[0].executes);
    const tb::ContextRecord* record = FindRecord(runs[0], name);
    EXPECT_NE(nullptr, record) << Utf8(name);
    return record ? *record : tb::ContextRecord{};
  }
  // The DMS object of the session that the import went to, and that of `session`.
  static const void* ImportedIntoDms() {
    std::vector<const void*> objects = ImportItem(L"IManDMS").objects;
    return objects.size() == 1 ? objects[0] : nullptr;
  }
  static const void* DmsOf(tb::Session* session) {
    VARIANT value;
    VariantInit(&value);
    session->Get(L"NRTDMS", &value);
    const void* object = value.pdispVal;
    VariantClear(&value);
    return object;
  }

  // The refresh item the command left: VT_EMPTY when none.
  VARTYPE RefreshType(VARIANT_BOOL* flag = nullptr) {
    VARIANT value = ContextItem(this->m_context.Get(), L"iManExt.Refresh");
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
  void ExpectUsageEvent() {
    ASSERT_TRUE(this->journal.WaitFor(testbed::kUsageStatsExe, 1));
    auto usage = this->journal.Entries(testbed::kUsageStatsExe);
    ASSERT_EQ(1u, usage.size());
    EXPECT_EQ(this->UsageCommandLine(kFile ? L"ec|iManage|ea|Create%20PDF|el|From%20Local"
                                           : L"ec|iManage|ea|Scan"),
              usage[0].commandLine);
  }

  int m_expectedErrors = 0;  // what the test leaves in the log
  ScopedRegistryValue m_useProfile{HKEY_CURRENT_USER, kProductWorkSiteKey, L"UseProfile"};
};

using BothCommands = testing::Types<vpdf::CCreateNewPDFFromFile, vpdf::CCreateNewPDFFromScanner>;
TYPED_TEST_SUITE(NewPdf, BothCommands);

TYPED_TEST(NewPdf, AvailableWithASessionOfTheClient) {
  using vpdf::kDisabled, vpdf::kEnabled;
  EXPECT_EQ(kDisabled, this->StatusAfterUpdate(kEnabled)) << "no items at all";
  this->GiveDms({});
  EXPECT_EQ(kDisabled, this->StatusAfterUpdate(kEnabled)) << "a DMS without sessions";

  this->NewCommand();
  this->GiveDms({this->NewSession(L"S1")});
  EXPECT_EQ(kEnabled, this->StatusAfterUpdate(kDisabled)) << "a session of the DMS";

  this->NewCommand();
  this->AddItem(L"NRTSessions", VT_UNKNOWN, this->Keep(tb::NewSessions({this->NewSession(L"S1")})));
  EXPECT_EQ(kEnabled, this->StatusAfterUpdate(kDisabled)) << "a session collection";

  this->NewCommand();
  this->AddItem(L"NRTSessions", VT_UNKNOWN, this->Keep(tb::NewSessions({})));
  this->GiveDms({this->NewSession(L"S2")});
  EXPECT_EQ(kDisabled, this->StatusAfterUpdate(kEnabled))
      << "an empty session collection is the answer, the DMS is not asked";

  this->NewCommand();
  this->GiveDms({this->NewSession(L"S1")})->Fail(L"Sessions", E_ACCESSDENIED);
  EXPECT_EQ(kDisabled, this->StatusAfterUpdate(kEnabled)) << "a DMS that fails";
}

TYPED_TEST(NewPdf, ThePdfIsImportedIntoTheFirstSessionCheckedInDeletedAndRefreshed) {
  tb::Session* first = this->NewSession(L"S1");
  this->GiveDms({first, this->NewSession(L"S2")});
  tb::Document* imported = this->Importing();
  const std::wstring source = this->Source(L"Report.docx");

  EXPECT_EQ(S_OK, this->Run(source));

  const std::wstring pdf = this->RunPdf();
  std::vector<tb::MemberCall> calls = imported->Recorded();
  ASSERT_EQ(1u, calls.size());
  EXPECT_TRUE(calls[0].member == L"CheckInEx" && calls[0].args[0] == pdf && calls[0].fileExisted);
  // Titled after the picked file; a scan has no title.
  EXPECT_EQ(TestFixture::kFile ? L"Report" : L"",
            TestFixture::ImportItem(L"IManExt.Import.DocDescription").text);
  EXPECT_EQ(L"ACROBAT", TestFixture::ImportItem(L"IManExt.Import.DocType").text);
  EXPECT_EQ(TestFixture::DmsOf(first), TestFixture::ImportedIntoDms());
  VARIANT_BOOL refresh = VARIANT_FALSE;
  EXPECT_EQ(VT_BOOL, this->RefreshType(&refresh));
  EXPECT_EQ(VARIANT_TRUE, refresh);
  this->ExpectUsageEvent();
  if constexpr (TestFixture::kFile) {
    auto prints = this->journal.Entries(testbed::kPrintAgentExe);
    EXPECT_EQ(L"/p \"" + source + L"\" \"" + pdf + L"\" /noviewpdf", prints.at(0).Arguments());
    EXPECT_TRUE(this->journal.Entries(testbed::kRasterLibrary).empty());
    EXPECT_TRUE(FileExists(source)) << "the user's file stays";
  }
}

// The session of the first selected item (not for a scan), else the container's, else the
// first of the client.
TYPED_TEST(NewPdf, TheSessionComesFromTheSelectionThenTheContainer) {
  tb::Session* s[] = {this->NewSession(L"S1"), this->NewSession(L"S2"), this->NewSession(L"S3")};
  auto select = [this](IDispatch* object) { this->Select(L"SelectedIManContents", {object}); };
  auto container = [this](IDispatch* object) {
    this->AddItem(L"SelectedContainer", VT_UNKNOWN, object);
  };
  struct Case {
    const char* what;
    int file, scan;  // the session expected
    std::function<void()> arrange;
  };
  const Case cases[] = {
      {"selected document before the container", 1, 2,
       [&] {
         select(this->DocumentIn(s[1]));
         container(this->FolderIn(s[2]));
       }},
      {"selected folder", 2, 0, [&] { select(this->FolderIn(s[2])); }},
      {"unreadable selection", 2, 2,
       [&] {
         tb::Document* broken = this->DocumentIn(s[1]);
         broken->Fail(L"Database", E_ACCESSDENIED);
         select(broken);
         container(this->FolderIn(s[2]));
       }},
      {"database as container", 1, 1, [&] { container(this->NewDatabase(s[1])); }},
      {"session as container", 1, 1, [&] { container(s[1]); }},
      {"other container", 0, 0, [&] { container(this->Keep(tb::NewObject())); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    this->Again();
    this->GiveDms({s[0], s[1]});
    c.arrange();
    this->Importing();
    EXPECT_EQ(S_OK, this->Run(this->Source()));
    EXPECT_EQ(TestFixture::DmsOf(s[TestFixture::kFile ? c.file : c.scan]),
              TestFixture::ImportedIntoDms());
  }
}

TYPED_TEST(NewPdf, FailuresOnTheWayToTheImportAreTheResultAndThePdfGoes) {
  struct Case {
    const char* what;
    HRESULT result;
    size_t importRuns;
    int fileErrors, scanErrors;  // the scanner writes no record of a failing container
    std::function<void()> arrange;
  };
  const Case cases[] = {
      {"failing container", E_ACCESSDENIED, 0, 1, 0,
       [this] {
         this->GiveDms({this->NewSession(L"S1")});
         tb::AutoObject* folder = this->FolderIn(this->NewSession(L"S3"));
         folder->Fail(L"Database", E_ACCESSDENIED);
         this->AddItem(L"SelectedContainer", VT_UNKNOWN, folder);
         this->Importing();
       }},
      {"failing import", E_ACCESSDENIED, 1, 1, 1,
       [this] {
         this->GiveDms({this->NewSession(L"S1")});
         this->Importing(E_ACCESSDENIED);
       }},
      {"no session", E_INVALIDARG, 0, 0, 0, [this] { this->Importing(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    this->Again();
    c.arrange();
    EXPECT_EQ(c.result, this->Run(this->Source()));
    this->RunPdf();
    EXPECT_EQ(c.importRuns, tb::ClientCommandRuns().size());
    EXPECT_EQ(VT_EMPTY, this->RefreshType());
    EXPECT_EQ(TestFixture::kFile ? c.fileErrors : c.scanErrors, this->ErrorRecords());
  }
  this->log.Clear();
}

// ---- Temporary names --------------------------------------------------------------------

TEST(NewPdfTempNames, FreeNamesInTheTemporaryFolderWithoutFilesLeft) {
  const auto before = TempFolderEntries();
  wchar_t name[270] = L"unchanged";
  ASSERT_TRUE(vpdf::CCreateNewPDFFromFile_I::MakeTempName(name, 270));
  EXPECT_TRUE(TempNamed(name, LR"(SS_[0-9A-F]{1,4}\.tmp)")) << Utf8(name);
  wchar_t small[8] = {};
  ASSERT_TRUE(vpdf::CCreateNewPDFFromFile_I::MakeTempName(small, 8));
  EXPECT_EQ(std::wstring(name).substr(0, 7), small) << "cut to the buffer";

  wchar_t scan[MAX_PATH] = {};
  vpdf::CCreateNewPDFFromScanner_I::MakeScanTempName(scan);
  EXPECT_TRUE(TempNamed(scan, kScanName)) << Utf8(scan);
  EXPECT_EQ(L"", TempFolderChanges(before, TempFolderEntries())) << "no .tmp file nor PDF stays";
}

// ---- From a local file ------------------------------------------------------------------

using FromFile = NewPdf<vpdf::CCreateNewPDFFromFile>;

TEST_F(FromFile, OxpsFileIsConvertedWithoutThePrintAgent) {
  GiveDms({NewSession(L"S1")});
  tb::Document* imported = Importing();
  const std::wstring source = Work(L"Plan.OXPS");
  testbed::WriteXpsPackage(source, 2);

  EXPECT_EQ(S_OK, Run(source));

  EXPECT_TRUE(journal.Entries(testbed::kPrintAgentExe).empty()) << "no print agent for XPS";
  auto conversions = journal.Entries(testbed::kRasterLibrary);
  ASSERT_EQ(1u, conversions.size());
  const std::wstring pdf = imported->Recorded().at(0).args.at(0);
  EXPECT_EQ(L"P4ToPDFConvert(\"" + source + L"\", \"" + pdf + L"\", 15, 0, 0)",
            conversions[0].commandLine);
  EXPECT_EQ(L"0, pdf 2 pages", conversions[0].what);
  EXPECT_EQ(L"Plan", ImportItem(L"IManExt.Import.DocDescription").text);
  EXPECT_FALSE(FileExists(pdf));
  EXPECT_EQ(VT_BOOL, RefreshType());
}

TEST_F(FromFile, FailedPrintImportsNothingAndDoesNotRefresh) {
  GiveDms({NewSession(L"S1")});
  Importing();
  const std::wstring source = Source(L"Report.docx");
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"report.docx", testbed::kFailWithOutput);

  EXPECT_EQ(E_FAIL, Run(source));

  const std::wstring pdf = RunPdf(L"pdf 1 pages, exit 1");  // the partial output goes too
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
  EXPECT_EQ(VT_EMPTY, RefreshType());
  const std::wstring tempName = pdf.substr(0, pdf.size() - 4) + L".tmp";
  TraceRecord failed;
  ASSERT_TRUE(log.Find(Utf8(L"Failed: Printing file " + source + L" from file " + tempName), failed));
  EXPECT_EQ(2, failed.level);
  m_expectedErrors = 2;  // with the runner's own
}

TEST_F(FromFile, FailedXpsConversionImportsNothing) {
  GiveDms({NewSession(L"S1")});
  Importing();
  const std::wstring source = Work(L"Plan.xps");
  testbed::WriteXpsPackage(source, 1);
  testbed::SetAgentBehaviour(testbed::kRaster, L"plan.xps", testbed::kFail);

  EXPECT_EQ(E_FAIL, Run(source));
  EXPECT_EQ(1u, journal.Entries(testbed::kRasterLibrary).size());
  EXPECT_TRUE(journal.Entries(testbed::kPrintAgentExe).empty());
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
  EXPECT_EQ(VT_EMPTY, RefreshType());
}

TEST_F(FromFile, CancelledDialogDoesNothing) {
  GiveDms({NewSession(L"S1")});
  Importing();

  EXPECT_EQ(S_OK, Run(L""));

  ExpectUsageEvent();
  EXPECT_EQ(1u, journal.Entries().size()) << "only the usage helper runs";
  EXPECT_TRUE(tb::ClientCommandRuns().empty());
  EXPECT_EQ(VT_EMPTY, RefreshType());
}

// ---- From a scanner ---------------------------------------------------------------------

using FromScanner = NewPdf<vpdf::CCreateNewPDFFromScanner>;

TEST_F(FromScanner, CancelledEmptyOrMissingScanImportsNothing) {
  // The runner's own test tells the failures apart; here: whatever was left goes.
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {testbed::kEmpty, L"empty, exit 0"}, {testbed::kFailWithOutput, L"pdf 1 pages, exit 1"}};
  for (const auto& [behaviour, what] : cases) {
    SCOPED_TRACE(Utf8(behaviour));
    Again();
    GiveDms({NewSession(L"S1")});
    Importing();
    testbed::SetAgentBehaviour(testbed::kScanAgent, L"*", behaviour);
    EXPECT_EQ(S_OK, m_command->Execute());
    RunPdf(what);
    EXPECT_TRUE(tb::ClientCommandRuns().empty());
    EXPECT_EQ(VT_EMPTY, RefreshType());
    EXPECT_EQ(1, ErrorRecords()) << "the runner's record";
  }
  m_expectedErrors = 1;  // of the last round
}

}  // namespace
