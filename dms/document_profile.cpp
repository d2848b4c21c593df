#include "dms/document_profile.h"

#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <optional>
#include <vector>

#include "convutils/comutil.h"
#include "convutils/conv_utils.h"
#include "convutils/log.h"

#include "IManage.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\DMSConnectors\\iManageCommon\\DMSiManageCommon");

constexpr wchar_t kProf[] = L"PROF";
constexpr wchar_t kDocProf[] = L"DOCPROF";
constexpr LCID kInvariantLocale = 0x7F;
constexpr wchar_t kInvalidDateTime[] = L"Invalid DateTime";

constexpr LONG kEditDateAttribute = 10;
constexpr LONG kEditTimeAttribute = 81;
constexpr LONG kFirstCustomAttribute = 25;  // CLIENT
constexpr LONG kLastCustomAttribute = 54;   // CUSTOM30

// A text for the private-profile writer: no value deletes the key.
using Text = std::optional<std::wstring>;

template <class... Args>
std::wstring Format(const wchar_t* format, Args... args) {
  wchar_t buffer[64];
  int length = std::swprintf(buffer, std::size(buffer), format, args...);
  return length < 0 ? std::wstring() : std::wstring(buffer, static_cast<size_t>(length));
}

// The check-out path when a file is there, else the caller's local file when it exists.
std::wstring BasePath(const dms::Document& document, const std::wstring& localPath) {
  dms::Got<std::wstring> checkout = document.CheckoutPath();
  if (checkout.Ok() && FileExists(checkout.value.c_str(), ExistsAs::kFileOnly))
    return checkout.value;
  if (FileExists(localPath.c_str(), ExistsAs::kFileOnly)) return localPath;
  return {};
}

// Drive, folder and name of `base` with `extension` instead of its own. The splitter's parts
// hold MAX_PATH characters each, so a longer path is refused rather than cut.
bool CompanionPath(const std::wstring& base, const wchar_t* extension, std::wstring& path) {
  if (base.size() >= MAX_PATH) {
    kLog.Warning("Path too long for its companion files: %S", base.c_str());
    return false;
  }
  wchar_t drive[MAX_PATH] = {}, folder[MAX_PATH] = {}, name[MAX_PATH] = {};
  if (_wsplitpath_s(base.c_str(), drive, MAX_PATH, folder, MAX_PATH, name, MAX_PATH, nullptr, 0))
    return false;
  path = std::wstring(drive) + folder + name + extension;
  return true;
}

