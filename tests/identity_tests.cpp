// The add-in as the client and the COM runtime see it: entry points, class objects, the lock
// count and the command objects' interfaces; the export names a module importing them needs;
// the twelve commands' identity (names, texts per language, accelerators, images) created by
// their ProgIDs from the registered add-in, at 96 DPI here and at 144 and 192 DPI and inside
// the mail client in copies of this program; the strings and dialogs of every language in the
// built module. The stand-in skin libraries supply the images; the expected texts come from the
// add-in's string tables linked into this program.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <process.h>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "IManExt.h"
#include "convutils/comutil.h"
#include "convutils/resource_library.h"
#include "outside/prodcfg.h"
#include "tests/identity_support.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

constexpr CLSID kCreatePDF = {0xD1F898E4, 0x8739, 0x4118, {0x95, 0xB4, 0xFB, 0x11, 0x42, 0x4E, 0xAF, 0x64}};
constexpr CLSID kOpenOverride = {0x69D4B1AF, 0x1841, 0x455B, {0xB1, 0xB7, 0xB5, 0x36, 0x83, 0x0D, 0xC9, 0xED}};

// The product folder with the stand-in skins, the product key present (COpenInPro's kind 1),
// no UI language and no skin setting; put back at the end.
struct ProductEnvironment : testing::Environment {
  void SetUp() override {
    settings = std::make_unique<IdentitySettings>();
    settings->ClearSkin(), settings->SetInstallPath(ProductFolder()), settings->SetUILanguageAll(0);
    productKey = std::make_unique<ScopedRegistryKeys>(MissingParts({{HKEY_LOCAL_MACHINE, kRunProductKey}}));
    SetString(HKEY_LOCAL_MACHINE, kRunProductKey, L"Here", L"1");
  }
  void TearDown() override { productKey.reset(), settings.reset(); }
  std::unique_ptr<IdentitySettings> settings;
  std::unique_ptr<ScopedRegistryKeys> productKey;
};
testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new ProductEnvironment);

template <class Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct AddIn {
  HMODULE module = LoadLibraryW(testbed::AddinPath().c_str());
  HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, void**) =
      Export<decltype(getClassObject)>(module, "DllGetClassObject");
  HRESULT(WINAPI* canUnloadNow)() = Export<decltype(canUnloadNow)>(module, "DllCanUnloadNow");
  ~AddIn() { FreeLibrary(module); }
};

// ---- Class objects, lock count, interfaces ------------------------------------------------

TEST(Module, ClassObjectsAndTheLockCount) {
  AddIn addIn;
  IClassFactory *factory = nullptr, *again = nullptr;
  ASSERT_EQ(S_OK, addIn.getClassObject(kCreatePDF, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  ASSERT_EQ(S_OK, addIn.getClassObject(kCreatePDF, IID_IClassFactory, reinterpret_cast<void**>(&again)));
  EXPECT_EQ(factory, again);
  again->Release();
  const CLSID unknownClass = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  for (const CLSID& clsid : {kOpenOverride, unknownClass}) {
    void* object = &object;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, addIn.getClassObject(clsid, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
  }
  // Refused aggregation, a missing output and a refused interface leave no object or lock.
  void* object = &object;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory, IID_IUnknown, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &object));
  EXPECT_EQ(S_OK, addIn.canUnloadNow());
  ICommand *first = nullptr, *second = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, __uuidof(ICommand), reinterpret_cast<void**>(&first)));
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, __uuidof(ICommand), reinterpret_cast<void**>(&second)));
  first->Release();
  EXPECT_EQ(S_FALSE, addIn.canUnloadNow());
  second->Release();
  EXPECT_EQ(S_OK, addIn.canUnloadNow());
  factory->LockServer(TRUE);
  EXPECT_EQ(S_FALSE, addIn.canUnloadNow());
  factory->LockServer(FALSE);
  EXPECT_EQ(S_OK, addIn.canUnloadNow());
  factory->Release();
}

// ---- Export names, as a module that imports them sees them --------------------------------

constexpr char kAssign[] = "??4CPDFConfig@@QEAAAEAV0@AEBV0@@Z";
constexpr char kGetUILanguage[] = "?GetUILanguage@CPDFConfig@@QEAAHH@Z";

