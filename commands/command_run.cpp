#include "commands/command_run.h"

#include "convutils/language.h"
#include "convutils/log.h"
#include "convutils/resource.h"
#include "dms/doc_select.h"
#include "ui/message_box.h"
#include "ui/progress_window.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CommandRun");

}  // namespace

int OneRunAtATime::s_running = 0;

OneRunAtATime::OneRunAtATime(int langOffset) : m_refused(s_running > 0) {
  if (!m_refused) {
    ++s_running;
    return;
  }
  kLog.Trace("A run is in progress: the command does nothing");
  Bstr text = Bstr::Adopt(LoadResString(IDS_RUN_IN_PROGRESS + static_cast<UINT>(langOffset)));
  // A dialog of the person: the progress window of the run in progress stays away meanwhile.
  ProgressWindow::Hidden hidden;
  VPDFMessageBox(ApplicationMainWindow(), text.Str().c_str(), nullptr, MB_OK | MB_ICONINFORMATION);
}

OneRunAtATime::~OneRunAtATime() {
  if (!m_refused) --s_running;
}

std::wstring ProgressLine(const dms::Document& document) {
  std::wstring text = document.Description().value;
  return text.empty() ? document.Name().value : text;
}

}  // namespace vpdf
