// Registration as an administrator sees it in the registry of the build's Wine prefix: the built
// add-in's DllRegisterServer and DllUnregisterServer for each client, product component, menu
// list and interface registration found; regsvr32 from a folder whose name needs quoting. The
// keys a test touches are saved, cleared and put back afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <process.h>
#include <sstream>
#include <string>
#include <vector>

#include "testbed/agents/journal.h"
#include "tests/settings_support.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

const HKEY HKLM = HKEY_LOCAL_MACHINE, HKCU = HKEY_CURRENT_USER, HKCR = HKEY_CLASSES_ROOT;
const std::wstring kPrinters = L"System\\CurrentControlSet\\Control\\Print\\Printers\\";
const std::wstring kIW = L"HKLM\\Software\\InterWoven", kWorkSite = kIW + L"\\WorkSite";
const std::wstring kDesk8 = kWorkSite + L"\\8.0\\Desksite", kClient = kWorkSite + L"\\Client\\Desksite";
const std::wstring kThin = L"HKLM\\Software\\NetRight\\iThinClient";
const std::wstring kOutlook = L"HKLM\\Software\\NetRight\\iOutlook\\Commands\\Document";
const std::wstring kClientLib = L"{7583B91A-3857-11D2-ACDF-00A0C970F49D}";
const std::wstring kAddInLib = L"{19AC99C7-8533-4D1A-8E77-ABAD64FDFEDD}";
// The client's reference interface, then ICommands, IContextItem, IContextItems, ICommand,
// ICommand2, ICommand3.
const wchar_t* const kInterfaces[] = {
    L"{62F8CCEF-3C71-11D2-8B38-00A0C970A730}", L"{62F8CCF1-3C71-11D2-8B38-00A0C970A730}",
    L"{62F8CCF3-3C71-11D2-8B38-00A0C970A730}", L"{62F8CCF5-3C71-11D2-8B38-00A0C970A730}",
    L"{62F8CCF7-3C71-11D2-8B38-00A0C970A730}", L"{62B13AF2-8354-11D3-809A-00C04F790E87}",
    L"{152C3FB0-2D42-4F06-9A17-21AD98F77980}"};
const wchar_t* const kViews[] = {L"Interface\\", L"Wow6432Node\\Interface\\"};

// What an administrator looks at: the clients' keys, the thin client's options, the client
// interfaces in both views.
std::vector<std::pair<HKEY, std::wstring>> WorldKeys() {
  std::vector<std::pair<HKEY, std::wstring>> keys = {
      {HKLM, L"Software\\InterWoven"}, {HKLM, L"Software\\NetRight"}, {HKCU, L"SOFTWARE\\NetRight"},
      {HKCU, L"Software\\VarnelTestbed\\Config"}, {HKLM, kPrinters + L"Varnel PDF"},
      {HKLM, kPrinters + L"Varnel PDF 2"}};
  for (const wchar_t* view : kViews)
    for (const wchar_t* iid : kInterfaces) keys.emplace_back(HKCR, view + std::wstring(iid));
  return keys;
}

// ---- Registry text: the sandbox's dump form with the root in front ("[HKLM\path]") ----------

