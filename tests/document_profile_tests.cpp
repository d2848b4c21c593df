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
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "testbed/dms/tbdms.h"
#include "tests/testing/trace_log.h"

namespace {

using testing_support::TraceLog;
using testing_support::TraceRecord;

constexpr char kSource[] = "PDFConverter\\DMSConnectors\\iManageCommon\\DMSiManageCommon";

std::wstring TempFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return folder;
}

std::set<std::wstring> Entries(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L"..")) names.insert(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

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

// UTF-16 bytes of a text, with the byte order mark first when asked.
std::string Utf16(const std::wstring& text, bool mark) {
  std::string bytes = mark ? std::string("\xFF\xFE", 2) : std::string();
  bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  return bytes;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

// The profile file as lines: the byte order mark must be there, every line ends with CR LF.
struct ProfileFile {
  bool marked = false;
  bool crlfOnly = false;
  std::vector<std::wstring> lines;

  explicit ProfileFile(const std::wstring& path) {
    std::string bytes = ReadBytes(path);
    marked = bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE", 2) == 0;
    if (!marked || bytes.size() % 2) return;
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    crlfOnly = true;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(L'\n', start);
      if (end == std::wstring::npos) {
        crlfOnly = false;
        lines.push_back(text.substr(start));
        break;
      }
      // The leading line feed of a new file is an empty line without CR.
      bool emptyLeadingLine = start == 0 && end == 0;
      if (!emptyLeadingLine && (end == start || text[end - 1] != L'\r')) crlfOnly = false;
      size_t length = end - start - (end > start && text[end - 1] == L'\r' ? 1 : 0);
      lines.push_back(text.substr(start, length));
      start = end + 1;
    }
  }

  // The key=value lines of a section, in file order.
  std::vector<std::pair<std::wstring, std::wstring>> Section(const std::wstring& name) const {
    std::vector<std::pair<std::wstring, std::wstring>> entries;
    bool inside = false;
    for (const std::wstring& line : lines) {
      if (line.empty()) continue;
      if (line.front() == L'[') {
        inside = line == L"[" + name + L"]";
        continue;
      }
      if (!inside) continue;
      size_t equals = line.find(L'=');
      entries.emplace_back(line.substr(0, equals),
                           equals == std::wstring::npos ? L"" : line.substr(equals + 1));
    }
    return entries;
  }
  std::vector<std::wstring> Keys(const std::wstring& section) const {
    std::vector<std::wstring> keys;
    for (const auto& entry : Section(section)) keys.push_back(entry.first);
    return keys;
  }
  std::optional<std::wstring> Value(const std::wstring& section, const std::wstring& key) const {
    for (const auto& [k, v] : Section(section))
      if (k == key) return v;
    return std::nullopt;
  }
  int Headers(const std::wstring& section) const {
    int count = 0;
    for (const std::wstring& line : lines) count += line == L"[" + section + L"]";
    return count;
  }
};

std::wstring DateText(DATE date, ULONG flags) {
  BSTR text = nullptr;
  if (FAILED(VarBstrFromDate(date, 0x7F, flags, &text))) return L"?";
  std::wstring result(text, SysStringLen(text));
  SysFreeString(text);
  return result;
}

DATE Date(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0) {
  SYSTEMTIME time{year, month, 0, day, hour, minute, second, 0};
  DATE date = 0;
  SystemTimeToVariantTime(&time, &date);
  return date;
}

VARIANT Value(VARTYPE type) {
  VARIANT v;
  VariantInit(&v);
  v.vt = type;
  return v;
}

// The span texts as the file should hold them, worked out here from the zone's values.
std::pair<std::wstring, std::wstring> ExpectedSpan(const TIME_ZONE_INFORMATION& tzi, DWORD state) {
  if (state == TIME_ZONE_ID_INVALID) return {L"0l", L"0"};
  long long total = tzi.Bias + (state == TIME_ZONE_ID_DAYLIGHT ? tzi.DaylightBias : tzi.StandardBias);
  unsigned long long units = static_cast<unsigned long long>(total) * 600000000ull;
  long long high = total * 100 / 720;
  if (tzi.Bias < 0) high += tzi.Bias / 800 - 1;
  return {std::to_wstring(static_cast<unsigned long>(units % 0x100000000ull)) + L"l",
          std::to_wstring(high)};
}

// Every test works in a folder of its own inside the temporary folder, on one document of a
// testbed database, and must leave the temporary folder and the testbed as it found them.
class DocumentProfile : public testing::Test {
 protected:
  void SetUp() override {
    m_tempBefore = Entries(TempFolder());
    folder = TempFolder() + L"vpdf_profile_test\\";
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
    std::set<std::wstring> after = Entries(TempFolder());
    EXPECT_TRUE(after == m_tempBefore) << "the temporary folder changed";
  }

  static void SetNamed(tb::AutoObject* owner, const wchar_t* member, const wchar_t* name) {
    tb::AutoObject* object = tb::NewObject();
    object->SetString(L"Name", name);
    owner->SetObject(member, object);
    object->Release();
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
  std::set<std::wstring> m_tempBefore;
  bool m_folderMade = false;
};

// --- Which file is described, and where the companions go -------------------------------

TEST_F(DocumentProfile, MissingCheckoutCopyFallsBackToTheLocalCopy) {
  document->SetString(L"CheckoutPath", folder + L"not there.docx");
  document->SetString(L"MhcText", L"mail header");
  WriteBytes(local, "content");

  std::wstring profilePath, mhcPath;
  EXPECT_EQ(S_OK, WriteProfile(profilePath, local));
  EXPECT_EQ(S_OK, vpdf::WriteMhcFile(Doc(), mhcPath, local));

  EXPECT_EQ(folder + L"local copy.prf", profilePath);
  EXPECT_EQ(folder + L"local copy.mhc", mhcPath);
  EXPECT_TRUE(Exists(profilePath));
  EXPECT_TRUE(Exists(mhcPath));
  EXPECT_EQ(local, ProfileFile(profilePath).Value(L"DOCPROF", L"FILE").value_or(L"?"));
}

TEST_F(DocumentProfile, CheckoutCopyWinsOverTheLocalCopy) {
  CheckedOutTo(checkout);
  WriteBytes(local, "content");
  std::wstring path;
  EXPECT_EQ(S_OK, WriteProfile(path, local));
  EXPECT_EQ(folder + L"Contract draft.prf", path);
  EXPECT_EQ(checkout, ProfileFile(path).Value(L"DOCPROF", L"FILE").value_or(L"?"));
  EXPECT_FALSE(Exists(folder + L"local copy.prf"));
}

TEST_F(DocumentProfile, NoFileToDescribeWritesNothing) {
  document->SetString(L"CheckoutPath", folder + L"not there.docx");
  document->SetString(L"MhcText", L"mail header");
  std::wstring profilePath = L"old", mhcPath = L"old";
  EXPECT_EQ(E_FAIL, WriteProfile(profilePath, folder + L"no local copy.docx"));
  EXPECT_EQ(E_FAIL, vpdf::WriteMhcFile(Doc(), mhcPath, folder + L"no local copy.docx"));
  EXPECT_EQ(L"", profilePath);
  EXPECT_EQ(L"", mhcPath);
  EXPECT_TRUE(Entries(folder).empty());
  EXPECT_EQ(0, document->Calls(L"MhcText"));
}

TEST_F(DocumentProfile, ExtensionIsReplacedFromTheLastPointOfTheName) {
  CheckedOutTo(folder + L"v1.2 notes.final.docx");
  std::wstring path;
  EXPECT_EQ(S_OK, WriteProfile(path));
  EXPECT_EQ(folder + L"v1.2 notes.final.prf", path);

  CheckedOutTo(folder + L"no extension");
  EXPECT_EQ(S_OK, WriteProfile(path));
  EXPECT_EQ(folder + L"no extension.prf", path);
}

TEST_F(DocumentProfile, MissingDocumentIsAProgrammingError) {
  std::wstring path;
  try {
    vpdf::WriteDocumentProfile(dms::Document(), path, local);
    ADD_FAILURE() << "no COM error";
  } catch (const vpdf::ComError& error) {
    EXPECT_EQ(E_POINTER, error.Error());
  }
  try {
    vpdf::WriteMhcFile(dms::Document(), path, local);
    ADD_FAILURE() << "no COM error";
  } catch (const vpdf::ComError& error) {
    EXPECT_EQ(E_POINTER, error.Error());
  }
}

// --- The profile file ------------------------------------------------------------------------

TEST_F(DocumentProfile, NewFileIsUtf16WithBothSectionsInTheirOrder) {
  SetNamed(document, L"LastUser", L"LASTC");
  SetNamed(document, L"InUseBy", L"INUSED");
  VARIANT editDate = Value(VT_DATE);
  editDate.date = Date(2021, 3, 4);
  document->SetAttribute(10, editDate);
  VARIANT editTime = Value(VT_DATE);
  editTime.date = 0.5;  // 12:00
  document->SetAttribute(81, editTime);

  ProfileFile file = WrittenProfile();
  ASSERT_TRUE(file.marked) << "no UTF-16 byte order mark: the ini writer wrote 8-bit text";
  EXPECT_TRUE(file.crlfOnly);
  std::vector<std::wstring> structure;
  for (const std::wstring& line : file.lines)
    if (!line.empty()) structure.push_back(line.front() == L'[' ? line : line.substr(0, line.find(L'=') + 1));
  std::vector<std::wstring> expected = {L"[PROF]", L"INITEDITTIME=", L"INITEDITDATE=", L"[DOCPROF]"};
  for (const wchar_t* key :
       {L"FILE", L"DOCID", L"USERID", L"DB", L"NUM", L"VER", L"DESCRIPTION", L"NAME", L"AUTHOR",
        L"OP", L"TYPE", L"CLASS", L"SUBCLASS", L"RETENTIONDAYS", L"INDEXABLE", L"CLIENT", L"MATTER"})
    expected.push_back(std::wstring(key) + L"=");
  for (int n = 3; n <= 30; ++n) expected.push_back(L"CUSTOM" + std::to_wstring(n) + L"=");
  for (const wchar_t* key : {L"EDITDATE", L"EDITTIME", L"CREATEDATE", L"LASTUSER", L"INUSEBY",
                             L"UTCL", L"UTCH", L"UTCDL", L"UTCDH"})
    expected.push_back(std::wstring(key) + L"=");
  EXPECT_EQ(expected, structure);
  // Apart from the lines above, the file may hold only the empty line of its start.
  size_t emptyLines = file.lines.size() - structure.size();
  EXPECT_LE(emptyLines, 1u);
  if (emptyLines == 1) {
    EXPECT_TRUE(file.lines.front().empty());
  }

  auto docprof = [&file](const wchar_t* key) {
    return file.Value(L"DOCPROF", key).value_or(L"<missing>");
  };
  EXPECT_EQ(checkout, docprof(L"FILE"));
  EXPECT_EQ(L"!nrtdms:0:!session:DMSSRV:!database:ACTIVE:!document:4711,3:", docprof(L"DOCID"));
  EXPECT_EQ(L"JSMITH", docprof(L"USERID"));
  EXPECT_EQ(L"ACTIVE", docprof(L"DB"));
  EXPECT_EQ(L"4711", docprof(L"NUM"));
  EXPECT_EQ(L"3", docprof(L"VER"));
  EXPECT_EQ(L"Contract draft for Acme", docprof(L"DESCRIPTION"));
  EXPECT_EQ(L"Contract draft", docprof(L"NAME"));
  EXPECT_EQ(L"AUTHORA", docprof(L"AUTHOR"));
  EXPECT_EQ(L"OPERATORB", docprof(L"OP"));
  EXPECT_EQ(L"WORDX", docprof(L"TYPE"));
  EXPECT_EQ(L"DOC", docprof(L"CLASS"));
  EXPECT_EQ(L"DRAFT", docprof(L"SUBCLASS"));
  EXPECT_EQ(L"365", docprof(L"RETENTIONDAYS"));
  EXPECT_EQ(L"Y", docprof(L"INDEXABLE"));
  EXPECT_EQ(L"03/04/2021", docprof(L"EDITDATE"));
  EXPECT_EQ(L"12:00:00", docprof(L"EDITTIME"));
  EXPECT_EQ(L"01/15/2020 09:30:00", docprof(L"CREATEDATE"));
  EXPECT_EQ(L"LASTC", docprof(L"LASTUSER"));
  EXPECT_EQ(L"INUSED", docprof(L"INUSEBY"));
}

TEST_F(DocumentProfile, EditMomentIsDayPlusTimeAsUtcFileTime) {
  VARIANT editDate = Value(VT_DATE);
  editDate.date = Date(2021, 3, 4);
  document->SetAttribute(10, editDate);
  VARIANT editTime = Value(VT_DATE);
  editTime.date = Date(1899, 12, 30, 13, 45, 30);  // a time of day only
  document->SetAttribute(81, editTime);

  ProfileFile file = WrittenProfile();
  SYSTEMTIME moment{2021, 3, 0, 4, 13, 45, 30, 0};
  FILETIME localTime{}, utc{};
  ASSERT_TRUE(SystemTimeToFileTime(&moment, &localTime));
  ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));
  EXPECT_EQ(std::to_wstring(utc.dwLowDateTime) + L"l", file.Value(L"DOCPROF", L"UTCL").value_or(L"?"));
  EXPECT_EQ(std::to_wstring(utc.dwHighDateTime) + L"l", file.Value(L"DOCPROF", L"UTCH").value_or(L"?"));
  EXPECT_EQ(L"13:45:30", file.Value(L"DOCPROF", L"EDITTIME").value_or(L"?"));
}

