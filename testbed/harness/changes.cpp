#include "testbed/harness/changes.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <map>
#include <mutex>
#include <regex>

#include "testbed/dms/client_commands.h"
#include "testbed/harness/command_world.h"
#include "testbed/pdf/tbpdf.h"

namespace harness {
namespace {

std::mutex g_placeholdersMutex;
std::map<std::wstring, std::wstring> g_placeholders;  // name -> folder

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = towlower(c);
  return text;
}

std::wstring WithoutSlash(std::wstring folder) {
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

std::wstring TempFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return WithoutSlash(folder);
}

std::wstring Trimmed(std::wstring text) {
  for (wchar_t& c : text)
    if (c == L'\n' || c == L'\r') c = L' ';
  const size_t first = text.find_first_not_of(L' ');
  if (first == std::wstring::npos) return L"";
  return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

bool IsWaitedFor(const std::wstring& program) {
  for (const wchar_t* loose : {testbed::kUsageStatsExe, testbed::kPdfEditorExe, testbed::kConversionToolExe})
    if (_wcsicmp(program.c_str(), loose) == 0) return true;
  return false;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// A check-out's due date (days, as recorded) as whole hours from the local clock: a due date
// taken from the UTC clock is off by the zone's bias.
std::wstring HoursFromNow(const std::wstring& due) {
  SYSTEMTIME time;
  GetLocalTime(&time);
  DATE now = 0;
  SystemTimeToVariantTime(&time, &now);
  return std::to_wstring(std::lround((std::wcstod(due.c_str(), nullptr) - now) * 24)) + L"h";
}

// The client's enumerations as the testbed's DMS reads them; a value without a name is shown
// as its number.
std::wstring Named(const std::map<std::wstring, std::wstring>& names, const std::wstring& kind,
                   const std::wstring& value) {
  const auto found = names.find(value);
  return found != names.end() ? found->second : kind + L" " + value;
}
const std::map<std::wstring, std::wstring> kCheckOutOptions = {{L"0", L"keeping a local file"},
                                                               {L"1", L"replacing the local file"}};
const std::map<std::wstring, std::wstring> kDispositions = {
    {L"0", L"as a new version"}, {L"2", L"replacing the original"}, {L"3", L"as a new document"},
    {L"4", L"releasing it unchanged"}};
const std::map<std::wstring, std::wstring> kCheckInOptions = {{L"0", L""}, {L"1", L", kept checked out"}};
const std::map<std::wstring, std::wstring> kCopyOptions = {{L"0", L"native format"}};

// What the DMS keeps of a call besides its subject: the history event when it is not the
// call's own, the application when it is not the product, and a location.
std::wstring Kept(const tb::MemberCall& call, size_t event, const wchar_t* ownEvent) {
  auto at = [&call](size_t i) { return i < call.args.size() ? call.args[i] : std::wstring(); };
  std::wstring out;
  if (at(event) != ownEvent) out += L", history event " + at(event);
  if (at(event + 1) != L"Ostrel Varnel PDF") out += L", by " + Quoted(at(event + 1));
  if (!at(6).empty()) out += L", location " + Quoted(at(6));
  return out;
}

void RenderCalls(std::wstring& out, const std::wstring& number, const std::vector<tb::MemberCall>& calls,
                 size_t from) {
  for (size_t i = from; i < calls.size(); ++i) {
    const tb::MemberCall& call = calls[i];
    auto at = [&call](size_t n) { return n < call.args.size() ? call.args[n] : std::wstring(); };
    const std::wstring first = Shorten(at(0));
    if (call.member == L"CheckOutEx")  // path, options, due, comment, event, application, location
      out += number + L" checked out to " + first + L", " + Named(kCheckOutOptions, L"options", at(1)) +
             L", due in " + HoursFromNow(at(2)) + L" local time" +
             (at(3).empty() ? L"" : L", comment " + Quoted(at(3))) + Kept(call, 4, L"2") + L"\n";
    else if (call.member == L"CheckInEx")  // path, disposition, options, event, application, comment, location
      out += number + L" checked in from " + first + L" " + Named(kDispositions, L"disposition", at(1)) +
             Named(kCheckInOptions, L", options", at(2)) + Kept(call, 3, L"3") +
             (at(5).empty() ? L"" : L", comment " + Quoted(at(5))) + L"\n";
    else if (call.member == L"Imported")  // name, type, folder, keep checked out
      out += number + L" imported " + Quoted(at(0)) + L" type " + (at(1).empty() ? L"none" : at(1)) +
             (at(2).empty() ? L"" : L" into folder " + at(2)) +
             (at(3).empty() ? L"" : at(3) == L"1" ? L", kept checked out" : L", not kept checked out") + L"\n";
    else if (call.member == L"UnlockDocument")
      out += number + L" unlocked\n";
    else if (call.member == L"RelateDocument")
      out += number + L" related to " + first + (at(1).empty() ? L"" : L", comment " + Quoted(at(1))) + L"\n";
    else
      out += number + L" " + call.member + L"\n";
  }
}

void RenderDocument(std::wstring& out, tb::Document* document, size_t history, size_t copies,
                    size_t calls) {
  const std::wstring number = std::to_wstring(document->GetLong(L"Number"));
  const auto entries = document->History();
  for (size_t i = history; i < entries.size(); ++i)
    out += number + L" history " + std::to_wstring(entries[i].activity) + L" " +
           Quoted(Shorten(entries[i].comment)) + L"\n";
  const auto copied = document->Copies();
  const auto options = document->CopyOptions();
  for (size_t i = copies; i < copied.size(); ++i)
    out += number + L" copied to " + Shorten(copied[i]) + L", " +
           Named(kCopyOptions, L"options", std::to_wstring(options.at(i))) + L"\n";
  RenderCalls(out, number, document->Recorded(), calls);
}

}  // namespace

void Placeholder(const std::wstring& folder, const std::wstring& name) {
  std::lock_guard<std::mutex> lock(g_placeholdersMutex);
  g_placeholders[name] = WithoutSlash(folder);
}

void ForgetPlaceholder(const std::wstring& name) {
  std::lock_guard<std::mutex> lock(g_placeholdersMutex);
  g_placeholders.erase(name);
}

std::wstring Shorten(std::wstring text) {
  wchar_t here[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, here);
  std::vector<std::pair<std::wstring, std::wstring>> known = {
      {TempFolder(), L"%TEMP%"}, {testbed::ProductFolder(), L"%PRODUCT%"}, {WithoutSlash(here), L"%HERE%"}};
  {
    std::lock_guard<std::mutex> lock(g_placeholdersMutex);
    for (const auto& [name, folder] : g_placeholders) known.push_back({folder, name});
  }
  // A folder inside another is replaced first.
  std::sort(known.begin(), known.end(),
            [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
  for (const auto& [folder, name] : known) {
    if (folder.size() < 3) continue;  // never a drive root
    const std::wstring lowerFolder = Lower(folder);
    std::wstring lower = Lower(text);
    for (size_t at = lower.find(lowerFolder); at != std::wstring::npos;
         at = lower.find(lowerFolder, at + name.size())) {
      text.replace(at, folder.size(), name);
      lower.replace(at, folder.size(), name);
    }
  }
  // Only the names GetTempFileName makes for the add-in's prefixes ("SS_", "scan"), also with the
  // number of a taken name: a document called "Free" must keep its name.
  static const std::wregex temporaryName(LR"((%TEMP%\\(?:[Ss][Ss]_|sca))[0-9a-fA-F]{1,4}((?:\d{3})?\.\w{1,4})(?=["\s|,)]|$))");
  return std::regex_replace(text, temporaryName, L"$1#$2");
}

Changes::Changes(const testbed::AgentJournal* journal) : m_journal(journal) { Restart(); }

void Changes::Watch(tb::Document* document) {
  m_watched.push_back({document, document->History().size(), document->Copies().size(),
                       document->Recorded().size()});
}

void Changes::Ignore(const std::wstring& path) {
  m_ignored.push_back(Lower(WithoutSlash(path)));
  m_temp = TempListing();
}

void Changes::Restart() {
  m_journalSeen = m_journal ? m_journal->Entries().size() : 0;
  for (Watched& watched : m_watched)
    watched = {watched.document, watched.document->History().size(),
               watched.document->Copies().size(), watched.document->Recorded().size()};
  m_temp = TempListing();
  m_files = ShownFiles();
  m_stored = tb::StoredDocuments().size();
  m_live = tb::LiveObjects();
}

void Changes::ShowFiles(const std::wstring& folder, const std::wstring& suffix, bool bytes) {
  m_shown.push_back({WithoutSlash(folder), Lower(suffix), bytes});
  m_files = ShownFiles();
}

std::map<std::wstring, std::string> Changes::ShownFiles() const {
  std::map<std::wstring, std::string> files;
  for (const Shown& shown : m_shown) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(shown.folder, error), end; !error && it != end; it.increment(error)) {
      const std::wstring path = it->path().wstring();
      if (!it->is_regular_file(error) || !Lower(path).ends_with(shown.suffix)) continue;
      std::string bytes;
      if (shown.bytes) bytes = ReadBytes(path);
      files[path] = bytes.substr(0, bytes.find_first_of("\r\n"));
    }
  }
  return files;
}

