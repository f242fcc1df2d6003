// Whole-frame conversions between packed YUV 4:2:2 and packed RGB, alpha blending of a
// YUV overlay, and pixel-buffer copies.
//
// Layouts (rows packed, a pair is two horizontally adjacent pixels sharing U and V):
//   YUY2   4 bytes per pair: Y0 U Y1 V                  row = 2 * width bytes
//   YUY2A  6 bytes per pair: Y0 U Y1 V A0 A1 (255 opaque) row = 3 * width bytes
//   RGB24  6 bytes per pair: B G R  B G R                row = 3 * width bytes
//   RGB32  8 bytes per pair: B G R A  B G R A            row = 4 * width bytes
// A row holds width / 2 pairs; with an odd width the last pixel of every row is neither
// read nor written, the row stride still counts it. Sizes are not checked against the
// buffers: the caller guarantees each buffer holds the rows its layout implies.
// Arithmetic is integer and fixed: hosts compare the frames byte for byte. No function
// allocates or keeps state; all are safe to call from any thread on distinct buffers.
#pragma once

#include "KestroExport.h"
#include <minwindef.h>

// YUY2 (or YUY2A when `bAlpha`) to RGB32 (when `b32Bit`) or RGB24, BT.601 limited range:
//   R = clamp((298*(Y-16) + 409*(V-128) + 128) >> 8)
//   G = clamp((298*(Y-16) - 100*(U-128) - 208*(V-128) + 128) >> 8)
//   B = clamp((298*(Y-16) + 516*(U-128) + 128) >> 8)
// The RGB image is stored bottom-up: source row r lands in destination row height-1-r.
// RGB32 alpha is 255, or the pixel's own A byte from a YUY2A source.
// Returns -1 when pYUV or pRGB is null, else 0 (nothing happens for height < 1 or
// width < 2).
KCM_API int kcm_YUV2RGB(const BYTE* pYUV, BYTE* pRGB, int width, int height, bool bAlpha, bool b32Bit);

// RGB32 (when `b32Bit`) or RGB24, taken as bottom-up, to YUY2 (or YUY2A when `bAlpha`),
// written top-down:
//   Y = ((66R + 129G + 25B + 128) >> 8) + 16 per pixel
//   U = (u0 + u1) / 2 + 128 with ui = (-38R - 74G + 112B + 128) >> 8
//   V = (v0 + v1) / 2 + 128 with vi = (112R - 94G - 18B + 128) >> 8
// (">>" floors, "/" truncates toward zero). YUY2A alpha is the RGB32 alpha, or 255.
// Returns -1 when pRGB or pYUV is null, else 0.
KCM_API int kcm_RGB2YUV(const BYTE* pRGB, BYTE* pYUV, int width, int height, bool bAlpha, bool b32Bit);

// Blends `pOverlay` onto `pBackground` in place. Four cases:
//   !bAlpha && !bSameSize  copy overlay width*height*2 bytes to the background's start;
//   !bAlpha &&  bSameSize  copy width/2 YUY2 pairs of each overlay row (same strides);
//    bAlpha &&  bSameSize  background is YUY2A of the overlay's size, blended pair by
//                          pair; its own alpha bytes are kept;
//    bAlpha && !bSameSize  background is YUY2 bgWidth x bgHeight, addressed bottom-up;
//                          the YUY2A overlay is placed at (x, y) counted from the visual
//                          top-left, clipped at the right and bottom edges, its first
//                          pixel rounded down to an even column.
// Per pixel, with T(n) = n / 255 truncated toward zero and overlay alpha a:
//   Y' = T((oY-16)*a) + T((bY-16)*(255-a)) + 16
//   U' = (sum over a0, a1 of T((oU-128)*a) + T((bU-128)*(255-a))) / 2 + 128, V' alike.
// Returns -1 when a buffer is null or x < 0 or y < 0, else 0. Non-positive sizes blend
// nothing.
KCM_API int kcm_YUVBlending(BYTE* pBackground, const BYTE* pOverlay, int x, int y, int bgWidth, int bgHeight,
                            int ovWidth, int ovHeight, bool bSameSize, bool bAlpha);

// YUY2 (source row = 4 * (width/2) bytes) to RGB32 rows that start at `pDst` and advance
// by `dstStride` bytes. A negative height reads the source from its last row upward.
// Two row routines exist and the faster the processor supports is chosen at load:
//   reference  16.16 fixed point: C = (Y-16)*76309, D = U-128, E = V-128,
//              R = clamp((C + 104597E) >> 16), G = clamp((C - 25674D - 53278E) >> 16),
//              B = clamp((C + 132201D) >> 16);
//   fast       8 pixels at a time in 16-bit lanes: Y-16 saturated at 0, each term
//              shifted left by 3 and multiplied keeping the high 16 bits of the signed
//              product (9539, 13075, -3209, -6660, 16525), saturating sums.
// The fast routine leaves the last (width mod 8) pixels of each row, and rows narrower
// than 8 pixels, to the reference routine. Alpha is 255. With an odd width the last
// pixel of each row is not written. Null buffers or width < 2 do nothing. Results
// differ slightly between the routines; set KCM_CPU_DISABLE=sse2 before loading to get
// the reference everywhere.
KCM_API void kcm_yuv2ToRGB32(const BYTE* pSrc, BYTE* pDst, int width, int height, int dstStride);

// mode < 2: copies |height| * stride bytes as one block (flip ignored). Otherwise copies
// height * stride bytes as one block when height > 0 and !bFlip, else copies |height|
// rows in reverse order (a vertical mirror). Null buffers or stride < 1 do nothing.
KCM_API void kcm_copyPixelBuffer(BYTE* pDst, const BYTE* pSrc, int stride, int height, bool bFlip, int mode);
