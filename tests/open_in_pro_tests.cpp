// Open with the PDF editor: availability from the selection, and runs of Execute on the
// testbed's documents with the editor stand-in of the testbed's product folder: the checkout,
// the read-only question for a document somebody else has, the link file of temporary mode,
// the profile files of portable mode, and one editor start per document.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "commands/open/open_in_pro.h"
#include "convutils/conv_utils.h"
#include "testbed/dms/client_commands.h"
#include "tests/command_run_support.h"
#include "tests/testing/harness.h"

namespace {

using testing_support::DialogDriver;
using testing_support::FileExists;
using testing_support::QuotedParts;
using testing_support::ReadBytes;
using testing_support::ScopedRegistryTree;
using testing_support::TempFolder;
using testing_support::TempFolderEntries;
using testing_support::Utf8;
using testing_support::WriteText;

constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr wchar_t kIMan[] = L"SelectedIManObjects";
constexpr wchar_t kPortableKey[] =
    L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable";
constexpr char kPdfContent[] = "%PDF-1.4\n1 0 obj\n%%EOF\n";

DATE Now() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  DATE date = 0;
  SystemTimeToVariantTime(&now, &date);
  return date;
}

class OpenInProTest : public testing_support::CommandRunTest<vpdf::COpenInPro> {
 protected:
  void SetUp() override {
    CommandRunTest::SetUp();
    m_before = TempFolderEntries();
    testing_support::SetString(HKEY_CURRENT_USER, kPortableKey, L"PORTABLE_DIRECTORY",
                               Work(L"portable"));
  }
  void TearDown() override {
    // The editor is not waited for, and what the command leaves beside the documents is the
    // editor's: the test removes both.
    testing_support::WaitForChildren(L"varnelpdf.exe");
    for (const std::wstring& name : NewInTemp()) Remove(TempFolder() + name);
    CommandRunTest::TearDown();
  }