struct Line { std::wstring key, value; };  // value empty: the key alone
std::vector<Line> Parse(const std::wstring& text) {
  std::vector<Line> lines;
  std::wistringstream in(text);
  std::wstring key;
  for (std::wstring line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line[0] == L'[' ? Line{key = line.substr(1, line.size() - 2), L""} : Line{key, line});
  return lines;
}
// Writes registry text: strings, expandable strings and numbers.
void Load(const std::wstring& text) {
  for (const auto& [key, value] : Parse(text)) {
    const HKEY root = key.starts_with(L"HKLM") ? HKLM : key.starts_with(L"HKCU") ? HKCU : HKCR;
    const std::wstring path = key.substr(5), name = value.substr(0, value.find(L'='));
    const std::wstring data = value.substr(value.find(L'=') + 1);
    const wchar_t* valueName = name == L"@" ? nullptr : name.c_str();
    HKEY made = nullptr;
    if (value.empty() && !RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &made, nullptr)) {
      RegCloseKey(made);
    } else if (data.starts_with(L"dword:")) {
      SetDword(root, path, valueName, std::stoul(data.substr(6)));
    } else if (!value.empty()) {
      const bool expand = data.starts_with(L"expand:");
      SetString(root, path, valueName, data.substr(expand ? 8 : 1, data.size() - (expand ? 9 : 2)), expand ? REG_EXPAND_SZ : REG_SZ);
    }
  }
}
// Each value under its key ("[key]\nname=data") and each empty leaf key, sorted; keys that only
// lead to others are left out, so that a text need not list them.
std::wstring Normal(const std::wstring& text) {
  const std::vector<Line> lines = Parse(text);
  std::vector<std::pair<std::wstring, std::wstring>> out;
  for (const Line& line : lines)
    if (!line.value.empty() || std::none_of(lines.begin(), lines.end(), [&](const Line& o) {
          return (o.key == line.key && !o.value.empty()) || o.key.starts_with(line.key + L"\\");
        }))
      out.emplace_back(line.key, line.value);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  std::wstring joined;
  for (const auto& [key, value] : out) joined += L"[" + key + L"]\n" + (value.empty() ? L"" : value + L"\n");
  return joined;
}
std::wstring World() {
  std::wstring all;
  for (const auto& [root, path] : WorldKeys()) {
    std::wistringstream in(DumpTree(root, path));
    const wchar_t* name = root == HKLM ? L"[HKLM\\" : root == HKCU ? L"[HKCU\\" : L"[HKCR\\";
    for (std::wstring line; std::getline(in, line);)
      all += (line.starts_with(L"[") ? name + line.substr(1) : line) + L"\n";
  }
  return Normal(all);
}

// ---- The texts of the rows ----------------------------------------------------------------

std::wstring Key(const std::wstring& key, const std::wstring& values = L"") { return L"[" + key + L"]\n" + values; }
std::wstring Sz(const std::wstring& name, const std::wstring& text) { return name + L"=\"" + text + L"\"\n"; }
std::wstring Commands(const std::wstring& key, const std::wstring& list) { return Key(key, Sz(L"Commands", list)); }
std::wstring Printer(const std::wstring& name) {
  return Key(L"HKLM\\" + kPrinters + name,
             Sz(L"Name", name) + Sz(L"Port", L"FILE:") + Sz(L"Printer Driver", L"Varnel PDF Driver"));
}
std::wstring Ribbon(bool ribbon) { return Key(kIW, Sz(L"DeskSite Version", ribbon ? L"92" : L"9.1")); }
std::wstring UiLanguage(DWORD id) {
  return Key(L"HKCU\\Software\\VarnelTestbed\\Config", L"UILanguage2=dword:" + std::to_wstring(id) + L"\n");
}
// The document lists of DeskSite, MailSite and FileSite below a WorkSite version key.
std::wstring Site(const std::wstring& version, int site, const std::wstring& list) {
  const wchar_t* paths[] = {L"\\DeskSite\\Commands\\Menus\\Document", L"\\MailSite\\Commands\\Document",
                            L"\\FileSite\\Commands\\Document"};
  return Commands(kWorkSite + L"\\" + version + paths[site], list);
}
std::wstring Sites(const std::wstring& list) {
  return Site(L"9.0", 0, list) + Site(L"9.0", 1, list) + Site(L"9.0", 2, list);
}
const std::wstring kCreateCm = L"RPDFIManAddon.CreatePDF_CM,", kProCm = L"RPDFIManAddon.OpenInPro_CM,",
                   kCnvCm = L"RPDFIManAddon.OpenInCnv_CM,";
