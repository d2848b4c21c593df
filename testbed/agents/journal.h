// For tests: what the stand-ins of the product's helper programs and libraries did
// (their journal), their failure controls, the product install folder that the build
// lays out, and XPS packages to convert. Library testbed_support; see README.md.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "testbed/pdf/tbpdf.h"

namespace testbed {

// One journal line "program|commandLine|what".
struct JournalEntry {
  std::wstring program;      // e.g. "printpdfagent.exe", "rasterpdf64.dll", "PdfJoinPlugin_x64.api"
  std::wstring commandLine;  // programs: GetCommandLineW() as is; libraries: the call, e.g.
                             // P4ToPDFConvert("C:\a.xps", "C:\a.pdf", 15, 0, 0)
  std::wstring what;         // unescaped; programs end it with ", exit <code>"
  // The command line after the program token, leading blanks skipped.
  std::wstring Arguments() const;
};

// While alive, the stand-ins (in this process and in every process it starts afterwards)
// journal into a fresh file of its own in %TEMP%: VPDF_AGENT_JOURNAL is set for this
// process. The destructor unsets the variable and deletes the file.
class AgentJournal {
 public:
  AgentJournal();
  ~AgentJournal();
  AgentJournal(const AgentJournal&) = delete;
  AgentJournal& operator=(const AgentJournal&) = delete;

  std::vector<JournalEntry> Entries() const;
  // Entries of one program or library (file name, case-insensitive), in order.
  std::vector<JournalEntry> Entries(const std::wstring& program) const;
  // Waits (pumping this thread's messages) until `program` has at least `count` entries;
  // for helpers that the add-in does not wait for (conversion tool, PDF editor, usage helper).
  bool WaitFor(const std::wstring& program, size_t count, DWORD timeoutMs = 15000) const;
  void Clear();
  const std::wstring& Path() const { return m_path; }

 private:
  std::wstring m_path;
};

// Program and library names as the journal records them.
constexpr wchar_t kPrintAgentExe[] = L"printpdfagent.exe";
constexpr wchar_t kScanAgentExe[] = L"scanpdfagent.exe";
constexpr wchar_t kMailAgentExe[] = L"mailpdfagent.exe";
constexpr wchar_t kConversionToolExe[] = L"vpdfassist.exe";
constexpr wchar_t kPdfEditorExe[] = L"varnelpdf.exe";
constexpr wchar_t kUsageStatsExe[] = L"usagestats.exe";
constexpr wchar_t kRasterLibrary[] = L"rasterpdf64.dll";
constexpr wchar_t kMergePlugin[] = L"PdfJoinPlugin_x64.api";

// Control names: subkeys of HKCU\Software\VarnelTestbed\Agents.
constexpr wchar_t kPrintAgent[] = L"printpdfagent";
constexpr wchar_t kScanAgent[] = L"scanpdfagent";
constexpr wchar_t kMailAgent[] = L"mailpdfagent";
constexpr wchar_t kConversionTool[] = L"vpdfassist";
constexpr wchar_t kPdfEditor[] = L"varnelpdf";
constexpr wchar_t kUsageStats[] = L"usagestats";
constexpr wchar_t kRaster[] = L"rasterpdf64";
constexpr wchar_t kMerge[] = L"PdfJoinPlugin_x64";

// Behaviours of the print agent, the scan agent and P4ToPDFConvert.
constexpr wchar_t kPdf[] = L"pdf";                        // the normal output
constexpr wchar_t kFail[] = L"fail";                      // exit 1 (library: -1), no file
constexpr wchar_t kNoOutput[] = L"nooutput";              // exit 0 (library: 0), no file
constexpr wchar_t kEmpty[] = L"empty";                    // exit 0 (library: 0), a 0-byte file
constexpr wchar_t kFailWithOutput[] = L"failwithoutput";  // the normal file, but exit 1 (library: -1)
constexpr wchar_t kHang[] = L"hang";                      // journals "hang" at once, then sleeps a minute
std::wstring PagesBehaviour(int pages);                   // "pages:N": the normal file with N pages

// `subject`: the source's full path or file name (print agent, P4ToPDFConvert), the
// output's full path or file name (scan agent), or L"*" for every run of that agent.
void SetAgentBehaviour(const std::wstring& agent, const std::wstring& subject,
                       const std::wstring& behaviour);
// Every agent and library sleeps this long (ms) before doing anything.
void SetAgentDelay(const std::wstring& agent, DWORD milliseconds);
// The result that a call of the merge plug-in then fails with: "InitPDFAttach", "DoOpenFile",
// "DoMerge2", "DoSaveFile" or "EndPDFAttach".
void SetMergeResult(const std::wstring& call, int result);
// Removes every control (the key HKCU\Software\VarnelTestbed\Agents).
void ClearAgentControls();

// Clears the controls now and when it goes out of scope.
class ScopedAgentControls {
 public:
  ScopedAgentControls() { ClearAgentControls(); }
  ~ScopedAgentControls() { ClearAgentControls(); }
  ScopedAgentControls(const ScopedAgentControls&) = delete;
  ScopedAgentControls& operator=(const ScopedAgentControls&) = delete;
};

// The product install folder as the build installs it: "<Program Files>\Ostrel\PDF" (no
// trailing backslash). It holds the add-in, the product's libraries (traceDiag.dll,
// prodcfg_x64.dll, PdfJoinPlugin_x64.api, rasterpdf64.dll, the skins), bin\printpdfagent.exe,
// bin\scanpdfagent.exe, bin\mailpdfagent.exe, bin\varnelpdf.exe, vpdfassist.exe,
// usagestats.exe and Build.id.
std::wstring ProductFolder();
// The DMS client's folder: "<Program Files>\iManage Client" (the client host, tbdms.dll).
std::wstring ClientFolder();
// The add-in module installed in the product folder.
std::wstring AddinPath();
// Points the product's settings at an install folder (no trailing backslash):
//   HKLM\Software\Ostrel\PDF\V1                    InstallPath = folder + "\"
//   HKLM\Software\Wow6432Node\Ostrel\PDF\V1 (32-bit view, as GetProductInstallPath reads it)
//                                                  InstallPath = folder + "\"
//   HKCU\Software\VarnelTestbed\Config             InstallPath = folder  (prodcfg_x64 stand-in)
void PointProductAt(const std::wstring& folder);

// Writes an XPS package (a ZIP with stored entries): [Content_Types].xml, _rels/.rels,
// FixedDocumentSequence.fdseq, Documents/1/FixedDocument.fdoc and Documents/1/Pages/<n>.fpage.
bool WriteXpsPackage(const std::wstring& path, int pages);

}  // namespace testbed
