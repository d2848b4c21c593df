// Self-registration: the module's COM entries (class, ProgID and type-library registration)
// and the complete DllRegisterServer / DllUnregisterServer sequences.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace vpdf {

// The module's COM entries: each object-map entry's registry script, then the
// type library (resource TYPELIB 1). Stops at the first failing script.
HRESULT RegisterServer();
// Each script with "unregister", then the type library. A type library that is not
// registered gives TYPE_E_REGISTRYACCESS (as Windows answers; Wine would say E_INVALIDARG).
HRESULT UnregisterServer();

// DllRegisterServer: the interface repair, the open commands (open_commands.h), the client
// menu and toolbar (client_registration.h), then RegisterServer, whose result it returns.
HRESULT RegisterAll();
// DllUnregisterServer: the interface repair, the open commands and the client menu undone,
// then UnregisterServer; TYPE_E_REGISTRYACCESS counts as S_OK.
HRESULT UnregisterAll();

// A place in the registry that registration writes, changes or removes, for whoever wants to
// show it (the client host). `value` empty: the whole key with its subkeys; else that value.
struct RegistrationEntry {
  HKEY root;
  std::wstring rootName;  // "HKCR", "HKLM", "HKCU"
  std::wstring path;      // below the root
  std::wstring value;     // a value name, or empty for the whole key
  std::wstring kind;      // "class", "type library", "interface repair", "client menu",
                          // "open commands"
};
// The places as this machine's registry stands now (the client keys are looked up the way
// registration looks them up; those of clients that are not there are left out).
std::vector<RegistrationEntry> RegistrationEntries();

}  // namespace vpdf
