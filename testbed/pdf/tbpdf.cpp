#include "testbed/pdf/tbpdf.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>

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

struct Object;
using ObjectPtr = std::shared_ptr<Object>;

struct Object {
  enum Kind { Null, Boolean, Number, Name, String, Array, Dictionary, Reference, Operator };
  Kind kind = Null;
  double number = 0;
  std::string text;  // name (without "/"), string bytes, operator
  std::vector<Object> items;
  std::map<std::string, Object> entries;
  int refNumber = 0;
  std::string stream;  // stream data of an indirect object
  bool hasStream = false;

  const Object* Get(const std::string& key) const {
    auto found = entries.find(key);
    return found == entries.end() ? nullptr : &found->second;
  }
};

bool IsWhite(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}
bool IsDelimiter(char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
         c == '}' || c == '/' || c == '%';
}

class Lexer {
 public:
  Lexer(const std::string& data, size_t pos) : m_data(data), m_pos(pos) {}
  size_t Pos() const { return m_pos; }
  void SetPos(size_t pos) { m_pos = pos; }

  void SkipWhite() {
    while (m_pos < m_data.size()) {
      char c = m_data[m_pos];
      if (IsWhite(c)) {
        ++m_pos;
      } else if (c == '%') {
        while (m_pos < m_data.size() && m_data[m_pos] != '\n' && m_data[m_pos] != '\r') ++m_pos;
      } else {
        break;
      }
    }
  }

  // One object; numbers followed by "G R" become references. False at the end or on error.
  bool ReadObject(Object& out) {
    SkipWhite();
    if (m_pos >= m_data.size()) return false;
    char c = m_data[m_pos];
    if (c == '/') {
      ++m_pos;
      size_t start = m_pos;
      while (m_pos < m_data.size() && !IsWhite(m_data[m_pos]) && !IsDelimiter(m_data[m_pos]))
        ++m_pos;
      out = Object{};
      out.kind = Object::Name;
      out.text = m_data.substr(start, m_pos - start);
      return true;
    }
    if (c == '(') return ReadLiteral(out);
    if (c == '<') {
      if (m_pos + 1 < m_data.size() && m_data[m_pos + 1] == '<') {
        m_pos += 2;
        out = Object{};
        out.kind = Object::Dictionary;
        for (;;) {
          SkipWhite();
          if (m_pos + 1 < m_data.size() && m_data[m_pos] == '>' && m_data[m_pos + 1] == '>') {
            m_pos += 2;
            return true;
          }
          Object key, value;
          if (!ReadObject(key) || key.kind != Object::Name || !ReadObject(value)) return false;
          out.entries[key.text] = value;
        }
      }
      return ReadHex(out);
    }
    if (c == '[') {
      ++m_pos;
      out = Object{};
      out.kind = Object::Array;
      for (;;) {
        SkipWhite();
        if (m_pos < m_data.size() && m_data[m_pos] == ']') {
          ++m_pos;
          return true;
        }
        Object item;
        if (!ReadObject(item)) return false;
        out.items.push_back(item);
      }
    }
    if (c == ']' || c == ')' || c == '>' || c == '{' || c == '}') return false;
    // A number or a keyword.
    size_t start = m_pos;
    while (m_pos < m_data.size() && !IsWhite(m_data[m_pos]) && !IsDelimiter(m_data[m_pos])) ++m_pos;
    std::string word = m_data.substr(start, m_pos - start);
    out = Object{};
    if (word.empty()) return false;
    if (IsNumber(word)) {
      out.kind = Object::Number;
      out.number = std::strtod(word.c_str(), nullptr);
      // "n g R" is a reference.
      if (word.find('.') == std::string::npos) {
        size_t save = m_pos;
        SkipWhite();
        size_t genStart = m_pos;
        while (m_pos < m_data.size() && std::isdigit(static_cast<unsigned char>(m_data[m_pos])))
          ++m_pos;
        if (m_pos > genStart) {
          SkipWhite();
          if (m_pos < m_data.size() && m_data[m_pos] == 'R' &&
              (m_pos + 1 == m_data.size() || IsWhite(m_data[m_pos + 1]) ||
               IsDelimiter(m_data[m_pos + 1]))) {
            ++m_pos;
            out.kind = Object::Reference;
            out.refNumber = static_cast<int>(out.number);
            return true;
          }
        }
        m_pos = save;
      }
      return true;
    }
    if (word == "true" || word == "false") {
      out.kind = Object::Boolean;
      out.number = word == "true";
      return true;
    }
    if (word == "null") return true;
    out.kind = Object::Operator;
    out.text = word;
    return true;
  }

