#include "VideoFilter.h"

#include <stdlib.h>

#include <algorithm>

#include "KestroPlatformDiagnostic.h"
#include "uuids.h"

namespace kcm::ffdshow {

namespace {

constexpr LONG kOutputBuffers = 3;

}  // namespace

VideoFilter::VideoFilter(LPCTSTR name, REFCLSID clsid, HRESULT* result) : FFDShowFilter(name, clsid, 1, result) {}

void VideoFilter::SetPictureFormat(int width, int height, REFERENCE_TIME avgTimePerFrame) {
  width_ = width;
  height_ = height;
  avgTimePerFrame_ = avgTimePerFrame;
}

HRESULT VideoFilter::GetOutputType(int position, CMediaType* type) {
  const std::vector<DWORD> spaces = OfferedColorSpaces();
  if (position >= static_cast<int>(spaces.size())) return VFW_S_NO_MORE_ITEMS;
  const RawLayout* layout = RawLayoutByFourCC(spaces[position]);
  if (layout == nullptr) return E_UNEXPECTED;
  return MakeRawVideoType(*layout, width_, height_, avgTimePerFrame_, type);
}

HRESULT VideoFilter::CheckOutputType(const CMediaType& type) {
  if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo) return E_INVALIDARG;
  if (type.pbFormat == nullptr || type.cbFormat < sizeof(VIDEOINFOHEADER)) return E_INVALIDARG;
  const RawLayout* layout = RawLayoutOfType(type);
  if (layout == nullptr) return E_INVALIDARG;
  const std::vector<DWORD> spaces = OfferedColorSpaces();
  if (std::find(spaces.begin(), spaces.end(), layout->fourCC) == spaces.end()) return E_INVALIDARG;
  const BITMAPINFOHEADER& header = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
  if (header.biWidth != width_ || abs(header.biHeight) != height_) return E_INVALIDARG;
  return S_OK;
}

HRESULT VideoFilter::OnOutputConnected(const CMediaType& type) {
  outputLayout_ = RawLayoutOfType(type);
  const BITMAPINFOHEADER& header = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
  outputBottomUp_ = outputLayout_->rgb && header.biHeight > 0;
  return S_OK;
}

HRESULT VideoFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  const RawLayout* layout = RawLayoutOfType(Output().CurrentType());
  if (layout == nullptr) return E_UNEXPECTED;
  const LONG size = ImageSize(*layout, width_, height_);
  request->cBuffers = std::max(request->cBuffers, kOutputBuffers);
  request->cbBuffer = std::max(request->cbBuffer, size);
  request->cbAlign = std::max<LONG>(request->cbAlign, 1);
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < size ? E_FAIL : S_OK;
}

HRESULT VideoFilter::DeliverPicture(const PictureView& picture, bool timed, REFERENCE_TIME start, REFERENCE_TIME end) {
  if (outputLayout_ == nullptr || !Output().IsConnected()) return S_OK;  // nobody to deliver to
  IMediaSample* sample = nullptr;
  HRESULT hr = GetOutputBuffer(&sample);
  if (FAILED(hr) || sample == nullptr) return FAILED(hr) ? hr : E_FAIL;
  BYTE* buffer = nullptr;
  const LONG size = ImageSize(*outputLayout_, width_, height_);
  hr = sample->GetPointer(&buffer);
  if (SUCCEEDED(hr) && sample->GetSize() >= size) {
    const PicturePlanes target =
        PlanesOf(*outputLayout_, width_, height_, buffer, outputBottomUp_ != Settings().Flip());
    if (converter_.Convert(picture, outputLayout_->pixelFormat, width_, height_, target)) {
      sample->SetActualDataLength(size);
      if (timed) sample->SetTime(&start, end > start ? &end : nullptr);
      sample->SetSyncPoint(TRUE);
      sample->SetDiscontinuity(TakeDiscontinuity());
      hr = DeliverOutput(sample);
    } else {
      if (!reportedConversion_) KcmPlatformDiagnostic("ffdshow: no conversion to the output colour space");
      reportedConversion_ = true;
      hr = E_FAIL;
    }
  } else {
    hr = E_FAIL;
  }
  sample->Release();
  return hr;
}

}  // namespace kcm::ffdshow
