// The outer level of every command's Execute: nothing thrown below it reaches the
// client. Each kind of failure is logged once and Execute still answers S_OK.
#pragma once
#include <windows.h>

#include <exception>
#include <source_location>
#include <string>

#include "convutils/comutil.h"
#include "convutils/log.h"
#include "outside/companions.h"

namespace vpdf {

// Runs `body`; an exception that escapes it is logged by its kind.
template <class Body>
HRESULT RunGuarded(const LogSource& log, Body&& body,
                   std::source_location where = std::source_location::current()) {
  // What an earlier run could not load is looked for again.
  outside::RetryMissingCompanions();
  try {
    body();
  } catch (const ComError& error) {
    log.Error("Exception in Execute, com error is: %S", error.Message().c_str());
  } catch (const std::exception& error) {
    log.Error("Exception in Execute, exception is: %S", WidenAnsi(error.what()).c_str());
  } catch (const std::wstring& text) {
    log.Error("Exception in Execute, string is: %S", text.c_str());
  } catch (const wchar_t* text) {
    log.Error("Exception in Execute, string is: %S", text ? text : L"");
  } catch (int code) {
    log.Error("Exception in Execute, code is: %d", code);
  } catch (...) {
    log.Error("%S(%d): Exception in Execute", WidenAnsi(where.file_name()).c_str(),
              static_cast<int>(where.line()));
  }
  return S_OK;
}

}  // namespace vpdf
