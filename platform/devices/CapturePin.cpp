#include "CapturePin.h"

#include <chrono>
#include <cstring>

#include "DevicePages.h"
#include "evcode.h"
#include "uuids.h"

namespace kcm::devices {

namespace {

// Buffers a capture pin asks for when nobody suggests a count: enough to ride out a
// downstream filter that holds a few samples.
constexpr LONG kDefaultBufferCount = 4;

bool sameFormat(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  return a.majortype == b.majortype && a.subtype == b.subtype && a.formattype == b.formattype &&
         a.cbFormat == b.cbFormat && (a.cbFormat == 0 || std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0);
}

}  // namespace

CapturePin::CapturePin(CBaseFilter* filter, CCritSec* lock, LPCWSTR name, std::unique_ptr<CaptureSource> source,
                       REFGUID category, HRESULT* result)
    : CBaseOutputPin(NAME("capture pin"), filter, lock, result, name), source_(std::move(source)), category_(category) {}

CapturePin::~CapturePin() {
  stopping_ = true;
  source_->interrupt();
  if (thread_.joinable()) thread_.join();
}

STDMETHODIMP CapturePin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IAMStreamConfig) return GetInterface(static_cast<IAMStreamConfig*>(this), object);
  if (iid == IID_IKsPropertySet) return GetInterface(static_cast<IKsPropertySet*>(this), object);
  if (iid == IID_IAMBufferNegotiation) return GetInterface(static_cast<IAMBufferNegotiation*>(this), object);
  if (iid == IID_ISpecifyPropertyPages) return GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
  if (iid == IID_IKcmPropertyText) return GetInterface(static_cast<IKcmPropertyText*>(this), object);
  if (iid == IID_IAMAudioInputMixer && isAudio()) return GetInterface(static_cast<IAMAudioInputMixer*>(this), object);
  return CBaseOutputPin::NonDelegatingQueryInterface(iid, object);
}

HRESULT CapturePin::CheckMediaType(const CMediaType* type) {
  CheckPointer(type, E_POINTER);
  if (hasChosen_) return sameFormat(*type, chosen_) ? S_OK : VFW_E_INVALIDMEDIATYPE;
  CMediaType candidate(*type);
  return source_->accept(candidate);
}

HRESULT CapturePin::GetMediaType(int position, CMediaType* type) {
  CheckPointer(type, E_POINTER);
  if (position < 0) return E_INVALIDARG;
  if (hasChosen_) {
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    *type = chosen_;
    return S_OK;
  }
  const std::vector<CaptureFormat>& formats = source_->formats();
  if (static_cast<size_t>(position) >= formats.size()) return VFW_S_NO_MORE_ITEMS;
  *type = formats[static_cast<size_t>(position)].type;
  return S_OK;
}

HRESULT CapturePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  CheckPointer(allocator, E_POINTER);
  CheckPointer(request, E_POINTER);
  ALLOCATOR_PROPERTIES wanted = *request;
  wanted.cBuffers = suggested_.cBuffers > 0 ? suggested_.cBuffers : std::max(request->cBuffers, kDefaultBufferCount);
  const LONG sampleSize = source_->bufferSize(m_mt);
  wanted.cbBuffer = suggested_.cbBuffer > 0 ? suggested_.cbBuffer : std::max(request->cbBuffer, sampleSize);
  if (suggested_.cbAlign > 0) wanted.cbAlign = suggested_.cbAlign;
  if (suggested_.cbPrefix >= 0) wanted.cbPrefix = suggested_.cbPrefix;
  if (wanted.cbAlign < 1) wanted.cbAlign = 1;
  if (wanted.cbBuffer <= 0) return E_INVALIDARG;
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(&wanted, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < wanted.cbBuffer ? E_FAIL : S_OK;
}

HRESULT CapturePin::Active() {
  HRESULT hr = CBaseOutputPin::Active();
  if (FAILED(hr)) return hr;
  if (FAILED(hr = source_->start(m_mt))) {
    CBaseOutputPin::Inactive();
    return hr;
  }
  stopping_ = false;
  thread_ = std::thread([this] { stream(); });
  return S_OK;
}

HRESULT CapturePin::Run(REFERENCE_TIME start) {
  running_ = true;
  return CBaseOutputPin::Run(start);
}

HRESULT CapturePin::Inactive() {
  running_ = false;
  stopping_ = true;
  source_->interrupt();
  const HRESULT hr = CBaseOutputPin::Inactive();  // a waiting GetDeliveryBuffer returns
  if (thread_.joinable()) thread_.join();
  source_->stop();
  return hr;
}

void CapturePin::stream() {
  try {
    while (!stopping_) {
      if (!running_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // paused: a live source holds back
        continue;
      }
      const HRESULT hr = deliverOne();
      if (FAILED(hr)) {
        if (!stopping_) m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
        return;
      }
    }
  } catch (...) {
    if (!stopping_) m_pFilter->NotifyEvent(EC_ERRORABORT, E_UNEXPECTED, 0);
  }
}

