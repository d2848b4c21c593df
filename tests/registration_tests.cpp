// Registration on the real registry of the build's Wine prefix: the registrar, the interface
// repair, the client menu and toolbar, the open commands in the document menus, and the DLL's
// whole registration through regsvr32. Each test saves the subtrees it works on, starts without
// them and puts them back when it ends.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "addon/client_registration.h"
#include "addon/open_commands.h"
#include "addon/registrar.h"
#include "addon/registration.h"
#include "addon/repair_interfaces.h"
#include "convutils/comutil.h"
#include "tests/settings_support.h"
#include "tests/testing/registry.h"

namespace {

using testing_support::DumpTree, testing_support::GetString, testing_support::KeyExists;
using testing_support::ScopedRegistrySnapshot, testing_support::SetDword,
    testing_support::SetString;
using testing_support::Utf8;
using testing_support::ValueExists;

const HKEY HKLM = HKEY_LOCAL_MACHINE;
const HKEY HKCU = HKEY_CURRENT_USER;
const HKEY HKCR = HKEY_CLASSES_ROOT;

const std::wstring kInterWoven = L"Software\\InterWoven";
const std::wstring kWorkSite = L"Software\\InterWoven\\WorkSite";
const std::wstring kDesksite8 = L"Software\\InterWoven\\WorkSite\\8.0\\Desksite";
const std::wstring kClientDesksite = L"Software\\InterWoven\\WorkSite\\Client\\Desksite";
const std::wstring kFilesite8 = L"Software\\InterWoven\\WorkSite\\8.0\\Filesite";
const std::wstring kNetRight = L"Software\\NetRight";
const std::wstring kThinClient = L"Software\\NetRight\\iThinClient";
const std::wstring kThinDocument = L"Software\\NetRight\\iThinClient\\Commands\\Menus\\Document";
const std::wstring kThinGrid = L"Software\\NetRight\\iThinClient\\Commands\\Grid Popup Menus";
const std::wstring kOutlookDocument = L"Software\\NetRight\\iOutlook\\Commands\\Document";
const std::wstring kThinOptions = L"SOFTWARE\\NetRight\\iManage\\ThinClient\\5.0\\Advanced Options";
const std::wstring kPrinter = L"System\\CurrentControlSet\\Control\\Print\\Printers\\Varnel PDF";

const std::wstring kCreateCm = L"RPDFIManAddon.CreatePDF_CM";
const std::wstring kProCm = L"RPDFIManAddon.OpenInPro_CM";
const std::wstring kCnvCm = L"RPDFIManAddon.OpenInCnv_CM";
const std::wstring kAllOpen = L"X,-," + kCreateCm + L"," + kProCm + L"," + kCnvCm + L",-,Y";

// The site lists below a WorkSite version key: 0 DeskSite, 1 MailSite, 2 FileSite.
std::wstring SiteKey(const std::wstring& version, int site) {
  const wchar_t* paths[] = {L"DeskSite\\Commands\\Menus\\Document", L"MailSite\\Commands\\Document",
                            L"FileSite\\Commands\\Document"};
  return kWorkSite + L"\\" + version + L"\\" + paths[site];
}

std::wstring Commands(const std::wstring& path) { return GetString(HKLM, path, L"Commands"); }
void SetList(const std::wstring& path, const std::wstring& list) {
  SetString(HKLM, path, L"Commands", list);
}
void Touch(const std::wstring& path) { SetString(HKLM, path, L"Here", L"1"); }
void Delete(HKEY root, const std::wstring& path) { RegDeleteTreeW(root, path.c_str()); }
std::wstring Customized(const std::wstring& base) { return DumpTree(HKLM, base + L"\\Customize"); }


// ---- The product components -------------------------------------------------------------

// Everything that the client and open-command registration read or write, saved and cleared;
// the product components are files under a temporary install folder named by
// HKLM\Software\Ostrel\PDF\V1 and its 32-bit view counterpart. The printer is a spooler
// registry entry, the one kind of printer Wine lets a test make.
struct Components {
  bool printer = false, editor = false, converter = false, creator = false;
};

void AddPrinter(const std::wstring& key, const wchar_t* name) {
  SetString(HKLM, key, L"Name", name);
  SetString(HKLM, key, L"Port", L"FILE:");
  SetString(HKLM, key, L"Printer Driver", L"Varnel PDF Driver");
}

class ClientWorld : public ::testing::Test {
 protected:
  ScopedRegistrySnapshot saved{{{HKLM, kInterWoven},
                                {HKLM, kNetRight},
                                {HKCU, L"SOFTWARE\\NetRight"},
                                {HKLM, L"Software\\Ostrel"},
                                {HKLM, L"Software\\Wow6432Node\\Ostrel"},
                                {HKLM, kPrinter},
                                {HKCU, L"Software\\VarnelTestbed\\Config"}}};
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      (L"vpdf-registration-" + std::to_wstring(GetCurrentProcessId()));

  void SetUp() override {
    saved.Clear();
    std::filesystem::create_directories(folder / L"bin");
    Install({});
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  void Install(const Components& components) const {
    for (auto [name, present] : {std::pair{L"bin\\varnelpdf.exe", components.editor},
                                 {L"vpdfassist.exe", components.converter},
                                 {L"bin\\vpdfcreate.exe", components.creator}}) {
      if (present)
        std::ofstream(folder / name).put('x');
      else
        std::filesystem::remove(folder / name);
    }
    // The install folder as the product writes it: with its closing backslash.
    for (const wchar_t* key :
         {L"Software\\Ostrel\\PDF\\V1", L"Software\\Wow6432Node\\Ostrel\\PDF\\V1"})
      SetString(HKLM, key, L"InstallPath", folder.wstring() + L"\\");
    Delete(HKLM, kPrinter);
    if (components.printer) AddPrinter(kPrinter, L"Varnel PDF");
  }
  void Ribbon(bool ribbon) const {
    SetString(HKLM, kInterWoven, L"DeskSite Version", ribbon ? L"92" : L"9.1");
  }
};

// ---- Open commands: lists in the registry ----------------------------------------------------

using OpenCommandLists = ClientWorld;

TEST_F(OpenCommandLists, ReplaceCommandNeedsAKeyWithANonEmptyStringList) {
  const std::wstring path = kOutlookDocument;
  for (int variant = 0; variant < 4; ++variant) {
    Delete(HKLM, path);
    if (variant == 0) SetString(HKLM, path, L"Other", L"x");
    if (variant == 1) SetList(path, L"");
    if (variant == 2) SetDword(HKLM, path, L"Commands", 5);
    if (variant == 3) SetString(HKLM, path, L"Commands", L"A,-,B", REG_EXPAND_SZ);
    vpdf::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKLM, path.c_str(), KEY_READ | KEY_WRITE));
    EXPECT_EQ(variant == 3 ? 1 : 0, vpdf::ReplaceCommand(key, L"-", L"-,-", false)) << variant;
    EXPECT_FALSE(key) << "the key is closed";
  }
  EXPECT_EQ(L"[" + path + L"]\nCommands=\"A,-,-,B\"\n", DumpTree(HKLM, path));
}

