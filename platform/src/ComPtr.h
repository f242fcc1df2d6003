// An owning interface pointer for the platform's own code: releases on scope exit.
#pragma once

#include <utility>

#include "unknwn.h"

namespace kcm::com {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes a new reference on `object`.
  explicit ComPtr(T* object) : object_(object) {
    if (object_ != nullptr) object_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.object_) {}
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Adopts a reference the caller already owns.
  static ComPtr adopt(T* object) {
    ComPtr pointer;
    pointer.object_ = object;
    return pointer;
  }

  void reset() {
    if (object_ != nullptr) std::exchange(object_, nullptr)->Release();
  }
  // For out parameters: the slot receives a reference this pointer then owns.
  T** receive() {
    reset();
    return &object_;
  }
  void** receiveVoid() { return reinterpret_cast<void**>(receive()); }
  // Gives the reference to the caller.
  T* detach() { return std::exchange(object_, nullptr); }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

}  // namespace kcm::com
