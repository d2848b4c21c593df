// The add-in's localised resources as the built module holds them: every string 301-341 that
// English has exists in each of the 21 languages, in a string block of that language, and
// keeps the English text's printf placeholders (in order), its "&" mnemonics, its "\t"
// shortcut, its line breaks and its filter pattern after a zero character; the dialogs 307 and
// 333 exist in every language with the controls their dialog code expects.
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

// The English string ids. 308 and 309 repeat 311
// and 312.
constexpr UINT kStringIds[] = {301, 302, 303, 304, 305, 306, 308, 309, 311, 312, 314, 315, 317, 318,
                               319, 320, 321, 322, 323, 324, 329, 330, 331, 332, 334, 335, 336, 337,
                               338, 339, 340, 341};
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

  static std::wstring String(UINT id) {
    const wchar_t* text = nullptr;
    int length = LoadStringW(s_module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
  }
  static bool Exists(UINT id) {
    const wchar_t* text = nullptr;
    return LoadStringW(s_module, id, reinterpret_cast<LPWSTR>(&text), 0) > 0;
  }
  static inline HMODULE s_module = nullptr;
};

// What a translation must keep of the English text.
struct Shape {
  std::vector<std::wstring> placeholders;
  int mnemonics = 0;
  std::wstring shortcut;    // after "\t"
  int lineBreaks = 0;
  std::wstring afterZero;   // after a zero character
  bool operator==(const Shape&) const = default;
};

Shape ShapeOf(const std::wstring& text) {
  Shape shape;
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'%') {
      size_t end = i + 1;
      while (end < text.size() && wcschr(L"-+ #0123456789.hlI", text[end])) ++end;
      if (end < text.size()) {
        shape.placeholders.push_back(text.substr(i, end - i + 1));
        i = end;
      }
    } else if (c == L'&') {
      if (i + 1 < text.size() && text[i + 1] == L'&')
        ++i;
      else
        ++shape.mnemonics;
    } else if (c == L'\n') {
      ++shape.lineBreaks;
    }
  }
  size_t tab = text.find(L'\t');
  if (tab != std::wstring::npos) shape.shortcut = text.substr(tab + 1);
  size_t zero = text.find(L'\0');
  if (zero != std::wstring::npos) shape.afterZero = text.substr(zero + 1);
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
  EXPECT_EQ(L"Converted to PDF and sent", String(332));
  EXPECT_EQ(L"Doc. Number", String(335));
  EXPECT_EQ(L"Select document for new version", String(338));
  EXPECT_EQ(L"The %s has been converted to a PDF file. How do you want to save the %s ?",
            String(341));
}

TEST_F(AddInModule, EveryStringExistsInEveryLanguageInABlockOfThatLanguage) {
  for (const Language& language : kLanguages) {
    for (UINT id : kStringIds) {
      const UINT localised = id + static_cast<UINT>(language.offset);
      EXPECT_TRUE(Exists(localised)) << language.name << " " << localised;
      EXPECT_NE(nullptr, FindResourceExW(s_module, RT_STRING, MAKEINTRESOURCEW(localised / 16 + 1),
                                         language.id))
          << language.name << " " << localised;
    }
    for (UINT id : kAbsentIds)
      EXPECT_FALSE(Exists(id + static_cast<UINT>(language.offset))) << language.name << " " << id;
  }
}

TEST_F(AddInModule, EveryTranslationKeepsPlaceholdersMnemonicsShortcutsAndLayout) {
  for (const Language& language : kLanguages) {
    for (UINT id : kStringIds) {
      const std::wstring english = String(id);
      const std::wstring translated = String(id + static_cast<UINT>(language.offset));
      const Shape want = ShapeOf(english), got = ShapeOf(translated);
      EXPECT_TRUE(want == got) << language.name << " " << id + language.offset << ": \""
                               << testing_support::Utf8(translated) << "\" keeps not the shape of \""
                               << testing_support::Utf8(english) << "\"";
      if (language.offset != 0 && id != 336) {  // "Version" is the same word in some languages
        EXPECT_NE(english, translated) << language.name << " " << id << " is not translated";
      }
    }
  }
}