  static void Remove(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path), ignored);
  }

  void TemporaryMode() { m_profileIni.Write(L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\n"); }

  std::set<std::wstring> NewInTemp() const {
    std::set<std::wstring> added;
    for (const std::wstring& name : TempFolderEntries())
      if (!m_before.count(name)) added.insert(name);
    return added;
  }

  tb::Document* Pdf(const std::wstring& name) { return Doc(name, L"PDF", kPdfContent); }

  // Somebody has the document checked out, to `path`.
  tb::Document* CheckedOutBy(tb::Document* document, const std::wstring& user,
                             const std::wstring& path) {
    tb::AutoObject* owner = tb::NewNamed(user);
    document->SetObject(L"InUseBy", owner);
    owner->Release();
    document->SetBool(L"CheckedOut", true);
    document->SetString(L"CheckoutPath", path);
    return document;
  }

  static std::vector<tb::MemberCall> CheckOuts(tb::Document* document) {
    std::vector<tb::MemberCall> found;
    for (const tb::MemberCall& call : document->Recorded())
      if (call.member == L"CheckOutEx") found.push_back(call);
    return found;
  }

  // The documents the editor was started on, sorted, once all `count` starts are journalled:
  // nobody waits for the editor, so its runs reach the journal in the order they end.
  std::vector<std::wstring> EditorStarts(size_t count) {
    EXPECT_TRUE(journal.WaitFor(testbed::kPdfEditorExe, count));
    testing_support::WaitForChildren(L"varnelpdf.exe");
    std::vector<std::wstring> documents;
    for (const auto& entry : journal.Entries(testbed::kPdfEditorExe)) {
      EXPECT_EQ(L"document exists, exit 0", entry.what) << entry.commandLine;
      auto quoted = QuotedParts(entry.Arguments());
      documents.push_back(quoted.size() == 1 ? quoted[0] : L"?" + entry.Arguments());
    }
    std::sort(documents.begin(), documents.end());
    return documents;
  }

  // Runs Execute while a person answers the read-only question with `button`; the texts of
  // the box (caption first) when it was shown.
  std::vector<std::wstring> ExecuteAnswering(int button, HRESULT expected = S_OK) {
    std::vector<std::wstring> texts;
    DialogDriver driver([&](HWND box) {
      texts.push_back(testing_support::Text(box));
      for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        texts.push_back(testing_support::Text(child));
      testing_support::Click(box, button);
    });
    EXPECT_EQ(expected, m_command->Execute());
    driver.Join();
    EXPECT_FALSE(driver.Forced());
    if (!driver.Found()) texts.clear();
    return texts;
  }

  std::set<std::wstring> m_before;
  ScopedRegistryTree m_portable{HKEY_CURRENT_USER, kPortableKey};
};

// ---------------------------------------------------------------- availability

TEST_F(OpenInProTest, OnlyASelectionOfPdfsEnables) {
  Select(kNrt, {Pdf(L"Scan"), Doc(L"Plan", L"pdf", kPdfContent)});
  EXPECT_EQ(0, StatusAfterUpdate(1));
  Select(kNrt, {Pdf(L"Scan"), Doc(L"Letter", L"DOC")});
  EXPECT_EQ(1, StatusAfterUpdate(0));
  Select(kNrt, {Pdf(L"Scan"), Doc(L"Plan", L"XPS")});
  EXPECT_EQ(1, StatusAfterUpdate(0)) << "the conversion tool's types are not the editor's";
  Select(kNrt, {Pdf(L"Scan"), Keep(tb::NewShortcut(Pdf(L"Plan")))});
  EXPECT_EQ(0, StatusAfterUpdate(1));
  Select(kNrt, {Pdf(L"Scan"), Keep(tb::NewObject())});
  EXPECT_EQ(1, StatusAfterUpdate(0));

  Select(kNrt, {});
  Select(kIMan, {Pdf(L"Scan")});
  EXPECT_EQ(0, StatusAfterUpdate(1)) << "an empty document selection falls back to the objects";
  Select(kIMan, {});
  EXPECT_EQ(1, StatusAfterUpdate(0));

  NewCommand();
  EXPECT_EQ(0, StatusAfterUpdate(0)) << "no selection at all leaves the status";
  EXPECT_EQ(1, StatusAfterUpdate(1));
}

// ---------------------------------------------------------------- runs

TEST_F(OpenInProTest, TemporaryModeChecksOutLeavesTheLinkFileAndStartsTheEditor) {
  TemporaryMode();
  tb::Document* report = Pdf(L"Report");
  report->SetLong(L"Number", 4711);
  report->SetLong(L"Version", 3);
  {
    VARIANT value;
    ASSERT_TRUE(Database()->Get(L"Session", &value));
    static_cast<tb::AutoObject*>(value.pdispVal)->SetString(L"ServerName", L"DMSSRV01");
    VariantClear(&value);
  }
  Select(kNrt, {report});

  const DATE before = Now();
  EXPECT_EQ(S_OK, m_command->Execute());
  const std::wstring copy = TempFolder() + L"Report.pdf";
  EXPECT_EQ((std::set<std::wstring>{L"Report.pdf", L"Report.crx"}), NewInTemp());

  auto checkOuts = CheckOuts(report);
  ASSERT_EQ(1u, checkOuts.size());
  const auto& args = checkOuts[0].args;
  ASSERT_EQ(7u, args.size());
  EXPECT_EQ(copy, args[0]);
  EXPECT_EQ(L"1", args[1]);
  EXPECT_NEAR(before + 1.0 / 6, std::stod(args[2]), 2.0 / 1440) << "due in four hours";
  EXPECT_EQ((std::vector<std::wstring>{L"", L"2", L"Ostrel Varnel PDF", L""}),
            std::vector<std::wstring>(args.begin() + 3, args.end()));
  EXPECT_EQ(0, report->Calls(L"GetCopy"));

  EXPECT_EQ("4711@@@@@3@@@@@DMSSRV01@@@@@ACTIVE", ReadBytes(TempFolder() + L"Report.crx"));
  EXPECT_EQ(std::vector<std::wstring>{copy}, EditorStarts(1));
  EXPECT_TRUE(Refreshed());

  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
  EXPECT_EQ(UsageCommandLine(L"ec|iManage|ea|Open|el|Varnel%20PDF"),
            journal.Entries(testbed::kUsageStatsExe)[0].commandLine);
}

TEST_F(OpenInProTest, PortableModeWritesTheProfileFilesAndStartsTheEditorOncePerDocument) {
  tb::Document* first = Pdf(L"First");
  tb::Document* second = Pdf(L"Second");
  tb::Document* third = Pdf(L"Third");
  Select(kNrt, {first, second, Keep(tb::NewShortcut(third))});

  EXPECT_EQ(S_OK, m_command->Execute());
  std::vector<std::wstring> expected;
  for (tb::Document* document : {first, second, third})
    expected.push_back(Work(L"portable") + L"\\ACTIVE\\jdoe\\" +
                       std::to_wstring(document->GetLong(L"Number")) + L"_1.PDF");
  EXPECT_EQ(expected, EditorStarts(3));
  for (size_t i = 0; i < expected.size(); ++i) {
    const std::wstring base = expected[i].substr(0, expected[i].size() - 4);
    EXPECT_TRUE(FileExists(base + L".prf")) << Utf8(base);
    EXPECT_FALSE(FileExists(base + L".mhc")) << "the client gives no mail header text";
    EXPECT_FALSE(FileExists(base + L".crx")) << "no link file in portable mode";
  }
  EXPECT_EQ(expected[0], CheckOuts(first).at(0).args.at(0));
  EXPECT_EQ(expected[2], CheckOuts(third).at(0).args.at(0));
  EXPECT_EQ(std::set<std::wstring>{}, NewInTemp());
  EXPECT_TRUE(Refreshed());
}

TEST_F(OpenInProTest, DocumentOfAnotherUserOpensFromItsCheckoutFileOnlyAfterYes) {
  TemporaryMode();
  const std::wstring checkoutFile = Work(L"checkout.pdf");
  WriteText(checkoutFile, kPdfContent);
  tb::Document* report = CheckedOutBy(Pdf(L"Report"), L"asmith", checkoutFile);
  Select(kNrt, {report});

  auto texts = ExecuteAnswering(IDNO);
  ASSERT_FALSE(texts.empty()) << "the question was not shown";
  EXPECT_EQ(L"Ostrel Varnel PDF", texts[0]);
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      L"This document is already checked out by asmith. Would you like to open "
                      L"it in read only mode?"),
            texts.end());
  EXPECT_FALSE(journal.WaitFor(testbed::kPdfEditorExe, 1, 1500)) << "No opens nothing";
  EXPECT_FALSE(FileExists(Work(L"checkout.crx")));

  texts = ExecuteAnswering(IDYES);
  EXPECT_FALSE(texts.empty());
  EXPECT_EQ(std::vector<std::wstring>{checkoutFile}, EditorStarts(1));
  EXPECT_TRUE(CheckOuts(report).empty()) << "somebody else's checkout is left alone";
  EXPECT_EQ(0, report->Calls(L"GetCopy"));
  EXPECT_TRUE(FileExists(Work(L"checkout.crx")));
  EXPECT_EQ(std::set<std::wstring>{}, NewInTemp());
}

