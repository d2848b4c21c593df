// Product settings: single registry values, the DMS profile ini file, the install folder,
// the stand-alone switch and the registry tree copy.
#include "convutils/settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
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
  CConvRegKey stored(HKEY_CURRENT_USER, kRoot.c_str(), L"Text", L"fallback");
  EXPECT_STREQ(L"stored", stored.ReadString());
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.Type());

  CConvRegKey missingValue(HKEY_CURRENT_USER, kRoot.c_str(), L"Other", L"fallback");
  EXPECT_STREQ(L"fallback", missingValue.ReadString());
  CConvRegKey missingKey(HKEY_CURRENT_USER, (kRoot + L"\\Nothing").c_str(), L"Text", L"fb");
  EXPECT_STREQ(L"fb", missingKey.ReadString());
  CConvRegKey noDefault(HKEY_CURRENT_USER, kRoot.c_str(), L"Other", nullptr);
  EXPECT_EQ(nullptr, noDefault.ReadString());
}

TEST_F(RegKey, AValueOfOneByteIsMissing) {
  testing_support::SetBinary(HKEY_CURRENT_USER, kRoot, L"Short", {'x'});
  CConvRegKey key(HKEY_CURRENT_USER, kRoot.c_str(), L"Short", L"fallback");
  EXPECT_STREQ(L"fallback", key.ReadString());

  // Two bytes are one character, even without a terminator in the registry.
  ScopedRegistryValue unterminated(HKEY_CURRENT_USER, kRoot, L"Bare");
  unterminated.Set(REG_SZ, L"AB", 2 * sizeof(wchar_t));
  CConvRegKey bare(HKEY_CURRENT_USER, kRoot.c_str(), L"Bare", L"fallback");
  EXPECT_STREQ(L"AB", bare.ReadString());
}

TEST_F(RegKey, ANumberFromAMissingKeyReturnsTheOpenError) {
  LONG error = -1;
  CConvRegKey missingKey(HKEY_CURRENT_USER, (kRoot + L"\\Nothing").c_str(), L"N", 7);
  EXPECT_EQ(7u, missingKey.ReadNumber(&error));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, error);

  testing_support::SetDword(HKEY_CURRENT_USER, kRoot, L"N", 42);
  CConvRegKey missingValue(HKEY_CURRENT_USER, kRoot.c_str(), L"Absent", 7);
  EXPECT_EQ(7u, missingValue.ReadNumber(&error));
  EXPECT_EQ(ERROR_SUCCESS, error);

  CConvRegKey present(HKEY_CURRENT_USER, kRoot.c_str(), L"N", 7);
  EXPECT_EQ(42u, present.ReadNumber());
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), present.Type());
}

TEST_F(RegKey, ANumberReadDoesNotLookAtTheType) {
  // "1" with its terminator fills exactly four bytes: the character codes are the number.
  testing_support::SetString(HKEY_CURRENT_USER, kRoot, L"One", L"1");
  testing_support::SetString(HKEY_CURRENT_USER, kRoot, L"Long", L"12345");
  CConvRegKey one(HKEY_CURRENT_USER, kRoot.c_str(), L"One", 0);
  EXPECT_EQ(0x31u, one.ReadNumber());
  CConvRegKey tooLong(HKEY_CURRENT_USER, kRoot.c_str(), L"Long", -1);
  EXPECT_EQ(0xFFFFFFFFu, tooLong.ReadNumber());
}

TEST_F(RegKey, BooleanIsTheNumberComparedWithZero) {
  testing_support::SetDword(HKEY_CURRENT_USER, kRoot, L"Zero", 0);
  testing_support::SetDword(HKEY_CURRENT_USER, kRoot, L"Five", 5);
  EXPECT_FALSE(CConvRegKey(HKEY_CURRENT_USER, kRoot.c_str(), L"Zero", 1).ReadBool());
  EXPECT_TRUE(CConvRegKey(HKEY_CURRENT_USER, kRoot.c_str(), L"Five", 0).ReadBool());
  EXPECT_TRUE(CConvRegKey(HKEY_CURRENT_USER, kRoot.c_str(), L"Absent", 1).ReadBool());
}

