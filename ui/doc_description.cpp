#include "ui/doc_description.h"

#include "outside/dms.h"

namespace vpdf {

doc_description::doc_description(std::wstring label, std::wstring name, std::wstring extension,
                                 std::wstring number, std::wstring version, std::wstring extra)
    : label(std::move(label)),
      name(std::move(name)),
      extension(std::move(extension)),
      number(std::move(number)),
      version(std::move(version)),
      extra(std::move(extra)) {}

doc_description_COM::doc_description_COM(IDispatch* document, std::wstring label,
                                         std::wstring name, std::wstring extension,
                                         std::wstring number, std::wstring version)
    : doc_description(std::move(label), std::move(name), std::move(extension), std::move(number),
                      std::move(version), std::wstring()),
      m_document(document) {
  // The document's description serves as its label: a stable text it always has.
  auto text = dms::Document(m_document).Description();
  if (text.Ok()) this->label = std::move(text.value);
}

HRESULT AppendDocDescription(IDispatch* document, doc_list& list) {
  dms::Document doc{ComPtr<IDispatch>(document)};
  auto name = doc.Name();
  if (!name.Ok()) return name.hr;
  auto number = doc.Number();
  if (!number.Ok()) return number.hr;
  auto version = doc.Version();
  if (!version.Ok()) return version.hr;
  auto extension = doc.Extension();
  if (!extension.Ok()) return extension.hr;
  list.push_back(std::make_shared<doc_description_COM>(
      document, L"n/a", std::move(name.value), std::move(extension.value),
      std::to_wstring(number.value), std::to_wstring(version.value)));
  return S_OK;
}

}  // namespace vpdf