// Microsoft's names whatever compiler built the add-in: the product's modules import its copy
// assignment of CPDFConfig by that name.
TEST(Module, ExportsUnderTheProductsNames) {
  AddIn addIn;
  for (const char* name : {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer", kAssign})
    EXPECT_NE(nullptr, Export<void*>(addIn.module, name)) << name;
  // The assignment copies a configuration object member by member.
  HMODULE config = LoadLibraryW((ProductFolder() + L"prodcfg_x64.dll").c_str());
  CPDFConfig* loaded = Export<CPDFConfig* (*)()>(config, "?get_instance@CPDFConfig@@SAAEAV1@XZ")();
  IdentitySettings settings;
  settings.SetUILanguage(1, 0x407);
  ASSERT_EQ(0x407, Export<int (*)(CPDFConfig*, int)>(config, kGetUILanguage)(loaded, 1));
  auto assign = Export<CPDFConfig* (*)(CPDFConfig*, const CPDFConfig*)>(addIn.module, kAssign);
  ASSERT_NE(nullptr, assign);
  CPDFConfig copy;
  ASSERT_NE(0, memcmp(&copy, loaded, sizeof copy));
  EXPECT_EQ(&copy, assign(&copy, loaded));
  EXPECT_EQ(0, memcmp(&copy, loaded, sizeof copy));
  FreeLibrary(config);
}

// ---- What a command shows the client -------------------------------------------------------

// The image id that the stand-in skins draw into pixel (0, 0), "/" and the width; "-" for none.
std::wstring Image(HBITMAP bitmap, std::vector<BYTE>* pixels = nullptr) {
  BITMAP header = {};
  if (!bitmap || !GetObjectW(bitmap, sizeof header, &header)) return L"-";
  BITMAPINFO request = {{sizeof request.bmiHeader, header.bmWidth, -header.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  std::vector<BYTE> bits(static_cast<size_t>(header.bmWidth) * header.bmHeight * 4);
  HDC screen = GetDC(nullptr);
  GetDIBits(screen, bitmap, 0, static_cast<UINT>(header.bmHeight), bits.data(), &request, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (pixels) *pixels = bits;  // BGRA, top row first
  return std::to_wstring(bits[2] << 8 | bits[1]) + L"/" + std::to_wstring(header.bmWidth);
}
HBITMAP BitmapOf(const VARIANT& value) {
  return value.vt == VT_I4 ? reinterpret_cast<HBITMAP>(static_cast<LONG_PTR>(value.lVal)) : nullptr;
}

// Every property of a command by its ProgID ("RPDFImanAddon." + name), as one line; the bitmap
// handles are checked to go with the command.
vpdf::ComPtr<ICommand> Create(const std::wstring& name) {
  CLSID clsid = {};
  vpdf::ComPtr<ICommand> command;
  if (CLSIDFromProgID((L"RPDFImanAddon." + name).c_str(), &clsid) == S_OK)
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ICommand), reinterpret_cast<void**>(command.Put()));
  return command;
}
std::wstring Identity(const std::wstring& name) {
  vpdf::ComPtr<ICommand> command = Create(name);
  if (!command) return L"not created";
  std::wstring line;
  for (auto get : {&ICommand::get_Name, &ICommand::get_DescriptionText, &ICommand::get_MenuText,
                   &ICommand::get_HelpText}) {
    BSTR text = nullptr;
    (command.Get()->*get)(&text);
    line += (text ? std::wstring(text, SysStringLen(text)) : L"<null>") + L"|";
    SysFreeString(text);
  }
  LONG accelerator = -1, kind = -1, status = -1;
  command->get_Accelerator(&accelerator), command->get_CommandKind(&kind), command->get_Status(&status);
  wchar_t numbers[64];
  swprintf(numbers, 64, L"%lX|%ld|%ld images: ", accelerator, kind, status);
  line += numbers;
  std::vector<HBITMAP> held;
  for (auto get : {&ICommand::get_Bitmap, &ICommand::get_LargeBitmap, &ICommand::get_SmallIcon,
                   &ICommand::get_LargeIcon}) {
    VARIANT value = {};  // VT_EMPTY
    (command.Get()->*get)(&value);  // held by the command: not cleared here
    held.push_back(BitmapOf(value));
    line += (held.size() > 1 ? L"|" : L"") + Image(held.back());
  }
  command = nullptr;
  BITMAP header = {};
  for (HBITMAP bitmap : held)
    if (bitmap && GetObjectW(bitmap, sizeof header, &header)) line += L" (kept after release)";
  return line;
}

// String `id` of a module, or `none`.
std::wstring StringOf(HMODULE module, UINT id, const wchar_t* none) {
  const wchar_t* text = nullptr;
  int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : none;
}
// String `id` of this program's copy of the add-in's string tables.
std::wstring OwnString(UINT id) { return StringOf(GetModuleHandleW(nullptr), id, L"<null>"); }

struct Command {
  const wchar_t* name;
  const wchar_t* clientName;
  wchar_t letter;
  UINT menu, help;
  int classic, ribbon;  // bitmaps; ribbon 0: the context-menu variant
  bool description;
  const wchar_t* pngs;  // LargeBitmap, SmallIcon, LargeIcon at 96 DPI
};
constexpr Command kCommands[] = {
    {L"CreatePDF", L"CreatePDF", L'C', 301, 303, 14560, 14570, true, L"12761/32|14111/16|12761/32"},
    {L"CreatePDF_CM", L"CreatePDF_CM", L'C', 301, 303, 14560, 0, true, L"14111/16|14111/16|14111/16"},
    {L"CreateNewPDFFile", L"CreateNewPDFFile", L'F', 318, 319, 14560, 14570, true, L"-|-|-"},
    {L"CreateNewPDFFile_CM", L"CreateNewPDFFile_CM", L'F', 318, 319, 14560, 0, true, L"-|-|-"},
    {L"CreateNewPDFScan", L"CreateNewPDFScan", L'A', 320, 321, 14580, 14590, true, L"-|-|-"},
    {L"CreateNewPDFScan_CM", L"CreateNewPDFScan_CM", L'A', 320, 321, 14580, 0, true, L"-|-|-"},
    {L"SendPDFEMail", L"SendPDFEMail", L'S', 302, 304, 14620, 14630, true, L"-|-|-"},
    {L"SendPDFEMail_CM", L"SendPDFEMail", L'S', 302, 304, 14620, 0, true, L"-|-|-"},
    {L"OpenInPro", L"OpenInPro", L'P', 311, 312, 14640, 14650, false, L"-|-|-"},
    {L"OpenInPro_CM", L"OpenInPro", L'P', 311, 312, 14640, 0, false, L"-|-|-"},
    {L"OpenInCnv", L"OpenInCnv", L'W', 314, 315, 14600, 14610, false, L"-|-|-"},
    {L"OpenInCnv_CM", L"OpenInCnv_CM", L'W', 314, 315, 14600, 0, false, L"-|-|-"},
};

// The client's version and the product's UI language (of the installed component, kind 2) ->
// the texts of that language's block, the accelerators and images of that client.
TEST(Commands, IdentityByClientAndLanguage) {
  IdentitySettings settings;
  const std::tuple<const wchar_t*, DWORD, int> worlds[] = {
      {L"9.1", 0, 0},         {L"92", 0, 0},          {L"91.99", 1036, 100}, {L"100.0", 1031, 200},
      {L"", 1040, 300},       {nullptr, 1034, 400},   {L"9.1", 1043, 500},   {L"9.1", 1030, 600},
      {L"9.1", 1053, 700},    {L"9.1", 1046, 800},    {L"9.1", 1038, 1900},
      {L"9.1", 1041, 0},      {L"9.1", 1044, 0},      {L"9.1", 2057, 0},  // resources, but English
  };
  for (const auto& [version, language, offset] : worlds) {
    settings.SetClientVersion(version);
    settings.SetUILanguage(2, language);
    const bool ribbon = version && wcstod(version, nullptr) >= 92;
    for (const Command& c : kCommands) {
      SCOPED_TRACE(Utf8(c.name + std::wstring(L" ") + (version ? version : L"none")) + " " + std::to_string(language));
      const bool menuVariant = c.ribbon != 0;
      wchar_t numbers[32];
      swprintf(numbers, 32, L"%X|1|1 images: ", menuVariant && ribbon ? 0 : 0x110000 + c.letter);
      const std::wstring bitmap = menuVariant && ribbon ? std::to_wstring(c.ribbon) + L"/32" : std::to_wstring(c.classic) + L"/16";
      EXPECT_EQ(std::wstring(L"RPDFIManAddon.") + c.clientName + L"|" +
                    (c.description ? L"List the documents which are selected." : L"<null>") + L"|" +
                    OwnString(c.menu + offset) + L"|" + OwnString(c.help + offset) + L"|" + numbers +
                    bitmap + L"|" + c.pngs,
                Identity(c.name));
    }
  }
  EXPECT_EQ(L"&Create PDF\tAlt+C|O&pen with Conversion Desk", OwnString(301) + L"|" + OwnString(314));
}

// Without an install folder the UI language of component 0 counts; a missing product key makes
// the editor commands kind 0.
TEST(Commands, LanguageOfComponentZeroAndKindWithoutTheProductKey) {
  IdentitySettings settings;
  settings.SetInstallPath(L"");
  settings.SetUILanguage(0, 1038);
  settings.SetUILanguage(2, 1036);
  EXPECT_NE(std::wstring::npos, Identity(L"CreatePDF").find(L"|" + OwnString(2201) + L"|"));
  settings.SetInstallPath(ProductFolder());
  ScopedRegistryKeys aside{{{HKEY_LOCAL_MACHINE, kRunProductKey}}};
  for (const auto& [name, kind] : {std::pair{L"OpenInPro", L"|0|1 "}, {L"OpenInPro_CM", L"|0|1 "}, {L"OpenInCnv", L"|1|1 "}})
    EXPECT_NE(std::wstring::npos, Identity(name).find(kind)) << Utf8(name);
}

TEST(Commands, PngsArePremultiplied) {
  vpdf::ComPtr<ICommand> command = Create(L"CreatePDF");
  ASSERT_TRUE(command);
  VARIANT icon = {};  // VT_EMPTY
  command->get_SmallIcon(&icon);
  std::vector<BYTE> pixels;
  EXPECT_EQ(L"14111/16", Image(BitmapOf(icon), &pixels));
  // Pixel (1, 0) is (200, 100, 50) at alpha 128: each colour times 128 / 255.
  EXPECT_EQ((std::vector<BYTE>{25, 50, 100, 128}), std::vector<BYTE>(pixels.begin() + 4, pixels.begin() + 8));
}

// ---- The skin library -----------------------------------------------------------------------

// Which skin an image comes from (the marker's blue: 1 gray, 2 light gray, 3 blue, 4 generic):
// machine policy, then user policy, then preference, then the ini file, else blue.
TEST(Skins, PolicyThenPreferenceThenIniElseBlue) {
  IdentitySettings settings;
  const fs::path ini = fs::path(ProfileIniFolder()) / L"PDF\\VarnelPDF\\Preferences\\Productconfig.ini";
  const std::wstring genericOnly = TempFolder() + L"vpdf_generic_only\\";
  fs::create_directories(genericOnly);
  fs::copy_file(ProductFolder() + L"UIRES64_GEN.DLL", genericOnly + L"UIRES64_GEN.DLL",
                fs::copy_options::overwrite_existing);
  constexpr DWORD kNone = 0xFFFF;
  const struct { DWORD machine, user, preference; const char* ini; std::wstring folder; int skin; } rows[] = {
      {kNone, kNone, kNone, nullptr, ProductFolder(), 3}, {1, 2, kNone, nullptr, ProductFolder(), 1},
      {0, kNone, 1, nullptr, ProductFolder(), 3},  // a policy of 0 decides: blue
      {kNone, 2, 1, nullptr, ProductFolder(), 2},  {kNone, kNone, 7, nullptr, ProductFolder(), 4},
      {kNone, kNone, 0, nullptr, ProductFolder(), 3}, {kNone, kNone, kNone, "2", ProductFolder(), 2},
      {kNone, kNone, static_cast<DWORD>(-1), "2", ProductFolder(), 2},  // -1 does not decide
      {kNone, kNone, 1, "2", ProductFolder(), 1},  {kNone, kNone, kNone, "0", ProductFolder(), 3},
      {kNone, kNone, 1, nullptr, genericOnly, 4},  // a missing skin: the generic one
      {kNone, kNone, kNone, nullptr, L"", 0},      // no install folder: none
      {kNone, kNone, kNone, nullptr, ProductFolder(), 3},  // none was not kept
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "row " << &row - rows);
    settings.ClearSkin(), settings.SetInstallPath(row.folder);
    for (auto [value, setting] : {std::pair{row.machine, &settings.PolicyMachine()},
                                  {row.user, &settings.PolicyUser()}, {row.preference, &settings.Preference()}})
      if (value != kNone) setting->SetDword(value);
    fs::create_directories(ini.parent_path());
    std::ofstream(ini) << "[ROzozArar]\r\n" << (row.ini ? "SKINTYPE=" : "") << (row.ini ? row.ini : "");
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, nullptr);  // the ini cache
    vpdf::ResetResourceLibraryCachesForTesting();
    HBITMAP image = vpdf::LoadBITMAPFromIconDLL(14560, false);
    std::vector<BYTE> pixels(1);
    Image(image, &pixels);
    EXPECT_EQ(row.skin, pixels[0]);  // the blue of pixel (0, 0)
    if (image) DeleteObject(image);
  }
  vpdf::ResetResourceLibraryCachesForTesting();
  fs::remove_all(genericOnly);
  fs::remove_all(ini.parent_path().parent_path());
  std::error_code ignored;  // the product's folder only when this made it
  fs::remove(ini.parent_path().parent_path().parent_path(), ignored);
}

// ---- The strings and dialogs of every language in the built module -------------------------

// What each translation keeps of the English text is the generator's own check
// (lang_resources_generated).
// The languages of the resources in the order of their blocks (100 ids apart), English first.
constexpr LANGID kLanguages[] = {0x0409, 0x040C, 0x0407, 0x0410, 0x040A, 0x0413, 0x0406, 0x041D,
                                 0x0416, 0x0414, 0x0419, 0x0415, 0x041F, 0x0411, 0x0412, 0x0804, 0x0404,
                                 0x040B, 0x0405, 0x040E, 0x0401};

// The module as a resource file; the string `id`, or "<none>".
HMODULE Module() {
  static HMODULE module = LoadLibraryExW(testbed::AddinPath().c_str(), nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  return module;
}
std::wstring String(UINT id) { return StringOf(Module(), id, L"<none>"); }

TEST(Resources, EveryStringAndDialogInEveryLanguage) {
  ASSERT_NE(nullptr, Module());
  EXPECT_EQ(std::wstring(L"PDF Files (*.PDF)\0*.pdf", 23), String(317));
  // The dialog templates' header (DLGTEMPLATEEX): extended style, style, item count, size.
  auto dialog = [](int id, LANGID language) {
    HRSRC resource = FindResourceExW(Module(), RT_DIALOG, MAKEINTRESOURCEW(id), language);
    if (!resource) return std::tuple<DWORD, DWORD, WORD, short, short>{};
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(Module(), resource)));
    std::tuple<DWORD, DWORD, WORD, short, short> header;
    memcpy(&std::get<0>(header), data + 8, 4), memcpy(&std::get<1>(header), data + 12, 4);
    memcpy(&std::get<2>(header), data + 16, 2), memcpy(&std::get<3>(header), data + 22, 2);
    memcpy(&std::get<4>(header), data + 24, 2);
    return header;
  };
  for (int offset = 0; offset <= 2000; offset += 100) {
    const LANGID language = kLanguages[offset / 100];
    for (UINT id = 301; id <= 363; ++id) {
      const UINT localised = id + static_cast<UINT>(offset);
      SCOPED_TRACE(std::to_string(localised));
      const std::wstring english = String(id), translated = String(localised);
      // 307 and 333 are dialogs; 313 and 316 the open commands' absent descriptions.
      if (english == L"<none>") {
        EXPECT_EQ(L"<none>", translated);
        continue;
      }
      EXPECT_NE(nullptr, FindResourceExW(Module(), RT_STRING, MAKEINTRESOURCEW(localised / 16 + 1), language));
      if (offset != 0 && id != 336) {  // "Version" is the same word in some
        EXPECT_NE(english, translated);
      }
    }
    // The English dialogs' style, controls and size; right to left in Arabic only.
    for (int id : {307, 333}) {
      auto expected = dialog(id, 0x0409);
      std::get<0>(expected) |= language == 0x0401 ? WS_EX_LAYOUTRTL : 0;
      EXPECT_NE(0, std::get<2>(expected));
      EXPECT_EQ(expected, dialog(id + offset, language)) << id + offset;
    }
  }
}

