// Import of a local file as a new DMS document through the client's own commands: silently
// through its import command, or through its new-document command with the profile dialog.
// Used by Create PDF and by the New PDF commands.
#pragma once
#include <windows.h>

#include <string>

#include "outside/dms.h"

namespace vpdf {

// The application name under which the add-in checks documents in and writes history.
inline constexpr wchar_t kHistoryApplication[] = L"Ostrel Varnel PDF";
// Activity code of the add-in's history entries.
inline constexpr LONG kHistoryActivity = 9;
// The activity that a check-in records.
inline constexpr LONG kCheckInActivity = 3;

// Imports `path` as a new document titled `title` into the DMS of `session`, in `folder`
// when one is given. Silent when UseProfile is off and IManExt2.dll is installed: the new
// document, when it comes back checked out, gets `historyComment` (when not empty) as a
// history entry and is checked in from `path`. Otherwise the client's new-document command
// asks the user for the profile.
// S_OK with the new document in `newDocument`; S_FALSE when nothing was imported (the
// command is not available, or the user cancelled); E_INVALIDARG without a session or a
// path; else the failure of the client command or of the check-in.
HRESULT ImportNewDocument(const std::wstring& path, const std::wstring& title,
                          const dms::Session& session, const dms::Object& folder,
                          dms::Document& newDocument, const std::wstring& historyComment);

}  // namespace vpdf
