// Open with the conversion tool on the testbed's documents: the copies in the temporary folder,
// the file list the tool reads, whether the tool starts, and what is left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/open/open_in_cnv.h"
#include "tests/run_effects.h"

namespace {

using namespace testing_support;

constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr wchar_t kIMan[] = L"SelectedIManObjects";
constexpr wchar_t kUsage[] = L"usagestats.exe ec|iManage|ea|Open|el|Conversion%20Desk -> recorded, exit 0";

// A selected element: a document, or with a null name an object that is no document.
struct Element {
  const wchar_t* name;
  const wchar_t* extension = L"PDF";
  long number = 0;
  bool copyFails = false;
};
enum class Objects { kNone, kEmpty, kUnreadable };  // "SelectedIManObjects" beside empty documents

struct Row {
  const char* what;
  std::vector<Element> documents;  // "SelectedNRTDocuments"; none with kNone: no item at all
  Objects objects;
  bool toolMissing;
  HRESULT result;
  std::vector<std::wstring> effects;  // %L: the file list
};

// The tool's run on a list of `count` selected elements that names these copies.
std::wstring Tool(int count, const std::vector<std::wstring>& copies) {
  std::wstring line = L"vpdfassist.exe \"%L\" /tempfile -> list utf16le, exit 0: [FILES]\nCount=" +
                      std::to_wstring(count) + L"\nDMSLinkID=768\nDelete=1\n";
  for (size_t i = 0; i < copies.size(); ++i)
    line += std::to_wstring(i + 1) + L"=\"%T\\" + copies[i] + L"\"\n";
  return line;
}

class OpenInCnvTest : public CommandRunTest<vpdf::COpenInCnv> {};

TEST_F(OpenInCnvTest, Runs) {
  const Row rows[] = {
      {"a PDF and an XPS whose name ends with its extension", {{L"Scan"}, {L"Plan.xps", L"XPS"}},
       Objects::kNone, false, S_OK,
       {kUsage, Tool(2, {L"Scan.pdf", L"Plan.xps"}), L"Scan: copy %T\\Scan.pdf",
        L"Plan.xps: copy %T\\Plan.xps", L"+%T\\Scan.pdf", L"+%T\\Plan.xps", L"+%L"}},
      {"no name: database_number_version; the extension in another case",
       {{L"", L"PDF", 4711}, {L"Draft.PDF", L"pdf"}}, Objects::kNone, false, S_OK,
       {kUsage, Tool(2, {L"ACTIVE_4711_1.pdf", L"Draft.PDF"}), L": copy %T\\ACTIVE_4711_1.pdf",
        L"Draft.PDF: copy %T\\Draft.PDF", L"+%T\\ACTIVE_4711_1.pdf", L"+%T\\Draft.PDF", L"+%L"}},
      {"the second of three copies fails: nothing is left, nothing starts",
       {{L"First"}, {L"Second", L"PDF", 0, true}, {L"Third"}}, Objects::kNone, false,
       E_ACCESSDENIED, {kUsage, L"First: copy %T\\First.pdf"}},
      {"an element that is no document: the tool gets what was copied before it",
       {{L"First"}, {nullptr}, {L"After"}}, Objects::kNone, false, E_NOINTERFACE,
       {kUsage, Tool(3, {L"First.pdf"}), L"First: copy %T\\First.pdf", L"+%T\\First.pdf", L"+%L"}},
      {"no selection", {}, Objects::kNone, false, S_OK, {kUsage}},
      {"empty documents and objects", {}, Objects::kEmpty, false, S_OK, {kUsage}},
      {"empty documents, unreadable objects", {}, Objects::kUnreadable, false, E_INVALIDARG,
       {kUsage}},
      // The folder is empty: not even the usage helper starts; the shell says so.
      {"the tool cannot be started: logged, and its copies and list go", {{L"Scan"}},
       Objects::kNone, true, S_OK, {L"asked Error: File not found.", L"Scan: copy %T\\Scan.pdf"}},
  };
  const std::wstring empty = Work(L"empty");
  ASSERT_TRUE(CreateDirectoryW(empty.c_str(), nullptr));
  RunEffects effects(journal, m_work);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    journal.Clear();
    log.Clear();
    NewCommand();
    testbed::PointProductAt(row.toolMissing ? empty : testbed::ProductFolder());
    std::vector<IDispatch*> selection;
    std::vector<tb::Document*> documents;
    for (const Element& element : row.documents) {
      if (!element.name) {
        selection.push_back(Keep(tb::NewObject()));
        continue;
      }
      documents.push_back(Doc(element.name, element.extension, "%PDF-1.4\n%%EOF\n", element.number));
      if (element.copyFails) documents.back()->Fail(L"GetCopy", E_ACCESSDENIED);
      selection.push_back(documents.back());
    }
    if (!row.documents.empty() || row.objects != Objects::kNone) Select(kNrt, selection);
    if (row.objects == Objects::kEmpty) Select(kIMan, {});
    if (row.objects == Objects::kUnreadable) SelectUnreadable(kIMan);
    const auto before = TempFolderEntries();
    effects.Start();
    Answers answers([](HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); });
    EXPECT_EQ(row.result, m_command->Execute());
    std::wstring listPath;
    for (const std::wstring& name : TempFolderEntries())
      if (!before.count(name) && name.size() > 4 && name.substr(name.size() - 4) == L".txt")
        listPath = TempFolder() + name;
    std::vector<std::wstring> expected = row.effects;
    for (std::wstring& line : expected)
      for (size_t at; (at = line.find(L"%L")) != std::wstring::npos;)
        line.replace(at, 2, L"%T\\" + listPath.substr(TempFolder().size()));
    EXPECT_EQ(Lines(expected), effects.Render(documents, answers.Stop()));
    if (row.toolMissing) {
      EXPECT_TRUE(log.Has(Utf8(L"LaunchConverter: " + empty + L"\\vpdfassist.exe could not be "
                                                              L"started, error 2")));
    }
    // What the tool was handed is its to delete.
    if (!listPath.empty()) m_command->DeleteFileList(listPath);
  }
}

}  // namespace