TEST_F(DocumentProfile, EditDateGivenAsTextIsConverted) {
  VARIANT editDate = Value(VT_BSTR);
  editDate.bstrVal = SysAllocString(L"2022-11-05");
  document->SetAttribute(10, editDate);
  VariantClear(&editDate);

  ProfileFile file = WrittenProfile();
  EXPECT_EQ(L"11/05/2022", file.Value(L"DOCPROF", L"EDITDATE").value_or(L"?"));
  SYSTEMTIME moment{2022, 11, 0, 5, 0, 0, 0, 0};
  FILETIME localTime{}, utc{};
  ASSERT_TRUE(SystemTimeToFileTime(&moment, &localTime));
  ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));
  EXPECT_EQ(std::to_wstring(utc.dwLowDateTime) + L"l", file.Value(L"DOCPROF", L"UTCL").value_or(L"?"));
}

TEST_F(DocumentProfile, EditStartIsTheCurrentUtcTime) {
  SYSTEMTIME before{};
  GetSystemTime(&before);
  ProfileFile file = WrittenProfile();
  SYSTEMTIME after{};
  GetSystemTime(&after);

  DATE first = 0, last = 0;
  SystemTimeToVariantTime(&before, &first);
  SystemTimeToVariantTime(&after, &last);
  std::wstring date = file.Value(L"PROF", L"INITEDITDATE").value_or(L"?");
  EXPECT_TRUE(date == DateText(first, VAR_DATEVALUEONLY) || date == DateText(last, VAR_DATEVALUEONLY))
      << Narrow(date);

  std::wstring time = file.Value(L"PROF", L"INITEDITTIME").value_or(L"?");
  DATE written = 0;
  ASSERT_EQ(S_OK, VarDateFromStr(time.data(), 0x7F, 0, &written)) << Narrow(time);
  // Seconds of the day, the written moment between the two readings (within a second of
  // rounding, across midnight too).
  auto seconds = [](DATE d) { return static_cast<long>((d - static_cast<long>(d)) * 86400 + 0.5); };
  long at = seconds(written), from = seconds(first) - 1, to = seconds(last) + 1;
  bool inside = from <= to ? (at >= from && at <= to) : (at >= from || at <= to % 86400);
  EXPECT_TRUE(inside) << Narrow(time) << " not between " << Narrow(DateText(first, 1)) << " and "
                      << Narrow(DateText(last, 1));
}

