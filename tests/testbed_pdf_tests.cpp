// The testbed's PDF library, image-to-PDF library and merge plug-in stand-ins.
// Run through tests/testbed_pdf_check.sh, which also checks the kept samples with qpdf.
#include <windows.h>

#include <gtest/gtest.h>

#include "outside/companions.h"
#include "testbed/agents/journal.h"
#include "testbed/pdf/tbpdf.h"
#include "tests/testbed_test_helpers.h"

using testbed_tests::FileExists;
using testbed_tests::KeepSample;
using testbed_tests::TempFolder;

namespace {

const std::vector<tbpdf::Page> kSample = {
    {L"First page", L"", L"Brackets ( and ) and \\ backslash", L"Caf\u00e9 \u00fcber \u20ac"},
    {L"Second page"},
    {}};

TEST(PdfLibrary, WritesWhatItReadsBackAndRefusesWhatIsNotAPdf) {
  TempFolder folder;
  std::wstring path = folder.File(L"sample.pdf");
  ASSERT_TRUE(tbpdf::Write(path, kSample));
  std::vector<tbpdf::Page> pages;
  ASSERT_TRUE(tbpdf::Read(path, pages));
  EXPECT_EQ(pages, kSample);
  EXPECT_EQ(tbpdf::PageCount(path), 3);
  KeepSample(L"library", path, 3, {L"First page", L"Brackets ( and ) and \\ backslash",
                                   L"Caf\u00e9 \u00fcber \u20ac", L"Second page"});

  std::string truncated = tbpdf::Serialize(kSample);
  truncated.resize(truncated.size() / 2);
  for (const std::string& bytes : {std::string(), std::string("PK\x03\x04 not a pdf"), truncated})
    EXPECT_FALSE(tbpdf::Parse(bytes, pages));
  EXPECT_FALSE(tbpdf::Write(L"C:\\no such folder\\x.pdf", kSample));
  EXPECT_EQ(tbpdf::PageCount(L"C:\\no such folder\\x.pdf"), -1);
}

// ---------------------------------------------------------------- rasterpdf64.dll

using P4ToPDFConvertFn = int (*)(const char*, const char*, int, int, int);

std::string Utf8(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

class RasterLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryExW((testbed::ProductFolder() + L"\\rasterpdf64.dll").c_str(), nullptr,
                            LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(module, nullptr);
    convert = reinterpret_cast<P4ToPDFConvertFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "P4ToPDFConvert")));
    ASSERT_NE(convert, nullptr);
  }
  void TearDown() override {
    if (module) FreeLibrary(module);
  }
  HMODULE module = nullptr;
  P4ToPDFConvertFn convert = nullptr;
  testbed::ScopedAgentControls controls;
  testbed::AgentJournal journal;
  TempFolder folder{L"r\u00e9 "};
};

TEST_F(RasterLibrary, ConvertsOnePagePerFixedPage) {
  std::wstring xps = folder.File(L"Plan \u00e9t\u00e9.xps"), pdf = folder.File(L"Plan.pdf");
  ASSERT_TRUE(testbed::WriteXpsPackage(xps, 3));
  EXPECT_EQ(convert(Utf8(xps).c_str(), Utf8(pdf).c_str(), 15, 0, 0), 0);
  std::vector<tbpdf::Page> pages;
  ASSERT_TRUE(tbpdf::Read(pdf, pages));
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0], tbpdf::Page({L"Plan \u00e9t\u00e9.xps", L"page 1 of 3",
                                   L"Documents/1/Pages/1.fpage"}));
  EXPECT_EQ(pages[2][2], L"Documents/1/Pages/3.fpage");
  KeepSample(L"raster", pdf, 3, {L"Plan \u00e9t\u00e9.xps", L"page 3 of 3"});

  auto entries = journal.Entries(testbed::kRasterLibrary);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].commandLine, L"P4ToPDFConvert(\"" + xps + L"\", \"" + pdf + L"\", 15, 0, 0)");
  EXPECT_EQ(entries[0].what, L"0, pdf 3 pages");
}

