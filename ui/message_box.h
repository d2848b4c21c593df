// The message-box routine of the commands.
#pragma once
#include <windows.h>

namespace vpdf {

// The caption used when none is given and the add-in module names no application.
inline constexpr wchar_t kDefaultMessageBoxCaption[] = L"Ostrel Varnel PDF";
// Windows language id of Arabic, whose message boxes read right to left.
inline constexpr int kArabicLanguageId = 1025;

// The style the message box is shown with: `style`, plus MB_RIGHT | MB_RTLREADING (0x180000)
// when the product's UI language (GetProductUILanguage) is Arabic.
UINT MessageBoxStyle(UINT style);

// The caption used for `caption`: itself when given (not null, not empty), else the add-in
// module's application name (its string AFX_IDS_APP_TITLE, 0xE000), else "Ostrel Varnel PDF".
const wchar_t* MessageBoxCaption(const wchar_t* caption);

// Shows the platform's standard message box with MessageBoxCaption(caption) and
// MessageBoxStyle(style); returns the button pressed (IDOK, IDYES, ...), 0 on failure. A box
// without text (its string could not be loaded) is not shown: 0, as if it had failed.
int VPDFMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT style);

// How many boxes with the error icon the add-in has shown in this process: a run that has told
// the person of a failure already says nothing more of it.
int ErrorBoxesShown();
// A box with the error icon that the system showed for the add-in (the shell's own message of a
// program it could not start).
void CountErrorBoxShown();

}  // namespace vpdf
