// Which libavcodec decoder a DirectShow media type calls for, and the codec private data
// ("extra data") its format block carries.
//
// Video: the bitmap header's biCompression decides when it names a codec, else the
// subtype (FourCC subtypes by their first word, and the MPEG-1/MPEG-2 subtypes). The
// FourCC names follow the pipeline's canonical ones: "mp4v" and its aliases, "mpg4"
// among them, are MPEG-4 part 2; "DIV3"/"MP43" and "DIV2"/"MP42" are Microsoft's
// MPEG-4 variants. Audio: the subtype decides; the generic WAVE_FORMAT subtypes by tag.
#pragma once

#include <stdint.h>

#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "streams.h"

namespace kcm::ffdshow {

struct VideoInput {
  AVCodecID codec = AV_CODEC_ID_NONE;
  int width = 0;
  int height = 0;  // positive
  REFERENCE_TIME avgTimePerFrame = 0;
  std::vector<uint8_t> extraData;
};

struct AudioInput {
  AVCodecID codec = AV_CODEC_ID_NONE;  // PCM codecs for uncompressed input
  int channels = 0;
  int sampleRate = 0;
  int bitsPerSample = 0;
  int blockAlign = 0;
  int bitRate = 0;
  std::vector<uint8_t> extraData;
};

// E_INVALIDARG (or VFW_E_TYPE_NOT_ACCEPTED for an unknown coding) when the type does
// not describe a stream the decoder can take.
HRESULT ReadVideoInput(const AM_MEDIA_TYPE& type, VideoInput* input);
HRESULT ReadAudioInput(const AM_MEDIA_TYPE& type, bool compressedAllowed, AudioInput* input);

// The codec a video FourCC names, or AV_CODEC_ID_NONE.
AVCodecID VideoCodecOfFourCC(DWORD fourCC);

}  // namespace kcm::ffdshow
