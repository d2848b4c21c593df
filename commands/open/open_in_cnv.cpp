#include "commands/open/open_in_cnv.h"

namespace vpdf {

COpenInCnv_I::COpenInCnv_I(Placement placement) {
  put_Name(Bstr(placement == Placement::kMenu ? L"RPDFIManAddon.OpenInCnv" : L"RPDFIManAddon.OpenInCnv_CM").Get());
}

}  // namespace vpdf
