// Registration: the registrar, the interface repair, the client menu and toolbar, the open commands
// in the document menus, and the whole registration of the DLL through regsvr32, each on the real
// registry of the build's Wine prefix. Every test saves the subtrees it works on, starts without
// them (or with what it sets up) and puts them back as they were when it ends.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "addon/client_registration.h"
#include "addon/open_commands.h"
#include "addon/registrar.h"
#include "addon/registration.h"
#include "addon/repair_interfaces.h"
#include "tests/testing/registry.h"
#include "tests/testing/registry_snapshot.h"
#include "tests/testing/trace_log.h"

namespace {

using testing_support::DumpTree;
using testing_support::GetString;
using testing_support::KeyExists;
using testing_support::ScopedRegistrySnapshot;
using testing_support::SetDword;
using testing_support::SetString;
using testing_support::TraceLog;
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

// The site lists below a WorkSite version key.
std::wstring SiteKey(const std::wstring& version, int site) {
  const wchar_t* paths[] = {L"DeskSite\\Commands\\Menus\\Document", L"MailSite\\Commands\\Document",
                            L"FileSite\\Commands\\Document"};
  return kWorkSite + L"\\" + version + L"\\" + paths[site];
}

std::wstring Commands(HKEY root, const std::wstring& path) {
  return GetString(root, path, L"Commands");
}

std::string Utf8(const std::wstring& text) {
  std::string out(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0,
                                                          nullptr, nullptr)),
                  '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()),
                      nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

// ---- The product components -------------------------------------------------------------

// Files of the product components under a temporary install folder, and the registry values
// that name the folder (HKLM\Software\Ostrel\PDF\V1 and its 32-bit view counterpart). The
// printer is a spooler registry entry, the one kind of printer Wine lets a test make.
struct Components {
  bool printer = false, editor = false, converter = false, creator = false;
};

class ComponentFolder {
 public:
  ComponentFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_folder = std::filesystem::path(temp) /
               (L"vpdf-registration-" + std::to_wstring(GetCurrentProcessId()));
    std::filesystem::remove_all(m_folder);
    std::filesystem::create_directories(m_folder / L"bin");
  }
  ~ComponentFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }
  ComponentFolder(const ComponentFolder&) = delete;
  ComponentFolder& operator=(const ComponentFolder&) = delete;

  // The install folder as the product writes it: with its closing backslash.
  std::wstring InstallPath() const { return m_folder.wstring() + L"\\"; }

  void Install(const Components& components) const {
    Put(L"bin\\varnelpdf.exe", components.editor);
    Put(L"vpdfassist.exe", components.converter);
    Put(L"bin\\vpdfcreate.exe", components.creator);
    SetString(HKLM, L"Software\\Ostrel\\PDF\\V1", L"InstallPath", InstallPath());
    SetString(HKLM, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1", L"InstallPath", InstallPath());
    if (components.printer) {
      SetString(HKLM, kPrinter, L"Name", L"Varnel PDF");
      SetString(HKLM, kPrinter, L"Port", L"FILE:");
      SetString(HKLM, kPrinter, L"Printer Driver", L"Varnel PDF Driver");
    } else {
      RegDeleteTreeW(HKLM, kPrinter.c_str());
    }
  }

 private:
  void Put(const wchar_t* name, bool present) const {
    std::filesystem::path file = m_folder / name;
    if (present)
      std::ofstream(file).put('x');
    else
      std::filesystem::remove(file);
  }
  std::filesystem::path m_folder;
};

// Everything that the client and open-command registration read or write, saved and cleared.
class ClientWorld : public ::testing::Test {
 protected:
  ScopedRegistrySnapshot saved{{{HKLM, kInterWoven},
                                {HKLM, kNetRight},
                                {HKCU, L"SOFTWARE\\NetRight"},
                                {HKLM, L"Software\\Ostrel"},
                                {HKLM, L"Software\\Wow6432Node\\Ostrel"},
                                {HKLM, kPrinter},
                                {HKCU, L"Software\\VarnelTestbed\\Config"}}};
  ComponentFolder folder;

  void SetUp() override {
    saved.Clear();
    folder.Install({});
  }

  void Install(const Components& components) const { folder.Install(components); }
  void Ribbon(bool ribbon) const {
    SetString(HKLM, kInterWoven, L"DeskSite Version", ribbon ? L"92" : L"9.1");
  }
};

// ---- Open commands: text replacement -----------------------------------------------------------

TEST(ReplaceStr, ReplacesTheFirstOccurrenceOnly) {
  std::wstring text = L"A,-,B,-,C";
  vpdf::ReplaceStr(text, L"-", L"-,-", false);
  EXPECT_EQ(L"A,-,-,B,-,C", text);
}

TEST(ReplaceStr, WithAllEveryOccurrenceGoes) {
  std::wstring text = L"-,RPDFIManAddon.A,X,-,RPDFIManAddon.B,-";
  vpdf::ReplaceStr(text, L"-,RPDFIManAddon", L"RPDFIManAddon", true);
  EXPECT_EQ(L"RPDFIManAddon.A,X,RPDFIManAddon.B,-", text);
}

TEST(ReplaceStr, AllSearchesAgainFromTheStartOfTheNewText) {
  // Removing "ab" from "aabb" leaves "ab", which a search from the beginning finds again.
  std::wstring text = L"aabb";
  vpdf::ReplaceStr(text, L"ab", nullptr, true);
  EXPECT_EQ(L"", text);
}

TEST(ReplaceStr, ANullReplacementRemoves) {
  std::wstring text = L"X,RPDFIManAddon.OpenInCnv_CM,Y";
  vpdf::ReplaceStr(text, L"RPDFIManAddon.OpenInCnv_CM,", nullptr, false);
  EXPECT_EQ(L"X,Y", text);
}

TEST(ReplaceStr, WithoutFindAppendsUnlessPresent) {
  std::wstring text = L"X,Y";
  vpdf::ReplaceStr(text, nullptr, L",Z", false);
  EXPECT_EQ(L"X,Y,Z", text);
  vpdf::ReplaceStr(text, nullptr, L",Z", false);
  EXPECT_EQ(L"X,Y,Z", text);
}

TEST(ReplaceStr, NotFoundIsLoggedAndLeavesTheText) {
  TraceLog log;
  std::wstring text = L"X,Y";
  vpdf::ReplaceStr(text, L"-", L"-,-", false);
  EXPECT_EQ(L"X,Y", text);
  EXPECT_EQ(1, log.Count("occurence not found"));
  EXPECT_EQ(1, log.Count("ReplaceStr enter (- , -,-)"));
  EXPECT_EQ(1, log.Count("ReplaceStr leave"));
}

TEST(ReplaceStr, AllWithAReplacementHoldingTheFindTextEnds) {
  std::wstring text = L"A,-,B,-";
  vpdf::ReplaceStr(text, L"-", L"-,-", true);
  EXPECT_EQ(L"A,-,-,B,-,-", text);
}

// ---- Open commands: lists in the registry
// --------------------------------------------------------

using OpenCommandLists = ClientWorld;

TEST_F(OpenCommandLists, ReplaceCommandWithoutAKeyFails) {
  TraceLog log;
  vpdf::RegKey none;
  EXPECT_EQ(0, vpdf::ReplaceCommand(none, L"-", L"-,-", false));
  testing_support::TraceRecord record;
  ASSERT_TRUE(log.Find("there is no opened key", record));
  EXPECT_EQ(2, record.level);
}

TEST_F(OpenCommandLists, ReplaceCommandNeedsANonEmptyStringList) {
  const std::wstring path = kOutlookDocument;
  TraceLog log;
  for (int variant = 0; variant < 3; ++variant) {
    RegDeleteTreeW(HKLM, path.c_str());
    if (variant == 1) SetString(HKLM, path, L"Commands", L"");
    if (variant == 2) SetDword(HKLM, path, L"Commands", 5);
    if (variant == 0) SetString(HKLM, path, L"Other", L"x");
    vpdf::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKLM, path.c_str(), KEY_READ | KEY_WRITE));
    EXPECT_EQ(0, vpdf::ReplaceCommand(key, L"-", L"-,-", false)) << variant;
    EXPECT_FALSE(key) << "the key is closed";
  }
  EXPECT_EQ(3, log.Count("Commands length is zero"));
  EXPECT_EQ(1, log.Count("error querying Commands"));
}

