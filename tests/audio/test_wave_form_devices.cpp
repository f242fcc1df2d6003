// The wave-form capture and playback devices end to end on ALSA file PCMs.
#include <gtest/gtest.h>
#include <string.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "AudioTestSupport.h"
#include "KestroWaveForm.h"
#include "WaveFormDevice.h"
#include "winerror.h"

using namespace audio_test;

namespace {

// A host sink that keeps what it receives.
class CollectingSink : public IWaveFormDataSink {
 public:
  bool Ex_IsValid() override { return true; }
  bool Ex_Release() override { return true; }
  void* Ex_QueryInterface(const GUID&, unsigned long) override { return nullptr; }
  void onWaveFormData(void* context, const char* data, unsigned long length) override {
    std::lock_guard<std::mutex> hold(_mutex);
    contexts.push_back(context);
    sizes.push_back(length);
    bytes.insert(bytes.end(), data, data + length);
    _changed.notify_all();
  }
  bool waitForBytes(size_t n) {
    std::unique_lock<std::mutex> hold(_mutex);
    return _changed.wait_for(hold, std::chrono::seconds(5), [&] { return bytes.size() >= n; });
  }
  size_t frames() {
    std::lock_guard<std::mutex> hold(_mutex);
    return sizes.size();
  }

  std::vector<void*> contexts;
  std::vector<unsigned long> sizes;
  std::vector<char> bytes;

