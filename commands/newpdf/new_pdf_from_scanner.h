#pragma once
#include "commands/newpdf/new_pdf_run.h"

namespace vpdf {

class CCreateNewPDFFromScanner_I : public CNewPdfCommand {
 public:
  explicit CCreateNewPDFFromScanner_I(Placement placement)
      : CNewPdfCommand(CommandFamily::kNewPdfFromScanner, placement) {}

  // Scans through the scan agent and imports the PDF as a new document into the session of
  // the selected container.
  HRESULT OnExecute() override;

  // A unique name "scaXXXX.pdf" (the prefix "scan" cut to three letters) in the temporary folder, written into `buffer` (MAX_PATH
  // characters); no file of that name is left.
  static void MakeScanTempName(wchar_t* buffer);
};

using CCreateNewPDFFromScanner = PlacedCommand<CCreateNewPDFFromScanner_I, Placement::kMenu>;
using CCreateNewPDFFromScanner_CM =
    PlacedCommand<CCreateNewPDFFromScanner_I, Placement::kContextMenu>;

}  // namespace vpdf
