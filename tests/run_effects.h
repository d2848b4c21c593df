// What one command run changed, as text that a scenario row expects: the helpers started with
// their arguments and outcome (the journal), each client document's recorded calls, copies and
// history, and the files that appeared, changed or went in the watched folders; one line each,
// sorted. Paths read %T\ for the temporary folder and %W\ for the test's working folder.
#pragma once
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>
#include <string>
#include <utility>
#include <vector>

#include "tests/command_run_support.h"
#include "tests/dialog_driver.h"

namespace testing_support {

// Lines that a row expects, in any order, as Render gives them.
inline std::wstring Lines(std::vector<std::wstring> lines) {
  std::sort(lines.begin(), lines.end());
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\n";
  return text;
}

class RunEffects {
 public:
  RunEffects(const testbed::AgentJournal& journal, const std::wstring& work)
      : m_journal(journal), m_work(work) {}

  // Takes the folders as they are now, the base of the next Render.
  void Start() { m_before = Files(); }

  // `seen`: further lines of what the test saw (questions asked, the refresh).
  std::wstring Render(const std::vector<tb::Document*>& documents,
                      std::vector<std::wstring> seen = {}) const {
    // Helpers that nobody waits for have ended once their journal is read.
    for (const wchar_t* exe : {L"usagestats.exe", L"varnelpdf.exe", L"vpdfassist.exe"})
      WaitForChildren(exe);
    std::vector<std::wstring> lines = std::move(seen);
    for (const testbed::JournalEntry& entry : m_journal.Entries()) {
      // A library's line is its call; the mail agent's short names are the system's choice.
      std::wstring args = entry.program.ends_with(L".exe") ? entry.Arguments() : entry.commandLine;
      if (entry.program == testbed::kUsageStatsExe) args = args.substr(args.rfind(L"UA-") + 15);
      if (entry.program == testbed::kMailAgentExe) args = L"(short paths)";
      lines.push_back(entry.program + L" " + args + L" -> " + entry.what);
    }
    for (tb::Document* document : documents) {
      const std::wstring name = document->GetString(L"Name") + L": ";
      for (const tb::MemberCall& call : document->Recorded()) {
        std::wstring args;
        for (size_t i = 0; i < call.args.size(); ++i)
          args += (i ? L", " : L"") +
                  (call.member == L"CheckOutEx" && i == 2 ? DueIn(call.args[i]) : call.args[i]);
        lines.push_back(name + call.member + L"(" + args + L")");
      }
      for (const std::wstring& copy : document->Copies()) lines.push_back(name + L"copy " + copy);
      for (const tb::HistoryEntry& entry : document->History())
        lines.push_back(name + L"history " + std::to_wstring(entry.activity) + L" " +
                        entry.application + L": " + entry.comment);
    }
    const std::map<std::wstring, std::string> after = Files();
    for (const auto& [path, bytes] : after) {
      auto was = m_before.find(path);
      if (was != m_before.end() && was->second == bytes) continue;
      std::wstring line = L"+" + path;
      if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY) line += L" (read-only)";
      if (!bytes.empty() && std::all_of(bytes.begin(), bytes.end(),
                                        [](char c) { return c >= ' ' && c <= '~'; }))
        line += L" = " + std::wstring(bytes.begin(), bytes.end());
      lines.push_back(line);
    }
    for (const auto& [path, bytes] : m_before)
      if (!after.count(path)) lines.push_back(L"-" + path);
    for (std::wstring& line : lines) line = Short(line);
    return Lines(lines);
  }

 private:
  // The temporary folder's own files (but the journal's and the log's) and the working
  // folder's, with their bytes.
  std::map<std::wstring, std::string> Files() const {
    std::map<std::wstring, std::string> files;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(TempFolder(), ignored)) {
      const std::wstring name = entry.path().filename().wstring();
      if (entry.is_regular_file(ignored) && name.compare(0, 3, L"jnl") && name.compare(0, 3, L"trc"))
        files[entry.path().wstring()] = ReadBytes(entry.path().wstring());
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_work, ignored))
      if (entry.is_regular_file(ignored))
        files[entry.path().wstring()] = ReadBytes(entry.path().wstring());
    return files;
  }
  // The folders in any case (the product lower-cases some of its paths).
  std::wstring Short(std::wstring line) const {
    for (const auto& [folder, tag] : {std::pair{Lower(m_work + L"\\"), L"%W\\"},
                                      std::pair{Lower(TempFolder()), L"%T\\"}})
      for (size_t at; (at = Lower(line).find(folder)) != std::wstring::npos;)
        line.replace(at, folder.size(), tag);
    return line;
  }
  static std::wstring Lower(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
  }
  // A due date as hours from now.
  static std::wstring DueIn(const std::wstring& days) {
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    DATE today = 0;
    SystemTimeToVariantTime(&now, &today);
    return L"now+" + std::to_wstring(std::lround((std::stod(days) - today) * 24)) + L"h";
  }

  const testbed::AgentJournal& m_journal;
  std::wstring m_work;
  std::map<std::wstring, std::string> m_before;
};

// While alive, a second thread answers every dialog that this thread shows with `answer` and
// notes it as "asked <caption>: <text>".
class Answers {
 public:
  explicit Answers(std::function<void(HWND)> answer)
      : m_ui(GetCurrentThreadId()), m_answer(std::move(answer)), m_thread([this] { Run(); }) {}
  ~Answers() { Stop(); }
  const std::vector<std::wstring>& Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    return m_asked;
  }

 private:
  void Run() {
    while (!m_stop) {
      HWND dialog = VisibleDialogOf(m_ui);
      if (!dialog) {
        Sleep(20);
        continue;
      }
      HWND text = GetDlgItem(dialog, 0xFFFF);
      std::wstring asked = L"asked " + Text(dialog) + L": " + (text ? Text(text) : L"");
      m_asked.push_back(asked.substr(0, asked.find_last_not_of(L"\r\n") + 1));
      m_answer(dialog);
      while (!m_stop && IsWindow(dialog) && IsWindowVisible(dialog)) Sleep(20);
    }
  }

  DWORD m_ui;
  std::function<void(HWND)> m_answer;
  std::vector<std::wstring> m_asked;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

}  // namespace testing_support
