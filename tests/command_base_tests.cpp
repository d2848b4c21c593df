// The command base as the client uses it: properties by name, the context and its typed values,
// sub-commands; and the outer level of Execute.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <stdexcept>

#include "commands/command_impl.h"
#include "commands/execute_guard.h"
#include "testbed/dms/tbdms.h"
#include "tests/testing/trace_log.h"

namespace {

using vpdf::ComPtr;
using vpdf::Variant;

// What a value holds, as text.
std::wstring Text(const VARIANT& v) {
  LONG upper = -1;
  switch (v.vt) {
    case VT_BSTR: return v.bstrVal ? v.bstrVal : L"";
    case VT_I4: return std::to_wstring(v.lVal);
    case VT_BOOL: return v.boolVal ? L"true" : L"false";
    case VT_DISPATCH: return L"object " + std::to_wstring(reinterpret_cast<UINT_PTR>(v.pdispVal));
    case VT_ARRAY | VT_DISPATCH: SafeArrayGetUBound(v.parray, 1, &upper); return L"objects " + std::to_wstring(upper + 1);
    default: return L"type " + std::to_wstring(v.vt);
  }
}

struct ProbeCommand : vpdf::ICommandImpl {
  using ICommandImpl::GetContextValue, ICommandImpl::SetContextValue;
};

class CommandBase : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(S_OK, tb::NewContextItems(context.Put())); }
  void TearDown() override {
    command.Reset();
    context.Reset();
    EXPECT_EQ(0, tb::LiveObjects()) << "a client object was not released, or one too often";
  }
  // A property read or written by name, as a script client does.
  HRESULT ByName(const wchar_t* property, WORD flags, VARIANT* value, VARIANT& result) {
    DISPID id = 0, named = DISPID_PROPERTYPUT;
    LPOLESTR name = const_cast<LPOLESTR>(property);
    HRESULT hr = command->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
    DISPPARAMS params{value, value ? &named : nullptr, value ? 1u : 0u, value ? 1u : 0u};
    VariantInit(&result);
    EXCEPINFO exception{};
    if (SUCCEEDED(hr)) hr = command->Invoke(id, IID_NULL, 0, flags, &params, &result, &exception, nullptr);
    return hr == DISP_E_EXCEPTION ? exception.scode : hr;  // what the property answered
  }
  ComPtr<ProbeCommand> command{new ProbeCommand};
  ComPtr<IContextItems> context;
};

TEST_F(CommandBase, PropertiesByNameStartEmptyMaskTheStatusAndBoundTheKind) {
  const struct {
    const wchar_t* property;
    Variant put;  // empty: read only
    HRESULT putResult; Variant read;
  } rows[] = {
      {L"Status", {}, S_OK, Variant::Long(1)}, {L"CommandKind", {}, S_OK, Variant::Long(0)},
      {L"Name", {}, S_OK, Variant::String(L"")}, {L"Bitmap", {}, S_OK, Variant()},
      {L"status", Variant::Long(static_cast<LONG>(0xFFFFFFFF)), S_OK, Variant::Long(0x3120B)},
      {L"Status", Variant::Long(0), S_OK, Variant::Long(0)},
      {L"CommandKind", Variant::Long(8), S_OK, Variant::Long(8)},
      {L"CommandKind", Variant::Long(9), E_INVALIDARG, Variant::Long(8)},
      {L"CommandKind", Variant::Long(-1), E_INVALIDARG, Variant::Long(8)},
      {L"MenuText", Variant::String(L"&Create PDF\tAlt+C"), S_OK, Variant::String(L"&Create PDF\tAlt+C")},
      {L"LargeIcon", Variant::String(L"not a bitmap"), S_OK, Variant::String(L"not a bitmap")},
  };
  for (const auto& row : rows) {
    VARIANT result;
    Variant put = row.put, read;
    if (put.Type() != VT_EMPTY) {
      EXPECT_EQ(row.putResult, ByName(row.property, DISPATCH_PROPERTYPUT, put.Get(), result)) << row.property;
    }
    ASSERT_EQ(S_OK, ByName(row.property, DISPATCH_PROPERTYGET, nullptr, *read.Put()));
    EXPECT_EQ(Text(*row.read.Get()), Text(*read.Get())) << row.property;
  }
  VARIANT result;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, ByName(L"NoSuchMember", DISPATCH_PROPERTYGET, nullptr, result));
}

TEST_F(CommandBase, TheContextIsHeldWithAReference) {
  IContextItems* held = reinterpret_cast<IContextItems*>(1);
  EXPECT_EQ(E_FAIL, command->get_Context(&held));
  EXPECT_EQ(nullptr, held);
  ASSERT_EQ(S_OK, command->Initialize(context.Get()));
  context.Reset();  // the command's reference keeps it
  ASSERT_EQ(S_OK, command->get_Context(&held));
  EXPECT_LT(0u, held->Release()) << "the command holds a reference of its own";
}

