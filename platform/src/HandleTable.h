// The process-wide table that turns HANDLE values into kernel objects.
#pragma once

#include <atomic>
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
  // The same, without the table's lock or a new reference when the calling thread looked
  // this handle up last and no handle has been closed since: hot paths (a completion
  // port's producer and consumer) then share no lock here. The object is kept alive by
  // the calling thread's cache until its next lookup.
  KernelObject* findCached(HANDLE handle) const;
  // Answers the removed object, null when the handle was not open.
  std::shared_ptr<KernelObject> remove(HANDLE handle);

 private:
  HandleTable() = default;

  mutable AdaptiveMutex mutex_;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> entries_;  // guarded by mutex_
  uintptr_t lastValue_ = 0;                                              // guarded by mutex_
  std::atomic<uint64_t> removals_{0};  // how many handles were ever closed
};

const HANDLE kCurrentProcessPseudoHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
const HANDLE kCurrentThreadPseudoHandle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

inline bool isPseudoHandle(HANDLE handle) {
  return handle == kCurrentProcessPseudoHandle || handle == kCurrentThreadPseudoHandle;
}

// The object behind `handle` if it is a T; otherwise null, with ERROR_INVALID_HANDLE.
// Valid until the calling thread looks up another handle (see findCached); a caller that
// keeps several objects at once takes them with lookupShared.
template <class T>
T* lookupHandle(HANDLE handle) {
  T* object = dynamic_cast<T*>(HandleTable::instance().findCached(handle));
  if (object == nullptr) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// As lookupHandle, holding its own reference.
template <class T>
std::shared_ptr<T> lookupShared(HANDLE handle) {
  std::shared_ptr<T> object = std::dynamic_pointer_cast<T>(HandleTable::instance().find(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

// Registers a new object and answers its first handle.
inline HANDLE openHandle(std::shared_ptr<KernelObject> object) {
  return HandleTable::instance().insert(std::move(object));
}

}  // namespace kcm::kernel
