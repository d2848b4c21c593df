// Reads what the stand-in log library wrote for the add-in during a test.
#pragma once
#include <string>
#include <vector>

namespace testing_support {

struct TraceRecord {
  int level = 0;
  std::string source;
  int line = 0;
  std::string text;  // UTF-8
};

// While alive, the log library writes to a file of its own; gone again afterwards.
class TraceLog {
 public:
  TraceLog();
  ~TraceLog();
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  std::vector<TraceRecord> Records() const;
  // Whether a record's text equals `text` exactly.
  bool Has(const std::string& text) const;
  void Clear();
  const std::wstring& Path() const { return m_path; }

 private:
  std::wstring m_path;
};

}  // namespace testing_support
