#include "commands/open/open_in_cnv.h"

#include "convutils/resource.h"
#include "commands/command_identity.h"
#include "convutils/resource_library.h"

namespace vpdf {

// Logs nothing.
COpenInCnv_I::COpenInCnv_I(Placement placement) {
  const bool menu = placement == Placement::kMenu;
  // The description string exists in no language: the property stays empty.
  const CommandIdentity identity = {
      menu ? L"RPDFIManAddon.OpenInCnv" : L"RPDFIManAddon.OpenInCnv_CM",
      nullptr, IDS_OPENINCNV_DESCRIPTION, L'W', true,
      IDS_OPENINCNV_MENU, IDS_OPENINCNV_HELP, 14600, 14610};
  m_langOffset = Environment().langOffset;
  m_hBitmap = ApplyIdentity(*this, placement, Environment(), identity, {});
  put_Bitmap(*m_images.Keep(m_hBitmap).Get());
}

}  // namespace vpdf
