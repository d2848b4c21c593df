// Create PDF: storing the converted PDF in the DMS (new document, new version) or locally.
#include <windows.h>
#include <commdlg.h>

#include <exception>
#include <string>

#include "convutils/resource.h"
#include "commands/command_run.h"
#include "commands/createpdf/create_pdf.h"
#include "dms/event_sinks.h"
#include "commands/import_document.h"
#include "convutils/entry_guard.h"
#include "convutils/log.h"
#include "convutils/temp_files.h"
#include "dms/client_options.h"
#include "dms/doc_select.h"
#include "dms/working_copy.h"
#include "outside/dms.h"
#include "ui/how_to_save_dlg.h"
#include "ui/message_box.h"
#include "ui/progress_window.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreatePDF");

constexpr wchar_t kSettingsSubkey[] = L"iManage Work";
constexpr wchar_t kBuiltInQuestion[] =
    L"'%s' has been converted to a PDF file.\nDo you want to save %s to iManage database";
constexpr wchar_t kHistoryFallback[] = L"%d_%d_%s";
// Checkout lasts a sixth of a day (4 hours).
constexpr DWORD kSaveAsFlags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOREADONLYRETURN;
constexpr DWORD kSaveAsBuffer = 270;

// The texts of the save question are English whatever the command's language: this offset
// stays 0 for the whole process.
int g_questionLanguageOffset = 0;

std::wstring ResString(UINT id) {
  Bstr text = Bstr::Adopt(LoadResString(id));
  return text.Str();
}

// `format` with the placeholders at `positions` (each two characters long) replaced by
// `values`. The resource texts are filled by hand rather than through printf: a translation
// may carry any other '%' sequence.
std::wstring Fill(const std::wstring& format, const std::vector<size_t>& positions,
                  const std::vector<std::wstring>& values) {
  std::wstring out;
  size_t from = 0;
  for (size_t i = 0; i < positions.size(); ++i) {
    out += format.substr(from, positions[i] - from);
    out += values[i];
    from = positions[i] + 2;
  }
  return out + format.substr(from);
}

// As files of the run: a working folder they leave empty goes with them.
void DeleteTemporaryFiles(const std::wstring& pdfPath, const std::wstring& sourcePath) {
  DeleteRunFile(pdfPath);
  DeleteRunFile(sourcePath);
}

std::wstring ErrorDescription() {
  ComPtr<IErrorInfo> info;
  Bstr description;
  if (GetErrorInfo(0, info.Put()) == S_OK && info) info->GetDescription(description.Put());
  return description.Str();
}

// Item 1 of the document's folders, when it has any.
dms::Object DestinationFolder(const dms::Document& document) {
  dms::Got<dms::Object> folders = document.Folders();
  if (!folders.Ok()) {
    kLog.Warning("SelectedDoc::GetFolders() failed");
    return {};
  }
  dms::Got<LONG> count = folders.value.LongProperty(dms::member::kCount);
  if (!count.Ok()) {
    kLog.Warning("Folders::GetCount() failed");
    return {};
  }
  kLog.Trace("Count is %d", static_cast<int>(count.value));
  if (count.value <= 0) return {};
  dms::Args index;
  index.push_back(Variant::Long(1));
  dms::Got<Variant> item = folders.value.Call(dms::member::kItem, std::move(index));
  VARIANT* v = item.value.Get();
  dms::Object folder;
  if (!item.Ok() || (v->vt != VT_DISPATCH && v->vt != VT_UNKNOWN) ||
      FAILED(dms::Object::Query(v->punkVal, IID_IDispatch, folder))) {
    kLog.Warning("Folders::Item(1) failed");
    return {};
  }
  return folder;
}

// Where a local save ended: stored, not wanted (the file dialog cancelled), or failed.
enum class LocalSave { kStored, kDeclined, kFailed };

