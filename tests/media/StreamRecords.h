// Stream records as a host fills them before it connects a sample source or render filter.
#pragma once

#include <string.h>

#include "KestroMediaStreamType.h"

namespace kcm_test {

inline tagKestroStreamType VideoRecord(uint32_t fourCC, LONG width, LONG height, DWORD sizeImage,
                                       REFERENCE_TIME avgTimePerFrame = 400000) {
  tagKestroStreamType record;
  memset(&record, 0, sizeof(record));
  record.mediaKind = AMTYPE_Video;
  record.streamKind = AMTYPE_Video;
  record.fourCC = fourCC;
  record.valid = 1;
  record.videoInfo.AvgTimePerFrame = avgTimePerFrame;
  BITMAPINFOHEADER& header = record.videoInfo.bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 16;
  header.biCompression = fourCC;
  header.biSizeImage = sizeImage;
  return record;
}

inline tagKestroStreamType AudioRecord(uint32_t fourCC, WORD channels, DWORD samplesPerSec, WORD bitsPerSample,
                                       DWORD avgBytesPerSec) {
  tagKestroStreamType record;
  memset(&record, 0, sizeof(record));
  record.mediaKind = AMTYPE_Audio;
  record.streamKind = AMTYPE_Audio;
  record.fourCC = fourCC;
  record.valid = 1;
  record.waveFormat.wFormatTag = 1;
  record.waveFormat.nChannels = channels;
  record.waveFormat.nSamplesPerSec = samplesPerSec;
  record.waveFormat.wBitsPerSample = bitsPerSample;
  record.waveFormat.nBlockAlign = static_cast<WORD>(channels * bitsPerSample / 8);
  record.waveFormat.nAvgBytesPerSec = avgBytesPerSec;
  return record;
}

}  // namespace kcm_test
