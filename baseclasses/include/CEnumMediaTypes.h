// CEnumMediaTypes: IEnumMediaTypes over the types a CBasePin offers through
// GetMediaType, holding a reference on the pin (that is, on its filter).
//
// Each type handed out is a CoTaskMemAlloc'ed record the caller frees with
// DeleteMediaType. Once the pin's type version changes, Next, Skip and Clone answer
// VFW_E_ENUM_OUT_OF_SYNC until Reset.
#pragma once

#include "CBasePin.h"

class KCM_BASECLASSES_API CEnumMediaTypes : public IEnumMediaTypes {
 public:
  CEnumMediaTypes(CBasePin* pin, CEnumMediaTypes* copyOf);
  virtual ~CEnumMediaTypes();

  CEnumMediaTypes(const CEnumMediaTypes&) = delete;
  CEnumMediaTypes& operator=(const CEnumMediaTypes&) = delete;

  // A new enumerator with one reference, or null when out of memory.
  static CEnumMediaTypes* Create(CBasePin* pin, CEnumMediaTypes* copyOf);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // S_FALSE when fewer than `count` remain. `fetched` may be null only for count 1.
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** enumerator) override;

 private:
  bool AreWeOutOfSync() { return m_pPin->GetMediaTypeVersion() != m_Version; }

  int m_Position;
  CBasePin* m_pPin;
  LONG m_Version;
  volatile LONG m_cRef;
};
