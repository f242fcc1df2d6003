#include "PassThroughTestFilter.h"

#include <string.h>

#include <algorithm>

namespace kcm_test {

PassThroughInputPin::PassThroughInputPin(PassThroughTestFilter* filter, CCritSec* lock, HRESULT* result)
    : CBaseInputPin(NAME("PassThroughInputPin"), filter, lock, result, L"In"), m_passThrough(filter) {}

HRESULT PassThroughInputPin::CheckMediaType(const CMediaType* type) { return type->IsValid() ? S_OK : S_FALSE; }

STDMETHODIMP PassThroughInputPin::Receive(IMediaSample* sample) {
  const HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return m_passThrough->output.DeliverCopy(sample);
}

STDMETHODIMP PassThroughInputPin::EndOfStream() {
  const HRESULT hr = CheckStreaming();
  return hr == S_OK ? m_passThrough->output.DeliverEndOfStream() : hr;
}

STDMETHODIMP PassThroughInputPin::BeginFlush() {
  CBaseInputPin::BeginFlush();
  return m_passThrough->output.DeliverBeginFlush();
}

STDMETHODIMP PassThroughInputPin::EndFlush() {
  CBaseInputPin::EndFlush();
  return m_passThrough->output.DeliverEndFlush();
}

STDMETHODIMP PassThroughInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBasePin::NewSegment(start, stop, rate);
  return m_passThrough->output.DeliverNewSegment(start, stop, rate);
}

PassThroughOutputPin::PassThroughOutputPin(PassThroughTestFilter* filter, CCritSec* lock, HRESULT* result)
    : CBaseOutputPin(NAME("PassThroughOutputPin"), filter, lock, result, L"Out"), m_passThrough(filter) {}

HRESULT PassThroughOutputPin::CheckMediaType(const CMediaType* type) {
  PassThroughInputPin& input = m_passThrough->input;
  return input.IsConnected() && *type == input.ConnectionType() ? S_OK : S_FALSE;
}

HRESULT PassThroughOutputPin::GetMediaType(int position, CMediaType* type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0 || !m_passThrough->input.IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return type->Set(m_passThrough->input.ConnectionType());
}

HRESULT PassThroughOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  ALLOCATOR_PROPERTIES upstream{};
  IMemAllocator* inputAllocator = m_passThrough->input.Allocator();
  if (inputAllocator == nullptr || FAILED(inputAllocator->GetProperties(&upstream))) upstream.cbBuffer = 4096;
  ALLOCATOR_PROPERTIES asked = *request;
  asked.cBuffers = std::max<LONG>(asked.cBuffers, 1);
  asked.cbBuffer = std::max(asked.cbBuffer, upstream.cbBuffer);
  ALLOCATOR_PROPERTIES granted{};
  const HRESULT hr = allocator->SetProperties(&asked, &granted);
  if (FAILED(hr)) return hr;
  return granted.cbBuffer < asked.cbBuffer ? E_FAIL : S_OK;
}

HRESULT PassThroughOutputPin::DeliverCopy(IMediaSample* source) {
  IMediaSample* copy = nullptr;
  HRESULT hr = GetDeliveryBuffer(&copy, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE* from = nullptr;
  BYTE* to = nullptr;
  source->GetPointer(&from);
  copy->GetPointer(&to);
  const long length = source->GetActualDataLength();
  if (length > copy->GetSize()) {
    copy->Release();
    return VFW_E_BUFFER_OVERFLOW;
  }
  memcpy(to, from, static_cast<size_t>(length));
  copy->SetActualDataLength(length);
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  const HRESULT timed = source->GetTime(&start, &end);
  if (timed == S_OK) copy->SetTime(&start, &end);
  if (timed == VFW_S_NO_STOP_TIME) copy->SetTime(&start, nullptr);
  copy->SetSyncPoint(source->IsSyncPoint() == S_OK);
  copy->SetDiscontinuity(source->IsDiscontinuity() == S_OK);
  copy->SetPreroll(source->IsPreroll() == S_OK);
  hr = Deliver(copy);
  copy->Release();
  return hr;
}

PassThroughTestFilter::PassThroughTestFilter(HRESULT* result)
    : CBaseFilter(NAME("PassThroughTestFilter"), nullptr, &m_lock, CLSID_PassThroughTestFilter),
      input(this, &m_lock, result),
      output(this, &m_lock, result) {}

PassThroughTestFilter* PassThroughTestFilter::Create() {
  HRESULT hr = S_OK;
  auto* filter = new PassThroughTestFilter(&hr);
  filter->NonDelegatingAddRef();
  return filter;
}

CBasePin* PassThroughTestFilter::GetPin(int index) {
  if (index == 0) return &input;
  if (index == 1) return &output;
  return nullptr;
}

}  // namespace kcm_test