 private:
  static bool IsNumber(const std::string& word) {
    size_t i = (word[0] == '+' || word[0] == '-') ? 1 : 0;
    bool digits = false;
    for (; i < word.size(); ++i) {
      if (std::isdigit(static_cast<unsigned char>(word[i])))
        digits = true;
      else if (word[i] != '.')
        return false;
    }
    return digits;
  }

  bool ReadLiteral(Object& out) {
    out = Object{};
    out.kind = Object::String;
    ++m_pos;
    int depth = 1;
    while (m_pos < m_data.size()) {
      char c = m_data[m_pos++];
      if (c == '\\') {
        if (m_pos >= m_data.size()) return false;
        char e = m_data[m_pos++];
        switch (e) {
          case 'n': out.text += '\n'; break;
          case 'r': out.text += '\r'; break;
          case 't': out.text += '\t'; break;
          case 'b': out.text += '\b'; break;
          case 'f': out.text += '\f'; break;
          case '\r':
            if (m_pos < m_data.size() && m_data[m_pos] == '\n') ++m_pos;
            break;
          case '\n': break;
          default:
            if (e >= '0' && e <= '7') {
              int value = e - '0';
              for (int k = 0; k < 2 && m_pos < m_data.size() && m_data[m_pos] >= '0' &&
                              m_data[m_pos] <= '7';
                   ++k)
                value = value * 8 + (m_data[m_pos++] - '0');
              out.text += static_cast<char>(value & 0xFF);
            } else {
              out.text += e;
            }
        }
      } else if (c == '(') {
        ++depth;
        out.text += c;
      } else if (c == ')') {
        if (--depth == 0) return true;
        out.text += c;
      } else {
        out.text += c;
      }
    }
    return false;
  }

  bool ReadHex(Object& out) {
    out = Object{};
    out.kind = Object::String;
    ++m_pos;
    std::string digits;
    while (m_pos < m_data.size() && m_data[m_pos] != '>') {
      if (std::isxdigit(static_cast<unsigned char>(m_data[m_pos]))) digits += m_data[m_pos];
      ++m_pos;
    }
    if (m_pos >= m_data.size()) return false;
    ++m_pos;
    if (digits.size() % 2) digits += '0';
    for (size_t i = 0; i < digits.size(); i += 2)
      out.text += static_cast<char>(std::strtol(digits.substr(i, 2).c_str(), nullptr, 16));
    return true;
  }

  const std::string& m_data;
  size_t m_pos;
};

class Reader {
 public:
  explicit Reader(const std::string& data) : m_data(data) {}

  bool ReadPages(std::vector<Page>& pages) {
    if (m_data.compare(0, 5, "%PDF-") != 0) return false;
    size_t at = m_data.rfind("startxref");
    if (at == std::string::npos) return false;
    size_t xref = std::strtoull(m_data.c_str() + at + 9, nullptr, 10);
    if (xref >= m_data.size() || m_data.compare(xref, 4, "xref") != 0) return false;
    Lexer lexer(m_data, xref + 4);
    // Subsections "first count" followed by 20-byte entries, up to "trailer".
    for (;;) {
      Object first, count;
      if (!lexer.ReadObject(first)) return false;
      if (first.kind == Object::Operator && first.text == "trailer") break;
      if (first.kind != Object::Number || !lexer.ReadObject(count) ||
          count.kind != Object::Number)
        return false;
      for (int i = 0; i < static_cast<int>(count.number); ++i) {
        Object offset, generation, use;
        if (!lexer.ReadObject(offset) || !lexer.ReadObject(generation) ||
            !lexer.ReadObject(use) || use.kind != Object::Operator)
          return false;
        if (use.text == "n")
          m_offsets[static_cast<int>(first.number) + i] = static_cast<size_t>(offset.number);
      }
    }
    Object trailer;
    if (!lexer.ReadObject(trailer) || trailer.kind != Object::Dictionary) return false;
    const Object* root = Resolve(trailer.Get("Root"));
    if (!root || root->kind != Object::Dictionary) return false;
    const Object* tree = Resolve(root->Get("Pages"));
    if (!tree) return false;
    std::set<int> visited;
    return WalkPages(*tree, pages, visited, 0);
  }

 private:
  const Object* Resolve(const Object* object) {
    for (int hops = 0; object && object->kind == Object::Reference && hops < 32; ++hops)
      object = Load(object->refNumber);
    return object;
  }