// `offered`: the file name the dialog starts with.
LocalSave SaveLocally(const std::wstring& pdfPath, const std::wstring& offered, int langOffset) {
  const std::wstring title = ResString(IDS_SAVE_AS + langOffset);
  // The filter resource holds its own NUL between the parts; the list ends with two.
  std::wstring filter = ResString(IDS_PDF_FILTER + langOffset);
  filter.push_back(L'\0');
  filter.push_back(L'\0');
  wchar_t file[kSaveAsBuffer] = {};
  wchar_t fileTitle[kSaveAsBuffer] = {};
  lstrcpynW(file, offered.c_str(), kSaveAsBuffer);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = GetForegroundWindow();
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = file;
  dialog.nMaxFile = kSaveAsBuffer;
  dialog.lpstrFileTitle = fileTitle;
  dialog.nMaxFileTitle = kSaveAsBuffer;
  dialog.lpstrTitle = title.c_str();
  dialog.lpstrDefExt = L"pdf";
  dialog.Flags = kSaveAsFlags;
  if (!GetSaveFileNameW(&dialog) || !file[0]) return LocalSave::kDeclined;
  if (CopyFileW(pdfPath.c_str(), file, FALSE)) return LocalSave::kStored;
  kLog.Error("Cannot copy file from %S to %S", pdfPath.c_str(), file);
  return LocalSave::kFailed;
}

}  // namespace

std::wstring CCreatePDF_I::SaveQuestion(const std::wstring& format, const std::wstring& first,
                                        const std::wstring& second) {
  size_t one = format.find(L"%s");
  size_t two = one == std::wstring::npos ? one : format.find(L"%s", one + 2);
  if (one == std::wstring::npos || format.size() < 5 || one > format.size() - 5 ||
      two == std::wstring::npos)
    return SaveQuestion(kBuiltInQuestion, first, second);
  return Fill(format, {one, two}, {first, second});
}

std::wstring CCreatePDF_I::HistoryText(const std::wstring& format, LONG number, LONG version,
                                       const std::wstring& database) {
  size_t one = format.find(L"%d");
  size_t two = one == std::wstring::npos ? one : format.find(L"%d", one + 2);
  size_t three = two == std::wstring::npos ? two : format.find(L"%s", two + 2);
  if (three == std::wstring::npos) return HistoryText(kHistoryFallback, number, version, database);
  return Fill(format, {one, two, three},
              {std::to_wstring(number), std::to_wstring(version), database});
}

