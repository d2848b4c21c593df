// Command identity and images in process: language detection, the client tests, the add-in's strings
// (this program carries the add-in's string tables, identity_tests.rc), the skin resource
// library and the command images. The host-executable and DPI cases run in child processes:
// a copy of this program named OUTLOOK.EXE, and this program under another screen DPI.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "addon/resource.h"
#include "commands/identity.h"
#include "convutils/resource_library.h"
#include "tests/identity_support.h"

namespace {

using testing_support::IdentitySettings;
using testing_support::ImageInfo;
using testing_support::ProductFolder;
using testing_support::ReadImage;
using testing_support::ScopedRegistryValue;
using testing_support::TraceLog;

std::wstring Text(BSTR text) {
  std::wstring result = text ? std::wstring(text, SysStringLen(text)) : L"<null>";
  SysFreeString(text);
  return result;
}

// ---- DetectUILanguage -----------------------------------------------------------------------

TEST(LanguageOffset, TheTableOfPart22) {
  EXPECT_EQ(100, vpdf::LanguageOffsetFor(1036));   // French
  EXPECT_EQ(200, vpdf::LanguageOffsetFor(1031));   // German
  EXPECT_EQ(300, vpdf::LanguageOffsetFor(1040));   // Italian
  EXPECT_EQ(400, vpdf::LanguageOffsetFor(1034));   // Spanish
  EXPECT_EQ(500, vpdf::LanguageOffsetFor(1043));   // Dutch
  EXPECT_EQ(600, vpdf::LanguageOffsetFor(1030));   // Danish
  EXPECT_EQ(700, vpdf::LanguageOffsetFor(1053));   // Swedish
  EXPECT_EQ(800, vpdf::LanguageOffsetFor(1046));   // Portuguese (Brazil)
  EXPECT_EQ(1900, vpdf::LanguageOffsetFor(1038));  // Hungarian
  // Languages the resources hold but the detection does not give, and others.
  for (int language : {1033, 1044, 1049, 1045, 1055, 1041, 1042, 2052, 1028, 1035, 1029, 1025,
                       2057, 3084, 2055, 0, -1})
    EXPECT_EQ(0, vpdf::LanguageOffsetFor(language)) << language;
}

class DetectLanguage : public testing::Test {
 protected:
  void SetUp() override {
    settings.SetUILanguageAll(0);
    settings.SetInstallPath(ProductFolder());
  }
  IdentitySettings settings;
};

TEST_F(DetectLanguage, FrenchGivesOneHundred) {
  settings.SetUILanguage(2, 1036);
  EXPECT_EQ(100, vpdf::DetectUILanguage());
}

TEST_F(DetectLanguage, HungarianGivesNineteenHundred) {
  settings.SetUILanguage(2, 1038);
  EXPECT_EQ(1900, vpdf::DetectUILanguage());
}

TEST_F(DetectLanguage, JapaneseShowsEnglish) {
  settings.SetUILanguage(2, 1041);
  EXPECT_EQ(0, vpdf::DetectUILanguage());
}

TEST_F(DetectLanguage, UnknownLanguageShowsEnglish) { EXPECT_EQ(0, vpdf::DetectUILanguage()); }

TEST_F(DetectLanguage, AnInstalledProductAsksForComponentTwo) {
  settings.SetUILanguage(0, 1031);
  settings.SetUILanguage(1, 1040);
  settings.SetUILanguage(2, 1043);
  EXPECT_EQ(500, vpdf::DetectUILanguage());  // Dutch, of kind 2
}

TEST_F(DetectLanguage, WithoutAnInstallFolderComponentZeroIsAsked) {
  settings.SetInstallPath(L"");
  settings.SetUILanguage(0, 1038);
  settings.SetUILanguage(2, 1036);
  EXPECT_EQ(1900, vpdf::DetectUILanguage());  // Hungarian, of kind 0
}

TEST_F(DetectLanguage, IsReadAnewEachTime) {
  settings.SetUILanguage(2, 1036);
  EXPECT_EQ(100, vpdf::DetectUILanguage());
  settings.SetUILanguage(2, 1031);
  EXPECT_EQ(200, vpdf::DetectUILanguage());
}

// ---- IsRibbonClient, IsOutlookHost, UseClassicImages ----------------------------------------

TEST(RibbonClient, DeskSiteVersionDecides) {
  IdentitySettings settings;
  settings.SetClientVersion(L"9.1");
  EXPECT_FALSE(vpdf::IsRibbonClient());
  EXPECT_TRUE(vpdf::UseClassicImages());
  settings.SetClientVersion(L"91.99");
  EXPECT_FALSE(vpdf::IsRibbonClient());
  settings.SetClientVersion(L"92");
  EXPECT_TRUE(vpdf::IsRibbonClient());
  EXPECT_FALSE(vpdf::UseClassicImages());
  settings.SetClientVersion(L"100.0");
  EXPECT_TRUE(vpdf::IsRibbonClient());
  settings.SetClientVersion(L"");
  EXPECT_FALSE(vpdf::IsRibbonClient());
  settings.SetClientVersion(nullptr);
  EXPECT_FALSE(vpdf::IsRibbonClient());
  EXPECT_TRUE(vpdf::UseClassicImages());
}

TEST(RibbonClient, MissingKeyIsNoRibbon) {
  testing_support::ScopedKeyAside aside(HKEY_LOCAL_MACHINE, testing_support::kInterWovenKey);
  EXPECT_FALSE(vpdf::IsRibbonClient());
}

// Run by the parent below in a copy of this program: VPDF_HOST_EXPECT says what to expect.
TEST(HostChild, ChecksItsOwnPath) {
  const std::wstring expect = testing_support::Environment(L"VPDF_HOST_EXPECT");
  if (expect.empty()) GTEST_SKIP() << "runs only as a child of OutlookHost tests";
  IdentitySettings settings;
  settings.SetClientVersion(L"100.0");  // a ribbon client
  const bool outlook = expect == L"outlook";
  EXPECT_EQ(outlook, vpdf::IsOutlookHost()) << testing_support::ProgramPath();
  EXPECT_EQ(outlook, vpdf::UseClassicImages());
  testing_support::ChildRan();
}

class OutlookHost : public testing::Test {
 protected:
  // A copy of this program at %TEMP%\vpdf_hosts\<relative path>, run as a child.
  int RunCopyAs(const std::wstring& relative, const wchar_t* expect) {
    std::wstring root = testing_support::TempFolder() + L"vpdf_hosts\\";
    std::wstring path = root + relative;
    for (size_t slash = path.find(L'\\', root.size() - 1); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1))
      CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    if (!CopyFileW(testing_support::ProgramPath().c_str(), path.c_str(), FALSE)) return -2;
    int code = testing_support::RunChild(path, L"--gtest_filter=HostChild.*",
                                         {{L"VPDF_HOST_EXPECT", expect}});
    DeleteFileW(path.c_str());
    return code;
  }
  void TearDown() override {
    SHFILEOPSTRUCTW remove = {};
    std::wstring root = testing_support::TempFolder() + L"vpdf_hosts";
    root.push_back(L'\0');
    remove.wFunc = FO_DELETE;
    remove.pFrom = root.c_str();
    remove.fFlags = FOF_NO_UI;
    SHFileOperationW(&remove);
  }
};