// A list of menu commands by letters: F new PDF from file, S from scanner, C Create PDF, M Send
// PDF in e-mail, P open in the editor, V open in the converter, N the English sub-menu.
std::wstring List(const char* letters) {
  static const wchar_t* const kNames[] = {
      L"RPDFIManAddon.CreateNewPDFFile", L"RPDFIManAddon.CreateNewPDFScan", L"RPDFIManAddon.CreatePDF",
      L"RPDFIManAddon.SendPDFEMail", L"RPDFIManAddon.OpenInPro", L"RPDFIManAddon.OpenInCnv", L"Create &New PDF"};
  std::wstring list;
  for (const char* c = letters; *c; ++c)
    list += (list.empty() ? L"" : L",") + std::wstring(kNames[std::string("FSCMPVN").find(*c)]);
  return list;
}
// The add-in's menu below a client base key, with its sub-menu and its toolbar.
std::wstring Menu(const std::wstring& base, const std::wstring& commands,
                  const std::wstring& subText, const std::wstring& subCommands, bool toolbar) {
  const std::wstring c = base + L"\\Customize", menu = c + L"\\RPDFIManAddon\\Menus\\VarnelPDFMenu",
                     bar = c + L"\\RPDFIManAddon\\Toolbars\\VarnelPDFToolbar";
  std::wstring text = Key(c + L"\\Integration", Sz(L"RPDFIManAddon", L"Y")) +
                      Key(c + L"\\RPDFIManAddon\\Menus", Sz(L"AddInMenus", L"VarnelPDFMenu")) +
                      Key(menu, Sz(L"Commands", commands) + L"Index=dword:7\n" + Sz(L"MenuText", L"&Ostrel PDF"));
  if (!subCommands.empty())
    text += Key(menu + L"\\" + subText, Sz(L"Commands", subCommands) + Sz(L"MenuText", subText));
  if (toolbar)
    text += Key(bar, L"Index=dword:1\n") +
            Key(bar + L"\\Item1", Sz(L"Command", L"RPDFIManAddon.CreatePDF") + L"ID=dword:0\nIndex=dword:1\n") +
            Key(bar + L"\\Item2", Sz(L"Command", L"RPDFIManAddon.SendPDFEMail") + L"ID=dword:0\nIndex=dword:2\n");
  return text;
}
// What registration leaves below a client base key when no component is there.
std::wstring Bare(const std::wstring& base) { return Key(base + L"\\Customize\\Integration"); }
// An interface key in a view, with its TypeLib.
std::wstring Library(const std::wstring& view, int i, const std::wstring& library,
                     const std::wstring& version = L"") {
  return Key(L"HKCR\\" + view + kInterfaces[i] + L"\\TypeLib",
             Sz(L"@", library) + (version.empty() ? L"" : Sz(L"Version", version)));
}
// The reference interface as the client registers it, and a copy of it made for interface i.
std::wstring Reference(const std::wstring& view, int i = 0, const wchar_t* name = L"IReference") {
  const std::wstring key = L"HKCR\\" + view + kInterfaces[i];
  return Key(key, Sz(L"@", name)) + Library(view, i, kClientLib, L"1.0") +
         Key(key + L"\\ProxyStubClsid32", Sz(L"@", L"{00020424-0000-0000-C000-000000000046}")) +
         Key(key + L"\\NumMethods", Sz(L"@", L"9"));
}

// ---- The product components and the add-in ------------------------------------------------

struct Components { bool editor = false, converter = false, creator = false; };

struct AddIn {
  HMODULE module = LoadLibraryW(testbed::AddinPath().c_str());
  ~AddIn() { FreeLibrary(module); }
  HRESULT Call(const char* name) const {
    auto entry = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return entry ? entry() : E_NOTIMPL;
  }
};