HRESULT CCreatePDF_I::SaveResult(IDispatch* document, const std::wstring& pdfPath,
                                 const std::wstring& sourcePath,
                                 const std::vector<ComPtr<IDispatch>>& sources, bool merged) {
  kLog.Trace("****************** CreatePDF SaveResult() START ******************");
  // What came of the save, for the run's message.
  auto told = [this](auto&& note) {
    if (m_outcome) note(*m_outcome);
  };
  try {
    dms::Document selected{ComPtr<IDispatch>(document)};

    dms::Got<dms::Database> database = selected.GetDatabase();
    if (!database.Ok()) kLog.Warning("SelectedDoc::Database() failed");
    dms::Object folder = DestinationFolder(selected);

    // A new document object with the PDF as its content; without one nothing can be stored.
    dms::Got<dms::Document> newDoc = database.value.CreateDocument();
    if (!newDoc.Ok()) {
      kLog.Warning("Database::CreateDocument() failed");
      throw ComError(E_POINTER);
    }
    if (FAILED(newDoc.value.PutCheckoutPath(pdfPath))) kLog.Warning("NewDoc::PutCheckoutPath() failed");

    // What the user reads is the document's own name: the files on disk may carry a number
    // or a '_' in its place.
    const std::wstring shown = ShownFileName(selected.Name().value);
    std::wstring extension = selected.Extension().value;
    CharLowerBuffW(extension.data(), static_cast<DWORD>(extension.size()));
    const std::wstring sourceName = shown + L"." + extension;
    const std::wstring pdfName = shown + L".pdf";

    std::wstring message;
    if (merging == 0) {
      message = SaveQuestion(ResString(IDS_SAVE_QUESTION + g_questionLanguageOffset), sourceName,
                             pdfName);
    } else {
      message = SaveQuestion(ResString(IDS_SAVE_QUESTION_MERGED + g_questionLanguageOffset),
                             ResString(IDS_SELECTED_FILES + g_questionLanguageOffset),
                             ResString(IDS_RESULT + g_questionLanguageOffset));
    }

    // A Cancel that came before the question ends the run without it.
    if (ProgressWindow::RunCancelled()) {
      told([](RunOutcome& outcome) { outcome.Cancelled(); });
      DeleteTemporaryFiles(pdfPath, sourcePath);
      kLog.Trace("******************* CreatePDF SaveResult() END *******************");
      return S_OK;
    }
    // From the question until the result is stored the person answers dialogs (the file
    // dialog, the client's browser and profile dialogs): the progress window stays away.
    ProgressWindow::Hidden progressHidden;
    int decision = HowToSaveDlg::kNone;
    bool relate = false;
    {
      HowToSaveDlg dialog(kSettingsSubkey, message, true, m_langOffset, GetActiveWindow());
      // A Cancel of the run that came while the dialog was up counts once it has closed.
      const INT_PTR answer = dialog.DoModal();
      if (answer != IDOK || ProgressWindow::RunCancelled()) {
        // A question that could not be shown is a failure; the person's Cancel is not: of the one
        // result of a merge it ends the run, of one document among several it declines that one.
        told([&](RunOutcome& outcome) {
          if (answer == -1 && !ProgressWindow::RunCancelled())
            outcome.Failed(IDS_REASON_UNEXPECTED);
          else if (merged || ProgressWindow::RunCancelled())
            outcome.Cancelled();
          else
            outcome.Declined();
        });
        DeleteTemporaryFiles(pdfPath, sourcePath);
        kLog.Trace("******************* CreatePDF SaveResult() END *******************");
        return S_OK;
      }
      decision = dialog.decision();
      relate = dialog.relate();
    }
    kLog.Trace("SaveAsResult iDecision %d, bRelate = %S", decision, relate ? L"yes" : L"no");

    if (decision == HowToSaveDlg::kLocalSave) {
      const LocalSave saved = SaveLocally(pdfPath, pdfName, m_langOffset);
      told([&](RunOutcome& outcome) {
        if (saved == LocalSave::kStored) outcome.Delivered();
        if (saved == LocalSave::kDeclined) outcome.Declined();
        if (saved == LocalSave::kFailed) outcome.Failed(IDS_REASON_NOT_SAVED);
      });
    } else if (decision == HowToSaveDlg::kNewDocument) {
      dms::Got<dms::Session> session = database.value.GetSession();
      if (!session.Ok()) kLog.Warning("Database::GetSession() failed");
      const std::wstring& title = shown;
      const std::wstring comment =
          HistoryText(ResString(IDS_HISTORY_NEW + m_langOffset), selected.Number().value,
                      selected.Version().value, database.value.Name().value);
      dms::Document created;
      HRESULT hr = E_FAIL;
      hr = ImportNewDocument(pdfPath, title, session.value, folder, created, comment);
      // S_FALSE: the person cancelled the client's profile dialog.
      told([&](RunOutcome& outcome) {
        if (hr == S_OK) outcome.Delivered();
        if (hr == S_FALSE) outcome.Declined();
        if (FAILED(hr)) outcome.Failed(IDS_REASON_DMS_REFUSED);
      });
      if (SUCCEEDED(hr)) {
        VARIANT_BOOL refresh = VARIANT_TRUE;
        SetContextValue(L"iManExt.Refresh", VT_BOOL, &refresh);
      }
      if (hr == S_OK && relate) {
        for (const ComPtr<IDispatch>& source : sources) {
          dms::Document sourceDoc{source};
          dms::Got<LONG> number = sourceDoc.Number();
          if (!number.Ok()) {
            kLog.Error("pSelectedDoc->get_Number() failed");
            continue;
          }
          bool related = false;
          if (FAILED(created.RelateDocument(number.value, L"", related)) || !related)
            kLog.Error("pNewDoc->RelateDocument() failed");
          std::wstring newDatabase;
          if (dms::Got<dms::Database> db = created.GetDatabase(); db.Ok())
            newDatabase = db.value.Name().value;
          const LONG newNumber = created.Number().value;
          const LONG newVersion = created.Version().value;
          sourceDoc.AddHistory(kHistoryActivity, kHistoryApplication,
                               HistoryText(ResString(IDS_HISTORY_SOURCE + m_langOffset),
                                           newNumber, newVersion, newDatabase));
          related = false;
          if (FAILED(sourceDoc.RelateDocument(newNumber, L"", related)) || !related)
            kLog.Error("pSelectedDoc->RelateDocument() failed");
        }
      }
    } else if (decision == HowToSaveDlg::kNewVersion) {
      dms::Got<dms::Session> session = database.value.GetSession();
      if (!session.Ok()) kLog.Warning("Database::GetSession() failed");
      HRESULT checkedOut = E_FAIL;
      int checkedIn = DML_FAIL;
      if (merged) {
        dms::Document target;
        if (DocSelect(target, session.value) != kDocSelected || !target) {
          checkedIn = DML_CANCELLED;  // nothing picked
        } else {
          const std::wstring name = target.Name().value;
          const LONG number = target.Number().value;
          const LONG version = target.Version().value;
          // Never a check-out to a path that could not be built.
          WorkingCopy copy;
          const HRESULT made = copy.Make(
              target, {UseTempForOpen() ? CopyPlace::kTemporary : CopyPlace::kPortable,
                       CopyAccess::kCheckOut});
          // The check-out file is the client's from here on.
          copy.KeepFile();
          if (copy.Path().empty()) {
            kLog.Error("No local path for the new version's document");
          } else {
            checkedOut = made;
            target.AddHistory(kHistoryActivity, kHistoryApplication,
                              HistoryText(kHistoryFallback, number, version, name));
            // A failed check-in leaves the target to nobody.
            checkedIn = NewVersionCheckIn(pdfPath, target.Get());
            if (checkedIn == DML_SUCCESS) copy.Keep();
          }
        }
      } else {
        // The check-out is this run's until the new version is in: released on every way
        // out, a throwing check-in included.
        WorkingCopy copy;
        checkedOut = copy.CheckOutTo(selected, sourcePath);
        checkedIn = NewVersionCheckIn(pdfPath, selected.Get());
        if (checkedIn == DML_SUCCESS) copy.Keep();
      }
      told([&](RunOutcome& outcome) {
        if (checkedIn == DML_SUCCESS) outcome.Delivered();
        if (checkedIn == DML_FAIL) outcome.Failed(IDS_REASON_DMS_REFUSED);
        if (checkedIn == DML_CANCELLED && merged) outcome.Cancelled();
        if (checkedIn == DML_CANCELLED && !merged) outcome.Declined();
      });
      if (SUCCEEDED(checkedOut)) {
        VARIANT_BOOL refresh = VARIANT_TRUE;
        SetContextValue(L"iManExt.Refresh", VT_BOOL, &refresh);
      }
    }
    DeleteTemporaryFiles(pdfPath, sourcePath);
    kLog.Trace("******************* CreatePDF SaveResult() Safe returning *******************");
    return S_OK;
  } catch (const ComError& error) {
    kLog.Error("Exception in SaveResult, com error is: %S %S", error.Message().c_str(),
               ErrorDescription().c_str());
  } catch (const std::exception& error) {
    kLog.Error("Exception in SaveResult, exception is: %S", WidenAnsi(error.what()).c_str());
  } catch (const std::wstring& text) {
    kLog.Error("Exception in SaveResult, string is: %S", text.c_str());
  } catch (const wchar_t* text) {
    kLog.Error("Exception in SaveResult, string is: %S", text ? text : L"");
  } catch (int code) {
    kLog.Error("Exception in SaveResult, code is: %d", code);
  } catch (...) {
    kLog.Error("Exception in SaveResult");
  }
  // The temporary files belong to this run whatever happened to it; the result is lost.
  told([](RunOutcome& outcome) { outcome.Failed(IDS_REASON_UNEXPECTED); });
  DeleteTemporaryFiles(pdfPath, sourcePath);
  return S_OK;
}

