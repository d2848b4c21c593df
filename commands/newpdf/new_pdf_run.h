// What the two New PDF commands share: whether the client has a DMS session, and the session
// that receives the new document.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "commands/command_impl.h"
#include "convutils/temp_files.h"
#include "outside/dms.h"

namespace vpdf {

// What the two New PDF commands share: their availability (enabled when the client has at
// least one DMS session).
class CNewPdfCommand : public ICommandImpl {
 public:
  HRESULT OnUpdate() override;

 protected:
  CNewPdfCommand(CommandFamily family, Placement placement)
      : m_langOffset(TakeIdentity(family, placement)) {}

  int m_langOffset = 0;  // added to the id of every localised resource
};

// True when "NRTSessions", or else the session collection of "NRTDMS", counts at least one
// session. Never throws.
bool HasSession(const ContextReader& read);

// The first session of the "NRTDMS" object (Item 1 of its sessions); empty when there is none.
// Never throws.
dms::Session FirstSession(const ContextReader& read);

// The session of the database of the first element of "SelectedIManContents": of the folder's
// database, the document's database or the element itself when it is a database. False when
// there is no such item or no database; a failing object-model call counts as no item.
bool SessionOfSelectedContents(const ContextReader& read, dms::Session& session);

// The session of "SelectedContainer": of the folder's database, of the container itself when
// it is a database, or the container when it is a session. False (session untouched) when
// there is no such item or it is none of these. A failing object-model call raises ComError.
bool SessionOfContainer(const ContextReader& read, dms::Session& session);

// `path` with everything from the last point of its file name replaced by `extension`
// (appended when the name has no point).
std::wstring ReplaceExtension(const std::wstring& path, const wchar_t* extension);

}  // namespace vpdf
