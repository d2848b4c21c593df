// The profile and ".mhc" files beside a portable copy, as the product's editor reads them: which
// file they describe, the bytes of a new profile file, what a rewrite keeps, the texts of the
// values, the time-zone span, and the ".mhc" file's life.
#include "dms/document_profile.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "IManage.h"
#include "testbed/dms/client_commands.h"
#include "tests/settings_support.h"
#include "tests/testing/harness.h"

namespace {

using testing_support::Utf8, testing_support::ReadBytes, testing_support::WriteText;

std::string Utf16(const std::wstring& text) {  // with the byte order mark
  return std::string("\xFF\xFE", 2) + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}
std::wstring Text(const std::string& bytes) {  // after the byte order mark
  return bytes.size() < 2 ? L"" : std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

// The value of `key` in `section` of a profile file's text; none when the key is not there.
std::optional<std::wstring> Value(const std::wstring& text, const std::wstring& section, const std::wstring& key) {
  size_t at = text.find(L"[" + section + L"]\r\n");
  if (at == std::wstring::npos) return std::nullopt;
  const size_t end = text.find(L"\r\n[", at);
  at = text.find(L"\r\n" + key + L"=", at);
  if (at == std::wstring::npos || (end != std::wstring::npos && at > end)) return std::nullopt;
  at += key.size() + 3;
  return text.substr(at, text.find(L"\r\n", at) - at);
}

DATE Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
  SYSTEMTIME time{year, month, 0, day, hour, minute, second, 0};
  DATE date = 0;
  SystemTimeToVariantTime(&time, &date);
  return date;
}
// UTCL and UTCH of a local moment: the UTC file time's halves.
std::wstring UtcTexts(SYSTEMTIME moment) {
  FILETIME local{}, utc{};
  SystemTimeToFileTime(&moment, &local);
  LocalFileTimeToFileTime(&local, &utc);
  return L"UTCL=" + std::to_wstring(utc.dwLowDateTime) + L"l\r\nUTCH=" + std::to_wstring(utc.dwHighDateTime) + L"l\r\n";
}

// One document of a testbed database, in a folder of the test's own in the temporary folder.
class DocumentProfile : public testing_support::CleanTempFolderTest {
 protected:
  void SetUp() override {
    CleanTempFolderTest::SetUp();
    std::filesystem::remove_all(std::filesystem::path(folder));
    CreateDirectoryW(folder.c_str(), nullptr);
    document = tb::Document::Create(database, 4711, 3, L"Contract draft", L"WORDX", L"docx", L"");
    document->SetString(L"Description", L"Contract draft for Acme");
    const std::pair<const wchar_t*, const wchar_t*> named[] = {
        {L"Author", L"AUTHORA"}, {L"Operator", L"OPERATORB"}, {L"Class", L"DOC"}, {L"SubClass", L"DRAFT"}};
    for (const auto& [member, name] : named) SetNamed(member, name);
    document->SetLong(L"RetentionDays", 365);
    document->SetBool(L"Indexable", true);
    document->SetDate(L"CreationDate", Date(2020, 1, 15, 9, 30, 0));
  }
  void TearDown() override {
    for (tb::AutoObject* object : {static_cast<tb::AutoObject*>(document), static_cast<tb::AutoObject*>(database),
                                   static_cast<tb::AutoObject*>(session)})
      object->Release();
    std::filesystem::remove_all(std::filesystem::path(folder));
    EXPECT_EQ(0, tb::LiveObjects()) << "a testbed object was not released";
    CleanTempFolderTest::TearDown();
  }
  void SetNamed(const wchar_t* member, const wchar_t* name) {
    const bool isClass = std::wstring(member).ends_with(L"Class");
    tb::AutoObject* object = tb::NewNamed(name, isClass ? &__uuidof(INRTDocumentClass) : nullptr);
    document->SetObject(member, object);
    object->Release();
  }
  void SetAttribute(long number, VARTYPE type, const std::function<void(VARIANT&)>& fill) {
    VARIANT value{};
    value.vt = type;
    fill(value);
    document->SetAttribute(number, value);
    VariantClear(&value);
  }
  dms::Document Doc() const { return dms::Document(vpdf::ComPtr<IDispatch>(static_cast<IDispatch*>(document))); }
  // The profile file of the document checked out to `checkout`: its text after the byte order mark.
  std::wstring Written() {
    document->SetString(L"CheckoutPath", checkout);
    WriteText(checkout, "content");
    std::wstring path;
    EXPECT_EQ(S_OK, vpdf::WriteDocumentProfile(Doc(), path, L""));
    EXPECT_EQ(folder + L"Contract draft.prf", path);
    return Text(ReadBytes(path));
  }

