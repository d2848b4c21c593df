// Create PDF: the run that copies the selected documents out of the DMS, converts each to PDF,
// merges them in the user's order when asked, and hands every result to SaveResult.
#include <cstdio>
#include <string>
#include <vector>

#include "addon/resource.h"
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
#include "ui/progress_window.h"

// Last: it marks the unbounded string functions of the headers above as deprecated.
#include <strsafe.h>

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreatePDF");

constexpr wchar_t kSelectedNRTDocuments[] = L"SelectedNRTDocuments";
constexpr wchar_t kSelectedIManObjects[] = L"SelectedIManObjects";
constexpr VARTYPE kSelectionType = VT_ARRAY | VT_DISPATCH;

std::wstring Lower(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

bool IsXps(const std::wstring& extension) { return extension == L"xps" || extension == L"oxps"; }

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void DeleteIfExists(const std::wstring& path) {
  if (!path.empty() && Exists(path)) DeleteFileW(path.c_str());
}

// The copy's path in a MAX_PATH buffer (cut when longer) with its extension replaced by ".pdf".
std::wstring PdfPathFor(const std::wstring& copyPath) {
  wchar_t buffer[MAX_PATH] = {};
  HRESULT hr = StringCchCopyW(buffer, MAX_PATH, copyPath.c_str());
  if (FAILED(hr)) {
    wchar_t code[16];
    StringCchPrintfW(code, 16, L"%X", static_cast<unsigned>(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)));
    const std::wstring text = L"\nStringCchCopy HRESULT=" + std::wstring(code) + L", File=" +
                              WidenAnsi(__FILE__) + L", Line=" + std::to_wstring(__LINE__);
    OutputDebugStringW(text.c_str());
  }
  std::wstring path(buffer);
  const std::size_t slash = path.find_last_of(L"\\/");
  const std::size_t dot = path.rfind(L'.');
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash))
    path.erase(dot);
  return path + L".pdf";
}

// One document's conversion, shared by the merge and the single-file path.
struct Conversion {
  std::wstring extension;  // lower case
  std::wstring copyPath;
  std::wstring pdfPath;
  bool converted = false;
};

// What the progress window says of a document: its description, else its name (a display
// only: a failing read leaves it empty).
std::wstring ProgressName(const dms::Document& document) {
  std::wstring text = document.Description().value;
  return text.empty() ? document.Name().value : text;
}

// The run's progress window, when it has one.
void StepTo(ProgressWindow* progress, ProgressStep step) {
  if (progress) progress->Step(step);
}
bool Cancelled(ProgressWindow* progress) { return progress && progress->Cancelled(); }

