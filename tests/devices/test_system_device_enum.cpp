// The system device enumerator: categories, monikers, property bags, registrations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DeviceTestSupport.h"
#include "KestroCaptureDevices.h"
#include "ocidl.h"
#include "oleauto.h"
#include "uuids.h"

namespace {

using kcm_test::DeviceGraph;
using kcm_test::DeviceTest;
using kcm_test::TestDevicesSwitch;

struct Listed {
  std::wstring friendlyName;
  std::wstring displayName;
};

// Every device of the category, with the enumerator's answer.
std::vector<Listed> listCategory(REFCLSID category, HRESULT* answer = nullptr) {
  ICreateDevEnum* enumerator = nullptr;
  EXPECT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                   reinterpret_cast<void**>(&enumerator)));
  IEnumMoniker* devices = nullptr;
  const HRESULT hr = enumerator->CreateClassEnumerator(category, &devices, 0);
  if (answer != nullptr) *answer = hr;
  enumerator->Release();
  std::vector<Listed> listed;
  IMoniker* moniker = nullptr;
  while (devices != nullptr && devices->Next(1, &moniker, nullptr) == S_OK) {
    IPropertyBag* bag = nullptr;
    EXPECT_EQ(S_OK, moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)));
    VARIANT name;
    VariantInit(&name);
    EXPECT_EQ(S_OK, bag->Read(L"FriendlyName", &name, nullptr));
    LPOLESTR display = nullptr;
    EXPECT_EQ(S_OK, moniker->GetDisplayName(nullptr, nullptr, &display));
    listed.push_back(Listed{name.bstrVal, display});
    CoTaskMemFree(display);
    VariantClear(&name);
    bag->Release();
    moniker->Release();
  }
  if (devices != nullptr) devices->Release();
  return listed;
}

bool contains(const std::vector<Listed>& listed, const std::wstring& displayName) {
  for (const Listed& device : listed) {
    if (device.displayName == displayName) return true;
  }
  return false;
}

HRESULT openRegisteredDouble(LPCWSTR, IBaseFilter** filter) {
  KcmTestCameraShape shape{};
  return KcmCreateTestPatternCamera(&shape, L"Registered camera double", filter);
}

TEST_F(DeviceTest, TestDevicesAreListedOnlyWhenAsked) {
  EXPECT_TRUE(contains(listCategory(CLSID_VideoInputDeviceCategory), kcm_test::testCameraDisplayName()));
  EXPECT_TRUE(contains(listCategory(CLSID_AudioInputDeviceCategory), kcm_test::testToneDisplayName()));
  {
    TestDevicesSwitch off("0");
    EXPECT_FALSE(contains(listCategory(CLSID_VideoInputDeviceCategory), kcm_test::testCameraDisplayName()));
  }
  {
    TestDevicesSwitch unset(nullptr);
    kcm_test::SettingsFile settings("<KestroCommonModule>\n  <testDevices value=\"1\"/>\n</KestroCommonModule>\n");
    EXPECT_TRUE(contains(listCategory(CLSID_AudioInputDeviceCategory), kcm_test::testToneDisplayName()));
  }
}

// A category nothing lives in answers S_FALSE and no enumerator, as on Windows.
TEST_F(DeviceTest, EmptyCategoryAnswersFalseWithoutEnumerator) {
  HRESULT answer = E_FAIL;
  EXPECT_TRUE(listCategory(CLSID_LegacyAmFilterCategory, &answer).empty());
  EXPECT_EQ(S_FALSE, answer);
}

