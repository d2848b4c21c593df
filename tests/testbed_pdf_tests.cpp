// The PDFs the testbed hands the add-in (its PDF library, the image-to-PDF library and the merge
// plug-in, called as the add-in calls them) are real PDFs: tests/testbed_pdf_check.sh checks
// the kept samples with qpdf, pdfinfo and pdftotext on the Linux side. Their failure controls
// are exercised by the add-in's own tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "outside/companions.h"
#include "testbed/agents/agent_common.h"
#include "testbed/agents/journal.h"
#include "testbed/pdf/tbpdf.h"

namespace {

// When VPDF_PDF_SAMPLES names a folder, copies the PDF there as <name>.pdf with <name>.expect:
// the page count, then the lines pdftotext must find.
void KeepSample(const std::wstring& name, const std::wstring& pdf, int pages,
                const std::vector<std::wstring>& texts) {
  wchar_t folder[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"VPDF_PDF_SAMPLES", folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const std::wstring base = std::wstring(folder) + L"\\" + name;
  CopyFileW(pdf.c_str(), (base + L".pdf").c_str(), FALSE);
  std::string expect = std::to_string(pages) + "\n";
  for (const std::wstring& text : texts) expect += tbagent::WideToUtf8(text) + "\n";
  tbpdf::WriteFileBytes(base + L".expect", expect);
}

class TestbedPdf : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(folder); }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::wstring File(const std::wstring& name) const { return (folder / name).wstring(); }

  // A name with a blank and an accent, as a user's folder may have.
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       (L"r\u00e9 " + std::to_wstring(GetCurrentProcessId()));
  testbed::ScopedAgentControls controls;
  testbed::AgentJournal journal;
};

TEST_F(TestbedPdf, LibraryRasterAndMergeWriteRealPdfs) {
  const std::vector<tbpdf::Page> sample = {
      {L"First page", L"", L"Brackets ( and ) and \\ backslash", L"Caf\u00e9 \u00fcber \u20ac"},
      {L"Second page"},
      {}};
  const std::wstring written = File(L"sample.pdf");
  ASSERT_TRUE(tbpdf::Write(written, sample));
  std::vector<tbpdf::Page> pages;
  ASSERT_TRUE(tbpdf::Read(written, pages));
  EXPECT_EQ(sample, pages);
  KeepSample(L"library", written, 3, {L"First page", L"Brackets ( and ) and \\ backslash",
                                      L"Caf\u00e9 \u00fcber \u20ac", L"Second page"});

  // The image library, loaded from the product folder, called with UTF-8 paths.
  HMODULE raster = LoadLibraryExW((testbed::ProductFolder() + L"\\rasterpdf64.dll").c_str(),
                                  nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(nullptr, raster);
  auto convert = reinterpret_cast<int (*)(const char*, const char*, int, int, int)>(
      reinterpret_cast<void*>(GetProcAddress(raster, "P4ToPDFConvert")));
  ASSERT_NE(nullptr, convert);
  const std::wstring xps = File(L"Plan \u00e9t\u00e9.xps"), converted = File(L"Plan.pdf");
  ASSERT_TRUE(testbed::WriteXpsPackage(xps, 3));
  EXPECT_EQ(0, convert(tbagent::WideToUtf8(xps).c_str(), tbagent::WideToUtf8(converted).c_str(),
                       15, 0, 0));
  FreeLibrary(raster);
  EXPECT_EQ(3, tbpdf::PageCount(converted));
  KeepSample(L"raster", converted, 3, {L"Plan \u00e9t\u00e9.xps", L"page 3 of 3"});

  // The merge plug-in, by name and by ordinal as the add-in loads it, in the add-in's call order.
  HMODULE module = LoadLibraryW(L"PdfJoinPlugin_x64.api");
  ASSERT_NE(nullptr, module);
  auto ordinal = [module](int n) {
    return reinterpret_cast<void*>(
        GetProcAddress(module, reinterpret_cast<const char*>(static_cast<ULONG_PTR>(n))));
  };
  outside::PdfJoin plugin;
  plugin.InitPDFAttach = reinterpret_cast<outside::PdfJoin::InitFn>(ordinal(1));
  plugin.EndPDFAttach = reinterpret_cast<outside::PdfJoin::EndFn>(ordinal(2));
  plugin.DoOpenFile = reinterpret_cast<outside::PdfJoin::OpenFn>(ordinal(4));
  plugin.DoSaveFile = reinterpret_cast<outside::PdfJoin::SaveFn>(ordinal(5));
  plugin.DoMerge2 = reinterpret_cast<outside::PdfJoin::MergeFn>(ordinal(9));
  ASSERT_TRUE(plugin.InitPDFAttach && plugin.EndPDFAttach && plugin.DoOpenFile &&
              plugin.DoSaveFile && plugin.DoMerge2);
  const std::wstring first = File(L"first.pdf");
  ASSERT_TRUE(tbpdf::Write(first, {{L"one", L"1/1"}}));
  ASSERT_EQ(0, plugin.InitPDFAttach(0));
  void* handle = nullptr;
  plugin.DoOpenFile(first.c_str(), &handle, "");
  for (const std::wstring& file : {converted, written})
    plugin.DoMerge2(handle, file.c_str(), L"", L"", L"", L"", "", 0);
  plugin.DoSaveFile(first.c_str(), handle, 0);
  EXPECT_EQ(0, plugin.EndPDFAttach(0));
  FreeLibrary(module);
  ASSERT_TRUE(tbpdf::Read(first, pages));
  ASSERT_EQ(7u, pages.size());
  EXPECT_EQ(L"one", pages[0][0]);
  EXPECT_EQ(L"page 1 of 3", pages[1][1]);
  EXPECT_EQ(L"First page", pages[4][0]);
  KeepSample(L"merged", first, 7, {L"one", L"page 3 of 3", L"Second page"});
}

}  // namespace
