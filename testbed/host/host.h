// What the client host's verbs share: printing, the sample DMS world and the runs of the
// add-in's commands (host_commands.cpp).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "IManExt.h"
#include "testbed/dms/tbdms.h"

namespace host {

// printf-style, written to stdout as UTF-8.
void Print(const wchar_t* format, ...);

// A small DMS world: one session, one database, three text documents (1001-1003); the verbs add
// what they need. The content files live in %TEMP%\clienthost-samples until the world goes.
class SampleWorld {
 public:
  SampleWorld();
  ~SampleWorld();
  SampleWorld(const SampleWorld&) = delete;
  SampleWorld& operator=(const SampleWorld&) = delete;

  // A document of this database whose content is a new file `fileName` with `bytes`.
  tb::Document* Add(long number, const std::wstring& name, const std::wstring& typeName,
                    const std::wstring& extension, const std::wstring& fileName,
                    const std::string& bytes);
  tb::Document* AddXps(long number, const std::wstring& name, int pages);
  tb::Document* AddPdf(long number, const std::wstring& name, int pages);

  // The context a client hands a command: "SelectedNRTDocuments" with `selected`, and the
  // sessions and the database as the selected container.
  HRESULT MakeContext(const std::vector<tb::Document*>& selected, IContextItems** items) const;

  tb::Session* session = nullptr;
  tb::Database* database = nullptr;
  std::vector<tb::Document*> documents;
  std::wstring folder;

 private:
  std::vector<std::wstring> m_files;
};

// `clienthost createpdf|newpdf|sendpdf|openinpro|openincnv ...`: runs the command on the
// sample world with its dialogs answered, and prints what it started and what changed in the
// DMS. Returns the process exit code.
int RunCommandVerb(int argc, wchar_t** argv);

}  // namespace host
