#include "KestroDShowGraphTransform.h"

#include <string.h>

#include "FFDshowModule.h"
#include "GraphHelpers.h"
#include "KestroFFDshowConfigApi.h"
#include "KestroLog.h"
#include "SourcePath.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("DShowGraphTransform");

HRESULT logged(HRESULT hr, int line, const char* expression) {
  return logFailedCheck(kSourcePath, hr, line, expression);
}

bool hasConnectedPin(IBaseFilter* filter) {
  IEnumPins* pins = nullptr;
  if (FAILED(filter->EnumPins(&pins)) || pins == nullptr) return false;
  bool connected = false;
  IPin* pin = nullptr;
  while (!connected && pins->Next(1, &pin, nullptr) == S_OK) {
    IPin* peer = nullptr;
    connected = SUCCEEDED(pin->ConnectedTo(&peer)) && peer != nullptr;
    releaseAndClear(peer);
    pin->Release();
  }
  pins->Release();
  return connected;
}

// The first filter of the graph none of whose pins is connected (one reference), or null.
IBaseFilter* findUnconnectedFilter(IGraphBuilder* graph) {
  IEnumFilters* filters = nullptr;
  if (FAILED(graph->EnumFilters(&filters)) || filters == nullptr) return nullptr;
  IBaseFilter* found = nullptr;
  IBaseFilter* filter = nullptr;
  while (found == nullptr && filters->Next(1, &filter, nullptr) == S_OK) {
    if (!hasConnectedPin(filter)) {
      found = filter;
    } else {
      filter->Release();
    }
  }
  filters->Release();
  return found;
}

// Removes every filter that takes part in no connection: a chain that could not be
// completed leaves nothing behind.
HRESULT pruneUnconnectedFilters(IGraphBuilder* graph) {
  if (graph == nullptr) return S_OK;
  while (IBaseFilter* filter = findUnconnectedFilter(graph)) {
    IEnumPins* pins = nullptr;
    if (SUCCEEDED(filter->EnumPins(&pins)) && pins != nullptr) {
      IPin* pin = nullptr;
      while (pins->Next(1, &pin, nullptr) == S_OK) {
        graph->Disconnect(pin);
        pin->Release();
      }
      pins->Release();
    }
    const HRESULT hr = graph->RemoveFilter(filter);
    filter->Release();
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// The library's default parameter block of a stream: video type 17 (byte 25 the flip),
// audio type 1 (master volume 120 at byte 12).
FFDShowFilterParam defaultParam(_AMTYPE at, bool flipVideo) {
  FFDShowFilterParam param;
  memset(&param, 0, sizeof(param));
  const int32_t type = at == AMTYPE_Video ? 17 : 1;
  memcpy(param.bytes, &type, sizeof(type));
  param.bytes[4] = 1;
  if (at == AMTYPE_Video) {
    param.bytes[12] = 0;
    memset(param.bytes + 13, 1, 3);
    memset(param.bytes + 17, 1, 8);
    param.bytes[25] = flipVideo ? 1 : 0;
  } else {
    const uint16_t volume = 120;
    memcpy(param.bytes + 12, &volume, sizeof(volume));
  }
  return param;
}

}  // namespace

CDShowGraphTransform::CDShowGraphTransform()
    : _sink(nullptr),
      _sampleSourceFilter{},
      _ffdshowFilter{},
      _sampleRenderFilter{},
      _sampleSource{} {
  memset(&_srcProgramType, 0, sizeof(_srcProgramType));
}

CDShowGraphTransform::~CDShowGraphTransform() { close(); }

HRESULT CDShowGraphTransform::init(IDShowGraphTransformSink* sink) {
  _sink = sink;
  return S_OK;
}

HRESULT CDShowGraphTransform::open(tagKestroProgramType& program) {
  if (m_pGraphBuilder != nullptr) return S_OK;
  _srcProgramType = program;
  HRESULT hr = initGraphBuild(true, nullptr);
  if (FAILED(hr)) return logged(hr, __LINE__, "\"hr = CDShowGraphBase::initGraphBuild(true)\"");
  // A stream that cannot be built is left out; the host sees writes to it do nothing.
  if (_srcProgramType.video.valid != 0) createDShowStream(AMTYPE_Video, _srcProgramType.video);
  if (_srcProgramType.audio.valid != 0) createDShowStream(AMTYPE_Audio, _srcProgramType.audio);
  pruneUnconnectedFilters(m_pGraphBuilder);
  if (FAILED(hr = m_pMediaControl->Run())) return logged(hr, __LINE__, "\"hr = m_pMediaControl->Run()\"");
  return S_OK;
}

bool CDShowGraphTransform::hasSource(int at) const { return _sampleSource[at] != nullptr; }

HRESULT CDShowGraphTransform::write(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data, unsigned long size) {
  if (at < 0 || at > 2) return E_FAIL;
  if (!hasSource(at)) return S_OK;
  return _sampleSource[at]->streamOutData(at, start, end, data, static_cast<DWORD>(size));
}

HRESULT CDShowGraphTransform::fillSample(int at, REFERENCE_TIME start, REFERENCE_TIME end, void* data,
                                         unsigned long size, IMediaSample** out) {
  if (at < 0 || at > 2) return E_FAIL;
  if (!hasSource(at)) return S_OK;
  return _sampleSource[at]->fillMediaSample(at, start, end, data, static_cast<DWORD>(size), out);
}

HRESULT CDShowGraphTransform::notifySample(int at, IMediaSample* sample) {
  if (at < 0 || at > 2) return E_FAIL;
  if (!hasSource(at)) return S_OK;
  return _sampleSource[at]->notifyMediaSample(sample, 0);
}

HRESULT CDShowGraphTransform::setMasterVolume(int value) {
  if (_ffdshowFilter[AMTYPE_Audio] == nullptr) return S_OK;
  return logged(kcm_setFFDShowFilterMasterVolume(_ffdshowFilter[AMTYPE_Audio], value), __LINE__,
                "\"hr = kcm_setFFDShowFilterMasterVolume(_ffdshowFilter[AMTYPE_Audio], value)\"");
}

HRESULT CDShowGraphTransform::close() {
  if (m_pMediaControl != nullptr) {
    endStreams();
    m_pMediaControl->Stop();
    removeStreamFilters();
    pruneUnconnectedFilters(m_pGraphBuilder);
  }
  destoryGraphBuild();
  releaseStreams();
  return S_OK;
}

// The graph stops its renderers first, so pictures a decoder still holds at Stop would
// meet a stopped render filter. An end of stream first lets every ffdshow filter hand
// them on while the chain still runs.
void CDShowGraphTransform::endStreams() {
  for (IBaseFilter* source : _sampleSourceFilter) {
    if (source == nullptr) continue;
    IEnumPins* pins = nullptr;
    if (FAILED(source->EnumPins(&pins)) || pins == nullptr) continue;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
      IPin* peer = nullptr;
      if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer != nullptr) peer->EndOfStream();
      releaseAndClear(peer);
      pin->Release();
    }
    pins->Release();
  }
}

