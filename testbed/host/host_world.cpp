// The client host's sample DMS world, and its printing.
#include <windows.h>

#include <cstdarg>
#include <cstdio>

#include "testbed/agents/journal.h"
#include "testbed/host/host.h"

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

SampleWorld::SampleWorld() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  folder = std::wstring(temp) + L"clienthost-samples";
  CreateDirectoryW(folder.c_str(), nullptr);
  session = tb::Session::Create(L"jdoe", L"!nrtdms:0:!session:DMSSERVER:");
  session->SetString(L"ServerName", L"DMSSERVER");
  database = tb::Database::Create(L"DB1", session);
  const wchar_t* names[] = {L"Meeting notes", L"Budget 2026", L"Contract draft"};
  for (long i = 0; i < 3; ++i)
    Add(1001 + i, names[i], L"ANSI", L"txt", L"sample" + std::to_wstring(i + 1) + L".txt",
        "Sample document " + std::to_string(i + 1) + "\r\n");
}

SampleWorld::~SampleWorld() {
  for (tb::Document* document : documents) document->Release();
  database->Release();
  session->Release();
  for (const std::wstring& file : m_files) DeleteFileW(file.c_str());
  RemoveDirectoryW(folder.c_str());
}

tb::Document* SampleWorld::Add(long number, const std::wstring& name, const std::wstring& typeName,
                               const std::wstring& extension, const std::wstring& fileName,
                               const std::string& bytes) {
  const std::wstring path = folder + L"\\" + fileName;
  if (!bytes.empty()) tbpdf::WriteFileBytes(path, bytes);
  m_files.push_back(path);
  documents.push_back(tb::Document::Create(database, number, 1, name, typeName, extension, path));
  return documents.back();
}

tb::Document* SampleWorld::AddXps(long number, const std::wstring& name, int pages) {
  const std::wstring fileName = L"sample" + std::to_wstring(number) + L".xps";
  testbed::WriteXpsPackage(folder + L"\\" + fileName, pages);
  return Add(number, name, L"XPS", L"xps", fileName, "");
}

tb::Document* SampleWorld::AddPdf(long number, const std::wstring& name, int pages) {
  std::vector<tbpdf::Page> content;
  for (int page = 1; page <= pages; ++page)
    content.push_back({name, L"page " + std::to_wstring(page)});
  return Add(number, name, L"ACROBAT", L"pdf", L"sample" + std::to_wstring(number) + L".pdf",
             tbpdf::Serialize(content));
}

HRESULT SampleWorld::MakeContext(const std::vector<tb::Document*>& selected,
                                 IContextItems** items) const {
  HRESULT hr = tb::NewContextItems(items);
  if (FAILED(hr)) return hr;
  auto add = [&](const wchar_t* name, VARIANT& value) {
    BSTR text = SysAllocString(name);
    if (SUCCEEDED(hr)) hr = (*items)->Add(text, value);
    SysFreeString(text);
    VariantClear(&value);
  };
  VARIANT value;
  value.vt = VT_ARRAY | VT_DISPATCH;
  value.parray = tb::DispatchArray(std::vector<IDispatch*>(selected.begin(), selected.end()));
  add(L"SelectedNRTDocuments", value);
  value.vt = VT_UNKNOWN;
  value.punkVal = tb::NewSessions({session});
  add(L"NRTSessions", value);
  value.vt = VT_UNKNOWN;
  value.punkVal = database;
  database->AddRef();
  add(L"SelectedContainer", value);
  return hr;
}

}  // namespace host
