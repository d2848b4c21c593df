#include "tests/testing/trace_log.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace testing_support {

// Must match testbed/companions/tracediag.cpp.
constexpr wchar_t kTraceFileVariable[] = L"VPDF_TRACE_LOG";

TraceLog::TraceLog() {
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"trc", 0, file);
  m_path = file;
  SetEnvironmentVariableW(kTraceFileVariable, m_path.c_str());
}

TraceLog::~TraceLog() {
  SetEnvironmentVariableW(kTraceFileVariable, nullptr);
  DeleteFileW(m_path.c_str());
}

std::vector<TraceRecord> TraceLog::Records() const {
  std::vector<TraceRecord> records;
  std::ifstream in(std::filesystem::path(m_path), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    // level|source|line|text, with "\n" and "\\" escaped in the text.
    std::istringstream fields(line);
    TraceRecord record;
    std::string level, number;
    if (!std::getline(fields, level, '|') || !std::getline(fields, record.source, '|') ||
        !std::getline(fields, number, '|'))
      continue;
    record.level = std::stoi(level);
    record.line = std::stoi(number);
    std::string escaped;
    std::getline(fields, escaped);
    for (size_t i = 0; i < escaped.size(); ++i) {
      if (escaped[i] == '\\' && i + 1 < escaped.size()) {
        ++i;
        record.text += escaped[i] == 'n' ? '\n' : escaped[i];
      } else {
        record.text += escaped[i];
      }
    }
    records.push_back(record);
  }
  return records;
}

bool TraceLog::Has(const std::string& text) const {
  for (const TraceRecord& record : Records())
    if (record.text == text) return true;
  return false;
}

void TraceLog::Clear() { std::ofstream(std::filesystem::path(m_path), std::ios::binary | std::ios::trunc); }

}  // namespace testing_support
