// Automation value types: VARTYPE tags, VARIANT_BOOL, CY, DATE and DECIMAL, with the
// Windows widths and layouts.
#pragma once

#include <stddef.h>

#include "minwindef.h"

typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
typedef double DATE;  // days since 1899-12-30, the fraction being the time of day
typedef LONG SCODE;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_LPSTR = 30,
  VT_LPWSTR = 31,
  VT_FILETIME = 64,
  VT_BLOB = 65,
  VT_CLSID = 72,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

// Currency: a 64-bit integer counting ten-thousandths.
typedef union tagCY {
  struct {
    ULONG Lo;
    LONG Hi;
  };
  LONGLONG int64;
} CY;

#define DECIMAL_NEG ((BYTE)0x80)

// value = (Hi32 * 2^64 + Lo64) / 10^scale, negated when sign is DECIMAL_NEG; scale 0..28.
typedef struct tagDEC {
  USHORT wReserved;  // VT_DECIMAL while the DECIMAL sits in a VARIANT
  union {
    struct {
      BYTE scale;
      BYTE sign;
    };
    USHORT signscale;
  };
  ULONG Hi32;
  union {
    struct {
      ULONG Lo32;
      ULONG Mid32;
    };
    ULONGLONG Lo64;
  };
} DECIMAL;
typedef DECIMAL* LPDECIMAL;

static_assert(sizeof(VARTYPE) == 2 && sizeof(VARIANT_BOOL) == 2, "automation tags are 16-bit");
static_assert(sizeof(CY) == 8, "CY is 8 bytes");
static_assert(sizeof(DECIMAL) == 16 && offsetof(DECIMAL, Hi32) == 4 && offsetof(DECIMAL, Lo64) == 8,
              "DECIMAL layout");
