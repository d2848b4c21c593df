// The client's document-object library as our IDL declares it, against the client's own
// declarations (outside/client_model.tsv, linked in as data): a call the real client would
// refuse fails here first.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "IManage.h"
#include "outside/dms.h"
#include "testbed/dms/tbdms.h"

namespace {

using vpdf::ComPtr;

// The rows of the table: interface, iid, nature, slot, dispid, kind, member, parameters,
// optional parameters, retval.
std::vector<std::vector<std::wstring>> Declarations() {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(10));  // RCDATA
  const char* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  std::wistringstream text(std::wstring(data, data + SizeofResource(nullptr, found)));
  std::vector<std::vector<std::wstring>> rows;
  std::wstring line;
  for (std::getline(text, line); std::getline(text, line);) {
    std::wistringstream fields(line);
    rows.emplace_back();
    for (std::wstring cell; std::getline(fields, cell, L'\t');) rows.back().push_back(cell);
  }
  return rows;
}

ComPtr<ITypeInfo> InterfaceInfo(ITypeLib* library, const std::wstring& iidText) {
  IID iid{};
  ComPtr<ITypeInfo> info;
  if (SUCCEEDED(IIDFromString(iidText.c_str(), &iid))) library->GetTypeInfoOfGuid(iid, info.Put());
  return info;
}

TEST(ClientModel, OurLibraryDeclaresEachInterfaceAndMemberAsTheClientDoes) {
  const auto rows = Declarations();
  ASSERT_EQ(435u, rows.size()) << "the table of the client's declarations did not load";
  ComPtr<ITypeLib> library;
  ASSERT_EQ(S_OK, LoadTypeLibEx(L"tbdms.dll\\2", REGKIND_NONE, library.Put()));
  std::map<std::wstring, std::vector<std::vector<std::wstring>>> interfaces;
  for (const auto& row : rows) interfaces[row.at(0)].push_back(row);
  for (const auto& [name, members] : interfaces) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    ComPtr<ITypeInfo> info = InterfaceInfo(library.Get(), members[0][1]), vtable = info;
    ASSERT_TRUE(info) << "no such IID";
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
    const bool dual = attributes->typekind == TKIND_DISPATCH && (attributes->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_EQ(members[0][2] == L"dual" ? TKIND_DISPATCH : TKIND_INTERFACE, attributes->typekind);
    info->ReleaseTypeAttr(attributes);
    // The vtable's members after IDispatch (dual) or IUnknown; the listing leaves out the
    // restricted enumerators.
    HREFTYPE vtableType = 0;
    if (dual && SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableType)))
      info->GetRefTypeInfo(vtableType, vtable.Put());
    ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attributes));
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> declared;  // slot: dispid, rest
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
      FUNCDESC* f = nullptr;
      ASSERT_EQ(S_OK, vtable->GetFuncDesc(i, &f));
      const int slot = f->oVft / 8 - (dual ? 7 : 3);
      if (slot >= 0 && !(f->wFuncFlags & FUNCFLAG_FRESTRICTED)) {
        BSTR member = nullptr;
        vtable->GetDocumentation(f->memid, &member, nullptr, nullptr, nullptr);
        const bool retval = f->cParams > 0 &&
                            (f->lprgelemdescParam[f->cParams - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
        const wchar_t* kinds[] = {L"", L"func", L"get", L"", L"put", L"", L"", L"", L"putref"};
        declared[std::to_wstring(slot)] = {
            std::to_wstring(f->memid), std::wstring(kinds[f->invkind]) + L" " + member + L" " +
                                           std::to_wstring(f->cParams - retval) + L" " + (retval ? L"1" : L"0")};
        SysFreeString(member);
      }
      vtable->ReleaseFuncDesc(f);
    }
    vtable->ReleaseTypeAttr(attributes);
    EXPECT_EQ(members.size(), declared.size());
    for (const auto& row : members) {
      const auto& [dispid, rest] = declared[row[3]];
      if (row[4] != L"-") {
        EXPECT_EQ(row[4], dispid) << "DISPID of " << std::string(row[6].begin(), row[6].end());
      }
      EXPECT_EQ(row[5] + L" " + row[6] + L" " + row[7] + L" " + row[9], rest);
    }
  }
  // Every name the add-in calls is declared by each dual interface it is called on.
  for (const dms::member::Member* member : dms::member::kAll) {
    std::wistringstream names(member->interfaces);
    for (std::wstring name; names >> name;) {
      ASSERT_FALSE(interfaces[name].empty()) << "no declarations of the interface";
      LPOLESTR text = const_cast<LPOLESTR>(member->name);
      MEMBERID id = 0;
      EXPECT_EQ(S_OK, InterfaceInfo(library.Get(), interfaces[name][0][1])->GetIDsOfNames(&text, 1, &id))
          << std::string(name.begin(), name.end()) << "." << std::string(text, text + wcslen(text));
    }
  }
}

}  // namespace
