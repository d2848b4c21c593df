// Send PDF in e-mail: availability from the selection, and the run that converts the
// selected documents, records their history and hands the PDFs to the mail agent.
#include <string>
#include <vector>

#include "convutils/resource.h"
#include "commands/execute_guard.h"
#include "commands/mail/send_pdf_email.h"
#include "commands/selected_items.h"
#include "convutils/conv_utils.h"
#include "convutils/log.h"
#include "convutils/temp_files.h"
#include "convutils/usage_analytics.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\SendPDFEMail");

constexpr wchar_t kApplicationName[] = L"Ostrel Varnel PDF";
constexpr LONG kHistorySent = 11;  // activity code of the history entry

std::wstring Lower(std::wstring text) {
  if (!text.empty())
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// The copy's path with everything from its last point replaced by ".pdf"; a path without a
// point after its first character gets ".pdf" appended.
std::wstring PdfPathFor(const std::wstring& copy) {
  std::size_t dot = copy.rfind(L'.');
  if (dot == std::wstring::npos || dot == 0) return copy + L".pdf";
  return copy.substr(0, dot) + L".pdf";
}

// The PDFs of one run. Whatever way the run ends, none of them stays behind.
class PdfList {
 public:
  PdfList() = default;
  PdfList(const PdfList&) = delete;
  PdfList& operator=(const PdfList&) = delete;
  ~PdfList() { DeleteAll(); }

  void Add(const std::wstring& path) { m_paths.push_back(path); }
  const std::vector<std::wstring>& Paths() const { return m_paths; }
  // Deletes every listed file, whether or not it exists.
  void DeleteAll() {
    for (const std::wstring& path : m_paths) DeleteFileW(path.c_str());
    m_paths.clear();
  }

 private:
  std::vector<std::wstring> m_paths;
};

// A local copy that goes again when its step is over.
class LocalCopy {
 public:
  explicit LocalCopy(std::wstring path) : m_path(std::move(path)) {}
  LocalCopy(const LocalCopy&) = delete;
  LocalCopy& operator=(const LocalCopy&) = delete;
  ~LocalCopy() { Delete(); }
  void Delete() {
    if (!m_path.empty()) DeleteFileW(m_path.c_str());
    m_path.clear();
  }

 private:
  std::wstring m_path;
};

}  // namespace

STDMETHODIMP CSendPDFEMail_I::Update() {
  kLog.Trace("CSendPDFEMail_I Update() enter ");
  LONG status = kDisabled;
  Variant selection;
  if (SUCCEEDED(GetContextValue(kSelectedNRTDocuments, kSelectionType, selection.Put())) ||
      SUCCEEDED(GetContextValue(kSelectedIManObjects, kSelectionType, selection.Put()))) {
    SAFEARRAY* array = SelectionArray(selection.Get());
    LONG lower = 0, upper = 0;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)))
      return S_OK;
    status = SelectionStatus(array, lower, upper, [](const std::wstring& extension) {
      return !SameTextNoCase(extension, L"PDF") && !SameTextNoCase(extension, L"MSG");
    });
  }
  put_Status(status);
  kLog.Trace("CSendPDFEMail_I Update() exit ");
  return S_OK;
}

STDMETHODIMP CSendPDFEMail_I::Execute() {
  HRESULT result = S_OK;
  RunGuarded(kLog, [&] {
    ReportCommandUsage(L"Send E-mail", nullptr);
    kLog.Trace("CSendPDFEMail_I::Execute() - enter");

    const std::wstring installFolder = CConvUtils::ReadAgentInstallFolder();
    PdfList pdfs;

    Variant selection;
    if (SUCCEEDED(GetContextValue(kSelectedNRTDocuments, kSelectionType, selection.Put())) ||
        SUCCEEDED(GetContextValue(kSelectedIManObjects, kSelectionType, selection.Put()))) {
      SAFEARRAY* array = SelectionArray(selection.Get());
      LONG lower = 0, upper = 0;
      HRESULT hr = SafeArrayGetLBound(array, 1, &lower);
      if (SUCCEEDED(hr)) hr = SafeArrayGetUBound(array, 1, &upper);
      if (FAILED(hr)) {
        result = hr;
        return;
      }

      const Bstr comment = Bstr::Adopt(LoadResString(IDS_HISTORY_SENT + m_langOffset));
      for (LONG i = lower; i <= upper; ++i) {
        ComPtr<IDispatch> element;
        hr = SafeArrayGetElement(array, &i, element.Put());
        if (SUCCEEDED(hr) && !element) hr = E_POINTER;
        if (FAILED(hr)) {
          result = hr;
          return;
        }
        dms::Document document;
        if (FAILED(SelectedDocument(element.Get(), document))) break;

        const std::wstring extension = Lower(document.Extension().Value());
        std::wstring copyPath;
        hr = MakeDocumentTempPath(document, copyPath, extension.c_str());
        kLog.Trace("pSelectedDoc: GetTempFile: %S, GetExtension: %S", copyPath.c_str(),
                   extension.c_str());
        if (FAILED(hr)) {
          kLog.Error("MakeDocumentTempPath failed: 0x%08X", static_cast<unsigned>(hr));
          continue;
        }
        if (FAILED(document.GetCopy(copyPath))) {
          kLog.Error("pSelectedDoc->GetCopy failed: %S", copyPath.c_str());
          continue;
        }
        LocalCopy copy(copyPath);
        const std::wstring pdfPath = PdfPathFor(copyPath);

        if (extension != L"xps" && extension != L"oxps") {
          kLog.Trace("Call CConvUtils::PrintPDFWithHelper");
          result = CConvUtils::PrintPDFWithHelper(copyPath.c_str(), pdfPath.c_str(), false, false)
                       ? S_OK
                       : E_FAIL;
          copy.Delete();
          // A failed print is listed all the same: the agent is told of every document.
          pdfs.Add(pdfPath);
          kLog.Trace("Call end CConvUtils::PrintPDFWithHelper");
        } else {
          const bool converted =
              CConvUtils::ConvertXPSToPDF(copyPath.c_str(), pdfPath.c_str(), 15, 0, 0);
          copy.Delete();
          if (!converted) {
            kLog.Error("ConvertXPSToPDF failed: %S", copyPath.c_str());
            continue;
          }
          result = S_OK;
          pdfs.Add(pdfPath);
        }

        kLog.Trace("Update History");
        document.AddHistory(kHistorySent, kApplicationName, 0, 0, comment.Str(), L"", L"");
        kLog.Trace("Update History end");
      }
    }

    CConvUtils::RunMailAgent(installFolder, pdfs.Paths());
    pdfs.DeleteAll();
    kLog.Trace("CSendPDFEMail_I::Execute() - exit");
  });
  return result;
}

}  // namespace vpdf