TEST_F(RegKey, WritesCreateTheKey) {
  const std::wstring path = kRoot + L"\\New\\Deeper";
  EXPECT_EQ(ERROR_SUCCESS, CConvRegKey(HKEY_CURRENT_USER, path.c_str(), L"Num", 0).WriteNumber(9));
  EXPECT_EQ(ERROR_SUCCESS,
            CConvRegKey(HKEY_CURRENT_USER, path.c_str(), L"Flag", 0).WriteBool(true));
  EXPECT_EQ(ERROR_SUCCESS,
            CConvRegKey(HKEY_CURRENT_USER, path.c_str(), L"Text", L"").WriteString(L"abc"));

  DWORD type = 0, number = 0, size = sizeof number;
  ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, path.c_str(), L"Num", RRF_RT_ANY,
                                        &type, &number, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(9u, number);
  ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, path.c_str(), L"Flag", RRF_RT_ANY,
                                        &type, &number, &size));
  EXPECT_EQ(1u, number);
  wchar_t text[16];
  size = sizeof text;
  ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_CURRENT_USER, path.c_str(), L"Text",
                                        RRF_RT_ANY | RRF_NOEXPAND, &type, text, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(4 * sizeof(wchar_t), size);
  EXPECT_STREQ(L"abc", text);
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
  EXPECT_EQ(0u, CConvRegKey(HKEY_LOCAL_MACHINE, path.c_str(), L"N", 0).ReadNumber());
}

// ---- DMS profile ini file -----------------------------------------------------------------

class ProfileIni : public testing_support::CleanTempFolderTest {};

TEST_F(ProfileIni, LivesInTheCommonApplicationDataFolder) {
  EXPECT_EQ(0, _wcsicmp(testing_support::ProfileIniPath().c_str(),
                        dmsprofile_reader::ini_path().c_str()))
      << testing_support::Utf8(dmsprofile_reader::ini_path());
}

TEST_F(ProfileIni, ReadsIntegersAndTextsAndLogsThem) {
  ScopedProfileIni ini(L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=1\r\nTEMP_FOLDER_PATH=D:\\Work\r\n"
                       L"EMPTY=\r\n");
  EXPECT_EQ(1, dmsprofile_reader::read_int(L"WorkSite", L"USE_TEMP_FOR_OPEN", 0));
  EXPECT_EQ(5, dmsprofile_reader::read_int(L"WorkSite", L"USE_OFFICE_TYPES", 5));
  EXPECT_EQ(5, dmsprofile_reader::read_int(L"Other", L"USE_TEMP_FOR_OPEN", 5));
  EXPECT_EQ(L"D:\\Work", dmsprofile_reader::read_string(L"WorkSite", L"TEMP_FOLDER_PATH", L""));
  EXPECT_EQ(L"none", dmsprofile_reader::read_string(L"WorkSite", L"MISSING", L"none"));
  // An empty value in the file is no text either.
  EXPECT_EQ(L"none", dmsprofile_reader::read_string(L"WorkSite", L"EMPTY", L"none"));

  EXPECT_TRUE(log.Has("DMS profile ini path is " +
                      testing_support::Utf8(testing_support::ProfileIniPath())));
  EXPECT_TRUE(log.Has("dmsprofile_reader::read_int(\"WorkSite\"/\"USE_TEMP_FOR_OPEN\")"));
  EXPECT_TRUE(log.Has("dmsprofile_reader::read_int() returns 1"));
  EXPECT_TRUE(log.Has("dmsprofile_reader::read_string(\"WorkSite\"/\"TEMP_FOLDER_PATH\")"));
  EXPECT_TRUE(log.Has("dmsprofile_reader::read_string() returns \"D:\\Work\""));
}

TEST_F(ProfileIni, AMissingFileGivesTheDefaults) {
  ScopedProfileIni noFile;
  EXPECT_EQ(-3, dmsprofile_reader::read_int(L"WorkSite", L"USE_TEMP_FOR_OPEN", -3));
  EXPECT_EQ(L"def", dmsprofile_reader::read_string(L"WorkSite", L"TEMP_FOLDER_PATH", L"def"));
  EXPECT_EQ(L"", dmsprofile_reader::read_string(L"WorkSite", L"TEMP_FOLDER_PATH", nullptr));
  EXPECT_TRUE(dmsprofile_reader::read_flag(L"WorkSite", L"FLAG", true));
  EXPECT_FALSE(dmsprofile_reader::read_flag(L"WorkSite", L"FLAG", false));
  char id[16] = "unchanged";
  EXPECT_FALSE(dmsprofile_reader::read_appid(L"WorkSite", L"PDF", id, sizeof id));
}