TEST_F(OutlookHost, ThisProgramIsNotOutlook) { EXPECT_FALSE(vpdf::IsOutlookHost()); }

TEST_F(OutlookHost, TheMailClientExecutableIsOutlook) {
  EXPECT_EQ(0, RunCopyAs(L"Microsoft Office\\root\\Office16\\OUTLOOK.EXE", L"outlook"));
}

TEST_F(OutlookHost, TheTestIsWithoutRegardToCase) {
  EXPECT_EQ(0, RunCopyAs(L"Office\\outlook.exe", L"outlook"));
}

TEST_F(OutlookHost, AFolderNamedOutlookCountsToo) {
  EXPECT_EQ(0, RunCopyAs(L"Outlook Add-ins\\host.exe", L"outlook"));
}

TEST_F(OutlookHost, OutlookWithoutABackslashBeforeItIsNot) {
  EXPECT_EQ(0, RunCopyAs(L"Office\\NotOutlook.exe", L"other"));
}

// ---- LoadResString ---------------------------------------------------------------------------

TEST(ResString, EnglishTexts) {
  EXPECT_EQ(L"&Create PDF\tAlt+C", Text(vpdf::LoadResString(IDS_CREATEPDF_MENU)));
  EXPECT_EQ(L"Create PDF copy of selected files and place it on server.\n"
            L"Create PDF copy for selected files.",
            Text(vpdf::LoadResString(IDS_CREATEPDF_HELP)));
  EXPECT_EQ(L"Create &New PDF", Text(vpdf::LoadResString(IDS_NEWPDF_SUBMENU)));
  EXPECT_EQ(L"Document %d version %d in database \"%s\" created from this document",
            Text(vpdf::LoadResString(IDS_HISTORY_SOURCE)));
}

