#include <string.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "objbase.h"
#include "oleauto.h"

namespace {

// {6B2B6C63-6F6D-4B31-9A1E-000000000001}: a class only these tests register.
DEFINE_GUID(CLSID_TestCounter, 0x6B2B6C63, 0x6F6D, 0x4B31, 0x9A, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01);
DEFINE_GUID(CLSID_NeverRegistered, 0x6B2B6C63, 0x6F6D, 0x4B31, 0x9A, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02);

std::atomic<int> g_liveObjects{0};

// A plain object answering IUnknown and IPersist; counts how many are alive.
class CountedObject final : public IPersist {
 public:
  CountedObject() { ++g_liveObjects; }
  ~CountedObject() { --g_liveObjects; }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IPersist) return E_NOINTERFACE;
    AddRef();
    *object = static_cast<IPersist*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    *clsid = CLSID_TestCounter;
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
};

HRESULT CreateCountedObject(IUnknown* /*outer*/, REFIID iid, void** object) {
  auto* created = new CountedObject;
  const HRESULT result = created->QueryInterface(iid, object);
  created->Release();
  return result;
}

// Enters COM for the test body and registers the test class.
class ComRuntime : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(KcmCoRegisterClassFunction(CLSID_TestCounter, &CreateCountedObject), S_OK);
  }
  void TearDown() override {
    KcmCoRevokeClass(CLSID_TestCounter);
    CoUninitialize();
    EXPECT_EQ(g_liveObjects.load(), 0);
  }
};

}  // namespace

TEST_F(ComRuntime, CreatesARegisteredClassWithOneReference) {
  IPersist* persist = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IPersist,
                             reinterpret_cast<void**>(&persist)),
            S_OK);
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestCounter);
  EXPECT_EQ(persist->Release(), 0u);
}

TEST_F(ComRuntime, AnswersEachFailureCodeAndClearsTheOutPointer) {
  void* object = &object;
  EXPECT_EQ(CoCreateInstance(CLSID_NeverRegistered, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory, &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(ComRuntime, RefusesAnOuterUnknownWithAnInterfaceOtherThanIUnknown) {
  CountedObject* outer = new CountedObject;
  void* object = &object;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, outer, CLSCTX_INPROC_SERVER, IID_IPersist, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory->CreateInstance(outer, IID_IPersist, &object), CLASS_E_NOAGGREGATION);
  factory->Release();
  outer->Release();
}

TEST_F(ComRuntime, ThreadsOutsideComCannotCreateObjects) {
  std::thread([] {
    void* object = &object;
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoGetClassObject(CLSID_TestCounter, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &object),
              CO_E_NOTINITIALIZED);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
    CoUninitialize();
  }).join();
}

TEST_F(ComRuntime, RevokedAndReplacedRegistrations) {
  EXPECT_EQ(KcmCoRegisterClassFunction(CLSID_TestCounter, &CreateCountedObject), S_FALSE);
  EXPECT_EQ(KcmCoRevokeClass(CLSID_TestCounter), S_OK);
  EXPECT_EQ(KcmCoRevokeClass(CLSID_TestCounter), REGDB_E_CLASSNOTREG);
  void* object = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(KcmCoRegisterClass(CLSID_TestCounter, nullptr), E_POINTER);
  {
    KcmCoClassRegistration scoped(CLSID_NeverRegistered, &CreateCountedObject);
    ASSERT_EQ(CoCreateInstance(CLSID_NeverRegistered, nullptr, CLSCTX_ALL, IID_IUnknown, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
  }
  EXPECT_EQ(CoCreateInstance(CLSID_NeverRegistered, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
}

TEST(TaskMemory, AllocatesReallocatesAndFrees) {
  void* empty = CoTaskMemAlloc(0);
  EXPECT_NE(empty, nullptr) << "a zero-byte block is still a block";
  CoTaskMemFree(empty);
  auto* bytes = static_cast<BYTE*>(CoTaskMemAlloc(4));
  ASSERT_NE(bytes, nullptr);
  memcpy(bytes, "abcd", 4);
  bytes = static_cast<BYTE*>(CoTaskMemRealloc(bytes, 4096));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(memcmp(bytes, "abcd", 4), 0);
  EXPECT_EQ(CoTaskMemRealloc(bytes, 0), nullptr);
  void* fresh = CoTaskMemRealloc(nullptr, 16);
  EXPECT_NE(fresh, nullptr);
  CoTaskMemFree(fresh);
  CoTaskMemFree(nullptr);
}

TEST(Bstr, CarriesItsByteCountBeforeTheCharacters) {
  BSTR text = SysAllocString(L"graph");
  ASSERT_NE(text, nullptr);
  uint32_t prefix = 0;
  memcpy(&prefix, reinterpret_cast<BYTE*>(text) - sizeof prefix, sizeof prefix);
  EXPECT_EQ(prefix, 5 * sizeof(OLECHAR));
  EXPECT_EQ(SysStringLen(text), 5u);
  EXPECT_EQ(SysStringByteLen(text), 5 * sizeof(OLECHAR));
  EXPECT_STREQ(text, L"graph");
  SysFreeString(text);
}

TEST(Bstr, KeepsEmbeddedZerosAndZeroesMissingText) {
  const OLECHAR withZero[] = {L'a', 0, L'b'};
  BSTR text = SysAllocStringLen(withZero, 3);
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(text[2], L'b');
  EXPECT_EQ(text[3], 0);
  SysFreeString(text);
  BSTR blank = SysAllocStringLen(nullptr, 2);
  EXPECT_EQ(blank[0], 0);
  EXPECT_EQ(SysStringLen(blank), 2u);
  SysFreeString(blank);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}