HRESULT CapturePin::deliverOne() {
  IMediaSample* sample = nullptr;
  HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
  if (FAILED(hr)) return stopping_ ? S_OK : hr;  // decommitted while stopping
  hr = source_->fill(sample);
  if (hr == S_OK && !stopping_) {
    const HRESULT delivered = Deliver(sample);
    // A downstream filter that stops before us refuses samples: dropped, not an error.
    if (delivered == S_FALSE || delivered == VFW_E_WRONG_STATE) hr = S_OK;
    else hr = delivered;
  } else if (hr == S_FALSE) {
    hr = S_OK;
  }
  sample->Release();
  return stopping_ ? S_OK : hr;
}

CMediaType CapturePin::currentFormat() const {
  if (hasChosen_) return chosen_;
  if (m_Connected != nullptr) return m_mt;
  const std::vector<CaptureFormat>& formats = source_->formats();
  return formats.empty() ? CMediaType() : formats.front().type;
}

STDMETHODIMP CapturePin::SetFormat(AM_MEDIA_TYPE* type) {
  CheckPointer(type, E_POINTER);
  CAutoLock hold(m_pLock);
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  CMediaType candidate(*type);
  HRESULT hr = source_->accept(candidate);
  if (FAILED(hr)) return hr;
  if (m_Connected != nullptr && m_Connected->QueryAccept(&candidate) != S_OK) return VFW_E_INVALIDMEDIATYPE;
  chosen_ = candidate;
  hasChosen_ = true;
  if (m_Connected == nullptr) return S_OK;
  IFilterGraph* graph = m_pFilter->GetFilterGraph();
  return graph != nullptr ? graph->Reconnect(static_cast<IPin*>(this)) : S_OK;
}

STDMETHODIMP CapturePin::GetFormat(AM_MEDIA_TYPE** type) {
  CheckPointer(type, E_POINTER);
  CAutoLock hold(m_pLock);
  const CMediaType current = currentFormat();
  *type = CreateMediaType(&current);
  return *type != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CapturePin::GetNumberOfCapabilities(int* count, int* size) {
  CheckPointer(count, E_POINTER);
  CheckPointer(size, E_POINTER);
  const std::vector<CaptureFormat>& formats = source_->formats();
  *count = static_cast<int>(formats.size());
  *size = formats.empty() ? static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS))
                          : static_cast<int>(formats.front().caps.size());
  return S_OK;
}

STDMETHODIMP CapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) {
  CheckPointer(type, E_POINTER);
  CheckPointer(caps, E_POINTER);
  *type = nullptr;
  const std::vector<CaptureFormat>& formats = source_->formats();
  if (index < 0) return E_INVALIDARG;
  if (static_cast<size_t>(index) >= formats.size()) return S_FALSE;
  const CaptureFormat& format = formats[static_cast<size_t>(index)];
  *type = CreateMediaType(&format.type);
  if (*type == nullptr) return E_OUTOFMEMORY;
  std::memcpy(caps, format.caps.data(), format.caps.size());
  return S_OK;
}

STDMETHODIMP CapturePin::Set(REFGUID set, DWORD, void*, DWORD, void*, DWORD) {
  return set == AMPROPSETID_Pin ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;
}

STDMETHODIMP CapturePin::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataLength, DWORD* returned) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  CheckPointer(data, E_POINTER);
  if (dataLength < sizeof(GUID)) return E_UNEXPECTED;
  std::memcpy(data, &category_, sizeof(GUID));
  if (returned != nullptr) *returned = sizeof(GUID);
  return S_OK;
}

STDMETHODIMP CapturePin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (support != nullptr) *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

STDMETHODIMP CapturePin::SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* properties) {
  CheckPointer(properties, E_POINTER);
  CAutoLock hold(m_pLock);
  if (m_Connected != nullptr) return VFW_E_ALREADY_CONNECTED;
  suggested_ = *properties;
  return S_OK;
}

STDMETHODIMP CapturePin::GetAllocatorProperties(ALLOCATOR_PROPERTIES* properties) {
  CheckPointer(properties, E_POINTER);
  CAutoLock hold(m_pLock);
  if (m_pAllocator != nullptr) return m_pAllocator->GetProperties(properties);
  if (suggested_.cBuffers < 0 && suggested_.cbBuffer < 0) return E_FAIL;  // nothing settled or suggested
  *properties = suggested_;
  return S_OK;
}

STDMETHODIMP CapturePin::GetPages(CAUUID* pages) { return describePages(pages, CLSID_KcmCaptureFormatPage); }

STDMETHODIMP CapturePin::GetPropertyText(LPOLESTR* text) {
  CheckPointer(text, E_POINTER);
  CAutoLock hold(m_pLock);
  std::wstring description = L"Format: " + describeMediaType(currentFormat()) + L"\n";
  description += L"Capabilities: " + std::to_wstring(source_->formats().size()) + L"\n";
  description += source_->describe();
  if (isAudio()) description += describeMixer();
  return copyPropertyText(description, text);
}

bool CapturePin::isAudio() const {
  const std::vector<CaptureFormat>& formats = source_->formats();
  return !formats.empty() && *formats.front().type.Type() == MEDIATYPE_Audio;
}

std::wstring CapturePin::describeMixer() const {
  return L"Mixer: " + std::wstring(mixer_.enable ? L"enabled" : L"disabled") + L", level " +
         std::to_wstring(mixer_.level) + L", pan " + std::to_wstring(mixer_.pan) + (mixer_.mono ? L", mono" : L"") +
         L"\n";
}

}  // namespace kcm::devices
