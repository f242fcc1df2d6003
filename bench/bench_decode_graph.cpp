// A 1920x1080 H.264 clip (10 s at 25 fps, made once by libx264 through libavcodec) decoded
// through CDShowGraphDecode (source → ffdshow video decoder → render → host sink) against
// a plain libavcodec decode loop on the same packets, with the same decoding threads.
// Each iteration decodes the whole clip both ways, alternating which goes first, so the
// load of a shared machine falls on both alike. Goal: ours at least 0.95 of plain's
// frames per second.
//
// The graph moves each frame's bytes twice by design: the host's packet into a source
// sample, and the decoded picture into the output sample. An untimed pass counts the
// bytes memcpy moves for either side (memcpy is interposed below); what the graph moves
// beyond plain libavcodec, in pictures and packets, is reported per frame. The output is
// YV12, the decoder's own 4:2:0, which the stand-in copies with memcpy: a colour
// conversion would show as a loss of picture copies here and of speed above.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <string.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include "KestroDShowGraphTransform.h"
#include "KestroFFDshowConfigApi.h"

// ---- the copy meter ----

namespace {

std::atomic<bool> g_metering{false};
std::atomic<uint64_t> g_meteredBytes{0};

using MemcpyFunction = void* (*)(void*, const void*, size_t);

MemcpyFunction RealMemcpy() {
  static const MemcpyFunction real = reinterpret_cast<MemcpyFunction>(dlsym(RTLD_NEXT, "memcpy"));
  return real;
}

}  // namespace

// Every memcpy of the process that goes through the dynamic linker (this program, the
// library, the ffdshow stand-in, libavcodec) comes here; it is counted only while metering.
extern "C" void* memcpy(void* __restrict target, const void* __restrict source, size_t size) noexcept {
  if (g_metering.load(std::memory_order_relaxed)) g_meteredBytes.fetch_add(size, std::memory_order_relaxed);
  return RealMemcpy()(target, source, size);
}

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 250;  // 10 s at 25 fps
constexpr REFERENCE_TIME kFrameTime = 400000;
constexpr int64_t kPictureBytes = int64_t{kWidth} * kHeight * 3 / 2;  // YV12

using Clock = std::chrono::steady_clock;

struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

struct Clip {
  std::vector<uint8_t> extraData;
  std::vector<PacketPtr> packets;  // decoding order, time stamps in 100 ns units
  int64_t packetBytes = 0;
};

// A textured picture scrolling diagonally, with slowly drifting colour: motion and
// detail enough for the decoder to have real work.
void DrawPicture(AVFrame* frame, int index) {
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* row = frame->data[0] + y * frame->linesize[0];
    for (int x = 0; x < kWidth; ++x) {
      const unsigned u = static_cast<unsigned>(x + 3 * index);
      const unsigned v = static_cast<unsigned>(y + 2 * index);
      row[x] = static_cast<uint8_t>(((u * 7) ^ (v * 13)) + ((u * v) >> 7));
    }
  }
  for (int y = 0; y < kHeight / 2; ++y) {
    for (int x = 0; x < kWidth / 2; ++x) {
      frame->data[1][y * frame->linesize[1] + x] = static_cast<uint8_t>(128 + ((x + index) >> 3));
      frame->data[2][y * frame->linesize[2] + x] = static_cast<uint8_t>(128 + ((y - index) >> 3));
    }
  }
}

