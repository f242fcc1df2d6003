// CKestroAudioRender on PortAudio's ALSA devices: file PCMs of the private configuration.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "AudioTestSupport.h"
#include "KestroAudioRender.h"
#include "core/LogCapture.h"
#include "winerror.h"

using namespace audio_test;

namespace {

const char kRefusedBlock[] = "CKestroAudioRender::write::_audioDataQueueService->AddToQueue";

tagKestroStreamType audioStream(uint32_t rate, uint16_t channels) {
  tagKestroStreamType type = {};
  type.mediaKind = 2;
  type.valid = 1;
  type.waveFormat = pcm16(rate, channels);
  type.waveFormat.nBlockAlign = 0;  // the render completes the format itself
  type.waveFormat.nAvgBytesPerSec = 0;
  return type;
}

// Reaches the render's state and its pull mode, which no public operation switches on.
class TestRender : public CKestroAudioRender {
 public:
  explicit TestRender(int pullMode = 0) { _pullMode = pullMode; }
  const tagKestroStreamType& streamType() const { return _streamType; }
  IQueueServiceEngine* engine() const { return _audioDataQueueService; }
  // Waits until the worker has taken every queued item: items still waiting when the
  // service stops are not delivered.
  bool waitUntilDrained(std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (engine()->GetQueuePacketCount() != 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
};

// Plays `blocks` through a render on "kcm_out" and answers what arrived in the file.
std::vector<char> playBlocks(const std::vector<std::vector<char>>& blocks, int queued) {
  TempDir dir;
  routeDevice("KCM_AUDIO_OUT", dir.path("out.raw"));
  TestRender render;
  render.initAudioDev("kcm_out");
  render.setAudioMaxCacheMS(0);
  tagKestroStreamType type = audioStream(16000, 1);
  EXPECT_EQ(S_OK, render.openAudioPlayback(type));
  for (const auto& block : blocks)
    EXPECT_EQ(S_OK, render.write(2, 0, 0, const_cast<char*>(block.data()), block.size(), queued, nullptr));
  EXPECT_TRUE(render.waitUntilDrained());
  render.closeAudioPlayback();
  return readFile(dir.path("out.raw"));
}

std::vector<std::vector<char>> split(const std::vector<char>& all, size_t blockSize) {
  std::vector<std::vector<char>> blocks;
  for (size_t offset = 0; offset < all.size(); offset += blockSize)
    blocks.emplace_back(all.begin() + offset, all.begin() + std::min(all.size(), offset + blockSize));
  return blocks;
}

}  // namespace

TEST(AudioRender, QueuedBlocksArriveByteForByteInOrder) {
  const std::vector<char> audio = rampBytes(50 * 640);
  EXPECT_EQ(audio, playBlocks(split(audio, 640), 1));
}

TEST(AudioRender, UnqueuedBlocksArriveByteForByte) {
  const std::vector<char> audio = rampBytes(20 * 640);
  EXPECT_EQ(audio, playBlocks(split(audio, 640), 0));
}

TEST(AudioRender, TrailingPartialFrameIsNotPlayed) {
  TempDir dir;
  routeDevice("KCM_AUDIO_OUT", dir.path("out.raw"));
  TestRender render;
  render.initAudioDev("kcm_out");
  tagKestroStreamType type = audioStream(16000, 2);
  ASSERT_EQ(S_OK, render.openAudioPlayback(type));
  std::vector<char> block = rampBytes(643);
  EXPECT_EQ(S_OK, render.write(2, 0, 0, block.data(), block.size(), 1, nullptr));
  ASSERT_TRUE(render.waitUntilDrained());
  render.closeAudioPlayback();
  EXPECT_EQ(std::vector<char>(block.begin(), block.begin() + 640), readFile(dir.path("out.raw")));
}

TEST(AudioRender, VolumeTakesEffectInQueueOrder) {
  TempDir dir;
  routeDevice("KCM_AUDIO_OUT", dir.path("out.raw"));
  TestRender render;
  render.initAudioDev("kcm_out");
  tagKestroStreamType type = audioStream(16000, 1);
  ASSERT_EQ(S_OK, render.openAudioPlayback(type));
  std::vector<char> block = rampBytes(640, 100);
  render.write(2, 0, 0, block.data(), block.size(), 1, nullptr);
  EXPECT_EQ(S_OK, render.setVolume(0.5f));
  render.write(2, 0, 0, block.data(), block.size(), 1, nullptr);
  render.setVolume(4.0f);
  render.write(2, 0, 0, block.data(), block.size(), 1, nullptr);
  ASSERT_TRUE(render.waitUntilDrained());
  render.closeAudioPlayback();
  const std::vector<char> played = readFile(dir.path("out.raw"));
  ASSERT_EQ(3 * block.size(), played.size());
  for (size_t offset = 0; offset < block.size(); offset += 2) {
    int16_t original, full, half, loud;
    memcpy(&original, &block[offset], 2);
    memcpy(&full, &played[offset], 2);
    memcpy(&half, &played[640 + offset], 2);
    memcpy(&loud, &played[1280 + offset], 2);
    ASSERT_EQ(original, full);
    ASSERT_LE(abs(2 * half - original), 1) << offset;
    ASSERT_EQ(std::min(4 * original, 32767), loud) << offset;  // clipped, not wrapped
  }
}

TEST(AudioRender, NameMatchingNoDevicePlaysOnTheDefaultDevice) {
  TempDir dir;
  routeDevice("KCM_AUDIO_DEFAULT_OUT", dir.path("default.raw"));
  TestRender render;
  render.initAudioDev("kcm_OUT");
  tagKestroStreamType type = audioStream(8000, 1);
  ASSERT_EQ(S_OK, render.openAudioPlayback(type));
  std::vector<char> block = rampBytes(320);
  render.write(2, 0, 0, block.data(), block.size(), 1, nullptr);
  ASSERT_TRUE(render.waitUntilDrained());
  render.closeAudioPlayback();
  unsetenv("KCM_AUDIO_DEFAULT_OUT");
  EXPECT_EQ(block, readFile(dir.path("default.raw")));
}

TEST(AudioRender, RefusesBlocksItCannotPlay) {
  TempDir dir;
  routeDevice("KCM_AUDIO_OUT", dir.path("out.raw"));
  TestRender render;
  render.initAudioDev("kcm_out");
  std::vector<char> block = rampBytes(640);
  // No engine before the first open: dropped like a block for a closed render.
  EXPECT_EQ(S_OK, render.write(2, 0, 0, block.data(), block.size(), 1, nullptr));
  tagKestroStreamType noAudio = audioStream(16000, 1);
  noAudio.valid = 0x100;  // only the low byte counts
  EXPECT_EQ(S_OK, render.openAudioPlayback(noAudio));
  EXPECT_FALSE(render.engine()->IsServiceStarted());
  tagKestroStreamType noBlockAlign = audioStream(16000, 0);
  EXPECT_EQ(E_FAIL, render.openAudioPlayback(noBlockAlign));
  EXPECT_FALSE(render.engine()->IsServiceStarted());
  tagKestroStreamType type = audioStream(16000, 1);
  ASSERT_EQ(S_OK, render.openAudioPlayback(type));
  EXPECT_EQ(E_FAIL, render.write(1, 0, 0, block.data(), block.size(), 1, nullptr));
  render.enableAudioPlayback(0);
  EXPECT_EQ(S_OK, render.write(2, 0, 0, block.data(), block.size(), 1, nullptr));
  render.enableAudioPlayback(1);
  // A second open keeps the first format.
  tagKestroStreamType stereo = audioStream(48000, 2);
  EXPECT_EQ(S_OK, render.openAudioPlayback(stereo));
  EXPECT_EQ(16000u, render.streamType().waveFormat.nSamplesPerSec);
  EXPECT_EQ(2, render.streamType().waveFormat.nBlockAlign);
  render.closeAudioPlayback();
  EXPECT_EQ(S_OK, render.write(2, 0, 0, block.data(), block.size(), 1, nullptr));
  EXPECT_TRUE(readFile(dir.path("out.raw")).empty());
}

TEST(AudioRender, StreamTypeWithoutAudioMakesLaterWritesFail) {
  TestRender render;
  tagKestroStreamType noAudio = {};
  ASSERT_EQ(S_OK, render.openAudioPlayback(noAudio));
  // The engine never started, so the block is dropped before the format is looked at.
  std::vector<char> block(640);
  EXPECT_EQ(S_OK, render.write(2, 0, 0, block.data(), block.size(), 1, nullptr));
}

// A device that takes nothing while the test does not read: the file PCM writes into a
// named pipe the test holds open (read-write, so that every open of the writer succeeds).
TEST(AudioRender, MaxCacheRefusesOnceSixteenBlocksWait) {
  TempDir dir;
  const std::string fifo = dir.path("out.fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const int pipe = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(pipe, 0);
  routeDevice("KCM_AUDIO_OUT", fifo);
  kcm_test::LogCapture log;
  TestRender render;
  render.initAudioDev("kcm_out");
  render.setAudioMaxCacheMS(0);
  tagKestroStreamType type = audioStream(16000, 1);
  ASSERT_EQ(S_OK, render.openAudioPlayback(type));
  std::vector<char> block = rampBytes(640);
  // Feed the device one block at a time until a block stays waiting: the pipe is full
  // and the worker blocks in Pa_WriteStream.
  for (int i = 0; i < 1000 && render.waitUntilDrained(std::chrono::milliseconds(500)); ++i)
    ASSERT_EQ(S_OK, render.write(2, 0, 0, block.data(), block.size(), 1, nullptr));
  const unsigned long waiting = render.engine()->GetQueuePacketCount();
  ASSERT_GE(waiting, 1u);
  ASSERT_LT(waiting, 16u);
  render.setAudioMaxCacheMS(500);
  unsigned long accepted = 0;
  while (accepted < 100 && render.write(2, 0, 0, block.data(), block.size(), 1, nullptr) == S_OK) ++accepted;
  // Each waiting 640-byte block holds 1024 bytes: 16 of them are 512 ms at 32,000 B/s.
  EXPECT_EQ(16u - waiting, accepted);
  EXPECT_EQ(16u, render.engine()->GetQueuePacketCount());
  EXPECT_EQ(E_FAIL, render.write(2, 0, 0, block.data(), block.size(), 1, nullptr));
  EXPECT_EQ(2, log.Count(kRefusedBlock));
  // With no cap every block is taken.
  render.setAudioMaxCacheMS(0);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(S_OK, render.write(2, 0, 0, block.data(), block.size(), 1, nullptr));
  // Drain the pipe so that close can play the rest out.
  std::thread reader([pipe] {
    char sink[65536];
    for (int idle = 0; idle < 200;) idle = read(pipe, sink, sizeof(sink)) > 0 ? 0 : idle + 1, usleep(1000);
  });
  render.closeAudioPlayback();
  reader.join();
  close(pipe);
}

// Pull mode over the same pipe: PortAudio's callback takes 256 frames (512 bytes) at a
// time while the buffer holds more than that, and silence otherwise.
TEST(AudioRender, PullModeDeliversBufferedBytesAndKeepsAnExactRemainder) {
  TempDir dir;
  const std::string fifo = dir.path("out.fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const int pipe = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(pipe, 0);
  routeDevice("KCM_AUDIO_OUT", fifo);
  TestRender render(1);
  render.initAudioDev("kcm_out");
  tagKestroStreamType type = audioStream(16000, 1);
  ASSERT_EQ(S_OK, render.openAudioPlayback(type));
  const std::vector<char> payload = rampBytes(16 * 512, 7);
  ASSERT_EQ(S_OK, render.write(2, 0, 0, const_cast<char*>(payload.data()), payload.size(), 1, nullptr));
  const std::vector<char> delivered(payload.begin(), payload.end() - 512);
  std::vector<char> stream;
  auto found = stream.end();
  char chunk[65536];
  while (stream.size() < (8u << 20)) {
    const ssize_t got = read(pipe, chunk, sizeof(chunk));
    if (got > 0) stream.insert(stream.end(), chunk, chunk + got);
    else usleep(1000);
    found = std::search(stream.begin(), stream.end(), delivered.begin(), delivered.end());
    if (found != stream.end() && stream.end() - found > static_cast<long>(payload.size() + 65536)) break;
  }
  ASSERT_NE(stream.end(), found);
  // The last 512 bytes are exactly one callback's need: they stay in the buffer.
  const std::vector<char> after(found + delivered.size(), found + payload.size());
  EXPECT_EQ(std::vector<char>(512, 0), after);
  std::atomic<bool> closed(false);
  std::thread reader([&] {
    while (!closed) read(pipe, chunk, sizeof(chunk)) > 0 || usleep(1000);
  });
  render.closeAudioPlayback();
  closed = true;
  reader.join();
  close(pipe);
}
