#include "commands/newpdf/new_pdf_from_file.h"

namespace vpdf {

CCreateNewPDFFromFile_I::CCreateNewPDFFromFile_I(Placement placement) {
  put_Name(Bstr(placement == Placement::kMenu ? L"RPDFIManAddon.CreateNewPDFFile" : L"RPDFIManAddon.CreateNewPDFFile_CM").Get());
}

}  // namespace vpdf
