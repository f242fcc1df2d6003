// CEnumPins: IEnumPins over the pins of a CBaseFilter, holding a reference on it.
//
// The enumerator remembers the filter's pin version; once the filter's pins change, Next,
// Skip and Clone answer VFW_E_ENUM_OUT_OF_SYNC until Reset.
#pragma once

#include "CBaseFilter.h"

class KCM_BASECLASSES_API CEnumPins : public IEnumPins {
 public:
  // At the start, or at the position of `copyOf`. The count is 1.
  CEnumPins(CBaseFilter* filter, CEnumPins* copyOf);
  virtual ~CEnumPins();

  CEnumPins(const CEnumPins&) = delete;
  CEnumPins& operator=(const CEnumPins&) = delete;

  // A new enumerator with one reference, or null when out of memory.
  static CEnumPins* Create(CBaseFilter* filter, CEnumPins* copyOf);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // S_FALSE when fewer than `count` remain. `fetched` may be null only for count 1.
  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** enumerator) override;

 private:
  bool AreWeOutOfSync() { return m_pFilter->GetPinVersion() != m_Version; }

  int m_Position;
  int m_PinCount;
  CBaseFilter* m_pFilter;
  LONG m_Version;
  volatile LONG m_cRef;
};