const wchar_t* const kClasses[][2] = {
    {L"CreateNewPDFFile", L"{81B3A34E-BEC1-4FC5-9FC4-645391FB3A1E}"}, {L"CreateNewPDFFile_CM", L"{B9576D55-1AA1-4ED1-AC58-A5AC85EA678D}"},
    {L"CreateNewPDFScan", L"{59C08D65-5D97-47BC-B157-4F1CC1001801}"}, {L"CreateNewPDFScan_CM", L"{62F0A483-32EA-4613-90F8-DD19A50B2AF8}"},
    {L"CreatePDF", L"{D1F898E4-8739-4118-95B4-FB11424EAF64}"},        {L"CreatePDF_CM", L"{EEEEB631-3463-4F7F-A5A2-1429E55E247C}"},
    {L"SendPDFEMail", L"{E5265DAE-9000-4A96-9B95-5C8FF435937F}"},     {L"SendPDFEMail_CM", L"{1A9A06B9-E75B-409F-8D8F-1A06CA22EA6C}"},
    {L"OpenInPro", L"{6493411D-429B-4CE9-A952-39D99895F826}"},        {L"OpenInPro_CM", L"{630D77D4-B058-49C5-B108-B904548BC69F}"},
    {L"OpenInCnv", L"{04B06073-6BF1-468A-AEBC-B6D5E23237E9}"},        {L"OpenInCnv_CM", L"{E76E15AF-8AA8-4E57-B5F4-0BF3A00D340B}"},
    {L"OpenOverride", L"{69D4B1AF-1841-455B-B1B7-B536830DC9ED}"}};  // carried, never registered

// Every key that the add-in's classes and type library may have: P.1, P, CLSID\X, the library.
std::vector<std::pair<HKEY, std::wstring>> ClassKeys() {
  std::vector<std::pair<HKEY, std::wstring>> keys = {{HKCR, L"TypeLib\\" + kAddInLib}};
  for (const auto& [name, clsid] : kClasses)
    for (const std::wstring& key : {L"RPDFImanAddon." + std::wstring(name) + L".1",
                                    L"RPDFImanAddon." + std::wstring(name), L"CLSID\\" + std::wstring(clsid)})
      keys.emplace_back(HKCR, key);
  return keys;
}
std::wstring ClassTrees() {
  std::wstring all;
  for (const auto& [root, path] : ClassKeys()) all += DumpTree(root, path);
  return all;
}

class Registration : public testing::Test {
 protected:
  std::vector<std::pair<HKEY, std::wstring>> Saved() const {
    auto keys = WorldKeys();
    for (const auto& key : ClassKeys()) keys.push_back(key);
    for (const wchar_t* key : {L"Software\\Ostrel", L"Software\\Wow6432Node\\Ostrel"}) keys.emplace_back(HKLM, key);
    for (const auto& key : MissingParts({{HKCU, L"Software\\VarnelTestbed\\Config"}})) keys.push_back(key);
    return keys;
  }
  ScopedRegistrySnapshot saved{Saved(), true};
  const fs::path folder = fs::temp_directory_path() / L"vpdf-registration";

  void SetUp() override { fs::create_directories(folder / L"bin"); }
  void TearDown() override { fs::remove_all(folder); }
  // A fresh registry with the product's files that `has` names and the registry text `before`.
  void Start(const Components& has, const std::wstring& before) const {
    saved.Clear();
    for (auto [name, present] : {std::pair{L"bin\\varnelpdf.exe", has.editor},
                                 {L"vpdfassist.exe", has.converter}, {L"bin\\vpdfcreate.exe", has.creator}})
      present ? (void)std::ofstream(folder / name).put('x') : (void)fs::remove(folder / name);
    // The install folder as the product writes it: with its closing backslash.
    for (const wchar_t* key : {L"Software\\Ostrel\\PDF\\V1", L"Software\\Wow6432Node\\Ostrel\\PDF\\V1"})
      SetString(HKLM, key, L"InstallPath", folder.wstring() + L"\\");
    Load(before);
  }
};

// ---- The client's menus, toolbar, document lists and interfaces ---------------------------

struct Row { std::string what; Components has; std::wstring before, registered, unregistered; };

