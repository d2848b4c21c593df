#include "commands/newpdf/new_pdf_from_scanner.h"
#include "commands/command_run.h"

#include <string>

#include "convutils/resource.h"
#include "commands/execute_guard.h"
#include "commands/import_document.h"
#include "commands/newpdf/new_pdf_run.h"
#include "convutils/conv_utils.h"
#include "convutils/log.h"
#include "convutils/usage_analytics.h"
#include "convutils/resource_library.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CreateNewPDF");

}  // namespace

void CCreateNewPDFFromScanner_I::MakeScanTempName(wchar_t* buffer) {
  buffer[0] = L'\0';
  const std::wstring folder = UserTempFolder();
  if (folder.empty()) return;
  if (!GetTempFileNameW(folder.c_str(), L"scan", 0, buffer)) {
    kLog.Error("No temporary name for the scan in %S: %d", folder.c_str(),
               static_cast<int>(GetLastError()));
    buffer[0] = L'\0';
    return;
  }
  DeleteFileW(buffer);
  const std::wstring name = ReplaceExtension(buffer, L".pdf");
  lstrcpynW(buffer, name.c_str(), MAX_PATH);
}

HRESULT CCreateNewPDFFromScanner_I::OnExecute() {
  const OneRunAtATime run(m_langOffset);
  if (run.Refused()) return S_OK;
  HRESULT result = S_OK;
  RunOutcome outcome(IDS_NOT_FINISHED_IMPORTED, IDS_NEWPDF_SUBMENU, m_langOffset);
  const bool finished = RunGuarded(kLog, [&] {
    ReportCommandUsage(L"Scan", nullptr);
    wchar_t scanPath[MAX_PATH] = {};
    MakeScanTempName(scanPath);
    // Without a scan nothing is imported.
    if (!scanPath[0]) return outcome.Failed(IDS_REASON_UNEXPECTED);
    // Created new, so that a file of that name is left alone; the run's scan goes whichever way
    // the run ends.
    OwnedFile scan = CreateNewFileBeside(scanPath, L".pdf");
    if (scan.Empty() || !CConvUtils::ScanToPDFWithHelper(scan.Path().c_str()))
      return outcome.Failed(IDS_REASON_UNEXPECTED);

    const ContextReader read = [this](const wchar_t* name, VARTYPE type, void* value) {
      return GetContextValue(name, type, value);
    };
    dms::Session session = FirstSession(read);
    try {
      SessionOfContainer(read, session);
    } catch (const ComError& error) {
      result = error.Error();
      return outcome.Failed(IDS_REASON_UNEXPECTED);
    }
    dms::Document created;
    result = ImportNewDocument(scan.Path(), L"", session, dms::Object(), created, L"");
    if (FAILED(result)) outcome.Failed(IDS_REASON_DMS_REFUSED);
    if (SUCCEEDED(result)) {
      const VARIANT_BOOL refresh = VARIANT_TRUE;
      SetContextValue(L"iManExt.Refresh", VT_BOOL, &refresh);
    }
  });
  if (!finished) outcome.Failed(IDS_REASON_UNEXPECTED);
  outcome.Tell();
  return result;
}

}  // namespace vpdf
