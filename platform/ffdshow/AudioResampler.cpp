#include "AudioResampler.h"

extern "C" {
#include <libswresample/swresample.h>
}

namespace kcm::ffdshow {

AudioResampler::~AudioResampler() {
  swr_free(&context_);
  av_channel_layout_uninit(&inputLayout_);
}

bool AudioResampler::Prepare(const AudioBlock& block) {
  if (context_ != nullptr && block.format == inputFormat_ && block.sampleRate == inputRate_ &&
      av_channel_layout_compare(block.layout, &inputLayout_) == 0) {
    return true;
  }
  swr_free(&context_);
  av_channel_layout_uninit(&inputLayout_);
  AVChannelLayout outputLayout{};
  av_channel_layout_default(&outputLayout, channels_);
  const int made = swr_alloc_set_opts2(&context_, &outputLayout, AV_SAMPLE_FMT_S16, sampleRate_, const_cast<AVChannelLayout*>(block.layout),
                                       block.format, block.sampleRate, 0, nullptr);
  av_channel_layout_uninit(&outputLayout);
  if (made < 0 || swr_init(context_) < 0) {
    swr_free(&context_);
    return false;
  }
  inputFormat_ = block.format;
  inputRate_ = block.sampleRate;
  av_channel_layout_copy(&inputLayout_, block.layout);
  return true;
}

int AudioResampler::OutputFramesFor(int frames) const {
  return context_ == nullptr ? 0 : swr_get_out_samples(context_, frames);
}

int AudioResampler::Convert(const AudioBlock& block, int offset, int frames, int16_t* target, int capacity) {
  if (context_ == nullptr) return -1;
  const uint8_t* planes[AV_NUM_DATA_POINTERS] = {};
  const bool planar = av_sample_fmt_is_planar(block.format) != 0;
  const int planeCount = planar ? block.layout->nb_channels : 1;
  const int step = av_get_bytes_per_sample(block.format) * (planar ? 1 : block.layout->nb_channels);
  for (int plane = 0; plane < planeCount && plane < AV_NUM_DATA_POINTERS; ++plane) {
    planes[plane] = block.data[plane] + static_cast<ptrdiff_t>(offset) * step;
  }
  uint8_t* output[1] = {reinterpret_cast<uint8_t*>(target)};
  return swr_convert(context_, output, capacity, planes, frames);
}

int AudioResampler::Flush(int16_t* target, int capacity) {
  if (context_ == nullptr) return 0;
  uint8_t* output[1] = {reinterpret_cast<uint8_t*>(target)};
  const int written = swr_convert(context_, output, capacity, nullptr, 0);
  return written < 0 ? 0 : written;
}

void AudioResampler::Reset() { swr_free(&context_); }

}  // namespace kcm::ffdshow
