// The commands' identity through COM: the twelve command classes created by their ProgIDs from the
// registered add-in, with the properties and images their constructors give for the client's
// version, the product's UI language and the product key. The stand-in skin libraries of the
// product folder supply the images; the expected texts come from the same string tables, linked
// into this program (command_identity_tests.rc).
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>

#include "IManExt.h"
#include "tests/identity_support.h"

namespace {

using testing_support::BitmapOf;
using testing_support::IdentitySettings;
using testing_support::ReadImage;

struct Command {
  const wchar_t* progId;
  const wchar_t* name;
  bool menu;  // the menu and toolbar variant; else the context-menu variant
  wchar_t letter;
  UINT menuId, helpId;
  int classicBitmap, ribbonBitmap;
  bool description;
};

constexpr Command kCommands[] = {
    {L"RPDFImanAddon.CreatePDF", L"RPDFIManAddon.CreatePDF", true, L'C', 301, 303, 14560, 14570, true},
    {L"RPDFImanAddon.CreatePDF_CM", L"RPDFIManAddon.CreatePDF_CM", false, L'C', 301, 303, 14560, 14570, true},
    {L"RPDFImanAddon.CreateNewPDFFile", L"RPDFIManAddon.CreateNewPDFFile", true, L'F', 318, 319, 14560, 14570, true},
    {L"RPDFImanAddon.CreateNewPDFFile_CM", L"RPDFIManAddon.CreateNewPDFFile_CM", false, L'F', 318, 319, 14560, 14570, true},
    {L"RPDFImanAddon.CreateNewPDFScan", L"RPDFIManAddon.CreateNewPDFScan", true, L'A', 320, 321, 14580, 14590, true},
    {L"RPDFImanAddon.CreateNewPDFScan_CM", L"RPDFIManAddon.CreateNewPDFScan_CM", false, L'A', 320, 321, 14580, 14590, true},
    {L"RPDFImanAddon.SendPDFEMail", L"RPDFIManAddon.SendPDFEMail", true, L'S', 302, 304, 14620, 14630, true},
    {L"RPDFImanAddon.SendPDFEMail_CM", L"RPDFIManAddon.SendPDFEMail", false, L'S', 302, 304, 14620, 14630, true},
    {L"RPDFImanAddon.OpenInPro", L"RPDFIManAddon.OpenInPro", true, L'P', 311, 312, 14640, 14650, false},
    {L"RPDFImanAddon.OpenInPro_CM", L"RPDFIManAddon.OpenInPro", false, L'P', 311, 312, 14640, 14650, false},
    {L"RPDFImanAddon.OpenInCnv", L"RPDFIManAddon.OpenInCnv", true, L'W', 314, 315, 14600, 14610, false},
    {L"RPDFImanAddon.OpenInCnv_CM", L"RPDFIManAddon.OpenInCnv_CM", false, L'W', 314, 315, 14600, 14610, false},
};

// The product folder with the stand-in skins, for the whole program: the add-in keeps the skin
// library it found first for the process. The product key HKLM\Software\Ostrel\PDF\V1 exists
// (COpenInPro's kind 1) unless a test moves it aside.
class ProductEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    settings = new IdentitySettings;
    settings->ClearSkin();
    settings->SetInstallPath(testing_support::ProductFolder());
    settings->SetUILanguageAll(0);
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, testing_support::kProductKey, 0, nullptr, 0, KEY_WRITE,
                    nullptr, &key, &created);
    if (key) RegCloseKey(key);
  }
  void TearDown() override {
    delete settings;
    if (created == REG_CREATED_NEW_KEY)
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, testing_support::kProductKey);
  }
  IdentitySettings* settings = nullptr;
  DWORD created = 0;
};
testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new ProductEnvironment);

ICommand* Create(const wchar_t* progId) {
  CLSID clsid = {};
  EXPECT_EQ(S_OK, CLSIDFromProgID(progId, &clsid)) << progId;
  ICommand* command = nullptr;
  EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ICommand),
                                   reinterpret_cast<void**>(&command)))
      << progId;
  return command;
}

struct Identity {
  std::wstring name, description, menuText, helpText;
  LONG accelerator = -1, kind = -1, status = -1;
  int bitmap = -1, bitmapWidth = 0;
  VARTYPE bitmapType = VT_ILLEGAL;
  int largeBitmap = -1, smallIcon = -1, largeIcon = -1;  // marker ids; -1 none
  HBITMAP bitmapHandle = nullptr;
};

