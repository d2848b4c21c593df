// Small owners for Win32 resources: registry keys and handles, and with outside/com.h the COM
// values (interface pointers, BSTR, VARIANT, SAFEARRAY).
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <string>
#include <type_traits>
#include <utility>

#include "outside/com.h"

namespace vpdf {

// A narrow text of the ANSI code page as UTF-16.
std::wstring WidenAnsi(const char* text);

// One owner for every kind of handle (WIL's unique_any): `Traits` names the handle type, which
// values hold nothing, and how a held one is closed.
template <class Traits>
class UniqueAny {
 public:
  using Type = typename Traits::Type;

  UniqueAny() = default;
  explicit UniqueAny(Type value) : m_value(value) {}
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  UniqueAny(UniqueAny&& other) noexcept : m_value(other.Detach()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  ~UniqueAny() { Reset(); }

  Type Get() const { return m_value; }
  // Out parameter: closes what is held first.
  Type* Put() {
    Reset();
    return &m_value;
  }
  Type Detach() { return std::exchange(m_value, Type{}); }
  void Reset(Type value = Type{}) {
    Type old = std::exchange(m_value, value);
    if (Traits::Holds(old)) Traits::Close(old);
  }
  void Close() { Reset(); }
  explicit operator bool() const { return Traits::Holds(m_value); }

  // Registry keys only: open or create `path` below `root`, closing what is held first.
  LONG Open(HKEY root, const wchar_t* path, REGSAM access)
    requires std::is_same_v<Type, HKEY>
  {
    Reset();
    return RegOpenKeyExW(root, path, 0, access, &m_value);
  }
  LONG Create(HKEY root, const wchar_t* path, REGSAM access)
    requires std::is_same_v<Type, HKEY>
  {
    Reset();
    return RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, &m_value, nullptr);
  }

 private:
  Type m_value{};
};

struct RegKeyTraits {
  using Type = HKEY;
  static bool Holds(HKEY key) { return key != nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};

// A kernel handle: null and INVALID_HANDLE_VALUE (what CreateFile fails with) hold nothing.
struct HandleTraits {
  using Type = HANDLE;
  static bool Holds(HANDLE handle) { return handle && handle != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

template <class T>
struct GdiObjectTraits {
  using Type = T;
  static bool Holds(T object) { return object != nullptr; }
  static void Close(T object) { DeleteObject(object); }
};

using RegKey = UniqueAny<RegKeyTraits>;
using Handle = UniqueAny<HandleTraits>;
template <class T>
using GdiObject = UniqueAny<GdiObjectTraits<T>>;

}  // namespace vpdf
