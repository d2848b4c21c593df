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
#include "tests/run_effects.h"

namespace {

using namespace testing_support;

constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr wchar_t kPortableKey[] = L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable";
constexpr char kPdfContent[] = "%PDF-1.4\n1 0 obj\n%%EOF\n";
constexpr wchar_t kUsage[] = L"usagestats.exe ec|iManage|ea|Open|el|Varnel%20PDF -> recorded, exit 0";
constexpr wchar_t kAsked[] = L"asked Ostrel Varnel PDF: This document is already checked out by ";
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
  std::vector<std::wstring> effects;
};

// The editor's run on `path`, and the check-out to it.
std::wstring Editor(const std::wstring& path) {
  return L"varnelpdf.exe \"" + path + L"\" -> document exists, exit 0";
}
std::wstring CheckOut(const std::wstring& name, const std::wstring& path) {
  return name + L": CheckOutEx(" + path + L", 1, now+4h, , 2, Ostrel Varnel PDF, )";
}

class OpenInProTest : public CommandRunTest<vpdf::COpenInPro> {
 protected:
  ScopedRegistryTree m_portable{HKEY_CURRENT_USER, kPortableKey};
};

TEST_F(OpenInProTest, Runs) {
  const std::wstring portable = L"%W\\portable\\ACTIVE\\jdoe\\";
  const Row rows[] = {
      {"temporary mode: a checked-out copy with its link file", true, {{L"Report"}}, 0,
       Fault::kNone, S_OK,
       {kUsage, Editor(L"%T\\Report.pdf"), CheckOut(L"Report", L"%T\\Report.pdf"),
        L"+%T\\Report.pdf", L"+%T\\Report.crx = 101@@@@@1@@@@@DMSSRV@@@@@ACTIVE", L"refresh"}},
      {"portable mode: profile files beside each copy, one editor each", false,
       {{L"First"}, {L"Second"}, {.name = L"Third", .shortcut = true}}, 0, Fault::kNone, S_OK,
       {kUsage, Editor(portable + L"101_1.PDF"), Editor(portable + L"102_1.PDF"),
        Editor(portable + L"103_1.PDF"), CheckOut(L"First", portable + L"101_1.PDF"),
        CheckOut(L"Second", portable + L"102_1.PDF"), CheckOut(L"Third", portable + L"103_1.PDF"),
        L"+" + portable + L"101_1.PDF", L"+" + portable + L"101_1.prf", L"+" + portable + L"102_1.PDF",
        L"+" + portable + L"102_1.prf", L"+" + portable + L"103_1.PDF", L"+" + portable + L"103_1.prf",
        L"refresh"}},
      {"somebody else's, its file here, No: nothing opens", true,
       {{L"Report", L"asmith", L"checkout.pdf"}}, IDNO, Fault::kNone, S_OK,
       {kUsage, kAsked + std::wstring(L"asmith") + kQuestion, L"refresh"}},
      {"somebody else's, its file here, Yes: opened from it", true,
       {{L"Report", L"asmith", L"checkout.pdf"}}, IDYES, Fault::kNone, S_OK,
       {kUsage, kAsked + std::wstring(L"asmith") + kQuestion, Editor(L"%W\\checkout.pdf"),
        L"+%W\\checkout.crx = 101@@@@@1@@@@@DMSSRV@@@@@ACTIVE", L"refresh"}},
      {"somebody else's, no file here, Yes: a read-only copy", true, {{L"Report", L"asmith"}},
       IDYES, Fault::kNone, S_OK,
       {kUsage, kAsked + std::wstring(L"asmith") + kQuestion, Editor(L"%T\\Report.pdf"),
        L"Report: copy %T\\Report.pdf", L"+%T\\Report.pdf (read-only)",
        L"+%T\\Report.crx = 101@@@@@1@@@@@DMSSRV@@@@@ACTIVE", L"refresh"}},
      {"somebody else's that cannot be copied is skipped without a question", true,
       {{.name = L"Taken", .owner = L"asmith", .copyFails = true}, {L"Free"}}, 0, Fault::kNone,
       S_OK,
       {kUsage, Editor(L"%T\\Free.pdf"), CheckOut(L"Free", L"%T\\Free.pdf"), L"+%T\\Free.pdf",
        L"+%T\\Free.crx = 102@@@@@1@@@@@DMSSRV@@@@@ACTIVE", L"refresh"}},
      {"a second open keeps the link file there", true,
       {{L"Mine", L"jdoe", L"mine.pdf", "1@@@@@1@@@@@FIRST@@@@@OPEN"}}, IDYES, Fault::kNone, S_OK,
       {kUsage, kAsked + std::wstring(L"jdoe") + kQuestion, Editor(L"%W\\mine.pdf"), L"refresh"}},
      {"the session cannot be read: nothing, no refresh", true, {{L"Report"}}, 0, Fault::kSession,
       E_ACCESSDENIED, {kUsage}},
      {"an element that is no document ends the walk, no refresh", true,
       {{L"First"}, {nullptr}, {L"After"}}, 0, Fault::kNone, E_NOINTERFACE,
       {kUsage, Editor(L"%T\\First.pdf"), CheckOut(L"First", L"%T\\First.pdf"), L"+%T\\First.pdf",
        L"+%T\\First.crx = 101@@@@@1@@@@@DMSSRV@@@@@ACTIVE"}},
      {"the editor cannot be started: the check-out is released, no file stays", true,
       {{L"Report"}}, 0, Fault::kEditorMissing, S_OK,
       {L"asked Error: Path not found.", CheckOut(L"Report", L"%T\\Report.pdf"),
        L"Report: UnlockDocument()", L"refresh"}},
  };
  const std::wstring empty = Work(L"empty");
  ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
  SetString(HKEY_CURRENT_USER, kPortableKey, L"PORTABLE_DIRECTORY", Work(L"portable"));
  RunEffects effects(journal, m_work);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    journal.Clear();
    NewCommand();
    m_database = nullptr;  // a new database and session for each row
    m_profileIni.Write(row.temporary ? L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\n" : L"");
    m_installPath.SetString((row.fault == Fault::kEditorMissing ? empty : testbed::ProductFolder()) + L"\\");
    std::vector<IDispatch*> selection;
    std::vector<tb::Document*> documents;
    long number = 100;
    for (const Pdf& pdf : row.pdfs) {
      if (!pdf.name) {
        selection.push_back(Keep(tb::NewObject()));
        continue;
      }
      tb::Document* document = Doc(pdf.name, L"PDF", kPdfContent, ++number);
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
      if (row.fault == Fault::kSession) Database()->Fail(L"Session", E_ACCESSDENIED);
      documents.push_back(document);
      selection.push_back(pdf.shortcut ? Keep(tb::NewShortcut(document)) : document);
    }
    Select(kNrt, selection);
    const auto before = TempFolderEntries();
    effects.Start();
    // The shell's own box about a program it cannot find has only OK.
    Answers answers([&](HWND box) { PostMessageW(box, WM_COMMAND, row.answer ? row.answer : IDOK, 0); });
    EXPECT_EQ(row.result, m_command->Execute());
    std::vector<std::wstring> seen = answers.Stop();
    if (Refreshed()) seen.push_back(L"refresh");
    EXPECT_EQ(Lines(row.effects), effects.Render(documents, seen));
    // What the editor was given stays for it; the test removes it.
    for (const std::wstring& name : TempFolderEntries())
      if (!before.count(name)) {
        SetFileAttributesW((TempFolder() + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW((TempFolder() + name).c_str());
      }
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
