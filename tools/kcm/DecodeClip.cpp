#include "DecodeClip.h"

#include <math.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFrames = 50;  // 2 s at 25 fps
constexpr int kSampleRate = 48000;
constexpr int kChannels = 2;

// A moving diagonal gradient with drifting colour.
void DrawTestPattern(AVFrame* frame, int index) {
  for (int y = 0; y < frame->height; ++y) {
    uint8_t* row = frame->data[0] + y * frame->linesize[0];
    for (int x = 0; x < frame->width; ++x) row[x] = static_cast<uint8_t>(x + y + 3 * index);
  }
  for (int y = 0; y < frame->height / 2; ++y) {
    for (int x = 0; x < frame->width / 2; ++x) {
      frame->data[1][y * frame->linesize[1] + x] = static_cast<uint8_t>(128 + y + 2 * index);
      frame->data[2][y * frame->linesize[2] + x] = static_cast<uint8_t>(64 + x + 5 * index);
    }
  }
}

// A 440 Hz tone on the left, 660 Hz on the right, from sample `first` on.
void DrawTone(AVFrame* frame, int64_t first) {
  for (int i = 0; i < frame->nb_samples; ++i) {
    const double t = static_cast<double>(first + i) / kSampleRate;
    const double values[kChannels] = {0.4 * sin(2 * M_PI * 440 * t), 0.3 * sin(2 * M_PI * 660 * t)};
    for (int channel = 0; channel < kChannels; ++channel) {
      if (frame->format == AV_SAMPLE_FMT_FLTP) {
        reinterpret_cast<float*>(frame->data[channel])[i] = static_cast<float>(values[channel]);
      } else {  // AV_SAMPLE_FMT_S16, interleaved
        auto* interleaved = reinterpret_cast<int16_t*>(frame->data[0]);
        interleaved[i * kChannels + channel] = static_cast<int16_t>(values[channel] * 32767);
      }
    }
  }
}

// One encoder writing into one stream of the container.
struct Track {
  AVCodecContext* encoder = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = nullptr;
  int64_t next = 0;  // pictures, or samples, sent so far

  ~Track() {
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
  }
};

// Moves every packet the encoder has ready into the container.
bool Drain(Track& track, AVFormatContext* container, AVPacket* packet) {
  int result = 0;
  while ((result = avcodec_receive_packet(track.encoder, packet)) >= 0) {
    av_packet_rescale_ts(packet, track.encoder->time_base, track.stream->time_base);
    packet->stream_index = track.stream->index;
    if (av_interleaved_write_frame(container, packet) < 0) return false;
  }
  return result == AVERROR(EAGAIN) || result == AVERROR_EOF;
}

// The encoder opened, its stream added and its frame allocated.
bool OpenTrack(AVFormatContext* container, const AVCodec* codec, void (*configure)(AVCodecContext*), Track* track) {
  track->encoder = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
  if (track->encoder == nullptr) return false;
  configure(track->encoder);
  if (container->oformat->flags & AVFMT_GLOBALHEADER) track->encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(track->encoder, codec, nullptr) < 0) return false;
  track->stream = avformat_new_stream(container, nullptr);
  track->frame = av_frame_alloc();
  if (track->stream == nullptr || track->frame == nullptr) return false;
  if (avcodec_parameters_from_context(track->stream->codecpar, track->encoder) < 0) return false;
  track->stream->time_base = track->encoder->time_base;
  AVFrame* frame = track->frame;
  const AVCodecContext* encoder = track->encoder;
  if (encoder->codec_type == AVMEDIA_TYPE_VIDEO) {
    track->stream->avg_frame_rate = encoder->framerate;
    frame->format = encoder->pix_fmt;
    frame->width = encoder->width;
    frame->height = encoder->height;
  } else {
    frame->format = encoder->sample_fmt;
    frame->sample_rate = encoder->sample_rate;
    frame->nb_samples = encoder->frame_size;
    if (av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout) < 0) return false;
  }
  return av_frame_get_buffer(frame, 0) >= 0;
}

