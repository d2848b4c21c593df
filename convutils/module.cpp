#include "convutils/module.h"

#include "outside/companions.h"

namespace vpdf {

Module::Module() { InitializeCriticalSection(&m_classObjectLock); }

Module& Module::Instance() {
  static Module module;
  return module;
}

void Module::Init(HINSTANCE instance) {
  m_instance = instance;
  // The product's libraries are those beside this module.
  outside::SetOwnerModule(instance);
  m_libid = LIBID_VPDFIMANAGEADDONLib;
}

void Module::Term() {
  DeleteCriticalSection(&m_classObjectLock);
}

}  // namespace vpdf
