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
#include <thread>
#include <vector>

#include "commands/createpdf/create_pdf.h"
#include "commands/mail/send_pdf_email.h"
#include "commands/open/open_in_cnv.h"
#include "commands/open/open_in_pro.h"
#include "tests/command_run_support.h"
#include "tests/testing/harness.h"

namespace {

using testing_support::QuotedParts;
using testing_support::ReadBytes;
using testing_support::TempFolder;
using testing_support::TempFolderEntries;
using testing_support::Utf8;
using testing_support::WriteText;

constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr char kPdfContent[] = "%PDF-1.4\n1 0 obj\n%%EOF\n";
constexpr char kUsersOwn[] = "the user's own";
constexpr int kMergeRadio = 217, kSingleRadio = 218;
constexpr wchar_t kPortableKey[] =
    L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable";

// A command that does not come back ends the program as a failure: a name loop without end.
class Watchdog {
 public:
  Watchdog() {
    m_thread = std::thread([this] {
      if (WaitForSingleObject(m_done, 120000) != WAIT_TIMEOUT) return;
      std::fputs("FAILED: a command did not return within two minutes\n", stderr);
      std::fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    });
  }
  ~Watchdog() {
    SetEvent(m_done);
    m_thread.join();
    CloseHandle(m_done);
  }

 private:
  HANDLE m_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread m_thread;
};

std::set<std::wstring> Entries(const std::wstring& folder) {
  std::set<std::wstring> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder), error))
    names.insert(entry.path().filename().wstring());
  return names;
}