TEST_F(RasterLibrary, FailsOnWhatIsNoPackageAndByControl) {
  std::wstring pdf = folder.File(L"out.pdf"), text = folder.File(L"text.xps"),
               empty = folder.File(L"empty.xps"), xps = folder.File(L"a.xps");
  ASSERT_TRUE(testbed_tests::WriteText(text, "not a zip"));
  ASSERT_TRUE(testbed::WriteXpsPackage(empty, 0));
  // A missing file, no zip, no pages, a path in the ANSI code page instead of UTF-8, none.
  for (const std::string& source : {Utf8(folder.File(L"missing.xps")), Utf8(text), Utf8(empty),
                                    std::string("C:\\caf\xe9.xps")})
    EXPECT_LT(convert(source.c_str(), Utf8(pdf).c_str(), 15, 0, 0), 0) << source;
  EXPECT_LT(convert(nullptr, Utf8(pdf).c_str(), 15, 0, 0), 0);
  EXPECT_EQ(journal.Entries(testbed::kRasterLibrary).size(), 5u);

  ASSERT_TRUE(testbed::WriteXpsPackage(xps, 2));
  testbed::SetAgentBehaviour(testbed::kRaster, L"a.xps", testbed::kFail);
  EXPECT_EQ(convert(Utf8(xps).c_str(), Utf8(pdf).c_str(), 15, 0, 0), -1);
  testbed::SetAgentBehaviour(testbed::kRaster, L"a.xps", testbed::kNoOutput);
  EXPECT_EQ(convert(Utf8(xps).c_str(), Utf8(pdf).c_str(), 15, 0, 0), 0);
  EXPECT_FALSE(FileExists(pdf));
  auto entries = journal.Entries(testbed::kRasterLibrary);
  ASSERT_EQ(entries.size(), 7u);
  EXPECT_EQ(entries[5].what, L"-1, fail");
  EXPECT_EQ(entries[6].what, L"0, nooutput");
}

// ---------------------------------------------------------------- PdfJoinPlugin_x64.api

class MergePlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    // Loaded as the add-in loads it: by name (so from the folder of the host executable),
    // entry points by ordinal, with the signatures of outside/companions.h.
    HMODULE module = LoadLibraryW(L"PdfJoinPlugin_x64.api");
    ASSERT_NE(module, nullptr);
    auto ordinal = [module](int n) {
      return reinterpret_cast<void*>(
          GetProcAddress(module, reinterpret_cast<const char*>(static_cast<ULONG_PTR>(n))));
    };
    entries.InitPDFAttach = reinterpret_cast<outside::PdfJoin::InitFn>(ordinal(1));
    entries.EndPDFAttach = reinterpret_cast<outside::PdfJoin::EndFn>(ordinal(2));
    entries.DoOpenFile = reinterpret_cast<outside::PdfJoin::OpenFn>(ordinal(4));
    entries.DoSaveFile = reinterpret_cast<outside::PdfJoin::SaveFn>(ordinal(5));
    entries.DoMerge2 = reinterpret_cast<outside::PdfJoin::MergeFn>(ordinal(9));
    ASSERT_TRUE(entries.InitPDFAttach && entries.EndPDFAttach && entries.DoOpenFile &&
                entries.DoSaveFile && entries.DoMerge2);
    EXPECT_EQ(GetProcAddress(module, "InitPDFAttach"), nullptr);  // ordinals only
    plugin = &entries;
    first = folder.File(L"first.pdf");
    second = folder.File(L"second.pdf");
    third = folder.File(L"third.pdf");
    ASSERT_TRUE(tbpdf::Write(first, {{L"one", L"1/1"}}));
    ASSERT_TRUE(tbpdf::Write(second, {{L"two", L"1/2"}, {L"two", L"2/2"}}));
    ASSERT_TRUE(tbpdf::Write(third, {{L"three", L"1/3"}, {L"three", L"2/3"}, {L"three", L"3/3"}}));
  }

  // The add-in's call order; returns the result of ordinal 2, or of ordinal 1 when it fails.
  int Merge(const std::vector<std::wstring>& files) {
    int result = plugin->InitPDFAttach(0);
    if (result != 0) return result;
    void* handle = nullptr;
    plugin->DoOpenFile(files[0].c_str(), &handle, "");
    for (size_t i = 1; i < files.size(); ++i)
      plugin->DoMerge2(handle, files[i].c_str(), L"", L"", L"", L"", "", 0);
    plugin->DoSaveFile(files[0].c_str(), handle, 0);
    return plugin->EndPDFAttach(0);
  }

  outside::PdfJoin entries;
  const outside::PdfJoin* plugin = nullptr;
  testbed::ScopedAgentControls controls;
  testbed::AgentJournal journal;
  TempFolder folder;
  std::wstring first, second, third;
};

