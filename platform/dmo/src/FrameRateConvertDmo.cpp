#include "FrameRateConvertDmo.h"

#include <string.h>

#include <new>

#include "wmcodecdsp.h"

namespace kcm::dmo {

namespace {

const LONGLONG kUnitsPerSecond = 10000000;

const VIDEOINFOHEADER* videoInfo(const AM_MEDIA_TYPE& type) {
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

bool isUncompressedVideo(const AM_MEDIA_TYPE& type) {
  return type.majortype == MEDIATYPE_Video && type.subtype != GUID_NULL && type.formattype == FORMAT_VideoInfo &&
         type.pbFormat != nullptr && type.cbFormat >= sizeof(VIDEOINFOHEADER) && !type.bTemporalCompression;
}

// Input and output differ only in their frame rate.
bool samePictures(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  const BITMAPINFOHEADER& left = videoInfo(a)->bmiHeader;
  const BITMAPINFOHEADER& right = videoInfo(b)->bmiHeader;
  return a.subtype == b.subtype && left.biWidth == right.biWidth && left.biHeight == right.biHeight &&
         left.biBitCount == right.biBitCount && left.biCompression == right.biCompression;
}

DWORD frameSize(const CMediaType& type) {
  if (type.bFixedSizeSamples && type.lSampleSize != 0) return type.lSampleSize;
  return videoInfo(type)->bmiHeader.biSizeImage;
}

ULONGLONG rateOfType(const CMediaType& type) {
  const REFERENCE_TIME duration = videoInfo(type)->AvgTimePerFrame;
  if (duration <= 0 || duration > 0xFFFFFFFFLL) return 0;
  return (static_cast<ULONGLONG>(kUnitsPerSecond) << 32) | static_cast<ULONGLONG>(duration);
}

bool isRateKey(REFPROPERTYKEY key) { return key == MFPKEY_CONV_INPUTFRAMERATE || key == MFPKEY_CONV_OUTPUTFRAMERATE; }

}  // namespace

FrameRateConvertDmo::FrameRateConvertDmo(IUnknown* outer) : CUnknown(NAME("FrameRateConvertDmo"), outer) {}

HRESULT FrameRateConvertDmo::Create(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr && iid != IID_IUnknown) return E_NOINTERFACE;
  auto* dmo = new (std::nothrow) FrameRateConvertDmo(outer);
  if (dmo == nullptr) return E_OUTOFMEMORY;
  dmo->NonDelegatingAddRef();
  const HRESULT hr = dmo->NonDelegatingQueryInterface(iid, object);
  dmo->NonDelegatingRelease();
  return hr;
}

STDMETHODIMP FrameRateConvertDmo::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IMediaObject) return GetInterface(static_cast<IMediaObject*>(this), object);
  if (iid == IID_IPropertyStore) return GetInterface(static_cast<IPropertyStore*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP FrameRateConvertDmo::GetStreamCount(DWORD* inputStreams, DWORD* outputStreams) {
  if (inputStreams == nullptr || outputStreams == nullptr) return E_POINTER;
  *inputStreams = 1;
  *outputStreams = 1;
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::GetInputStreamInfo(DWORD stream, DWORD* flags) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  if (flags == nullptr) return E_POINTER;
  *flags = 0;
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::GetOutputStreamInfo(DWORD stream, DWORD* flags) {
  return GetInputStreamInfo(stream, flags);
}

HRESULT FrameRateConvertDmo::offerType(const CMediaType& first, const CMediaType& second, DWORD typeIndex,
                                       DMO_MEDIA_TYPE* type) {
  const CMediaType& offered = first.IsValid() ? first : second;
  if (typeIndex != 0 || !offered.IsValid()) return DMO_E_NO_MORE_ITEMS;
  return type == nullptr ? S_OK : MoCopyMediaType(type, &offered);
}

STDMETHODIMP FrameRateConvertDmo::GetInputType(DWORD stream, DWORD typeIndex, DMO_MEDIA_TYPE* type) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  CAutoLock lock(&m_lock);
  return offerType(m_inputType, m_outputType, typeIndex, type);
}

STDMETHODIMP FrameRateConvertDmo::GetOutputType(DWORD stream, DWORD typeIndex, DMO_MEDIA_TYPE* type) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  CAutoLock lock(&m_lock);
  return offerType(m_outputType, m_inputType, typeIndex, type);
}

