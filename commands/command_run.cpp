#include "commands/command_run.h"

#include <algorithm>
#include <vector>

#include "convutils/conv_utils.h"
#include "convutils/entry_guard.h"
#include "convutils/language.h"
#include "convutils/log.h"
#include "convutils/resource.h"
#include "dms/doc_select.h"
#include "ui/message_box.h"
#include "ui/progress_window.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\CommandRun");

std::wstring String(UINT id) { return Bstr::Adopt(LoadResString(id)).Str(); }

// A menu text as a name: without its mnemonic and its shortcut.
std::wstring CommandName(std::wstring text) {
  text = text.substr(0, text.find(L'\t'));
  std::wstring name;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&') {
      if (i + 1 >= text.size() || text[i + 1] != L'&') continue;
      ++i;  // "&&" is one "&"
    }
    name += text[i];
  }
  return name;
}

// `format` with its placeholders (%s or %d, in order) replaced by `values`; empty when the format
// is missing or has fewer of them, so that no box shows a half-filled text.
std::wstring Filled(const std::wstring& format, const std::vector<std::wstring>& values) {
  std::wstring out;
  std::size_t from = 0;
  for (const std::wstring& value : values) {
    std::size_t at = format.find(L'%', from);
    if (at == std::wstring::npos || at + 1 >= format.size()) return {};
    out += format.substr(from, at - from) + value;
    from = at + 2;
  }
  return format.empty() ? format : out + format.substr(from);
}

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

RunOutcome::RunOutcome(UINT notFinished, UINT name, int langOffset, UINT someFailed)
    : m_notFinished(notFinished),
      m_name(name),
      m_someFailed(someFailed ? someFailed : IDS_NOT_STORED_COUNT),
      m_langOffset(langOffset),
      m_errorBoxesBefore(ErrorBoxesShown()) {}

void RunOutcome::Failed(UINT reason, int results) {
  if (results <= 0) return;
  m_failed += results;
  if (!m_reason) m_reason = reason;
}

std::wstring RunOutcome::Message() const {
  if (m_cancelled) return {};
  const UINT offset = static_cast<UINT>(m_langOffset);
  auto notFinished = [&](UINT reason) {
    return Filled(String(m_notFinished + offset),
                  {CommandName(String(m_name + offset)), String(reason + offset)});
  };
  if (m_delivered == 0 && m_failed > 0) return notFinished(m_reason);
  if (m_delivered == 0 && m_declined == 0 && m_leftOut > 0) return notFinished(IDS_REASON_NOT_CONVERTED);
  if (m_leftOut > 0)
    return Filled(String(IDS_LEFT_OUT + offset),
                  {std::to_wstring(m_leftOut), std::to_wstring(std::max(m_asked, m_leftOut))});
  if (m_failed > 0)
    return Filled(String(m_someFailed + offset),
                  {std::to_wstring(m_failed), std::to_wstring(m_failed + m_delivered + m_declined)});
  return {};
}

void RunOutcome::Tell() noexcept {
  Guarded(kLog, "Tell", false, [&] {
    if (m_told) return false;
    m_told = true;
    const std::wstring text = Message();
    if (text.empty()) return false;
    kLog.Warning("The run ended without its result: %S", text.c_str());
    // One message of a failure: an error box of the run has told of it already.
    if (ErrorBoxesShown() != m_errorBoxesBefore) return false;
    ProgressWindow::Hidden hidden;
    VPDFMessageBox(ApplicationMainWindow(), text.c_str(), nullptr,
                   MB_OK | (m_delivered ? MB_ICONWARNING : MB_ICONERROR));
    return true;
  });
}

void NoteShellMessageOfMissing(const std::wstring& program) {
  if (!program.empty() && !FileExists(program.c_str())) CountErrorBoxShown();
}

std::wstring ProgressLine(const dms::Document& document) {
  std::wstring text = document.Description().value;
  return text.empty() ? document.Name().value : text;
}

}  // namespace vpdf
