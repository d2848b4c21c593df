// ICommandImpl: the properties the client reads and writes, dispatch by name,
// sub-commands and the typed access to context items.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "commands/command_impl.h"
#include "testbed/dms/tbdms.h"
#include "tests/testing/registry.h"

namespace {

using vpdf::ComPtr;

class ProbeCommand : public vpdf::ICommandImpl {
 public:
  using ICommandImpl::GetContextValue;
  using ICommandImpl::SetContextValue;
};

class CommandBase : public testing::Test {
 protected:
  void SetUp() override {
    command = ComPtr<ProbeCommand>(new ProbeCommand);
    ASSERT_EQ(S_OK, tb::NewContextItems(context.Put()));
  }
  void TearDown() override {
    command.Reset();
    context.Reset();
    EXPECT_EQ(0, tb::LiveObjects()) << "a client object was not released";
  }

  void AddItem(const wchar_t* name, VARIANT value) {
    BSTR itemName = SysAllocString(name);
    ASSERT_EQ(S_OK, context->Add(itemName, value));
    SysFreeString(itemName);
  }

  ComPtr<ProbeCommand> command;
  ComPtr<IContextItems> context;
};

TEST_F(CommandBase, StartsEmptyThenStatusIsMaskedAndKindIsBounded) {
  LONG status = 0, kind = -1;
  BSTR name = reinterpret_cast<BSTR>(1);
  VARIANT bitmap;
  EXPECT_EQ(S_OK, command->get_Status(&status));
  EXPECT_EQ(S_OK, command->get_CommandKind(&kind));
  EXPECT_EQ(S_OK, command->get_Name(&name));
  EXPECT_EQ(S_OK, command->get_Bitmap(&bitmap));
  EXPECT_EQ(1, status);
  EXPECT_EQ(0, kind);
  EXPECT_EQ(nullptr, name);
  EXPECT_EQ(VT_EMPTY, bitmap.vt);

  for (auto [put, read] : {std::pair<LONG, LONG>{static_cast<LONG>(0xFFFFFFFF), 0x3120B}, {0, 0}}) {
    command->put_Status(put);
    command->get_Status(&status);
    EXPECT_EQ(read, status);
  }
  EXPECT_EQ(S_OK, command->put_CommandKind(8));
  EXPECT_EQ(E_INVALIDARG, command->put_CommandKind(9));
  EXPECT_EQ(E_INVALIDARG, command->put_CommandKind(-1));
  command->get_CommandKind(&kind);
  EXPECT_EQ(8, kind);
}

TEST_F(CommandBase, StringsAndVariantsAreCopiesOwnedByTheirHolder) {
  BSTR text = SysAllocString(L"&Create PDF\tAlt+C");
  command->put_MenuText(text);
  SysFreeString(text);  // the command kept its own copy
  BSTR read = nullptr;
  ASSERT_EQ(S_OK, command->get_MenuText(&read));
  EXPECT_STREQ(L"&Create PDF\tAlt+C", read);
  SysFreeString(read);

  VARIANT bitmap;
  bitmap.vt = VT_BSTR;
  bitmap.bstrVal = SysAllocString(L"not a bitmap, stored whole all the same");
  command->put_LargeIcon(bitmap);
  VariantClear(&bitmap);
  VARIANT back;
  ASSERT_EQ(S_OK, command->get_LargeIcon(&back));
  ASSERT_EQ(VT_BSTR, back.vt);
  EXPECT_STREQ(L"not a bitmap, stored whole all the same", back.bstrVal);
  VariantClear(&back);

  short flag = 0;
  command->put_AuxFlag(-2);
  EXPECT_EQ(S_OK, command->get_AuxFlag(&flag));
  EXPECT_EQ(-2, flag);
  EXPECT_EQ(S_OK, command->get_AuxFlag(nullptr));
}

TEST_F(CommandBase, ContextIsHeldWithAReference) {
  IContextItems* none = reinterpret_cast<IContextItems*>(1);
  EXPECT_EQ(E_FAIL, command->get_Context(&none));
  EXPECT_EQ(nullptr, none);

  ASSERT_EQ(S_OK, command->Initialize(context.Get()));
  IContextItems* held = nullptr;
  ASSERT_EQ(S_OK, command->get_Context(&held));
  EXPECT_EQ(context.Get(), held);
  held->Release();
  // The command's reference keeps the collection alive after the caller lets go.
  IContextItems* raw = context.Detach();
  raw->Release();
  EXPECT_EQ(1, tb::LiveObjects());
  command->Initialize(nullptr);
}

TEST_F(CommandBase, SubCommandsAreCreatedOnceByProgId) {
  ICommands* first = nullptr;
  ICommands* second = nullptr;
  ASSERT_EQ(S_OK, command->get_SubCommands(&first));
  ASSERT_EQ(S_OK, command->get_SubCommands(&second));
  EXPECT_EQ(first, second);
  first->Release();
  second->Release();
}

TEST_F(CommandBase, SubCommandsPassTheProgIdLookupFailureThrough) {
  {
    testing_support::ScopedRegistryKeys hidden({{HKEY_CLASSES_ROOT, L"IManExt.Commands"}});
    ICommands* commands = reinterpret_cast<ICommands*>(1);
    CLSID clsid;
    HRESULT lookup = CLSIDFromProgID(L"IManExt.Commands", &clsid);
    ASSERT_TRUE(FAILED(lookup));
    EXPECT_EQ(lookup, command->get_SubCommands(&commands));
    EXPECT_EQ(nullptr, commands);
  }
  // Put the testbed's registration back for the tests that follow.
  HMODULE testbed = GetModuleHandleW(L"tbdms.dll");
  auto registerServer = reinterpret_cast<HRESULT(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(testbed, "DllRegisterServer")));
  ASSERT_EQ(S_OK, registerServer());
}

