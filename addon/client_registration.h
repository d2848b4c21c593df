// Client registration: the add-in's menu (with a "new PDF" sub-menu on clients without the ribbon)
// and toolbar in the DMS desktop client's registry configuration under HKLM.
#pragma once
#include <windows.h>

#include <string>

namespace vpdf {

// Writes the menu and toolbar under the first client base key that opens: 1 when a base key
// was found, 0 when none was.
int RegisterHaldenAddonForIManage();
// Removes them again (base keys tried in the order Client\Desksite, 8.0\Desksite,
// iThinClient): 1 when the entries were removed, 0 otherwise.
int UnregisterHaldenAddonForIManage();

// True when the print system lists a printer named "Varnel PDF" (bCreatePrinterIsInstalled).
bool IsCreatePrinterInstalled();

// The client base key below HKLM that registration (forRegistration) or unregistration would
// use; empty when there is none.
std::wstring ClientBaseKey(bool forRegistration);

}  // namespace vpdf
