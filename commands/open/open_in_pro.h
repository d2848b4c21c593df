#pragma once
#include <string>

#include "commands/command_impl.h"
#include "commands/command_run.h"
#include "outside/dms.h"

namespace vpdf {

class COpenInPro_I : public ICommandImpl {
 public:
  explicit COpenInPro_I(Placement placement)
      : m_langOffset(TakeIdentity(CommandFamily::kOpenInPro, placement)) {}

  // Enabled only when every selected document is a PDF.
  HRESULT OnUpdate() override;
  // Checks each selected document out to a local path (or, when somebody else has it, offers
  // a read-only copy), leaves beside it what the editor needs to check it back in, and starts
  // the editor on it.
  HRESULT OnExecute() override;

  // Starts the product's PDF editor on `path` without waiting for it: true when it started.
  bool LaunchPDFPro(const std::wstring& path);

 protected:
  // Opens one document: checks it out to its local path, or offers a read-only copy when
  // somebody has it, then leaves the check-in information beside it and starts the editor.
  // What came of it goes to `outcome`; a failure returned is not noted there.
  HRESULT Open(const dms::Document& document, bool temporary, const std::wstring& session,
               const std::wstring& database, RunOutcome& outcome);
  // Asks whether to open a document that `user` has checked out read-only: IDYES, IDNO, or 0
  // when the question could not be shown.
  int OpenReadOnly(const std::wstring& user);

  int m_langOffset = 0;  // added to the id of every localised resource
};

using COpenInPro = PlacedCommand<COpenInPro_I, Placement::kMenu>;
using COpenInPro_CM = PlacedCommand<COpenInPro_I, Placement::kContextMenu>;

}  // namespace vpdf
