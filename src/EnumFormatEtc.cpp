// CEnumFormatEtc: a data object's formats, one by one.
#include <new>

#include "KestroDragDrop.h"
#include "SingleInterfaceUnknown.h"

CEnumFormatEtc::CEnumFormatEtc(const std::vector<FORMATETC>& formats) : m_pFmtEtc(formats) {}

CEnumFormatEtc::CEnumFormatEtc(const std::vector<FORMATETC*>& formats) {
  m_pFmtEtc.reserve(formats.size());
  for (const FORMATETC* format : formats) m_pFmtEtc.push_back(*format);
}

CEnumFormatEtc::~CEnumFormatEtc() = default;

STDMETHODIMP CEnumFormatEtc::QueryInterface(REFIID iid, void** object) {
  return QuerySingleInterface(static_cast<IEnumFORMATETC*>(this), IID_IEnumFORMATETC, iid, object);
}

STDMETHODIMP_(ULONG) CEnumFormatEtc::AddRef() { return ++m_cRefCount; }

STDMETHODIMP_(ULONG) CEnumFormatEtc::Release() { return ReleaseReference(this, m_cRefCount); }

STDMETHODIMP CEnumFormatEtc::Next(ULONG count, FORMATETC* out, ULONG* fetched) {
  if (fetched != nullptr) *fetched = 0;
  if (count == 0 || out == nullptr || m_iCur >= m_pFmtEtc.size() || (fetched == nullptr && count != 1)) {
    return S_FALSE;
  }
  ULONG copied = 0;
  while (copied < count && m_iCur < m_pFmtEtc.size()) out[copied++] = m_pFmtEtc[m_iCur++];
  if (fetched != nullptr) *fetched = copied;
  return copied == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumFormatEtc::Skip(ULONG count) {
  if (uint64_t(m_iCur) + count >= m_pFmtEtc.size()) return S_FALSE;
  m_iCur += count;
  return S_OK;
}

STDMETHODIMP CEnumFormatEtc::Reset() {
  m_iCur = 0;
  return S_OK;
}

STDMETHODIMP CEnumFormatEtc::Clone(IEnumFORMATETC** enumerator) {
  if (enumerator == nullptr) return E_POINTER;
  *enumerator = nullptr;
  CEnumFormatEtc* clone = nullptr;
  try {
    clone = new CEnumFormatEtc(m_pFmtEtc);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  clone->m_iCur = m_iCur;
  clone->AddRef();
  *enumerator = clone;
  return S_OK;
}
