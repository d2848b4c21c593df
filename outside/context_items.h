// The client's context-item collection (IContextItems), through which a command and the
// client's own commands pass their values by name.
#pragma once
#include <windows.h>

#include "IManExt.h"
#include "outside/com.h"

namespace vpdf {

// Adds (or replaces) the item `name`; the collection keeps its own copy of `value`.
inline HRESULT AddContextItem(IContextItems* items, const wchar_t* name, const Variant& value) {
  if (!items) return E_POINTER;
  Bstr itemName(name);
  return items->Add(itemName.Get(), *value.Get());
}

// Reads the value of item `name`; fails when there is no such item.
inline HRESULT ReadContextItem(IContextItems* items, const wchar_t* name, Variant& value) {
  if (!items) return E_POINTER;
  Variant index = Variant::String(name);
  return items->Item(*index.Get(), value.Put());
}

}  // namespace vpdf
