// The process-wide table that turns HANDLE values into kernel objects.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <unordered_map>

#include "AdaptiveMutex.h"
#include "KernelObject.h"
#include "errhandlingapi.h"
#include "winerror.h"

namespace kcm::kernel {

// Handle values are increasing multiples of 4 and never reused, so a stale handle is
// refused instead of silently naming a newer object. Lookups copy the shared_ptr under
// the table's lock: the object then survives a concurrent CloseHandle for as long as
// the caller uses it (for example during a wait).
class HandleTable {
 public:
  static HandleTable& instance();

  HANDLE insert(std::shared_ptr<KernelObject> object);
  // Resolves GetCurrentThread() to the caller's thread object; null when unknown.
  std::shared_ptr<KernelObject> find(HANDLE handle) const;
  // Answers the removed object, null when the handle was not open.
  std::shared_ptr<KernelObject> remove(HANDLE handle);

 private:
  HandleTable() = default;

  mutable AdaptiveMutex mutex_;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> entries_;  // guarded by mutex_
  uintptr_t lastValue_ = 0;                                              // guarded by mutex_
};

const HANDLE kCurrentProcessPseudoHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
const HANDLE kCurrentThreadPseudoHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

inline bool isPseudoHandle(HANDLE handle) {
  return handle == kCurrentProcessPseudoHandle || handle == kCurrentThreadPseudoHandle;
}

// An object found by its handle, kept alive while the reference lives. Unlike a
// shared_ptr<T> cast from the table's entry, it takes no second reference count.
template <class T>
class ObjectRef {
 public:
  ObjectRef(std::shared_ptr<KernelObject> owner, T* object) : owner_(std::move(owner)), object_(object) {}
  explicit operator bool() const { return object_ != nullptr; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  T* get() const { return object_; }
  std::shared_ptr<T> shared() const { return std::shared_ptr<T>(owner_, object_); }

 private:
  std::shared_ptr<KernelObject> owner_;
  T* object_;
};

// The object behind `handle` if it is a T; otherwise null, with ERROR_INVALID_HANDLE.
template <class T>
ObjectRef<T> lookupHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> owner = HandleTable::instance().find(handle);
  T* object = dynamic_cast<T*>(owner.get());
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    owner.reset();
  }
  return ObjectRef<T>(std::move(owner), object);
}

// Registers a new object and answers its first handle.
inline HANDLE openHandle(std::shared_ptr<KernelObject> object) {
  return HandleTable::instance().insert(std::move(object));
}

}  // namespace kcm::kernel
