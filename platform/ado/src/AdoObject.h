// The COM plumbing every ADO object shares: reference counting, QueryInterface for
// IUnknown, IDispatch and its own interface, and IDispatch without type information.
#pragma once

#include <atomic>
#include <utility>

#include "adoint.h"

namespace kcm::ado {

template <class Interface>
class AdoObject : public Interface {
 public:
  explicit AdoObject(REFIID iid) : iid_(iid) {}
  AdoObject(const AdoObject&) = delete;
  AdoObject& operator=(const AdoObject&) = delete;
  virtual ~AdoObject() = default;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != iid_) return E_NOINTERFACE;
    this->AddRef();
    *object = static_cast<Interface*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // True when the caller's reference is the only one: nobody else can reach the object.
  bool IsSoleReference() const { return references_.load(std::memory_order_acquire) == 1; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

  // Late binding is not offered: callers use the interfaces directly.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

 private:
  const IID& iid_;
  std::atomic<ULONG> references_{1};
};

// An owning interface pointer (one reference).
template <class Interface>
class Ref {
 public:
  Ref() = default;
  // Takes over the reference `object` carries.
  explicit Ref(Interface* object) : object_(object) {}
  Ref(const Ref& other) : object_(other.object_) {
    if (object_ != nullptr) object_->AddRef();
  }
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~Ref() {
    if (object_ != nullptr) object_->Release();
  }
  Interface* get() const { return object_; }
  Interface* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Hands this reference out as *out, leaving this empty.
  template <class Out>
  HRESULT MoveTo(Out** out) {
    if (out == nullptr) return E_POINTER;
    *out = std::exchange(object_, nullptr);
    return S_OK;
  }
  // Hands out one more reference as *out.
  template <class Out>
  HRESULT CopyTo(Out** out) const {
    if (out == nullptr) return E_POINTER;
    if (object_ != nullptr) object_->AddRef();
    *out = object_;
    return S_OK;
  }

 private:
  Interface* object_ = nullptr;
};

// Runs `body`, turning an escaping std::bad_alloc into E_OUTOFMEMORY and anything else
// into E_UNEXPECTED: no exception crosses a COM method.
template <class Body>
HRESULT Guarded(Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace kcm::ado
