// Working folders and temporary names: cleaned document names, unusable given folders, the
// 254-character limit, taken numbers, and the SS_ names with their extensions.
#include "convutils/temp_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>
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
  // Whatever the name, the file stays a file of its own in the working folder.
  const std::pair<const wchar_t*, const wchar_t*> rows[] = {
      {L"a:b?.doc", L"a_b_.doc"}, {L"*?:\"/\\|<>", L"_________"}, {L"..\\..\\x", L".._.._x"},
      {L"CON.txt", L"_CON.txt"},  {L"nul", L"_nul"},                  {L"Com7 .a.b", L"_Com7 .a.b"},
      {L"x.", L"x_"},             {L"name ", L"name_"},               {L"a\tb", L"a_b"},
      {L"", L"1"}};
  for (const auto& [name, cleaned] : rows) {
    for (const std::wstring& folder : {given.Path(), given.Path() + L"\\"}) {
      wchar_t path[MAX_PATH];
      wcscpy(path, folder.c_str());
      ASSERT_TRUE(CTemporaryFile::CreateWithFolder(path, name, L"iman", true));
      std::wstring result = path;
      EXPECT_EQ(cleaned, NameOf(result));
      EXPECT_TRUE(std::regex_match(Utf8(FolderOf(result)),
                                   std::regex(Escape(Utf8(given.Path())) + "\\\\iman[0-9]{3,}\\\\")))
          << Utf8(result);
      EXPECT_TRUE(IsFolder(FolderOf(result)));
      EXPECT_FALSE(Exists(result)) << "the file itself is the caller's";
    }
  }
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

TEST_F(TemporaryFile, AnUnusableOrUnwantedGivenFolderIsReplacedByTheTemporaryFolder) {
  ScopedFolder own(L"vpdf_readonly");
  const std::wstring readOnly = ReadOnlyFolder(own.Path());
  ASSERT_FALSE(readOnly.empty()) << "no folder here reports itself read-only";
  ScopedFolder holder(L"vpdf_holder");
  const std::wstring file = holder.Path() + L"\\plain.txt";
  Touch(file);

  const std::pair<std::wstring, bool> rows[] = {
      {readOnly, true}, {file, true}, {holder.Path() + L"\\missing", true}, {holder.Path(), false}};
  for (const auto& [given, useGiven] : rows) {
    log.Clear();
    const DWORD attributes = GetFileAttributesW(given.c_str());
    wchar_t path[MAX_PATH];
    wcscpy(path, given.c_str());
    ASSERT_TRUE(CTemporaryFile::CreateWithFolder(path, L"doc.pdf", L"iman", useGiven));
    EXPECT_EQ(0u, std::wstring(path).find(TempFolder() + L"iman")) << Utf8(path);
    EXPECT_EQ(useGiven, log.Has("CTemporaryFile::CreateWithFolder attribute value: " +
                                std::to_string(static_cast<int>(attributes)) +
                                ", invalid or not folder or readonly, using temp folder instead"))
        << Utf8(given);
    RemoveWorkingFolder(path);
  }
}

TEST_F(TemporaryFile, ALongNameIsCutTo254CharactersKeepingItsExtension) {
  ScopedFolder given(L"vpdf_given");
  wchar_t path[MAX_PATH];
  wcscpy(path, given.Path().c_str());
  const std::wstring name = std::wstring(295, L'n') + L".docx";
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
}

// ---- Document paths -----------------------------------------------------------------------

// A document of the client as far as the path needs it: members answered by name.
using Members = std::vector<std::pair<std::wstring, std::wstring>>;
class FakeDocument final : public IDispatch {
 public:
  explicit FakeDocument(Members members)
      : m_members(std::move(members)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = iid == IID_IUnknown || iid == IID_IDispatch ? static_cast<IDispatch*>(this) : nullptr;
    if (!*out) return E_NOINTERFACE;
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
    *ids = DISPID_UNKNOWN;
    for (size_t i = 0; count == 1 && i < m_members.size(); ++i)
      if (!_wcsicmp(m_members[i].first.c_str(), names[0])) *ids = static_cast<DISPID>(i + 1);
    return *ids == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!(flags & DISPATCH_PROPERTYGET) || !result || id < 1 ||
        static_cast<size_t>(id) > m_members.size())
      return DISP_E_MEMBERNOTFOUND;
    VariantInit(result);
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocString(m_members[static_cast<size_t>(id) - 1].second.c_str());
    return S_OK;
  }

 private:
  ~FakeDocument() = default;
  ULONG m_refs = 1;
  Members m_members;
};

dms::Document DocumentNamed(const std::wstring& name, const std::wstring& extension) {
  return dms::Document(vpdf::ComPtr<IDispatch>::Adopt(
      new FakeDocument(Members{{L"Name", name}, {L"Extension", extension}})));
}

