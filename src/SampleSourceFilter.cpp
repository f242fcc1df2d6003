#include "KestroSampleSourceFilter.h"

#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <new>
#include <stdexcept>

#include "KestroLog.h"
#include "KestroMediaMemPool.h"
#include "SourcePath.h"
#include "dvdmedia.h"
#include "uuids.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("SampleSourceFilter");
// The pending list holds at most this many entries, as the library's lists always have.
const size_t kPendingListLimit = 1073741822;
// The buffer size of a video record that names no size at all.
const LONG kFallbackVideoBufferSize = 0x3FE0040;
const LONG kVideoBufferCount = 4;
const LONG kAudioBufferCount = 20;
const LONG kFallbackAudioBufferSize = 20480;
const REFERENCE_TIME kNoTime = -1;

void logRefusal(int line) {
  kcm_logExpression(kSourcePath, line, "failed to CSampleSourceStream::CheckMediaType", KcmLogDebug, true);
}

HRESULT logFailure(HRESULT hr, int line, const char* expression) {
  kcm_logExpression(kSourcePath, line, expression, KcmLogCritical, true);
  return hr;
}

// Extra data never reaches past the record's array, whatever a host wrote into the size.
DWORD extraDataSizeOf(const tagKestroStreamType& streamType) {
  return std::min<DWORD>(streamType.extraDataSize, sizeof(streamType.extraData));
}

bool isCompressed(const tagKestroStreamType& streamType, GUID* subtype) {
  bool compressed = false;
  *subtype = Kestro::subtypeFromFourCC(streamType.fourCC, &compressed);
  return compressed;
}

}  // namespace

// ---- CSampleSourceStream ----------------------------------------------------------

CSampleSourceStream::CSampleSourceStream(HRESULT* phr, CSampleSourceFilter* filter, LPCWSTR pinName)
    : CBaseOutputPin(NAME("SampleSourceStream"), filter, filter, phr, pinName) {
  memset(&_streamType, 0, sizeof(_streamType));
}

CSampleSourceStream::~CSampleSourceStream() { ReleasePending(); }

HRESULT CSampleSourceStream::GetMediaType(int position, CMediaType* mediaType) {
  CheckPointer(mediaType, E_POINTER);
  if (position < 0) return E_INVALIDARG;
  if (position > 1) return VFW_S_NO_MORE_ITEMS;
  mediaType->ResetFormatBuffer();
  mediaType->InitMediaType();
  switch (_streamType.mediaKind) {
    case AMTYPE_Video:
      return GetVideoMediaType(mediaType);
    case AMTYPE_Audio:
      return GetAudioMediaType(mediaType);
    default:
      return E_FAIL;
  }
}

HRESULT CSampleSourceStream::GetVideoMediaType(CMediaType* mediaType) {
  GUID subtype;
  const bool compressed = isCompressed(_streamType, &subtype);
  mediaType->SetType(&MEDIATYPE_Video);
  mediaType->SetSubtype(&subtype);
  mediaType->SetTemporalCompression(compressed);
  const VIDEOINFO& videoInfo = _streamType.videoInfo;
  if (!compressed) {
    mediaType->SetSampleSize(videoInfo.bmiHeader.biSizeImage);
    mediaType->SetFormatType(&FORMAT_VideoInfo);
    return mediaType->SetFormat(reinterpret_cast<const BYTE*>(&videoInfo), sizeof(VIDEOINFO)) ? S_OK : E_OUTOFMEMORY;
  }
  const DWORD extraSize = extraDataSizeOf(_streamType);
  const ULONG formatSize = sizeof(MPEG2VIDEOINFO) + extraSize;
  BYTE* block = mediaType->AllocFormatBuffer(formatSize);
  if (block == nullptr) return E_OUTOFMEMORY;
  memset(block, 0, formatSize);
  auto* mpeg2 = reinterpret_cast<MPEG2VIDEOINFO*>(block);
  mpeg2->hdr.rcSource = videoInfo.rcSource;
  mpeg2->hdr.rcTarget = videoInfo.rcTarget;
  mpeg2->hdr.dwBitRate = videoInfo.dwBitRate;
  mpeg2->hdr.AvgTimePerFrame = videoInfo.AvgTimePerFrame;
  mpeg2->hdr.bmiHeader = videoInfo.bmiHeader;
  mpeg2->hdr.bmiHeader.biSizeImage = 0;
  mpeg2->cbSequenceHeader = extraSize;
  memcpy(block + offsetof(MPEG2VIDEOINFO, dwSequenceHeader), _streamType.extraData, extraSize);
  mediaType->SetFormatType(&FORMAT_MPEG2Video);
  return S_OK;
}

