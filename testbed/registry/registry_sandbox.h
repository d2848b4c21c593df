// The registry as tests and the client host see it: keys and values saved before a run and put
// back exactly afterwards, and one text form of a tree for comparing and printing.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace tbreg {

using KeyList = std::vector<std::pair<HKEY, std::wstring>>;

// A subtree held in memory, every value with its type and bytes.
struct Tree {
  struct Value {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
  };
  std::vector<Value> values;
  std::vector<std::pair<std::wstring, std::shared_ptr<Tree>>> subkeys;
};

// Null when the key does not exist.
std::shared_ptr<Tree> Read(HKEY root, const std::wstring& path, REGSAM view = 0);
void Write(HKEY root, const std::wstring& path, const Tree& tree, REGSAM view = 0);

// Whole subtrees saved now and put back exactly when this goes (a key that was missing is
// removed again). `clear` starts the run without them.
class Sandbox {
 public:
  explicit Sandbox(KeyList keys, bool clear = false);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;
  void Clear() const;    // deletes the saved subtrees now
  void Restore() const;  // puts them back now (again at the end)

 private:
  KeyList m_keys;
  std::vector<std::shared_ptr<Tree>> m_trees;
};

// One value saved now and put back (or removed again) when this goes.
class Value {
 public:
  // `view` 0 or KEY_WOW64_32KEY: the registry view of every read and write.
  Value(HKEY root, std::wstring path, std::wstring name, REGSAM view = 0);
  ~Value();
  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;
  void Set(DWORD type, const void* data, DWORD size) const;
  void SetString(const std::wstring& text) const;
  void SetDword(DWORD value) const;
  void Remove() const;

 private:
  HKEY m_root;
  std::wstring m_path, m_name;
  REGSAM m_view;
  bool m_existed = false;
  DWORD m_type = 0;
  std::vector<BYTE> m_data;
};

// The outermost keys on these paths that do not exist yet: what a run would create.
KeyList MissingParts(const KeyList& keys);

void Set(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type, const void* data,
         DWORD size);
// The string value, or `missing` when the key or value is absent.
std::wstring GetString(HKEY root, const std::wstring& path, const wchar_t* name,
                       const std::wstring& missing = L"<missing>");
bool KeyExists(HKEY root, const std::wstring& path);
bool ValueExists(HKEY root, const std::wstring& path, const wchar_t* name);

// The subtree as text: "[path]" then its values sorted, "name=\"text\"", "name=dword:N",
// "name=hex(type):bytes", subkeys sorted; empty when the key is missing.
std::wstring Dump(HKEY root, const std::wstring& path);

}  // namespace tbreg
