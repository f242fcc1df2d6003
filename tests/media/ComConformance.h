// COM conformance checks in the manner of Wine's tests: which interfaces an object
// answers and refuses (failures name the caller's line), reference counts after each
// call, and aggregation through a fake outer object.
#pragma once

#include <gtest/gtest.h>

#include "objbase.h"

namespace kcm_test {

// A new in-process object of `clsid`, asked for `iid` (null, with a failure, when refused).
template <class Interface>
Interface* Create(REFCLSID clsid, REFIID iid) {
  Interface* object = nullptr;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object)), S_OK);
  return object;
}

// `object`'s `iid` with a reference (null, with a failure, when refused).
template <class Interface>
Interface* Query(IUnknown* object, REFIID iid) {
  Interface* answer = nullptr;
  EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&answer)), S_OK);
  return answer;
}

// The object's current count, as AddRef/Release report it.
inline ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// Whether `object` answers `iid`; an answer must hold a reference that is given back,
// and a refusal must clear the out-parameter.
inline void CheckInterface(int line, IUnknown* object, REFIID iid, bool supported) {
  SCOPED_TRACE(testing::Message() << "interface check at line " << line);
  void* answer = reinterpret_cast<void*>(0x1);
  const HRESULT hr = object->QueryInterface(iid, &answer);
  if (supported) {
    ASSERT_EQ(hr, S_OK);
    ASSERT_NE(answer, nullptr);
    static_cast<IUnknown*>(answer)->Release();
  } else {
    EXPECT_EQ(hr, E_NOINTERFACE);
    EXPECT_EQ(answer, nullptr);
  }
}
#define KCM_CHECK_INTERFACE(object, iid, supported) ::kcm_test::CheckInterface(__LINE__, (object), (iid), (supported))

// Every query for IUnknown through any of the given interfaces answers one pointer.
inline void CheckIdentity(int line, IUnknown* object, REFIID other) {
  SCOPED_TRACE(testing::Message() << "identity check at line " << line);
  IUnknown* first = nullptr;
  IUnknown* viaOther = nullptr;
  IUnknown* second = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&first)), S_OK);
  ASSERT_EQ(object->QueryInterface(other, reinterpret_cast<void**>(&viaOther)), S_OK);
  ASSERT_EQ(viaOther->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
  EXPECT_EQ(first, second);
  first->Release();
  viaOther->Release();
  second->Release();
}
#define KCM_CHECK_IDENTITY(object, other) ::kcm_test::CheckIdentity(__LINE__, (object), (other))

// A fake outer object for aggregation tests: it counts its own references, answers
// IUnknown itself and hands every other query to the inner object's non-delegating
// IUnknown, once one is set.
class TestOuterUnknown : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    ++queries;
    if (iid == IID_IUnknown) {
      *object = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    if (inner != nullptr) return inner->QueryInterface(iid, object);
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++count; }
  STDMETHODIMP_(ULONG) Release() override { return --count; }

  ULONG count = 1;
  int queries = 0;
  IUnknown* inner = nullptr;  // the inner object's non-delegating IUnknown, not held
};

}  // namespace kcm_test
