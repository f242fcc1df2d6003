#include "PictureLayout.h"

#include <string.h>

#include "uuids.h"

namespace kcm::ffdshow {

namespace {

const RawLayout kLayouts[] = {
    {MakeFourCC('Y', 'V', '1', '2'), MEDIASUBTYPE_YV12, 12, MakeFourCC('Y', 'V', '1', '2'), AV_PIX_FMT_YUV420P, false, true, true},
    {MakeFourCC('I', '4', '2', '0'), MEDIASUBTYPE_I420, 12, MakeFourCC('I', '4', '2', '0'), AV_PIX_FMT_YUV420P, false, false, true},
    {MakeFourCC('I', 'Y', 'U', 'V'), MEDIASUBTYPE_IYUV, 12, MakeFourCC('I', 'Y', 'U', 'V'), AV_PIX_FMT_YUV420P, false, false, false},
    {MakeFourCC('Y', 'U', 'Y', '2'), MEDIASUBTYPE_YUY2, 16, MakeFourCC('Y', 'U', 'Y', '2'), AV_PIX_FMT_YUYV422, false, false, true},
    {MakeFourCC('Y', 'U', 'Y', 'V'), MEDIASUBTYPE_YUYV, 16, MakeFourCC('Y', 'U', 'Y', 'V'), AV_PIX_FMT_YUYV422, false, false, false},
    {MakeFourCC('U', 'Y', 'V', 'Y'), MEDIASUBTYPE_UYVY, 16, MakeFourCC('U', 'Y', 'V', 'Y'), AV_PIX_FMT_UYVY422, false, false, true},
    {MakeFourCC('Y', 'V', 'Y', 'U'), MEDIASUBTYPE_YVYU, 16, MakeFourCC('Y', 'V', 'Y', 'U'), AV_PIX_FMT_YVYU422, false, false, false},
    {MakeFourCC('R', 'V', '3', '2'), MEDIASUBTYPE_RGB32, 32, BI_RGB, AV_PIX_FMT_BGR0, true, false, true},
    {MakeFourCC('R', 'G', 'B', 'A'), MEDIASUBTYPE_ARGB32, 32, BI_RGB, AV_PIX_FMT_BGRA, true, false, false},
    {MakeFourCC('R', 'V', '2', '4'), MEDIASUBTYPE_RGB24, 24, BI_RGB, AV_PIX_FMT_BGR24, true, false, true},
    {MakeFourCC('R', 'V', '1', '6'), MEDIASUBTYPE_RGB565, 16, BI_RGB, AV_PIX_FMT_RGB565LE, true, false, false},
    {MakeFourCC('R', 'V', '1', '5'), MEDIASUBTYPE_RGB555, 16, BI_RGB, AV_PIX_FMT_RGB555LE, true, false, false},
};

bool IsPlanar420(const RawLayout& layout) { return layout.pixelFormat == AV_PIX_FMT_YUV420P; }

int ChromaWidth(int width) { return (width + 1) / 2; }
int ChromaHeight(int height) { return (height + 1) / 2; }

}  // namespace

const RawLayout* RawLayoutByFourCC(DWORD fourCC) {
  for (const RawLayout& layout : kLayouts) {
    if (layout.fourCC == fourCC) return &layout;
  }
  return nullptr;
}

const RawLayout* RawLayoutOfType(const AM_MEDIA_TYPE& type) {
  for (const RawLayout& layout : kLayouts) {
    if (layout.subtype == type.subtype) return &layout;
  }
  return nullptr;
}

int LumaStride(const RawLayout& layout, int width) {
  if (IsPlanar420(layout)) return width;
  if (!layout.rgb) return ChromaWidth(width) * 4;
  return ((width * layout.bitCount / 8) + 3) & ~3;
}

LONG ImageSize(const RawLayout& layout, int width, int height) {
  const LONG luma = static_cast<LONG>(LumaStride(layout, width)) * height;
  if (!IsPlanar420(layout)) return luma;
  return luma + 2 * static_cast<LONG>(ChromaWidth(width)) * ChromaHeight(height);
}

PicturePlanes PlanesOf(const RawLayout& layout, int width, int height, BYTE* buffer, bool bottomUp) {
  PicturePlanes planes;
  int rows[3] = {height, 0, 0};
  planes.data[0] = buffer;
  planes.linesize[0] = LumaStride(layout, width);
  if (IsPlanar420(layout)) {
    const int chromaStride = ChromaWidth(width);
    const int chromaSize = chromaStride * ChromaHeight(height);
    uint8_t* first = buffer + planes.linesize[0] * height;
    uint8_t* second = first + chromaSize;
    planes.data[1] = layout.swapChroma ? second : first;  // data[1] is always U
    planes.data[2] = layout.swapChroma ? first : second;
    planes.linesize[1] = planes.linesize[2] = chromaStride;
    rows[1] = rows[2] = ChromaHeight(height);
  }
  if (bottomUp) {
    for (int plane = 0; plane < 3 && planes.data[plane] != nullptr; ++plane) {
      planes.data[plane] += static_cast<ptrdiff_t>(planes.linesize[plane]) * (rows[plane] - 1);
      planes.linesize[plane] = -planes.linesize[plane];
    }
  }
  return planes;
}

HRESULT MakeRawVideoType(const RawLayout& layout, int width, int height, REFERENCE_TIME avgTimePerFrame,
                         CMediaType* type) {
  VIDEOINFO* info = reinterpret_cast<VIDEOINFO*>(type->AllocFormatBuffer(sizeof(VIDEOINFO)));
  if (info == nullptr) return E_OUTOFMEMORY;
  memset(info, 0, sizeof(VIDEOINFO));
  info->AvgTimePerFrame = avgTimePerFrame;
  BITMAPINFOHEADER& header = info->bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = layout.bitCount;
  header.biCompression = layout.compression;
  header.biSizeImage = static_cast<DWORD>(ImageSize(layout, width, height));
  type->SetType(&MEDIATYPE_Video);
  type->SetSubtype(&layout.subtype);
  type->SetFormatType(&FORMAT_VideoInfo);
  type->SetTemporalCompression(FALSE);
  type->SetSampleSize(header.biSizeImage);
  return S_OK;
}

std::vector<DWORD> DefaultOutputColorSpaces() {
  return {MakeFourCC('Y', 'V', '1', '2'), MakeFourCC('I', '4', '2', '0'), MakeFourCC('Y', 'U', 'Y', '2'),
          MakeFourCC('R', 'V', '3', '2'), MakeFourCC('R', 'V', '2', '4')};
}

}  // namespace kcm::ffdshow
