// What the commands that make local files write and delete, whatever the DMS holds: names that
// would lead out of their folder or name a device, files that were there before, documents of
// one name, and check-outs that a failure must not leave behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "commands/createpdf/create_pdf.h"
#include "commands/mail/send_pdf_email.h"
#include "commands/open/open_in_cnv.h"
#include "commands/open/open_in_pro.h"
#include "tests/save_result_support.h"
#include "testbed/dms/client_commands.h"

namespace {

using namespace testing_support;

constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr char kPdfContent[] = "%PDF-1.4\n1 0 obj\n%%EOF\n";
constexpr char kUsersOwn[] = "the user's own";

std::set<std::wstring> Entries(const std::wstring& folder) {
  std::set<std::wstring> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder), error))
    names.insert(entry.path().filename().wstring());
  return names;
}
// A document name, and the start of the names of the files made for it (empty: cut to fit).
const std::pair<std::wstring, std::wstring> kHostileNames[] = {
    {L"..\\..\\x", L".._.._x"}, {L"a/b", L"a_b"}, {L"CON.txt", L"_CON.txt"}, {L"NUL", L"_NUL"},
    {L"x.", L"x_"}, {L"name ", L"name_"}, {L"\U0001F4C4 Plan", L"\U0001F4C4 Plan"}, {std::wstring(300, L'L'), L""}};

