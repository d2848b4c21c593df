// The add-in as the client and the COM runtime see it: entry points, class
// objects, the lock count, and the command objects' interfaces; the names under which the
// add-in and the product's libraries (the stand-ins) export their functions. (Creation of every
// class by its ProgID and its name are checked by command_identity_tests.)
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "IManExt.h"
#include "outside/companions.h"
#include "outside/prodcfg.h"
#include "tests/settings_support.h"

namespace {

constexpr CLSID kCreatePDF = {0xD1F898E4, 0x8739, 0x4118, {0x95, 0xB4, 0xFB, 0x11, 0x42, 0x4E, 0xAF, 0x64}};
constexpr CLSID kOpenOverride = {0x69D4B1AF, 0x1841, 0x455B, {0xB1, 0xB7, 0xB5, 0x36, 0x83, 0x0D, 0xC9, 0xED}};
constexpr IID kICommand2 = {0x62B13AF2, 0x8354, 0x11D3, {0x80, 0x9A, 0x00, 0xC0, 0x4F, 0x79, 0x0E, 0x87}};
constexpr IID kICommand3 = {0x152C3FB0, 0x2D42, 0x4F06, {0x9A, 0x17, 0x21, 0xAD, 0x98, 0xF7, 0x79, 0x80}};

template <class Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct AddIn {
  HMODULE module = LoadLibraryW(L"VPDFIManageAddon.dll");
  HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, void**) =
      Export<decltype(getClassObject)>(module, "DllGetClassObject");
  HRESULT(WINAPI* canUnloadNow)() = Export<decltype(canUnloadNow)>(module, "DllCanUnloadNow");
  ~AddIn() { FreeLibrary(module); }

  IClassFactory* Factory() const {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(S_OK, getClassObject(kCreatePDF, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    return factory;
  }
};

TEST(ClassObjects, OneClassObjectPerClassAndNoneForOthers) {
  AddIn addIn;
  IClassFactory* first = addIn.Factory();
  IClassFactory* second = addIn.Factory();
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(first, second);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(S_OK, addIn.getClassObject(kCreatePDF, IID_IUnknown, reinterpret_cast<void**>(&unknown)));
  EXPECT_EQ(static_cast<IUnknown*>(first), unknown);
  unknown->Release();
  first->Release();
  second->Release();

  const CLSID unknownClass = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  for (const CLSID& clsid : {kOpenOverride, unknownClass}) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, addIn.getClassObject(clsid, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
  }
}

TEST(ClassObjects, CreationFailuresAndUnloadFollowLiveObjectsAndLocks) {
  AddIn addIn;
  IClassFactory* factory = addIn.Factory();
  ASSERT_NE(nullptr, factory);
  EXPECT_EQ(S_OK, addIn.canUnloadNow());

  // Refused aggregation, a missing output and a refused interface leave no object or lock.
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory, IID_IUnknown, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_EQ(S_OK, addIn.canUnloadNow());

  ICommand* first = nullptr;
  ICommand* second = nullptr;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, __uuidof(ICommand), reinterpret_cast<void**>(&first)));
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, __uuidof(ICommand), reinterpret_cast<void**>(&second)));
  EXPECT_EQ(S_FALSE, addIn.canUnloadNow());
  first->Release();
  EXPECT_EQ(S_FALSE, addIn.canUnloadNow());
  second->Release();
  EXPECT_EQ(S_OK, addIn.canUnloadNow());

  factory->LockServer(TRUE);
  EXPECT_EQ(S_FALSE, addIn.canUnloadNow());
  factory->LockServer(FALSE);
  EXPECT_EQ(S_OK, addIn.canUnloadNow());
  factory->Release();
}

TEST(CommandClasses, AnswerTheirInterfacesAndErrorInfo) {
  ICommand* command = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(kCreatePDF, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ICommand),
                                   reinterpret_cast<void**>(&command)));
  IUnknown* unknown = nullptr;
  IDispatch* dispatch = nullptr;
  ISupportErrorInfo* errorInfo = nullptr;
  ASSERT_EQ(S_OK, command->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
  ASSERT_EQ(S_OK, command->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
  ASSERT_EQ(S_OK, command->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&errorInfo)));
  EXPECT_EQ(static_cast<IUnknown*>(command), unknown);
  // The error-info interface is a second interface of the same object.
  IUnknown* again = nullptr;
  ASSERT_EQ(S_OK, errorInfo->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)));
  EXPECT_EQ(unknown, again);
  for (const IID& iid : {__uuidof(ICommand), kICommand2, kICommand3})
    EXPECT_EQ(S_OK, errorInfo->InterfaceSupportsErrorInfo(iid));
  EXPECT_EQ(S_FALSE, errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch));
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, command->QueryInterface(IID_IClassFactory, &none));
  EXPECT_EQ(nullptr, none);
  for (IUnknown* held : {static_cast<IUnknown*>(again), static_cast<IUnknown*>(errorInfo),
                         static_cast<IUnknown*>(dispatch), unknown, static_cast<IUnknown*>(command)})
    held->Release();
}