TEST_F(OpenCommandLists, ReplaceCommandStoresTheNewListAsAString) {
  SetString(HKLM, kOutlookDocument, L"Commands", L"A,-,B", REG_EXPAND_SZ);
  vpdf::RegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Open(HKLM, kOutlookDocument.c_str(), KEY_READ | KEY_WRITE));
  TraceLog log;
  EXPECT_EQ(1, vpdf::ReplaceCommand(key, L"-", L"-,-", false));
  EXPECT_FALSE(key);
  EXPECT_EQ(L"[" + kOutlookDocument + L"]\nCommands=\"A,-,-,B\"\n",
            DumpTree(HKLM, kOutlookDocument));
  EXPECT_TRUE(log.Has("Com: A,-,B"));
  EXPECT_TRUE(log.Has("NewCom: A,-,-,B"));
  EXPECT_TRUE(log.Has("ReplaceCom leave"));
}

TEST_F(OpenCommandLists, ModifyTakesTheFirstVersionKeyThatHasTheSite) {
  // "7.0" has no FileSite list; "8.0" has one, and so has "9.0" after it.
  SetString(HKLM, SiteKey(L"7.0", 1), L"Commands", L"M,-,N");
  SetString(HKLM, SiteKey(L"8.0", 2), L"Commands", L"A,-,B");
  SetString(HKLM, SiteKey(L"9.0", 2), L"Commands", L"C,-,D");
  SetString(HKLM, kOutlookDocument, L"Commands", L"O,-,P");
  EXPECT_EQ(1, vpdf::Modify(vpdf::kSiteFileSite, L"-", L"-,x", false));
  EXPECT_EQ(L"A,-,x,B", Commands(HKLM, SiteKey(L"8.0", 2)));
  EXPECT_EQ(L"C,-,D", Commands(HKLM, SiteKey(L"9.0", 2)));
  EXPECT_EQ(L"O,-,P", Commands(HKLM, kOutlookDocument));
  EXPECT_EQ(L"M,-,N", Commands(HKLM, SiteKey(L"7.0", 1)));
  EXPECT_EQ(SiteKey(L"8.0", 2), vpdf::OpenCommandsSiteKey(vpdf::kSiteFileSite));
}

TEST_F(OpenCommandLists, MailAndFileSiteFallBackToTheOutlookIntegration) {
  SetString(HKLM, kOutlookDocument, L"Commands", L"O,-,P");
  TraceLog log;
  EXPECT_EQ(1, vpdf::Modify(vpdf::kSiteMailSite, L"-", L"-,m", false));
  EXPECT_TRUE(log.Has("FAILED to open HKLM\\Software\\InterWoven\\WorkSite for read"));
  SetString(HKLM, SiteKey(L"8.0", 0), L"Commands", L"D");  // a version key without FileSite
  log.Clear();
  EXPECT_EQ(1, vpdf::Modify(vpdf::kSiteFileSite, L"-", L"-,f", false));
  EXPECT_TRUE(log.Has("key enumerated: 8.0"));
  EXPECT_TRUE(log.Has("FAILED to open HKLM\\" + Utf8(SiteKey(L"8.0", 2)) + " for read/write"));
  EXPECT_EQ(L"O,-,f,m,P", Commands(HKLM, kOutlookDocument));
  EXPECT_EQ(L"D", Commands(HKLM, SiteKey(L"8.0", 0)));
}

TEST_F(OpenCommandLists, WithoutAnyListModifyFails) {
  TraceLog log;
  EXPECT_EQ(0, vpdf::Modify(vpdf::kSiteMailSite, L"-", L"-,-", false));
  EXPECT_TRUE(log.Has(
      "FAILED to open HKLM\\Software\\NetRight\\iOutlook\\Commands\\Document for read/write"));
  EXPECT_TRUE(log.Has("there is no opened key"));
  EXPECT_FALSE(KeyExists(HKLM, kOutlookDocument));
}

TEST_F(OpenCommandLists, DeskSiteFallsBackToTheThinClientsMenus) {
  SetString(HKLM, kThinDocument, L"Commands", L"T,-,U");
  SetString(HKLM, kThinGrid, L"Commands", L"G,-,H");
  EXPECT_EQ(1, vpdf::Modify(vpdf::kSiteDeskSite, L"-", L"-,x", false));
  EXPECT_EQ(L"T,-,x,U", Commands(HKLM, kThinDocument));
  EXPECT_EQ(L"G,-,x,H", Commands(HKLM, kThinGrid));
  EXPECT_EQ(kThinDocument, vpdf::OpenCommandsSiteKey(vpdf::kSiteDeskSite));

  // The result is the document menu's; the grid menu alone does not make it a success.
  RegDeleteTreeW(HKLM, kThinDocument.c_str());
  EXPECT_EQ(0, vpdf::Modify(vpdf::kSiteDeskSite, L"-", L"-,y", false));
  EXPECT_EQ(L"G,-,y,x,H", Commands(HKLM, kThinGrid));
}

TEST_F(OpenCommandLists, TheThinClientDefaultCommandFollowsAnExactMatch) {
  SetString(HKLM, kThinDocument, L"Commands", L"T,U");
  SetString(HKCU, kThinOptions, L"Default Command", L"imanext.OPENCMD");
  TraceLog log;
  vpdf::Modify(vpdf::kSiteDeskSite, L"iManExt.OpenCmd", L"RPDFIManAddon.OpenInPro_CM", false);
  EXPECT_EQ(L"RPDFIManAddon.OpenInPro_CM", GetString(HKCU, kThinOptions, L"Default Command"));
  testing_support::TraceRecord record;
  ASSERT_TRUE(log.Find(
      "Default command doesn't match, setting from imanext.OPENCMD to RPDFIManAddon.OpenInPro_CM",
      record));
  EXPECT_EQ(1, record.level);

  // Not the whole value: left alone. Without a replacement: left alone.
  vpdf::Modify(vpdf::kSiteDeskSite, L"RPDFIManAddon", L"Other", false);
  EXPECT_EQ(L"RPDFIManAddon.OpenInPro_CM", GetString(HKCU, kThinOptions, L"Default Command"));
  vpdf::Modify(vpdf::kSiteDeskSite, L"RPDFIManAddon.OpenInPro_CM", nullptr, false);
  EXPECT_EQ(L"RPDFIManAddon.OpenInPro_CM", GetString(HKCU, kThinOptions, L"Default Command"));

  // A value that is not there is not created.
  RegDeleteTreeW(HKCU, kThinOptions.c_str());
  SetString(HKCU, kThinOptions, L"Other", L"1");
  vpdf::Modify(vpdf::kSiteDeskSite, L"-", L"-,-", false);
  EXPECT_FALSE(ValueExists(HKCU, kThinOptions, L"Default Command"));

  // With a DeskSite list under a version key the thin client is not asked.
  SetString(HKCU, kThinOptions, L"Default Command", L"A");
  SetString(HKLM, SiteKey(L"8.0", 0), L"Commands", L"D");
  vpdf::Modify(vpdf::kSiteDeskSite, L"A", L"B", false);
  EXPECT_EQ(L"A", GetString(HKCU, kThinOptions, L"Default Command"));
}

TEST_F(OpenCommandLists, MenuExtChoosesItsBaseKeyInOrder) {
  EXPECT_EQ(L"", vpdf::CDSMenuExt().Regbase());
  EXPECT_FALSE(vpdf::CDSMenuExt().IsInDocumentMenu(L"RPDFIManAddon.OpenInPro"));
  const std::wstring bases[] = {kFilesite8, kThinClient, kClientDesksite, kDesksite8};
  for (const std::wstring& base : bases) {
    SetString(HKLM, base, L"Here", L"1");
    EXPECT_EQ(base, vpdf::CDSMenuExt().Regbase());
  }
}