HRESULT FrameRateConvertDmo::setType(CMediaType& current, ULONGLONG& rate, const CMediaType& other,
                                     const DMO_MEDIA_TYPE* type, DWORD flags) {
  if (flags & DMO_SET_TYPEF_CLEAR) {
    current.ResetFormatBuffer();
    current.InitMediaType();
    return S_OK;
  }
  if (type == nullptr) return E_POINTER;
  if (!isUncompressedVideo(*type) || (other.IsValid() && !samePictures(*type, other))) return DMO_E_TYPE_NOT_ACCEPTED;
  if (flags & DMO_SET_TYPEF_TEST_ONLY) return S_OK;
  const CMediaType proposed(*type);
  if (current.IsValid() && proposed == current) return S_OK;  // a pin confirming the type keeps written rates
  if (FAILED(current.Set(*type))) return E_OUTOFMEMORY;
  rate = rateOfType(current);
  resetStream();
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::SetInputType(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  CAutoLock lock(&m_lock);
  return setType(m_inputType, m_inputRate, m_outputType, type, flags);
}

STDMETHODIMP FrameRateConvertDmo::SetOutputType(DWORD stream, const DMO_MEDIA_TYPE* type, DWORD flags) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  CAutoLock lock(&m_lock);
  return setType(m_outputType, m_outputRate, m_inputType, type, flags);
}

STDMETHODIMP FrameRateConvertDmo::GetInputCurrentType(DWORD stream, DMO_MEDIA_TYPE* type) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  if (type == nullptr) return E_POINTER;
  CAutoLock lock(&m_lock);
  return m_inputType.IsValid() ? MoCopyMediaType(type, &m_inputType) : DMO_E_TYPE_NOT_SET;
}

STDMETHODIMP FrameRateConvertDmo::GetOutputCurrentType(DWORD stream, DMO_MEDIA_TYPE* type) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  if (type == nullptr) return E_POINTER;
  CAutoLock lock(&m_lock);
  return m_outputType.IsValid() ? MoCopyMediaType(type, &m_outputType) : DMO_E_TYPE_NOT_SET;
}

STDMETHODIMP FrameRateConvertDmo::GetInputSizeInfo(DWORD stream, DWORD* size, DWORD* maxLookahead, DWORD* alignment) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  if (size == nullptr || maxLookahead == nullptr || alignment == nullptr) return E_POINTER;
  CAutoLock lock(&m_lock);
  if (!m_inputType.IsValid()) return DMO_E_TYPE_NOT_SET;
  *size = frameSize(m_inputType);
  *maxLookahead = 0;
  *alignment = 1;
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::GetOutputSizeInfo(DWORD stream, DWORD* size, DWORD* alignment) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  if (size == nullptr || alignment == nullptr) return E_POINTER;
  CAutoLock lock(&m_lock);
  if (!m_outputType.IsValid()) return DMO_E_TYPE_NOT_SET;
  *size = frameSize(m_outputType);
  *alignment = 1;
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::GetInputMaxLatency(DWORD, REFERENCE_TIME*) { return E_NOTIMPL; }
STDMETHODIMP FrameRateConvertDmo::SetInputMaxLatency(DWORD, REFERENCE_TIME) { return E_NOTIMPL; }

void FrameRateConvertDmo::resetStream() {
  m_held = Frame();
  m_pending = Frame();
  m_draining = false;
  m_haveGrid = false;
  m_slot = 0;
}

