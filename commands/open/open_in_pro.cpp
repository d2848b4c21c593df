#include "commands/open/open_in_pro.h"

namespace vpdf {

COpenInPro_I::COpenInPro_I(Placement placement) {
  put_Name(Bstr(placement == Placement::kMenu ? L"RPDFIManAddon.OpenInPro" : L"RPDFIManAddon.OpenInPro").Get());
}

}  // namespace vpdf
