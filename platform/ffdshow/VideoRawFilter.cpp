#include "VideoRawFilter.h"

#include <stdlib.h>

#include <algorithm>

#include "dvdmedia.h"
#include "uuids.h"

namespace kcm::ffdshow {

namespace {

constexpr int kMaxPictureSide = 16384;

const BITMAPINFOHEADER* RawBitmapHeader(const AM_MEDIA_TYPE& type) {
  size_t offset = 0;
  if (type.formattype == FORMAT_VideoInfo) {
    offset = offsetof(VIDEOINFOHEADER, bmiHeader);
  } else if (type.formattype == FORMAT_VideoInfo2) {
    offset = offsetof(VIDEOINFOHEADER2, bmiHeader);
  } else {
    return nullptr;
  }
  if (type.pbFormat == nullptr || type.cbFormat < offset + sizeof(BITMAPINFOHEADER)) return nullptr;
  return reinterpret_cast<const BITMAPINFOHEADER*>(type.pbFormat + offset);
}

// The output colour space that stores pictures exactly like `layout`, if any.
const RawLayout* SameStorageOutput(const RawLayout& layout) {
  for (DWORD fourCC : DefaultOutputColorSpaces()) {
    const RawLayout* candidate = RawLayoutByFourCC(fourCC);
    if (candidate->pixelFormat == layout.pixelFormat && candidate->swapChroma == layout.swapChroma) return candidate;
  }
  const RawLayout* uyvy = RawLayoutByFourCC(MakeFourCC('U', 'Y', 'V', 'Y'));
  return uyvy->pixelFormat == layout.pixelFormat ? uyvy : nullptr;
}

}  // namespace

VideoRawFilter::VideoRawFilter(HRESULT* result)
    : VideoFilter(NAME("ffdshow raw video filter"), CLSID_KcmFFDShowVideoRaw, result) {}

HRESULT VideoRawFilter::CheckInputType(const CMediaType& type) {
  if (type.majortype != MEDIATYPE_Video) return E_INVALIDARG;
  if (RawLayoutOfType(type) == nullptr) return VFW_E_TYPE_NOT_ACCEPTED;
  const BITMAPINFOHEADER* header = RawBitmapHeader(type);
  if (header == nullptr) return E_INVALIDARG;
  const int height = abs(header->biHeight);
  if (header->biWidth <= 0 || header->biWidth > kMaxPictureSide || height == 0 || height > kMaxPictureSide) {
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT VideoRawFilter::OnInputConnected(const CMediaType& type) {
  const BITMAPINFOHEADER* header = RawBitmapHeader(type);
  inputLayout_ = RawLayoutOfType(type);
  if (header == nullptr || inputLayout_ == nullptr) return E_UNEXPECTED;
  width_ = header->biWidth;
  height_ = abs(header->biHeight);
  inputBottomUp_ = inputLayout_->rgb && header->biHeight > 0;
  SetPictureFormat(width_, height_, reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame);
  return S_OK;
}

std::vector<DWORD> VideoRawFilter::OfferedColorSpaces() {
  std::vector<DWORD> spaces = Settings().OutputColorSpaces();
  if (Settings().ColorSpacesChosen() || inputLayout_ == nullptr) return spaces;
  const RawLayout* same = SameStorageOutput(*inputLayout_);
  if (same == nullptr) return spaces;
  spaces.erase(std::remove(spaces.begin(), spaces.end(), same->fourCC), spaces.end());
  spaces.insert(spaces.begin(), same->fourCC);
  return spaces;
}

HRESULT VideoRawFilter::Process(IMediaSample* input) {
  BYTE* data = nullptr;
  if (inputLayout_ == nullptr || FAILED(input->GetPointer(&data)) || data == nullptr) return E_UNEXPECTED;
  // A short sample holds no whole picture: it is skipped.
  if (input->GetActualDataLength() < ImageSize(*inputLayout_, width_, height_)) return S_FALSE;
  const PicturePlanes planes = PlanesOf(*inputLayout_, width_, height_, data, inputBottomUp_);
  PictureView picture;
  picture.format = inputLayout_->pixelFormat;
  picture.width = width_;
  picture.height = height_;
  for (int plane = 0; plane < 4; ++plane) {
    picture.data[plane] = planes.data[plane];
    picture.linesize[plane] = planes.linesize[plane];
  }
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  const HRESULT timed = input->GetTime(&start, &end);
  return DeliverPicture(picture, timed == S_OK || timed == VFW_S_NO_STOP_TIME, start, timed == S_OK ? end : start);
}

}  // namespace kcm::ffdshow
