// The IUnknownEx behaviour every object of the library shares: always valid, destroyed
// by Ex_Release, and answering its own interface (then IUnknownEx) to accepted versions.
#pragma once

#include "KestroUnknownEx.h"

template <class Interface, const GUID& OwnIid>
class CUnknownExObject : public Interface {
 public:
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override {
    if (Ex_IsValid()) delete this;
    return true;
  }
  void* Ex_QueryInterface(const GUID& iid, unsigned long version) override {
    return QueryUnknownEx<Interface>(this, OwnIid, iid, version);
  }
  // Declared after the interface's operations, so their slots keep their order.
  virtual ~CUnknownExObject() = default;
};
