// Send PDF in e-mail: availability from the selection, and runs of Execute on the testbed's
// documents with the print agent, the image-to-PDF library and the mail agent of the
// testbed's product folder: batches, short paths, history entries and their order, failures
// on the way, clean-up and the usage event.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "commands/mail/send_pdf_email.h"
#include "tests/command_run_support.h"
#include "tests/testing/harness.h"
#include "ui/progress_window.h"

namespace {

using testbed::JournalEntry;
using testing_support::FileExists;
using testing_support::QuotedParts;
using testing_support::TempFolder;
using testing_support::Utf8;

constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr wchar_t kIMan[] = L"SelectedIManObjects";
constexpr wchar_t kSentEnglish[] = L"Converted to PDF and sent";

class SendPdfTest : public testing_support::CommandRunTest<vpdf::CSendPDFEMail> {
 protected:
  // The status that Update sets from `before` with this selection.
  LONG After(const wchar_t* item, const std::vector<IDispatch*>& objects, LONG before) {
    Select(item, objects);
    return StatusAfterUpdate(before);
  }
  // The one mail agent run, with this result; the usage helper started.
  void ExpectOneMail(const std::wstring& what) {
    auto mails = journal.Entries(testbed::kMailAgentExe);
    ASSERT_EQ(1u, mails.size());
    EXPECT_EQ(what, mails[0].what);
    EXPECT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
  }
  // An XPS document whose content is a package of `pages` pages.
  tb::Document* XpsDoc(const std::wstring& name, const std::wstring& extension, int pages) {
    tb::Document* document = Doc(name, extension);
    EXPECT_TRUE(testbed::WriteXpsPackage(
        Work(L"content" + std::to_wstring(document->GetLong(L"Number")) + L"." + extension), pages));
    return document;
  }
};

// The short form that a file of this path has once it exists (made and deleted again here).
std::wstring ShortFormOf(const std::wstring& path) {
  testing_support::WriteText(path, "x");
  wchar_t shortPath[MAX_PATH] = {};
  DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
  DeleteFileW(path.c_str());
  return length > 0 && length < MAX_PATH ? shortPath : L"";
}

void ExpectSentHistory(tb::Document* document, const std::wstring& comment) {
  auto history = document->History();
  ASSERT_EQ(1u, history.size()) << Utf8(document->GetString(L"Name"));
  EXPECT_EQ(11, history[0].activity);
  EXPECT_EQ(L"Ostrel Varnel PDF", history[0].application);
  EXPECT_EQ(0, history[0].duration + history[0].pages);
  EXPECT_EQ(comment, history[0].comment);
  EXPECT_EQ(L"", history[0].location + history[0].custom1 + history[0].custom2);
}

// ---------------------------------------------------------------- availability

TEST_F(SendPdfTest, PdfOrMessageAnywhereInTheSelectionDisables) {
  EXPECT_EQ(0, After(kNrt, {Doc(L"Letter", L"DOC"), Doc(L"Memo", L"DOC")}, 1));
  EXPECT_EQ(1, After(kNrt, {Doc(L"Scan", L"PDF"), Doc(L"Letter", L"DOC")}, 0));
  EXPECT_EQ(1, After(kNrt, {Doc(L"Letter", L"DOC"), Doc(L"Scan", L"pdf")}, 0));
  EXPECT_EQ(1, After(kNrt, {Doc(L"Mail", L"MSG")}, 0));
  EXPECT_EQ(1, After(kNrt, {Doc(L"Letter", L"DOCX"), Doc(L"Mail", L"mSg"), Doc(L"Sheet", L"XLSX")}, 0))
      << "a later document must not enable again";
  // Near misses are ordinary documents; XPS is converted, so it is allowed.
  EXPECT_EQ(0, After(kNrt, {Doc(L"A", L"PDFX"), Doc(L"B", L"MS"), Doc(L"C", L"XPS")}, 1));
  // Shortcuts stand for their documents; other objects and unreadable types disable.
  EXPECT_EQ(0, After(kNrt, {Keep(tb::NewShortcut(Doc(L"Letter", L"DOC"))), Doc(L"Memo", L"RTF")}, 1));
  EXPECT_EQ(1, After(kNrt, {Doc(L"Memo", L"RTF"), Keep(tb::NewShortcut(Doc(L"Scan", L"PDF")))}, 0));
  EXPECT_EQ(1, After(kNrt, {Doc(L"Memo", L"RTF"), Keep(tb::NewObject())}, 0));
  tb::Document* broken = Doc(L"Broken", L"DOC");
  broken->Fail(L"Type", E_ACCESSDENIED);
  EXPECT_EQ(1, After(kNrt, {broken}, 0));
}

TEST_F(SendPdfTest, NoSelectionOrAnEmptyOneDisablesAndUnreadableBoundsChangeNothing) {
  EXPECT_EQ(1, StatusAfterUpdate(0)) << "no selection item at all";
  EXPECT_EQ(0, After(kIMan, {Doc(L"Letter", L"DOC")}, 1)) << "the objects without documents";
  EXPECT_EQ(1, After(kNrt, {}, 0)) << "an empty documents array: the objects are not looked at";

  NewCommand();
  SelectUnreadable(kNrt);
  EXPECT_EQ(0, StatusAfterUpdate(0));
  EXPECT_EQ(1, StatusAfterUpdate(1));
}

// ---------------------------------------------------------------- runs

TEST_F(SendPdfTest, ThirtyFiveDocumentsGoToTwoMailRunsOfShortPaths) {
  std::vector<IDispatch*> selection;
  std::vector<tb::Document*> documents;
  std::vector<std::wstring> pdfs;
  for (int i = 1; i <= 35; ++i) {
    wchar_t name[40];
    swprintf(name, 40, L"Quarterly report %02d", i);
    documents.push_back(Doc(name, L"DOCX"));
    selection.push_back(documents.back());
    pdfs.push_back(TempFolder() + name + L".pdf");
  }
  Select(kNrt, selection);

  EXPECT_EQ(S_OK, m_command->Execute());

  EXPECT_EQ(35u, journal.Entries(testbed::kPrintAgentExe).size());
  std::vector<JournalEntry> mails = journal.Entries(testbed::kMailAgentExe);
  ASSERT_EQ(2u, mails.size());
  EXPECT_EQ(L"files 30, existing 30, exit 0", mails[0].what);
  EXPECT_EQ(L"files 5, existing 5, exit 0", mails[1].what);
  EXPECT_EQ(0u, mails[0].Arguments().find(L"/mail /files \"")) << Utf8(mails[0].commandLine);

  std::vector<std::wstring> listed = QuotedParts(mails[0].Arguments());
  std::vector<std::wstring> second = QuotedParts(mails[1].Arguments());
  listed.insert(listed.end(), second.begin(), second.end());
  ASSERT_EQ(35u, listed.size());
  for (size_t i = 0; i < pdfs.size(); ++i) {
    EXPECT_FALSE(FileExists(pdfs[i])) << Utf8(pdfs[i]) << " was not deleted";
    std::wstring shortForm = ShortFormOf(pdfs[i]);
    ASSERT_NE(L"", shortForm);
    EXPECT_NE(pdfs[i], shortForm) << "the name must have a distinct short form";
    EXPECT_EQ(shortForm, listed[i]) << i;
  }
  for (tb::Document* document : documents) ExpectSentHistory(document, kSentEnglish);

  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
}

TEST_F(SendPdfTest, EachDocumentOfOneNameGetsItsOwnPdfAndOnlyMailedOnesTheirHistory) {
  // Two documents called "Report" and one whose print fails; the user's own Report.pdf is there.
  tb::Document* first = Doc(L"Report", L"DOC", "first\r\n");
  tb::Document* second = Doc(L"Report", L"DOC", "second\r\n");
  tb::Document* failed = Doc(L"Budget plan", L"DOCX");
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"Budget plan.docx", testbed::kFail);
  testing_support::WriteText(TempFolder() + L"Report.pdf", "the user's own");
  Select(kNrt, {first, second, failed});

