// Whole registry subtrees saved when a test starts and put back exactly when it ends, for tests
// that work on keys which the prefix already holds (the registered add-in, the testbed's
// interfaces) and must leave them as they found them.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace testing_support {

class ScopedRegistrySnapshot {
 public:
  // Saves each subtree now (a missing key is remembered as missing).
  explicit ScopedRegistrySnapshot(std::vector<std::pair<HKEY, std::wstring>> keys);
  // Puts every subtree back as it was saved: deleted, then rewritten.
  ~ScopedRegistrySnapshot();
  ScopedRegistrySnapshot(const ScopedRegistrySnapshot&) = delete;
  ScopedRegistrySnapshot& operator=(const ScopedRegistrySnapshot&) = delete;

  // Deletes the saved subtrees now, so that a test starts without them.
  void Clear() const;
  // Puts them back now (again at the end).
  void Restore() const;

  struct Tree;

 private:
  std::vector<std::pair<HKEY, std::wstring>> m_keys;
  std::vector<std::shared_ptr<Tree>> m_trees;  // null: the key was missing
};

}  // namespace testing_support
