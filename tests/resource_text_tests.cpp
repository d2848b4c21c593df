// The add-in's localised resources as the built module holds them: every string 301-347 that
// English has exists in each of the 21 languages, in a string block of that language, with the
// English text's placeholders, shortcut and filter pattern; the dialogs 307 and 333 exist in
// every language with the controls their dialog code expects. The full comparison of each
// translation with the English text is the generator's own check (lang_resources_generated).
#include <windows.h>

#include <gtest/gtest.h>

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
    {"English", 0, 0x0409},      {"French", 100, 0x040C},     {"German", 200, 0x0407},
    {"Italian", 300, 0x0410},    {"Spanish", 400, 0x040A},    {"Dutch", 500, 0x0413},
    {"Danish", 600, 0x0406},     {"Swedish", 700, 0x041D},    {"Portuguese", 800, 0x0416},
    {"Norwegian", 900, 0x0414},  {"Russian", 1000, 0x0419},   {"Polish", 1100, 0x0415},
    {"Turkish", 1200, 0x041F},   {"Japanese", 1300, 0x0411},  {"Korean", 1400, 0x0412},
    {"Chinese (Simplified)", 1500, 0x0804}, {"Chinese (Traditional)", 1600, 0x0404},
    {"Finnish", 1700, 0x040B},   {"Czech", 1800, 0x0405},     {"Hungarian", 1900, 0x040E},
    {"Arabic", 2000, 0x0401},
};

// The English string ids. 308 and 309 repeat 311 and 312.
constexpr UINT kStringIds[] = {301, 302, 303, 304, 305, 306, 308, 309, 311, 312, 314, 315, 317, 318,
                               319, 320, 321, 322, 323, 324, 329, 330, 331, 332, 334, 335, 336, 337,
                               338, 339, 340, 341, 342, 343, 344, 345, 346, 347};
// Ids of the English block that hold no string in any language (313 and 316 are the open
// commands' absent descriptions; 307 and 333 are dialogs).
constexpr UINT kAbsentIds[] = {307, 310, 313, 316, 325, 326, 327, 328, 333};

class AddInModule : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_module = LoadLibraryExW(L"VPDFIManageAddon.dll", nullptr,
                              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  }
  static void TearDownTestSuite() { FreeLibrary(s_module); }
  void SetUp() override { ASSERT_NE(nullptr, s_module) << "VPDFIManageAddon.dll beside the test"; }

  // The string, or "<none>" when the module has none with this id.
  static std::wstring String(UINT id) {
    const wchar_t* text = nullptr;
    int length = LoadStringW(s_module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : L"<none>";
  }
  static inline HMODULE s_module = nullptr;
};

// What a translation must keep of the English text for the code that uses it: the printf
// placeholders in order, and what follows "\t" (the shortcut) and a zero character (the
// pattern of a file dialog filter). Mnemonics and line breaks are the generator's check.
std::wstring ShapeOf(const std::wstring& text) {
  std::wstring shape;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') continue;
    const size_t end = text.find_first_not_of(L"-+ #0123456789.hlI", i + 1);
    if (end == std::wstring::npos) break;
    shape += text.substr(i, end - i + 1);
    i = end;
  }
  for (wchar_t mark : {L'\t', L'\0'})
    if (size_t at = text.find(mark); at != std::wstring::npos) shape += L'|' + text.substr(at + 1);
  return shape;
}

TEST_F(AddInModule, EnglishTexts) {
  EXPECT_EQ(L"&Create PDF\tAlt+C", String(301));
  EXPECT_EQ(L"&Send PDF in e-mail\tAlt+S", String(302));
  EXPECT_EQ(L"The '%s' has been converted to a PDF file.\nHow do you want to save the '%s' ?",
            String(306));
  EXPECT_EQ(L"&Open with Ostrel Varnel PDF", String(311));
  EXPECT_EQ(L"O&pen with Conversion Desk", String(314));
  EXPECT_EQ(std::wstring(L"PDF Files (*.PDF)\0*.pdf", 23), String(317));
  EXPECT_EQ(L"Create &New PDF", String(322));
  EXPECT_EQ(std::wstring(L"All Files (*.*)\0*.*", 19), String(324));
  EXPECT_EQ(L"This document is already checked out by %s. Would you like to open it in read only "
            L"mode?",
            String(329));
  EXPECT_EQ(L"Create from document %d version %d in database \"%s\" ", String(331));
  EXPECT_EQ(L"Doc. Number", String(335));
  EXPECT_EQ(L"The %s has been converted to a PDF file. How do you want to save the %s ?",
            String(341));
}

TEST_F(AddInModule, EveryStringInEveryLanguageInABlockOfThatLanguageWithTheEnglishShape) {
  for (const Language& language : kLanguages) {
    for (UINT id : kStringIds) {
      const UINT localised = id + static_cast<UINT>(language.offset);
      SCOPED_TRACE(std::string(language.name) + " " + std::to_string(localised));
      EXPECT_NE(nullptr, FindResourceExW(s_module, RT_STRING, MAKEINTRESOURCEW(localised / 16 + 1),
                                         language.id));
      const std::wstring english = String(id), translated = String(localised);
      EXPECT_NE(L"<none>", translated);
      EXPECT_EQ(ShapeOf(english), ShapeOf(translated)) << testing_support::Utf8(translated);
      // "Version" is the same word in some languages.
      if (language.offset != 0 && id != 336) {
        EXPECT_NE(english, translated);
      }
    }
    for (UINT id : kAbsentIds)
      EXPECT_EQ(L"<none>", String(id + static_cast<UINT>(language.offset))) << language.name << id;
  }
}

