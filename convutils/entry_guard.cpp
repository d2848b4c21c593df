#include "convutils/entry_guard.h"

#include <exception>
#include <new>
#include <string>

#include "convutils/comutil.h"

namespace vpdf {

HRESULT LogCaughtException(const LogSource& log, const char* operation,
                           std::source_location where) noexcept {
  HRESULT code = E_UNEXPECTED;
  try {
    try {
      throw;
    } catch (const ComError& error) {
      code = error.Error();
      log.Error("Exception in %s, com error is: %S", operation, error.Message().c_str());
    } catch (const std::bad_alloc&) {
      // Nothing that allocates: the record is written from the format alone.
      code = E_OUTOFMEMORY;
      log.Error("Exception in %s, exception is: %S", operation, L"bad allocation");
    } catch (const std::exception& error) {
      log.Error("Exception in %s, exception is: %S", operation, WidenAnsi(error.what()).c_str());
    } catch (const std::wstring& text) {
      log.Error("Exception in %s, string is: %S", operation, text.c_str());
    } catch (const wchar_t* text) {
      log.Error("Exception in %s, string is: %S", operation, text ? text : L"");
    } catch (int number) {
      log.Error("Exception in %s, code is: %d", operation, number);
    } catch (...) {
      log.Error("%s(%d): Exception in %s", where.file_name(), static_cast<int>(where.line()),
                operation);
    }
  } catch (...) {
    // The record could not be written (no memory for its text): the answer still goes back.
  }
  return code;
}

}  // namespace vpdf
