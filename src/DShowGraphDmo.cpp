// CDShowGraphBase's DMO wrapper filters.
#include "DmoWrapper.h"
#include "GraphHelpers.h"
#include "KestroDShowGraphBase.h"
#include "KestroDmo.h"
#include "SourcePath.h"
#include "dmodshow.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("DShowGraphBase");

}  // namespace

HRESULT initDMOWrapperFilter(IBaseFilter* wrapper, const GUID& clsidDMO, const GUID& catDMO) {
  // The platform's DMO module registers itself when it loads; this also links it in.
  KcmDmoRegisterClasses();
  IDMOWrapperFilter* pDMOWrapperFilter = nullptr;
  HRESULT hr = wrapper->QueryInterface(IID_IDMOWrapperFilter, reinterpret_cast<void**>(&pDMOWrapperFilter));
  if (FAILED(hr)) return hr;
  hr = pDMOWrapperFilter->Init(clsidDMO, catDMO);
  pDMOWrapperFilter->Release();
  return hr;
}

HRESULT CDShowGraphBase::createDMOWrapperFilter(const GUID& clsidDMO, const GUID& catDMO, IBaseFilter** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  IBaseFilter* pDMOWrapper = nullptr;
  HRESULT hr = createFilter(CLSID_DMOWrapperFilter, &pDMOWrapper);
  if (FAILED(hr)) {
    return logFailedCheck(kSourcePath, hr, __LINE__, "\"hr = createFilter(CLSID_DMOWrapperFilter, &pDMOWrapper)\"");
  }
  hr = logFailedCheck(kSourcePath, initDMOWrapperFilter(pDMOWrapper, clsidDMO, catDMO), __LINE__,
                      "\"hr = pDMOWrapperFilter->Init(clsidDMO, catDMO)\"");
  if (FAILED(hr)) {
    pDMOWrapper->Release();
    return hr;
  }
  *out = pDMOWrapper;
  return S_OK;
}