HRESULT CSampleSourceStream::GetAudioMediaType(CMediaType* mediaType) {
  GUID subtype;
  const bool compressed = isCompressed(_streamType, &subtype);
  mediaType->SetType(&MEDIATYPE_Audio);
  mediaType->SetSubtype(&subtype);
  mediaType->SetTemporalCompression(compressed);
  mediaType->SetFormatType(&FORMAT_WaveFormatEx);
  const DWORD extraSize = extraDataSizeOf(_streamType);
  const ULONG formatSize = sizeof(WAVEFORMATEX) + extraSize;
  BYTE* block = mediaType->AllocFormatBuffer(formatSize);
  if (block == nullptr) return E_OUTOFMEMORY;
  const WAVEFORMATEX& record = _streamType.waveFormat;
  WAVEFORMATEX format;
  memset(&format, 0, sizeof(format));
  format.wFormatTag = 1;
  format.nChannels = record.nChannels;
  format.nSamplesPerSec = record.nSamplesPerSec;
  format.wBitsPerSample = record.wBitsPerSample;
  format.nBlockAlign = static_cast<WORD>((record.wBitsPerSample / 8) * record.nChannels);
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  format.cbSize = static_cast<WORD>(extraSize);
  memcpy(block, &format, sizeof(format));
  memcpy(block + sizeof(WAVEFORMATEX), _streamType.extraData, extraSize);
  return S_OK;
}

HRESULT CSampleSourceStream::CheckMediaType(const CMediaType* mediaType) {
  CheckPointer(mediaType, E_POINTER);
  switch (_streamType.mediaKind) {
    case AMTYPE_Video:
      return CheckVideoMediaType(*mediaType);
    case AMTYPE_Audio:
      return CheckAudioMediaType(*mediaType);
    default:
      return E_INVALIDARG;
  }
}