// A new file holding `bytes`; an existing file or a failure to create leaves things as they are.
void CreateNewFile(const std::wstring& path, const std::vector<BYTE>& bytes) {
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// The text of `member`: the call's failure as hr; no value when the object model answers a
// null text.
dms::Got<Text> ReadText(const dms::Object& object, const wchar_t* member) {
  dms::Got<Text> got{E_POINTER, std::wstring()};
  if (!object) return got;
  dms::Got<Variant> value = object.Property(member);
  got.hr = value.hr;
  if (!value.Ok()) return got;
  VARIANT* v = value.value.Get();
  if (v->vt == VT_BSTR && !v->bstrVal) {
    got.value.reset();
    return got;
  }
  if (v->vt != VT_BSTR) {
    got.hr = VariantChangeType(v, v, 0, VT_BSTR);
    if (FAILED(got.hr)) return got;
  }
  got.value = std::wstring(v->bstrVal, SysStringLen(v->bstrVal));
  return got;
}

// Empty when the object model did not deliver the text.
Text OrEmpty(const dms::Got<Text>& text) { return text.Ok() ? text.value : Text(std::wstring()); }

// The name of a user, type or class object; empty when there is no object or no name.
Text NameOf(const dms::Got<dms::Named>& object) {
  return object.Ok() ? OrEmpty(ReadText(object.value, dms::member::kName)) : Text(std::wstring());
}

// The name of a user object; no value (the key goes) when there is no such user.
Text UserNameOf(const dms::Got<dms::Named>& user) {
  if (!user.Ok()) return std::nullopt;
  dms::Got<Text> name = ReadText(user.value, dms::member::kName);
  return name.Ok() ? name.value : std::nullopt;
}

// The invariant locale's text of a date; empty when it has none.
std::wstring DateText(DATE date, ULONG flags) {
  BSTR text = nullptr;
  if (FAILED(VarBstrFromDate(date, kInvariantLocale, flags, &text))) return {};
  return Bstr::Adopt(text).Str();
}

std::wstring Upper(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// A custom attribute's value as the profile file holds it.
Text AttributeText(const VARIANT& value) {
  switch (value.vt) {
    case VT_I2:
      return Format(L"%d", static_cast<int>(value.iVal));
    case VT_I4:
      return Format(L"%d", static_cast<int>(value.lVal));
    case VT_ERROR:
      return Format(L"%d", static_cast<int>(value.scode));
    case VT_R4:
      return Format(L"%f", static_cast<double>(value.fltVal));
    case VT_R8:
      return Format(L"%f", value.dblVal);
    case VT_DATE:
      return DateText(value.date, VAR_FOURDIGITYEARS);
    case VT_BSTR:
      if (!value.bstrVal) return std::nullopt;
      return std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
    case VT_DISPATCH: {
      // A value from a lookup table (INRTCustomAttribute, vtable only): its description
      // stands for it.
      ComPtr<INRTCustomAttribute> entry;
      Bstr description;
      if (value.pdispVal &&
          SUCCEEDED(value.pdispVal->QueryInterface(__uuidof(INRTCustomAttribute),
                                                   entry.PutVoid())) &&
          SUCCEEDED(entry->get_Description(description.Put())) && description.Get())
        return Upper(description.c_str());
      return std::wstring();
    }
    case VT_BOOL:
      return std::wstring(value.boolVal != VARIANT_FALSE ? L"Y" : L"N");
    default:
      return std::wstring();
  }
}

// The attribute's value as a date: as it is, or converted; no value when it is none.
std::optional<DATE> AttributeDate(const dms::Got<Variant>& attribute) {
  if (!attribute.Ok()) return std::nullopt;
  if (attribute.value.Type() == VT_DATE) return attribute.value.Get()->date;
  Variant converted = attribute.value;
  if (FAILED(VariantChangeType(converted.Get(), converted.Get(), 0, VT_DATE)))
    return std::nullopt;
  return converted.Get()->date;
}

// An automation date moved on by `days`. Dates before 1899-12-30 count their fraction forward
// from the whole day, so the sum is taken on a continuous scale.
DATE AddDays(DATE date, double days) {
  auto linear = [](double d) {
    double whole = static_cast<double>(static_cast<long long>(d));
    return d >= 0 ? d : whole - (d - whole);
  };
  double sum = linear(date) + days;
  if (sum >= 0) return sum;
  double whole = static_cast<double>(static_cast<long long>(sum));
  if (whole > sum) whole -= 1;  // the day the moment lies in
  double fraction = sum - whole;
  return whole - fraction;
}

class ProfileWriter {
 public:
  explicit ProfileWriter(const std::wstring& path) : m_path(path) {}
  void DeleteSection(const wchar_t* section) const {
    WritePrivateProfileStringW(section, nullptr, nullptr, m_path.c_str());
  }
  void Write(const wchar_t* section, const wchar_t* key, const Text& value) const {
    WritePrivateProfileStringW(section, key, value ? value->c_str() : nullptr, m_path.c_str());
  }

 private:
  const std::wstring& m_path;
};

// [PROF]: when the editing began, in UTC.
void WriteEditStart(const ProfileWriter& profile) {
  profile.DeleteSection(kProf);
  std::wstring time, date;
  SYSTEMTIME local{}, utc{};
  FILETIME localFile{}, utcFile{};
  GetLocalTime(&local);
  if (SystemTimeToFileTime(&local, &localFile) && LocalFileTimeToFileTime(&localFile, &utcFile) &&
      FileTimeToSystemTime(&utcFile, &utc)) {
    DATE moment = 0;
    if (SystemTimeToVariantTime(&utc, &moment)) {
      time = DateText(moment, VAR_TIMEVALUEONLY);
      date = DateText(moment, VAR_DATEVALUEONLY);
    }
    if (time.empty()) time = kInvalidDateTime;
    if (date.empty()) date = kInvalidDateTime;
  }
  profile.Write(kProf, L"INITEDITTIME", time);
  profile.Write(kProf, L"INITEDITDATE", date);
}

}  // namespace

TimeZoneSpanTexts TimeZoneSpan(const TIME_ZONE_INFORMATION& tzi, DWORD zoneState) {
  TimeZoneSpanTexts texts;
  if (zoneState == TIME_ZONE_ID_INVALID) return texts;
  kLog.Trace("GetTimeZoneInformation");
  kLog.Trace("tzi.Bias %d", static_cast<int>(tzi.Bias));
  kLog.Trace("tzi.StandardBias %d", static_cast<int>(tzi.StandardBias));
  kLog.Trace("tzi.DaylightBias %d", static_cast<int>(tzi.DaylightBias));
  kLog.Trace("tzi.DaylightDate.Year %d", static_cast<int>(tzi.DaylightDate.wYear));
  kLog.Trace("tzi.DaylightDate.month %d", static_cast<int>(tzi.DaylightDate.wMonth));
  kLog.Trace("tzi.DaylightDate.day %d", static_cast<int>(tzi.DaylightDate.wDay));
  kLog.Trace("tzi.StandardDate.Year %d", static_cast<int>(tzi.StandardDate.wYear));
  kLog.Trace("tzi.StandardDate.month %d", static_cast<int>(tzi.StandardDate.wMonth));
  kLog.Trace("tzi.StandardDate.day %d", static_cast<int>(tzi.StandardDate.wDay));
  LONG bias = 0;
  if (zoneState == TIME_ZONE_ID_DAYLIGHT) {
    kLog.Trace("TIME_ZONE_ID_DAYLIGHT");
    bias = tzi.DaylightBias;
  } else {
    kLog.Trace("TIME_ZONE_ID_STANDARD");
    bias = tzi.StandardBias;
  }
  long long total = static_cast<long long>(tzi.Bias) + bias;
  // Minutes as 100-nanosecond units; the text keeps the low 32 bits.
  auto span = static_cast<unsigned long long>(total * 600000000LL);
  texts.low = Format(L"%ul", static_cast<unsigned int>(span & 0xFFFFFFFFull));
  long long high = total * 100 / 720;
  if (tzi.Bias < 0) high += tzi.Bias / 800 - 1;
  texts.high = Format(L"%d", static_cast<int>(high));
  return texts;
}

HRESULT WriteDocumentProfile(dms::Document document, std::wstring& profilePath,
                             std::wstring localPath) {
  if (!document) throw ComError(E_POINTER);
  profilePath.clear();
  std::wstring base = BasePath(document, localPath);
  std::wstring path;
  if (base.empty() || !CompanionPath(base, L".prf", path)) return E_FAIL;
  profilePath = path;

  // The mark makes the private-profile writer keep the file in UTF-16.
  if (!FileExists(path.c_str(), ExistsAs::kFileOnly)) CreateNewFile(path, {0xFF, 0xFE, 0x0A, 0x00});
  ProfileWriter profile(path);
  WriteEditStart(profile);

  profile.DeleteSection(kDocProf);
  auto write = [&profile](const wchar_t* key, const Text& value) {
    profile.Write(kDocProf, key, value);
  };
  write(L"FILE", base);

  dms::Got<dms::Database> database = document.GetDatabase();
  Text databaseName = std::wstring(), sessionId = std::wstring(), userId = std::wstring();
  if (database.Ok()) {
    databaseName = OrEmpty(ReadText(database.value, dms::member::kName));
    dms::Got<dms::Session> session = database.value.GetSession();
    if (session.Ok()) {
      sessionId = OrEmpty(ReadText(session.value, dms::member::kID));
      userId = OrEmpty(ReadText(session.value, dms::member::kUserID));
    }
  }
  LONG number = document.Number().value;
  LONG version = document.Version().value;
  write(L"DOCID", sessionId.value_or(L"") + L"!database:" + databaseName.value_or(L"") +
                      L":!document:" + Format(L"%d", static_cast<int>(number)) + L"," +
                      Format(L"%d", static_cast<int>(version)) + L":");
  write(L"USERID", userId);
  write(L"DB", databaseName);
  write(L"NUM", Format(L"%d", static_cast<int>(number)));
  write(L"VER", Format(L"%d", static_cast<int>(version)));

  write(L"DESCRIPTION", OrEmpty(ReadText(document, dms::member::kDescription)));
  write(L"NAME", OrEmpty(ReadText(document, dms::member::kName)));
  write(L"AUTHOR", NameOf(document.Author()));
  write(L"OP", NameOf(document.Operator()));
  {
    dms::Got<dms::DocumentType> type = document.Type();
    write(L"TYPE", type.Ok() ? OrEmpty(ReadText(type.value, dms::member::kName))
                             : Text(std::wstring()));
  }
  write(L"CLASS", NameOf(document.Class()));
  write(L"SUBCLASS", NameOf(document.SubClass()));
  write(L"RETENTIONDAYS", Format(L"%d", static_cast<int>(document.RetentionDays().value)));
  write(L"INDEXABLE", std::wstring(document.Indexable().value ? L"Y" : L"N"));

  for (LONG attribute = kFirstCustomAttribute; attribute <= kLastCustomAttribute; ++attribute) {
    std::wstring key = attribute == 25   ? std::wstring(L"CLIENT")
                       : attribute == 26 ? std::wstring(L"MATTER")
                                         : Format(L"CUSTOM%d", static_cast<int>(attribute - 24));
    dms::Got<Variant> value = document.Attribute(attribute);
    write(key.c_str(), value.Ok() ? AttributeText(*value.value.Get()) : Text(std::wstring()));
  }

  // The edit moment: attribute 10 holds the day, attribute 81 the time of day.
  std::optional<DATE> editMoment = AttributeDate(document.Attribute(kEditDateAttribute));
  write(L"EDITDATE", editMoment ? DateText(*editMoment, VAR_FOURDIGITYEARS) : std::wstring());
  std::optional<DATE> editTime = AttributeDate(document.Attribute(kEditTimeAttribute));
  if (editTime && editMoment) editMoment = AddDays(*editMoment, *editTime);
  write(L"EDITTIME", editTime ? DateText(*editTime, VAR_TIMEVALUEONLY) : std::wstring());

  dms::Got<DATE> created = document.CreationDate();
  write(L"CREATEDATE", created.Ok() ? DateText(created.value, VAR_FOURDIGITYEARS) : std::wstring());

  write(L"LASTUSER", UserNameOf(document.LastUser()));
  write(L"INUSEBY", UserNameOf(document.InUseBy()));

  std::wstring utcLow, utcHigh;
  SYSTEMTIME editSystem{};
  FILETIME editLocal{}, editUtc{};
  if (editMoment && VariantTimeToSystemTime(*editMoment, &editSystem) &&
      SystemTimeToFileTime(&editSystem, &editLocal) &&
      LocalFileTimeToFileTime(&editLocal, &editUtc)) {
    utcLow = Format(L"%ul", static_cast<unsigned int>(editUtc.dwLowDateTime));
    utcHigh = Format(L"%ul", static_cast<unsigned int>(editUtc.dwHighDateTime));
  }
  write(L"UTCL", utcLow);
  write(L"UTCH", utcHigh);

  TIME_ZONE_INFORMATION tzi{};
  TimeZoneSpanTexts zone = TimeZoneSpan(tzi, GetTimeZoneInformation(&tzi));
  write(L"UTCDL", zone.low);
  write(L"UTCDH", zone.high);
  return S_OK;
}

HRESULT WriteMhcFile(dms::Document document, std::wstring& mhcPath, std::wstring localPath) {
  if (!document) throw ComError(E_POINTER);
  mhcPath.clear();
  std::wstring base = BasePath(document, localPath);
  std::wstring path;
  if (base.empty() || !CompanionPath(base, L".mhc", path)) return E_FAIL;
  mhcPath = path;

  dms::Got<std::wstring> text = document.MhcText();
  // A client without the member has no text: nothing is written, and an ".mhc" file that is
  // there is not the add-in's to delete.
  if (dms::NotAMember(text.hr)) return S_OK;
  if (!text.Ok()) text.value.clear();
  if (text.Ok() && FileExists(path.c_str(), ExistsAs::kFileOnly)) DeleteFileW(path.c_str());
  if (!text.value.empty()) {
    std::vector<BYTE> bytes{0xFF, 0xFE};
    auto characters = reinterpret_cast<const BYTE*>(text.value.data());
    bytes.insert(bytes.end(), characters, characters + text.value.size() * sizeof(wchar_t));
    CreateNewFile(path, bytes);
  }
  return text.hr;
}

}  // namespace vpdf
