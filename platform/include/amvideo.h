// DirectShow video format blocks (FORMAT_VideoInfo, FORMAT_MPEGVideo).
#pragma once

#include "minwindef.h"
#include "windef.h"
#include "wingdi.h"

// DirectShow times: signed counts of 100 ns.
typedef LONGLONG REFERENCE_TIME;

#define iPALETTE_COLORS 256
#define iMASK_COLORS 3

typedef struct tagVIDEOINFOHEADER {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER;

typedef struct tagTRUECOLORINFO {
  DWORD dwBitMasks[iMASK_COLORS];
  RGBQUAD bmiColors[iPALETTE_COLORS];
} TRUECOLORINFO;

// VIDEOINFOHEADER followed by the palette or the colour masks.
typedef struct tagVIDEOINFO {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  BITMAPINFOHEADER bmiHeader;
  union {
    RGBQUAD bmiColors[iPALETTE_COLORS];
    DWORD dwBitMasks[iMASK_COLORS];
    TRUECOLORINFO TrueColorInfo;
  };
} VIDEOINFO;

// FORMAT_MPEGVideo: cbSequenceHeader bytes of sequence header start at bSequenceHeader,
// so a block needs SIZE_MPEG1VIDEOINFO(p) bytes.
typedef struct tagMPEG1VIDEOINFO {
  VIDEOINFOHEADER hdr;
  DWORD dwStartTimeCode;
  DWORD cbSequenceHeader;
  BYTE bSequenceHeader[1];
} MPEG1VIDEOINFO;

#define MAX_SIZE_MPEG1_SEQUENCE_INFO 140
#define SIZE_MPEG1VIDEOINFO(pv) (offsetof(MPEG1VIDEOINFO, bSequenceHeader) + (pv)->cbSequenceHeader)
#define MPEG1_SEQUENCE_INFO(pv) ((const BYTE*)(pv)->bSequenceHeader)

#ifdef __cplusplus
static_assert(sizeof(MPEG1VIDEOINFO) == 104 && offsetof(MPEG1VIDEOINFO, dwStartTimeCode) == 88 &&
                  offsetof(MPEG1VIDEOINFO, cbSequenceHeader) == 92 && offsetof(MPEG1VIDEOINFO, bSequenceHeader) == 96,
              "MPEG1VIDEOINFO layout");
static_assert(sizeof(VIDEOINFOHEADER) == 88 && offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == 40 &&
                  offsetof(VIDEOINFOHEADER, bmiHeader) == 48,
              "VIDEOINFOHEADER layout");
static_assert(sizeof(TRUECOLORINFO) == 1036, "TRUECOLORINFO layout");
static_assert(sizeof(VIDEOINFO) == 1128 && offsetof(VIDEOINFO, bmiHeader) == 48 &&
                  offsetof(VIDEOINFO, bmiColors) == 88 && offsetof(VIDEOINFO, TrueColorInfo) == 88,
              "VIDEOINFO layout");
#endif
