// Row routines of the pixel conversions, one set per instruction set, and the choice of
// set made when the library loads. Every row routine has the same shape: it converts
// `pairs` pixel pairs from `src` to `dst` (the blend row blends the overlay `src` into
// the background `dst`). The SIMD routines convert whole steps only; RunRow hands the
// rest of the row to the reference.
#pragma once

#include "KestroExport.h"

#include <cstdint>

namespace kcm_pixel {

using RowFn = void (*)(const uint8_t* src, uint8_t* dst, int pairs);

// Bytes per pixel pair of the packed layouts.
constexpr int kYuy2Pair = 4;
constexpr int kYuy2aPair = 6;
constexpr int kRgb24Pair = 6;
constexpr int kRgb32Pair = 8;

// A SIMD row routine with the step it works in and the reference that finishes a row.
struct RowKernel {
  RowFn simd;       // null: the reference does the whole row
  int stepPairs;    // pairs per SIMD step
  RowFn reference;
  int srcPairBytes;
  int dstPairBytes;
};

// Converts a row: whole steps through the SIMD routine, the rest through the reference.
void RunRow(const RowKernel& kernel, const uint8_t* src, uint8_t* dst, int pairs);

// Index of the layout-specific variants: [source or overlay has alpha][other side flag].
struct RowSet {
  RowKernel yuvToRgb[2][2];  // [YUY2A source][RGB32 destination]
  RowKernel rgbToYuv[2][2];  // [YUY2A destination][RGB32 source]
  RowKernel blend[2];        // [background is YUY2A] (overlay is always YUY2A)
  RowKernel yuy2ToRgb32;     // reference or the 16-bit-lane routine
  void (*finishFrame)();     // after a yuy2ToRgb32 frame: fences streaming stores, or null
};

enum class RowPath { Reference, Sse2, Avx2 };

// The set chosen at load (or by SelectRowPath).
const RowSet& ActiveRows();


// --- reference routines (PixelConvertRows_C.cpp): the definition of every conversion ---
void YuvToRgbRow_C(const uint8_t* src, uint8_t* dst, int pairs, bool srcAlpha, bool dst32);
void RgbToYuvRow_C(const uint8_t* src, uint8_t* dst, int pairs, bool dstAlpha, bool src32);
void BlendRow_C(const uint8_t* overlay, uint8_t* background, int pairs, bool bgAlpha);
void Yuy2ToRgb32Row_C(const uint8_t* src, uint8_t* dst, int pairs);
RowSet ReferenceRows();

// --- SIMD sets (PixelConvertRows_SSE2.cpp, PixelConvertRows_AVX2.cpp) ---
RowSet Sse2Rows();
RowSet Avx2Rows();

}  // namespace kcm_pixel

// Test hook, exported for the test suites only: switches every conversion to `path`.
// Returns false, changing nothing, when the processor lacks it. Not safe while another
// thread converts.
KCM_API bool kcm_pixelSelectRowPath(kcm_pixel::RowPath path);
KCM_API kcm_pixel::RowPath kcm_pixelActiveRowPath();