void ConfigureVideo(AVCodecContext* encoder) {
  encoder->width = kWidth;
  encoder->height = kHeight;
  encoder->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder->time_base = {1, 25};
  encoder->framerate = {25, 1};
  encoder->gop_size = 12;
  encoder->bit_rate = 800000;
}

void ConfigureAudio(AVCodecContext* encoder) {
  encoder->sample_fmt = encoder->codec->sample_fmts != nullptr ? encoder->codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  encoder->sample_rate = kSampleRate;
  encoder->time_base = {1, kSampleRate};
  encoder->bit_rate = 128000;
  av_channel_layout_default(&encoder->ch_layout, kChannels);
}

const AVCodec* AudioEncoder() {
  const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
  return aac != nullptr ? aac : avcodec_find_encoder(AV_CODEC_ID_MP2);
}

bool SendPicture(Track& video, AVFormatContext* container, AVPacket* packet) {
  if (av_frame_make_writable(video.frame) < 0) return false;
  DrawTestPattern(video.frame, static_cast<int>(video.next));
  video.frame->pts = video.next++;
  return avcodec_send_frame(video.encoder, video.frame) >= 0 && Drain(video, container, packet);
}

// Audio up to the end of the pictures sent so far, so the muxer interleaves as it goes.
bool SendSoundUpTo(Track& audio, int64_t pictures, AVFormatContext* container, AVPacket* packet) {
  const int64_t until = pictures * kSampleRate / 25;
  while (audio.next < until) {
    if (av_frame_make_writable(audio.frame) < 0) return false;
    DrawTone(audio.frame, audio.next);
    audio.frame->pts = audio.next;
    audio.next += audio.frame->nb_samples;
    if (avcodec_send_frame(audio.encoder, audio.frame) < 0 || !Drain(audio, container, packet)) return false;
  }
  return true;
}

bool Finish(Track& track, AVFormatContext* container, AVPacket* packet) {
  return track.encoder == nullptr ||
         (avcodec_send_frame(track.encoder, nullptr) >= 0 && Drain(track, container, packet));
}

bool EncodeTracks(Track& video, Track& audio, AVFormatContext* container) {
  AVPacket* packet = av_packet_alloc();
  bool ok = packet != nullptr;
  while (ok && video.next < kFrames) {
    ok = SendPicture(video, container, packet) &&
         (audio.encoder == nullptr || SendSoundUpTo(audio, video.next, container, packet));
  }
  ok = ok && Finish(video, container, packet) && Finish(audio, container, packet);
  av_packet_free(&packet);
  return ok;
}

}  // namespace

bool WriteDecodeClip(const std::string& path, DecodeClipInfo* info) {
  AVFormatContext* container = nullptr;
  if (avformat_alloc_output_context2(&container, nullptr, "mp4", path.c_str()) < 0) return false;
  const int logLevel = av_log_get_level();
  av_log_set_level(AV_LOG_WARNING);  // the encoders' closing statistics are not for the user
  bool ok = false;
  {
    Track video;
    Track audio;
    ok = OpenTrack(container, avcodec_find_encoder(AV_CODEC_ID_MPEG4), ConfigureVideo, &video);
    const AVCodec* audioCodec = AudioEncoder();
    if (ok && audioCodec != nullptr && !OpenTrack(container, audioCodec, ConfigureAudio, &audio)) {
      ok = false;
    }
    ok = ok && avio_open(&container->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(container, nullptr) >= 0 && EncodeTracks(video, audio, container) &&
         av_write_trailer(container) >= 0;
    *info = DecodeClipInfo{kWidth, kHeight, kFrames, audio.encoder != nullptr ? audioCodec->name : nullptr,
                           kSampleRate, kChannels};
  }
  if (container->pb != nullptr) avio_closep(&container->pb);
  avformat_free_context(container);
  av_log_set_level(logLevel);
  return ok;
}
