#include "testbed/agents/journal.h"

#include <shlobj.h>

#include <cstdint>
#include <cwctype>

#include "testbed/agents/agent_common.h"

namespace testbed {

std::wstring JournalEntry::Arguments() const { return tbagent::ArgumentsAfterProgram(commandLine); }

AgentJournal::AgentJournal() {
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"jnl", 0, file);
  m_path = file;
  SetEnvironmentVariableW(tbagent::kJournalVariable, m_path.c_str());
}

AgentJournal::~AgentJournal() {
  SetEnvironmentVariableW(tbagent::kJournalVariable, nullptr);
  DeleteFileW(m_path.c_str());
}

std::vector<JournalEntry> AgentJournal::Entries() const {
  std::vector<JournalEntry> entries;
  std::string bytes;
  if (!tbpdf::ReadFileBytes(m_path, bytes)) return entries;
  std::wstring text = tbagent::Utf8ToWide(bytes);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) break;  // a line still being written
    std::wstring line = text.substr(start, end - start);
    start = end + 1;
    size_t first = line.find(L'|'), last = line.rfind(L'|');
    if (first == std::wstring::npos || first == last) continue;
    JournalEntry entry;
    entry.program = line.substr(0, first);
    entry.commandLine = line.substr(first + 1, last - first - 1);
    entry.what = tbagent::UnescapeWhat(line.substr(last + 1));
    entries.push_back(entry);
  }
  return entries;
}

std::vector<JournalEntry> AgentJournal::Entries(const std::wstring& program) const {
  std::vector<JournalEntry> selected;
  for (const JournalEntry& entry : Entries())
    if (_wcsicmp(entry.program.c_str(), program.c_str()) == 0) selected.push_back(entry);
  return selected;
}

bool AgentJournal::WaitFor(const std::wstring& program, size_t count, DWORD timeoutMs) const {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    if (Entries(program).size() >= count) return true;
    if (GetTickCount64() >= deadline) return false;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(50);
  }
}

void AgentJournal::Clear() {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, tbagent::kJournalMutex);
  if (mutex) WaitForSingleObject(mutex, 10000);
  HANDLE file = CreateFileW(m_path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (mutex) {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
}

// ---------------------------------------------------------------- controls

namespace {

std::wstring ControlKey(const std::wstring& agent) {
  return std::wstring(tbagent::kControlKey) + L"\\" + agent;
}

void SetValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type,
              const void* data, DWORD size, REGSAM extra = 0) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | extra, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

void SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value,
               REGSAM extra = 0) {
  SetValue(root, path, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * 2),
           extra);
}

void SetDword(const std::wstring& agent, const wchar_t* name, DWORD value) {
  SetValue(HKEY_CURRENT_USER, ControlKey(agent), name, REG_DWORD, &value, sizeof value);
}

}  // namespace

std::wstring PagesBehaviour(int pages) { return L"pages:" + std::to_wstring(pages); }

void SetAgentBehaviour(const std::wstring& agent, const std::wstring& subject,
                       const std::wstring& behaviour) {
  SetString(HKEY_CURRENT_USER, ControlKey(agent), subject.c_str(), behaviour);
}

void SetAgentDelay(const std::wstring& agent, DWORD milliseconds) {
  SetDword(agent, L"DelayMs", milliseconds);
}

void SetMergeResult(const std::wstring& call, int result) {
  SetDword(kMerge, call.c_str(), static_cast<DWORD>(result));
}

void ClearAgentControls() { RegDeleteTreeW(HKEY_CURRENT_USER, tbagent::kControlKey); }

// ---------------------------------------------------------------- product folder

namespace {
std::wstring ProgramFiles() {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}
}  // namespace

std::wstring ProductFolder() { return ProgramFiles() + L"\\Ostrel\\PDF"; }
std::wstring ClientFolder() { return ProgramFiles() + L"\\iManage Client"; }
std::wstring AddinPath() { return ProductFolder() + L"\\VPDFIManageAddon.dll"; }

void PointProductAt(const std::wstring& folder) {
  std::wstring withSlash = folder;
  if (withSlash.empty() || withSlash.back() != L'\\') withSlash += L'\\';
  SetString(HKEY_LOCAL_MACHINE, L"Software\\Ostrel\\PDF\\V1", L"InstallPath", withSlash);
  SetString(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Ostrel\\PDF\\V1", L"InstallPath",
            withSlash, KEY_WOW64_32KEY);
  SetString(HKEY_CURRENT_USER, L"Software\\VarnelTestbed\\Config", L"InstallPath", folder);
}

