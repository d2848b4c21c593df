// The UI language of the add-in's resources: the offset of a language's block and the
// add-in module's own strings.
#pragma once
#include <windows.h>
#include <oleauto.h>

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

// String `id` of the add-in module's own string table as a new BSTR (embedded zero
// characters kept); null when the module holds no such string.
BSTR LoadResString(UINT id);

}  // namespace vpdf
