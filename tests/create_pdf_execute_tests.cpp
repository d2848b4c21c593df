// Create PDF's run: the selected testbed documents are copied out, printed or converted by the
// testbed's helpers, merged by its plug-in in the order set in the real merge dialog (driven
// from a second thread), and saved back into the testbed's DMS through the save dialog.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "commands/createpdf/create_pdf.h"
#include "testbed/agents/journal.h"
#include "testbed/dms/tbdms.h"
#include "tests/testing/harness.h"
#include "tests/save_result_support.h"
#include "tests/testing/registry.h"
#include "tests/testing/trace_log.h"
#include "ui/progress_window.h"

namespace {

// The client's IManExt2.dll is installed: new documents go through the silent import.
testing::Environment* const g_client =
    testing::AddGlobalTestEnvironment(new testing_support::ClientInstallation);

using vpdf::CCreatePDF_I;
using vpdf::ComPtr;

constexpr wchar_t kSettingsKey[] = L"Software\\Ostrel\\PDF\\V1";
constexpr wchar_t kDialogKey[] = L"Software\\Ostrel\\PDF\\V1\\iManage Work";
constexpr wchar_t kMergeTitle[] = L"Merge items to one PDF";
constexpr wchar_t kSaveTitle[] = L"Save As";
using Titles = std::vector<std::wstring>;
constexpr int kMergeRadio = 217, kSingleRadio = 218, kUp = 214, kList = 216;
constexpr int kNewDocumentRadio = 206, kRelateBox = 203;

using testing_support::TempFolder;
using testing_support::Utf8;

std::wstring FileName(const std::wstring& path) {
  return path.substr(path.find_last_of(L'\\') + 1);
}

// Answers the dialogs that the test thread shows, one script per dialog in turn; a dialog
// beyond the scripts is cancelled. Records each dialog's title, whether the run's progress
// window showed, and whether it was in sight together with a dialog. `onProgress` runs once
// with the progress window when it first shows.
class DialogSequence {
 public:
  using Script = std::function<void(HWND)>;
  explicit DialogSequence(std::vector<Script> scripts, Script onProgress = {})
      : m_ui(GetCurrentThreadId()), m_scripts(std::move(scripts)), m_onProgress(std::move(onProgress)) {
    m_thread = std::thread([this] { Run(); });
  }
  ~DialogSequence() { Stop(); }
  void Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }
  const std::vector<std::wstring>& Titles() const { return m_titles; }
  bool ProgressSeen() const { return m_progressSeen; }
  std::chrono::steady_clock::time_point ProgressSeenAt() const { return m_progressSeenAt; }
  bool ProgressBesideADialog() const { return m_progressBesideADialog; }

 private:
  void Run() {
    while (!m_stop) {
      if (!m_progressSeen) {
        if (HWND progress = testing_support::VisibleWindowOf(m_ui, vpdf::kProgressWindowClass)) {
          m_progressSeen = true;
          m_progressSeenAt = std::chrono::steady_clock::now();
          if (m_onProgress) m_onProgress(progress);
        }
      }
      HWND dialog = testing_support::VisibleDialogOf(m_ui);
      if (!dialog) {
        Sleep(20);
        continue;
      }
      if (testing_support::VisibleWindowOf(m_ui, vpdf::kProgressWindowClass))
        m_progressBesideADialog = true;
      m_titles.push_back(testing_support::Text(dialog));
      if (m_next < m_scripts.size())
        m_scripts[m_next++](dialog);
      else
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      for (int i = 0; i < 500 && IsWindow(dialog) && IsWindowVisible(dialog); ++i) Sleep(20);
      if (IsWindow(dialog) && IsWindowVisible(dialog)) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      while (IsWindow(dialog) && IsWindowVisible(dialog)) Sleep(20);
    }
  }

