// Open with the PDF editor on the testbed's documents: the check-out and its release, the
// read-only question for a document somebody else has, the link file of temporary mode, the
// profile files of portable mode, and one editor start per document.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "commands/open/open_in_pro.h"
#include "convutils/conv_utils.h"
#include "testbed/dms/client_commands.h"
#include "tests/command_run_support.h"

namespace {

using namespace testing_support;

constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr wchar_t kPortableKey[] = L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable";
constexpr char kPdfContent[] = "%PDF-1.4\n1 0 obj\n%%EOF\n";

DATE Now() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  DATE date = 0;
  SystemTimeToVariantTime(&now, &date);
  return date;
}
constexpr wchar_t kUsage[] =
    L"run usagestats.exe Software\\Ostrel\\PDF\\V1|5.1.0.2718|UA-271828182-1|ec|iManage|ea|Open|el|Varnel%20PDF -> recorded, exit 0\n";
constexpr wchar_t kAsked[] = L"Ostrel Varnel PDF: This document is already checked out by ";
constexpr wchar_t kQuestion[] = L". Would you like to open it in read only mode?";

// A selected PDF; with a null name an object that is no document.
struct Pdf {
  const wchar_t* name;
  const wchar_t* owner = nullptr;         // who has it checked out
  const wchar_t* checkoutFile = nullptr;  // that check-out's file, in the working folder
  const char* linkFile = nullptr;         // a link file beside it already
  bool copyFails = false;
  bool shortcut = false;
};
enum class Fault { kNone, kSession, kEditorMissing };

struct Row {
  const char* what;
  bool temporary;
  std::vector<Pdf> pdfs;
  int answer;  // to the read-only question
  Fault fault;
  HRESULT result;
  std::wstring effects;  // the question, the changes, link and portable files, the refresh
};

std::wstring Editor(const std::wstring& path) {
  return L"run varnelpdf.exe \"" + path + L"\" -> document exists, exit 0\n";
}
std::wstring Asked(const std::wstring& user, const wchar_t* answer) {
  return kAsked + user + kQuestion + L" -> " + answer + L"\n";
}

class OpenInProTest : public CommandRunTest<vpdf::COpenInPro> {
 protected:
  ScopedRegistryTree m_portable{HKEY_CURRENT_USER, kPortableKey};
};

