// The testbed's registry sandbox under the names the tests use.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "testbed/registry/registry_sandbox.h"

namespace testing_support {

using tbreg::GetString, tbreg::KeyExists, tbreg::ValueExists, tbreg::MissingParts;
using ScopedRegistrySnapshot = tbreg::Sandbox;
using ScopedRegistryValue = tbreg::Value;

// Keys deleted now and put back as they were (or deleted again) when this goes.
class ScopedRegistryKeys : public tbreg::Sandbox {
 public:
  explicit ScopedRegistryKeys(tbreg::KeyList keys) : Sandbox(std::move(keys), true) {}
};
// One key a test may change at will, gone while this lives.
class ScopedRegistryTree : public tbreg::Sandbox {
 public:
  ScopedRegistryTree(HKEY root, std::wstring path) : Sandbox({{root, std::move(path)}}, true) {}
};

inline void SetString(HKEY root, const std::wstring& path, const wchar_t* name,
                      const std::wstring& value, DWORD type = REG_SZ) {
  tbreg::Set(root, path, name, type, value.c_str(),
             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}
inline void SetDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD value) {
  tbreg::Set(root, path, name, REG_DWORD, &value, sizeof value);
}
inline void SetBinary(HKEY root, const std::wstring& path, const wchar_t* name,
                      const std::vector<BYTE>& data) {
  tbreg::Set(root, path, name, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
}
inline std::wstring DumpTree(HKEY root, const std::wstring& path) { return tbreg::Dump(root, path); }

}  // namespace testing_support