TEST_F(CommandBase, InvokeByNameReachesTheSameProperties) {
  IDispatch* dispatch = command.Get();
  UINT count = 0;
  EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(DISP_E_BADINDEX, dispatch->GetTypeInfo(1, 0, &info));
  ASSERT_EQ(S_OK, dispatch->GetTypeInfo(0, 0, &info));
  info->Release();

  // Exact names come from the cache; other spellings from the type information.
  for (const wchar_t* spelling : {L"Status", L"status"}) {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(spelling);
    ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    VARIANT value;
    value.vt = VT_I4;
    value.lVal = static_cast<LONG>(0xFFFFFFFF);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value, &named, 1, 1};
    ASSERT_EQ(S_OK, dispatch->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr,
                                     nullptr, nullptr));
    LONG status = 0;
    command->get_Status(&status);
    EXPECT_EQ(0x3120B, status);
    command->put_Status(1);
  }

  command->put_Name(vpdf::Bstr(L"RPDFIManAddon.CreatePDF").Get());
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(L"Name");
  ASSERT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(S_OK, dispatch->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                   nullptr));
  ASSERT_EQ(VT_BSTR, result.vt);
  EXPECT_STREQ(L"RPDFIManAddon.CreatePDF", result.bstrVal);
  VariantClear(&result);

  LPOLESTR unknown = const_cast<LPOLESTR>(L"NoSuchMember");
  EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id));
}

