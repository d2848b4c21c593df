#include "commands/newpdf/new_pdf_from_scanner.h"

namespace vpdf {

CCreateNewPDFFromScanner_I::CCreateNewPDFFromScanner_I(Placement placement) {
  put_Name(Bstr(placement == Placement::kMenu ? L"RPDFIManAddon.CreateNewPDFScan" : L"RPDFIManAddon.CreateNewPDFScan_CM").Get());
}

}  // namespace vpdf
