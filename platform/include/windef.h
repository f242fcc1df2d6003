// Geometry records of the Windows SDK.
#pragma once

#include "minwindef.h"

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT, *PPOINT, *LPPOINT;

typedef struct tagSIZE {
  LONG cx;
  LONG cy;
} SIZE, *PSIZE, *LPSIZE;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT, *PRECT, *LPRECT;
typedef const RECT* LPCRECT;

#ifdef __cplusplus
static_assert(sizeof(POINT) == 8 && sizeof(SIZE) == 8, "POINT and SIZE are two LONGs");
static_assert(sizeof(RECT) == 16 && offsetof(RECT, bottom) == 12, "RECT layout");
#endif
