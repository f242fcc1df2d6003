#include "KestroCrossbar.h"

#include <iterator>
#include <new>
#include <wchar.h>

namespace {

struct ConnectorName {
  long type;
  const wchar_t* name;
};

const ConnectorName kConnectorNames[] = {
    {PhysConn_Video_Tuner, L"Video Tuner"},
    {PhysConn_Video_Composite, L"Video Composite"},
    {PhysConn_Video_SVideo, L"Video SVideo"},
    {PhysConn_Video_RGB, L"Video RGB"},
    {PhysConn_Video_YRYBY, L"Video YRYBY"},
    {PhysConn_Video_SerialDigital, L"Video SerialDigital"},
    {PhysConn_Video_ParallelDigital, L"Video ParallelDigital"},
    {PhysConn_Video_SCSI, L"Video SCSI"},
    {PhysConn_Video_AUX, L"Video AUX"},
    {PhysConn_Video_1394, L"Video 1394"},
    {PhysConn_Video_USB, L"Video USB"},
    {PhysConn_Video_VideoDecoder, L"Video Decoder"},
    {PhysConn_Video_VideoEncoder, L"Video Encoder"},
    {PhysConn_Audio_Tuner, L"Audio Tuner"},
    {PhysConn_Audio_Line, L"Audio Line"},
    {PhysConn_Audio_Mic, L"Audio Mic"},
    {PhysConn_Audio_AESDigital, L"Audio AESDigital"},
    {PhysConn_Audio_SPDIFDigital, L"Audio SPDIFDigital"},
    {PhysConn_Audio_SCSI, L"Audio SCSI"},
    {PhysConn_Audio_AUX, L"Audio AUX"},
    {PhysConn_Audio_1394, L"Audio 1394"},
    {PhysConn_Audio_USB, L"Audio USB"},
    {PhysConn_Audio_AudioDecoder, L"Audio Decoder"},
};

const wchar_t* connectorName(long type) {
  for (const ConnectorName& entry : kConnectorNames) {
    if (entry.type == type) return entry.name;
  }
  return L"Unknown";
}

// The crossbar feeding `inputPin` (one reference), or null when the pin is not connected
// or its peer belongs to no crossbar. *upstreamPin receives the peer (one reference).
IAMCrossbar* upstreamCrossbar(IPin* inputPin, IPin** upstreamPin) {
  *upstreamPin = nullptr;
  if (FAILED(inputPin->ConnectedTo(upstreamPin)) || *upstreamPin == nullptr) return nullptr;
  PIN_INFO info = {};
  if (FAILED((*upstreamPin)->QueryPinInfo(&info)) || info.pFilter == nullptr) return nullptr;
  IAMCrossbar* crossbar = nullptr;
  if (FAILED(info.pFilter->QueryInterface(IID_IAMCrossbar, reinterpret_cast<void**>(&crossbar)))) crossbar = nullptr;
  info.pFilter->Release();
  return crossbar;
}

// Whether `crossbar` is already a step of the chain downstream of `routing`: a route
// through it again would circle for ever.
bool isOnChain(const CRouting* routing, const IAMCrossbar* crossbar) {
  for (const CRouting* step = routing->rightRouting; step != nullptr; step = step->rightRouting) {
    if (step->crossbar == crossbar) return true;
  }
  return false;
}

// Calls visit(pin, position among the pins of that direction) for the crossbar filter's
// pins of one direction until it answers true: S_OK then, else E_FAIL.
template <class Visit>
HRESULT visitPins(IAMCrossbar* crossbar, BOOL isInput, Visit visit) {
  IBaseFilter* filter = nullptr;
  if (FAILED(crossbar->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)))) return E_FAIL;
  IEnumPins* pins = nullptr;
  const HRESULT hr = filter->EnumPins(&pins);
  filter->Release();
  if (FAILED(hr) || pins == nullptr) return E_FAIL;
  const PIN_DIRECTION wanted = isInput ? PINDIR_INPUT : PINDIR_OUTPUT;
  long position = 0;
  bool found = false;
  IPin* candidate = nullptr;
  while (!found && pins->Next(1, &candidate, nullptr) == S_OK) {
    PIN_DIRECTION direction;
    if (SUCCEEDED(candidate->QueryDirection(&direction)) && direction == wanted) found = visit(candidate, position++);
    candidate->Release();
  }
  pins->Release();
  return found ? S_OK : E_FAIL;
}

