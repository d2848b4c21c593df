// What the add-in needs to know about the DMS client installed beside it: its per-user
// options key, the profile dialog of a new-version check-in, whether IManExt2.dll is
// installed, the portable folder, and two settings of the product that steer how documents
// reach the DMS. Nothing here fails: a missing key or value gives the default.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "convutils/comutil.h"

namespace vpdf {

// The client's per-user options (under HKCU: Software\InterWoven\WorkSite, its first version,
// then Common\Advanced Options), else the thin client's (Software\NetRight\iManage\ThinClient,
// its first version, then Advanced Options), opened for reading; an empty key when neither
// exists. "First version" is the subkey at enumeration index 0.
RegKey GetiManageRegPath();

// False only when "Show profile for checkin as newversion" in those options is "N" (any case).
bool EnableNewVersionProfileDlg();

// Writes "Y" (show) or "N" into "Show profile for checkin as newversion" of the client's and
// of the thin client's options key, into each that exists; creates no key.
void SetShowProfileForCheckin(bool show);

// True when IManExt2.dll is in the "path" folder of any version's Common\InstallRoot under
// HKLM\Software\InterWoven\WorkSite. Looked up once; the answer holds for the process.
bool FindIManExt2();

// The client's portable folder, ending with a backslash, from the values of the key
// HKCU\Software\Interwoven\WorkSite\8.0\Common\General\Portable: PORTABLE_DIRECTORY + "\",
// else PORTABLE_DRIVE (or "C") + ":\NrPortbl\", and "C:\NRPortbl\" without that key. The text
// may hold environment variables and a doubled backslash. S_OK with a new string that the
// caller frees (E_POINTER when `path` is null).
HRESULT GetDesksitePath(BSTR* path);

// A non-zero REG_DWORD "UseProfile" under HKCU\Software\Ostrel\PDF\V1\WorkSite: new PDFs go
// through the client's interactive profile dialog instead of the silent import.
bool UseProfile();

// "USE_TEMP_FOR_OPEN" of section "WorkSite" of the DMS profile ini is above 0: local copies go
// to a temporary path instead of the portable folder.
bool UseTempForOpen();

// The DMS document type for a file, by its extension (".docx" gives "WORDX", or "DOCX" when
// USE_OFFICE_TYPES of the DMS profile ini is 1); for PDF the PDFAPPID of the DMS profile ini or
// "ACROBAT". An unknown extension gives the PDF type when the file's content is PDF or XPS,
// else an empty text (no type).
std::wstring DocTypeForFile(const wchar_t* path);

}  // namespace vpdf
