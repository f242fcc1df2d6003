// A capture device as a filter: its pins (capture pins and, for analog devices, an
// analog video input fed by a crossbar), the source flag, the device page and the live
// source's states (a paused capture filter delivers nothing: VFW_S_CANT_CUE).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CapturePin.h"
#include "capturegraph.h"

namespace kcm::devices {

class CaptureFilter : public CBaseFilter, public IAMFilterMiscFlags, public ISpecifyPropertyPages, public IKcmPropertyText {
 public:
  CaptureFilter(LPCWSTR friendlyName, LPCWSTR devicePath, REFCLSID clsid);
  ~CaptureFilter() override;

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

  int GetPinCount() override { return static_cast<int>(pins_.size()); }
  CBasePin* GetPin(int index) override;

  STDMETHODIMP GetState(DWORD milliseconds, FILTER_STATE* state) override;
  STDMETHODIMP Pause() override;

  STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }
  STDMETHODIMP GetPages(CAUUID* pages) override;
  STDMETHODIMP GetPropertyText(LPOLESTR* text) override;

  // Adds a capture pin over `source` (the filter's lock guards it).
  CapturePin* addCapturePin(LPCWSTR name, std::unique_ptr<CaptureSource> source, REFGUID category, HRESULT* result);
  void addPin(std::unique_ptr<CBasePin> pin) { pins_.push_back(std::move(pin)); }
  CCritSec* filterLock() { return &lock_; }

 private:
  CCritSec lock_;
  const std::wstring friendlyName_;
  const std::wstring devicePath_;
  std::vector<std::unique_ptr<CBasePin>> pins_;
  std::vector<CapturePin*> capturePins_;
};

// An input pin that takes an analog signal (MEDIATYPE_AnalogVideo or _AnalogAudio) from
// an upstream crossbar; the pin category says which (PIN_CATEGORY_ANALOGVIDEOIN).
class AnalogInputPin : public CBasePin, public IKsPropertySet {
 public:
  AnalogInputPin(CBaseFilter* filter, CCritSec* lock, LPCWSTR name, REFGUID majorType, HRESULT* result);

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }

  STDMETHODIMP Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, void* instance, DWORD instanceLength, void* data, DWORD dataLength,
                   DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

 private:
  const GUID majorType_;
};

// An output pin of an analog signal (a crossbar's output, or a physical connector).
class AnalogPin : public CBasePin {
 public:
  AnalogPin(CBaseFilter* filter, CCritSec* lock, LPCWSTR name, PIN_DIRECTION direction, REFGUID majorType,
            HRESULT* result);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }

 private:
  const GUID majorType_;
};

}  // namespace kcm::devices
