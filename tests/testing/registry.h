// Registry set-up for tests: keys made for a test are removed when it ends.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// Deletes the listed keys (with their subkeys) now and again when it goes out of scope,
// so that a test starts from, and leaves, a registry without them.
class ScopedRegistryKeys {
 public:
  ScopedRegistryKeys(std::vector<std::pair<HKEY, std::wstring>> keys);
  ~ScopedRegistryKeys();
  ScopedRegistryKeys(const ScopedRegistryKeys&) = delete;
  ScopedRegistryKeys& operator=(const ScopedRegistryKeys&) = delete;

 private:
  void Remove();
  std::vector<std::pair<HKEY, std::wstring>> m_keys;
};

// The outermost key on `path` that does not exist yet, or empty.
std::wstring MissingPartOf(HKEY root, const std::wstring& path);
// The missing parts of these keys, for a ScopedRegistryKeys that takes away what a test makes.
std::vector<std::pair<HKEY, std::wstring>> MissingParts(
    const std::vector<std::pair<HKEY, std::wstring>>& keys);

void SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value,
               DWORD type = REG_SZ);
void SetDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value);
void SetBinary(HKEY root, const std::wstring& path, const wchar_t* name,
               const std::vector<BYTE>& data);
// The string value, or `missing` when the key or value is absent.
std::wstring GetString(HKEY root, const std::wstring& path, const wchar_t* name,
                       const std::wstring& missing = L"<missing>");
bool KeyExists(HKEY root, const std::wstring& path);
bool ValueExists(HKEY root, const std::wstring& path, const wchar_t* name);
// The whole subtree as text, one line per key and value, for comparisons of entire trees.
std::wstring DumpTree(HKEY root, const std::wstring& path);

}  // namespace testing_support