void releaseAll(IPin* pin, IAMCrossbar* crossbar) {
  if (pin != nullptr) pin->Release();
  if (crossbar != nullptr) crossbar->Release();
}

}  // namespace

CCrossbar::CCrossbar(IPin* startingInputPin, HRESULT* phr)
    : m_pStartingPin(startingInputPin), m_RoutingRoot(), m_RoutingList(nullptr), m_CurrentRoutingIndex(0) {
  m_RoutingList = new (std::nothrow) std::list<CRouting*>();
  HRESULT hr = E_OUTOFMEMORY;
  if (m_RoutingList != nullptr) hr = BuildRoutingList(startingInputPin, &m_RoutingRoot, 0);
  if (phr != nullptr) *phr = hr;
}

CCrossbar::~CCrossbar() { DestroyRoutingList(); }

HRESULT CCrossbar::GetInputCount(long* count) {
  if (count == nullptr || m_RoutingList == nullptr) return E_POINTER;
  *count = static_cast<long>(m_RoutingList->size());
  return S_OK;
}

HRESULT CCrossbar::GetInputType(long index, long* physicalType) {
  if (physicalType == nullptr || m_RoutingList == nullptr) return E_POINTER;
  if (index < 0 || static_cast<size_t>(index) >= m_RoutingList->size()) return E_FAIL;
  *physicalType = (*std::next(m_RoutingList->begin(), index))->inputPhysicalType;
  return S_OK;
}

HRESULT CCrossbar::GetInputName(long index, wchar_t* name, long size) {
  long physicalType = 0;
  if (name == nullptr || GetInputType(index, &physicalType) != S_OK) return E_FAIL;
  return StringFromPinType(name, static_cast<int>(size), physicalType) ? S_OK : E_FAIL;
}

HRESULT CCrossbar::SetInputIndex(long index) {
  if (m_RoutingList == nullptr) return E_POINTER;
  if (index < 0 || static_cast<size_t>(index) >= m_RoutingList->size()) return E_FAIL;
  const CRouting* route = *std::next(m_RoutingList->begin(), index);
  HRESULT hr = S_OK;
  for (int32_t step = 0; step <= route[0].depth; ++step) {
    const CRouting& routing = route[step];
    hr = routing.crossbar->Route(routing.videoOutputIndex, routing.videoInputIndex);
    if (routing.audioOutputIndex != -1 && routing.audioInputIndex != -1) {
      hr = routing.crossbar->Route(routing.audioOutputIndex, routing.audioInputIndex);
    }
  }
  m_CurrentRoutingIndex = static_cast<int32_t>(index);
  return hr;
}

HRESULT CCrossbar::GetInputIndex(long* index) {
  if (index == nullptr) return E_POINTER;
  *index = m_CurrentRoutingIndex;
  return S_OK;
}