// ---- Dialog templates --------------------------------------------------------------------------

struct Control {
  int id = 0;
  DWORD style = 0;
  std::wstring windowClass;  // "#128" style ordinals as "Button", "Static", ...
  std::wstring text;
};
struct Dialog {
  DWORD style = 0, exStyle = 0;
  int cx = 0, cy = 0;
  std::wstring caption;
  std::vector<Control> controls;
};

class Reader {
 public:
  Reader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}
  template <class T>
  T Get() {
    T value{};
    if (m_at + sizeof(T) <= m_size) memcpy(&value, m_data + m_at, sizeof(T));
    m_at += sizeof(T);
    return value;
  }
  std::wstring SzOrOrd() {
    WORD first = Get<WORD>();
    if (first == 0) return L"";
    if (first == 0xFFFF) {
      WORD ordinal = Get<WORD>();
      switch (ordinal) {
        case 0x80: return L"Button";
        case 0x81: return L"Edit";
        case 0x82: return L"Static";
        default: return L"#" + std::to_wstring(ordinal);
      }
    }
    std::wstring text(1, static_cast<wchar_t>(first));
    for (WORD c = Get<WORD>(); c != 0 && m_at <= m_size; c = Get<WORD>()) text.push_back(static_cast<wchar_t>(c));
    return text;
  }
  void Align() { m_at = (m_at + 3) & ~static_cast<size_t>(3); }
  void Skip(size_t bytes) { m_at += bytes; }

 private:
  const BYTE* m_data;
  size_t m_size;
  size_t m_at = 0;
};

Dialog ParseDialog(HMODULE module, int id, LANGID language, bool& found) {
  Dialog dialog;
  HRSRC resource = FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(id), language);
  found = resource != nullptr;
  if (!resource) return dialog;
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  Reader in(data, SizeofResource(module, resource));
  EXPECT_EQ(1, in.Get<WORD>());       // dlgVer
  EXPECT_EQ(0xFFFF, in.Get<WORD>());  // signature: DLGTEMPLATEEX
  in.Skip(4);                         // helpID
  dialog.exStyle = in.Get<DWORD>();
  dialog.style = in.Get<DWORD>();
  WORD count = in.Get<WORD>();
  in.Skip(4);  // x, y
  dialog.cx = in.Get<short>();
  dialog.cy = in.Get<short>();
  in.SzOrOrd();  // menu
  in.SzOrOrd();  // class
  dialog.caption = in.SzOrOrd();
  if (dialog.style & DS_SETFONT) {
    in.Skip(6);    // point size, weight, italic, charset
    in.SzOrOrd();  // typeface
  }
  for (WORD i = 0; i < count; ++i) {
    in.Align();
    Control control;
    in.Skip(8);  // helpID, exStyle
    control.style = in.Get<DWORD>();
    in.Skip(8);  // x, y, cx, cy
    control.id = static_cast<int>(in.Get<DWORD>());
    control.windowClass = in.SzOrOrd();
    control.text = in.SzOrOrd();
    in.Skip(in.Get<WORD>());
    dialog.controls.push_back(control);
  }
  return dialog;
}

std::vector<int> Ids(const Dialog& dialog) {
  std::vector<int> ids;
  for (const Control& control : dialog.controls) ids.push_back(control.id);
  return ids;
}

