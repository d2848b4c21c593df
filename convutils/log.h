// Every log record goes through here: category 85, asked first whether it is enabled,
// with the source path of the writing file and the line of the call.
#pragma once
#include <source_location>
#include <type_traits>

#include "outside/companions.h"

namespace vpdf {

enum LogLevel { kTrace = 0, kWarning = 1, kError = 2 };

// A printf format (%S takes a wide string) that remembers the line it was written on.
struct LogFormat {
  const char* text;
  int line;
  LogFormat(const char* format, std::source_location where = std::source_location::current())
      : text(format), line(static_cast<int>(where.line())) {}
};

class LogSource {
 public:
  constexpr explicit LogSource(const char* sourceFile) : m_sourceFile(sourceFile) {}

  template <class... Args>
  void Trace(LogFormat format, Args... args) const { Write(kTrace, format, args...); }
  template <class... Args>
  void Warning(LogFormat format, Args... args) const { Write(kWarning, format, args...); }
  template <class... Args>
  void Error(LogFormat format, Args... args) const { Write(kError, format, args...); }
  // Whether the log records anything now: what is read only for a record need not be read.
  static bool Enabled() { return outside::TraceLogIfEnabled(outside::kLogCategory) != nullptr; }
  template <class... Args>
  void Write(LogLevel level, LogFormat format, Args... args) const {
    static_assert((std::is_scalar_v<Args> && ...), "log arguments travel as C varargs");
    if (auto print = outside::TraceLogIfEnabled(outside::kLogCategory))
      print(outside::kLogCategory, level, m_sourceFile, format.line, format.text, args...);
  }

 private:
  const char* m_sourceFile;
};

}  // namespace vpdf
