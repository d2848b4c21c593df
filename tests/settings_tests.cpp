// Product settings: single registry values, the DMS profile ini file, the install folder,
// the stand-alone switch and the registry tree copy.
#include "convutils/settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/settings_support.h"
#include "tests/testing/registry.h"

namespace {

using testing_support::ScopedProfileIni;
using testing_support::ScopedRegistryKeys;
using testing_support::ScopedRegistryValue;
using vpdf::CConvRegKey;
using vpdf::dmsprofile_reader;

const std::wstring kRoot = L"Software\\VpdfTests\\Settings";

class RegKey : public testing_support::CleanTempFolderTest {
 protected:
  ScopedRegistryKeys keys{{{HKEY_CURRENT_USER, kRoot}}};
};

TEST_F(RegKey, ReadsAStringOrItsDefault) {
  testing_support::SetString(HKEY_CURRENT_USER, kRoot, L"Text", L"stored");
  testing_support::SetBinary(HKEY_CURRENT_USER, kRoot, L"Short", {'x'});  // one byte is missing
  // Two bytes are one character, even without a terminator in the registry.
  ScopedRegistryValue unterminated(HKEY_CURRENT_USER, kRoot, L"Bare");
  unterminated.Set(REG_SZ, L"AB", 2 * sizeof(wchar_t));
  const struct {
    std::wstring path;
    const wchar_t *name, *fallback, *expected;
  } rows[] = {
      {kRoot, L"Text", L"fallback", L"stored"},       {kRoot, L"Other", L"fallback", L"fallback"},
      {kRoot + L"\\Nothing", L"Text", L"fb", L"fb"},  {kRoot, L"Other", nullptr, L""},
      {kRoot, L"Short", L"fallback", L"fallback"},    {kRoot, L"Bare", L"fallback", L"AB"},
  };
  for (const auto& row : rows) {
    CConvRegKey key(HKEY_CURRENT_USER, row.path.c_str(), row.name, row.fallback);
    EXPECT_EQ(row.expected, key.ReadString()) << testing_support::Utf8(row.name);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), key.Type());
  }
}

TEST_F(RegKey, ANumberIsReadWhateverItsTypeWithTheOpenError) {
  testing_support::SetDword(HKEY_CURRENT_USER, kRoot, L"N", 42);
  testing_support::SetDword(HKEY_CURRENT_USER, kRoot, L"Zero", 0);
  // "1" with its terminator fills exactly four bytes: the character codes are the number.
  testing_support::SetString(HKEY_CURRENT_USER, kRoot, L"One", L"1");
  testing_support::SetString(HKEY_CURRENT_USER, kRoot, L"Long", L"12345");
  const struct {
    std::wstring path;
    const wchar_t* name;
    int fallback;
    DWORD expected;
    LONG error;
  } rows[] = {
      {kRoot + L"\\Nothing", L"N", 7, 7, ERROR_FILE_NOT_FOUND}, {kRoot, L"Absent", 7, 7, ERROR_SUCCESS},
      {kRoot, L"N", 7, 42, ERROR_SUCCESS},  {kRoot, L"Zero", 1, 0, ERROR_SUCCESS},
      {kRoot, L"One", 0, 0x31, ERROR_SUCCESS}, {kRoot, L"Long", -1, 0xFFFFFFFF, ERROR_SUCCESS},
  };
  for (const auto& row : rows) {
    CConvRegKey key(HKEY_CURRENT_USER, row.path.c_str(), row.name, row.fallback);
    LONG error = -1;
    EXPECT_EQ(row.expected, key.ReadNumber(&error)) << testing_support::Utf8(row.name);
    EXPECT_EQ(row.error, error) << testing_support::Utf8(row.name);
    EXPECT_EQ(row.expected != 0, key.ReadBool());
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), key.Type());
  }
}

