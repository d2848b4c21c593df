// The profile and ".mhc" files beside a portable copy: which file they describe, the UTF-16
// layout and key order of the profile file, what survives a rewrite, the texts of custom
// attributes, time stamps and the time-zone span, and the ".mhc" file's life.
#include "dms/document_profile.h"

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testbed/dms/client_commands.h"
#include "testbed/dms/tbdms.h"

#include "IManage.h"
#include "tests/settings_support.h"

namespace {

using testing_support::TraceLog;
using testing_support::Utf8;
using Entries = std::vector<std::pair<std::wstring, std::wstring>>;


bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

// UTF-16 bytes of a text, with the byte order mark first.
std::string Utf16(const std::wstring& text) {
  return std::string("\xFF\xFE", 2) +
         std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// The profile file as lines: the byte order mark must be there, every line ends with CR LF
// (but the empty first line of a new file, a lone line feed).
struct ProfileFile {
  bool marked = false, crlfOnly = true;
  std::vector<std::wstring> lines;

  explicit ProfileFile(const std::wstring& path) {
    std::string bytes = ReadBytes(path);
    marked = bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE", 2) == 0 && bytes.size() % 2 == 0;
    if (!marked) return;
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
      end = std::min(text.find(L'\n', start), text.size());
      bool cr = end > start && text[end - 1] == L'\r';
      if (end == text.size() || (!cr && !(start == 0 && end == 0))) crlfOnly = false;
      lines.push_back(text.substr(start, end - start - (cr ? 1 : 0)));
    }
  }
  // The key=value lines of a section, in file order.
  Entries Section(const std::wstring& name) const {
    Entries entries;
    bool inside = false;
    for (const std::wstring& line : lines) {
      if (!line.empty() && line.front() == L'[') inside = line == L"[" + name + L"]";
      else if (inside && !line.empty())
        entries.emplace_back(line.substr(0, line.find(L'=')),
                             line.find(L'=') == std::wstring::npos ? L"" : line.substr(line.find(L'=') + 1));
    }
    return entries;
  }
  std::optional<std::wstring> Value(const std::wstring& section, const std::wstring& key) const {
    for (const auto& [k, v] : Section(section))
      if (k == key) return v;
    return std::nullopt;
  }
  std::wstring Text(const wchar_t* key) const { return Value(L"DOCPROF", key).value_or(L"<missing>"); }
  int Headers(const std::wstring& section) const {
    return static_cast<int>(std::count(lines.begin(), lines.end(), L"[" + section + L"]"));
  }
};

DATE Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
  SYSTEMTIME time{year, month, 0, day, hour, minute, second, 0};
  DATE date = 0;
  SystemTimeToVariantTime(&time, &date);
  return date;
}

VARIANT Make(VARTYPE type, const std::function<void(VARIANT&)>& fill = nullptr) {
  VARIANT v;
  VariantInit(&v);
  v.vt = type;
  if (fill) fill(v);
  return v;
}

// UTCL and UTCH of a local moment: the UTC file time's halves.
std::pair<std::wstring, std::wstring> UtcTexts(SYSTEMTIME moment) {
  FILETIME local{}, utc{};
  SystemTimeToFileTime(&moment, &local);
  LocalFileTimeToFileTime(&local, &utc);
  return {std::to_wstring(utc.dwLowDateTime) + L"l", std::to_wstring(utc.dwHighDateTime) + L"l"};
}

// Every test works in a folder of its own inside the temporary folder, on one document of a
// testbed database, and must leave the temporary folder and the testbed as it found them.
class DocumentProfile : public testing_support::CleanTempFolderTest {
 protected:
  void SetUp() override {
    CleanTempFolderTest::SetUp();
    folder = testing_support::TempFolder() + L"vpdf_profile_test\\";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << "left over from an earlier run?";
    m_folderMade = true;
    session = tb::Session::Create(L"JSMITH", L"!nrtdms:0:!session:DMSSRV:");
    database = tb::Database::Create(L"ACTIVE", session);
    document = tb::Document::Create(database, 4711, 3, L"Contract draft", L"WORDX", L"docx", L"");
    document->SetString(L"Description", L"Contract draft for Acme");
    SetNamed(document, L"Author", L"AUTHORA");
    SetNamed(document, L"Operator", L"OPERATORB");
    SetNamed(document, L"Class", L"DOC");
    SetNamed(document, L"SubClass", L"DRAFT");
    document->SetLong(L"RetentionDays", 365);
    document->SetBool(L"Indexable", true);
    document->SetDate(L"CreationDate", Date(2020, 1, 15, 9, 30, 0));
    checkout = folder + L"Contract draft.docx";
    local = folder + L"local copy.docx";
  }

