// The constructor steps that every command shares, in their order: name, description,
// accelerator, kind and status, the menu and help texts of the UI language, and the bitmap.
#pragma once
#include <windows.h>

#include "commands/command_impl.h"
#include "commands/identity.h"
#include "convutils/log.h"

namespace vpdf {

struct CommandIdentity {
  const wchar_t* name;
  const wchar_t* description;  // null: the localised string descriptionId
  UINT descriptionId;
  wchar_t accelerator;  // the letter of the "Alt+" shortcut
  bool setsKind;        // false: the command decides its kind itself
  UINT menuId, helpId;  // English string ids
  int classicBitmap, ribbonBitmap;
};

// The records a command writes after its name, menu text and help text; a null format
// writes nothing. The name's format gets the name and the language offset, the others
// their text.
struct IdentityRecords {
  const LogSource* log;
  const char* name;
  const char* menuText;
  const char* helpText;
};

// Puts the shared properties on `command` and returns its own copy of its bitmap (null when it
// cannot be loaded), which the caller hands to the client and keeps.
HBITMAP ApplyIdentity(ICommandImpl& command, Placement placement,
                      const CommandEnvironment& environment, const CommandIdentity& identity,
                      const IdentityRecords& records);

}  // namespace vpdf
