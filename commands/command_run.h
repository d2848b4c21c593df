// What every run of a command of the add-in shares: one run at a time, and the document line of
// its progress window.
#pragma once
#include <string>

#include "outside/dms.h"

namespace vpdf {

// A command's run, for the life of its Execute. The waits and dialogs of a run keep the client's
// UI thread dispatching, so the person can start another command meanwhile: that command tells
// the person that a run is in progress and does nothing, so that two runs never share the
// client's dialogs, the progress window or the helpers' Cancel.
class OneRunAtATime {
 public:
  // `langOffset`: the command's language offset, for the message.
  explicit OneRunAtATime(int langOffset);
  ~OneRunAtATime();
  OneRunAtATime(const OneRunAtATime&) = delete;
  OneRunAtATime& operator=(const OneRunAtATime&) = delete;

  // Another run was in progress: the person has been told, the command does nothing.
  bool Refused() const { return m_refused; }

 private:
  bool m_refused;
  static int s_running;  // UI thread only
};

// What the progress window says of a document: its description, else its name (a display
// only: a failing read leaves it empty).
std::wstring ProgressLine(const dms::Document& document);

}  // namespace vpdf
