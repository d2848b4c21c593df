#include "commands/open/open_in_pro.h"
#include "commands/command_run.h"

#include <string>

#include "convutils/resource.h"
#include "commands/execute_guard.h"
#include "commands/selected_items.h"
#include "convutils/conv_utils.h"
#include "convutils/log.h"
#include "convutils/resource_library.h"
#include "convutils/temp_files.h"
#include "convutils/usage_analytics.h"
#include "dms/client_options.h"
#include "dms/working_copy.h"
#include "ui/message_box.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\OpenPDF");

constexpr wchar_t kApplication[] = L"Ostrel Varnel PDF";
constexpr size_t kParametersCapacity = 263;

// The name of a user, a database or a session that the object model answers; empty when the
// object or its name cannot be read.
template <class Named>
std::wstring NameOf(const dms::Got<Named>& named) {
  if (!named.Ok() || !named.value) return {};
  auto name = named.value.Name();
  return name.Ok() ? name.value : std::wstring();
}

// The names that every link file of one run carries, read from its first document: a database
// or session that cannot be read ends the run with that error.
HRESULT ReadLinkNames(const dms::Document& document, std::wstring& database,
                      std::wstring& session) {
  auto databaseObject = document.GetDatabase();
  if (databaseObject.Ok() && !databaseObject.value) databaseObject.hr = E_POINTER;
  if (!databaseObject.Ok()) {
    kLog.Error("Failed: pSelectedDoc->get_Database");
    return databaseObject.hr;
  }
  database = NameOf(databaseObject);
  auto sessionObject = databaseObject.value.GetSession();
  if (sessionObject.Ok() && !sessionObject.value) sessionObject.hr = E_POINTER;
  if (!sessionObject.Ok()) {
    kLog.Error("Failed: pINRTDatabase->get_Session(&pINRTSession");
    return sessionObject.hr;
  }
  session = NameOf(sessionObject);
  return S_OK;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(),
                        size, nullptr, nullptr);
  return narrow;
}

// What the link file beside a temporary copy holds; read before the check-out, so that a
// document whose number cannot be read is never left checked out.
HRESULT LinkText(const dms::Document& document, const std::wstring& session,
                 const std::wstring& database, std::string& text) {
  dms::Got<LONG> number = document.Number();
  dms::Got<LONG> version = document.Version();
  if (!number.Ok()) return number.hr;
  if (!version.Ok()) return version.hr;
  text = std::to_string(number.value) + "@@@@@" + std::to_string(version.value) + "@@@@@" +
         Narrow(session) + "@@@@@" + Narrow(database);
  return S_OK;
}

}  // namespace

HRESULT COpenInPro_I::OnUpdate() {
  kLog.Trace("COpenInPro_I::Update() enter");
  LONG status = kDisabled;
  if (!SelectionStatusOf(
          [](const std::wstring& extension) { return SameTextNoCase(extension, L"PDF"); },
          status))
    return S_OK;
  put_Status(status);
  kLog.Trace("COpenInPro_I::Update() - exit");
  return S_OK;
}

HRESULT COpenInPro_I::OnExecute() {
  const OneRunAtATime run(m_langOffset);
  if (run.Refused()) return S_OK;
  HRESULT result = S_OK;
  RunOutcome outcome(IDS_NOT_FINISHED_OPENED, IDS_OPENINPRO_MENU, m_langOffset, IDS_NOT_OPENED_COUNT);
  // The documents asked for, and how far the run got.
  LONG lower = 0, upper = -1, reached = 0;
  bool selectionRead = false;
  const bool finished = RunGuarded(kLog, [&] {
    kLog.Trace("COpenInPro Execute() enter ");
    ReportCommandUsage(L"Open", L"Varnel PDF");

    Variant selection;
    LONG first = 0, last = -1;
    SelectionFault fault = SelectionFault::kNone;
    if (ReadSelection(selection, first, last, &fault) != S_OK) {
      if (BoundsUnreadable(fault)) outcome.Failed(IDS_REASON_UNEXPECTED);
      return;
    }
    lower = reached = first;
    upper = last;
    selectionRead = true;

    const bool temporary = UseTempForOpen();
    std::wstring database, session;
    bool namesRead = false;
    for (LONG i = lower; i <= upper; reached = ++i) {
      ComPtr<IDispatch> element;
      result = SelectionElement(selection.Get(), i, element);
      if (FAILED(result)) {
        outcome.Failed(IDS_REASON_UNEXPECTED);
        continue;
      }
      dms::Document document;
      result = SelectedDocument(element.Get(), document);
      if (FAILED(result)) break;
      if (!namesRead) {
        result = ReadLinkNames(document, database, session);
        if (FAILED(result)) return;
        namesRead = true;
      }
      result = Open(document, temporary, session, database, outcome);
      if (FAILED(result)) outcome.Failed(IDS_REASON_UNEXPECTED);
    }

    if (SUCCEEDED(result)) {
      VARIANT_BOOL refresh = VARIANT_TRUE;
      SetContextValue(L"iManExt.Refresh", VT_BOOL, &refresh);
    }
    kLog.Trace("COpenInPro Execute() leave \n");
  });
  // The documents the run did not reach are not opened either.
  outcome.Failed(IDS_REASON_UNEXPECTED, static_cast<int>(upper - reached + 1));
  if (!finished && !selectionRead) outcome.Failed(IDS_REASON_UNEXPECTED);
  outcome.Tell();
  return result;
}