// ---- Export names, as a module that imports them sees them ------------------------------

// The names in the export table of a DLL file.
std::set<std::string> ExportNames(const wchar_t* file) {
  std::ifstream in(file, std::ios::binary);
  const std::string image{std::istreambuf_iterator<char>(in), {}};
  std::set<std::string> names;
  if (image.size() < sizeof(IMAGE_DOS_HEADER)) return names;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
  auto at = [&](DWORD rva) -> const char* {
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i)
      if (rva >= sections[i].VirtualAddress &&
          rva < sections[i].VirtualAddress + sections[i].SizeOfRawData)
        return image.data() + (rva - sections[i].VirtualAddress + sections[i].PointerToRawData);
    return nullptr;
  };
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
      at(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress));
  if (!exports) return names;
  const auto* nameRvas = reinterpret_cast<const DWORD*>(at(exports->AddressOfNames));
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(at(nameRvas[i]));
  return names;
}

constexpr char kAssign[] = "??4CPDFConfig@@QEAAAEAV0@AEBV0@@Z";
constexpr char kGetInstance[] = "?get_instance@CPDFConfig@@SAAEAV1@XZ";

TEST(ExportNames, AreTheProductsMicrosoftNamesWhateverCompilerBuiltThem) {
  const struct {
    const wchar_t* file;
    std::set<std::string> names;
  } cases[] = {
      {L"VPDFIManageAddon.dll",
       {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer",
        kAssign}},
      {L"prodcfg_x64.dll",
       {kGetInstance, "?GetUILanguage@CPDFConfig@@QEAAHH@Z",
        "?registry_based_install_path@CPDFConfig@@QEAAHPEA_W_K@Z",
        "?GetInstallPath@CPDFConfig@@QEAAHPEA_W_K@Z"}},
      {L"traceDiag.dll", {"TraceLogPrintAll", "isTraceLogEnabled"}},
  };
  for (const auto& c : cases) {
    std::string file(c.file, c.file + wcslen(c.file));
    EXPECT_EQ(c.names, ExportNames(c.file)) << file;
  }
}

// The configuration library's members called through those names: each argument arrives
// where the member expects it, and the add-in's exported assignment copies the object.
TEST(ExportNames, ConfigurationMembersAndTheAssignmentWorkThroughThem) {
  constexpr wchar_t kKey[] = L"Software\\VarnelTestbed\\Config";
  testing_support::ScopedRegistryKeys made{
      testing_support::MissingParts({{HKEY_CURRENT_USER, kKey}})};
  testing_support::ScopedRegistryValue language{HKEY_CURRENT_USER, kKey, L"UILanguage1"};
  testing_support::ScopedRegistryValue noLanguage{HKEY_CURRENT_USER, kKey, L"UILanguage2"};
  testing_support::ScopedRegistryValue path{HKEY_CURRENT_USER, kKey, L"InstallPath"};
  language.SetDword(0x407);
  noLanguage.Remove();
  path.SetString(L"C:\\Product\\");

  EXPECT_EQ(0x407, outside::ConfigUILanguage(1));
  EXPECT_EQ(-1, outside::ConfigUILanguage(2));
  EXPECT_EQ(L"C:\\Product\\", outside::ConfigInstallPath(MAX_PATH));
  EXPECT_EQ(L"C:\\", outside::ConfigRegistryBasedInstallPath(4));

  // The stand-in's one object now holds language 0x407 of kind 1; a fresh object does not.
  HMODULE config = GetModuleHandleW(L"prodcfg_x64.dll");
  ASSERT_NE(nullptr, config);
  CPDFConfig* loaded = Export<CPDFConfig* (*)()>(config, kGetInstance)();
  AddIn addIn;
  auto assign = Export<CPDFConfig* (*)(CPDFConfig*, const CPDFConfig*)>(addIn.module, kAssign);
  ASSERT_NE(nullptr, assign);
  CPDFConfig copy;
  ASSERT_NE(0, memcmp(&copy, loaded, sizeof copy));
  EXPECT_EQ(&copy, assign(&copy, loaded));
  EXPECT_EQ(0, memcmp(&copy, loaded, sizeof copy));
}

}  // namespace
