// One selected document as the merge-and-order dialog lists it.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <list>
#include <memory>
#include <string>

#include "convutils/comutil.h"

namespace vpdf {

class doc_description {
 public:
  doc_description() = default;
  doc_description(std::wstring label, std::wstring name, std::wstring extension,
                  std::wstring number, std::wstring version, std::wstring extra);
  virtual ~doc_description() = default;

  std::wstring label;
  std::wstring name;
  std::wstring extension;
  std::wstring number;
  std::wstring version;
  std::wstring extra;
  std::wstring reserved1;
  std::wstring reserved2;
  std::wstring reserved3;
  std::wstring reserved4;
};

// Keeps the document itself alive for the merge that follows the dialog.
class doc_description_COM : public doc_description {
 public:
  // `document` answers INRTDocument; the label is then taken from the document.
  doc_description_COM(IDispatch* document, std::wstring label, std::wstring name,
                      std::wstring extension, std::wstring number, std::wstring version);

  IDispatch* document() const { return m_document.Get(); }

 private:
  ComPtr<IDispatch> m_document;
};

// In merge order.
using doc_list = std::list<std::shared_ptr<doc_description_COM>>;

// Appends the document as the dialog lists it: label "n/a", name, extension,
// number and version read from the document.
HRESULT AppendDocDescription(IDispatch* document, doc_list& list);

}  // namespace vpdf