TEST_F(OpenCommandLists, MenuExtFindsANameAsASubstringOfItsDocumentMenu) {
  SetString(HKLM, kClientDesksite + L"\\Commands\\Menus\\Document", L"Commands",
            L"X,RPDFIManAddon.OpenInPro_CM,Y");
  SetString(HKLM, kClientDesksite + L"\\Commands\\Document", L"Commands",
            L"RPDFIManAddon.OpenInCnv");
  vpdf::CDSMenuExt client;
  EXPECT_EQ(kClientDesksite + L"\\Commands\\Menus\\Document", client.DocumentMenuKey());
  TraceLog log;
  EXPECT_TRUE(client.IsInDocumentMenu(L"RPDFIManAddon.OpenInPro"));
  EXPECT_TRUE(log.Has("Find  RPDFIManAddon.OpenInPro ret 1"));
  EXPECT_FALSE(client.IsInDocumentMenu(L"RPDFIManAddon.OpenInCnv"));

  // Every other base key has its document menu under Commands\Document.
  SetString(HKLM, kDesksite8 + L"\\Commands\\Document", L"Commands", L"RPDFIManAddon.OpenInCnv_CM");
  vpdf::CDSMenuExt desksite;
  EXPECT_EQ(kDesksite8 + L"\\Commands\\Document", desksite.DocumentMenuKey());
  EXPECT_TRUE(desksite.IsInDocumentMenu(L"RPDFIManAddon.OpenInCnv"));
  EXPECT_FALSE(desksite.IsInDocumentMenu(L"RPDFIManAddon.OpenInPro"));
}

TEST_F(OpenCommandLists, ComponentsComeFromTheInstallFolder) {
  bool editor = true, converter = true, creator = true;
  vpdf::IsComponentInstalled(editor, converter, creator);
  EXPECT_FALSE(editor || converter || creator);
  Install({.editor = true});
  vpdf::IsComponentInstalled(editor, converter, creator);
  EXPECT_TRUE(editor);
  EXPECT_FALSE(converter || creator);
  Install({.converter = true, .creator = true});
  TraceLog log;
  vpdf::IsComponentInstalled(editor, converter, creator);
  EXPECT_FALSE(editor);
  EXPECT_TRUE(converter && creator);
  EXPECT_TRUE(log.Has("IsComponentInstalled enter"));
  EXPECT_TRUE(log.Has("Varnel Converter regkey is found"));
  EXPECT_TRUE(log.Has("Varnel Create exe is found"));
  EXPECT_TRUE(log.Has("IsComponentInstalled leave"));
}

// Three sites with the same list: two client commands around one separator.
class OpenCommandRegistration : public ClientWorld {
 protected:
  void SetUp() override {
    ClientWorld::SetUp();
    for (int site = 0; site < 3; ++site)
      SetString(HKLM, SiteKey(L"8.0", site), L"Commands", L"X,-,Y");
  }
  void ExpectAllSites(const std::wstring& list) const {
    for (int site = 0; site < 3; ++site)
      EXPECT_EQ(list, Commands(HKLM, SiteKey(L"8.0", site))) << "site " << site;
  }
};

TEST_F(OpenCommandRegistration, EditorAndConverterGoAfterTheFirstSeparator) {
  Install({.editor = true, .converter = true});
  TraceLog log;
  EXPECT_EQ(0, vpdf::RegisterOpenCommands());
  ExpectAllSites(L"X,-," + kCreateCm + L"," + kProCm + L"," + kCnvCm + L",-,Y");
  EXPECT_TRUE(log.Has(" OpenPDF RegisterOpenCommands enter"));
  EXPECT_TRUE(log.Has("Start to register!"));
  EXPECT_TRUE(log.Has("DeskSite: FALSE, MailSite: FALSE, FileSite: FALSE"));
  EXPECT_TRUE(log.Has("RegisterOpenCommands leave"));

  // Unregistration leaves each list as it was.
  log.Clear();
  EXPECT_EQ(1, vpdf::UnRegisterOpenCommands());
  ExpectAllSites(L"X,-,Y");
  EXPECT_TRUE(log.Has("DeskSite: FALSE, MailSite: TRUE, FileSite: TRUE"));
  EXPECT_EQ(2, log.Count("UnRegisterOpenCommands enter"));
}

TEST_F(OpenCommandRegistration, RegisteringTwiceRebuildsTheSameList) {
  Install({.editor = true, .converter = true});
  vpdf::RegisterOpenCommands();
  vpdf::RegisterOpenCommands();
  ExpectAllSites(L"X,-," + kCreateCm + L"," + kProCm + L"," + kCnvCm + L",-,Y");
  vpdf::UnRegisterOpenCommands();
  ExpectAllSites(L"X,-,Y");
}

TEST_F(OpenCommandRegistration, EachComponentAloneAddsItsEntries) {
  struct Case {
    Components components;
    std::wstring entries;
    int unregisterResult;
  } cases[] = {
      {{.converter = true}, kCnvCm, 0},
      {{.editor = true}, kCreateCm + L"," + kProCm, 1},
      {{.creator = true}, kCreateCm, 1},
      {{.editor = true, .creator = true}, kCreateCm + L"," + kProCm, 1},
      {{.converter = true, .creator = true}, kCreateCm + L"," + kCnvCm, 1},
  };
  for (const Case& c : cases) {
    for (int site = 0; site < 3; ++site)
      SetString(HKLM, SiteKey(L"8.0", site), L"Commands", L"X,-,Y");
    Install(c.components);
    vpdf::RegisterOpenCommands();
    ExpectAllSites(L"X,-," + c.entries + L",-,Y");
    EXPECT_EQ(c.unregisterResult, vpdf::UnRegisterOpenCommands()) << Utf8(c.entries);
    ExpectAllSites(L"X,-,Y");
  }
}

TEST_F(OpenCommandRegistration, WithoutComponentsOnlyTheOldEntriesGo) {
  for (int site = 0; site < 3; ++site)
    SetString(HKLM, SiteKey(L"8.0", site), L"Commands",
              L"X,-," + kCreateCm + L"," + kProCm + L",-,Y");
  TraceLog log;
  EXPECT_EQ(0, vpdf::RegisterOpenCommands());
  ExpectAllSites(L"X,-,Y");
  EXPECT_FALSE(log.Has("Start to register!"));
  EXPECT_EQ(0, vpdf::UnRegisterOpenCommands());
  ExpectAllSites(L"X,-,Y");
}

TEST_F(OpenCommandRegistration, AListWithoutSeparatorStaysAsItIs) {
  for (int site = 0; site < 3; ++site) SetString(HKLM, SiteKey(L"8.0", site), L"Commands", L"X,Y");
  Install({.editor = true, .converter = true, .creator = true});
  TraceLog log;
  vpdf::RegisterOpenCommands();
  ExpectAllSites(L"X,Y");
  // 4 clean-ups, the separator, the converter, the editor's two: 8 replacements in 3 sites.
  EXPECT_EQ(24, log.Count("occurence not found"));
}

TEST_F(OpenCommandRegistration, AlreadyRegisteredWhenTheDocumentMenuShowsBothOpenCommands) {
  SetString(HKLM, kDesksite8 + L"\\Commands\\Document", L"Commands",
            L"RPDFIManAddon.OpenInPro,RPDFIManAddon.OpenInCnv");
  for (int site = 0; site < 3; ++site)
    SetString(HKLM, SiteKey(L"8.0", site), L"Commands", L"X,-," + kProCm + L",-,Y");
  Install({.editor = true, .converter = true});
  TraceLog log;
  EXPECT_EQ(0, vpdf::RegisterOpenCommands());
  testing_support::TraceRecord record;
  ASSERT_TRUE(log.Find("Already registered !", record));
  EXPECT_EQ(2, record.level);
  // The clean-up ran, nothing was added.
  ExpectAllSites(L"X,-,Y");
  EXPECT_EQ(L"RPDFIManAddon.OpenInPro,RPDFIManAddon.OpenInCnv",
            Commands(HKLM, kDesksite8 + L"\\Commands\\Document"));
}

TEST_F(OpenCommandRegistration, CreatorAloneWithCreatePdfInTheMenuOnlyDoublesTheSeparator) {
  SetString(HKLM, kDesksite8 + L"\\Commands\\Document", L"Commands", L"RPDFIManAddon.CreatePDF");
  Install({.creator = true});
  TraceLog log;
  vpdf::RegisterOpenCommands();
  ExpectAllSites(L"X,-,-,Y");
  EXPECT_FALSE(log.Has("\nRegister Create"));
}

