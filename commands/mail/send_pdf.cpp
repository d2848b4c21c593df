// Send PDF in e-mail: availability from the selection, and the run that converts the
// selected documents, records their history and hands the PDFs to the mail agent.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "convutils/resource.h"
#include "commands/execute_guard.h"
#include "commands/command_run.h"
#include "commands/mail/send_pdf_email.h"
#include "commands/selected_items.h"
#include "convutils/conv_utils.h"
#include "convutils/log.h"
#include "convutils/temp_files.h"
#include "convutils/usage_analytics.h"
#include "dms/doc_select.h"
#include "ui/message_box.h"
#include "ui/progress_window.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\SendPDFEMail");

constexpr wchar_t kApplicationName[] = L"Ostrel Varnel PDF";
constexpr LONG kHistorySent = 11;  // activity code of the history entry
constexpr wchar_t kMailAgent[] = L"bin\\mailpdfagent.exe";

std::wstring Lower(std::wstring text) {
  if (!text.empty())
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// A PDF of this run and the document it was made from.
struct Converted {
  OwnedFile pdf;
  dms::Document document;
};

}  // namespace

HRESULT CSendPDFEMail_I::OnUpdate() {
  kLog.Trace("CSendPDFEMail_I Update() enter ");
  LONG status = kDisabled;
  Variant selection;
  const ContextReader read = ContextRead();
  if (ReadSelectionValue(read, selection)) {
    // An empty selection stays empty here: no fallback to the objects item.
    LONG lower = 0, upper = 0;
    SelectionFault fault;
    if (FAILED(SelectionBounds(read, false, selection.Get(), lower, upper, fault))) return S_OK;
    status = SelectionStatus(SelectionArray(selection.Get()), lower, upper,
                             [](const std::wstring& extension) {
                               return !SameTextNoCase(extension, L"PDF") &&
                                      !SameTextNoCase(extension, L"MSG");
                             });
  }
  put_Status(status);
  kLog.Trace("CSendPDFEMail_I Update() exit ");
  return S_OK;
}

