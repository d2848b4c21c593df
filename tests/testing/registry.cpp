#include "tests/testing/registry.h"

#include <algorithm>

namespace testing_support {

ScopedRegistryKeys::ScopedRegistryKeys(std::vector<std::pair<HKEY, std::wstring>> keys)
    : m_keys(std::move(keys)) {
  Remove();
}

ScopedRegistryKeys::~ScopedRegistryKeys() { Remove(); }

void ScopedRegistryKeys::Remove() {
  for (const auto& [root, path] : m_keys) RegDeleteTreeW(root, path.c_str());
}

std::wstring MissingPartOf(HKEY root, const std::wstring& path) {
  for (size_t end = 0; end != std::wstring::npos;) {
    end = path.find(L'\\', end + 1);
    const std::wstring prefix = path.substr(0, end);
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, prefix.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return prefix;
    RegCloseKey(key);
  }
  return {};
}

std::vector<std::pair<HKEY, std::wstring>> MissingParts(
    const std::vector<std::pair<HKEY, std::wstring>>& keys) {
  std::vector<std::pair<HKEY, std::wstring>> missing;
  for (const auto& [root, path] : keys)
    if (std::wstring part = MissingPartOf(root, path); !part.empty()) missing.emplace_back(root, part);
  return missing;
}

namespace {

void Set(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data,
         DWORD size) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
      ERROR_SUCCESS) {
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }
}

void Dump(HKEY key, const std::wstring& path, std::wstring& out) {
  out += L"[" + path + L"]\n";
  std::vector<std::wstring> lines;
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD nameLength = 512, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      break;
    std::vector<BYTE> data(size + 2);
    nameLength = 512;
    RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &size);
    std::wstring text;
    if (type == REG_SZ || type == REG_EXPAND_SZ)
      text = L"\"" + std::wstring(reinterpret_cast<const wchar_t*>(data.data())) + L"\"";
    else if (type == REG_DWORD)
      text = L"dword:" + std::to_wstring(*reinterpret_cast<const DWORD*>(data.data()));
    else
      text = L"type" + std::to_wstring(type) + L":" + std::to_wstring(size);
    lines.push_back((nameLength ? std::wstring(name) : std::wstring(L"@")) + L"=" + text);
  }
  std::sort(lines.begin(), lines.end());
  for (const std::wstring& line : lines) out += line + L"\n";
  std::vector<std::wstring> subkeys;
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD nameLength = 512;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    subkeys.push_back(name);
  }
  std::sort(subkeys.begin(), subkeys.end());
  for (const std::wstring& name : subkeys) {
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      Dump(sub, path + L"\\" + name, out);
      RegCloseKey(sub);
    }
  }
}

}  // namespace

void SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value,
               DWORD type) {
  Set(root, path, name, type, value.c_str(), static_cast<DWORD>((value.size() + 1) * 2));
}

void SetDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value) {
  Set(root, path, name, REG_DWORD, &value, sizeof value);
}

void SetBinary(HKEY root, const std::wstring& path, const wchar_t* name,
               const std::vector<BYTE>& data) {
  Set(root, path, name, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
}

std::wstring GetString(HKEY root, const std::wstring& path, const wchar_t* name,
                       const std::wstring& missing) {
  wchar_t buffer[4096];
  DWORD size = sizeof buffer;
  if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                   RRF_NOEXPAND, nullptr, buffer, &size) != ERROR_SUCCESS)
    return missing;
  return buffer;
}

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ValueExists(HKEY root, const std::wstring& path, const wchar_t* name) {
  return RegGetValueW(root, path.c_str(), name, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

std::wstring DumpTree(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
  std::wstring out;
  Dump(key, path, out);
  RegCloseKey(key);
  return out;
}

}  // namespace testing_support