 private:
  std::mutex _mutex;
  std::condition_variable _changed;
};

struct DeviceDeleter {
  void operator()(IUnknownEx* device) const { device->Ex_Release(); }
};
typedef std::unique_ptr<IWaveFormInputDevice, DeviceDeleter> InputDevice;
typedef std::unique_ptr<IWaveFormOutputDevice, DeviceDeleter> OutputDevice;

// Waits until every frame handed to the output engine has come back from the device, so
// that a stop loses nothing (a file PCM writes its last buffer out when it is stopped).
bool waitUntilHandedToDevice(IWaveFormOutputDevice* device) {
  CWaveForm* engine = static_cast<CWaveFormOutputDevice*>(device)->engine();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (engine->getBytesInFlight(CWaveForm::kOutput) != 0)
    if (std::chrono::steady_clock::now() > deadline) return false;
    else std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

}  // namespace

TEST(WaveFormDevices, FramesAreTwentyMillisecondsOfTheNormalisedFormat) {
  InputDevice input(kcm_createWaveFormInputDevice());
  EXPECT_EQ(0u, input->getFrameSize());
  WAVEFORMATEX format = pcm16(16000, 1);
  ASSERT_EQ(S_OK, input->open(L"kcm_in", 0, nullptr, &format, nullptr, 0));
  EXPECT_EQ(640u, input->getFrameSize());
  format = pcm16(44100, 2);
  ASSERT_EQ(S_OK, input->open(L"kcm_in", 0, nullptr, &format, nullptr, 0));
  EXPECT_EQ(3528u, input->getFrameSize());
  // Restricted to the speech codec's formats, 44.1 kHz stereo becomes 24 kHz mono.
  ASSERT_EQ(S_OK, input->open(L"kcm_in", 0, nullptr, &format, nullptr, 1));
  EXPECT_EQ(960u, input->getFrameSize());
  OutputDevice output(kcm_createWaveFormOutputDevice());
  format = pcm16(16000, 1);
  ASSERT_EQ(S_OK, output->open(&format, nullptr, 0, 40));
  EXPECT_EQ(1280u, output->getFrameSize());
  EXPECT_EQ(E_INVALIDARG, output->open(&format, nullptr, 0, 0));
}

TEST(WaveFormDevices, NamesThatMatchNoDeviceLeaveTheDeviceWithoutAnEngine) {
  WAVEFORMATEX format = pcm16(16000, 1);
  InputDevice input(kcm_createWaveFormInputDevice());
  ASSERT_EQ(S_OK, input->open(L"kcm_in", 0, nullptr, &format, nullptr, 0));
  EXPECT_EQ(E_FAIL, input->open(L"KCM_IN", 0, nullptr, &format, nullptr, 0));  // exact match only
  EXPECT_EQ(0u, input->getFrameSize());
  EXPECT_EQ(E_FAIL, input->start());
  EXPECT_EQ(S_OK, input->stop());
  EXPECT_EQ(S_OK, input->close());
  OutputDevice output(kcm_createWaveFormOutputDevice());
  EXPECT_EQ(E_FAIL, output->open(&format, L"no such device", 0, 20));
  EXPECT_EQ(E_FAIL, output->start());
  EXPECT_EQ(E_FAIL, output->write("abcd", 4));
  void* queried = input->Ex_QueryInterface(IID_IWaveFormInputDevice, KCM_INTERFACE_VERSION);
  EXPECT_EQ(static_cast<void*>(input.get()), queried);
  EXPECT_EQ(nullptr, input->Ex_QueryInterface(IID_IWaveFormOutputDevice, KCM_INTERFACE_VERSION));
  EXPECT_EQ(static_cast<void*>(output.get()), output->Ex_QueryInterface(IID_IUnknownEx, KCM_INTERFACE_VERSION));
}

TEST(WaveFormDevices, CapturedFileArrivesAtTheSinkInWholeFrames) {
  TempDir dir;
  const std::vector<char> source = rampBytes(25 * 640);
  writeFile(dir.path("in.raw"), source);
  routeDevice("KCM_AUDIO_IN", dir.path("in.raw"));
  CollectingSink sink;
  int context = 0;
  WAVEFORMATEX format = pcm16(16000, 1);
  InputDevice input(kcm_createWaveFormInputDevice());
  ASSERT_EQ(S_OK, input->open(L"kcm_in", 0, &context, &format, &sink, 0));
  ASSERT_EQ(S_OK, input->start());
  ASSERT_TRUE(sink.waitForBytes(source.size()));
  input->stop();
  input->close();
  // The file PCM keeps delivering past the file's end; what the file holds comes first.
  ASSERT_GE(sink.bytes.size(), source.size());
  EXPECT_TRUE(std::equal(source.begin(), source.end(), sink.bytes.begin()));
  for (unsigned long size : sink.sizes) EXPECT_EQ(640u, size);
  for (void* given : sink.contexts) EXPECT_EQ(&context, given);
}

TEST(WaveFormDevices, PauseTwiceResumesDelivery) {
  routeDevice("KCM_AUDIO_IN", "/dev/zero");
  CollectingSink sink;
  WAVEFORMATEX format = pcm16(16000, 1);
  InputDevice input(kcm_createWaveFormInputDevice());
  ASSERT_EQ(S_OK, input->open(L"kcm_in", 0, nullptr, &format, &sink, 0));
  ASSERT_EQ(S_OK, input->start());
  ASSERT_TRUE(sink.waitForBytes(640));
  ASSERT_EQ(S_OK, input->pause());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // a frame being delivered ends
  const size_t whilePaused = sink.frames();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(whilePaused, sink.frames());
  ASSERT_EQ(S_OK, input->pause());
  EXPECT_TRUE(sink.waitForBytes((whilePaused + 10) * 640));
  input->close();
}

TEST(WaveFormDevices, StoppedInputIsClosedAndOpenedAgainBeforeItStarts) {
  routeDevice("KCM_AUDIO_IN", "/dev/zero");
  CollectingSink sink;
  WAVEFORMATEX format = pcm16(8000, 1);
  InputDevice input(kcm_createWaveFormInputDevice());
  ASSERT_EQ(S_OK, input->open(L"kcm_in", 0, nullptr, &format, &sink, 0));
  ASSERT_EQ(S_OK, input->start());
  ASSERT_TRUE(sink.waitForBytes(320));
  input->stop();
  EXPECT_EQ(E_FAIL, input->start());
  input->close();
  ASSERT_EQ(S_OK, input->open(L"kcm_in", 0, nullptr, &format, &sink, 0));
  EXPECT_EQ(S_OK, input->start());
  input->setVolume(50);
  input->close();
}

TEST(WaveFormDevices, OutputSendsNothingUntilAWholeFrameIsStaged) {
  TempDir dir;
  routeDevice("KCM_AUDIO_OUT", dir.path("out.raw"));
  WAVEFORMATEX format = pcm16(16000, 1);
  OutputDevice output(kcm_createWaveFormOutputDevice());
  ASSERT_EQ(S_OK, output->open(&format, L"kcm_out", 0, 20));
  ASSERT_EQ(S_OK, output->start());
  const std::vector<char> audio = rampBytes(3 * 640);
  EXPECT_EQ(0, output->write(audio.data(), 100));
  EXPECT_EQ(0, static_cast<CWaveFormOutputDevice*>(output.get())->engine()->getBytesInFlight(CWaveForm::kOutput));
  output->stop();
  output->close();
  EXPECT_TRUE(readFile(dir.path("out.raw")).empty());

  ASSERT_EQ(S_OK, output->open(&format, L"kcm_out", 0, 20));
  ASSERT_EQ(S_OK, output->start());
  // Odd pieces are staged and sent a whole frame at a time, in order.
  output->write(audio.data(), 100);
  output->write(audio.data() + 100, 1001);
  output->write(audio.data() + 1101, audio.size() - 1101 - 5);
  ASSERT_TRUE(waitUntilHandedToDevice(output.get()));
  output->stop();
  output->close();
  const std::vector<char> played = readFile(dir.path("out.raw"));
  EXPECT_EQ(std::vector<char>(audio.begin(), audio.begin() + 2 * 640), played);
}

TEST(WaveFormDevices, OutputDropsFramesWrittenBeforeStart) {
  TempDir dir;
  routeDevice("KCM_AUDIO_OUT", dir.path("out.raw"));
  WAVEFORMATEX format = pcm16(16000, 1);
  OutputDevice output(kcm_createWaveFormOutputDevice());
  ASSERT_EQ(S_OK, output->open(&format, L"kcm_out", 0, 20));
  const std::vector<char> early = rampBytes(640, 5);
  output->write(early.data(), early.size());
  ASSERT_EQ(S_OK, output->start());
  const std::vector<char> late = rampBytes(640, 9000);
  output->write(late.data(), late.size());
  ASSERT_TRUE(waitUntilHandedToDevice(output.get()));
  output->stop();
  output->close();
  EXPECT_EQ(late, readFile(dir.path("out.raw")));
}

TEST(WaveFormDevices, OutputVolumeOfOneHundredPercentIsLevel65500) {
  TempDir dir;
  routeDevice("KCM_AUDIO_OUT", dir.path("out.raw"));
  WAVEFORMATEX format = pcm16(16000, 1);
  OutputDevice output(kcm_createWaveFormOutputDevice());
  ASSERT_EQ(S_OK, output->open(&format, L"kcm_out", 0, 20));
  output->setVolume(100);
  ASSERT_EQ(S_OK, output->start());
  std::vector<char> loud(640);
  const int16_t fullScale = 32767;
  for (size_t offset = 0; offset < loud.size(); offset += 2) memcpy(&loud[offset], &fullScale, 2);
  output->write(loud.data(), loud.size());
  ASSERT_TRUE(waitUntilHandedToDevice(output.get()));
  output->stop();
  output->close();
  const std::vector<char> played = readFile(dir.path("out.raw"));
  ASSERT_EQ(640u, played.size());
  int16_t sample = 0;
  memcpy(&sample, played.data(), 2);
  EXPECT_EQ(32767 * 65500 / 65535, sample);  // 0xFFDC of 0xFFFF, not unity
}

TEST(WaveFormDevices, AWaveOpenThatFailsMakesStartFail) {
  WAVEFORMATEX twelveBit = pcm16(16000, 1);
  twelveBit.wBitsPerSample = 12;  // no ALSA sample format has it
  OutputDevice output(kcm_createWaveFormOutputDevice());
  ASSERT_EQ(S_OK, output->open(&twelveBit, L"kcm_out", 0, 20));
  EXPECT_EQ(E_FAIL, output->start());
  EXPECT_EQ(0, output->write("abcd", 4));
  EXPECT_EQ(S_OK, output->close());
  InputDevice input(kcm_createWaveFormInputDevice());
  ASSERT_EQ(S_OK, input->open(L"kcm_in", 0, nullptr, &twelveBit, nullptr, 0));
  EXPECT_EQ(E_FAIL, input->start());
}
