#include "tests/testbed_test_helpers.h"

#include <shellapi.h>

#include "testbed/agents/agent_common.h"

namespace testbed_tests {

TempFolder::TempFolder(const std::wstring& prefix) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring base = temp;
  if (!base.empty() && base.back() == L'\\') base.pop_back();
  for (unsigned n = GetTickCount();; ++n) {
    m_path = base + L"\\" + prefix + std::to_wstring(n % 100000);
    if (CreateDirectoryW(m_path.c_str(), nullptr)) break;
  }
}

TempFolder::~TempFolder() {
  // SHFileOperation wants a double-terminated list.
  std::wstring from = m_path + L'\0';
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  SHFileOperationW(&op);
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteText(const std::wstring& path, const std::string& bytes) {
  return tbpdf::WriteFileBytes(path, bytes);
}

void KeepSample(const std::wstring& name, const std::wstring& pdf, int pages,
                const std::vector<std::wstring>& texts) {
  wchar_t folder[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"VPDF_PDF_SAMPLES", folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::wstring base = std::wstring(folder) + L"\\" + name;
  CopyFileW(pdf.c_str(), (base + L".pdf").c_str(), FALSE);
  std::string expect = std::to_string(pages) + "\n";
  for (const std::wstring& text : texts) expect += tbagent::WideToUtf8(text) + "\n";
  tbpdf::WriteFileBytes(base + L".expect", expect);
}

}  // namespace testbed_tests
