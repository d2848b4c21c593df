// The DMS client's options key, the new-version profile switch, IManExt2.dll, the portable
// folder, the product's UseProfile and USE_TEMP_FOR_OPEN, and document types for files.
#include "dms/client_options.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "tests/identity_support.h"

namespace {

using testing_support::CleanTempFolderTest;
using testing_support::ScopedProfileIni;
using testing_support::ScopedRegistryTree;
using testing_support::TempFolder;
using testing_support::Utf8;

const std::wstring kClient = L"Software\\InterWoven\\WorkSite";
const std::wstring kThin = L"Software\\NetRight\\iManage\\ThinClient";
const std::wstring kPortable = L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable";
const std::wstring kProductWorkSite = L"Software\\Ostrel\\PDF\\V1\\WorkSite";
const wchar_t kShow[] = L"Show profile for checkin as newversion";

std::wstring ClientOptions(const std::wstring& version) {
  return kClient + L"\\" + version + L"\\Common\\Advanced Options";
}
std::wstring ThinOptions(const std::wstring& version) {
  return kThin + L"\\" + version + L"\\Advanced Options";
}

// The name the registry lists first under `path`, as the code under test sees it.
std::wstring FirstSubkey(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
  wchar_t name[MAX_PATH];
  DWORD length = MAX_PATH;
  LONG got = RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return got == ERROR_SUCCESS ? name : L"";
}

std::wstring ValueIn(HKEY key, const wchar_t* name) {
  wchar_t text[MAX_PATH] = {};
  DWORD size = sizeof text;
  if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
    return L"<missing>";
  return text;
}

// The client's keys of both families, whatever the prefix held, put back afterwards.
class ClientKeys : public testing_support::CleanTempFolderTest {
 protected:
  ScopedRegistryTree client{HKEY_CURRENT_USER, kClient};
  ScopedRegistryTree thin{HKEY_CURRENT_USER, kThin};
};

// ---- Options key --------------------------------------------------------------------------

TEST_F(ClientKeys, OnlyTheFirstVersionOfTheClientIsLookedAtThenTheThinClient) {
  EXPECT_FALSE(vpdf::GetiManageRegPath());

  for (const wchar_t* version : {L"10.0", L"9.0"})
    testing_support::SetString(HKEY_CURRENT_USER, ClientOptions(version), L"Marker", version);
  const std::wstring first = FirstSubkey(HKEY_CURRENT_USER, kClient);
  ASSERT_FALSE(first.empty());
  vpdf::RegKey key = vpdf::GetiManageRegPath();
  ASSERT_TRUE(key);
  EXPECT_EQ(first, ValueIn(key.Get(), L"Marker"));

  // A first version without options leaves only the thin client.
  testing_support::SetString(HKEY_CURRENT_USER, kClient + L"\\0.1\\Common", L"Other", L"x");
  ASSERT_EQ(L"0.1", FirstSubkey(HKEY_CURRENT_USER, kClient));
  EXPECT_FALSE(vpdf::GetiManageRegPath());
  testing_support::SetString(HKEY_CURRENT_USER, ThinOptions(L"2.0"), L"Marker", L"thin");
  key = vpdf::GetiManageRegPath();
  ASSERT_TRUE(key);
  EXPECT_EQ(L"thin", ValueIn(key.Get(), L"Marker"));
}

// ---- Profile dialog for a new version -----------------------------------------------------

TEST_F(ClientKeys, OnlyNInAnyCaseSwitchesTheProfileDialogOff) {
  EXPECT_TRUE(vpdf::EnableNewVersionProfileDlg());  // no options key
  const std::wstring options = ClientOptions(L"8.0");
  testing_support::SetString(HKEY_CURRENT_USER, options, L"Other", L"x");
  EXPECT_TRUE(vpdf::EnableNewVersionProfileDlg());  // no value
  testing_support::SetDword(HKEY_CURRENT_USER, options, kShow, 0);
  EXPECT_TRUE(vpdf::EnableNewVersionProfileDlg()) << "a value that is no string counts as absent";
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"N", false}, {L"n", false}, {L"No", true}, {L"0", true}, {L"Y", true}, {L"", true}};
  for (const auto& [text, on] : cases) {
    testing_support::SetString(HKEY_CURRENT_USER, options, kShow, text);
    EXPECT_EQ(on, vpdf::EnableNewVersionProfileDlg()) << Utf8(text);
  }
}

