#include "CaptureFilter.h"

#include <cstring>

#include "DevicePages.h"
#include "uuids.h"

namespace kcm::devices {

CaptureFilter::CaptureFilter(LPCWSTR friendlyName, LPCWSTR devicePath, REFCLSID clsid)
    : CBaseFilter(NAME("capture filter"), nullptr, &lock_, clsid), friendlyName_(friendlyName), devicePath_(devicePath) {}

// The pins go before the base filter's members they point at.
CaptureFilter::~CaptureFilter() { pins_.clear(); }

STDMETHODIMP CaptureFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IAMFilterMiscFlags) return GetInterface(static_cast<IAMFilterMiscFlags*>(this), object);
  if (iid == IID_ISpecifyPropertyPages) return GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
  if (iid == IID_IKcmPropertyText) return GetInterface(static_cast<IKcmPropertyText*>(this), object);
  return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

CBasePin* CaptureFilter::GetPin(int index) {
  return index >= 0 && index < GetPinCount() ? pins_[static_cast<size_t>(index)].get() : nullptr;
}

STDMETHODIMP CaptureFilter::GetState(DWORD milliseconds, FILTER_STATE* state) {
  const HRESULT hr = CBaseFilter::GetState(milliseconds, state);
  return SUCCEEDED(hr) && *state == State_Paused ? VFW_S_CANT_CUE : hr;
}

STDMETHODIMP CaptureFilter::Pause() {
  for (CapturePin* pin : capturePins_) pin->hold();
  const HRESULT hr = CBaseFilter::Pause();
  return hr == S_OK ? VFW_S_CANT_CUE : hr;
}

STDMETHODIMP CaptureFilter::GetPages(CAUUID* pages) { return describePages(pages, CLSID_KcmCaptureDevicePage); }

STDMETHODIMP CaptureFilter::GetPropertyText(LPOLESTR* text) {
  std::wstring description = L"Device: " + friendlyName_ + L"\nPath: " + devicePath_ + L"\n";
  CAutoLock hold(&lock_);
  for (CapturePin* pin : capturePins_) description += pin->source().describe();
  return copyPropertyText(description, text);
}

CapturePin* CaptureFilter::addCapturePin(LPCWSTR name, std::unique_ptr<CaptureSource> source, REFGUID category,
                                         HRESULT* result) {
  auto pin = std::make_unique<CapturePin>(this, &lock_, name, std::move(source), category, result);
  CapturePin* added = pin.get();
  capturePins_.push_back(added);
  pins_.push_back(std::move(pin));
  return added;
}

AnalogInputPin::AnalogInputPin(CBaseFilter* filter, CCritSec* lock, LPCWSTR name, REFGUID majorType, HRESULT* result)
    : CBasePin(NAME("analog input pin"), filter, lock, result, name, PINDIR_INPUT), majorType_(majorType) {}

STDMETHODIMP AnalogInputPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IKsPropertySet) return GetInterface(static_cast<IKsPropertySet*>(this), object);
  return CBasePin::NonDelegatingQueryInterface(iid, object);
}

HRESULT AnalogInputPin::CheckMediaType(const CMediaType* type) {
  CheckPointer(type, E_POINTER);
  return *type->Type() == majorType_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT AnalogInputPin::GetMediaType(int position, CMediaType* type) {
  CheckPointer(type, E_POINTER);
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  type->InitMediaType();
  type->SetType(&majorType_);
  return S_OK;
}

STDMETHODIMP AnalogInputPin::Set(REFGUID set, DWORD, void*, DWORD, void*, DWORD) {
  return set == AMPROPSETID_Pin ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;
}

STDMETHODIMP AnalogInputPin::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataLength, DWORD* returned) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  CheckPointer(data, E_POINTER);
  if (dataLength < sizeof(GUID)) return E_UNEXPECTED;
  std::memcpy(data, &PIN_CATEGORY_ANALOGVIDEOIN, sizeof(GUID));
  if (returned != nullptr) *returned = sizeof(GUID);
  return S_OK;
}

STDMETHODIMP AnalogInputPin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (support != nullptr) *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

AnalogPin::AnalogPin(CBaseFilter* filter, CCritSec* lock, LPCWSTR name, PIN_DIRECTION direction, REFGUID majorType,
                     HRESULT* result)
    : CBasePin(NAME("analog pin"), filter, lock, result, name, direction), majorType_(majorType) {}

HRESULT AnalogPin::CheckMediaType(const CMediaType* type) {
  CheckPointer(type, E_POINTER);
  return *type->Type() == majorType_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT AnalogPin::GetMediaType(int position, CMediaType* type) {
  CheckPointer(type, E_POINTER);
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  type->InitMediaType();
  type->SetType(&majorType_);
  return S_OK;
}

}  // namespace kcm::devices
