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
const std::wstring kDue = L", replacing the local file, due in 4h local time\n";
constexpr wchar_t kUsage[] =
    L"run usagestats.exe Software\\Ostrel\\PDF\\V1|5.1.0.2718|UA-271828182-1|ec|iManage|ea|Open|el|Varnel%20PDF -> recorded, exit 0\n";

// A selected PDF; with a null name an object that is no document.
struct Pdf {
  const wchar_t* name;
  const wchar_t* owner = nullptr;         // who has it checked out
  const wchar_t* checkoutFile = nullptr;  // that check-out's file, in the working folder
  const char* linkFile = nullptr;         // a link file beside it already
  bool copyFails = false, shortcut = false;
};
enum class Fault { kNone, kSession, kEditorMissing, kRelativePortable, kSelectionUnreadable };

struct Row {
  const char* what;
  bool temporary;
  std::vector<Pdf> pdfs;
  int answer;  // to the read-only question
  Fault fault;
  HRESULT result;
  std::wstring effects;
  DWORD language = 1033;  // the product's
};

std::wstring Editor(const std::wstring& path) {
  return L"run varnelpdf.exe \"" + path + L"\" -> document exists, exit 0\n";
}
std::wstring Asked(const wchar_t* user, const wchar_t* answer) {
  return L"Ostrel Varnel PDF: This document is already checked out by " + std::wstring(user) +
         L". Would you like to open it in read only mode? -> " + answer + L"\n";
}
// Temporary mode's checked-out copy of document 101 and up, its link file beside it.
std::wstring Temporary(const std::wstring& name, int number) {
  return L"temp +" + name + L".crx\ntemp +" + name + L".pdf\nfile %TEMP%\\" + name + L".crx = " +
         std::to_wstring(number) + L"@@@@@1@@@@@DMSSRV@@@@@ACTIVE\n";
}

class OpenInProTest : public CommandRunTest<vpdf::COpenInPro> {
 protected:
  ScopedRegistryTree m_portable{HKEY_CURRENT_USER, kPortableKey};
};