HRESULT CDShowGraphTransform::removeStreamFilters() {
  for (int at = 0; at < 3; ++at) {
    for (IBaseFilter* filter : {_sampleRenderFilter[at], _ffdshowFilter[at], _sampleSourceFilter[at]}) {
      if (filter != nullptr) m_pGraphBuilder->RemoveFilter(filter);
    }
  }
  return S_OK;
}

// One release each: the graph held the others and has let them go. A host that kept a
// reference of its own keeps the object alive.
void CDShowGraphTransform::releaseStreams() {
  for (int at = 0; at < 3; ++at) {
    releaseAndClear(_sampleSource[at]);
    releaseAndClear(_sampleRenderFilter[at]);
    releaseAndClear(_ffdshowFilter[at]);
    releaseAndClear(_sampleSourceFilter[at]);
  }
}

tagKestroProgramType& CDShowGraphTransform::getSrcProgramType() { return _srcProgramType; }

bool CDShowGraphTransform::Ex_IsValid() { return true; }

bool CDShowGraphTransform::Ex_Release() {
  delete this;
  return true;
}

void* CDShowGraphTransform::Ex_QueryInterface(const GUID& iid, unsigned long version) {
  return QueryUnknownEx<ISampleRenderSink>(this, IID_ISampleRenderSink, iid, version);
}

HRESULT CDShowGraphTransform::OnDoRenderSample(ISampleRender*, int mediaKind, IMediaSample* sample,
                                               tagKestroStreamType* streamType, int) {
  IDShowGraphTransformSink* sink = _sink;
  if (sink == nullptr) return E_FAIL;
  return sink->onDShowGraphTransformSink_doRenderSample(this, mediaKind, sample, streamType);
}

