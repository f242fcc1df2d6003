// Tour step "decode": `kcm decode <file> [--md5] [--output raw.yuv]` reads a media file
// with libavformat, describes its video stream to CDShowGraphDecode from the container's
// codec parameters and writes every packet into the graph. The host prints one MD5 per
// picture as `ffmpeg -f framemd5` does (--md5), writes the pictures as raw I420 (--output)
// or prints a summary with the decoding speed. Without a file it encodes a short test clip
// with libavcodec, muxes it into a temporary MP4 and decodes that.
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
#include <libavutil/md5.h>
}

#include "KestroDShowGraphTransform.h"
#include "KestroFFDshowConfigApi.h"
#include "Tour.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr AVRational kReferenceTimeBase = {1, 10000000};  // REFERENCE_TIME: 100 ns units
constexpr int kFFDShowVideoOutput = 17;                   // the parameter block holding the flip

// What the host wants done with each decoded picture.
struct PictureOutput {
  bool md5 = false;
  FILE* raw = nullptr;
  int width = 0;
  int height = 0;
  AVRational frameRate = {25, 1};
};

// Receives the decoded YV12 pictures on ffdshow's streaming thread and clears the
// library's default flip so pictures come out top-down, as libavcodec gives them.
class DecodeSink : public IDShowGraphTransformSink, public IDShowGraphTransformSink2 {
 public:
  explicit DecodeSink(const PictureOutput& output) : output_(output) {}

  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long) override {
    return iid == IID_IDShowGraphTransformSink2 ? static_cast<IDShowGraphTransformSink2*>(this) : nullptr;
  }

  HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform*, int mediaKind, IMediaSample* sample,
                                                   tagKestroStreamType*) override {
    if (mediaKind != AMTYPE_Video) return S_OK;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data == nullptr) return S_OK;
    std::lock_guard<std::mutex> lock(mutex_);
    handlePicture(data, static_cast<size_t>(sample->GetActualDataLength()));
    ++pictures_;
    return S_OK;
  }

  HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform*, _AMTYPE at, tagKestroStreamType*,
                                                   IUnknown* ffdshowFilter, bool) override {
    if (at != AMTYPE_Video) return S_OK;
    FFDShowFilterParam param;
    kcm_getFFDShowFilterParam(ffdshowFilter, AMTYPE_Video, kFFDShowVideoOutput, &param);
    param.video.flip = 0;
    return kcm_setFFDShowFilterParam(ffdshowFilter, AMTYPE_Video, kFFDShowVideoOutput, &param);
  }

  int pictures() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pictures_;
  }

 private:
  // YV12 keeps V before U; the pictures leave in I420 order (Y, U, V) like yuv420p.
  void handlePicture(const BYTE* data, size_t size) {
    const size_t lumaSize = static_cast<size_t>(output_.width) * output_.height;
    const size_t chromaSize = static_cast<size_t>((output_.width + 1) / 2) * ((output_.height + 1) / 2);
    if (size < lumaSize + 2 * chromaSize) {
      fprintf(stderr, "kcm decode: picture %d has %zu bytes, want %zu\n", pictures_, size, lumaSize + 2 * chromaSize);
      return;
    }
    const BYTE* planes[3] = {data, data + lumaSize + chromaSize, data + lumaSize};
    const size_t sizes[3] = {lumaSize, chromaSize, chromaSize};
    if (output_.md5) printMd5(planes, sizes);
    if (output_.raw != nullptr) {
      for (int plane = 0; plane < 3; ++plane) fwrite(planes[plane], 1, sizes[plane], output_.raw);
    }
  }

  void printMd5(const BYTE* const planes[3], const size_t sizes[3]) {
    AVMD5* md5 = av_md5_alloc();
    if (md5 == nullptr) return;
    av_md5_init(md5);
    for (int plane = 0; plane < 3; ++plane) av_md5_update(md5, planes[plane], sizes[plane]);
    uint8_t digest[16];
    av_md5_final(md5, digest);
    av_free(md5);
    char text[33];
    for (int i = 0; i < 16; ++i) snprintf(text + 2 * i, 3, "%02x", digest[i]);
    printf("0, %10d, %10d, %8d, %8zu, %s\n", pictures_, pictures_, 1, sizes[0] + sizes[1] + sizes[2], text);
  }

  const PictureOutput output_;
  std::mutex mutex_;
  int pictures_ = 0;
};

// The graph's name for the container's coding, 0 when the decoder does not take it.
uint32_t FourCCOf(AVCodecID codec) {
  switch (codec) {
    case AV_CODEC_ID_H264:
      return Kestro::makeFourCC("h264");
    case AV_CODEC_ID_MPEG4:
      return Kestro::makeFourCC("mp4v");
    default:
      return 0;
  }
}

REFERENCE_TIME ToReferenceTime(int64_t value, AVRational timeBase) {
  return value == AV_NOPTS_VALUE ? -1 : av_rescale_q(value, timeBase, kReferenceTimeBase);
}

