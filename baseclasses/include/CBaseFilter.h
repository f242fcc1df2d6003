// CBaseFilter: IBaseFilter for a filter whose pins are CBasePin objects.
//
// State changes run under the filter lock given at construction and reach every
// connected pin: Pause from Stopped activates them (Active), Run runs them, Stop
// deactivates them (Inactive). Unconnected pins are left alone. The derived class
// supplies its pins through GetPinCount and GetPin, and calls IncrementPinVersion when
// the set changes, so that open pin enumerators report VFW_E_ENUM_OUT_OF_SYNC.
//
// The graph given to JoinFilterGraph is kept without a reference (it holds the filter).
#pragma once

#include <string>

#include "CCritSec.h"
#include "CUnknown.h"

class CBasePin;

class KCM_BASECLASSES_API CBaseFilter : public CUnknown, public IBaseFilter {
 public:
  CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid);
  CBaseFilter(LPCTSTR name, LPUNKNOWN outer, CCritSec* lock, REFCLSID clsid, HRESULT* result);
  ~CBaseFilter() override;

  DECLARE_IUNKNOWN
  // IBaseFilter, IMediaFilter and IPersist.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IPersist
  STDMETHODIMP GetClassID(CLSID* clsid) override;

  // IMediaFilter. Stop gives back the first failure of a pin's Inactive but stops all;
  // Pause and Run stop at the first pin that fails.
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD milliseconds, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** enumerator) override;
  // The pin whose name equals `id`, or VFW_E_NOT_FOUND.
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;

  // The clock time minus the run start; VFW_E_NO_CLOCK without a clock.
  virtual HRESULT StreamTime(REFERENCE_TIME& streamTime);
  BOOL IsActive();
  BOOL IsStopped();

  // Sends an event to the graph's IMediaEventSink; EC_COMPLETE carries this filter as its
  // second parameter. E_NOTIMPL outside a graph.
  HRESULT NotifyEvent(long eventCode, LONG_PTR param1, LONG_PTR param2);
  IFilterGraph* GetFilterGraph() { return m_pGraph; }

  virtual LONG GetPinVersion();
  void IncrementPinVersion();

  virtual int GetPinCount() = 0;
  // The pin at `index` without a reference, or null past the end.
  virtual CBasePin* GetPin(int index) = 0;

 protected:
  friend class CBasePin;

  FILTER_STATE m_State;
  IReferenceClock* m_pClock;
  REFERENCE_TIME m_tStart;
  CLSID m_clsid;
  CCritSec* m_pLock;
  std::wstring m_name;
  bool m_hasName;
  IFilterGraph* m_pGraph;
  IMediaEventSink* m_pSink;
  volatile LONG m_PinVersion;

 private:
  // Calls `step` on every connected pin, in order; see Stop for how results combine.
  template <class Step>
  HRESULT ForEachConnectedPin(Step step, bool stopAtFailure);
};