  const Object* Load(int number) {
    auto cached = m_objects.find(number);
    if (cached != m_objects.end()) return cached->second.get();
    auto offset = m_offsets.find(number);
    if (offset == m_offsets.end() || offset->second >= m_data.size()) return nullptr;
    m_objects[number] = nullptr;  // guards against loops through /Length
    Lexer lexer(m_data, offset->second);
    Object num, gen, keyword;
    auto object = std::make_shared<Object>();
    if (!lexer.ReadObject(num) || !lexer.ReadObject(gen) || !lexer.ReadObject(keyword) ||
        keyword.kind != Object::Operator || keyword.text != "obj" || !lexer.ReadObject(*object))
      return nullptr;
    size_t after = lexer.Pos();
    Object next;
    if (object->kind == Object::Dictionary && lexer.ReadObject(next) &&
        next.kind == Object::Operator && next.text == "stream") {
      size_t start = lexer.Pos();
      if (start < m_data.size() && m_data[start] == '\r') ++start;
      if (start < m_data.size() && m_data[start] == '\n') ++start;
      const Object* length = Resolve(object->Get("Length"));
      if (!length || length->kind != Object::Number || length->number < 0 ||
          start + static_cast<size_t>(length->number) > m_data.size())
        return nullptr;
      object->stream = m_data.substr(start, static_cast<size_t>(length->number));
      object->hasStream = true;
    } else {
      lexer.SetPos(after);
    }
    m_objects[number] = object;
    return object.get();
  }

  bool WalkPages(const Object& node, std::vector<Page>& pages, std::set<int>& visited, int depth) {
    if (node.kind != Object::Dictionary || depth > 32) return false;
    const Object* type = node.Get("Type");
    if (type && type->kind == Object::Name && type->text == "Page") {
      Page page;
      if (!PageText(node, page)) return false;
      pages.push_back(page);
      return true;
    }
    const Object* kids = Resolve(node.Get("Kids"));
    if (!kids || kids->kind != Object::Array) return false;
    for (const Object& kid : kids->items) {
      if (kid.kind == Object::Reference && !visited.insert(kid.refNumber).second) return false;
      const Object* child = Resolve(&kid);
      if (!child || !WalkPages(*child, pages, visited, depth + 1)) return false;
    }
    return true;
  }

  bool PageText(const Object& page, Page& lines) {
    const Object* contents = page.Get("Contents");
    std::vector<const Object*> parts;
    if (contents && contents->kind == Object::Reference) {
      const Object* resolved = Resolve(contents);
      if (resolved && resolved->kind == Object::Array) {
        for (const Object& item : resolved->items) parts.push_back(Resolve(&item));
      } else {
        parts.push_back(resolved);
      }
    } else if (contents && contents->kind == Object::Array) {
      for (const Object& item : contents->items) parts.push_back(Resolve(&item));
    }
    std::string content;
    for (const Object* part : parts) {
      if (!part || !part->hasStream || part->Get("Filter")) return false;
      content += part->stream + "\n";
    }
    Lexer lexer(content, 0);
    std::vector<Object> operands;
    Object token;
    while (lexer.ReadObject(token)) {
      if (token.kind != Object::Operator) {
        operands.push_back(token);
        continue;
      }
      const std::string& op = token.text;
      if ((op == "Tj" || op == "'" || op == "\"") && !operands.empty() &&
          operands.back().kind == Object::String) {
        lines.push_back(FromWinAnsi(operands.back().text));
      } else if (op == "TJ" && !operands.empty() && operands.back().kind == Object::Array) {
        std::string joined;
        for (const Object& item : operands.back().items)
          if (item.kind == Object::String) joined += item.text;
        lines.push_back(FromWinAnsi(joined));
      }
      operands.clear();
    }
    return true;
  }

  const std::string& m_data;
  std::map<int, size_t> m_offsets;
  std::map<int, std::shared_ptr<Object>> m_objects;
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

bool Parse(const std::string& bytes, std::vector<Page>& pages) {
  std::vector<Page> result;
  if (!Reader(bytes).ReadPages(result)) return false;
  pages = std::move(result);
  return true;
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
  return ReadFileBytes(path, bytes) && Parse(bytes, pages);
}

int PageCount(const std::wstring& path) {
  std::vector<Page> pages;
  return Read(path, pages) ? static_cast<int>(pages.size()) : -1;
}

bool Append(const std::wstring& target, const std::wstring& source) {
  std::vector<Page> first, second;
  if (!Read(target, first) || !Read(source, second)) return false;
  first.insert(first.end(), second.begin(), second.end());
  return Write(target, first);
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
