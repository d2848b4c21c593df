#pragma once
#include "commands/command_impl.h"
#include "commands/identity.h"

namespace vpdf {

class CCreatePDF_I : public ICommandImpl {
 public:
  explicit CCreatePDF_I(Placement placement);

  // Enabled only for a non-empty selection of documents that are neither PDF nor MSG.
  STDMETHODIMP Update() override;
  // Bounds of the selection array; falls back to "SelectedIManObjects" when it is
  // empty, leaving that array in `selection`.
  HRESULT GetBounds(VARIANT* selection, LONG* lower, LONG* upper);
  // The INRTDocument of element `*index` (resolving shortcuts); the caller releases
  // it. `*index` becomes -1 when the element cannot be read.
  HRESULT GetSelectedDoc(VARIANT* selection, LONG* index, IDispatch** document);
  // Logs the document's type and its open and view methods.
  HRESULT GetMethods(IDispatch* document);

  // Process-wide, UI thread only: the merge-and-order dialog is up / a merge is running.
  static LONG busy;
  static LONG merging;

 protected:
  int m_langOffset = 0;  // added to the id of every localised resource

 private:
  CommandImages m_images;  // the images handed to the client
};

class CCreatePDF : public CCreatePDF_I {
 public:
  CCreatePDF() : CCreatePDF_I(Placement::kMenu) {}
};

class CCreatePDF_CM : public CCreatePDF_I {
 public:
  CCreatePDF_CM() : CCreatePDF_I(Placement::kContextMenu) {}
};

}  // namespace vpdf
