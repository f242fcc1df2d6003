// CBasePin: IPin and IQualityControl for the pins of a CBaseFilter.
//
// A pin has no reference count of its own: AddRef and Release go to its filter, which
// therefore lives as long as any of its pins is held.
//
// Connecting (on the output side, Connect): a fully specified type is tried alone; else
// the receiving pin's types are tried, then our own (m_bTryMyTypesFirst swaps the two),
// each one that matches the partial type given. One attempt (AttemptConnection) runs
// CheckConnect, CheckMediaType, SetMediaType, the other pin's ReceiveConnection and
// CompleteConnect; any failure undoes it with BreakConnect. The receiving side
// (ReceiveConnection) runs CheckConnect, CheckMediaType, SetMediaType, CompleteConnect.
// Refusals of a type by CheckMediaType with S_FALSE, E_FAIL or E_INVALIDARG become
// VFW_E_TYPE_NOT_ACCEPTED; other codes are passed on.
//
// Lock: the filter's lock, given at construction, guards the connection.
#pragma once

#include <string>

#include "CBaseFilter.h"
#include "CMediaType.h"

class KCM_BASECLASSES_API CBasePin : public CUnknown, public IPin, public IQualityControl {
 public:
  CBasePin(LPCTSTR objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result, LPCWSTR pinName,
           PIN_DIRECTION direction);
  ~CBasePin() override;

  DECLARE_IUNKNOWN
  // IPin and IQualityControl.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;
  // The filter's count.
  STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
  STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

  // IPin. Connect and ReceiveConnection need a stopped filter (VFW_E_NOT_STOPPED) and
  // an unconnected pin (VFW_E_ALREADY_CONNECTED).
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mediaType) override;
  // S_FALSE when not connected; VFW_E_NOT_STOPPED while the filter runs.
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  // The pin name, CoTaskMemAlloc'ed.
  STDMETHODIMP QueryId(LPWSTR* id) override;
  // S_OK or S_FALSE: CheckMediaType with every failure turned into S_FALSE.
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mediaType) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** enumerator) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP EndOfStream() override;
  // Remembers the segment (CurrentStartTime, CurrentStopTime, CurrentRate).
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // IQualityControl: Notify is E_NOTIMPL here; SetSink keeps the sink without a reference.
  STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;
  STDMETHODIMP SetSink(IQualityControl* sink) override;

  BOOL IsConnected() { return m_Connected != nullptr; }
  // The connected pin, without a reference.
  IPin* GetConnected() { return m_Connected; }
  BOOL IsStopped() { return m_pFilter->m_State == State_Stopped; }

  virtual LONG GetMediaTypeVersion();
  // Call when the types GetMediaType offers change: open enumerators go out of sync.
  void IncrementTypeVersion();

  // State changes of the filter, for connected pins: Pause from Stopped calls Active,
  // Run calls Run, Stop calls Inactive.
  virtual HRESULT Active();
  virtual HRESULT Inactive();
  virtual HRESULT Run(REFERENCE_TIME start);

  // S_OK accepts; anything else refuses.
  virtual HRESULT CheckMediaType(const CMediaType* mediaType) = 0;
  // Takes the agreed type into m_mt.
  virtual HRESULT SetMediaType(const CMediaType* mediaType);
  // The other pin must point the other way (VFW_E_INVALID_DIRECTION).
  virtual HRESULT CheckConnect(IPin* pin);
  // Undoes CheckConnect, SetMediaType and CompleteConnect.
  virtual HRESULT BreakConnect();
  virtual HRESULT CompleteConnect(IPin* receivePin);
  // The type offered at `position`: S_OK, or VFW_S_NO_MORE_ITEMS past the last one.
  // This base offers none (E_UNEXPECTED).
  virtual HRESULT GetMediaType(int position, CMediaType* mediaType);

  REFERENCE_TIME CurrentStopTime() { return m_tStop; }
  REFERENCE_TIME CurrentStartTime() { return m_tStart; }
  double CurrentRate() { return m_dRate; }
  LPWSTR Name() { return m_name.data(); }
  void SetReconnectWhenActive(bool canReconnect) { m_bCanReconnectWhenActive = canReconnect; }
  bool CanReconnectWhenActive() { return m_bCanReconnectWhenActive; }

 protected:
  virtual HRESULT DisconnectInternal();
  virtual HRESULT AttemptConnection(IPin* receivePin, const CMediaType* mediaType);
  // Tries the types of `enumerator` that match `partial` (may be null), in order.
  virtual HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* enumerator);
  virtual HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* partial);

  std::wstring m_name;
  IPin* m_Connected;  // one reference while connected
  PIN_DIRECTION m_dir;
  CCritSec* m_pLock;
  bool m_bRunTimeError;
  bool m_bCanReconnectWhenActive;
  bool m_bTryMyTypesFirst;
  CBaseFilter* m_pFilter;
  IQualityControl* m_pQSink;
  volatile LONG m_TypeVersion;
  CMediaType m_mt;  // the connection's type
  REFERENCE_TIME m_tStart;
  REFERENCE_TIME m_tStop;
  double m_dRate;

 private:
  bool MayChangeConnection() { return IsStopped() || m_bCanReconnectWhenActive; }
  void DropConnectedPin();
};
