// Open with the conversion tool: availability from the selection, and runs of Execute on the
// testbed's documents with the conversion tool of the testbed's product folder: the copies in
// the temporary folder, the file list's bytes, its deletion after a failed copy, and the
// usage event.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "commands/open/open_in_cnv.h"
#include "tests/command_run_support.h"

namespace {

using vpdf::ComPtr;
using testing_support::FileExists;
using testing_support::QuotedParts;
using testing_support::ReadBytes;
using testing_support::TempFolder;
using testing_support::TempFolderEntries;
using testing_support::Utf8;

constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr wchar_t kIMan[] = L"SelectedIManObjects";

// The bytes of a text in UTF-16 little-endian, without a byte order mark.
std::string Utf16Bytes(const std::wstring& text) {
  std::string bytes;
  for (wchar_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>((unit >> 8) & 0xFF);
  }
  return bytes;
}

class OpenInCnvTest : public testing_support::CommandRunTest<vpdf::COpenInCnv> {
 protected:
  void SetUp() override {
    CommandRunTest::SetUp();
    m_before = TempFolderEntries();
  }
  void TearDown() override {
    // What a successful run hands to the tool stays for the tool to delete: the test does it.
    WaitForChildren(L"vpdfassist.exe");
    for (const std::wstring& name : NewInTemp()) DeleteFileW((TempFolder() + name).c_str());
    CommandRunTest::TearDown();
  }
  static void WaitForChildren(const wchar_t* name) { testing_support::WaitForChildren(name); }

  // Names that appeared in the temporary folder since the test began.
  std::set<std::wstring> NewInTemp() const {
    std::set<std::wstring> added;
    for (const std::wstring& name : TempFolderEntries())
      if (!m_before.count(name)) added.insert(name);
    return added;
  }
  // The one new file list in the temporary folder (ss_XXXX.txt) under the name the add-in
  // gives it, all in lower case; empty when there is none.
  std::wstring NewList() const {
    for (const std::wstring& name : NewInTemp())
      if (name.size() > 7 && name.compare(0, 3, L"ss_") == 0 &&
          name.compare(name.size() - 4, 4, L".txt") == 0)
        return Lower(TempFolder() + name);
    return {};
  }
  static std::wstring Lower(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
  }
  static std::wstring NameOf(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }
  // A PDF or XPS document with real content of that kind.
  tb::Document* PdfDoc(const std::wstring& name, const std::wstring& extension = L"PDF") {
    tb::Document* document = Doc(name, extension, "%PDF-1.4\n%%EOF\n");
    return document;
  }