TEST_F(RegKey, WritesCreateTheKey) {
  const std::wstring path = kRoot + L"\\New\\Deeper";
  EXPECT_EQ(ERROR_SUCCESS, CConvRegKey(HKEY_CURRENT_USER, path.c_str(), L"Num", 0).WriteNumber(9));
  EXPECT_EQ(ERROR_SUCCESS, CConvRegKey(HKEY_CURRENT_USER, path.c_str(), L"Flag", 0).WriteBool(true));
  EXPECT_EQ(ERROR_SUCCESS,
            CConvRegKey(HKEY_CURRENT_USER, path.c_str(), L"Text", L"").WriteString(L"abc"));
  const std::tuple<const wchar_t*, DWORD, std::vector<BYTE>> rows[] = {
      {L"Num", REG_DWORD, {9, 0, 0, 0}},
      {L"Flag", REG_DWORD, {1, 0, 0, 0}},
      {L"Text", REG_SZ, {'a', 0, 'b', 0, 'c', 0, 0, 0}}};
  for (const auto& [name, type, bytes] : rows) {
    DWORD found = 0;
    std::vector<BYTE> data(16);
    DWORD size = static_cast<DWORD>(data.size());
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name,
                                          RRF_RT_ANY | RRF_NOEXPAND, &found, data.data(), &size));
    data.resize(size);
    EXPECT_EQ(type, found);
    EXPECT_EQ(bytes, data);
  }
}

