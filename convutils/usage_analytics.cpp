#include "convutils/usage_analytics.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "convutils/conv_utils.h"
#include "convutils/comutil.h"
#include "convutils/log.h"
#include "convutils/settings.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\ConvUtils\\UsageAnalytics");

constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\Ostrel\\VarnelPDF 5.1\\Preferences";
constexpr DWORD kUnset = 0xFFFFFFFF;
constexpr wchar_t kHelperName[] = L"usagestats.exe";

// The DWORD from HKLM, else from HKCU (the first that can be read wins), else kUnset.
DWORD ReadMachineThenUser(const wchar_t* subkey, const wchar_t* name) {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    CConvRegKey key(root, subkey, name, kUnset);
    DWORD value = key.ReadNumber();
    if (value != kUnset) return value;
  }
  return kUnset;
}

// The string from HKLM, else from HKCU; at most 259 characters.
std::wstring ReadStringMachineThenUser(const wchar_t* subkey, const wchar_t* name) {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    CConvRegKey key(root, subkey, name, static_cast<const wchar_t*>(nullptr));
    std::wstring result = key.ReadString();
    if (!result.empty()) {
      if (result.size() >= MAX_PATH) result.resize(MAX_PATH - 1);
      return result;
    }
  }
  return {};
}

std::wstring Trim(const wchar_t* text) {
  if (!text) return {};
  std::wstring s(text);
  const wchar_t* blanks = L" \t\r\n\v\f";
  std::size_t first = s.find_first_not_of(blanks);
  if (first == std::wstring::npos) return {};
  std::size_t last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

// The first whitespace-separated word of the file "Build.id" in the install folder.
std::wstring ReadBuildId(const std::wstring& installFolder) {
  std::wstring path = installFolder + L"Build.id";
  FILE* file = _wfopen(path.c_str(), L"rt");
  if (!file) return {};
  char word[260] = {};
  int scanned = fscanf(file, "%259s", word);
  fclose(file);
  if (scanned != 1) return {};
  int length = MultiByteToWideChar(CP_ACP, 0, word, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, word, -1, result.data(), length);
  result.resize(static_cast<std::size_t>(length - 1));
  return Trim(result.c_str());
}

}  // namespace

std::wstring EscapeUrlText(const std::wstring& text) {
  std::wstring result;
  result.reserve(text.size());
  for (wchar_t unit : text) {
    if (unit > 127) {
      wchar_t code[8];
      swprintf(code, 8, L"%%%02X", static_cast<unsigned>(unit));
      result += code;
    } else if (unit == L' ') {
      result += L"%20";
    } else {
      result += unit;
    }
  }
  return result;
}

CUsageAnalytics::CUsageAnalytics(const wchar_t* registryPath, const wchar_t* trackingId)
    : m_registryPath(registryPath ? registryPath : L"") {
  try {
    // Policy first, then the product's own switch, switched on when found missing.
    DWORD value = ReadMachineThenUser(kPolicyKey, L"CollectData");
    if (value == kUnset) value = ReadMachineThenUser(m_registryPath.c_str(), L"AnalyticsEnabled");
    if (value == kUnset) {
      value = 1;
      CConvRegKey key(HKEY_CURRENT_USER, m_registryPath.c_str(), L"AnalyticsEnabled", value);
      key.WriteNumber(1);
    }
    if (value != 1) {
      kLog.Trace("CUsageAnalytics: reporting is off (%d)", static_cast<int>(value));
      return;
    }
    m_enabled = true;

    std::wstring installFolder = ReadStringMachineThenUser(m_registryPath.c_str(), L"InstallPath");
    m_helperPath = CConvUtils::HelperInFolder(installFolder, kHelperName);

    std::wstring buildId = m_helperPath.empty() ? std::wstring() : ReadBuildId(installFolder);
    m_parameters = EscapeUrlText(m_registryPath) + L"|" + EscapeUrlText(buildId) + L"|" +
                   (trackingId ? trackingId : L"");
  } catch (...) {
    m_enabled = false;
    m_helperPath.clear();
    m_parameters.clear();
  }
}

void CUsageAnalytics::AddField(const wchar_t* key, const wchar_t* value) {
  if (!m_enabled) return;
  try {
    std::wstring k = Trim(key), v = Trim(value);
    if (k.empty() || v.empty()) return;
    m_parameters += L"|" + k + L"|" + EscapeUrlText(v);
  } catch (...) {
  }
}

// The path quoted: unquoted, "C:\\Program Files\\..." would first start a C:\\Program.exe.
std::wstring CUsageAnalytics::CommandLine() const {
  return L"\"" + m_helperPath + L"\" " + m_parameters;
}

void CUsageAnalytics::Send() {
  if (!m_enabled || m_helperPath.empty()) return;
  try {
    std::wstring line = CommandLine();
    if (line.size() + 1 > kCommandLineCapacity) {
      kLog.Warning("CUsageAnalytics: command line of %d characters is too long",
                   static_cast<int>(line.size()));
      return;
    }
    wchar_t buffer[kCommandLineCapacity] = {};
    wmemcpy(buffer, line.c_str(), line.size() + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(m_helperPath.c_str(), buffer, nullptr, nullptr, FALSE, BELOW_NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info)) {
      kLog.Trace("CUsageAnalytics: the helper did not start (%d)",
                 static_cast<int>(GetLastError()));
      return;
    }
    // The helper runs on its own: its handles are not needed.
    Handle process(info.hProcess), thread(info.hThread);
  } catch (...) {
  }
}

void ReportCommandUsage(const wchar_t* action, const wchar_t* label) {
  CUsageAnalytics analytics(kProductKey, L"UA-271828182-1");
  analytics.AddField(L"ec", L"iManage");
  analytics.AddField(L"ea", action);
  if (label) analytics.AddField(L"el", label);
  analytics.Send();
}

}  // namespace vpdf