  void TearDown() override {
    if (document) document->Release();
    if (database) database->Release();
    if (session) session->Release();
    std::error_code ignored;
    if (m_folderMade) std::filesystem::remove_all(std::filesystem::path(folder), ignored);
    EXPECT_EQ(0, tb::LiveObjects()) << "a testbed object was not released";
    CleanTempFolderTest::TearDown();
  }

  static void SetNamed(tb::AutoObject* owner, const wchar_t* member, const wchar_t* name) {
    const bool isClass = std::wstring(member).ends_with(L"Class");
    tb::AutoObject* object = tb::NewNamed(name, isClass ? &__uuidof(INRTDocumentClass) : nullptr);
    owner->SetObject(member, object);
    object->Release();
  }
  void SetAttribute(long number, VARIANT value) {
    document->SetAttribute(number, value);
    VariantClear(&value);
  }
  void CheckedOutTo(const std::wstring& path) {
    document->SetString(L"CheckoutPath", path);
    WriteBytes(path, "content");
  }
  dms::Document Doc() const {
    dms::Document doc;
    EXPECT_EQ(S_OK, dms::Document::From(static_cast<IDispatch*>(document), doc));
    return doc;
  }
  HRESULT WriteProfile(std::wstring& path, const std::wstring& localPath = L"") {
    return vpdf::WriteDocumentProfile(Doc(), path, localPath);
  }
  HRESULT WriteMhc(std::wstring& path, const std::wstring& localPath = L"") {
    return vpdf::WriteMhcFile(Doc(), path, localPath);
  }
  // A profile written for the document checked out to `checkout`.
  ProfileFile WrittenProfile() {
    CheckedOutTo(checkout);
    std::wstring path;
    EXPECT_EQ(S_OK, WriteProfile(path));
    EXPECT_EQ(folder + L"Contract draft.prf", path);
    return ProfileFile(path);
  }

  std::wstring folder, checkout, local;
  tb::Session* session = nullptr;
  tb::Database* database = nullptr;
  tb::Document* document = nullptr;

 private:
  bool m_folderMade = false;
};

// --- Which file is described, and where the companions go -------------------------------

TEST_F(DocumentProfile, TheCheckoutCopyIsDescribedElseTheLocalCopyElseNothing) {
  document->SetString(L"CheckoutPath", folder + L"not there.docx");
  std::wstring profilePath = L"old", mhcPath = L"old";
  EXPECT_EQ(E_FAIL, WriteProfile(profilePath, local));
  EXPECT_EQ(E_FAIL, WriteMhc(mhcPath, local));
  EXPECT_EQ(L"", profilePath);
  EXPECT_EQ(L"", mhcPath);
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(folder)));

  WriteBytes(local, "content");
  EXPECT_EQ(S_OK, WriteProfile(profilePath, local));
  EXPECT_EQ(S_OK, WriteMhc(mhcPath, local));
  EXPECT_EQ(folder + L"local copy.prf", profilePath);
  EXPECT_EQ(folder + L"local copy.mhc", mhcPath);
  EXPECT_EQ(local, ProfileFile(profilePath).Text(L"FILE"));

  CheckedOutTo(checkout);
  EXPECT_EQ(S_OK, WriteProfile(profilePath, local));
  EXPECT_EQ(folder + L"Contract draft.prf", profilePath);
  EXPECT_EQ(checkout, ProfileFile(profilePath).Text(L"FILE"));

  // The extension is replaced from the last point of the name.
  const std::pair<const wchar_t*, const wchar_t*> names[] = {
      {L"v1.2 notes.final.docx", L"v1.2 notes.final.prf"}, {L"no extension", L"no extension.prf"}};
  for (const auto& [name, profile] : names) {
    CheckedOutTo(folder + name);
    EXPECT_EQ(S_OK, WriteProfile(profilePath));
    EXPECT_EQ(folder + profile, profilePath);
  }
}

// --- The profile file ------------------------------------------------------------------------

