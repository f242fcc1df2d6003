// libKcmTestCounter.so: a module that exports a factory the way the library does.
#include <atomic>

#include "TestCounter.h"
#include "UnknownExFactory.h"

namespace {

std::atomic<int> g_liveCounters{0};

// Deliberately not the interface's first base, so the factory must answer the
// interface part of the object and not its start.
class Padding {
 public:
  virtual ~Padding() = default;
  int padding = 0;
};

class CTestCounter : public Padding, public ITestCounter {
 public:
  CTestCounter() { ++g_liveCounters; }
  ~CTestCounter() override { --g_liveCounters; }

  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override {
    if (Ex_IsValid()) delete this;
    return true;
  }
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override {
    return QueryUnknownEx<ITestCounter>(this, IID_ITestCounter, iid, version);
  }
  int Increment() override { return ++_count; }

 private:
  int _count = 0;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) void* CreateTestCounter(const GUID& iid, unsigned long version) {
  return CreateUnknownExObject<CTestCounter>(iid, version);
}

extern "C" __attribute__((visibility("default"))) int LiveTestCounters() { return g_liveCounters.load(); }
