// The testbed's small PDF library: writes PDF 1.4 files (uncompressed, Helvetica, one text
// line per line given) and reads back the pages of files that it wrote. Used by the stand-ins
// of the product's helper programs (testbed/agents) and by the tests; never by the add-in.
#pragma once
#include <string>
#include <vector>

namespace tbpdf {

// The text lines of one page, top to bottom. Characters outside Windows-1252 are
// written as "?"; everything else reads back exactly.
using Page = std::vector<std::wstring>;

// Lines shown on one page before the text runs off its bottom edge.
constexpr std::size_t kLinesPerPage = 50;

// The bytes of a PDF with these pages (at least one).
std::string Serialize(const std::vector<Page>& pages);

// Writes a new file (replacing any). False with no pages or when the file cannot be written.
bool Write(const std::wstring& path, const std::vector<Page>& pages);
// The pages of a file that Write or Serialize made; false for any other file.
bool Read(const std::wstring& path, std::vector<Page>& pages);
// Page count, or -1 when the file cannot be read.
int PageCount(const std::wstring& path);

// Splits text lines into pages of at most `perPage` lines, each page headed by `heading`
// (when not empty). No lines give one page with the heading alone.
std::vector<Page> Paginate(const std::wstring& heading, const std::vector<std::wstring>& lines,
                           std::size_t perPage = kLinesPerPage - 1);

// Whole-file helpers (Win32, wide paths).
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

}  // namespace tbpdf