// Typed context values: what the client's item holds against the type the command expects.
TEST_F(CommandBase, ContextValuesFollowTheirTypeRules) {
  LONG number = 7;
  EXPECT_EQ(S_FALSE, command->GetContextValue(L"Count", VT_I4, &number));  // no context yet
  EXPECT_EQ(S_FALSE, command->SetContextValue(L"Count", VT_I4, &number));
  EXPECT_EQ(7, number);
  command->Initialize(context.Get());
  tb::AutoObject* object = tb::NewObject();
  Variant objects;
  objects.Put()->vt = VT_ARRAY | VT_DISPATCH;
  objects.Get()->parray = tb::DispatchArray({object, object});
  const struct {
    const wchar_t* item; Variant held; VARTYPE expected; HRESULT result;
  } rows[] = {
      {L"SelectedNRTDocuments", Variant(), VT_EMPTY, S_FALSE},
      {L"SelectedNRTDocuments", Variant(), VT_ARRAY | VT_DISPATCH, E_INVALIDARG},
      {L"SelectedIManObjects", Variant::Dispatch(object), VT_ARRAY | VT_DISPATCH, E_INVALIDARG},
      {L"SelectedIManContents", objects, VT_ARRAY | VT_DISPATCH, S_OK},
      {L"NRTDMS", Variant::Dispatch(object), VT_DISPATCH, S_OK},
      {L"Title", Variant::String(L"Select document"), VT_BSTR, S_OK},
      {L"iManExt.Refresh", Variant::Bool(true), VT_BOOL, S_OK},
      {L"Count", Variant::Long(42), VT_I4, S_OK},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(S_OK, context->Add(vpdf::Bstr(row.item).Get(), *row.held.Get()));
    Variant read, again;  // the caller owns what it is given; an array comes as a whole VARIANT
    auto out = [&](Variant& v) -> void* {
      v.Put()->llVal = 0;
      v.Get()->vt = row.expected;
      return row.expected & VT_ARRAY ? static_cast<void*>(v.Get()) : &v.Get()->llVal;
    };
    EXPECT_EQ(row.result, command->GetContextValue(row.item, row.expected, out(read))) << row.item;
    if (row.result != S_OK) continue;
    EXPECT_EQ(Text(*row.held.Get()), Text(*read.Get()));
    // Written back through the command, the same value is read again.
    EXPECT_EQ(S_OK, command->SetContextValue(L"Copy", row.expected, row.expected & VT_ARRAY ? static_cast<void*>(read.Get()) : &read.Get()->llVal));
    EXPECT_EQ(S_OK, command->GetContextValue(L"Copy", row.expected, out(again)));
    EXPECT_EQ(Text(*row.held.Get()), Text(*again.Get()));
  }
  EXPECT_TRUE(FAILED(command->GetContextValue(L"NoSuchItem", VT_I4, &number)));
  LONGLONG big = 1;
  EXPECT_EQ(E_INVALIDARG, command->SetContextValue(L"Big", VT_I8, &big));
  object->Release();
  command->Initialize(nullptr);
}

// Every kind of failure inside Execute is logged once, by its kind, and the client gets S_OK: the
// log is all there is to see of it.
TEST(ExecuteGuard, LogsEachKindOfFailureOnce) {
  const std::wstring message = vpdf::ComError(E_ACCESSDENIED).Message();
  const std::pair<std::function<void()>, std::string> rows[] = {
      {[] { throw vpdf::ComError(E_ACCESSDENIED); }, "Exception in Execute, com error is: " + std::string(message.begin(), message.end())},
      {[] { throw std::runtime_error("disk full"); }, "Exception in Execute, exception is: disk full"},
      {[] { throw std::wstring(L"no session"); }, "Exception in Execute, string is: no session"},
      {[] { throw L"no session"; }, "Exception in Execute, string is: no session"},
      {[] { throw 42; }, "Exception in Execute, code is: 42"},
      {[] { throw 3.5; }, "T(*): Exception in Execute"},  // where it was caught
      {[] {}, ""},
  };
  for (const auto& [fail, text] : rows) {
    testing_support::TraceLog log;
    EXPECT_EQ(text.empty(), vpdf::RunGuarded(vpdf::LogSource("PDFConverter\\VPDFIManageAddon\\CreatePDF"), fail));
    const std::string seen = std::regex_replace(log.Text(), std::regex(R"(\S*command_base_tests\.cpp\(\d+\))"), "T(*)");
    EXPECT_EQ(text.empty() ? "" : "2 PDFConverter\\VPDFIManageAddon\\CreatePDF " + text + "\n", seen);
  }
}

}  // namespace
