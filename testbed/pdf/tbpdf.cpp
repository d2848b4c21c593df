#include "testbed/pdf/tbpdf.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace tbpdf {
namespace {

// ---------------------------------------------------------------- writing

std::string ToWinAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 "?", nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(1252, 0, text.data(), static_cast<int>(text.size()), out.data(), size, "?",
                      nullptr);
  return out;
}

std::wstring FromWinAnsi(const std::string& text) {
  if (text.empty()) return {};
  int size = MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(1252, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string LiteralString(const std::string& bytes) {
  std::string out = "(";
  for (unsigned char c : bytes) {
    if (c == '(' || c == ')' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 32 || c > 126) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + ")";
}

std::string PageContent(const Page& page) {
  std::string content = "BT\n/F1 11 Tf\n14 TL\n56 748 Td\n";
  for (size_t i = 0; i < page.size(); ++i) {
    if (i) content += "T* ";
    content += LiteralString(ToWinAnsi(page[i])) + " Tj\n";
  }
  return content + "ET\n";
}

// ---------------------------------------------------------------- reading

// Reads back only what Serialize writes: objects found through the cross-reference table, each
// dictionary on its object's first line, one literal string per text line of a page.
class Reader {
 public:
  explicit Reader(std::string_view pdf) : m_pdf(pdf) {
    const size_t start = pdf.rfind("startxref\n");
    if (pdf.substr(0, 9) != "%PDF-1.4\n" || start == std::string_view::npos) return;
    m_xref = Number(pdf.substr(start + 10));
    constexpr std::string_view kHead = "xref\n0 ";
    if (m_xref >= start || pdf.substr(m_xref, kHead.size()) != kHead) return;
    const std::string_view size = pdf.substr(m_xref + kHead.size());
    m_count = Number(size);
    m_table = m_xref + kHead.size() + size.find('\n') + 1;
  }

  bool Pages(std::vector<Page>& pages) const {
    if (!m_table) return false;
    std::string_view kids =
        Dictionary(Reference(Dictionary(Reference(m_pdf.substr(m_xref), "/Root ")), "/Pages "));
    const size_t list = kids.find("/Kids [");
    if (list == std::string_view::npos) return false;
    for (kids.remove_prefix(list + 7); !kids.empty() && kids[0] != ']';) {
      const size_t kid = Number(kids);
      const size_t end = kids.find(" 0 R");
      Page page;
      if (!kid || end == std::string_view::npos ||
          !Text(Object(Reference(Dictionary(kid), "/Contents ")), page))
        return false;
      pages.push_back(page);
      kids.remove_prefix(end + 4);
      if (!kids.empty() && kids[0] == ' ') kids.remove_prefix(1);
    }
    return !kids.empty();
  }

 private:
  static size_t Number(std::string_view text) {
    size_t value = 0;
    for (char c : text) {
      if (c < '0' || c > '9') break;
      value = value * 10 + static_cast<size_t>(c - '0');
    }
    return value;
  }
  // The object number after `key` ("/Key n 0 R"); 0 when there is none.
  static size_t Reference(std::string_view text, std::string_view key) {
    const size_t at = text.find(key);
    return at == std::string_view::npos ? 0 : Number(text.substr(at + key.size()));
  }
  // What follows the header of object `number` up to the end of the file; empty without one.
  std::string_view Object(size_t number) const {
    if (number == 0 || number >= m_count || m_table + 20 * (number + 1) > m_pdf.size()) return {};
    const size_t offset = Number(m_pdf.substr(m_table + 20 * number));
    const std::string header = std::to_string(number) + " 0 obj\n";
    if (offset >= m_xref || m_pdf.substr(offset, header.size()) != header) return {};
    return m_pdf.substr(offset + header.size(), m_xref - offset - header.size());
  }
  std::string_view Dictionary(size_t number) const {
    std::string_view object = Object(number);
    return object.substr(0, object.find('\n'));
  }
  // The lines of a page's content stream: each literal string, escapes undone.
  static bool Text(std::string_view object, Page& lines) {
    constexpr std::string_view kLength = "<< /Length ";
    const size_t at = object.find(" >>\nstream\n");
    if (object.substr(0, kLength.size()) != kLength || at == std::string_view::npos) return false;
    const size_t length = Number(object.substr(kLength.size()));
    const std::string_view content = object.substr(at + 11, length);
    if (content.size() != length) return false;
    for (size_t i = 0; i < content.size(); ++i) {
      if (content[i] != '(') continue;
      std::string text;
      for (++i; i < content.size() && content[i] != ')'; ++i) {
        if (content[i] == '\\' && ++i < content.size() && content[i] >= '0' && content[i] <= '7') {
          text +=
              static_cast<char>(std::strtol(std::string(content.substr(i, 3)).c_str(), nullptr, 8));
          i += 2;
        } else if (i < content.size()) {
          text += content[i];
        }
      }
      if (i >= content.size()) return false;
      lines.push_back(FromWinAnsi(text));
    }
    return true;
  }

  std::string_view m_pdf;
  size_t m_xref = 0, m_count = 0, m_table = 0;
};

}  // namespace

std::string Serialize(const std::vector<Page>& pages) {
  std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<size_t> offsets;  // of objects 1..n
  auto begin = [&](int number) {
    offsets.resize(static_cast<size_t>(number));
    offsets[static_cast<size_t>(number - 1)] = out.size();
    out += std::to_string(number) + " 0 obj\n";
  };
  const int count = static_cast<int>(pages.size());
  begin(1);
  out += "<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
  begin(2);
  out += "<< /Type /Pages /Kids [";
  for (int i = 0; i < count; ++i) {
    if (i) out += ' ';
    out += std::to_string(4 + 2 * i);
    out += " 0 R";
  }
  out += "] /Count " + std::to_string(count) + " >>\nendobj\n";
  begin(3);
  out += "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>\n"
         "endobj\n";
  for (int i = 0; i < count; ++i) {
    begin(4 + 2 * i);
    out += "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 "
           "R >> >> /Contents " +
           std::to_string(5 + 2 * i) + " 0 R >>\nendobj\n";
    std::string content = PageContent(pages[static_cast<size_t>(i)]);
    begin(5 + 2 * i);
    out += "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
           "\nendstream\nendobj\n";
  }
  size_t xref = out.size();
  const size_t size = offsets.size() + 1;
  out += "xref\n0 " + std::to_string(size) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    out += entry;
  }
  out += "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return out;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (1LL << 30);
  if (ok) {
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    ok = bytes.empty() ||
         (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
          done == bytes.size());
  }
  CloseHandle(file);
  return ok;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  bool ok = bytes.empty() ||
            (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
             done == bytes.size());
  CloseHandle(file);
  return ok;
}

bool Write(const std::wstring& path, const std::vector<Page>& pages) {
  return !pages.empty() && WriteFileBytes(path, Serialize(pages));
}

bool Read(const std::wstring& path, std::vector<Page>& pages) {
  std::string bytes;
  std::vector<Page> read;
  if (!ReadFileBytes(path, bytes) || !Reader(bytes).Pages(read)) return false;
  pages = std::move(read);
  return true;
}

int PageCount(const std::wstring& path) {
  std::vector<Page> pages;
  return Read(path, pages) ? static_cast<int>(pages.size()) : -1;
}

std::vector<Page> Paginate(const std::wstring& heading, const std::vector<std::wstring>& lines,
                           std::size_t perPage) {
  if (perPage == 0) perPage = 1;
  std::vector<Page> pages;
  size_t i = 0;
  do {
    Page page;
    if (!heading.empty()) page.push_back(heading);
    for (size_t n = 0; n < perPage && i < lines.size(); ++n) page.push_back(lines[i++]);
    pages.push_back(page);
  } while (i < lines.size());
  return pages;
}

}  // namespace tbpdf
