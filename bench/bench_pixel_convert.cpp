// Pixel conversions on 1920x1080 frames against libyuv's nearest conversions and a
// memcpy of the same bytes (the memory-bandwidth bound), in Mpixel/s.
#include <benchmark/benchmark.h>
#include <libyuv.h>

#include "KestroPixelConvert.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int64_t kPixels = int64_t{kWidth} * kHeight;

std::vector<uint8_t> RandomFrame(int bytesPerPixel) {
  std::vector<uint8_t> frame(static_cast<std::size_t>(kPixels * bytesPerPixel));
  std::mt19937 random(5);
  for (auto& b : frame) b = static_cast<uint8_t>(random());
  return frame;
}

void Report(benchmark::State& state) {
  state.counters["Mpixel/s"] = benchmark::Counter(static_cast<double>(state.iterations() * kPixels) / 1e6,
                                                  benchmark::Counter::kIsRate);
}

// `convert(src, dst)` on a source frame of `srcBpp` and a destination of `dstBpp` bytes per pixel.
template <typename Convert>
void Run(benchmark::State& state, int srcBpp, int dstBpp, Convert convert) {
  const std::vector<uint8_t> src = RandomFrame(srcBpp);
  std::vector<uint8_t> dst(static_cast<std::size_t>(kPixels * dstBpp));
  for (auto _ : state) {
    convert(src.data(), dst.data());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  Report(state);
}

void Yuy2ToRgb32_Kcm(benchmark::State& state) {
  Run(state, 2, 4, [](const uint8_t* s, uint8_t* d) { kcm_yuv2ToRGB32(s, d, kWidth, kHeight, 4 * kWidth); });
}
void Yuy2ToRgb32_Libyuv(benchmark::State& state) {
  Run(state, 2, 4, [](const uint8_t* s, uint8_t* d) { libyuv::YUY2ToARGB(s, 2 * kWidth, d, 4 * kWidth, kWidth, kHeight); });
}
// kcm_YUV2RGB writes bottom-up: libyuv's counterpart gets a negative height.
void Yuv2Rgb32_Kcm(benchmark::State& state) {
  Run(state, 2, 4, [](const uint8_t* s, uint8_t* d) { kcm_YUV2RGB(s, d, kWidth, kHeight, false, true); });
}
void Yuv2Rgb32_LibyuvFlipped(benchmark::State& state) {
  Run(state, 2, 4, [](const uint8_t* s, uint8_t* d) { libyuv::YUY2ToARGB(s, 2 * kWidth, d, 4 * kWidth, kWidth, -kHeight); });
}
void Rgb32ToYuv_Kcm(benchmark::State& state) {
  Run(state, 4, 2, [](const uint8_t* s, uint8_t* d) { kcm_RGB2YUV(s, d, kWidth, kHeight, false, true); });
}
void Rgb32ToYuv_LibyuvFlipped(benchmark::State& state) {
  Run(state, 4, 2, [](const uint8_t* s, uint8_t* d) { libyuv::ARGBToYUY2(s, 4 * kWidth, d, 2 * kWidth, kWidth, -kHeight); });
}
// YUY2 <-> RGB32 move 2 + 4 bytes per pixel: the memcpy copies the larger frame.
void Memcpy_Rgb32Frame(benchmark::State& state) {
  Run(state, 4, 4, [](const uint8_t* s, uint8_t* d) { std::memcpy(d, s, static_cast<std::size_t>(kPixels * 4)); });
}
void Yuv2Rgb24_Kcm(benchmark::State& state) {
  Run(state, 2, 3, [](const uint8_t* s, uint8_t* d) { kcm_YUV2RGB(s, d, kWidth, kHeight, false, false); });
}
void Rgb24ToYuv_Kcm(benchmark::State& state) {
  Run(state, 3, 2, [](const uint8_t* s, uint8_t* d) { kcm_RGB2YUV(s, d, kWidth, kHeight, false, false); });
}
void Blend_Kcm(benchmark::State& state) {
  Run(state, 3, 3, [](const uint8_t* s, uint8_t* d) { kcm_YUVBlending(d, s, 0, 0, 0, 0, kWidth, kHeight, true, true); });
}

BENCHMARK(Yuy2ToRgb32_Kcm);
BENCHMARK(Yuy2ToRgb32_Libyuv);
BENCHMARK(Yuv2Rgb32_Kcm);
BENCHMARK(Yuv2Rgb32_LibyuvFlipped);
BENCHMARK(Rgb32ToYuv_Kcm);
BENCHMARK(Rgb32ToYuv_LibyuvFlipped);
BENCHMARK(Memcpy_Rgb32Frame);
BENCHMARK(Yuv2Rgb24_Kcm);
BENCHMARK(Rgb24ToYuv_Kcm);
BENCHMARK(Blend_Kcm);

}  // namespace

BENCHMARK_MAIN();
