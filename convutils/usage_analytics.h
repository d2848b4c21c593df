// Usage analytics: one usage event per command run, handed to the
// product's analytics helper "usagestats.exe" on its command line, never waited for.
#pragma once
#include <cstddef>
#include <string>

namespace vpdf {

// Every UTF-16 unit above 127 becomes "%" and its value in upper-case hexadecimal with at
// least two digits ("%%%02X"), a blank becomes "%20"; every other unit is kept.
std::wstring EscapeUrlText(const std::wstring& text);

class CUsageAnalytics {
 public:
  // The add-in passes the product path Software\Ostrel\PDF\V1 and "UA-271828182-1".
  // Decides whether reporting is on (writing AnalyticsEnabled = 1 to HKCU on first use),
  // finds the helper and the build identifier, and starts the parameter string.
  CUsageAnalytics(const wchar_t* registryPath, const wchar_t* trackingId);
  CUsageAnalytics(const CUsageAnalytics&) = delete;
  CUsageAnalytics& operator=(const CUsageAnalytics&) = delete;

  // Appends "|key|escaped value" when both are non-empty after trimming.
  void AddField(const wchar_t* key, const wchar_t* value);
  // Starts the helper (below-normal priority, handles closed at once) when reporting is on
  // and the command line fits 1040 characters. Failures are silent.
  void Send();

  bool Enabled() const { return m_enabled; }
  const std::wstring& HelperPath() const { return m_helperPath; }
  const std::wstring& Parameters() const { return m_parameters; }
  // The helper path, a blank and the parameter string: what Send starts.
  std::wstring CommandLine() const;

  static constexpr std::size_t kCommandLineCapacity = 1040;

 private:
  std::wstring m_registryPath;
  std::wstring m_helperPath;
  std::wstring m_parameters;
  bool m_enabled = false;
};

// A command's usage event: category "iManage", the action and, when given, the label, for the
// product path Software\Ostrel\PDF\V1 and the add-in's tracking id.
void ReportCommandUsage(const wchar_t* action, const wchar_t* label);

}  // namespace vpdf