  EXPECT_EQ(E_FAIL, m_command->Execute()) << "the last print failed";
  std::vector<std::wstring> outputs;
  for (const JournalEntry& print : journal.Entries(testbed::kPrintAgentExe))
    outputs.push_back(QuotedParts(print.Arguments()).at(1));
  EXPECT_EQ((std::vector<std::wstring>{TempFolder() + L"Report001.pdf",
                                       TempFolder() + L"Report002.pdf",
                                       TempFolder() + L"Budget plan.pdf"}),
            outputs);
  ExpectOneMail(L"files 2, existing 2, exit 0");
  ExpectSentHistory(first, kSentEnglish);
  ExpectSentHistory(second, kSentEnglish);
  EXPECT_TRUE(failed->History().empty()) << "its PDF was never mailed";
  EXPECT_EQ("the user's own", testing_support::ReadBytes(TempFolder() + L"Report.pdf"));
  DeleteFileW((TempFolder() + L"Report.pdf").c_str());
}

TEST_F(SendPdfTest, CancelBeforeTheMailAgentMailsNothingAndWritesNoHistory) {
  tb::Document* offer = Doc(L"Offer", L"DOC");
  tb::Document* terms = Doc(L"Terms", L"DOC");
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"Terms.doc", testbed::kHang);
  Select(kNrt, {offer, terms});
  std::wstring title;
  std::thread user([&, ui = GetCurrentThreadId()] {
    HWND progress = testing_support::WaitForWindowOf(ui, vpdf::kProgressWindowClass);
    journal.WaitFor(testbed::kPrintAgentExe, 2);  // the second agent hangs
    title = testing_support::Text(progress);
    testing_support::Click(progress, IDCANCEL);
  });
  EXPECT_EQ(S_OK, m_command->Execute());
  user.join();

  EXPECT_EQ(L"Send PDF in e-mail", title);
  EXPECT_EQ(2u, journal.Entries(testbed::kPrintAgentExe).size());
  EXPECT_TRUE(testing_support::ChildProcesses(testbed::kPrintAgentExe).empty());
  EXPECT_TRUE(journal.Entries(testbed::kMailAgentExe).empty());
  EXPECT_TRUE(offer->History().empty());
  EXPECT_TRUE(terms->History().empty());
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
}