TEST_F(OpenInProTest, Runs) {
  const std::wstring link = L"@@@@@1@@@@@DMSSRV@@@@@ACTIVE\n";
  const std::wstring portable = L"%WORK%\\portable\\ACTIVE\\jdoe\\";
  const Row rows[] = {
      {"temporary mode: a checked-out copy with its link file", true, {{L"Report"}}, 0,
       Fault::kNone, S_OK,
       kUsage + Editor(L"%TEMP%\\Report.pdf") + L"101 checked out to %TEMP%\\Report.pdf\n"
           L"temp +Report.crx\ntemp +Report.pdf\nlink Report.crx = 101" + link + L"refresh\n"},
      {"portable mode: profile files beside each copy, one editor each", false,
       {{L"First"}, {L"Second"}, {.name = L"Third", .shortcut = true}}, 0, Fault::kNone, S_OK,
       kUsage + Editor(portable + L"101_1.PDF") + Editor(portable + L"102_1.PDF") +
           Editor(portable + L"103_1.PDF") + L"101 checked out to " + portable + L"101_1.PDF\n"
           L"102 checked out to " + portable + L"102_1.PDF\n103 checked out to " + portable +
           L"103_1.PDF\nportable 101_1.PDF 101_1.prf 102_1.PDF 102_1.prf 103_1.PDF 103_1.prf\n"
           L"refresh\n"},
      {"somebody else's, its file here, No: nothing opens", true,
       {{L"Report", L"asmith", L"checkout.pdf"}}, IDNO, Fault::kNone, S_OK,
       Asked(L"asmith", L"No") + kUsage + L"refresh\n"},
      {"somebody else's, its file here, Yes: opened from it", true,
       {{L"Report", L"asmith", L"checkout.pdf"}}, IDYES, Fault::kNone, S_OK,
       Asked(L"asmith", L"Yes") + kUsage + Editor(L"%WORK%\\checkout.pdf") +
           L"link checkout.crx = 101" + link + L"refresh\n"},
      {"somebody else's, no file here, Yes: a read-only copy", true, {{L"Report", L"asmith"}},
       IDYES, Fault::kNone, S_OK,
       Asked(L"asmith", L"Yes") + kUsage + Editor(L"%TEMP%\\Report.pdf") +
           L"101 copied to %TEMP%\\Report.pdf\ntemp +Report.crx\ntemp +Report.pdf\n"
           L"link Report.crx = 101" + link + L"read-only Report.pdf\nrefresh\n"},
      {"somebody else's that cannot be copied is skipped without a question", true,
       {{.name = L"Taken", .owner = L"asmith", .copyFails = true}, {L"Free"}}, 0, Fault::kNone,
       S_OK,
       kUsage + Editor(L"%TEMP%\\Free.pdf") + L"102 checked out to %TEMP%\\Free.pdf\n"
           L"temp +Free.crx\ntemp +Free.pdf\nlink Free.crx = 102" + link + L"refresh\n"},
      {"a second open keeps the link file there", true,
       {{L"Mine", L"jdoe", L"mine.pdf", "1@@@@@1@@@@@FIRST@@@@@OPEN"}}, IDYES, Fault::kNone, S_OK,
       Asked(L"jdoe", L"Yes") + kUsage + Editor(L"%WORK%\\mine.pdf") +
           L"link mine.crx = 1@@@@@1@@@@@FIRST@@@@@OPEN\nrefresh\n"},
      {"the session cannot be read: nothing, no refresh", true, {{L"Report"}}, 0, Fault::kSession,
       E_ACCESSDENIED, kUsage},
      {"an element that is no document ends the walk, no refresh", true,
       {{L"First"}, {nullptr}, {L"After"}}, 0, Fault::kNone, E_NOINTERFACE,
       kUsage + Editor(L"%TEMP%\\First.pdf") + L"101 checked out to %TEMP%\\First.pdf\n"
           L"temp +First.crx\ntemp +First.pdf\nlink First.crx = 101" + link},
      {"the editor cannot be started: the check-out is released, no file stays", true,
       {{L"Report"}}, 0, Fault::kEditorMissing, S_OK,
       L"Error: Path not found. -> OK\n101 checked out to %TEMP%\\Report.pdf\n101 unlocked\n"
       L"refresh\n"},
  };
  const std::wstring empty = Work(L"empty");
  ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
  SetString(HKEY_CURRENT_USER, kPortableKey, L"PORTABLE_DIRECTORY", Work(L"portable"));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    NewCommand();
    m_profileIni.Write(row.temporary ? L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\n" : L"");
    m_installPath.SetString((row.fault == Fault::kEditorMissing ? empty : testbed::ProductFolder()) + L"\\");
    auto* database = static_cast<tb::Database*>(Keep(tb::Database::Create(L"ACTIVE", world.Session())));
    if (row.fault == Fault::kSession) database->Fail(L"Session", E_ACCESSDENIED);
    std::vector<IDispatch*> selection;
    std::vector<tb::Document*> documents;
    long number = 100;
    for (const Pdf& pdf : row.pdfs) {
      if (!pdf.name) {
        selection.push_back(Keep(tb::NewObject()));
        continue;
      }
      tb::Document* document = world.Keep(tb::Document::Create(
          database, ++number, 1, pdf.name, L"PDFTYPE", L"PDF", Work(L"content.pdf")));
      WriteText(Work(L"content.pdf"), kPdfContent);
      if (pdf.owner) {
        document->SetObject(L"InUseBy", Keep(tb::NewNamed(pdf.owner)));
        document->SetBool(L"CheckedOut", true);
      }
      if (pdf.checkoutFile) {
        WriteText(Work(pdf.checkoutFile), kPdfContent);
        document->SetString(L"CheckoutPath", Work(pdf.checkoutFile));
      }
      if (pdf.linkFile) WriteText(Work(L"mine.crx"), pdf.linkFile);
      if (pdf.copyFails) document->Fail(L"GetCopy", E_ACCESSDENIED);
      documents.push_back(document);
      selection.push_back(pdf.shortcut ? Keep(tb::NewShortcut(document)) : document);
    }
    Select(kNrt, selection);
    const auto before = TempFolderEntries();
    world.changes.Restart();
    harness::Answerer person;
    person.On(harness::Saying(L"checked out by"), {harness::Press(row.answer)})
        .On(harness::Titled(L"Error"), {harness::Press(IDOK)});
    const DATE now = Now();
    EXPECT_EQ(row.result, m_command->Execute());
    person.Stop();
    std::wstring seen = person.Log() + Effects();
    // The link files the editor reads, the portable files, what the user may not change.
    for (const std::wstring& folder : {TempFolder(), Work(L"")})
      for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == L".crx") {
          const std::string bytes = ReadBytes(entry.path().wstring());
          seen += L"link " + entry.path().filename().wstring() + L" = " +
                  std::wstring(bytes.begin(), bytes.end()) + L"\n";
        }
    std::wstring files;
    std::error_code none;
    for (const auto& entry : std::filesystem::directory_iterator(Work(L"portable\\ACTIVE\\jdoe"), none))
      files += L" " + entry.path().filename().wstring();
    if (!files.empty()) seen += L"portable" + files + L"\n";
    for (const std::wstring& name : TempFolderEntries())
      if (!before.count(name) && GetFileAttributesW((TempFolder() + name).c_str()) & FILE_ATTRIBUTE_READONLY)
        seen += L"read-only " + name + L"\n";
    if (Refreshed()) seen += L"refresh\n";
    EXPECT_EQ(row.effects, seen);
    EXPECT_EQ(L"", person.Unanswered());
    for (tb::Document* document : documents)
      for (const tb::MemberCall& call : document->Recorded())
        if (call.member == L"CheckOutEx") {
          EXPECT_NEAR(now + 1.0 / 6, std::stod(call.args.at(2)), 2.0 / 1440) << "due in four hours";
          EXPECT_EQ((std::vector<std::wstring>{L"1", L"", L"2", L"Ostrel Varnel PDF", L""}),
                    (std::vector<std::wstring>{call.args[1], call.args[3], call.args[4], call.args[5], call.args[6]}));
        }
    // What the editor was given stays for it; the test removes it.
    for (const std::wstring& name : TempFolderEntries())
      if (!before.count(name)) {
        SetFileAttributesW((TempFolder() + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW((TempFolder() + name).c_str());
      }
    for (const wchar_t* name : {L"checkout.crx", L"mine.crx"}) DeleteFileW(Work(name).c_str());
    std::filesystem::remove_all(Work(L"portable\\ACTIVE"), none);
  }
}

// Helpers of the same names where a path relative to the client's current folder finds them:
// with the install folder unknown, or not a full path, none of them runs.
TEST_F(OpenInProTest, HelpersStartOnlyByAFullPathInTheInstallFolder) {
  const std::wstring client = Work(L"client");
  for (const std::wstring& folder : {client, client + L"\\product"}) {
    std::filesystem::create_directories(std::filesystem::path(folder + L"\\bin"));
    for (const wchar_t* name : {L"bin\\mailpdfagent.exe", L"bin\\varnelpdf.exe",
                                L"bin\\printpdfagent.exe", L"usagestats.exe", L"vpdfassist.exe"})
      ASSERT_TRUE(CopyFileW((testbed::ProductFolder() + L"\\" + name).c_str(),
                            (folder + L"\\" + name).c_str(), FALSE));
  }
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(client.c_str()));
  m_profileIni.Write(L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\n");
  WriteText(Work(L"memo.txt"), "memo");
  WriteText(Work(L"mail.pdf"), kPdfContent);
  for (const std::wstring folder : {L"", L"product\\"}) {
    SCOPED_TRACE(Utf8(folder));
    for (ScopedRegistryValue* value : {&m_installPath, &m_installPath32, &m_configPath})
      folder.empty() ? value->Remove() : value->SetString(folder);
    NewCommand();
    Select(kNrt, {Doc(L"Report", L"PDF", kPdfContent)});
    EXPECT_EQ(S_OK, m_command->Execute());  // the usage helper and the editor
    vpdf::CConvUtils::RunMailAgent({Work(L"mail.pdf")});
    EXPECT_FALSE(vpdf::CConvUtils::LaunchConverter(L"/tempfile", false, nullptr));
    EXPECT_FALSE(vpdf::CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(),
                                                      Work(L"memo.pdf").c_str(), false, false));
    // Nobody waits for the editor, the usage helper or the conversion tool.
    EXPECT_FALSE(journal.WaitFor(testbed::kUsageStatsExe, 1, 1500));
    EXPECT_TRUE(journal.Entries().empty());
  }
  SetCurrentDirectoryW(previous);
}

}  // namespace