TEST_F(DocumentProfile, ZoneSpanOfTheMachineIsWrittenAndLogged) {
  TraceLog log;
  TIME_ZONE_INFORMATION tzi{};
  DWORD state = GetTimeZoneInformation(&tzi);
  ProfileFile file = WrittenProfile();

  auto [low, high] = ExpectedSpan(tzi, state);
  EXPECT_EQ(low, file.Value(L"DOCPROF", L"UTCDL").value_or(L"?"));
  EXPECT_EQ(high, file.Value(L"DOCPROF", L"UTCDH").value_or(L"?"));
  if (state != TIME_ZONE_ID_INVALID) {
    TraceRecord record;
    ASSERT_TRUE(log.Find("tzi.Bias " + std::to_string(tzi.Bias), record));
    EXPECT_EQ(kSource, record.source);
    EXPECT_TRUE(log.Has("GetTimeZoneInformation"));
    EXPECT_TRUE(log.Has(state == TIME_ZONE_ID_DAYLIGHT ? "TIME_ZONE_ID_DAYLIGHT"
                                                       : "TIME_ZONE_ID_STANDARD"));
  }
}

TEST_F(DocumentProfile, RewriteKeepsOtherSectionsAndReplacesItsOwn) {
  CheckedOutTo(checkout);
  std::wstring path = folder + L"Contract draft.prf";
  WriteBytes(path, Utf16(L"[EXTRA]\r\nKEEP=1\r\n[DOCPROF]\r\nSTALE=old\r\nNAME=Old name\r\n"
                         L"[PROF]\r\nOLDPROF=1\r\n",
                         true));
  SetNamed(document, L"LastUser", L"LASTC");

  std::wstring written;
  ASSERT_EQ(S_OK, WriteProfile(written));
  ASSERT_EQ(path, written);
  ProfileFile first(path);
  ASSERT_TRUE(first.marked);
  EXPECT_EQ(L"1", first.Value(L"EXTRA", L"KEEP").value_or(L"?"));
  EXPECT_FALSE(first.Value(L"DOCPROF", L"STALE"));
  EXPECT_FALSE(first.Value(L"PROF", L"OLDPROF"));
  EXPECT_EQ(L"Contract draft", first.Value(L"DOCPROF", L"NAME").value_or(L"?"));
  EXPECT_EQ(L"LASTC", first.Value(L"DOCPROF", L"LASTUSER").value_or(L"?"));
  ASSERT_FALSE(first.Keys(L"DOCPROF").empty());
  EXPECT_EQ(L"FILE", first.Keys(L"DOCPROF").front());

  // Gone from the document, gone from the file; nothing doubled.
  document->Remove(L"LastUser");
  ASSERT_EQ(S_OK, WriteProfile(written));
  ProfileFile second(path);
  EXPECT_EQ(L"1", second.Value(L"EXTRA", L"KEEP").value_or(L"?"));
  EXPECT_FALSE(second.Value(L"DOCPROF", L"LASTUSER"));
  EXPECT_EQ(1, second.Headers(L"DOCPROF"));
  EXPECT_EQ(1, second.Headers(L"PROF"));
  EXPECT_EQ(1, second.Headers(L"EXTRA"));
  std::vector<std::wstring> keys = first.Keys(L"DOCPROF");
  auto lastUser = std::find(keys.begin(), keys.end(), L"LASTUSER");
  ASSERT_NE(keys.end(), lastUser);
  keys.erase(lastUser);
  EXPECT_EQ(keys, second.Keys(L"DOCPROF"));
}