TEST_F(ClientKeys, TheSwitchIsWrittenIntoEveryFamilyThatHasOptions) {
  for (const wchar_t* version : {L"10.0", L"9.0"})
    testing_support::SetString(HKEY_CURRENT_USER, ClientOptions(version), L"Other", L"x");
  testing_support::SetString(HKEY_CURRENT_USER, ThinOptions(L"3.0"), L"Other", L"x");
  const std::wstring first = FirstSubkey(HKEY_CURRENT_USER, kClient);
  const std::wstring second = first == L"10.0" ? L"9.0" : L"10.0";
  for (bool show : {false, true}) {
    vpdf::SetShowProfileForCheckin(show);
    for (const std::wstring& options : {ClientOptions(first), ThinOptions(L"3.0")})
      EXPECT_EQ(show ? L"Y" : L"N", testing_support::GetString(HKEY_CURRENT_USER, options, kShow));
    EXPECT_EQ(L"<missing>", testing_support::GetString(HKEY_CURRENT_USER, ClientOptions(second), kShow));
    EXPECT_EQ(show, vpdf::EnableNewVersionProfileDlg());
  }
}

TEST_F(ClientKeys, WithOnlyTheThinClientOnlyItsOptionsAreWritten) {
  testing_support::SetString(HKEY_CURRENT_USER, ThinOptions(L"3.0"), L"Other", L"x");
  testing_support::SetString(HKEY_CURRENT_USER, kClient + L"\\10.0\\Common", L"Other", L"x");
  vpdf::SetShowProfileForCheckin(false);
  EXPECT_EQ(L"N", testing_support::GetString(HKEY_CURRENT_USER, ThinOptions(L"3.0"), kShow));
  EXPECT_FALSE(testing_support::KeyExists(HKEY_CURRENT_USER, ClientOptions(L"10.0")))
      << "no options key is created";
}

// ---- IManExt2.dll -------------------------------------------------------------------------

// The answer is kept for the life of the process, so every case runs in a process of its own:
// this program again, with only the child test below and the expected answer in the
// environment. The child also checks that the answer does not change once given.
const wchar_t kExpectVariable[] = L"VPDF_EXPECT_IMANEXT2";
const wchar_t kRemoveVariable[] = L"VPDF_IMANEXT2_REMOVE";

TEST(FindIManExt2Child, Answer) {
  const std::wstring expected = testing_support::Environment(kExpectVariable);
  if (expected.empty()) GTEST_SKIP() << "run by the IManExt2 tests in a process of its own";
  EXPECT_EQ(expected == L"1", vpdf::FindIManExt2());
  const std::wstring remove = testing_support::Environment(kRemoveVariable);
  if (!remove.empty()) {
    ASSERT_TRUE(DeleteFileW(remove.c_str()));
    ASSERT_TRUE(RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClient.c_str()) == ERROR_SUCCESS);
  }
  EXPECT_EQ(expected == L"1", vpdf::FindIManExt2()) << "asked again";
  testing_support::ChildRan();
}

class IManExt2 : public testing_support::CleanTempFolderTest {
 protected:
  ScopedRegistryTree installed{HKEY_LOCAL_MACHINE, kClient};
  const std::wstring client = TempFolder() + L"vpdf_Client";
  const std::wstring second = TempFolder() + L"vpdf_Second";

  void SetUp() override {
    CleanTempFolderTest::SetUp();
    for (const std::wstring& folder : {client, second}) {
      CreateDirectoryW(folder.c_str(), nullptr);
      std::ofstream(std::filesystem::path(folder + L"\\IManExt2.dll")) << "MZ";
    }
  }
  void TearDown() override {
    for (const std::wstring& folder : {client, second})
      std::filesystem::remove_all(std::filesystem::path(folder));
    CleanTempFolderTest::TearDown();
  }

