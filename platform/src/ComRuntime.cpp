// Object creation: CoCreateInstance and CoGetClassObject over the class registry.
#include "ClassRegistry.h"
#include "ComApartment.h"
#include "objbase.h"

namespace {

// The registered factory of an in-process class, or the reason there is none.
HRESULT FindInProcessFactory(REFCLSID clsid, DWORD classContext, IClassFactory** factory) {
  *factory = nullptr;
  if (!kcm::com::isThreadInitialised()) return CO_E_NOTINITIALIZED;
  if ((classContext & CLSCTX_INPROC) == 0) return REGDB_E_CLASSNOTREG;
  *factory = kcm::com::findClassFactory(clsid);
  return *factory != nullptr ? S_OK : REGDB_E_CLASSNOTREG;
}

}  // namespace

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD classContext, REFIID iid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  IClassFactory* factory = nullptr;
  const HRESULT found = FindInProcessFactory(clsid, classContext, &factory);
  if (FAILED(found)) return found;
  const HRESULT created = outer != nullptr && iid != IID_IUnknown ? CLASS_E_NOAGGREGATION
                                                                  : factory->CreateInstance(outer, iid, object);
  factory->Release();
  return created;
}

HRESULT WINAPI CoGetClassObject(REFCLSID clsid, DWORD classContext, LPVOID serverInfo, REFIID iid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (serverInfo != nullptr) return E_INVALIDARG;
  IClassFactory* factory = nullptr;
  const HRESULT found = FindInProcessFactory(clsid, classContext, &factory);
  if (FAILED(found)) return found;
  const HRESULT queried = factory->QueryInterface(iid, object);
  factory->Release();
  return queried;
}
