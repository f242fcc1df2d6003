// Reference counting shared by the platform's own COM objects.
#pragma once

#include <atomic>

#include "unknwn.h"

namespace kcm::com {

// Implements AddRef/Release for `Interfaces...` (the first one answers IID_IUnknown in
// the derived class's QueryInterface). The object deletes itself on its last Release.
template <class... Interfaces>
class RefCounted : public Interfaces... {
 public:
  RefCounted() = default;
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;
  virtual ~RefCounted() = default;

  STDMETHODIMP_(ULONG) AddRef() override { return references_.fetch_add(1, std::memory_order_relaxed) + 1; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 private:
  std::atomic<ULONG> references_{1};
};

// Hands out `object` as `*out` with one more reference; S_OK.
template <class Interface>
HRESULT handOut(Interface* object, void** out) {
  object->AddRef();
  *out = object;
  return S_OK;
}

}  // namespace kcm::com
