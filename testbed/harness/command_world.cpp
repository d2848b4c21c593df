#include "testbed/harness/command_world.h"

#include <tlhelp32.h>

#include "testbed/dms/client_commands.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace harness {

tbreg::KeyList MissingRunKeys() {
  return tbreg::MissingParts({{HKEY_LOCAL_MACHINE, kRunProductKey},
                              {HKEY_LOCAL_MACHINE, kRunProductKey32},
                              {HKEY_LOCAL_MACHINE, kRunPolicyKey},
                              {HKEY_CURRENT_USER, kRunPolicyKey},
                              {HKEY_CURRENT_USER, kRunConfigKey},
                              {HKEY_CURRENT_USER, kRunProductKey},
                              {HKEY_CURRENT_USER, L"Software\\VarnelTestbed\\Agents"}});
}

std::vector<DWORD> ChildProcesses(const wchar_t* exeName) {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, exeName) == 0 &&
        entry.th32ParentProcessID == GetCurrentProcessId())
      ids.push_back(entry.th32ProcessID);
  CloseHandle(snapshot);
  return ids;
}

bool WaitForChildren(const wchar_t* exeName) {
  const ULONGLONG deadline = GetTickCount64() + 15000;
  bool ended = true;
  for (DWORD id : ChildProcesses(exeName)) {
    if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id)) {
      const ULONGLONG now = GetTickCount64();
      ended &= WaitForSingleObject(process, now < deadline ? static_cast<DWORD>(deadline - now) : 0) ==
               WAIT_OBJECT_0;
      CloseHandle(process);
    }
  }
  return ended;
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> QuotedParts(const std::wstring& line) {
  std::vector<std::wstring> parts;
  for (size_t open = line.find(L'"'); open != std::wstring::npos;) {
    size_t close = line.find(L'"', open + 1);
    if (close == std::wstring::npos) break;
    parts.push_back(line.substr(open + 1, close - open - 1));
    open = line.find(L'"', close + 1);
  }
  return parts;
}

HRESULT AddItem(IContextItems* items, const wchar_t* name, VARIANT& value) {
  BSTR text = SysAllocString(name);
  HRESULT hr = items->Add(text, value);
  SysFreeString(text);
  VariantClear(&value);
  return hr;
}

HRESULT AddItem(IContextItems* items, const wchar_t* name, IDispatch* object, VARTYPE type) {
  VARIANT value;
  value.vt = type;
  value.pdispVal = object;
  object->AddRef();
  return AddItem(items, name, value);
}

HRESULT Select(IContextItems* items, const wchar_t* name, const std::vector<IDispatch*>& objects) {
  VARIANT value;
  value.vt = VT_ARRAY | VT_DISPATCH;
  value.parray = tb::DispatchArray(objects);
  return AddItem(items, name, value);
}

HRESULT SelectUnreadable(IContextItems* items, const wchar_t* name) {
  VARIANT value;
  value.vt = VT_ARRAY | VT_DISPATCH;
  value.parray = nullptr;
  return AddItem(items, name, value);
}

VARIANT ContextItem(IContextItems* items, const wchar_t* name) {
  VARIANT value;
  VariantInit(&value);
  VARIANT index;
  index.vt = VT_BSTR;
  index.bstrVal = SysAllocString(name);
  items->Item(index, &value);
  VariantClear(&index);
  return value;
}

bool Refreshed(IContextItems* items) {
  VARIANT value = ContextItem(items, L"iManExt.Refresh");
  const bool set = value.vt == VT_BOOL && value.boolVal == VARIANT_TRUE;
  VariantClear(&value);
  return set;
}

CommandWorld::CommandWorld(const std::wstring& workName) : CommandWorld(workName, Options()) {}

CommandWorld::CommandWorld(const std::wstring& workName, Options options)
    : m_options(std::move(options)) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  work = std::wstring(temp) + workName;
  Placeholder(work, L"%WORK%");
  changes.Ignore(work);
  for (const tbreg::Value* value : {&installPath, &installPath32, &configPath, &collectData,
                                    &collectDataUser, &analyticsMachine, &analyticsUser})
    value->Remove();
  for (const auto& language : uiLanguage) language.Remove();
  testbed::PointProductAt(testbed::ProductFolder());
  // Usage events are on by policy: every Execute starts the usage helper.
  collectData.SetDword(1);
}

CommandWorld::~CommandWorld() {
  Settle();
  Release();
  ForgetPlaceholder(L"%WORK%");
  RemoveWork();
}

bool CommandWorld::CreateWork() {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(work), ignored);
  return CreateDirectoryW(work.c_str(), nullptr) != 0;
}

std::error_code CommandWorld::RemoveWork() {
  std::error_code error;
  std::filesystem::remove_all(std::filesystem::path(work), error);
  return error;
}

void CommandWorld::SetUILanguage(DWORD language) {
  for (const auto& value : uiLanguage) value.SetDword(language);
}

tb::Session* CommandWorld::Session() {
  if (!m_session) {
    m_session = tb::Session::Create(m_options.user, m_options.sessionId);
    m_owned.push_back(m_session);
  }
  return m_session;
}

tb::Database* CommandWorld::Database() {
  if (!m_database) {
    m_database = tb::Database::Create(m_options.database, Session());
    m_owned.push_back(m_database);
  }
  return m_database;
}

tb::Document* CommandWorld::Doc(const std::wstring& name, const std::wstring& extension,
                                const std::string& content, long number,
                                const std::wstring& typeName) {
  static long next = 1000;
  if (!number) number = ++next;
  const std::wstring contentPath = Work(L"content" + std::to_wstring(number) + L"." + extension);
  WriteText(contentPath, content);
  return Keep(tb::Document::Create(Database(), number, 1, name,
                                   typeName.empty() ? extension + L"TYPE" : typeName, extension,
                                   contentPath));
}

tb::Document* CommandWorld::Keep(tb::Document* document) {
  m_owned.push_back(document);
  changes.Watch(document);
  return document;
}

tb::AutoObject* CommandWorld::Keep(tb::AutoObject* object) {
  m_owned.push_back(object);
  return object;
}

void CommandWorld::Release() {
  changes = Changes(&journal);  // it holds no references, but names the documents
  changes.Ignore(work);
  for (IDispatch* object : m_owned) object->Release();
  m_owned.clear();
  m_session = nullptr;
  m_database = nullptr;
}

void CommandWorld::Reset() {
  journal.Clear();
  testbed::ClearAgentControls();
  tb::ResetClientCommands();
  changes.Restart();
}

std::wstring CommandWorld::Settle() const {
  std::wstring running;
  for (const wchar_t* helper : {testbed::kUsageStatsExe, testbed::kConversionToolExe, testbed::kPdfEditorExe})
    if (!WaitForChildren(helper)) running += L"still running " + std::wstring(helper) + L"\n";
  return running;
}

std::wstring CommandWorld::Effects() const {
  const std::wstring running = Settle();
  return running + changes.Render();
}

}  // namespace harness
