// Small owners for Win32 resources: registry keys and handles, and with outside/com.h the COM
// values (interface pointers, BSTR, VARIANT, SAFEARRAY).
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <string>
#include <utility>

#include "outside/com.h"

namespace vpdf {

// A narrow text of the ANSI code page as UTF-16.
std::wstring WidenAnsi(const char* text);

class RegKey {
 public:
  RegKey() = default;
  explicit RegKey(HKEY key) : m_key(key) {}
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  RegKey(RegKey&& other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) {
      Close();
      m_key = std::exchange(other.m_key, nullptr);
    }
    return *this;
  }
  ~RegKey() { Close(); }

  LONG Open(HKEY root, const wchar_t* path, REGSAM access) {
    Close();
    return RegOpenKeyExW(root, path, 0, access, &m_key);
  }
  LONG Create(HKEY root, const wchar_t* path, REGSAM access) {
    Close();
    return RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, &m_key, nullptr);
  }
  void Close() {
    if (HKEY key = std::exchange(m_key, nullptr)) RegCloseKey(key);
  }
  HKEY Get() const { return m_key; }
  HKEY* Put() {
    Close();
    return &m_key;
  }
  explicit operator bool() const { return m_key != nullptr; }

 private:
  HKEY m_key = nullptr;
};

// Owns a Win32 handle that CloseHandle closes.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : m_h(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : m_h(std::exchange(other.m_h, nullptr)) {}
  ~Handle() {
    if (m_h && m_h != INVALID_HANDLE_VALUE) CloseHandle(m_h);
  }
  HANDLE Get() const { return m_h; }
  explicit operator bool() const { return m_h && m_h != INVALID_HANDLE_VALUE; }

 private:
  HANDLE m_h = nullptr;
};

// Owns a GDI object that DeleteObject deletes.
template <class T>
class GdiObject {
 public:
  GdiObject() = default;
  explicit GdiObject(T object) : m_object(object) {}
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  GdiObject(GdiObject&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    std::swap(m_object, other.m_object);
    return *this;
  }
  ~GdiObject() {
    if (m_object) DeleteObject(m_object);
  }
  T Get() const { return m_object; }
  T Detach() { return std::exchange(m_object, nullptr); }

 private:
  T m_object = nullptr;
};

}  // namespace vpdf
