// Reads what the stand-in log library (testbed/companions/tracediag.cpp) wrote for the add-in
// during a test.
#pragma once
#include <string>

namespace testing_support {

// While alive, the log library writes to a file of its own; gone again afterwards.
class TraceLog {
 public:
  TraceLog();
  ~TraceLog();
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // The records so far, one line "level source text" each (UTF-8).
  std::string Text() const;
  void Clear() const;

 private:
  std::wstring m_path;
};

}  // namespace testing_support