TEST_F(OpenInProTest, DocumentOfAnotherUserWithoutItsCheckoutFileOpensAReadOnlyCopy) {
  TemporaryMode();
  tb::Document* report = CheckedOutBy(Pdf(L"Report"), L"asmith", L"C:\\elsewhere\\Report.pdf");
  Select(kNrt, {report});

  EXPECT_FALSE(ExecuteAnswering(IDYES).empty());
  const std::wstring copy = TempFolder() + L"Report.pdf";
  EXPECT_EQ(std::vector<std::wstring>{copy}, EditorStarts(1));
  EXPECT_EQ(std::vector<std::wstring>{copy}, report->Copies());
  EXPECT_NE(0u, GetFileAttributesW(copy.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(CheckOuts(report).empty());
}

TEST_F(OpenInProTest, FailedCopyForAnotherUsersDocumentSkipsItWithoutAsking) {
  TemporaryMode();
  tb::Document* taken = CheckedOutBy(Pdf(L"Taken"), L"asmith", L"");
  taken->Fail(L"GetCopy", E_ACCESSDENIED);
  tb::Document* free = Pdf(L"Free");
  Select(kNrt, {taken, free});

  testing_support::MessageBoxCloser boxes;
  EXPECT_EQ(S_OK, m_command->Execute());
  EXPECT_TRUE(boxes.Boxes().empty()) << "no question for a document not copied";
  EXPECT_EQ(std::vector<std::wstring>{TempFolder() + L"Free.pdf"}, EditorStarts(1));
  EXPECT_TRUE(Refreshed());
}

TEST_F(OpenInProTest, SecondOpenInTemporaryModeKeepsTheLinkFile) {
  TemporaryMode();
  const std::wstring checkoutFile = Work(L"mine.pdf");
  WriteText(checkoutFile, kPdfContent);
  WriteText(Work(L"mine.crx"), "1@@@@@1@@@@@FIRST@@@@@OPEN");
  // Checked out by this user earlier: the copy and its link file are already there.
  tb::Document* mine = CheckedOutBy(Pdf(L"Mine"), L"jdoe", checkoutFile);
  Select(kNrt, {mine});

  EXPECT_FALSE(ExecuteAnswering(IDYES).empty());
  EXPECT_EQ(std::vector<std::wstring>{checkoutFile}, EditorStarts(1));
  EXPECT_EQ("1@@@@@1@@@@@FIRST@@@@@OPEN", ReadBytes(Work(L"mine.crx")));
}

TEST_F(OpenInProTest, FailingSessionEndsTheRunWithItsErrorAndNoRefresh) {
  Database()->Fail(L"Session", E_ACCESSDENIED);
  Select(kNrt, {Pdf(L"Report")});

  EXPECT_EQ(E_ACCESSDENIED, m_command->Execute());
  EXPECT_FALSE(Refreshed());
  EXPECT_FALSE(journal.WaitFor(testbed::kPdfEditorExe, 1, 1500));
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
}

TEST_F(OpenInProTest, ElementThatIsNoDocumentEndsTheWalkWithoutRefresh) {
  tb::Document* first = Pdf(L"First");
  tb::Document* after = Pdf(L"After");
  Select(kNrt, {first, Keep(tb::NewObject()), after});

  EXPECT_EQ(E_NOINTERFACE, m_command->Execute());
  EXPECT_EQ(1u, EditorStarts(1).size());
  EXPECT_TRUE(CheckOuts(after).empty());
  EXPECT_FALSE(Refreshed());
}

// ---------------------------------------------------------------- helpers by full path only

// Helpers of the same names where a path relative to the client's current folder finds them:
// with the install folder unknown, or not a full path, none of them runs and the refusal is
// logged.
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
  TemporaryMode();
  WriteText(Work(L"memo.txt"), "memo");
  WriteText(Work(L"mail.pdf"), kPdfContent);

  for (const std::wstring folder : {L"", L"product\\"}) {
    SCOPED_TRACE(Utf8(folder));
    for (testing_support::ScopedRegistryValue* value :
         {&m_installPath, &m_installPath32, &m_configPath})
      folder.empty() ? value->Remove() : value->SetString(folder);
    log.Clear();
    NewCommand();
    Select(kNrt, {Pdf(L"Report")});
    EXPECT_EQ(S_OK, m_command->Execute());  // the usage helper and the editor
    vpdf::CConvUtils::RunMailAgent({Work(L"mail.pdf")});
    vpdf::CConvUtils::LaunchConverter(L"/tempfile", false, nullptr);
    EXPECT_FALSE(vpdf::CConvUtils::PrintPDFWithHelper(Work(L"memo.txt").c_str(),
                                                      Work(L"memo.pdf").c_str(), false, false));
    // Nobody waits for the editor, the usage helper or the conversion tool.
    EXPECT_FALSE(journal.WaitFor(testbed::kUsageStatsExe, 1, 1500));
    EXPECT_TRUE(journal.Entries().empty());
  }
  SetCurrentDirectoryW(previous);
}

}  // namespace