STDMETHODIMP FrameRateConvertDmo::Flush() {
  CAutoLock lock(&m_lock);
  resetStream();
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::Discontinuity(DWORD stream) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  CAutoLock lock(&m_lock);
  if (!m_inputType.IsValid() || !m_outputType.IsValid()) return DMO_E_TYPE_NOT_SET;
  m_draining = m_held.valid || m_pending.valid;
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::AllocateStreamingResources() {
  CAutoLock lock(&m_lock);
  return m_inputType.IsValid() && m_outputType.IsValid() ? S_OK : DMO_E_TYPE_NOT_SET;
}

STDMETHODIMP FrameRateConvertDmo::FreeStreamingResources() { return Flush(); }

STDMETHODIMP FrameRateConvertDmo::GetInputStatus(DWORD stream, DWORD* flags) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  if (flags == nullptr) return E_POINTER;
  CAutoLock lock(&m_lock);
  settle();
  *flags = !m_pending.valid && !m_draining ? DMO_INPUT_STATUSF_ACCEPT_DATA : 0;
  return S_OK;
}

REFERENCE_TIME FrameRateConvertDmo::frameDuration(ULONGLONG rate, const CMediaType& type) {
  const ULONGLONG numerator = rate >> 32;
  const ULONGLONG denominator = rate & 0xFFFFFFFFu;
  if (numerator != 0 && denominator != 0) {
    return static_cast<REFERENCE_TIME>(static_cast<ULONGLONG>(kUnitsPerSecond) * denominator / numerator);
  }
  return type.IsValid() ? videoInfo(type)->AvgTimePerFrame : 0;
}

// Computed from the slot number, not accumulated, so that durations that are not a whole
// number of 100 ns units do not drift.
REFERENCE_TIME FrameRateConvertDmo::slotTime(LONGLONG slot) const {
  ULONGLONG numerator = m_outputRate >> 32;
  ULONGLONG denominator = m_outputRate & 0xFFFFFFFFu;
  if (numerator == 0 || denominator == 0) {
    numerator = kUnitsPerSecond;
    denominator = static_cast<ULONGLONG>(frameDuration(m_inputRate, m_inputType));
  }
  const __int128 offset = static_cast<__int128>(slot) * kUnitsPerSecond * static_cast<__int128>(denominator) /
                          static_cast<__int128>(numerator);
  return m_gridStart + static_cast<REFERENCE_TIME>(offset);
}

bool FrameRateConvertDmo::canEmit() const {
  if (!m_held.valid) return false;
  const REFERENCE_TIME next = slotTime(m_slot);
  if (m_pending.valid) return next < m_pending.start;
  return m_draining && next < m_held.start + m_held.length;
}

// Moves on to the newer frame, or ends a drained stream, until a slot can be emitted or
// more input is needed.
void FrameRateConvertDmo::settle() {
  while (!canEmit()) {
    if (m_pending.valid) {
      m_held = std::move(m_pending);
      m_pending = Frame();
    } else {
      if (m_draining) resetStream();
      return;
    }
  }
}

STDMETHODIMP FrameRateConvertDmo::ProcessInput(DWORD stream, IMediaBuffer* buffer, DWORD flags,
                                               REFERENCE_TIME timestamp, REFERENCE_TIME timelength) {
  if (stream != 0) return DMO_E_INVALIDSTREAMINDEX;
  if (buffer == nullptr) return E_POINTER;
  CAutoLock lock(&m_lock);
  if (!m_inputType.IsValid() || !m_outputType.IsValid()) return DMO_E_TYPE_NOT_SET;
  settle();
  if (m_pending.valid || m_draining) return DMO_E_NOTACCEPTING;
  BYTE* bytes = nullptr;
  DWORD length = 0;
  const HRESULT hr = buffer->GetBufferAndLength(&bytes, &length);
  if (FAILED(hr)) return hr;

  Frame& frame = m_held.valid ? m_pending : m_held;
  frame.bytes.assign(bytes, bytes + length);
  frame.length = (flags & DMO_INPUT_DATA_BUFFERF_TIMELENGTH) ? timelength : frameDuration(m_inputRate, m_inputType);
  // An untimed frame follows the previous one.
  if (flags & DMO_INPUT_DATA_BUFFERF_TIME) {
    frame.start = timestamp;
  } else {
    frame.start = &frame == &m_pending ? m_held.start + m_held.length : (m_haveGrid ? slotTime(m_slot) : 0);
  }
  frame.valid = true;
  if (!m_haveGrid) {
    m_gridStart = frame.start;
    m_slot = 0;
    m_haveGrid = true;
  }
  return S_OK;
}