TEST_F(OpenCommandLists, ModifyTakesTheFirstVersionKeyThatHasTheSite) {
  // "7.0" has no FileSite list; "8.0" has one, and so has "9.0" after it.
  SetList(SiteKey(L"7.0", 1), L"M,-,N");
  SetList(SiteKey(L"8.0", 2), L"A,-,B");
  SetList(SiteKey(L"9.0", 2), L"C,-,D");
  SetList(kOutlookDocument, L"O,-,P");
  EXPECT_EQ(1, vpdf::Modify(vpdf::kSiteFileSite, L"-", L"-,x", false));
  EXPECT_EQ(L"A,-,x,B", Commands(SiteKey(L"8.0", 2)));
  EXPECT_EQ(L"C,-,D", Commands(SiteKey(L"9.0", 2)));
  EXPECT_EQ(L"O,-,P", Commands(kOutlookDocument));
  EXPECT_EQ(L"M,-,N", Commands(SiteKey(L"7.0", 1)));
  EXPECT_EQ(SiteKey(L"8.0", 2), vpdf::OpenCommandsSiteKey(vpdf::kSiteFileSite));
}

TEST_F(OpenCommandLists, MailAndFileSiteFallBackToTheOutlookIntegration) {
  EXPECT_EQ(0, vpdf::Modify(vpdf::kSiteMailSite, L"-", L"-,-", false));  // no list at all
  EXPECT_FALSE(KeyExists(HKLM, kOutlookDocument));

  SetList(kOutlookDocument, L"O,-,P");
  EXPECT_EQ(1, vpdf::Modify(vpdf::kSiteMailSite, L"-", L"-,m", false));
  SetList(SiteKey(L"8.0", 0), L"D");  // a version key without FileSite
  EXPECT_EQ(1, vpdf::Modify(vpdf::kSiteFileSite, L"-", L"-,f", false));
  EXPECT_EQ(L"O,-,f,m,P", Commands(kOutlookDocument));
  EXPECT_EQ(L"D", Commands(SiteKey(L"8.0", 0)));
}

TEST_F(OpenCommandLists, DeskSiteFallsBackToTheThinClientsMenus) {
  SetList(kThinDocument, L"T,-,U");
  SetList(kThinGrid, L"G,-,H");
  EXPECT_EQ(1, vpdf::Modify(vpdf::kSiteDeskSite, L"-", L"-,x", false));
  EXPECT_EQ(L"T,-,x,U", Commands(kThinDocument));
  EXPECT_EQ(L"G,-,x,H", Commands(kThinGrid));
  EXPECT_EQ(kThinDocument, vpdf::OpenCommandsSiteKey(vpdf::kSiteDeskSite));

  // The result is the document menu's; the grid menu alone does not make it a success.
  Delete(HKLM, kThinDocument);
  EXPECT_EQ(0, vpdf::Modify(vpdf::kSiteDeskSite, L"-", L"-,y", false));
  EXPECT_EQ(L"G,-,y,x,H", Commands(kThinGrid));
}

TEST_F(OpenCommandLists, TheThinClientDefaultCommandFollowsAnExactMatch) {
  auto defaultCommand = [] { return GetString(HKCU, kThinOptions, L"Default Command"); };
  SetList(kThinDocument, L"T,U");
  SetString(HKCU, kThinOptions, L"Default Command", L"imanext.OPENCMD");
  vpdf::Modify(vpdf::kSiteDeskSite, L"iManExt.OpenCmd", L"RPDFIManAddon.OpenInPro_CM", false);
  EXPECT_EQ(L"RPDFIManAddon.OpenInPro_CM", defaultCommand());

  // Not the whole value: left alone. Without a replacement: left alone.
  vpdf::Modify(vpdf::kSiteDeskSite, L"RPDFIManAddon", L"Other", false);
  vpdf::Modify(vpdf::kSiteDeskSite, L"RPDFIManAddon.OpenInPro_CM", nullptr, false);
  EXPECT_EQ(L"RPDFIManAddon.OpenInPro_CM", defaultCommand());

  // A value that is not there is not created.
  Delete(HKCU, kThinOptions);
  SetString(HKCU, kThinOptions, L"Other", L"1");
  vpdf::Modify(vpdf::kSiteDeskSite, L"-", L"-,-", false);
  EXPECT_FALSE(ValueExists(HKCU, kThinOptions, L"Default Command"));

  // With a DeskSite list under a version key the thin client is not asked.
  SetString(HKCU, kThinOptions, L"Default Command", L"A");
  SetList(SiteKey(L"8.0", 0), L"D");
  vpdf::Modify(vpdf::kSiteDeskSite, L"A", L"B", false);
  EXPECT_EQ(L"A", defaultCommand());
}

TEST_F(OpenCommandLists, MenuExtChoosesItsBaseAndFindsNamesInItsDocumentMenu) {
  EXPECT_EQ(L"", vpdf::CDSMenuExt().Regbase());
  EXPECT_FALSE(vpdf::CDSMenuExt().IsInDocumentMenu(L"RPDFIManAddon.OpenInPro"));
  for (const std::wstring& base : {kFilesite8, kThinClient, kClientDesksite, kDesksite8}) {
    Touch(base);
    EXPECT_EQ(base, vpdf::CDSMenuExt().Regbase());
  }
  Delete(HKLM, kDesksite8);
  // Client\Desksite has its document menu under Commands\Menus\Document, the others under
  // Commands\Document; a name is found as a substring.
  SetList(kClientDesksite + L"\\Commands\\Menus\\Document", L"X,RPDFIManAddon.OpenInPro_CM,Y");
  SetList(kClientDesksite + L"\\Commands\\Document", L"RPDFIManAddon.OpenInCnv");
  vpdf::CDSMenuExt client;
  EXPECT_EQ(kClientDesksite + L"\\Commands\\Menus\\Document", client.DocumentMenuKey());
  EXPECT_TRUE(client.IsInDocumentMenu(L"RPDFIManAddon.OpenInPro"));
  EXPECT_FALSE(client.IsInDocumentMenu(L"RPDFIManAddon.OpenInCnv"));

  SetList(kDesksite8 + L"\\Commands\\Document", L"RPDFIManAddon.OpenInCnv_CM");
  vpdf::CDSMenuExt desksite;
  EXPECT_EQ(kDesksite8 + L"\\Commands\\Document", desksite.DocumentMenuKey());
  EXPECT_TRUE(desksite.IsInDocumentMenu(L"RPDFIManAddon.OpenInCnv"));
  EXPECT_FALSE(desksite.IsInDocumentMenu(L"RPDFIManAddon.OpenInPro"));
}

