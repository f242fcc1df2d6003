#include "FilterHarness.h"

#include <new>

namespace kcm_test {

namespace {

// {6D7F0E51-3C2A-4B8E-9F11-2A6C0D4E8B01}, {6D7F0E51-3C2A-4B8E-9F11-2A6C0D4E8B02}
DEFINE_GUID(CLSID_UpstreamTestFilter, 0x6D7F0E51, 0x3C2A, 0x4B8E, 0x9F, 0x11, 0x2A, 0x6C, 0x0D, 0x4E, 0x8B, 0x01);
DEFINE_GUID(CLSID_DownstreamTestFilter, 0x6D7F0E51, 0x3C2A, 0x4B8E, 0x9F, 0x11, 0x2A, 0x6C, 0x0D, 0x4E, 0x8B, 0x02);

HRESULT offer(const std::vector<CMediaType>& types, int position, CMediaType* type) {
  if (position < 0) return E_INVALIDARG;
  if (position >= static_cast<int>(types.size())) return VFW_S_NO_MORE_ITEMS;
  return type->Set(types[position]);
}

HRESULT judge(const std::function<bool(const CMediaType&)>& accepts, const CMediaType* type, PinCalls& calls) {
  calls.checkedTypes.push_back(*type);
  return !accepts || accepts(*type) ? S_OK : S_FALSE;
}

ReceivedSample copyOf(IMediaSample* sample) {
  ReceivedSample copy;
  BYTE* bytes = nullptr;
  sample->GetPointer(&bytes);
  copy.bytes.assign(bytes, bytes + sample->GetActualDataLength());
  copy.timeResult = sample->GetTime(&copy.start, &copy.end);
  copy.syncPoint = sample->IsSyncPoint() == S_OK;
  copy.discontinuity = sample->IsDiscontinuity() == S_OK;
  copy.preroll = sample->IsPreroll() == S_OK;
  copy.bufferSize = sample->GetSize();
  AM_MEDIA_TYPE* type = nullptr;
  copy.carriedType = sample->GetMediaType(&type) == S_OK;
  DeleteMediaType(type);
  return copy;
}

}  // namespace

CMediaType MakeMediaType(const GUID& major, const GUID& subtype, const GUID& format, ULONG formatBytes) {
  CMediaType type(&major);
  type.SetSubtype(&subtype);
  type.SetFormatType(&format);
  if (formatBytes != 0) {
    BYTE* block = type.AllocFormatBuffer(formatBytes);
    for (ULONG index = 0; index < formatBytes; ++index) block[index] = static_cast<BYTE>(index);
  }
  return type;
}

UpstreamTestPin::UpstreamTestPin(CBaseFilter* filter, CCritSec* lock, HRESULT* result)
    : CBaseOutputPin(NAME("UpstreamTestPin"), filter, lock, result, L"Out") {}

HRESULT UpstreamTestPin::CheckMediaType(const CMediaType* type) { return judge(accepts, type, calls); }

HRESULT UpstreamTestPin::GetMediaType(int position, CMediaType* type) { return offer(offered, position, type); }

HRESULT UpstreamTestPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  downstreamRequest = *request;
  ALLOCATOR_PROPERTIES asked = wanted;
  asked.cbAlign = std::max(asked.cbAlign, request->cbAlign);
  ALLOCATOR_PROPERTIES granted{};
  const HRESULT hr = allocator->SetProperties(&asked, &granted);
  if (FAILED(hr)) return hr;
  return granted.cbBuffer < asked.cbBuffer ? E_FAIL : S_OK;
}

HRESULT UpstreamTestPin::Push(const std::vector<BYTE>& bytes, REFERENCE_TIME start, REFERENCE_TIME end,
                              bool syncPoint) {
  IMediaSample* sample = nullptr;
  HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
  if (FAILED(hr)) return hr;
  BYTE* buffer = nullptr;
  sample->GetPointer(&buffer);
  if (static_cast<long>(bytes.size()) > sample->GetSize()) {
    sample->Release();
    return VFW_E_BUFFER_OVERFLOW;
  }
  std::copy(bytes.begin(), bytes.end(), buffer);
  sample->SetActualDataLength(static_cast<long>(bytes.size()));
  if (start >= 0) {
    sample->SetTime(&start, end >= 0 ? &end : nullptr);
  }
  sample->SetSyncPoint(syncPoint);
  hr = Deliver(sample);
  sample->Release();
  return hr;
}

DownstreamTestPin::DownstreamTestPin(CBaseFilter* filter, CCritSec* lock, HRESULT* result)
    : CBaseInputPin(NAME("DownstreamTestPin"), filter, lock, result, L"In") {}

HRESULT DownstreamTestPin::CheckMediaType(const CMediaType* type) { return judge(accepts, type, calls); }

HRESULT DownstreamTestPin::GetMediaType(int position, CMediaType* type) { return offer(offered, position, type); }

STDMETHODIMP DownstreamTestPin::GetAllocator(IMemAllocator** allocator) {
  if (ownAllocator) return CBaseInputPin::GetAllocator(allocator);
  CheckPointer(allocator, E_POINTER);
  *allocator = nullptr;
  return VFW_E_NO_ALLOCATOR;
}

