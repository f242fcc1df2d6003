// AudioResampler: turns decoded audio of any sample format, layout and rate into
// interleaved 16-bit samples of the negotiated channel count and rate (libswresample).
// Set up again whenever the input's parameters change; not thread-safe.
#pragma once

#include <stdint.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

struct SwrContext;

namespace kcm::ffdshow {

struct AudioBlock {
  const uint8_t* const* data = nullptr;  // one pointer per plane (one for packed formats)
  int frames = 0;
  AVSampleFormat format = AV_SAMPLE_FMT_NONE;
  const AVChannelLayout* layout = nullptr;
  int sampleRate = 0;
};

class AudioResampler {
 public:
  AudioResampler(int channels, int sampleRate) : channels_(channels), sampleRate_(sampleRate) {}
  ~AudioResampler();
  AudioResampler(const AudioResampler&) = delete;
  AudioResampler& operator=(const AudioResampler&) = delete;

  // Makes ready for blocks like `block`: false when libswresample cannot convert them.
  bool Prepare(const AudioBlock& block);
  // At most how many frames the next `frames` input frames produce.
  int OutputFramesFor(int frames) const;
  // Converts `frames` frames starting at frame `offset` of `block` into `target`, which
  // has room for `capacity` frames; the frames written, or -1.
  int Convert(const AudioBlock& block, int offset, int frames, int16_t* target, int capacity);
  // What the resampler still holds (rate conversion keeps a few frames); the frames written.
  int Flush(int16_t* target, int capacity);
  // Forgets what it holds.
  void Reset();

 private:
  const int channels_;
  const int sampleRate_;
  SwrContext* context_ = nullptr;
  AVSampleFormat inputFormat_ = AV_SAMPLE_FMT_NONE;
  AVChannelLayout inputLayout_{};
  int inputRate_ = 0;
};

}  // namespace kcm::ffdshow