std::vector<Row> Rows() {
  std::vector<Row> rows;
  // The menu for each combination of printer, editor and converter, with and without ribbon.
  const struct { bool printer; Components has; const char *ribbon, *classic, *sub; } menus[] = {
      {true, {}, "FCM", "NCM", "F"},
      {false, {.editor = true}, "SP", "NP", "S"},
      {true, {.editor = true}, "FSCMP", "NCMP", "FS"},
      {false, {.converter = true}, "V", "V", ""},
      {true, {.converter = true}, "FCMV", "NCMV", "F"},
      {false, {.editor = true, .converter = true}, "SPV", "NPV", "S"},
      {true, {.editor = true, .converter = true}, "FSCMPV", "NCMPV", "FS"},
  };
  for (bool ribbon : {true, false})
    for (const auto& m : menus) {
      const std::wstring world = Ribbon(ribbon) + Key(kDesk8) + (m.printer ? Printer(L"Varnel PDF") : L"");
      rows.push_back({(ribbon ? "ribbon " : "classic ") + std::string(m.ribbon), m.has, world,
                      world + Menu(kDesk8, List(ribbon ? m.ribbon : m.classic), L"Create &New PDF",
                                   List(ribbon ? "" : m.sub), m.printer),
                      world + Bare(kDesk8)});
    }
  // The open commands right after the first separator of each document list, on a client
  // with its own lists and on one with only the Outlook integration (one list for MailSite and
  // FileSite, edited once).
  const std::wstring old = L"X,-," + kCreateCm + kProCm + L"-,Y";
  const struct { Components has; std::wstring before, registered, unregistered; } opens[] = {
      {{.editor = true, .converter = true}, L"X,-,Y", L"X,-," + kCreateCm + kProCm + kCnvCm + L"-,Y", L"X,-,Y"},
      {{.converter = true}, L"X,-,Y", L"X,-," + kCnvCm + L"-,Y", L"X,-,Y"},
      {{.editor = true}, L"X,-,Y", old, L"X,-,Y"},
      {{.creator = true}, L"X,-,Y", L"X,-," + kCreateCm + L"-,Y", L"X,-,Y"},
      {{.editor = true, .creator = true}, L"X,-,Y", old, L"X,-,Y"},
      {{.converter = true, .creator = true}, L"X,-,Y", L"X,-," + kCreateCm + kCnvCm + L"-,Y", L"X,-,Y"},
      {{}, old, L"X,-,Y", L"X,-,Y"},  // only an earlier registration's entries go
      {{.editor = true, .converter = true, .creator = true}, L"X,Y", L"X,Y", L"X,Y"},  // no separator
  };
  for (const auto& o : opens) {
    rows.push_back({"lists " + Utf8(o.before + L" -> " + o.registered), o.has, Sites(o.before),
                    Sites(o.registered), Sites(o.unregistered)});
    rows.push_back({"Outlook " + Utf8(o.before + L" -> " + o.registered), o.has,
                    Commands(kOutlook, o.before), Commands(kOutlook, o.registered),
                    Commands(kOutlook, o.unregistered)});
  }

  const Components all = {.editor = true, .converter = true, .creator = true};
  const std::wstring printer = Printer(L"Varnel PDF");
  const std::wstring german = L"&Neues PDF erstellen";
  rows.push_back({"German sub-menu", {.editor = true}, Key(kDesk8) + UiLanguage(1031),
                  Key(kDesk8) + UiLanguage(1031) +
                      Menu(kDesk8, german + L",RPDFIManAddon.OpenInPro", german, List("S"), false),
                  Key(kDesk8) + UiLanguage(1031) + Bare(kDesk8)});
  rows.push_back({"no component", {}, Key(kDesk8), Bare(kDesk8), Bare(kDesk8)});
  rows.push_back({"another printer's name", {}, Key(kDesk8) + Printer(L"Varnel PDF 2"),
                  Bare(kDesk8) + Printer(L"Varnel PDF 2"), Bare(kDesk8) + Printer(L"Varnel PDF 2")});
  const std::wstring mine = Key(kDesk8 + L"\\Customize", Sz(L"Mine", L"1")) + printer;
  rows.push_back({"Customize without Integration", all, mine, mine, mine});
  rows.push_back({"no client", all, printer, printer, printer});
  // Registration takes 8.0\Desksite first, unregistration Client\Desksite.
  const std::wstring both = Ribbon(true) + Key(kDesk8) + Key(kClient) + printer;
  rows.push_back({"8.0 and Client", all, both, both + Menu(kDesk8, List("FSCMPV"), L"", L"", true),
                  both + Menu(kDesk8, List("FSCMPV"), L"", L"", true)});
  rows.push_back({"Client only", {}, Key(kClient) + printer,
                  Key(kClient) + printer + Menu(kClient, List("NCM"), L"Create &New PDF", List("F"), true),
                  Key(kClient) + printer + Bare(kClient)});
  // The thin client: its document and grid menus stand in for DeskSite's list; another add-in's
  // entries and the default command stay.
  const std::wstring thin = printer + Key(kThin + L"\\Customize\\Integration", Sz(L"Other", L"Y")) +
                            Key(kThin + L"\\Customize\\Other\\Menus", Sz(L"AddInMenus", L"X")) +
                            Key(L"HKCU\\SOFTWARE\\NetRight\\iManage\\ThinClient\\5.0\\Advanced Options",
                                Sz(L"Default Command", L"iManExt.OpenCmd"));
  auto thinLists = [](const std::wstring& entries) {
    return Commands(kThin + L"\\Commands\\Menus\\Document", L"T,-," + entries + L"U") +
           Commands(kThin + L"\\Commands\\Grid Popup Menus", L"G,-," + entries + L"H");
  };
  rows.push_back({"thin client", all, thin + thinLists(L""),
                  thin + thinLists(kCreateCm + kProCm + kCnvCm + L"-,") +
                      Menu(kThin, List("NCMPV"), L"Create &New PDF", List("FS"), true),
                  thin + thinLists(L"")});
  // The first WorkSite version key that has a site's list is the one edited.
  const std::wstring versions = Site(L"9.0", 2, L"C,-,D") + Commands(kOutlook, L"O,-,P");
  const std::wstring firsts = versions + Site(L"7.0", 1, L"M,-,N") + Site(L"8.5", 2, L"A,-,B");
  rows.push_back({"first version with the site", {.editor = true}, firsts,
                  versions + Site(L"7.0", 1, L"M,-," + kCreateCm + kProCm + L"-,N") +
                      Site(L"8.5", 2, L"A,-," + kCreateCm + kProCm + L"-,B"),
                  firsts});
  // A list must be a non-empty string; it is written back as REG_SZ.
  const std::wstring others = Key(kWorkSite + L"\\9.0\\MailSite\\Commands\\Document", L"Commands=dword:5\n") +
                              Site(L"9.0", 2, L"");
  rows.push_back({"list types", {.converter = true},
                  others + Key(kWorkSite + L"\\9.0\\DeskSite\\Commands\\Menus\\Document", L"Commands=expand:\"X,-,Y\"\n"),
                  others + Site(L"9.0", 0, L"X,-," + kCnvCm + L"-,Y"), others + Site(L"9.0", 0, L"X,-,Y")});
  // The client's document menu decides what is there already.
  const std::wstring shown = Commands(kDesk8 + L"\\Commands\\Document", L"RPDFIManAddon.OpenInPro,RPDFIManAddon.OpenInCnv");
  rows.push_back({"shown in the document menu", {.editor = true, .converter = true},
                  shown + Sites(L"X,-," + kProCm + L"-,Y"),
                  shown + Sites(L"X,-,Y") + Menu(kDesk8, List("NPV"), L"Create &New PDF", List("S"), false),
                  shown + Sites(L"X,Y") + Bare(kDesk8)});
  const std::wstring create = Commands(kDesk8 + L"\\Commands\\Document", L"RPDFIManAddon.CreatePDF");
  rows.push_back({"Create PDF in the document menu", {.creator = true}, create + Sites(L"X,-,Y"),
                  create + Sites(L"X,-,-,Y") + Bare(kDesk8), create + Sites(L"X,-,Y") + Bare(kDesk8)});

  // The client interfaces: pointed back at the reference's library when a type library
  // registration took them, recreated from the reference when missing, view by view.
  const std::wstring none = Library(kViews[0], 4, kAddInLib) + Key(L"HKCR\\" + std::wstring(kViews[0]) + kInterfaces[0]);
  rows.push_back({"no reference", {}, none, none, none});
  const std::wstring empty = Library(kViews[0], 4, kAddInLib) + Library(kViews[0], 0, L"");
  rows.push_back({"reference without library", {}, empty, empty, empty});
  const std::wstring kept = Reference(kViews[0]) + Library(kViews[0], 6, L"{11111111-2222-3333-4444-555555555555}") +
                            Key(L"HKCR\\" + std::wstring(kViews[0]) + kInterfaces[2], Sz(L"@", L"no TypeLib"));
  const std::wstring repaired = kept + Library(kViews[0], 4, kClientLib, L"1.0") + Library(kViews[0], 5, kClientLib) +
                                Library(kViews[0], 1, kClientLib) + Library(kViews[0], 3, kClientLib);
  rows.push_back({"foreign libraries", {},
                  kept + Library(kViews[0], 4, L"{19ac99c7-8533-4D1A-8e77-abad64fdfedd}", L"1.0") +
                      Library(kViews[0], 5, L"{92879BE8-ED7F-41E2-8167-521C1882A1EC}") +
                      Library(kViews[0], 1, L"{40df2c24-3fe3-489a-bf9b-9a57d4f88bea}") +
                      Library(kViews[0], 3, L"{82E4363B-346C-4d93-B946-8C643419311B}"),
                  repaired, repaired});
  const wchar_t* names[] = {L"", L"ICommands", L"IContextItem", L"IContextItems", L"ICommand"};
  for (int view : {0, 1}) {
    const std::wstring other = Library(kViews[1 - view], 6, kAddInLib);
    std::wstring made = Reference(kViews[view]) + other;
    for (int i = 1; i <= 4; ++i) made += Reference(kViews[view], i, names[i]);
    rows.push_back({"missing interfaces, view " + std::to_string(view), {}, Reference(kViews[view]) + other,
                    made, made});
  }
  return rows;
}