std::set<std::wstring> Changes::TempListing() const {
  namespace fs = std::filesystem;
  std::set<std::wstring> names;
  const fs::path root(TempFolder());
  std::error_code error;
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
  for (; !error && it != end; it.increment(error)) {
    const std::wstring full = it->path().wstring();
    const std::wstring lower = Lower(full);
    bool ignored = false;
    for (const std::wstring& path : m_ignored)
      ignored |= lower == path || lower.rfind(path + L"\\", 0) == 0;
    if (ignored) {
      if (it->is_directory(error)) it.disable_recursion_pending();
      continue;
    }
    std::wstring name = full.substr(root.wstring().size() + 1);
    if (it->is_directory(error)) name += L"\\";
    names.insert(name);
  }
  return names;
}

std::wstring Changes::Render() const {
  std::wstring out;
  if (m_journal) {
    auto entries = m_journal->Entries();
    const size_t from = entries.size() < m_journalSeen ? 0 : m_journalSeen;
    std::vector<std::wstring> loose;
    for (size_t i = from; i < entries.size(); ++i) {
      const testbed::JournalEntry& entry = entries[i];
      const bool program = entry.program.size() > 4 &&
                           _wcsicmp(entry.program.c_str() + entry.program.size() - 4, L".exe") == 0;
      std::wstring line = L"run " + entry.program + L" " +
                          Trimmed(Shorten(program ? entry.Arguments() : entry.commandLine));
      if (!entry.what.empty()) line += L" -> " + Shorten(Trimmed(entry.what));
      if (IsWaitedFor(entry.program))
        loose.push_back(line);
      else
        out += line + L"\n";
    }
    std::sort(loose.begin(), loose.end());
    for (const std::wstring& line : loose) out += line + L"\n";
  }
  for (const Watched& watched : m_watched)
    RenderDocument(out, watched.document, watched.history, watched.copies, watched.calls);
  const auto stored = tb::StoredDocuments();
  for (size_t i = std::min(m_stored, stored.size()); i < stored.size(); ++i) {
    tb::Document* document = stored[i];
    out += L"stored " + std::to_wstring(document->GetLong(L"Number")) + L" v" +
           std::to_wstring(document->GetLong(L"Version")) + L" " +
           Quoted(document->GetString(L"Name")) + L" " + document->GetString(L"Extension");
    std::vector<tbpdf::Page> pages;
    if (tbpdf::Read(document->ContentPath(), pages)) {
      out += L", " + std::to_wstring(pages.size()) + L" pages:";
      for (size_t page = 0; page < pages.size(); ++page)
        out += (page ? L" | " : L" ") + (pages[page].empty() ? L"" : Shorten(pages[page][0]));
    }
    out += L"\n";
    RenderDocument(out, document, 0, 0, 0);
  }
  const std::set<std::wstring> now = TempListing();
  const std::wstring temp = L"%TEMP%\\";
  auto name = [&](const std::wstring& path) { return Shorten(temp + path).substr(temp.size()); };
  for (const std::wstring& path : now)
    if (!m_temp.count(path))
      out += L"temp +" + name(path) +
             (GetFileAttributesW((TempFolder() + L"\\" + path).c_str()) & FILE_ATTRIBUTE_READONLY
                  ? L" read-only\n"
                  : L"\n");
  for (const std::wstring& path : m_temp)
    if (!now.count(path)) out += L"temp -" + name(path) + L"\n";
  for (const auto& [path, bytes] : ShownFiles()) {
    const auto before = m_files.find(path);
    if (before != m_files.end() && before->second == bytes) continue;
    out += L"file " + Shorten(path);
    for (const Shown& shown : m_shown)
      if (shown.bytes && Lower(std::filesystem::path(path).parent_path().wstring()) == Lower(shown.folder)) {
        out += L" = " + std::wstring(bytes.begin(), bytes.end());
        break;
      }
    out += L"\n";
  }
  const long live = tb::LiveObjects() - m_live;
  if (m_countObjects && live) out += L"live objects " + std::wstring(live > 0 ? L"+" : L"") + std::to_wstring(live) + L"\n";
  return out;
}

}  // namespace harness
