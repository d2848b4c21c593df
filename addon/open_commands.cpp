#include "addon/open_commands.h"

#include <cwchar>
#include <string>
#include <vector>

#include "convutils/log.h"
#include "convutils/settings.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\OpenPDF");

constexpr wchar_t kWorkSite[] = L"Software\\InterWoven\\WorkSite";
constexpr wchar_t kThinClientDocument[] =
    L"Software\\NetRight\\iThinClient\\Commands\\Menus\\Document";
constexpr wchar_t kThinClientGrid[] =
    L"Software\\NetRight\\iThinClient\\Commands\\Grid Popup Menus";
constexpr wchar_t kThinClientOptions[] =
    L"SOFTWARE\\NetRight\\iManage\\ThinClient\\5.0\\Advanced Options";
constexpr wchar_t kDefaultCommand[] = L"Default Command";
constexpr wchar_t kOutlookDocument[] = L"Software\\NetRight\\iOutlook\\Commands\\Document";

constexpr wchar_t kClientDesksite[] = L"Software\\InterWoven\\WorkSite\\Client\\Desksite";
constexpr const wchar_t* kMenuBases[] = {
    L"Software\\InterWoven\\WorkSite\\8.0\\Desksite",
    kClientDesksite,
    L"Software\\NetRight\\iThinClient",
    L"Software\\InterWoven\\WorkSite\\8.0\\Filesite",
};

constexpr wchar_t kOpenInCnv[] = L"RPDFIManAddon.OpenInCnv";
constexpr wchar_t kOpenInPro[] = L"RPDFIManAddon.OpenInPro";
constexpr wchar_t kCreatePdf[] = L"RPDFIManAddon.CreatePDF";

// The site's path below a WorkSite version key.
const wchar_t* SitePath(int site) {
  switch (site) {
    case kSiteDeskSite:
      return L"DeskSite\\Commands\\Menus\\Document";
    case kSiteMailSite:
      return L"MailSite\\Commands\\Document";
    case kSiteFileSite:
      return L"FileSite\\Commands\\Document";
    default:
      return nullptr;
  }
}

// For the records with a narrow %s.
std::string Narrow(const std::wstring& text) {
  std::string out;
  int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length > 1) {
    out.resize(static_cast<size_t>(length - 1));
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), length, nullptr, nullptr);
  }
  return out;
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
  std::vector<std::wstring> names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD length = 256;
    LONG result = RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS)
      names.emplace_back(name, length);
    else if (result != ERROR_MORE_DATA)
      break;
  }
  return names;
}

// The first WorkSite version key under which the site's path opens for reading and writing:
// opened into `key`, its path below HKLM into `path`. With `log`, the records of Modify.
bool OpenSiteKey(int site, RegKey& key, std::wstring& path, bool log) {
  const wchar_t* sitePath = SitePath(site);
  if (!sitePath) return false;
  RegKey workSite;
  if (workSite.Open(HKEY_LOCAL_MACHINE, kWorkSite, KEY_READ) != ERROR_SUCCESS) {
    if (log) kLog.Warning("FAILED to open HKLM\\%S for read", kWorkSite);
    return false;
  }
  std::vector<std::wstring> versions = SubkeyNames(workSite.Get());
  std::wstring tried;
  for (const std::wstring& version : versions) {
    if (log) kLog.Trace("key enumerated: %S", version.c_str());
    tried = std::wstring(kWorkSite) + L"\\" + version + L"\\" + sitePath;
    if (key.Open(HKEY_LOCAL_MACHINE, tried.c_str(), KEY_READ | KEY_WRITE) == ERROR_SUCCESS) {
      path = tried;
      return true;
    }
  }
  if (log) {
    if (versions.empty())
      kLog.Warning("there are no keys under HKLM\\%S", kWorkSite);
    else
      kLog.Warning("FAILED to open HKLM\\%S for read/write", tried.c_str());
  }
  return false;
}

// Opens a fallback list key for reading and writing; a failure is logged (level 1) and leaves
// `key` closed, which ReplaceCommand then reports.
void OpenFallback(const wchar_t* path, RegKey& key) {
  if (key.Open(HKEY_LOCAL_MACHINE, path, KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
    kLog.Warning("FAILED to open HKLM\\%s for read/write", Narrow(path).c_str());
}

// The string value `name` of `key`: REG_SZ or REG_EXPAND_SZ only.
bool ReadText(HKEY key, const wchar_t* name, std::wstring& text, DWORD* typeOut = nullptr) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  DWORD got = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got) !=
      ERROR_SUCCESS)
    return false;
  if (typeOut) *typeOut = type;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  text.assign(buffer.data());  // up to the first terminator
  return true;
}