HRESULT CDShowGraphTransform::createDShowStream(_AMTYPE at, tagKestroStreamType& streamType) {
  HRESULT hr = S_OK;
  IBaseFilter* sampleSourceFilter = nullptr;
  if (FAILED(hr = kcm_createInstance(CSampleSourceFilter::CreateInstance(0, &hr), IID_IBaseFilter,
                                     (void**)&sampleSourceFilter))) {
    return logged(hr, __LINE__,
                  "\"hr = kcm_createInstance(CSampleSourceFilter::CreateInstance(0, &hr), IID_IBaseFilter, "
                  "(void**)&sampleSourceFilter)\"");
  }
  ISampleSource* ss = nullptr;
  IBaseFilter* ffdshowFilter = nullptr;
  IBaseFilter* sampleRenderFilter = nullptr;
  if (SUCCEEDED(hr = addChainFilters(at, streamType, sampleSourceFilter, &ss, &ffdshowFilter)) &&
      FAILED(hr = createMediaRender(at, streamType, ffdshowFilter, &sampleRenderFilter))) {
    logged(hr, __LINE__, "\"hr = createMediaRender(at, streamType, ffdshowFilter, &sampleRenderFilter)\"");
  }
  if (FAILED(hr)) {
    releaseAndClear(ss);
    releaseAndClear(ffdshowFilter);
    releaseAndClear(sampleSourceFilter);
    return hr;
  }
  _sampleSourceFilter[at] = sampleSourceFilter;
  _ffdshowFilter[at] = ffdshowFilter;
  _sampleRenderFilter[at] = sampleRenderFilter;
  _sampleSource[at] = ss;
  return S_OK;
}

// Steps 2 to 8 of a stream: the source in the graph with its stream type, the ffdshow
// filter in the graph with its settings, the two connected.
HRESULT CDShowGraphTransform::addChainFilters(_AMTYPE at, tagKestroStreamType& streamType,
                                              IBaseFilter* sampleSourceFilter, ISampleSource** sampleSource,
                                              IBaseFilter** ffdshowFilter) {
  HRESULT hr = S_OK;
  if (FAILED(hr = m_pGraphBuilder->AddFilter(sampleSourceFilter, L"sample sample filter"))) {
    return logged(hr, __LINE__, "\"hr =m_pGraphBuilder->AddFilter(sampleSourceFilter, TEXT(\\\"sample sample filter\\\"))\"");
  }
  ISampleSource*& ss = *sampleSource;
  if (FAILED(hr = sampleSourceFilter->QueryInterface(IID_ISampleSource, (void**)&ss))) {
    return logged(hr, __LINE__, "\"hr = sampleSourceFilter->QueryInterface(IID_ISampleSource, (void**)&ss)\"");
  }
  if (FAILED(hr = ss->set_KestroStreamType(streamType))) {
    return logged(hr, __LINE__, "\"hr = ss->set_KestroStreamType(streamType)\"");
  }
  const bool video = at == AMTYPE_Video;
  *ffdshowFilter = createTffdshowTransformFilter(at, &hr);
  if (*ffdshowFilter == nullptr) hr = FAILED(hr) ? hr : E_FAIL;
  if (FAILED(hr) || FAILED(hr = m_pGraphBuilder->AddFilter(*ffdshowFilter, video ? L"ffdshow video transform"
                                                                                : L"ffdshow audio transform"))) {
    return logged(hr, __LINE__,
                  video ? "\"hr = m_pGraphBuilder->AddFilter(ffdshowFilter, TEXT(\\\"ffdshow video transform\\\"))\""
                        : "\"hr = m_pGraphBuilder->AddFilter(ffdshowFilter, TEXT(\\\"ffdshow audio transform\\\"))\"");
  }
  kcm_setFFDShowPreset(*ffdshowFilter);
  if (FAILED(hr = applyDefaultFFDshowSetting(at, &streamType, *ffdshowFilter, true))) {
    return logged(hr, __LINE__, "\"hr = applyDefaultFFDshowSetting(at, &streamType, ffdshowFilter)\"");
  }
  if (FAILED(hr = ConnectFilters(m_pGraphBuilder, sampleSourceFilter, *ffdshowFilter))) {
    return logged(hr, __LINE__, "\"hr = ConnectFilters(m_pGraphBuilder, sampleSourceFilter, ffdshowFilter)\"");
  }
  return S_OK;
}