TEST_F(OpenCommandRegistration, TheThinClientAndTheOutlookIntegrationStandInForMissingSites) {
  RegDeleteTreeW(HKLM, kInterWoven.c_str());
  SetString(HKLM, kThinDocument, L"Commands", L"T,-,U");
  SetString(HKLM, kThinGrid, L"Commands", L"G,-,H");
  SetString(HKLM, kOutlookDocument, L"Commands", L"O,-,P");
  Install({.converter = true});
  vpdf::RegisterOpenCommands();
  EXPECT_EQ(L"T,-," + kCnvCm + L",-,U", Commands(HKLM, kThinDocument));
  EXPECT_EQ(L"G,-," + kCnvCm + L",-,H", Commands(HKLM, kThinGrid));
  // MailSite and FileSite both land in the one Outlook list.
  EXPECT_EQ(L"O,-," + kCnvCm + L"," + kCnvCm + L",-,-,P", Commands(HKLM, kOutlookDocument));
  vpdf::UnRegisterOpenCommands();
  EXPECT_EQ(L"T,-,U", Commands(HKLM, kThinDocument));
  EXPECT_EQ(L"G,-,H", Commands(HKLM, kThinGrid));
  EXPECT_EQ(L"O,-,P", Commands(HKLM, kOutlookDocument));
}

// ---- Client menu and toolbar ------------------------------------------------------

using ClientMenu = ClientWorld;

const std::wstring kAllCommands =
    L"RPDFIManAddon.CreateNewPDFFile,RPDFIManAddon.CreateNewPDFScan,RPDFIManAddon.CreatePDF,"
    L"RPDFIManAddon.SendPDFEMail,RPDFIManAddon.OpenInPro,RPDFIManAddon.OpenInCnv";

std::wstring Toolbar(const std::wstring& base) {
  const std::wstring t = base + L"\\Customize\\RPDFIManAddon\\Toolbars";
  return L"[" + t + L"]\n[" + t + L"\\VarnelPDFToolbar]\nIndex=dword:1\n[" + t +
         L"\\VarnelPDFToolbar\\Item1]\nCommand=\"RPDFIManAddon.CreatePDF\"\nID=dword:0\n"
         L"Index=dword:1\n[" +
         t +
         L"\\VarnelPDFToolbar\\Item2]\n"
         L"Command=\"RPDFIManAddon.SendPDFEMail\"\nID=dword:0\nIndex=dword:2\n";
}

// The whole B\Customize tree that registration writes, for a menu command list, an optional
// sub-menu (its text and its command list) and the toolbar.
std::wstring Customize(const std::wstring& base, const std::wstring& commands,
                       const std::wstring& subText, const std::wstring& subCommands, bool toolbar) {
  const std::wstring c = base + L"\\Customize";
  const std::wstring menu = c + L"\\RPDFIManAddon\\Menus\\VarnelPDFMenu";
  std::wstring tree =
      L"[" + c + L"]\n[" + c + L"\\Integration]\nRPDFIManAddon=\"Y\"\n[" + c +
      L"\\RPDFIManAddon]\n[" + c + L"\\RPDFIManAddon\\Menus]\nAddInMenus=\"VarnelPDFMenu\"\n[" +
      menu + L"]\nCommands=\"" + commands + L"\"\nIndex=dword:7\nMenuText=\"&Ostrel PDF\"\n";
  if (!subText.empty())
    tree += L"[" + menu + L"\\" + subText + L"]\nCommands=\"" + subCommands + L"\"\nMenuText=\"" +
            subText + L"\"\n";
  if (toolbar) tree += Toolbar(base);
  return tree;
}

TEST_F(ClientMenu, ThePrinterIsFoundInThePrintSystemsList) {
  EXPECT_FALSE(vpdf::IsCreatePrinterInstalled());
  Install({.printer = true});
  EXPECT_TRUE(vpdf::IsCreatePrinterInstalled());
  // Another name is not the product's printer.
  Install({});
  const std::wstring other = L"System\\CurrentControlSet\\Control\\Print\\Printers\\Varnel PDF 2";
  ScopedRegistrySnapshot otherPrinter{{{HKLM, other}}};
  SetString(HKLM, other, L"Name", L"Varnel PDF 2");
  SetString(HKLM, other, L"Port", L"FILE:");
  SetString(HKLM, other, L"Printer Driver", L"Varnel PDF Driver");
  EXPECT_FALSE(vpdf::IsCreatePrinterInstalled());
}

TEST_F(ClientMenu, RibbonWithEveryComponent) {
  SetString(HKLM, kDesksite8, L"Here", L"1");
  Ribbon(true);
  Install({.printer = true, .editor = true, .converter = true});
  TraceLog log;
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_EQ(Customize(kDesksite8, kAllCommands, L"", L"", true),
            DumpTree(HKLM, kDesksite8 + L"\\Customize"));
  EXPECT_TRUE(log.Has("CreatePDF RegisterHaldenAddonForIManage enter"));
  EXPECT_TRUE(log.Has("Desksite 8 or higher is found"));
  EXPECT_TRUE(log.Has("Ribbon()"));
  EXPECT_TRUE(log.Has("bCreatePrinterIsInstalled"));
  // The printer's record is a warning (the converter's record has the same text, level 0).
  int printerRecords = 0;
  for (const testing_support::TraceRecord& record : log.Records())
    printerRecords += record.text == "Varnel Create is found" && record.level == 1;
  EXPECT_EQ(1, printerRecords);
}

TEST_F(ClientMenu, RibbonCommandListsForEachComponentCombination) {
  SetString(HKLM, kDesksite8, L"Here", L"1");
  Ribbon(true);
  for (int mask = 1; mask < 8; ++mask) {
    Components components{
        .printer = (mask & 1) != 0, .editor = (mask & 2) != 0, .converter = (mask & 4) != 0};
    std::wstring expected;
    auto add = [&expected](const wchar_t* name) {
      expected += (expected.empty() ? L"" : L",") + std::wstring(name);
    };
    if (components.printer) add(L"RPDFIManAddon.CreateNewPDFFile");
    if (components.editor) add(L"RPDFIManAddon.CreateNewPDFScan");
    if (components.printer) add(L"RPDFIManAddon.CreatePDF,RPDFIManAddon.SendPDFEMail");
    if (components.editor) add(L"RPDFIManAddon.OpenInPro");
    if (components.converter) add(L"RPDFIManAddon.OpenInCnv");
    RegDeleteTreeW(HKLM, (kDesksite8 + L"\\Customize").c_str());
    Install(components);
    EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
    EXPECT_EQ(Customize(kDesksite8, expected, L"", L"", components.printer),
              DumpTree(HKLM, kDesksite8 + L"\\Customize"))
        << "mask " << mask;
  }
}

TEST_F(ClientMenu, WithoutRibbonTheNewPdfCommandsGoToASubMenu) {
  SetString(HKLM, kDesksite8, L"Here", L"1");
  Ribbon(false);
  const std::wstring text = L"Create &New PDF";
  for (int mask = 1; mask < 8; ++mask) {
    Components components{
        .printer = (mask & 1) != 0, .editor = (mask & 2) != 0, .converter = (mask & 4) != 0};
    std::wstring expected, sub;
    auto add = [](std::wstring& list, const std::wstring& name) {
      list += (list.empty() ? L"" : L",") + name;
    };
    if (components.printer) add(sub, L"RPDFIManAddon.CreateNewPDFFile");
    if (components.editor) add(sub, L"RPDFIManAddon.CreateNewPDFScan");
    if (!sub.empty()) add(expected, text);
    if (components.printer) add(expected, L"RPDFIManAddon.CreatePDF,RPDFIManAddon.SendPDFEMail");
    if (components.editor) add(expected, L"RPDFIManAddon.OpenInPro");
    if (components.converter) add(expected, L"RPDFIManAddon.OpenInCnv");
    RegDeleteTreeW(HKLM, (kDesksite8 + L"\\Customize").c_str());
    Install(components);
    TraceLog log;
    EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
    EXPECT_EQ(Customize(kDesksite8, expected, sub.empty() ? L"" : text, sub, components.printer),
              DumpTree(HKLM, kDesksite8 + L"\\Customize"))
        << "mask " << mask;
    EXPECT_EQ(!sub.empty(), log.Has("!DSHasRibbon()")) << "mask " << mask;
  }
}