  static void InstallRoot(const std::wstring& version, const std::wstring& path) {
    testing_support::SetString(HKEY_LOCAL_MACHINE, kClient + L"\\" + version +
                               L"\\Common\\InstallRoot", L"path", path);
  }

  // Runs the child test in a new process; true when it passed.
  static bool ChildAnswers(bool expected, const std::wstring& removeAfterwards = L"") {
    return testing_support::RunChild(testing_support::ProgramPath(),
                                     L"--gtest_filter=FindIManExt2Child.Answer",
                                     {{kExpectVariable, expected ? L"1" : L"0"},
                                      {kRemoveVariable, removeAfterwards}}) == 0;
  }
};

TEST_F(IManExt2, EveryVersionIsLookedAtAndTheAnswerIsKept) {
  EXPECT_TRUE(ChildAnswers(false));  // no client
  // The first version's path lacks its trailing backslash: it runs on into the file name
  // (...\vpdf_ClientIManExt2.dll), so only the second one finds the library.
  InstallRoot(L"A", client);
  std::ofstream(std::filesystem::path(client + L"IManExt2.dll.txt")) << "not it";
  EXPECT_TRUE(ChildAnswers(false));
  DeleteFileW((client + L"IManExt2.dll.txt").c_str());
  InstallRoot(L"B", second + L"\\");
  ASSERT_EQ(L"A", FirstSubkey(HKEY_LOCAL_MACHINE, kClient));
  EXPECT_TRUE(ChildAnswers(true, second + L"\\IManExt2.dll"));
}

// ---- Portable folder ----------------------------------------------------------------------

TEST_F(CleanTempFolderTest, PortableFolderIsTheDirectoryElseTheDriveElseTheDefault) {
  ScopedRegistryTree portable{HKEY_CURRENT_USER, kPortable};
  auto folder = [] {
    BSTR path = nullptr;
    EXPECT_EQ(S_OK, vpdf::GetDesksitePath(&path));
    std::wstring text = path ? path : L"<null>";
    SysFreeString(path);
    return text;
  };
  EXPECT_EQ(L"C:\\NRPortbl\\", folder());  // no portable key
  const struct {
    const wchar_t *drive, *directory, *folder;
    DWORD type = REG_SZ;
  } rows[] = {
      {L"E", L"D:\\Docs", L"D:\\Docs\\"},  // the directory gets a backslash appended always
      {L"E", L"D:\\Docs\\", L"D:\\Docs\\\\"},
      {L"E", L"%USERPROFILE%\\NRPortbl", L"%USERPROFILE%\\NRPortbl\\", REG_EXPAND_SZ},
      {L"E", nullptr, L"E:\\NrPortbl\\"},
      {nullptr, nullptr, L"C:\\NrPortbl\\"},
  };
  testing_support::SetString(HKEY_CURRENT_USER, kPortable, L"Other", L"x");
  for (const auto& row : rows) {
    for (const auto& [name, value] : {std::pair{L"PORTABLE_DRIVE", row.drive},
                                      std::pair{L"PORTABLE_DIRECTORY", row.directory}}) {
      if (value) testing_support::SetString(HKEY_CURRENT_USER, kPortable, name, value, row.type);
      else RegDeleteKeyValueW(HKEY_CURRENT_USER, kPortable.c_str(), name);
    }
    EXPECT_EQ(row.folder, folder());
  }
  EXPECT_EQ(E_POINTER, vpdf::GetDesksitePath(nullptr));
}

// ---- Product settings ---------------------------------------------------------------------

