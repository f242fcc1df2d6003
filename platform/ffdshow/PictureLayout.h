// Uncompressed pictures as DirectShow lays them out in a sample: the colour spaces the
// stand-in reads and writes, their FourCCs, subtypes and libav pixel formats, and where
// the planes of a w × h picture lie in a buffer.
//
// Strides: planar 4:2:0 rows are packed (luma w, chroma (w + 1) / 2 bytes, V before U for
// YV12); packed 4:2:2 rows hold (w + 1) / 2 pixel pairs; RGB rows are padded to 4 bytes
// like a DIB. YUV pictures are stored top-down; RGB bottom-up unless asked otherwise.
#pragma once

#include <stdint.h>

#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

#include "streams.h"

namespace kcm::ffdshow {

constexpr DWORD MakeFourCC(char a, char b, char c, char d) {
  return static_cast<DWORD>(static_cast<uint8_t>(a)) | (static_cast<DWORD>(static_cast<uint8_t>(b)) << 8) |
         (static_cast<DWORD>(static_cast<uint8_t>(c)) << 16) | (static_cast<DWORD>(static_cast<uint8_t>(d)) << 24);
}

struct RawLayout {
  DWORD fourCC;  // canonical name: "YV12", "I420", "YUY2", "UYVY", "RV32", "RV24", ...
  GUID subtype;
  WORD bitCount;
  DWORD compression;  // biCompression: BI_RGB or the FourCC
  AVPixelFormat pixelFormat;
  bool rgb;
  bool swapChroma;  // V plane before U (YV12)
  bool output;      // a colour space the stand-in writes
};

// The plane pointers and line sizes of one picture; line sizes are negative for a
// picture stored bottom-up (data points at its top row).
struct PicturePlanes {
  uint8_t* data[4] = {};
  int linesize[4] = {};
};

const RawLayout* RawLayoutByFourCC(DWORD fourCC);
// By the type's subtype.
const RawLayout* RawLayoutOfType(const AM_MEDIA_TYPE& type);

// The picture's size in bytes, and the row stride of its first plane.
LONG ImageSize(const RawLayout& layout, int width, int height);
int LumaStride(const RawLayout& layout, int width);
// Planes of a picture stored in `buffer`; `bottomUp` stores its rows last row first.
PicturePlanes PlanesOf(const RawLayout& layout, int width, int height, BYTE* buffer, bool bottomUp);

// A FORMAT_VideoInfo type (a whole VIDEOINFO) for a w × h picture of `layout`.
HRESULT MakeRawVideoType(const RawLayout& layout, int width, int height, REFERENCE_TIME avgTimePerFrame,
                         CMediaType* type);

// The default output list: YV12, I420, YUY2, RV32, RV24.
std::vector<DWORD> DefaultOutputColorSpaces();

}  // namespace kcm::ffdshow