bool DescribeVideo(const AVStream& stream, tagKestroProgramType* program) {
  const AVCodecParameters& codec = *stream.codecpar;
  tagKestroStreamType& video = program->video;
  video.fourCC = FourCCOf(codec.codec_id);
  if (video.fourCC == 0) {
    fprintf(stderr, "kcm decode: the video coding %s is not one the decoder takes (h264, mpeg4)\n",
            avcodec_get_name(codec.codec_id));
    return false;
  }
  if (codec.extradata_size >= static_cast<int>(sizeof(video.extraData))) {
    fprintf(stderr, "kcm decode: %d bytes of codec private data, at most %zu fit\n", codec.extradata_size,
            sizeof(video.extraData) - 1);
    return false;
  }
  video.mediaKind = AMTYPE_Video;
  video.valid = 1;
  const AVRational rate = stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : AVRational{25, 1};
  video.videoInfo.AvgTimePerFrame = av_rescale_q(1, av_inv_q(rate), kReferenceTimeBase);
  BITMAPINFOHEADER& header = video.videoInfo.bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = codec.width;
  header.biHeight = codec.height;
  header.biCompression = video.fourCC;
  video.extraDataSize = static_cast<uint32_t>(std::max(codec.extradata_size, 0));
  if (video.extraDataSize > 0) memcpy(video.extraData, codec.extradata, video.extraDataSize);
  return true;
}

void PrintMd5Header(const AVStream& stream, const PictureOutput& output) {
  printf("#format: frame checksums\n#version: 2\n#hash: MD5\n#tb 0: %d/%d\n#media_type 0: video\n"
         "#codec_id 0: rawvideo\n#dimensions 0: %dx%d\n#sar 0: %d/%d\n"
         "#stream#, dts,        pts, duration,     size, hash\n",
         output.frameRate.den, output.frameRate.num, output.width, output.height,
         std::max(stream.codecpar->sample_aspect_ratio.num, 1), std::max(stream.codecpar->sample_aspect_ratio.den, 1));
}

