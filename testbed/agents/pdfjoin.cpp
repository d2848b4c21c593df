// Stand-in of the product's PDF merge plug-in (PdfJoinPlugin_x64.api), exported by ordinal only:
// 1 InitPDFAttach, 4 DoOpenFile, 9 DoMerge2, 5 DoSaveFile, 2 EndPDFAttach (outside/companions.h).
// It really appends the pages (testbed/pdf) and journals every call.
//
// Results: 0 success; 1 not initialised (no successful InitPDFAttach before); 2 a PDF
// cannot be read; 3 unknown or null handle; 4 the merged file cannot be written;
// 5 EndPDFAttach after a failed call or with a document still open. A control named after a
// call (DWORD, HKCU\Software\VarnelTestbed\Agents\PdfJoinPlugin_x64) makes it fail with that
// result ("control"): DoOpenFile opens nothing, DoMerge2 appends nothing, DoSaveFile writes
// nothing (and closes the document), InitPDFAttach initialises nothing.
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "testbed/agents/agent_common.h"
#include "testbed/pdf/tbpdf.h"

namespace {

constexpr wchar_t kAgent[] = L"PdfJoinPlugin_x64";

struct Document {
  int id = 0;
  std::vector<tbpdf::Page> pages;
};

struct State {
  bool initialised = false;
  bool failed = false;
  int nextId = 1;
  std::map<void*, std::unique_ptr<Document>> open;
};

State& Plugin() {
  static State state;
  return state;
}

using tbagent::Quoted;

Document* Find(void* handle) {
  auto found = Plugin().open.find(handle);
  return found == Plugin().open.end() ? nullptr : found->second.get();
}

std::wstring HandleText(void* handle) {
  Document* document = Find(handle);
  if (document) return L"handle " + std::to_wstring(document->id);
  return handle ? L"handle unknown" : L"handle null";
}

// The result a control forces on `call`, if any.
bool Forced(const wchar_t* call, int& result) {
  DWORD forced = 0;
  if (!tbagent::ControlDword(kAgent, call, forced)) return false;
  result = static_cast<int>(forced);
  return true;
}

int Record(const std::wstring& call, int result, const std::wstring& detail = {}) {
  if (result != 0) Plugin().failed = true;
  return tbagent::LibraryResult(call, result, detail);
}

std::wstring Pages(const Document& document) {
  return std::to_wstring(document.pages.size()) + L" pages";
}

}  // namespace

extern "C" {

int InitPDFAttach(int flags) {
  State& state = Plugin();
  state.failed = false;
  state.open.clear();
  int result = 0;
  const bool forced = Forced(L"InitPDFAttach", result);
  state.initialised = result == 0;
  return Record(L"InitPDFAttach(" + std::to_wstring(flags) + L")", result, forced ? L"control" : L"");
}

int DoOpenFile(const wchar_t* path, void** handle, const char* password) {
  const std::wstring call = L"DoOpenFile(" + Quoted(path) + L", " + Quoted(password) + L")";
  if (handle) *handle = nullptr;
  if (!Plugin().initialised) return Record(call, 1, L"not initialised");
  if (int forced = 0; Forced(L"DoOpenFile", forced)) return Record(call, forced, L"control");
  auto document = std::make_unique<Document>();
  if (!path || !handle || !tbpdf::Read(path, document->pages)) return Record(call, 2, L"cannot read");
  document->id = Plugin().nextId++;
  *handle = document.get();
  std::wstring detail = L"handle " + std::to_wstring(document->id) + L", " + Pages(*document);
  Plugin().open[document.get()] = std::move(document);
  return Record(call, 0, detail);
}

int DoMerge2(void* handle, const wchar_t* path, const wchar_t* a, const wchar_t* b,
             const wchar_t* c, const wchar_t* d, const char* e, short f) {
  const std::wstring call = L"DoMerge2(" + HandleText(handle) + L", " + Quoted(path) + L", " +
                            Quoted(a) + L", " + Quoted(b) + L", " + Quoted(c) + L", " + Quoted(d) +
                            L", " + Quoted(e) + L", " + std::to_wstring(f) + L")";
  if (!Plugin().initialised) return Record(call, 1, L"not initialised");
  Document* document = Find(handle);
  if (!document) return Record(call, 3, L"bad handle");
  if (int forced = 0; Forced(L"DoMerge2", forced)) return Record(call, forced, L"control");
  std::vector<tbpdf::Page> pages;
  if (!path || !tbpdf::Read(path, pages)) return Record(call, 2, L"cannot read");
  document->pages.insert(document->pages.end(), pages.begin(), pages.end());
  return Record(call, 0, Pages(*document));
}

int DoSaveFile(const wchar_t* path, void* handle, int flags) {
  const std::wstring call = L"DoSaveFile(" + Quoted(path) + L", " + HandleText(handle) + L", " +
                            std::to_wstring(flags) + L")";
  if (!Plugin().initialised) return Record(call, 1, L"not initialised");
  Document* document = Find(handle);
  if (!document) return Record(call, 3, L"bad handle");
  if (int forced = 0; Forced(L"DoSaveFile", forced)) {
    Plugin().open.erase(handle);
    return Record(call, forced, L"control");
  }
  std::wstring pages = Pages(*document);
  bool written = path && tbpdf::Write(path, document->pages);
  Plugin().open.erase(handle);
  return written ? Record(call, 0, pages + L" written") : Record(call, 4, L"cannot write");
}

int EndPDFAttach(int flags) {
  State& state = Plugin();
  const std::wstring call = L"EndPDFAttach(" + std::to_wstring(flags) + L")";
  int result = 0;
  std::wstring detail;
  if (!state.initialised) {
    result = 1;
    detail = L"not initialised";
  } else if (!state.open.empty()) {
    result = 5;
    detail = L"document still open";
  } else if (state.failed) {
    result = 5;
    detail = L"an earlier call failed";
  }
  if (Forced(L"EndPDFAttach", result)) detail = L"control";
  state.initialised = false;
  state.open.clear();
  Record(call, result, detail);
  state.failed = false;
  return result;
}

}  // extern "C"
