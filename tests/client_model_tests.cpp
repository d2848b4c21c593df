// The client's document-object library as our IDL declares it, against the client's own
// declarations (outside/client_model.tsv, linked in as data), and the testbed's objects, built
// from that library, refusing what the client refuses.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "IManage.h"
#include "outside/dms.h"
#include "testbed/dms/tbdms.h"

namespace {

using vpdf::ComPtr;

struct Row {
  std::wstring iface, iid, nature, slot, dispid, kind, member, params, optional, retval;
};

std::vector<Row> Declarations() {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(10));  // RCDATA
  const char* data = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  std::istringstream text(std::string(data, SizeofResource(nullptr, found)));
  std::vector<Row> rows;
  std::string line;
  std::getline(text, line);  // the header
  while (std::getline(text, line)) {
    std::vector<std::wstring> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, '\t');) cells.emplace_back(cell.begin(), cell.end());
    if (cells.size() == 10)
      rows.push_back({cells[0], cells[1], cells[2], cells[3], cells[4], cells[5], cells[6],
                      cells[7], cells[8], cells[9]});
  }
  return rows;
}

ComPtr<ITypeInfo> InterfaceInfo(ITypeLib* library, const std::wstring& iidText) {
  IID iid{};
  IIDFromString(iidText.c_str(), &iid);
  ComPtr<ITypeInfo> info;
  library->GetTypeInfoOfGuid(iid, info.Put());
  return info;
}

TEST(ClientModel, OurLibraryDeclaresEachInterfaceAndMemberAsTheClientDoes) {
  const std::vector<Row> rows = Declarations();
  ASSERT_EQ(435u, rows.size()) << "the table of the client's declarations did not load";
  ComPtr<ITypeLib> library;
  ASSERT_EQ(S_OK, LoadTypeLibEx(L"tbdms.dll\\2", REGKIND_NONE, library.Put()));
  std::map<std::wstring, std::vector<Row>> interfaces;
  for (const Row& row : rows) interfaces[row.iface].push_back(row);
  for (const auto& [name, members] : interfaces) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    ComPtr<ITypeInfo> info = InterfaceInfo(library.Get(), members[0].iid);
    ASSERT_TRUE(info);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
    const bool dual = attributes->typekind == TKIND_DISPATCH && (attributes->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_EQ(members[0].nature == L"dual", dual);
    EXPECT_EQ(dual ? TKIND_DISPATCH : TKIND_INTERFACE, attributes->typekind);
    info->ReleaseTypeAttr(attributes);
    // The members as the vtable has them: after IDispatch for a dual interface, after
    // IUnknown for the others; the enumerators the listing leaves out are restricted.
    HREFTYPE vtableType = 0;
    ComPtr<ITypeInfo> vtable = info;
    if (dual && SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableType)))
      info->GetRefTypeInfo(vtableType, vtable.Put());
    ASSERT_EQ(S_OK, vtable->GetTypeAttr(&attributes));
    std::map<std::wstring, std::wstring> declared;  // slot: what the row says
    for (UINT i = 0; i < attributes->cFuncs; ++i) {
      FUNCDESC* function = nullptr;
      ASSERT_EQ(S_OK, vtable->GetFuncDesc(i, &function));
      const int slot = function->oVft / 8 - (dual ? 7 : 3);
      if (slot >= 0 && !(function->wFuncFlags & FUNCFLAG_FRESTRICTED)) {
        BSTR member = nullptr;
        vtable->GetDocumentation(function->memid, &member, nullptr, nullptr, nullptr);
        const SHORT last = function->cParams - 1;
        const bool retval = last >= 0 && (function->lprgelemdescParam[last].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
        const wchar_t* kinds[] = {L"", L"func", L"get", L"", L"put", L"", L"", L"", L"putref"};
        declared[std::to_wstring(slot)] =
            std::to_wstring(function->memid) + L" " + kinds[function->invkind] + L" " +
            member + L" " + std::to_wstring(function->cParams - (retval ? 1 : 0)) + L" " + (retval ? L"1" : L"0");
        SysFreeString(member);
      }
      vtable->ReleaseFuncDesc(function);
    }
    vtable->ReleaseTypeAttr(attributes);
    EXPECT_EQ(members.size(), declared.size());
    for (Row row : members) {
      // A member without a listed DISPID may have any.
      if (row.dispid == L"-") row.dispid = declared[row.slot].substr(0, declared[row.slot].find(L' '));
      EXPECT_EQ(row.dispid + L" " + row.kind + L" " + row.member + L" " + row.params + L" " + row.retval,
                declared[row.slot]) << "slot " << std::string(row.slot.begin(), row.slot.end());
    }
  }
  // Every name the add-in calls is declared by each dual interface it is called on.
  for (const dms::member::Member* member : dms::member::kAll) {
    std::wistringstream names(member->interfaces);
    for (std::wstring name; names >> name;) {
      ASSERT_FALSE(interfaces[name].empty()) << "no declarations of the interface";
      ComPtr<ITypeInfo> info = InterfaceInfo(library.Get(), interfaces[name][0].iid);
      LPOLESTR text = const_cast<LPOLESTR>(member->name);
      MEMBERID id = 0;
      EXPECT_EQ(S_OK, info->GetIDsOfNames(&text, 1, &id))
          << std::string(name.begin(), name.end()) << "." << std::string(text, text + wcslen(text));
    }
  }
}