std::string Narrow(const wchar_t* text) { return testing_support::Utf8(text); }

std::wstring Text(ICommand* command, HRESULT (STDMETHODCALLTYPE ICommand::*get)(BSTR*)) {
  BSTR text = nullptr;
  (command->*get)(&text);
  std::wstring result = text ? std::wstring(text, SysStringLen(text)) : L"<null>";
  SysFreeString(text);
  return result;
}

int ImageId(ICommand* command, HRESULT (STDMETHODCALLTYPE ICommand::*get)(VARIANT*)) {
  VARIANT value;
  VariantInit(&value);
  EXPECT_EQ(S_OK, (command->*get)(&value));
  int id = value.vt == VT_EMPTY ? -1 : ReadImage(BitmapOf(value)).MarkerId();
  VariantClear(&value);
  return id;
}

Identity Read(ICommand* command) {
  Identity identity{Text(command, &ICommand::get_Name), Text(command, &ICommand::get_DescriptionText),
                    Text(command, &ICommand::get_MenuText), Text(command, &ICommand::get_HelpText)};
  command->get_Accelerator(&identity.accelerator);
  command->get_CommandKind(&identity.kind);
  command->get_Status(&identity.status);
  VARIANT bitmap;
  VariantInit(&bitmap);
  command->get_Bitmap(&bitmap);  // held by the command: not cleared here
  identity.bitmapType = bitmap.vt;
  identity.bitmapHandle = BitmapOf(bitmap);
  const testing_support::ImageInfo image = ReadImage(identity.bitmapHandle);
  identity.bitmap = image.MarkerId();
  identity.bitmapWidth = image.width;
  identity.largeBitmap = ImageId(command, &ICommand::get_LargeBitmap);
  identity.smallIcon = ImageId(command, &ICommand::get_SmallIcon);
  identity.largeIcon = ImageId(command, &ICommand::get_LargeIcon);
  return identity;
}

Identity CreateAndRead(const wchar_t* progId) {
  ICommand* command = Create(progId);
  if (!command) return {};
  Identity identity = Read(command);
  command->Release();
  return identity;
}

// String `id` of this program's copy of the add-in's string tables.
std::wstring OwnString(UINT id) {
  const wchar_t* text = nullptr;
  int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : L"<null>";
}

class CommandIdentity : public testing::Test {
 protected:
  IdentitySettings settings;
};

LONG Accelerator(const Command& command) { return 0x110000 + static_cast<LONG>(command.letter); }

TEST_F(CommandIdentity, ClassicClientEnglish) {
  settings.SetClientVersion(L"9.1");
  for (const Command& expected : kCommands) {
    SCOPED_TRACE(Narrow(expected.progId));
    Identity identity = CreateAndRead(expected.progId);
    EXPECT_EQ(expected.name, identity.name);
    EXPECT_EQ(expected.description ? L"List the documents which are selected." : L"<null>",
              identity.description);
    EXPECT_EQ(Accelerator(expected), identity.accelerator);
    EXPECT_EQ(1, identity.kind);  // COpenInPro too: the product key exists
    EXPECT_EQ(1, identity.status);
    EXPECT_EQ(OwnString(expected.menuId), identity.menuText);
    EXPECT_EQ(OwnString(expected.helpId), identity.helpText);
    EXPECT_EQ(VT_I4, identity.bitmapType);
    EXPECT_EQ(expected.classicBitmap, identity.bitmap);
    EXPECT_EQ(16, identity.bitmapWidth);
  }
  EXPECT_EQ(L"&Create PDF\tAlt+C", CreateAndRead(L"RPDFImanAddon.CreatePDF").menuText);
  EXPECT_EQ(L"O&pen with Conversion Desk", CreateAndRead(L"RPDFImanAddon.OpenInCnv_CM").menuText);
  EXPECT_EQ(L"Open PDF documents with Ostrel Varnel PDF",
            CreateAndRead(L"RPDFImanAddon.OpenInPro").helpText);
}

