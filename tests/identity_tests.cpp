// Command identity and images in process: language detection, the client tests, the add-in's
// strings (this program carries the add-in's string tables, identity_tests.rc), the skin resource
// library and the command images. The host-executable and DPI cases run in child processes:
// copies of this program named like the mail client, and this program under another screen DPI.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "convutils/resource.h"
#include "commands/identity.h"
#include "convutils/resource_library.h"
#include "tests/identity_support.h"

namespace {

using testing_support::IdentitySettings, testing_support::ImageInfo, testing_support::ReadImage;
using testing_support::ProductFolder, testing_support::ScopedRegistryValue,
    testing_support::TraceLog;

std::wstring Text(BSTR text) {
  std::wstring result = text ? std::wstring(text, SysStringLen(text)) : L"<null>";
  SysFreeString(text);
  return result;
}

// ---- Language, client and host ---------------------------------------------------------------

TEST(LanguageOffset, NineLanguagesHaveTheirOwnOthersShowEnglish) {
  const std::pair<int, int> own[] = {{1036, 100}, {1031, 200}, {1040, 300},
                                     {1034, 400}, {1043, 500}, {1030, 600},
                                     {1053, 700}, {1046, 800}, {1038, 1900}};
  for (auto [language, offset] : own)
    EXPECT_EQ(offset, vpdf::LanguageOffsetFor(language)) << language;
  // Languages the resources hold but the detection does not give, and others.
  for (int language : {1033, 1044, 1049, 1045, 1055, 1041, 1042, 2052, 1028, 1035, 1029, 1025, 2057,
                       3084, 2055, 0, -1})
    EXPECT_EQ(0, vpdf::LanguageOffsetFor(language)) << language;
}

TEST(DetectLanguage, TheInstalledComponentsLanguageReadAnewEachTime) {
  IdentitySettings settings;
  struct Case {
    bool installed;
    DWORD kinds[3];
    int expected;
  } cases[] = {
      {true, {0, 0, 1036}, 100},
      {true, {0, 0, 1038}, 1900},
      {true, {0, 0, 1041}, 0},
      {true, {0, 0, 0}, 0},
      {true, {1031, 1040, 1043}, 500},
      {false, {1038, 0, 1036}, 1900},  // without an install folder component 0 is asked
  };
  for (const Case& c : cases) {
    settings.SetInstallPath(c.installed ? ProductFolder() : L"");
    for (int kind = 0; kind < 3; ++kind) settings.SetUILanguage(kind, c.kinds[kind]);
    EXPECT_EQ(c.expected, vpdf::DetectUILanguage()) << c.kinds[0] << " " << c.kinds[2];
  }
}

TEST(RibbonClient, DeskSiteVersionDecides) {
  IdentitySettings settings;
  const std::pair<const wchar_t*, bool> versions[] = {{L"9.1", false}, {L"91.99", false},
                                                      {L"92", true},   {L"100.0", true},
                                                      {L"", false},    {nullptr, false}};
  for (auto [version, ribbon] : versions) {
    settings.SetClientVersion(version);
    EXPECT_EQ(ribbon, vpdf::IsRibbonClient())
        << (version ? testing_support::Utf8(version) : "none");
    EXPECT_EQ(!ribbon, vpdf::UseClassicImages());  // this program is not the mail client
  }
  testing_support::ScopedRegistrySnapshot aside{
      {{HKEY_LOCAL_MACHINE, testing_support::kInterWovenKey}}};
  aside.Clear();
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

// A copy of this program at %TEMP%\vpdf_hosts\<relative path>, run as a child: "\OUTLOOK" in the
// path, in any case, makes the mail client's host.
TEST(OutlookHost, TheHostPathDecides) {
  EXPECT_FALSE(vpdf::IsOutlookHost());
  const std::wstring root = testing_support::TempFolder() + L"vpdf_hosts\\";
  const std::pair<const wchar_t*, const wchar_t*> hosts[] = {
      {L"Microsoft Office\\root\\Office16\\OUTLOOK.EXE", L"outlook"},
      {L"Outlook Add-ins\\host.exe", L"outlook"},
      {L"Office\\NotOutlook.exe", L"other"}};
  for (auto [relative, expect] : hosts) {
    const std::wstring path = root + relative;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_TRUE(CopyFileW(testing_support::ProgramPath().c_str(), path.c_str(), FALSE));
    EXPECT_EQ(0, testing_support::RunChild(path, L"--gtest_filter=HostChild.*",
                                           {{L"VPDF_HOST_EXPECT", expect}}))
        << testing_support::Utf8(relative);
  }
  std::filesystem::remove_all(root);
}

TEST(ResString, TextsKeepZeroCharactersAndAMissingStringIsNull) {
  EXPECT_EQ(L"&Create PDF\tAlt+C", Text(vpdf::LoadResString(IDS_CREATEPDF_MENU)));
  EXPECT_EQ(L"PDF &létrehozása\tAlt+C", Text(vpdf::LoadResString(301 + 1900)));
  EXPECT_EQ(std::wstring(L"PDF Files (*.PDF)\0*.pdf", 23), Text(vpdf::LoadResString(317)));
  for (UINT id : {313u, 316u, 413u, 310u, 348u, 0u, 99999u}) {
    BSTR text = vpdf::LoadResString(id);
    EXPECT_EQ(nullptr, text) << id;
    SysFreeString(text);
  }
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

// %ProgramData%\Ostrel\PDF\VarnelPDF\Preferences\Productconfig.ini, put back afterwards
// with the folders it needed.
class ScopedProductConfigIni {
 public:
  explicit ScopedProductConfigIni(const std::string& text) {
    wchar_t data[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data);
    std::filesystem::path folder = data;
    for (const wchar_t* part : {L"Ostrel", L"PDF", L"VarnelPDF", L"Preferences"})
      if (std::filesystem::create_directory(folder /= part) && m_made.empty()) m_made = folder;
    m_path = folder / L"Productconfig.ini";
    m_existed = std::filesystem::exists(m_path);
    if (m_existed) std::filesystem::copy_file(m_path, m_path.wstring() + L".keep");
    std::ofstream(m_path, std::ios::binary) << text;
  }
  ~ScopedProductConfigIni() {
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, m_path.c_str());  // flush the cache
    std::filesystem::remove(m_path);
    if (m_existed) std::filesystem::rename(m_path.wstring() + L".keep", m_path);
    if (!m_made.empty()) std::filesystem::remove_all(m_made);
  }

 private:
  std::filesystem::path m_path, m_made;  // m_made: the outermost folder this made
  bool m_existed = false;
};

TEST_F(SkinLibrary, MachinePolicyThenUserPolicyThenPreferenceThenIniElseBlue) {
  constexpr DWORD kNone = 0xFFFF;  // not set
  struct Case {
    DWORD machine, user, preference;
    const char* ini;
    int type;
    const wchar_t* library;
  } cases[] = {
      {kNone, kNone, kNone, nullptr, 3, L"UIRES64_GEN_BLUE.DLL"},
      {0, kNone, 1, nullptr, 3, L"UIRES64_GEN_BLUE.DLL"},  // a policy of 0 decides: blue
      {1, 2, kNone, nullptr, 1, L"UIRES64_GEN_GRAY.DLL"},
      {kNone, 2, 1, nullptr, 2, L"UIRES64_GEN_LIGHTGRAY.DLL"},
      {kNone, kNone, 7, nullptr, 7, L"UIRES64_GEN.DLL"},
      {kNone, kNone, 0, nullptr, 3, L"UIRES64_GEN_BLUE.DLL"},
      {kNone, kNone, kNone, "SKINTYPE=2", 2, L"UIRES64_GEN_LIGHTGRAY.DLL"},
      {kNone, kNone, static_cast<DWORD>(-1), "SKINTYPE=2", 2, nullptr},  // -1 does not decide
      {kNone, kNone, 1, "SKINTYPE=2", 1, nullptr},
      {kNone, kNone, kNone, "SKINTYPE=0", 3, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.machine << " " << c.user << " " << c.preference << " "
                                    << (c.ini ? c.ini : ""));
    settings.ClearSkin();
    for (auto [value, setting] : {std::pair{c.machine, &settings.PolicyMachine()},
                                  {c.user, &settings.PolicyUser()},
                                  {c.preference, &settings.Preference()}})
      if (value != kNone) setting->SetDword(value);
    std::unique_ptr<ScopedProductConfigIni> ini;
    if (c.ini)
      ini = std::make_unique<ScopedProductConfigIni>(std::string("[ROzozArar]\r\n") + c.ini);
    EXPECT_EQ(c.type, vpdf::ReadSkinType());
    if (c.library) {
      EXPECT_EQ(c.library, Loaded());
    }
  }
}

TEST_F(SkinLibrary, TheHandleIsKeptForTheProcess) {
  HMODULE first = vpdf::GetSkinResourceLibrary();
  ASSERT_NE(nullptr, first);
  settings.PolicyMachine().SetDword(1);
  EXPECT_EQ(first, vpdf::GetSkinResourceLibrary());
  EXPECT_EQ(L"UIRES64_GEN_BLUE.DLL", LibraryName(vpdf::GetSkinResourceLibrary()));
}

TEST_F(SkinLibrary, AMissingSkinFallsBackToTheGenericLibrary) {
  const std::wstring folder = testing_support::TempFolder() + L"vpdf_generic_only\\";
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file(ProductFolder() + L"UIRES64_GEN.DLL", folder + L"UIRES64_GEN.DLL",
                             std::filesystem::copy_options::overwrite_existing);
  settings.SetInstallPath(folder);
  EXPECT_EQ(L"UIRES64_GEN.DLL", Loaded());
  vpdf::ResetResourceLibraryCachesForTesting();
  std::filesystem::remove_all(folder);
}

TEST_F(SkinLibrary, WithoutAnInstallFolderTheHostFolderIsTriedAndNothingFound) {
  settings.SetInstallPath(L"");
  EXPECT_EQ(nullptr, vpdf::GetSkinResourceLibrary());
  EXPECT_EQ(nullptr, vpdf::LoadBITMAPFromIconDLL(14560, false));
  EXPECT_EQ(nullptr, vpdf::LoadPNGFromIconDLL(14111, true));
  // None is not kept: once the folder is known the library is found.
  settings.SetInstallPath(ProductFolder());
  EXPECT_EQ(L"UIRES64_GEN_BLUE.DLL", LibraryName(vpdf::GetSkinResourceLibrary()));
}

// ---- Images at 100 % (this prefix's 96 DPI) --------------------------------------------------

TEST(ScreenScale, ByDpi) {
  for (auto [dpi, scale] :
       {std::pair{96, 100}, {120, 100}, {143, 100}, {144, 150}, {191, 150}, {192, 200}, {288, 200}})
    EXPECT_EQ(scale, vpdf::ScreenScaleForDpi(dpi)) << dpi;
}

using Images = SkinLibrary;

// An image as the add-in loads it from the skin library, read and deleted.
ImageInfo ReadLoaded(int id, bool scaled, bool png = false) {
  HBITMAP image =
      png ? vpdf::LoadPNGFromIconDLL(id, scaled) : vpdf::LoadBITMAPFromIconDLL(id, scaled);
  const ImageInfo info = ReadImage(image);
  if (image) DeleteObject(image);
  return info;
}
void ExpectImage(int id, bool scaled, bool png, int markerId, int width) {
  const ImageInfo info = ReadLoaded(id, scaled, png);
  EXPECT_EQ(markerId, info.MarkerId()) << id << (scaled ? " scaled" : "");
  EXPECT_EQ(width, info.width) << id << (scaled ? " scaled" : "");
}

TEST_F(Images, BitmapsAndPngsByIdAtOneHundredPercent) {
  ASSERT_EQ(100, vpdf::GetScreenScale()) << "the test prefix runs at 96 DPI";
  ExpectImage(14560, false, false, 14560, 16);
  ExpectImage(14560, true, false, 14560, 16);
  EXPECT_EQ(3, ReadLoaded(14560, false).Skin());
  ExpectImage(14650, true, false, 14650, 32);
  ExpectImage(12761, false, true, 12761, 32);
  const ImageInfo png = ReadLoaded(14111, true, true);
  EXPECT_EQ(14111, png.MarkerId());
  EXPECT_EQ(16, png.width);
  EXPECT_EQ(16, png.height);
  EXPECT_EQ(32, png.bitsPerPixel);
  EXPECT_EQ(255, png.marker.a);
  // (200, 100, 50) at alpha 128, premultiplied: each colour times 128 / 255.
  EXPECT_EQ(100, png.second.r);
  EXPECT_EQ(50, png.second.g);
  EXPECT_EQ(25, png.second.b);
  EXPECT_EQ(128, png.second.a);
  // No id gives none.
  EXPECT_EQ(nullptr, vpdf::LoadBITMAPFromIconDLL(0, true));
  EXPECT_EQ(nullptr, vpdf::LoadBITMAPFromIconDLL(-14560, false));
  EXPECT_EQ(nullptr, vpdf::LoadPNGFromIconDLL(0, true));
}

TEST_F(Images, AMissingBitmapIsLogged) {
  EXPECT_EQ(nullptr, vpdf::LoadBITMAPFromIconDLL(999, false));
  EXPECT_EQ(nullptr, vpdf::LoadBITMAPFromIconDLL(998, true));
  // Nothing else tells an administrator which image a skin library lacks.
  EXPECT_TRUE(log.Has("ERROR: 1814 LoadBITMAPFromIconDLL nID=999 "));
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
  const int scale = std::stoi(expect);
  ASSERT_EQ(scale, vpdf::GetScreenScale());
  if (scale == 150) {
    ExpectImage(14560, true, false, 14561, 24);
    ExpectImage(14560, false, false, 14560, 16);
    ExpectImage(14570, true, false, 14571, 48);
    // 14641 is missing in the blue skin: 14640 is stretched to 150 %.
    ExpectImage(14640, true, false, 14640, 24);
    ExpectImage(14111, true, true, 14112, 24);
    ExpectImage(12761, true, true, 12762, 48);
    ExpectImage(12761, false, true, 12761, 32);
    HBITMAP copy = vpdf::ScaleBitmap(vpdf::LoadBITMAPFromIconDLL(14620, false));
    EXPECT_EQ(24, ReadImage(copy).width);
    DeleteObject(copy);
  } else {
    ExpectImage(14570, true, false, 14572, 64);
    // 14562 is missing in the blue skin: 14560 is stretched to 200 %.
    ExpectImage(14560, true, false, 14560, 32);
    ExpectImage(14111, true, true, 14113, 32);
    // The generic skin has no 200 % PNG, and PNGs have no fall-back.
    settings.Preference().SetDword(4);
    vpdf::ResetResourceLibraryCachesForTesting();
    ExpectImage(14111, true, true, -1, 0);
    ExpectImage(14561, false, false, 14561, 24);
    ExpectImage(14580, true, false, 14580, 32);  // no +2 at all in the generic skin
  }
  vpdf::ResetResourceLibraryCachesForTesting();
  testing_support::ChildRan();
}

TEST(DpiChange, At144And192DpiTheVariantsPlusOneAndPlusTwo) {
  for (auto [dpi, scale] : {std::pair{144ul, L"150"}, {192ul, L"200"}}) {
    ScopedRegistryValue logPixels(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
    logPixels.SetDword(dpi);
    EXPECT_EQ(
        0, testing_support::RunChild(testing_support::ProgramPath(), L"--gtest_filter=DpiChild.*",
                                     {{L"VPDF_EXPECT_SCALE", scale}}))
        << dpi;
  }
}

}  // namespace