HRESULT CCrossbar::BuildRoutingList(IPin* startingInputPin, CRouting* routing, int depth) {
  if (startingInputPin == nullptr || routing == nullptr) return E_POINTER;
  const HRESULT noCrossbar = depth > 0 ? S_FALSE : E_FAIL;
  IPin* upstreamPin = nullptr;
  IAMCrossbar* crossbar = upstreamCrossbar(startingInputPin, &upstreamPin);
  if (crossbar == nullptr) {
    releaseAll(upstreamPin, nullptr);
    return noCrossbar;
  }
  if (isOnChain(routing, crossbar)) {
    releaseAll(upstreamPin, crossbar);
    return E_FAIL;
  }
  long outputCount = 0;
  long inputCount = 0;
  long outputIndex = -1;
  long outputRelated = -1;
  long outputType = 0;
  if (FAILED(crossbar->get_PinCounts(&outputCount, &inputCount)) ||
      FAILED(GetCrossbarIndexFromIPin(crossbar, &outputIndex, FALSE, upstreamPin)) ||
      FAILED(crossbar->get_CrossbarPinInfo(FALSE, outputIndex, &outputRelated, &outputType))) {
    releaseAll(upstreamPin, crossbar);
    return E_FAIL;
  }
  for (long inputIndex = 0; inputIndex < inputCount; ++inputIndex) {
    long inputRelated = -1;
    long inputType = 0;
    if (FAILED(crossbar->get_CrossbarPinInfo(TRUE, inputIndex, &inputRelated, &inputType))) continue;
    if (inputType >= PhysConn_Audio_Tuner || crossbar->CanRoute(outputIndex, inputIndex) != S_OK) continue;

    CRouting next = {};
    routing->leftRouting = &next;
    next.rightRouting = routing;
    routing->crossbar = crossbar;
    routing->videoInputIndex = static_cast<int32_t>(inputIndex);
    routing->videoOutputIndex = static_cast<int32_t>(outputIndex);
    routing->audioInputIndex = static_cast<int32_t>(inputRelated);
    routing->audioOutputIndex = static_cast<int32_t>(outputRelated);
    routing->inputPhysicalType = static_cast<int32_t>(inputType);
    routing->outputPhysicalType = static_cast<int32_t>(outputType);
    routing->depth = depth;

    IPin* inputPin = nullptr;
    if (FAILED(GetCrossbarIPinAtIndex(crossbar, inputIndex, TRUE, &inputPin))) continue;
    if (BuildRoutingList(inputPin, &next, depth + 1) == S_FALSE) {
      routing->leftRouting = nullptr;
      SaveRouting(routing);
    }
    inputPin->Release();
  }
  routing->leftRouting = nullptr;
  releaseAll(upstreamPin, crossbar);
  return S_OK;
}

HRESULT CCrossbar::SaveRouting(CRouting* routingNew) {
  if (m_RoutingList == nullptr) return E_POINTER;
  const int32_t count = routingNew->depth + 1;
  CRouting* route = new (std::nothrow) CRouting[count];
  if (route == nullptr) return E_FAIL;
  m_RoutingList->push_back(route);
  const CRouting* source = routingNew;
  for (int32_t step = 0; step < count && source != nullptr; ++step, source = source->rightRouting) {
    route[step] = *source;
    route[step].crossbar->AddRef();
    route[step].leftRouting = step == 0 ? nullptr : &route[step - 1];
    route[step].rightRouting = step + 1 == count ? nullptr : &route[step + 1];
  }
  return S_OK;
}

HRESULT CCrossbar::DestroyRoutingList() {
  if (m_RoutingList == nullptr) return S_OK;
  for (CRouting* route : *m_RoutingList) {
    for (int32_t step = 0; step <= route[0].depth; ++step) route[step].crossbar->Release();
    delete[] route;
  }
  delete m_RoutingList;
  m_RoutingList = nullptr;
  return S_OK;
}

BOOL CCrossbar::StringFromPinType(wchar_t* name, int size, long physicalType) {
  if (name == nullptr || size <= 0) return FALSE;
  wcsncpy(name, connectorName(physicalType), static_cast<size_t>(size - 1));
  name[size - 1] = L'\0';
  return TRUE;
}

HRESULT CCrossbar::GetCrossbarIPinAtIndex(IAMCrossbar* crossbar, long index, BOOL isInput, IPin** pin) {
  if (crossbar == nullptr || pin == nullptr) return E_POINTER;
  *pin = nullptr;
  return visitPins(crossbar, isInput, [&](IPin* candidate, long position) {
    if (position != index) return false;
    candidate->AddRef();
    *pin = candidate;
    return true;
  });
}

HRESULT CCrossbar::GetCrossbarIndexFromIPin(IAMCrossbar* crossbar, long* index, BOOL isInput, IPin* pin) {
  if (crossbar == nullptr || index == nullptr || pin == nullptr) return E_POINTER;
  return visitPins(crossbar, isInput, [&](IPin* candidate, long position) {
    if (candidate != pin) return false;
    *index = position;
    return true;
  });
}
