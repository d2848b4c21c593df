// Create PDF merged and Send PDF on 10, 100 and 1,000 documents, and on 1,000 documents of one
// name, against the testbed's helpers. For each run: the command's own time per document beside
// the helpers' (as bench_execute splits it), the largest number of files the run had in the
// temporary folder at once (and of copies among them), and the documents left out. Run by hand
// under Wine (README, Benchmarks): not a test.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bench/timing.h"
#include "commands/createpdf/create_pdf.h"
#include "commands/mail/send_pdf_email.h"
#include "testbed/harness/answerer.h"
#include "testbed/harness/command_world.h"
#include "testbed/pdf/tbpdf.h"

namespace {

using bench::Timer, bench::g_spent;

constexpr int kFileList = 216, kMerge = 217, kSaveLocal = 204;

std::wstring g_temp;
std::set<std::wstring> g_before;  // the temporary folder's entries before a run
std::atomic<int> g_mostFiles{0}, g_mostCopies{0};

// The run's files in the temporary folder now; the largest counts so far are kept.
void CountFiles() {
  int files = 0, copies = 0;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((g_temp + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || g_before.count(name)) continue;
    ++files;
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && _wcsicmp(name.c_str() + dot, L".txt") == 0) ++copies;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  for (auto [most, now] : {std::pair<std::atomic<int>*, int>{&g_mostFiles, files}, {&g_mostCopies, copies}}) {
    int seen = most->load();
    while (now > seen && !most->compare_exchange_weak(seen, now)) {
    }
  }
}

std::set<std::wstring> Entries(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.insert(found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

enum class Kind { kMerge, kSend };

struct Result {
  double total = 0;
  bench::Spent spent;  // at the end of Execute
  int leftOut = 0;
};

// One run of `kind` on `count` documents (all named alike when `oneName`).
Result Run(Kind kind, int count, bool oneName) {
  harness::CommandWorld world(L"bench_scale");
  world.CreateWork();
  std::vector<IDispatch*> documents;
  for (int i = 1; i <= count; ++i)
    documents.push_back(world.Doc(oneName ? L"Scan" : L"Document " + std::to_wstring(i), L"txt",
                                  "text " + std::to_string(i) + "\r\n"));
  const std::wstring merged = world.Work(L"merged.pdf");

  vpdf::ComPtr<IContextItems> context;
  tb::NewContextItems(context.Put());
  harness::Select(context.Get(), L"SelectedNRTDocuments", documents);
  vpdf::ComPtr<vpdf::ICommandImpl> command;
  if (kind == Kind::kMerge)
    command = vpdf::ComPtr<vpdf::ICommandImpl>(new vpdf::CCreatePDF);
  else
    command = vpdf::ComPtr<vpdf::ICommandImpl>(new vpdf::CSendPDFEMail);
  command->Initialize(context.Get());

  g_before = Entries(g_temp);
  g_mostFiles = g_mostCopies = 0;
  g_spent = {};
  Result result;
  {
    harness::Answerer person;
    person.On(harness::WithControl(kFileList), {harness::Pick(kMerge), harness::Press(IDOK)})
        .On(harness::WithControl(kSaveLocal), {harness::Pick(kSaveLocal), harness::Press(IDOK)})
        .On(harness::FileDialog(), {harness::FileName(merged), harness::Press(IDOK)});
    // Between the waits, a look every few milliseconds from another thread.
    std::atomic<bool> done{false};
    std::thread watcher([&] {
      while (!done) {
        CountFiles();
        Sleep(5);
      }
    });
    {
      Timer timer(result.total, false);
      command->Execute();
    }
    result.spent = g_spent;
    done = true;
    watcher.join();
  }
  if (kind == Kind::kMerge) {
    std::vector<tbpdf::Page> pages;
    tbpdf::Read(merged, pages);
    result.leftOut = count - static_cast<int>(pages.size());
  } else {
    world.Settle();
    for (IDispatch* document : documents)
      if (static_cast<tb::Document*>(document)->History().empty()) ++result.leftOut;
  }
  command.Reset();
  context.Reset();
  DeleteFileW(merged.c_str());
  world.Release();
  world.RemoveWork();
  return result;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const bench::ProductAtTestbed product;
  if (!bench::InstallTimers()) return 1;
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  g_temp = temp;
  bench::g_onWait = &CountFiles;

  std::printf("Times in ms; own/doc is the command's own time per document; most files: of the\n"
              "run in the temporary folder at once (copies among them)\n");
  std::printf("%-22s %6s %9s %9s %9s %9s %9s %8s %11s %9s\n", "run", "docs", "Execute", "helpers",
              "plug-in", "dialogs", "client", "own/doc", "most files", "left out");
  // What a first run loads once per process (libraries, type information, the plug-in) is no
  // document's time: one run of each, not shown, first.
  Run(Kind::kMerge, 2, false);
  Run(Kind::kSend, 2, false);
  for (Kind kind : {Kind::kMerge, Kind::kSend}) {
    for (auto [count, oneName] : {std::pair{10, false}, {100, false}, {1000, false}, {1000, true}}) {
      const Result result = Run(kind, count, oneName);
      const double helpers = result.spent.start + result.spent.wait;
      const double own = result.total - helpers - result.spent.plugin - result.spent.dialogs - result.spent.client -
                         result.spent.probe;
      const std::string name = std::string(kind == Kind::kMerge ? "Create PDF merged" : "Send PDF") +
                               (oneName ? ", one name" : "");
      std::printf("%-22s %6d %9.0f %9.0f %9.0f %9.0f %9.0f %8.2f %6d (%d) %9d\n", name.c_str(), count,
                  result.total / 1000, helpers / 1000, result.spent.plugin / 1000, result.spent.dialogs / 1000,
                  result.spent.client / 1000, own / 1000 / count, g_mostFiles.load(), g_mostCopies.load(), result.leftOut);
    }
  }
  std::printf("client objects still alive: %ld\n", tb::LiveObjects());
  CoUninitialize();
  return 0;
}
