#include "addon/repair_interfaces.h"

#include <windows.h>

#include <cwchar>
#include <string>

#include "convutils/comutil.h"
#include "convutils/settings.h"

namespace vpdf {
namespace {

struct RepairedInterface {
  const wchar_t* name;
  const wchar_t* iid;
  bool recreate;  // created from the reference interface when its key is missing
};

constexpr RepairedInterface kInterfaces[] = {
    {L"ICommands", L"{62F8CCF1-3C71-11D2-8B38-00A0C970A730}", true},
    {L"IContextItem", L"{62F8CCF3-3C71-11D2-8B38-00A0C970A730}", true},
    {L"IContextItems", L"{62F8CCF5-3C71-11D2-8B38-00A0C970A730}", true},
    {L"ICommand", L"{62F8CCF7-3C71-11D2-8B38-00A0C970A730}", true},
    {L"ICommand2", L"{62B13AF2-8354-11D3-809A-00C04F790E87}", false},
    {L"ICommand3", L"{152C3FB0-2D42-4F06-9A17-21AD98F77980}", false},
};

constexpr wchar_t kReference[] = L"{62F8CCEF-3C71-11D2-8B38-00A0C970A730}";

// Type libraries that registrations of other libraries left in the client's interface keys.
constexpr const wchar_t* kForeignLibraries[] = {
    L"{19AC99C7-8533-4d1a-8E77-ABAD64FDFEDD}",  // the add-in's own
    L"{92879BE8-ED7F-41e2-8167-521C1882A1EC}",
    L"{40DF2C24-3FE3-489A-BF9B-9A57D4F88BEA}",
    L"{82E4363B-346C-4d93-B946-8C643419311B}",
};

constexpr const wchar_t* kViews[] = {L"Interface\\", L"Wow6432Node\\Interface\\"};

// The default value of `key`, at most 256 characters; empty when it cannot be read.
std::wstring DefaultValue(HKEY key) {
  wchar_t text[257] = {};
  DWORD size = 256 * sizeof(wchar_t), type = 0;
  if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  text[256] = L'\0';
  return text;
}

bool IsForeign(const std::wstring& library) {
  for (const wchar_t* foreign : kForeignLibraries)
    if (_wcsicmp(library.c_str(), foreign) == 0) return true;
  return false;
}

void RepairView(const std::wstring& view) {
  RegKey referenceTypeLib;
  if (referenceTypeLib.Open(HKEY_CLASSES_ROOT, (view + kReference + L"\\TypeLib").c_str(),
                            KEY_READ) != ERROR_SUCCESS)
    return;
  RegKey reference;
  if (reference.Open(HKEY_CLASSES_ROOT, (view + kReference).c_str(), KEY_READ) != ERROR_SUCCESS)
    return;
  const std::wstring library = DefaultValue(referenceTypeLib.Get());
  if (library.empty()) return;

  for (const RepairedInterface& item : kInterfaces) {
    const std::wstring interfaceKey = view + item.iid;
    RegKey typeLib;
    LONG opened = typeLib.Open(HKEY_CLASSES_ROOT, (interfaceKey + L"\\TypeLib").c_str(),
                               KEY_READ | KEY_WRITE);
    if (opened == ERROR_FILE_NOT_FOUND && item.recreate) {
      RegKey existing;
      if (existing.Open(HKEY_CLASSES_ROOT, interfaceKey.c_str(), KEY_READ) == ERROR_SUCCESS)
        continue;  // the interface is there, only without a library: left alone
      RegKey created;
      if (created.Create(HKEY_CLASSES_ROOT, interfaceKey.c_str(), KEY_ALL_ACCESS) != ERROR_SUCCESS)
        continue;
      RegSetValueExW(created.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(item.name),
                     static_cast<DWORD>((wcslen(item.name) + 1) * sizeof(wchar_t)));
      CopyRegistryTree(reference.Get(), created.Get(), item.iid, true);
      continue;
    }
    if (opened != ERROR_SUCCESS) continue;
    if (IsForeign(DefaultValue(typeLib.Get())))
      RegSetValueExW(typeLib.Get(), nullptr, 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(library.c_str()),
                     static_cast<DWORD>((library.size() + 1) * sizeof(wchar_t)));
  }
}

}  // namespace

void RepairIManageInterfaces() {
  for (const wchar_t* view : kViews) RepairView(view);
}

}  // namespace vpdf
