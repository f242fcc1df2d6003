#include "TestStreams.h"

#include <string.h>

#include <cmath>
#include <memory>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/md5.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
}

#include "dvdmedia.h"
#include "mmreg.h"
#include "uuids.h"

namespace kcm_test {

namespace {

constexpr REFERENCE_TIME kUnits = 10000000;

struct ContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using ContextPtr = std::unique_ptr<AVCodecContext, ContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

void PaintPicture(AVFrame* frame, int index) {
  av_frame_make_writable(frame);
  for (int y = 0; y < frame->height; ++y) {
    for (int x = 0; x < frame->width; ++x) {
      const bool box = x >= index * 3 % frame->width && x < index * 3 % frame->width + 24 && y >= 16 && y < 48;
      frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(box ? 235 : (x + y + index * 2) & 0xFF);
    }
  }
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
  const int chromaHeight = AV_CEIL_RSHIFT(frame->height, descriptor->log2_chroma_h);
  const int chromaWidth = AV_CEIL_RSHIFT(frame->width, descriptor->log2_chroma_w);
  for (int y = 0; y < chromaHeight; ++y) {
    for (int x = 0; x < chromaWidth; ++x) {
      frame->data[1][y * frame->linesize[1] + x] = static_cast<uint8_t>(128 + ((x + index) % 64) - 32);
      frame->data[2][y * frame->linesize[2] + x] = static_cast<uint8_t>(128 + ((y * 2 + index) % 64) - 32);
    }
  }
}

// Takes every packet the encoder has ready, times converted from `timeBase`.
void CollectPackets(AVCodecContext* context, AVPacket* packet, AVRational timeBase, EncodedStream* stream) {
  while (avcodec_receive_packet(context, packet) == 0) {
    EncodedPacket encoded;
    encoded.bytes.assign(packet->data, packet->data + packet->size);
    // One second later than the encoder says, so that priming packets keep positive times.
    const REFERENCE_TIME offset = stream->channels > 0 ? kUnits : 0;
    encoded.start = offset + av_rescale_q(packet->pts, timeBase, AVRational{1, kUnits});
    encoded.end = encoded.start + av_rescale_q(packet->duration, timeBase, AVRational{1, kUnits});
    stream->packets.push_back(std::move(encoded));
    av_packet_unref(packet);
  }
}

void Encode(AVCodecContext* context, AVFrame* frame, AVRational timeBase, EncodedStream* stream) {
  PacketPtr packet(av_packet_alloc());
  avcodec_send_frame(context, frame);
  CollectPackets(context, packet.get(), timeBase, stream);
}

void KeepExtraData(const AVCodecContext* context, EncodedStream* stream) {
  if (context->extradata_size > 0) {
    stream->extraData.assign(context->extradata, context->extradata + context->extradata_size);
  }
}

// Sends every packet to a fresh decoder of the stream's codec and hands out each frame.
template <class OnFrame>
void DecodeAll(const EncodedStream& stream, OnFrame onFrame) {
  const AVCodec* codec = avcodec_find_decoder(stream.codec);
  ContextPtr context(avcodec_alloc_context3(codec));
  if (!stream.extraData.empty()) {
    context->extradata = static_cast<uint8_t*>(av_mallocz(stream.extraData.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    memcpy(context->extradata, stream.extraData.data(), stream.extraData.size());
    context->extradata_size = static_cast<int>(stream.extraData.size());
  }
  context->pkt_timebase = AVRational{1, kUnits};
  context->width = stream.width;
  context->height = stream.height;
  if (stream.channels > 0) {
    av_channel_layout_default(&context->ch_layout, stream.channels);
    context->sample_rate = stream.sampleRate;
  }
  context->thread_count = 1;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return;
  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  auto receive = [&] {
    while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
      onFrame(frame.get());
      av_frame_unref(frame.get());
    }
  };
  for (const EncodedPacket& encoded : stream.packets) {
    av_new_packet(packet.get(), static_cast<int>(encoded.bytes.size()));
    memcpy(packet->data, encoded.bytes.data(), encoded.bytes.size());
    packet->pts = encoded.start;
    packet->duration = encoded.end - encoded.start;
    avcodec_send_packet(context.get(), packet.get());
    av_packet_unref(packet.get());
    receive();
  }
  avcodec_send_packet(context.get(), nullptr);
  receive();
}

}  // namespace

EncodedStream EncodeVideo(const char* encoderName, int width, int height, int frames, int bFrames,
                          AVPixelFormat format) {
  EncodedStream stream;
  const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
  if (encoder == nullptr) return stream;
  const AVRational timeBase{1, 25};
  ContextPtr context(avcodec_alloc_context3(encoder));
  context->width = width;
  context->height = height;
  context->pix_fmt = format;
  context->time_base = timeBase;
  context->framerate = AVRational{25, 1};
  context->gop_size = 12;
  context->max_b_frames = bFrames;
  context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  context->thread_count = 1;
  if (strcmp(encoderName, "libx264") == 0) {
    av_opt_set(context->priv_data, "preset", "superfast", 0);
    av_opt_set(context->priv_data, "x264-params", "log=-1", 0);
  }
  if (avcodec_open2(context.get(), encoder, nullptr) < 0) return stream;
  stream.codec = encoder->id;
  stream.width = width;
  stream.height = height;
  KeepExtraData(context.get(), &stream);
  FramePtr frame(av_frame_alloc());
  frame->format = format;
  frame->width = width;
  frame->height = height;
  av_frame_get_buffer(frame.get(), 0);
  for (int index = 0; index < frames; ++index) {
    PaintPicture(frame.get(), index);
    frame->pts = index;
    Encode(context.get(), frame.get(), timeBase, &stream);
  }
  Encode(context.get(), nullptr, timeBase, &stream);
  return stream;
}

EncodedStream EncodeAudio(const char* encoderName, int channels, int sampleRate, int milliseconds) {
  EncodedStream stream;
  const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
  if (encoder == nullptr || encoder->sample_fmts == nullptr) return stream;
  const AVRational timeBase{1, sampleRate};
  ContextPtr context(avcodec_alloc_context3(encoder));
  context->sample_fmt = encoder->sample_fmts[0];
  context->sample_rate = sampleRate;
  av_channel_layout_default(&context->ch_layout, channels);
  context->bit_rate = 128000;
  context->time_base = timeBase;
  context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(context.get(), encoder, nullptr) < 0) return stream;
  stream.codec = encoder->id;
  stream.channels = channels;  // before the first packet: it marks the stream as audio
  stream.sampleRate = sampleRate;
  KeepExtraData(context.get(), &stream);
  FramePtr frame(av_frame_alloc());
  frame->format = context->sample_fmt;
  frame->nb_samples = context->frame_size > 0 ? context->frame_size : 1024;
  frame->sample_rate = sampleRate;
  av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
  av_frame_get_buffer(frame.get(), 0);
  const int total = sampleRate * milliseconds / 1000;
  for (int first = 0; first < total; first += frame->nb_samples) {
    av_frame_make_writable(frame.get());
    for (int index = 0; index < frame->nb_samples; ++index) {
      const double t = static_cast<double>(first + index) / sampleRate;
      for (int channel = 0; channel < channels; ++channel) {
        const double value = 0.4 * std::sin(2 * M_PI * (440.0 + 220.0 * channel) * t);
        if (context->sample_fmt == AV_SAMPLE_FMT_FLTP) {
          reinterpret_cast<float*>(frame->data[channel])[index] = static_cast<float>(value);
        } else if (context->sample_fmt == AV_SAMPLE_FMT_S16P) {
          reinterpret_cast<int16_t*>(frame->data[channel])[index] = static_cast<int16_t>(value * 32767);
        } else if (context->sample_fmt == AV_SAMPLE_FMT_S16) {
          reinterpret_cast<int16_t*>(frame->data[0])[index * channels + channel] = static_cast<int16_t>(value * 32767);
        } else if (context->sample_fmt == AV_SAMPLE_FMT_S32P) {
          reinterpret_cast<int32_t*>(frame->data[channel])[index] = static_cast<int32_t>(value * 2147483647.0);
        }
      }
    }
    frame->pts = first;
    Encode(context.get(), frame.get(), timeBase, &stream);
  }
  Encode(context.get(), nullptr, timeBase, &stream);
  return stream;
}

std::string PlanesMd5(AVPixelFormat format, int width, int height, const uint8_t* const data[4], const int linesize[4]) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  AVMD5* md5 = av_md5_alloc();
  av_md5_init(md5);
  for (int plane = 0; plane < av_pix_fmt_count_planes(format); ++plane) {
    const bool chroma = plane == 1 || plane == 2;
    const int rows = chroma ? AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h) : height;
    const int bytes = av_image_get_linesize(format, width, plane);
    for (int row = 0; row < rows; ++row) av_md5_update(md5, data[plane] + row * linesize[plane], bytes);
  }
  uint8_t digest[16];
  av_md5_final(md5, digest);
  av_free(md5);
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