TEST_F(AddInModule, TheEnglishDialogs) {
  bool found = false;
  const Dialog save = ParseDialog(s_module, 307, 0x0409, found);
  ASSERT_TRUE(found);
  EXPECT_EQ(L"Save As", save.caption);
  EXPECT_EQ(320, save.cx);
  EXPECT_EQ(127, save.cy);
  EXPECT_EQ(0u, save.style & WS_THICKFRAME);
  EXPECT_EQ((std::vector<int>{211, 206, 203, 207, 204, 1, 2}), Ids(save));
  const wchar_t* saveTexts[] = {L"", L"&Save New Document", L"&Relate PDF to original",
                                L"&Save New Version", L"&Local Save", L"&OK", L"&Cancel"};
  for (size_t i = 1; i < save.controls.size(); ++i)
    EXPECT_EQ(saveTexts[i], save.controls[i].text) << save.controls[i].id;
  EXPECT_EQ(static_cast<DWORD>(BS_AUTORADIOBUTTON | WS_GROUP),
            save.controls[1].style & (BS_TYPEMASK | WS_GROUP));

  const Dialog merge = ParseDialog(s_module, 333, 0x0409, found);
  ASSERT_TRUE(found);
  EXPECT_EQ(L"Merge items to one PDF", merge.caption);
  EXPECT_EQ(350, merge.cx);
  EXPECT_EQ(270, merge.cy);
  EXPECT_NE(0u, merge.style & WS_THICKFRAME) << "resizable frame";
  EXPECT_EQ((std::vector<int>{210, 218, 217, 212, 214, 215, 216, -1, 250, 252, 251, 1, 2}),
            Ids(merge));
  const wchar_t* mergeTexts[] = {L"What would you like to do with these files?",
                                 L"Create a PDF for &each input document",
                                 L"Combine files into &one PDF document",
                                 L"You can rearrange the files to the right order:",
                                 L"&Up", L"&Down", L"",
                                 L"How would you like to save the result?",
                                 L"&Save New Document", L"&Save New Version",
                                 L"&Relate PDF to original", L"OK", L"Cancel"};
  for (size_t i = 0; i < merge.controls.size(); ++i)
    EXPECT_EQ(mergeTexts[i], merge.controls[i].text) << merge.controls[i].id;
  EXPECT_EQ(0, _wcsicmp(L"SysListView32", merge.controls[6].windowClass.c_str()))
      << testing_support::Utf8(merge.controls[6].windowClass);  // the compiler may upper-case it
  EXPECT_EQ(static_cast<DWORD>(LVS_REPORT), merge.controls[6].style & LVS_TYPEMASK);
}

// Each language's dialogs have the English one's controls, styles and mnemonics, and a right-to-left
// layout in Arabic only; the save dialog's caption is string 305 of the language.
TEST_F(AddInModule, EveryDialogInEveryLanguage) {
  for (int id : {307, 333}) {
    bool found = false;
    const Dialog english = ParseDialog(s_module, id, 0x0409, found);
    ASSERT_TRUE(found) << id;
    for (const Language& language : kLanguages) {
      SCOPED_TRACE(std::string(language.name) + " " + std::to_string(id));
      const Dialog dialog = ParseDialog(s_module, id + language.offset, language.id, found);
      ASSERT_TRUE(found);
      EXPECT_EQ(Ids(english), Ids(dialog));
      if (id == 307)
        EXPECT_EQ(String(305 + static_cast<UINT>(language.offset)), dialog.caption);
      else
        EXPECT_FALSE(dialog.caption.empty());
      EXPECT_EQ(english.cx, dialog.cx);
      EXPECT_EQ(english.cy, dialog.cy);
      EXPECT_EQ(english.style, dialog.style);
      EXPECT_EQ(language.id == 0x0401, (dialog.exStyle & WS_EX_LAYOUTRTL) != 0);
      for (size_t i = 0; i < dialog.controls.size() && i < english.controls.size(); ++i) {
        SCOPED_TRACE(dialog.controls[i].id);
        EXPECT_EQ(english.controls[i].windowClass, dialog.controls[i].windowClass);
        EXPECT_EQ(english.controls[i].style, dialog.controls[i].style);
        EXPECT_EQ(english.controls[i].text.empty(), dialog.controls[i].text.empty());
        EXPECT_EQ(ShapeOf(english.controls[i].text).mnemonics,
                  ShapeOf(dialog.controls[i].text).mnemonics);
      }
    }
  }
}

}  // namespace