// Only Create PDF has PNG images: the menu variant a large one of its own.
TEST_F(CommandIdentity, RibbonClientMenuVariantsHaveNoAcceleratorAndRibbonImages) {
  settings.SetClientVersion(L"92");
  for (const Command& expected : kCommands) {
    SCOPED_TRACE(Narrow(expected.progId));
    Identity identity = CreateAndRead(expected.progId);
    EXPECT_EQ(expected.menu ? 0 : Accelerator(expected), identity.accelerator);
    EXPECT_EQ(expected.menu ? expected.ribbonBitmap : expected.classicBitmap, identity.bitmap);
    EXPECT_EQ(expected.menu ? 32 : 16, identity.bitmapWidth);
    const std::wstring progId = expected.progId;
    const int small = progId.find(L"CreatePDF") != std::wstring::npos ? 14111 : -1;
    const int large = progId == L"RPDFImanAddon.CreatePDF" ? 12761 : small;
    EXPECT_EQ(large, identity.largeBitmap);
    EXPECT_EQ(small, identity.smallIcon);
    EXPECT_EQ(large, identity.largeIcon);
  }
}

// The language's offset is pinned in identity_tests; here that a command takes it.
TEST_F(CommandIdentity, TextsOfTheDetectedLanguageButDescriptionsInEnglish) {
  settings.SetUILanguageAll(1036);
  const Identity identity = CreateAndRead(L"RPDFImanAddon.SendPDFEMail_CM");
  EXPECT_EQ(L"&Envoyer le PDF par e-mail\tAlt+S", identity.menuText);
  EXPECT_EQ(OwnString(304 + 100), identity.helpText);
  EXPECT_EQ(L"List the documents which are selected.", identity.description);
  EXPECT_EQ(L"&Cr\u00e9er un PDF\tAlt+C", CreateAndRead(L"RPDFImanAddon.CreatePDF").menuText);
}

TEST_F(CommandIdentity, OpenInProWithoutTheProductKeyIsKindZero) {
  {
    testing_support::ScopedRegistrySnapshot aside{
        {{HKEY_LOCAL_MACHINE, testing_support::kProductKey}}};
    aside.Clear();
    EXPECT_EQ(0, CreateAndRead(L"RPDFImanAddon.OpenInPro").kind);
    EXPECT_EQ(0, CreateAndRead(L"RPDFImanAddon.OpenInPro_CM").kind);
    EXPECT_EQ(1, CreateAndRead(L"RPDFImanAddon.OpenInCnv").kind);
  }
  EXPECT_EQ(1, CreateAndRead(L"RPDFImanAddon.OpenInPro").kind);
  EXPECT_EQ(1, CreateAndRead(L"RPDFImanAddon.OpenInPro_CM").kind);
}

TEST_F(CommandIdentity, ImagesLiveAsLongAsTheCommand) {
  for (const wchar_t* progId : {L"RPDFImanAddon.OpenInPro", L"RPDFImanAddon.CreatePDF"}) {
    ICommand* command = Create(progId);
    ASSERT_NE(nullptr, command);
    const HBITMAP bitmap = Read(command).bitmapHandle;
    BITMAP header = {};
    ASSERT_NE(0, GetObjectW(bitmap, sizeof header, &header));
    command->Release();
    EXPECT_EQ(0, GetObjectW(bitmap, sizeof header, &header));
  }
}

// ---- Inside the mail client's host ---------------------------------------------------------

// Run by InOutlook below in a copy of this program named OUTLOOK.EXE.
TEST(OutlookChild, ClassicImagesOnARibbonClient) {
  if (testing_support::Environment(L"VPDF_OUTLOOK_CHILD").empty())
    GTEST_SKIP() << "runs only as a child of InOutlook";
  IdentitySettings settings;
  settings.SetClientVersion(L"100.0");
  const Identity identity = CreateAndRead(L"RPDFImanAddon.CreatePDF");
  EXPECT_EQ(14560, identity.bitmap);
  EXPECT_EQ(16, identity.bitmapWidth);
  EXPECT_EQ(0, identity.accelerator);  // still a ribbon client
  testing_support::ChildRan();
}

TEST(InOutlook, TheMenuVariantsShowTheClassicImages) {
  const std::wstring folder = testing_support::TempFolder() + L"vpdf_outlook\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring outlook = folder + L"OUTLOOK.EXE";
  ASSERT_TRUE(CopyFileW(testing_support::ProgramPath().c_str(), outlook.c_str(), FALSE));
  EXPECT_EQ(0, testing_support::RunChild(outlook, L"--gtest_filter=OutlookChild.*",
                                         {{L"VPDF_OUTLOOK_CHILD", L"1"}}));
  DeleteFileW(outlook.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