TEST_F(ClientMenu, PrinterOnlyWithoutRibbonMatchesTheSpecExample) {
  SetString(HKLM, kDesksite8, L"Here", L"1");
  Install({.printer = true});
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  const std::wstring menu = kDesksite8 + L"\\Customize\\RPDFIManAddon\\Menus\\VarnelPDFMenu";
  EXPECT_EQ(L"Create &New PDF,RPDFIManAddon.CreatePDF,RPDFIManAddon.SendPDFEMail",
            Commands(HKLM, menu));
  EXPECT_EQ(L"RPDFIManAddon.CreateNewPDFFile", Commands(HKLM, menu + L"\\Create &New PDF"));
  EXPECT_TRUE(KeyExists(
      HKLM, kDesksite8 + L"\\Customize\\RPDFIManAddon\\Toolbars\\VarnelPDFToolbar\\Item2"));
}

TEST_F(ClientMenu, TheSubMenuTextFollowsTheUiLanguage) {
  SetString(HKLM, kDesksite8, L"Here", L"1");
  Install({.editor = true});
  // The installed component is of kind 2: its UI language (German) counts.
  SetDword(HKCU, L"Software\\VarnelTestbed\\Config", L"UILanguage2", 1031);
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  const std::wstring menu = kDesksite8 + L"\\Customize\\RPDFIManAddon\\Menus\\VarnelPDFMenu";
  vpdf::RegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Open(HKLM, menu.c_str(), KEY_READ));
  wchar_t name[256];
  DWORD length = 256;
  ASSERT_EQ(ERROR_SUCCESS,
            RegEnumKeyExW(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr));
  EXPECT_NE(L"Create &New PDF", std::wstring(name));
  EXPECT_EQ(std::wstring(name), GetString(HKLM, menu + L"\\" + name, L"MenuText"));
  EXPECT_EQ(std::wstring(name) + L",RPDFIManAddon.OpenInPro", Commands(HKLM, menu));
}

