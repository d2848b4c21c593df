// The add-in's localised resources as the built module holds them: every English string in
// each of the 21 languages, in a string block of that language, with the English text's
// placeholders, shortcut and filter pattern; the dialogs 307 and 333 in every language with the
// English one's controls, size and style. The full comparison of each translation with the
// English text is the generator's own check (lang_resources_generated).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/settings_support.h"

namespace {

struct Language {
  const char* name;
  int offset;
  LANGID id;
};
constexpr Language kLanguages[] = {
    {"English", 0, 0x0409},     {"French", 100, 0x040C},    {"German", 200, 0x0407},
    {"Italian", 300, 0x0410},   {"Spanish", 400, 0x040A},   {"Dutch", 500, 0x0413},
    {"Danish", 600, 0x0406},    {"Swedish", 700, 0x041D},   {"Portuguese", 800, 0x0416},
    {"Norwegian", 900, 0x0414}, {"Russian", 1000, 0x0419},  {"Polish", 1100, 0x0415},
    {"Turkish", 1200, 0x041F},  {"Japanese", 1300, 0x0411}, {"Korean", 1400, 0x0412},
    {"Chinese (Simplified)", 1500, 0x0804}, {"Chinese (Traditional)", 1600, 0x0404},
    {"Finnish", 1700, 0x040B},  {"Czech", 1800, 0x0405},    {"Hungarian", 1900, 0x040E},
    {"Arabic", 2000, 0x0401},
};

// The module as a resource file; the string `id`, or "<none>".
HMODULE Module() {
  static HMODULE module = LoadLibraryExW(L"VPDFIManageAddon.dll", nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  return module;
}
std::wstring String(UINT id) {
  const wchar_t* text = nullptr;
  int length = LoadStringW(Module(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : L"<none>";
}

// What a translation must keep of the English text for the code that uses it: the printf
// placeholders in order, and what follows "\t" (the shortcut) and a zero character (the
// pattern of a file dialog filter).
std::wstring ShapeOf(const std::wstring& text) {
  std::wstring shape;
  for (size_t i = text.find(L'%'); i != std::wstring::npos; i = text.find(L'%', i + 1)) {
    const size_t end = text.find_first_not_of(L"-+ #0123456789.hlI", i + 1);
    if (end == std::wstring::npos) break;
    shape += text.substr(i, end - i + 1);
    i = end;
  }
  for (wchar_t mark : {L'\t', L'\0'})
    if (size_t at = text.find(mark); at != std::wstring::npos) shape += L'|' + text.substr(at + 1);
  return shape;
}

TEST(Resources, EveryStringInEveryLanguageWithTheEnglishShape) {
  ASSERT_NE(nullptr, Module());
  EXPECT_EQ(std::wstring(L"PDF Files (*.PDF)\0*.pdf", 23), String(317));
  for (const Language& language : kLanguages) {
    for (UINT id = 301; id <= 347; ++id) {
      const UINT localised = id + static_cast<UINT>(language.offset);
      SCOPED_TRACE(std::string(language.name) + " " + std::to_string(localised));
      const std::wstring english = String(id), translated = String(localised);
      // 307 and 333 are dialogs; 313 and 316 the open commands' absent descriptions.
      if (english == L"<none>") {
        EXPECT_EQ(L"<none>", translated);
        continue;
      }
      EXPECT_NE(nullptr, FindResourceExW(Module(), RT_STRING, MAKEINTRESOURCEW(localised / 16 + 1),
                                         language.id));
      EXPECT_EQ(ShapeOf(english), ShapeOf(translated)) << testing_support::Utf8(translated);
      if (language.offset != 0 && id != 336) {  // "Version" is the same word in some
        EXPECT_NE(english, translated);
      }
    }
  }
}

struct Dialog {
  bool found = false;
  DWORD style = 0, exStyle = 0;
  int cx = 0, cy = 0;
  std::wstring caption;
  std::vector<int> ids;
};

// Reads a DLGTEMPLATEEX and the ids of its DLGITEMTEMPLATEEX entries.
Dialog ParseDialog(int id, LANGID language) {
  Dialog dialog;
  HRSRC resource = FindResourceExW(Module(), RT_DIALOG, MAKEINTRESOURCEW(id), language);
  if (!resource) return dialog;
  dialog.found = true;
  const BYTE* const begin = static_cast<const BYTE*>(LockResource(LoadResource(Module(), resource)));
  const BYTE* const end = begin + SizeofResource(Module(), resource);
  const BYTE* data = begin;
  auto get = [&]<class T>(T value) {
    if (data + sizeof(T) <= end) memcpy(&value, data, sizeof(T));
    data += sizeof(T);
    return value;
  };
  auto text = [&] {
    std::wstring result;
    const WORD first = get(WORD{});
    if (first == 0xFFFF) return L"#" + std::to_wstring(get(WORD{}));
    for (WORD c = first; c != 0 && data < end; c = get(WORD{})) result.push_back(static_cast<wchar_t>(c));
    return result;
  };
  EXPECT_EQ(0xFFFF0001u, get(DWORD{}));  // version 1, DLGTEMPLATEEX
  data += 4;                             // help id
  dialog.exStyle = get(DWORD{});
  dialog.style = get(DWORD{});
  const WORD count = get(WORD{});
  data += 4;  // x, y
  dialog.cx = get(short{});
  dialog.cy = get(short{});
  text();  // menu
  text();  // class
  dialog.caption = text();
  if (dialog.style & DS_SETFONT) {
    data += 6;  // point size, weight, italic, charset
    text();     // typeface
  }
  for (WORD i = 0; i < count; ++i) {
    data += (4 - (data - begin) % 4) % 4;  // each item starts on a DWORD
    data += 20;                            // help id, extended style, style, x, y, cx, cy
    dialog.ids.push_back(static_cast<int>(get(DWORD{})));
    text();                // class
    text();                // text
    data += get(WORD{});  // creation data
  }
  return dialog;
}

// Each language's dialogs have the English one's controls, size and style, and a right-to-left
// layout in Arabic only; the save dialog's caption is string 305 of the language.
TEST(Resources, EveryDialogInEveryLanguage) {
  const std::vector<int> saveIds = {211, 206, 203, 207, 204, 1, 2};
  const std::vector<int> mergeIds = {210, 218, 217, 212, 214, 215, 216, -1, 250, 252, 251, 1, 2};
  for (const auto& [id, ids] : {std::pair{307, saveIds}, {333, mergeIds}}) {
    const Dialog english = ParseDialog(id, 0x0409);
    EXPECT_EQ(ids, english.ids);
    for (const Language& language : kLanguages) {
      SCOPED_TRACE(std::string(language.name) + " " + std::to_string(id));
      const Dialog dialog = ParseDialog(id + language.offset, language.id);
      ASSERT_TRUE(dialog.found);
      EXPECT_EQ(ids, dialog.ids);
      if (id == 307) {
        EXPECT_EQ(String(305 + static_cast<UINT>(language.offset)), dialog.caption);
      }
      EXPECT_FALSE(dialog.caption.empty());
      EXPECT_EQ(english.cx, dialog.cx);
      EXPECT_EQ(english.cy, dialog.cy);
      EXPECT_EQ(english.style, dialog.style);
      EXPECT_EQ(language.id == 0x0401, (dialog.exStyle & WS_EX_LAYOUTRTL) != 0);
    }
  }
}

}  // namespace
