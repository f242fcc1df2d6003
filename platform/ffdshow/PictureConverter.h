// PictureConverter: writes one picture into another buffer - a plain row copy when both
// sides have the same pixel format and size (bit-exact), libswscale otherwise (colour
// space conversion and scaling). Line sizes may be negative (bottom-up or flipped
// pictures). Keeps its scaler between calls; not thread-safe.
#pragma once

#include "PictureLayout.h"

struct SwsContext;

namespace kcm::ffdshow {

struct PictureView {
  AVPixelFormat format = AV_PIX_FMT_NONE;
  int width = 0;
  int height = 0;
  const uint8_t* data[4] = {};
  int linesize[4] = {};
};

class PictureConverter {
 public:
  PictureConverter() = default;
  ~PictureConverter();
  PictureConverter(const PictureConverter&) = delete;
  PictureConverter& operator=(const PictureConverter&) = delete;

  // False when libswscale cannot convert between the two formats.
  bool Convert(const PictureView& source, AVPixelFormat targetFormat, int targetWidth, int targetHeight,
               const PicturePlanes& target);

 private:
  SwsContext* scaler_ = nullptr;
};

}  // namespace kcm::ffdshow
