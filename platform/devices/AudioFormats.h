// The PCM formats the audio capture devices offer: 16-bit PCM at 8000, 16000, 22050,
// 44100 and 48000 Hz, mono and stereo, with AUDIO_STREAM_CONFIG_CAPS covering 1-2
// channels, 8-16 bits and 8000-48000 Hz.
#pragma once

#include <vector>

#include "CaptureSource.h"
#include "mmreg.h"

namespace kcm::devices {

std::vector<CaptureFormat> standardPcmFormats();
// S_OK for PCM within the caps (completing block align and byte rate), else
// VFW_E_INVALIDMEDIATYPE.
HRESULT acceptPcm(CMediaType& type);
// 20 ms of `type` in bytes, whole blocks.
LONG pcmBlockBytes(const CMediaType& type);
const WAVEFORMATEX& waveFormatOf(const CMediaType& type);

}  // namespace kcm::devices
