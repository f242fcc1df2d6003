// A small interface of the IUnknownEx family, served by the test module's factory.
#pragma once

#include "KestroUnknownEx.h"

// {6B1E4F0A-3C2D-4E5F-8A9B-0C1D2E3F4A5B}
DEFINE_GUID(IID_ITestCounter, 0x6B1E4F0A, 0x3C2D, 0x4E5F, 0x8A, 0x9B, 0x0C, 0x1D, 0x2E, 0x3F, 0x4A, 0x5B);

class ITestCounter : public IUnknownEx {
 public:
  virtual int Increment() = 0;

 protected:
  ~ITestCounter() = default;
};

extern "C" {
// The factory, with the shape of the library's Create… exports.
typedef void* (*CreateTestCounterFn)(const GUID& iid, unsigned long version);
// Objects of the module alive right now: a failed creation must leave none behind.
typedef int (*LiveTestCountersFn)();
}
