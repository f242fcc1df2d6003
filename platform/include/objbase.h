// COM object creation and task memory, over an in-process class registry.
//
// There is no system registry of COM servers here. A module that implements classes
// registers their factories when it loads (from a static initialiser) and revokes them
// when it unloads (from the matching static destructor):
//
//   static const KcmCoClassRegistration kRegistration(CLSID_Mine, &CreateMine);
//
// CoCreateInstance and CoGetClassObject then find the class in that registry. Only
// in-process classes exist: a class context must include CLSCTX_INPROC_SERVER or
// CLSCTX_INPROC_HANDLER. As on Windows, creating objects needs a thread that has entered
// COM (CoInitialize/CoInitializeEx): elsewhere the calls answer CO_E_NOTINITIALIZED.
// Interface calls on objects already created are not checked.
#pragma once

#include "combaseapi.h"
#include "unknwn.h"

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL (CLSCTX_SERVER | CLSCTX_INPROC_HANDLER)
typedef DWORD CLSCTX;

KCM_EXTERN_C_BEGIN
// Null `object` → E_POINTER. Otherwise *object is cleared first, then: thread outside
// COM → CO_E_NOTINITIALIZED; no in-process context or class not registered →
// REGDB_E_CLASSNOTREG; an `outer` with an `iid` other than IID_IUnknown →
// CLASS_E_NOAGGREGATION; else the factory's CreateInstance result.
KCM_PLATFORM_API HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD classContext, REFIID iid,
                                                 LPVOID* object);
// The registered factory itself, queried for `iid`. `serverInfo` must be null.
KCM_PLATFORM_API HRESULT WINAPI CoGetClassObject(REFCLSID clsid, DWORD classContext, LPVOID serverInfo, REFIID iid,
                                                 LPVOID* object);

// Memory that crosses module boundaries (format blocks, strings handed to the caller).
// Alloc(0) answers a valid pointer; Realloc(p, 0) frees p and answers null;
// Realloc(null, n) allocates; Free(null) does nothing. Never throws.
KCM_PLATFORM_API LPVOID WINAPI CoTaskMemAlloc(SIZE_T size);
KCM_PLATFORM_API LPVOID WINAPI CoTaskMemRealloc(LPVOID memory, SIZE_T size);
KCM_PLATFORM_API void WINAPI CoTaskMemFree(LPVOID memory);
KCM_EXTERN_C_END

// Creates one object of a class; the same contract as IClassFactory::CreateInstance.
typedef HRESULT (*KcmCreateInstanceFunction)(IUnknown* outer, REFIID iid, void** object);

// Registers `factory` for `clsid`, holding one reference to it. A class registered
// already is replaced (its old factory released) and S_FALSE answered; S_OK otherwise.
// Null factory → E_POINTER. Registration needs no COM initialisation.
KCM_PLATFORM_API HRESULT KcmCoRegisterClass(REFCLSID clsid, IClassFactory* factory);
// The same with a factory that calls `create`; it refuses an `outer` with an iid other
// than IID_IUnknown (CLASS_E_NOAGGREGATION) before `create` is called.
KCM_PLATFORM_API HRESULT KcmCoRegisterClassFunction(REFCLSID clsid, KcmCreateInstanceFunction create);
// Removes the class and releases its factory: S_OK, or REGDB_E_CLASSNOTREG when absent.
KCM_PLATFORM_API HRESULT KcmCoRevokeClass(REFCLSID clsid);

// Registers a creation function for the lifetime of a static object of the module.
class KcmCoClassRegistration {
 public:
  KcmCoClassRegistration(REFCLSID clsid, KcmCreateInstanceFunction create) : clsid_(clsid) {
    KcmCoRegisterClassFunction(clsid, create);
  }
  ~KcmCoClassRegistration() { KcmCoRevokeClass(clsid_); }
  KcmCoClassRegistration(const KcmCoClassRegistration&) = delete;
  KcmCoClassRegistration& operator=(const KcmCoClassRegistration&) = delete;

 private:
  const CLSID clsid_;
};