LONG WriteText(HKEY key, const wchar_t* name, const std::wstring& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

void ReplaceStr(std::wstring& text, const wchar_t* find, const wchar_t* replace, bool all) {
  kLog.Trace("ReplaceStr enter (%S , %S)", find, replace);
  const std::wstring with = replace ? replace : L"";
  if (!find) {
    if (!with.empty() && text.find(with) == std::wstring::npos) text += with;
  } else {
    const std::wstring what = find;
    size_t at = what.empty() ? std::wstring::npos : text.find(what);
    if (at == std::wstring::npos) {
      kLog.Trace("occurence not found");
    } else {
      // Every further search starts again at the beginning of the new text. A replacement
      // that holds the text it replaces would be found again without end: then the search
      // goes on after it instead.
      const bool restartAtBeginning = with.find(what) == std::wstring::npos;
      while (at != std::wstring::npos) {
        text.replace(at, what.size(), with);
        if (!all) break;
        at = text.find(what, restartAtBeginning ? 0 : at + with.size());
      }
    }
  }
  kLog.Trace("ReplaceStr leave");
}

int ReplaceCommand(RegKey& key, const wchar_t* find, const wchar_t* replace, bool all) {
  if (!key) {
    kLog.Error("there is no opened key");
    return 0;
  }
  int result = 0;
  std::wstring commands;
  DWORD type = 0, size = 0;
  LONG queried = RegQueryValueExW(key.Get(), L"Commands", nullptr, &type, nullptr, &size);
  if (queried != ERROR_SUCCESS) kLog.Error("error querying Commands");
  if (queried != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) ||
      !ReadText(key.Get(), L"Commands", commands) || commands.empty()) {
    kLog.Error("Commands length is zero");
    key.Close();
    return 0;
  }
  kLog.Trace("Com: %S", commands.substr(0, 200).c_str());
  ReplaceStr(commands, find, replace, all);
  kLog.Trace("NewCom: %S", commands.c_str());
  if (WriteText(key.Get(), L"Commands", commands) == ERROR_SUCCESS)
    result = 1;
  else
    kLog.Error("error setting new Commands");
  key.Close();
  kLog.Trace("ReplaceCom leave");
  return result;
}

int Modify(int site, const wchar_t* find, const wchar_t* replace, bool all) {
  kLog.Trace("Modify enter (%S , %S)", find, replace);
  int result = 0;
  RegKey key;
  std::wstring path;
  if (OpenSiteKey(site, key, path, true)) {
    result = ReplaceCommand(key, find, replace, all);
  } else if (site == kSiteMailSite || site == kSiteFileSite) {
    OpenFallback(kOutlookDocument, key);
    result = ReplaceCommand(key, find, replace, all);
  } else if (site == kSiteDeskSite) {
    OpenFallback(kThinClientDocument, key);
    result = ReplaceCommand(key, find, replace, all);
    RegKey grid;
    OpenFallback(kThinClientGrid, grid);
    ReplaceCommand(grid, find, replace, all);
    // The thin client's default command, when it is exactly the entry being replaced. A value
    // that cannot be read is left alone (not created).
    RegKey options;
    std::wstring current;
    if (find &&
        options.Open(HKEY_CURRENT_USER, kThinClientOptions, KEY_READ | KEY_WRITE) ==
            ERROR_SUCCESS &&
        ReadText(options.Get(), kDefaultCommand, current) && _wcsicmp(current.c_str(), find) == 0) {
      kLog.Warning("Default command doesn't match, setting from %S to %S", current.c_str(),
                   replace);
      if (replace) WriteText(options.Get(), kDefaultCommand, replace);
    }
  }
  kLog.Trace("Modify leave");
  return result;
}

namespace {

// InstallPath of the product key, used without change: the folder ends with its backslash.
std::wstring ProductFolder() {
  CConvRegKey installPath(HKEY_LOCAL_MACHINE, kProductKey, L"InstallPath", L"");
  return installPath.ReadString();
}

// Without a folder nothing is installed (the names alone would be looked up in the current
// folder).
bool EditorIn(const std::wstring& folder) {
  if (folder.empty() || !IsExistingFile(folder + L"bin\\varnelpdf.exe")) return false;
  kLog.Trace("Varnel Pro is found");
  return true;
}

}  // namespace

