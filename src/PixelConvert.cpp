// The exported pixel conversions: argument checks, row order and the row routines
// chosen when the library loads.
#include "KestroPixelConvert.h"
#include "PixelConvertRows.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::ptrdiff_t Bytes(std::ptrdiff_t count, std::ptrdiff_t size) { return count * size; }

}  // namespace

namespace kcm_pixel {
namespace {

bool CpuHas(RowPath path) {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (path == RowPath::Avx2) return __builtin_cpu_supports("avx2");
  if (path == RowPath::Sse2) return __builtin_cpu_supports("sse2");
#endif
  return path == RowPath::Reference;
}

// KCM_CPU_DISABLE is a comma list of "avx2" and "sse2"; the AVX2 set finishes its rows
// with SSE2 steps, so disabling SSE2 disables both.
bool DisabledByEnvironment(RowPath path) {
  const char* value = std::getenv("KCM_CPU_DISABLE");
  if (value == nullptr) return false;
  const std::string list = std::string(",") + value + ",";
  const bool sse2Off = list.find(",sse2,") != std::string::npos;
  const bool avx2Off = sse2Off || list.find(",avx2,") != std::string::npos;
  return path == RowPath::Avx2 ? avx2Off : (path == RowPath::Sse2 && sse2Off);
}

struct RowState {
  RowSet rows;
  RowPath path;
};

RowSet RowsFor(RowPath path) {
  if (path == RowPath::Avx2) return Avx2Rows();
  if (path == RowPath::Sse2) return Sse2Rows();
  return ReferenceRows();
}

RowPath BestPath() {
  for (RowPath path : {RowPath::Avx2, RowPath::Sse2}) {
    if (CpuHas(path) && !DisabledByEnvironment(path)) return path;
  }
  return RowPath::Reference;
}

// Function-local so a host's own static initialisers may already convert.
RowState& State() {
  static RowState state{RowsFor(BestPath()), BestPath()};
  return state;
}

// Makes the choice while the library loads, not on the first conversion.
[[maybe_unused]] const bool kChosenAtLoad = (State(), true);

}  // namespace

void RunRow(const RowKernel& kernel, const uint8_t* src, uint8_t* dst, int pairs) {
  int done = 0;
  if (kernel.simd != nullptr && pairs >= kernel.stepPairs) {
    done = pairs - pairs % kernel.stepPairs;
    kernel.simd(src, dst, done);
  }
  if (done < pairs) {
    kernel.reference(src + Bytes(done, kernel.srcPairBytes), dst + Bytes(done, kernel.dstPairBytes), pairs - done);
  }
}

const RowSet& ActiveRows() { return State().rows; }

}  // namespace kcm_pixel

kcm_pixel::RowPath kcm_pixelActiveRowPath() { return kcm_pixel::State().path; }

bool kcm_pixelSelectRowPath(kcm_pixel::RowPath path) {
  if (!kcm_pixel::CpuHas(path)) return false;
  kcm_pixel::State() = kcm_pixel::RowState{kcm_pixel::RowsFor(path), path};
  return true;
}

using kcm_pixel::RowKernel;

namespace {

// Converts `rows` rows between two packed layouts; source row r goes to destination row
// rows-1-r when `flip` is set.
void ConvertFrame(const RowKernel& kernel, const BYTE* src, BYTE* dst, int width, int rows, bool flip) {
  const int pairs = width / 2;
  if (pairs < 1) return;
  const std::ptrdiff_t srcStride = Bytes(width, kernel.srcPairBytes) / 2;
  const std::ptrdiff_t dstStride = Bytes(width, kernel.dstPairBytes) / 2;
  for (int r = 0; r < rows; ++r) {
    const int out = flip ? rows - 1 - r : r;
    kcm_pixel::RunRow(kernel, src + Bytes(r, srcStride), dst + Bytes(out, dstStride), pairs);
  }
}

// Blends `rows` overlay rows into background rows that start at `bgFirst` and go up
// (bgStride < 0) or down.
void BlendRows(const RowKernel& kernel, BYTE* bgFirst, std::ptrdiff_t bgStride, const BYTE* overlay,
               std::ptrdiff_t ovStride, int rows, int pairs) {
  if (pairs < 1) return;
  for (int r = 0; r < rows; ++r) {
    kcm_pixel::RunRow(kernel, overlay + Bytes(r, ovStride), bgFirst + Bytes(r, bgStride), pairs);
  }
}

void CopyPairs(BYTE* background, const BYTE* overlay, int width, int height) {
  const std::ptrdiff_t stride = Bytes(width, 2);
  const std::size_t rowBytes = static_cast<std::size_t>(width / 2) * 4;
  for (int r = 0; r < height; ++r) std::memmove(background + Bytes(r, stride), overlay + Bytes(r, stride), rowBytes);
}

// Case 4: a YUY2A overlay placed at (x, y) on a bottom-up YUY2 background, clipped.
void BlendPlaced(BYTE* background, const BYTE* overlay, int x, int y, int bgWidth, int bgHeight, int ovWidth,
                 int ovHeight) {
  const long long left = x < bgWidth ? x : bgWidth;
  const long long top = y < bgHeight ? y : bgHeight;
  const long long columns = left + ovWidth > bgWidth ? bgWidth - left : ovWidth;
  const long long rows = top + ovHeight > bgHeight ? bgHeight - top : ovHeight;
  if (rows < 1 || columns < 2) return;
  const std::ptrdiff_t bgStride = Bytes(bgWidth, 2);
  BYTE* first = background + Bytes(bgHeight - 1 - top, bgStride) + Bytes(left & ~1LL, 2);
  BlendRows(kcm_pixel::ActiveRows().blend[0], first, -bgStride, overlay, Bytes(ovWidth, 3), static_cast<int>(rows),
            static_cast<int>(columns / 2));
}

}  // namespace