TEST_F(CommandBase, ContextValuesFollowTheirTypeRules) {
  // Without a context nothing is read or written.
  LONG number = 7;
  EXPECT_EQ(S_FALSE, command->GetContextValue(L"Count", VT_I4, &number));
  EXPECT_EQ(7, number);
  EXPECT_EQ(S_FALSE, command->SetContextValue(L"Count", VT_I4, &number));

  command->Initialize(context.Get());
  VARIANT empty;
  VariantInit(&empty);
  AddItem(L"SelectedNRTDocuments", empty);
  VARIANT array;
  VariantInit(&array);
  EXPECT_EQ(S_FALSE, command->GetContextValue(L"SelectedNRTDocuments", VT_EMPTY, &array));
  EXPECT_EQ(E_INVALIDARG,
            command->GetContextValue(L"SelectedNRTDocuments", VT_ARRAY | VT_DISPATCH, &array));

  // A single object where an array is expected is the wrong type.
  tb::AutoObject* object = tb::NewObject();
  VARIANT single;
  single.vt = VT_DISPATCH;
  single.pdispVal = object;
  AddItem(L"SelectedIManObjects", single);
  EXPECT_EQ(E_INVALIDARG,
            command->GetContextValue(L"SelectedIManObjects", VT_ARRAY | VT_DISPATCH, &array));

  // A missing item passes the collection's failure through.
  EXPECT_TRUE(FAILED(command->GetContextValue(L"NoSuchItem", VT_I4, &number)));

  // Numbers and booleans move by their size; a type outside the set is refused.
  number = 42;
  ASSERT_EQ(S_OK, command->SetContextValue(L"Count", VT_I4, &number));
  LONG read = 0;
  ASSERT_EQ(S_OK, command->GetContextValue(L"Count", VT_I4, &read));
  EXPECT_EQ(42, read);
  VARIANT_BOOL refresh = VARIANT_TRUE;
  ASSERT_EQ(S_OK, command->SetContextValue(L"iManExt.Refresh", VT_BOOL, &refresh));
  VARIANT_BOOL flag = VARIANT_FALSE;
  ASSERT_EQ(S_OK, command->GetContextValue(L"iManExt.Refresh", VT_BOOL, &flag));
  EXPECT_EQ(VARIANT_TRUE, flag);
  LONGLONG big = 1;
  EXPECT_EQ(E_INVALIDARG, command->SetContextValue(L"Big", VT_I8, &big));

  object->Release();
  command->Initialize(nullptr);
}

TEST_F(CommandBase, ContextValuesPassOwnershipToTheCaller) {
  command->Initialize(context.Get());
  tb::AutoObject* first = tb::NewObject();
  tb::AutoObject* second = tb::NewObject();
  VARIANT selection;
  selection.vt = VT_ARRAY | VT_DISPATCH;
  selection.parray = tb::DispatchArray({first, second});
  AddItem(L"SelectedNRTDocuments", selection);
  VariantClear(&selection);
  first->Release();
  second->Release();

  VARIANT array;
  VariantInit(&array);
  ASSERT_EQ(S_OK, command->GetContextValue(L"SelectedNRTDocuments", VT_ARRAY | VT_DISPATCH, &array));
  ASSERT_EQ(VT_ARRAY | VT_DISPATCH, array.vt);
  vpdf::SafeArray elements(array.parray);
  EXPECT_EQ(2, elements.Count());

  BSTR text = SysAllocString(L"Select document for new version");
  ASSERT_EQ(S_OK, command->SetContextValue(L"IManExt2.BrowseCmd.WindowTitle", VT_BSTR, &text));
  SysFreeString(text);
  BSTR title = nullptr;
  ASSERT_EQ(S_OK, command->GetContextValue(L"IManExt2.BrowseCmd.WindowTitle", VT_BSTR, &title));
  EXPECT_STREQ(L"Select document for new version", title);
  SysFreeString(title);

  IDispatch* dispatch = nullptr;
  tb::AutoObject* dms = tb::NewObject();
  ASSERT_EQ(S_OK, command->SetContextValue(L"NRTDMS", VT_DISPATCH, &dms));
  dms->Release();
  ASSERT_EQ(S_OK, command->GetContextValue(L"NRTDMS", VT_DISPATCH, &dispatch));
  EXPECT_EQ(static_cast<IDispatch*>(dms), dispatch);
  // The caller's reference is the one that keeps the object now, with the collection's.
  dispatch->Release();
  command->Initialize(nullptr);
}

}  // namespace
