#include "commands/createpdf/create_pdf.h"

namespace vpdf {

CCreatePDF_I::CCreatePDF_I(Placement placement) {
  put_Name(Bstr(placement == Placement::kMenu ? L"RPDFIManAddon.CreatePDF" : L"RPDFIManAddon.CreatePDF_CM").Get());
}

}  // namespace vpdf
