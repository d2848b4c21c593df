// Working folders and temporary names: cleaned document names, unusable given folders, the
// 254-character limit, taken numbers, and the SS_ names with their extensions.
#include "convutils/temp_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>

#include "tests/settings_support.h"

namespace {

using testing_support::TempFolder;
using testing_support::Utf8;
using vpdf::CTemporaryFile;

// A folder of the test's own inside the temporary folder, removed with everything in it.
class ScopedFolder {
 public:
  explicit ScopedFolder(const std::wstring& name) : m_path(TempFolder() + name) {
    std::filesystem::remove_all(std::filesystem::path(m_path));
    CreateDirectoryW(m_path.c_str(), nullptr);
  }
  ~ScopedFolder() {
    SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(m_path), ignored);
  }
  const std::wstring& Path() const { return m_path; }

 private:
  std::wstring m_path;
};

// Removes the working folder that holds `file` (and what is in it).
void RemoveWorkingFolder(const std::wstring& file) {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(file).parent_path(), ignored);
}

// A literal text inside a regular expression.
std::string Escape(const std::string& text) {
  return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

std::wstring FolderOf(const std::wstring& file) {
  return file.substr(0, file.rfind(L'\\') + 1);
}

std::wstring NameOf(const std::wstring& file) { return file.substr(file.rfind(L'\\') + 1); }

bool IsFolder(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Touch(const std::wstring& path) { std::ofstream(std::filesystem::path(path)) << "x"; }

// A folder that reports itself read-only: Windows keeps the attribute on a folder of ours,
// Wine reports it only for a folder without write permission, such as /proc on drive Z.
std::wstring ReadOnlyFolder(const std::wstring& own) {
  SetFileAttributesW(own.c_str(), FILE_ATTRIBUTE_READONLY);
  for (const std::wstring& folder : {own, std::wstring(L"Z:\\proc")}) {
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) ==
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
      return folder;
  }
  return {};
}

using TemporaryFile = testing_support::CleanTempFolderTest;

TEST_F(TemporaryFile, CleansTheNameInsideANewWorkingFolder) {
  ScopedFolder given(L"vpdf_given");
  wchar_t path[MAX_PATH];
  wcscpy(path, given.Path().c_str());  // no trailing backslash
  ASSERT_TRUE(CTemporaryFile::CreateWithFolder(path, L"a:b?.doc", L"iman", true));
  std::wstring result = path;
  EXPECT_EQ(L"ab.doc", NameOf(result));
  EXPECT_TRUE(std::regex_match(Utf8(FolderOf(result)),
                               std::regex(Escape(Utf8(given.Path())) +
                                          "\\\\iman[0-9]{3,}\\\\")))
      << Utf8(result);
  EXPECT_TRUE(IsFolder(FolderOf(result)));
  EXPECT_FALSE(Exists(result)) << "the file itself is the caller's";
}

TEST_F(TemporaryFile, ANameOfForbiddenCharactersOnlyBecomesOne) {
  ScopedFolder given(L"vpdf_given");
  wchar_t path[MAX_PATH];
  wcscpy(path, (given.Path() + L"\\").c_str());
  ASSERT_TRUE(CTemporaryFile::CreateWithFolder(path, L"*?:\"/\\|<>", L"iman", true));
  EXPECT_EQ(L"1", NameOf(path));
  EXPECT_EQ(0u, FolderOf(path).find(given.Path() + L"\\iman"));
}

TEST_F(TemporaryFile, TheNextFreeNumberIsUsed) {
  ScopedFolder first(L"vpdf_first"), second(L"vpdf_second");
  wchar_t path[MAX_PATH];
  wcscpy(path, first.Path().c_str());
  ASSERT_TRUE(CTemporaryFile::CreateWithFolder(path, L"x.pdf", L"iman", true));
  unsigned int last = std::stoul(NameOf(FolderOf(path).substr(0, FolderOf(path).size() - 1))
                                     .substr(4));
  // Left over from an earlier run: the next two numbers.
  wchar_t taken[32];
  for (unsigned int n : {last + 1, last + 2}) {
    swprintf(taken, 32, L"\\iman%.3u", n);
    ASSERT_TRUE(CreateDirectoryW((second.Path() + taken).c_str(), nullptr));
  }
  wcscpy(path, second.Path().c_str());
  ASSERT_TRUE(CTemporaryFile::CreateWithFolder(path, L"x.pdf", L"iman", true));
  swprintf(taken, 32, L"\\iman%.3u\\x.pdf", last + 3);
  EXPECT_EQ(second.Path() + taken, std::wstring(path));
}

TEST_F(TemporaryFile, AnUnusableGivenFolderIsReplacedByTheTemporaryFolder) {
  ScopedFolder own(L"vpdf_readonly");
  const std::wstring readOnly = ReadOnlyFolder(own.Path());
  ASSERT_FALSE(readOnly.empty()) << "no folder here reports itself read-only";
  ScopedFolder holder(L"vpdf_holder");
  const std::wstring file = holder.Path() + L"\\plain.txt";
  Touch(file);

  for (const std::wstring& given : {readOnly, file, holder.Path() + L"\\missing"}) {
    log.Clear();
    const DWORD attributes = GetFileAttributesW(given.c_str());
    wchar_t path[MAX_PATH];
    wcscpy(path, given.c_str());
    ASSERT_TRUE(CTemporaryFile::CreateWithFolder(path, L"doc.pdf", L"iman", true));
    EXPECT_EQ(0u, std::wstring(path).find(TempFolder() + L"iman")) << Utf8(path);
    EXPECT_TRUE(log.Has("CTemporaryFile::CreateWithFolder attribute value: " +
                        std::to_string(static_cast<int>(attributes)) +
                        ", invalid or not folder or readonly, using temp folder instead"))
        << Utf8(given);
    RemoveWorkingFolder(path);
  }
}

TEST_F(TemporaryFile, WithoutTheGivenFolderModeTheBufferIsIgnored) {
  ScopedFolder given(L"vpdf_given");
  wchar_t path[MAX_PATH];
  wcscpy(path, given.Path().c_str());
  ASSERT_TRUE(CTemporaryFile::CreateWithFolder(path, L"doc.pdf", L"sub", false));
  EXPECT_EQ(0u, std::wstring(path).find(TempFolder() + L"sub")) << Utf8(path);
  EXPECT_FALSE(log.Has("CTemporaryFile::CreateWithFolder attribute value: 16, invalid or not "
                       "folder or readonly, using temp folder instead"));
  RemoveWorkingFolder(path);
}

TEST_F(TemporaryFile, ALongNameIsCutTo254CharactersKeepingItsExtension) {
  ScopedFolder given(L"vpdf_given");
  wchar_t path[MAX_PATH];
  wcscpy(path, given.Path().c_str());
  const std::wstring name = std::wstring(295, L'n') + L".docx";
  ASSERT_EQ(300u, name.size());
  ASSERT_TRUE(CTemporaryFile::CreateWithFolder(path, name.c_str(), L"iman", true));
  const std::wstring result = path;
  EXPECT_EQ(254u, result.size());
  EXPECT_EQ(L".docx", result.substr(result.size() - 5));
  EXPECT_EQ(0u, result.find(given.Path() + L"\\iman"));

  // One character over is cut as well; exactly 254 is kept.
  const size_t folderLength = FolderOf(result).size();
  for (size_t total : {255u, 254u}) {
    wcscpy(path, given.Path().c_str());
    const std::wstring fitting = std::wstring(total - folderLength - 4, L'm') + L".pdf";
    ASSERT_TRUE(CTemporaryFile::CreateWithFolder(path, fitting.c_str(), L"iman", true));
    EXPECT_EQ(254u, wcslen(path)) << total;
    EXPECT_EQ(L".pdf", std::wstring(path).substr(250)) << total;
  }
}

TEST_F(TemporaryFile, AFolderThatCannotBeMadeFallsBackOnceThenGivesUp) {
  ScopedFolder given(L"vpdf_given");
  wchar_t path[MAX_PATH];
  wcscpy(path, given.Path().c_str());
  // A prefix with a character that no folder name may hold fails in either place.
  EXPECT_FALSE(CTemporaryFile::CreateWithFolder(path, L"doc.pdf", L"i|m", true));
  EXPECT_STREQ(L"", path);
  EXPECT_EQ(1, log.Count("CTemporaryFile::CreateWithFolder could not create directory, returning"));
}

// ---- Document paths -----------------------------------------------------------------------

// A document of the client as far as the path needs it: members answered by name.
class FakeDocument final : public IDispatch {
 public:
  explicit FakeDocument(std::map<std::wstring, std::wstring> members)
      : m_members(std::move(members)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IDispatch) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG refs = --m_refs;
    if (!refs) delete this;
    return refs;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (count != 1) return E_INVALIDARG;
    DISPID id = 1;
    for (const auto& member : m_members) {
      if (!_wcsicmp(member.first.c_str(), names[0])) {
        *ids = id;
        return S_OK;
      }
      ++id;
    }
    *ids = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    auto member = m_members.begin();
    for (DISPID i = 1; i < id && member != m_members.end(); ++i) ++member;
    if (id < 1 || member == m_members.end()) return DISP_E_MEMBERNOTFOUND;
    VariantInit(result);
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocString(member->second.c_str());
    return S_OK;
  }

 private:
  ~FakeDocument() = default;
  ULONG m_refs = 1;
  std::map<std::wstring, std::wstring> m_members;
};

