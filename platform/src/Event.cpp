// Events: manual-reset (stays signalled until reset) and auto-reset (a satisfied wait
// resets it, so one SetEvent releases exactly one waiter).
#include "Dispatcher.h"
#include "NamedObjects.h"
#include "synchapi.h"

namespace kcm::kernel {

namespace {

class Event final : public WaitableObject {
 public:
  Event(bool manualReset, bool initialState) : manualReset_(manualReset), signaled_(initialState) {}

  bool isSignaled() const override { return signaled_; }
  void acquire() override {
    if (!manualReset_) signaled_ = false;
  }

  void set() {
    DispatcherLock lock;
    signaled_ = true;
    wakeWaiters();
  }
  void reset() {
    DispatcherLock lock;
    signaled_ = false;
  }

 private:
  const bool manualReset_;
  bool signaled_;  // guarded by the dispatcher lock
};

HANDLE createEvent(BOOL manualReset, BOOL initialState, const std::string& name) {
  return createNamedObject<Event>(name, [&] { return std::make_shared<Event>(manualReset, initialState); });
}

}  // namespace

}  // namespace kcm::kernel

using namespace kcm::kernel;

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES /*attributes*/, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  return createEvent(manualReset, initialState, objectNameFromWide(name));
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES /*attributes*/, BOOL manualReset, BOOL initialState, LPCSTR name) {
  return createEvent(manualReset, initialState, objectNameFromNarrow(name));
}

BOOL WINAPI SetEvent(HANDLE event) {
  auto object = lookupHandle<Event>(event);
  if (!object) return FALSE;
  object->set();
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE event) {
  auto object = lookupHandle<Event>(event);
  if (!object) return FALSE;
  object->reset();
  return TRUE;
}