TEST_F(DocumentProfile, CustomAttributeTextsByValueType) {
  tb::AutoObject* client = tb::NewObject();
  client->SetString(L"Description", L"Acme");
  VARIANT v = Value(VT_DISPATCH);
  v.pdispVal = client;
  document->SetAttribute(25, v);
  client->Release();

  v = Value(VT_BSTR);
  v.bstrVal = SysAllocString(L"Merger 2021");
  document->SetAttribute(26, v);
  VariantClear(&v);

  v = Value(VT_BOOL);
  v.boolVal = VARIANT_TRUE;
  document->SetAttribute(27, v);  // CUSTOM3
  v.boolVal = VARIANT_FALSE;
  document->SetAttribute(28, v);  // CUSTOM4
  v = Value(VT_I4);
  v.lVal = 7;
  document->SetAttribute(29, v);  // CUSTOM5
  v = Value(VT_R8);
  v.dblVal = 2.5;
  document->SetAttribute(30, v);  // CUSTOM6
  v = Value(VT_DATE);
  v.date = Date(1999, 12, 31, 23, 59, 58);
  document->SetAttribute(31, v);  // CUSTOM7
  // 32 (CUSTOM8) is not set: an empty value.
  v = Value(VT_I2);
  v.iVal = -5;
  document->SetAttribute(33, v);  // CUSTOM9
  v = Value(VT_R4);
  v.fltVal = 0.25f;
  document->SetAttribute(34, v);  // CUSTOM10
  document->SetAttribute(35, Value(VT_NULL));  // CUSTOM11
  v = Value(VT_ERROR);
  v.scode = DISP_E_PARAMNOTFOUND;
  document->SetAttribute(36, v);  // CUSTOM12
  v = Value(VT_ARRAY | VT_BSTR);
  v.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
  LONG index = 0;
  BSTR element = SysAllocString(L"in an array");
  SafeArrayPutElement(v.parray, &index, element);
  SysFreeString(element);
  document->SetAttribute(37, v);  // CUSTOM13
  VariantClear(&v);
  tb::AutoObject* withoutDescription = tb::NewObject();
  v = Value(VT_DISPATCH);
  v.pdispVal = withoutDescription;
  document->SetAttribute(54, v);  // CUSTOM30
  withoutDescription->Release();

  ProfileFile file = WrittenProfile();
  auto text = [&file](const wchar_t* key) {
    return file.Value(L"DOCPROF", key).value_or(L"<missing>");
  };
  EXPECT_EQ(L"ACME", text(L"CLIENT"));
  EXPECT_EQ(L"Merger 2021", text(L"MATTER"));
  EXPECT_EQ(L"Y", text(L"CUSTOM3"));
  EXPECT_EQ(L"N", text(L"CUSTOM4"));
  EXPECT_EQ(L"7", text(L"CUSTOM5"));
  EXPECT_EQ(L"2.500000", text(L"CUSTOM6"));
  EXPECT_EQ(L"12/31/1999 23:59:58", text(L"CUSTOM7"));
  EXPECT_EQ(L"", text(L"CUSTOM8"));
  EXPECT_EQ(L"-5", text(L"CUSTOM9"));
  EXPECT_EQ(L"0.250000", text(L"CUSTOM10"));
  EXPECT_EQ(L"", text(L"CUSTOM11"));
  EXPECT_EQ(std::to_wstring(static_cast<int>(DISP_E_PARAMNOTFOUND)), text(L"CUSTOM12"));
  EXPECT_EQ(L"", text(L"CUSTOM13"));
  EXPECT_EQ(L"", text(L"CUSTOM30"));
  // Each attribute was asked for once: 25-54 and the edit date and time.
  EXPECT_EQ(32, document->Calls(L"GetAttributeValueByID"));
}