TEST_F(RegKey, TheExtraAccessChoosesThe32BitView) {
  const std::wstring path = L"Software\\VpdfTestsView";
  ScopedRegistryKeys viewKeys({{HKEY_LOCAL_MACHINE, path},
                               {HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\VpdfTestsView"}});
  CConvRegKey key(HKEY_LOCAL_MACHINE, path.c_str(), L"N", 0);
  key.SetExtraAccess(KEY_WOW64_32KEY);
  ASSERT_EQ(ERROR_SUCCESS, key.WriteNumber(3));
  EXPECT_EQ(3u, key.ReadNumber());
  EXPECT_TRUE(
      testing_support::KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\VpdfTestsView"));
  EXPECT_FALSE(testing_support::KeyExists(HKEY_LOCAL_MACHINE, path));
}

// ---- DMS profile ini file -----------------------------------------------------------------

class ProfileIni : public testing_support::CleanTempFolderTest {};

TEST_F(ProfileIni, ReadsIntegersAndTextsFromTheCommonFile) {
  EXPECT_EQ(0, _wcsicmp(testing_support::ProfileIniPath().c_str(),
                        dmsprofile_reader::ini_path().c_str()))
      << testing_support::Utf8(dmsprofile_reader::ini_path());
  ScopedProfileIni ini(L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\nTEMP_FOLDER_PATH=D:\\Work\r\n"
                       L"EMPTY=\r\n");
  EXPECT_EQ(1, dmsprofile_reader::read_int(L"WorkSite", L"USE_TEMP_FOR_OPEN", 0));
  EXPECT_EQ(5, dmsprofile_reader::read_int(L"WorkSite", L"USE_OFFICE_TYPES", 5));
  EXPECT_EQ(5, dmsprofile_reader::read_int(L"Other", L"USE_TEMP_FOR_OPEN", 5));
  EXPECT_EQ(L"D:\\Work", dmsprofile_reader::read_string(L"WorkSite", L"TEMP_FOLDER_PATH", L""));
  EXPECT_EQ(L"none", dmsprofile_reader::read_string(L"WorkSite", L"MISSING", L"none"));
  // An empty value in the file is no text either.
  EXPECT_EQ(L"none", dmsprofile_reader::read_string(L"WorkSite", L"EMPTY", L"none"));

  DeleteFileW(testing_support::ProfileIniPath().c_str());  // a missing file gives the defaults
  EXPECT_EQ(-3, dmsprofile_reader::read_int(L"WorkSite", L"USE_TEMP_FOR_OPEN", -3));
  EXPECT_EQ(L"", dmsprofile_reader::read_string(L"WorkSite", L"TEMP_FOLDER_PATH", nullptr));
  EXPECT_TRUE(dmsprofile_reader::read_flag(L"WorkSite", L"FLAG", true));
  EXPECT_FALSE(dmsprofile_reader::read_flag(L"WorkSite", L"FLAG", false));
  char id[16] = "unchanged";
  EXPECT_FALSE(dmsprofile_reader::read_appid(L"WorkSite", L"PDF", id, sizeof id));
}

TEST_F(ProfileIni, AFlagIsYesOrTrueInAnyCase) {
  ScopedProfileIni ini(L"[S]\r\nA=Yes\r\nB=TRUE\r\nC=1\r\nD=no\r\nE=yess\r\n");
  const std::tuple<const wchar_t*, bool, bool> rows[] = {
      {L"A", false, true}, {L"B", false, true}, {L"C", true, false}, {L"D", true, false},
      {L"E", true, false}, {L"MISSING", true, true}};
  for (const auto& [key, fallback, flag] : rows)
    EXPECT_EQ(flag, dmsprofile_reader::read_flag(L"S", key, fallback)) << testing_support::Utf8(key);
}

TEST_F(ProfileIni, AnApplicationIdMustFitWithRoomToSpare) {
  ScopedProfileIni ini(L"[WorkSite]\r\nPDFAPPID=ACRO_6\r\nXPSAPPID=XPSVIEW\r\nDOCAPPID=\x4E2D\x6587\r\n");
  char id[8] = {};
  EXPECT_TRUE(dmsprofile_reader::read_appid(L"WorkSite", L"pdf", id, sizeof id));
  EXPECT_STREQ("ACRO_6", id);
  EXPECT_FALSE(dmsprofile_reader::read_appid(L"WorkSite", L"XPS", id, sizeof id));
  char wide[9] = {};
  EXPECT_TRUE(dmsprofile_reader::read_appid(L"WorkSite", L"Xps", wide, sizeof wide));
  EXPECT_STREQ("XPSVIEW", wide);
  EXPECT_FALSE(dmsprofile_reader::read_appid(L"WorkSite", L"RTF", wide, sizeof wide));
  EXPECT_FALSE(dmsprofile_reader::read_appid(L"WorkSite", L"pdf", nullptr, 8));
  // Outside the ANSI code page (every text converts to a UTF-8 one).
  char ansi[32] = {};
  EXPECT_EQ(GetACP() == CP_UTF8, dmsprofile_reader::read_appid(L"WorkSite", L"DOC", ansi, sizeof ansi));
}

// ---- Install folder and stand-alone switch -------------------------------------------------

const wchar_t kWowProduct[] = L"Software\\Wow6432Node\\Ostrel\\PDF\\V1";
const wchar_t kProduct[] = L"Software\\Ostrel\\PDF";

class InstallPath : public testing_support::CleanTempFolderTest {
 protected:
  ScopedRegistryValue wowPath{HKEY_LOCAL_MACHINE, kWowProduct, L"InstallPath"};
  ScopedRegistryValue productPath{HKEY_LOCAL_MACHINE, kProduct, L"InstallPath"};
  ScopedRegistryValue standAlone{HKEY_LOCAL_MACHINE, kWowProduct, L"StandAlone"};
};

TEST_F(InstallPath, KindThreeReadsTheProductKeyAndASizeTooSmallGivesTheSizeNeeded) {
  wowPath.SetString(L"C:\\Prod\\V\\");  // 10 characters
  productPath.SetString(L"C:\\Product\\");
  for (int kind : {0, 1, 2, 3, 4, 17}) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    EXPECT_TRUE(vpdf::GetProductInstallPath(buffer, size, kind)) << kind;
    EXPECT_STREQ(kind == 3 ? L"C:\\Product\\" : L"C:\\Prod\\V\\", buffer) << kind;
    EXPECT_EQ(static_cast<DWORD>(MAX_PATH), size);
  }
  wchar_t buffer[MAX_PATH] = L"untouched";
  DWORD size = 10;
  EXPECT_FALSE(vpdf::GetProductInstallPath(buffer, size, 1));
  EXPECT_EQ(11u, size);
  EXPECT_STREQ(L"untouched", buffer);
  EXPECT_TRUE(vpdf::GetProductInstallPath(buffer, size, 1));
  EXPECT_STREQ(L"C:\\Prod\\V\\", buffer);

  // An empty or missing value sets the size to zero.
  wowPath.SetString(L"");
  productPath.Remove();
  for (int kind : {1, 3}) {
    size = MAX_PATH;
    EXPECT_FALSE(vpdf::GetProductInstallPath(buffer, size, kind));
    EXPECT_EQ(0u, size);
  }
}

TEST_F(InstallPath, OnlyStandAloneZeroMeansNotStandAlone) {
  standAlone.Remove();
  EXPECT_FALSE(vpdf::IsNotStandAlone());
  standAlone.SetDword(1);
  EXPECT_FALSE(vpdf::IsNotStandAlone());
  standAlone.SetDword(0);
  EXPECT_TRUE(vpdf::IsNotStandAlone());
}

// ---- Registry tree copy -------------------------------------------------------------------

class TreeCopy : public testing_support::CleanTempFolderTest {
 protected:
  const std::wstring source = kRoot + L"\\Source";
  const std::wstring target = kRoot + L"\\Target";
  ScopedRegistryKeys keys{{{HKEY_CURRENT_USER, kRoot}}};

  static HKEY Open(const std::wstring& path) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    return key;
  }
  static std::wstring Tree(const std::wstring& path) {
    std::wstring dump = testing_support::DumpTree(HKEY_CURRENT_USER, path);
    // Relative key names, so that two places can be compared.
    for (size_t at = dump.find(L"[" + path); at != std::wstring::npos;
         at = dump.find(L"[" + path, at + 1))
      dump.replace(at + 1, path.size(), L"~");
    return dump;
  }
};

TEST_F(TreeCopy, CopiesValuesOfEveryTypeAndSubkeys) {
  using namespace testing_support;
  SetString(HKEY_CURRENT_USER, source, L"", L"default");
  SetString(HKEY_CURRENT_USER, source, L"Text", L"%PATH%", REG_EXPAND_SZ);
  SetDword(HKEY_CURRENT_USER, source, L"Number", 77);
  std::vector<BYTE> big(5000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 7);
  SetBinary(HKEY_CURRENT_USER, source, L"Big", big);
  SetString(HKEY_CURRENT_USER, source + L"\\A\\B", L"Deep", L"down");
  SetDword(HKEY_CURRENT_USER, source + L"\\A", L"Mid", 1);

  HKEY from = Open(source), to = Open(target);
  EXPECT_EQ(ERROR_SUCCESS, vpdf::CopyRegistryTree(from, to, L"Copy", false));
  RegCloseKey(from);
  RegCloseKey(to);

  EXPECT_EQ(Tree(source), Tree(target + L"\\Copy"));
  std::vector<BYTE> copied(6000);
  DWORD size = static_cast<DWORD>(copied.size());
  ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, (target + L"\\Copy").c_str(), L"Big",
                                        RRF_RT_REG_BINARY, nullptr, copied.data(), &size));
  copied.resize(size);
  EXPECT_EQ(big, copied);
}

