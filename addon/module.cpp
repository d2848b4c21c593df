#include "addon/module.h"

namespace vpdf {

void ReleaseCommandTypeInfo();  // commands/command_impl.cpp
void ReleaseClassObjects();     // addon/object_map.cpp

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
  ReleaseClassObjects();
  ReleaseCommandTypeInfo();
  DeleteCriticalSection(&m_classObjectLock);
}

}  // namespace vpdf