STDMETHODIMP DownstreamTestPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
  CheckPointer(properties, E_POINTER);
  if (requirements.cbBuffer == 0) return E_NOTIMPL;
  *properties = requirements;
  return S_OK;
}

STDMETHODIMP DownstreamTestPin::Receive(IMediaSample* sample) {
  const HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  received.push_back(copyOf(sample));
  return receiveResult;
}

STDMETHODIMP DownstreamTestPin::EndOfStream() {
  ++calls.endOfStream;
  return S_OK;
}

STDMETHODIMP DownstreamTestPin::BeginFlush() {
  ++calls.beginFlush;
  return CBaseInputPin::BeginFlush();
}

STDMETHODIMP DownstreamTestPin::EndFlush() {
  ++calls.endFlush;
  return CBaseInputPin::EndFlush();
}

STDMETHODIMP DownstreamTestPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  ++calls.newSegment;
  return CBaseInputPin::NewSegment(start, stop, rate);
}

UpstreamTestFilter::UpstreamTestFilter(HRESULT* result)
    : CBaseFilter(NAME("UpstreamTestFilter"), nullptr, &m_lock, CLSID_UpstreamTestFilter), pin(this, &m_lock, result) {}

UpstreamTestFilter* UpstreamTestFilter::Create() {
  HRESULT hr = S_OK;
  auto* filter = new UpstreamTestFilter(&hr);
  filter->NonDelegatingAddRef();
  return filter;
}

DownstreamTestFilter::DownstreamTestFilter(HRESULT* result)
    : CBaseFilter(NAME("DownstreamTestFilter"), nullptr, &m_lock, CLSID_DownstreamTestFilter),
      pin(this, &m_lock, result) {}

DownstreamTestFilter* DownstreamTestFilter::Create() {
  HRESULT hr = S_OK;
  auto* filter = new DownstreamTestFilter(&hr);
  filter->NonDelegatingAddRef();
  return filter;
}

namespace {

// The first pin of `filter` pointing in `direction`, with a reference.
IPin* findPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  IEnumPins* pins = nullptr;
  if (FAILED(filter->EnumPins(&pins))) return nullptr;
  IPin* found = nullptr;
  IPin* pin = nullptr;
  while (found == nullptr && pins->Next(1, &pin, nullptr) == S_OK) {
    PIN_DIRECTION pinDirection;
    if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction) {
      found = pin;
    } else {
      pin->Release();
    }
  }
  pins->Release();
  return found;
}

void disconnect(IPin* pin) {
  IPin* other = nullptr;
  if (pin == nullptr || FAILED(pin->ConnectedTo(&other))) return;
  other->Disconnect();
  other->Release();
  pin->Disconnect();
}

}  // namespace

FilterHarness::FilterHarness(IBaseFilter* filter)
    : m_filter(filter), m_upstream(UpstreamTestFilter::Create()), m_downstream(DownstreamTestFilter::Create()) {
  m_filter->AddRef();
  m_input = findPin(filter, PINDIR_INPUT);
  m_output = findPin(filter, PINDIR_OUTPUT);
}

FilterHarness::~FilterHarness() {
  Stop();
  disconnect(m_input);
  disconnect(m_output);
  if (m_input != nullptr) m_input->Release();
  if (m_output != nullptr) m_output->Release();
  m_filter->Release();
  m_upstream->Release();
  m_downstream->Release();
}

HRESULT FilterHarness::ConnectUpstream(const AM_MEDIA_TYPE* proposed) {
  if (m_input == nullptr) return E_UNEXPECTED;
  return upstream().Connect(m_input, proposed);
}

HRESULT FilterHarness::ConnectDownstream(const AM_MEDIA_TYPE* proposed) {
  if (m_output == nullptr) return E_UNEXPECTED;
  return m_output->Connect(&downstream(), proposed);
}

HRESULT FilterHarness::Connect(const AM_MEDIA_TYPE* proposed) {
  const HRESULT hr = ConnectUpstream(proposed);
  return FAILED(hr) ? hr : ConnectDownstream();
}

HRESULT FilterHarness::ForEachFilter(const std::function<HRESULT(IBaseFilter*)>& step) {
  for (IBaseFilter* filter : {static_cast<IBaseFilter*>(m_downstream), m_filter, static_cast<IBaseFilter*>(m_upstream)}) {
    const HRESULT hr = step(filter);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT FilterHarness::Pause() {
  return ForEachFilter([](IBaseFilter* filter) { return filter->Pause(); });
}

HRESULT FilterHarness::Run() {
  return ForEachFilter([](IBaseFilter* filter) { return filter->Run(0); });
}

HRESULT FilterHarness::Stop() {
  // Every filter stops, whatever the others answer.
  HRESULT result = S_OK;
  ForEachFilter([&result](IBaseFilter* filter) {
    const HRESULT hr = filter->Stop();
    if (SUCCEEDED(result)) result = hr;
    return S_OK;
  });
  return result;
}

}  // namespace kcm_test