TEST_F(DocumentProfile, UndeliveredValuesAreEmptyAndAbsentUsersLeaveTheirKeysOut) {
  document->Fail(L"GetAttributeValueByID", E_FAIL);
  document->Fail(L"Author", E_ACCESSDENIED);
  document->Remove(L"Operator");
  document->SetObject(L"Class", nullptr);
  document->Fail(L"CreationDate", E_FAIL);
  database->Fail(L"Session", E_FAIL);
  // A null text: the writer is given no value, which removes the key.
  document->SetMethod(L"Description", [](std::vector<VARIANT*>&, VARIANT* result) {
    result->vt = VT_BSTR;
    result->bstrVal = nullptr;
    return S_OK;
  });

  ProfileFile file = WrittenProfile();
  auto text = [&file](const wchar_t* key) {
    return file.Value(L"DOCPROF", key).value_or(L"<missing>");
  };
  EXPECT_EQ(L"!database:ACTIVE:!document:4711,3:", text(L"DOCID"));
  EXPECT_EQ(L"", text(L"USERID"));
  EXPECT_EQ(L"<missing>", text(L"DESCRIPTION"));
  EXPECT_EQ(L"", text(L"AUTHOR"));
  EXPECT_EQ(L"", text(L"OP"));
  EXPECT_EQ(L"", text(L"CLASS"));
  EXPECT_EQ(L"DRAFT", text(L"SUBCLASS"));
  EXPECT_EQ(L"", text(L"CLIENT"));
  EXPECT_EQ(L"", text(L"CUSTOM30"));
  EXPECT_EQ(L"", text(L"EDITDATE"));
  EXPECT_EQ(L"", text(L"EDITTIME"));
  EXPECT_EQ(L"", text(L"CREATEDATE"));
  EXPECT_EQ(L"", text(L"UTCL"));
  EXPECT_EQ(L"", text(L"UTCH"));
  EXPECT_FALSE(file.Value(L"DOCPROF", L"LASTUSER"));
  EXPECT_FALSE(file.Value(L"DOCPROF", L"INUSEBY"));
  std::vector<std::wstring> keys = file.Keys(L"DOCPROF");
  ASSERT_FALSE(keys.empty());
  EXPECT_EQ(L"UTCDH", keys.back()) << "the file was not completed";
}

