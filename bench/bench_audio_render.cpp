// Host-side cost of CKestroAudioRender::write in queued mode per 20 ms block, against a
// plain memcpy of the same block. Queued writes do no audio I/O on the host's thread:
// they check the cache and copy the block into the queue service.
//
// The render plays on the "default" PCM of the audio tests' private ALSA configuration
// (a file PCM into /dev/null), so no sound card is needed. The timing pauses now and
// then to let the worker drain the queue, so that it never grows without bound.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <thread>
#include <vector>

#include "KestroAudioRender.h"

namespace {

// Reaches the queue, so that the benchmark can wait for the worker.
class BenchRender : public CKestroAudioRender {
 public:
  unsigned long waiting() { return _audioDataQueueService->GetQueuePacketCount(); }
};

tagKestroStreamType audioStream(uint32_t rate, uint16_t channels) {
  tagKestroStreamType type = {};
  type.mediaKind = 2;
  type.valid = 1;
  type.waveFormat.nChannels = channels;
  type.waveFormat.nSamplesPerSec = rate;
  type.waveFormat.wBitsPerSample = 16;
  return type;
}

size_t blockBytes(uint32_t rate, uint16_t channels) { return rate / 50 * channels * 2; }

void BM_RenderWriteQueued(benchmark::State& state) {
  setenv("ALSA_CONFIG_PATH", KCM_AUDIO_TEST_DIR "/asound.conf", 1);
  const uint32_t rate = static_cast<uint32_t>(state.range(0));
  const uint16_t channels = static_cast<uint16_t>(state.range(1));
  std::vector<char> block(blockBytes(rate, channels), 1);
  BenchRender render;
  render.setAudioMaxCacheMS(0);
  tagKestroStreamType type = audioStream(rate, channels);
  if (render.openAudioPlayback(type) != 0) {
    state.SkipWithError("openAudioPlayback failed");
    return;
  }
  for (auto _ : state) {
    render.write(2, 0, 0, block.data(), static_cast<unsigned long>(block.size()), 1, nullptr);
    if (render.waiting() > 256) {
      state.PauseTiming();
      while (render.waiting() > 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
      state.ResumeTiming();
    }
  }
  render.closeAudioPlayback();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * block.size()));
}

void BM_MemcpyBlock(benchmark::State& state) {
  const size_t bytes = blockBytes(static_cast<uint32_t>(state.range(0)), static_cast<uint16_t>(state.range(1)));
  std::vector<char> block(bytes, 1);
  std::vector<char> target(bytes);
  for (auto _ : state) {
    memcpy(target.data(), block.data(), bytes);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

}  // namespace

// 16 kHz mono (640-byte blocks) and 48 kHz stereo (3840-byte blocks).
BENCHMARK(BM_RenderWriteQueued)->Args({16000, 1})->Args({48000, 2});
BENCHMARK(BM_MemcpyBlock)->Args({16000, 1})->Args({48000, 2});

BENCHMARK_MAIN();