  const std::wstring folder = testing_support::TempFolder() + L"vpdf_profile_test\\", checkout = folder + L"Contract draft.docx";
  tb::Session* session = tb::Session::Create(L"JSMITH", L"!nrtdms:0:!session:DMSSRV:");
  tb::Database* database = tb::Database::Create(L"ACTIVE", session);
  tb::Document* document = nullptr;
};

TEST_F(DocumentProfile, TheCheckoutCopyIsDescribedElseTheLocalCopyElseNothing) {
  const struct {
    const wchar_t *checkout, *local;  // null: no file there
    HRESULT result; const wchar_t *profile, *mhc, *file;
  } rows[] = {
      {nullptr, nullptr, E_FAIL, L"", L"", nullptr},
      {nullptr, L"local copy.docx", S_OK, L"local copy.prf", L"local copy.mhc", L"local copy.docx"},
      {L"Contract draft.docx", L"local copy.docx", S_OK, L"Contract draft.prf", L"Contract draft.mhc", L"Contract draft.docx"},
      {L"v1.2 notes.final.docx", nullptr, S_OK, L"v1.2 notes.final.prf", L"v1.2 notes.final.mhc", L"v1.2 notes.final.docx"},
      {L"no extension", nullptr, S_OK, L"no extension.prf", L"no extension.mhc", L"no extension"},
  };
  for (const auto& row : rows) {
    std::filesystem::remove_all(std::filesystem::path(folder));
    CreateDirectoryW(folder.c_str(), nullptr);
    document->SetString(L"CheckoutPath", folder + (row.checkout ? row.checkout : L"not there.docx"));
    for (const wchar_t* file : {row.checkout, row.local})
      if (file) WriteText(folder + file, "content");
    document->SetString(L"MhcText", L"");  // no such member of the client's document: no text, no file
    std::wstring profile = L"old", mhc = L"old";
    EXPECT_EQ(row.result, vpdf::WriteDocumentProfile(Doc(), profile, folder + L"local copy.docx"));
    EXPECT_EQ(row.result, vpdf::WriteMhcFile(Doc(), mhc, folder + L"local copy.docx"));
    EXPECT_EQ(*row.profile ? folder + row.profile : L"", profile);
    EXPECT_EQ(*row.mhc ? folder + row.mhc : L"", mhc);
    EXPECT_EQ(row.file ? std::optional(folder + row.file) : std::nullopt, Value(Text(ReadBytes(profile)), L"DOCPROF", L"FILE"));
  }
}

// The bytes the product's other programs read: UTF-16 with its mark, the two sections in their
// order, every line ending CR LF.
TEST_F(DocumentProfile, ANewFileHoldsBothSectionsWithTheirKeysInOrder) {
  SetNamed(L"LastUser", L"LASTC");
  SetNamed(L"InUseBy", L"INUSED");
  SetAttribute(10, VT_DATE, [](VARIANT& v) { v.date = Date(2021, 3, 4); });
  SetAttribute(81, VT_DATE, [](VARIANT& v) { v.date = Date(1899, 12, 30, 13, 45, 30); });  // a time of day
  SYSTEMTIME before{}, after{};
  GetSystemTime(&before);
  const std::wstring written = Written();
  GetSystemTime(&after);
  EXPECT_EQ("\xFF\xFE[", ReadBytes(folder + L"Contract draft.prf").substr(0, 3)) << "not UTF-16 with its mark";
  // The edit start is the current UTC time (within a second of rounding).
  const std::wstring date = Value(written, L"PROF", L"INITEDITDATE").value_or(L"?"), time = Value(written, L"PROF", L"INITEDITTIME").value_or(L"?");
  DATE first = 0, last = 0, moment = 0;
  SystemTimeToVariantTime(&before, &first);
  SystemTimeToVariantTime(&after, &last);
  ASSERT_EQ(S_OK, VarDateFromStr(const_cast<wchar_t*>((date + L" " + time).c_str()), 0x7F, 0, &moment)) << Utf8(date + L" " + time);
  EXPECT_TRUE(moment >= first - 1.0 / 86400 && moment <= last + 1.0 / 86400) << Utf8(date + L" " + time);
  TIME_ZONE_INFORMATION tzi{};
  const DWORD state = GetTimeZoneInformation(&tzi);
  const vpdf::TimeZoneSpanTexts span = vpdf::TimeZoneSpan(tzi, state);
  std::wstring custom;
  for (int n = 3; n <= 30; ++n) custom += L"CUSTOM" + std::to_wstring(n) + L"=\r\n";
  EXPECT_EQ(L"[PROF]\r\nINITEDITTIME=" + time + L"\r\nINITEDITDATE=" + date + L"\r\n[DOCPROF]\r\nFILE=" + checkout +
                L"\r\nDOCID=!nrtdms:0:!session:DMSSRV:!database:ACTIVE:!document:4711,3:\r\nUSERID=JSMITH\r\nDB=ACTIVE\r\n"
                L"NUM=4711\r\nVER=3\r\nDESCRIPTION=Contract draft for Acme\r\nNAME=Contract draft\r\nAUTHOR=AUTHORA\r\n"
                L"OP=OPERATORB\r\nTYPE=WORDX\r\nCLASS=DOC\r\nSUBCLASS=DRAFT\r\nRETENTIONDAYS=365\r\nINDEXABLE=Y\r\nCLIENT=\r\n"
                L"MATTER=\r\n" + custom + L"EDITDATE=03/04/2021\r\nEDITTIME=13:45:30\r\nCREATEDATE=01/15/2020 09:30:00\r\n"
                L"LASTUSER=LASTC\r\nINUSEBY=INUSED\r\n" + UtcTexts({2021, 3, 0, 4, 13, 45, 30, 0}) +
                L"UTCDL=" + span.low + L"\r\nUTCDH=" + span.high + L"\r\n",
            written);
}

// A rewrite keeps other sections and replaces its own; each value's text by what the client gives.
TEST_F(DocumentProfile, ARewriteReplacesBothSectionsWithTheTextsOfTheValues) {
  WriteText(folder + L"Contract draft.prf", Utf16(L"[EXTRA]\r\nKEEP=1\r\n[DOCPROF]\r\nSTALE=old\r\n[PROF]\r\nOLDPROF=1\r\n"));
  tb::AutoObject* client = tb::NewObject(__uuidof(INRTCustomAttribute));  // the attribute owns it
  client->SetString(L"Description", L"Acme");
  SetAttribute(25, VT_DISPATCH, [&](VARIANT& v) { v.pdispVal = client; });
  SetAttribute(26, VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(L"Merger 2021"); });
  SetAttribute(27, VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; });
  SetAttribute(28, VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_FALSE; });
  SetAttribute(29, VT_I4, [](VARIANT& v) { v.lVal = 7; });
  SetAttribute(30, VT_R8, [](VARIANT& v) { v.dblVal = 2.5; });
  SetAttribute(31, VT_DATE, [](VARIANT& v) { v.date = Date(1999, 12, 31, 23, 59, 58); });
  SetAttribute(35, VT_NULL, [](VARIANT&) {});
  SetAttribute(36, VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; });
  SetAttribute(37, VT_ARRAY | VT_BSTR, [](VARIANT& v) { v.parray = SafeArrayCreateVector(VT_BSTR, 0, 1); });
  SetAttribute(54, VT_DISPATCH, [](VARIANT& v) { v.pdispVal = tb::NewObject(__uuidof(INRTCustomAttribute)); });
  SetAttribute(10, VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(L"2022-11-05"); });  // converted
  SetNamed(L"LastUser", L"LASTC");
  const std::wstring first = Written();
  // Then every read fails, or gives no object, or a user without a name: empty values, keys of absent users out.
  document->Fail(L"Author", E_ACCESSDENIED);
  document->Remove(L"Operator");
  document->SetObject(L"Class", nullptr);
  document->Fail(L"CreationDate", E_FAIL);
  database->Fail(L"Session", E_FAIL);
  document->Fail(L"LastUser", E_FAIL);
  document->SetBool(L"Indexable", false);
  const std::wstring second = Written();
  document->Fail(L"GetAttributeByID", E_FAIL);
  const std::wstring third = Written();
  const struct {
    const std::wstring& text; const wchar_t *section, *key; std::optional<std::wstring> value;
  } rows[] = {
      {first, L"EXTRA", L"KEEP", L"1"}, {first, L"DOCPROF", L"STALE", {}}, {first, L"PROF", L"OLDPROF", {}},
      {first, L"DOCPROF", L"CLIENT", L"ACME"}, {first, L"DOCPROF", L"MATTER", L"Merger 2021"},
      {first, L"DOCPROF", L"CUSTOM3", L"Y"}, {first, L"DOCPROF", L"CUSTOM4", L"N"}, {first, L"DOCPROF", L"CUSTOM5", L"7"},
      {first, L"DOCPROF", L"CUSTOM6", L"2.500000"}, {first, L"DOCPROF", L"CUSTOM7", L"12/31/1999 23:59:58"},
      {first, L"DOCPROF", L"CUSTOM8", L""}, {first, L"DOCPROF", L"CUSTOM11", L""},
      {first, L"DOCPROF", L"CUSTOM12", std::to_wstring(static_cast<int>(DISP_E_PARAMNOTFOUND))},
      {first, L"DOCPROF", L"CUSTOM13", L""}, {first, L"DOCPROF", L"CUSTOM30", L""},
      {first, L"DOCPROF", L"EDITDATE", L"11/05/2022"}, {first, L"DOCPROF", L"LASTUSER", L"LASTC"},
      {second, L"EXTRA", L"KEEP", L"1"}, {second, L"DOCPROF", L"DOCID", L"!database:ACTIVE:!document:4711,3:"},
      {second, L"DOCPROF", L"USERID", L""}, {second, L"DOCPROF", L"AUTHOR", L""}, {second, L"DOCPROF", L"OP", L""},
      {second, L"DOCPROF", L"CLASS", L""}, {second, L"DOCPROF", L"SUBCLASS", L"DRAFT"}, {second, L"DOCPROF", L"INDEXABLE", L"N"},
      {second, L"DOCPROF", L"CREATEDATE", L""}, {second, L"DOCPROF", L"LASTUSER", {}}, {second, L"DOCPROF", L"INUSEBY", {}},
      {third, L"DOCPROF", L"CLIENT", L""}, {third, L"DOCPROF", L"CUSTOM30", L""}, {third, L"DOCPROF", L"EDITDATE", L""},
      {third, L"DOCPROF", L"EDITTIME", L""}, {third, L"DOCPROF", L"UTCL", L""}, {third, L"DOCPROF", L"UTCH", L""},
  };
  for (const auto& row : rows)
    EXPECT_EQ(row.value, Value(row.text, row.section, row.key)) << Utf8(row.key) << " in " << (&row.text == &first ? 1 : &row.text == &second ? 2 : 3);
  EXPECT_NE(std::wstring::npos, first.find(UtcTexts({2022, 11, 0, 5, 0, 0, 0, 0})));
  for (const wchar_t* header : {L"[DOCPROF]", L"[PROF]", L"[EXTRA]"})
    EXPECT_EQ(third.find(header), third.rfind(header)) << Utf8(header) << " twice";
  EXPECT_TRUE(third.ends_with(L"UTCDH=" + Value(third, L"DOCPROF", L"UTCDH").value_or(L"?") + L"\r\n")) << "the file was not completed";
}

