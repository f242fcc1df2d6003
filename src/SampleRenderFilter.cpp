#include "KestroSampleRenderFilter.h"

#include <string.h>

#include <new>

#include "KestroLog.h"
#include "KestroSampleSourceFilter.h"
#include "SourcePath.h"
#include "uuids.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("SampleRenderFilter");
// Extra data of this size or more does not fit the record and is not kept.
const uint32_t kExtraDataLimit = 383;

// A refusal for the numbers alone, not for the kind of type.
HRESULT refuseNumbers(int line) {
  kcm_logExpression(kSourcePath, line, "failed to CSampleRenderFilter::CheckMediaType", KcmLogDebug, true);
  return E_INVALIDARG;
}

bool hasFormatBlock(const CMediaType& mediaType) { return mediaType.pbFormat != nullptr && mediaType.cbFormat > 0; }

}  // namespace

// ---- CSampleInputPin --------------------------------------------------------------

CSampleInputPin::CSampleInputPin(CSampleRenderFilter* filter, HRESULT* phr)
    : CBaseInputPin(NAME("CSampleInputPin"), filter, filter, phr, L"Input"), _filter(filter) {}

HRESULT CSampleInputPin::CheckMediaType(const CMediaType* mediaType) { return _filter->CheckMediaType(mediaType); }

HRESULT CSampleInputPin::SetMediaType(const CMediaType* mediaType) {
  // The pin keeps the connection's type as every pin does; the record is the filter's.
  const HRESULT hr = CBaseInputPin::SetMediaType(mediaType);
  if (FAILED(hr)) return hr;
  return _filter->SetMediaType(mediaType);
}

STDMETHODIMP CSampleInputPin::Receive(IMediaSample* sample) { return _filter->DoRenderSample(sample); }

// ---- CSampleRenderFilter ----------------------------------------------------------

CSampleRenderFilter::CSampleRenderFilter(IUnknown* outer)
    : CBaseFilter(NAME("ORB Sample Render"), outer, this, CLSID_SampleRenderFilter),
      _streamIndex(-1),
      _sink(nullptr),
      _inputPin(nullptr),
      _sourceIndex(-1) {
  memset(&_streamType, 0, sizeof(_streamType));
}

CSampleRenderFilter::~CSampleRenderFilter() { delete _inputPin; }

CUnknown* CSampleRenderFilter::CreateInstance(IUnknown* outer, HRESULT* phr) {
  HRESULT ignored = S_OK;
  if (phr == nullptr) phr = &ignored;
  auto* filter = new (std::nothrow) CSampleRenderFilter(outer);
  if (filter != nullptr) filter->_inputPin = new (std::nothrow) CSampleInputPin(filter, phr);
  if (filter == nullptr || filter->_inputPin == nullptr) {
    delete filter;
    *phr = E_OUTOFMEMORY;
    return nullptr;
  }
  return filter;
}

STDMETHODIMP CSampleRenderFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_ISampleRender) return GetInterface(static_cast<ISampleRender*>(this), object);
  return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

CBasePin* CSampleRenderFilter::GetPin(int index) { return index == 0 ? _inputPin : nullptr; }

HRESULT CSampleRenderFilter::put_StreamIndex(long streamIndex) {
  _streamIndex = static_cast<int32_t>(streamIndex);
  return S_OK;
}

STDMETHODIMP CSampleRenderFilter::put_SampleRenderSink(ISampleRenderSink* sink) {
  _sink.store(sink);
  return S_OK;
}

STDMETHODIMP CSampleRenderFilter::get_KestroStreamType(tagKestroStreamType& streamType) {
  memcpy(&streamType, &_streamType, sizeof(streamType));
  return S_OK;
}

STDMETHODIMP CSampleRenderFilter::put_KestroStreamType(tagKestroStreamType& streamType) {
  memcpy(&_streamType, &streamType, sizeof(_streamType));
  return S_OK;
}

STDMETHODIMP CSampleRenderFilter::put_SourceIndex(int sourceIndex) {
  _sourceIndex = sourceIndex;
  return S_OK;
}