// ---- Under another DPI and inside the mail client: copies of this program -------------------

// The program relative to a temporary folder (empty: this program), the screen, the skin (0:
// none set); rows of client version, command and its images: Bitmap, LargeBitmap, SmallIcon, LargeIcon.
struct Child {
  const char* name;
  const wchar_t* program;
  DWORD dpi, skinType;
  std::vector<std::tuple<const wchar_t*, const wchar_t*, const wchar_t*>> rows;
};
const Child kChildren[] = {
    // 150 %: the +1 variants; 14641 is missing in the blue skin: 14640 stretched. A classic
    // client's menu variant is not scaled.
    {"144 DPI", L"", 144, 0,
     {{L"92", L"CreatePDF", L"14571/48|12762/48|14112/24|12762/48"},
      {L"92", L"CreatePDF_CM", L"14561/24|14112/24|14112/24|14112/24"},
      {L"92", L"OpenInPro", L"14651/48|-|-|-"},
      {L"92", L"OpenInPro_CM", L"14640/24|-|-|-"},
      {L"9.1", L"CreatePDF", L"14560/16|12762/48|14112/24|12762/48"},
      {L"9.1", L"SendPDFEMail_CM", L"14621/24|-|-|-"}}},
    // 200 % in the generic skin: no +2 at all, bitmaps stretched, PNGs none.
    {"192 DPI, generic skin", L"", 192, 4,
     {{L"92", L"CreatePDF", L"14570/64|-|-|-"}, {L"92", L"CreateNewPDFScan_CM", L"14580/32|-|-|-"}}},
    // "\OUTLOOK" in the host's path, in any case: classic images even on a ribbon client.
    {"mail client", L"Office16\\outlook.exe", 96, 0,
     {{L"100.0", L"CreatePDF", L"14560/16|12761/32|14111/16|12761/32"},
      {L"100.0", L"OpenInCnv", L"14600/16|-|-|-"}}},
};

