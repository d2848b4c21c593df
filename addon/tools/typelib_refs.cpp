// Build step: writes the add-in's type library again so that every interface its classes share
// with the client's library is referred to there instead of carried as a copy. widl copies each
// interface a coclass names into the library; registering that copy would take over the client's
// interface keys, and unregistering it would delete them.
//
//   typelib_refs <library from widl> <client library> <output library>
//
// Only coclasses are written; the interfaces they implement must all be in the client library.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>

namespace {

template <typename T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
};

struct TypeAttr {
  ITypeInfo* info;
  TYPEATTR* attr = nullptr;
  explicit TypeAttr(ITypeInfo* i) : info(i) { info->GetTypeAttr(&attr); }
  ~TypeAttr() {
    if (attr) info->ReleaseTypeAttr(attr);
  }
};

int Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "typelib_refs: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
  return 1;
}

#define CHECK(call)                           \
  do {                                        \
    HRESULT hr_ = (call);                     \
    if (FAILED(hr_)) return Fail(#call, hr_); \
  } while (0)

int CopyCoclass(ITypeInfo* from, ITypeLib* client, ICreateTypeLib2* to, const TYPEATTR& attr,
                BSTR name, BSTR doc) {
  Ref<ICreateTypeInfo> made;
  CHECK(to->CreateTypeInfo(name, TKIND_COCLASS, &made.p));
  CHECK(made->SetGuid(attr.guid));
  CHECK(made->SetTypeFlags(attr.wTypeFlags));
  CHECK(made->SetVersion(attr.wMajorVerNum, attr.wMinorVerNum));
  if (doc) CHECK(made->SetDocString(doc));
  for (UINT i = 0; i < attr.cImplTypes; ++i) {
    HREFTYPE ref = 0;
    Ref<ITypeInfo> implemented;
    CHECK(from->GetRefTypeOfImplType(i, &ref));
    CHECK(from->GetRefTypeInfo(ref, &implemented.p));
    TypeAttr implementedAttr(implemented.p);
    if (!implementedAttr.attr) return Fail("GetTypeAttr", E_FAIL);
    Ref<ITypeInfo> clients;
    CHECK(client->GetTypeInfoOfGuid(implementedAttr.attr->guid, &clients.p));
    HREFTYPE clientRef = 0;
    INT flags = 0;
    CHECK(made->AddRefTypeInfo(clients.p, &clientRef));
    CHECK(made->AddImplType(i, clientRef));
    CHECK(from->GetImplTypeFlags(i, &flags));
    CHECK(made->SetImplTypeFlags(i, flags));
  }
  CHECK(made->LayOut());
  return 0;
}

int Run(const wchar_t* input, const wchar_t* clientPath, const wchar_t* output) {
  Ref<ITypeLib> source, client;
  CHECK(LoadTypeLibEx(input, REGKIND_NONE, &source.p));
  CHECK(LoadTypeLibEx(clientPath, REGKIND_NONE, &client.p));
  TLIBATTR* lib = nullptr;
  CHECK(source->GetLibAttr(&lib));
  const TLIBATTR libAttr = *lib;
  source->ReleaseTLibAttr(lib);

  Ref<ICreateTypeLib2> target;
  CHECK(CreateTypeLib2(libAttr.syskind, output, &target.p));
  BSTR name = nullptr, doc = nullptr;
  CHECK(source->GetDocumentation(-1, &name, &doc, nullptr, nullptr));
  CHECK(target->SetName(name));
  if (doc) CHECK(target->SetDocString(doc));
  SysFreeString(name);
  SysFreeString(doc);
  CHECK(target->SetGuid(libAttr.guid));
  CHECK(target->SetVersion(libAttr.wMajorVerNum, libAttr.wMinorVerNum));
  CHECK(target->SetLcid(libAttr.lcid));
  CHECK(target->SetLibFlags(libAttr.wLibFlags));

  for (UINT i = 0, count = source->GetTypeInfoCount(); i < count; ++i) {
    Ref<ITypeInfo> info;
    CHECK(source->GetTypeInfo(i, &info.p));
    TypeAttr attr(info.p);
    if (!attr.attr) return Fail("GetTypeAttr", E_FAIL);
    Ref<ITypeInfo> clients;
    if (SUCCEEDED(client->GetTypeInfoOfGuid(attr.attr->guid, &clients.p))) continue;  // a copy
    if (attr.attr->typekind != TKIND_COCLASS) return Fail("a type other than a coclass", E_FAIL);
    CHECK(source->GetDocumentation(i, &name, &doc, nullptr, nullptr));
    const int failed = CopyCoclass(info.p, client.p, target.p, *attr.attr, name, doc);
    SysFreeString(name);
    SysFreeString(doc);
    if (failed) return failed;
  }
  CHECK(target->SaveAllChanges());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: typelib_refs <library> <client library> <output>\n");
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return Fail("CoInitialize", E_FAIL);
  const int result = Run(argv[1], argv[2], argv[3]);
  CoUninitialize();
  return result;
}