TEST(ResString, FiltersKeepTheirZeroCharacter) {
  EXPECT_EQ(std::wstring(L"PDF Files (*.PDF)\0*.pdf", 23), Text(vpdf::LoadResString(317)));
  EXPECT_EQ(std::wstring(L"All Files (*.*)\0*.*", 19), Text(vpdf::LoadResString(324)));
}

TEST(ResString, AMissingStringIsNull) {
  for (UINT id : {313u, 316u, 413u, 310u, 342u, 0u, 99999u}) {
    BSTR text = vpdf::LoadResString(id);
    EXPECT_EQ(nullptr, text) << id;
    SysFreeString(text);
  }
}

TEST(ResString, OtherLanguagesAtTheirOffsets) {
  EXPECT_EQ(L"&Créer un PDF\tAlt+C", Text(vpdf::LoadResString(301 + 100)));
  EXPECT_EQ(L"PDF &létrehozása\tAlt+C", Text(vpdf::LoadResString(301 + 1900)));
  EXPECT_EQ(L"PDF の作成(&C)\tAlt+C", Text(vpdf::LoadResString(301 + 1300)));
}

// ---- Skin resource library -------------------------------------------------------------------

std::wstring LibraryName(HMODULE library) {
  wchar_t name[64] = {};
  if (!library || LoadStringW(library, 1, name, 64) <= 0) return L"<none>";
  return name;
}

class SkinLibrary : public testing::Test {
 protected:
  void SetUp() override {
    settings.ClearSkin();
    settings.SetInstallPath(ProductFolder());
    vpdf::ResetResourceLibraryCachesForTesting();
  }
  void TearDown() override { vpdf::ResetResourceLibraryCachesForTesting(); }
  std::wstring Loaded() {
    vpdf::ResetResourceLibraryCachesForTesting();
    return LibraryName(vpdf::GetSkinResourceLibrary());
  }
  IdentitySettings settings;
  TraceLog log;
};

TEST_F(SkinLibrary, FileNames) {
  EXPECT_STREQ(L"UIRES64_GEN_GRAY.DLL", vpdf::SkinLibraryFileName(1));
  EXPECT_STREQ(L"UIRES64_GEN_LIGHTGRAY.DLL", vpdf::SkinLibraryFileName(2));
  EXPECT_STREQ(L"UIRES64_GEN_BLUE.DLL", vpdf::SkinLibraryFileName(3));
  for (int type : {0, 4, -1, 17}) EXPECT_STREQ(L"UIRES64_GEN.DLL", vpdf::SkinLibraryFileName(type));
}

TEST_F(SkinLibrary, BlueWithoutAnySetting) {
  EXPECT_EQ(3, vpdf::ReadSkinType());
  EXPECT_EQ(L"UIRES64_GEN_BLUE.DLL", Loaded());
}

TEST_F(SkinLibrary, APolicyValueOfZeroGivesTheBlueLibrary) {
  settings.PolicyMachine().SetDword(0);
  settings.Preference().SetDword(1);  // not read: the policy decides
  EXPECT_EQ(3, vpdf::ReadSkinType());
  EXPECT_EQ(L"UIRES64_GEN_BLUE.DLL", Loaded());
}

TEST_F(SkinLibrary, TheMachinePolicyComesBeforeTheUserPolicy) {
  settings.PolicyMachine().SetDword(1);
  settings.PolicyUser().SetDword(2);
  EXPECT_EQ(L"UIRES64_GEN_GRAY.DLL", Loaded());
  settings.PolicyMachine().Remove();
  EXPECT_EQ(L"UIRES64_GEN_LIGHTGRAY.DLL", Loaded());
}

TEST_F(SkinLibrary, TheUserPreferenceWhenThereIsNoPolicy) {
  settings.Preference().SetDword(7);
  EXPECT_EQ(7, vpdf::ReadSkinType());
  EXPECT_EQ(L"UIRES64_GEN.DLL", Loaded());
  settings.Preference().SetDword(0);
  EXPECT_EQ(L"UIRES64_GEN_BLUE.DLL", Loaded());
}

