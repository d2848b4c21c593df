// Local names for the copies of DMS documents: working folders, document paths and SS_ names,
// what each makes on disk and what is left when its owner goes.
#include "convutils/temp_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <functional>
#include <tuple>
#include <filesystem>
#include <new>
#include <regex>
#include <string>

#include "dms/working_copy.h"
#include "testbed/dms/tbdms.h"
#include "testbed/harness/import_hook.h"
#include "testbed/pdf/tbpdf.h"
#include "tests/settings_support.h"

// Armed by a test: the program's next allocation fails (the library's delete frees with free()).
static bool g_failAllocation = false;
void* operator new(std::size_t size) {
  void* block = g_failAllocation ? nullptr : malloc(size ? size : 1);
  g_failAllocation = false;
  return block ? block : throw std::bad_alloc();
}

namespace {

using testing_support::TempFolder;
using testing_support::Utf8;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
std::wstring Parent(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

// `pattern` with # for a number of three or more digits, % for hex digits, * for any text.
bool Matches(const std::wstring& path, const std::wstring& pattern) {
  std::string expression;
  for (char c : Utf8(pattern))
    expression += c == '#' ? "[0-9]{3,}" : c == '%' ? "[0-9a-f]+" : c == '*' ? ".*"
                  : std::isalnum(static_cast<unsigned char>(c)) ? std::string(1, c) : std::string("\\") + c;
  return std::regex_match(Utf8(path), std::regex(expression));
}

// A folder of the test's own inside the temporary folder, removed with everything in it.
struct ScopedFolder {
  explicit ScopedFolder(const wchar_t* name) : path(TempFolder() + name) { CreateDirectoryW(path.c_str(), nullptr); }
  ~ScopedFolder() {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path), ignored);
  }
  const std::wstring path;
};

