#include "SampleMediaBuffer.h"

#include <new>

namespace kcm::dmo {

SampleMediaBuffer::SampleMediaBuffer(IMediaSample* sample) : m_sample(sample) { m_sample->AddRef(); }

SampleMediaBuffer::~SampleMediaBuffer() { m_sample->Release(); }

SampleMediaBuffer* SampleMediaBuffer::Create(IMediaSample* sample) { return new (std::nothrow) SampleMediaBuffer(sample); }

STDMETHODIMP SampleMediaBuffer::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IMediaBuffer) {
    *object = static_cast<IMediaBuffer*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) SampleMediaBuffer::AddRef() { return ++m_references; }

STDMETHODIMP_(ULONG) SampleMediaBuffer::Release() {
  const ULONG count = --m_references;
  if (count == 0) delete this;
  return count;
}

STDMETHODIMP SampleMediaBuffer::SetLength(DWORD length) {
  if (length > static_cast<DWORD>(m_sample->GetSize())) return E_INVALIDARG;
  return m_sample->SetActualDataLength(static_cast<long>(length));
}

STDMETHODIMP SampleMediaBuffer::GetMaxLength(DWORD* maxLength) {
  if (maxLength == nullptr) return E_POINTER;
  *maxLength = static_cast<DWORD>(m_sample->GetSize());
  return S_OK;
}

STDMETHODIMP SampleMediaBuffer::GetBufferAndLength(BYTE** buffer, DWORD* length) {
  if (buffer != nullptr) {
    const HRESULT hr = m_sample->GetPointer(buffer);
    if (FAILED(hr)) return hr;
  }
  if (length != nullptr) *length = static_cast<DWORD>(m_sample->GetActualDataLength());
  return S_OK;
}

}  // namespace kcm::dmo