// Three sites with the same list: two client commands around one separator.
class OpenCommandRegistration : public ClientWorld {
 protected:
  void SetUp() override {
    ClientWorld::SetUp();
    SetAllSites(L"X,-,Y");
  }
  void SetAllSites(const std::wstring& list) const {
    for (const std::wstring& key : lists) SetList(key, list);
  }
  void ExpectAllSites(const std::wstring& list) const {
    for (const std::wstring& key : lists) EXPECT_EQ(list, Commands(key)) << Utf8(key);
  }
  std::vector<std::wstring> lists{SiteKey(L"8.0", 0), SiteKey(L"8.0", 1), SiteKey(L"8.0", 2)};
};

TEST_F(OpenCommandRegistration, EachComponentAddsItsEntriesAfterTheFirstSeparator) {
  const std::wstring old = L"X,-," + kCreateCm + L"," + kProCm + L",-,Y";
  struct Case {
    Components components;
    std::wstring before, registered;
    int unregisterResult;
  } cases[] = {
      {{.editor = true, .converter = true}, L"X,-,Y", kAllOpen, 1},
      {{.converter = true}, L"X,-,Y", L"X,-," + kCnvCm + L",-,Y", 0},
      {{.editor = true}, L"X,-,Y", old, 1},
      {{.creator = true}, L"X,-,Y", L"X,-," + kCreateCm + L",-,Y", 1},
      {{.editor = true, .creator = true}, L"X,-,Y", old, 1},
      {{.converter = true, .creator = true},
       L"X,-,Y",
       L"X,-," + kCreateCm + L"," + kCnvCm + L",-,Y",
       1},
      // Without components only the entries of an earlier registration go.
      {{}, old, L"X,-,Y", 0},
      // A list without a separator stays as it is.
      {{.editor = true, .converter = true, .creator = true}, L"X,Y", L"X,Y", 1},
  };
  // Each site with its own list; then the Outlook integration alone, whose one list stands in
  // for both MailSite and FileSite and is edited once.
  for (const bool outlookOnly : {false, true}) {
    if (outlookOnly) {
      Delete(HKLM, kWorkSite);
      lists = {kOutlookDocument};
    }
    for (const Case& c : cases) {
      SCOPED_TRACE(Utf8(c.before + L" -> " + c.registered + (outlookOnly ? L", Outlook" : L"")));
      SetAllSites(c.before);
      Install(c.components);
      EXPECT_EQ(0, vpdf::RegisterOpenCommands());
      ExpectAllSites(c.registered);
      vpdf::RegisterOpenCommands();  // again: the same list
      ExpectAllSites(c.registered);
      EXPECT_EQ(c.unregisterResult, vpdf::UnRegisterOpenCommands());
      ExpectAllSites(c.before == L"X,Y" ? L"X,Y" : L"X,-,Y");
    }
  }
}

TEST_F(OpenCommandRegistration, TheDocumentMenuDecidesWhatIsAlreadyThere) {
  // Both open commands shown: already registered; the clean-up ran, nothing was added.
  const std::wstring menu = kDesksite8 + L"\\Commands\\Document";
  SetList(menu, L"RPDFIManAddon.OpenInPro,RPDFIManAddon.OpenInCnv");
  SetAllSites(L"X,-," + kProCm + L",-,Y");
  Install({.editor = true, .converter = true});
  EXPECT_EQ(0, vpdf::RegisterOpenCommands());
  ExpectAllSites(L"X,-,Y");
  EXPECT_EQ(L"RPDFIManAddon.OpenInPro,RPDFIManAddon.OpenInCnv", Commands(menu));

  // The creator alone with Create PDF in the menu only doubles the separator.
  SetList(menu, L"RPDFIManAddon.CreatePDF");
  Install({.creator = true});
  vpdf::RegisterOpenCommands();
  ExpectAllSites(L"X,-,-,Y");
}

// ---- Client menu and toolbar ------------------------------------------------------

using ClientMenu = ClientWorld;

// A menu command list by letters: F new PDF from file, S from scanner, C Create PDF, M Send PDF
// in e-mail, P open in the editor, V open in the converter, N the "Create &New PDF" sub-menu.
std::wstring List(const char* letters) {
  static const char kLetters[] = "FSCMPVN";
  static const wchar_t* const kNames[] = {L"RPDFIManAddon.CreateNewPDFFile",
                                          L"RPDFIManAddon.CreateNewPDFScan",
                                          L"RPDFIManAddon.CreatePDF",
                                          L"RPDFIManAddon.SendPDFEMail",
                                          L"RPDFIManAddon.OpenInPro",
                                          L"RPDFIManAddon.OpenInCnv",
                                          L"Create &New PDF"};
  std::wstring list;
  for (const char* c = letters; *c; ++c)
    list += (list.empty() ? L"" : L",") + std::wstring(kNames[strchr(kLetters, *c) - kLetters]);
  return list;
}

