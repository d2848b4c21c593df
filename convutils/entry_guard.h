// Nothing thrown reaches the client or the system. Every function they call into the add-in
// (COM methods, class objects, event sinks, window and dialog procedures) runs its body through
// Guarded, which answers a failure code or the caller's "not handled" instead.
#pragma once
#include <windows.h>

#include <source_location>

#include "convutils/log.h"

namespace vpdf {

// Inside a catch block: logs the exception being handled by its kind, as "Exception in
// <operation>, ..." (the last resort names the file and line of `where`), and returns the code
// it stands for: a ComError's own, E_OUTOFMEMORY for an allocation failure, else E_UNEXPECTED.
// Never throws: a record that cannot be written is given up.
HRESULT LogCaughtException(const LogSource& log, const char* operation,
                           std::source_location where) noexcept;

// `body`'s result, or when it throws (the exception logged) that of `failed`, which must not throw
// itself: what the caller answers then, after undoing what the body left (a dialog is ended).
template <class Body, class Failed>
auto GuardedElse(const LogSource& log, const char* operation, Body&& body, Failed&& failed,
                 std::source_location where = std::source_location::current()) noexcept
    -> decltype(body()) {
  try {
    return body();
  } catch (...) {
    LogCaughtException(log, operation, where);
    return failed();
  }
}

// `body`'s result, or `failed` when it throws (the exception logged).
template <class Result, class Body>
Result Guarded(const LogSource& log, const char* operation, Result failed, Body&& body,
               std::source_location where = std::source_location::current()) noexcept {
  try {
    return body();
  } catch (...) {
    LogCaughtException(log, operation, where);
    return failed;
  }
}

// A COM method's body: its HRESULT, or the code of what it threw.
template <class Body>
HRESULT GuardedHr(const LogSource& log, const char* operation, Body&& body,
                  std::source_location where = std::source_location::current()) noexcept {
  try {
    return body();
  } catch (...) {
    return LogCaughtException(log, operation, where);
  }
}

}  // namespace vpdf
