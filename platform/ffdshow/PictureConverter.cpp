#include "PictureConverter.h"

#include <string.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace kcm::ffdshow {

namespace {

void CopyPlanes(const PictureView& source, const PicturePlanes& target) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(source.format);
  const int planes = av_pix_fmt_count_planes(source.format);
  for (int plane = 0; plane < planes; ++plane) {
    const bool chroma = plane == 1 || plane == 2;
    const int rows = chroma ? AV_CEIL_RSHIFT(source.height, descriptor->log2_chroma_h) : source.height;
    const int bytes = av_image_get_linesize(source.format, source.width, plane);
    const uint8_t* from = source.data[plane];
    uint8_t* to = target.data[plane];
    if (source.linesize[plane] == bytes && target.linesize[plane] == bytes) {
      memcpy(to, from, static_cast<size_t>(bytes) * rows);  // rows without gaps: one block
      continue;
    }
    for (int row = 0; row < rows; ++row, from += source.linesize[plane], to += target.linesize[plane]) {
      memcpy(to, from, static_cast<size_t>(bytes));
    }
  }
}

// The full-range ("J") formats store their planes exactly like the limited-range ones.
AVPixelFormat StorageFormat(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    default: return format;
  }
}

}  // namespace

PictureConverter::~PictureConverter() { sws_freeContext(scaler_); }

bool PictureConverter::Convert(const PictureView& source, AVPixelFormat targetFormat, int targetWidth,
                               int targetHeight, const PicturePlanes& target) {
  if (StorageFormat(source.format) == targetFormat && source.width == targetWidth && source.height == targetHeight) {
    CopyPlanes(source, target);
    return true;
  }
  scaler_ = sws_getCachedContext(scaler_, source.width, source.height, source.format, targetWidth, targetHeight,
                                 targetFormat, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr,
                                 nullptr);
  if (scaler_ == nullptr) return false;
  sws_scale(scaler_, source.data, source.linesize, 0, source.height, target.data, target.linesize);
  return true;
}

}  // namespace kcm::ffdshow