TEST(ClientModel, TheTestbedRefusesWhatTheClientRefuses) {
  tb::Document* document = tb::Document::Create(nullptr, 12, 1, L"Memo", L"WORDX", L"docx", L"");
  document->SetString(L"ObjectID", L"!document:12,1:");
  tb::AutoObject* shortcut = tb::NewShortcut(document);
  dms::Object byName{ComPtr<IDispatch>(static_cast<IDispatch*>(document))};
  dms::Object shortcutByName{ComPtr<IDispatch>(static_cast<IDispatch*>(shortcut))};
  auto call = [](const dms::Object& object, const wchar_t* member, size_t count) {
    return [=] { return object.Call(member, dms::Args(count, vpdf::Variant::Long(1))).hr; };
  };
  auto get = [](const dms::Object& object, const wchar_t* member) {
    return [=] { return object.Property(member).hr; };
  };
  document->Fail(L"Extension", E_ACCESSDENIED);
  {
  const struct {
    const char* what;
    std::function<HRESULT()> run;
    HRESULT expected;
  } cases[] = {
      {"a member the client does not have", call(byName, L"AddHistory", 7), DISP_E_UNKNOWNNAME},
      {"no member gives the mail-header text", call(byName, L"MhcText", 0), DISP_E_UNKNOWNNAME},
      {"CheckOut takes four arguments", call(byName, L"CheckOut", 7), DISP_E_BADPARAMCOUNT},
      {"RelateDocument takes two", call(byName, L"RelateDocument", 3), DISP_E_BADPARAMCOUNT},
      {"a shortcut has no names", call(shortcutByName, L"Resolve", 0), DISP_E_UNKNOWNNAME},
      {"a failure keeps its code behind the platform's exception", get(byName, L"Extension"), E_ACCESSDENIED},
      {"IManDocument is vtable only: slot 5 is get_ObjectID", [&] {
         ComPtr<IManDocument> manDocument;
         BSTR id = nullptr;
         HRESULT hr = document->QueryInterface(__uuidof(IManDocument), manDocument.PutVoid());
         if (SUCCEEDED(hr)) hr = manDocument->get_ObjectID(&id);
         if (SUCCEEDED(hr)) hr = id && std::wstring(id) == L"!document:12,1:" ? S_OK : E_UNEXPECTED;
         SysFreeString(id);
         return hr;
       }, S_OK},
      {"Resolve through the shortcut's vtable gives the document", [&] {
         ComPtr<IUnknown> target;
         HRESULT hr = dms::ResolveShortcut(shortcut, target);
         dms::Document resolved;
         if (SUCCEEDED(hr)) hr = dms::Document::From(target.Get(), resolved);
         return SUCCEEDED(hr) && resolved.Get() != static_cast<IDispatch*>(document) ? E_UNEXPECTED : hr;
       }, S_OK},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, c.run()) << c.what;
  }
  byName = dms::Object();
  shortcutByName = dms::Object();
  shortcut->Release();
  document->Release();
  EXPECT_EQ(0, tb::LiveObjects());
}

}  // namespace
