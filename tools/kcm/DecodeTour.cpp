// Tour step "decode": `kcm decode <file> [--md5] [--output raw.yuv]` reads a media file
// with libavformat, describes its video and audio streams to CDShowGraphDecode from the
// container's codec parameters and writes every packet into the graph. The host prints
// one MD5 per picture and per block of sound as `ffmpeg -f framemd5` does (--md5; video
// is stream 0, audio the next), writes the pictures as raw I420 and the sound as 16-bit
// interleaved PCM (--output), or prints a summary with the decoding speed. Without a file
// it decodes a test clip with sound that it writes itself (DecodeClip.h).
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/md5.h>
}

#include "DecodeClip.h"
#include "KestroDShowGraphTransform.h"
#include "KestroFFDshowConfigApi.h"
#include "Tour.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr AVRational kReferenceTimeBase = {1, 10000000};  // REFERENCE_TIME: 100 ns units
constexpr int kFFDShowVideoOutput = 17;                   // the parameter block holding the flip
constexpr int kUnchangedVolume = 100;                     // percent: the sound as decoded

// One decoded stream as the host handles it.
struct StreamOutput {
  const AVStream* stream = nullptr;
  int index = 0;  // its number in the --md5 lines: video 0, audio after it
  FILE* raw = nullptr;
  int64_t blocks = 0;   // output samples received: pictures, or blocks of sound
  int64_t samples = 0;  // sound: samples per channel received
  int64_t next = 0;     // sound: where the last block ended, in samples
  int64_t skip = 0;     // sound: samples still to drop, as the container asks
};

int Channels(const StreamOutput& output) { return output.stream->codecpar->ch_layout.nb_channels; }

// Prints one line as `ffmpeg -f framemd5` does: the MD5 of `chunks` taken as one.
void PrintMd5(int index, int64_t pts, int64_t duration, const BYTE* const chunks[], const size_t sizes[], int count) {
  AVMD5* md5 = av_md5_alloc();
  if (md5 == nullptr) return;
  av_md5_init(md5);
  size_t total = 0;
  for (int i = 0; i < count; ++i) {
    av_md5_update(md5, chunks[i], sizes[i]);
    total += sizes[i];
  }
  uint8_t digest[16];
  av_md5_final(md5, digest);
  av_free(md5);
  char text[33];
  for (int i = 0; i < 16; ++i) snprintf(text + 2 * i, 3, "%02x", digest[i]);
  printf("%d, %10" PRId64 ", %10" PRId64 ", %8" PRId64 ", %8zu, %s\n", index, pts, pts, duration, total, text);
}

