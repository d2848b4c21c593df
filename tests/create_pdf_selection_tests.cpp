// Create PDF: availability from the selection, reading the selection's bounds,
// resolving one selected item to its document, and the records for the dialog.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/createpdf/create_pdf.h"
#include "ui/doc_description.h"
#include "testbed/dms/tbdms.h"
#include "IManage.h"
#include "tests/testing/trace_log.h"

namespace {

using vpdf::ComPtr;
using testing_support::TraceLog;
using testing_support::TraceRecord;

constexpr IID kShortcut = {0xDD251D9B, 0x53F3, 0x4461, {0x86, 0xED, 0x94, 0x81, 0xBB, 0xF3, 0x6E, 0xE9}};
constexpr wchar_t kNrt[] = L"SelectedNRTDocuments";
constexpr wchar_t kIMan[] = L"SelectedIManObjects";

class CreatePdfSelection : public testing::Test {
 protected:
  void SetUp() override {
    command = ComPtr<vpdf::CCreatePDF>(new vpdf::CCreatePDF);
    ASSERT_EQ(S_OK, tb::NewContextItems(context.Put()));
    ASSERT_EQ(S_OK, command->Initialize(context.Get()));
  }
  void TearDown() override {
    for (IDispatch* object : owned) object->Release();
    owned.clear();
    command.Reset();
    context.Reset();
    EXPECT_EQ(0, tb::LiveObjects()) << "a client object was not released";
  }

  // A document of a type with this application extension; released at the end.
  tb::Document* Doc(const std::wstring& extension, long number = 1) {
    tb::Document* document = tb::Document::Create(nullptr, number, 1, L"Doc " + extension,
                                                  extension + L"TYPE", extension, L"");
    owned.push_back(document);
    return document;
  }
  tb::AutoObject* Keep(tb::AutoObject* object) {
    owned.push_back(object);
    return object;
  }
  void Select(const wchar_t* item, const std::vector<IDispatch*>& objects) {
    VARIANT value;
    value.vt = VT_ARRAY | VT_DISPATCH;
    value.parray = tb::DispatchArray(objects);
    BSTR name = SysAllocString(item);
    ASSERT_EQ(S_OK, context->Add(name, value));
    SysFreeString(name);
    VariantClear(&value);
  }
  // The status that Update sets from `before` with this selection.
  LONG After(const wchar_t* item, const std::vector<IDispatch*>& objects, LONG before) {
    Select(item, objects);
    return StatusAfterUpdate(before);
  }
  LONG StatusAfterUpdate(LONG before) {
    command->put_Status(before);
    EXPECT_EQ(S_OK, command->Update());
    LONG status = -1;
    command->get_Status(&status);
    return status;
  }
  // The selection as the command reads it, owned by the caller.
  VARIANT Selection(const wchar_t* item) {
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(S_OK, context->Item(*vpdf::Variant::String(item).Get(), &value));
    return value;
  }
  void Unselect(const wchar_t* item) {
    EXPECT_EQ(S_OK, context->Remove(*vpdf::Variant::String(item).Get()));
  }

