#include "CrossbarTestFilter.h"

namespace kcm_test {

// {5B2C7D41-8E3F-4A6B-9C1D-0E2F3A4B5C6D}
DEFINE_GUID(CLSID_CrossbarTestFilter, 0x5B2C7D41, 0x8E3F, 0x4A6B, 0x9C, 0x1D, 0x0E, 0x2F, 0x3A, 0x4B, 0x5C, 0x6D);

namespace {

bool isVideo(long physicalType) { return physicalType < PhysConn_Audio_Tuner; }

}  // namespace

AnalogTestPin::AnalogTestPin(CBaseFilter* filter, CCritSec* lock, LPCWSTR name, PIN_DIRECTION direction)
    : CBasePin(NAME("AnalogTestPin"), filter, lock, nullptr, name, direction) {}

HRESULT AnalogTestPin::CheckMediaType(const CMediaType* type) {
  return *type->Type() == MEDIATYPE_AnalogVideo ? S_OK : S_FALSE;
}

HRESULT AnalogTestPin::GetMediaType(int position, CMediaType* type) {
  if (position < 0) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  type->InitMediaType();
  type->SetType(&MEDIATYPE_AnalogVideo);
  return S_OK;
}

HRESULT AnalogTestPin::ConnectTo(IPin* input) {
  CMediaType type;
  GetMediaType(0, &type);
  return Connect(input, &type);
}

CrossbarTestFilter::CrossbarTestFilter(std::vector<CrossbarConnector> inputs, std::vector<CrossbarConnector> outputs)
    : CBaseFilter(NAME("CrossbarTestFilter"), nullptr, &m_lock, CLSID_CrossbarTestFilter),
      m_inputs(std::move(inputs)),
      m_outputs(std::move(outputs)),
      m_routedTo(m_outputs.size(), -1) {
  for (size_t i = 0; i < m_inputs.size(); ++i) {
    m_pins.push_back(std::make_unique<AnalogTestPin>(this, &m_lock, L"In", PINDIR_INPUT));
  }
  for (size_t i = 0; i < m_outputs.size(); ++i) {
    m_pins.push_back(std::make_unique<AnalogTestPin>(this, &m_lock, L"Out", PINDIR_OUTPUT));
  }
}

CrossbarTestFilter::~CrossbarTestFilter() = default;

CrossbarTestFilter* CrossbarTestFilter::Create(std::vector<CrossbarConnector> inputs,
                                               std::vector<CrossbarConnector> outputs) {
  auto* filter = new CrossbarTestFilter(std::move(inputs), std::move(outputs));
  filter->NonDelegatingAddRef();
  return filter;
}

CrossbarTestFilter* CrossbarTestFilter::CreateDeviceCrossbar() {
  return Create({{PhysConn_Video_Tuner, 3},
                 {PhysConn_Video_Composite, 4},
                 {PhysConn_Video_SVideo, 4},
                 {PhysConn_Audio_Tuner, 0},
                 {PhysConn_Audio_Line, 1}},
                {{PhysConn_Video_VideoDecoder, 1}, {PhysConn_Audio_AudioDecoder, 0}});
}

STDMETHODIMP CrossbarTestFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (iid == IID_IAMCrossbar) return GetInterface(static_cast<IAMCrossbar*>(this), object);
  return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

CBasePin* CrossbarTestFilter::GetPin(int index) {
  if (index < 0 || index >= GetPinCount()) return nullptr;
  return m_pins[static_cast<size_t>(index)].get();
}

bool CrossbarTestFilter::validIndex(long index, bool isInput) const {
  return index >= 0 && static_cast<size_t>(index) < (isInput ? m_inputs.size() : m_outputs.size());
}

STDMETHODIMP CrossbarTestFilter::get_PinCounts(long* outputPinCount, long* inputPinCount) {
  if (outputPinCount == nullptr || inputPinCount == nullptr) return E_POINTER;
  *outputPinCount = static_cast<long>(m_outputs.size());
  *inputPinCount = static_cast<long>(m_inputs.size());
  return S_OK;
}

STDMETHODIMP CrossbarTestFilter::CanRoute(long outputPinIndex, long inputPinIndex) {
  if (!validIndex(outputPinIndex, false) || !validIndex(inputPinIndex, true)) return E_INVALIDARG;
  const bool sameKind = isVideo(m_outputs[static_cast<size_t>(outputPinIndex)].physicalType) ==
                        isVideo(m_inputs[static_cast<size_t>(inputPinIndex)].physicalType);
  return sameKind ? S_OK : S_FALSE;
}

STDMETHODIMP CrossbarTestFilter::Route(long outputPinIndex, long inputPinIndex) {
  routeCalls.emplace_back(outputPinIndex, inputPinIndex);
  if (CanRoute(outputPinIndex, inputPinIndex) != S_OK) return E_INVALIDARG;
  m_routedTo[static_cast<size_t>(outputPinIndex)] = inputPinIndex;
  return S_OK;
}

STDMETHODIMP CrossbarTestFilter::get_IsRoutedTo(long outputPinIndex, long* inputPinIndex) {
  if (inputPinIndex == nullptr) return E_POINTER;
  if (!validIndex(outputPinIndex, false)) return E_INVALIDARG;
  *inputPinIndex = m_routedTo[static_cast<size_t>(outputPinIndex)];
  return S_OK;
}

STDMETHODIMP CrossbarTestFilter::get_CrossbarPinInfo(BOOL isInputPin, long pinIndex, long* pinIndexRelated,
                                                     long* physicalType) {
  if (pinIndexRelated == nullptr || physicalType == nullptr) return E_POINTER;
  if (!validIndex(pinIndex, isInputPin)) return E_INVALIDARG;
  const CrossbarConnector& connector = (isInputPin ? m_inputs : m_outputs)[static_cast<size_t>(pinIndex)];
  *pinIndexRelated = connector.relatedIndex;
  *physicalType = connector.physicalType;
  return S_OK;
}

// {5B2C7D42-8E3F-4A6B-9C1D-0E2F3A4B5C6D}
DEFINE_GUID(CLSID_CaptureTestFilter, 0x5B2C7D42, 0x8E3F, 0x4A6B, 0x9C, 0x1D, 0x0E, 0x2F, 0x3A, 0x4B, 0x5C,
            0x6D);

CaptureTestFilter::CaptureTestFilter()
    : CBaseFilter(NAME("CaptureTestFilter"), nullptr, &m_lock, CLSID_CaptureTestFilter),
      input(this, &m_lock, L"Analog Video In", PINDIR_INPUT),
      output(this, &m_lock, L"Capture", PINDIR_OUTPUT) {}

CaptureTestFilter* CaptureTestFilter::Create() {
  auto* filter = new CaptureTestFilter();
  filter->NonDelegatingAddRef();
  return filter;
}

CBasePin* CaptureTestFilter::GetPin(int index) {
  if (index == 0) return &input;
  if (index == 1) return &output;
  return nullptr;
}

}  // namespace kcm_test
