#include "tests/testing/trace_log.h"

#include <windows.h>

#include <filesystem>
#include <fstream>

namespace testing_support {

TraceLog::TraceLog() {
  wchar_t folder[MAX_PATH], file[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"trc", 0, file);
  m_path = file;
  SetEnvironmentVariableW(L"VPDF_TRACE_LOG", m_path.c_str());
}

TraceLog::~TraceLog() {
  SetEnvironmentVariableW(L"VPDF_TRACE_LOG", nullptr);
  DeleteFileW(m_path.c_str());
}

std::string TraceLog::Text() const {
  std::ifstream in(std::filesystem::path(m_path), std::ios::binary);
  std::string text;
  for (std::string line; std::getline(in, line);) {
    // level|source|line|text, with "\n" and "\\" escaped in the text
    const size_t source = line.find('|') + 1, number = line.find('|', source);
    text += line.substr(0, source - 1) + " " + line.substr(source, number - source) + " ";
    for (size_t i = line.find('|', number + 1) + 1; i < line.size(); ++i)
      text += line[i] != '\\' || i + 1 == line.size() ? line[i] : line[++i] == 'n' ? '\n' : line[i];
    text += "\n";
  }
  return text;
}

void TraceLog::Clear() const { std::ofstream(std::filesystem::path(m_path), std::ios::binary | std::ios::trunc); }

}  // namespace testing_support