TEST_F(OpenInProTest, Runs) {
  const std::wstring portable = L"%WORK%\\portable\\ACTIVE\\jdoe\\";
  std::wstring portableRun = kUsage, portableFiles, profiles;
  for (const std::wstring number : {L"101", L"102", L"103"}) {
    portableRun += Editor(portable + number + L"_1.PDF");
    portableFiles += number + L" checked out to " + portable + number + L"_1.PDF" + kDue;
    profiles += L"file " + portable + number + L"_1.prf\n";
  }
  auto told = [](const std::wstring& text) {
    return L"Ostrel Varnel PDF: " + (text.ends_with(L".") ? text : L"Open with Ostrel Varnel PDF could not finish: " +
                                     text + L"; nothing was opened.") + L" -> OK\n";
  };
  const std::wstring kUnexpected = told(L"an unexpected error occurred");
  const Row rows[] = {
      {"temporary mode: a checked-out copy with its link file", true, {{L"Report"}}, 0,
       Fault::kNone, S_OK,
       kUsage + Editor(L"%TEMP%\\Report.pdf") + L"101 checked out to %TEMP%\\Report.pdf" + kDue +
           Temporary(L"Report", 101) + L"refresh\n"},
      {"portable mode: profile files beside each copy, one editor each", false,
       {{L"First"}, {L"Second"}, {.name = L"Third", .shortcut = true}}, 0, Fault::kNone, S_OK,
       portableRun + portableFiles + profiles + L"refresh\n"},
      {"somebody else's, its file here, No: nothing opens", true,
       {{L"Report", L"asmith", L"checkout.pdf"}}, IDNO, Fault::kNone, S_OK,
       Asked(L"asmith", L"No") + kUsage + L"refresh\n"},
      {"the question as a German user reads it", true, {{L"Report", L"asmith", L"checkout.pdf"}}, IDNO, Fault::kNone,
       S_OK, std::wstring(L"Ostrel Varnel PDF: Dieses Dokument ist bereits von asmith ausgecheckt. Möchten Sie es "
       L"schreibgeschützt öffnen? -> No\n") + kUsage + L"refresh\n", 1031},
      {"somebody else's, its file here, Yes: opened from it", true,
       {{L"Report", L"asmith", L"checkout.pdf"}}, IDYES, Fault::kNone, S_OK,
       Asked(L"asmith", L"Yes") + kUsage + Editor(L"%WORK%\\checkout.pdf") +
           L"file %WORK%\\checkout.crx = 101@@@@@1@@@@@DMSSRV@@@@@ACTIVE\nrefresh\n"},
      {"somebody else's, no file here, Yes: a read-only copy", true, {{L"Report", L"asmith"}},
       IDYES, Fault::kNone, S_OK,
       Asked(L"asmith", L"Yes") + kUsage + Editor(L"%TEMP%\\Report.pdf") +
           L"101 copied to %TEMP%\\Report.pdf, native format\ntemp +Report.crx\ntemp +Report.pdf read-only\n"
           L"file %TEMP%\\Report.crx = 101@@@@@1@@@@@DMSSRV@@@@@ACTIVE\nrefresh\n"},
      {"somebody else's that cannot be copied is skipped without a question", true,
       {{.name = L"Taken", .owner = L"asmith", .copyFails = true}, {L"Free"}}, 0, Fault::kNone,
       S_OK, told(L"1 of 2 documents could not be opened.") +
       kUsage + Editor(L"%TEMP%\\Free.pdf") + L"102 checked out to %TEMP%\\Free.pdf" + kDue +
           Temporary(L"Free", 102) + L"refresh\n"},
      {"a second open keeps the link file there", true,
       {{L"Mine", L"jdoe", L"mine.pdf", "1@@@@@1@@@@@FIRST@@@@@OPEN"}}, IDYES, Fault::kNone, S_OK,
       Asked(L"jdoe", L"Yes") + kUsage + Editor(L"%WORK%\\mine.pdf") + L"refresh\n"},
      {"a portable folder that is no full path: nothing is checked out", false, {{L"Report"}}, 0,
       Fault::kRelativePortable, E_FAIL, kUnexpected + kUsage},
      {"the session cannot be read: nothing, no refresh", true, {{L"Report"}}, 0, Fault::kSession,
       E_ACCESSDENIED, kUnexpected + kUsage},
      {"a selection whose bounds cannot be read: nothing opened, the person told", true, {{L"Report"}}, 0,
       Fault::kSelectionUnreadable, S_OK, kUnexpected + kUsage},
      {"an element that is no document ends the walk, no refresh", true,
       {{L"First"}, {nullptr}, {L"After"}}, 0, Fault::kNone, E_NOINTERFACE, told(L"2 of 3 documents could not be opened.") +
       kUsage + Editor(L"%TEMP%\\First.pdf") + L"101 checked out to %TEMP%\\First.pdf" + kDue +
           Temporary(L"First", 101)},
      {"the editor cannot be started: the check-out is released, no file stays", true,
       {{L"Report"}}, 0, Fault::kEditorMissing, S_OK,
       L"Error: Path not found. -> OK\n101 checked out to %TEMP%\\Report.pdf" + kDue + L"101 unlocked\n"
       L"refresh\n"},
  };
  const std::wstring empty = Work(L"empty");
  ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
  world.changes.ShowFiles(TempFolder(), L".crx");
  world.changes.ShowFiles(m_work, L".crx");
  world.changes.ShowFiles(Work(L"portable\\ACTIVE\\jdoe"), L".prf", false);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    m_profileIni.Write(row.temporary ? L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\n" : L"");
    SetString(HKEY_CURRENT_USER, kPortableKey, L"PORTABLE_DIRECTORY",
              row.fault == Fault::kRelativePortable ? L"portable" : Work(L"portable"));
    world.installPath.SetString((row.fault == Fault::kEditorMissing ? empty : testbed::ProductFolder()) + L"\\");
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
    SetUILanguage(row.language);  // read when the command is made
    NewRow();
    Select(kNrt, selection);
    if (row.fault == Fault::kSelectionUnreadable) SelectUnreadable(kNrt);
    const auto before = TempFolderEntries();
    harness::Answerer person;
    person.On(harness::Titled(L"Ostrel Varnel PDF"), {harness::Press(row.answer ? row.answer : IDOK)})
        .On(harness::Titled(L"Error"), {harness::Press(IDOK)});
    EXPECT_EQ(row.result, m_command->Execute());
    person.Stop();
    EXPECT_EQ(row.effects, person.Log() + Effects());
    EXPECT_EQ(L"", person.Unanswered());
    // Checked out for the editor (its due time is in the effects).
    for (tb::Document* document : documents)
      for (const tb::MemberCall& call : document->Recorded())
        if (call.member == L"CheckOutEx") {
          EXPECT_EQ(L"1||2|Ostrel Varnel PDF|", call.args[1] + L"|" + call.args[3] + L"|" +
                                                    call.args[4] + L"|" + call.args[5] + L"|" + call.args[6]);
        }
    // What the editor was given stays for it; the test removes it.
    for (const std::wstring& name : TempFolderEntries())
      if (!before.count(name)) {
        SetFileAttributesW((TempFolder() + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW((TempFolder() + name).c_str());
      }
    for (const wchar_t* name : {L"checkout.crx", L"mine.crx"}) DeleteFileW(Work(name).c_str());
    std::filesystem::remove_all(Work(L"portable\\ACTIVE"));
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
    for (ScopedRegistryValue* value : {&world.installPath, &world.installPath32, &world.configPath})
      folder.empty() ? value->Remove() : value->SetString(folder);
    NewCommand();
    Select(kNrt, {Doc(L"Report", L"PDF", kPdfContent)});
    harness::Answerer person;
    person.On(harness::Titled(L"Ostrel Varnel PDF"), {harness::Press(IDOK)});
    EXPECT_EQ(S_OK, m_command->Execute());  // the usage helper and the editor, the person told
    person.Stop();
    EXPECT_NE(std::wstring::npos, person.Log().find(L"the program could not be started; nothing was opened."));
    vpdf::CConvUtils::RunMailAgent({Work(L"mail.pdf")});
    EXPECT_FALSE(vpdf::CConvUtils::LaunchConverter(L"/tempfile", false, nullptr));
    EXPECT_FALSE(vpdf::CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(),
                                                      Work(L"memo.pdf").c_str(), false, false));
    // Nobody waits for the editor, the usage helper or the conversion tool.
    EXPECT_EQ(L"", world.Settle());  // a helper that was started has journalled once it ended
    EXPECT_TRUE(journal.Entries().empty());
  }
  SetCurrentDirectoryW(previous);
}

}  // namespace