TEST_F(Registration, WhatTheClientsAndTheirInterfacesShow) {
  AddIn addIn;
  ASSERT_NE(nullptr, addIn.module);
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.what);
    Start(row.has, row.before);
    ASSERT_EQ(Normal(row.before), World());
    EXPECT_EQ(S_OK, addIn.Call("DllRegisterServer"));
    EXPECT_EQ(Normal(row.registered), World());
    EXPECT_EQ(S_OK, addIn.Call("DllUnregisterServer"));
    EXPECT_EQ(Normal(row.unregistered), World());
  }
}

// ---- regsvr32 as an installer runs it -----------------------------------------------------

// regsvr32 of the prefix as an installer starts it, from the program's folder; its exit code.
intptr_t Regsvr32(const std::wstring& arguments) {
  return _wspawnl(_P_WAIT, L"C:\\windows\\system32\\regsvr32.exe", L"regsvr32", L"/s", arguments.c_str(), nullptr);
}

// The class entries of one class as the sandbox dumps them: P.1, P and CLSID\X.
std::wstring ClassTree(const std::wstring& name, const std::wstring& x, const std::wstring& module) {
  const std::wstring p = L"RPDFImanAddon." + name, d = name + L" Class", k = L"CLSID\\" + x;
  return L"[" + p + L".1]\n@=\"" + d + L"\"\n[" + p + L".1\\CLSID]\n@=\"" + x + L"\"\n[" + p + L"]\n@=\"" +
         d + L"\"\n[" + p + L"\\CLSID]\n@=\"" + x + L"\"\n[" + p + L"\\CurVer]\n@=\"" + p + L".1\"\n[" + k +
         L"]\n@=\"" + d + L"\"\n[" + k + L"\\InprocServer32]\n@=\"" + module +
         L"\"\nThreadingModel=\"Apartment\"\n[" + k + L"\\ProgID]\n@=\"" + p + L".1\"\n[" + k +
         L"\\Programmable]\n[" + k + L"\\TypeLib]\n@=\"{19AC99C7-8533-4d1a-8E77-ABAD64FDFEDD}\"\n[" + k +
         L"\\VersionIndependentProgID]\n@=\"" + p + L"\"\n";
}