TEST(TimeZoneSpan, TotalMinutesAsFileTimeUnitsAndHundredthsOfTwelveHours) {
  const struct {
    LONG bias, standardBias, daylightBias; DWORD state;
    const wchar_t *low, *high;  // total x 600,000,000 modulo 2^32; total x 100 / 720, west of UTC adjusted
  } rows[] = {
      {60, 0, -60, TIME_ZONE_ID_STANDARD, L"1640261632l", L"8"},
      {-60, 0, -60, TIME_ZONE_ID_STANDARD, L"2654705664l", L"-9"},
      {-840, 0, 0, TIME_ZONE_ID_UNKNOWN, L"2806140928l", L"-118"},  // -84000 / 720 gives -116, -840 / 800 gives -1
      {120, 30, -60, TIME_ZONE_ID_DAYLIGHT, L"1640261632l", L"8"},  // daylight: 60 minutes
      {120, 30, -60, TIME_ZONE_ID_UNKNOWN, L"4100654080l", L"20"},  // standard: 150 minutes
      {60, 0, -60, TIME_ZONE_ID_INVALID, L"0l", L"0"},
  };
  for (const auto& row : rows) {
    TIME_ZONE_INFORMATION tzi{};
    tzi.Bias = row.bias;
    tzi.StandardBias = row.standardBias;
    tzi.DaylightBias = row.daylightBias;
    const vpdf::TimeZoneSpanTexts texts = vpdf::TimeZoneSpan(tzi, row.state);
    EXPECT_EQ(std::wstring(row.low) + L" " + row.high, texts.low + L" " + texts.high) << row.bias << " " << row.state;
  }
}

TEST_F(DocumentProfile, AnMhcFileThatWasThereStaysWhenTheClientHasNoText) {
  document->SetString(L"CheckoutPath", checkout);
  WriteText(checkout, "content");
  WriteText(folder + L"Contract draft.mhc", Utf16(L"an older text"));
  document->SetString(L"MhcText", L"mail header");  // no member of the client's document reaches it
  std::wstring written;
  EXPECT_EQ(S_OK, vpdf::WriteMhcFile(Doc(), written, L""));
  EXPECT_EQ(folder + L"Contract draft.mhc", written);
  EXPECT_EQ(Utf16(L"an older text"), ReadBytes(written));  // not the add-in's to delete
}

}  // namespace
