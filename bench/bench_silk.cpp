// The SILK core: encoding at complexity 2 and decoding, per codec rate, in times real
// time on one core (the "xRealTime" counter: seconds of audio per second of CPU).
// Goals: encoder >= 50x real time at 24 kHz, decoder >= 300x.
#include <benchmark/benchmark.h>
#include <math.h>

#include <random>
#include <vector>

#include "SilkCodec.h"

namespace {

constexpr double kSeconds = 2.0;

// Voiced speech stand-in: harmonics of a gliding pitch under a syllable-rate envelope,
// with some noise, so that both the voiced and the unvoiced paths run.
std::vector<int16_t> Speech(int rate) {
  std::vector<int16_t> pcm(static_cast<size_t>(rate * kSeconds));
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0.0, 300.0);
  double phase = 0.0;
  for (size_t i = 0; i < pcm.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    phase += 2.0 * M_PI * (140.0 + 40.0 * sin(2.0 * M_PI * 0.9 * t)) / rate;
    double v = 0.0;
    for (int h = 1; h <= 20 && h * 160.0 < rate / 2; ++h) v += 2500.0 / h * sin(h * phase);
    const double envelope = 0.55 + 0.45 * sin(2.0 * M_PI * 3.0 * t);
    pcm[i] = static_cast<int16_t>(envelope * v + noise(random) * (1.0 - envelope));
  }
  return pcm;
}

struct Encoder {
  std::vector<uint8_t> state;
  silk::EncoderControl control{};
  explicit Encoder(int rate) {
    int32_t size = 0;
    silk::encoderStateSize(&size);
    state.resize(static_cast<size_t>(size));
    silk::initEncoder(state.data(), &control);
    control.API_sampleRate = control.maxInternalSampleRate = rate;
    control.packetSize = rate / 50;
    control.bitRate = 25000;
    control.complexity = 2;
  }
  int16_t Encode(const int16_t* pcm, uint8_t* packet) {
    int16_t bytes = silk::kMaxPacketBytes;
    silk::encode(state.data(), &control, pcm, control.packetSize, packet, &bytes);
    return bytes;
  }
};

std::vector<std::vector<uint8_t>> Packets(int rate, const std::vector<int16_t>& pcm) {
  Encoder encoder(rate);
  std::vector<std::vector<uint8_t>> packets;
  uint8_t packet[silk::kMaxPacketBytes];
  for (size_t at = 0; at + rate / 50 <= pcm.size(); at += static_cast<size_t>(rate / 50)) {
    const int16_t bytes = encoder.Encode(&pcm[at], packet);
    packets.emplace_back(packet, packet + bytes);
  }
  return packets;
}

void SetRealTime(benchmark::State& state, double audioSecondsPerIteration) {
  state.counters["xRealTime"] = benchmark::Counter(audioSecondsPerIteration, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_SilkEncode(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  const std::vector<int16_t> pcm = Speech(rate);
  Encoder encoder(rate);
  uint8_t packet[silk::kMaxPacketBytes];
  const size_t frame = static_cast<size_t>(rate / 50);
  for (auto _ : state) {
    for (size_t at = 0; at + frame <= pcm.size(); at += frame) benchmark::DoNotOptimize(encoder.Encode(&pcm[at], packet));
  }
  SetRealTime(state, kSeconds);
}

void BM_SilkDecode(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  const std::vector<std::vector<uint8_t>> packets = Packets(rate, Speech(rate));
  int32_t size = 0;
  silk::decoderStateSize(&size);
  std::vector<uint8_t> decoder(static_cast<size_t>(size));
  silk::initDecoder(decoder.data());
  silk::DecoderControl control{rate, 0, 0, 0, 0};
  int16_t out[silk::kMaxDecodedSamples];
  int16_t samples = 0;
  for (auto _ : state) {
    for (const std::vector<uint8_t>& packet : packets) {
      silk::decode(decoder.data(), &control, 0, packet.data(), static_cast<int>(packet.size()), out, &samples);
      benchmark::DoNotOptimize(out);
    }
  }
  SetRealTime(state, packets.size() * 0.02);
}

}  // namespace

BENCHMARK(BM_SilkEncode)->Arg(8000)->Arg(12000)->Arg(16000)->Arg(24000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SilkDecode)->Arg(8000)->Arg(12000)->Arg(16000)->Arg(24000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
