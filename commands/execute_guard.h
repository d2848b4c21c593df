// The outer level of every command's Execute: nothing thrown below it reaches the
// client. Each kind of failure is logged once and Execute still answers S_OK.
#pragma once
#include <windows.h>

#include <source_location>

#include "convutils/entry_guard.h"
#include "convutils/log.h"
#include "outside/companions.h"

namespace vpdf {

// Runs `body`; an exception that escapes it is logged by its kind. False when one did: the run
// ended without its result.
template <class Body>
bool RunGuarded(const LogSource& log, Body&& body,
                std::source_location where = std::source_location::current()) noexcept {
  return Guarded(log, "Execute", false, [&] {
    // What an earlier run could not load is looked for again.
    outside::RetryMissingCompanions();
    body();
    return true;
  }, where);
}

}  // namespace vpdf
