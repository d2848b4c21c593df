// What every run of a command of the add-in shares: one run at a time, and the document line of
// its progress window.
#pragma once
#include <windows.h>

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

// What a run was asked for and what came of it. At its end (Tell) a run that leaves the person
// without the result asked for (nothing stored, sent, opened or imported) or with documents left
// out says so in one message box in the command's language: never when the person cancelled,
// and never after an error box of the run has told of the failure already.
class RunOutcome {
 public:
  // `notFinished`: the command's "could not finish" text (IDS_NOT_FINISHED_*); `name`: its menu
  // text, the command's name in the message; `someFailed`: the text of some of several results
  // not delivered ("%d of %d ..."), 0 for the PDF files not stored.
  RunOutcome(UINT notFinished, UINT name, int langOffset, UINT someFailed = 0);
  RunOutcome(const RunOutcome&) = delete;
  RunOutcome& operator=(const RunOutcome&) = delete;

  void SetLanguage(int langOffset) { m_langOffset = langOffset; }
  // The documents the person asked for.
  void Asked(int documents) { m_asked += documents; }
  // Documents that could not be converted: they are not in the result.
  void LeftOut(int documents = 1) { m_leftOut += documents; }
  // A result reached its place (stored, mailed, opened, imported).
  void Delivered() { ++m_delivered; }
  // Results that could not be delivered; `reason` (IDS_REASON_*) says why, the first one counts.
  void Failed(UINT reason, int results = 1);
  // The person chose not to store one of several results.
  void Declined() { ++m_declined; }
  // The person cancelled the run.
  void Cancelled() { m_cancelled = true; }

  // The message for what came of the run, empty when there is nothing to say.
  std::wstring Message() const;
  // Shows it (once); nothing thrown.
  void Tell() noexcept;

 private:
  UINT m_notFinished, m_name, m_someFailed;
  int m_langOffset;
  int m_asked = 0, m_leftOut = 0, m_delivered = 0, m_failed = 0, m_declined = 0;
  UINT m_reason = 0;
  bool m_cancelled = false, m_told = false;
  int m_errorBoxesBefore;
};

// A helper program that the shell could not start because its file is missing: the shell has
// shown its own error box of it, so the run's message says nothing more of it.
void NoteShellMessageOfMissing(const std::wstring& program);

// What the progress window says of a document: its description, else its name (a display
// only: a failing read leaves it empty).
std::wstring ProgressLine(const dms::Document& document);

}  // namespace vpdf