// The whole B\Customize tree that registration writes, for a menu command list, an optional
// sub-menu (its text and its command list) and the toolbar.
std::wstring Customize(const std::wstring& base, const std::wstring& commands,
                       const std::wstring& subText, const std::wstring& subCommands, bool toolbar) {
  const std::wstring c = base + L"\\Customize";
  const std::wstring menu = c + L"\\RPDFIManAddon\\Menus\\VarnelPDFMenu";
  const std::wstring t = c + L"\\RPDFIManAddon\\Toolbars\\VarnelPDFToolbar";
  std::wstring tree =
      L"[" + c + L"]\n[" + c + L"\\Integration]\nRPDFIManAddon=\"Y\"\n[" + c +
      L"\\RPDFIManAddon]\n[" + c + L"\\RPDFIManAddon\\Menus]\nAddInMenus=\"VarnelPDFMenu\"\n[" +
      menu + L"]\nCommands=\"" + commands + L"\"\nIndex=dword:7\nMenuText=\"&Ostrel PDF\"\n";
  if (!subText.empty())
    tree += L"[" + menu + L"\\" + subText + L"]\nCommands=\"" + subCommands + L"\"\nMenuText=\"" +
            subText + L"\"\n";
  if (toolbar)
    tree += L"[" + c + L"\\RPDFIManAddon\\Toolbars]\n[" + t + L"]\nIndex=dword:1\n[" + t +
            L"\\Item1]\nCommand=\"RPDFIManAddon.CreatePDF\"\nID=dword:0\nIndex=dword:1\n[" + t +
            L"\\Item2]\nCommand=\"RPDFIManAddon.SendPDFEMail\"\nID=dword:0\nIndex=dword:2\n";
  return tree;
}

// The Customize key with only its empty Integration key.
std::wstring EmptyCustomize(const std::wstring& base) {
  return L"[" + base + L"\\Customize]\n[" + base + L"\\Customize\\Integration]\n";
}

TEST_F(ClientMenu, ThePrinterIsFoundInThePrintSystemsList) {
  EXPECT_FALSE(vpdf::IsCreatePrinterInstalled());
  Install({.printer = true});
  EXPECT_TRUE(vpdf::IsCreatePrinterInstalled());
  // Another name is not the product's printer.
  Install({});
  const std::wstring other = kPrinter + L" 2";
  ScopedRegistrySnapshot otherPrinter{{{HKLM, other}}};
  AddPrinter(other, L"Varnel PDF 2");
  EXPECT_FALSE(vpdf::IsCreatePrinterInstalled());
}

TEST_F(ClientMenu, CommandListsForEachComponentCombinationWithAndWithoutRibbon) {
  Touch(kDesksite8);
  struct Case {
    Components components;
    const char *ribbon, *classic, *sub;
  } cases[] = {
      {{.printer = true}, "FCM", "NCM", "F"},
      {{.editor = true}, "SP", "NP", "S"},
      {{.printer = true, .editor = true}, "FSCMP", "NCMP", "FS"},
      {{.converter = true}, "V", "V", ""},
      {{.printer = true, .converter = true}, "FCMV", "NCMV", "F"},
      {{.editor = true, .converter = true}, "SPV", "NPV", "S"},
      {{.printer = true, .editor = true, .converter = true}, "FSCMPV", "NCMPV", "FS"},
  };
  for (bool ribbon : {true, false}) {
    Ribbon(ribbon);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(ribbon ? "ribbon " : "classic ") + c.ribbon);
      Delete(HKLM, kDesksite8 + L"\\Customize");
      Install(c.components);
      EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
      const bool sub = !ribbon && *c.sub;
      EXPECT_EQ(
          Customize(kDesksite8, List(ribbon ? c.ribbon : c.classic), sub ? L"Create &New PDF" : L"",
                    List(sub ? c.sub : ""), c.components.printer),
          Customized(kDesksite8));
    }
  }
}

TEST_F(ClientMenu, TheSubMenuTextFollowsTheUiLanguage) {
  Touch(kDesksite8);
  Install({.editor = true});
  // The installed component is of kind 2: its UI language (German) counts.
  SetDword(HKCU, L"Software\\VarnelTestbed\\Config", L"UILanguage2", 1031);
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  const std::wstring menu = kDesksite8 + L"\\Customize\\RPDFIManAddon\\Menus\\VarnelPDFMenu";
  EXPECT_EQ(L"&Neues PDF erstellen,RPDFIManAddon.OpenInPro", Commands(menu));
  EXPECT_EQ(L"&Neues PDF erstellen",
            GetString(HKLM, menu + L"\\&Neues PDF erstellen", L"MenuText"));
}