// %ProgramData%\Ostrel\PDF\VarnelPDF\Preferences\Productconfig.ini, put back afterwards.
class ScopedProductConfigIni {
 public:
  explicit ScopedProductConfigIni(const char* text) {
    wchar_t data[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data);
    std::wstring folder = data;
    for (const wchar_t* part : {L"\\Ostrel", L"\\PDF", L"\\VarnelPDF", L"\\Preferences"}) {
      folder += part;
      if (CreateDirectoryW(folder.c_str(), nullptr)) m_made.insert(m_made.begin(), folder);
    }
    m_path = folder + L"\\Productconfig.ini";
    m_existed = GetFileAttributesW(m_path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (m_existed) CopyFileW(m_path.c_str(), (m_path + L".keep").c_str(), FALSE);
    HANDLE file = CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(file);
  }
  ~ScopedProductConfigIni() {
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, m_path.c_str());  // flush the cache
    DeleteFileW(m_path.c_str());
    if (m_existed) MoveFileW((m_path + L".keep").c_str(), m_path.c_str());
    for (const std::wstring& folder : m_made) RemoveDirectoryW(folder.c_str());
  }

 private:
  std::wstring m_path;
  bool m_existed = false;
  std::vector<std::wstring> m_made;
};

TEST_F(SkinLibrary, TheProductConfigIniLast) {
  {
    ScopedProductConfigIni ini("[ROzozArar]\r\nSKINTYPE=2\r\n");
    EXPECT_EQ(2, vpdf::ReadSkinType());
    EXPECT_EQ(L"UIRES64_GEN_LIGHTGRAY.DLL", Loaded());
    settings.Preference().SetDword(static_cast<DWORD>(-1));  // -1 does not decide
    EXPECT_EQ(2, vpdf::ReadSkinType());
    settings.Preference().SetDword(1);
    EXPECT_EQ(1, vpdf::ReadSkinType());
  }
  settings.Preference().Remove();
  ScopedProductConfigIni ini("[ROzozArar]\r\nSKINTYPE=0\r\n");
  EXPECT_EQ(3, vpdf::ReadSkinType());
}

TEST_F(SkinLibrary, TheHandleIsKeptForTheProcess) {
  HMODULE first = vpdf::GetSkinResourceLibrary();
  ASSERT_NE(nullptr, first);
  settings.PolicyMachine().SetDword(1);
  EXPECT_EQ(first, vpdf::GetSkinResourceLibrary());
  EXPECT_EQ(L"UIRES64_GEN_BLUE.DLL", LibraryName(vpdf::GetSkinResourceLibrary()));
}

