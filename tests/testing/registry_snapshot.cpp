#include "tests/testing/registry_snapshot.h"

namespace testing_support {

struct ScopedRegistrySnapshot::Tree {
  struct Value {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
  };
  std::vector<Value> values;
  std::vector<std::pair<std::wstring, std::shared_ptr<Tree>>> subkeys;
};

namespace {

using Tree = ScopedRegistrySnapshot::Tree;

std::shared_ptr<Tree> Save(HKEY key) {
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
      tree->subkeys.emplace_back(name, Save(sub));
      RegCloseKey(sub);
    }
  }
  return tree;
}

void Write(HKEY parent, const std::wstring& path, const Tree& tree) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  for (const Tree::Value& value : tree.values)
    RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                   static_cast<DWORD>(value.data.size()));
  for (const auto& [name, sub] : tree.subkeys) Write(key, name, *sub);
  RegCloseKey(key);
}

}  // namespace

ScopedRegistrySnapshot::ScopedRegistrySnapshot(std::vector<std::pair<HKEY, std::wstring>> keys)
    : m_keys(std::move(keys)) {
  for (const auto& [root, path] : m_keys) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      m_trees.push_back(nullptr);
      continue;
    }
    m_trees.push_back(Save(key));
    RegCloseKey(key);
  }
}

ScopedRegistrySnapshot::~ScopedRegistrySnapshot() { Restore(); }

void ScopedRegistrySnapshot::Clear() const {
  for (const auto& [root, path] : m_keys) RegDeleteTreeW(root, path.c_str());
}

void ScopedRegistrySnapshot::Restore() const {
  Clear();
  for (size_t i = 0; i < m_keys.size(); ++i)
    if (m_trees[i]) Write(m_keys[i].first, m_keys[i].second, *m_trees[i]);
}

}  // namespace testing_support