bool IsExistingFile(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsEditorInstalled() { return EditorIn(ProductFolder()); }

void IsComponentInstalled(bool& editor, bool& converter, bool& creator) {
  kLog.Trace("IsComponentInstalled enter");
  const std::wstring folder = ProductFolder();
  editor = EditorIn(folder);
  converter = !folder.empty() && IsExistingFile(folder + L"vpdfassist.exe");
  if (converter) kLog.Trace("Varnel Converter regkey is found");
  creator = !folder.empty() && IsExistingFile(folder + L"bin\\vpdfcreate.exe");
  if (creator) kLog.Trace("Varnel Create exe is found");
  kLog.Trace("IsComponentInstalled leave");
}

CDSMenuExt::CDSMenuExt() {
  for (const wchar_t* base : kMenuBases) {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, base, KEY_READ) == ERROR_SUCCESS) {
      m_csRegbase = base;
      break;
    }
  }
}

CDSMenuExt::~CDSMenuExt() = default;

std::wstring CDSMenuExt::DocumentMenuKey() const {
  if (m_csRegbase.empty()) return {};
  if (_wcsicmp(m_csRegbase.c_str(), kClientDesksite) == 0)
    return m_csRegbase + L"\\Commands\\Menus\\Document";
  return m_csRegbase + L"\\Commands\\Document";
}

bool CDSMenuExt::IsInDocumentMenu(const wchar_t* name) const {
  kLog.Trace("\nm_csRegbase %S ", m_csRegbase.c_str());
  if (m_csRegbase.empty() || !name) return false;
  std::wstring subkey = DocumentMenuKey();
  kLog.Trace("\nregStringSubKeys %S ", subkey.c_str());
  RegKey key;
  std::wstring commands;
  if (key.Open(HKEY_LOCAL_MACHINE, subkey.c_str(), KEY_READ) != ERROR_SUCCESS ||
      !ReadText(key.Get(), L"Commands", commands))
    return false;
  kLog.Trace("strCommandsValue %S ", commands.c_str());
  bool found = commands.find(name) != std::wstring::npos;
  kLog.Trace("Find  %S ret %d", name, found ? 1 : 0);
  return found;
}

namespace {

// Whether FileSite's list is MailSite's: a client with only the Outlook integration has one
// list for both, which must be edited once, or every entry would go in twice.
bool FileSiteSharesMailSiteList() {
  const std::wstring file = OpenCommandsSiteKey(kSiteFileSite);
  return !file.empty() && _wcsicmp(file.c_str(), OpenCommandsSiteKey(kSiteMailSite).c_str()) == 0;
}

}  // namespace

int RegisterOpenCommands() {
  kLog.Trace(" OpenPDF RegisterOpenCommands enter");
  const bool fileSiteOwnList = !FileSiteSharesMailSiteList();

  // Traces of an earlier registration: a separator right in front of an add-in entry, and the
  // entries themselves, each with the comma after it.
  struct Cleanup {
    const wchar_t* find;
    const wchar_t* replace;
    const char* mailLog;
    const char* fileLog;
  };
  const Cleanup cleanups[] = {
      {L"-,RPDFIManAddon", L"RPDFIManAddon", "\nDelete MailSite separators",
       "\nDelete FileSite separators"},
      {L"RPDFIManAddon.OpenInCnv_CM,", nullptr, "\nReplace MailSite separators",
       "\nReplace FileSite separators"},
      {L"RPDFIManAddon.OpenInPro_CM,", nullptr, "\nReplace MailSite separators",
       "\nReplace FileSite separators"},
      {L"RPDFIManAddon.CreatePDF_CM,", nullptr, "\nReplace MailSite separators",
       "\nReplace FileSite separators"},
  };
  for (const Cleanup& step : cleanups) {
    Modify(kSiteDeskSite, step.find, step.replace, true);
    kLog.Trace(LogFormat(step.mailLog));
    Modify(kSiteMailSite, step.find, step.replace, true);
    kLog.Trace(LogFormat(step.fileLog));
    if (fileSiteOwnList) Modify(kSiteFileSite, step.find, step.replace, true);
  }

  CDSMenuExt menu;
  const bool hasPro = menu.IsInDocumentMenu(kOpenInPro);
  const bool hasCnv = menu.IsInDocumentMenu(kOpenInCnv);
  const bool hasCreate = menu.IsInDocumentMenu(kCreatePdf);
  if (hasPro && hasCnv) {
    kLog.Error("Already registered !");
    return 0;
  }

  bool editor = false, converter = false, creator = false;
  IsComponentInstalled(editor, converter, creator);
  if (!editor && !converter && !creator) return 0;
  kLog.Error("Start to register!");

  // Each insertion goes right after the first separator, so the last one made comes first.
  auto inAllSites = [fileSiteOwnList](const wchar_t* replace, const char* mailLog,
                                      const char* fileLog) {
    Modify(kSiteDeskSite, L"-", replace, false);
    kLog.Trace(LogFormat(mailLog));
    Modify(kSiteMailSite, L"-", replace, false);
    kLog.Trace(LogFormat(fileLog));
    if (fileSiteOwnList) Modify(kSiteFileSite, L"-", replace, false);
  };
  inAllSites(L"-,-", "\nTrying to add separator to MailSite",
             "\nTrying to add separator to FileSite");
  if (converter && !hasCnv)
    inAllSites(L"-,RPDFIManAddon.OpenInCnv_CM", "\nCheck MailSite openincnv",
               "\nCheck FileSite openincnv");
  if (editor && !hasPro) {
    for (int site : {kSiteDeskSite, kSiteMailSite, kSiteFileSite}) {
      if (site == kSiteMailSite) kLog.Trace("\nCheck MailSite openinpro");
      if (site == kSiteFileSite) kLog.Trace("\nCheck FileSite openinpro");
      if (site == kSiteFileSite && !fileSiteOwnList) continue;
      Modify(site, L"-", L"-,RPDFIManAddon.OpenInPro_CM", false);
      Modify(site, L"-", L"-,RPDFIManAddon.CreatePDF_CM", false);
    }
  }
  if (creator && !hasCreate && !editor && !hasPro) {
    kLog.Trace("\nRegister Create");
    inAllSites(L"-,RPDFIManAddon.CreatePDF_CM", "\nCheck MailSite create pdf",
               "\nCheck FileSite create pdf");
  }
  kLog.Trace("DeskSite: %s, MailSite: %s, FileSite: %s", "FALSE", "FALSE", "FALSE");
  kLog.Trace("RegisterOpenCommands leave");
  return 0;
}