TEST_F(TreeCopy, IntoTheDestinationCopiesOnlyTheSubkeys) {
  using namespace testing_support;
  SetDword(HKEY_CURRENT_USER, source, L"Own", 1);
  SetDword(HKEY_CURRENT_USER, source + L"\\Child", L"Inner", 2);
  HKEY from = Open(source), to = Open(target);
  EXPECT_EQ(ERROR_SUCCESS, vpdf::CopyRegistryTree(from, to, L"Ignored", true));
  RegCloseKey(from);
  RegCloseKey(to);
  EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, target, L"Own"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, target + L"\\Ignored"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, target + L"\\Child", L"Inner"));
}

TEST_F(TreeCopy, AKeyCopiedOntoItselfLeavesOutTheBeginningsOfTheNewName) {
  using namespace testing_support;
  SetDword(HKEY_CURRENT_USER, source, L"Top", 1);
  SetDword(HKEY_CURRENT_USER, source + L"\\Backup", L"Old", 1);
  SetDword(HKEY_CURRENT_USER, source + L"\\BACK", L"Short", 1);
  SetDword(HKEY_CURRENT_USER, source + L"\\Backup2\\X", L"Deep", 1);
  SetDword(HKEY_CURRENT_USER, source + L"\\Other", L"Kept", 1);

  HKEY key = Open(source);
  EXPECT_EQ(ERROR_SUCCESS, vpdf::CopyRegistryTree(key, key, L"Backup", false));
  RegCloseKey(key);

  const std::wstring backup = source + L"\\Backup";
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, backup, L"Top"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, backup, L"Old"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, backup + L"\\Backup2\\X", L"Deep"));
  EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, backup + L"\\Other", L"Kept"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, backup + L"\\BACK"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, backup + L"\\Backup"));
}

}  // namespace