dms::Document DocumentNamed(const std::wstring& name, const std::wstring& extension) {
  return dms::Document(vpdf::ComPtr<IDispatch>::Adopt(
      new FakeDocument({{L"Name", name}, {L"Extension", extension}})));
}

class DocumentPath : public testing_support::CleanTempFolderTest {
 protected:
  testing_support::ScopedProfileIni ini;  // none unless a test writes one
};

TEST_F(DocumentPath, GoesToTheTemporaryFolderWithACleanedName) {
  std::wstring path;
  ASSERT_EQ(S_OK, vpdf::MakeDocumentTempPath(DocumentNamed(L"a:b?", L"DOC"), path));
  EXPECT_EQ(TempFolder() + L"ab.doc", path);
  ASSERT_EQ(S_OK, vpdf::MakeDocumentTempPath(DocumentNamed(L"Report", L"DOCX"), path, L"PDF"));
  EXPECT_EQ(TempFolder() + L"Report.pdf", path);
  EXPECT_FALSE(Exists(path));
}

TEST_F(DocumentPath, ATakenNameGetsANumberBeforeTheExtension) {
  const dms::Document document = DocumentNamed(L"\\/:*?\"<>|", L"pdf");
  std::wstring first, second, third;
  ASSERT_EQ(S_OK, vpdf::MakeDocumentTempPath(document, first));
  EXPECT_EQ(TempFolder() + L"dml.pdf", first);
  Touch(first);
  ASSERT_EQ(S_OK, vpdf::MakeDocumentTempPath(document, second));
  EXPECT_EQ(TempFolder() + L"dml001.pdf", second);
  Touch(second);
  ASSERT_EQ(S_OK, vpdf::MakeDocumentTempPath(document, third));
  EXPECT_EQ(TempFolder() + L"dml002.pdf", third);
  DeleteFileW(first.c_str());
  DeleteFileW(second.c_str());
}

