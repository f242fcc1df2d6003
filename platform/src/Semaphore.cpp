// Counting semaphores: signalled while the count is above zero; a satisfied wait
// takes one from the count.
#include "Dispatcher.h"
#include "NamedObjects.h"
#include "synchapi.h"

namespace kcm::kernel {

namespace {

class Semaphore final : public WaitableObject {
 public:
  Semaphore(LONG initialCount, LONG maximumCount) : maximum_(maximumCount), count_(initialCount) {}

  bool isSignaled() const override { return count_ > 0; }
  void acquire() override { --count_; }

  // Fails, changing nothing, when the count would pass the maximum.
  bool release(LONG releaseCount, LONG* previousCount) {
    DispatcherLock lock;
    if (static_cast<int64_t>(count_) + releaseCount > maximum_) return false;
    *previousCount = count_;
    count_ += releaseCount;
    wakeWaiters();
    return true;
  }

 private:
  const LONG maximum_;
  LONG count_;  // guarded by the dispatcher lock
};

HANDLE createSemaphore(LONG initialCount, LONG maximumCount, const std::string& name) {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return createNamedObject<Semaphore>(
      name, [&] { return std::make_shared<Semaphore>(initialCount, maximumCount); });
}

}  // namespace

}  // namespace kcm::kernel

using namespace kcm::kernel;

HANDLE WINAPI CreateSemaphoreW(LPSECURITY_ATTRIBUTES /*attributes*/, LONG initialCount, LONG maximumCount,
                               LPCWSTR name) {
  return createSemaphore(initialCount, maximumCount, objectNameFromWide(name));
}

HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES /*attributes*/, LONG initialCount, LONG maximumCount,
                               LPCSTR name) {
  return createSemaphore(initialCount, maximumCount, objectNameFromNarrow(name));
}

BOOL WINAPI ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LPLONG previousCount) {
  auto object = lookupHandle<Semaphore>(semaphore);
  if (!object) return FALSE;
  LONG previous = 0;
  // Windows reports a release past the maximum as ERROR_TOO_MANY_POSTS; our error
  // table does not carry that code, so both bad counts answer ERROR_INVALID_PARAMETER.
  if (releaseCount <= 0 || !object->release(releaseCount, &previous)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (previousCount) *previousCount = previous;
  return TRUE;
}
