// The identity of the twelve command classes as one table: one row a class, with what the
// client reads (name, texts, accelerator, images, kind) and the records its constructor writes.
#pragma once
#include <windows.h>

#include "commands/command_impl.h"
#include "commands/identity.h"
#include "convutils/log.h"

namespace vpdf {

// The records a constructor writes, in this order; a null text writes nothing. `entered` takes
// no argument, `language` the language offset, `name` the name and the language offset, the
// menu and help records their text; the image records and `productKey` take none.
struct IdentityRecords {
  const char* entered;
  const char* language;
  const char* name;
  const char* menuText;
  const char* helpText;
  const char* bitmap;
  const char* largeBitmap;
  const char* smallIcon;
  const char* largeIcon;
  const char* productKey;  // when the product key opens (kind from the product key only)
};

struct CommandRow {
  CommandFamily family;
  Placement placement;
  const wchar_t* name;
  const wchar_t* description;  // null: the localised string descriptionId
  UINT descriptionId;
  wchar_t accelerator;        // the letter of the "Alt+" shortcut
  bool kindFromProductKey;    // kind 1 only when the product is installed, else always 1
  UINT menuId, helpId;        // English string ids
  int classicBitmap, ribbonBitmap;
  int largeBitmap, smallIcon, largeIcon;  // PNG images; 0: none
  const LogSource* log;
  IdentityRecords records;
};

// The row of the class that stands for `family` at `placement`.
const CommandRow& CommandRowOf(CommandFamily family, Placement placement);

}  // namespace vpdf