HRESULT CSampleRenderFilter::CheckMediaType(const CMediaType* mediaType) {
  CheckPointer(mediaType, E_POINTER);
  if (_streamType.valid == 0) return S_OK;
  if (_streamType.mediaKind == AMTYPE_Video) return CheckVideoMediaType(*mediaType);
  if (_streamType.mediaKind == AMTYPE_Audio) return CheckAudioMediaType(*mediaType);
  return E_INVALIDARG;
}

HRESULT CSampleRenderFilter::CheckVideoMediaType(const CMediaType& mediaType) {
  if (mediaType.majortype != MEDIATYPE_Video || !hasFormatBlock(mediaType)) return E_INVALIDARG;
  const BITMAPINFOHEADER* header = Kestro::bitmapHeaderOf(mediaType);
  if (header == nullptr) return E_INVALIDARG;
  const BITMAPINFOHEADER& wanted = _streamType.videoInfo.bmiHeader;
  if (header->biWidth != wanted.biWidth || header->biHeight != wanted.biHeight) return refuseNumbers(__LINE__);
  return S_OK;
}

HRESULT CSampleRenderFilter::CheckAudioMediaType(const CMediaType& mediaType) {
  if (mediaType.majortype != MEDIATYPE_Audio || !mediaType.bFixedSizeSamples ||
      mediaType.subtype != MEDIASUBTYPE_PCM || mediaType.formattype != FORMAT_WaveFormatEx ||
      !hasFormatBlock(mediaType)) {
    return E_INVALIDARG;
  }
  const WAVEFORMATEX* format = Kestro::waveFormatOf(mediaType);
  if (format == nullptr) return E_INVALIDARG;
  const WAVEFORMATEX& wanted = _streamType.waveFormat;
  if (format->nChannels != wanted.nChannels || format->wBitsPerSample != wanted.wBitsPerSample ||
      format->nSamplesPerSec != wanted.nSamplesPerSec) {
    return refuseNumbers(__LINE__);
  }
  return S_OK;
}

HRESULT CSampleRenderFilter::SetMediaType(const CMediaType* mediaType) {
  CheckPointer(mediaType, E_POINTER);
  memset(&_streamType, 0, sizeof(_streamType));
  Kestro::CMediaStreamType streamType(*mediaType);
  const AM_MEDIA_TYPE& image = streamType.getAMMediaType();
  _streamType.mediaKind = static_cast<uint32_t>(Kestro::mediaKindOf(image));
  _streamType.fourCC = Kestro::fourCCFromMediaType(image);
  _streamType.streamKind = _streamType.mediaKind;
  _streamType.valid = 1;
  if (_streamType.mediaKind == AMTYPE_Video) {
    _streamType.videoInfo.AvgTimePerFrame = streamType.getAvgTimePerFrame();
    const BITMAPINFOHEADER* header = streamType.getBitmapHeader();
    if (header != nullptr) memcpy(&_streamType.videoInfo.bmiHeader, header, sizeof(BITMAPINFOHEADER));
  } else if (_streamType.mediaKind == AMTYPE_Audio) {
    const WAVEFORMATEX* format = streamType.getWaveFormat();
    if (format != nullptr) memcpy(&_streamType.waveFormat, format, sizeof(WAVEFORMATEX));
  } else {
    return E_FAIL;
  }
  const uint32_t extraSize = streamType.getExtraDataSize();
  if (extraSize >= 1 && extraSize <= kExtraDataLimit) {
    memcpy(_streamType.extraData, streamType.getExtraData(), extraSize);
    _streamType.extraDataSize = extraSize;
  }
  return S_OK;
}

HRESULT CSampleRenderFilter::DoRenderSample(IMediaSample* sample) {
  ISampleRenderSink* sink = _sink.load();
  if (sink == nullptr) return S_OK;
  return sink->OnDoRenderSample(this, static_cast<int>(_streamType.streamKind), sample, &_streamType, _sourceIndex);
}

namespace {

// CoCreateInstance's way in.
HRESULT createSampleRenderFilter(IUnknown* outer, REFIID iid, void** object) {
  HRESULT hr = S_OK;
  CUnknown* filter = CSampleRenderFilter::CreateInstance(outer, &hr);
  if (filter == nullptr) {
    *object = nullptr;
    return hr;
  }
  return kcm_createInstance(filter, iid, object);
}

const KcmCoClassRegistration kSampleRenderRegistration(CLSID_SampleRenderFilter, &createSampleRenderFilter);

}  // namespace