// Receives the decoded samples on ffdshow's streaming threads: YV12 pictures and 16-bit
// PCM. When the filters are made it clears the library's default flip, so pictures come
// out top-down, and its default volume boost, so the sound is libavcodec's own.
class DecodeSink : public IDShowGraphTransformSink, public IDShowGraphTransformSink2 {
 public:
  DecodeSink(bool md5, StreamOutput* video, StreamOutput* audio) : md5_(md5), video_(video), audio_(audio) {}

  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long) override {
    return iid == IID_IDShowGraphTransformSink2 ? static_cast<IDShowGraphTransformSink2*>(this) : nullptr;
  }

  HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform*, int mediaKind, IMediaSample* sample,
                                                   tagKestroStreamType*) override {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data == nullptr) return S_OK;
    const size_t size = static_cast<size_t>(sample->GetActualDataLength());
    std::lock_guard<std::mutex> lock(mutex_);
    if (mediaKind == AMTYPE_Video && video_ != nullptr) handlePicture(data, size);
    if (mediaKind == AMTYPE_Audio && audio_ != nullptr) handleSound(sample, data, size);
    return S_OK;
  }

  // The container asks for the first `samples` of the sound to be dropped (an encoder's
  // priming): libavcodec drops them when a packet carries the request, the graph only
  // sees the packet's bytes, so the host drops them.
  void skipSound(int64_t samples) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (audio_ != nullptr) audio_->skip += samples;
  }

  HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform*, _AMTYPE at, tagKestroStreamType*,
                                                   IUnknown* ffdshowFilter, bool) override {
    if (at == AMTYPE_Audio) return kcm_setFFDShowFilterMasterVolume(ffdshowFilter, kUnchangedVolume);
    FFDShowFilterParam param;
    kcm_getFFDShowFilterParam(ffdshowFilter, AMTYPE_Video, kFFDShowVideoOutput, &param);
    param.video.flip = 0;
    return kcm_setFFDShowFilterParam(ffdshowFilter, AMTYPE_Video, kFFDShowVideoOutput, &param);
  }

 private:
  // YV12 keeps V before U; the pictures leave in I420 order (Y, U, V) like yuv420p.
  void handlePicture(const BYTE* data, size_t size) {
    const AVCodecParameters& codec = *video_->stream->codecpar;
    const size_t lumaSize = static_cast<size_t>(codec.width) * codec.height;
    const size_t chromaSize = static_cast<size_t>((codec.width + 1) / 2) * ((codec.height + 1) / 2);
    if (size < lumaSize + 2 * chromaSize) {
      fprintf(stderr, "kcm decode: picture %" PRId64 " has %zu bytes, want %zu\n", video_->blocks, size,
              lumaSize + 2 * chromaSize);
      return;
    }
    const BYTE* planes[3] = {data, data + lumaSize + chromaSize, data + lumaSize};
    const size_t sizes[3] = {lumaSize, chromaSize, chromaSize};
    if (md5_) PrintMd5(video_->index, video_->blocks, 1, planes, sizes, 3);
    if (video_->raw != nullptr) {
      for (int plane = 0; plane < 3; ++plane) fwrite(planes[plane], 1, sizes[plane], video_->raw);
    }
    ++video_->blocks;
  }

  // Interleaved 16-bit samples. The sound starts at the time its first sample carries and
  // runs on without gaps, as ffmpeg counts it.
  void handleSound(IMediaSample* sample, const BYTE* data, size_t size) {
    const int rate = audio_->stream->codecpar->sample_rate;
    const size_t blockAlign = 2 * static_cast<size_t>(Channels(*audio_));
    int64_t samples = static_cast<int64_t>(size / blockAlign);
    REFERENCE_TIME start = 0;
    REFERENCE_TIME end = 0;
    int64_t pts = audio_->next;
    if (audio_->blocks == 0 && SUCCEEDED(sample->GetTime(&start, &end))) {
      pts = av_rescale_q(start, kReferenceTimeBase, AVRational{1, rate});
    }
    const int64_t priming = std::min(audio_->skip, samples);
    audio_->skip -= priming;
    data += priming * blockAlign;
    samples -= priming;
    pts += priming;
    size = static_cast<size_t>(samples) * blockAlign;
    if (samples == 0) return;
    if (md5_) PrintMd5(audio_->index, pts, samples, &data, &size, 1);
    if (audio_->raw != nullptr) fwrite(data, 1, size, audio_->raw);
    audio_->next = pts + samples;
    audio_->samples += samples;
    ++audio_->blocks;
  }

  const bool md5_;
  StreamOutput* const video_;
  StreamOutput* const audio_;
  std::mutex mutex_;
};

// The graph's name for the container's coding, 0 when the decoders do not take it.
uint32_t FourCCOf(AVCodecID codec) {
  switch (codec) {
    case AV_CODEC_ID_H264:
      return Kestro::makeFourCC("h264");
    case AV_CODEC_ID_MPEG4:
      return Kestro::makeFourCC("mp4v");
    case AV_CODEC_ID_AAC:
      return Kestro::makeFourCC("mp4a");
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3:
      return Kestro::makeFourCC("mpga");  // the decoder tells the layer from the first frame
    default:
      return 0;
  }
}

REFERENCE_TIME ToReferenceTime(int64_t value, AVRational timeBase) {
  return value == AV_NOPTS_VALUE ? -1 : av_rescale_q(value, timeBase, kReferenceTimeBase);
}

// The coding and the codec private data of a stream record; false, said why, when the
// graph cannot take them.
bool DescribeCoding(const AVCodecParameters& codec, _AMTYPE kind, tagKestroStreamType* record) {
  record->fourCC = FourCCOf(codec.codec_id);
  if (record->fourCC == 0) {
    fprintf(stderr, "kcm decode: the %s coding %s is not one the decoder takes (%s); stream left out\n",
            av_get_media_type_string(codec.codec_type), avcodec_get_name(codec.codec_id),
            kind == AMTYPE_Video ? "h264, mpeg4" : "aac, mp1, mp2, mp3");
    return false;
  }
  if (codec.extradata_size >= static_cast<int>(sizeof(record->extraData))) {
    fprintf(stderr, "kcm decode: %d bytes of codec private data, at most %zu fit; stream left out\n",
            codec.extradata_size, sizeof(record->extraData) - 1);
    return false;
  }
  record->mediaKind = kind;
  record->valid = 1;
  record->extraDataSize = static_cast<uint32_t>(std::max(codec.extradata_size, 0));
  if (record->extraDataSize > 0) memcpy(record->extraData, codec.extradata, record->extraDataSize);
  return true;
}

bool DescribeVideo(const AVStream& stream, tagKestroStreamType* video) {
  const AVCodecParameters& codec = *stream.codecpar;
  if (!DescribeCoding(codec, AMTYPE_Video, video)) return false;
  const AVRational rate = stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : AVRational{25, 1};
  video->videoInfo.AvgTimePerFrame = av_rescale_q(1, av_inv_q(rate), kReferenceTimeBase);
  BITMAPINFOHEADER& header = video->videoInfo.bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = codec.width;
  header.biHeight = codec.height;
  header.biCompression = video->fourCC;
  return true;
}