HRESULT FrameRateConvertDmo::emit(DMO_OUTPUT_DATA_BUFFER& output) {
  const REFERENCE_TIME start = slotTime(m_slot);
  if (output.pBuffer != nullptr) {
    BYTE* bytes = nullptr;
    DWORD maxLength = 0;
    HRESULT hr = output.pBuffer->GetMaxLength(&maxLength);
    if (SUCCEEDED(hr) && maxLength < m_held.bytes.size()) hr = E_INVALIDARG;
    if (SUCCEEDED(hr)) hr = output.pBuffer->GetBufferAndLength(&bytes, nullptr);
    if (FAILED(hr)) return hr;
    memcpy(bytes, m_held.bytes.data(), m_held.bytes.size());
    output.pBuffer->SetLength(static_cast<DWORD>(m_held.bytes.size()));
  }
  output.dwStatus = DMO_OUTPUT_DATA_BUFFERF_SYNCPOINT | DMO_OUTPUT_DATA_BUFFERF_TIME | DMO_OUTPUT_DATA_BUFFERF_TIMELENGTH;
  output.rtTimestamp = start;
  output.rtTimelength = slotTime(m_slot + 1) - start;
  ++m_slot;
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::ProcessOutput(DWORD, DWORD bufferCount, DMO_OUTPUT_DATA_BUFFER* buffers,
                                                DWORD* status) {
  if (buffers == nullptr || status == nullptr) return E_POINTER;
  if (bufferCount != 1) return E_INVALIDARG;
  *status = 0;
  buffers[0].dwStatus = 0;
  CAutoLock lock(&m_lock);
  if (!m_inputType.IsValid() || !m_outputType.IsValid()) return DMO_E_TYPE_NOT_SET;
  settle();
  if (!canEmit()) return S_FALSE;
  const HRESULT hr = emit(buffers[0]);
  if (FAILED(hr)) return hr;
  settle();
  if (canEmit()) buffers[0].dwStatus |= DMO_OUTPUT_DATA_BUFFERF_INCOMPLETE;
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::Lock(LONG) { return S_OK; }

STDMETHODIMP FrameRateConvertDmo::GetCount(DWORD* count) {
  if (count == nullptr) return E_POINTER;
  *count = 2;
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::GetAt(DWORD index, PROPERTYKEY* key) {
  if (key == nullptr) return E_POINTER;
  if (index > 1) return E_INVALIDARG;
  *key = index == 0 ? MFPKEY_CONV_INPUTFRAMERATE : MFPKEY_CONV_OUTPUTFRAMERATE;
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
  if (value == nullptr) return E_POINTER;
  PropVariantInit(value);
  if (!isRateKey(key)) return S_OK;
  CAutoLock lock(&m_lock);
  const ULONGLONG rate = key == MFPKEY_CONV_INPUTFRAMERATE ? m_inputRate : m_outputRate;
  if (rate != 0) {
    value->vt = VT_UI8;
    value->uhVal.QuadPart = rate;
  }
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) {
  if (!isRateKey(key)) return E_INVALIDARG;
  if (value.vt != VT_UI8 && value.vt != VT_I8) return DISP_E_BADVARTYPE;
  const ULONGLONG rate = value.uhVal.QuadPart;
  if ((rate >> 32) == 0 || (rate & 0xFFFFFFFFu) == 0) return E_INVALIDARG;
  CAutoLock lock(&m_lock);
  (key == MFPKEY_CONV_INPUTFRAMERATE ? m_inputRate : m_outputRate) = rate;
  return S_OK;
}

STDMETHODIMP FrameRateConvertDmo::Commit() { return S_OK; }

}  // namespace kcm::dmo
