#include "KestroCommonUtil.h"

#include "DmoWrapper.h"
#include "GraphHelpers.h"
#include "KestroDShowGraphBase.h"
#include "KestroMediaStreamType.h"
#include "SourcePath.h"
#include "dmodshow.h"
#include "wmcodecdsp.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("KestroCommonUtil");

HRESULT logged(HRESULT hr, int line, const char* expression) {
  return logFailedCheck(kSourcePath, hr, line, expression);
}

HRESULT createFrameRateConverter(IBaseFilter** fpsFilter) {
  HRESULT hr = CoCreateInstance(CLSID_DMOWrapperFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(fpsFilter));
  if (FAILED(hr)) return hr;
  hr = initDMOWrapperFilter(*fpsFilter, CLSID_CFrameRateConvertDmo, DMOCATEGORY_VIDEO_EFFECT);
  if (FAILED(hr)) releaseAndClear(*fpsFilter);
  return hr;
}

// The converter's input type: the source's whole VIDEOINFO, samples of biSizeImage bytes.
void buildInputType(unsigned int fourCC, const VIDEOINFO& inputInfo, CMediaType& type) {
  bool compressed = false;
  const GUID subtype = Kestro::subtypeFromFourCC(fourCC, &compressed);
  type.InitMediaType();
  type.SetType(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  type.SetTemporalCompression(FALSE);
  type.SetFormatType(&FORMAT_VideoInfo);
  type.SetFormat(reinterpret_cast<const BYTE*>(&inputInfo), sizeof(VIDEOINFO));
  type.SetSampleSize(inputInfo.bmiHeader.biSizeImage);
}

// Reads the rate first to keep its variant type, then writes 10,000,000 : duration.
void setRate(IPropertyStore* store, REFPROPERTYKEY key, __int64 duration) {
  PROPVARIANT value;
  PropVariantInit(&value);
  store->GetValue(key, &value);
  value.uhVal.QuadPart = (10000000ULL << 32) | static_cast<uint32_t>(duration);
  store->SetValue(key, value);
  PropVariantClear(&value);
}

void setRates(IBaseFilter* fpsFilter, __int64 inputDuration, __int64 outputDuration) {
  IPropertyStore* store = nullptr;
  if (FAILED(fpsFilter->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store)))) return;
  setRate(store, MFPKEY_CONV_INPUTFRAMERATE, inputDuration);
  setRate(store, MFPKEY_CONV_OUTPUTFRAMERATE, outputDuration);
  store->Release();
}

bool hasUnconnectedOutput(IBaseFilter* filter) {
  IEnumPins* pins = nullptr;
  if (FAILED(filter->EnumPins(&pins)) || pins == nullptr) return false;
  bool found = false;
  IPin* pin = nullptr;
  while (!found && pins->Next(1, &pin, nullptr) == S_OK) {
    PIN_DIRECTION direction;
    IPin* peer = nullptr;
    if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT) {
      found = FAILED(pin->ConnectedTo(&peer)) || peer == nullptr;
      if (peer != nullptr) peer->Release();
    }
    pin->Release();
  }
  pins->Release();
  return found;
}

HRESULT configureTypes(IMediaObject* fpsDMO, unsigned int fourCC, const VIDEOINFO& inputInfo, __int64 avgTimePerFrame,
                       CMediaType& mtOut) {
  CMediaType mtIn;
  buildInputType(fourCC, inputInfo, mtIn);
  HRESULT hr = fpsDMO->SetInputType(0, &mtIn, 0);
  if (FAILED(hr)) return logged(hr, __LINE__, "\"hr = fpsDMO->SetInputType(0, &mtIn, 0)\"");
  mtOut = mtIn;
  reinterpret_cast<VIDEOINFO*>(mtOut.Format())->AvgTimePerFrame = avgTimePerFrame;
  hr = fpsDMO->SetOutputType(0, &mtOut, 0);
  return logged(hr, __LINE__, "\"hr = fpsDMO->SetOutputType(0, &mtOut, 0 )\"");
}

}  // namespace

HRESULT KestroCommonUtil::addFrameRateConnvertorFilter(unsigned int fourCC, tagVIDEOINFO& inputInfo,
                                                       __int64 avgTimePerFrame, IGraphBuilder* graphBuilder,
                                                       IBaseFilter* inputFilter, IBaseFilter** fpsFilter,
                                                       CMediaType& mtOut) {
  if (graphBuilder == nullptr || fpsFilter == nullptr) return E_POINTER;
  IBaseFilter* filter = nullptr;
  HRESULT hr = createFrameRateConverter(&filter);
  if (FAILED(hr)) {
    return logged(hr, __LINE__,
                  "\"hr = createDMOWrapperFilter(CLSID_CFrameRateConvertDmo , DMOCATEGORY_VIDEO_EFFECT, &fpsFilter)\"");
  }
  hr = graphBuilder->AddFilter(filter, L"Video FrameRateConvert Filter");
  if (FAILED(hr)) {
    filter->Release();
    return logged(hr, __LINE__, "\"hr = graphBuilder->AddFilter(fpsFilter, TEXT(\\\"Video FrameRateConvert Filter\\\"))\"");
  }
  IMediaObject* fpsDMO = nullptr;
  hr = filter->QueryInterface(IID_IMediaObject, reinterpret_cast<void**>(&fpsDMO));
  if (FAILED(hr)) {
    filter->Release();
    return logged(hr, __LINE__, "\"hr\"");
  }
  hr = configureTypes(fpsDMO, fourCC, inputInfo, avgTimePerFrame, mtOut);
  fpsDMO->Release();
  if (SUCCEEDED(hr)) setRates(filter, inputInfo.AvgTimePerFrame, avgTimePerFrame);
  if (SUCCEEDED(hr) && inputFilter != nullptr) {
    hr = hasUnconnectedOutput(inputFilter) ? CDShowGraphBase::ConnectFilters(graphBuilder, inputFilter, filter)
                                           : E_POINTER;
    logged(hr, __LINE__, "\"hr = ConnectFilters(graphBuilder, inputFilter, fpsFilter)\"");
  }
  if (FAILED(hr)) {
    filter->Release();
    return hr;
  }
  *fpsFilter = filter;
  return S_OK;
}