TEST_F(DocumentProfile, NewFileIsUtf16WithBothSectionsTheirKeysAndValuesInOrder) {
  SetNamed(document, L"LastUser", L"LASTC");
  SetNamed(document, L"InUseBy", L"INUSED");
  SetAttribute(10, Make(VT_DATE, [](VARIANT& v) { v.date = Date(2021, 3, 4); }));
  // A time of day only.
  SetAttribute(81, Make(VT_DATE, [](VARIANT& v) { v.date = Date(1899, 12, 30, 13, 45, 30); }));
  TIME_ZONE_INFORMATION tzi{};
  DWORD state = GetTimeZoneInformation(&tzi);
  SYSTEMTIME before{}, after{};
  GetSystemTime(&before);
  ProfileFile file = WrittenProfile();
  GetSystemTime(&after);

  ASSERT_TRUE(file.marked) << "no UTF-16 byte order mark: the ini writer wrote 8-bit text";
  EXPECT_TRUE(file.crlfOnly);
  // Apart from the sections, the file may hold only the empty line of its start.
  std::vector<std::wstring> headers;
  size_t empty = 0;
  for (const std::wstring& line : file.lines) {
    if (line.empty()) ++empty;
    else if (line.front() == L'[') headers.push_back(line);
  }
  EXPECT_EQ(std::vector<std::wstring>({L"[PROF]", L"[DOCPROF]"}), headers);
  EXPECT_LE(empty, file.lines.front().empty() ? 1u : 0u);

  const auto [utcl, utch] = UtcTexts({2021, 3, 0, 4, 13, 45, 30, 0});
  const vpdf::TimeZoneSpanTexts span = vpdf::TimeZoneSpan(tzi, state);
  Entries expected = {
      {L"FILE", checkout}, {L"DOCID", L"!nrtdms:0:!session:DMSSRV:!database:ACTIVE:!document:4711,3:"},
      {L"USERID", L"JSMITH"}, {L"DB", L"ACTIVE"}, {L"NUM", L"4711"}, {L"VER", L"3"},
      {L"DESCRIPTION", L"Contract draft for Acme"}, {L"NAME", L"Contract draft"},
      {L"AUTHOR", L"AUTHORA"}, {L"OP", L"OPERATORB"}, {L"TYPE", L"WORDX"}, {L"CLASS", L"DOC"},
      {L"SUBCLASS", L"DRAFT"}, {L"RETENTIONDAYS", L"365"}, {L"INDEXABLE", L"Y"}, {L"CLIENT", L""},
      {L"MATTER", L""}};
  for (int n = 3; n <= 30; ++n) expected.emplace_back(L"CUSTOM" + std::to_wstring(n), L"");
  expected.insert(expected.end(),
                  {{L"EDITDATE", L"03/04/2021"}, {L"EDITTIME", L"13:45:30"},
                   {L"CREATEDATE", L"01/15/2020 09:30:00"}, {L"LASTUSER", L"LASTC"},
                   {L"INUSEBY", L"INUSED"}, {L"UTCL", utcl}, {L"UTCH", utch},
                   {L"UTCDL", span.low}, {L"UTCDH", span.high}});
  EXPECT_EQ(expected, file.Section(L"DOCPROF"));
  EXPECT_EQ(file.lines.size(), empty + 4 + expected.size()) << "a line outside the sections";

  // The edit start is the current UTC time (within a second of rounding).
  const Entries prof = file.Section(L"PROF");
  ASSERT_EQ(2u, prof.size());
  EXPECT_EQ(L"INITEDITTIME", prof[0].first);
  EXPECT_EQ(L"INITEDITDATE", prof[1].first);
  DATE first = 0, last = 0, written = 0;
  SystemTimeToVariantTime(&before, &first);
  SystemTimeToVariantTime(&after, &last);
  std::wstring moment = prof[1].second + L" " + prof[0].second;
  ASSERT_EQ(S_OK, VarDateFromStr(moment.data(), 0x7F, 0, &written)) << Utf8(moment);
  EXPECT_TRUE(written >= first - 1.0 / 86400 && written <= last + 1.0 / 86400) << Utf8(moment);
}

TEST_F(DocumentProfile, EditDateGivenAsTextIsConverted) {
  SetAttribute(10, Make(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(L"2022-11-05"); }));
  ProfileFile file = WrittenProfile();
  EXPECT_EQ(L"11/05/2022", file.Text(L"EDITDATE"));
  EXPECT_EQ(UtcTexts({2022, 11, 0, 5, 0, 0, 0, 0}).first, file.Text(L"UTCL"));
}

