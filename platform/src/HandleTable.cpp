// The handle table, CloseHandle and DuplicateHandle.
#include "HandleTable.h"

#include "Thread.h"
#include "handleapi.h"

namespace kcm::kernel {

HandleTable& HandleTable::instance() {
  // Never destroyed: threads may still close handles while the process exits.
  static HandleTable* const table = new HandleTable;
  return *table;
}

HANDLE HandleTable::insert(std::shared_ptr<KernelObject> object) {
  object->addHandle();
  std::lock_guard<AdaptiveMutex> lock(mutex_);
  lastValue_ += 4;
  entries_.emplace(lastValue_, std::move(object));
  return reinterpret_cast<HANDLE>(lastValue_);
}

std::shared_ptr<KernelObject> HandleTable::find(HANDLE handle) const {
  if (handle == kCurrentThreadPseudoHandle) return currentThreadObject();
  std::lock_guard<AdaptiveMutex> lock(mutex_);
  auto entry = entries_.find(reinterpret_cast<uintptr_t>(handle));
  return entry == entries_.end() ? nullptr : entry->second;
}

KernelObject* HandleTable::findCached(HANDLE handle) const {
  struct LastLookup {
    HANDLE handle = nullptr;
    uint64_t removals = 0;
    std::shared_ptr<KernelObject> object;
  };
  thread_local LastLookup last;
  if (isPseudoHandle(handle)) {
    thread_local std::shared_ptr<KernelObject> pseudo;  // the caller's own thread object
    pseudo = find(handle);
    return pseudo.get();
  }
  // Read before the lookup: a handle closed meanwhile makes the next hit a miss.
  const uint64_t removals = removals_.load(std::memory_order_acquire);
  if (last.object && last.handle == handle && last.removals == removals) return last.object.get();
  last.object = find(handle);
  last.handle = handle;
  last.removals = removals;
  return last.object.get();
}

std::shared_ptr<KernelObject> HandleTable::remove(HANDLE handle) {
  std::shared_ptr<KernelObject> object;
  {
    std::lock_guard<AdaptiveMutex> lock(mutex_);
    auto entry = entries_.find(reinterpret_cast<uintptr_t>(handle));
    if (entry == entries_.end()) return nullptr;
    object = std::move(entry->second);
    entries_.erase(entry);
    removals_.fetch_add(1, std::memory_order_release);
  }
  // Outside the table's lock: the object's reaction may take other locks.
  object->releaseHandle();
  return object;
}

}  // namespace kcm::kernel

using namespace kcm::kernel;

BOOL WINAPI CloseHandle(HANDLE object) {
  // Windows accepts closing a pseudo handle and does nothing.
  if (isPseudoHandle(object)) return TRUE;
  if (!HandleTable::instance().remove(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target,
                            DWORD /*desiredAccess*/, BOOL /*inheritHandle*/, DWORD options) {
  if (sourceProcess != kCurrentProcessPseudoHandle || targetProcess != kCurrentProcessPseudoHandle) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::shared_ptr<KernelObject> object = HandleTable::instance().find(source);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (target) *target = openHandle(object);
  if ((options & DUPLICATE_CLOSE_SOURCE) && !isPseudoHandle(source)) HandleTable::instance().remove(source);
  return TRUE;
}