// A folder that reports itself read-only: Windows keeps the attribute on a folder of ours,
// Wine reports it only for a folder without write permission, such as /proc on drive Z.
std::wstring ReadOnlyFolder(const std::wstring& own) {
  SetFileAttributesW(own.c_str(), FILE_ATTRIBUTE_READONLY);
  for (const std::wstring& folder : {own, std::wstring(L"Z:\\proc")})
    if ((GetFileAttributesW(folder.c_str()) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) ==
        (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
      return folder;
  return {};
}

using TemporaryFiles = testing_support::CleanTempFolderTest;

TEST_F(TemporaryFiles, EachNameIsMadeWhereItBelongsAndGoesWithItsOwner) {
  ScopedFolder given(L"vpdf_given"), readOnly(L"vpdf_readonly"), configured(L"vpdf_configured");
  const std::wstring G = given.path, T = TempFolder(), lockedFolder = ReadOnlyFolder(readOnly.path);
  ASSERT_FALSE(lockedFolder.empty()) << "no folder here reports itself read-only";
  std::wstring t = T;
  CharLowerW(t.data());
  tbpdf::WriteFileBytes(G + L"\\plain.txt", "x");
  std::vector<std::wstring> scans(1000, T);  // a thousand files of a scanner's default name, Scan.txt to Scan999.txt
  for (int n = 0; n < 1000; ++n) tbpdf::WriteFileBytes(scans[n] += (n ? L"Scan" + std::to_wstring(1000 + n).substr(1) : L"Scan") + L".txt", "");
  tbpdf::WriteFileBytes(scans.emplace_back(T + L"dml.txt_.._.._keep_r"), "somebody else's");
  testing_support::ScopedProfileIni ini;
  // The working folder's name is known after one call: iman and three digits.
  const size_t folder = G.size() + 9, fits = 254 - folder;
  enum Kind { kWorkFolder, kTempFolder, kDocument, kConfiguredDocument, kSsName };
  const struct {
    Kind kind; std::wstring given, name;
    const wchar_t* extension;  // documents: the document's own, or the one asked for after "|"
    std::wstring expected; size_t length = 0;
  } rows[] = {
      {kWorkFolder, G, L"a:b?.doc", nullptr, G + L"\\iman#\\a_b_.doc"},
      {kWorkFolder, G + L"\\", L"*?:\"/\\|<>", nullptr, G + L"\\iman#\\_________"},
      {kWorkFolder, G, L"..\\..\\x", nullptr, G + L"\\iman#\\.._.._x"},
      {kWorkFolder, G, L"CON.txt", nullptr, G + L"\\iman#\\_CON.txt"},
      {kWorkFolder, G, L"nul", nullptr, G + L"\\iman#\\_nul"},
      {kWorkFolder, G, L"Com7 .a.b", nullptr, G + L"\\iman#\\_Com7 .a.b"},
      {kWorkFolder, G, L"x.", nullptr, G + L"\\iman#\\x_"},
      {kWorkFolder, G, L"name ", nullptr, G + L"\\iman#\\name_"},
      {kWorkFolder, G, L"a\tb", nullptr, G + L"\\iman#\\a_b"},
      {kWorkFolder, G, L"", nullptr, G + L"\\iman#\\1"},
      {kWorkFolder, G, std::wstring(295, L'n') + L".docx", nullptr, G + L"\\iman#\\n*.docx", 254},
      {kWorkFolder, G, std::wstring(fits - 3, L'm') + L".pdf", nullptr, G + L"\\iman#\\m*.pdf", 254},  // one over
      {kWorkFolder, G, std::wstring(fits - 4, L'm') + L".pdf", nullptr, G + L"\\iman#\\" + std::wstring(fits - 4, L'm') + L".pdf", 254},
      {kWorkFolder, lockedFolder, L"doc.pdf", nullptr, T + L"iman#\\doc.pdf"},
      {kWorkFolder, G + L"\\plain.txt", L"doc.pdf", nullptr, T + L"iman#\\doc.pdf"},
      {kWorkFolder, G + L"\\missing", L"doc.pdf", nullptr, T + L"iman#\\doc.pdf"},
      {kTempFolder, G, L"doc.pdf", nullptr, T + L"iman#\\doc.pdf"},
      {kDocument, L"", L"a:b?", L"DOC", T + L"a_b_.doc"},
      {kDocument, L"", L"Report", L"DOCX|PDF", T + L"Report.pdf"},
      {kDocument, L"", L"Scan", L"txt", T + L"Scan1000.txt"},
      {kDocument, T + L"vpdf_not_there", L"", L"txt\\..\\..\\keep\\r", T + L"dml001.txt_.._.._keep_r"},
      {kConfiguredDocument, configured.path, L"Q<3>", L"Xlsx", configured.path + L"\\iman#\\Q_3_.xlsx"},
      {kSsName, L"", L"report.PDF", nullptr, t + L"ss_%.PDF"},
      {kSsName, L"", L"view.oxps", nullptr, t + L"ss_%.oxps"},
      {kSsName, L"", L"C:\\In\\Some.Xps", nullptr, t + L"ss_%.Xps"},
      {kSsName, L"", L"note.txt", nullptr, t + L"ss_%.pdf"},
      {kSsName, L"", L"archive.tar.PDFX", nullptr, t + L"ss_%.pdf"},
      {kSsName, L"", L"noextension", nullptr, t + L"ss_%"},
      {kSsName, L"", L"", nullptr, t + L"ss_%.pdf"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.name + L" in " + row.given));
    std::wstring path;
    if (row.kind == kWorkFolder || row.kind == kTempFolder) {
      wchar_t buffer[MAX_PATH];
      wcscpy(buffer, row.given.c_str());
      ASSERT_TRUE(vpdf::CTemporaryFile::CreateWithFolder(buffer, row.name.c_str(), L"iman", row.kind == kWorkFolder));
      path = buffer;
      EXPECT_TRUE(IsFolder(Parent(path)));
      EXPECT_FALSE(Exists(path)) << "the file is the caller's";
      if (path.starts_with(T + L"iman")) std::filesystem::remove_all(std::filesystem::path(Parent(path)));
    } else if (row.kind == kSsName) {
      wchar_t buffer[MAX_PATH] = {};
      ASSERT_TRUE(vpdf::MakeTempFileNameWithExt(row.name.c_str(), buffer, MAX_PATH));
      path = buffer;
      EXPECT_FALSE(Exists(path)) << "the file is the caller's";
    } else {
      ini.Write(L"[WorkSite]\r\nTEMP_FOLDER_PATH=" + row.given + L"\r\n");
      const std::wstring extension = row.extension;
      const size_t bar = extension.find(L'|');
      tb::Document* document = tb::Document::Create(nullptr, 1, 1, row.name, L"TYPE", extension.substr(0, bar), L"");
      {
        vpdf::OwnedFile file;
        EXPECT_EQ(S_OK, vpdf::MakeDocumentTempPath(dms::Document(vpdf::ComPtr<IDispatch>(document)), file,
                                                   bar == std::wstring::npos ? nullptr : extension.c_str() + bar + 1));
        path = file.Path();
        EXPECT_EQ(0u, std::filesystem::file_size(path)) << "made empty, for the copy";
      }
      EXPECT_FALSE(Exists(path)) << "left when its owner went";
      document->Release();
    }
    EXPECT_TRUE(Matches(path, row.expected)) << Utf8(path);
    EXPECT_EQ(row.length ? row.length : path.size(), path.size());
  }
  for (const std::wstring& others : scans) EXPECT_TRUE(DeleteFileW(others.c_str())) << "only what was made goes";
  // Failures: a folder that can be made nowhere, a name that does not fit, a nameless document.
  wchar_t buffer[MAX_PATH];
  wcscpy(buffer, G.c_str());
  EXPECT_FALSE(vpdf::CTemporaryFile::CreateWithFolder(buffer, L"doc.pdf", L"i|m", true));
  EXPECT_STREQ(L"", buffer);
  EXPECT_FALSE(vpdf::MakeTempFileNameWithExt(L"a.pdf", buffer, 8));
  tb::Document* nameless = tb::Document::Create(nullptr, 1, 1, L"", L"TYPE", L"x", L"");
  nameless->Fail(L"Name", E_ACCESSDENIED);
  vpdf::OwnedFile file;
  EXPECT_EQ(E_ACCESSDENIED, vpdf::MakeDocumentTempPath(dms::Document(vpdf::ComPtr<IDispatch>(nameless)), file));
  EXPECT_EQ(L"", file.Path());
  nameless->Release();
}

TEST_F(TemporaryFiles, WorkingFoldersLeftFromAnEarlierRunAreSkipped) {
  ScopedFolder first(L"vpdf_first"), second(L"vpdf_second");
  wchar_t path[MAX_PATH];
  wcscpy(path, first.path.c_str());
  ASSERT_TRUE(vpdf::CTemporaryFile::CreateWithFolder(path, L"x.pdf", L"iman", true));
  const unsigned last = std::stoul(Parent(path).substr(first.path.size() + 5));
  wchar_t name[40];
  for (unsigned n : {last + 1, last + 2}) {
    swprintf(name, 40, L"\\iman%.3u", n);
    ASSERT_TRUE(CreateDirectoryW((second.path + name).c_str(), nullptr));
  }
  wcscpy(path, second.path.c_str());
  ASSERT_TRUE(vpdf::CTemporaryFile::CreateWithFolder(path, L"x.pdf", L"iman", true));
  swprintf(name, 40, L"\\iman%.3u\\x.pdf", last + 3);
  EXPECT_EQ(second.path + name, std::wstring(path));
}

// The allocation right after a system call made a file or folder fails: what it made is deleted
// or handed on (removed here), never left in the temporary folder.
testing_support::ScopedImportHook* g_hook = nullptr;
template <auto function, class... A>
auto MadeThenFail(A... arguments) {  // a stand-in of `function`
  const auto made = g_hook->Original<decltype(function)>()(arguments...);
  g_failAllocation = made && (INT_PTR)(made) != -1;  // a handle, a number or a BOOL
  return made;
}
TEST_F(TemporaryFiles, NothingIsLeftWhenTheNextAllocationFails) {
  const std::tuple<const char*, void*, std::function<std::wstring()>> rows[] = {  // the call, what it hands on
      {"CreateFileW", reinterpret_cast<void*>(&MadeThenFail<&CreateFileW, LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE>),
       [] { return vpdf::CreateNewFile(TempFolder(), L"doc", L".pdf"), std::wstring(); }},
      {"GetTempFileNameW", reinterpret_cast<void*>(&MadeThenFail<&GetTempFileNameW, LPCWSTR, LPCWSTR, UINT, LPWSTR>),
       [] { wchar_t name[MAX_PATH]; return vpdf::MakeTempFileNameWithExt(L"a.pdf", name, MAX_PATH), std::wstring(); }},
      {"CreateDirectoryW", reinterpret_cast<void*>(&MadeThenFail<&CreateDirectoryW, LPCWSTR, LPSECURITY_ATTRIBUTES>), [] {
         wchar_t path[MAX_PATH] = {};
         const bool made = vpdf::CTemporaryFile::CreateWithFolder(path, L"doc.pdf", L"iman", false);
         g_failAllocation = false;  // the test's own allocations go on
         return made ? Parent(path) : L"";
       }},
      {"CreateFileW", reinterpret_cast<void*>(&MadeThenFail<&CreateFileW, LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE>), [] {
         vpdf::WorkingCopy copy;  // the editor's link file beside a copy
         copy.UseExisting(TempFolder() + L"doc.pdf");
         copy.WriteLinkFile("link");
         return g_failAllocation = false, std::wstring();
       }}};
  for (const auto& [function, standIn, call] : rows) {
    SCOPED_TRACE(function);
    const std::set<std::wstring> before = testing_support::TempFolderEntries();
    testing_support::ScopedImportHook hook{"KERNEL32.dll", function, standIn};
    g_hook = &hook;
    ASSERT_TRUE(hook.Installed());
    try { RemoveDirectoryW(call().c_str()); } catch (const std::bad_alloc&) {}
    g_failAllocation = false;
    EXPECT_EQ(before, testing_support::TempFolderEntries());
  }
}

}  // namespace