HRESULT CSendPDFEMail_I::OnExecute() {
  const OneRunAtATime run(m_langOffset);
  if (run.Refused()) return S_OK;
  HRESULT result = S_OK;
  RunOutcome outcome(IDS_NOT_FINISHED_SENT, IDS_SENDPDFEMAIL_MENU, m_langOffset);
  const bool finished = RunGuarded(kLog, [&] {
    ReportCommandUsage(L"Send E-mail", nullptr);
    kLog.Trace("CSendPDFEMail_I::Execute() - enter");

    const std::wstring installFolder = CConvUtils::ReadAgentInstallFolder();
    // Whatever way the run ends, none of its PDFs stays behind.
    std::vector<Converted> converted;

    Variant selection;
    const ContextReader read = ContextRead();
    if (ReadSelectionValue(read, selection)) {
      LONG lower = 0, upper = 0;
      SelectionFault fault;
      HRESULT hr = SelectionBounds(read, false, selection.Get(), lower, upper, fault);
      if (FAILED(hr)) {
        result = hr;
        if (BoundsUnreadable(fault)) outcome.Failed(IDS_REASON_UNEXPECTED);
        return;
      }

      ProgressWindow progress(IDS_SENDPDFEMAIL_MENU + m_langOffset,
                              static_cast<int>(upper - lower + 1), m_langOffset,
                              ApplicationMainWindow());
      outcome.Asked(static_cast<int>(upper - lower + 1));
      for (LONG i = lower; i <= upper && !progress.Cancelled(); ++i) {
        ComPtr<IDispatch> element;
        hr = SelectionElement(selection.Get(), i, element);
        dms::Document document;
        if (FAILED(hr) || FAILED(SelectedDocument(element.Get(), document))) {
          // Never silently: the rest of the selection is not reached.
          kLog.Error("Selected document %d cannot be read: documents %d to %d are left out",
                     static_cast<int>(i), static_cast<int>(i), static_cast<int>(upper));
          if (FAILED(hr)) result = hr;
          outcome.LeftOut(static_cast<int>(upper - i + 1));  // this one and the rest
          break;
        }
        progress.Document(static_cast<int>(i - lower + 1), ProgressLine(document));

        const std::wstring extension = Lower(document.Extension().Value());
        // A free name only: the client makes the copy's file (it never replaces one).
        std::wstring copyPath;
        hr = FindDocumentTempPath(document, copyPath, extension.c_str());
        OwnedFile copy(std::move(copyPath));
        kLog.Trace("pSelectedDoc: GetTempFile: %S, GetExtension: %S", copy.Path().c_str(),
                   extension.c_str());
        if (FAILED(hr)) {
          kLog.Error("MakeDocumentTempPath failed: 0x%08X", static_cast<unsigned>(hr));
          outcome.LeftOut();
          continue;
        }
        progress.Step(ProgressStep::kCopying);
        if (FAILED(document.GetCopy(copy.Path()))) {
          kLog.Error("pSelectedDoc->GetCopy failed: %S", copy.Path().c_str());
          outcome.LeftOut();
          continue;
        }
        if (progress.Cancelled()) break;
        // Its own PDF beside the copy: two documents of one name never share one.
        OwnedFile pdf = CreateNewFileBeside(copy.Path(), L".pdf");
        if (pdf.Empty()) {
          kLog.Error("No PDF name beside %S", copy.Path().c_str());
          outcome.LeftOut();
          continue;
        }

        progress.Step(ProgressStep::kConverting);
        bool made = false;
        if (extension != L"xps" && extension != L"oxps") {
          kLog.Trace("Call CConvUtils::PrintPDFWithHelper");
          made = CConvUtils::PrintPDFWithHelper(copy.Path().c_str(), pdf.Path().c_str(), false,
                                                false);
          result = made ? S_OK : E_FAIL;
          kLog.Trace("Call end CConvUtils::PrintPDFWithHelper");
        } else {
          made = CConvUtils::ConvertXPSToPDF(copy.Path().c_str(), pdf.Path().c_str(), 15, 0, 0);
          if (made) result = S_OK;
        }
        copy.Delete();
        // A document without its PDF is neither mailed nor marked as sent.
        if (!made) {
          kLog.Error("Conversion to PDF failed: %S", pdf.Path().c_str());
          if (!progress.Cancelled()) outcome.LeftOut();
          continue;
        }
        converted.push_back({std::move(pdf), document});
      }
      if (progress.Cancelled()) {
        kLog.Trace("CSendPDFEMail_I::Execute() cancelled by the user: nothing is mailed");
        outcome.Cancelled();
        result = S_OK;
        return;  // the PDFs go with their list
      }
    }

    std::vector<std::wstring> paths;
    for (const Converted& one : converted) paths.push_back(one.pdf.Path());
    const Bstr comment = Bstr::Adopt(LoadResString(IDS_HISTORY_SENT + m_langOffset));
    // A batch's entries are written while its agent runs: a client closed meanwhile, or a later
    // batch that never ends, takes none of them away.
    const std::vector<bool> handed =
        CConvUtils::RunMailAgent(installFolder, paths, [&](std::size_t first, std::size_t count) {
      for (std::size_t i = first; i < first + count; ++i) {
        kLog.Trace("Update History");
        converted[i].document.AddHistory(kHistorySent, kApplicationName, comment.Str());
        kLog.Trace("Update History end");
      }
    });
    converted.clear();
    const int sent = static_cast<int>(std::count(handed.begin(), handed.end(), true));
    if (sent > 0) outcome.Delivered();
    if (sent == 0 && !paths.empty()) {
      // No agent where the product keeps it: the shell has said so already when it looked for
      // the file. An agent that is there failed to start, or its wait failed.
      const std::wstring agent = CConvUtils::HelperInFolder(installFolder, kMailAgent);
      const bool there = !agent.empty() && FileExists(agent.c_str());
      outcome.Failed(there ? IDS_REASON_UNEXPECTED : IDS_REASON_NO_MAIL_PROGRAM);
      NoteShellMessageOfMissing(agent);
    } else {
      outcome.LeftOut(static_cast<int>(paths.size()) - sent);  // a later batch's agent failed
    }
    kLog.Trace("CSendPDFEMail_I::Execute() - exit");
  });
  if (!finished) outcome.Failed(IDS_REASON_UNEXPECTED);
  outcome.Tell();
  return result;
}

}  // namespace vpdf
