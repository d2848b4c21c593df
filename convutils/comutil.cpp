#include "convutils/comutil.h"

namespace vpdf {

std::wstring WidenAnsi(const char* text) {
  if (!text) return {};
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

}  // namespace vpdf