std::vector<DecodedPicture> ReferenceDecodeVideo(const EncodedStream& stream) {
  std::vector<DecodedPicture> pictures;
  DecodeAll(stream, [&](const AVFrame* frame) {
    DecodedPicture picture;
    picture.md5 = PlanesMd5(static_cast<AVPixelFormat>(frame->format), frame->width, frame->height, frame->data,
                            frame->linesize);
    picture.start = frame->pts;
    pictures.push_back(picture);
  });
  return pictures;
}

std::vector<int16_t> ReferenceDecodeAudio(const EncodedStream& stream) {
  std::vector<int16_t> samples;
  SwrContext* resampler = nullptr;
  DecodeAll(stream, [&](const AVFrame* frame) {
    if (resampler == nullptr) {
      AVChannelLayout layout{};
      av_channel_layout_default(&layout, stream.channels);
      swr_alloc_set_opts2(&resampler, &layout, AV_SAMPLE_FMT_S16, stream.sampleRate,
                          const_cast<AVChannelLayout*>(&frame->ch_layout), static_cast<AVSampleFormat>(frame->format),
                          frame->sample_rate, 0, nullptr);
      swr_init(resampler);
    }
    const size_t first = samples.size();
    samples.resize(first + static_cast<size_t>(frame->nb_samples) * stream.channels);
    uint8_t* output[1] = {reinterpret_cast<uint8_t*>(samples.data() + first)};
    const int written = swr_convert(resampler, output, frame->nb_samples,
                                    const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    samples.resize(first + static_cast<size_t>(written > 0 ? written : 0) * stream.channels);
  });
  swr_free(&resampler);
  return samples;
}

REFERENCE_TIME ReferenceFirstAudioTime(const EncodedStream& stream) {
  REFERENCE_TIME first = -1;
  DecodeAll(stream, [&](const AVFrame* frame) {
    if (first == -1) first = frame->pts;
  });
  return first;
}

CMediaType CompressedVideoType(const GUID& subtype, DWORD biCompression, int width, int height,
                               const std::vector<uint8_t>& extraData, REFERENCE_TIME avgTimePerFrame) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&subtype);
  type.SetFormatType(&FORMAT_MPEG2Video);
  type.SetTemporalCompression(TRUE);
  type.SetVariableSize();
  const ULONG size = static_cast<ULONG>(sizeof(MPEG2VIDEOINFO) + extraData.size());
  BYTE* block = type.AllocFormatBuffer(size);
  memset(block, 0, size);
  auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(block);
  info->hdr.AvgTimePerFrame = avgTimePerFrame;
  info->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->hdr.bmiHeader.biWidth = width;
  info->hdr.bmiHeader.biHeight = height;
  info->hdr.bmiHeader.biCompression = biCompression;
  info->cbSequenceHeader = static_cast<DWORD>(extraData.size());
  if (!extraData.empty()) memcpy(block + offsetof(MPEG2VIDEOINFO, dwSequenceHeader), extraData.data(), extraData.size());
  return type;
}

