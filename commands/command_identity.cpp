#include "commands/command_identity.h"

#include "commands/identity.h"
#include "convutils/resource_library.h"

namespace vpdf {

HBITMAP ApplyIdentity(ICommandImpl& command, Placement placement,
                      const CommandEnvironment& environment, const CommandIdentity& identity,
                      const IdentityRecords& records) {
  const bool menu = placement == Placement::kMenu;
  const int langOffset = environment.langOffset;

  Bstr name(identity.name);
  command.put_Name(name.Get());
  if (records.name) records.log->Trace(records.name, name.c_str(), langOffset);
  Bstr description = identity.description
                         ? Bstr(identity.description)
                         : Bstr::Adopt(LoadResString(identity.descriptionId + langOffset));
  command.put_DescriptionText(description.Get());
  // The menu variant's accelerator and image depend on the client's version.
  const bool ribbon = menu && environment.ribbon;
  if (!ribbon) command.put_Accelerator(AcceleratorFor(identity.accelerator));
  if (identity.setsKind) command.put_CommandKind(1);
  command.put_Status(kDisabled);

  Bstr menuText = Bstr::Adopt(LoadResString(identity.menuId + langOffset));
  command.put_MenuText(menuText.Get());
  if (records.menuText) records.log->Trace(records.menuText, menuText.c_str());
  Bstr helpText = Bstr::Adopt(LoadResString(identity.helpId + langOffset));
  command.put_HelpText(helpText.Get());
  if (records.helpText) records.log->Trace(records.helpText, helpText.c_str());

  // The classic image in the mail client's host and in a classic client (UseClassicImages);
  // the context-menu variant always has the classic image, scaled.
  const int bitmapId =
      !menu || environment.outlookHost || !ribbon ? identity.classicBitmap : identity.ribbonBitmap;
  return CopyOfCachedImage(bitmapId, !menu || ribbon, false);
}

}  // namespace vpdf
