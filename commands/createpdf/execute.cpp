// Create PDF: the run that copies the selected documents out of the DMS, converts each to PDF,
// merges them in the user's order when asked, and hands every result to SaveResult.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "convutils/resource.h"
#include "commands/command_run.h"
#include "commands/createpdf/create_pdf.h"
#include "commands/execute_guard.h"
#include "convutils/conv_utils.h"
#include "convutils/log.h"
#include "convutils/temp_files.h"
#include "convutils/usage_analytics.h"
#include "dms/doc_select.h"
#include "outside/companions.h"
#include "outside/dms.h"
#include "ui/merge_sort_dlg.h"
#include "ui/message_box.h"
#include "ui/progress_window.h"

// Last: it marks the unbounded string functions of the headers above as deprecated.
#include <strsafe.h>

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreatePDF");

std::wstring Lower(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

bool IsXps(const std::wstring& extension) { return extension == L"xps" || extension == L"oxps"; }

// Selected documents that the run cannot reach are left out with a record, never silently.
void LogLeftOut(LONG from, LONG upper) {
  kLog.Error("Selected document %d cannot be read: documents %d to %d are left out",
             static_cast<int>(from), static_cast<int>(from), static_cast<int>(upper));
}

// One document's conversion, shared by the merge and the single-file path.
struct Conversion {
  std::wstring extension;  // lower case
  OwnedFile copy;
  OwnedFile pdf;
  bool converted = false;
};

// The run's progress window, when it has one.
void StepTo(ProgressWindow* progress, ProgressStep step) {
  if (progress) progress->Step(step);
}
bool Cancelled(ProgressWindow* progress) { return progress && progress->Cancelled(); }

// Copies `document` out and converts the copy. A copy whose conversion failed, or whose run
// was cancelled meanwhile, is deleted again; on success both files stay for the caller. The PDF
// gets a name of its own beside the copy, so that two documents of one name never share a PDF.
Conversion Convert(CCreatePDF_I& command, const dms::Document& document, HRESULT& lastHr,
                   ProgressWindow* progress) {
  Conversion c;
  c.extension = Lower(document.Extension().Value());
  // A free name only: the client makes the copy's file (it never replaces one).
  if (std::wstring path; c.extension != L"pdf" &&
                         SUCCEEDED(FindDocumentTempPath(document, path, c.extension.c_str())))
    c.copy = OwnedFile(std::move(path));
  kLog.Trace("pSelectedDoc: GetTempFile: %S, GetExtension: %S", c.copy.Path().c_str(),
             c.extension.c_str());
  lastHr = command.GetMethods(document.Get());

  if (c.extension == L"pdf") {
    kLog.Trace("pSelectedDoc: bstrExt == pdf");
    return c;
  }
  if (c.copy.Empty()) {
    kLog.Warning("pSelectedDoc: no temporary path");
    return c;
  }
  StepTo(progress, ProgressStep::kCopying);
  lastHr = document.GetCopy(c.copy.Path());
  if (FAILED(lastHr)) {
    kLog.Warning("pSelectedDoc->GetCopy() failed");
    c.copy.Delete();
    return c;
  }
  if (Cancelled(progress)) {
    c.copy.Delete();
    return c;
  }

  c.pdf = CreateNewFileBeside(c.copy.Path(), L".pdf");
  if (c.pdf.Empty()) {
    kLog.Warning("No PDF name beside %S", c.copy.Path().c_str());
    c.copy.Delete();
    return c;
  }

  StepTo(progress, ProgressStep::kConverting);
  if (IsXps(c.extension)) {
    c.converted =
        CConvUtils::ConvertXPSToPDF(c.copy.Path().c_str(), c.pdf.Path().c_str(), 15, 0, 0);
  } else {
    c.converted = CConvUtils::PrintPDFWithHelper(c.copy.Path().c_str(), c.pdf.Path().c_str(),
                                                 false, false);
  }
  if (Cancelled(progress)) {
    c.converted = false;
  } else if (!c.converted) {
    kLog.Warning("Conversion to PDF failed: %S", c.copy.Path().c_str());
  }
  if (!c.converted) {
    c.copy.Delete();
    c.pdf.Delete();
  }
  return c;
}

enum class Outcome { kGoOn, kEnd };

// One PDF per document, in selection order, each saved on its own.
Outcome SingleFiles(CCreatePDF_I& command, VARIANT* selection, LONG lower, LONG upper,
                    ProgressWindow& progress, RunOutcome& outcome) {
  kLog.Trace("!MergeSortDlg");
  outcome.Asked(static_cast<int>(upper - lower + 1));
  for (LONG i = lower; i <= upper && !progress.Cancelled(); ++i) {
    LONG index = i;
    ComPtr<IDispatch> selected;
    if (FAILED(command.GetSelectedDoc(selection, &index, selected.Put()))) {
      LogLeftOut(i, upper);
      outcome.LeftOut(static_cast<int>(upper - i + 1));  // this one and the rest
      if (index == -1) return Outcome::kEnd;
      break;
    }
    dms::Document document{selected};
    progress.Document(static_cast<int>(i - lower + 1), ProgressLine(document));
    HRESULT hr = S_OK;
    Conversion c = Convert(command, document, hr, &progress);
    if (!c.converted) {
      outcome.LeftOut();
      continue;
    }
    progress.Step(ProgressStep::kSaving);
    if (progress.WasCancelled()) break;  // no save question after Cancel
    // After the last document only the person's save dialogs are left: the window goes.
    if (i == upper) progress.Close();
    // SaveResult deletes both files, whatever way it ends.
    const std::wstring pdf = c.pdf.Release(), copy = c.copy.Release();
    command.SaveResult(selected.Get(), pdf, copy, {selected}, false);
  }
  return Outcome::kGoOn;
}

// Whether the merge plug-in can be used; when not, the user is told which file is missing
// where, before anything is copied out or converted.
bool MergePluginReady(int langOffset) {
  if (outside::PdfJoinPlugin()) return true;
  const std::wstring folder = outside::CompanionFolder();
  kLog.Error("PdfJoinPlugin not available: %S%S is missing or incomplete", folder.c_str(),
             outside::kMergePluginFile);
  std::wstring text = Bstr::Adopt(LoadResString(IDS_MERGE_PLUGIN_MISSING + langOffset)).Str();
  std::size_t at = 0;
  for (const std::wstring& part : {std::wstring(outside::kMergePluginFile), folder}) {
    at = text.find(L"%s", at);
    if (at == std::wstring::npos) break;
    text.replace(at, 2, part);
    at += part.size();
  }
  VPDFMessageBox(GetActiveWindow(), text.c_str(), nullptr, MB_OK | MB_ICONERROR);
  return false;
}

// The PDFs merged into the first one through the merge plug-in: its last result, 0 on success.
int MergeIntoFirst(const std::vector<std::wstring>& pdfs) {
  const outside::PdfJoin* join = outside::PdfJoinPlugin();
  if (!join) {
    kLog.Error("PdfJoinPlugin not available");
    return -1;
  }
  int result = join->InitPDFAttach(0);
  kLog.Trace("InitPDFAttach() %d", result);
  if (result != 0) return result;
  void* handle = nullptr;
  int step = join->DoOpenFile(pdfs.front().c_str(), &handle, "");
  kLog.Trace("DoOpenFile() %d", step);
  for (std::size_t i = 1; i < pdfs.size(); ++i) {
    step = join->DoMerge2(handle, pdfs[i].c_str(), L"", L"", L"", L"", "", 0);
    kLog.Trace("DoMerge2() %d", step);
  }
  step = join->DoSaveFile(pdfs.front().c_str(), handle, 0);
  kLog.Trace("DoSaveFile() %d", step);
  return join->EndPDFAttach(0);
}

// The documents of the dialog's list converted, merged in that order and saved once.
void MergeFiles(CCreatePDF_I& command, const doc_list& ordered, ProgressWindow& progress,
                RunOutcome& outcome) {
  kLog.Trace("Merge ....");
  outcome.Asked(static_cast<int>(ordered.size()));
  CCreatePDF_I::merging = 1;
  {
    CCreatePDF_I::MergeState state;
    state.progress = &progress;
    int number = 0;
    for (const auto& record : ordered) {
      if (progress.Cancelled()) break;
      ++number;
      const std::size_t before = state.pdfs.size();
      if (record) {
        progress.Document(number, ProgressLine(dms::Document{ComPtr<IDispatch>(record->document())}));
        command.ConvertForMerge(state, *record);
      } else {
        kLog.Error("Merge: document %d has no record and is left out", number);
      }
      if (state.pdfs.size() == before) outcome.LeftOut();
    }
    if (progress.Cancelled()) {
      // nothing is merged; the state deletes the PDFs made so far
    } else if (state.pdfs.empty() || !state.first) {
      kLog.Warning("Merge: no document could be converted");
    } else {
      progress.Step(ProgressStep::kMerging);
      int result = MergeIntoFirst(state.pdfs);
      kLog.Trace("SaveResult() %d", result);
      // A plug-in that answers success but leaves no PDF has merged nothing.
      if (result == 0 && !CConvUtils::IsPdfOutput(state.firstPdf)) {
        kLog.Error("Merged file not found: %S", state.firstPdf);
        result = -1;
      }
      if (result != 0) outcome.Failed(IDS_REASON_NOT_MERGED);
      if (result == 0 && !progress.Cancelled()) progress.Step(ProgressStep::kSaving);
      if (result == 0 && !progress.WasCancelled()) {
        progress.Close();  // only the person's save dialogs are left
        // SaveResult deletes the merged file, whatever way it ends. The copies are gone
        // already: it gets no source file to delete.
        state.pdfFiles.front().Release();
        command.SaveResult(state.first.Get(), state.firstPdf, L"", state.documents, true);
      }
    }
  }  // the state deletes every PDF that is left
  CCreatePDF_I::merging = 0;
}

}  // namespace

