// What the add-in reads and writes of the product's settings (registry values with their
// types, the DMS profile ini file, the install folder) and of the DMS client's options (the
// options key, the new-version profile switch, IManExt2.dll, the portable folder, document
// types). Each table row is a registry or ini state and what the add-in makes of it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "convutils/settings.h"
#include "dms/client_options.h"
#include "tests/settings_support.h"

namespace {

using namespace testing_support;
using vpdf::CConvRegKey, vpdf::dmsprofile_reader;
const HKEY HKCU = HKEY_CURRENT_USER, HKLM = HKEY_LOCAL_MACHINE;
const std::wstring kRoot = L"Software\\VpdfTests\\Settings";

class Settings : public CleanTempFolderTest {
 protected:
  ScopedRegistryKeys keys{{{HKCU, kRoot}}};
};

TEST_F(Settings, RegistryValuesAreReadWhateverTheirTypeOrTheDefault) {
  SetString(HKCU, kRoot, L"Text", L"stored");
  SetBinary(HKCU, kRoot, L"Short", {'x'});  // one byte: no character
  tbreg::Set(HKCU, kRoot, L"Bare", REG_SZ, L"AB", 2 * sizeof(wchar_t));  // no terminator
  SetDword(HKCU, kRoot, L"N", 42);
  SetDword(HKCU, kRoot, L"Zero", 0);
  SetString(HKCU, kRoot, L"One", L"1");  // with its terminator four bytes: 0x31
  SetString(HKCU, kRoot, L"Long", L"12345");
  const std::wstring none = kRoot + L"\\Nothing";
  const std::tuple<std::wstring, const wchar_t*, const wchar_t*, const wchar_t*> texts[] = {
      {kRoot, L"Text", L"fallback", L"stored"}, {kRoot, L"Other", L"fallback", L"fallback"},
      {none, L"Text", L"fb", L"fb"},           {kRoot, L"Other", nullptr, L""},
      {kRoot, L"Short", L"fallback", L"fallback"}, {kRoot, L"Bare", L"fallback", L"AB"}};
  for (const auto& [path, name, fallback, expected] : texts)
    EXPECT_EQ(expected, CConvRegKey(HKCU, path.c_str(), name, fallback).ReadString()) << Utf8(name);
  const std::tuple<std::wstring, const wchar_t*, int, DWORD, LONG> numbers[] = {
      {none, L"N", 7, 7, ERROR_FILE_NOT_FOUND}, {kRoot, L"Absent", 7, 7, ERROR_SUCCESS},
      {kRoot, L"N", 7, 42, ERROR_SUCCESS},      {kRoot, L"Zero", 1, 0, ERROR_SUCCESS},
      {kRoot, L"One", 0, 0x31, ERROR_SUCCESS},  {kRoot, L"Long", -1, 0xFFFFFFFF, ERROR_SUCCESS}};
  for (const auto& [path, name, fallback, expected, error] : numbers) {
    CConvRegKey key(HKCU, path.c_str(), name, fallback);
    LONG opened = -1;
    EXPECT_EQ(expected, key.ReadNumber(&opened)) << Utf8(name);
    EXPECT_EQ(error, opened) << Utf8(name);
    EXPECT_EQ(expected != 0, key.ReadBool()) << Utf8(name);
  }
}

TEST_F(Settings, WritesMakeTheKeyAndTheTypedValue) {
  const std::wstring path = kRoot + L"\\New\\Deeper";
  EXPECT_EQ(ERROR_SUCCESS, CConvRegKey(HKCU, path.c_str(), L"Num", 0).WriteNumber(9));
  EXPECT_EQ(ERROR_SUCCESS, CConvRegKey(HKCU, path.c_str(), L"Flag", 0).WriteBool(true));
  EXPECT_EQ(ERROR_SUCCESS, CConvRegKey(HKCU, path.c_str(), L"Text", L"").WriteString(L"abc"));
  EXPECT_EQ(L"[" + path + L"]\nFlag=dword:1\nNum=dword:9\nText=\"abc\"\n", DumpTree(HKCU, path));
}

TEST_F(Settings, InstallFolderAndStandAlone) {
  ScopedRegistryValue wow{HKLM, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1", L"InstallPath"};
  ScopedRegistryValue product{HKLM, L"Software\\Ostrel\\PDF", L"InstallPath"};
  ScopedRegistryValue standAlone{HKLM, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1", L"StandAlone"};
  // Kind 3 is the product key's; a buffer too small gives the size needed, none gives 0.
  const struct { const wchar_t *wowPath, *productPath; int kind; DWORD size; bool copied; const wchar_t* buffer; DWORD sizeAfter; } rows[] = {
      {L"C:\\Prod\\V\\", L"C:\\Product\\", 0, MAX_PATH, true, L"C:\\Prod\\V\\", MAX_PATH},
      {L"C:\\Prod\\V\\", L"C:\\Product\\", 2, MAX_PATH, true, L"C:\\Prod\\V\\", MAX_PATH},
      {L"C:\\Prod\\V\\", L"C:\\Product\\", 3, MAX_PATH, true, L"C:\\Product\\", MAX_PATH},
      {L"C:\\Prod\\V\\", nullptr, 17, 11, true, L"C:\\Prod\\V\\", 11},
      {L"C:\\Prod\\V\\", nullptr, 1, 10, false, L"untouched", 11},
      {L"", nullptr, 1, MAX_PATH, false, L"untouched", 0},
      {nullptr, nullptr, 3, MAX_PATH, false, L"untouched", 0},
  };
  for (const auto& row : rows) {
    row.wowPath ? wow.SetString(row.wowPath) : wow.Remove();
    row.productPath ? product.SetString(row.productPath) : product.Remove();
    wchar_t buffer[MAX_PATH] = L"untouched";
    DWORD size = row.size;
    EXPECT_EQ(row.copied, vpdf::GetProductInstallPath(buffer, size, row.kind)) << row.kind;
    EXPECT_STREQ(row.buffer, buffer);
    EXPECT_EQ(row.sizeAfter, size);
  }
  for (const auto& [value, notStandAlone] : {std::pair{-1, false}, {1, false}, {0, true}}) {
    value < 0 ? standAlone.Remove() : standAlone.SetDword(static_cast<DWORD>(value));
    EXPECT_EQ(notStandAlone, vpdf::IsNotStandAlone()) << value;
  }
}

// ---- The DMS client's options --------------------------------------------------------------

const std::wstring kClient = L"Software\\InterWoven\\WorkSite";
const std::wstring kThin = L"Software\\NetRight\\iManage\\ThinClient";
const wchar_t kShow[] = L"Show profile for checkin as newversion";
std::wstring OptionsKey(const std::wstring& version) { return kClient + L"\\" + version + L"\\Common\\Advanced Options"; }
std::wstring ThinOptions(const std::wstring& version) { return kThin + L"\\" + version + L"\\Advanced Options"; }

class ClientOptions : public CleanTempFolderTest {
 protected:
  ScopedRegistryTree client{HKCU, kClient};
  ScopedRegistryTree thin{HKCU, kThin};
};

// The options of the client's first version, else of the thin client's.
TEST_F(ClientOptions, TheOptionsKeyAndTheProfileSwitch) {
  auto marker = [] {
    vpdf::RegKey key = vpdf::GetiManageRegPath();
    return key ? GetString(key.Get(), L"", L"Marker") : L"<no key>";
  };
  EXPECT_EQ(L"<no key>", marker());
  EXPECT_TRUE(vpdf::EnableNewVersionProfileDlg());
  SetString(HKCU, ThinOptions(L"2.0"), L"Marker", L"thin");
  EXPECT_EQ(L"thin", marker());
  SetString(HKCU, kClient + L"\\0.1\\Common", L"Other", L"x");  // a first version without options
  SetString(HKCU, OptionsKey(L"9.0"), L"Marker", L"9.0");
  EXPECT_EQ(L"thin", marker());
  RegDeleteTreeW(HKCU, (kClient + L"\\0.1").c_str());
  EXPECT_EQ(L"9.0", marker());
  // Only "N", in any case, switches the profile dialog of a new version off; a number is no text.
  EXPECT_TRUE(vpdf::EnableNewVersionProfileDlg());
  SetDword(HKCU, OptionsKey(L"9.0"), kShow, 0);
  EXPECT_TRUE(vpdf::EnableNewVersionProfileDlg());
  for (const auto& [text, on] : {std::pair{L"N", false}, {L"n", false}, {L"No", true}, {L"0", true}, {L"", true}}) {
    SetString(HKCU, OptionsKey(L"9.0"), kShow, text);
    EXPECT_EQ(on, vpdf::EnableNewVersionProfileDlg()) << Utf8(text);
  }
}

// The profile switch goes into the options of every family that has them, and makes no key.
TEST_F(ClientOptions, TheProfileSwitchIsWrittenWhereOptionsAre) {
  SetString(HKCU, OptionsKey(L"9.0"), L"Other", L"x");
  SetString(HKCU, ThinOptions(L"3.0"), L"Other", L"x");
  SetString(HKCU, kClient + L"\\9.5\\Common", L"Other", L"x");
  for (bool show : {false, true}) {
    vpdf::SetShowProfileForCheckin(show);
    const std::wstring value = std::wstring(kShow) + (show ? L"=\"Y\"\n" : L"=\"N\"\n");
    EXPECT_EQ(L"[" + OptionsKey(L"9.0") + L"]\nOther=\"x\"\n" + value, DumpTree(HKCU, OptionsKey(L"9.0")));
    EXPECT_EQ(L"[" + ThinOptions(L"3.0") + L"]\nOther=\"x\"\n" + value, DumpTree(HKCU, ThinOptions(L"3.0")));
    EXPECT_FALSE(KeyExists(HKCU, OptionsKey(L"9.5")));
    EXPECT_EQ(show, vpdf::EnableNewVersionProfileDlg());
  }
}

// Every version's InstallRoot is looked at; the answer holds for the process (nothing else in
// this program asks).
TEST_F(ClientOptions, IManExt2IsLookedForOnce) {
  ScopedRegistryTree installed{HKLM, kClient};
  const std::wstring first = TempFolder() + L"vpdf_Client", second = TempFolder() + L"vpdf_Second";
  for (const std::wstring& folder : {first, second}) {
    CreateDirectoryW(folder.c_str(), nullptr);
    std::ofstream(std::filesystem::path(folder + L"\\IManExt2.dll")) << "MZ";
  }
  // Without its closing backslash the first path runs on into the name: ...\vpdf_ClientIManExt2.dll.
  SetString(HKLM, kClient + L"\\A\\Common\\InstallRoot", L"path", first);
  SetString(HKLM, kClient + L"\\B\\Common\\InstallRoot", L"path", second + L"\\");
  EXPECT_TRUE(vpdf::FindIManExt2());
  for (const std::wstring& folder : {first, second}) std::filesystem::remove_all(std::filesystem::path(folder));
  RegDeleteTreeW(HKLM, kClient.c_str());
  EXPECT_TRUE(vpdf::FindIManExt2());
}

TEST_F(ClientOptions, PortableFolder) {
  const std::wstring portable = L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable";
  ScopedRegistryTree key{HKCU, portable};
  auto folder = [] {
    BSTR path = nullptr;
    EXPECT_EQ(S_OK, vpdf::GetDesksitePath(&path));
    std::wstring text = path ? path : L"<null>";
    SysFreeString(path);
    return text;
  };
  // The directory is the document profiles' test (doc_select_tests); without it the drive.
  EXPECT_EQ(L"C:\\NRPortbl\\", folder());  // no portable key
  SetString(HKCU, portable, L"Other", L"x");
  EXPECT_EQ(L"C:\\NrPortbl\\", folder());
  SetString(HKCU, portable, L"PORTABLE_DRIVE", L"E");
  EXPECT_EQ(L"E:\\NrPortbl\\", folder());
  SetString(HKCU, portable, L"PORTABLE_DIRECTORY", L"D:\\Docs");
  EXPECT_EQ(L"D:\\Docs\\", folder());
  EXPECT_EQ(E_POINTER, vpdf::GetDesksitePath(nullptr));
}

// UseProfile is a non-zero REG_DWORD; USE_TEMP_FOR_OPEN a positive number.
TEST_F(ClientOptions, UseProfileAndUseTempForOpen) {
  const std::wstring workSite = L"Software\\Ostrel\\PDF\\V1\\WorkSite";
  ScopedRegistryTree key{HKCU, workSite};
  ScopedProfileIni ini;
  EXPECT_FALSE(vpdf::UseProfile());
  EXPECT_FALSE(vpdf::UseTempForOpen());
  for (DWORD value : {1u, 0u}) {
    SetDword(HKCU, workSite, L"UseProfile", value);
    EXPECT_EQ(value != 0, vpdf::UseProfile());
  }
  SetString(HKCU, workSite, L"UseProfile", L"1");
  EXPECT_FALSE(vpdf::UseProfile());
  for (const auto& [text, on] : {std::pair{L"1", true}, {L"2", true}, {L"0", false}, {L"-1", false}, {L"yes", false}}) {
    ini.Write(std::wstring(L"[WorkSite]\r\nUSE_TEMP_FOR_OPEN=") + text + L"\r\n");
    EXPECT_EQ(on, vpdf::UseTempForOpen()) << Utf8(text);
  }
}

// The DMS type of a file: by its extension, with the Office types or without; by its content
// when the extension is unknown.
TEST_F(ClientOptions, DocumentTypes) {
  ScopedProfileIni ini;
  const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
      {L"a.pdf", L"ACROBAT", L"ACROBAT"}, {L"C:\\x\\B.DOC", L"WORD", L"DOC"}, {L"c.rtf", L"RTF", L"RTF"},
      {L"d.docx", L"WORDX", L"DOCX"},     {L"e.xls", L"EXCEL", L"XLS"},       {L"f.XLSX", L"EXCELX", L"XLSX"},
      {L"g.wpd", L"WPF", L"WPF"},         {L"h.ppt", L"PPT", L"PPT"},         {L"i.pptx", L"PPTX", L"PPTX"},
      {L"j.xps", L"XPS", L"XPS"},         {L"k.oxps", L"XPS", L"XPS"},        {L"l.bmp", L"BMP", L"BMP"},
      {L"m.tif", L"TIFF", L"TIFF"},       {L"n.tiff", L"TIFF", L"TIFF"},      {L"o.jpg", L"JPEG", L"JPEG"},
      {L"p.Jpeg", L"JPEG", L"JPEG"}};
  for (const wchar_t* office : {L"", L"USE_OFFICE_TYPES=1\r\n"}) {
    ini.Write(std::wstring(L"[WorkSite]\r\n") + office);
    for (const auto& [file, client, officeType] : cases)
      EXPECT_EQ(*office ? officeType : client, vpdf::DocTypeForFile(file)) << Utf8(file);
  }
  ini.Write(L"[WorkSite]\r\nUSE_OFFICE_TYPES=2\r\nPDFAPPID=ACROBAT9\r\n");
  EXPECT_EQ(L"WORDX", vpdf::DocTypeForFile(L"d.docx"));
  EXPECT_EQ(L"ACROBAT9", vpdf::DocTypeForFile(L"temp.pdf"));
  // The point in a folder name is no extension.
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
