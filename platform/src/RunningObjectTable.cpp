// The process's running object table and the item monikers that name its entries.
#include "objidl.h"

#include <map>
#include <mutex>
#include <new>
#include <string>

#include "ComObject.h"
#include "MonikerBase.h"
#include "objbase.h"
#include "winerror.h"

namespace {

using kcm::com::RefCounted;

// A name the table files objects under; nothing can be bound through it.
class ItemMoniker final : public kcm::com::MonikerBase {
 public:
  explicit ItemMoniker(std::wstring name) : MonikerBase(std::move(name)) {}
};

// Entries by cookie; each holds one reference to its object.
class RunningObjectTable final : public IRunningObjectTable {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IRunningObjectTable) return E_NOINTERFACE;
    return kcm::com::handOut(static_cast<IRunningObjectTable*>(this), object);
  }
  // The table lives as long as the process.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP Register(DWORD, IUnknown* object, IMoniker* name, DWORD* cookie) override {
    if (object == nullptr || name == nullptr || cookie == nullptr) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(lock_);
    object->AddRef();
    *cookie = ++lastCookie_;
    entries_[*cookie] = Entry{kcm::com::MonikerBase::displayNameOf(name), object};
    return S_OK;
  }
  STDMETHODIMP Revoke(DWORD cookie) override {
    IUnknown* object = nullptr;
    {
      std::lock_guard<std::mutex> lock(lock_);
      auto found = entries_.find(cookie);
      if (found == entries_.end()) return E_INVALIDARG;
      object = found->second.object;
      entries_.erase(found);
    }
    object->Release();  // outside the lock: the object may revoke more on its way out
    return S_OK;
  }
  STDMETHODIMP IsRunning(IMoniker* name) override {
    IUnknown* object = nullptr;
    const HRESULT hr = GetObject(name, &object);
    if (FAILED(hr)) return S_FALSE;
    object->Release();
    return S_OK;
  }
  STDMETHODIMP GetObject(IMoniker* name, IUnknown** object) override {
    if (name == nullptr || object == nullptr) return E_INVALIDARG;
    *object = nullptr;
    const std::wstring wanted = kcm::com::MonikerBase::displayNameOf(name);
    std::lock_guard<std::mutex> lock(lock_);
    for (const auto& entry : entries_) {
      if (entry.second.name != wanted) continue;
      entry.second.object->AddRef();
      *object = entry.second.object;
      return S_OK;
    }
    return MK_E_UNAVAILABLE;
  }

 private:
  struct Entry {
    std::wstring name;
    IUnknown* object;
  };
  std::mutex lock_;
  std::map<DWORD, Entry> entries_;
  DWORD lastCookie_ = 0;
};

}  // namespace

HRESULT WINAPI GetRunningObjectTable(DWORD reserved, IRunningObjectTable** table) {
  if (table == nullptr) return E_INVALIDARG;
  *table = nullptr;
  if (reserved != 0) return E_INVALIDARG;
  static RunningObjectTable* const instance = new RunningObjectTable;  // never destroyed: used at exit too
  *table = instance;
  return S_OK;
}

HRESULT WINAPI CreateItemMoniker(LPCOLESTR delimiter, LPCOLESTR item, IMoniker** moniker) {
  if (moniker == nullptr) return E_INVALIDARG;
  *moniker = nullptr;
  std::wstring name = delimiter != nullptr ? delimiter : L"";
  if (item != nullptr) name += item;
  *moniker = new (std::nothrow) ItemMoniker(std::move(name));
  return *moniker != nullptr ? S_OK : E_OUTOFMEMORY;
}