TEST_F(ClientMenu, TheConverterIsLookedForInTheFolderOfItsProductKind) {
  Touch(kDesksite8);
  Install({.converter = true});
  // Stand-alone, and not: the same folder (kind 2) either way.
  for (bool standAlone : {true, false}) {
    if (!standAlone) SetDword(HKLM, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1", L"StandAlone", 0);
    Delete(HKLM, kDesksite8 + L"\\Customize");
    EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
    EXPECT_EQ(Customize(kDesksite8, List("V"), L"", L"", false), Customized(kDesksite8));
  }
}

TEST_F(ClientMenu, NoComponentCreatesOnlyTheCustomizeKeys) {
  Touch(kDesksite8);
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_EQ(EmptyCustomize(kDesksite8), Customized(kDesksite8));

  // An existing Customize key gets no Integration key, nor, without it, the menu when
  // components are there.
  Delete(HKLM, kDesksite8 + L"\\Customize");
  SetString(HKLM, kDesksite8 + L"\\Customize", L"Mine", L"1");
  for (bool components : {false, true}) {
    if (components) Install({.printer = true, .editor = true, .converter = true});
    EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
    EXPECT_EQ(L"[" + kDesksite8 + L"\\Customize]\nMine=\"1\"\n", Customized(kDesksite8));
  }
}

TEST_F(ClientMenu, WithoutAClientNothingIsWritten) {
  Install({.printer = true, .editor = true, .converter = true});
  EXPECT_EQ(0, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_FALSE(KeyExists(HKLM, kInterWoven));
  EXPECT_FALSE(KeyExists(HKLM, kNetRight));
  EXPECT_EQ(0, vpdf::UnregisterHaldenAddonForIManage());
}

TEST_F(ClientMenu, RegistrationUses80FirstUnregistrationClientFirst) {
  Touch(kDesksite8);
  Touch(kClientDesksite);
  Ribbon(true);
  Install({.printer = true, .editor = true, .converter = true});
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  const std::wstring registered = Customize(kDesksite8, List("FSCMPV"), L"", L"", true);
  EXPECT_EQ(registered, Customized(kDesksite8));
  EXPECT_FALSE(KeyExists(HKLM, kClientDesksite + L"\\Customize"));
  EXPECT_EQ(kDesksite8, vpdf::ClientBaseKey(true));
  EXPECT_EQ(kClientDesksite, vpdf::ClientBaseKey(false));

  // Unregistration looks under Client\Desksite first; without Integration there it stops.
  EXPECT_EQ(0, vpdf::UnregisterHaldenAddonForIManage());
  EXPECT_EQ(registered, Customized(kDesksite8));

  // A registration made under Client\Desksite is the one removed.
  Delete(HKLM, kDesksite8);
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  Touch(kDesksite8);
  EXPECT_EQ(1, vpdf::UnregisterHaldenAddonForIManage());
  EXPECT_EQ(EmptyCustomize(kClientDesksite), Customized(kClientDesksite));
}

TEST_F(ClientMenu, UnregistrationRemovesOnlyTheAddInsEntries) {
  Touch(kThinClient);
  SetString(HKLM, kThinClient + L"\\Customize\\Integration", L"Other", L"Y");
  SetString(HKLM, kThinClient + L"\\Customize\\Other\\Menus", L"AddInMenus", L"X");
  const std::wstring before = DumpTree(HKLM, kThinClient);
  Ribbon(false);
  Install({.printer = true, .editor = true, .converter = true});
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_TRUE(KeyExists(
      HKLM, kThinClient + L"\\Customize\\RPDFIManAddon\\Toolbars\\VarnelPDFToolbar\\Item1"));
  EXPECT_EQ(1, vpdf::UnregisterHaldenAddonForIManage());
  EXPECT_EQ(before, DumpTree(HKLM, kThinClient));
}
// ---- Interface repair --------------------------------------------------------------

const std::wstring kReference = L"{62F8CCEF-3C71-11D2-8B38-00A0C970A730}";
const std::wstring kICommands = L"{62F8CCF1-3C71-11D2-8B38-00A0C970A730}";
const std::wstring kIContextItem = L"{62F8CCF3-3C71-11D2-8B38-00A0C970A730}";
const std::wstring kIContextItems = L"{62F8CCF5-3C71-11D2-8B38-00A0C970A730}";
const std::wstring kICommand = L"{62F8CCF7-3C71-11D2-8B38-00A0C970A730}";
const std::wstring kICommand2 = L"{62B13AF2-8354-11D3-809A-00C04F790E87}";
const std::wstring kICommand3 = L"{152C3FB0-2D42-4F06-9A17-21AD98F77980}";
const std::wstring kClientLibrary = L"{7583B91A-3857-11D2-ACDF-00A0C970F49D}";
const std::wstring kAddInLibrary = L"{19AC99C7-8533-4D1A-8E77-ABAD64FDFEDD}";

// The library an interface key names.
std::wstring TypeLibOf(const std::wstring& iid, const std::wstring& view = L"Interface\\") {
  return GetString(HKCR, view + iid + L"\\TypeLib", nullptr);
}

// The reference and the repaired interfaces in both views.
std::vector<std::pair<HKEY, std::wstring>> InterfaceKeys() {
  std::vector<std::pair<HKEY, std::wstring>> keys;
  for (const wchar_t* view : {L"Interface\\", L"Wow6432Node\\Interface\\"})
    for (const std::wstring& iid :
         {kReference, kICommands, kIContextItem, kIContextItems, kICommand, kICommand2, kICommand3})
      keys.emplace_back(HKCR, view + iid);
  return keys;
}

// Every one of those keys as it stands.
std::wstring InterfaceTrees() {
  std::wstring all;
  for (const auto& [root, path] : InterfaceKeys()) all += DumpTree(root, path);
  return all;
}

class InterfaceRepair : public ::testing::Test {
 protected:
  ScopedRegistrySnapshot saved{InterfaceKeys()};

  void SetUp() override { saved.Clear(); }

  static void Reference(const std::wstring& view) {
    const std::wstring key = view + kReference;
    SetString(HKCR, key, nullptr, L"IReference");
    SetString(HKCR, key + L"\\TypeLib", nullptr, kClientLibrary);
    SetString(HKCR, key + L"\\TypeLib", L"Version", L"1.0");
    SetString(HKCR, key + L"\\ProxyStubClsid32", nullptr,
              L"{00020424-0000-0000-C000-000000000046}");
    SetString(HKCR, key + L"\\NumMethods", nullptr, L"9");
  }
  // Repairs and says whether any of the keys changed.
  static bool RepairChanges() {
    const std::wstring before = InterfaceTrees();
    vpdf::RepairIManageInterfaces();
    return InterfaceTrees() != before;
  }
};

TEST_F(InterfaceRepair, WithoutAUsableReferenceOrAForeignLibraryNothingChanges) {
  SetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", nullptr, kAddInLibrary);
  SetString(HKCR, L"Interface\\" + kReference, nullptr, L"no TypeLib key");
  EXPECT_FALSE(RepairChanges());
  // A reference whose library is empty does not count either.
  SetString(HKCR, L"Interface\\" + kReference + L"\\TypeLib", nullptr, L"");
  EXPECT_FALSE(RepairChanges());

  // Any other library, or an interface key without a TypeLib key, is left alone.
  Reference(L"Interface\\");
  SetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", nullptr,
            L"{11111111-2222-3333-4444-555555555555}");
  SetString(HKCR, L"Interface\\" + kIContextItem, nullptr, L"IContextItem without TypeLib");
  for (const std::wstring& iid : {kICommands, kIContextItems})
    SetString(HKCR, L"Interface\\" + iid + L"\\TypeLib", nullptr, kClientLibrary);
  EXPECT_FALSE(RepairChanges());
}

TEST_F(InterfaceRepair, AForeignLibraryInAnyCaseIsReplaced) {
  Reference(L"Interface\\");
  for (const wchar_t* library :
       {L"{19ac99c7-8533-4D1A-8e77-abad64fdfedd}", L"{92879BE8-ED7F-41E2-8167-521C1882A1EC}",
        L"{40df2c24-3fe3-489a-bf9b-9a57d4f88bea}", L"{82E4363B-346C-4d93-B946-8C643419311B}"}) {
    SCOPED_TRACE(Utf8(library));
    SetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", nullptr, library);
    SetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", L"Version", L"1.0");
    SetString(HKCR, L"Interface\\" + kICommand2 + L"\\TypeLib", nullptr, library);
    vpdf::RepairIManageInterfaces();
    EXPECT_EQ(kClientLibrary, TypeLibOf(kICommand));
    EXPECT_EQ(kClientLibrary, TypeLibOf(kICommand2));
    EXPECT_EQ(L"1.0", GetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", L"Version"));
  }
}

TEST_F(InterfaceRepair, MissingKeysOfTheFirstFourAreCopiedFromTheReference) {
  Reference(L"Interface\\");
  vpdf::RepairIManageInterfaces();
  // The reference's subkeys under the interface's own name; not its default value.
  for (const auto& [iid, name] : {std::pair{kICommands, L"ICommands"},
                                  {kIContextItem, L"IContextItem"},
                                  {kIContextItems, L"IContextItems"},
                                  {kICommand, L"ICommand"}}) {
    const std::wstring k = L"Interface\\" + iid;
    EXPECT_EQ(L"[" + k + L"]\n@=\"" + name + L"\"\n[" + k + L"\\NumMethods]\n@=\"9\"\n[" + k +
                  L"\\ProxyStubClsid32]\n@=\"{00020424-0000-0000-C000-000000000046}\"\n[" + k +
                  L"\\TypeLib]\n@=\"" + kClientLibrary + L"\"\nVersion=\"1.0\"\n",
              DumpTree(HKCR, k));
  }
  EXPECT_FALSE(KeyExists(HKCR, L"Interface\\" + kICommand2));
  EXPECT_FALSE(KeyExists(HKCR, L"Interface\\" + kICommand3));
  // The other view has no reference: nothing there.
  EXPECT_FALSE(KeyExists(HKCR, L"Wow6432Node\\Interface\\" + kICommands));
}

TEST_F(InterfaceRepair, The32BitViewIsRepairedOnItsOwn) {
  Reference(L"Wow6432Node\\Interface\\");
  SetString(HKCR, L"Wow6432Node\\Interface\\" + kICommand3 + L"\\TypeLib", nullptr, kAddInLibrary);
  SetString(HKCR, L"Interface\\" + kICommand3 + L"\\TypeLib", nullptr, kAddInLibrary);
  vpdf::RepairIManageInterfaces();
  EXPECT_EQ(kClientLibrary, TypeLibOf(kICommand3, L"Wow6432Node\\Interface\\"));
  EXPECT_EQ(kAddInLibrary, TypeLibOf(kICommand3));
  EXPECT_TRUE(KeyExists(HKCR, L"Wow6432Node\\Interface\\" + kICommand + L"\\TypeLib"));
  EXPECT_FALSE(KeyExists(HKCR, L"Interface\\" + kICommand));
}

// ---- The registrar's rules ------------------------------------------------------

const std::wstring kScriptRoot = L"Software\\VpdfRegistrarTest";
const std::wstring kScriptClass = kScriptRoot + L"\\CLSID\\{11111111-2222-3333-4444-555555555555}";

// The shape of the add-in's scripts, below a key of its own.
const wchar_t kScript[] =
    LR"(HKCU { NoRemove Software { NoRemove VpdfRegistrarTest {
  Prog.1 = s 'Desc' { CLSID = s '{11111111-2222-3333-4444-555555555555}' }
  NoRemove CLSID {
    ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Desc' {
      ForceRemove 'Programmable'
      InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Apartment' }
      'TypeLib' = s '100%% {19AC99C7-8533-4d1a-8E77-ABAD64FDFEDD}'
    }
  }
} } })";

