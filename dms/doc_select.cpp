#include "dms/doc_select.h"

#include <ole2.h>

#include <cwchar>

#include "convutils/conv_utils.h"
#include "convutils/language.h"
#include "convutils/entry_guard.h"
#include "convutils/log.h"
#include "convutils/temp_files.h"
#include "dms/client_options.h"
#include "dms/event_sinks.h"
#include "dms/working_copy.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\DMSConnectors\\iManageCommon\\DMSiManageCommon");

// Every kind of input wakes the wait (QS_ALLINPUT of Windows 8 and later).
constexpr DWORD kAllInput = 0x1CFF;

// English texts of the browser: the ids of the English table, whatever the UI language.
constexpr UINT kNewVersionText = 337;
constexpr UINT kSelectForNewVersionText = 338;

constexpr wchar_t kSelectedIManObjects[] = L"SelectedIManObjects";

DWORD WINAPI CreateContextItemsThreadEntry(LPVOID parameter) {
  auto* collection = static_cast<ComPtr<IContextItems>*>(parameter);
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool initialized = SUCCEEDED(hr);
  hr = GuardedHr(kLog, "CreateContextItems", [&] {
    return CreateClientObject(dms::CLSID_ContextItems, __uuidof(IContextItems),
                              collection->PutVoid());
  });
  if (initialized) CoUninitialize();
  return FAILED(hr) || !*collection ? 1 : 0;
}

// Waits for `thread` to end, dispatching every message that arrives meanwhile.
void PumpUntilEnded(HANDLE thread) {
  for (;;) {
    DWORD wait = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, kAllInput);
    if (wait == WAIT_OBJECT_0 + 1) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      continue;
    }
    if (wait != WAIT_OBJECT_0) WaitForSingleObject(thread, INFINITE);
    return;
  }
}

BOOL CALLBACK FindMainWindow(HWND window, LPARAM parameter) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window) ||
      GetWindow(window, GW_OWNER))
    return TRUE;
  *reinterpret_cast<HWND*>(parameter) = window;
  return FALSE;
}

// One element of the browser's answer as a document: a shortcut is resolved first. False when
// the element is neither a document nor a shortcut to one; other failures are raised.
bool AnswerDocument(IDispatch* element, dms::Document& document) {
  if (!element) return false;
  ComPtr<IUnknown> resolved;
  HRESULT hr = dms::ResolveShortcut(element, resolved);
  IUnknown* candidate = element;
  if (SUCCEEDED(hr)) {
    candidate = resolved.Get();
    if (!candidate) return false;
  } else if (hr != E_NOINTERFACE) {
    throw ComError(hr);
  }
  hr = dms::Document::From(candidate, document);
  if (hr == E_NOINTERFACE) return false;
  ThrowIfFailed(hr);
  return static_cast<bool>(document);
}

// The answer as a one-dimensional array of dispatch interfaces: VT_ARRAY|VT_DISPATCH, or
// VT_ARRAY|VT_UNKNOWN whose elements are marked as dispatch interfaces. A copy, or null.
SAFEARRAY* DispatchArrayOf(const Variant& answer) {
  const VARIANT* value = answer.Get();
  if (!(value->vt & VT_ARRAY) || (value->vt & VT_BYREF) || !value->parray) return nullptr;
  VARTYPE element = value->vt & VT_TYPEMASK;
  bool dispatch = element == VT_DISPATCH ||
                  (element == VT_UNKNOWN && (value->parray->fFeatures & FADF_DISPATCH));
  if (!dispatch || SafeArrayGetDim(value->parray) != 1) return nullptr;
  SAFEARRAY* copy = nullptr;
  if (FAILED(SafeArrayCopy(value->parray, &copy))) return nullptr;
  return copy;
}

// Creates `folder` and every missing parent. Paths shorter than 4 characters or without
// ":\" are not created.
void CreateFolders(const std::wstring& folder) {
  if (folder.size() < 4 || folder.find(L":\\") == std::wstring::npos) return;
  for (size_t at = folder.find(L'\\', folder.find(L":\\") + 2); at != std::wstring::npos;
       at = folder.find(L'\\', at + 1))
    CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
  for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace

HRESULT CreateClientObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  constexpr DWORD kAll = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER |
                         CLSCTX_REMOTE_SERVER;  // 23
  ComPtr<IUnknown> unknown;
  HRESULT hr = CoCreateInstance(clsid, nullptr, kAll, IID_IUnknown, unknown.PutVoid());
  if (FAILED(hr)) return hr;
  hr = OleRun(unknown.Get());
  if (FAILED(hr)) return hr;
  return unknown->QueryInterface(iid, object);
}