// ---------------------------------------------------------------- XPS package

namespace {

uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// What a local header and its central-directory entry share: a stored entry of 1980-01-01.
void PutEntryFields(std::string& out, uint32_t crc, uint32_t size, size_t nameLength) {
  Put16(out, 20);    // version needed
  Put16(out, 0);     // flags
  Put16(out, 0);     // stored
  Put16(out, 0);     // time
  Put16(out, 0x21);  // date
  Put32(out, crc);
  Put32(out, size);  // compressed
  Put32(out, size);
  Put16(out, static_cast<uint32_t>(nameLength));
  Put16(out, 0);  // extra
}

}  // namespace

bool WriteXpsPackage(const std::wstring& path, int pages) {
  std::vector<std::pair<std::string, std::string>> entries;
  entries.push_back({"[Content_Types].xml",
                     "<?xml version=\"1.0\" encoding=\"utf-8\"?><Types xmlns=\"http://schemas."
                     "openxmlformats.org/package/2006/content-types\"><Default Extension=\"fdseq\" "
                     "ContentType=\"application/vnd.ms-package.xps-fixeddocumentsequence+xml\"/>"
                     "<Default Extension=\"fdoc\" ContentType=\"application/vnd.ms-package.xps-"
                     "fixeddocument+xml\"/><Default Extension=\"fpage\" ContentType=\"application/"
                     "vnd.ms-package.xps-fixedpage+xml\"/><Default Extension=\"rels\" ContentType="
                     "\"application/vnd.openxmlformats-package.relationships+xml\"/></Types>"});
  entries.push_back({"_rels/.rels",
                     "<?xml version=\"1.0\" encoding=\"utf-8\"?><Relationships xmlns=\"http://"
                     "schemas.openxmlformats.org/package/2006/relationships\"><Relationship Type="
                     "\"http://schemas.microsoft.com/xps/2005/06/fixedrepresentation\" Target=\"/"
                     "FixedDocumentSequence.fdseq\" Id=\"R0\"/></Relationships>"});
  entries.push_back({"FixedDocumentSequence.fdseq",
                     "<FixedDocumentSequence xmlns=\"http://schemas.microsoft.com/xps/2005/06\">"
                     "<DocumentReference Source=\"Documents/1/FixedDocument.fdoc\"/>"
                     "</FixedDocumentSequence>"});
  std::string fdoc = "<FixedDocument xmlns=\"http://schemas.microsoft.com/xps/2005/06\">";
  for (int i = 1; i <= pages; ++i)
    fdoc += "<PageContent Source=\"Pages/" + std::to_string(i) + ".fpage\"/>";
  entries.push_back({"Documents/1/FixedDocument.fdoc", fdoc + "</FixedDocument>"});
  for (int i = 1; i <= pages; ++i)
    entries.push_back({"Documents/1/Pages/" + std::to_string(i) + ".fpage",
                       "<FixedPage xmlns=\"http://schemas.microsoft.com/xps/2005/06\" Width=\"816\" "
                       "Height=\"1056\" xml:lang=\"en-us\"></FixedPage>"});

  std::string zip, directory;
  for (const auto& [name, data] : entries) {
    uint32_t offset = static_cast<uint32_t>(zip.size()), crc = Crc32(data);
    uint32_t size = static_cast<uint32_t>(data.size());
    Put32(zip, 0x04034b50);
    PutEntryFields(zip, crc, size, name.size());
    zip += name + data;
    Put32(directory, 0x02014b50);
    Put16(directory, 20);  // made by
    PutEntryFields(directory, crc, size, name.size());
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, 0);  // external attributes
    Put32(directory, offset);
    directory += name;
  }
  uint32_t directoryOffset = static_cast<uint32_t>(zip.size());
  zip += directory;
  Put32(zip, 0x06054b50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, static_cast<uint32_t>(entries.size()));
  Put16(zip, static_cast<uint32_t>(entries.size()));
  Put32(zip, static_cast<uint32_t>(directory.size()));
  Put32(zip, directoryOffset);
  Put16(zip, 0);
  return tbpdf::WriteFileBytes(path, zip);
}

}  // namespace testbed
