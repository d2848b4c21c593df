// The one module object of the process: its handle, its lock count and the
// critical section that serialises class-object creation.
#pragma once
#include <windows.h>

namespace vpdf {

// {19AC99C7-8533-4D1A-8E77-ABAD64FDFEDD}
inline constexpr GUID LIBID_VPDFIMANAGEADDONLib = {
    0x19AC99C7, 0x8533, 0x4D1A, {0x8E, 0x77, 0xAB, 0xAD, 0x64, 0xFD, 0xFE, 0xDD}};

class Module {
 public:
  static Module& Instance();

  void Init(HINSTANCE instance);
  void Term();

  // The add-in's own module: its resources and its path. In a program that links
  // the add-in's code directly, the program itself.
  HINSTANCE Handle() const { return m_instance ? m_instance : GetModuleHandleW(nullptr); }
  const GUID& TypeLibId() const { return m_libid; }

  LONG Lock() { return InterlockedIncrement(&m_locks); }
  LONG Unlock() { return InterlockedDecrement(&m_locks); }
  LONG LockCount() const { return m_locks; }

  CRITICAL_SECTION& ClassObjectLock() { return m_classObjectLock; }

 private:
  Module();
  HINSTANCE m_instance = nullptr;
  GUID m_libid = GUID_NULL;
  volatile LONG m_locks = 0;
  CRITICAL_SECTION m_classObjectLock;
};

}  // namespace vpdf