TEST_F(SendPdfTest, HistoryTextFollowsTheUserInterfaceLanguage) {
  SetUILanguage(1031);
  NewCommand();  // the language is taken when the command is made
  tb::Document* document = Doc(L"Angebot", L"DOC");
  Select(kNrt, {document});
  EXPECT_EQ(S_OK, m_command->Execute());
  ExpectSentHistory(document, L"In PDF konvertiert und gesendet");
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
}

TEST_F(SendPdfTest, XpsIsConvertedByTheImageLibrary) {
  tb::Document* plan = XpsDoc(L"Floor plan", L"XPS", 2);
  Select(kNrt, {plan});

  EXPECT_EQ(S_OK, m_command->Execute());
  EXPECT_TRUE(journal.Entries(testbed::kPrintAgentExe).empty());
  auto conversions = journal.Entries(testbed::kRasterLibrary);
  ASSERT_EQ(1u, conversions.size());
  EXPECT_EQ(L"P4ToPDFConvert(\"" + TempFolder() + L"Floor plan.xps\", \"" + TempFolder() +
                L"Floor plan.pdf\", 15, 0, 0)",
            conversions[0].commandLine);
  EXPECT_EQ(L"0, pdf 2 pages", conversions[0].what);
  ExpectOneMail(L"files 1, existing 1, exit 0");
  ExpectSentHistory(plan, kSentEnglish);
}

TEST_F(SendPdfTest, FailedXpsConversionLeavesTheDocumentOut) {
  tb::Document* letter = Doc(L"Letter", L"DOC");
  tb::Document* plan = XpsDoc(L"Floor plan", L"OXPS", 1);
  testbed::SetAgentBehaviour(testbed::kRaster, L"*", testbed::kFail);
  Select(kNrt, {letter, plan});

  EXPECT_EQ(S_OK, m_command->Execute()) << "the last print succeeded";
  ASSERT_EQ(1u, journal.Entries(testbed::kRasterLibrary).size());
  ExpectOneMail(L"files 1, existing 1, exit 0");
  ExpectSentHistory(letter, kSentEnglish);
  EXPECT_TRUE(plan->History().empty());
}

TEST_F(SendPdfTest, DocumentWithoutCopyIsLeftOutAndShortcutsAreResolved) {
  tb::Document* first = Doc(L"First", L"DOC");
  tb::Document* locked = Doc(L"Locked", L"DOC");
  tb::Document* third = Doc(L"Third", L"DOC");
  locked->Fail(L"GetCopy", E_ACCESSDENIED);
  Select(kIMan, {first, locked, Keep(tb::NewShortcut(third))});

  EXPECT_EQ(S_OK, m_command->Execute());
  EXPECT_EQ(2u, journal.Entries(testbed::kPrintAgentExe).size());
  ExpectOneMail(L"files 2, existing 2, exit 0");
  ExpectSentHistory(first, kSentEnglish);
  EXPECT_TRUE(locked->History().empty());
  ExpectSentHistory(third, kSentEnglish);
}