// The subtype is not compared: a decoder downstream may name the same coding otherwise.
HRESULT CSampleSourceStream::CheckVideoMediaType(const CMediaType& mediaType) {
  if (mediaType.majortype != MEDIATYPE_Video) return E_INVALIDARG;
  const BITMAPINFOHEADER* header = Kestro::bitmapHeaderOf(mediaType);
  if (header == nullptr) return E_INVALIDARG;
  const BITMAPINFOHEADER& wanted = _streamType.videoInfo.bmiHeader;
  if (header->biWidth != wanted.biWidth || header->biHeight != wanted.biHeight) {
    logRefusal(__LINE__);
    return E_INVALIDARG;
  }
  GUID subtype;
  if (!isCompressed(_streamType, &subtype) && header->biSizeImage != wanted.biSizeImage) {
    logRefusal(__LINE__);
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT CSampleSourceStream::CheckAudioMediaType(const CMediaType& mediaType) {
  if (mediaType.majortype != MEDIATYPE_Audio || mediaType.formattype != FORMAT_WaveFormatEx) return E_INVALIDARG;
  GUID subtype;
  if (!isCompressed(_streamType, &subtype) && (!mediaType.bFixedSizeSamples || mediaType.subtype != MEDIASUBTYPE_PCM)) {
    return E_INVALIDARG;
  }
  const WAVEFORMATEX* format = Kestro::waveFormatOf(mediaType);
  if (format == nullptr) return E_INVALIDARG;
  const WAVEFORMATEX& wanted = _streamType.waveFormat;
  if (format->nChannels != wanted.nChannels || format->wBitsPerSample != wanted.wBitsPerSample ||
      format->nSamplesPerSec != wanted.nSamplesPerSec) {
    logRefusal(__LINE__);
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT CSampleSourceStream::SetMediaType(const CMediaType* mediaType) {
  CBaseOutputPin::SetMediaType(mediaType);
  return S_OK;
}

HRESULT CSampleSourceStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  CheckPointer(allocator, E_POINTER);
  CheckPointer(request, E_POINTER);
  if (_streamType.mediaKind == AMTYPE_Video) {
    const BITMAPINFOHEADER& header = _streamType.videoInfo.bmiHeader;
    // 32-bit arithmetic, as the record's fields are; a picture too large for it wraps.
    LONG size = static_cast<LONG>(header.biSizeImage);
    if (size == 0) size = static_cast<LONG>(static_cast<int64_t>(header.biWidth) * header.biHeight * 16);
    if (size == 0) size = kFallbackVideoBufferSize;
    request->cBuffers = kVideoBufferCount;
    request->cbBuffer = size;
  } else if (_streamType.mediaKind == AMTYPE_Audio) {
    const LONG size = static_cast<LONG>(_streamType.waveFormat.nAvgBytesPerSec);
    request->cBuffers = kAudioBufferCount;
    request->cbBuffer = size != 0 ? size : kFallbackAudioBufferSize;
  } else {
    return E_FAIL;
  }
  ALLOCATOR_PROPERTIES granted;
  memset(&granted, 0, sizeof(granted));
  const HRESULT hr = allocator->SetProperties(request, &granted);
  if (FAILED(hr)) return hr;
  return granted.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT CSampleSourceStream::InitAllocator(IMemAllocator** allocator) {
  CheckPointer(allocator, E_POINTER);
  *allocator = nullptr;
  // The pool is born holding its owner's reference; the allocator reference we hand out
  // takes its place.
  CKestroMemPool* pool = new (std::nothrow) CKestroMemPool();
  if (pool == nullptr) return S_OK;
  const HRESULT hr = pool->NonDelegatingQueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(allocator));
  pool->NonDelegatingRelease();
  return hr;
}

HRESULT CSampleSourceStream::Deliver(IMediaSample* sample) {
  CheckPointer(sample, E_POINTER);
  return CBaseOutputPin::Deliver(sample);
}

HRESULT CSampleSourceStream::Active() {
  CAutoLock lock(m_pLock);
  if (IsConnected() && m_pAllocator != nullptr) m_pAllocator->Commit();
  return S_OK;
}

HRESULT CSampleSourceStream::Inactive() {
  CAutoLock lock(m_pLock);
  ReleasePending();
  return CBaseOutputPin::Inactive();
}

HRESULT CSampleSourceStream::DeliverEndOfStream() { return S_OK; }

HRESULT CSampleSourceStream::DeliverBeginFlush() { return S_OK; }

HRESULT CSampleSourceStream::DeliverEndFlush() { return S_OK; }

HRESULT CSampleSourceStream::DeliverNewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

STDMETHODIMP CSampleSourceStream::Notify(IBaseFilter*, Quality) { return S_OK; }

HRESULT CSampleSourceStream::set_KestroStreamType(tagKestroStreamType& streamType) {
  memcpy(&_streamType, &streamType, sizeof(_streamType));
  return S_OK;
}

HRESULT CSampleSourceStream::set_userParam(void* data, int size) {
  const BYTE* bytes = static_cast<const BYTE*>(data);
  if (bytes == nullptr || size < 1) {
    _userParam.clear();
  } else {
    _userParam.assign(bytes, bytes + size);
  }
  return S_OK;
}

HRESULT CSampleSourceStream::getDeliveryMediaSample(IMediaSample** sample, REFERENCE_TIME* start,
                                                    REFERENCE_TIME* end, DWORD flags) {
  return GetDeliveryBuffer(sample, start, end, flags);
}

void CSampleSourceStream::FillSample(IMediaSample* sample, REFERENCE_TIME start, REFERENCE_TIME end,
                                     const void* data, DWORD size) {
  BYTE* buffer = nullptr;
  sample->GetPointer(&buffer);
  if (size != 0) memcpy(buffer, data, size);
  sample->SetActualDataLength(static_cast<long>(size));
  if (start != kNoTime) {
    sample->SetTime(&start, &end);
  } else {
    sample->SetTime(nullptr, nullptr);
  }
}

HRESULT CSampleSourceStream::streamOutData(int /*at*/, REFERENCE_TIME start, REFERENCE_TIME end, void* data,
                                           DWORD size) {
  if (data == nullptr && size != 0) return E_POINTER;
  IMediaSample* sample = nullptr;
  GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
  if (sample == nullptr) return E_FAIL;
  // A buffer too small for the data is dropped without a word: the stream goes on.
  if (static_cast<DWORD>(sample->GetSize()) >= size) {
    FillSample(sample, start, end, data, size);
    sample->SetSyncPoint(TRUE);
    Deliver(sample);
  }
  sample->Release();
  return S_OK;
}

HRESULT CSampleSourceStream::fillMediaSample(int /*at*/, REFERENCE_TIME start, REFERENCE_TIME end, void* data,
                                             DWORD size, IMediaSample** out) {
  if (data == nullptr && size != 0) return E_POINTER;
  IMediaSample* sample = nullptr;
  const HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT);
  if (FAILED(hr)) return hr;
  if (sample == nullptr) return logFailure(E_FAIL, __LINE__, "\"hr = E_FAIL\"");
  if (static_cast<DWORD>(sample->GetSize()) < size) {
    sample->Release();
    return logFailure(E_FAIL, __LINE__, "\"hr = E_FAIL\"");
  }
  FillSample(sample, start, end, data, size);
  if (start != kNoTime) sample->SetSyncPoint(TRUE);
  AppendPending(sample);
  if (out != nullptr) *out = sample;
  sample->Release();
  return S_OK;
}

void CSampleSourceStream::AppendPending(IMediaSample* sample) {
  CAutoLock lock(&_lock);
  if (_pending.size() >= kPendingListLimit) throw std::length_error("list<T> too long");
  _pending.push_back(sample);
  sample->AddRef();
}

HRESULT CSampleSourceStream::pushMediaSample(IMediaSample* sample) {
  CheckPointer(sample, E_POINTER);
  AppendPending(sample);
  return S_OK;
}

HRESULT CSampleSourceStream::notifyMediaSample(IMediaSample* sample, int drop) {
  {
    CAutoLock lock(&_lock);
    const auto entry = std::find(_pending.begin(), _pending.end(), sample);
    if (entry == _pending.end()) return E_FAIL;
    _pending.erase(entry);
  }
  // Delivery may block downstream: never with our lock held.
  if (drop == 0) Deliver(sample);
  sample->Release();
  return S_OK;
}

void CSampleSourceStream::ReleasePending() {
  CAutoLock lock(&_lock);
  while (!_pending.empty()) {
    IMediaSample* sample = _pending.front();
    _pending.pop_front();
    sample->Release();
  }
}

// ---- CSampleSourceFilter ----------------------------------------------------------

namespace {

CSampleSourceStream* makePlainStream(HRESULT* phr, CSampleSourceFilter* filter, LPCWSTR pinName) {
  return new (std::nothrow) CSampleSourceStream(phr, filter, pinName);
}

}  // namespace

CSampleSourceFilter::CSampleSourceFilter(IUnknown* outer)
    : CBaseFilter(NAME("SampleSourceFilter"), outer, this, CLSID_SampleSourceFilter), _stream(nullptr) {}

CSampleSourceFilter::~CSampleSourceFilter() { delete _stream; }

CUnknown* CSampleSourceFilter::CreateInstance(IUnknown* outer, HRESULT* phr, SampleSourceStreamFactory streamFactory) {
  HRESULT ignored = S_OK;
  if (phr == nullptr) phr = &ignored;
  auto* filter = new (std::nothrow) CSampleSourceFilter(outer);
  if (filter == nullptr) {
    *phr = E_OUTOFMEMORY;
    return nullptr;
  }
  SampleSourceStreamFactory makeStream = streamFactory != nullptr ? streamFactory : &makePlainStream;
  filter->_stream = makeStream(phr, filter, L"SampleSourceStream");
  if (filter->_stream == nullptr) *phr = E_OUTOFMEMORY;
  return filter;
}

STDMETHODIMP CSampleSourceFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_ISampleSource) return GetInterface(static_cast<ISampleSource*>(this), object);
  return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

CBasePin* CSampleSourceFilter::GetPin(int index) { return index == 0 ? _stream : nullptr; }

STDMETHODIMP CSampleSourceFilter::set_KestroStreamType(tagKestroStreamType& streamType) {
  if (_stream == nullptr) return E_UNEXPECTED;
  return _stream->set_KestroStreamType(streamType);
}

STDMETHODIMP CSampleSourceFilter::set_userParam(void* data, int size) {
  if (_stream == nullptr) return E_UNEXPECTED;
  return _stream->set_userParam(data, size);
}

STDMETHODIMP CSampleSourceFilter::streamOutData(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data,
                                                DWORD size) {
  if (_stream == nullptr) return E_UNEXPECTED;
  return _stream->streamOutData(at, start, end, data, size);
}

STDMETHODIMP CSampleSourceFilter::getDeliveryMediaSample(IMediaSample** sample, REFERENCE_TIME* start,
                                                         REFERENCE_TIME* end, DWORD flags) {
  if (_stream == nullptr) return E_UNEXPECTED;
  return _stream->getDeliveryMediaSample(sample, start, end, flags);
}

STDMETHODIMP CSampleSourceFilter::pushMediaSample(IMediaSample* sample) {
  if (_stream == nullptr) return E_UNEXPECTED;
  return _stream->pushMediaSample(sample);
}

STDMETHODIMP CSampleSourceFilter::notifyMediaSample(IMediaSample* sample, int drop) {
  if (_stream == nullptr) return E_UNEXPECTED;
  return _stream->notifyMediaSample(sample, drop);
}

STDMETHODIMP CSampleSourceFilter::fillMediaSample(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data,
                                                  DWORD size, IMediaSample** sample) {
  if (_stream == nullptr) return E_UNEXPECTED;
  return _stream->fillMediaSample(at, start, end, data, size, sample);
}

HRESULT kcm_createInstance(CUnknown* object, REFIID riid, void** ppv) {
  CheckPointer(ppv, E_POINTER);
  *ppv = nullptr;
  CheckPointer(object, E_POINTER);
  object->NonDelegatingAddRef();
  const HRESULT hr = object->NonDelegatingQueryInterface(riid, ppv);
  object->NonDelegatingRelease();
  return hr;
}

namespace {

// CoCreateInstance's way in: a filter with a pin, or nothing.
HRESULT createSampleSourceFilter(IUnknown* outer, REFIID iid, void** object) {
  HRESULT hr = S_OK;
  CUnknown* filter = CSampleSourceFilter::CreateInstance(outer, &hr);
  if (SUCCEEDED(hr)) return kcm_createInstance(filter, iid, object);
  *object = nullptr;
  if (filter != nullptr) {
    // A filter without its pin is of no use to anyone: the first reference destroys it.
    filter->NonDelegatingAddRef();
    filter->NonDelegatingRelease();
  }
  return hr;
}

const KcmCoClassRegistration kSampleSourceRegistration(CLSID_SampleSourceFilter, &createSampleSourceFilter);

}  // namespace
