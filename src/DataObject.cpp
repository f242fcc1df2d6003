// CIDataObject: the (format, medium) pairs a drag carries.
#include <memory>
#include <new>

#include "KestroDragDrop.h"
#include "SingleInterfaceUnknown.h"
#include "MediumCopy.h"

namespace {

bool sharesTymed(const FORMATETC& stored, const FORMATETC& request) { return (stored.tymed & request.tymed) != 0; }

template <class T>
bool reserveOneMore(std::vector<T>& list) {
  try {
    if (list.size() == list.capacity()) list.reserve(list.size() < 4 ? 4 : list.size() * 2);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

CIDataObject::CIDataObject(CIDropSource* dropSource) : m_pDropSource(dropSource) {}

CIDataObject::~CIDataObject() {
  for (size_t i = 0; i < m_StgMedium.size(); ++i) {
    ReleaseStgMedium(m_StgMedium[i]);
    delete m_StgMedium[i];
    delete m_ArrFormatEtc[i];
  }
}

STDMETHODIMP CIDataObject::QueryInterface(REFIID iid, void** object) {
  return QuerySingleInterface(static_cast<IDataObject*>(this), IID_IDataObject, iid, object);
}

STDMETHODIMP_(ULONG) CIDataObject::AddRef() { return ++m_cRefCount; }

STDMETHODIMP_(ULONG) CIDataObject::Release() { return ReleaseReference(this, m_cRefCount); }

STDMETHODIMP CIDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (format == nullptr || medium == nullptr) return E_INVALIDARG;
  medium->hGlobal = nullptr;
  for (size_t i = 0; i < m_ArrFormatEtc.size(); ++i) {
    const FORMATETC& stored = *m_ArrFormatEtc[i];
    if (sharesTymed(stored, *format) && stored.dwAspect == format->dwAspect && stored.cfFormat == format->cfFormat) {
      kcm::dragdrop::copyMedium(medium, m_StgMedium[i], &stored);
      return S_OK;
    }
  }
  return DV_E_FORMATETC;
}

STDMETHODIMP CIDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

STDMETHODIMP CIDataObject::QueryGetData(FORMATETC* format) {
  if (format == nullptr) return E_INVALIDARG;
  if ((format->dwAspect & DVASPECT_CONTENT) == 0) return DV_E_DVASPECT;
  HRESULT result = DV_E_TYMED;  // also the answer when nothing is stored
  for (const FORMATETC* stored : m_ArrFormatEtc) {
    if (!sharesTymed(*stored, *format)) {
      result = DV_E_TYMED;
    } else if (stored->cfFormat == format->cfFormat) {
      return S_OK;
    } else {
      result = DV_E_FORMATETC;
    }
  }
  return result;
}

STDMETHODIMP CIDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* canonical) {
  return canonical == nullptr ? E_INVALIDARG : DATA_S_SAMEFORMATETC;
}

STDMETHODIMP CIDataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
  if (format == nullptr || medium == nullptr) return E_INVALIDARG;
  std::unique_ptr<FORMATETC> storedFormat(new (std::nothrow) FORMATETC(*format));
  std::unique_ptr<STGMEDIUM> storedMedium(new (std::nothrow) STGMEDIUM{});
  // Room first, so that nothing can fail once the medium is taken over.
  if (!storedFormat || !storedMedium || !reserveOneMore(m_ArrFormatEtc) || !reserveOneMore(m_StgMedium)) {
    return E_OUTOFMEMORY;
  }
  if (release) {
    *storedMedium = *medium;
  } else {
    kcm::dragdrop::copyMedium(storedMedium.get(), medium, format);
  }
  m_ArrFormatEtc.push_back(storedFormat.release());
  m_StgMedium.push_back(storedMedium.release());
  return S_OK;
}

STDMETHODIMP CIDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumerator) {
  if (enumerator == nullptr) return E_POINTER;
  *enumerator = nullptr;
  if (direction != DATADIR_GET) return E_NOTIMPL;
  CEnumFormatEtc* formats = nullptr;
  try {
    formats = new CEnumFormatEtc(m_ArrFormatEtc);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  formats->AddRef();
  *enumerator = formats;
  return S_OK;
}

STDMETHODIMP CIDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return OLE_E_ADVISENOTSUPPORTED; }

STDMETHODIMP CIDataObject::DUnadvise(DWORD) { return E_NOTIMPL; }

STDMETHODIMP CIDataObject::EnumDAdvise(IEnumSTATDATA**) { return OLE_E_ADVISENOTSUPPORTED; }
