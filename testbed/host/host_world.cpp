// The client host's sample DMS world, and its printing.
#include <windows.h>

#include <cstdarg>
#include <cstdio>

#include "testbed/agents/journal.h"
#include "testbed/host/host.h"
#include "testbed/pdf/tbpdf.h"

namespace host {

void Print(const wchar_t* format, ...) {
  wchar_t text[4096];
  va_list args;
  va_start(args, format);
  _vsnwprintf(text, 4095, format, args);
  va_end(args);
  text[4095] = L'\0';
  // The console may not speak UTF-16; UTF-8 reads everywhere.
  char utf8[16384];
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
  if (length > 0) fwrite(utf8, 1, static_cast<size_t>(length - 1), stdout);
  fflush(stdout);
}

SampleWorld::SampleWorld()
    : CommandWorld(L"clienthost-samples", {L"jdoe", L"!nrtdms:0:!session:DMSSERVER:", L"DB1"}) {
  CreateWork();
  Session()->SetString(L"ServerName", L"DMSSERVER");
  const wchar_t* names[] = {L"Meeting notes", L"Budget 2026", L"Contract draft"};
  for (long i = 0; i < 3; ++i)
    documents.push_back(Doc(names[i], L"txt", "Sample document " + std::to_string(i + 1) + "\r\n",
                            1001 + i, L"ANSI"));
}

tb::Document* SampleWorld::AddXps(long number, const std::wstring& name, int pages) {
  documents.push_back(Doc(name, L"xps", "", number, L"XPS"));
  testbed::WriteXpsPackage(documents.back()->ContentPath(), pages);
  return documents.back();
}

tb::Document* SampleWorld::AddPdf(long number, const std::wstring& name, int pages) {
  std::vector<tbpdf::Page> content;
  for (int page = 1; page <= pages; ++page)
    content.push_back({name, L"page " + std::to_wstring(page)});
  documents.push_back(Doc(name, L"pdf", tbpdf::Serialize(content), number, L"ACROBAT"));
  return documents.back();
}

HRESULT SampleWorld::MakeContext(const std::vector<tb::Document*>& selected,
                                 IContextItems** items) {
  HRESULT hr = tb::NewContextItems(items);
  if (FAILED(hr)) return hr;
  hr = harness::Select(*items, L"SelectedNRTDocuments",
                       std::vector<IDispatch*>(selected.begin(), selected.end()));
  auto add = [&](const wchar_t* name, IUnknown* object) {
    VARIANT value;
    value.vt = VT_UNKNOWN;
    value.punkVal = object;
    const HRESULT added = harness::AddItem(*items, name, value);
    if (SUCCEEDED(hr)) hr = added;
  };
  add(L"NRTSessions", tb::NewSessions({Session()}));
  Database()->AddRef();
  add(L"SelectedContainer", Database());
  return hr;
}

}  // namespace host