  DWORD m_ui;
  std::vector<Script> m_scripts;
  Script m_onProgress;
  std::size_t m_next = 0;
  std::vector<std::wstring> m_titles;
  std::atomic<bool> m_progressSeen{false};
  std::chrono::steady_clock::time_point m_progressSeenAt;
  bool m_progressBesideADialog = false;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// Merge-dialog answers.
DialogSequence::Script Answer(bool merge, std::vector<int> rowsUp = {}) {
  return [merge, rowsUp](HWND dialog) {
    testing_support::Click(dialog, merge ? kMergeRadio : kSingleRadio);
    HWND list = testing_support::Control(dialog, kList);
    for (int row : rowsUp) {
      testing_support::SelectRow(list, row);
      testing_support::Click(dialog, kUp);
    }
    testing_support::Click(dialog, IDOK);
  };
}
DialogSequence::Script Cancel() {
  return [](HWND dialog) { testing_support::Click(dialog, IDCANCEL); };
}
// Save-dialog answer: a new DMS document related to its sources.
DialogSequence::Script SaveAsRelatedDocument() {
  return [](HWND dialog) {
    testing_support::Click(dialog, kNewDocumentRadio);
    if (!testing_support::Checked(dialog, kRelateBox)) testing_support::Click(dialog, kRelateBox);
    testing_support::Click(dialog, IDOK);
  };
}

class CreatePdfExecute : public testing_support::CleanTempFolderTest {
 protected:
  void SetUp() override {
    CleanTempFolderTest::SetUp();
    // The product's 32-bit install path goes with the keys that held it.
    auto owned = testing_support::MissingParts(
        {{HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1"}});
    owned.insert(owned.end(), {{HKEY_CURRENT_USER, kSettingsKey}, {HKEY_LOCAL_MACHINE, kSettingsKey}});
    keys = std::make_unique<testing_support::ScopedRegistryKeys>(owned);
    controls = std::make_unique<testbed::ScopedAgentControls>();
    testbed::PointProductAt(testbed::ProductFolder());
    content = TempFolder() + L"cpdf_execute_content";
    CreateDirectoryW(content.c_str(), nullptr);
    journal = std::make_unique<testbed::AgentJournal>();
    tb::Session* session = tb::Session::Create(L"jdoe", L"DMSSRV");
    database = tb::Database::Create(L"WORKSITE", session);
    session->Release();
    command = ComPtr<vpdf::CCreatePDF>(new vpdf::CCreatePDF);
    ASSERT_EQ(S_OK, tb::NewContextItems(context.Put()));
    ASSERT_EQ(S_OK, command->Initialize(context.Get()));
  }
  void TearDown() override {
    EXPECT_EQ(0, CCreatePDF_I::busy);
    EXPECT_EQ(0, CCreatePDF_I::merging);
    // The usage helper is not waited for by the command.
    journal->WaitFor(testbed::kUsageStatsExe, 1, 5000);
    tb::ResetClientCommands();
    for (IDispatch* object : owned) object->Release();
    owned.clear();
    database->Release();
    command.Reset();
    context.Reset();
    EXPECT_EQ(0, tb::LiveObjects()) << "a client object was not released";
    journal.reset();
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(content), ignored);
    CleanTempFolderTest::TearDown();
  }

  // A text document whose content shows `name`; released at the end.
  tb::Document* TextDoc(const std::wstring& name, long number, const std::wstring& file = {}) {
    std::wstring path = content + L"\\" + (file.empty() ? name : file) + L".txt";
    std::ofstream(path.c_str(), std::ios::binary) << "Content of " << Utf8(name) << "\r\n";
    tb::Document* document =
        tb::Document::Create(database, number, 1, name, L"ANSI", L"TXT", path);
    owned.push_back(document);
    return document;
  }
  void Select(const std::vector<IDispatch*>& objects) {
    VARIANT value;
    value.vt = VT_ARRAY | VT_DISPATCH;
    value.parray = tb::DispatchArray(objects);
    BSTR name = SysAllocString(L"SelectedNRTDocuments");
    ASSERT_EQ(S_OK, context->Add(name, value));
    SysFreeString(name);
    VariantClear(&value);
  }
  // The file names of the sources that the print agent was given, in order.
  std::vector<std::wstring> Printed() const {
    std::vector<std::wstring> names;
    for (const auto& entry : journal->Entries(testbed::kPrintAgentExe)) {
      std::wstring args = entry.Arguments();
      std::size_t open = args.find(L'"'), close = args.find(L'"', open + 1);
      names.push_back(FileName(args.substr(open + 1, close - open - 1)));
    }
    return names;
  }
  std::vector<std::wstring> MergeCalls() const {
    std::vector<std::wstring> calls;
    for (const auto& entry : journal->Entries(testbed::kMergePlugin))
      calls.push_back(entry.commandLine + L" -> " + entry.what);
    return calls;
  }

  // The first text line of each page of what the DMS stored for `document`.
  static std::vector<std::wstring> StoredPages(tb::Document* document) {
    std::vector<tbpdf::Page> pages;
    std::vector<std::wstring> headings;
    if (!tbpdf::Read(document->ContentPath(), pages)) return {L"(no PDF stored)"};
    for (const tbpdf::Page& page : pages) headings.push_back(page.empty() ? L"" : page[0]);
    return headings;
  }
  static std::vector<std::wstring> Relations(tb::Document* document) {
    std::vector<std::wstring> numbers;
    for (const tb::MemberCall& call : document->Recorded())
      if (call.member == L"RelateDocument") numbers.push_back(call.args.at(0));
    return numbers;
  }
  bool Refreshed() const {
    VARIANT value = testing_support::ContextItem(context.Get(), L"iManExt.Refresh");
    const bool set = value.vt == VT_BOOL && value.boolVal == VARIANT_TRUE;
    VariantClear(&value);
    return set;
  }

  std::unique_ptr<testing_support::ScopedRegistryKeys> keys;
  std::unique_ptr<testbed::ScopedAgentControls> controls;
  std::unique_ptr<testbed::AgentJournal> journal;
  std::wstring content;
  tb::Database* database = nullptr;
  ComPtr<vpdf::CCreatePDF> command;
  ComPtr<IContextItems> context;
  std::vector<IDispatch*> owned;
};

// --- Without the merge dialog ---

TEST_F(CreatePdfExecute, OneDocumentIsConvertedAndSavedAloneWithoutDialog) {
  Select({TextDoc(L"Budget", 101)});
  DialogSequence dialogs({});
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();
  EXPECT_FALSE(dialogs.ProgressSeen()) << "one fast conversion shows no progress window";
  EXPECT_EQ(Titles{kSaveTitle}, dialogs.Titles());
  EXPECT_EQ(std::vector<std::wstring>{L"Budget.txt"}, Printed());
  EXPECT_TRUE(MergeCalls().empty());
}

TEST_F(CreatePdfExecute, XpsDocumentIsConvertedWithoutThePrintAgent) {
  std::wstring path = content + L"\\plan.xps";
  ASSERT_TRUE(testbed::WriteXpsPackage(path, 2));
  tb::Document* plan = tb::Document::Create(database, 7, 2, L"Floor plan", L"XPS", L"XPS", path);
  owned.push_back(plan);
  Select({plan});
  DialogSequence dialogs({});  // the save question is cancelled
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();
  EXPECT_EQ(Titles{kSaveTitle}, dialogs.Titles());
  EXPECT_TRUE(Printed().empty());
  auto raster = journal->Entries(testbed::kRasterLibrary);
  ASSERT_EQ(1u, raster.size());
  EXPECT_EQ(L"P4ToPDFConvert(\"" + TempFolder() + L"Floor plan.xps\", \"" + TempFolder() +
                L"Floor plan.pdf\", 15, 0, 0)",
            raster[0].commandLine);
  EXPECT_EQ(L"0, pdf 2 pages", raster[0].what);
}

TEST_F(CreatePdfExecute, PdfDocumentsAreLeftOutAndNothingIsSaved) {
  tb::Document* pdf = tb::Document::Create(database, 9, 1, L"Scan", L"ACROBAT", L"PDF", L"");
  owned.push_back(pdf);
  Select({pdf});
  DialogSequence dialogs({});
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();
  EXPECT_TRUE(dialogs.Titles().empty());
  EXPECT_EQ(0, pdf->Calls(L"GetCopy"));
  EXPECT_TRUE(tb::StoredDocuments().empty());
}

TEST_F(CreatePdfExecute, AFailingObjectModelCallIsCaughtAndEndsTheRun) {
  tb::Document* document = TextDoc(L"Broken", 5);
  document->Fail(L"Extension", E_ACCESSDENIED);
  Select({document});
  DialogSequence dialogs({});
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();
  EXPECT_TRUE(dialogs.Titles().empty());
  EXPECT_TRUE(Printed().empty());
  EXPECT_TRUE(tb::StoredDocuments().empty());
}

// --- Through the merge dialog ---

TEST_F(CreatePdfExecute, MergeFollowsTheOrderSetInTheDialog) {
  Select({TextDoc(L"Alpha", 1), TextDoc(L"Beta", 2), TextDoc(L"Gamma", 3)});
  DialogSequence dialogs({Answer(true, {2})});  // Gamma one place up
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();
  EXPECT_EQ((Titles{kMergeTitle, kSaveTitle}), dialogs.Titles());

  EXPECT_EQ((std::vector<std::wstring>{L"Alpha.txt", L"Gamma.txt", L"Beta.txt"}), Printed());
  const std::wstring t = TempFolder();
  EXPECT_EQ((std::vector<std::wstring>{
                L"InitPDFAttach(0) -> 0",
                L"DoOpenFile(\"" + t + L"Alpha.pdf\", \"\") -> 0, handle 1, 1 pages",
                L"DoMerge2(handle 1, \"" + t + L"Gamma.pdf\", \"\", \"\", \"\", \"\", \"\", 0) -> 0, 2 pages",
                L"DoMerge2(handle 1, \"" + t + L"Beta.pdf\", \"\", \"\", \"\", \"\", \"\", 0) -> 0, 3 pages",
                L"DoSaveFile(\"" + t + L"Alpha.pdf\", handle 1, 0) -> 0, 3 pages written",
                L"EndPDFAttach(0) -> 0"}),
            MergeCalls());
}

TEST_F(CreatePdfExecute, DocumentsThatCannotBeCopiedOrPrintedAreLeftOut) {
  tb::Document* alpha = TextDoc(L"Alpha", 1);
  tb::Document* beta = TextDoc(L"Beta", 2);
  tb::Document* gamma = TextDoc(L"Gamma", 3);
  beta->Fail(L"GetCopy", E_FAIL);
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"Gamma.txt", testbed::kFail);
  Select({alpha, beta, gamma});
  {
    DialogSequence dialogs({Answer(false)});
    EXPECT_EQ(S_OK, command->Execute());
    dialogs.Stop();
    EXPECT_EQ((Titles{kMergeTitle, kSaveTitle}), dialogs.Titles()) << "one result, one question";
  }
  EXPECT_EQ((std::vector<std::wstring>{L"Alpha.txt", L"Gamma.txt"}), Printed());

  // The same in a merge: the two others are merged.
  journal->Clear();
  testbed::ClearAgentControls();
  beta->Fail(L"GetCopy", S_OK);
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"Alpha.txt", testbed::kFail);
  DialogSequence dialogs({Answer(true)});
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();
  EXPECT_EQ((Titles{kMergeTitle, kSaveTitle}), dialogs.Titles());
  auto calls = MergeCalls();
  ASSERT_EQ(5u, calls.size());
  EXPECT_NE(std::wstring::npos, calls[1].find(L"DoOpenFile(\"" + TempFolder() + L"Beta.pdf")) << Utf8(calls[1]);
  EXPECT_NE(std::wstring::npos, calls[2].find(L"Gamma.pdf")) << Utf8(calls[2]);
}

TEST_F(CreatePdfExecute, FailedMergeSessionSavesNothing) {
  Select({TextDoc(L"Alpha", 1), TextDoc(L"Beta", 2)});
  testbed::SetMergeInitResult(7);
  DialogSequence dialogs({Answer(true)});
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();
  EXPECT_EQ(2u, Printed().size());
  EXPECT_EQ(std::vector<std::wstring>{L"InitPDFAttach(0) -> 7"}, MergeCalls());
  EXPECT_EQ(Titles{kMergeTitle}, dialogs.Titles());
  EXPECT_TRUE(tb::StoredDocuments().empty());
}

TEST_F(CreatePdfExecute, ForbiddenCharactersAreReplacedAndATakenNameIsNumbered) {
  Select({TextDoc(L"?*:", 1, L"first"), TextDoc(L"<|>", 2, L"second")});
  DialogSequence dialogs({Answer(true)});
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();
  EXPECT_EQ((std::vector<std::wstring>{L"___.txt", L"___001.txt"}), Printed());
  auto calls = MergeCalls();
  ASSERT_EQ(5u, calls.size());
  EXPECT_NE(std::wstring::npos, calls[2].find(L"___001.pdf\"")) << Utf8(calls[2]);
  EXPECT_NE(std::wstring::npos, calls[3].find(L"2 pages written")) << Utf8(calls[3]);
}

TEST_F(CreatePdfExecute, CancelLeavesNothingBehind) {
  Select({TextDoc(L"Alpha", 1), TextDoc(L"Beta", 2)});
  DialogSequence dialogs({Cancel()});
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();
  EXPECT_EQ(Titles{kMergeTitle}, dialogs.Titles());
  EXPECT_TRUE(Printed().empty());
  EXPECT_TRUE(tb::StoredDocuments().empty());
  EXPECT_FALSE(testing_support::ValueExists(HKEY_CURRENT_USER, kDialogKey, L"do_merge"));
  EXPECT_FALSE(testing_support::ValueExists(HKEY_CURRENT_USER, kDialogKey, L"how_to_save"));
}

// A second Execute, reached while the first one's dialog pumps messages, returns at once.
ComPtr<vpdf::CCreatePDF>* g_reentered = nullptr;
HRESULT g_nestedResult = E_FAIL;
LONG g_busyInside = -1;
std::atomic<bool> g_nestedDone{false};

void CALLBACK Reenter(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_busyInside = CCreatePDF_I::busy;
  g_nestedResult = (*g_reentered)->Execute();
  g_nestedDone = true;
}

TEST_F(CreatePdfExecute, SecondExecuteWhileTheDialogIsUpReturnsAtOnce) {
  Select({TextDoc(L"Alpha", 1), TextDoc(L"Beta", 2)});
  g_reentered = &command;
  SetTimer(nullptr, 0, 100, Reenter);
  DialogSequence dialogs({[](HWND dialog) {
    for (int i = 0; i < 200 && !g_nestedDone; ++i) Sleep(20);
    testing_support::Click(dialog, IDCANCEL);
  }});
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();
  EXPECT_EQ(S_OK, g_nestedResult);
  EXPECT_TRUE(g_nestedDone);
  EXPECT_EQ(1, g_busyInside);
  EXPECT_EQ(Titles{kMergeTitle}, dialogs.Titles()) << "the nested run asked nothing";
  EXPECT_TRUE(Printed().empty());
  g_reentered = nullptr;
}

TEST_F(CreatePdfExecute, ExceptionAfterTheDialogClearsTheFlags) {
  tb::Document* beta = TextDoc(L"Beta", 2);
  Select({TextDoc(L"Alpha", 1), beta});
  DialogSequence dialogs({[beta](HWND dialog) {
    beta->Fail(L"Extension", E_ACCESSDENIED);
    Answer(true)(dialog);
  }});
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();
  EXPECT_EQ(Titles{kMergeTitle}, dialogs.Titles());
  EXPECT_TRUE(tb::StoredDocuments().empty());
}

// --- Saved back into the DMS ---

TEST_F(CreatePdfExecute, OneDocumentBecomesANewDocumentRelatedToItsSourceWithHistoryOnBothSides) {
  tb::Document* budget = TextDoc(L"Budget", 101);
  Select({budget});
  {
    DialogSequence dialogs({SaveAsRelatedDocument()});
    EXPECT_EQ(S_OK, command->Execute());
  }
  auto stored = tb::StoredDocuments();
  ASSERT_EQ(1u, stored.size());
  tb::Document* created = stored[0];
  EXPECT_EQ(std::vector<std::wstring>{L"Budget.txt"}, StoredPages(created));
  EXPECT_EQ(std::vector<std::wstring>{L"101"}, Relations(created));
  EXPECT_EQ(std::vector<std::wstring>{std::to_wstring(created->GetLong(L"Number"))},
            Relations(budget));
  ASSERT_EQ(1u, created->History().size());
  EXPECT_EQ(L"Create from document 101 version 1 in database \"WORKSITE\" ",
            created->History()[0].comment);
  ASSERT_EQ(1u, budget->History().size());
  EXPECT_EQ(L"Document " + std::to_wstring(created->GetLong(L"Number")) +
                L" version 1 in database \"DB1\" created from this document",
            budget->History()[0].comment);
  EXPECT_TRUE(Refreshed());
}

TEST_F(CreatePdfExecute, MergedPdfIsStoredOnceWithThePagesInTheDialogsOrder) {
  tb::Document* alpha = TextDoc(L"Alpha", 1);
  tb::Document* beta = TextDoc(L"Beta", 2);
  tb::Document* gamma = TextDoc(L"Gamma", 3);
  Select({alpha, beta, gamma});
  {
    DialogSequence dialogs({Answer(true, {2, 1}), SaveAsRelatedDocument()});  // Gamma to the top
    EXPECT_EQ(S_OK, command->Execute());
    dialogs.Stop();
    EXPECT_TRUE(dialogs.ProgressSeen());
    EXPECT_FALSE(dialogs.ProgressBesideADialog()) << "the progress window hides for the dialogs";
    EXPECT_FALSE(testing_support::VisibleWindowOf(GetCurrentThreadId(), vpdf::kProgressWindowClass));
  }
  auto stored = tb::StoredDocuments();
  ASSERT_EQ(1u, stored.size()) << "one merged PDF, saved once";
  EXPECT_EQ((std::vector<std::wstring>{L"Gamma.txt", L"Alpha.txt", L"Beta.txt"}),
            StoredPages(stored[0]));
  EXPECT_EQ((std::vector<std::wstring>{L"3", L"1", L"2"}), Relations(stored[0]));
  for (tb::Document* source : {alpha, beta, gamma}) EXPECT_EQ(1u, source->History().size());
  EXPECT_TRUE(Refreshed());
}

TEST_F(CreatePdfExecute, OnePdfEachIsStoredPerDocumentInSelectionOrder) {
  Select({TextDoc(L"Alpha", 1), TextDoc(L"Beta", 2), TextDoc(L"Gamma", 3)});
  {
    DialogSequence dialogs({Answer(false), SaveAsRelatedDocument(), SaveAsRelatedDocument(),
                            SaveAsRelatedDocument()});
    EXPECT_EQ(S_OK, command->Execute());
  }
  auto stored = tb::StoredDocuments();
  ASSERT_EQ(3u, stored.size());
  const wchar_t* names[] = {L"Alpha.txt", L"Beta.txt", L"Gamma.txt"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(std::vector<std::wstring>{names[i]}, StoredPages(stored[i]));
    EXPECT_EQ(std::vector<std::wstring>{std::to_wstring(i + 1)}, Relations(stored[i]));
  }
  EXPECT_TRUE(MergeCalls().empty());
}

// --- Cancelled through the progress window ---

std::wstring ProgressText(HWND progress, int id) {
  return testing_support::Text(testing_support::Control(progress, id));
}

TEST_F(CreatePdfExecute, CancelDuringAMergeEndsTheRunningAgentAndLeavesNothing) {
  std::vector<IDispatch*> parts;
  for (long n = 1; n <= 5; ++n) parts.push_back(TextDoc(L"Part" + std::to_wstring(n), n));
  Select(parts);
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"Part3.txt", testbed::kHang);
  std::wstring title, document, step;
  DialogSequence dialogs({Answer(true)}, [&](HWND progress) {
    journal->WaitFor(testbed::kPrintAgentExe, 3);  // the third agent hangs
    title = testing_support::Text(progress);
    document = ProgressText(progress, vpdf::kProgressDocumentText);
    step = ProgressText(progress, vpdf::kProgressStepText);
    testing_support::Click(progress, IDCANCEL);
  });
  EXPECT_EQ(S_OK, command->Execute());
  dialogs.Stop();

