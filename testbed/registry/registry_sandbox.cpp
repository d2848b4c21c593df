#include "testbed/registry/registry_sandbox.h"

#include <algorithm>

namespace tbreg {

namespace {

std::shared_ptr<Tree> ReadKey(HKEY key) {
  auto tree = std::make_shared<Tree>();
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD nameLength = 16384, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      break;
    Tree::Value value{std::wstring(name, nameLength), type, std::vector<BYTE>(size)};
    nameLength = 16384;
    RegEnumValueW(key, i, name, &nameLength, nullptr, &type, value.data.data(), &size);
    value.data.resize(size);
    tree->values.push_back(std::move(value));
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[512];
    DWORD nameLength = 512;
    if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    HKEY sub = nullptr;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      tree->subkeys.emplace_back(name, ReadKey(sub));
      RegCloseKey(sub);
    }
  }
  return tree;
}

std::wstring ValueText(const Tree::Value& value) {
  const auto* text = reinterpret_cast<const wchar_t*>(value.data.data());
  const size_t chars = value.data.size() / sizeof(wchar_t);
  if ((value.type == REG_SZ || value.type == REG_EXPAND_SZ) && value.data.size() % 2 == 0) {
    std::wstring s(text, chars);
    if (!s.empty() && s.back() == L'\0') s.pop_back();
    return (value.type == REG_EXPAND_SZ ? L"expand:\"" : L"\"") + s + L"\"";
  }
  if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD))
    return L"dword:" + std::to_wstring(*reinterpret_cast<const DWORD*>(value.data.data()));
  std::wstring out = L"hex(" + std::to_wstring(value.type) + L"):";
  for (size_t i = 0; i < value.data.size(); ++i) {
    wchar_t byte[4];
    swprintf(byte, 4, i ? L",%02x" : L"%02x", value.data[i]);
    out += byte;
  }
  return out;
}

void DumpTree(const Tree& tree, const std::wstring& path, std::wstring& out) {
  out += L"[" + path + L"]\n";
  std::vector<std::wstring> lines;
  for (const Tree::Value& value : tree.values)
    lines.push_back((value.name.empty() ? L"@" : value.name) + L"=" + ValueText(value));
  std::sort(lines.begin(), lines.end());
  for (const std::wstring& line : lines) out += line + L"\n";
  auto subkeys = tree.subkeys;
  std::sort(subkeys.begin(), subkeys.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [name, sub] : subkeys) DumpTree(*sub, path + L"\\" + name, out);
}

}  // namespace

std::shared_ptr<Tree> Read(HKEY root, const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return nullptr;
  auto tree = ReadKey(key);
  RegCloseKey(key);
  return tree;
}

void Write(HKEY root, const std::wstring& path, const Tree& tree, REGSAM view) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  for (const Tree::Value& value : tree.values)
    RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                   static_cast<DWORD>(value.data.size()));
  for (const auto& [name, sub] : tree.subkeys) Write(key, name, *sub);
  RegCloseKey(key);
}

Sandbox::Sandbox(KeyList keys, bool clear) : m_keys(std::move(keys)) {
  for (const auto& [root, path] : m_keys) m_trees.push_back(Read(root, path));
  if (clear) Clear();
}

Sandbox::~Sandbox() { Restore(); }

void Sandbox::Clear() const {
  for (const auto& [root, path] : m_keys) {
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
  }
}

void Sandbox::Restore() const {
  Clear();
  for (size_t i = 0; i < m_keys.size(); ++i)
    if (m_trees[i]) Write(m_keys[i].first, m_keys[i].second, *m_trees[i]);
}

Value::Value(HKEY root, std::wstring path, std::wstring name, REGSAM view)
    : m_root(root), m_path(std::move(path)), m_name(std::move(name)), m_view(view) {
  const DWORD flags =
      RRF_RT_ANY | RRF_NOEXPAND | (m_view & KEY_WOW64_32KEY ? RRF_SUBKEY_WOW6432KEY : 0);
  DWORD size = 0;
  if (RegGetValueW(m_root, m_path.c_str(), m_name.c_str(), flags, &m_type, nullptr, &size) !=
      ERROR_SUCCESS)
    return;
  m_data.resize(size);
  m_existed = RegGetValueW(m_root, m_path.c_str(), m_name.c_str(), flags, &m_type, m_data.data(),
                           &size) == ERROR_SUCCESS;
  m_data.resize(size);
}

Value::~Value() {
  if (m_existed)
    Set(m_type, m_data.data(), static_cast<DWORD>(m_data.size()));
  else
    Remove();
}

void Value::Set(DWORD type, const void* data, DWORD size) const {
  HKEY key = nullptr;
  if (RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_WRITE | m_view, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(key, m_name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

void Value::SetString(const std::wstring& text) const {
  Set(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void Value::SetDword(DWORD value) const { Set(REG_DWORD, &value, sizeof value); }

void Value::Remove() const {
  HKEY key = nullptr;
  if (RegOpenKeyExW(m_root, m_path.c_str(), 0, KEY_SET_VALUE | m_view, &key) != ERROR_SUCCESS)
    return;
  RegDeleteValueW(key, m_name.c_str());
  RegCloseKey(key);
}

KeyList MissingParts(const KeyList& keys) {
  KeyList missing;
  for (const auto& [root, path] : keys)
    for (size_t end = 0; end != std::wstring::npos;) {
      end = path.find(L'\\', end + 1);
      if (!KeyExists(root, path.substr(0, end))) {
        missing.emplace_back(root, path.substr(0, end));
        break;
      }
    }
  return missing;
}

void Set(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data,
         DWORD size) {
  RegSetKeyValueW(root, path.c_str(), name, type, data, size);
}

std::wstring GetString(HKEY root, const std::wstring& path, const wchar_t* name,
                       const std::wstring& missing) {
  wchar_t buffer[4096];
  DWORD size = sizeof buffer;
  if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                   nullptr, buffer, &size) != ERROR_SUCCESS)
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

std::wstring Dump(HKEY root, const std::wstring& path) {
  auto tree = Read(root, path);
  std::wstring out;
  if (tree) DumpTree(*tree, path, out);
  return out;
}

}  // namespace tbreg