HWND ApplicationMainWindow() {
  HWND window = nullptr;
  EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&window));
  return window;
}

bool CreateContextItemsOnWorker(ComPtr<IContextItems>& collection) {
  collection.Reset();
  DWORD threadId = 0;
  Handle thread(CreateThread(nullptr, 0, CreateContextItemsThreadEntry, &collection, 0, &threadId));
  if (!thread) {
    kLog.Error("Failed to create CreateContextItemsThreadEntry thread");
    return false;
  }
  PumpUntilEnded(thread.Get());
  DWORD exitCode = 1;
  if (!GetExitCodeThread(thread.Get(), &exitCode) || exitCode != 0) {
    collection.Reset();
    kLog.Error("DocSelect() could not create contextitems");
    return false;
  }
  return true;
}

int DocSelect(dms::Document& document, dms::Session session) {
  kLog.Trace("DocSelect() Enter");
  document = dms::Document();
  HWND mainWindow = ApplicationMainWindow();
  kLog.Trace("DocSelect() !bUseProfile &&  FindIManExt2 ");

  ComPtr<IContextItems> items;
  if (!CreateContextItemsOnWorker(items)) return kDocSelectFailed;
  kLog.Trace("DocSelect() create contextItems");

  Bstr title = Bstr::Adopt(LoadResString(kSelectForNewVersionText));
  AddContextItem(items.Get(), L"IManExt2.BrowseCmd.WindowTitle", Variant::String(title.c_str()));
  {
    Bstr commandText = Bstr::Adopt(LoadResString(kNewVersionText));
    SafeArray list(SafeArrayCreateVector(VT_BSTR, 0, 1));
    LONG first = 0;
    if (list.Get()) SafeArrayPutElement(list.Get(), &first, commandText.Get() ? commandText.Get() : Bstr(L"").Get());
    Variant commands;
    commands.Put()->vt = VT_ARRAY | VT_BSTR;
    commands.Get()->parray = list.Detach();
    AddContextItem(items.Get(), L"IManExt2.CommandList", commands);
  }
  AddContextItem(items.Get(), L"ParentWindow",
                 Variant::Long(static_cast<LONG>(reinterpret_cast<LONG_PTR>(mainWindow))));
  dms::Got<dms::Object> dmsObject = session.NRTDMS();
  AddContextItem(items.Get(), L"IManDMS", Variant::Dispatch(dmsObject.Ok() ? dmsObject.value.Get() : nullptr));
  AddContextItem(items.Get(), L"IManExt2.MultiFileSelection", Variant::Bool(false));

  Variant answer;
  {
    ComPtr<ICommand> command;
    if (SUCCEEDED(CreateClientObject(dms::CLSID_IManFileOpenCmd, __uuidof(ICommand),
                                     command.PutVoid()))) {
      kLog.Trace("DocSelect() Success Create IManFileOpenCmd");
      LONG status = 1;
      if (SUCCEEDED(command->Initialize(items.Get())) && SUCCEEDED(command->Update()) &&
          FAILED(command->get_Status(&status)))
        status = 1;
      if (status == 0) {
        CmdEvents sink;
        sink.Connect(command.Get());
        kLog.Trace("DocSelect() IManFileOpenCmd nrActiveCommand");
        HRESULT executed = command->Execute();
        sink.Disconnect();
        if (sink.Cancelled()) {
          kLog.Error("DocSelect() operation canceled");
          return kDocSelectCancelled;
        }
        if (FAILED(executed))
          kLog.Error("DocSelect() IManFileOpenCmd Execute() failed, hr: 0x%08lX",
                     static_cast<unsigned long>(executed));
        kLog.Trace("DocSelect() IManFileOpenCmd Execute()");
        if (FAILED(ReadContextItem(items.Get(), kSelectedIManObjects, answer))) {
          kLog.Error("DocSelect() Error SelectedIManObjects");
          return kDocSelectCancelled;
        }
      }
    }
  }
  items.Reset();

  bool found = false;
  SafeArray selected(DispatchArrayOf(answer));
  if (selected.Get()) {
    LONG count = selected.Count();
    kLog.Error("DocSelect() selectedDocList selCount: %d", static_cast<int>(count));
    if (count == 0) {
      kLog.Error("DocSelect() no documents selected");
      return kDocSelectCancelled;
    }
    for (LONG index = selected.Lower(); index < selected.Lower() + count; ++index) {
      ComPtr<IDispatch> element;
      if (FAILED(SafeArrayGetElement(selected.Get(), &index, element.Put()))) continue;
      dms::Document candidate;
      if (!AnswerDocument(element.Get(), candidate)) continue;
      kLog.Trace("DocSelect() Add doc to list: %d", 0);
      document = std::move(candidate);
      found = true;
    }
  }
  kLog.Error("DocSelect() Leave %d", found ? 1 : 0);
  return found ? kDocSelected : kDocSelectFailed;
}