TEST_F(DocumentPath, AConfiguredFolderGetsANewWorkingFolder) {
  ScopedFolder configured(L"vpdf_configured");
  ini.Write(L"[WorkSite]\r\nTEMP_FOLDER_PATH=" + configured.Path() + L"\r\n");
  std::wstring path;
  ASSERT_EQ(S_OK, vpdf::MakeDocumentTempPath(DocumentNamed(L"Q<3>", L"Xlsx"), path));
  EXPECT_TRUE(std::regex_match(Utf8(path),
                               std::regex(Escape(Utf8(configured.Path())) +
                                          "\\\\iman[0-9]{3,}\\\\Q3\\.xlsx")))
      << Utf8(path);
  EXPECT_TRUE(IsFolder(FolderOf(path)));
}

TEST_F(DocumentPath, AConfiguredFolderThatIsMissingIsIgnored) {
  ini.Write(L"[WorkSite]\r\nTEMP_FOLDER_PATH=" + TempFolder() + L"vpdf_not_there\r\n");
  std::wstring path;
  ASSERT_EQ(S_OK, vpdf::MakeDocumentTempPath(DocumentNamed(L"memo", L"txt"), path));
  EXPECT_EQ(TempFolder() + L"memo.txt", path);
}

TEST_F(DocumentPath, ADocumentWithoutANameIsAFailure) {
  std::map<std::wstring, std::wstring> members{{L"Extension", L"x"}};
  dms::Document nameless(vpdf::ComPtr<IDispatch>::Adopt(new FakeDocument(members)));
  std::wstring path = L"old";
  EXPECT_EQ(DISP_E_UNKNOWNNAME, vpdf::MakeDocumentTempPath(nameless, path));
  EXPECT_EQ(L"", path);
}

// ---- SS_ names ----------------------------------------------------------------------------

using TempFileName = testing_support::CleanTempFolderTest;

std::string Lowered(std::wstring text) {
  CharLowerW(text.data());
  return Utf8(text);
}

TEST_F(TempFileName, KeepsPdfAndXpsExtensionsAsWritten) {
  const std::string folder = Escape(Lowered(TempFolder()));
  const std::pair<const wchar_t*, std::string> cases[] = {
      {L"report.PDF", "\\.PDF"},         {L"view.oxps", "\\.oxps"},
      {L"C:\\In\\Some.Xps", "\\.Xps"},   {L"note.txt", "\\.pdf"},
      {L"noextension", ""},              {L"", "\\.pdf"},
      {nullptr, "\\.pdf"},               {L"archive.tar.PDFX", "\\.pdf"},
  };
  for (const auto& [input, extension] : cases) {
    wchar_t out[MAX_PATH] = {};
    ASSERT_TRUE(vpdf::MakeTempFileNameWithExt(input, out, MAX_PATH)) << Utf8(input ? input : L"");
    EXPECT_TRUE(std::regex_match(Utf8(out), std::regex(folder + "ss_[0-9a-f]+" + extension)))
        << Utf8(out);
    EXPECT_FALSE(Exists(out));
  }
}

TEST_F(TempFileName, AResultThatDoesNotFitIsAFailure) {
  wchar_t out[8] = {};
  EXPECT_FALSE(vpdf::MakeTempFileNameWithExt(L"a.pdf", out, 8));
}

}  // namespace