TEST_F(SkinLibrary, AMissingSkinFallsBackToTheGenericLibrary) {
  std::wstring folder = testing_support::TempFolder() + L"vpdf_generic_only\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW((ProductFolder() + L"UIRES64_GEN.DLL").c_str(),
                        (folder + L"UIRES64_GEN.DLL").c_str(), FALSE));
  settings.SetInstallPath(folder);
  EXPECT_EQ(L"UIRES64_GEN.DLL", Loaded());
  vpdf::ResetResourceLibraryCachesForTesting();
  DeleteFileW((folder + L"UIRES64_GEN.DLL").c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST_F(SkinLibrary, WithoutAnInstallFolderTheHostFolderIsTriedAndNothingFound) {
  settings.SetInstallPath(L"");
  EXPECT_EQ(nullptr, vpdf::GetSkinResourceLibrary());
  EXPECT_EQ(nullptr, vpdf::LoadBITMAPFromIconDLL(14560, false));
  EXPECT_EQ(nullptr, vpdf::LoadPNGFromIconDLL(14111, true));
  EXPECT_TRUE(log.Has("ERROR: 126 LoadBITMAPFromIconDLL nID=14560 "));
  // None is not kept: once the folder is known the library is found.
  settings.SetInstallPath(ProductFolder());
  EXPECT_EQ(L"UIRES64_GEN_BLUE.DLL", LibraryName(vpdf::GetSkinResourceLibrary()));
}

// ---- Images at 100 % (this prefix's 96 DPI) --------------------------------------------------

TEST(ScreenScale, ByDpi) {
  EXPECT_EQ(100, vpdf::ScreenScaleForDpi(96));
  EXPECT_EQ(100, vpdf::ScreenScaleForDpi(120));
  EXPECT_EQ(100, vpdf::ScreenScaleForDpi(143));
  EXPECT_EQ(150, vpdf::ScreenScaleForDpi(144));
  EXPECT_EQ(150, vpdf::ScreenScaleForDpi(191));
  EXPECT_EQ(200, vpdf::ScreenScaleForDpi(192));
  EXPECT_EQ(200, vpdf::ScreenScaleForDpi(288));
  EXPECT_EQ(200, vpdf::ScaledResourceId(198, 150) + 1);
  EXPECT_EQ(201, vpdf::ScaledResourceId(200, 150));
  EXPECT_EQ(202, vpdf::ScaledResourceId(200, 200));
  EXPECT_EQ(200, vpdf::ScaledResourceId(200, 100));
}

class Images : public SkinLibrary {};

TEST_F(Images, ThisPrefixIsAtOneHundredPercent) {
  ASSERT_EQ(100, vpdf::GetScreenScale()) << "the test prefix runs at 96 DPI";
}

TEST_F(Images, BitmapsByIdScaledOrNot) {
  for (bool scaled : {false, true}) {
    HBITMAP bitmap = vpdf::LoadBITMAPFromIconDLL(14560, scaled);
    ImageInfo image = ReadImage(bitmap);
    EXPECT_EQ(14560, image.MarkerId());
    EXPECT_EQ(3, image.Skin());
    EXPECT_EQ(16, image.width);
    DeleteObject(bitmap);
  }
  HBITMAP ribbon = vpdf::LoadBITMAPFromIconDLL(14650, true);
  EXPECT_EQ(14650, ReadImage(ribbon).MarkerId());
  EXPECT_EQ(32, ReadImage(ribbon).width);
  DeleteObject(ribbon);
  EXPECT_FALSE(log.Has("ERROR: 0 LoadBITMAPFromIconDLL nID=14560 "));
  EXPECT_EQ(0u, log.Records().size());
}

TEST_F(Images, NoIdGivesNone) {
  EXPECT_EQ(nullptr, vpdf::LoadBITMAPFromIconDLL(0, true));
  EXPECT_EQ(nullptr, vpdf::LoadBITMAPFromIconDLL(-14560, false));
  EXPECT_EQ(nullptr, vpdf::LoadPNGFromIconDLL(0, true));
  EXPECT_EQ(0u, log.Records().size());
}

TEST_F(Images, AMissingBitmapIsLogged) {
  EXPECT_EQ(nullptr, vpdf::LoadBITMAPFromIconDLL(999, false));
  EXPECT_EQ(nullptr, vpdf::LoadBITMAPFromIconDLL(998, true));
  testing_support::TraceRecord record;
  ASSERT_TRUE(log.Find("ERROR: 1814 LoadBITMAPFromIconDLL nID=999 ", record));
  EXPECT_EQ(2, record.level);
  EXPECT_EQ("PDFConverter\\ConvUtils\\ConvUtils", record.source);
  EXPECT_TRUE(log.Has("ERROR: 1814 LoadBITMAPFromIconDLL nID=998 "));
}

TEST_F(Images, PngDecodedWithPremultipliedAlpha) {
  HBITMAP png = vpdf::LoadPNGFromIconDLL(14111, true);
  ASSERT_NE(nullptr, png);
  ImageInfo image = ReadImage(png);
  EXPECT_EQ(16, image.width);
  EXPECT_EQ(16, image.height);
  EXPECT_EQ(32, image.bitsPerPixel);
  EXPECT_EQ(14111, image.MarkerId());
  EXPECT_EQ(255, image.marker.a);
  // (200, 100, 50) at alpha 128, premultiplied: each colour times 128 / 255.
  EXPECT_EQ(100, image.second.r);
  EXPECT_EQ(50, image.second.g);
  EXPECT_EQ(25, image.second.b);
  EXPECT_EQ(128, image.second.a);
  DeleteObject(png);

  HBITMAP large = vpdf::LoadPNGFromIconDLL(12761, false);
  EXPECT_EQ(12761, ReadImage(large).MarkerId());
  EXPECT_EQ(32, ReadImage(large).width);
  DeleteObject(large);
  EXPECT_EQ(0u, log.Records().size());  // a PNG logs nothing
}

TEST_F(Images, PngFromAGivenModule) {
  HMODULE generic = LoadLibraryExW((ProductFolder() + L"UIRES64_GEN.DLL").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, generic);
  HBITMAP png = vpdf::LoadPNGFromIconDLL(12761, generic, true);
  EXPECT_EQ(12761, ReadImage(png).MarkerId());
  EXPECT_EQ(4, ReadImage(png).Skin());
  DeleteObject(png);
  EXPECT_EQ(nullptr, vpdf::LoadPNGFromIconDLL(14560, generic, false));  // a bitmap, no PNG
  FreeLibrary(generic);
}

TEST_F(Images, ScaleBitmapAtOneHundredPercentCopiesAndDeletes) {
  HBITMAP original = vpdf::LoadBITMAPFromIconDLL(14620, false);
  ASSERT_NE(nullptr, original);
  HBITMAP copy = vpdf::ScaleBitmap(original);
  ASSERT_NE(nullptr, copy);
  BITMAP header = {};
  EXPECT_EQ(0, GetObjectW(original, sizeof header, &header)) << "the given bitmap is deleted";
  EXPECT_EQ(16, ReadImage(copy).width);
  EXPECT_EQ(14620, ReadImage(copy).MarkerId());
  DeleteObject(copy);
  EXPECT_EQ(nullptr, vpdf::ScaleBitmap(nullptr));
}

// ---- Images at 150 % and 200 %: this program again under another DPI --------------------------

// Run by DpiChange below with VPDF_EXPECT_SCALE set and the screen at another DPI.
TEST(DpiChild, LoadsTheVariantOfItsScale) {
  const std::wstring expect = testing_support::Environment(L"VPDF_EXPECT_SCALE");
  if (expect.empty()) GTEST_SKIP() << "runs only as a child of DpiChange tests";
  IdentitySettings settings;
  settings.ClearSkin();
  settings.SetInstallPath(ProductFolder());
  TraceLog log;
  const int scale = std::stoi(expect);
  ASSERT_EQ(scale, vpdf::GetScreenScale());

  auto check = [&](int id, bool scaled, bool png, int markerId, int width) {
    HBITMAP image = png ? vpdf::LoadPNGFromIconDLL(id, scaled) : vpdf::LoadBITMAPFromIconDLL(id, scaled);
    ImageInfo info = ReadImage(image);
    EXPECT_EQ(markerId, info.MarkerId()) << id << (scaled ? " scaled" : "");
    EXPECT_EQ(width, info.width) << id << (scaled ? " scaled" : "");
    if (image) DeleteObject(image);
  };
  if (scale == 150) {
    check(14560, true, false, 14561, 24);
    check(14560, false, false, 14560, 16);
    check(14570, true, false, 14571, 48);
    // 14641 is missing in the blue skin: 14640 is stretched to 150 %.
    check(14640, true, false, 14640, 24);
    EXPECT_TRUE(log.Has("ERROR: 1814 LoadBITMAPFromIconDLL nID=14641 "));
    check(14111, true, true, 14112, 24);
    check(12761, true, true, 12762, 48);
    check(12761, false, true, 12761, 32);
    HBITMAP copy = vpdf::ScaleBitmap(vpdf::LoadBITMAPFromIconDLL(14620, false));
    EXPECT_EQ(24, ReadImage(copy).width);
    DeleteObject(copy);
  } else {
    check(14570, true, false, 14572, 64);
    // 14562 is missing in the blue skin: 14560 is stretched to 200 %.
    check(14560, true, false, 14560, 32);
    EXPECT_TRUE(log.Has("ERROR: 1814 LoadBITMAPFromIconDLL nID=14562 "));
    check(14111, true, true, 14113, 32);
    // The generic skin has no 200 % PNG, and PNGs have no fall-back.
    settings.Preference().SetDword(4);
    vpdf::ResetResourceLibraryCachesForTesting();
    check(14111, true, true, -1, 0);
    check(14561, false, false, 14561, 24);
    check(14580, true, false, 14580, 32);  // no +2 at all in the generic skin
  }
  vpdf::ResetResourceLibraryCachesForTesting();
  testing_support::ChildRan();
}

class DpiChange : public testing::Test {
 protected:
  int RunAt(DWORD dpi, const wchar_t* scale) {
    {
      ScopedRegistryValue logPixels(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
      logPixels.SetDword(dpi);
      code = testing_support::RunChild(testing_support::ProgramPath(), L"--gtest_filter=DpiChild.*",
                                       {{L"VPDF_EXPECT_SCALE", scale}});
    }
    return code;
  }
  int code = -1;
};

TEST_F(DpiChange, At144DpiTheVariantPlusOne) { EXPECT_EQ(0, RunAt(144, L"150")); }
TEST_F(DpiChange, At192DpiTheVariantPlusTwo) { EXPECT_EQ(0, RunAt(192, L"200")); }

}  // namespace
