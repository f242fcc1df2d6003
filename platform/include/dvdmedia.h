// DirectShow video format blocks with picture aspect ratio and interlace information
// (FORMAT_VideoInfo2) and the MPEG-2 video block built on them (FORMAT_MPEG2Video).
#pragma once

#include "amvideo.h"

typedef struct tagVIDEOINFOHEADER2 {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  DWORD dwInterlaceFlags;
  DWORD dwCopyProtectFlags;
  DWORD dwPictAspectRatioX;
  DWORD dwPictAspectRatioY;
  union {
    DWORD dwControlFlags;
    DWORD dwReserved1;
  };
  DWORD dwReserved2;
  BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER2;

// cbSequenceHeader bytes of sequence header start at dwSequenceHeader, so a block needs
// SIZE_MPEG2VIDEOINFO(p) bytes.
typedef struct tagMPEG2VIDEOINFO {
  VIDEOINFOHEADER2 hdr;
  DWORD dwStartTimeCode;
  DWORD cbSequenceHeader;
  DWORD dwProfile;
  DWORD dwLevel;
  DWORD dwFlags;
  DWORD dwSequenceHeader[1];
} MPEG2VIDEOINFO;

#define SIZE_MPEG2VIDEOINFO(pv) (offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + (pv)->cbSequenceHeader)
#define MPEG2_SEQUENCE_INFO(pv) ((const BYTE*)(pv)->dwSequenceHeader)

#ifdef __cplusplus
static_assert(sizeof(VIDEOINFOHEADER2) == 112 && offsetof(VIDEOINFOHEADER2, AvgTimePerFrame) == 40 &&
                  offsetof(VIDEOINFOHEADER2, dwInterlaceFlags) == 48 && offsetof(VIDEOINFOHEADER2, dwControlFlags) == 64 &&
                  offsetof(VIDEOINFOHEADER2, dwReserved2) == 68 && offsetof(VIDEOINFOHEADER2, bmiHeader) == 72,
              "VIDEOINFOHEADER2 layout");
static_assert(sizeof(MPEG2VIDEOINFO) == 136 && offsetof(MPEG2VIDEOINFO, dwStartTimeCode) == 112 &&
                  offsetof(MPEG2VIDEOINFO, cbSequenceHeader) == 116 && offsetof(MPEG2VIDEOINFO, dwFlags) == 128 &&
                  offsetof(MPEG2VIDEOINFO, dwSequenceHeader) == 132,
              "MPEG2VIDEOINFO layout");
#endif