TEST_F(ProfileIni, AFlagIsYesOrTrueInAnyCase) {
  ScopedProfileIni ini(L"[S]\r\nA=Yes\r\nB=TRUE\r\nC=1\r\nD=no\r\nE=yess\r\n");
  EXPECT_TRUE(dmsprofile_reader::read_flag(L"S", L"A", false));
  EXPECT_TRUE(dmsprofile_reader::read_flag(L"S", L"B", false));
  EXPECT_FALSE(dmsprofile_reader::read_flag(L"S", L"C", true));
  EXPECT_FALSE(dmsprofile_reader::read_flag(L"S", L"D", true));
  EXPECT_FALSE(dmsprofile_reader::read_flag(L"S", L"E", true));
  EXPECT_TRUE(dmsprofile_reader::read_flag(L"S", L"MISSING", true));
}

TEST_F(ProfileIni, AnApplicationIdMustFitWithRoomToSpare) {
  ScopedProfileIni ini(L"[WorkSite]\r\nPDFAPPID=ACRO_6\r\nXPSAPPID=XPSVIEW\r\n");
  char id[8] = {};
  EXPECT_TRUE(dmsprofile_reader::read_appid(L"WorkSite", L"pdf", id, sizeof id));
  EXPECT_STREQ("ACRO_6", id);
  EXPECT_FALSE(dmsprofile_reader::read_appid(L"WorkSite", L"XPS", id, sizeof id));
  char wide[9] = {};
  EXPECT_TRUE(dmsprofile_reader::read_appid(L"WorkSite", L"Xps", wide, sizeof wide));
  EXPECT_STREQ("XPSVIEW", wide);
  EXPECT_FALSE(dmsprofile_reader::read_appid(L"WorkSite", L"DOC", wide, sizeof wide));
  EXPECT_FALSE(dmsprofile_reader::read_appid(L"WorkSite", L"pdf", nullptr, 8));
}

TEST_F(ProfileIni, AnApplicationIdOutsideTheAnsiCodePageIsRefused) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "every text converts to a UTF-8 code page";
  ScopedProfileIni ini(L"[WorkSite]\r\nPDFAPPID=\x4E2D\x6587\r\n");
  char id[32] = {};
  EXPECT_FALSE(dmsprofile_reader::read_appid(L"WorkSite", L"PDF", id, sizeof id));
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

TEST_F(InstallPath, ASizeTooSmallGivesTheSizeNeeded) {
  wowPath.SetString(L"C:\\Prod\\V\\");  // 10 characters
  wchar_t buffer[MAX_PATH] = L"untouched";
  DWORD size = 5;
  EXPECT_FALSE(vpdf::GetProductInstallPath(buffer, size, 1));
  EXPECT_EQ(11u, size);
  EXPECT_STREQ(L"untouched", buffer);

  EXPECT_TRUE(vpdf::GetProductInstallPath(buffer, size, 1));
  EXPECT_STREQ(L"C:\\Prod\\V\\", buffer);
  size = MAX_PATH;
  EXPECT_TRUE(vpdf::GetProductInstallPath(buffer, size, 0));
  EXPECT_STREQ(L"C:\\Prod\\V\\", buffer);
}

TEST_F(InstallPath, KindThreeReadsTheProductKey) {
  wowPath.SetString(L"C:\\Wow\\");
  productPath.SetString(L"C:\\Product\\");
  for (int kind : {0, 1, 2, 4, 17}) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    EXPECT_TRUE(vpdf::GetProductInstallPath(buffer, size, kind)) << kind;
    EXPECT_STREQ(L"C:\\Wow\\", buffer) << kind;
  }
  wchar_t buffer[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  EXPECT_TRUE(vpdf::GetProductInstallPath(buffer, size, 3));
  EXPECT_STREQ(L"C:\\Product\\", buffer);
}

TEST_F(InstallPath, AnEmptyOrMissingValueSetsTheSizeToZero) {
  wowPath.SetString(L"");
  wchar_t buffer[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  EXPECT_FALSE(vpdf::GetProductInstallPath(buffer, size, 1));
  EXPECT_EQ(0u, size);
  productPath.Remove();
  size = MAX_PATH;
  EXPECT_FALSE(vpdf::GetProductInstallPath(buffer, size, 3));
  EXPECT_EQ(0u, size);
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