class Registrar : public ::testing::Test {
 protected:
  ScopedRegistrySnapshot saved{{{HKCU, kScriptRoot}}};
  void SetUp() override { saved.Clear(); }
  // A path with a quote, braces and spaces: it goes in as it is.
  const vpdf::ScriptReplacements replacements{{L"MODULE", L"C:\\it's {here}\\a b.dll"}};

  HRESULT Run(const std::wstring& script, bool doRegister) const {
    return vpdf::RunRegistryScriptText(script, doRegister, replacements);
  }
  static std::wstring Registered() {
    const std::wstring& c = kScriptClass;
    return L"[" + kScriptRoot + L"]\n[" + kScriptRoot + L"\\CLSID]\n[" + c + L"]\n@=\"Desc\"\n[" +
           c +
           L"\\InprocServer32]\n@=\"C:\\it's {here}\\a b.dll\"\nThreadingModel=\"Apartment\"\n[" +
           c + L"\\Programmable]\n[" + c +
           L"\\TypeLib]\n@=\"100% {19AC99C7-8533-4d1a-8E77-ABAD64FDFEDD}\"\n[" + kScriptRoot +
           L"\\Prog.1]\n@=\"Desc\"\n[" + kScriptRoot +
           L"\\Prog.1\\CLSID]\n@=\"{11111111-2222-3333-4444-555555555555}\"\n";
  }
};

TEST_F(Registrar, RegistrationWritesTheScriptsKeysAndRewritesAClassKeyWhole) {
  ASSERT_EQ(S_OK, Run(kScript, true));
  EXPECT_EQ(Registered(), DumpTree(HKCU, kScriptRoot));
  // Leftovers in a ForceRemove key go; a second run gives the same; a byte order mark is not
  // part of the script.
  SetString(HKCU, kScriptClass, L"Stale", L"1");
  SetString(HKCU, kScriptClass + L"\\Old\\Deeper", nullptr, L"x");
  SetString(HKCU, kScriptClass + L"\\Programmable", L"Stale", L"1");
  ASSERT_EQ(S_OK, Run(L"\xFEFF" + std::wstring(kScript), true));
  EXPECT_EQ(Registered(), DumpTree(HKCU, kScriptRoot));
}

TEST_F(Registrar, UnregistrationDeletesWithSubkeysButNeverTheNoRemoveKeys) {
  ASSERT_EQ(S_OK, Run(kScript, true));
  SetString(HKCU, kScriptRoot + L"\\CLSID\\{Other}", nullptr, L"another class");
  SetString(HKCU, kScriptRoot + L"\\Prog.1\\Extra\\Deeper", nullptr, L"x");
  ASSERT_EQ(S_OK, Run(kScript, false));
  EXPECT_EQ(L"[" + kScriptRoot + L"]\n[" + kScriptRoot + L"\\CLSID]\n[" + kScriptRoot +
                L"\\CLSID\\{Other}]\n@=\"another class\"\n",
            DumpTree(HKCU, kScriptRoot));
  // Nothing left to remove: still a success.
  ASSERT_EQ(S_OK, Run(kScript, false));
  Delete(HKCU, kScriptRoot + L"\\CLSID");
  ASSERT_EQ(S_OK, Run(kScript, false));
  EXPECT_TRUE(KeyExists(HKCU, kScriptRoot));
}

TEST_F(Registrar, AMalformedScriptFails) {
  EXPECT_EQ(DISP_E_EXCEPTION, Run(L"HKXX { A }", true));
  EXPECT_EQ(DISP_E_EXCEPTION, Run(L"HKCU { Software { VpdfRegistrarTest = x 'y' } }", true));
}

