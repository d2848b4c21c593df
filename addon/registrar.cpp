#include "addon/registrar.h"

#include <cwctype>

#include "convutils/comutil.h"

namespace vpdf {
namespace {

struct Token {
  enum Kind { kWord, kQuoted, kOpen, kClose, kEquals, kEnd } kind;
  std::wstring text;
};

class Tokenizer {
 public:
  Tokenizer(const std::wstring& text, const ScriptReplacements& replacements)
      : m_text(text), m_replacements(replacements) {}

  Token Next() {
    while (m_pos < m_text.size() && std::iswspace(m_text[m_pos])) ++m_pos;
    if (m_pos >= m_text.size()) return {Token::kEnd, {}};
    wchar_t c = m_text[m_pos];
    // A name in braces such as {GUID} is a word; a lone brace opens or closes a body.
    if (c == L'{') {
      size_t end = m_pos + 1;
      while (end < m_text.size() && !std::iswspace(m_text[end]) && m_text[end] != L'}') ++end;
      if (end > m_pos + 1 && end < m_text.size() && m_text[end] == L'}') {
        std::wstring word = m_text.substr(m_pos, end + 1 - m_pos);
        m_pos = end + 1;
        return {Token::kWord, Substitute(word)};
      }
    }
    if (c == L'{' || c == L'}' || c == L'=') {
      ++m_pos;
      return {c == L'{' ? Token::kOpen : c == L'}' ? Token::kClose : Token::kEquals, {}};
    }
    if (c == L'\'') {
      std::wstring quoted;
      for (++m_pos; m_pos < m_text.size(); ++m_pos) {
        if (m_text[m_pos] == L'\'') {
          if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == L'\'') {
            quoted += L'\'';
            ++m_pos;
            continue;
          }
          ++m_pos;
          return {Token::kQuoted, Substitute(quoted)};
        }
        quoted += m_text[m_pos];
      }
      return {Token::kEnd, {}};
    }
    size_t start = m_pos;
    while (m_pos < m_text.size() && !std::iswspace(m_text[m_pos]) && m_text[m_pos] != L'{' &&
           m_text[m_pos] != L'}' && m_text[m_pos] != L'=')
      ++m_pos;
    return {Token::kWord, Substitute(m_text.substr(start, m_pos - start))};
  }

  Token Peek() {
    size_t saved = m_pos;
    Token token = Next();
    m_pos = saved;
    return token;
  }

 private:
  // %NAME% becomes its replacement and %% a single %, inside the token's own text: a value
  // such as a module path may hold quotes, braces or spaces without changing the script.
  std::wstring Substitute(const std::wstring& token) const {
    if (token.find(L'%') == std::wstring::npos) return token;
    std::wstring out;
    for (size_t i = 0; i < token.size(); ++i) {
      if (token[i] != L'%') {
        out += token[i];
        continue;
      }
      size_t close = token.find(L'%', i + 1);
      if (close == std::wstring::npos) {
        out += token.substr(i);
        break;
      }
      std::wstring name = token.substr(i + 1, close - i - 1);
      if (name.empty()) {
        out += L'%';
        i = close;
        continue;
      }
      const std::wstring* value = nullptr;
      for (const auto& [key, replacement] : m_replacements)
        if (_wcsicmp(key.c_str(), name.c_str()) == 0) value = &replacement;
      if (value) {
        out += *value;
        i = close;
      } else {
        out += L'%';  // not a marker: the rest is read on
      }
    }
    return out;
  }

