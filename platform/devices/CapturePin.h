// The output pin of a capture filter: streams what its CaptureSource produces on a
// thread of its own while the filter runs, and offers the capture interfaces hosts
// configure devices with (IAMStreamConfig, IKsPropertySet with the pin category,
// IAMBufferNegotiation).
//
// Live-source rules: samples flow only while the filter runs; a paused filter delivers
// nothing (the filter answers VFW_S_CANT_CUE). The thread starts in Active and is
// joined in Inactive, after the allocator is decommitted so that a waiting
// GetDeliveryBuffer returns.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "CaptureSource.h"
#include "olectl.h"

namespace kcm::devices {

class CapturePin : public CBaseOutputPin,
                   public IAMStreamConfig,
                   public IKsPropertySet,
                   public IAMBufferNegotiation,
                   public ISpecifyPropertyPages,
                   public IKcmPropertyText,
                   public IAMAudioInputMixer {
 public:
  // `source` belongs to the pin. `category` is answered for AMPROPERTY_PIN_CATEGORY.
  CapturePin(CBaseFilter* filter, CCritSec* lock, LPCWSTR name, std::unique_ptr<CaptureSource> source,
             REFGUID category, HRESULT* result);
  ~CapturePin() override;

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // CBasePin / CBaseOutputPin
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT Active() override;
  HRESULT Inactive() override;
  // Samples flow from Run until Inactive or hold.
  HRESULT Run(REFERENCE_TIME start) override;
  void hold() { running_ = false; }

  // IAMStreamConfig. SetFormat needs a stopped filter; a connected pin reconnects.
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
  // An index past the end answers S_FALSE.
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

  // IKsPropertySet: AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY, read only.
  STDMETHODIMP Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, void* instance, DWORD instanceLength, void* data, DWORD dataLength,
                   DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

  // IAMBufferNegotiation: taken into account at the next connection.
  STDMETHODIMP SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* properties) override;
  STDMETHODIMP GetAllocatorProperties(ALLOCATOR_PROPERTIES* properties) override;

  // ISpecifyPropertyPages and the text the property frame shows.
  STDMETHODIMP GetPages(CAUUID* pages) override;
  STDMETHODIMP GetPropertyText(LPOLESTR* text) override;

  // IAMAudioInputMixer, answered by audio pins only. The settings are kept and shown;
  // the sources record at full level whatever they say.
  STDMETHODIMP put_Enable(BOOL enable) override { return store(mixer_.enable, enable); }
  STDMETHODIMP get_Enable(BOOL* enable) override { return load(mixer_.enable, enable); }
  STDMETHODIMP put_Mono(BOOL mono) override { return store(mixer_.mono, mono); }
  STDMETHODIMP get_Mono(BOOL* mono) override { return load(mixer_.mono, mono); }
  STDMETHODIMP put_MixLevel(double level) override { return storeRange(mixer_.level, level, 0.0, 1.0); }
  STDMETHODIMP get_MixLevel(double* level) override { return load(mixer_.level, level); }
  STDMETHODIMP put_Pan(double pan) override { return storeRange(mixer_.pan, pan, -1.0, 1.0); }
  STDMETHODIMP get_Pan(double* pan) override { return load(mixer_.pan, pan); }
  STDMETHODIMP put_Loudness(BOOL loudness) override { return store(mixer_.loudness, loudness); }
  STDMETHODIMP get_Loudness(BOOL* loudness) override { return load(mixer_.loudness, loudness); }
  STDMETHODIMP put_Treble(double treble) override { return storeRange(mixer_.treble, treble, -1.0, 1.0); }
  STDMETHODIMP get_Treble(double* treble) override { return load(mixer_.treble, treble); }
  STDMETHODIMP get_TrebleRange(double* range) override { return load(1.0, range); }
  STDMETHODIMP put_Bass(double bass) override { return storeRange(mixer_.bass, bass, -1.0, 1.0); }
  STDMETHODIMP get_Bass(double* bass) override { return load(mixer_.bass, bass); }
  STDMETHODIMP get_BassRange(double* range) override { return load(1.0, range); }

  CaptureSource& source() { return *source_; }

 private:
  struct MixerSettings {
    BOOL enable = TRUE;
    BOOL mono = FALSE;
    double level = 1.0;
    double pan = 0.0;
    BOOL loudness = FALSE;
    double treble = 0.0;
    double bass = 0.0;
  };
  template <class T>
  HRESULT store(T& field, T value) {
    CAutoLock hold(m_pLock);
    field = value;
    return S_OK;
  }
  HRESULT storeRange(double& field, double value, double lowest, double highest) {
    return value < lowest || value > highest ? E_INVALIDARG : store(field, value);
  }
  template <class T>
  HRESULT load(T value, T* out) {
    CheckPointer(out, E_POINTER);
    *out = value;
    return S_OK;
  }
  bool isAudio() const;
  std::wstring describeMixer() const;

  void stream();
  HRESULT deliverOne();
  CMediaType currentFormat() const;

  std::unique_ptr<CaptureSource> source_;
  const GUID category_;
  CMediaType chosen_;  // set by SetFormat; guarded by the filter lock
  bool hasChosen_ = false;
  ALLOCATOR_PROPERTIES suggested_{-1, -1, -1, -1};
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> running_{false};
  MixerSettings mixer_;  // read by the streaming thread without the filter lock
};

}  // namespace kcm::devices