namespace {

// One-element VT_DISPATCH array with `object`.
SafeArray DispatchArrayOf(IDispatch* object, bool& ok) {
  SafeArray array(SafeArrayCreateVector(VT_DISPATCH, 0, 1));
  LONG index = 0;
  ok = array.Get() && object && SUCCEEDED(SafeArrayPutElement(array.Get(), &index, object));
  return array;
}

Variant ArrayVariant(SafeArray& array) {
  Variant value;
  value.Get()->vt = VT_ARRAY | VT_DISPATCH;
  value.Get()->parray = array.Detach();
  return value;
}

// The client's new-version command with its profile dialog, pre-filled from `document`.
// DML_SUCCESS when the new version was checked in, DML_CANCELLED when the person cancelled.
int CheckInThroughCommand(const std::wstring& pdfPath, const dms::Document& document) {
  dms::Got<dms::Database> database = document.GetDatabase();
  dms::Got<dms::Session> session = database.value.GetSession();
  bool ok = false;
  SafeArray documents = DispatchArrayOf(document.Get(), ok);
  if (!ok) {
    kLog.Error("NewVersionCheckIn() put nrtdocument element failed, quit");
    return DML_FAIL;
  }
  SafeArray sessions = DispatchArrayOf(session.value.Get(), ok);
  if (!ok) {
    kLog.Error("NewVersionCheckIn() put session element failed, quit");
    return DML_FAIL;
  }
  kLog.Trace("NewVersionCheckIn() create SimpleSafeArray ");

  ComPtr<IContextItems> items;
  if (FAILED(CreateClientObject(dms::CLSID_ContextItems, __uuidof(IContextItems),
                                items.PutVoid()))) {
    kLog.Error("NewVersionCheckIn() create ContextItems failed, quit");
    return DML_FAIL;
  }
  kLog.Trace("NewVersionCheckIn() create ContextItems ");
  ComPtr<ICommand> command;
  if (FAILED(CreateClientObject(dms::CLSID_NewVersionCmd, __uuidof(ICommand),
                                command.PutVoid()))) {
    kLog.Error("NewVersionCheckIn() create NewVersionCmd failed, quit");
    return DML_FAIL;
  }
  kLog.Trace("NewVersionCheckIn() create NewVersionCmd ");

  AddContextItem(items.Get(), L"SelectedNRTDocuments", ArrayVariant(documents));
  AddContextItem(items.Get(), L"SelectedNRTSessions", ArrayVariant(sessions));
  AddContextItem(items.Get(), L"IManExt.Import.FileName", Variant::String(pdfPath));
  HRESULT hr = command->Initialize(items.Get());
  if (SUCCEEDED(hr)) hr = command->Update();
  LONG status = 1;
  if (SUCCEEDED(hr)) hr = command->get_Status(&status);
  kLog.Trace("NewVersionCheckIn() Initialize NewVersionCmd ");
  if (FAILED(hr) || status != 0) {
    kLog.Error("NewVersionCheckIn() NewVersionCmd not active, quit");
    return DML_FAIL;
  }

  CmdEvents events;
  events.Connect(command.Get());
  {
    // The client's dialogs receive the profile of the document being versioned.
    SourceDocumentScope source(document.Get());
    kLog.Trace("NewVersionCheckIn() nrActiveCommand NewVersionCmd ");
    hr = command->Execute();
    events.Disconnect();
  }
  if (FAILED(hr)) {
    kLog.Error("NewVersionCheckIn() Execute failed, quit");
    return DML_FAIL;
  }
  if (events.Cancelled()) {
    kLog.Trace("NewVersionCheckIn() Operation Canceled, quit");
    return DML_CANCELLED;
  }
  kLog.Trace("NewVersionCheckIn() Execute NewVersionCmd ");

  // The client has made the version: it must be found and both check-ins must run, or it stays
  // in the DMS without its file. A step that throws (an allocation) is tried again once and
  // does not skip the next.
  auto finish = [](const char* step, const auto& body) {
    for (int attempt = 0; attempt < 2; ++attempt)
      if (Guarded(kLog, step, false, [&] { body(); return true; })) return true;
    return false;
  };
  dms::Document created;
  bool found = false;
  finish("reading the new version", [&] {
    Variant result;
    found = SUCCEEDED(ReadContextItem(items.Get(), L"iManExt.NewVersionCmd.Document", result)) &&
            (result.Type() == VT_DISPATCH || result.Type() == VT_UNKNOWN) &&
            SUCCEEDED(dms::Document::From(result.Get()->punkVal, created));
  });
  if (!found) {
    kLog.Error("NewVersionCheckIn() no NewVersionCmd.Document, quit");
    return DML_FAIL;
  }
  kLog.Trace("NewVersionCheckIn() NewVersionCmd.Document ");
  finish("check-in of the original", [&] {
    const std::wstring checkoutPath = document.CheckoutPath().value;
    kLog.Trace("NewVersionCheckIn() CheckoutPath %S ", checkoutPath.c_str());
    dms::Document checkedOut;
    if (SUCCEEDED(dms::Document::From(document.Get(), checkedOut)))
      checkedOut.CheckInEx(checkoutPath, 4, 0, kCheckInActivity, kHistoryApplication, L"", L"");
    kLog.Trace("NewVersionCheckIn() raw_CheckIn ");
  });
  const bool stored = finish("check-in of the new version", [&] {
    created.CheckInEx(created.CheckoutPath().value, 2, 0, kCheckInActivity, kHistoryApplication,
                      L"", L"");
    kLog.Trace("NewVersionCheckIn() pNewNRTDocument->raw_CheckIn");
  });
  return stored ? DML_SUCCESS : DML_FAIL;
}

}  // namespace

