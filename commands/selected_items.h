// The client's selection as the commands read it: the two context items that may hold it,
// and the document behind one selected element (a document, or a shortcut to one).
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "outside/dms.h"

namespace vpdf {

inline constexpr wchar_t kSelectedNRTDocuments[] = L"SelectedNRTDocuments";
inline constexpr wchar_t kSelectedIManObjects[] = L"SelectedIManObjects";
inline constexpr VARTYPE kSelectionType = VT_ARRAY | VT_DISPATCH;

// The array of a selection value; null when the value holds none.
SAFEARRAY* SelectionArray(const VARIANT* selection);

// Equal without regard to case (ordinal), as the client's type extensions are compared.
bool SameTextNoCase(const std::wstring& text, const wchar_t* other);

// The IManDocument a shortcut item stands for: the item answers the shortcut item interface
// and the shortcut interface, and the object its Resolve gives answers IManDocument.
HRESULT ResolveShortcut(IDispatch* item, dms::Document& out);

// The application extension of the type of a selected element's document: of its
// INRTDocument, or else of the IManDocument that it is a shortcut to.
HRESULT SelectedTypeExtension(IDispatch* element, std::wstring& extension);

// The INRTDocument of a selected element: the element itself, or else the one that the
// IManDocument it is a shortcut to answers.
HRESULT SelectedDocument(IDispatch* element, dms::Document& out);

// A command's status for the elements lower..upper of a selection: enabled (0) when there is
// at least one and `accept` takes every element's type extension; disabled (1) at the first
// element that cannot be read or is not taken.
LONG SelectionStatus(SAFEARRAY* array, LONG lower, LONG upper,
                     bool (*accept)(const std::wstring& extension));

}  // namespace vpdf
