// Class registrations arrive from static initialisers of any module, in any order, so
// the registry is built on first use and never destroyed: a module revoking its classes
// from its static destructors must still find it, whatever was torn down first.
#include "ClassRegistry.h"

#include <map>
#include <new>
#include <mutex>

#include "ComObject.h"
#include "objbase.h"

namespace kcm::com {

namespace {

class ClassRegistry {
 public:
  static ClassRegistry& instance() {
    static ClassRegistry* const registry = new ClassRegistry;
    return *registry;
  }

  // Answers the factory replaced (reference passed to the caller), or null.
  IClassFactory* add(REFCLSID clsid, IClassFactory* factory) {
    factory->AddRef();
    std::lock_guard<std::mutex> lock(mutex_);
    IClassFactory*& slot = factories_[clsid];
    IClassFactory* replaced = slot;
    slot = factory;
    return replaced;
  }

  IClassFactory* remove(REFCLSID clsid) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = factories_.find(clsid);
    if (found == factories_.end()) return nullptr;
    IClassFactory* removed = found->second;
    factories_.erase(found);
    return removed;
  }

  IClassFactory* find(REFCLSID clsid) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = factories_.find(clsid);
    if (found == factories_.end()) return nullptr;
    found->second->AddRef();
    return found->second;
  }

 private:
  std::mutex mutex_;
  std::map<CLSID, IClassFactory*> factories_;  // one reference each; guarded by mutex_
};

// The factory behind KcmCoRegisterClassFunction.
class FunctionClassFactory final : public RefCounted<IClassFactory> {
 public:
  explicit FunctionClassFactory(KcmCreateInstanceFunction create) : create_(create) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    return handOut(static_cast<IClassFactory*>(this), object);
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    return create_(outer, iid, object);
  }

  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  const KcmCreateInstanceFunction create_;
};

}  // namespace

IClassFactory* findClassFactory(REFCLSID clsid) { return ClassRegistry::instance().find(clsid); }

}  // namespace kcm::com

using kcm::com::ClassRegistry;

HRESULT KcmCoRegisterClass(REFCLSID clsid, IClassFactory* factory) {
  if (factory == nullptr) return E_POINTER;
  IClassFactory* replaced = ClassRegistry::instance().add(clsid, factory);
  if (replaced == nullptr) return S_OK;
  replaced->Release();  // outside the registry lock: a factory may revoke from its destructor
  return S_FALSE;
}

HRESULT KcmCoRegisterClassFunction(REFCLSID clsid, KcmCreateInstanceFunction create) {
  if (create == nullptr) return E_POINTER;
  auto* factory = new (std::nothrow) kcm::com::FunctionClassFactory(create);
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT result = KcmCoRegisterClass(clsid, factory);
  factory->Release();
  return result;
}

HRESULT KcmCoRevokeClass(REFCLSID clsid) {
  IClassFactory* removed = ClassRegistry::instance().remove(clsid);
  if (removed == nullptr) return REGDB_E_CLASSNOTREG;
  removed->Release();
  return S_OK;
}