// Copies `document` out and converts the copy. A copy whose conversion failed, or whose run
// was cancelled meanwhile, is deleted again; on success both files stay for the caller.
// `taken` lists PDF paths of this run that the new PDF must not overwrite.
Conversion Convert(CCreatePDF_I& command, const dms::Document& document, HRESULT& lastHr,
                   ProgressWindow* progress, const std::vector<std::wstring>& taken = {}) {
  Conversion c;
  c.extension = Lower(document.Extension().Value());
  if (FAILED(MakeDocumentTempPath(document, c.copyPath, c.extension.c_str())))
    c.copyPath.clear();
  kLog.Trace("pSelectedDoc: GetTempFile: %S, GetExtension: %S", c.copyPath.c_str(),
             c.extension.c_str());
  lastHr = command.GetMethods(document.Get());

  if (c.extension == L"pdf") {
    kLog.Trace("pSelectedDoc: bstrExt == pdf");
    return c;
  }
  if (c.copyPath.empty()) {
    kLog.Warning("pSelectedDoc: no temporary path");
    return c;
  }
  StepTo(progress, ProgressStep::kCopying);
  lastHr = document.GetCopy(c.copyPath);
  if (FAILED(lastHr)) {
    kLog.Warning("pSelectedDoc->GetCopy() failed");
    DeleteIfExists(c.copyPath);
    return c;
  }
  if (Cancelled(progress)) {
    DeleteIfExists(c.copyPath);
    return c;
  }

  c.pdfPath = PdfPathFor(c.copyPath);
  // Two documents of one name but different types would share one PDF name.
  auto isTaken = [&](const std::wstring& path) {
    for (const std::wstring& other : taken)
      if (CompareStringOrdinal(other.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL)
        return true;
    return false;
  };
  if (isTaken(c.pdfPath)) {
    const std::wstring stem = c.pdfPath.substr(0, c.pdfPath.size() - 4);
    for (unsigned n = 1; isTaken(c.pdfPath) || Exists(c.pdfPath); ++n) {
      wchar_t number[16];
      StringCchPrintfW(number, 16, L"%.3u", n);
      c.pdfPath = stem + number + L".pdf";
    }
  }

  StepTo(progress, ProgressStep::kConverting);
  if (IsXps(c.extension)) {
    c.converted = CConvUtils::ConvertXPSToPDF(c.copyPath.c_str(), c.pdfPath.c_str(), 15, 0, 0);
  } else {
    c.converted = CConvUtils::PrintPDFWithHelper(c.copyPath.c_str(), c.pdfPath.c_str(), false,
                                                 false);
  }
  if (Cancelled(progress)) {
    c.converted = false;
  } else if (!c.converted) {
    kLog.Warning("Conversion to PDF failed: %S", c.copyPath.c_str());
  }
  if (!c.converted) {
    DeleteIfExists(c.copyPath);
    DeleteIfExists(c.pdfPath);
  }
  return c;
}

enum class Outcome { kGoOn, kEnd };

// One PDF per document, in selection order, each saved on its own.
Outcome SingleFiles(CCreatePDF_I& command, VARIANT* selection, LONG lower, LONG upper,
                    ProgressWindow& progress) {
  kLog.Trace("!MergeSortDlg");
  for (LONG i = lower; i <= upper && !progress.Cancelled(); ++i) {
    LONG index = i;
    ComPtr<IDispatch> selected;
    if (FAILED(command.GetSelectedDoc(selection, &index, selected.Put()))) {
      if (index == -1) return Outcome::kEnd;
      break;
    }
    dms::Document document{selected};
    progress.Document(static_cast<int>(i - lower + 1), ProgressName(document));
    HRESULT hr = S_OK;
    Conversion c = Convert(command, document, hr, &progress);
    if (!c.converted) continue;
    progress.Step(ProgressStep::kSaving);
    command.SaveResult(selected.Get(), c.pdfPath, c.copyPath, {selected}, false);
  }
  return Outcome::kGoOn;
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
void MergeFiles(CCreatePDF_I& command, const doc_list& ordered, ProgressWindow& progress) {
  kLog.Trace("Merge ....");
  CCreatePDF_I::merging = 1;
  {
    CCreatePDF_I::MergeState state;
    state.progress = &progress;
    int number = 0;
    for (const auto& record : ordered) {
      if (progress.Cancelled()) break;
      ++number;
      if (!record) continue;
      progress.Document(number, ProgressName(dms::Document{ComPtr<IDispatch>(record->document())}));
      command.ConvertForMerge(state, *record);
    }
    // Each copy stays until all are converted, so that no two documents share a name.
    for (const std::wstring& copy : state.copies) DeleteIfExists(copy);
    state.copies.clear();

    if (progress.Cancelled()) {
      // nothing is merged; the state deletes the PDFs made so far
    } else if (state.pdfs.empty() || !state.first) {
      kLog.Warning("Merge: no document could be converted");
    } else {
      progress.Step(ProgressStep::kMerging);
      const int result = MergeIntoFirst(state.pdfs);
      kLog.Trace("SaveResult() %d", result);
      if (result == 0 && !progress.Cancelled()) {
        progress.Step(ProgressStep::kSaving);
        command.SaveResult(state.first.Get(), state.firstPdf, state.firstSource.Str(),
                           state.documents, true);
      }
    }
  }  // the state deletes every PDF that is left
  CCreatePDF_I::merging = 0;
}

}  // namespace

CCreatePDF_I::MergeState::~MergeState() {
  for (const std::wstring& copy : copies) DeleteIfExists(copy);
  for (const std::wstring& pdf : pdfs) DeleteIfExists(pdf);
}

void CCreatePDF_I::ConvertForMerge(MergeState& state, const doc_description_COM& record) {
  dms::Document document{ComPtr<IDispatch>(record.document())};
  Conversion c = Convert(*this, document, state.hr, state.progress, state.pdfs);
  if (!c.converted) return;
  state.copies.push_back(c.copyPath);
  state.pdfs.push_back(c.pdfPath);
  state.documents.push_back(ComPtr<IDispatch>(record.document()));
  if (!state.first) {
    state.first = ComPtr<IDispatch>(record.document());
    state.firstSource = Bstr(c.copyPath);
    StringCchCopyW(state.firstPdf, MAX_PATH, c.pdfPath.c_str());
  }
}

STDMETHODIMP CCreatePDF_I::Execute() {
  if (busy == 1) return S_OK;
  merging = 0;

  RunGuarded(kLog, [&] {
    ReportCommandUsage(L"Create PDF", L"From DMS");

    kLog.Trace("****************** CreatePDF Execute() START ******************");
    Variant selection;
    if (FAILED(GetContextValue(kSelectedNRTDocuments, kSelectionType, selection.Put())) &&
        FAILED(GetContextValue(kSelectedIManObjects, kSelectionType, selection.Put())))
      return;
    LONG lower = 0, upper = 0;
    if (FAILED(GetBounds(selection.Get(), &lower, &upper))) return;

    doc_list list;
    if (upper > lower) {
      for (LONG i = lower; i <= upper; ++i) {
        LONG index = i;
        ComPtr<IDispatch> document;
        if (FAILED(GetSelectedDoc(selection.Get(), &index, document.Put()))) {
          if (index == -1) return;
          break;
        }
        if (FAILED(AppendDocDescription(document.Get(), list))) break;
      }
    }

    bool merge = false;
    doc_list ordered;
    if (!list.empty()) {
      m_langOffset = DetectUILanguage();
      kLog.Trace("CCreatePDF_I::Execute() m_langOffset : %d", m_langOffset);
      kLog.Trace("MergeSortDlg");
      busy = 1;
      MergeSortDlg dialog(L"iManage Work", L"merge_dialog_size", false, AsDocDescriptions(list),
                          m_langOffset, ApplicationMainWindow());
      const INT_PTR result = dialog.DoModal();
      if (result != IDOK) {
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
    }

    // Only now, so that it never stands in front of the merge dialog.
    const int total = merge ? static_cast<int>(ordered.size()) : static_cast<int>(upper - lower + 1);
    ProgressWindow progress(IDS_CREATEPDF_MENU + m_langOffset, total, m_langOffset,
                            ApplicationMainWindow());
    Outcome outcome = Outcome::kGoOn;
    if (merge)
      MergeFiles(*this, ordered, progress);
    else
      outcome = SingleFiles(*this, selection.Get(), lower, upper, progress);
    if (progress.WasCancelled())
      kLog.Trace("CreatePDF Execute() cancelled by the user: nothing more converted or saved");
    if (outcome == Outcome::kEnd) return;
    kLog.Trace("******************* CreatePDF Execute() END *******************");
  });
  // Every way out, thrown or not, ends the run.
  busy = 0;
  merging = 0;
  return S_OK;
}

}  // namespace vpdf