HRESULT CDShowGraphTransform::applyDefaultFFDshowSetting(_AMTYPE at, tagKestroStreamType* srcType,
                                                         IBaseFilter* ffdshowFilter, bool flipVideo) {
  IUnknown* unk = ffdshowFilter;
  FFDShowFilterParam param = defaultParam(at, flipVideo);
  HRESULT hr = S_OK;
  if (at == AMTYPE_Video) {
    if (FAILED(hr = kcm_setFFDShowFilterParam(unk, AMTYPE_Video, 17, &param))) {
      return logged(hr, __LINE__, "\"hr = kcm_setFFDShowFilterParam(unk, at, param.video.type, &param)\"");
    }
  } else if (FAILED(hr = kcm_setFFDShowFilterParam(unk, AMTYPE_Audio, 1, &param))) {
    return logged(hr, __LINE__, "\"hr = kcm_setFFDShowFilterParam(unk, at, param.audio.type, &param)\"");
  }
  if (_sink == nullptr) return S_OK;
  auto* sink2 = static_cast<IDShowGraphTransformSink2*>(
      _sink->Ex_QueryInterface(IID_IDShowGraphTransformSink2, KCM_INTERFACE_VERSION));
  if (sink2 == nullptr) return S_OK;
  if (FAILED(hr = sink2->onDShowGraphTransformSink_doRenderSample(this, at, srcType, unk, flipVideo))) {
    return logged(hr, __LINE__,
                  "\"hr = sink2->onDShowGraphTransformSink_doRenderSample(this, at, srcType, unk, filpVideo)\"");
  }
  return S_OK;
}

HRESULT CDShowGraphTransform::createMediaRender(_AMTYPE at, tagKestroStreamType&, IBaseFilter* upFilter,
                                                IBaseFilter** out) {
  HRESULT hr = S_OK;
  IBaseFilter* sampleRenderFilter = nullptr;
  if (FAILED(hr = kcm_createInstance(CSampleRenderFilter::CreateInstance(0, &hr), IID_IBaseFilter,
                                     (void**)&sampleRenderFilter))) {
    return logged(hr, __LINE__,
                  "\"hr = kcm_createInstance(CSampleRenderFilter::CreateInstance(0, &hr), IID_IBaseFilter, "
                  "(void**)&sampleRenderFilter)\"");
  }
  ISampleRender* sr = nullptr;
  if (FAILED(hr = m_pGraphBuilder->AddFilter(sampleRenderFilter, L"sample render filter"))) {
    logged(hr, __LINE__, "\"hr = m_pGraphBuilder->AddFilter(sampleRenderFilter, TEXT(\\\"sample render filter\\\"))\"");
  } else if (FAILED(hr = sampleRenderFilter->QueryInterface(IID_ISampleRender, (void**)&sr))) {
    logged(hr, __LINE__, "\"hr = sampleRenderFilter->QueryInterface(IID_ISampleRender, (void**)&sr)\"");
  } else if (FAILED(hr = sr->put_SourceIndex(at))) {
    logged(hr, __LINE__, "\"hr = sr->put_SourceIndex(at)\"");
  } else if (FAILED(hr = sr->put_SampleRenderSink(this))) {
    logged(hr, __LINE__, "\"hr = sr->put_SampleRenderSink(this)\"");
  } else if (FAILED(hr = ConnectFilters(m_pGraphBuilder, upFilter, sampleRenderFilter))) {
    logged(hr, __LINE__, "\"hr = ConnectFilters(m_pGraphBuilder, upFilter, sampleRenderFilter)\"");
  }
  releaseAndClear(sr);
  if (FAILED(hr)) {
    sampleRenderFilter->Release();
    return hr;
  }
  *out = sampleRenderFilter;
  return S_OK;
}

IBaseFilter* CDShowGraphDecode::createTffdshowTransformFilter(_AMTYPE at, HRESULT* phr) {
  return Kestro::createFFDshowFilter(
      at == AMTYPE_Video ? Kestro::FFDshowEntry::VideoDecoder : Kestro::FFDshowEntry::AudioDecoder, phr);
}

IBaseFilter* CDShowGraphRawProcess::createTffdshowTransformFilter(_AMTYPE at, HRESULT* phr) {
  return Kestro::createFFDshowFilter(
      at == AMTYPE_Video ? Kestro::FFDshowEntry::VideoRaw : Kestro::FFDshowEntry::AudioRaw, phr);
}
