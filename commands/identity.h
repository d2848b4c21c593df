// Command identity and localisation: the UI language offset of the
// localised resources, the client tests that choose between the classic and the ribbon
// images, and the loading of the add-in's own strings.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <vector>

#include "convutils/comutil.h"

namespace vpdf {

// Offsets of the localised blocks of the add-in's resources: the id of a localised string or
// dialog is its English id plus the offset of its language.
enum LanguageOffset : int {
  kEnglish = 0,
  kFrench = 100,
  kGerman = 200,
  kItalian = 300,
  kSpanish = 400,
  kDutch = 500,
  kDanish = 600,
  kSwedish = 700,
  kPortugueseBrazil = 800,
  kNorwegian = 900,
  kRussian = 1000,
  kPolish = 1100,
  kTurkish = 1200,
  kJapanese = 1300,
  kKorean = 1400,
  kChineseSimplified = 1500,
  kChineseTraditional = 1600,
  kFinnish = 1700,
  kCzech = 1800,
  kHungarian = 1900,
  kArabic = 2000,
};

// The offset that DetectUILanguage gives for a Windows language identifier: French, German,
// Italian, Spanish, Dutch, Danish, Swedish, Brazilian Portuguese and Hungarian have their own;
// every other identifier (including the other languages the resources hold) gives 0.
int LanguageOffsetFor(int languageId);

// m_langOffset of the commands: the product's UI language (CPDFConfig::GetUILanguage) for the
// installed component (install path kind 2, else 1, else 0), mapped by LanguageOffsetFor.
// Read anew on every call.
int DetectUILanguage();

// The installed product component whose UI language counts: install path kind 2, else 1,
// else 0.
int InstalledComponentKind();

// True when HKLM\Software\InterWoven "DeskSite Version" reads as a decimal number >= 92.0.
bool IsRibbonClient();

// True when the host executable's full path, upper-cased, contains "\OUTLOOK".
bool IsOutlookHost();

// IsOutlookHost() || !IsRibbonClient().
bool UseClassicImages();

// String `id` of the add-in module's own string table as a new BSTR (embedded zero
// characters kept); null when the module holds no such string.
BSTR LoadResString(UINT id);

// Keyboard accelerator of a command: 0x110000 plus the character code of its upper-case
// letter (the "Alt+" shortcut shown in the menu texts).
constexpr LONG AcceleratorFor(wchar_t letter) { return 0x110000 + static_cast<LONG>(letter); }

// The images that a command hands to the client, as VT_I4 VARIANTs holding bitmap handles.
// The handles stay valid while the command lives and are deleted with it.
class CommandImages {
 public:
  CommandImages() = default;
  CommandImages(const CommandImages&) = delete;
  CommandImages& operator=(const CommandImages&) = delete;
  ~CommandImages();

  // Keeps `bitmap` (which may be null) and returns the VARIANT for it.
  Variant Keep(HBITMAP bitmap);

 private:
  std::vector<HBITMAP> m_bitmaps;
};

}  // namespace vpdf
