// The companion files written beside the local copy of a DMS document that the PDF editor
// opens in portable mode: the profile file (".prf", a UTF-16 ini file with the sections
// [PROF] and [DOCPROF]) and the ".mhc" file (one text of the document, UTF-16). Both lie in the
// folder of the copy and share its base name.
#pragma once
#include <windows.h>

#include <string>

#include "outside/dms.h"

namespace vpdf {

// The local time-zone bias as the profile file writes it.
struct TimeZoneSpanTexts {
  std::wstring low = L"0l";  // "UTCDL"
  std::wstring high = L"0";  // "UTCDH"
};

// "UTCDL" and "UTCDH" from what GetTimeZoneInformation filled in (`tzi`) and answered
// (`zoneState`). Total = Bias plus the daylight bias in daylight time, else the standard bias
// (minutes). UTCDL: the low 32 bits of total x 600,000,000, unsigned, followed by "l". UTCDH:
// total x 100 / 720 truncated toward zero, plus (Bias / 800 truncated) - 1 when Bias is
// negative. The zone's values are logged. TIME_ZONE_ID_INVALID gives "0l" and "0" and no log.
TimeZoneSpanTexts TimeZoneSpan(const TIME_ZONE_INFORMATION& tzi, DWORD zoneState);

// Writes the profile file of `document` and sets `profilePath` to it. The base path is the
// document's CheckoutPath when a file is there, else `localPath` when that file exists; the
// profile file is the base path with the extension ".prf". A new file starts with a UTF-16
// byte order mark and a line feed, so that the private-profile writer keeps it UTF-16; other
// sections of an existing file stay, [PROF] and [DOCPROF] are written afresh. Values the
// object model does not deliver are written empty (LASTUSER and INUSEBY are then left out).
// E_FAIL, with nothing written and `profilePath` empty, when neither file exists or the base
// path is MAX_PATH characters or longer; S_OK otherwise. A null `document` raises
// ComError(E_POINTER).
HRESULT WriteDocumentProfile(dms::Document document, std::wstring& profilePath,
                             std::wstring localPath);

// Writes the document's ".mhc" text beside the base path (chosen as above, with the extension
// ".mhc") as UTF-16: FF FE and the characters, no terminator. An existing ".mhc" file is
// deleted first when the text could be read; an empty text writes no file. Answers the result
// of reading the text, or E_FAIL (nothing written, `mhcPath` empty) when neither file exists.
// A null `document` raises ComError(E_POINTER).
HRESULT WriteMhcFile(dms::Document document, std::wstring& mhcPath, std::wstring localPath);

}  // namespace vpdf
