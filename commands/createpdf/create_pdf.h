#pragma once
#include "commands/command_impl.h"
#include "ui/doc_description.h"
#include "convutils/temp_files.h"

#include <string>
#include <vector>

namespace vpdf {

class ProgressWindow;
class RunOutcome;

// Results of NewVersionCheckIn.
inline constexpr int DML_SUCCESS = 0;
inline constexpr int DML_FAIL = -1;
inline constexpr int DML_CANCELLED = 1;  // the person cancelled the client's new-version dialog

class CCreatePDF_I : public ICommandImpl {
 public:
  explicit CCreatePDF_I(Placement placement)
      : m_langOffset(TakeIdentity(CommandFamily::kCreatePDF, placement)) {}

  // Enabled only for a non-empty selection of documents that are neither PDF nor MSG.
  HRESULT OnUpdate() override;
  // Bounds of the selection array; falls back to "SelectedIManObjects" when it is
  // empty, leaving that array in `selection`. `fault`, when given, says which step failed.
  HRESULT GetBounds(VARIANT* selection, LONG* lower, LONG* upper,
                    SelectionFault* fault = nullptr);
  // The INRTDocument of element `*index` (resolving shortcuts); the caller releases
  // it. `*index` becomes -1 when the element cannot be read.
  HRESULT GetSelectedDoc(VARIANT* selection, LONG* index, IDispatch** document);
  // Logs the document's type and its open and view methods.
  HRESULT GetMethods(IDispatch* document);

  // Asks how to store the converted PDF (new document, new version, local file), stores it
  // and deletes the PDF and the source file. `document` and `sources` are INRTDocuments
  // (for a merge, the first merged document and all of them in merge order). Always S_OK.
  HRESULT SaveResult(IDispatch* document, const std::wstring& pdfPath,
                     const std::wstring& sourcePath, const std::vector<ComPtr<IDispatch>>& sources,
                     bool merged);
  // Checks the PDF in as a new version of `document`, which SaveResult checked out: through
  // the client's new-version command when the client shows its profile dialog, else directly.
  // DML_SUCCESS, DML_FAIL or DML_CANCELLED.
  int NewVersionCheckIn(const std::wstring& pdfPath, IDispatch* document);

  // The save question: `format` when it holds "%s" no later than 5 characters before its end
  // and a second "%s" after that, else the built-in English text; filled with the two texts.
  static std::wstring SaveQuestion(const std::wstring& format, const std::wstring& first,
                                   const std::wstring& second);
  // A history text: `format` when it holds "%d", a later "%d" and a later "%s", else
  // "%d_%d_%s"; filled with the number, the version and the database.
  static std::wstring HistoryText(const std::wstring& format, LONG number, LONG version,
                                  const std::wstring& database);

  // Converts the selected documents to PDF, merged in the user's order or one by one, and
  // hands each result to SaveResult. Returns at once while another run has its dialog up.
  HRESULT OnExecute() override;

  // What the conversions of one merge have gathered, in merge order. Whatever is left of
  // its PDFs goes with it.
  struct MergeState {
    HRESULT hr = S_OK;                         // of the last object-model call
    std::vector<std::wstring> pdfs;            // converted PDFs
    std::vector<OwnedFile> pdfFiles;           // the PDFs that this merge made
    std::vector<ComPtr<IDispatch>> documents;  // their documents
    ComPtr<IDispatch> first;                   // the first converted document
    wchar_t firstPdf[MAX_PATH] = {};           // its PDF, later the merged file
    ProgressWindow* progress = nullptr;        // the run's window, if it shows one
  };
  // One document of a merge: copied out and converted; left out when that fails.
  void ConvertForMerge(MergeState& state, const doc_description_COM& record);

  // Process-wide, UI thread only: the merge-and-order dialog is up / a merge is running.
  static LONG busy;
  static LONG merging;

 protected:
  int m_langOffset = 0;  // added to the id of every localised resource
  // What came of the run in progress, told to the person at its end; null outside a run.
  RunOutcome* m_outcome = nullptr;
};

using CCreatePDF = PlacedCommand<CCreatePDF_I, Placement::kMenu>;
using CCreatePDF_CM = PlacedCommand<CCreatePDF_I, Placement::kContextMenu>;

}  // namespace vpdf
