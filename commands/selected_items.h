// The client's selection as the commands read it: the two context items that may hold it,
// its bounds, and the document behind one selected element (a document, or a shortcut to one).
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>

#include "outside/dms.h"

namespace vpdf {

inline constexpr wchar_t kSelectedNRTDocuments[] = L"SelectedNRTDocuments";
inline constexpr wchar_t kSelectedIManObjects[] = L"SelectedIManObjects";
inline constexpr VARTYPE kSelectionType = VT_ARRAY | VT_DISPATCH;

// Reads a context item of the command: name, expected type, storage of that type.
using ContextReader = std::function<HRESULT(const wchar_t* name, VARTYPE type, void* value)>;

// The array of a selection value; null when the value holds none.
SAFEARRAY* SelectionArray(const VARIANT* selection);

// The selection value: "SelectedNRTDocuments", else "SelectedIManObjects". False when
// neither can be read.
bool ReadSelectionValue(const ContextReader& read, Variant& selection);

// The step at which reading a selection or one of its elements stopped; the callers log
// their own text for each.
enum class SelectionFault {
  kNone,
  kLowerBound,          // of the selection as given
  kUpperBound,
  kNoObjects,           // empty, and "SelectedIManObjects" cannot be read
  kObjectsLowerBound,   // of the objects array that replaced an empty selection
  kObjectsUpperBound,
  kNotShortcut,         // the element is no document and no shortcut item
  kResolve,             // the shortcut does not resolve to an object
  kNotManDocument,      // what it resolves to is no IManDocument
  kNotDocument,         // that document does not answer INRTDocument
};

// A selection that is there but whose bounds cannot be read: a run that meets it tells the
// person, unlike one with nothing selected.
inline bool BoundsUnreadable(SelectionFault fault) {
  return fault == SelectionFault::kLowerBound || fault == SelectionFault::kUpperBound ||
         fault == SelectionFault::kObjectsLowerBound || fault == SelectionFault::kObjectsUpperBound;
}

// The bounds of `selection`. With `objectsWhenEmpty`, an empty array gives way to the
// objects item, which then replaces `selection` (the caller reads its elements from the
// array whose bounds it has). Both bounds come back even when the array is still empty.
HRESULT SelectionBounds(const ContextReader& read, bool objectsWhenEmpty, VARIANT* selection,
                        LONG& lower, LONG& upper, SelectionFault& fault);

// Element `index` of a selection, never null on success.
HRESULT SelectionElement(const VARIANT* selection, LONG index, ComPtr<IDispatch>& element);

// Equal without regard to case (ordinal), as the client's type extensions are compared.
bool SameTextNoCase(const std::wstring& text, const wchar_t* other);

// The IManDocument a shortcut item stands for: the item answers the shortcut item interface
// and the shortcut interface, and the object its Resolve gives answers IManDocument.
HRESULT ResolveShortcut(IDispatch* item, dms::Document& out,
                        SelectionFault* fault = nullptr);

// The application extension of the type of a selected element's document: of its
// INRTDocument, or else of the IManDocument that it is a shortcut to.
HRESULT SelectedTypeExtension(IDispatch* element, std::wstring& extension);

// The INRTDocument of a selected element: the element itself, or else the one that the
// IManDocument it is a shortcut to answers.
HRESULT SelectedDocument(IDispatch* element, dms::Document& out,
                         SelectionFault* fault = nullptr);

// A command's status for the elements lower..upper of a selection: enabled (0) when there is
// at least one and `accept` takes every element's type extension; disabled (1) at the first
// element that cannot be read or is not taken.
LONG SelectionStatus(SAFEARRAY* array, LONG lower, LONG upper,
                     bool (*accept)(const std::wstring& extension));

}  // namespace vpdf