  ComPtr<vpdf::CCreatePDF> command;
  ComPtr<IContextItems> context;
  std::vector<IDispatch*> owned;
};

// --- Availability ---

TEST_F(CreatePdfSelection, OnlyDocumentsThatAreNeitherPdfNorMsgEnableTheCommand) {
  EXPECT_EQ(0, After(kNrt, {Doc(L"DOCX"), Doc(L"XLSX")}, 1));
  EXPECT_EQ(1, After(kNrt, {Doc(L"DOCX"), Doc(L"PDF")}, 0));
  EXPECT_EQ(1, After(kNrt, {Doc(L"PDF"), Doc(L"DOCX")}, 0)) << "a later item must not re-enable";
  EXPECT_EQ(1, After(kNrt, {Doc(L"pdf")}, 0));
  EXPECT_EQ(1, After(kNrt, {Doc(L"MSG")}, 0));
  EXPECT_EQ(1, After(kNrt, {Doc(L"mSg")}, 0));
  EXPECT_EQ(0, After(kNrt, {Doc(L"PDFX"), Doc(L"MS")}, 1)) << "near misses are ordinary";
}

TEST_F(CreatePdfSelection, EmptyOrMissingDocumentSelectionFallsBackToObjects) {
  EXPECT_EQ(0, After(kIMan, {Doc(L"DOCX")}, 1)) << "no documents item";
  Select(kNrt, {});
  EXPECT_EQ(0, After(kIMan, {Doc(L"DOCX")}, 1));
  EXPECT_EQ(1, After(kIMan, {Doc(L"PDF")}, 0));
  EXPECT_EQ(1, After(kIMan, {}, 0)) << "nothing selected anywhere";
}

TEST_F(CreatePdfSelection, WithoutSelectionItemTheStatusStaysAsItWas) {
  ComPtr<vpdf::CCreatePDF> bare(new vpdf::CCreatePDF);  // not even a context
  bare->put_Status(0);
  EXPECT_EQ(S_OK, bare->Update());
  LONG status = -1;
  bare->get_Status(&status);
  EXPECT_EQ(0, status);

  EXPECT_EQ(0, StatusAfterUpdate(0));
  EXPECT_EQ(1, StatusAfterUpdate(1));
  // An item of another type counts as missing.
  ASSERT_EQ(S_OK, context->Add(vpdf::Bstr(kNrt).Get(), *vpdf::Variant::String(L"not an array").Get()));
  EXPECT_EQ(0, StatusAfterUpdate(0));
}

TEST_F(CreatePdfSelection, ShortcutIsJudgedByTheDocumentItPointsTo) {
  EXPECT_EQ(0, After(kNrt, {Keep(tb::NewShortcut(Doc(L"DOCX"))), Doc(L"XLSX")}, 1));
  EXPECT_EQ(1, After(kNrt, {Keep(tb::NewShortcut(Doc(L"PDF")))}, 0));
}

TEST_F(CreatePdfSelection, ItemsThatAreNoDocumentMakeTheCommandUnavailable) {
  EXPECT_EQ(1, After(kNrt, {Doc(L"DOCX"), Keep(tb::NewObject())}, 0)) << "no document nor shortcut";

  // A shortcut that lacks the companion interface.
  tb::AutoObject* partial = Keep(tb::NewObject());
  partial->Answer(kShortcut);
  partial->SetObject(L"Target", Doc(L"DOCX"));
  partial->SetMethod(L"Resolve", [partial](std::vector<VARIANT*>&, VARIANT* result) {
    return partial->Get(L"Target", result) ? S_OK : E_FAIL;
  });
  EXPECT_EQ(1, After(kNrt, {partial}, 0));
  EXPECT_EQ(0, partial->Calls(L"Resolve"));

  // A shortcut to something that is no document, and one that cannot resolve.
  EXPECT_EQ(1, After(kNrt, {Keep(tb::NewShortcut(Keep(tb::NewObject())))}, 0));
  tb::AutoObject* broken = Keep(tb::NewShortcut(Doc(L"DOCX")));
  broken->Fail(L"Resolve", E_FAIL);
  EXPECT_EQ(1, After(kNrt, {broken}, 0));

  // A document whose type cannot be read.
  tb::Document* typeless = Doc(L"DOCX");
  typeless->Fail(L"Type", E_ACCESSDENIED);
  EXPECT_EQ(1, After(kNrt, {typeless}, 0));
  EXPECT_EQ(1, After(kNrt, {Doc(L"DOCX"), nullptr}, 0)) << "a null element";
}

// --- Bounds ---

TEST_F(CreatePdfSelection, BoundsOfTheSelectionAndItsItemsResolvedToTheirDocument) {
  tb::Document* word = Doc(L"DOCX");
  tb::Document* target = Doc(L"XLSX");
  Select(kNrt, {word, Keep(tb::NewShortcut(target))});
  VARIANT selection = Selection(kNrt);
  LONG lower = -5, upper = -5;
  EXPECT_EQ(S_OK, command->GetBounds(&selection, &lower, &upper));
  EXPECT_EQ(0, lower);
  EXPECT_EQ(1, upper);
  for (LONG i = 0; i < 2; ++i) {
    LONG index = i;
    IDispatch* document = nullptr;
    ASSERT_EQ(S_OK, command->GetSelectedDoc(&selection, &index, &document));
    EXPECT_EQ(i, index);
    EXPECT_EQ(i == 0 ? static_cast<IDispatch*>(word) : static_cast<IDispatch*>(target), document);
    document->Release();
  }
  VariantClear(&selection);
}

TEST_F(CreatePdfSelection, EmptyBoundsTakeTheObjectsArrayIntoTheSelection) {
  tb::Document* word = Doc(L"DOCX");
  Select(kNrt, {});
  Select(kIMan, {Doc(L"XLSX"), word, Doc(L"PPTX")});
  VARIANT selection = Selection(kNrt);
  LONG lower = -5, upper = -5;
  ASSERT_EQ(S_OK, command->GetBounds(&selection, &lower, &upper));
  EXPECT_EQ(0, lower);
  EXPECT_EQ(2, upper);
  // The elements come from the array the bounds belong to.
  LONG index = 1;
  IDispatch* document = nullptr;
  ASSERT_EQ(S_OK, command->GetSelectedDoc(&selection, &index, &document));
  EXPECT_EQ(static_cast<IDispatch*>(word), document);
  document->Release();
  VariantClear(&selection);
}

TEST_F(CreatePdfSelection, NothingSelectedAnywhereIsAFailure) {
  Select(kNrt, {});
  Select(kIMan, {});
  VARIANT selection = Selection(kNrt);
  LONG lower = 0, upper = 0;
  EXPECT_EQ(E_FAIL, command->GetBounds(&selection, &lower, &upper));
  VariantClear(&selection);

  // Empty, and no objects item to fall back on.
  Unselect(kIMan);
  selection = Selection(kNrt);
  EXPECT_EQ(E_FAIL, command->GetBounds(&selection, &lower, &upper));
  VariantClear(&selection);

  VARIANT none;
  VariantInit(&none);
  EXPECT_EQ(E_FAIL, command->GetBounds(&none, &lower, &upper));
}

// --- Resolving one item ---

TEST_F(CreatePdfSelection, UnreadableElementSetsIndexToMinusOne) {
  Select(kNrt, {Doc(L"DOCX")});
  VARIANT selection = Selection(kNrt);
  LONG index = 5;
  IDispatch* document = reinterpret_cast<IDispatch*>(1);
  EXPECT_TRUE(FAILED(command->GetSelectedDoc(&selection, &index, &document)));
  EXPECT_EQ(-1, index);
  EXPECT_EQ(nullptr, document);
  VariantClear(&selection);
}

TEST_F(CreatePdfSelection, EachFailedResolvingStepGivesItsError) {
  tb::AutoObject* partial = Keep(tb::NewObject());
  partial->Answer(kShortcut);
  tb::AutoObject* unresolvable = Keep(tb::NewShortcut(Doc(L"DOCX")));
  unresolvable->Fail(L"Resolve", DISP_E_EXCEPTION);
  Select(kNrt, {Keep(tb::NewObject()), partial, unresolvable,
                Keep(tb::NewShortcut(Keep(tb::NewObject(__uuidof(IManContent)))))});
  VARIANT selection = Selection(kNrt);
  const HRESULT expected[] = {E_NOINTERFACE, E_NOINTERFACE, DISP_E_EXCEPTION, E_NOINTERFACE};
  for (LONG i = 0; i < 4; ++i) {
    LONG index = i;
    IDispatch* document = nullptr;
    EXPECT_EQ(expected[i], command->GetSelectedDoc(&selection, &index, &document)) << i;
    EXPECT_EQ(nullptr, document);
    EXPECT_EQ(i, index) << "only an unreadable element gives -1";
  }
  VariantClear(&selection);
}

// --- Diagnostics ---

TEST_F(CreatePdfSelection, MethodsLogTheTypeAndSkipWhatCannotBeRead) {
  tb::Document* word = Doc(L"DOCX");
  VARIANT typeValue;
  VariantInit(&typeValue);
  ASSERT_TRUE(word->Get(L"Type", &typeValue));
  auto* type = static_cast<tb::AutoObject*>(typeValue.pdispVal);
  tb::AutoObject* open = tb::NewObject(__uuidof(INRTLaunchMethod));
  open->SetString(L"Path", L"C:\\Word\\winword.exe");
  open->SetString(L"DDEName", L"WinWord");
  type->SetObject(L"OpenMethod", open);
  open->Release();
  VariantClear(&typeValue);

  TraceLog log;
  EXPECT_EQ(S_OK, command->GetMethods(word));
  // The trace is this diagnostic's only output; no ID and no view method to read.
  std::vector<std::string> lines;
  for (const TraceRecord& record : log.Records())
    if (record.text.rfind("pDocType: ", 0) == 0 || record.text.rfind("pOpenMet: ", 0) == 0 ||
        record.text.rfind("pViewMet", 0) == 0)
      lines.push_back(record.text);
  EXPECT_EQ((std::vector<std::string>{"pDocType: Name: DOCXTYPE", "pDocType: ApplicationExtension: DOCX",
                                      "pOpenMet: Path: C:\\Word\\winword.exe", "pOpenMet: DDEName: WinWord"}),
            lines);
}

// --- Records for the dialog ---

TEST(DocDescription, ComRecordHoldsTheDocumentAndTakesItsLabel) {
  {
    vpdf::doc_list list;
    tb::Document* document = tb::Document::Create(nullptr, 4711, 2, L"Offer", L"WORD", L"DOCX", L"");
    document->SetString(L"Description", L"Offer to ACME");
    ASSERT_EQ(S_OK, vpdf::AppendDocDescription(document, list));
    document->Release();
    EXPECT_GT(tb::LiveObjects(), 0) << "the record keeps the document";
    ASSERT_EQ(1u, list.size());
    const vpdf::doc_description_COM& record = *list.front();
    EXPECT_EQ(L"Offer to ACME", record.label);
    EXPECT_EQ(L"Offer", record.name);
    EXPECT_EQ(L"DOCX", record.extension);
    EXPECT_EQ(L"4711", record.number);
    EXPECT_EQ(L"2", record.version);
    EXPECT_TRUE(record.extra.empty());
    EXPECT_EQ(static_cast<IDispatch*>(document), record.document());

    // A document without a readable description keeps the given label.
    tb::Document* other = tb::Document::Create(nullptr, 1, 1, L"Other", L"WORD", L"DOCX", L"");
    other->Fail(L"Description", E_FAIL);
    vpdf::doc_description_COM kept(other, L"n/a", L"Other", L"DOCX", L"1", L"1");
    other->Release();
    EXPECT_EQ(L"n/a", kept.label);
  }
  EXPECT_EQ(0, tb::LiveObjects());
}

}  // namespace
