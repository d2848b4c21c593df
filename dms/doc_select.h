// Document selection and creation: the user picks one existing DMS document
// in the client's own file-open browser (DocSelect), and the local path under which the
// client keeps its copy of a document is built (DocCreate). The context-item collection that
// the browser needs is created on a short-lived worker thread while the UI thread keeps
// dispatching its messages (CreateContextItemsOnWorker).
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "IManExt.h"
#include "convutils/comutil.h"
#include "outside/context_items.h"
#include "outside/dms.h"

namespace vpdf {

// Results of DocSelect.
inline constexpr int kDocSelected = 0;
inline constexpr int kDocSelectFailed = -1;
inline constexpr int kDocSelectCancelled = -4;

// Creates a class of the client object model like the client's own smart pointers do: with
// the class context "all" (23), created for IUnknown, run (OleRun), then asked for `iid`.
HRESULT CreateClientObject(REFCLSID clsid, REFIID iid, void** object);

// The application's main window: the first visible top-level window of this process that
// has no owner; null when there is none.
HWND ApplicationMainWindow();

// Creates the client's context-item collection into `collection` on a worker thread with its
// own single-threaded apartment; meanwhile this thread dispatches every message that arrives.
// False (logged) when the thread cannot be started or the collection cannot be created.
bool CreateContextItemsOnWorker(ComPtr<IContextItems>& collection);

// Runs the client's file-open browser (class {EE701CEB-...}) on the DMS of `session` and
// returns kDocSelected with the picked document (an INRTDocument) in `document`;
// kDocSelectFailed when the context items or the browser are not available or the answer
// holds no document; kDocSelectCancelled when the user cancelled or the answer cannot be read
// or is empty. `document` is emptied first; the session reference goes with the call.
// An object-model failure other than E_NOINTERFACE while an answer element is resolved is
// raised as a ComError for the calling command's outer level.
int DocSelect(dms::Document& document, dms::Session session);

// The local path of `document` in the client's portable folder:
// folder + database name + "\" + user id + "\" + number "_" version "." extension, each
// name from the DMS made safe (SafeFileName), creating the folder (and its missing parents).
// S_OK with `path`; E_FAIL when the number or the version cannot be read, the folder part is
// longer than 259 characters, or the whole path would be longer than 254.
HRESULT DocCreate(dms::Document document, std::wstring& path);

}  // namespace vpdf