TEST_F(DocumentProfile, RewriteKeepsOtherSectionsAndReplacesItsOwn) {
  CheckedOutTo(checkout);
  std::wstring path = folder + L"Contract draft.prf";
  WriteBytes(path, Utf16(L"[EXTRA]\r\nKEEP=1\r\n[DOCPROF]\r\nSTALE=old\r\nNAME=Old name\r\n"
                         L"[PROF]\r\nOLDPROF=1\r\n"));
  SetNamed(document, L"LastUser", L"LASTC");

  std::wstring written;
  ASSERT_EQ(S_OK, WriteProfile(written));
  ASSERT_EQ(path, written);
  ProfileFile first(path);
  ASSERT_TRUE(first.marked);
  EXPECT_EQ(L"1", first.Value(L"EXTRA", L"KEEP").value_or(L"?"));
  EXPECT_FALSE(first.Value(L"PROF", L"OLDPROF"));
  EXPECT_FALSE(first.Value(L"DOCPROF", L"STALE"));
  EXPECT_EQ(L"Contract draft", first.Text(L"NAME"));
  EXPECT_EQ(L"LASTC", first.Text(L"LASTUSER"));
  Entries keys = first.Section(L"DOCPROF");
  ASSERT_FALSE(keys.empty());
  EXPECT_EQ(L"FILE", keys.front().first) << "a stale key stayed in front";

  // Gone from the document, gone from the file; nothing doubled.
  document->Remove(L"LastUser");
  ASSERT_EQ(S_OK, WriteProfile(written));
  ProfileFile second(path);
  EXPECT_EQ(L"1", second.Value(L"EXTRA", L"KEEP").value_or(L"?"));
  for (const wchar_t* section : {L"DOCPROF", L"PROF", L"EXTRA"}) EXPECT_EQ(1, second.Headers(section));
  EXPECT_EQ(1u, std::erase_if(keys, [](const auto& entry) { return entry.first == L"LASTUSER"; }));
  EXPECT_EQ(keys, second.Section(L"DOCPROF"));
}

TEST_F(DocumentProfile, CustomAttributeTextsByValueType) {
  tb::AutoObject* client = tb::NewObject(__uuidof(INRTCustomAttribute));
  client->SetString(L"Description", L"Acme");
  tb::AutoObject* withoutDescription = tb::NewObject(__uuidof(INRTCustomAttribute));
  const struct {
    long id;
    const wchar_t* key;
    VARIANT value;
    std::wstring text;
  } rows[] = {
      {25, L"CLIENT", Make(VT_DISPATCH, [&](VARIANT& v) { v.pdispVal = client; }), L"ACME"},
      {26, L"MATTER", Make(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(L"Merger 2021"); }),
       L"Merger 2021"},
      {27, L"CUSTOM3", Make(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), L"Y"},
      {28, L"CUSTOM4", Make(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_FALSE; }), L"N"},
      {29, L"CUSTOM5", Make(VT_I4, [](VARIANT& v) { v.lVal = 7; }), L"7"},
      {30, L"CUSTOM6", Make(VT_R8, [](VARIANT& v) { v.dblVal = 2.5; }), L"2.500000"},
      {31, L"CUSTOM7", Make(VT_DATE, [](VARIANT& v) { v.date = Date(1999, 12, 31, 23, 59, 58); }),
       L"12/31/1999 23:59:58"},
      {35, L"CUSTOM11", Make(VT_NULL), L""},
      {36, L"CUSTOM12", Make(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; }),
       std::to_wstring(static_cast<int>(DISP_E_PARAMNOTFOUND))},
      {37, L"CUSTOM13", Make(VT_ARRAY | VT_BSTR, [](VARIANT& v) {
         v.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
         LONG index = 0;
         BSTR element = SysAllocString(L"in an array");
         SafeArrayPutElement(v.parray, &index, element);
         SysFreeString(element);
       }), L""},
      {54, L"CUSTOM30", Make(VT_DISPATCH, [&](VARIANT& v) { v.pdispVal = withoutDescription; }), L""},
  };
  // The rows own the objects from here: VariantClear releases them.
  for (const auto& row : rows) SetAttribute(row.id, row.value);

  ProfileFile file = WrittenProfile();
  for (const auto& row : rows) EXPECT_EQ(row.text, file.Text(row.key)) << Utf8(row.key);
  EXPECT_EQ(L"", file.Text(L"CUSTOM8")) << "not set";
  EXPECT_EQ(32, document->Calls(L"GetAttributeByID")) << "25-54, edit date and time once";
}