bool TakePackets(AVCodecContext* encoder, Clip* clip) {
  for (;;) {
    PacketPtr packet(av_packet_alloc());
    const int result = avcodec_receive_packet(encoder, packet.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
    if (result < 0) return false;
    av_packet_rescale_ts(packet.get(), encoder->time_base, AVRational{1, 10000000});
    clip->packetBytes += packet->size;
    clip->packets.push_back(std::move(packet));
  }
}

AVCodecContext* OpenEncoder() {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  AVCodecContext* encoder = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
  if (encoder == nullptr) return nullptr;
  encoder->width = kWidth;
  encoder->height = kHeight;
  encoder->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder->time_base = {1, 25};
  encoder->framerate = {25, 1};
  encoder->gop_size = 50;
  encoder->bit_rate = 8000000;
  encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // SPS/PPS as extra data, as a container gives them
  av_opt_set(encoder->priv_data, "preset", "veryfast", 0);  // CABAC and B-frames, encoded quickly
  if (avcodec_open2(encoder, codec, nullptr) < 0) avcodec_free_context(&encoder);
  return encoder;
}

Clip EncodeClip() {
  Clip clip;
  AVCodecContext* encoder = OpenEncoder();
  AVFrame* frame = av_frame_alloc();
  bool ok = encoder != nullptr && frame != nullptr;
  if (ok) {
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = kWidth;
    frame->height = kHeight;
    ok = av_frame_get_buffer(frame, 0) >= 0;
  }
  for (int index = 0; ok && index < kFrames; ++index) {
    ok = av_frame_make_writable(frame) >= 0;
    if (!ok) break;
    DrawPicture(frame, index);
    frame->pts = index;
    ok = avcodec_send_frame(encoder, frame) >= 0 && TakePackets(encoder, &clip);
  }
  ok = ok && avcodec_send_frame(encoder, nullptr) >= 0 && TakePackets(encoder, &clip);
  if (ok) clip.extraData.assign(encoder->extradata, encoder->extradata + encoder->extradata_size);
  if (!ok) clip.packets.clear();
  av_frame_free(&frame);
  avcodec_free_context(&encoder);
  return clip;
}

const Clip& TheClip() {
  static const Clip clip = EncodeClip();
  return clip;
}

// ---- plain libavcodec ----

// Decodes the clip; the number of pictures, or -1 when the decoder failed.
int DecodePlain(const Clip& clip, int threads) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  decoder->extradata = static_cast<uint8_t*>(av_mallocz(clip.extraData.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  memcpy(decoder->extradata, clip.extraData.data(), clip.extraData.size());
  decoder->extradata_size = static_cast<int>(clip.extraData.size());
  decoder->pkt_timebase = {1, 10000000};
  decoder->thread_count = threads;
  int pictures = avcodec_open2(decoder, codec, nullptr) < 0 ? -1 : 0;
  unsigned checksum = 0;
  auto receive = [&] {
    while (avcodec_receive_frame(decoder, frame) >= 0) {
      checksum += frame->data[0][0];  // looks at the picture, as the graph's host does
      ++pictures;
      av_frame_unref(frame);
    }
  };
  for (size_t next = 0; pictures >= 0 && next < clip.packets.size(); ++next) {
    // Refcounted packets: libavcodec takes a reference, no copy.
    while (avcodec_send_packet(decoder, clip.packets[next].get()) == AVERROR(EAGAIN)) receive();
    receive();
  }
  if (pictures >= 0) {
    avcodec_send_packet(decoder, nullptr);
    receive();
  }
  benchmark::DoNotOptimize(checksum);
  av_frame_free(&frame);
  avcodec_free_context(&decoder);
  return pictures;
}

// ---- the graph ----

// Takes the pictures on ffdshow's streaming thread and, when the filter is made, sets its
// decoding threads and turns the library's default flip off (top-down YV12, as decoded).
class CountingSink : public IDShowGraphTransformSink, public IDShowGraphTransformSink2 {
 public:
  explicit CountingSink(int threads) : threads_(threads) {}

  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID& iid, unsigned long) override {
    return iid == IID_IDShowGraphTransformSink2 ? static_cast<IDShowGraphTransformSink2*>(this) : nullptr;
  }
  HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform*, int, IMediaSample* sample,
                                                   tagKestroStreamType*) override {
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    checksum += bytes[0];
    if (sample->GetActualDataLength() == kPictureBytes) ++pictures;
    return S_OK;
  }
  HRESULT onDShowGraphTransformSink_doRenderSample(CDShowGraphTransform*, _AMTYPE, tagKestroStreamType*,
                                                   IUnknown* filter, bool) override {
    FFDShowFilterParam param;
    kcm_getFFDShowFilterParam(filter, AMTYPE_Video, 17, &param);
    param.video.flip = 0;
    kcm_setFFDShowFilterParam(filter, AMTYPE_Video, 17, &param);
    return kcm_setFFDShowFilterMultiThreadDec(filter, threads_);
  }

  std::atomic<int> pictures{0};
  unsigned checksum = 0;

 private:
  const int threads_;
};

tagKestroProgramType H264Program(const Clip& clip) {
  tagKestroProgramType program;
  memset(&program, 0, sizeof(program));
  tagKestroStreamType& video = program.video;
  video.mediaKind = AMTYPE_Video;
  video.fourCC = Kestro::makeFourCC("h264");
  video.valid = 1;
  video.videoInfo.AvgTimePerFrame = kFrameTime;
  BITMAPINFOHEADER& header = video.videoInfo.bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = kWidth;
  header.biHeight = kHeight;
  header.biCompression = video.fourCC;
  video.extraDataSize = static_cast<uint32_t>(clip.extraData.size());
  memcpy(video.extraData, clip.extraData.data(), clip.extraData.size());
  return program;
}

