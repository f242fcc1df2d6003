// Wave-format records. They are byte-packed on every platform, which is what makes
// WAVEFORMATEX 18 bytes instead of 20.
#pragma once

#include "minwindef.h"

#define WAVE_FORMAT_PCM 0x0001
#define WAVE_FORMAT_IEEE_FLOAT 0x0003

#pragma pack(push, 1)
// cbSize bytes of format-specific data follow the record.
typedef struct tWAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
} WAVEFORMATEX, *PWAVEFORMATEX, *LPWAVEFORMATEX;
#pragma pack(pop)
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;

#ifdef __cplusplus
static_assert(sizeof(WAVEFORMATEX) == 18 && alignof(WAVEFORMATEX) == 1, "WAVEFORMATEX is packed");
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4 && offsetof(WAVEFORMATEX, nBlockAlign) == 12 &&
                  offsetof(WAVEFORMATEX, cbSize) == 16,
              "WAVEFORMATEX layout");
#endif