// Run in a copy of this program by ChildProcesses below; exit code 3: checked, all passed.
TEST(Child, ImagesOfItsScreenAndHost) {
  if (EnvironmentVariable(L"VPDF_CHILD").empty()) GTEST_SKIP() << "runs in a child process only";
  {
    IdentitySettings settings;
    const Child& child = kChildren[std::stoi(EnvironmentVariable(L"VPDF_CHILD"))];
    if (child.skinType) settings.Preference().SetDword(child.skinType);
    for (const auto& [version, command, images] : child.rows) {
      settings.SetClientVersion(version);
      const std::wstring identity = Identity(command);
      EXPECT_EQ(images, identity.substr(identity.find(L" images: ") + 9)) << Utf8(command);
    }
  }
  std::exit(HasFailure() ? 1 : 3);
}

TEST(Child, ChildProcesses) {
  for (size_t i = 0; i < std::size(kChildren); ++i) {
    SCOPED_TRACE(kChildren[i].name);
    ScopedRegistryValue logPixels(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
    logPixels.SetDword(kChildren[i].dpi);
    const fs::path root = fs::path(TempFolder()) / L"vpdf_child";
    const fs::path program = *kChildren[i].program ? root / kChildren[i].program : fs::path(ProgramPath());
    fs::create_directories(program.parent_path());
    if (*kChildren[i].program) fs::copy_file(ProgramPath(), program);
    SetEnvironmentVariableW(L"VPDF_CHILD", std::to_wstring(i).c_str());
    EXPECT_EQ(3, _wspawnl(_P_WAIT, program.c_str(), program.c_str(), L"--gtest_filter=Child.Images*", nullptr));
    SetEnvironmentVariableW(L"VPDF_CHILD", nullptr);
    fs::remove_all(root);
  }
}

}  // namespace