TEST_F(SendPdfTest, ElementThatIsNoDocumentEndsTheWalkAndMailsWhatWasMade) {
  tb::Document* first = Doc(L"First", L"DOC");
  tb::Document* after = Doc(L"After", L"DOC");
  Select(kNrt, {first, Keep(tb::NewObject()), after});

  EXPECT_EQ(S_OK, m_command->Execute());
  EXPECT_EQ(1u, journal.Entries(testbed::kPrintAgentExe).size());
  ExpectOneMail(L"files 1, existing 1, exit 0");
  ExpectSentHistory(first, kSentEnglish);
  EXPECT_TRUE(after->History().empty());
  EXPECT_EQ(0, after->Calls(L"GetCopy"));
}

TEST_F(SendPdfTest, WithoutSelectionOnlyTheUsageEventIsReported) {
  EXPECT_EQ(S_OK, m_command->Execute());
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
  auto usage = journal.Entries(testbed::kUsageStatsExe);
  ASSERT_EQ(1u, usage.size());
  EXPECT_EQ(UsageCommandLine(L"ec|iManage|ea|Send%20E-mail"), usage[0].commandLine);
  EXPECT_EQ(usage.size(), journal.Entries().size()) << "nothing else may run";
}

TEST_F(SendPdfTest, UnreadableBoundsEndTheRunWithTheirError) {
  SelectUnreadable(kNrt);
  EXPECT_EQ(E_INVALIDARG, m_command->Execute());
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
  EXPECT_EQ(1u, journal.Entries().size());
}

TEST_F(SendPdfTest, MissingMailAgentStillDeletesThePdfs) {
  // The mail agent's folder (and the usage helper's) holds nothing.
  ASSERT_TRUE(CreateDirectoryW(Work(L"empty").c_str(), nullptr));
  m_installPath.SetString(Work(L"empty\\"));
  tb::Document* letter = Doc(L"Letter", L"DOC");
  Select(kNrt, {letter});

  {
    testing_support::MessageBoxCloser boxes;  // the shell may report the failure in a box
    EXPECT_EQ(S_OK, m_command->Execute());
  }
  EXPECT_EQ(1u, journal.Entries(testbed::kPrintAgentExe).size());
  EXPECT_TRUE(journal.Entries(testbed::kMailAgentExe).empty());
  EXPECT_FALSE(FileExists(TempFolder() + L"Letter.pdf"));
  EXPECT_TRUE(letter->History().empty()) << "nothing was sent";
}

TEST_F(SendPdfTest, CopiesGoToAWorkingFolderOfTheirOwnWhenOneIsConfigured) {
  // A point in the folder's path and a document without extension: the PDF stays inside.
  const std::wstring folder = Work(L"pdf.work");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  testing_support::WriteText(Work(L"pdf.pdf"), "the user's own");
  m_profileIni.Write(L"[WorkSite]\r\nTEMP_FOLDER_PATH=" + folder + L"\r\n");
  Select(kNrt, {Doc(L"report", L"")});

  EXPECT_EQ(S_OK, m_command->Execute());
  auto prints = journal.Entries(testbed::kPrintAgentExe);
  ASSERT_EQ(1u, prints.size());
  std::vector<std::wstring> args = QuotedParts(prints[0].Arguments());
  ASSERT_EQ(2u, args.size());
  const std::wstring copyFolder = args[0].substr(0, args[0].rfind(L'\\'));
  EXPECT_EQ(0u, copyFolder.find(folder + L"\\iman")) << Utf8(args[0]);
  EXPECT_EQ(copyFolder + L"\\report", args[0]);
  EXPECT_EQ(copyFolder + L"\\report.pdf", args[1]);
  ExpectOneMail(L"files 1, existing 1, exit 0");
  EXPECT_EQ("the user's own", testing_support::ReadBytes(Work(L"pdf.pdf")));
  // The copy and the PDF are gone; the working folder is left empty.
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(copyFolder)));
}

}  // namespace