TEST_F(DeviceTest, MonikerBindsTheDeviceAndDescribesIt) {
  ICreateDevEnum* enumerator = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                   reinterpret_cast<void**>(&enumerator)));
  IEnumMoniker* devices = nullptr;
  ASSERT_EQ(S_OK, enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &devices, 0));
  enumerator->Release();
  IMoniker* camera = nullptr;
  IMoniker* moniker = nullptr;
  while (camera == nullptr && devices->Next(1, &moniker, nullptr) == S_OK) {
    LPOLESTR display = nullptr;
    moniker->GetDisplayName(nullptr, nullptr, &display);
    if (kcm_test::testCameraDisplayName() == display) camera = moniker;
    else moniker->Release();
    CoTaskMemFree(display);
  }
  devices->Release();
  ASSERT_NE(nullptr, camera);

  IPropertyBag* bag = nullptr;
  ASSERT_EQ(S_OK, camera->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(&bag)));
  VARIANT value;
  VariantInit(&value);
  EXPECT_EQ(S_OK, bag->Read(L"DevicePath", &value, nullptr));
  EXPECT_EQ(std::wstring(KCM_TEST_CAMERA_PATH), value.bstrVal);
  VariantClear(&value);
  EXPECT_EQ(E_INVALIDARG, bag->Read(L"NoSuchProperty", &value, nullptr));
  bag->Release();

  IBaseFilter* filter = nullptr;
  ASSERT_EQ(S_OK, camera->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter)));
  IAMFilterMiscFlags* flags = nullptr;
  ASSERT_EQ(S_OK, filter->QueryInterface(IID_IAMFilterMiscFlags, reinterpret_cast<void**>(&flags)));
  EXPECT_EQ(ULONG(AM_FILTER_MISC_FLAGS_IS_SOURCE), flags->GetMiscFlags());
  flags->Release();
  EXPECT_EQ(0u, filter->Release());
  void* none = &none;
  EXPECT_EQ(E_NOINTERFACE, camera->BindToObject(nullptr, nullptr, IID_IStream, &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(0u, camera->Release());
}

TEST_F(DeviceTest, RegisteredDevicesFollowTheModulesUntilRevoked) {
  KcmRegisterCaptureDevice(CLSID_VideoInputDeviceCategory, L"Registered camera double", L"double:one",
                           &openRegisteredDouble);
  std::vector<Listed> listed = listCategory(CLSID_VideoInputDeviceCategory);
  ASSERT_FALSE(listed.empty());
  EXPECT_EQ(L"Registered camera double", listed.back().friendlyName);
  EXPECT_EQ(L"@device:kcm:double:one", listed.back().displayName);
  EXPECT_FALSE(contains(listCategory(CLSID_AudioInputDeviceCategory), L"@device:kcm:double:one"));
  KcmRevokeCaptureDevice(L"double:one");
  EXPECT_FALSE(contains(listCategory(CLSID_VideoInputDeviceCategory), L"@device:kcm:double:one"));
}

HRESULT openVanishedDevice(LPCWSTR, IBaseFilter** filter) {
  *filter = nullptr;
  return VFW_E_NO_CAPTURE_HARDWARE;
}

// A device unplugged between listing and binding: its open failure comes back unchanged.
TEST_F(DeviceTest, VanishedDeviceFailsToBind) {
  KcmRegisterCaptureDevice(CLSID_VideoInputDeviceCategory, L"Unplugged camera double", L"double:gone",
                           &openVanishedDevice);
  DeviceGraph graph;
  IBaseFilter* device = nullptr;
  wchar_t name[] = L"Unplugged camera double";
  wchar_t display[] = L"@device:kcm:double:gone";
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, graph.createDeviceFilter(TRUE, name, display, &device));
  EXPECT_EQ(nullptr, device);
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, graph.createFilter(CLSID_VideoInputDeviceCategory, name, &device));
  KcmRevokeCaptureDevice(L"double:gone");
}

TEST_F(DeviceTest, EnumeratorSkipsResetsAndClones) {
  ICreateDevEnum* enumerator = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                   reinterpret_cast<void**>(&enumerator)));
  IEnumMoniker* devices = nullptr;
  ASSERT_EQ(S_OK, enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &devices, 0));
  enumerator->Release();
  const size_t count = listCategory(CLSID_VideoInputDeviceCategory).size();
  EXPECT_EQ(S_FALSE, devices->Skip(static_cast<ULONG>(count + 1)));
  IMoniker* monikers[2] = {nullptr, nullptr};
  ULONG fetched = 7;
  EXPECT_EQ(S_FALSE, devices->Next(2, monikers, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(S_OK, devices->Reset());
  IEnumMoniker* clone = nullptr;
  ASSERT_EQ(S_OK, devices->Clone(&clone));
  EXPECT_EQ(S_OK, clone->Next(1, monikers, nullptr));
  EXPECT_EQ(S_OK, devices->Next(1, monikers + 1, nullptr));
  EXPECT_EQ(S_OK, monikers[0]->IsEqual(monikers[1]));
  monikers[0]->Release();
  monikers[1]->Release();
  clone->Release();
  devices->Release();
}

}  // namespace