  EXPECT_EQ(L"Create PDF", title);
  EXPECT_EQ(L"Document 3 of 5: Part3", document);
  EXPECT_EQ(L"Converting to PDF...", step);
  EXPECT_EQ((std::vector<std::wstring>{L"Merge items to one PDF"}), dialogs.Titles());
  EXPECT_EQ((std::vector<std::wstring>{L"Part1.txt", L"Part2.txt", L"Part3.txt"}), Printed());
  EXPECT_EQ(L"hang", journal->Entries(testbed::kPrintAgentExe).back().what);
  EXPECT_TRUE(testing_support::ChildProcesses(testbed::kPrintAgentExe).empty());
  EXPECT_TRUE(MergeCalls().empty());
  EXPECT_TRUE(tb::StoredDocuments().empty());
  for (IDispatch* part : parts) {
    EXPECT_TRUE(static_cast<tb::Document*>(part)->History().empty());
    EXPECT_TRUE(Relations(static_cast<tb::Document*>(part)).empty());
  }
  EXPECT_FALSE(testing_support::VisibleWindowOf(GetCurrentThreadId(), vpdf::kProgressWindowClass));
}

TEST_F(CreatePdfExecute, ASlowConversionShowsProgressAfterASecondAndCancelReturnsAtOnce) {
  Select({TextDoc(L"Budget", 101)});
  testbed::SetAgentBehaviour(testbed::kPrintAgent, L"Budget.txt", testbed::kHang);
  using Clock = std::chrono::steady_clock;
  Clock::time_point cancelledAt;
  std::wstring document;
  DialogSequence dialogs({}, [&](HWND progress) {
    document = ProgressText(progress, vpdf::kProgressDocumentText);
    cancelledAt = Clock::now();
    testing_support::Click(progress, IDCANCEL);
  });
  const Clock::time_point started = Clock::now();
  EXPECT_EQ(S_OK, command->Execute());
  const Clock::time_point returned = Clock::now();
  dialogs.Stop();

  ASSERT_TRUE(dialogs.ProgressSeen());
  EXPECT_GE(dialogs.ProgressSeenAt() - started, std::chrono::milliseconds(900));
  EXPECT_LT(returned - cancelledAt, std::chrono::seconds(2));
  EXPECT_EQ(L"Document 1 of 1: Budget", document);
  EXPECT_EQ(1u, journal->Entries(testbed::kPrintAgentExe).size());
  EXPECT_TRUE(testing_support::ChildProcesses(testbed::kPrintAgentExe).empty());
  EXPECT_TRUE(dialogs.Titles().empty()) << "no save question after a cancel";
  EXPECT_TRUE(tb::StoredDocuments().empty());
}

}  // namespace