// The record's wave format is what the decoder delivers: 16-bit PCM of the stream's
// channels and rate.
bool DescribeAudio(const AVStream& stream, tagKestroStreamType* audio) {
  const AVCodecParameters& codec = *stream.codecpar;
  if (codec.ch_layout.nb_channels <= 0 || codec.sample_rate <= 0) {
    fprintf(stderr, "kcm decode: the audio stream names no channels or rate; stream left out\n");
    return false;
  }
  if (!DescribeCoding(codec, AMTYPE_Audio, audio)) return false;
  WAVEFORMATEX& format = audio->waveFormat;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<WORD>(codec.ch_layout.nb_channels);
  format.nSamplesPerSec = static_cast<DWORD>(codec.sample_rate);
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(2 * format.nChannels);
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  return true;
}

AVRational FrameRate(const AVStream& stream) {
  return stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : AVRational{25, 1};
}

void PrintMd5Header(const StreamOutput* video, const StreamOutput* audio) {
  printf("#format: frame checksums\n#version: 2\n#hash: MD5\n");
  if (video != nullptr) {
    const AVCodecParameters& codec = *video->stream->codecpar;
    const AVRational rate = FrameRate(*video->stream);
    printf("#tb %d: %d/%d\n#media_type %d: video\n#codec_id %d: rawvideo\n#dimensions %d: %dx%d\n#sar %d: %d/%d\n",
           video->index, rate.den, rate.num, video->index, video->index, video->index, codec.width, codec.height,
           video->index, std::max(codec.sample_aspect_ratio.num, 1), std::max(codec.sample_aspect_ratio.den, 1));
  }
  if (audio != nullptr) {
    const AVCodecParameters& codec = *audio->stream->codecpar;
    char layout[64] = "";
    av_channel_layout_describe(&codec.ch_layout, layout, sizeof(layout));
    printf("#tb %d: 1/%d\n#media_type %d: audio\n#codec_id %d: pcm_s16le\n#sample_rate %d: %d\n"
           "#channel_layout_name %d: %s\n",
           audio->index, codec.sample_rate, audio->index, audio->index, audio->index, codec.sample_rate, audio->index,
           layout);
  }
  printf("#stream#, dts,        pts, duration,     size, hash\n");
}

