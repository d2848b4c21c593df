// The object map: each creatable class with its class identifier, ProgID,
// registry script and instance creator, in registration order.
#pragma once
#include <windows.h>
#include <unknwn.h>

#include <span>

namespace vpdf {

using InstanceCreator = HRESULT (*)(REFIID iid, void** object);

struct ObjectMapEntry {
  CLSID clsid;
  const wchar_t* progId;  // version-independent
  int script;             // REGISTRY resource that registers the class
  InstanceCreator createInstance;
  IClassFactory* classObject;  // created on first request, cached until detach
};

std::span<ObjectMapEntry> ObjectMap();

// The cached class object of `clsid`, created on first request.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);

// Releases the cached class objects (at detach).
void ReleaseClassObjects();

}  // namespace vpdf
