// What a command changed, as text: one line per fact, so that a test's expected effects are a
// short literal and the client host prints the same thing.
//
//   harness::Changes changes(&journal);   // "before": journal, temporary folder, DMS
//   changes.Watch(document);              // its history, copies, check-outs, relations
//   command->Execute();
//   EXPECT_EQ(L"run printpdfagent.exe /p \"%TEMP%\\Meeting notes.txt\" \"%TEMP%\\Meeting notes.pdf\""
//             L" /noviewpdf -> pdf 1 pages, exit 0\n"
//             L"run mailpdfagent.exe /mail /files \"%TEMP%\\MEET~YUG.PDF\" -> files 1, existing 1, exit 0\n"
//             L"1001 history 11 \"Converted to PDF and sent\"\n"
//             L"1001 copied to %TEMP%\\Meeting notes.txt\n",
//             changes.Render());
//
// Lines, in this order:
//   run <program> <arguments> -> <what it journalled>   (a library: its call)
//   <number> history <activity> "<comment>"   | copied to <path>, <options: native format>
//   <number> checked out to <path>, <options: replacing the local file>, due in <h>h local time
//   <number> imported "<name>" type <type>[ into folder <number>][, (not) kept checked out]
//   <number> checked in from <path> <disposition: as a new version | as a new document |
//            replacing the original | releasing it unchanged>[, kept checked out]
//   <number> unlocked   | related to <number>
//   (a check-out or check-in adds the history event when it is not its own (2, 3), the
//   application when it is not "Ostrel Varnel PDF", a comment and a location when given;
//   a value the client does not name is shown as its number)
//   stored <number> v<version> "<name>" <extension>[, <n> pages: <first line of each page | ...>]
//   temp +<path>[ read-only] | temp -<path>    (below the temporary folder; folders end in \)
//   file <path>[ = <first line>]               (made or changed, in a folder given to ShowFiles)
//   live objects +<n> | -<n>                   (with CountObjects: testbed objects alive, when
//                                              that changed)
// Helpers that the add-in does not wait for (usage helper, PDF editor, conversion tool) come
// after the others, sorted, as their order is the scheduler's. Paths are shortened (Shorten).
#pragma once
#include <windows.h>

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "testbed/agents/journal.h"
#include "testbed/dms/tbdms.h"

namespace harness {

// `folder` written as `name` (e.g. %WORK%) in shortened texts. %TEMP% (the temporary folder),
// %PRODUCT% (the testbed's product folder) and %HERE% (the current folder) are always known.
void Placeholder(const std::wstring& folder, const std::wstring& name);
void ForgetPlaceholder(const std::wstring& name);
// The text with every known folder replaced by its name (longest first, any case), and the
// number of a temporary file name as GetTempFileName makes them (three characters, up to four
// hex digits: "%TEMP%\ss_1f52.txt") written "#" ("%TEMP%\ss_#.txt"), as it differs per run.
std::wstring Shorten(std::wstring text);

class Changes {
 public:
  // `journal` may be null: no helpers then.
  explicit Changes(const testbed::AgentJournal* journal = nullptr);
  // A document whose history, copies and recorded calls are shown from now on.
  void Watch(tb::Document* document);
  // A file or folder below the temporary folder left out (the journal, a work folder).
  void Ignore(const std::wstring& path);
  // The files of `folder` whose names end with `suffix` (any case), shown when made or changed,
  // with their first line when `bytes`: what a helper is handed outside the temporary folder.
  void ShowFiles(const std::wstring& folder, const std::wstring& suffix, bool bytes = true);
  // Now is the new "before".
  void Restart();
  // Renders the change of the live testbed objects too: for a "before" and "after" at which
  // the same objects are meant to be held.
  void CountObjects(bool on) { m_countObjects = on; }
  std::wstring Render() const;

 private:
  struct Watched {
    tb::Document* document;
    size_t history = 0, copies = 0, calls = 0;
  };
  struct Shown {
    std::wstring folder, suffix;
    bool bytes;
  };
  std::set<std::wstring> TempListing() const;
  std::map<std::wstring, std::string> ShownFiles() const;

  const testbed::AgentJournal* m_journal;
  size_t m_journalSeen = 0;
  std::vector<Watched> m_watched;
  std::vector<std::wstring> m_ignored;
  std::set<std::wstring> m_temp;
  std::vector<Shown> m_shown;
  std::map<std::wstring, std::string> m_files;
  size_t m_stored = 0;
  long m_live = 0;
  bool m_countObjects = false;
};

}  // namespace harness