TEST_F(MergePlugin, AppendsThePagesInOrderOverTheFirstFile) {
  ASSERT_EQ(Merge({first, second, third}), 0);
  std::vector<tbpdf::Page> pages;
  ASSERT_TRUE(tbpdf::Read(first, pages));
  EXPECT_EQ(pages, std::vector<tbpdf::Page>({{L"one", L"1/1"},
                                             {L"two", L"1/2"},
                                             {L"two", L"2/2"},
                                             {L"three", L"1/3"},
                                             {L"three", L"2/3"},
                                             {L"three", L"3/3"}}));
  EXPECT_EQ(tbpdf::PageCount(second), 2);  // the appended files stay as they were
  KeepSample(L"merged", first, 6, {L"one", L"two", L"three", L"3/3"});

  auto entries = journal.Entries(testbed::kMergePlugin);
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0].commandLine, L"InitPDFAttach(0)");
  EXPECT_EQ(entries[1].commandLine, L"DoOpenFile(\"" + first + L"\", \"\")");
  EXPECT_NE(entries[2].commandLine.find(L", \"" + second + L"\", \"\", \"\", \"\", \"\", \"\", 0)"),
            std::wstring::npos);
  EXPECT_EQ(entries[4].commandLine.substr(0, 12 + first.size()), L"DoSaveFile(\"" + first);
  EXPECT_EQ(entries[5].commandLine, L"EndPDFAttach(0)");
  std::vector<std::wstring> whats;
  for (const auto& entry : entries) whats.push_back(entry.what.substr(0, 9));
  EXPECT_EQ(whats, std::vector<std::wstring>({L"0", L"0, handle", L"0, 3 page", L"0, 6 page",
                                              L"0, 6 page", L"0"}));
}

TEST_F(MergePlugin, InitResultControl) {
  testbed::SetMergeInitResult(7);
  EXPECT_EQ(plugin->InitPDFAttach(0), 7);
  // Not initialised: nothing may be opened.
  void* handle = reinterpret_cast<void*>(1);
  EXPECT_NE(plugin->DoOpenFile(first.c_str(), &handle, ""), 0);
  EXPECT_EQ(handle, nullptr);
  EXPECT_NE(plugin->EndPDFAttach(0), 0);
  testbed::ClearAgentControls();
  EXPECT_EQ(Merge({first, second}), 0);
  EXPECT_EQ(tbpdf::PageCount(first), 3);
}

TEST_F(MergePlugin, FailsWhenAFileCannotBeReadOrTheDocumentIsNeverSaved) {
  ASSERT_EQ(plugin->InitPDFAttach(0), 0);
  void* handle = nullptr;
  ASSERT_EQ(plugin->DoOpenFile(first.c_str(), &handle, ""), 0);
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(plugin->EndPDFAttach(0), 0);
  EXPECT_EQ(tbpdf::PageCount(first), 1);
  EXPECT_NE(Merge({first, folder.File(L"missing.pdf"), second}), 0);
  EXPECT_NE(Merge({folder.File(L"missing.pdf"), second}), 0);
  // A later clean merge succeeds again.
  EXPECT_EQ(Merge({first, second}), 0);
}

}  // namespace
