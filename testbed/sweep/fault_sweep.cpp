// The fault sweep: runs the client host's command scenarios (`clienthost fault ...`) with each
// of the add-in's imported system functions failing at its k-th call, each run in a child
// process of its own (a job, ended after a time limit), and checks after each run what a user,
// an administrator or the DMS would notice: a crash, a hang, an Execute that did not return, a
// window left, a file left in the temporary folder or made outside it, a check-out left, a
// stored document that is no PDF, a history entry for what did not happen, a testbed object
// still alive, and a missing result that no message of the add-in told the user about (or
// more than one message). One line per broken
// run, then the totals; the exit code is 1 when any run broke.
//
//   fault_sweep.exe [--sample] [--no-message-check] [--verbose] [--limit <seconds>]
//                   [--only <function>] [scenario...]
//
// --verbose prints each run's time and the host's output of each broken run.
//
// Run under Wine in the build's prefix (scripts/fault_sweep.sh), the add-in and the testbed
// registered, with the client's folder on the path; the children run in a folder below the
// current one. Without --sample every k up to 12 is run, then a spread up to the
// number of calls the fault-free run made; --sample runs one k per function.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testbed/harness/command_world.h"
#include "testbed/registry/registry_sandbox.h"
#include "testbed/sweep/faults.h"

namespace {

struct Scenario {
  const wchar_t* name;
  std::wstring arguments;  // of `clienthost fault <function> <k>`
};
const Scenario kScenarios[] = {
    {L"merge-new", L"createpdf merge dms"}, {L"version", L"createpdf version"},
    {L"sendpdf", L"sendpdf"},               {L"editor", L"openinpro"},
    {L"convtool", L"openincnv"},            {L"newpdf-file", L"newpdf file"},
    {L"newpdf-scan", L"newpdf scan"},
};

// The client host as the client's folder holds it: found on the path only (as the tests find
// the client's object model), never beside this program.
std::wstring HostPath() {
  wchar_t folders[32768] = {};
  wchar_t path[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"PATH", folders, 32768) ||
      !SearchPathW(folders, L"clienthost.exe", nullptr, MAX_PATH, path, nullptr))
    return {};
  return path;
}

std::wstring CurrentFolder() {
  wchar_t path[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, path);
  return path;
}

std::wstring TempFolder() {
  wchar_t path[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, path);
  return path;
}

std::set<std::wstring> Listing(const std::wstring& folder, bool recursive) {
  std::set<std::wstring> names;
  std::error_code error;
  if (recursive) {
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
      names.insert(std::filesystem::relative(it->path(), folder, error).wstring());
  } else {
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
      names.insert(it->path().filename().wstring());
  }
  return names;
}

void Remove(const std::filesystem::path& path) {
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(path, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
    SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  std::filesystem::remove_all(path, error);
}

std::wstring Utf16(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                                      static_cast<int>(text.size()), wide.data(),
                                                      static_cast<int>(wide.size()))));
  return wide;
}

std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::wistringstream in(text);
  for (std::wstring line; std::getline(in, line);) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// One child's run, as the driver saw it.
struct Run {
  bool timedOut = false;
  DWORD exitCode = 0;
  ULONGLONG milliseconds = 0;
  std::wstring output;
  std::set<std::wstring> tempLeft, madeHere;
  // The output's sections.
  std::vector<std::wstring> changed, answered;
  std::map<std::string, long> calls;
  bool fired = false;
};

std::vector<std::wstring> Section(const std::vector<std::wstring>& lines, const wchar_t* title) {
  std::vector<std::wstring> section;
  bool in = false;
  for (const std::wstring& line : lines) {
    if (line == title) {
      in = true;
    } else if (in) {
      if (line.rfind(L"  ", 0) != 0) break;
      if (line != L"  nothing") section.push_back(line.substr(2));
    }
  }
  return section;
}

class Sweep {
 public:
  // The children run in a folder of their own below the current one; the client's folder
  // (the host's) is watched too.
  Sweep(const std::wstring& host, unsigned limitSeconds)
      : m_limit(limitSeconds * 1000), m_host(host), m_here(CurrentFolder()) {
    m_client = host.substr(0, host.find_last_of(L'\\'));
    m_cwd = m_here + L"\\fault-sweep";
    Remove(m_cwd);
    CreateDirectoryW(m_cwd.c_str(), nullptr);
  }
  ~Sweep() { Remove(m_cwd); }

