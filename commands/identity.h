// Command identity: the client tests that choose between the classic and the ribbon images,
// the accelerator and the images a command hands to the client.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <vector>

#include "convutils/comutil.h"
#include "convutils/language.h"

namespace vpdf {

// True when HKLM\Software\InterWoven "DeskSite Version" reads as a decimal number >= 92.0.
bool IsRibbonClient();

// True when the host executable's full path, upper-cased, contains "\OUTLOOK".
bool IsOutlookHost();

// IsOutlookHost() || !IsRibbonClient().
bool UseClassicImages();

// What every command object reads alike when it is made. Read when a command is made while no
// other command object lives, then shared by those made while one does: the client makes all
// twelve at start-up and keeps them.
struct CommandEnvironment {
  int langOffset;    // DetectUILanguage()
  bool ribbon;       // IsRibbonClient()
  bool outlookHost;  // IsOutlookHost(), the same for the whole process
  bool productKey;   // HKLM kProductKey can be opened
};
std::shared_ptr<const CommandEnvironment> SharedCommandEnvironment();

// Keyboard accelerator of a command: 0x110000 plus the character code of its upper-case
// letter (the "Alt+" shortcut shown in the menu texts).
constexpr LONG AcceleratorFor(wchar_t letter) { return 0x110000 + static_cast<LONG>(letter); }

// The images that a command hands to the client, as VT_I4 VARIANTs holding bitmap handles.
// The handles stay valid while the command lives and are deleted with it.
class CommandImages {
 public:

  // Keeps `bitmap` (which may be null) and returns the VARIANT for it.
  Variant Keep(HBITMAP bitmap);

 private:
  std::vector<GdiObject<HBITMAP>> m_bitmaps;
};

}  // namespace vpdf
