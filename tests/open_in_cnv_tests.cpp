// Open with the conversion tool on the testbed's documents: the copies in the temporary folder,
// the file list the tool reads, whether the tool starts, and what is left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/open/open_in_cnv.h"
#include "testbed/sweep/faults.h"
#include "tests/command_run_support.h"

namespace {

using namespace testing_support;

constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr wchar_t kIMan[] = L"SelectedIManObjects";
constexpr wchar_t kUsage[] =
    L"run usagestats.exe Software\\Ostrel\\PDF\\V1|5.1.0.2718|UA-271828182-1|ec|iManage|ea|Open|el|Conversion%20Desk -> recorded, exit 0\n";

// A selected element: a document, or with a null name an object that is no document.
struct Element {
  const wchar_t* name;
  const wchar_t* extension = L"PDF";
  bool copyFails = false;
};
enum class Objects { kNone, kEmpty, kUnreadable, kDocumentsUnreadable };  // "SelectedIManObjects" beside empty documents

struct Row {
  const char* what;
  std::vector<Element> documents;  // "SelectedNRTDocuments"; none with kNone: no item at all
  Objects objects;
  bool toolMissing;
  HRESULT result;
  std::wstring effects;
  long failedWrite = 0;  // the list's write that fails (six pieces, then a line per copy)
};

// The tool's run on a list of `count` selected elements that names these copies.
std::wstring Tool(int count, const std::vector<std::wstring>& copies) {
  std::wstring line = L"run vpdfassist.exe \"%TEMP%\\ss_#.txt\" /tempfile -> list utf16le, exit 0: "
                      L"[FILES] Count=" + std::to_wstring(count) + L" DMSLinkID=768 Delete=1";
  for (size_t i = 0; i < copies.size(); ++i)
    line += L" " + std::to_wstring(i + 1) + L"=\"%TEMP%\\" + copies[i] + L"\"";
  return line + L"\n";
}

class OpenInCnvTest : public CommandRunTest<vpdf::COpenInCnv> {};

TEST_F(OpenInCnvTest, Runs) {
  const std::wstring told = L"Ostrel Varnel PDF: Open with Conversion Desk could not finish: an unexpected error occurred; "
                            L"nothing was opened. -> OK\n";
  const Row rows[] = {
      {"a PDF and an XPS whose name ends with its extension", {{L"Scan"}, {L"Plan.xps", L"XPS"}},
       Objects::kNone, false, S_OK,
       kUsage + Tool(2, {L"Scan.pdf", L"Plan.xps"}) + L"101 copied to %TEMP%\\Scan.pdf, native format\n"
           L"102 copied to %TEMP%\\Plan.xps, native format\ntemp +Plan.xps\ntemp +Scan.pdf\ntemp +ss_#.txt\n"},
      {"no name: database_number_version; the extension in another case",
       {{L"", L"PDF"}, {L"Draft.PDF", L"pdf"}}, Objects::kNone, false, S_OK,
       kUsage + Tool(2, {L"ACTIVE_101_1.pdf", L"Draft.PDF"}) +
           L"101 copied to %TEMP%\\ACTIVE_101_1.pdf, native format\n102 copied to %TEMP%\\Draft.PDF, native format\n"
           L"temp +ACTIVE_101_1.pdf\ntemp +Draft.PDF\ntemp +ss_#.txt\n"},
      {"the second of three copies fails: nothing is left, nothing starts",
       {{L"First"}, {L"Second", L"PDF", true}, {L"Third"}}, Objects::kNone, false,
       E_ACCESSDENIED, told + kUsage + L"101 copied to %TEMP%\\First.pdf, native format\n"},
      {"the third copy's line cannot be written: nothing is left, nothing starts",
       {{L"First"}, {L"Second"}, {L"Third"}}, Objects::kNone, false,
       HRESULT_FROM_WIN32(ERROR_WRITE_FAULT), told + kUsage + L"101 copied to %TEMP%\\First.pdf, native format\n"
       L"102 copied to %TEMP%\\Second.pdf, native format\n103 copied to %TEMP%\\Third.pdf, native format\n", 9},
      {"an element that is no document: the tool gets what was copied before it, the user is told of the rest",
       {{L"First"}, {nullptr}, {L"After"}}, Objects::kNone, false, E_NOINTERFACE,
       std::wstring(L"Ostrel Varnel PDF: 2 of 3 documents could not be opened. -> OK\n") + kUsage + Tool(3, {L"First.pdf"}) + L"101 copied to %TEMP%\\First.pdf, native format\n"
           L"temp +First.pdf\ntemp +ss_#.txt\n"},
      {"no selection", {}, Objects::kNone, false, S_OK, kUsage},
      {"empty documents and objects", {}, Objects::kEmpty, false, S_OK, kUsage},
      {"empty documents, unreadable objects", {}, Objects::kUnreadable, false, E_INVALIDARG, told + kUsage},
      {"documents whose bounds cannot be read: nothing written, the person told", {}, Objects::kDocumentsUnreadable,
       false, S_OK, told + kUsage},
      // The folder is empty: not even the usage helper starts; the shell says so.
      {"the tool cannot be started: logged, and its copies and list go", {{L"Scan"}},
       Objects::kNone, true, S_OK,
       L"Error: File not found. -> OK\n101 copied to %TEMP%\\Scan.pdf, native format\n"},
  };
  const std::wstring empty = Work(L"empty");
  ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    log.Clear();
    NewRow();
    testbed::PointProductAt(row.toolMissing ? empty : testbed::ProductFolder());
    std::vector<IDispatch*> selection;
    long number = 100;
    for (const Element& element : row.documents) {
      if (!element.name) {
        selection.push_back(Keep(tb::NewObject()));
        continue;
      }
      selection.push_back(Doc(element.name, element.extension, "%PDF-1.4\n%%EOF\n", ++number));
      if (element.copyFails) static_cast<tb::Document*>(selection.back())->Fail(L"GetCopy", E_ACCESSDENIED);
    }
    if (!row.documents.empty() || row.objects != Objects::kNone) Select(kNrt, selection);
    if (row.objects == Objects::kEmpty) Select(kIMan, {});
    if (row.objects == Objects::kUnreadable) SelectUnreadable(kIMan);
    if (row.objects == Objects::kDocumentsUnreadable) SelectUnreadable(kNrt);
    const auto before = TempFolderEntries();
    harness::Answerer person;
    person.On(harness::Titled(L"Error"), {harness::Press(IDOK)}).On(harness::Titled(L"Ostrel Varnel PDF"), {harness::Press(IDOK)});
    sweep::Faults faults(GetModuleHandleW(nullptr), "WriteFile", row.failedWrite);
    faults.Arm(true);
    EXPECT_EQ(row.result, m_command->Execute());
    faults.Arm(false);
    person.Stop();
    std::wstring list;
    for (const std::wstring& name : TempFolderEntries())
      if (!before.count(name) && name.ends_with(L".txt")) list = name;
    EXPECT_EQ(row.effects, person.Log() + Effects());
    EXPECT_EQ(row.toolMissing, std::string::npos != log.Text().find(Utf8(L" LaunchConverter: " + empty + L"\\vpdfassist.exe could not be started, error 2\n")));
    // What the tool was handed is its to delete.
    if (!list.empty()) m_command->DeleteFileList(TempFolder() + list);
  }
}

}  // namespace
