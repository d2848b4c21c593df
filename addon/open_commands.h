// Open-command registration: the context-menu variants of Create PDF, Open with the PDF editor and
// Open with the conversion tool in the DMS clients' document menus. Each menu is the
// comma-separated list in a registry value `Commands` ("-" is a separator entry); registration
// inserts the add-in's entries after the first separator and unregistration takes them out again,
// both by text replacement.
#pragma once
#include <windows.h>

#include <string>

#include "convutils/comutil.h"

namespace vpdf {

// The `site` argument of Modify.
enum OpenCommandSite { kSiteDeskSite = 0, kSiteMailSite = 1, kSiteFileSite = 2 };

// Inserts the add-in's entries into the three sites' lists. Always 0.
int RegisterOpenCommands();
// Takes them out again. 1 when the last replacement of the CreatePDF_CM entry stored the
// MailSite or the FileSite list, else 0 (also 0 when no product component is present).
int UnRegisterOpenCommands();

// The product components, from the files under InstallPath of HKLM\Software\Ostrel\PDF\V1:
// editor bin\varnelpdf.exe, converter vpdfassist.exe, creator bin\vpdfcreate.exe.
void IsComponentInstalled(bool& editor, bool& converter, bool& creator);
// The editor alone (bin\\varnelpdf.exe), as the client registration asks for it.
bool IsEditorInstalled();
// True when `path` names an existing file (not a folder).
bool IsExistingFile(const std::wstring& path);

// ReplaceCommand on the `Commands` list of one site (the first WorkSite version key that has
// the site's path, else the site's fallback keys). 1 when the new list was stored.
int Modify(int site, const wchar_t* find, const wchar_t* replace, bool all);

// ReplaceStr on the value `Commands` of `key` and stores the result; closes `key`.
// 1 when the new list was stored, 0 otherwise (no key, no list, write failure).
int ReplaceCommand(RegKey& key, const wchar_t* find, const wchar_t* replace, bool all);

// With `find`: replaces its first occurrence (every occurrence with `all`) by `replace`, or by
// nothing when `replace` is null. Without `find`: appends `replace` unless `text` holds it.
void ReplaceStr(std::wstring& text, const wchar_t* find, const wchar_t* replace, bool all);

// The document menu of the installed desktop client.
class CDSMenuExt {
 public:
  // Chooses the client base key: the first of 8.0\Desksite, Client\Desksite, iThinClient,
  // 8.0\Filesite that opens for reading under HKLM; empty when none does.
  CDSMenuExt();
  virtual ~CDSMenuExt();

  // True when the document menu's `Commands` value contains `name` (as a substring).
  bool IsInDocumentMenu(const wchar_t* name) const;

  const std::wstring& Regbase() const { return m_csRegbase; }
  // The document menu key below HKLM; empty when there is no base key.
  std::wstring DocumentMenuKey() const;

 protected:
  std::wstring m_csRegbase;
};

// For reports: the key (below its root) whose `Commands` list Modify would change for `site`,
// or an empty path when there is none. `root` is HKLM for every list.
std::wstring OpenCommandsSiteKey(int site);

}  // namespace vpdf
