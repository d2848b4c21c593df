// Helpers of the testbed's own tests (testbed_pdf_tests.cpp).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "testbed/pdf/tbpdf.h"

namespace testbed_tests {

// A fresh folder under %TEMP% (its name may hold a blank), removed with its files at the end.
class TempFolder {
 public:
  explicit TempFolder(const std::wstring& prefix = L"tb");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& Path() const { return m_path; }
  std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

 private:
  std::wstring m_path;
};

bool FileExists(const std::wstring& path);
bool WriteText(const std::wstring& path, const std::string& bytes);

// When VPDF_PDF_SAMPLES names a folder, copies the PDF there as <name>.pdf and writes
// <name>.expect: the page count, then text lines that pdftotext must find (UTF-8), for
// tests/testbed_pdf_check.sh to check with qpdf, pdfinfo and pdftotext on the Linux side.
void KeepSample(const std::wstring& name, const std::wstring& pdf, int pages,
                const std::vector<std::wstring>& texts);

}  // namespace testbed_tests