int kcm_YUV2RGB(const BYTE* pYUV, BYTE* pRGB, int width, int height, bool bAlpha, bool b32Bit) {
  if (pYUV == nullptr || pRGB == nullptr) return -1;
  ConvertFrame(kcm_pixel::ActiveRows().yuvToRgb[bAlpha][b32Bit], pYUV, pRGB, width, height, true);
  return 0;
}

int kcm_RGB2YUV(const BYTE* pRGB, BYTE* pYUV, int width, int height, bool bAlpha, bool b32Bit) {
  if (pRGB == nullptr || pYUV == nullptr) return -1;
  ConvertFrame(kcm_pixel::ActiveRows().rgbToYuv[bAlpha][b32Bit], pRGB, pYUV, width, height, true);
  return 0;
}

int kcm_YUVBlending(BYTE* pBackground, const BYTE* pOverlay, int x, int y, int bgWidth, int bgHeight, int ovWidth,
                    int ovHeight, bool bSameSize, bool bAlpha) {
  if (pBackground == nullptr || pOverlay == nullptr || x < 0 || y < 0) return -1;
  if (ovWidth < 1 || ovHeight < 1) return 0;
  if (!bAlpha && !bSameSize) {
    std::memmove(pBackground, pOverlay, static_cast<std::size_t>(Bytes(Bytes(ovWidth, ovHeight), 2)));
  } else if (!bAlpha) {
    CopyPairs(pBackground, pOverlay, ovWidth, ovHeight);
  } else if (bSameSize) {
    const std::ptrdiff_t stride = Bytes(ovWidth, 3);
    BlendRows(kcm_pixel::ActiveRows().blend[1], pBackground, stride, pOverlay, stride, ovHeight, ovWidth / 2);
  } else if (bgWidth > 0 && bgHeight > 0) {
    BlendPlaced(pBackground, pOverlay, x, y, bgWidth, bgHeight, ovWidth, ovHeight);
  }
  return 0;
}

void kcm_yuv2ToRGB32(const BYTE* pSrc, BYTE* pDst, int width, int height, int dstStride) {
  const int pairs = width / 2;
  if (pSrc == nullptr || pDst == nullptr || pairs < 1 || height == 0) return;
  const kcm_pixel::RowSet& set = kcm_pixel::ActiveRows();
  const long long rows = height < 0 ? -static_cast<long long>(height) : height;
  const std::ptrdiff_t srcStride = Bytes(pairs, 4);
  for (long long r = 0; r < rows; ++r) {
    const long long in = height < 0 ? rows - 1 - r : r;
    kcm_pixel::RunRow(set.yuy2ToRgb32, pSrc + in * srcStride, pDst + r * dstStride, pairs);
  }
  if (set.finishFrame != nullptr) set.finishFrame();
}

void kcm_copyPixelBuffer(BYTE* pDst, const BYTE* pSrc, int stride, int height, bool bFlip, int mode) {
  if (pDst == nullptr || pSrc == nullptr || stride < 1 || height == 0) return;
  const long long rows = height < 0 ? -static_cast<long long>(height) : height;
  if (mode < 2 || (height > 0 && !bFlip)) {
    std::memmove(pDst, pSrc, static_cast<std::size_t>(rows * stride));
    return;
  }
  for (long long r = 0; r < rows; ++r) {
    std::memcpy(pDst + r * stride, pSrc + (rows - 1 - r) * stride, static_cast<std::size_t>(stride));
  }
}