// ---- The module's registration, in process and through regsvr32 ------------------

// ProgID RPDFImanAddon.<name>, description "<name> Class".
struct ClassInfo {
  const wchar_t *name, *clsid;
  std::wstring ProgId() const { return std::wstring(L"RPDFImanAddon.") + name; }
  std::wstring Key() const { return std::wstring(L"CLSID\\") + clsid; }
};
const ClassInfo kClasses[] = {
    {L"CreateNewPDFFile", L"{81B3A34E-BEC1-4FC5-9FC4-645391FB3A1E}"},
    {L"CreateNewPDFFile_CM", L"{B9576D55-1AA1-4ED1-AC58-A5AC85EA678D}"},
    {L"CreateNewPDFScan", L"{59C08D65-5D97-47BC-B157-4F1CC1001801}"},
    {L"CreateNewPDFScan_CM", L"{62F0A483-32EA-4613-90F8-DD19A50B2AF8}"},
    {L"CreatePDF", L"{D1F898E4-8739-4118-95B4-FB11424EAF64}"},
    {L"CreatePDF_CM", L"{EEEEB631-3463-4F7F-A5A2-1429E55E247C}"},
    {L"SendPDFEMail", L"{E5265DAE-9000-4A96-9B95-5C8FF435937F}"},
    {L"SendPDFEMail_CM", L"{1A9A06B9-E75B-409F-8D8F-1A06CA22EA6C}"},
    {L"OpenInPro", L"{6493411D-429B-4CE9-A952-39D99895F826}"},
    {L"OpenInPro_CM", L"{630D77D4-B058-49C5-B108-B904548BC69F}"},
    {L"OpenInCnv", L"{04B06073-6BF1-468A-AEBC-B6D5E23237E9}"},
    {L"OpenInCnv_CM", L"{E76E15AF-8AA8-4E57-B5F4-0BF3A00D340B}"},
};
const std::wstring kOpenOverrideClsid = L"{69D4B1AF-1841-455B-B1B7-B536830DC9ED}";
const std::wstring kTypeLibKey = L"TypeLib\\" + kAddInLibrary;

std::wstring BinFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  PathRemoveFileSpecW(path);
  return path;
}

std::wstring AddInPath() { return BinFolder() + L"\\VPDFIManageAddon.dll"; }

// The class entries of one class, as DumpTree shows them: P.1, P and CLSID\X.
std::wstring ClassTrees(const ClassInfo& c, const std::wstring& module) {
  const std::wstring p = c.ProgId(), x = c.clsid, d = std::wstring(c.name) + L" Class";
  const std::wstring k = c.Key();
  return L"[" + p + L".1]\n@=\"" + d + L"\"\n[" + p + L".1\\CLSID]\n@=\"" + x + L"\"\n" +  //
         L"[" + p + L"]\n@=\"" + d + L"\"\n[" + p + L"\\CLSID]\n@=\"" + x + L"\"\n[" + p +
         L"\\CurVer]\n@=\"" + p + L".1\"\n" +  //
         L"[" + k + L"]\n@=\"" + d + L"\"\n[" + k + L"\\InprocServer32]\n@=\"" + module +
         L"\"\nThreadingModel=\"Apartment\"\n[" + k + L"\\ProgID]\n@=\"" + p + L".1\"\n[" + k +
         L"\\Programmable]\n[" + k +
         L"\\TypeLib]\n@=\"{19AC99C7-8533-4d1a-8E77-ABAD64FDFEDD}\"\n[" + k +
         L"\\VersionIndependentProgID]\n@=\"" + p + L"\"\n";
}

std::wstring AllClassTrees() {
  std::wstring all;
  for (const ClassInfo& c : kClasses)
    all +=
        DumpTree(HKCR, c.ProgId() + L".1") + DumpTree(HKCR, c.ProgId()) + DumpTree(HKCR, c.Key());
  return all;
}

std::vector<std::pair<HKEY, std::wstring>> ClassKeys() {
  std::vector<std::pair<HKEY, std::wstring>> keys;
  for (const ClassInfo& c : kClasses)
    for (const std::wstring& key : {c.ProgId() + L".1", c.ProgId(), c.Key()})
      keys.emplace_back(HKCR, key);
  for (const std::wstring& key :
       {std::wstring(L"RPDFImanAddon.OpenOverride"), std::wstring(L"RPDFImanAddon.OpenOverride.1"),
        L"CLSID\\" + kOpenOverrideClsid, kTypeLibKey})
    keys.emplace_back(HKCR, key);
  return keys;
}

// regsvr32 of the prefix, started the way an installer starts it; its exit code.
DWORD RunRegsvr32(bool unregister, const std::wstring& module = AddInPath()) {
  std::wstring command =
      L"regsvr32.exe /s " + std::wstring(unregister ? L"/u " : L"") + L"\"" + module + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const std::wstring bin = BinFolder();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, bin.c_str(),
                      &startup, &process))
    return GetLastError() | 0x10000000;
  WaitForSingleObject(process.hProcess, 120000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code;
}

// The add-in's class entries and the client world, saved and put back; the interfaces too.
class ModuleRegistration : public ClientWorld {
 protected:
  ScopedRegistrySnapshot classes{ClassKeys()};
  ScopedRegistrySnapshot interfaces{InterfaceKeys()};

  void SetUp() override {
    ClientWorld::SetUp();
    classes.Clear();
    interfaces.Clear();
  }

  // A DeskSite 8 client without ribbon, every site list "X,-,Y", every component.
  void FullClient() const {
    Touch(kDesksite8);
    Ribbon(false);
    for (int site = 0; site < 3; ++site) SetList(SiteKey(L"8.0", site), L"X,-,Y");
    Install({.printer = true, .editor = true, .converter = true, .creator = true});
  }
};