int CCreatePDF_I::NewVersionCheckIn(const std::wstring& pdfPath, IDispatch* document) {
  dms::Document checkedOut{ComPtr<IDispatch>(document)};
  bool retry = false;
  for (int round = 0; round < 2; ++round) {
    kLog.Trace("NewVersionCheckIn() begin ");
    if (EnableNewVersionProfileDlg()) {
      kLog.Trace("NewVersionCheckIn() EnableNewVersionProfileDlg ");
      const int done = CheckInThroughCommand(pdfPath, checkedOut);
      if (done == DML_SUCCESS) kLog.Trace("NewVersionCheckIn() return DML_SUCCESS");
      // The option was turned on only for this retry.
      if (retry) SetShowProfileForCheckin(false);
      if (done != DML_SUCCESS) checkedOut.UnlockDocument();
      kLog.Trace("NewVersionCheckIn() leave");
      return done;
    }
    kLog.Trace("NewVersionCheckIn() nrtDocument DocCheckedOut");
    dms::Document direct;
    HRESULT hr = dms::Document::From(document, direct);
    if (SUCCEEDED(hr))
      hr = direct.CheckInEx(pdfPath, 0, 0, kCheckInActivity, kHistoryApplication, L"", L"");
    if (SUCCEEDED(hr)) {
      kLog.Trace("NewVersionCheckIn() raw_CheckIn SUCCEEDED");
      break;
    }
    kLog.Error("NewVersionCheckIn() raw_CheckIn FAILED");
    if (EnableNewVersionProfileDlg() || retry) {
      // As on the command path: a version that was not checked in leaves the document to nobody.
      checkedOut.UnlockDocument();
      kLog.Trace("NewVersionCheckIn() return DML_FAIL");
      kLog.Trace("NewVersionCheckIn() leave");
      return DML_FAIL;
    }
    // Once more through the client's own dialog, which can tell the user what is wrong.
    retry = true;
    SetShowProfileForCheckin(true);
    VPDFMessageBox(GetActiveWindow(), L"General error", kHistoryApplication, MB_ICONERROR);
  }
  kLog.Trace("NewVersionCheckIn() leave");
  return DML_SUCCESS;
}

}  // namespace vpdf