  Run Child(const Scenario& scenario, const std::string& function, long k) {
    Run run;
    const ULONGLONG start = GetTickCount64();
    const std::wstring outPath = m_here + L"\\fault-sweep-output.txt";
    SECURITY_ATTRIBUTES inherit = {};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::set<std::wstring> tempBefore = Listing(TempFolder(), false);
    const std::set<std::wstring> clientBefore = Listing(m_client, true);
    std::wstring line = L"\"" + m_host + L"\" fault " +
                        (function.empty() ? std::wstring(L"-") : Utf16(function)) + L" " +
                        std::to_wstring(k) + L" " + scenario.arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                        m_cwd.c_str(), &startup, &process)) {
      std::printf("cannot start %ls (%lu)\n", line.c_str(), GetLastError());
      std::exit(2);
    }
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    if (WaitForSingleObject(process.hProcess, m_limit) == WAIT_TIMEOUT) {
      run.timedOut = true;
      TerminateJobObject(job, 9);
      WaitForSingleObject(process.hProcess, 10000);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(out);
    // Helpers the child started and gave up on may still write: they get a moment to end by
    // themselves, then end with the job.
    for (int wait = 0; wait < 40 && !run.timedOut; ++wait) {
      JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
      if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                     sizeof accounting, nullptr) ||
          accounting.ActiveProcesses == 0)
        break;
      Sleep(50);
    }
    TerminateJobObject(job, 9);
    CloseHandle(job);

    std::string bytes;
    if (FILE* file = _wfopen(outPath.c_str(), L"rb")) {
      char buffer[4096];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
      std::fclose(file);
    }
    DeleteFileW(outPath.c_str());
    run.output = Utf16(bytes);
    const std::vector<std::wstring> lines = Lines(run.output);
    run.changed = Section(lines, L"Changed:");
    run.answered = Section(lines, L"Answered:");
    bool inCalls = false;
    for (const std::wstring& text : lines) {
      if (text == L"Fault: fired") run.fired = true;
      if (text == L"Calls:") inCalls = true;
      else if (inCalls) {
        const size_t blank = text.find(L' ');
        if (blank != std::wstring::npos)
          run.calls[std::string(text.begin(), text.begin() + static_cast<long>(blank))] =
              std::wcstol(text.c_str() + blank + 1, nullptr, 10);
      }
    }
    // What is new in the temporary folder and in the child's current folder, then gone.
    for (const std::wstring& name : Listing(TempFolder(), false))
      if (!tempBefore.count(name)) {
        run.tempLeft.insert(name);
        Remove(TempFolder() + name);
      }
    run.madeHere = Listing(m_cwd, true);
    for (const std::wstring& name : Listing(m_cwd, false)) Remove(m_cwd + L"\\" + name);
    for (const std::wstring& name : Listing(m_client, true))
      if (!clientBefore.count(name)) {
        run.madeHere.insert(L"%CLIENT%\\" + name);
        Remove(m_client + L"\\" + name);
      }
    run.milliseconds = GetTickCount64() - start;
    return run;
  }

 private:
  DWORD m_limit;
  std::wstring m_host, m_here, m_client, m_cwd;
};

