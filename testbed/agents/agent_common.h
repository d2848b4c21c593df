// Shared by the stand-ins of the product's helper programs and libraries and by the
// testbed_support library that tests use to read what they did. See README.md.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace tbagent {

// Names the journal file; nothing is written while it is unset or empty.
constexpr wchar_t kJournalVariable[] = L"VPDF_AGENT_JOURNAL";
// Serialises appends (and the tests' clearing) across processes.
constexpr wchar_t kJournalMutex[] = L"VarnelTestbedAgentJournal";
// Controls: HKEY_CURRENT_USER\Software\VarnelTestbed\Agents\<agent>.
constexpr wchar_t kControlKey[] = L"Software\\VarnelTestbed\\Agents";

// Appends "program|commandLine|what\n" (UTF-8) to the journal. `what` is escaped
// (EscapeWhat); CR and LF in `commandLine` become U+240D and U+240A.
void JournalWrite(const std::wstring& program, const std::wstring& commandLine,
                  const std::wstring& what);

// "\" -> "\\", LF -> "\n", CR -> "\r", "|" -> "\x7C", other control characters but TAB -> "\xHH".
std::wstring EscapeWhat(const std::wstring& text);
std::wstring UnescapeWhat(const std::wstring& text);

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// The file name part of a path (after the last "\" or "/").
std::wstring FileNameOf(const std::wstring& path);
// The file name of a loaded module (null: the process's executable).
std::wstring ModuleName(HMODULE module);
// The module that holds this code (the executable, or the DLL it is linked into).
HMODULE ThisModule();

// The text after the program token of a Windows command line, leading blanks skipped.
std::wstring ArgumentsAfterProgram(const std::wstring& commandLine);

// The behaviour string set for `agent` and a subject path: the value named by the full
// path, else by its file name, else "*" (case-insensitive, as registry value names are);
// empty when none is set.
std::wstring Behaviour(const std::wstring& agent, const std::wstring& subjectPath);
// A DWORD control of the agent; false when absent.
bool ControlDword(const std::wstring& agent, const wchar_t* name, DWORD& value);
// Sleeps for the agent's "DelayMs" control, if set.
void ApplyDelay(const std::wstring& agent);

// A behaviour string of the producing stand-ins (print and scan agents, image-to-PDF library).
struct OutputBehaviour {
  enum Kind { Pdf, Fail, NoOutput, Empty, FailWithOutput, Hang, Unknown };
  Kind kind = Pdf;
  int pages = 0;  // "pages:N"; 0 = the stand-in's own page count
};
// "" or "pdf", "pages:N" (1..1000), "fail", "nooutput", "empty", "failwithoutput", "hang";
// else Unknown.
OutputBehaviour ParseBehaviour(const std::wstring& text);

// A text file's content: UTF-16 with or without byte order mark, else UTF-8, else
// Windows-1252. `encoding`, when given, says which: "utf16le-bom", "utf16le" or "bytes".
std::wstring DecodeText(const std::string& bytes, std::wstring* encoding = nullptr);

// The libraries' last step: journals `call` with "<result>[, detail]" and returns the result.
int LibraryResult(const std::wstring& call, int result, const std::wstring& detail = {});
// An argument of a library call as the journal shows it: in quotes, or null.
std::wstring Quoted(const wchar_t* text);
std::wstring Quoted(const char* utf8);

// The programs' last step: journals "<what>, exit <code>" and returns the code.
int Finish(const std::wstring& commandLine, const std::wstring& what, int exitCode);
// A command line split the way CommandLineToArgvW splits it (the program first).
std::vector<std::wstring> SplitArguments(const std::wstring& commandLine);
// For the producing programs: reads the behaviour of `agent` for `subject` into `behaviour`.
// A behaviour that writes no PDF (unknown control, fail, no output, an empty file at `output`,
// a hang that journals "hang" and then sleeps for a minute before it exits with 4)
// settles the run here: journalled, and its exit code returned. -1 when a PDF is to be written.
int SettleWithoutPdf(const std::wstring& agent, const std::wstring& subject,
                     const std::wstring& output, const std::wstring& commandLine,
                     OutputBehaviour& behaviour);

}  // namespace tbagent