  const std::wstring& m_text;
  const ScriptReplacements& m_replacements;
  size_t m_pos = 0;
};

bool Equal(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

HKEY RootKey(const std::wstring& name) {
  if (Equal(name, L"HKCR") || Equal(name, L"HKEY_CLASSES_ROOT")) return HKEY_CLASSES_ROOT;
  if (Equal(name, L"HKCU") || Equal(name, L"HKEY_CURRENT_USER")) return HKEY_CURRENT_USER;
  if (Equal(name, L"HKLM") || Equal(name, L"HKEY_LOCAL_MACHINE")) return HKEY_LOCAL_MACHINE;
  if (Equal(name, L"HKU") || Equal(name, L"HKEY_USERS")) return HKEY_USERS;
  return nullptr;
}

class ScriptRunner {
 public:
  ScriptRunner(const std::wstring& text, bool doRegister, const ScriptReplacements& replacements)
      : m_tokens(text, replacements), m_register(doRegister) {}

  HRESULT Run() {
    for (Token root = m_tokens.Next(); root.kind != Token::kEnd; root = m_tokens.Next()) {
      HKEY key = root.kind == Token::kWord ? RootKey(root.text) : nullptr;
      if (!key || m_tokens.Next().kind != Token::kOpen) return DISP_E_EXCEPTION;
      HRESULT hr = Keys(key, true);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

 private:
  // The keys inside one pair of braces, up to and including the closing one.
  // `live` is false while skipping a part that needs no work.
  HRESULT Keys(HKEY parent, bool live) {
    for (;;) {
      Token token = m_tokens.Next();
      if (token.kind == Token::kClose) return S_OK;
      if (token.kind == Token::kEnd) return DISP_E_EXCEPTION;
      if (token.kind == Token::kWord && Equal(token.text, L"val")) {
        HRESULT hr = NamedValue(parent, live);
        if (FAILED(hr)) return hr;
        continue;
      }
      bool noRemove = false, forceRemove = false, deleteKey = false;
      while (token.kind == Token::kWord && (Equal(token.text, L"NoRemove") ||
                                            Equal(token.text, L"ForceRemove") ||
                                            Equal(token.text, L"Delete"))) {
        noRemove |= Equal(token.text, L"NoRemove");
        forceRemove |= Equal(token.text, L"ForceRemove");
        deleteKey |= Equal(token.text, L"Delete");
        token = m_tokens.Next();
      }
      if (token.kind != Token::kWord && token.kind != Token::kQuoted) return DISP_E_EXCEPTION;
      HRESULT hr = Key(parent, token.text, noRemove, forceRemove, deleteKey, live);
      if (FAILED(hr)) return hr;
    }
  }

  // One key: its optional default value and its optional body.
  HRESULT Key(HKEY parent, const std::wstring& name, bool noRemove, bool forceRemove,
              bool deleteKey, bool live) {
    bool hasValue = false;
    DWORD type = REG_SZ;
    std::wstring data;
    if (m_tokens.Peek().kind == Token::kEquals) {
      m_tokens.Next();
      if (!ValueSpec(type, data)) return DISP_E_EXCEPTION;
      hasValue = true;
    }
    bool hasBody = m_tokens.Peek().kind == Token::kOpen;
    if (hasBody) m_tokens.Next();

    if (!live) return hasBody ? Keys(nullptr, false) : S_OK;

    if (m_register) {
      if (forceRemove || deleteKey) RegDeleteTreeW(parent, name.c_str());
      if (deleteKey) return hasBody ? Keys(nullptr, false) : S_OK;
      RegKey key;
      LONG error = key.Create(parent, name.c_str(), KEY_READ | KEY_WRITE);
      if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
      if (hasValue) {
        error = SetValue(key.Get(), nullptr, type, data);
        if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
      }
      return hasBody ? Keys(key.Get(), true) : S_OK;
    }

    // Unregistration: a removable key goes with its subkeys; a NoRemove key only
    // has its removable contents taken out.
    if (!noRemove) {
      RegDeleteTreeW(parent, name.c_str());
      return hasBody ? Keys(nullptr, false) : S_OK;
    }
    RegKey key;
    if (key.Open(parent, name.c_str(), KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
      return hasBody ? Keys(nullptr, false) : S_OK;
    return hasBody ? Keys(key.Get(), true) : S_OK;
  }

  // val Name = s 'text' inside a key's body.
  HRESULT NamedValue(HKEY key, bool live) {
    Token name = m_tokens.Next();
    if ((name.kind != Token::kWord && name.kind != Token::kQuoted) ||
        m_tokens.Next().kind != Token::kEquals)
      return DISP_E_EXCEPTION;
    DWORD type = REG_SZ;
    std::wstring data;
    if (!ValueSpec(type, data)) return DISP_E_EXCEPTION;
    if (!live) return S_OK;
    if (m_register) {
      LONG error = SetValue(key, name.text.c_str(), type, data);
      return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
    }
    RegDeleteValueW(key, name.text.c_str());
    return S_OK;
  }

  bool ValueSpec(DWORD& type, std::wstring& data) {
    Token kind = m_tokens.Next();
    Token value = m_tokens.Next();
    if (kind.kind != Token::kWord || value.kind != Token::kQuoted) return false;
    if (Equal(kind.text, L"s"))
      type = REG_SZ;
    else if (Equal(kind.text, L"d"))
      type = REG_DWORD;
    else
      return false;
    data = value.text;
    return true;
  }

  static LONG SetValue(HKEY key, const wchar_t* name, DWORD type, const std::wstring& data) {
    if (type == REG_DWORD) {
      DWORD number = wcstoul(data.c_str(), nullptr, 0);
      return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                            sizeof number);
    }
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  }

  Tokenizer m_tokens;
  bool m_register;
};

}  // namespace

HRESULT RunRegistryScriptText(const std::wstring& script, bool doRegister,
                              const ScriptReplacements& replacements) {
  // A byte order mark in front of the script is not part of it.
  const size_t start = !script.empty() && script[0] == L'\xFEFF' ? 1 : 0;
  const std::wstring text = script.substr(start);
  return ScriptRunner(text, doRegister, replacements).Run();
}

HRESULT RunRegistryScript(HINSTANCE module, int id, bool doRegister,
                          const ScriptReplacements& replacements) {
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!bytes) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  int size = static_cast<int>(SizeofResource(module, resource));
  std::wstring text(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes, size, nullptr, 0)),
                    L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes, size, text.data(), static_cast<int>(text.size()));
  return RunRegistryScriptText(text, doRegister, replacements);
}

}  // namespace vpdf
