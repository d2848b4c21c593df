// Runs the module's registry scripts (REGISTRY resources in the .rgs form):
// keys and values under a root, with NoRemove, ForceRemove and Delete.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace vpdf {

using ScriptReplacements = std::vector<std::pair<std::wstring, std::wstring>>;

// Applies the script text: registration writes its keys (a ForceRemove key is first deleted
// whole, so an earlier registration leaves nothing inside it), unregistration deletes every key
// that is not marked NoRemove, with its subkeys; a NoRemove key (HKCR\CLSID) is never removed.
// %NAME% in a key name or value is replaced by the value of NAME (%% is a single %), inside the
// token, so a replacement may hold quotes, braces or spaces. A leading byte order mark is skipped.
HRESULT RunRegistryScriptText(const std::wstring& script, bool doRegister,
                              const ScriptReplacements& replacements);
// The same for resource `id` of type "REGISTRY" in `module`.
HRESULT RunRegistryScript(HINSTANCE module, int id, bool doRegister,
                          const ScriptReplacements& replacements);

}  // namespace vpdf
