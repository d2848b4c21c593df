#include "outside/com.h"

#include <cwchar>

namespace vpdf {

std::wstring ComError::Message() const {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(m_hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message;
  if (length && text) {
    message.assign(text, length);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
      message.pop_back();
  } else {
    wchar_t fallback[32];
    swprintf(fallback, 32, L"Unknown error 0x%08lX", static_cast<unsigned long>(m_hr));
    message = fallback;
  }
  if (text) LocalFree(text);
  return message;
}

LONG SafeArray::Count() const {
  LONG lower = 0, upper = -1;
  if (!m_a || FAILED(SafeArrayGetLBound(m_a, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(m_a, 1, &upper)))
    return 0;
  return upper - lower + 1;
}

LONG SafeArray::Lower() const {
  LONG lower = 0;
  if (m_a) SafeArrayGetLBound(m_a, 1, &lower);
  return lower;
}

}  // namespace vpdf