HRESULT DocCreate(dms::Document document, std::wstring& path) {
  const std::wstring extension = TypeExtension(document);

  Bstr desksite;
  HRESULT hr = GetDesksitePath(desksite.Put());
  kLog.Error("DocCreate() GetDesksitePath() %S hr: %d", desksite.c_str(), static_cast<int>(hr));
  std::wstring portable = ReplaceAll(desksite.Str(), L"\\\\", L"\\");
  kLog.Trace("DocCreate() %S", portable.c_str());
  if (portable.find(L'%') != std::wstring::npos) {
    DWORD size = ExpandEnvironmentStringsW(portable.c_str(), nullptr, 0);
    std::wstring expanded(size + 2, L'\0');
    if (size && ExpandEnvironmentStringsW(portable.c_str(), expanded.data(), size + 2)) {
      expanded.resize(wcslen(expanded.c_str()));
      portable = expanded;
    }
    kLog.Trace("DocCreate() GetDesksitePath() %S", portable.c_str());
  }
  // A portable folder that is no full path would put the copy below the current folder.
  if (FAILED(hr) || !IsFullPath(portable)) {
    kLog.Error("DocCreate() the portable folder \"%S\" is not a full path", portable.c_str());
    return FAILED(hr) ? hr : E_FAIL;
  }

  std::wstring databaseName, userId;
  if (dms::Got<dms::Database> database = document.GetDatabase(); database.Ok()) {
    if (dms::Got<std::wstring> name = database.value.Name(); name.Ok()) databaseName = name.value;
    if (dms::Got<dms::Session> session = database.value.GetSession(); session.Ok()) {
      if (dms::Got<std::wstring> user = session.value.UserID(); user.Ok()) userId = user.value;
    }
  }
  // Names from the DMS are one folder level each, never a way out of the portable folder.
  std::wstring folder = portable + SafeFileName(databaseName) + L"\\" + SafeFileName(userId);
  if (folder.size() > MAX_PATH - 1) {
    kLog.Error("DocCreate() folder too long: %S", folder.c_str());
    return E_FAIL;
  }
  CreateFolders(folder);
  // Checked out into a folder that is not there, the document could never be checked in.
  if (!FileExists(folder.c_str())) {
    kLog.Error("DocCreate() cannot create the folder %S", folder.c_str());
    return E_FAIL;
  }

  dms::Got<LONG> number = document.Number();
  if (!number.Ok()) {
    kLog.Error("DocSelect() / get_Number() bad hr, returning");
    return E_FAIL;
  }
  dms::Got<LONG> version = document.Version();
  if (!version.Ok()) {
    kLog.Error("DocSelect() / get_Version() bad hr, returning");
    return E_FAIL;
  }
  wchar_t name[32];
  swprintf(name, 32, L"%d_%d", static_cast<int>(number.value), static_cast<int>(version.value));
  const std::wstring tail = L"." + SafeFileName(extension);
  // A number cut short would name another document. The client's path holds up to MAX_PATH - 1.
  if (FitStem(folder.size() + 1, name, tail, MAX_PATH - 1) != name) {
    kLog.Error("DocCreate() path too long: %S\\%S%S", folder.c_str(), name, tail.c_str());
    return E_FAIL;
  }
  path = folder + L"\\" + name + tail;
  return S_OK;
}

}  // namespace vpdf