HRESULT COpenInPro_I::Open(const dms::Document& document, bool temporary,
                           const std::wstring& session, const std::wstring& database,
                           RunOutcome& outcome) {
  // What this run makes for the document is the editor's once it starts; until then it is ours.
  WorkingCopy copy;
  const HRESULT placed =
      copy.Locate(document, temporary ? CopyPlace::kTemporary : CopyPlace::kPortable);
  const bool havePath = SUCCEEDED(placed) && !copy.Path().empty();
  kLog.Trace("Open file %S", copy.Path().c_str());

  std::string linkText;
  auto checkedOut = document.CheckedOut();
  if (checkedOut.Ok() && checkedOut.value) {
    kLog.Trace("pSelectedDoc->CheckedOut = TRUE");
    const std::wstring user = NameOf(document.InUseBy());
    auto checkoutPath = document.CheckoutPath();
    const std::wstring checkoutFile = checkoutPath.Ok() ? checkoutPath.value : L"";
    kLog.Trace("pSelectedDoc strUser:[%S] strDatabase:[%S], checkOutPath:[%S] ", user.c_str(),
               NameOf(document.GetDatabase()).c_str(), checkoutFile.c_str());
    if (FileExists(checkoutFile.c_str())) {
      copy.UseExisting(checkoutFile);
    } else {
      if (!havePath) return FAILED(placed) ? placed : E_FAIL;
      const HRESULT copied = copy.Fetch(true);
      if (FAILED(copied)) return copied;
      kLog.Trace("pSelectedDoc->GetCopy success");
    }
    // A read-only copy that the user does not want goes again, unless it was there before.
    const int answer = OpenReadOnly(user);
    if (answer != IDYES) {
      // A question that could not be asked opened nothing the person wanted.
      if (answer == IDNO) outcome.Declined();
      return answer == IDNO ? S_OK : E_FAIL;
    }
    if (!temporary) copy.KeepFile();
    kLog.Trace("pSelectedDoc IDS_ALREADY_CHECKED");
    if (temporary) {
      const HRESULT read = LinkText(document, session, database, linkText);
      if (FAILED(read)) return read;
    }
  } else {
    kLog.Trace("pSelectedDoc->CheckedOut = FALSE");
    // Nothing is checked out to a path that could not be built.
    if (!havePath) {
      kLog.Error("No local path for the document: 0x%08X", static_cast<unsigned>(placed));
      return FAILED(placed) ? placed : E_FAIL;
    }
    if (temporary) {
      const HRESULT read = LinkText(document, session, database, linkText);
      if (FAILED(read)) return read;
    }
    copy.CheckOut();
    auto again = document.CheckedOut();
    kLog.Trace("pSelectedDoc->CheckedOut hr %d checked %d", static_cast<int>(again.hr),
               again.Ok() && again.value ? 1 : 0);
  }

  if (temporary)
    copy.WriteLinkFile(linkText);
  else
    copy.WriteProfileFiles();
  // An editor that did not start leaves the document to nobody, and no files of this run.
  if (!LaunchPDFPro(copy.Path())) {
    outcome.Failed(IDS_REASON_NO_PROGRAM);
    return S_OK;
  }
  copy.Keep();
  outcome.Delivered();
  return S_OK;
}

int COpenInPro_I::OpenReadOnly(const std::wstring& user) {
  std::wstring text = Bstr::Adopt(LoadResString(IDS_ALREADY_CHECKED + m_langOffset)).Str();
  if (const size_t slot = text.find(L"%s"); slot != std::wstring::npos)
    text.replace(slot, 2, user);
  return VPDFMessageBox(GetActiveWindow(), text.c_str(), kApplication, MB_YESNO | MB_ICONQUESTION);
}

bool COpenInPro_I::LaunchPDFPro(const std::wstring& path) {
  kLog.Trace("LaunchPDFPro enter");
  kLog.Trace("with %S", path.c_str());
  const std::wstring editor =
      CConvUtils::HelperInFolder(CConvUtils::ReadAgentInstallFolder(), L"bin\\varnelpdf.exe");
  if (editor.empty()) return false;
  std::wstring parameters = L"\"" + path + L"\"";
  if (parameters.size() >= kParametersCapacity) parameters.resize(kParametersCapacity - 1);
  kLog.Trace("ShellExecuteEx with %S", editor.c_str());
  const bool started = CConvUtils::LaunchWithShell(editor, parameters, SW_SHOWNORMAL);
  if (started) kLog.Trace("ShellExecuteEx success");
  if (!started) NoteShellMessageOfMissing(editor);
  kLog.Trace("LaunchPDFPro leave");
  return started;
}

}  // namespace vpdf
