// What the client host's verbs share: printing, the sample DMS world and the runs of the
// add-in's commands (host_commands.cpp).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "IManExt.h"
#include "testbed/dms/tbdms.h"
#include "testbed/harness/command_world.h"
#include "testbed/sweep/faults.h"

namespace host {

// printf-style, written to stdout as UTF-8.
void Print(const wchar_t* format, ...);

// A small DMS world on the harness's command world: one session, database DB1, three text
// documents (1001-1003); the verbs add what they need. The content files live in
// %TEMP%\clienthost-samples until the world goes; the registry is put back then too.
class SampleWorld : public harness::CommandWorld {
 public:
  SampleWorld();

  tb::Document* AddXps(long number, const std::wstring& name, int pages);
  tb::Document* AddPdf(long number, const std::wstring& name, int pages);

  // The context a client hands a command: "SelectedNRTDocuments" with `selected`, and the
  // sessions and the database as the selected container.
  HRESULT MakeContext(const std::vector<tb::Document*>& selected, IContextItems** items);

  std::vector<tb::Document*> documents;
};

// `clienthost createpdf|newpdf|sendpdf|openinpro|openincnv ...`: runs the command on the
// sample world with its dialogs answered, and prints the answers and what changed.
// Returns the process exit code.
int RunCommandVerb(int argc, wchar_t** argv);

// The fault plan of `clienthost fault ...`, armed while a command lives; null otherwise.
extern sweep::Faults* g_faults;

// `clienthost dialogs merge|save|message|progress ...`: one of the add-in's dialogs on its own
// (host_dialogs.cpp).
int ShowDialog(int argc, wchar_t** argv);

}  // namespace host
