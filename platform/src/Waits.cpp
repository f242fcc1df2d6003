// WaitForSingleObject and WaitForMultipleObjects.
#include "Waits.h"

#include <algorithm>

#include "HandleTable.h"
#include "synchapi.h"

namespace kcm::kernel {

namespace {

constexpr int kNothingAcquired = -1;

bool containsDuplicates(const WaitableList& objects) {
  std::vector<WaitableObject*> sorted;
  for (const auto& object : objects) sorted.push_back(object.get());
  std::sort(sorted.begin(), sorted.end());
  return std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end();
}

int acquireFirstSignaled(const WaitableList& objects) {
  for (size_t index = 0; index < objects.size(); ++index) {
    if (objects[index]->isSignaled()) {
      objects[index]->acquire();
      return static_cast<int>(index);
    }
  }
  return kNothingAcquired;
}

// Takes nothing unless every object is signalled, then takes them all at once.
int acquireAllSignaled(const WaitableList& objects) {
  for (const auto& object : objects) {
    if (!object->isSignaled()) return kNothingAcquired;
  }
  for (const auto& object : objects) object->acquire();
  return 0;
}

DWORD failWait(DWORD error) {
  SetLastError(error);
  return WAIT_FAILED;
}

}  // namespace

bool resolveWaitHandles(DWORD count, const HANDLE* handles, bool waitAll, WaitableList* objects) {
  if (count > 0 && !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  objects->clear();
  for (DWORD index = 0; index < count; ++index) {
    std::shared_ptr<WaitableObject> object = lookupShared<WaitableObject>(handles[index]);
    if (!object) return false;
    objects->push_back(std::move(object));
  }
  if (waitAll && containsDuplicates(*objects)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

DWORD waitForObjects(const WaitableList& objects, bool waitAll, DWORD milliseconds) {
  std::vector<DispatcherObject*> blockOn;
  for (const auto& object : objects) blockOn.push_back(object.get());
  int acquired = kNothingAcquired;
  DispatcherLock lock;
  const bool satisfied = waitUntil(lock, blockOn, milliseconds, [&] {
    acquired = waitAll ? acquireAllSignaled(objects) : acquireFirstSignaled(objects);
    return acquired != kNothingAcquired;
  });
  return satisfied ? WAIT_OBJECT_0 + static_cast<DWORD>(acquired) : WAIT_TIMEOUT;
}

}  // namespace kcm::kernel

using namespace kcm::kernel;

DWORD WINAPI WaitForMultipleObjectsEx(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds,
                                      BOOL /*alertable*/) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS) return failWait(ERROR_INVALID_PARAMETER);
  WaitableList waitables;
  if (!resolveWaitHandles(count, objects, waitAll, &waitables)) return WAIT_FAILED;
  return waitForObjects(waitables, waitAll, milliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds) {
  return WaitForMultipleObjectsEx(count, objects, waitAll, milliseconds, FALSE);
}

DWORD WINAPI WaitForSingleObjectEx(HANDLE object, DWORD milliseconds, BOOL alertable) {
  return WaitForMultipleObjectsEx(1, &object, FALSE, milliseconds, alertable);
}

DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return WaitForMultipleObjectsEx(1, &object, FALSE, milliseconds, FALSE);
}