TEST_F(ModuleRegistration, Regsvr32WritesAndRemovesExactlyTheEntries) {
  FullClient();
  // An earlier registration's leftovers inside a class key go: the key is rewritten whole.
  SetString(HKCR, kClasses[4].Key() + L"\\Stale", nullptr, L"x");
  SetString(HKCR, kClasses[4].Key() + L"\\Programmable\\Stale", nullptr, L"x");
  // The client's interfaces as the client registers them: registering and removing the add-in
  // leave them as they are.
  ASSERT_EQ(0u, RunRegsvr32(false, BinFolder() + L"\\tbdms.dll"));
  const std::wstring interfacesBefore = InterfaceTrees();
  ASSERT_NE(L"", TypeLibOf(kReference));
  ASSERT_EQ(kClientLibrary, TypeLibOf(kICommand));
  const std::wstring clientBefore = DumpTree(HKLM, kInterWoven);

  ASSERT_EQ(0u, RunRegsvr32(false));
  // The class entries, exactly; the type library with the module's folder as help.
  std::wstring expectedClasses;
  for (const ClassInfo& c : kClasses) expectedClasses += ClassTrees(c, AddInPath());
  EXPECT_EQ(expectedClasses, AllClassTrees());
  EXPECT_FALSE(KeyExists(HKCR, L"RPDFImanAddon.OpenOverride"));
  EXPECT_FALSE(KeyExists(HKCR, L"CLSID\\" + kOpenOverrideClsid));
  EXPECT_EQ(L"RPDFImanAddon 1.0 Type Library", GetString(HKCR, kTypeLibKey + L"\\1.0", nullptr));
  EXPECT_EQ(AddInPath(), GetString(HKCR, kTypeLibKey + L"\\1.0\\0\\win64", nullptr));
  EXPECT_EQ(BinFolder(), GetString(HKCR, kTypeLibKey + L"\\1.0\\HELPDIR", nullptr));
  EXPECT_EQ(interfacesBefore, InterfaceTrees());
  // The add-in's library holds its classes only; their interface is the client library's.
  vpdf::ComPtr<ITypeLib> library;
  ASSERT_EQ(S_OK, LoadTypeLibEx(AddInPath().c_str(), REGKIND_NONE, library.Put()));
  ASSERT_EQ(13u, library->GetTypeInfoCount());
  for (UINT i = 0; i < 13; ++i) {
    vpdf::ComPtr<ITypeInfo> coclass, implemented;
    vpdf::ComPtr<ITypeLib> home;
    HREFTYPE ref = 0;
    UINT index = 0;
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, library->GetTypeInfo(i, coclass.Put()));
    ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(0, &ref));
    ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(ref, implemented.Put()));
    ASSERT_EQ(S_OK, implemented->GetContainingTypeLib(home.Put(), &index));
    ASSERT_EQ(S_OK, home->GetLibAttr(&attr));
    wchar_t libid[40] = {};
    StringFromGUID2(attr->guid, libid, 40);
    home->ReleaseTLibAttr(attr);
    EXPECT_EQ(kClientLibrary, libid) << i;
  }
  // The client entries were made (their contents are pinned by the cases above).
  EXPECT_TRUE(KeyExists(HKLM, kDesksite8 + L"\\Customize\\RPDFIManAddon"));
  EXPECT_EQ(kAllOpen, Commands(SiteKey(L"8.0", 0)));

  ASSERT_EQ(0u, RunRegsvr32(true));
  EXPECT_EQ(L"", AllClassTrees());
  EXPECT_FALSE(KeyExists(HKCR, kTypeLibKey));
  EXPECT_TRUE(KeyExists(HKCR, L"CLSID"));
  // The Customize key and its Integration key that registration created stay.
  EXPECT_EQ(EmptyCustomize(kDesksite8), Customized(kDesksite8));
  Delete(HKLM, kDesksite8 + L"\\Customize");
  EXPECT_EQ(clientBefore, DumpTree(HKLM, kInterWoven));
  EXPECT_EQ(interfacesBefore, InterfaceTrees());
}

TEST_F(ModuleRegistration, UnregisteringWithoutTheTypeLibraryStillSucceeds) {
  struct AddInLibrary {
    HMODULE module = LoadLibraryW(AddInPath().c_str());
    ~AddInLibrary() { FreeLibrary(module); }
    HRESULT Call(const char* name) const {
      auto entry = reinterpret_cast<HRESULT(WINAPI*)()>(
          reinterpret_cast<void*>(GetProcAddress(module, name)));
      return entry ? entry() : E_NOTIMPL;
    }
  } addIn;
  ASSERT_EQ(S_OK, addIn.Call("DllRegisterServer"));
  ASSERT_TRUE(KeyExists(HKCR, kTypeLibKey));
  Delete(HKCR, kTypeLibKey);
  EXPECT_EQ(S_OK, addIn.Call("DllUnregisterServer"));
  EXPECT_EQ(L"", AllClassTrees());
  // And once more, with nothing of the add-in left at all.
  EXPECT_EQ(S_OK, addIn.Call("DllUnregisterServer"));
}

TEST_F(ModuleRegistration, AFailingScriptIsReportedAndTheClientEntriesStay) {
  // In this test program the module is the program itself, which carries no registry
  // scripts: the first script fails after the client entries were written.
  FullClient();
  const HRESULT expected = HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  EXPECT_EQ(expected, vpdf::RegisterAll());
  EXPECT_EQ(L"", AllClassTrees());
  EXPECT_FALSE(KeyExists(HKCR, kTypeLibKey));
  EXPECT_TRUE(KeyExists(HKLM, kDesksite8 + L"\\Customize\\RPDFIManAddon"));
  EXPECT_EQ(kAllOpen, Commands(SiteKey(L"8.0", 1)));
}

TEST_F(ModuleRegistration, TheEntryListNamesWhatRegistrationTouches) {
  FullClient();
  const std::vector<vpdf::RegistrationEntry> entries = vpdf::RegistrationEntries();
  auto has = [&entries](HKEY root, const std::wstring& path, const std::wstring& value) {
    for (const vpdf::RegistrationEntry& e : entries)
      if (e.root == root && _wcsicmp(e.path.c_str(), path.c_str()) == 0 && e.value == value)
        return true;
    return false;
  };
  for (const ClassInfo& c : kClasses)
    for (const std::wstring& key : {c.ProgId() + L".1", c.ProgId(), c.Key()})
      EXPECT_TRUE(has(HKCR, key, L"")) << Utf8(key);
  EXPECT_TRUE(has(HKCR, kTypeLibKey, L""));
  EXPECT_TRUE(has(HKCR, L"Interface\\" + kICommand, L""));
  EXPECT_TRUE(has(HKLM, kDesksite8 + L"\\Customize\\Integration", L"RPDFIManAddon"));
  EXPECT_TRUE(has(HKLM, SiteKey(L"8.0", 2), L"Commands"));
  EXPECT_FALSE(has(HKCU, kThinOptions, L"Default Command"));
}

}  // namespace
