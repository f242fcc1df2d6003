#include "CBaseFilter.h"

#include "CBasePin.h"
#include "CEnumPins.h"
#include "WideNames.h"
#include "evcode.h"
#include "interlockedapi.h"

using kcm::baseclasses::copyName;

CBaseFilter::CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid)
    : CUnknown(name, outer),
      m_State(State_Stopped),
      m_pClock(nullptr),
      m_tStart(0),
      m_clsid(clsid),
      m_pLock(lock),
      m_hasName(false),
      m_pGraph(nullptr),
      m_pSink(nullptr),
      m_PinVersion(1) {}

CBaseFilter::CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid, HRESULT* /*result*/)
    : CBaseFilter(name, outer, lock, clsid) {}

CBaseFilter::~CBaseFilter() {
  if (m_pClock != nullptr) m_pClock->Release();
}

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IBaseFilter || iid == IID_IMediaFilter || iid == IID_IPersist) {
    return GetInterface(static_cast<IBaseFilter*>(this), object);
  }
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* clsid) {
  CheckPointer(clsid, E_POINTER);
  *clsid = m_clsid;
  return S_OK;
}

template <class Step>
HRESULT CBaseFilter::ForEachConnectedPin(Step step, bool stopAtFailure) {
  HRESULT result = S_OK;
  const int count = GetPinCount();
  for (int index = 0; index < count; ++index) {
    CBasePin* pin = GetPin(index);
    if (pin == nullptr) break;
    if (!pin->IsConnected()) continue;
    const HRESULT hr = step(pin);
    if (FAILED(hr)) {
      if (stopAtFailure) return hr;
      if (SUCCEEDED(result)) result = hr;
    }
  }
  return result;
}

STDMETHODIMP CBaseFilter::Stop() {
  CAutoLock lock(m_pLock);
  HRESULT hr = S_OK;
  // Every pin is deactivated whatever the others answer: Stop also resynchronises a
  // graph after something went wrong.
  if (m_State != State_Stopped) hr = ForEachConnectedPin([](CBasePin* pin) { return pin->Inactive(); }, false);
  m_State = State_Stopped;
  return hr;
}

STDMETHODIMP CBaseFilter::Pause() {
  CAutoLock lock(m_pLock);
  if (m_State == State_Stopped) {
    const HRESULT hr = ForEachConnectedPin([](CBasePin* pin) { return pin->Active(); }, true);
    if (FAILED(hr)) return hr;
  }
  m_State = State_Paused;
  return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME start) {
  CAutoLock lock(m_pLock);
  m_tStart = start;
  if (m_State == State_Stopped) {
    const HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  if (m_State != State_Running) {
    const HRESULT hr = ForEachConnectedPin([start](CBasePin* pin) { return pin->Run(start); }, true);
    if (FAILED(hr)) return hr;
  }
  m_State = State_Running;
  return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD /*milliseconds*/, FILTER_STATE* state) {
  CheckPointer(state, E_POINTER);
  *state = m_State;
  return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* clock) {
  CAutoLock lock(m_pLock);
  if (clock != nullptr) clock->AddRef();
  if (m_pClock != nullptr) m_pClock->Release();
  m_pClock = clock;
  return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  CheckPointer(clock, E_POINTER);
  CAutoLock lock(m_pLock);
  if (m_pClock != nullptr) m_pClock->AddRef();
  *clock = m_pClock;
  return S_OK;
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME& streamTime) {
  CAutoLock lock(m_pLock);
  if (m_pClock == nullptr) return VFW_E_NO_CLOCK;
  const HRESULT hr = m_pClock->GetTime(&streamTime);
  if (FAILED(hr)) return hr;
  streamTime -= m_tStart;
  return S_OK;
}

BOOL CBaseFilter::IsActive() {
  CAutoLock lock(m_pLock);
  return m_State != State_Stopped;
}

BOOL CBaseFilter::IsStopped() { return m_State == State_Stopped; }

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** enumerator) {
  CheckPointer(enumerator, E_POINTER);
  *enumerator = CEnumPins::Create(this, nullptr);
  return *enumerator != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  CheckPointer(pin, E_POINTER);
  *pin = nullptr;
  CheckPointer(id, E_POINTER);
  CAutoLock lock(m_pLock);
  const int count = GetPinCount();
  for (int index = 0; index < count; ++index) {
    CBasePin* candidate = GetPin(index);
    if (candidate == nullptr) break;
    if (wcscmp(candidate->Name(), id) == 0) {
      *pin = candidate;
      candidate->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  CheckPointer(info, E_POINTER);
  CAutoLock lock(m_pLock);
  copyName(info->achName, MAX_FILTER_NAME, m_hasName ? m_name : std::wstring());
  info->pGraph = m_pGraph;
  if (m_pGraph != nullptr) m_pGraph->AddRef();
  return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  CAutoLock lock(m_pLock);
  m_pGraph = graph;
  m_pSink = nullptr;
  if (graph != nullptr && SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&m_pSink)))) {
    m_pSink->Release();  // the graph outlives its filters: no reference is kept
  } else {
    m_pSink = nullptr;
  }
  m_hasName = name != nullptr;
  m_name = name != nullptr ? name : L"";
  return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR* /*vendorInfo*/) { return E_NOTIMPL; }

HRESULT CBaseFilter::NotifyEvent(long eventCode, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = m_pSink;  // a snapshot: events are sent without the lock
  if (sink == nullptr) return E_NOTIMPL;
  if (eventCode == EC_COMPLETE) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
  return sink->Notify(eventCode, param1, param2);
}

LONG CBaseFilter::GetPinVersion() { return m_PinVersion; }

void CBaseFilter::IncrementPinVersion() { InterlockedIncrement(&m_PinVersion); }