class DocumentPath : public testing_support::CleanTempFolderTest {
 protected:
  testing_support::ScopedProfileIni ini;  // none unless a test writes one
};

TEST_F(DocumentPath, IsANewFileInTheTemporaryFolderWithASafeNameNumberedWhenTaken) {
  vpdf::OwnedFile file;
  ASSERT_EQ(S_OK, vpdf::MakeDocumentTempPath(DocumentNamed(L"a:b?", L"DOC"), file));
  EXPECT_EQ(TempFolder() + L"a_b_.doc", file.Path());
  ASSERT_EQ(S_OK, vpdf::MakeDocumentTempPath(DocumentNamed(L"Report", L"DOCX"), file, L"PDF"));
  EXPECT_EQ(TempFolder() + L"Report.pdf", file.Path());
  EXPECT_EQ(0u, std::filesystem::file_size(file.Path())) << "made empty, for the copy";
  file.Delete();

  // A configured folder that is missing is ignored. An extension cannot lead elsewhere either.
  ini.Write(L"[WorkSite]\r\nTEMP_FOLDER_PATH=" + TempFolder() + L"vpdf_not_there\r\n");
  const dms::Document document = DocumentNamed(L"", L"txt\\..\\..\\keep\\r");
  Touch(TempFolder() + L"dml.txt_.._.._keep_r");  // somebody else's
  std::vector<vpdf::OwnedFile> taken;
  for (const wchar_t* name : {L"dml001.txt_.._.._keep_r", L"dml002.txt_.._.._keep_r"}) {
    taken.emplace_back();
    ASSERT_EQ(S_OK, vpdf::MakeDocumentTempPath(document, taken.back()));
    EXPECT_EQ(TempFolder() + name, taken.back().Path());
  }
  taken.clear();
  EXPECT_TRUE(Exists(TempFolder() + L"dml.txt_.._.._keep_r")) << "only what was made goes";
  DeleteFileW((TempFolder() + L"dml.txt_.._.._keep_r").c_str());
}

TEST_F(DocumentPath, AConfiguredFolderGetsANewWorkingFolder) {
  ScopedFolder configured(L"vpdf_configured");
  ini.Write(L"[WorkSite]\r\nTEMP_FOLDER_PATH=" + configured.Path() + L"\r\n");
  vpdf::OwnedFile file;
  ASSERT_EQ(S_OK, vpdf::MakeDocumentTempPath(DocumentNamed(L"Q<3>", L"Xlsx"), file));
  EXPECT_TRUE(std::regex_match(Utf8(file.Path()),
                               std::regex(Escape(Utf8(configured.Path())) +
                                          "\\\\iman[0-9]{3,}\\\\Q_3_\\.xlsx")))
      << Utf8(file.Path());
  EXPECT_TRUE(IsFolder(FolderOf(file.Path())));
}

TEST_F(DocumentPath, ADocumentWithoutANameIsAFailure) {
  dms::Document nameless(vpdf::ComPtr<IDispatch>::Adopt(new FakeDocument(Members{{L"Extension", L"x"}})));
  vpdf::OwnedFile file;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, vpdf::MakeDocumentTempPath(nameless, file));
  EXPECT_EQ(L"", file.Path());
}

// ---- SS_ names ----------------------------------------------------------------------------

TEST_F(TemporaryFile, SsNamesKeepPdfAndXpsExtensionsAsWritten) {
  std::wstring folder = TempFolder();
  CharLowerW(folder.data());
  const std::pair<const wchar_t*, std::string> cases[] = {
      {L"report.PDF", "\\.PDF"},         {L"view.oxps", "\\.oxps"},
      {L"C:\\In\\Some.Xps", "\\.Xps"},   {L"note.txt", "\\.pdf"},
      {L"noextension", ""},              {L"", "\\.pdf"},
      {nullptr, "\\.pdf"},               {L"archive.tar.PDFX", "\\.pdf"},
  };
  for (const auto& [input, extension] : cases) {
    wchar_t out[MAX_PATH] = {};
    ASSERT_TRUE(vpdf::MakeTempFileNameWithExt(input, out, MAX_PATH)) << Utf8(input ? input : L"");
    EXPECT_TRUE(std::regex_match(Utf8(out), std::regex(Escape(Utf8(folder)) + "ss_[0-9a-f]+" + extension)))
        << Utf8(out);
    EXPECT_FALSE(Exists(out));
  }
  wchar_t small[8] = {};
  EXPECT_FALSE(vpdf::MakeTempFileNameWithExt(L"a.pdf", small, 8)) << "the result does not fit";
}

}  // namespace