// ---- Dialog templates --------------------------------------------------------------------------

struct Control {
  int id = 0;
  DWORD style = 0;
  std::wstring windowClass, text;  // class ordinals as "#128", "#129", ...
};
struct Dialog {
  bool found = false;
  DWORD style = 0, exStyle = 0;
  int cx = 0, cy = 0;
  std::wstring caption;
  std::vector<Control> controls;
};

// Reads a DLGTEMPLATEEX and its DLGITEMTEMPLATEEX entries; fields no test checks are skipped.
Dialog ParseDialog(HMODULE module, int id, LANGID language) {
  Dialog dialog;
  HRSRC resource = FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(id), language);
  if (!resource) return dialog;
  dialog.found = true;
  const BYTE* const begin = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  const BYTE* const end = begin + SizeofResource(module, resource);
  const BYTE* data = begin;
  auto get = [&]<class T>(T value) {
    if (data + sizeof(T) <= end) memcpy(&value, data, sizeof(T));
    data += sizeof(T);
    return value;
  };
  auto text = [&] {
    const WORD first = get(WORD{});
    if (first == 0xFFFF) return L"#" + std::to_wstring(get(WORD{}));
    std::wstring result;
    for (WORD c = first; c != 0 && data < end; c = get(WORD{}))
      result.push_back(static_cast<wchar_t>(c));
    return result;
  };
  EXPECT_EQ(0xFFFF0001u, get(DWORD{}));  // version 1, DLGTEMPLATEEX
  data += 4;                            // help id
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
    Control control;
    data += 8;  // help id, extended style
    control.style = get(DWORD{});
    data += 8;  // x, y, cx, cy
    control.id = static_cast<int>(get(DWORD{}));
    control.windowClass = text();
    control.text = text();
    data += get(WORD{});  // creation data
    dialog.controls.push_back(control);
  }
  return dialog;
}

std::vector<int> Ids(const Dialog& dialog) {
  std::vector<int> ids;
  for (const Control& control : dialog.controls) ids.push_back(control.id);
  return ids;
}
std::vector<std::wstring> Texts(const Dialog& dialog) {
  std::vector<std::wstring> texts;
  for (const Control& control : dialog.controls) texts.push_back(control.text);
  return texts;
}

TEST_F(AddInModule, TheEnglishDialogs) {
  const Dialog save = ParseDialog(s_module, 307, 0x0409);
  ASSERT_TRUE(save.found);
  EXPECT_EQ(L"Save As", save.caption);
  EXPECT_EQ(320, save.cx);
  EXPECT_EQ(127, save.cy);
  EXPECT_EQ(0u, save.style & WS_THICKFRAME);
  EXPECT_EQ((std::vector<int>{211, 206, 203, 207, 204, 1, 2}), Ids(save));
  EXPECT_EQ((std::vector<std::wstring>{L"", L"&Save New Document", L"&Relate PDF to original",
                                       L"&Save New Version", L"&Local Save", L"&OK", L"&Cancel"}),
            Texts(save));
  EXPECT_EQ(static_cast<DWORD>(BS_AUTORADIOBUTTON | WS_GROUP),
            save.controls[1].style & (BS_TYPEMASK | WS_GROUP));

  const Dialog merge = ParseDialog(s_module, 333, 0x0409);
  ASSERT_TRUE(merge.found);
  EXPECT_EQ(L"Merge items to one PDF", merge.caption);
  EXPECT_EQ(350, merge.cx);
  EXPECT_EQ(270, merge.cy);
  EXPECT_NE(0u, merge.style & WS_THICKFRAME) << "resizable frame";
  EXPECT_EQ((std::vector<int>{210, 218, 217, 212, 214, 215, 216, -1, 250, 252, 251, 1, 2}),
            Ids(merge));
  EXPECT_EQ((std::vector<std::wstring>{
                L"What would you like to do with these files?",
                L"Create a PDF for &each input document", L"Combine files into &one PDF document",
                L"You can rearrange the files to the right order:", L"&Up", L"&Down", L"",
                L"How would you like to save the result?", L"&Save New Document",
                L"&Save New Version", L"&Relate PDF to original", L"OK", L"Cancel"}),
            Texts(merge));
  // The compiler may upper-case the class name.
  EXPECT_EQ(0, _wcsicmp(L"SysListView32", merge.controls[6].windowClass.c_str()));
  EXPECT_EQ(static_cast<DWORD>(LVS_REPORT), merge.controls[6].style & LVS_TYPEMASK);
}

// Each language's dialogs have the English one's controls, size and style, and a right-to-left
// layout in Arabic only; the save dialog's caption is string 305 of the language.
TEST_F(AddInModule, EveryDialogInEveryLanguage) {
  for (int id : {307, 333}) {
    const Dialog english = ParseDialog(s_module, id, 0x0409);
    for (const Language& language : kLanguages) {
      SCOPED_TRACE(std::string(language.name) + " " + std::to_string(id));
      const Dialog dialog = ParseDialog(s_module, id + language.offset, language.id);
      ASSERT_TRUE(dialog.found);
      EXPECT_EQ(Ids(english), Ids(dialog));
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
