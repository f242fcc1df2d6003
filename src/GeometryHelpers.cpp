// Rectangle fitting for keeping a picture's aspect ratio inside a window.
//
// Quotients the original rounded to float are kept as float here; everything else is
// evaluated in double, which is the precision the Windows build computed in (so 400 / r
// for r = 16/9 stays just below 225). Sums wrap and out-of-range conversions give
// INT_MIN, as the x86 instructions did, instead of being undefined.
#include <stdint.h>

#include <algorithm>

#include "KestroFormatHelpers.h"
#include "winbase.h"
#include "winerror.h"

namespace {

LONG wrapAdd(LONG a, LONG b) { return static_cast<LONG>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }

LONG wrapSub(LONG a, LONG b) { return static_cast<LONG>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

// Truncation toward zero; NaN and values outside 32 bits give the x86 "indefinite" value.
LONG truncate(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<LONG>(value);
}

LONG widthOf(const RECT& rect) { return wrapSub(rect.right, rect.left); }

LONG heightOf(const RECT& rect) { return wrapSub(rect.bottom, rect.top); }

// A span of `size` centred in [0, extent): start = (int)(extent / 2 - size / 2).
void centreSpan(double extent, LONG size, LONG& start, LONG& end) {
  start = truncate(0.5 * extent - size / 2);
  end = wrapAdd(start, size);
}

// A span of `size` centred in a span of `extent` that begins at `origin`.
void centreSpanIn(LONG origin, LONG extent, LONG size, LONG& start, LONG& end) {
  start = wrapSub(wrapAdd(origin, extent / 2), size / 2);
  end = wrapAdd(start, size);
}

// The letter-box of cx : cy inside the bounds; nothing is written unless it answers S_OK.
HRESULT letterBoxRect(LONG cx, LONG cy, const RECT& bounds, RECT* result) {
  if (result == nullptr) return E_POINTER;
  if (cx == 0 || cy == 0) return E_INVALIDARG;
  const LONG boundsWidth = widthOf(bounds), boundsHeight = heightOf(bounds);
  LONG width = MulDiv(boundsHeight, cx, cy), height = boundsHeight;
  if (width > boundsWidth) {
    width = boundsWidth;
    height = MulDiv(boundsWidth, cy, cx);
  }
  if (width == -1 || height == -1) return E_FAIL;
  result->left = wrapAdd(bounds.left, wrapSub(boundsWidth, width) / 2);
  result->right = wrapAdd(result->left, width);
  result->top = wrapAdd(bounds.top, wrapSub(boundsHeight, height) / 2);
  result->bottom = wrapAdd(result->top, height);
  return S_OK;
}

// Full height of the bounds, `width` wide, centred horizontally.
RECT pillarBox(const RECT& bounds, LONG width) {
  RECT out = bounds;
  centreSpanIn(bounds.left, widthOf(bounds), width, out.left, out.right);
  return out;
}

// Full width of the bounds, `height` high, centred vertically.
RECT letterBox(const RECT& bounds, LONG height) {
  RECT out = bounds;
  centreSpanIn(bounds.top, heightOf(bounds), height, out.top, out.bottom);
  return out;
}

}  // namespace

void kcm_aspectRatioRect(RECT& area, RECT source, RECT& out) {
  const float areaWidth = static_cast<float>(widthOf(area)), areaHeight = static_cast<float>(heightOf(area));
  const float sourceWidth = static_cast<float>(widthOf(source)), sourceHeight = static_cast<float>(heightOf(source));
  const LONG width = truncate(std::min(areaWidth, sourceWidth));
  const LONG height = truncate(std::min(areaHeight, sourceHeight));
  const LONG x0 = truncate(0.5 * areaWidth - width / 2);
  const LONG y0 = truncate(0.5 * areaHeight - height / 2);
  const float scaleX = sourceWidth / areaWidth, scaleY = sourceHeight / areaHeight;
  centreSpan(areaWidth, truncate(width / static_cast<double>(scaleX)), out.left, out.right);
  centreSpan(areaHeight, truncate(height / static_cast<double>(scaleY)), out.top, out.bottom);
  if (areaWidth > sourceWidth) {
    area.left = x0;
    area.right = wrapAdd(x0, width);
  }
  if (areaHeight > sourceHeight) {
    area.top = y0;
    area.bottom = wrapAdd(y0, height);
  }
}

void kcm_aspectLetterBoxRect(float aspectWidth, float aspectHeight, RECT bounds, RECT& out) {
  const LONG boundsWidth = widthOf(bounds), boundsHeight = heightOf(bounds);
  RECT box;
  // Without a letter-box or with empty bounds there is nothing to scale.
  if (FAILED(letterBoxRect(truncate(aspectWidth), truncate(aspectHeight), bounds, &box)) || boundsWidth == 0 ||
      boundsHeight == 0) {
    out = RECT{0, 0, 0, 0};
    return;
  }
  const float scaleX = static_cast<float>(boundsWidth / static_cast<double>(aspectWidth));
  const float scaleY = static_cast<float>(boundsHeight / static_cast<double>(aspectHeight));
  centreSpan(aspectWidth, truncate(widthOf(box) / static_cast<double>(scaleX)), out.left, out.right);
  centreSpan(aspectHeight, truncate(heightOf(box) / static_cast<double>(scaleY)), out.top, out.bottom);
}

void kcm_aspectLetterBoxRect2(float aspectWidth, float aspectHeight, RECT bounds, RECT& out) {
  const LONG boundsWidth = widthOf(bounds), boundsHeight = heightOf(bounds);
  const double ratio = static_cast<float>(aspectWidth / aspectHeight);  // rounded to float first
  if (boundsWidth <= boundsHeight) {
    const LONG height = truncate(boundsWidth / ratio);
    out = height > boundsHeight ? pillarBox(bounds, truncate(ratio * boundsHeight)) : letterBox(bounds, height);
  } else {
    const LONG width = truncate(boundsHeight * ratio);
    out = width > boundsWidth ? letterBox(bounds, truncate(boundsWidth / ratio)) : pillarBox(bounds, width);
  }
}
