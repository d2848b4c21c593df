// Import of a new DMS document, as Create PDF saves its result as a new document related to
// its sources: silently through the client's import command, or through its new-document
// command with the profile dialog (UseProfile), and every way the import can fail.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "commands/createpdf/create_pdf.h"
#include "tests/save_result_support.h"

namespace {

using namespace testing_support;

testing::Environment* const g_client = testing::AddGlobalTestEnvironment(new ClientInstallation);

constexpr int kNewDocumentRadio = 206, kRelateBox = 203;

struct Row {
  const char* what;
  bool useProfile;
  tb::ClientScript script;
  const wchar_t* checkInFails;  // the imported document's member that fails
  std::wstring effects;         // beyond the save-choice dialog and the deleted files
};

constexpr wchar_t kSilent[] = L"IManExt.Import.DocType IManExt.Import.DocDescription IManDMS IManExt.NoZeroByteCreation";
constexpr wchar_t kProfile[] = L"IManExt.Import.DocType IManExt.Import.FileName IManExt.Import.DocDescription IManExt.Import.KeepCheckedOut DestinationObject SelectedNRTFolder";
const std::wstring kRelated =
    L"1001 history 9 \"Document 9001 version 1 in database \"DB1\" created from this document\"\n"
    L"1001 related to 9001\n";

class ImportDocumentTest : public CommandRunTest<vpdf::CCreatePDF> {};

TEST_F(ImportDocumentTest, SavedAsANewDocumentRelatedToItsSource) {
  const auto script = [](long status, HRESULT result, tb::UserAction user, std::optional<bool> out) {
    tb::ClientScript s;
    std::tie(s.status, s.executeResult, s.user, s.checkedOut, s.newNumber) = std::tuple(status, result, user, out, 9001L);
    return s;
  };
  using tb::UserAction;
  const std::wstring history = L"9001 history 9 \"Create from document 1001 version 1 in database \"ACTIVE\" \"\n";
  // The import command's run with its context items, as the client got them.
  const std::wstring silent = L"client import: " + std::wstring(kSilent) + L"\n",
                     profile = L"client new document: " + std::wstring(kProfile) + L"\n";
  const Row rows[] = {
      {"silent: the history, the check-in, the relations both ways, the refresh", false,
       script(0, S_OK, UserAction::kAccept, true), nullptr,
       silent + L"refresh\n" + kRelated + L"stored 9001 v1 \"Contract\" \n" +
           history + L"9001 imported \"Contract\" type ACROBAT\n9001 checked in from %TEMP%\\Contract.pdf as a new document\n"
           L"9001 related to 1001\n"},
      {"silent, the new document not checked out: left alone", false,
       script(0, S_OK, UserAction::kAccept, false), nullptr,
       silent + L"refresh\n" + kRelated + L"stored 9001 v1 \"Contract\" \n9001 imported \"Contract\" type ACROBAT\n"
       L"9001 related to 1001\n"},
      {"silent, the check-in fails: no relation, no refresh", false,
       script(0, S_OK, UserAction::kAccept, true), L"CheckInEx", silent + history},
      {"the import command is not active: nothing stored, nothing related", false,
       script(1, S_OK, UserAction::kAccept, true), nullptr, L"client import:\nrefresh\n"},
      {"the import fails: nothing stored, no relation, no refresh", false,
       script(0, E_ACCESSDENIED, UserAction::kNothing, true), nullptr, silent},
      {"with UseProfile the profile dialog: no history, no check-in", true,
       script(0, S_OK, UserAction::kAccept, {}), nullptr,
       profile + L"refresh\n" + kRelated +
           L"stored 9001 v1 \"Contract\" pdf\n9001 imported \"Contract\" type ACROBAT into folder 77, not kept checked out\n"
           L"9001 related to 1001\n"},
      {"the profile dialog cancelled: nothing stored", true,
       script(0, S_OK, UserAction::kCancel, {}), nullptr, profile + L"refresh\n"},
  };
  tbreg::Value useProfile{HKEY_CURRENT_USER, kProductWorkSiteKey, L"UseProfile"};
  tb::Document* source = Doc(L"Contract", L"docx");
  tb::FileInFolder(source, 77, L"Contracts");  // the new document is filed beside it
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::wstring pdf = TempFolder() + L"Contract.pdf", copy = TempFolder() + L"Contract.docx";
    for (const std::wstring& file : {pdf, copy}) WriteText(file, "%PDF-1.4\n");
    NewRow();
    useProfile.SetDword(row.useProfile);
    tb::ClientScript script = row.script;
    if (row.checkInFails)
      script.onAccept = [&](IContextItems* context) {
        tb::Document* made = Doc(L"Contract", L"pdf", "%PDF-1.4\n", 9001);
        made->SetBool(L"CheckedOut", true);
        made->Fail(row.checkInFails, E_ACCESSDENIED);
        harness::AddItem(context, L"ImportedDocument", made);
      };
    tb::SetClientScript(row.useProfile ? tb::ClientCommandKind::kNewDocument
                                       : tb::ClientCommandKind::kSilentImport, script);
    harness::Answerer person;
    person.On(harness::WithControl(kNewDocumentRadio),
              {harness::Pick(kNewDocumentRadio), harness::Check(kRelateBox, true), harness::Press(IDOK)});
    EXPECT_EQ(S_OK, m_command->SaveResult(source, pdf, copy, {vpdf::ComPtr<IDispatch>(source)}, false));
    person.Stop();
    std::wstring seen;
    for (const tb::ClientCommandRun& run : tb::ClientCommandRuns()) {
      seen += std::wstring(L"client ") +
              (run.kind == tb::ClientCommandKind::kSilentImport ? L"import:" : L"new document:");
      for (const tb::ContextRecord& record : run.context) seen += L" " + record.name;
      seen += L"\n";
    }
    if (Refreshed()) seen += L"refresh\n";
    EXPECT_EQ(row.effects + L"temp -Contract.docx\ntemp -Contract.pdf\n", seen + world.Effects());
    EXPECT_EQ(L"", person.Unanswered());
  }
  tb::ResetClientCommands();
}

}  // namespace
