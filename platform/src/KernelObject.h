// Base of everything a HANDLE can stand for.
#pragma once

#include <atomic>

namespace kcm::kernel {

// Kernel objects are shared: the handle table holds one reference per open handle, a
// wait in progress holds its own, and a thread's object is also held by the thread
// itself. Counting handles separately lets an object react to its last CloseHandle
// (a completion port wakes its waiters) while waits may still reference it.
class KernelObject {
 public:
  KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  virtual ~KernelObject() = default;

  void addHandle() { openHandles_.fetch_add(1); }
  void releaseHandle() {
    if (openHandles_.fetch_sub(1) == 1) onLastHandleClosed();
  }

 protected:
  // Runs on the thread that closed the last handle, with no lock held.
  virtual void onLastHandleClosed() {}

 private:
  std::atomic<int> openHandles_{0};
};

}  // namespace kcm::kernel
