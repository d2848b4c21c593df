// Whether the client shows each of the twelve commands enabled: Update of every command class,
// created through COM by its ProgID from the registered add-in, for one selection after another.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "IManExt.h"
#include "IManage.h"
#include "testbed/dms/tbdms.h"
#include "tests/testing/harness.h"

namespace {

// Column order of the expected statuses; each family has a menu and a context-menu class.
constexpr const wchar_t* kFamilies[] = {L"CreatePDF", L"SendPDFEMail", L"OpenInPro",
                                        L"OpenInCnv", L"CreateNewPDFFile", L"CreateNewPDFScan"};

// The selection, and per family '0' enabled, '1' disabled, '-' the status the client had stays.
// Selection: items, blank-separated:
// N: "SelectedNRTDocuments", I: "SelectedIManObjects" (a list of elements, "?" an array that
// cannot be read, "=" a text instead of an array); D: the client's DMS object "NRTDMS" with
// sessions ("!": failing ones); S: "NRTSessions". Elements: a type extension is a document of
// that type; "~X" a shortcut to X; "obj" an object that is no document; "half" a shortcut item
// without the shortcut interface; "~!" a shortcut that cannot resolve; "!type" a document whose
// type cannot be read; "null" an empty element; "s" a session.
constexpr std::pair<const char*, const char*> kRows[] = {
    {"", "-1--11"}, {"N:DOCX,XLSX", "001111"}, {"N:DOCX,PDF", "111111"},
    {"N:PDF,DOCX", "111111"}, {"N:pdf", "110011"}, {"N:MSG", "111111"}, {"N:mSg", "111111"},
    {"N:PDFX,MS", "001111"}, {"N:DOC,DOC", "001111"}, {"N:DOCX,mSg,XLSX", "111111"},
    {"N:PDFX,MS,XPS", "001111"}, {"N:PDF,pdf", "110011"}, {"N:PDF,XPS,OXPS", "111011"},
    {"N:pdf,xps,oXpS", "111011"}, {"N:PDF,XPS", "111011"}, {"N:DOC,PDF", "111111"},
    {"N:~DOCX,XLSX", "001111"}, {"N:DOCX,~RTF", "001111"}, {"N:~PDF", "110011"},
    {"N:RTF,~PDF", "111111"}, {"N:PDF,~PDF", "110011"}, {"N:PDF,~XPS", "111011"},
    {"N:DOCX,obj", "111111"}, {"N:PDF,obj", "111111"}, {"N:half", "111111"}, {"N:~obj", "111111"},
    {"N:~!", "111111"}, {"N:!type", "111111"}, {"N:DOCX,null", "111111"}, {"I:DOCX", "001111"},
    {"I:PDF", "110011"}, {"N: I:DOCX", "011111"}, {"N: I:PDF", "110011"}, {"N: I:", "111111"},
    {"N:", "111111"}, {"N: I:?", "111111"}, {"N:?", "----11"}, {"N:=", "-1--11"}, {"D:", "-1--11"},
    {"D:s", "-1--00"}, {"D:!s", "-1--11"}, {"S:s", "-1--00"}, {"S: D:s", "-1--11"},
};

class Availability : public testing_support::KeepingTest {
 protected:
  IDispatch* Element(const std::string& token) {
    if (token == "null") return nullptr;
    if (token == "s") return Keep(tb::Session::Create(L"jdoe", L"S1"));
    if (token == "obj") return Keep(tb::NewObject());
    if (token[0] == '~') {
      tb::AutoObject* shortcut = Keep(tb::NewShortcut(Element(token == "~!" ? "DOCX" : token.substr(1))));
      if (token == "~!") shortcut->Fail(L"Resolve", E_FAIL);
      return shortcut;
    }
    if (token == "half") {
      tb::AutoObject* half = Keep(tb::NewObject());
      half->Answer(__uuidof(IManContentShortcut));
      half->SetObject(L"Target", Element("DOCX"));
      half->SetMethod(L"Resolve", [half](std::vector<VARIANT*>&, VARIANT* result) {
        return half->Get(L"Target", result) ? S_OK : E_FAIL;
      });
      return half;
    }
    const std::wstring extension(token.begin() + (token == "!type"), token.end());
    tb::Document* document =
        Keep(tb::Document::Create(nullptr, ++number, 1, L"Doc", extension + L"TYPE", extension, L""));
    if (token == "!type") document->Fail(L"Type", E_ACCESSDENIED);
    return document;
  }
  std::vector<IDispatch*> Elements(const std::string& list) {
    std::vector<IDispatch*> elements;
    std::istringstream tokens(list);
    for (std::string token; std::getline(tokens, token, ',');) elements.push_back(Element(token));
    return elements;
  }
  // A context collection holding the items of `selection`.
  IContextItems* Context(const std::string& selection) {
    IContextItems* context = nullptr;
    EXPECT_EQ(S_OK, tb::NewContextItems(&context));
    std::istringstream items(selection);
    for (std::string item; items >> item;) {
      const std::string list = item.substr(2);
      const wchar_t* name = item[0] == 'N' ? L"SelectedNRTDocuments" : L"SelectedIManObjects";
      VARIANT value;
      VariantInit(&value);
      if (item[0] == 'S' || item[0] == 'D') {
        tb::AutoObject* sessions = tb::NewSessions(Elements(list.substr(list[0] == '!')));
        value.vt = item[0] == 'S' ? VT_UNKNOWN : VT_DISPATCH;
        value.pdispVal = sessions;
        name = item[0] == 'S' ? L"NRTSessions" : L"NRTDMS";
        if (item[0] == 'D') {
          value.pdispVal = tb::NewObject(__uuidof(INRTDMS));
          static_cast<tb::AutoObject*>(value.pdispVal)->SetObject(L"Sessions", sessions);
          if (list[0] == '!') static_cast<tb::AutoObject*>(value.pdispVal)->Fail(L"Sessions", E_ACCESSDENIED);
          sessions->Release();
        }
      } else if (list == "=") {
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(L"not an array");
      } else {
        EXPECT_EQ(S_OK, list == "?" ? harness::SelectUnreadable(context, name)
                                    : harness::Select(context, name, Elements(list)));
        continue;
      }
      EXPECT_EQ(S_OK, harness::AddItem(context, name, value)) << item;
    }
    return context;
  }

  long number = 1000;
};

TEST_F(Availability, EveryCommandForEverySelection) {
  for (const auto& [selection, statuses] : kRows) {
    for (int family = 0; family < 6; ++family) {
      for (const wchar_t* variant : {L"", L"_CM"}) {
        const std::wstring progId = std::wstring(L"RPDFImanAddon.") + kFamilies[family] + variant;
        for (LONG before : {0L, 1L}) {
          CLSID clsid = {};
          ICommand* command = nullptr;
          ASSERT_EQ(S_OK, CLSIDFromProgID(progId.c_str(), &clsid));
          ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ICommand),
                                           reinterpret_cast<void**>(&command)));
          IContextItems* context = Context(selection);
          EXPECT_EQ(S_OK, command->Initialize(context)) << selection;
          command->put_Status(before);
          EXPECT_EQ(S_OK, command->Update());
          LONG status = -1;
          command->get_Status(&status);
          command->Release();
          context->Release();
          EXPECT_EQ(statuses[family] == '-' ? before : statuses[family] - '0', status)
              << selection << " / " << testing::PrintToString(progId) << " from " << before;
        }
      }
    }
  }
}

}  // namespace