TEST_F(DocumentProfile, UndeliveredValuesAreEmptyAndAbsentUsersLeaveTheirKeysOut) {
  document->Fail(L"GetAttributeByID", E_FAIL);
  document->Fail(L"Author", E_ACCESSDENIED);
  document->Remove(L"Operator");
  document->SetObject(L"Class", nullptr);
  document->Fail(L"CreationDate", E_FAIL);
  database->Fail(L"Session", E_FAIL);
  tb::AutoObject* user = tb::NewNamed(L"");
  user->Fail(L"Name", E_FAIL);
  document->SetObject(L"LastUser", user);
  user->Release();
  document->SetBool(L"Indexable", false);

  ProfileFile file = WrittenProfile();
  const std::pair<const wchar_t*, const wchar_t*> rows[] = {
      {L"DOCID", L"!database:ACTIVE:!document:4711,3:"}, {L"USERID", L""},
      {L"AUTHOR", L""}, {L"OP", L""}, {L"CLASS", L""},
      {L"SUBCLASS", L"DRAFT"}, {L"INDEXABLE", L"N"}, {L"CLIENT", L""}, {L"CUSTOM30", L""},
      {L"EDITDATE", L""}, {L"EDITTIME", L""}, {L"CREATEDATE", L""}, {L"UTCL", L""}, {L"UTCH", L""},
      {L"LASTUSER", L"<missing>"}, {L"INUSEBY", L"<missing>"}};
  for (const auto& [key, text] : rows) EXPECT_EQ(text, file.Text(key)) << Utf8(key);
  Entries entries = file.Section(L"DOCPROF");
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(L"UTCDH", entries.back().first) << "the file was not completed";
}

// --- Time-zone span --------------------------------------------------------------------------

TIME_ZONE_INFORMATION Zone(LONG bias, LONG standardBias, LONG daylightBias) {
  TIME_ZONE_INFORMATION tzi{};
  tzi.Bias = bias;
  tzi.StandardBias = standardBias;
  tzi.DaylightBias = daylightBias;
  tzi.DaylightDate.wMonth = 3;
  tzi.DaylightDate.wDay = 5;
  tzi.StandardDate.wMonth = 10;
  tzi.StandardDate.wDay = 5;
  return tzi;
}

TEST(TimeZoneSpan, TotalMinutesAsFileTimeUnitsAndHundredthsOfTwelveHours) {
  const struct {
    LONG bias, standardBias, daylightBias;
    DWORD state;
    const wchar_t* low;  // total x 600,000,000 modulo 2^32
    const wchar_t* high;
  } rows[] = {
      {60, 0, -60, TIME_ZONE_ID_STANDARD, L"1640261632l", L"8"},
      // Fourteen hours east: -84000 / 720 = -116.7 gives -116, -840 / 800 = -1.05 gives -1.
      {-840, 0, 0, TIME_ZONE_ID_UNKNOWN, L"2806140928l", L"-118"},
      {120, 30, -60, TIME_ZONE_ID_DAYLIGHT, L"1640261632l", L"8"},  // 60 minutes, as above
      {120, 30, -60, TIME_ZONE_ID_UNKNOWN, L"4100654080l", L"20"},  // standard: 150 minutes
      {60, 0, -60, TIME_ZONE_ID_INVALID, L"0l", L"0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.bias << " " << row.state);
    TraceLog log;
    vpdf::TimeZoneSpanTexts texts =
        vpdf::TimeZoneSpan(Zone(row.bias, row.standardBias, row.daylightBias), row.state);
    EXPECT_EQ(row.low, texts.low);
    EXPECT_EQ(row.high, texts.high);
    EXPECT_EQ(row.state == TIME_ZONE_ID_DAYLIGHT, log.Has("TIME_ZONE_ID_DAYLIGHT"));
  }
}

// --- The ".mhc" file ------------------------------------------------------------------------

TEST_F(DocumentProfile, NoMhcTextFromTheClientsDocumentMeansAnOldMhcFileGoesAndNoneIsWritten) {
  CheckedOutTo(checkout);
  const std::wstring path = folder + L"Contract draft.mhc";
  WriteBytes(path, Utf16(L"an older text"));
  // Not a member of the client's document: the add-in cannot reach it.
  document->SetString(L"MhcText", L"mail header");
  std::wstring written;
  EXPECT_EQ(S_OK, WriteMhc(written));
  EXPECT_EQ(path, written);
  EXPECT_FALSE(Exists(path));
}

}  // namespace