TEST_F(CleanTempFolderTest, UseProfileIsANonZeroNumberAndUseTempForOpenAPositiveOne) {
  ScopedRegistryTree workSite{HKEY_CURRENT_USER, kProductWorkSite};
  ScopedProfileIni ini;
  EXPECT_FALSE(vpdf::UseProfile());
  EXPECT_FALSE(vpdf::UseTempForOpen());
  for (DWORD value : {1u, 0u}) {
    testing_support::SetDword(HKEY_CURRENT_USER, kProductWorkSite, L"UseProfile", value);
    EXPECT_EQ(value != 0, vpdf::UseProfile());
  }
  testing_support::SetString(HKEY_CURRENT_USER, kProductWorkSite, L"UseProfile", L"1");
  EXPECT_FALSE(vpdf::UseProfile()) << "a string is not the switch";

  const std::pair<const wchar_t*, bool> cases[] = {
      {L"1", true}, {L"2", true}, {L"0", false}, {L"-1", false}, {L"yes", false}};
  for (const auto& [text, on] : cases) {
    ini.Write(std::wstring(L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=") + text + L"\r\n");
    EXPECT_EQ(on, vpdf::UseTempForOpen()) << Utf8(text);
  }
}

// ---- Document types -----------------------------------------------------------------------

TEST_F(CleanTempFolderTest, DocumentTypeFollowsTheExtensionTheOfficeTypesSwitchAndTheContent) {
  ScopedProfileIni ini;
  const struct {
    const wchar_t* file;
    const wchar_t* client;
    const wchar_t* office;
  } cases[] = {
      {L"a.pdf", L"ACROBAT", L"ACROBAT"},  {L"C:\\x\\B.DOC", L"WORD", L"DOC"},
      {L"c.rtf", L"RTF", L"RTF"},          {L"d.docx", L"WORDX", L"DOCX"},
      {L"e.xls", L"EXCEL", L"XLS"},        {L"f.XLSX", L"EXCELX", L"XLSX"},
      {L"g.wpd", L"WPF", L"WPF"},          {L"h.ppt", L"PPT", L"PPT"},
      {L"i.pptx", L"PPTX", L"PPTX"},       {L"j.xps", L"XPS", L"XPS"},
      {L"k.oxps", L"XPS", L"XPS"},         {L"l.bmp", L"BMP", L"BMP"},
      {L"m.tif", L"TIFF", L"TIFF"},        {L"n.tiff", L"TIFF", L"TIFF"},
      {L"o.jpg", L"JPEG", L"JPEG"},        {L"p.Jpeg", L"JPEG", L"JPEG"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.client, vpdf::DocTypeForFile(c.file)) << Utf8(c.file);
  ini.Write(L"[WorkSite]\r\nUSE_OFFICE_TYPES=1\r\n");
  for (const auto& c : cases) EXPECT_EQ(c.office, vpdf::DocTypeForFile(c.file)) << Utf8(c.file);
  ini.Write(L"[WorkSite]\r\nUSE_OFFICE_TYPES=2\r\nPDFAPPID=ACROBAT9\r\n");
  EXPECT_EQ(L"WORDX", vpdf::DocTypeForFile(L"d.docx"));
  EXPECT_EQ(L"ACROBAT9", vpdf::DocTypeForFile(L"temp.pdf"));

  // An unknown extension looks at the content; the point in a folder name is no extension.
  const std::wstring folder = TempFolder() + L"vpdf.folder";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::tuple<const wchar_t*, const char*, const wchar_t*> files[] = {
      {L"\\content.dat", "%PDF-1.4\n%\xE2\xE3\n", L"ACROBAT9"},
      {L"\\content.txt", "plain text\n", L""},
      {L"\\content", "%PDF-1.7\n", L"ACROBAT9"}};
  for (const auto& [name, bytes, type] : files) {
    std::ofstream(std::filesystem::path(folder + name), std::ios::binary) << bytes;
    EXPECT_EQ(type, vpdf::DocTypeForFile((folder + name).c_str())) << Utf8(name);
  }
  EXPECT_EQ(L"", vpdf::DocTypeForFile((folder + L"\\missing.bin").c_str()));
  std::filesystem::remove_all(std::filesystem::path(folder));
}

}  // namespace
