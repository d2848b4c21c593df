// Times Create PDF's Execute on a merge of 30 documents and splits the time into what the
// helper processes take (their start and the wait for them), what the merge plug-in takes, what
// the dialogs take (the person answering them included), what the client's objects take, and
// what is left: the command's own work, with the part of it spent in calls on files by name. Run by hand under Wine (README, Benchmarks): not a test.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "commands/createpdf/create_pdf.h"
#include "outside/companions.h"
#include "testbed/agents/journal.h"
#include "testbed/dms/tbdms.h"
#include "bench/timing.h"
#include "testbed/harness/answerer.h"

namespace {

using bench::Timer, bench::g_spent;
constexpr int kDocuments = 30;
constexpr int kRounds = 5;

// The person: merges in the order shown, then cancels the save question.
constexpr int kFileList = 216, kMerge = 217, kSaveLocal = 204;

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  // --profile: a sampling profile of the command's own time over all rounds but the first.
  const bool profile = argc > 1 && std::string(argv[1]) == "--profile";
  std::unique_ptr<bench::Sampler> sampler;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const bench::ProductAtTestbed product;
  if (!bench::InstallTimers() || !bench::InstallFileTimers()) return 1;

  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"bench_execute";
  CreateDirectoryW(folder.c_str(), nullptr);
  tb::Session* session = tb::Session::Create(L"jdoe", L"DMSSRV");
  tb::Database* database = tb::Database::Create(L"DB1", session);
  std::vector<IDispatch*> documents;
  for (int i = 1; i <= kDocuments; ++i) {
    const std::wstring path = folder + L"\\doc" + std::to_wstring(i) + L".txt";
    std::ofstream(path.c_str(), std::ios::binary) << "Document " << i << "\r\n";
    documents.push_back(tb::Document::Create(database, 1000 + i, 1, L"Document " + std::to_wstring(i),
                                             L"ANSI", L"txt", path));
  }

  std::printf("Create PDF, merge of %d text documents; times in ms\n", kDocuments);
  std::printf("%6s %9s %9s %9s %9s %9s %9s %10s %11s %7s %16s\n", "round", "Execute", "start",
              "wait", "plug-in", "dialogs", "client", "own", "own/doc", "own %", "of it: files");
  std::vector<double> own, share, files;
  for (int round = 1; round <= kRounds; ++round) {
    vpdf::ComPtr<vpdf::CCreatePDF> command(new vpdf::CCreatePDF);
    IContextItems* context = nullptr;
    if (FAILED(tb::NewContextItems(&context))) return 1;
    VARIANT selection;
    selection.vt = VT_ARRAY | VT_DISPATCH;
    selection.parray = tb::DispatchArray(documents);
    BSTR name = SysAllocString(L"SelectedNRTDocuments");
    context->Add(name, selection);
    SysFreeString(name);
    VariantClear(&selection);
    command->Initialize(context);

    g_spent = {};
    double total = 0;
    if (profile && round == 2) sampler = std::make_unique<bench::Sampler>();
    {
      harness::Answerer person;
      person.On(harness::WithControl(kFileList), {harness::Pick(kMerge), harness::Press(IDOK)})
          .On(harness::WithControl(kSaveLocal), {harness::Press(IDCANCEL)});
      Timer timer(total, false);
      command->Execute();
    }
    const bench::Spent spent = g_spent;  // the releases below are no part of the run
    command.Reset();
    context->Release();
    const double rest = total - spent.start - spent.wait - spent.plugin - spent.dialogs -
                        spent.client - spent.probe;
    own.push_back(rest);
    share.push_back(100 * rest / total);
    files.push_back(spent.files);
    std::printf("%6d %9.1f %9.1f %9.1f %9.1f %9.1f %9.1f %10.1f %11.2f %7.2f %7.1f (%d calls)\n",
                round, total / 1000, spent.start / 1000, spent.wait / 1000, spent.plugin / 1000,
                spent.dialogs / 1000, spent.client / 1000, rest / 1000, rest / 1000 / kDocuments,
                share.back(), spent.files / 1000, spent.fileCalls);
  }
  if (sampler) {
    sampler->Stop();
    sampler->Print(40);
  }
  std::sort(own.begin(), own.end());
  std::sort(share.begin(), share.end());
  std::sort(files.begin(), files.end());
  std::printf("own time, median of %d rounds: %.1f ms (%.2f ms per document), %.2f%% of the run; "
              "of it file calls %.1f ms\n",
              kRounds, own[kRounds / 2] / 1000, own[kRounds / 2] / 1000 / kDocuments,
              share[kRounds / 2], files[kRounds / 2] / 1000);

  for (IDispatch* document : documents) document->Release();
  database->Release();
  session->Release();
  for (int i = 1; i <= kDocuments; ++i)
    DeleteFileW((folder + L"\\doc" + std::to_wstring(i) + L".txt").c_str());
  RemoveDirectoryW(folder.c_str());
  std::printf("client objects still alive: %ld\n", tb::LiveObjects());
  CoUninitialize();
  return 0;
}