int UnRegisterOpenCommands() {
  kLog.Trace("UnRegisterOpenCommands enter");
  bool editor = false, converter = false, creator = false;
  IsComponentInstalled(editor, converter, creator);
  if (!editor && !converter && !creator) return 0;
  const bool fileSiteOwnList = !FileSiteSharesMailSiteList();

  auto inAllSites = [fileSiteOwnList](const wchar_t* find, const char* mailLog,
                                      const char* fileLog, int* mail = nullptr,
                                      int* file = nullptr) {
    Modify(kSiteDeskSite, find, nullptr, false);
    kLog.Trace(LogFormat(mailLog));
    int mailResult = Modify(kSiteMailSite, find, nullptr, false);
    kLog.Trace(LogFormat(fileLog));
    int fileResult = fileSiteOwnList ? Modify(kSiteFileSite, find, nullptr, false) : 0;
    if (mail) *mail = mailResult;
    if (file) *file = fileResult;
  };
  // The CreatePDF_CM entry is removed like the other two (the system this follows put the
  // client's "iManExt.OpenCmd" in its place): each list is left as it was before
  // RegisterOpenCommands.
  int mailSite = 0, fileSite = 0;
  inAllSites(L",-", "\nRemoving separator to MailSite", "\nRemoving separator to FileSite");
  if (editor) {
    inAllSites(L",RPDFIManAddon.CreatePDF_CM", "\nCheck MailSite openoverride",
               "\nCheck FileSite openoverride", &mailSite, &fileSite);
    inAllSites(L",RPDFIManAddon.OpenInPro_CM", "\nCheck MailSite openinpro",
               "\nCheck FileSite openinpro");
  }
  if (converter)
    inAllSites(L",RPDFIManAddon.OpenInCnv_CM", "\nCheck MailSite createpdf",
               "\nCheck FileSite createpdf");
  if (creator && !editor)
    inAllSites(L",RPDFIManAddon.CreatePDF_CM", "\nCheck MailSite openoverride",
               "\nCheck FileSite openoverride", &mailSite, &fileSite);
  kLog.Trace("DeskSite: %s, MailSite: %s, FileSite: %s", "FALSE", mailSite ? "TRUE" : "FALSE",
             fileSite ? "TRUE" : "FALSE");
  kLog.Trace("UnRegisterOpenCommands enter");
  return mailSite == 1 || fileSite == 1 ? 1 : 0;
}

std::wstring OpenCommandsSiteKey(int site) {
  RegKey key;
  std::wstring path;
  if (OpenSiteKey(site, key, path, false)) return path;
  const wchar_t* fallback = site == kSiteDeskSite ? kThinClientDocument : kOutlookDocument;
  if (key.Open(HKEY_LOCAL_MACHINE, fallback, KEY_READ) == ERROR_SUCCESS) return fallback;
  return {};
}

}  // namespace vpdf
