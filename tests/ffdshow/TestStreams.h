// Streams made in the test process with libavcodec's encoders, and what plain libavcodec
// decodes from them: the reference the stand-in's filters are compared with.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "streams.h"

namespace kcm_test {

struct EncodedPacket {
  std::vector<BYTE> bytes;
  REFERENCE_TIME start = 0;  // presentation time, 100 ns units
  REFERENCE_TIME end = 0;
};

struct EncodedStream {
  AVCodecID codec = AV_CODEC_ID_NONE;
  std::vector<uint8_t> extraData;
  std::vector<EncodedPacket> packets;  // in decoding order
  int width = 0;
  int height = 0;
  int channels = 0;
  int sampleRate = 0;
};

// A picture as libavcodec decodes it: MD5 of its planes tightly packed (the way
// ffmpeg's framemd5 hashes them) and its presentation time.
struct DecodedPicture {
  std::string md5;
  REFERENCE_TIME start = 0;
};

// `frames` pictures of a moving test pattern, 25 per second; `bFrames` lets the encoder
// reorder. Empty when the encoder is missing.
EncodedStream EncodeVideo(const char* encoder, int width, int height, int frames, int bFrames,
                          AVPixelFormat format = AV_PIX_FMT_YUV420P);
// `milliseconds` of a two-tone sound.
EncodedStream EncodeAudio(const char* encoder, int channels, int sampleRate, int milliseconds);

std::vector<DecodedPicture> ReferenceDecodeVideo(const EncodedStream& stream);
// Decoded and converted to interleaved 16-bit samples of the stream's layout.
std::vector<int16_t> ReferenceDecodeAudio(const EncodedStream& stream);
// The time of the first decoded block (the decoder drops the encoder's priming samples).
REFERENCE_TIME ReferenceFirstAudioTime(const EncodedStream& stream);

// MD5 (hex) of a picture's planes, each row `width` bytes of the plane, tightly packed.
std::string PlanesMd5(AVPixelFormat format, int width, int height, const uint8_t* const data[4], const int linesize[4]);

// The type the sample source filter offers for a compressed video stream:
// FORMAT_MPEG2Video with the extra data as sequence header.
CMediaType CompressedVideoType(const GUID& subtype, DWORD biCompression, int width, int height,
                               const std::vector<uint8_t>& extraData, REFERENCE_TIME avgTimePerFrame = 400000);
// FORMAT_WaveFormatEx with the extra data behind the WAVEFORMATEX.
CMediaType AudioType(const GUID& subtype, int channels, int sampleRate, int bitsPerSample,
                     const std::vector<uint8_t>& extraData = {});

}  // namespace kcm_test
