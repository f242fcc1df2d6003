// The system device enumerator: device monikers over the capture devices of the device
// module and of the process's own registrations (KestroCaptureDevices.h).
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "ComObject.h"
#include "KestroCaptureDevices.h"
#include "MonikerBase.h"
#include "libloaderapi.h"
#include "objbase.h"
#include "ocidl.h"
#include "oleauto.h"
#include "uuids.h"

namespace {

using kcm::com::handOut;
using kcm::com::RefCounted;

struct DeviceEntry {
  CLSID category;
  std::wstring friendlyName;
  std::wstring devicePath;
  KcmOpenCaptureDevice open;
};

std::mutex registrationsLock;
std::vector<DeviceEntry>& registrations() {
  static std::vector<DeviceEntry> entries;
  return entries;
}

// The module's listing function, or null when the module is not there. Loaded once and
// kept: its filters may outlive any one enumeration.
KcmListCaptureDevicesFunction moduleListing() {
  static const KcmListCaptureDevicesFunction listing = []() -> KcmListCaptureDevicesFunction {
    HMODULE module = LoadLibraryW(L"KestroDevices.dll");
    if (module == nullptr) return nullptr;
    return reinterpret_cast<KcmListCaptureDevicesFunction>(GetProcAddress(module, "KcmListModuleCaptureDevices"));
  }();
  return listing;
}

std::vector<DeviceEntry> devicesOf(REFCLSID category) {
  std::vector<DeviceEntry> devices;
  if (KcmListCaptureDevicesFunction listing = moduleListing()) {
    listing(
        category,
        [](void* context, LPCWSTR friendlyName, LPCWSTR devicePath, KcmOpenCaptureDevice open) {
          if (friendlyName == nullptr || devicePath == nullptr || open == nullptr) return;
          static_cast<std::vector<DeviceEntry>*>(context)->push_back(DeviceEntry{GUID_NULL, friendlyName, devicePath, open});
        },
        &devices);
  }
  std::lock_guard<std::mutex> hold(registrationsLock);
  for (const DeviceEntry& entry : registrations()) {
    if (entry.category == category) devices.push_back(entry);
  }
  return devices;
}

// "FriendlyName" and "DevicePath" as BSTRs (or converted to the type asked for).
class DevicePropertyBag final : public RefCounted<IPropertyBag> {
 public:
  explicit DevicePropertyBag(const DeviceEntry& device) : device_(device) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IPropertyBag) return E_NOINTERFACE;
    return handOut(static_cast<IPropertyBag*>(this), object);
  }
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (name == nullptr || value == nullptr) return E_POINTER;
    const std::wstring* text = valueOf(name);
    if (text == nullptr) return E_INVALIDARG;
    VARIANT found;
    VariantInit(&found);
    found.vt = VT_BSTR;
    found.bstrVal = SysAllocString(text->c_str());
    if (found.bstrVal == nullptr) return E_OUTOFMEMORY;
    // value->vt on entry only names the type wanted: whatever else it holds is not ours.
    if (value->vt == VT_EMPTY || value->vt == VT_BSTR) {
      *value = found;
      return S_OK;
    }
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, &found, 0, value->vt);
    VariantClear(&found);
    if (SUCCEEDED(hr)) *value = converted;
    return hr;
  }
  STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_ACCESSDENIED; }  // devices describe themselves

 private:
  const std::wstring* valueOf(LPCOLESTR name) const {
    if (wcscmp(name, L"FriendlyName") == 0) return &device_.friendlyName;
    if (wcscmp(name, L"DevicePath") == 0) return &device_.devicePath;
    return nullptr;
  }

  const DeviceEntry device_;
};

class DeviceMoniker final : public kcm::com::MonikerBase {
 public:
  explicit DeviceMoniker(DeviceEntry device)
      : MonikerBase(KCM_DEVICE_DISPLAY_NAME_PREFIX + device.devicePath), device_(std::move(device)) {}