// Writes every packet of the two streams into the graph; false on a write it refused.
bool WritePackets(AVFormatContext* container, const StreamOutput* video, const StreamOutput* audio,
                  CDShowGraphDecode& graph, DecodeSink& sink) {
  AVPacket* packet = av_packet_alloc();
  bool ok = packet != nullptr;
  while (ok && av_read_frame(container, packet) >= 0) {
    const StreamOutput* output = nullptr;
    if (video != nullptr && packet->stream_index == video->stream->index) output = video;
    if (audio != nullptr && packet->stream_index == audio->stream->index) output = audio;
    if (output != nullptr && output == audio) {
      size_t size = 0;
      const uint8_t* skip = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
      if (skip != nullptr && size >= 4) sink.skipSound(AV_RL32(skip));
    }
    if (output != nullptr) {
      const AVRational timeBase = output->stream->time_base;
      const REFERENCE_TIME start = ToReferenceTime(packet->pts, timeBase);
      const REFERENCE_TIME end = start < 0 ? -1 : start + ToReferenceTime(packet->duration, timeBase);
      const HRESULT hr = graph.write(output == video ? AMTYPE_Video : AMTYPE_Audio, start, end, packet->data,
                                     static_cast<unsigned long>(packet->size));
      if (FAILED(hr)) fprintf(stderr, "kcm decode: write refused: 0x%08x\n", static_cast<unsigned>(hr));
      ok = SUCCEEDED(hr);
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  return ok;
}

void PrintSummary(const StreamOutput* video, const StreamOutput* audio, double seconds) {
  if (video != nullptr) {
    const AVCodecParameters& codec = *video->stream->codecpar;
    printf("   %s %dx%d: %" PRId64 " pictures in %.2f s, %.0f fps\n", avcodec_get_name(codec.codec_id), codec.width,
           codec.height, video->blocks, seconds, seconds > 0 ? static_cast<double>(video->blocks) / seconds : 0.0);
  }
  if (audio != nullptr) {
    const AVCodecParameters& codec = *audio->stream->codecpar;
    printf("   %s %d Hz, %d channels: %" PRId64 " samples (%.2f s of sound) in %" PRId64 " frames\n",
           avcodec_get_name(codec.codec_id), codec.sample_rate, Channels(*audio), audio->samples,
           static_cast<double>(audio->samples) / codec.sample_rate, audio->blocks);
  }
}

bool DecodeStreams(AVFormatContext* container, tagKestroProgramType& program, StreamOutput* video,
                   StreamOutput* audio, bool md5) {
  if (md5) PrintMd5Header(video, audio);
  DecodeSink sink(md5, video, audio);
  CDShowGraphDecode graph;
  graph.init(&sink);
  const Clock::time_point begin = Clock::now();
  if (FAILED(graph.open(program))) return false;
  const bool written = WritePackets(container, video, audio, graph, sink);
  graph.close();  // what the decoders still hold comes out here
  const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  if (!md5) PrintSummary(video, audio, seconds);
  return written && (video == nullptr || video->blocks > 0) && (audio == nullptr || audio->samples > 0);
}

// Raw output: pictures to `path`; the sound beside them in `path`.pcm, or in `path` itself
// when there are no pictures.
bool OpenRawFiles(const std::string& path, StreamOutput* video, StreamOutput* audio) {
  if (path.empty()) return true;
  const std::string soundPath = video != nullptr ? path + ".pcm" : path;
  if (video != nullptr && (video->raw = fopen(path.c_str(), "wb")) == nullptr) {
    fprintf(stderr, "kcm decode: cannot write %s\n", path.c_str());
    return false;
  }
  if (audio != nullptr && (audio->raw = fopen(soundPath.c_str(), "wb")) == nullptr) {
    fprintf(stderr, "kcm decode: cannot write %s\n", soundPath.c_str());
    return false;
  }
  return true;
}

bool DecodeContainer(AVFormatContext* container, const std::string& path, bool md5, const std::string& rawPath) {
  tagKestroProgramType program;
  memset(&program, 0, sizeof(program));
  StreamOutput videoOutput;
  StreamOutput audioOutput;
  StreamOutput* video = nullptr;
  StreamOutput* audio = nullptr;
  const int videoIndex = av_find_best_stream(container, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (videoIndex >= 0 && DescribeVideo(*container->streams[videoIndex], &program.video)) {
    video = &videoOutput;
    video->stream = container->streams[videoIndex];
  }
  const int audioIndex = av_find_best_stream(container, AVMEDIA_TYPE_AUDIO, -1, videoIndex, nullptr, 0);
  if (audioIndex >= 0 && DescribeAudio(*container->streams[audioIndex], &program.audio)) {
    audio = &audioOutput;
    audio->stream = container->streams[audioIndex];
    audio->index = video != nullptr ? 1 : 0;
  }
  if (video == nullptr && audio == nullptr) {
    fprintf(stderr, "kcm decode: %s has no stream the decoders take\n", path.c_str());
    return false;
  }
  bool ok = OpenRawFiles(rawPath, video, audio) && DecodeStreams(container, program, video, audio, md5);
  for (StreamOutput* output : {video, audio}) {
    if (output != nullptr && output->raw != nullptr) fclose(output->raw);
  }
  return ok;
}

bool DecodeFile(const std::string& path, bool md5, const std::string& rawPath) {
  AVFormatContext* container = nullptr;
  if (avformat_open_input(&container, path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(container, nullptr) < 0) {
    fprintf(stderr, "kcm decode: cannot read %s\n", path.c_str());
    avformat_close_input(&container);
    return false;
  }
  const bool ok = DecodeContainer(container, path, md5, rawPath);
  avformat_close_input(&container);
  return ok;
}

bool DecodeGeneratedClip() {
  char path[] = "/tmp/kcm-decode-XXXXXX.mp4";
  const int descriptor = mkstemps(path, 4);
  if (descriptor < 0) return false;
  close(descriptor);
  DecodeClipInfo clip;
  const bool written = WriteDecodeClip(path, &clip);
  if (written) {
    printf("   generated %s: mpeg4 %dx%d, %d frames", path, clip.width, clip.height, clip.frames);
    if (clip.audioCoding != nullptr) {
      printf("; %s %d Hz, %d channels", clip.audioCoding, clip.sampleRate, clip.channels);
    }
    printf("\n");
  }
  const bool ok = written && DecodeFile(path, false, "");
  unlink(path);
  return ok;
}

bool RunDecode() {
  const std::vector<std::string>& arguments = Options().arguments;
  if (arguments.size() > 1) {
    fprintf(stderr, "kcm decode: one file at most, got %zu arguments\n", arguments.size());
    return false;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return false;
  const bool ok = arguments.empty() ? DecodeGeneratedClip() : DecodeFile(arguments[0], Options().md5, Options().output);
  CoUninitialize();
  return ok;
}

}  // namespace

std::vector<TourStep> DecodeTour() {
  TourStep decode{"decode",
                  "decode a media file's video and audio through ffdshow graphs: "
                  "decode [file] [--md5] [-o raw.yuv (+ raw.yuv.pcm)]",
                  RunDecode};
  decode.takesArguments = true;
  return {decode};
}