TEST_F(Registration, Regsvr32WritesAndRemovesExactlyTheEntries) {
  // The add-in installed in a folder whose name needs quoting; the client's interfaces as the
  // client registers them, which the add-in leaves as they are.
  const fs::path installed = folder / L"it's {here}" / L"VPDFIManageAddon.dll";
  fs::create_directories(installed.parent_path());
  fs::copy_file(testbed::AddinPath(), installed);
  const std::wstring module = installed.wstring(), quoted = L"\"" + module + L"\"";
  Start({.editor = true, .converter = true}, Ribbon(false) + Key(kDesk8) + Printer(L"Varnel PDF"));
  ASSERT_EQ(0, Regsvr32(L"\"" + testbed::ClientFolder() + L"\\tbdms.dll\""));
  const std::wstring world = World();
  Load(Sites(L"X,-,Y"));
  ASSERT_NE(std::wstring::npos, world.find(L"HKCR\\Interface\\" + std::wstring(kInterfaces[4])));
  // An earlier registration's leftovers inside a class key go: the key is rewritten whole.
  SetString(HKCR, L"CLSID\\" + std::wstring(kClasses[4][1]) + L"\\Programmable\\Stale", nullptr, L"x");

  // Twice, as an upgrade does: the same entries.
  ASSERT_EQ(0, Regsvr32(quoted));
  ASSERT_EQ(0, Regsvr32(quoted));
  std::wstring classes = L"[TypeLib\\" + kAddInLib + L"]\n[TypeLib\\" + kAddInLib + L"\\1.0]\n@=\"RPDFImanAddon 1.0 Type Library\"\n[TypeLib\\" +
                         kAddInLib + L"\\1.0\\0]\n[TypeLib\\" + kAddInLib + L"\\1.0\\0\\win64]\n@=\"" + module +
                         L"\"\n[TypeLib\\" + kAddInLib + L"\\1.0\\FLAGS]\n@=\"8\"\n[TypeLib\\" + kAddInLib +
                         L"\\1.0\\HELPDIR]\n@=\"" + installed.parent_path().wstring() + L"\"\n";
  for (const auto& [name, clsid] : kClasses)
    if (std::wstring(name) != L"OpenOverride") classes += ClassTree(name, clsid, module);
  EXPECT_EQ(classes, ClassTrees());
  EXPECT_EQ(Normal(world + Sites(L"X,-," + kCreateCm + kProCm + kCnvCm + L"-,Y") +
                   Menu(kDesk8, List("NCMPV"), L"Create &New PDF", List("FS"), true)),
            World());
  // Unregistration takes everything away but the Customize key it made.
  SetString(HKCR, L"RPDFImanAddon.CreatePDF\\Extra\\Deeper", nullptr, L"x");
  EXPECT_EQ(0, Regsvr32(L"/u " + quoted));
  EXPECT_EQ(L"", ClassTrees());
  EXPECT_TRUE(KeyExists(HKCR, L"CLSID"));
  EXPECT_EQ(Normal(world + Sites(L"X,-,Y") + Bare(kDesk8)), World());
  // Again, with nothing of the add-in (not even its type library) left: still a success.
  EXPECT_EQ(0, Regsvr32(L"/u " + quoted));
}

}  // namespace