int DecodeThroughGraph(const Clip& clip, int threads) {
  CountingSink sink(threads);
  tagKestroProgramType program = H264Program(clip);
  CDShowGraphDecode graph;
  graph.init(&sink);
  if (FAILED(graph.open(program))) return -1;
  for (const PacketPtr& packet : clip.packets) {
    if (FAILED(graph.write(AMTYPE_Video, packet->pts, packet->pts + packet->duration, packet->data,
                           static_cast<unsigned long>(packet->size)))) {
      return -1;
    }
  }
  graph.close();  // the pictures the decoder still holds come out here
  benchmark::DoNotOptimize(sink.checksum);
  return sink.pictures;
}

// ---- the comparison ----

template <class Decode>
uint64_t MeteredBytes(Decode decode) {
  g_meteredBytes = 0;
  g_metering = true;
  decode();
  g_metering = false;
  return g_meteredBytes;
}

// What the graph copies beyond plain libavcodec, per frame: whole pictures, and the rest
// in units of the mean packet.
void CountCopies(benchmark::State& state, const Clip& clip, int threads) {
  const double ours = static_cast<double>(MeteredBytes([&] { DecodeThroughGraph(clip, threads); }));
  const double plain = static_cast<double>(MeteredBytes([&] { DecodePlain(clip, threads); }));
  const double extraPerFrame = (ours - plain) / kFrames;
  const double pictureCopies = std::round(extraPerFrame / kPictureBytes);
  const double meanPacket = static_cast<double>(clip.packetBytes) / kFrames;
  state.counters["picture copies/frame"] = pictureCopies;
  state.counters["packet copies/frame"] = (extraPerFrame - pictureCopies * kPictureBytes) / meanPacket;
}

// Seconds of processor time the whole process has used: every thread of either side
// counts, and time the machine gives to other processes does not.
double ProcessorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Spent {
  double seconds = 0;
  double processorSeconds = 0;
};

template <class Decode>
bool Timed(Decode decode, Spent* spent) {
  const Clock::time_point begin = Clock::now();
  const double processorBegin = ProcessorSeconds();
  const int pictures = decode();
  spent->processorSeconds += ProcessorSeconds() - processorBegin;
  spent->seconds += std::chrono::duration<double>(Clock::now() - begin).count();
  return pictures == kFrames;
}

void DecodeGraph_VersusLibavcodec(benchmark::State& state) {
  const Clip& clip = TheClip();
  const int threads = static_cast<int>(state.range(0));
  if (clip.packets.empty()) {
    state.SkipWithError("libx264 could not encode the clip");
    return;
  }
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  CountCopies(state, clip, threads);
  Spent ours;
  Spent plain;
  bool oursFirst = true;
  for (auto _ : state) {
    const double before = ours.seconds;
    auto graph = [&] { return Timed([&] { return DecodeThroughGraph(clip, threads); }, &ours); };
    auto libavcodec = [&] { return Timed([&] { return DecodePlain(clip, threads); }, &plain); };
    const bool complete = oursFirst ? graph() && libavcodec() : libavcodec() && graph();
    if (!complete) {
      state.SkipWithError("a decode lost pictures");
      break;
    }
    state.SetIterationTime(ours.seconds - before);
    oursFirst = !oursFirst;
  }
  CoUninitialize();
  const double frames = static_cast<double>(state.iterations()) * kFrames;
  if (ours.seconds <= 0 || plain.seconds <= 0) return;
  state.counters["graph fps"] = frames / ours.seconds;
  state.counters["libavcodec fps"] = frames / plain.seconds;
  state.counters["ratio"] = plain.seconds / ours.seconds;
  // The same in processor time: what each side costs, whatever else the machine runs.
  state.counters["graph cpu ms/frame"] = 1000 * ours.processorSeconds / frames;
  state.counters["libavcodec cpu ms/frame"] = 1000 * plain.processorSeconds / frames;
  state.counters["cpu ratio"] = plain.processorSeconds / ours.processorSeconds;
}

BENCHMARK(DecodeGraph_VersusLibavcodec)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