  std::set<std::wstring> m_before;
};

// ---------------------------------------------------------------- availability

TEST_F(OpenInCnvTest, OnlyPdfAndXpsDocumentsEnable) {
  Select(kNrt, {PdfDoc(L"Scan"), PdfDoc(L"Plan", L"XPS"), PdfDoc(L"View", L"OXPS")});
  EXPECT_EQ(0, StatusAfterUpdate(1));
  Select(kNrt, {PdfDoc(L"Scan", L"pdf"), PdfDoc(L"Plan", L"xps"), PdfDoc(L"View", L"oXpS")});
  EXPECT_EQ(0, StatusAfterUpdate(1));
  Select(kNrt, {PdfDoc(L"Scan"), Doc(L"Letter", L"DOC")});
  EXPECT_EQ(1, StatusAfterUpdate(0));
  Select(kNrt, {Doc(L"Letter", L"DOC"), PdfDoc(L"Scan")});
  EXPECT_EQ(1, StatusAfterUpdate(0)) << "a later PDF must not enable again";
  Select(kNrt, {PdfDoc(L"Scan", L"PDFX")});
  EXPECT_EQ(1, StatusAfterUpdate(0));
  Select(kNrt, {PdfDoc(L"Scan"), Keep(tb::NewShortcut(PdfDoc(L"Plan", L"XPS")))});
  EXPECT_EQ(0, StatusAfterUpdate(1));
  Select(kNrt, {PdfDoc(L"Scan"), Keep(tb::NewObject())});
  EXPECT_EQ(1, StatusAfterUpdate(0));
}

TEST_F(OpenInCnvTest, EmptyDocumentSelectionFallsBackToObjects) {
  Select(kNrt, {});
  Select(kIMan, {PdfDoc(L"Scan")});
  EXPECT_EQ(0, StatusAfterUpdate(1));
  Select(kIMan, {Doc(L"Letter", L"DOC")});
  EXPECT_EQ(1, StatusAfterUpdate(0));
  Select(kIMan, {});
  EXPECT_EQ(1, StatusAfterUpdate(0)) << "nothing selected anywhere";
}

TEST_F(OpenInCnvTest, UnreadableSelectionLeavesTheStatusUnlessTheFallbackFails) {
  EXPECT_EQ(0, StatusAfterUpdate(0)) << "no selection item at all";
  EXPECT_EQ(1, StatusAfterUpdate(1));
  SelectUnreadable(kNrt);
  EXPECT_EQ(0, StatusAfterUpdate(0)) << "bounds that cannot be read";

  // An empty documents array whose fallback cannot be read.
  NewCommand();
  Select(kNrt, {});
  EXPECT_EQ(1, StatusAfterUpdate(0));
  SelectUnreadable(kIMan);
  EXPECT_EQ(1, StatusAfterUpdate(0));
}

// ---------------------------------------------------------------- runs

TEST_F(OpenInCnvTest, PdfAndXpsAreCopiedListedAndHandedToTheToolOnce) {
  tb::Document* scan = PdfDoc(L"Scan");
  tb::Document* plan = PdfDoc(L"Plan.xps", L"XPS");  // the name already ends with its extension
  Select(kNrt, {scan, plan});

  EXPECT_EQ(S_OK, m_command->Execute());
  ASSERT_TRUE(journal.WaitFor(testbed::kConversionToolExe, 1));
  const std::wstring list = NewList();
  ASSERT_NE(L"", list);
  const std::wstring temp = TempFolder();
  EXPECT_EQ((std::set<std::wstring>{L"Scan.pdf", L"Plan.xps", NameOf(list)}), NewInTemp());

  const std::wstring text = L"[FILES]\nCount=2\nDMSLinkID=768\nDelete=1\n1=\"" + temp +
                            L"Scan.pdf\"\n2=\"" + temp + L"Plan.xps\"\n";
  EXPECT_EQ(Utf16Bytes(text), ReadBytes(list));
  EXPECT_EQ(ReadBytes(Work(L"content" + std::to_wstring(scan->GetLong(L"Number")) + L".PDF")),
            ReadBytes(temp + L"Scan.pdf"));

  auto runs = journal.Entries(testbed::kConversionToolExe);
  ASSERT_EQ(1u, runs.size());
  EXPECT_EQ(L"\"" + list + L"\" /tempfile", runs[0].Arguments());
  EXPECT_EQ(L"list utf16le, exit 0: " + text, runs[0].what);
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
  auto usage = journal.Entries(testbed::kUsageStatsExe);
  ASSERT_EQ(1u, usage.size());
  EXPECT_EQ(UsageCommandLine(L"ec|iManage|ea|Open|el|Conversion%20Desk"), usage[0].commandLine);
}

TEST_F(OpenInCnvTest, DocumentWithoutNameIsCopiedUnderDatabaseNumberAndVersion) {
  tb::Document* unnamed = PdfDoc(L"", L"PDF");
  unnamed->SetLong(L"Number", 4711);
  unnamed->SetLong(L"Version", 3);
  tb::Document* odd = PdfDoc(L"Draft.PDF", L"pdf");  // its extension, in another case
  Select(kNrt, {unnamed, odd});

  EXPECT_EQ(S_OK, m_command->Execute());
  ASSERT_TRUE(journal.WaitFor(testbed::kConversionToolExe, 1));
  const std::wstring list = NewList();
  ASSERT_NE(L"", list);
  EXPECT_EQ((std::set<std::wstring>{L"ACTIVE_4711_3.pdf", L"Draft.PDF", NameOf(list)}),
            NewInTemp());
  EXPECT_EQ(Utf16Bytes(L"[FILES]\nCount=2\nDMSLinkID=768\nDelete=1\n1=\"" + TempFolder() +
                       L"ACTIVE_4711_3.pdf\"\n2=\"" + TempFolder() + L"Draft.PDF\"\n"),
            ReadBytes(list));
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
}

TEST_F(OpenInCnvTest, FailedCopyDeletesEarlierCopiesAndTheListAndStartsNothing) {
  tb::Document* first = PdfDoc(L"First");
  tb::Document* second = PdfDoc(L"Second");
  tb::Document* third = PdfDoc(L"Third");
  second->Fail(L"GetCopy", E_ACCESSDENIED);
  Select(kNrt, {first, second, third});

  EXPECT_EQ(E_ACCESSDENIED, m_command->Execute());
  EXPECT_EQ(1u, first->Copies().size()) << "the first copy was made";
  EXPECT_EQ(0, third->Calls(L"GetCopy"));
  EXPECT_EQ(std::set<std::wstring>{}, NewInTemp()) << "the copy and the list must be gone";
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
  EXPECT_FALSE(journal.WaitFor(testbed::kConversionToolExe, 1, 1500));
}

TEST_F(OpenInCnvTest, ElementThatIsNoDocumentStartsTheToolOnWhatWasCopied) {
  tb::Document* first = PdfDoc(L"First");
  tb::Document* after = PdfDoc(L"After");
  Select(kNrt, {first, Keep(tb::NewObject()), after});

  EXPECT_EQ(E_NOINTERFACE, m_command->Execute());
  ASSERT_TRUE(journal.WaitFor(testbed::kConversionToolExe, 1));
  const std::wstring list = NewList();
  ASSERT_NE(L"", list);
  EXPECT_EQ(0, after->Calls(L"GetCopy"));
  const std::wstring text =
      L"[FILES]\nCount=3\nDMSLinkID=768\nDelete=1\n1=\"" + TempFolder() + L"First.pdf\"\n";
  EXPECT_EQ(Utf16Bytes(text), ReadBytes(list));
  EXPECT_EQ(L"list utf16le, exit 0: " + text, journal.Entries(testbed::kConversionToolExe)[0].what);
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
}

TEST_F(OpenInCnvTest, DeleteFileListDeletesTheNamedCopiesAndTheList) {
  tb::Document* first = PdfDoc(L"First");
  tb::Document* second = PdfDoc(L"Second", L"XPS");
  Select(kNrt, {first, second});
  EXPECT_EQ(S_OK, m_command->Execute());
  ASSERT_TRUE(journal.WaitFor(testbed::kConversionToolExe, 1));
  WaitForChildren(L"vpdfassist.exe");
  const std::wstring list = NewList();
  ASSERT_NE(L"", list);
  ASSERT_EQ(3u, NewInTemp().size());
  // A file that the list does not name stays.
  const std::wstring other = TempFolder() + L"Unlisted.pdf";
  testing_support::WriteText(other, "%PDF-1.4\n");

  m_command->DeleteFileList(list);
  EXPECT_EQ(std::set<std::wstring>{L"Unlisted.pdf"}, NewInTemp());
  EXPECT_TRUE(DeleteFileW(other.c_str()));
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 1));
}