TEST_F(ClientMenu, OnlyTheConverter) {
  SetString(HKLM, kDesksite8, L"Here", L"1");
  Install({.converter = true});
  TraceLog log;
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_EQ(Customize(kDesksite8, L"RPDFIManAddon.OpenInCnv", L"", L"", false),
            DumpTree(HKLM, kDesksite8 + L"\\Customize"));
  EXPECT_TRUE(log.Has("Varnel Pro is not identified"));
  EXPECT_TRUE(log.Has("Varnel Create is found"));

  // Not stand-alone: the same folder (kind 2), other records.
  SetDword(HKLM, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1", L"StandAlone", 0);
  log.Clear();
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_TRUE(log.Has("Varnel Pro identified"));
  EXPECT_TRUE(log.Has("Varnel Pro regkey is found"));
  EXPECT_EQ(Customize(kDesksite8, L"RPDFIManAddon.OpenInCnv", L"", L"", false),
            DumpTree(HKLM, kDesksite8 + L"\\Customize"));
}

TEST_F(ClientMenu, NoComponentCreatesOnlyTheCustomizeKeys) {
  SetString(HKLM, kDesksite8, L"Here", L"1");
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_EQ(L"[" + kDesksite8 + L"\\Customize]\n[" + kDesksite8 + L"\\Customize\\Integration]\n",
            DumpTree(HKLM, kDesksite8 + L"\\Customize"));

  // An existing Customize key gets no Integration key.
  RegDeleteTreeW(HKLM, (kDesksite8 + L"\\Customize").c_str());
  SetString(HKLM, kDesksite8 + L"\\Customize", L"Mine", L"1");
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_EQ(L"[" + kDesksite8 + L"\\Customize]\nMine=\"1\"\n",
            DumpTree(HKLM, kDesksite8 + L"\\Customize"));

  // Nor does it get the menu when components are there: Integration cannot be opened.
  Install({.printer = true, .editor = true, .converter = true});
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_EQ(L"[" + kDesksite8 + L"\\Customize]\nMine=\"1\"\n",
            DumpTree(HKLM, kDesksite8 + L"\\Customize"));
}

TEST_F(ClientMenu, WithoutAClientNothingIsWritten) {
  Install({.printer = true, .editor = true, .converter = true});
  TraceLog log;
  EXPECT_EQ(0, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_FALSE(KeyExists(HKLM, kInterWoven));
  EXPECT_FALSE(KeyExists(HKLM, kNetRight));
  testing_support::TraceRecord record;
  ASSERT_TRUE(log.Find("No compatible Desksite is found", record));
  EXPECT_EQ(2, record.level);
  EXPECT_EQ(0, vpdf::UnregisterHaldenAddonForIManage());
}

TEST_F(ClientMenu, RegistrationUses80FirstUnregistrationClientFirst) {
  SetString(HKLM, kDesksite8, L"Here", L"1");
  SetString(HKLM, kClientDesksite, L"Here", L"1");
  Ribbon(true);
  Install({.printer = true, .editor = true, .converter = true});
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_EQ(Customize(kDesksite8, kAllCommands, L"", L"", true),
            DumpTree(HKLM, kDesksite8 + L"\\Customize"));
  EXPECT_FALSE(KeyExists(HKLM, kClientDesksite + L"\\Customize"));
  EXPECT_EQ(kDesksite8, vpdf::ClientBaseKey(true));
  EXPECT_EQ(kClientDesksite, vpdf::ClientBaseKey(false));

  // Unregistration looks under Client\Desksite first; without Integration there it stops.
  EXPECT_EQ(0, vpdf::UnregisterHaldenAddonForIManage());
  EXPECT_EQ(Customize(kDesksite8, kAllCommands, L"", L"", true),
            DumpTree(HKLM, kDesksite8 + L"\\Customize"));

  // A registration made under Client\Desksite is the one removed.
  RegDeleteTreeW(HKLM, kDesksite8.c_str());
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  SetString(HKLM, kDesksite8, L"Here", L"1");
  EXPECT_EQ(1, vpdf::UnregisterHaldenAddonForIManage());
  EXPECT_EQ(L"[" + kClientDesksite + L"\\Customize]\n[" + kClientDesksite +
                L"\\Customize\\Integration]\n",
            DumpTree(HKLM, kClientDesksite + L"\\Customize"));
}

TEST_F(ClientMenu, UnregistrationRemovesOnlyTheAddInsEntries) {
  SetString(HKLM, kThinClient, L"Here", L"1");
  SetString(HKLM, kThinClient + L"\\Customize\\Integration", L"Other", L"Y");
  SetString(HKLM, kThinClient + L"\\Customize\\Other\\Menus", L"AddInMenus", L"X");
  const std::wstring before = DumpTree(HKLM, kThinClient);
  Ribbon(false);
  Install({.printer = true, .editor = true, .converter = true});
  TraceLog log;
  EXPECT_EQ(1, vpdf::RegisterHaldenAddonForIManage());
  EXPECT_TRUE(log.Has("Desksite 6.6 is found"));
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

// The reference and the repaired interfaces in both views.
std::vector<std::pair<HKEY, std::wstring>> InterfaceKeys() {
  std::vector<std::pair<HKEY, std::wstring>> keys;
  for (const wchar_t* view : {L"Interface\\", L"Wow6432Node\\Interface\\"})
    for (const std::wstring& iid :
         {kReference, kICommands, kIContextItem, kIContextItems, kICommand, kICommand2, kICommand3})
      keys.emplace_back(HKCR, view + iid);
  return keys;
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
  static std::wstring All() {
    std::wstring all;
    for (const auto& [root, path] : InterfaceKeys()) all += DumpTree(root, path);
    return all;
  }
};

TEST_F(InterfaceRepair, WithoutTheReferenceNothingChanges) {
  SetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", nullptr,
            L"{19AC99C7-8533-4d1a-8E77-ABAD64FDFEDD}");
  SetString(HKCR, L"Interface\\" + kReference, nullptr, L"no TypeLib key");
  const std::wstring before = All();
  vpdf::RepairIManageInterfaces();
  EXPECT_EQ(before, All());

  // A reference whose library is empty does not count either.
  SetString(HKCR, L"Interface\\" + kReference + L"\\TypeLib", nullptr, L"");
  const std::wstring withEmpty = All();
  vpdf::RepairIManageInterfaces();
  EXPECT_EQ(withEmpty, All());
}

TEST_F(InterfaceRepair, AForeignLibraryInAnyCaseIsReplaced) {
  Reference(L"Interface\\");
  const std::wstring foreign[] = {
      L"{19ac99c7-8533-4D1A-8e77-abad64fdfedd}", L"{92879BE8-ED7F-41E2-8167-521C1882A1EC}",
      L"{40df2c24-3fe3-489a-bf9b-9a57d4f88bea}", L"{82E4363B-346C-4d93-B946-8C643419311B}"};
  for (const std::wstring& library : foreign) {
    SetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", nullptr, library);
    SetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", L"Version", L"1.0");
    SetString(HKCR, L"Interface\\" + kICommand2 + L"\\TypeLib", nullptr, library);
    vpdf::RepairIManageInterfaces();
    EXPECT_EQ(kClientLibrary, GetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", nullptr))
        << Utf8(library);
    EXPECT_EQ(kClientLibrary, GetString(HKCR, L"Interface\\" + kICommand2 + L"\\TypeLib", nullptr));
    EXPECT_EQ(L"1.0", GetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", L"Version"));
  }
}

TEST_F(InterfaceRepair, AnyOtherLibraryIsLeftAlone) {
  Reference(L"Interface\\");
  const std::wstring other = L"{11111111-2222-3333-4444-555555555555}";
  SetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", nullptr, other);
  SetString(HKCR, L"Interface\\" + kIContextItem, nullptr, L"IContextItem without TypeLib");
  for (const std::wstring& iid : {kICommands, kIContextItems})
    SetString(HKCR, L"Interface\\" + iid + L"\\TypeLib", nullptr, kClientLibrary);
  const std::wstring before = All();
  vpdf::RepairIManageInterfaces();
  EXPECT_EQ(before, All());
}

TEST_F(InterfaceRepair, MissingKeysOfTheFirstFourAreCopiedFromTheReference) {
  Reference(L"Interface\\");
  vpdf::RepairIManageInterfaces();
  // The reference's subkeys under the interface's own name; not its default value.
  auto copy = [](const std::wstring& iid, const std::wstring& name) {
    const std::wstring k = L"Interface\\" + iid;
    return L"[" + k + L"]\n@=\"" + name + L"\"\n[" + k + L"\\NumMethods]\n@=\"9\"\n[" + k +
           L"\\ProxyStubClsid32]\n@=\"{00020424-0000-0000-C000-000000000046}\"\n[" + k +
           L"\\TypeLib]\n@=\"" + kClientLibrary + L"\"\nVersion=\"1.0\"\n";
  };
  EXPECT_EQ(copy(kICommands, L"ICommands"), DumpTree(HKCR, L"Interface\\" + kICommands));
  EXPECT_EQ(copy(kIContextItem, L"IContextItem"), DumpTree(HKCR, L"Interface\\" + kIContextItem));
  EXPECT_EQ(copy(kIContextItems, L"IContextItems"),
            DumpTree(HKCR, L"Interface\\" + kIContextItems));
  EXPECT_EQ(copy(kICommand, L"ICommand"), DumpTree(HKCR, L"Interface\\" + kICommand));
  EXPECT_FALSE(KeyExists(HKCR, L"Interface\\" + kICommand2));
  EXPECT_FALSE(KeyExists(HKCR, L"Interface\\" + kICommand3));
  // The other view has no reference: nothing there.
  EXPECT_FALSE(KeyExists(HKCR, L"Wow6432Node\\Interface\\" + kICommands));
}

TEST_F(InterfaceRepair, The32BitViewIsRepairedOnItsOwn) {
  Reference(L"Wow6432Node\\Interface\\");
  SetString(HKCR, L"Wow6432Node\\Interface\\" + kICommand3 + L"\\TypeLib", nullptr,
            L"{19AC99C7-8533-4D1A-8E77-ABAD64FDFEDD}");
  SetString(HKCR, L"Interface\\" + kICommand3 + L"\\TypeLib", nullptr,
            L"{19AC99C7-8533-4D1A-8E77-ABAD64FDFEDD}");
  vpdf::RepairIManageInterfaces();
  EXPECT_EQ(kClientLibrary,
            GetString(HKCR, L"Wow6432Node\\Interface\\" + kICommand3 + L"\\TypeLib", nullptr));
  EXPECT_EQ(L"{19AC99C7-8533-4D1A-8E77-ABAD64FDFEDD}",
            GetString(HKCR, L"Interface\\" + kICommand3 + L"\\TypeLib", nullptr));
  EXPECT_TRUE(KeyExists(HKCR, L"Wow6432Node\\Interface\\" + kICommand + L"\\TypeLib"));
  EXPECT_FALSE(KeyExists(HKCR, L"Interface\\" + kICommand));
}

// ---- The registrar's rules ------------------------------------------------------

const std::wstring kScriptRoot = L"Software\\VpdfRegistrarTest";

// The shape of the add-in's scripts, below a key of its own.
const wchar_t kScript[] =
    LR"(HKCU
{
	NoRemove Software
	{
		NoRemove VpdfRegistrarTest
		{
			Prog.1 = s 'Desc'
			{
				CLSID = s '{11111111-2222-3333-4444-555555555555}'
			}
			NoRemove CLSID
			{
				ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Desc'
				{
					ForceRemove 'Programmable'
					InprocServer32 = s '%MODULE%'
					{
						val ThreadingModel = s 'Apartment'
					}
					'TypeLib' = s '100%% {19AC99C7-8533-4d1a-8E77-ABAD64FDFEDD}'
				}
			}
		}
	}
}
)";

class Registrar : public ::testing::Test {
 protected:
  ScopedRegistrySnapshot saved{{{HKCU, kScriptRoot}}};
  void SetUp() override { saved.Clear(); }
  // A path with a quote, braces and spaces: it goes in as it is.
  const vpdf::ScriptReplacements replacements{{L"MODULE", L"C:\\it's {here}\\a b.dll"}};

  std::wstring Registered() const {
    const std::wstring c = kScriptRoot + L"\\CLSID\\{11111111-2222-3333-4444-555555555555}";
    return L"[" + kScriptRoot + L"]\n[" + kScriptRoot + L"\\CLSID]\n[" + c + L"]\n@=\"Desc\"\n[" +
           c +
           L"\\InprocServer32]\n@=\"C:\\it's {here}\\a b.dll\"\nThreadingModel=\"Apartment\"\n[" +
           c + L"\\Programmable]\n[" + c +
           L"\\TypeLib]\n@=\"100% {19AC99C7-8533-4d1a-8E77-ABAD64FDFEDD}\"\n[" + kScriptRoot +
           L"\\Prog.1]\n@=\"Desc\"\n[" + kScriptRoot +
           L"\\Prog.1\\CLSID]\n@=\"{11111111-2222-3333-4444-555555555555}\"\n";
  }
};

TEST_F(Registrar, RegistrationWritesTheScriptsKeys) {
  ASSERT_EQ(S_OK, vpdf::RunRegistryScriptText(kScript, true, replacements));
  EXPECT_EQ(Registered(), DumpTree(HKCU, kScriptRoot));
  // Twice gives the same.
  ASSERT_EQ(S_OK, vpdf::RunRegistryScriptText(kScript, true, replacements));
  EXPECT_EQ(Registered(), DumpTree(HKCU, kScriptRoot));
}

TEST_F(Registrar, AClassKeyIsDeletedWholeBeforeItIsWritten) {
  const std::wstring c = kScriptRoot + L"\\CLSID\\{11111111-2222-3333-4444-555555555555}";
  SetString(HKCU, c, L"Stale", L"1");
  SetString(HKCU, c + L"\\Old\\Deeper", nullptr, L"x");
  SetString(HKCU, c + L"\\Programmable", L"Stale", L"1");
  ASSERT_EQ(S_OK, vpdf::RunRegistryScriptText(kScript, true, replacements));
  EXPECT_EQ(Registered(), DumpTree(HKCU, kScriptRoot));
}

TEST_F(Registrar, UnregistrationDeletesWithSubkeysButNeverTheNoRemoveKeys) {
  ASSERT_EQ(S_OK, vpdf::RunRegistryScriptText(kScript, true, replacements));
  SetString(HKCU, kScriptRoot + L"\\CLSID\\{Other}", nullptr, L"another class");
  SetString(HKCU, kScriptRoot + L"\\Prog.1\\Extra\\Deeper", nullptr, L"x");
  ASSERT_EQ(S_OK, vpdf::RunRegistryScriptText(kScript, false, replacements));
  EXPECT_EQ(L"[" + kScriptRoot + L"]\n[" + kScriptRoot + L"\\CLSID]\n[" + kScriptRoot +
                L"\\CLSID\\{Other}]\n@=\"another class\"\n",
            DumpTree(HKCU, kScriptRoot));
  // Nothing left to remove: still a success.
  ASSERT_EQ(S_OK, vpdf::RunRegistryScriptText(kScript, false, replacements));
  RegDeleteTreeW(HKCU, (kScriptRoot + L"\\CLSID").c_str());
  ASSERT_EQ(S_OK, vpdf::RunRegistryScriptText(kScript, false, replacements));
  EXPECT_TRUE(KeyExists(HKCU, kScriptRoot));
}

TEST_F(Registrar, AByteOrderMarkIsNotPartOfTheScript) {
  ASSERT_EQ(S_OK,
            vpdf::RunRegistryScriptText(L"\xFEFF" + std::wstring(kScript), true, replacements));
  EXPECT_EQ(Registered(), DumpTree(HKCU, kScriptRoot));
}

TEST_F(Registrar, AMalformedScriptFails) {
  EXPECT_EQ(DISP_E_EXCEPTION, vpdf::RunRegistryScriptText(L"HKXX { A }", true, replacements));
  EXPECT_EQ(DISP_E_EXCEPTION,
            vpdf::RunRegistryScriptText(L"HKCU { Software { VpdfRegistrarTest = x 'y' } }", true,
                                        replacements));
}

// ---- The module's registration, in process and through regsvr32 ------------------

struct ClassInfo {
  const wchar_t* progId;
  const wchar_t* clsid;
  const wchar_t* description;
};
constexpr ClassInfo kClasses[] = {
    {L"RPDFImanAddon.CreateNewPDFFile", L"{81B3A34E-BEC1-4FC5-9FC4-645391FB3A1E}",
     L"CreateNewPDFFile Class"},
    {L"RPDFImanAddon.CreateNewPDFFile_CM", L"{B9576D55-1AA1-4ED1-AC58-A5AC85EA678D}",
     L"CreateNewPDFFile_CM Class"},
    {L"RPDFImanAddon.CreateNewPDFScan", L"{59C08D65-5D97-47BC-B157-4F1CC1001801}",
     L"CreateNewPDFScan Class"},
    {L"RPDFImanAddon.CreateNewPDFScan_CM", L"{62F0A483-32EA-4613-90F8-DD19A50B2AF8}",
     L"CreateNewPDFScan_CM Class"},
    {L"RPDFImanAddon.CreatePDF", L"{D1F898E4-8739-4118-95B4-FB11424EAF64}", L"CreatePDF Class"},
    {L"RPDFImanAddon.CreatePDF_CM", L"{EEEEB631-3463-4F7F-A5A2-1429E55E247C}",
     L"CreatePDF_CM Class"},
    {L"RPDFImanAddon.SendPDFEMail", L"{E5265DAE-9000-4A96-9B95-5C8FF435937F}",
     L"SendPDFEMail Class"},
    {L"RPDFImanAddon.SendPDFEMail_CM", L"{1A9A06B9-E75B-409F-8D8F-1A06CA22EA6C}",
     L"SendPDFEMail_CM Class"},
    {L"RPDFImanAddon.OpenInPro", L"{6493411D-429B-4CE9-A952-39D99895F826}", L"OpenInPro Class"},
    {L"RPDFImanAddon.OpenInPro_CM", L"{630D77D4-B058-49C5-B108-B904548BC69F}",
     L"OpenInPro_CM Class"},
    {L"RPDFImanAddon.OpenInCnv", L"{04B06073-6BF1-468A-AEBC-B6D5E23237E9}", L"OpenInCnv Class"},
    {L"RPDFImanAddon.OpenInCnv_CM", L"{E76E15AF-8AA8-4E57-B5F4-0BF3A00D340B}",
     L"OpenInCnv_CM Class"},
};
const std::wstring kOpenOverrideClsid = L"{69D4B1AF-1841-455B-B1B7-B536830DC9ED}";
const std::wstring kTypeLibKey = L"TypeLib\\{19AC99C7-8533-4D1A-8E77-ABAD64FDFEDD}";

std::wstring BinFolder() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  PathRemoveFileSpecW(path);
  return path;
}

std::wstring AddInPath() { return BinFolder() + L"\\VPDFIManageAddon.dll"; }

// The class entries of one class, as DumpTree shows them: P.1, P and CLSID\X.
std::wstring ClassTrees(const ClassInfo& c, const std::wstring& module) {
  const std::wstring p = c.progId, x = c.clsid, d = c.description;
  const std::wstring k = L"CLSID\\" + x;
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
  for (const ClassInfo& c : kClasses) {
    all += DumpTree(HKCR, std::wstring(c.progId) + L".1");
    all += DumpTree(HKCR, c.progId);
    all += DumpTree(HKCR, std::wstring(L"CLSID\\") + c.clsid);
  }
  return all;
}

std::vector<std::pair<HKEY, std::wstring>> ClassKeys() {
  std::vector<std::pair<HKEY, std::wstring>> keys;
  for (const ClassInfo& c : kClasses) {
    keys.emplace_back(HKCR, std::wstring(c.progId) + L".1");
    keys.emplace_back(HKCR, c.progId);
    keys.emplace_back(HKCR, std::wstring(L"CLSID\\") + c.clsid);
  }
  keys.emplace_back(HKCR, L"RPDFImanAddon.OpenOverride");
  keys.emplace_back(HKCR, L"RPDFImanAddon.OpenOverride.1");
  keys.emplace_back(HKCR, L"CLSID\\" + kOpenOverrideClsid);
  keys.emplace_back(HKCR, kTypeLibKey);
  return keys;
}

// regsvr32 of the prefix, started the way an installer starts it; its exit code.
DWORD RunRegsvr32(bool unregister) {
  std::wstring command = L"regsvr32.exe /s ";
  if (unregister) command += L"/u ";
  command += L"\"" + AddInPath() + L"\"";
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

using HResultFn = HRESULT(WINAPI*)();
struct AddInLibrary {
  HMODULE module = LoadLibraryW(AddInPath().c_str());
  HResultFn registerServer = reinterpret_cast<HResultFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
  HResultFn unregisterServer = reinterpret_cast<HResultFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
  ~AddInLibrary() { FreeLibrary(module); }
};

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
    SetString(HKLM, kDesksite8, L"Here", L"1");
    Ribbon(false);
    for (int site = 0; site < 3; ++site)
      SetString(HKLM, SiteKey(L"8.0", site), L"Commands", L"X,-,Y");
    Install({.printer = true, .editor = true, .converter = true, .creator = true});
  }
  static std::wstring ClientState() {
    return DumpTree(HKLM, kInterWoven) + DumpTree(HKLM, kNetRight) +
           DumpTree(HKCU, L"SOFTWARE\\NetRight");
  }
};

TEST_F(ModuleRegistration, Regsvr32WritesAndRemovesExactlyTheEntries) {
  FullClient();
  // An earlier registration's leftovers inside a class key go: the key is rewritten whole.
  SetString(HKCR, std::wstring(L"CLSID\\") + kClasses[4].clsid + L"\\Stale", nullptr, L"x");
  SetString(HKCR, std::wstring(L"CLSID\\") + kClasses[4].clsid + L"\\Programmable\\Stale", nullptr,
            L"x");
  // The client's interfaces as a client registers them: the reference and ICommand.
  SetString(HKCR, L"Interface\\" + kReference + L"\\TypeLib", nullptr, kClientLibrary);
  SetString(HKCR, L"Interface\\" + kICommand, nullptr, L"ICommand");
  SetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", nullptr, kClientLibrary);
  const std::wstring clientBefore = ClientState();

  TraceLog log;
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
  // The repair ran first and made the three missing interfaces as copies of the reference.
  // The type library registration came after it: the add-in's library holds ICommand (as the
  // original's did, which is why the repair knows that library), so ICommand now points at
  // it until the next repair.
  for (const std::wstring& iid : {kICommands, kIContextItem, kIContextItems})
    EXPECT_EQ(kClientLibrary, GetString(HKCR, L"Interface\\" + iid + L"\\TypeLib", nullptr));
  EXPECT_EQ(L"{19AC99C7-8533-4D1A-8E77-ABAD64FDFEDD}",
            GetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", nullptr));
  EXPECT_FALSE(KeyExists(HKCR, L"Interface\\" + kICommand2));
  EXPECT_FALSE(KeyExists(HKCR, L"Interface\\" + kICommand3));

  // The client menu with its sub-menu and the toolbar under 8.0\Desksite.
  const std::wstring sub = L"RPDFIManAddon.CreateNewPDFFile,RPDFIManAddon.CreateNewPDFScan";
  EXPECT_EQ(Customize(kDesksite8,
                      L"Create &New PDF,RPDFIManAddon.CreatePDF,RPDFIManAddon.SendPDFEMail,"
                      L"RPDFIManAddon.OpenInPro,RPDFIManAddon.OpenInCnv",
                      L"Create &New PDF", sub, true),
            DumpTree(HKLM, kDesksite8 + L"\\Customize"));
  // The open commands in the three lists.
  for (int site = 0; site < 3; ++site)
    EXPECT_EQ(L"X,-," + kCreateCm + L"," + kProCm + L"," + kCnvCm + L",-,Y",
              Commands(HKLM, SiteKey(L"8.0", site)));

  // The records of DllRegisterServer, in their order.
  const char* steps[] = {"DllRegisterServer enter",
                         "Call RegisterOpenCommand()",
                         " OpenPDF RegisterOpenCommands enter",
                         "Call RegisterHaldenAddonForIManage()",
                         "CreatePDF RegisterHaldenAddonForIManage enter",
                         "DllRegisterServer exit"};
  int previous = -1;
  for (const char* step : steps) {
    int at = log.IndexOf(step);
    EXPECT_GT(at, previous) << step;
    previous = at;
  }

  // Unregistration: every entry goes, the client world is as it was (the repair stays).
  log.Clear();
  ASSERT_EQ(0u, RunRegsvr32(true));
  EXPECT_EQ(L"", AllClassTrees());
  EXPECT_FALSE(KeyExists(HKCR, kTypeLibKey));
  EXPECT_TRUE(KeyExists(HKCR, L"CLSID"));
  // The Customize key and its Integration key that registration created stay.
  EXPECT_EQ(L"[" + kDesksite8 + L"\\Customize]\n[" + kDesksite8 + L"\\Customize\\Integration]\n",
            DumpTree(HKLM, kDesksite8 + L"\\Customize"));
  RegDeleteTreeW(HKLM, (kDesksite8 + L"\\Customize").c_str());
  EXPECT_EQ(clientBefore, ClientState());
  // The repair's copies stay. ICommand no longer points at the add-in's library: the repair
  // pointed it back at the client's, and Wine's UnRegisterTypeLib then deletes the interface
  // keys of every interface the library holds, whatever library they name.
  for (const std::wstring& iid : {kICommands, kIContextItem, kIContextItems})
    EXPECT_EQ(kClientLibrary, GetString(HKCR, L"Interface\\" + iid + L"\\TypeLib", nullptr));
  EXPECT_NE(L"{19AC99C7-8533-4D1A-8E77-ABAD64FDFEDD}",
            GetString(HKCR, L"Interface\\" + kICommand + L"\\TypeLib", nullptr));
  EXPECT_TRUE(log.Has("DllUnregisterServer exit 0"));
  const char* unsteps[] = {"DllUnregisterServer enter",      "RepairIManageInterfaces ",
                           "after RepairIManageInterfaces ", "UnRegisterOpenCommands enter",
                           "_Module.UnregisterServer",       "DllUnregisterServer exit 0"};
  previous = -1;
  for (const char* step : unsteps) {
    int at = log.IndexOf(step);
    EXPECT_GT(at, previous) << step;
    previous = at;
  }
}

TEST_F(ModuleRegistration, UnregisteringWithoutTheTypeLibraryStillSucceeds) {
  AddInLibrary addIn;
  ASSERT_NE(nullptr, addIn.unregisterServer);
  ASSERT_EQ(S_OK, addIn.registerServer());
  ASSERT_TRUE(KeyExists(HKCR, kTypeLibKey));
  RegDeleteTreeW(HKCR, kTypeLibKey.c_str());
  TraceLog log;
  EXPECT_EQ(S_OK, addIn.unregisterServer());
  EXPECT_EQ(L"", AllClassTrees());
  EXPECT_TRUE(log.Has("DllUnregisterServer exit 0"));
  // And once more, with nothing of the add-in left at all.
  EXPECT_EQ(S_OK, addIn.unregisterServer());
}

TEST_F(ModuleRegistration, AFailingScriptIsReportedAndTheClientEntriesStay) {
  // In this test program the module is the program itself, which carries no registry
  // scripts: the first script fails after the client entries were written.
  FullClient();
  Ribbon(true);
  TraceLog log;
  const HRESULT expected = HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  EXPECT_EQ(expected, vpdf::RegisterAll());
  char text[64];
  snprintf(text, sizeof text, "RegisterServer faild 0x%08X", static_cast<unsigned>(expected));
  testing_support::TraceRecord record;
  ASSERT_TRUE(log.Find(text, record));
  EXPECT_EQ(2, record.level);
  EXPECT_LT(log.IndexOf("DllRegisterServer exit"), log.IndexOf(text));
  EXPECT_EQ(L"", AllClassTrees());
  EXPECT_FALSE(KeyExists(HKCR, kTypeLibKey));
  EXPECT_EQ(Customize(kDesksite8, kAllCommands, L"", L"", true),
            DumpTree(HKLM, kDesksite8 + L"\\Customize"));
  EXPECT_EQ(L"X,-," + kCreateCm + L"," + kProCm + L"," + kCnvCm + L",-,Y",
            Commands(HKLM, SiteKey(L"8.0", 1)));
}

TEST_F(ModuleRegistration, TheEntryListNamesWhatRegistrationTouches) {
  FullClient();
  std::vector<vpdf::RegistrationEntry> entries = vpdf::RegistrationEntries();
  auto has = [&entries](HKEY root, const std::wstring& path, const std::wstring& value) {
    for (const vpdf::RegistrationEntry& e : entries)
      if (e.root == root && _wcsicmp(e.path.c_str(), path.c_str()) == 0 && e.value == value)
        return true;
    return false;
  };
  for (const ClassInfo& c : kClasses) {
    EXPECT_TRUE(has(HKCR, c.progId, L""));
    EXPECT_TRUE(has(HKCR, std::wstring(c.progId) + L".1", L""));
    EXPECT_TRUE(has(HKCR, std::wstring(L"CLSID\\") + c.clsid, L""));
  }
  EXPECT_TRUE(has(HKCR, kTypeLibKey, L""));
  EXPECT_TRUE(has(HKCR, L"Interface\\" + kICommand, L""));
  EXPECT_TRUE(has(HKLM, kDesksite8 + L"\\Customize\\RPDFIManAddon", L""));
  EXPECT_TRUE(has(HKLM, kDesksite8 + L"\\Customize\\Integration", L"RPDFIManAddon"));
  for (int site = 0; site < 3; ++site) EXPECT_TRUE(has(HKLM, SiteKey(L"8.0", site), L"Commands"));
  EXPECT_FALSE(has(HKCU, kThinOptions, L"Default Command"));
}

}  // namespace