CMediaType AudioType(const GUID& subtype, int channels, int sampleRate, int bitsPerSample,
                     const std::vector<uint8_t>& extraData) {
  CMediaType type(&MEDIATYPE_Audio);
  type.SetSubtype(&subtype);
  type.SetFormatType(&FORMAT_WaveFormatEx);
  const ULONG size = static_cast<ULONG>(sizeof(WAVEFORMATEX) + extraData.size());
  BYTE* block = type.AllocFormatBuffer(size);
  auto* wave = reinterpret_cast<WAVEFORMATEX*>(block);
  wave->wFormatTag = WAVE_FORMAT_PCM;  // as the sample source filter writes it for every coding
  wave->nChannels = static_cast<WORD>(channels);
  wave->nSamplesPerSec = static_cast<DWORD>(sampleRate);
  wave->wBitsPerSample = static_cast<WORD>(bitsPerSample);
  wave->nBlockAlign = static_cast<WORD>(bitsPerSample / 8 * channels);
  wave->nAvgBytesPerSec = wave->nBlockAlign * wave->nSamplesPerSec;
  wave->cbSize = static_cast<WORD>(extraData.size());
  if (!extraData.empty()) memcpy(block + sizeof(WAVEFORMATEX), extraData.data(), extraData.size());
  return type;
}

}  // namespace kcm_test
