#include "addon/object_map.h"

#include <new>

#include "convutils/entry_guard.h"
#include "convutils/log.h"
#include "convutils/module.h"
#include "commands/createpdf/create_pdf.h"
#include "commands/mail/send_pdf_email.h"
#include "commands/newpdf/new_pdf_from_file.h"
#include "commands/newpdf/new_pdf_from_scanner.h"
#include "commands/open/open_in_cnv.h"
#include "commands/open/open_in_pro.h"

namespace vpdf {
namespace {

constexpr LogSource kLog("PDFConverter\\VPDFIManageAddon\\VPDFIManageAddon");

template <class T>
HRESULT CreateCommand(REFIID iid, void** object) {
  T* command = nullptr;
  try {
    command = new (std::nothrow) T;
  } catch (...) {
    // A constructor that fails is reported the way the class object reports no memory.
    return E_OUTOFMEMORY;
  }
  if (!command) return E_OUTOFMEMORY;
  command->AddRef();
  HRESULT hr = command->QueryInterface(iid, object);
  command->Release();  // destroys the object when the query failed
  return hr;
}

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(InstanceCreator create) : m_create(create) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    return GuardedHr(kLog, "CreateInstance", [&]() -> HRESULT {
      if (!object) return E_POINTER;
      *object = nullptr;
      if (outer) return CLASS_E_NOAGGREGATION;
      return m_create(iid, object);
    });
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      Module::Instance().Lock();
    else
      Module::Instance().Unlock();
    return S_OK;
  }

 private:
  volatile LONG m_refs = 1;
  InstanceCreator m_create;
};

ObjectMapEntry g_objectMap[] = {
    {{0x81B3A34E, 0xBEC1, 0x4FC5, {0x9F, 0xC4, 0x64, 0x53, 0x91, 0xFB, 0x3A, 0x1E}},
     L"RPDFImanAddon.CreateNewPDFFile", 106, CreateCommand<CCreateNewPDFFromFile>, nullptr},
    {{0xB9576D55, 0x1AA1, 0x4ED1, {0xAC, 0x58, 0xA5, 0xAC, 0x85, 0xEA, 0x67, 0x8D}},
     L"RPDFImanAddon.CreateNewPDFFile_CM", 106, CreateCommand<CCreateNewPDFFromFile_CM>, nullptr},
    {{0x59C08D65, 0x5D97, 0x47BC, {0xB1, 0x57, 0x4F, 0x1C, 0xC1, 0x00, 0x18, 0x01}},
     L"RPDFImanAddon.CreateNewPDFScan", 107, CreateCommand<CCreateNewPDFFromScanner>, nullptr},
    {{0x62F0A483, 0x32EA, 0x4613, {0x90, 0xF8, 0xDD, 0x19, 0xA5, 0x0B, 0x2A, 0xF8}},
     L"RPDFImanAddon.CreateNewPDFScan_CM", 107, CreateCommand<CCreateNewPDFFromScanner_CM>,
     nullptr},
    {{0xD1F898E4, 0x8739, 0x4118, {0x95, 0xB4, 0xFB, 0x11, 0x42, 0x4E, 0xAF, 0x64}},
     L"RPDFImanAddon.CreatePDF", 101, CreateCommand<CCreatePDF>, nullptr},
    {{0xEEEEB631, 0x3463, 0x4F7F, {0xA5, 0xA2, 0x14, 0x29, 0xE5, 0x5E, 0x24, 0x7C}},
     L"RPDFImanAddon.CreatePDF_CM", 101, CreateCommand<CCreatePDF_CM>, nullptr},
    {{0xE5265DAE, 0x9000, 0x4A96, {0x9B, 0x95, 0x5C, 0x8F, 0xF4, 0x35, 0x93, 0x7F}},
     L"RPDFImanAddon.SendPDFEMail", 102, CreateCommand<CSendPDFEMail>, nullptr},
    {{0x1A9A06B9, 0xE75B, 0x409F, {0x8D, 0x8F, 0x1A, 0x06, 0xCA, 0x22, 0xEA, 0x6C}},
     L"RPDFImanAddon.SendPDFEMail_CM", 102, CreateCommand<CSendPDFEMail_CM>, nullptr},
    {{0x6493411D, 0x429B, 0x4CE9, {0xA9, 0x52, 0x39, 0xD9, 0x98, 0x95, 0xF8, 0x26}},
     L"RPDFImanAddon.OpenInPro", 104, CreateCommand<COpenInPro>, nullptr},
    {{0x630D77D4, 0xB058, 0x49C5, {0xB1, 0x08, 0xB9, 0x04, 0x54, 0x8B, 0xC6, 0x9F}},
     L"RPDFImanAddon.OpenInPro_CM", 104, CreateCommand<COpenInPro_CM>, nullptr},
    {{0x04B06073, 0x6BF1, 0x468A, {0xAE, 0xBC, 0xB6, 0xD5, 0xE2, 0x32, 0x37, 0xE9}},
     L"RPDFImanAddon.OpenInCnv", 105, CreateCommand<COpenInCnv>, nullptr},
    {{0xE76E15AF, 0x8AA8, 0x4E57, {0xB5, 0xF4, 0x0B, 0xF3, 0xA0, 0x0D, 0x34, 0x0B}},
     L"RPDFImanAddon.OpenInCnv_CM", 105, CreateCommand<COpenInCnv_CM>, nullptr},
};

}  // namespace

std::span<ObjectMapEntry> ObjectMap() { return g_objectMap; }

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  for (ObjectMapEntry& entry : g_objectMap) {
    if (entry.clsid != clsid || !entry.createInstance) continue;
    if (!entry.classObject) {
      Module& module = Module::Instance();
      EnterCriticalSection(&module.ClassObjectLock());
      if (!entry.classObject) entry.classObject = new (std::nothrow) ClassFactory(entry.createInstance);
      LeaveCriticalSection(&module.ClassObjectLock());
    }
    if (entry.classObject) {
      HRESULT hr = entry.classObject->QueryInterface(iid, object);
      if (FAILED(hr) || *object) return hr;
    }
    break;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

void ReleaseClassObjects() {
  for (ObjectMapEntry& entry : g_objectMap) {
    if (entry.classObject) entry.classObject->Release();
    entry.classObject = nullptr;
  }
}

}  // namespace vpdf
