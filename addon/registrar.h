// Runs the module's registry scripts (REGISTRY resources in the .rgs form):
// keys and values under a root, with NoRemove, ForceRemove and Delete.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace vpdf {

using ScriptReplacements = std::vector<std::pair<std::wstring, std::wstring>>;

// Applies the script text: registration writes its keys, unregistration deletes
// every key that is not marked NoRemove, with its subkeys.
HRESULT RunRegistryScriptText(const std::wstring& script, bool doRegister,
                              const ScriptReplacements& replacements);
// The same for resource `id` of type "REGISTRY" in `module`.
HRESULT RunRegistryScript(HINSTANCE module, int id, bool doRegister,
                          const ScriptReplacements& replacements);

}  // namespace vpdf