void CCreatePDF_I::ConvertForMerge(MergeState& state, const doc_description_COM& record) {
  dms::Document document{ComPtr<IDispatch>(record.document())};
  Conversion c = Convert(*this, document, state.hr, state.progress);
  if (!c.converted) return;
  state.pdfs.push_back(c.pdf.Path());
  state.documents.push_back(ComPtr<IDispatch>(record.document()));
  if (!state.first) {
    state.first = ComPtr<IDispatch>(record.document());
    StringCchCopyW(state.firstPdf, MAX_PATH, c.pdf.Path().c_str());
  }
  // The copy goes now, so that a merge never holds more than one; its PDF keeps a name of its own.
  c.copy.Delete();
  state.pdfFiles.push_back(std::move(c.pdf));
}

HRESULT CCreatePDF_I::OnExecute() {
  if (busy == 1) return S_OK;
  const OneRunAtATime run(m_langOffset);
  if (run.Refused()) return S_OK;
  merging = 0;
  RunOutcome outcome(IDS_NOT_FINISHED_STORED, IDS_CREATEPDF_MENU, m_langOffset);
  m_outcome = &outcome;

  const bool finished = RunGuarded(kLog, [&] {
    ReportCommandUsage(L"Create PDF", L"From DMS");

    kLog.Trace("****************** CreatePDF Execute() START ******************");
    Variant selection;
    if (!ReadSelectionValue(ContextRead(), selection)) return;
    LONG lower = 0, upper = 0;
    SelectionFault fault = SelectionFault::kNone;
    if (FAILED(GetBounds(selection.Get(), &lower, &upper, &fault))) {
      if (BoundsUnreadable(fault)) outcome.Failed(IDS_REASON_UNEXPECTED);
      return;
    }

    doc_list list;
    if (upper > lower) {
      for (LONG i = lower; i <= upper; ++i) {
        LONG index = i;
        ComPtr<IDispatch> document;
        if (FAILED(GetSelectedDoc(selection.Get(), &index, document.Put())) ||
            FAILED(AppendDocDescription(document.Get(), list))) {
          LogLeftOut(i, upper);
          outcome.Asked(static_cast<int>(upper - i + 1));  // never reach the merge's count
          outcome.LeftOut(static_cast<int>(upper - i + 1));
          if (index == -1) return;
          break;
        }
      }
    }

    bool merge = false;
    doc_list ordered;
    if (!list.empty()) {
      m_langOffset = DetectUILanguage();
      outcome.SetLanguage(m_langOffset);
      kLog.Trace("CCreatePDF_I::Execute() m_langOffset : %d", m_langOffset);
      kLog.Trace("MergeSortDlg");
      busy = 1;
      MergeSortDlg dialog(L"iManage Work", L"merge_dialog_size", false, AsDocDescriptions(list),
                          m_langOffset, ApplicationMainWindow());
      const INT_PTR result = dialog.DoModal();
      if (result != IDOK) {
        // A dialog that could not be shown, or whose handling failed, is no Cancel.
        if (result == -1)
          outcome.Failed(IDS_REASON_UNEXPECTED);
        else
          outcome.Cancelled();
        if (result == IDCANCEL)
          kLog.Trace("IDCANCEL");
        else if (result == IDABORT || result == 5)
          kLog.Trace("IDABORT");
        else
          kLog.Trace("S_OK %d", static_cast<int>(result));
        return;
      }
      kLog.Trace("MergeSortDlg IDOK");
      merge = dialog.merge_documents();
      ordered = dialog.output_as<doc_description_COM>();
      if (merge && !MergePluginReady(m_langOffset)) return;
    }

    // Only now, so that it never stands in front of the merge dialog.
    const int total = merge ? static_cast<int>(ordered.size()) : static_cast<int>(upper - lower + 1);
    ProgressWindow progress(IDS_CREATEPDF_MENU + m_langOffset, total, m_langOffset,
                            ApplicationMainWindow());
    Outcome ended = Outcome::kGoOn;
    if (merge)
      MergeFiles(*this, ordered, progress, outcome);
    else
      ended = SingleFiles(*this, selection.Get(), lower, upper, progress, outcome);
    if (progress.WasCancelled()) {
      outcome.Cancelled();
      kLog.Trace("CreatePDF Execute() cancelled by the user: nothing more converted or saved");
    }
    if (ended == Outcome::kEnd) return;
    kLog.Trace("******************* CreatePDF Execute() END *******************");
  });
  // Every way out, thrown or not, ends the run.
  busy = 0;
  merging = 0;
  m_outcome = nullptr;
  if (!finished) outcome.Failed(IDS_REASON_UNEXPECTED);
  outcome.Tell();
  return S_OK;
}

}  // namespace vpdf
