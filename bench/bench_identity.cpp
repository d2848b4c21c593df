// Benchmark, not a test: how long the client waits for the twelve command objects of the
// add-in (made one after the other and kept until all twelve are there, as the client does at
// start-up; released before the next set), against the bare Win32 work of twelve separate
// constructors: per command the two LoadStringW of the menu and help texts and the registry
// reads of the language, the client version and the product key, and no image load. Prints both times and their ratio: the medians of the sets,
// which are timed in turns so that a load on the machine falls on both sides alike.
//
//     cd build/bin && WINEPREFIX=$PWD/../wineprefix WINEDEBUG=-all
//       WINEPATH='C:\Program Files\iManage Client' /usr/lib/wine/wine64 bench_identity.exe [sets]
//
// Needs the add-in registered (scripts/register.sh). When the product's install folder is not
// set, it is pointed at the product's folder (the stand-in skins) for the run and removed again.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "IManExt.h"

namespace {

struct Command {
  const wchar_t* progId;
  bool menu;
  UINT menuId, helpId;
  bool productKey;  // COpenInPro: opens HKLM\Software\Ostrel\PDF\V1
};

constexpr Command kCommands[] = {
    {L"RPDFImanAddon.CreateNewPDFFile", true, 318, 319, false},
    {L"RPDFImanAddon.CreateNewPDFFile_CM", false, 318, 319, false},
    {L"RPDFImanAddon.CreateNewPDFScan", true, 320, 321, false},
    {L"RPDFImanAddon.CreateNewPDFScan_CM", false, 320, 321, false},
    {L"RPDFImanAddon.CreatePDF", true, 301, 303, false},
    {L"RPDFImanAddon.CreatePDF_CM", false, 301, 303, false},
    {L"RPDFImanAddon.SendPDFEMail", true, 302, 304, false},
    {L"RPDFImanAddon.SendPDFEMail_CM", false, 302, 304, false},
    {L"RPDFImanAddon.OpenInPro", true, 311, 312, true},
    {L"RPDFImanAddon.OpenInPro_CM", false, 311, 312, true},
    {L"RPDFImanAddon.OpenInCnv", true, 314, 315, false},
    {L"RPDFImanAddon.OpenInCnv_CM", false, 314, 315, false},
};

constexpr wchar_t kWowProduct[] = L"Software\\Wow6432Node\\Ostrel\\PDF\\V1";

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Creates the twelve and keeps them, as the client does, until ReleaseSet.
bool CreateSet(const std::vector<CLSID>& classes, std::vector<ICommand*>& set) {
  for (const CLSID& clsid : classes) {
    ICommand* command = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ICommand),
                                reinterpret_cast<void**>(&command))))
      return false;
    set.push_back(command);
  }
  return true;
}

void ReleaseSet(std::vector<ICommand*>& set) {
  for (ICommand* command : set) command->Release();
  set.clear();
}

// The reads that a constructor must make, done directly: the install-path probe and the UI
// language (the configuration library's stand-in reads the registry), the client version for a
// menu variant, the product key for COpenInPro; and the two strings.
int BareSet(HMODULE strings) {
  int found = 0;
  for (const Command& command : kCommands) {
    const wchar_t* text = nullptr;
    found += LoadStringW(strings, command.menuId, reinterpret_cast<LPWSTR>(&text), 0) > 0;
    found += LoadStringW(strings, command.helpId, reinterpret_cast<LPWSTR>(&text), 0) > 0;
    wchar_t path[MAX_PATH];
    DWORD bytes = sizeof path;
    found += RegGetValueW(HKEY_LOCAL_MACHINE, kWowProduct, L"InstallPath",
                          RRF_RT_REG_SZ | RRF_SUBKEY_WOW6432KEY, nullptr, path, &bytes) == 0;
    DWORD language = 0;
    bytes = sizeof language;
    found += RegGetValueW(HKEY_CURRENT_USER, L"Software\\VarnelTestbed\\Config", L"UILanguage2",
                          RRF_RT_REG_DWORD, nullptr, &language, &bytes) == 0;
    if (command.menu) {
      wchar_t version[33];
      bytes = sizeof version;
      found += RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\InterWoven", L"DeskSite Version",
                            RRF_RT_REG_SZ, nullptr, version, &bytes) == 0;
    }
    if (command.productKey) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Ostrel\\PDF\\V1", 0, KEY_READ, &key) == 0) {
        RegCloseKey(key);
        ++found;
      }
    }
  }
  return found;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int sets = argc > 1 ? _wtoi(argv[1]) : 200;
  if (sets < 1) return 2;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;

  // The product folder, for the images, when none is set.
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring folder(exe);
  folder = folder.substr(0, folder.find_last_of(L'\\') + 1);
  wchar_t installed[MAX_PATH];
  DWORD bytes = sizeof installed;
  const bool pointed = RegGetValueW(HKEY_LOCAL_MACHINE, kWowProduct, L"InstallPath", RRF_RT_REG_SZ,
                                    nullptr, installed, &bytes) != ERROR_SUCCESS;
  if (pointed) {
    std::wstring product = folder + L"product\\";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kWowProduct, L"InstallPath", REG_SZ, product.c_str(),
                    static_cast<DWORD>((product.size() + 1) * sizeof(wchar_t)));
  }

  std::vector<CLSID> classes;
  for (const Command& command : kCommands) {
    CLSID clsid = {};
    if (FAILED(CLSIDFromProgID(command.progId, &clsid))) {
      std::fwprintf(stderr, L"%ls is not registered: run scripts/register.sh first\n", command.progId);
      return 1;
    }
    classes.push_back(clsid);
  }

  // Warm up: the module, its class objects, the skin library and the screen scale are loaded
  // once per process, as in the client.
  std::vector<ICommand*> set;
  if (!CreateSet(classes, set)) return 1;
  ReleaseSet(set);
  HMODULE strings = GetModuleHandleW(L"VPDFIManageAddon.dll");
  if (!strings) return 1;
  int found = BareSet(strings);

  std::vector<double> com, bare;
  for (int i = 0; i < sets; ++i) {
    double start = Now();
    if (!CreateSet(classes, set)) return 1;
    com.push_back(Now() - start);
    ReleaseSet(set);
    start = Now();
    found += BareSet(strings);
    bare.push_back(Now() - start);
  }
  const auto median = [](std::vector<double>& times) {
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
  };
  const double comTime = median(com), bareTime = median(bare);

  if (pointed) RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kWowProduct, L"InstallPath");

  std::printf("sets of 12 command objects:                        %d\n", sets);
  std::printf("12 command objects through COM:                    %9.3f ms per set (median)\n",
              comTime * 1e3);
  std::printf("the same LoadStringW and registry reads, bare:      %9.3f ms per set (median)\n",
              bareTime * 1e3);
  std::printf("ratio COM / bare:                                  %9.2f\n",
              bareTime > 0 ? comTime / bareTime : 0.0);
  std::printf("(%d strings and values found)\n", found);
  CoUninitialize();
  return 0;
}