TEST_F(DocumentProfile, UserWithoutReadableNameLeavesItsKeyOut) {
  tb::AutoObject* user = tb::NewObject();
  user->Fail(L"Name", E_FAIL);
  document->SetObject(L"LastUser", user);
  user->Release();
  SetNamed(document, L"InUseBy", L"INUSED");
  document->SetBool(L"Indexable", false);

  ProfileFile file = WrittenProfile();
  EXPECT_FALSE(file.Value(L"DOCPROF", L"LASTUSER"));
  EXPECT_EQ(L"INUSED", file.Value(L"DOCPROF", L"INUSEBY").value_or(L"?"));
  EXPECT_EQ(L"N", file.Value(L"DOCPROF", L"INDEXABLE").value_or(L"?"));
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

TEST(TimeZoneSpan, OneHourWestInStandardTime) {
  TraceLog log;
  vpdf::TimeZoneSpanTexts texts = vpdf::TimeZoneSpan(Zone(60, 0, -60), TIME_ZONE_ID_STANDARD);
  EXPECT_EQ(L"1640261632l", texts.low);  // 36,000,000,000 modulo 2^32
  EXPECT_EQ(L"8", texts.high);
  EXPECT_TRUE(log.Has("GetTimeZoneInformation"));
  EXPECT_TRUE(log.Has("tzi.Bias 60"));
  EXPECT_TRUE(log.Has("tzi.StandardBias 0"));
  EXPECT_TRUE(log.Has("tzi.DaylightBias -60"));
  EXPECT_TRUE(log.Has("tzi.DaylightDate.month 3"));
  EXPECT_TRUE(log.Has("tzi.StandardDate.month 10"));
  EXPECT_TRUE(log.Has("TIME_ZONE_ID_STANDARD"));
  EXPECT_FALSE(log.Has("TIME_ZONE_ID_DAYLIGHT"));
}

TEST(TimeZoneSpan, OneHourEastAddsTheNegativeCorrection) {
  vpdf::TimeZoneSpanTexts texts = vpdf::TimeZoneSpan(Zone(-60, 0, -60), TIME_ZONE_ID_STANDARD);
  EXPECT_EQ(L"2654705664l", texts.low);  // -36,000,000,000 modulo 2^32
  EXPECT_EQ(L"-9", texts.high);          // -8 + (0 - 1)
}

TEST(TimeZoneSpan, DivisionsTruncateTowardZero) {
  // Fourteen hours east: -84000 / 720 = -116.7 gives -116, -840 / 800 = -1.05 gives -1.
  vpdf::TimeZoneSpanTexts texts = vpdf::TimeZoneSpan(Zone(-840, 0, 0), TIME_ZONE_ID_UNKNOWN);
  EXPECT_EQ(L"2806140928l", texts.low);  // -504,000,000,000 modulo 2^32
  EXPECT_EQ(L"-118", texts.high);
}

TEST(TimeZoneSpan, DaylightTimeTakesTheDaylightBias) {
  TraceLog log;
  vpdf::TimeZoneSpanTexts texts = vpdf::TimeZoneSpan(Zone(120, 30, -60), TIME_ZONE_ID_DAYLIGHT);
  EXPECT_EQ(L"1640261632l", texts.low);  // 60 minutes, as above
  EXPECT_EQ(L"8", texts.high);
  EXPECT_TRUE(log.Has("TIME_ZONE_ID_DAYLIGHT"));
  EXPECT_FALSE(log.Has("TIME_ZONE_ID_STANDARD"));

  // Any other state is standard time: 150 minutes.
  texts = vpdf::TimeZoneSpan(Zone(120, 30, -60), TIME_ZONE_ID_UNKNOWN);
  EXPECT_EQ(L"4100654080l", texts.low);  // 90,000,000,000 modulo 2^32
  EXPECT_EQ(L"20", texts.high);          // 15000 / 720 = 20.8
}

TEST(TimeZoneSpan, UnknownZoneGivesZeroesWithoutLog) {
  TraceLog log;
  vpdf::TimeZoneSpanTexts texts = vpdf::TimeZoneSpan(Zone(60, 0, -60), TIME_ZONE_ID_INVALID);
  EXPECT_EQ(L"0l", texts.low);
  EXPECT_EQ(L"0", texts.high);
  EXPECT_FALSE(log.Has("GetTimeZoneInformation"));
}

// --- The ".mhc" file ------------------------------------------------------------------------

TEST_F(DocumentProfile, MhcFileIsMarkAndTextWithoutTerminator) {
  CheckedOutTo(checkout);
  const std::wstring text = L"Re: Vertrag \u00FCber \u20AC 5.000\r\nzweite Zeile";
  document->SetString(L"MhcText", text);
  std::wstring path;
  EXPECT_EQ(S_OK, vpdf::WriteMhcFile(Doc(), path, L""));
  EXPECT_EQ(folder + L"Contract draft.mhc", path);
  EXPECT_EQ(Utf16(text, true), ReadBytes(path));
}

TEST_F(DocumentProfile, MhcFileIsReplacedWhenTheTextIsRead) {
  CheckedOutTo(checkout);
  std::wstring path = folder + L"Contract draft.mhc";
  WriteBytes(path, Utf16(L"an older and much longer text", true));
  document->SetString(L"MhcText", L"new");
  std::wstring written;
  EXPECT_EQ(S_OK, vpdf::WriteMhcFile(Doc(), written, L""));
  EXPECT_EQ(Utf16(L"new", true), ReadBytes(path));
}

TEST_F(DocumentProfile, EmptyMhcTextDeletesTheOldFileAndWritesNone) {
  CheckedOutTo(checkout);
  std::wstring path = folder + L"Contract draft.mhc";
  document->SetString(L"MhcText", L"");
  std::wstring written;
  EXPECT_EQ(S_OK, vpdf::WriteMhcFile(Doc(), written, L""));
  EXPECT_EQ(path, written);
  EXPECT_FALSE(Exists(path));

  WriteBytes(path, Utf16(L"old", true));
  EXPECT_EQ(S_OK, vpdf::WriteMhcFile(Doc(), written, L""));
  EXPECT_FALSE(Exists(path));
}

TEST_F(DocumentProfile, UnreadableMhcTextKeepsTheOldFileAndAnswersTheFailure) {
  CheckedOutTo(checkout);
  std::wstring path = folder + L"Contract draft.mhc";
  WriteBytes(path, Utf16(L"old", true));
  document->SetString(L"MhcText", L"new");
  document->Fail(L"MhcText", E_ACCESSDENIED);
  std::wstring written;
  EXPECT_EQ(E_ACCESSDENIED, vpdf::WriteMhcFile(Doc(), written, L""));
  EXPECT_EQ(path, written);
  EXPECT_EQ(Utf16(L"old", true), ReadBytes(path));

  std::filesystem::remove(std::filesystem::path(path));
  EXPECT_EQ(E_ACCESSDENIED, vpdf::WriteMhcFile(Doc(), written, L""));
  EXPECT_FALSE(Exists(path));
}

}  // namespace