std::wstring Lower(std::wstring text) {
  CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring Parent(const std::wstring& folder) {
  return std::filesystem::path(folder).parent_path().wstring();
}

bool IsCheckedOut(tb::Document* document) {
  VARIANT value;
  VariantInit(&value);
  return document->Get(L"CheckedOut", &value) && value.vt == VT_BOOL && value.boolVal;
}

struct HostileName {
  std::wstring name;
  std::wstring stem;  // of the files made for it; empty: cut to fit
};

std::vector<HostileName> HostileNames() {
  return {{L"..\\..\\x", L".._.._x"},
          {L"a/b", L"a_b"},
          {L"CON.txt", L"_CON.txt"},
          {L"NUL", L"_NUL"},
          {L"x.", L"x_"},
          {L"name ", L"name_"},
          {L"\U0001F4C4 Plan", L"\U0001F4C4 Plan"},
          {std::wstring(300, L'L'), L""}};
}

template <class Command>
class FileSafety : public testing_support::CommandRunTest<Command> {
 protected:
  // Runs `execute` on `count` documents named as the row says, of type `extension`, with the
  // user's own "<stem>.pdf" in the temporary folder. Every path that a helper was given must be
  // a file directly in the temporary folder named after the row; nothing outside that folder
  // changes, and the user's file keeps its bytes. Files that a helper keeps (`helperKeeps`:
  // it was given the copies to work on) are removed afterwards; otherwise the temporary folder
  // must be as it was.
  void RunRow(const HostileName& row, const std::wstring& extension, int count, bool helperKeeps,
              const std::function<void()>& execute) {
    SCOPED_TRACE(Utf8(row.name.substr(0, 20)));
    std::vector<IDispatch*> documents;
    for (int i = 0; i < count; ++i)
      documents.push_back(this->Doc(row.name, extension,
                                    extension == L"pdf" ? std::string(kPdfContent)
                                                        : "text " + std::to_string(i) + "\r\n"));
    this->Select(kNrt, documents);
    const std::wstring mine = row.stem.empty() ? L"" : TempFolder() + row.stem + L".pdf";
    if (!mine.empty()) WriteText(mine, kUsersOwn);
    const std::wstring temp = TempFolder();
    const std::vector<std::wstring> outside = {Parent(Parent(temp)), Parent(Parent(Parent(temp))),
                                               this->m_work};
    std::vector<std::set<std::wstring>> outsideBefore;
    for (const std::wstring& folder : outside) outsideBefore.push_back(Entries(folder));
    const std::set<std::wstring> tempBefore = TempFolderEntries();
    this->journal.Clear();
    {
      Watchdog watchdog;
      execute();
    }
    if (helperKeeps) {
      testing_support::WaitForChildren(L"vpdfassist.exe");
      testing_support::WaitForChildren(L"varnelpdf.exe");
    }

    std::set<std::wstring> given;
    for (const testbed::JournalEntry& entry : this->journal.Entries()) {
      if (entry.program == testbed::kUsageStatsExe || entry.program == testbed::kMailAgentExe)
        continue;
      std::vector<std::wstring> parts = QuotedParts(entry.Arguments());
      for (const std::wstring& part : QuotedParts(entry.what)) parts.push_back(part);
      for (const std::wstring& part : parts)
        if (part.find(L'\\') != std::wstring::npos) given.insert(part);
    }
    EXPECT_FALSE(given.empty()) << "no helper was given a file";
    // Documents of one name: each its own PDF.
    std::set<std::wstring> printed;
    for (const testbed::JournalEntry& print : this->journal.Entries(testbed::kPrintAgentExe))
      printed.insert(QuotedParts(print.Arguments()).at(1));
    EXPECT_EQ(this->journal.Entries(testbed::kPrintAgentExe).size(), printed.size());
    for (const std::wstring& path : given) {
      wchar_t full[MAX_PATH * 2] = {};
      GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
      EXPECT_EQ(path, std::wstring(full)) << Utf8(path);
      EXPECT_EQ(Lower(temp), Lower(path.substr(0, path.rfind(L'\\') + 1))) << Utf8(path);
      EXPECT_LE(path.size(), 254u) << Utf8(path);
      EXPECT_LT(0, WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path.c_str(), -1, nullptr,
                                       0, nullptr, nullptr))
          << "a character cut in two";
      const std::wstring name = path.substr(path.rfind(L'\\') + 1);
      // The list of the conversion tool is its own "ss_" name.
      if (!row.stem.empty() && name.compare(0, 3, L"ss_") != 0) {
        EXPECT_EQ(row.stem, name.substr(0, row.stem.size())) << Utf8(path);
      }
    }
    for (size_t i = 0; i < outside.size(); ++i)
      EXPECT_EQ(outsideBefore[i], Entries(outside[i])) << Utf8(outside[i]);
    if (!mine.empty()) {
      EXPECT_EQ(kUsersOwn, ReadBytes(mine));
      DeleteFileW(mine.c_str());
    }
    const std::set<std::wstring> tempAfter = TempFolderEntries();
    for (const std::wstring& name : tempAfter) {
      if (tempBefore.count(name)) continue;
      EXPECT_TRUE(helperKeeps) << "left behind: " << Utf8(name);
      SetFileAttributesW((temp + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW((temp + name).c_str());
    }
  }
};

using CreatePdfFiles = FileSafety<vpdf::CCreatePDF>;
using SendPdfFiles = FileSafety<vpdf::CSendPDFEMail>;
using EditorFiles = FileSafety<vpdf::COpenInPro>;
using ConversionToolFiles = FileSafety<vpdf::COpenInCnv>;

TEST_F(CreatePdfFiles, HostileNamesSingleAndMerged) {
  for (bool merge : {false, true})
    for (const HostileName& row : HostileNames())
      RunRow(row, L"txt", merge ? 2 : 1, false, [&] {
        harness::Answerer person;
        person.On(harness::WithControl(kMergeRadio), {harness::Pick(merge ? kMergeRadio : kSingleRadio),
                                                     harness::Press(IDOK)})
            .Always(harness::AnyDialog(), {harness::Press(IDCANCEL)});
        EXPECT_EQ(S_OK, m_command->Execute());
      });
}

TEST_F(SendPdfFiles, HostileNames) {
  for (const HostileName& row : HostileNames())
    RunRow(row, L"txt", 2, false, [&] { EXPECT_EQ(S_OK, m_command->Execute()); });
}

TEST_F(EditorFiles, HostileNames) {
  m_profileIni.Write(L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\n");
  for (const HostileName& row : HostileNames())
    RunRow(row, L"pdf", 1, true, [&] { EXPECT_EQ(S_OK, m_command->Execute()); });
}

TEST_F(ConversionToolFiles, HostileNamesAndEachDocumentItsOwnCopy) {
  for (const HostileName& row : HostileNames())
    RunRow(row, L"pdf", 2, true, [&] {
      EXPECT_EQ(S_OK, m_command->Execute());
      ASSERT_TRUE(journal.WaitFor(testbed::kConversionToolExe, 1));
      // Two documents of one name: two copies, each with its own document's bytes.
      const testbed::JournalEntry tool = journal.Entries(testbed::kConversionToolExe).at(0);
      const std::vector<std::wstring> copies = QuotedParts(tool.what);
      ASSERT_EQ(2u, copies.size()) << Utf8(tool.what);
      EXPECT_NE(copies[0], copies[1]);
      for (const std::wstring& copy : copies) EXPECT_EQ(kPdfContent, ReadBytes(copy));
    });
}

// Open with the editor: whatever fails after the document was chosen, it is not left checked
// out, and no file of the run stays (no copy, no link file) in the temporary or portable folder.
TEST_F(EditorFiles, NoFailureLeavesACheckOutOrAFileBehind) {
  testing_support::ScopedRegistryTree portableKey{HKEY_CURRENT_USER, kPortableKey};
  const std::wstring portable = Work(L"portable");
  // As long as the client reads it (255): with the database and user no path fits below it.
  const std::wstring tooLong = Work(std::wstring(250 - Work(L"").size(), L'p'));
  enum class Fault { kNumberUnreadable, kNoPath, SomebodyElseAndNo };
  struct Row {
    Fault fault;
    bool temporary;
  };
  for (const Row& row : {Row{Fault::kNumberUnreadable, true}, Row{Fault::kNoPath, false},
                         Row{Fault::SomebodyElseAndNo, true}, Row{Fault::SomebodyElseAndNo, false}}) {
    SCOPED_TRACE(static_cast<int>(row.fault) * 2 + row.temporary);
    m_profileIni.Write(row.temporary ? L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\n" : L"");
    testing_support::SetString(HKEY_CURRENT_USER, kPortableKey, L"PORTABLE_DIRECTORY",
                               row.fault == Fault::kNoPath ? tooLong : portable);
    tb::Document* document = Doc(L"Report", L"pdf", kPdfContent);
    if (row.fault == Fault::kNumberUnreadable) document->Fail(L"Number", E_ACCESSDENIED);
    if (row.fault == Fault::SomebodyElseAndNo) {
      tb::AutoObject* owner = tb::NewObject();
      owner->SetString(L"Name", L"asmith");
      document->SetObject(L"InUseBy", owner);
      owner->Release();
      document->SetBool(L"CheckedOut", true);
    }
    Select(kNrt, {document});
    const std::set<std::wstring> tempBefore = TempFolderEntries();
    journal.Clear();
    harness::Answerer person;
    person.Always(harness::AnyDialog(), {harness::Press(IDNO)});
    m_command->Execute();
    person.Stop();
    EXPECT_EQ(row.fault == Fault::SomebodyElseAndNo, !person.Log().empty()) << Utf8(person.Log());
    EXPECT_EQ(row.fault == Fault::SomebodyElseAndNo, IsCheckedOut(document))
        << "only somebody else's check-out stays";
    for (const tb::MemberCall& call : document->Recorded()) {
      if (row.fault == Fault::kNoPath) {
        EXPECT_NE(L"CheckOut", call.member) << "to \"" << Utf8(call.args.at(0)) << "\"";
      }
    }
    EXPECT_TRUE(journal.Entries(testbed::kPdfEditorExe).empty());
    EXPECT_EQ(tempBefore, TempFolderEntries());
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(std::filesystem::path(portable), ignored))
      EXPECT_TRUE(entry.is_directory()) << "left behind: " << entry.path().string();
  }
}

}  // namespace
