// IMediaBuffer over a DirectShow media sample, so that a DMO reads from and writes into
// the samples of the graph's allocators without a copy. Holds one reference on the sample.
#pragma once

#include <atomic>

#include "mediaobj.h"

namespace kcm::dmo {

class SampleMediaBuffer final : public IMediaBuffer {
 public:
  // One reference, the caller's; null when out of memory.
  static SampleMediaBuffer* Create(IMediaSample* sample);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // The sample's actual data length.
  STDMETHODIMP SetLength(DWORD length) override;
  STDMETHODIMP GetMaxLength(DWORD* maxLength) override;
  STDMETHODIMP GetBufferAndLength(BYTE** buffer, DWORD* length) override;

 private:
  explicit SampleMediaBuffer(IMediaSample* sample);
  ~SampleMediaBuffer();

  std::atomic<ULONG> m_references{1};
  IMediaSample* const m_sample;
};

}  // namespace kcm::dmo