// Writes every packet of the stream into the graph; false on a write the graph refused.
bool WritePackets(AVFormatContext* container, const AVStream& stream, CDShowGraphDecode& graph) {
  AVPacket* packet = av_packet_alloc();
  bool ok = packet != nullptr;
  while (ok && av_read_frame(container, packet) >= 0) {
    if (packet->stream_index == stream.index) {
      const REFERENCE_TIME start = ToReferenceTime(packet->pts, stream.time_base);
      const REFERENCE_TIME end = start < 0 ? -1 : start + ToReferenceTime(packet->duration, stream.time_base);
      const HRESULT hr = graph.write(AMTYPE_Video, start, end, packet->data, static_cast<unsigned long>(packet->size));
      if (FAILED(hr)) fprintf(stderr, "kcm decode: write refused: 0x%08x\n", static_cast<unsigned>(hr));
      ok = SUCCEEDED(hr);
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  return ok;
}

bool DecodeStream(AVFormatContext* container, const AVStream& stream, const PictureOutput& output) {
  tagKestroProgramType program;
  memset(&program, 0, sizeof(program));
  if (!DescribeVideo(stream, &program)) return false;
  if (output.md5) PrintMd5Header(stream, output);
  DecodeSink sink(output);
  CDShowGraphDecode graph;
  graph.init(&sink);
  const Clock::time_point begin = Clock::now();
  if (FAILED(graph.open(program))) return false;
  const bool written = WritePackets(container, stream, graph);
  graph.close();  // pictures still inside the decoder come out here
  const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  const int pictures = sink.pictures();
  if (!output.md5) {
    printf("   %s %dx%d: %d pictures in %.2f s, %.0f fps\n", avcodec_get_name(stream.codecpar->codec_id), output.width,
           output.height, pictures, seconds, seconds > 0 ? pictures / seconds : 0.0);
  }
  return written && pictures > 0;
}

bool DecodeFile(const std::string& path, bool md5, const std::string& rawPath) {
  AVFormatContext* container = nullptr;
  if (avformat_open_input(&container, path.c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(container, nullptr) < 0) {
    fprintf(stderr, "kcm decode: cannot read %s\n", path.c_str());
    avformat_close_input(&container);
    return false;
  }
  const int index = av_find_best_stream(container, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  bool ok = index >= 0;
  if (!ok) fprintf(stderr, "kcm decode: %s has no video stream\n", path.c_str());
  PictureOutput output;
  output.md5 = md5;
  if (ok && !rawPath.empty()) {
    output.raw = fopen(rawPath.c_str(), "wb");
    ok = output.raw != nullptr;
    if (!ok) fprintf(stderr, "kcm decode: cannot write %s\n", rawPath.c_str());
  }
  if (ok) {
    const AVStream& stream = *container->streams[index];
    output.width = stream.codecpar->width;
    output.height = stream.codecpar->height;
    if (stream.avg_frame_rate.num > 0) output.frameRate = stream.avg_frame_rate;
    ok = DecodeStream(container, stream, output);
  }
  if (output.raw != nullptr) fclose(output.raw);
  avformat_close_input(&container);
  return ok;
}

// --- the generated clip ---

constexpr int kClipWidth = 320;
constexpr int kClipHeight = 240;
constexpr int kClipFrames = 50;  // 2 s at 25 fps

// A moving diagonal gradient with drifting colour.
void DrawTestPattern(AVFrame* frame, int index) {
  for (int y = 0; y < frame->height; ++y) {
    for (int x = 0; x < frame->width; ++x) frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(x + y + 3 * index);
  }
  for (int y = 0; y < frame->height / 2; ++y) {
    for (int x = 0; x < frame->width / 2; ++x) {
      frame->data[1][y * frame->linesize[1] + x] = static_cast<uint8_t>(128 + y + 2 * index);
      frame->data[2][y * frame->linesize[2] + x] = static_cast<uint8_t>(64 + x + 5 * index);
    }
  }
}

// Moves every packet the encoder has ready into the container.
bool Drain(AVCodecContext* encoder, AVFormatContext* container, AVStream* stream, AVPacket* packet) {
  int result = 0;
  while ((result = avcodec_receive_packet(encoder, packet)) >= 0) {
    av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
    packet->stream_index = stream->index;
    if (av_interleaved_write_frame(container, packet) < 0) return false;
  }
  return result == AVERROR(EAGAIN) || result == AVERROR_EOF;
}

bool EncodeFrames(AVCodecContext* encoder, AVFormatContext* container, AVStream* stream) {
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  bool ok = frame != nullptr && packet != nullptr;
  if (ok) {
    frame->format = encoder->pix_fmt;
    frame->width = encoder->width;
    frame->height = encoder->height;
    ok = av_frame_get_buffer(frame, 0) >= 0;
  }
  for (int index = 0; ok && index < kClipFrames; ++index) {
    ok = av_frame_make_writable(frame) >= 0;
    if (!ok) break;
    DrawTestPattern(frame, index);
    frame->pts = index;
    ok = avcodec_send_frame(encoder, frame) >= 0 && Drain(encoder, container, stream, packet);
  }
  ok = ok && avcodec_send_frame(encoder, nullptr) >= 0 && Drain(encoder, container, stream, packet);
  av_packet_free(&packet);
  av_frame_free(&frame);
  return ok;
}

AVCodecContext* OpenClipEncoder(bool globalHeader) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  AVCodecContext* encoder = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
  if (encoder == nullptr) return nullptr;
  encoder->width = kClipWidth;
  encoder->height = kClipHeight;
  encoder->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder->time_base = {1, 25};
  encoder->framerate = {25, 1};
  encoder->gop_size = 12;
  encoder->bit_rate = 800000;
  if (globalHeader) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // the sequence header goes to extradata
  if (avcodec_open2(encoder, codec, nullptr) < 0) avcodec_free_context(&encoder);
  return encoder;
}

// Writes the 2 s test clip as MPEG-4 part 2 in an MP4 file.
bool WriteClip(const std::string& path) {
  AVFormatContext* container = nullptr;
  if (avformat_alloc_output_context2(&container, nullptr, "mp4", path.c_str()) < 0) return false;
  AVCodecContext* encoder = OpenClipEncoder((container->oformat->flags & AVFMT_GLOBALHEADER) != 0);
  AVStream* stream = encoder != nullptr ? avformat_new_stream(container, nullptr) : nullptr;
  bool ok = stream != nullptr && avcodec_parameters_from_context(stream->codecpar, encoder) >= 0;
  if (ok) {
    stream->time_base = encoder->time_base;
    stream->avg_frame_rate = encoder->framerate;
    ok = avio_open(&container->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
  }
  ok = ok && avformat_write_header(container, nullptr) >= 0 && EncodeFrames(encoder, container, stream) &&
       av_write_trailer(container) >= 0;
  if (container->pb != nullptr) avio_closep(&container->pb);
  avcodec_free_context(&encoder);
  avformat_free_context(container);
  return ok;
}

bool DecodeGeneratedClip() {
  char path[] = "/tmp/kcm-decode-XXXXXX.mp4";
  const int descriptor = mkstemps(path, 4);
  if (descriptor < 0) return false;
  close(descriptor);
  const bool written = WriteClip(path);
  if (written) printf("   generated %s: mpeg4 %dx%d, %d frames\n", path, kClipWidth, kClipHeight, kClipFrames);
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
  TourStep decode{"decode", "decode a media file's video through an ffdshow graph: decode [file] [--md5] [-o raw.yuv]",
                  RunDecode};
  decode.takesArguments = true;
  return {decode};
}