template <class Command>
class FileSafety : public CommandRunTest<Command> {
 protected:
  // Runs `execute` on `count` documents of each hostile name, of type `extension`, with the
  // user's own "<stem>.pdf" in the temporary folder. Every path a helper was given is a file
  // directly in the temporary folder named after the document; nothing outside that folder
  // changes; the user's file keeps its bytes; documents of one name are printed to PDFs of their
  // own. What a helper keeps (`helperKeeps`: it was handed the copies) is removed afterwards;
  // otherwise the temporary folder is as it was.
  void RunRows(const std::wstring& extension, int count, bool helperKeeps, const std::function<void()>& execute) {
    for (const auto& [documentName, stem] : kHostileNames) {
      SCOPED_TRACE(Utf8(documentName.substr(0, 20)));
      std::vector<IDispatch*> documents;
      for (int i = 0; i < count; ++i)
        documents.push_back(this->Doc(documentName, extension,
                                      extension == L"pdf" ? kPdfContent : "text " + std::to_string(i) + "\r\n"));
      this->Select(kNrt, documents);
      const std::wstring temp = TempFolder(), mine = stem.empty() ? L"" : temp + stem + L".pdf";
      if (!mine.empty()) WriteText(mine, kUsersOwn);
      const std::filesystem::path root(temp);
      const std::vector<std::wstring> outside = {root.parent_path().parent_path().wstring(),
                                                 root.parent_path().parent_path().parent_path().wstring(), this->m_work};
      std::vector<std::set<std::wstring>> outsideBefore;
      for (const std::wstring& folder : outside) outsideBefore.push_back(Entries(folder));
      const std::set<std::wstring> tempBefore = TempFolderEntries();
      this->journal.Clear();
      HANDLE watchdog = nullptr;  // a command that does not come back: a name loop without end
      CreateTimerQueueTimer(&watchdog, nullptr, [](PVOID, BOOLEAN) {
        std::fputs("FAILED: a command did not return within two minutes\n", stderr);
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
      }, nullptr, 120000, 0, WT_EXECUTEONLYONCE);
      execute();
      DeleteTimerQueueTimer(nullptr, watchdog, INVALID_HANDLE_VALUE);
      if (helperKeeps) {
        for (const wchar_t* helper : {testbed::kConversionToolExe, testbed::kPdfEditorExe})
          EXPECT_TRUE(WaitForChildren(helper)) << Utf8(helper) << " did not end within 15 s";
      }
      std::set<std::wstring> given, printed;
      for (const testbed::JournalEntry& entry : this->journal.Entries()) {
        if (entry.program == testbed::kUsageStatsExe || entry.program == testbed::kMailAgentExe) continue;
        std::vector<std::wstring> parts = QuotedParts(entry.Arguments());
        if (entry.program == testbed::kPrintAgentExe) printed.insert(parts.at(1));
        for (const std::wstring& part : QuotedParts(entry.what)) parts.push_back(part);
        for (const std::wstring& part : parts)
          if (part.find(L'\\') != std::wstring::npos) given.insert(part);
      }
      EXPECT_FALSE(given.empty()) << "no helper was given a file";
      EXPECT_EQ(this->journal.Entries(testbed::kPrintAgentExe).size(), printed.size()) << "a PDF shared";
      for (const std::wstring& path : given) {
        EXPECT_EQ(0, _wcsicmp(temp.c_str(), path.substr(0, path.rfind(L'\\') + 1).c_str())) << Utf8(path);
        EXPECT_LE(path.size(), 254u) << Utf8(path);
        EXPECT_LT(0, WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path.c_str(), -1, nullptr, 0, nullptr,
                                         nullptr))
            << "a character cut in two";
        const std::wstring name = path.substr(path.rfind(L'\\') + 1);
        // The list of the conversion tool has its own "ss_" name.
        if (!stem.empty() && name.compare(0, 3, L"ss_") != 0) {
          EXPECT_EQ(stem, name.substr(0, stem.size())) << Utf8(path);
        }
      }
      for (size_t i = 0; i < outside.size(); ++i) EXPECT_EQ(outsideBefore[i], Entries(outside[i])) << Utf8(outside[i]);
      if (!mine.empty()) {
        EXPECT_EQ(kUsersOwn, ReadBytes(mine));
        DeleteFileW(mine.c_str());
      }
      for (const std::wstring& name : TempFolderEntries()) {
        if (tempBefore.count(name)) continue;
        EXPECT_TRUE(helperKeeps) << "left behind: " << Utf8(name);
        SetFileAttributesW((temp + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW((temp + name).c_str());
      }
    }
  }
};

using CreatePdfFiles = FileSafety<vpdf::CCreatePDF>;
using SendPdfFiles = FileSafety<vpdf::CSendPDFEMail>;
using EditorFiles = FileSafety<vpdf::COpenInPro>;
using ConversionToolFiles = FileSafety<vpdf::COpenInCnv>;

TEST_F(CreatePdfFiles, HostileNamesSingleAndMerged) {
  for (int merge : {218, 217})  // the merge dialog's "each" and "one"
    RunRows(L"txt", merge == 217 ? 2 : 1, false, [&] {
      harness::Answerer person;
      person.On(harness::WithControl(merge), {harness::Pick(merge), harness::Press(IDOK)})
          .Always(harness::AnyDialog(), {harness::Press(IDCANCEL)});
      EXPECT_EQ(S_OK, m_command->Execute());
    });
}

TEST_F(SendPdfFiles, HostileNames) {
  RunRows(L"txt", 2, false, [&] { EXPECT_EQ(S_OK, m_command->Execute()); });
}

TEST_F(EditorFiles, HostileNames) {
  m_profileIni.Write(L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\n");
  RunRows(L"pdf", 1, true, [&] { EXPECT_EQ(S_OK, m_command->Execute()); });
}

TEST_F(ConversionToolFiles, HostileNamesAndEachDocumentItsOwnCopy) {
  RunRows(L"pdf", 2, true, [&] {
    EXPECT_EQ(S_OK, m_command->Execute());
    ASSERT_TRUE(journal.WaitFor(testbed::kConversionToolExe, 1));
    // Two documents of one name: two copies, each with its own document's bytes.
    const std::vector<std::wstring> copies = QuotedParts(journal.Entries(testbed::kConversionToolExe).at(0).what);
    ASSERT_EQ(2u, copies.size());
    EXPECT_NE(copies[0], copies[1]);
    for (const std::wstring& copy : copies) EXPECT_EQ(kPdfContent, ReadBytes(copy));
  });
}

// Open with the editor: whatever fails after the document was chosen, it is not left checked
// out, and no file of the run stays (no copy, no link file) in the temporary or portable folder.
TEST_F(EditorFiles, NoFailureLeavesACheckOutOrAFileBehind) {
  const wchar_t* portableKey = L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable";
  ScopedRegistryTree portableTree{HKEY_CURRENT_USER, portableKey};
  const std::wstring portable = Work(L"portable");
  // As long as the client reads it (255): with the database and user no path fits below it.
  const std::wstring tooLong = Work(std::wstring(250 - Work(L"").size(), L'p'));
  enum Fault { kNumberUnreadable, kNoPath, kSomebodyElseAndNo };
  const std::pair<Fault, bool> rows[] = {  // the fault, temporary-folder mode
      {kNumberUnreadable, true}, {kNoPath, false}, {kSomebodyElseAndNo, true}, {kSomebodyElseAndNo, false}};
  for (const auto& [fault, temporary] : rows) {
    SCOPED_TRACE(fault * 2 + temporary);
    m_profileIni.Write(temporary ? L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\n" : L"");
    SetString(HKEY_CURRENT_USER, portableKey, L"PORTABLE_DIRECTORY", fault == kNoPath ? tooLong : portable);
    tb::Document* document = Doc(L"Report", L"pdf", kPdfContent);
    if (fault == kNumberUnreadable) document->Fail(L"Number", E_ACCESSDENIED);
    if (fault == kSomebodyElseAndNo) {
      tb::AutoObject* owner = tb::NewNamed(L"asmith");
      document->SetObject(L"InUseBy", owner);
      owner->Release();
      document->SetBool(L"CheckedOut", true);
    }
    Select(kNrt, {document});
    const std::set<std::wstring> tempBefore = TempFolderEntries();
    journal.Clear();
    harness::Answerer person;
    person.Always(harness::AnyDialog(), {harness::Press(fault == kSomebodyElseAndNo ? IDNO : IDOK)});
    m_command->Execute();
    person.Stop();
    // Asked about somebody else's copy, or told that nothing was opened.
    const std::wstring said = person.Log();
    EXPECT_TRUE(said.ends_with(fault == kSomebodyElseAndNo ? L"read only mode? -> No\n" : L"nothing was opened. -> OK\n") &&
                said.find(L'\n') == said.size() - 1) << Utf8(said);
    VARIANT checkedOut;
    VariantInit(&checkedOut);
    document->Get(L"CheckedOut", &checkedOut);
    EXPECT_EQ(fault == kSomebodyElseAndNo, checkedOut.vt == VT_BOOL && checkedOut.boolVal)
        << "only somebody else's check-out stays";
    for (const tb::MemberCall& call : document->Recorded())
      EXPECT_NE(L"CheckOutEx", call.member) << "to \"" << Utf8(call.args.at(0)) << "\"";
    EXPECT_EQ(L"", world.Settle());  // an editor that was started has journalled once it ended
    EXPECT_TRUE(journal.Entries(testbed::kPdfEditorExe).empty());
    EXPECT_EQ(tempBefore, TempFolderEntries());
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::filesystem::path(portable), ignored))
      EXPECT_TRUE(entry.is_directory()) << "left behind: " << entry.path().string();
  }
}

}  // namespace