bool Has(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

// The lines that make a scenario's result: what was stored, checked in, mailed or opened. A
// PDF reaches the mail agent under its long or its short name, and the editor opens a document
// in whichever portable folder the settings give: what counts is how many were mailed and which
// documents were opened.
std::vector<std::wstring> Result(const Run& run) {
  std::vector<std::wstring> result;
  for (const std::wstring& line : run.changed) {
    const size_t quote = line.find(L"\"");
    if (line.rfind(L"run mailpdfagent.exe", 0) == 0)
      result.push_back(L"mailed" + line.substr(line.find(L" -> ")));
    else if (line.rfind(L"run varnelpdf.exe", 0) == 0 && quote != std::wstring::npos)
      result.push_back(L"opened " + line.substr(line.find_last_of(L'\\', line.find(L'"', quote + 1)) + 1));
    else if (line.rfind(L"stored ", 0) == 0 || line.rfind(L"run vpdfassist.exe", 0) == 0 ||
             Has(line, L" checked in from "))
      result.push_back(line);
  }
  std::sort(result.begin(), result.end());
  return result;
}

// What is broken in `run`, against the fault-free run `base`; empty when nothing is.
// `deleteFailed`: the fault was a DeleteFileW, whose file stays by the system's decision.
std::vector<std::wstring> Broken(const Run& run, const Run& base, bool told, bool deleteFailed) {
  std::vector<std::wstring> found;
  const std::wstring& out = run.output;
  if (run.timedOut) {
    found.push_back(L"hang");
  } else if (Has(out, L"\nCrashed: ") || !Has(out, L"Client objects still alive: ")) {
    std::wstring what = L"crash: exit " + std::to_wstring(run.exitCode);
    const size_t at = out.find(L"Crashed: ");
    if (at != std::wstring::npos) what += L", " + out.substr(at + 9, out.find(L'\n', at) - at - 9);
    found.push_back(what);
  }
  if (Has(out, L"): enabled") && !Has(out, L"\nExecute: 0x") && !run.timedOut)
    found.push_back(L"Execute did not return");
  const size_t windows = out.find(L"Windows left after Execute: ");
  if (windows != std::wstring::npos)
    found.push_back(L"window left: " + out.substr(windows + 28, out.find(L'\n', windows) - windows - 28));
  const size_t live = out.find(L"Client objects still alive: ");
  if (live != std::wstring::npos && std::wcstol(out.c_str() + live + 28, nullptr, 10) != 0)
    found.push_back(L"live testbed objects: " + out.substr(live + 28, out.find(L'\n', live) - live - 28));
  if (!(deleteFailed && run.tempLeft.size() == 1))
    for (const std::wstring& name : run.tempLeft) found.push_back(L"left in %TEMP%: " + name);
  for (const std::wstring& name : run.madeHere)
    if (!base.madeHere.count(name))
      found.push_back(L"made outside %TEMP%: " +
                      (name.rfind(L"%CLIENT%", 0) == 0 ? name : L"%HERE%\\" + name));

  static const std::wregex checkedOut(L"^(\\d+) checked out to (.*) for .*$");
  static const std::wregex stored(L"^stored (\\d+) v\\d+ \".*\" (\\S*?)(, (\\d+) pages:.*)?$");
  static const std::wregex history(L"^(\\d+) history (\\d+) \"(.*)\"$");
  std::set<std::wstring> storedNumbers;
  long mailed = 0, sentEntries = 0;
  std::wsmatch match;
  for (const std::wstring& line : run.changed) {
    if (std::regex_match(line, match, stored)) {
      storedNumbers.insert(match[1]);
      if (!match[3].matched || match[4] == L"0")
        found.push_back(L"stored no PDF: " + line);
    }
    if (line.rfind(L"run mailpdfagent.exe", 0) == 0 && Has(line, L", existing "))
      mailed += std::wcstol(line.c_str() + line.find(L", existing ") + 11, nullptr, 10);
  }
  for (size_t i = 0; i < run.changed.size(); ++i) {
    const std::wstring& line = run.changed[i];
    if (std::regex_match(line, match, checkedOut)) {
      const std::wstring number = match[1], path = match[2];
      bool ended = false;
      for (const std::wstring& later : run.changed)
        ended |= later == number + L" unlocked" || later.rfind(number + L" checked in from ", 0) == 0 ||
                 later == L"run varnelpdf.exe \"" + path + L"\" -> document exists, exit 0";
      if (!ended) found.push_back(L"check-out left: " + line);
    }
    if (std::regex_match(line, match, history)) {
      if (match[2] == L"11") ++sentEntries;
      static const std::wregex createdFrom(L"^Document (\\d+) version .*");
      std::wsmatch made;
      const std::wstring comment = match[3];
      if (std::regex_match(comment, made, createdFrom) && !storedNumbers.count(made[1]))
        found.push_back(L"history of what did not happen: " + line);
    }
  }
  if (sentEntries > mailed)
    found.push_back(L"history of what did not happen: " + std::to_wstring(sentEntries) +
                    L" \"sent\" entries, " + std::to_wstring(mailed) + L" files mailed");
  if (told) {
    // The add-in's messages that the fault-free run did not show.
    std::multiset<std::wstring> before(base.answered.begin(), base.answered.end());
    long messages = 0;
    for (const std::wstring& line : run.answered) {
      const auto same = before.find(line);
      if (same != before.end())
        before.erase(same);
      else if (line.rfind(L"Ostrel Varnel PDF", 0) == 0)
        ++messages;
    }
    // A command that the client could not create, or that its Update did not offer, ran
    // nothing the person asked for: there is no run to tell of.
    if (messages == 0 && Result(run) != Result(base) && !run.timedOut && Has(out, L"\nExecute: 0x"))
      found.push_back(L"result missing, nobody told");
    if (messages > 1) found.push_back(L"told more than once: " + std::to_wstring(messages));
  }
  return found;
}

// The k of a function called `calls` times: every k up to 12, then a spread up to the last.
std::vector<long> Spread(long calls) {
  std::vector<long> ks;
  for (long k = 1; k <= std::min(calls, 12L); ++k) ks.push_back(k);
  for (long k = 16; k < calls; k = k * 3 / 2) ks.push_back(k);
  if (calls > 12) ks.push_back(calls);
  return ks;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  bool sample = false, told = true, verbose = false;
  unsigned limit = 30;
  std::string only;
  std::vector<const Scenario*> scenarios;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--sample") sample = true;
    else if (arg == L"--no-message-check") told = false;
    else if (arg == L"--verbose") verbose = true;
    else if (arg == L"--limit" && i + 1 < argc) limit = static_cast<unsigned>(_wtoi(argv[++i]));
    else if (arg == L"--only" && i + 1 < argc) {
      const std::wstring name = argv[++i];
      only.assign(name.begin(), name.end());
    } else {
      for (const Scenario& scenario : kScenarios)
        if (arg == scenario.name) scenarios.push_back(&scenario);
      if (scenarios.empty() || scenarios.back()->name != arg) {
        std::printf("unknown scenario %ls\n", arg.c_str());
        return 2;
      }
    }
  }
  if (scenarios.empty())
    for (const Scenario& scenario : kScenarios) scenarios.push_back(&scenario);

  // The registry as it was before the first child, put back after the last (a crashed child
  // cannot put back its own).
  harness::CommandWorld world(L"fault-sweep");
  tbreg::Value portable(HKEY_CURRENT_USER,
                        L"Software\\Interwoven\\WorkSite\\8.0\\Common\\General\\Portable",
                        L"PORTABLE_DIRECTORY");
  const std::wstring host = HostPath();
  if (host.empty()) {
    std::printf("clienthost.exe is not on the path (WINEPATH: the client's folder)\n");
    return 2;
  }
  Sweep sweep(host, limit);
  const std::vector<std::string> functions = sweep::FaultFunctions();
  std::map<std::wstring, long> classes;
  long runs = 0, broken = 0, fired = 0, notOffered = 0;
  // Per scenario: runs, broken runs, and those broken by more than a missing message.
  struct Totals {
    long runs = 0, broken = 0, beyondMessage = 0;
  };
  std::map<std::wstring, Totals> perScenario;
  auto report = [&](const Scenario& scenario, const std::string& function, long k, const Run& run,
                    const Run& base) {
    ++runs;
    if (verbose)
      std::printf("run: %ls %s#%ld: %llu ms\n", scenario.name, function.c_str(), k, run.milliseconds);
    fired += run.fired;
    notOffered += run.fired && !Has(run.output, L"\nExecute: 0x");
    Totals& totals = perScenario[scenario.name];
    ++totals.runs;
    // A file dialog answering FALSE with no extended error is the user's Cancel, as the system
    // documents it: the stand-in failure cannot set one, so that run has nothing to tell.
    const bool cancelled = run.fired && (function == "GetOpenFileNameW" || function == "GetSaveFileNameW");
    const std::vector<std::wstring> found =
        Broken(run, base, told && !cancelled, run.fired && function == "DeleteFileW");
    if (found.empty()) return;
    ++broken;
    ++totals.broken;
    std::wstring text;
    bool beyondMessage = false;
    for (const std::wstring& what : found) {
      text += (text.empty() ? L"" : L"; ") + what;
      const std::wstring kind = what.substr(0, what.find(L':'));
      classes[kind]++;
      beyondMessage |= kind != L"result missing, nobody told" && kind != L"told more than once";
    }
    totals.beyondMessage += beyondMessage;
    std::printf("broken: %ls %s#%ld: %ls\n", scenario.name,
                function.empty() ? "(no fault)" : function.c_str(), k, text.c_str());
    if (verbose) std::printf("%ls\n", run.output.c_str());
  };

  size_t turn = 0;
  for (const Scenario* scenario : scenarios) {
    const Run base = sweep.Child(*scenario, "", 0);
    report(*scenario, "", 0, base, base);
    for (size_t index = 0; index < functions.size(); ++index) {
      const std::string& function = functions[index];
      if (!only.empty() && function != only) continue;
      const auto called = base.calls.find(function);
      if (called == base.calls.end()) continue;
      std::vector<long> ks = Spread(called->second);
      // The sample: each function once, in the scenario whose turn it is, at a k that moves.
      if (sample) {
        if ((index + turn) % scenarios.size() != 0 && scenarios.size() > 1) continue;
        ks = {ks[(index / scenarios.size()) % ks.size()]};
      }
      for (long k : ks) report(*scenario, function, k, sweep.Child(*scenario, function, k), base);
    }
    ++turn;
  }
  std::printf("runs %ld, the fault reached in %ld (%ld before Execute: the command not created or not "
              "offered), broken %ld\n", runs, fired, notOffered, broken);
  for (const auto& [what, count] : classes) std::printf("  %ls: %ld\n", what.c_str(), count);
  for (const Scenario* scenario : scenarios) {
    const Totals& totals = perScenario[scenario->name];
    std::printf("  %ls: runs %ld, broken %ld (%ld beyond a missing message)\n", scenario->name,
                totals.runs, totals.broken, totals.beyondMessage);
  }
  return broken ? 1 : 0;
}