  STDMETHODIMP BindToObject(IBindCtx*, IMoniker*, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    IBaseFilter* filter = nullptr;
    const HRESULT hr = device_.open(device_.devicePath.c_str(), &filter);
    if (FAILED(hr)) return hr;
    if (filter == nullptr) return E_FAIL;
    const HRESULT query = filter->QueryInterface(iid, object);
    filter->Release();
    return query;
  }
  STDMETHODIMP BindToStorage(IBindCtx*, IMoniker*, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    IPropertyBag* bag = new DevicePropertyBag(device_);
    const HRESULT hr = bag->QueryInterface(iid, object);
    bag->Release();
    return hr;
  }

 private:
  const DeviceEntry device_;
};

class DeviceMonikerEnumerator final : public RefCounted<IEnumMoniker> {
 public:
  DeviceMonikerEnumerator(std::vector<DeviceEntry> devices, size_t position)
      : devices_(std::move(devices)), position_(position) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IEnumMoniker) return E_NOINTERFACE;
    return handOut(static_cast<IEnumMoniker*>(this), object);
  }
  STDMETHODIMP Next(ULONG count, IMoniker** monikers, ULONG* fetched) override {
    if (monikers == nullptr) return E_POINTER;
    if (count > 1 && fetched == nullptr) return E_INVALIDARG;
    ULONG given = 0;
    std::lock_guard<std::mutex> hold(lock_);
    while (given < count && position_ < devices_.size()) monikers[given++] = new DeviceMoniker(devices_[position_++]);
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    std::lock_guard<std::mutex> hold(lock_);
    const size_t left = devices_.size() - position_;
    position_ += std::min<size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    std::lock_guard<std::mutex> hold(lock_);
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumMoniker** enumerator) override {
    if (enumerator == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> hold(lock_);
    *enumerator = new DeviceMonikerEnumerator(devices_, position_);
    return S_OK;
  }

 private:
  std::mutex lock_;
  const std::vector<DeviceEntry> devices_;
  size_t position_;
};

class SystemDeviceEnum final : public RefCounted<ICreateDevEnum> {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_ICreateDevEnum) return E_NOINTERFACE;
    return handOut(static_cast<ICreateDevEnum*>(this), object);
  }
  STDMETHODIMP CreateClassEnumerator(REFCLSID category, IEnumMoniker** enumerator, DWORD) override {
    if (enumerator == nullptr) return E_POINTER;
    *enumerator = nullptr;
    std::vector<DeviceEntry> devices = devicesOf(category);
    if (devices.empty()) return S_FALSE;
    *enumerator = new DeviceMonikerEnumerator(std::move(devices), 0);
    return S_OK;
  }
};

HRESULT createSystemDeviceEnum(IUnknown*, REFIID iid, void** object) {
  ICreateDevEnum* enumerator = new SystemDeviceEnum();
  const HRESULT hr = enumerator->QueryInterface(iid, object);
  enumerator->Release();
  return hr;
}

const KcmCoClassRegistration systemDeviceEnumRegistration(CLSID_SystemDeviceEnum, &createSystemDeviceEnum);

}  // namespace

void WINAPI KcmRegisterCaptureDevice(REFCLSID category, LPCWSTR friendlyName, LPCWSTR devicePath,
                                     KcmOpenCaptureDevice open) {
  if (friendlyName == nullptr || devicePath == nullptr || open == nullptr) return;
  std::lock_guard<std::mutex> hold(registrationsLock);
  for (DeviceEntry& entry : registrations()) {
    if (entry.devicePath == devicePath) {
      entry = DeviceEntry{category, friendlyName, devicePath, open};
      return;
    }
  }
  registrations().push_back(DeviceEntry{category, friendlyName, devicePath, open});
}

void WINAPI KcmRevokeCaptureDevice(LPCWSTR devicePath) {
  if (devicePath == nullptr) return;
  std::lock_guard<std::mutex> hold(registrationsLock);
  std::vector<DeviceEntry>& entries = registrations();
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (it->devicePath == devicePath) {
      entries.erase(it);
      return;
    }
  }
}