TEST_F(OpenInCnvTest, WithoutSelectionNothingIsWrittenOrStarted) {
  EXPECT_EQ(S_OK, m_command->Execute());
  Select(kNrt, {});
  Select(kIMan, {});
  EXPECT_EQ(S_OK, m_command->Execute()) << "nothing selected anywhere";
  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 2));
  EXPECT_EQ(std::set<std::wstring>{}, NewInTemp());
  EXPECT_FALSE(journal.WaitFor(testbed::kConversionToolExe, 1, 1000));
  EXPECT_EQ(2u, journal.Entries().size()) << "only the two usage events";
}

TEST_F(OpenInCnvTest, FailedFallbackReadReturnsItsError) {
  // Bounds that cannot be read.
  Select(kNrt, {});
  SelectUnreadable(kIMan);
  EXPECT_EQ(E_INVALIDARG, m_command->Execute());
  // No objects item: the collection's answer for a missing item.
  NewCommand();
  Select(kNrt, {});
  vpdf::Variant missing;
  const HRESULT notFound = m_context->Item(*vpdf::Variant::String(kIMan).Get(), missing.Put());
  ASSERT_TRUE(FAILED(notFound));
  EXPECT_EQ(notFound, m_command->Execute());

  ASSERT_TRUE(journal.WaitFor(testbed::kUsageStatsExe, 2));
  EXPECT_EQ(std::set<std::wstring>{}, NewInTemp());
  EXPECT_EQ(2u, journal.Entries().size());
}

TEST_F(OpenInCnvTest, ToolThatCannotBeFoundIsOnlyLogged) {
  // The conversion tool's folder holds nothing; the list and the copies stay for the tool.
  ASSERT_TRUE(CreateDirectoryW(Work(L"empty").c_str(), nullptr));
  testbed::PointProductAt(Work(L"empty"));
  Select(kNrt, {PdfDoc(L"Scan")});
  {
    testing_support::MessageBoxCloser boxes;  // the shell may report the failure in a box
    EXPECT_EQ(S_OK, m_command->Execute());
  }
  EXPECT_FALSE(journal.WaitFor(testbed::kConversionToolExe, 1, 1500));
  EXPECT_EQ(2u, NewInTemp().size());
  EXPECT_TRUE(journal.Entries().empty()) << "not even the usage helper is there";
  EXPECT_TRUE(log.Has("COpenInCnv: LaunchConversionTool \"" + Utf8(NewList()) + "\" /tempfile"));
}

}  // namespace
