// Normalisers for PCM audio formats and video image sizes.
#include <stdint.h>

#include "KestroFormatHelpers.h"

namespace {

// The rates the speech codec encodes; any other rate is replaced by the highest.
bool isCodecRate(DWORD rate) { return rate == 8000 || rate == 12000 || rate == 16000 || rate == 24000; }

}  // namespace

WAVEFORMATEX kcm_checkWaveFormatEx(WAVEFORMATEX& format, int restrictToCodec) {
  WAVEFORMATEX result = format;
  if (restrictToCodec != 0) {
    result.wBitsPerSample = 16;
    result.nChannels = 1;
    if (!isCodecRate(result.nSamplesPerSec)) result.nSamplesPerSec = 24000;
  }
  result.cbSize = 0;
  result.wFormatTag = WAVE_FORMAT_PCM;
  result.nBlockAlign = static_cast<WORD>(result.wBitsPerSample / 8 * result.nChannels);
  result.nAvgBytesPerSec = static_cast<DWORD>(result.nBlockAlign) * result.nSamplesPerSec;
  return result;
}

void kcm_updateValidVideoInfo(int, VIDEOINFO* header) {
  if (header == nullptr) return;
  BITMAPINFOHEADER& bitmap = header->bmiHeader;
  if (bitmap.biHeight == 0 || bitmap.biWidth == 0 || bitmap.biBitCount == 0) return;
  // Signed 32-bit product that wraps as on x86, then a truncating division.
  const uint32_t product = static_cast<uint32_t>(bitmap.biBitCount) * static_cast<uint32_t>(bitmap.biWidth) *
                           static_cast<uint32_t>(bitmap.biHeight);
  bitmap.biSizeImage = static_cast<DWORD>(static_cast<int32_t>(product) / 8);
}
