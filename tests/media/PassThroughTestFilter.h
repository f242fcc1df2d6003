// A pass-through transform filter written for the tests: one input pin, one output pin;
// every sample received is copied, with its times and flags, into a sample of the
// output pin's allocator and delivered. End of stream, flushes and new segments are
// passed on. The output offers exactly the input's type, so it connects only after the
// input has.
#pragma once

#include "streams.h"

namespace kcm_test {

// {6D7F0E51-3C2A-4B8E-9F11-2A6C0D4E8B10}
DEFINE_GUID(CLSID_PassThroughTestFilter, 0x6D7F0E51, 0x3C2A, 0x4B8E, 0x9F, 0x11, 0x2A, 0x6C, 0x0D, 0x4E, 0x8B, 0x10);

class PassThroughTestFilter;

class PassThroughInputPin : public CBaseInputPin {
 public:
  PassThroughInputPin(PassThroughTestFilter* filter, CCritSec* lock, HRESULT* result);

  // Any type with a major type.
  HRESULT CheckMediaType(const CMediaType* type) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  const CMediaType& ConnectionType() const { return m_mt; }
  IMemAllocator* Allocator() { return m_pAllocator; }

 private:
  PassThroughTestFilter* m_passThrough;
};

class PassThroughOutputPin : public CBaseOutputPin {
 public:
  PassThroughOutputPin(PassThroughTestFilter* filter, CCritSec* lock, HRESULT* result);

  // Only the input's type; nothing before the input is connected.
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  // As many buffers as asked, at least 1, each as large as the input's buffers.
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // Copies one sample into a buffer of ours and delivers it.
  HRESULT DeliverCopy(IMediaSample* source);

  IMemAllocator* Allocator() { return m_pAllocator; }

 private:
  PassThroughTestFilter* m_passThrough;
};

class PassThroughTestFilter : public CBaseFilter {
  CCritSec m_lock;  // the filter lock; first, the pins are built with it

 public:
  // The new filter holds one reference, the caller's.
  static PassThroughTestFilter* Create();

  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int index) override;

  PassThroughInputPin input;
  PassThroughOutputPin output;

 private:
  explicit PassThroughTestFilter(HRESULT* result);
};

}  // namespace kcm_test
