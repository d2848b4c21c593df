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
  // Records whose text equals `text` exactly.
  int Count(const std::string& text) const;
  bool Has(const std::string& text) const { return Count(text) > 0; }
  // The first record whose text equals `text`, or null.
  bool Find(const std::string& text, TraceRecord& found) const;
  // Position of the first record with this text, -1 when absent; for order checks.
  int IndexOf(const std::string& text) const;
  void Clear();
  const std::wstring& Path() const { return m_path; }

 private:
  std::wstring m_path;
};

}  // namespace testing_support
