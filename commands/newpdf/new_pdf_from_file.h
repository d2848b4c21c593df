#pragma once
#include "commands/newpdf/new_pdf_run.h"

namespace vpdf {

class CCreateNewPDFFromFile_I : public CNewPdfCommand {
 public:
  explicit CCreateNewPDFFromFile_I(Placement placement)
      : CNewPdfCommand(CommandFamily::kNewPdfFromFile, placement) {}

  // Lets the user pick a local file, prints or converts it to PDF and imports the PDF as a
  // new document into the session of the place the user works in.
  HRESULT OnExecute() override;

  // A unique name "SS_XXXX.tmp" in the temporary folder, written into `buffer` (`size`
  // characters); the file itself is removed again. False when the temporary folder is
  // unknown; a folder path of MAX_PATH characters or more leaves `buffer` as it was.
  static bool MakeTempName(wchar_t* buffer, DWORD size);
};

using CCreateNewPDFFromFile = PlacedCommand<CCreateNewPDFFromFile_I, Placement::kMenu>;
using CCreateNewPDFFromFile_CM = PlacedCommand<CCreateNewPDFFromFile_I, Placement::kContextMenu>;

}  // namespace vpdf
