#include "convutils/module.h"

namespace vpdf {

Module::Module() { InitializeCriticalSection(&m_classObjectLock); }

Module& Module::Instance() {
  static Module module;
  return module;
}

void Module::Init(HINSTANCE instance) {
  m_instance = instance;
  m_libid = LIBID_VPDFIMANAGEADDONLib;
}

void Module::Term() {
  DeleteCriticalSection(&m_classObjectLock);
}

}  // namespace vpdf
