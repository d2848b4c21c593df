// Create new PDF from a local file and from a scanner, on the testbed's agents and the
// client's silent import: the file dialog, the conversion, the session that receives the
// document, the import, the refresh, and that no PDF is left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "commands/newpdf/new_pdf_from_file.h"
#include "commands/newpdf/new_pdf_from_scanner.h"
#include "outside/dms.h"
#include "testbed/harness/import_hook.h"
#include "tests/save_result_support.h"

namespace {

using namespace testing_support;

// New documents go through the client's silent import.
testing::Environment* const g_client = testing::AddGlobalTestEnvironment(new ClientInstallation);

constexpr wchar_t kRun[] = L"run usagestats.exe Software\\Ostrel\\PDF\\V1|5.1.0.2718|UA-271828182-1|ec|iManage|ea|";
const std::wstring kFileUsage = kRun + std::wstring(L"Create%20PDF|el|From%20Local -> recorded, exit 0\n");
const std::wstring kScanUsage = kRun + std::wstring(L"Scan -> recorded, exit 0\n");

// Where the user works: what the client hands the command beside its sessions S1 and S2.
enum class Place { kNothing, kDocumentAndFolder, kFolder, kUnreadable, kDatabase, kSession,
                   kOther, kFailingFolder, kNoSession };

struct Row {
  const char* what;
  Place place;
  std::wstring file, scan;  // the effects; empty: the row is not for that command
  HRESULT fileResult = S_OK, scanResult = S_OK;
  const wchar_t* source = L"Report.docx";  // the file picked; empty: the dialog is cancelled
  const wchar_t* agent = nullptr;           // an agent's behaviour for this run
  const wchar_t* behaviour = nullptr;
  HRESULT importResult = S_OK;
  bool taken = false;  // a file of the user's has the PDF's name
  DWORD language = 1033;
};

// The PDF's name beside each temporary name taken by a file of the user's.
testing_support::ScopedImportHook* g_tempNames = nullptr;
std::wstring g_usersFile;
UINT WINAPI TakePdfName(LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR name) {
  const UINT made = g_tempNames->Original<decltype(&GetTempFileNameW)>()(folder, prefix, unique, name);
  g_usersFile = std::wstring(name).substr(0, wcslen(name) - 4) + L".pdf";
  WriteText(g_usersFile, "the user's own");
  return made;
}

std::wstring Print(const wchar_t* what = L"pdf 1 pages, exit 0") {
  return L"run printpdfagent.exe /p \"%WORK%\\Report.docx\" \"%TEMP%\\SS_#.pdf\" /noviewpdf -> " + std::wstring(what) + L"\n";
}
std::wstring Scan(const wchar_t* what = L"pdf 1 pages, exit 0") {
  return L"run scanpdfagent.exe %TEMP%\\sca#.pdf -> " + std::wstring(what) + L"\n";
}
// The silent import into a session; when it succeeded, the document it made and the PDF
// checked in (Report.docx, Plan.OXPS or a scan).
std::wstring Tried(const wchar_t* session, const std::wstring& title) {
  return L"import into " + std::wstring(session) + L" \"" + title + L"\" ACROBAT\n";
}
std::wstring Imported(const wchar_t* session, const std::wstring& title) {
  const wchar_t* pages = title == L"Report" ? L"1 pages: Report.docx"
                         : title.empty()    ? L"1 pages: Scanned page 1 of 1"
                                            : L"2 pages: Plan.OXPS | Plan.OXPS";
  return L"stored 9001 v1 \"" + title + L"\" , " + pages + L"\n9001 imported \"" + title + L"\" type ACROBAT\n"
         L"9001 checked in from %TEMP%\\" + (title.empty() ? L"sca#.pdf" : L"SS_#.pdf") + L" as a new document\n"
         L"refresh\n" + Tried(session, title);
}
// Report.docx printed and the scan made, each imported into `session` when given.
std::wstring FileRun(const wchar_t* session) { return Print() + kFileUsage + (session ? Imported(session, L"Report") : L""); }
std::wstring ScanRun(const wchar_t* session) { return Scan() + kScanUsage + (session ? Imported(session, L"") : L""); }

class NewPdfTest : public CommandRunTest<vpdf::CCreateNewPDFFromFile> {
 protected:
  tb::Session* NewSession(const std::wstring& id) { return static_cast<tb::Session*>(Keep(tb::Session::Create(L"jdoe", id))); }
  IDispatch* In(tb::Session* session) { return Keep(tb::Database::Create(L"DB", session)); }
  tb::AutoObject* FolderIn(tb::Session* session) {
    tb::AutoObject* folder = Keep(tb::NewObject());
    folder->Answer(dms::IID_INRTFolder);
    folder->SetObject(L"Database", In(session));
    return folder;
  }
  void Add(const wchar_t* name, IDispatch* object) {
    ASSERT_EQ(S_OK, harness::AddItem(m_context.Get(), name, object, VT_UNKNOWN));
  }
  ScopedRegistryValue m_useProfile{HKEY_CURRENT_USER, kProductWorkSiteKey, L"UseProfile"};
};

TEST_F(NewPdfTest, Runs) {
  const std::wstring xps = L"run rasterpdf64.dll P4ToPDFConvert(\"%WORK%\\Plan.OXPS\", \"%TEMP%\\SS_#.pdf\", 15, 0, 0) -> ";
  auto told = [](const std::wstring& why) {
    return L"Ostrel Varnel PDF: Create New PDF could not finish: " + why + L"; nothing was imported. -> OK\n"; };
  const std::wstring kFailed = told(L"an unexpected error occurred"), kRefused = told(L"the DMS did not accept the PDF file");
  const Row rows[] = {
      {"a Word file printed, a scan: into the first session, refreshed", Place::kNothing,
       FileRun(L"S1"), ScanRun(L"S1")},
      {"an OXPS file is converted without the print agent", Place::kNothing,
       xps + L"0, pdf 2 pages\n" + kFileUsage + Imported(L"S1", L"Plan"), L"", S_OK, S_OK, L"Plan.OXPS"},
      {"a failed print imports nothing; its partial PDF goes", Place::kNothing,
       kFailed + Print(L"pdf 1 pages, exit 1") + kFileUsage, L"", E_FAIL, S_OK, L"Report.docx",
       testbed::kPrintAgent, testbed::kFailWithOutput},
      {"a failed XPS conversion imports nothing", Place::kNothing, kFailed + xps + L"-1, fail\n" + kFileUsage,
       L"", E_FAIL, S_OK, L"Plan.OXPS", testbed::kRaster, testbed::kFail},
      {"the PDF's name taken by the user's file: it stays", Place::kNothing,
       kRefused + L"run printpdfagent.exe /p \"%WORK%\\Report.docx\" \"%TEMP%\\SS_#001.pdf\" /noviewpdf -> pdf 1 pages, exit 0\n" +
           kFileUsage + L"temp +SS_#.pdf\n" + Tried(L"S1", L"Report"),
       kRefused + L"run scanpdfagent.exe %TEMP%\\sca#001.pdf -> pdf 1 pages, exit 0\n" + kScanUsage + L"temp +sca#.pdf\n" +
           Tried(L"S1", L""),
       E_ACCESSDENIED, E_ACCESSDENIED, L"Report.docx", nullptr, nullptr, E_ACCESSDENIED, true},
      {"the file dialog cancelled", Place::kNothing, kFileUsage, L"", S_OK, S_OK, L""},
      {"in German: the file dialog's title and types", Place::kNothing, FileRun(L"S1"), L"", S_OK, S_OK,
       L"Report.docx", nullptr, nullptr, S_OK, false, 1031},
      {"an empty scan imports nothing", Place::kNothing, L"", kFailed + Scan(L"empty, exit 0") + kScanUsage,
       S_OK, S_OK, L"", testbed::kScanAgent, testbed::kEmpty},
      {"a failed scan imports nothing", Place::kNothing, L"", kFailed + Scan(L"pdf 1 pages, exit 1") + kScanUsage,
       S_OK, S_OK, L"", testbed::kScanAgent, testbed::kFailWithOutput},
      {"the import fails: no refresh", Place::kNothing,
       kRefused + FileRun(nullptr) + Tried(L"S1", L"Report"), kRefused + ScanRun(nullptr) + Tried(L"S1", L""),
       E_ACCESSDENIED, E_ACCESSDENIED, L"Report.docx", nullptr, nullptr, E_ACCESSDENIED},
      {"no session: nothing imported", Place::kNoSession, kRefused + FileRun(nullptr), kRefused + ScanRun(nullptr),
       E_INVALIDARG, E_INVALIDARG},
      {"a container that fails", Place::kFailingFolder, kFailed + FileRun(nullptr), kFailed + ScanRun(nullptr),
       E_ACCESSDENIED, E_ACCESSDENIED},
      // The session of the selected item (not for a scan), else the container's, else the first.
      {"a selected document before the container", Place::kDocumentAndFolder, FileRun(L"S2"), ScanRun(L"S3")},
      {"a selected folder", Place::kFolder, FileRun(L"S3"), ScanRun(L"S1")},
      {"an unreadable selection", Place::kUnreadable, FileRun(L"S3"), ScanRun(L"S3")},
      {"a database as container", Place::kDatabase, FileRun(L"S2"), ScanRun(L"S2")},
      {"a session as container", Place::kSession, FileRun(L"S2"), ScanRun(L"S2")},
      {"another container", Place::kOther, FileRun(L"S1"), ScanRun(L"S1")},
  };
  m_useProfile.Remove();  // the silent import
  WriteText(Work(L"Report.docx"), "line\r\n");
  testbed::WriteXpsPackage(Work(L"Plan.OXPS"), 2);
  tb::Session* s[] = {NewSession(L"S1"), NewSession(L"S2"), NewSession(L"S3")};
  const void* dms[3];  // each session's client object, as the import is handed it
  for (int i = 0; i < 3; ++i) {
    VARIANT value;
    s[i]->Get(L"NRTDMS", &value);
    dms[i] = value.pdispVal;
    VariantClear(&value);
  }
  for (const Row& row : rows)
    for (bool scan : {false, true}) {
      const std::wstring& expected = scan ? row.scan : row.file;
      if (expected.empty()) continue;
      SCOPED_TRACE(std::string(row.what) + (scan ? " (scan)" : " (file)"));
      SetUILanguage(row.language);  // read when the command is made
      NewRow();
      vpdf::ComPtr<vpdf::CCreateNewPDFFromScanner> scanner(new vpdf::CCreateNewPDFFromScanner);
      ASSERT_EQ(S_OK, scanner->Initialize(m_context.Get()));
      if (row.agent) testbed::SetAgentBehaviour(row.agent, L"*", row.behaviour);
      tb::ClientScript script;
      script.executeResult = row.importResult;
      script.newNumber = 9001;
      if (FAILED(row.importResult)) script.user = tb::UserAction::kNothing;
      tb::SetClientScript(tb::ClientCommandKind::kSilentImport, script);
      if (row.place != Place::kNoSession) {
        tb::AutoObject* client = Keep(tb::NewObject());
        client->Answer(dms::IID_INRTDMS);
        client->SetObject(L"Sessions", Keep(tb::NewSessions({s[0], s[1]})));
        ASSERT_EQ(S_OK, harness::AddItem(m_context.Get(), L"NRTDMS", client));
      }
      tb::AutoObject* broken = FolderIn(s[1]);
      broken->Fail(L"Database", E_ACCESSDENIED);
      if (row.place == Place::kDocumentAndFolder || row.place == Place::kUnreadable) {
        Select(L"SelectedIManContents", {row.place == Place::kUnreadable ? broken : In(s[1])});
        Add(L"SelectedContainer", FolderIn(s[2]));
      }
      if (row.place == Place::kFolder) Select(L"SelectedIManContents", {FolderIn(s[2])});
      if (row.place == Place::kDatabase) Add(L"SelectedContainer", In(s[1]));
      if (row.place == Place::kSession) Add(L"SelectedContainer", s[1]);
      if (row.place == Place::kOther) Add(L"SelectedContainer", Keep(tb::NewObject()));
      if (row.place == Place::kFailingFolder) Add(L"SelectedContainer", broken);
      std::optional<ScopedImportHook> tempNames;
      if (row.taken) g_tempNames = &tempNames.emplace("KERNEL32.dll", "GetTempFileNameW", reinterpret_cast<void*>(&TakePdfName));
      harness::Answerer person;
      person.On(harness::FileDialog(),
                *row.source ? std::vector<harness::Step>{harness::Offered(), harness::FileName(Work(row.source)),
                                                         harness::Press(IDOK)}
                            : std::vector<harness::Step>{harness::Offered(), harness::Press(IDCANCEL)})
          .On(harness::Titled(L"Ostrel Varnel PDF"), {harness::Press(IDOK)});
      EXPECT_EQ(scan ? row.scanResult : row.fileResult,
                scan ? scanner->Execute() : m_command->Execute());
      person.Stop();
      std::wstring seen = person.Log() + Effects();
      for (const tb::ClientCommandRun& run : tb::ClientCommandRuns()) {
        const void* into = FindRecord(run, L"IManDMS")->objects.at(0);
        seen += L"import into " + std::wstring(into == dms[0] ? L"S1" : into == dms[1] ? L"S2" : L"S3") +
                L" \"" + FindRecord(run, L"IManExt.Import.DocDescription")->text + L"\" " +
                FindRecord(run, L"IManExt.Import.DocType")->text + L"\n";
      }
      const std::wstring dialog = *row.source ? L"type \"%WORK%\\" + std::wstring(row.source) + L"\", Open" : L"Cancel";
      const std::wstring offered = row.language == 1031 ? L"Öffnen -> [Alle Dateien (*.*) = *.*]" : L"Open -> [All Files (*.*) = *.*]";
      EXPECT_EQ((scan ? L"" : offered + L" \"\", " + dialog + L"\n") + expected, seen);
      if (row.taken) {
        EXPECT_EQ("the user's own", ReadBytes(g_usersFile));
        DeleteFileW(g_usersFile.c_str());
      }
    }
  tb::ResetClientCommands();  // the documents it stored
}

}  // namespace
