// The parts of IMoniker the platform's monikers share: reference counting, identity
// by display name, and E_NOTIMPL for persistence and composition, which nothing here
// needs. A derived moniker supplies its display name and, when it names something that
// can be bound, BindToObject and BindToStorage.
#pragma once

#include <functional>
#include <string>

#include "ComObject.h"
#include "objbase.h"
#include "objidl.h"
#include "winerror.h"

namespace kcm::com {

class MonikerBase : public RefCounted<IMoniker> {
 public:
  explicit MonikerBase(std::wstring displayName) : displayName_(std::move(displayName)) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IMoniker && iid != IID_IPersist) return E_NOINTERFACE;
    return handOut(static_cast<IMoniker*>(this), object);
  }

  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP IsDirty() override { return S_FALSE; }
  STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
  STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP BindToObject(IBindCtx*, IMoniker*, REFIID, void** object) override { return notBindable(object); }
  STDMETHODIMP BindToStorage(IBindCtx*, IMoniker*, REFIID, void** object) override { return notBindable(object); }
  STDMETHODIMP Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP ComposeWith(IMoniker*, BOOL, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP Enum(BOOL, IEnumMoniker** enumerator) override {
    if (enumerator == nullptr) return E_POINTER;
    *enumerator = nullptr;  // no sub-monikers
    return S_OK;
  }
  STDMETHODIMP IsEqual(IMoniker* other) override {
    if (other == nullptr) return E_INVALIDARG;
    return displayNameOf(other) == displayName_ ? S_OK : S_FALSE;
  }
  STDMETHODIMP Hash(DWORD* hash) override {
    if (hash == nullptr) return E_POINTER;
    *hash = static_cast<DWORD>(std::hash<std::wstring>()(displayName_));
    return S_OK;
  }
  STDMETHODIMP IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return S_FALSE; }
  STDMETHODIMP GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
  STDMETHODIMP Inverse(IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) override {
    if (name == nullptr) return E_POINTER;
    const size_t bytes = (displayName_.size() + 1) * sizeof(OLECHAR);
    *name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (*name == nullptr) return E_OUTOFMEMORY;
    displayName_.copy(*name, displayName_.size());
    (*name)[displayName_.size()] = L'\0';
    return S_OK;
  }
  STDMETHODIMP ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP IsSystemMoniker(DWORD* kind) override {
    if (kind == nullptr) return E_POINTER;
    *kind = 0;  // MKSYS_NONE
    return S_FALSE;
  }

  static std::wstring displayNameOf(IMoniker* moniker) {
    LPOLESTR text = nullptr;
    if (FAILED(moniker->GetDisplayName(nullptr, nullptr, &text)) || text == nullptr) return std::wstring();
    std::wstring name(text);
    CoTaskMemFree(text);
    return name;
  }

 protected:
  const std::wstring& displayName() const { return displayName_; }

 private:
  static HRESULT notBindable(void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    return E_NOTIMPL;
  }

  const std::wstring displayName_;
};

}  // namespace kcm::com
