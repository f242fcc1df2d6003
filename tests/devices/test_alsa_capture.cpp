// Audio capture on ALSA, against a file PCM of a private configuration: what the file
// holds arrives byte for byte through a graph. (The V4L2 side has no camera here; its
// listing must simply come back empty.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "DeviceTestSupport.h"
#include "KestroDeviceCapabilities.h"
#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "media/SampleSinkRecorder.h"

namespace {

using kcm_test::DeviceGraph;
using kcm_test::DeviceTest;

// Before any ALSA call of the process.
struct SelectPrivateAlsaConfiguration {
  SelectPrivateAlsaConfiguration() { setenv("ALSA_CONFIG_PATH", KCM_DEVICE_TEST_DIR "/asound.conf", 1); }
} selectPrivateAlsaConfiguration;

const wchar_t kFileCaptureName[] = L"Kestro file capture";
const wchar_t kFileCaptureDisplayName[] = L"@device:kcm:alsa:kcm_capture";

std::vector<BYTE> pattern(size_t bytes) {
  std::vector<BYTE> data(bytes);
  for (size_t at = 0; at < bytes; ++at) data[at] = static_cast<BYTE>(at * 7 + at / 251);
  return data;
}

TEST_F(DeviceTest, AlsaCapturePcmsAreListed) {
  std::vector<std::pair<std::wstring, std::wstring>> audio;
  ASSERT_EQ(S_OK, kcm_enumDShowDeviceList(false, audio));
  bool found = false;
  for (const auto& device : audio) found = found || (device.first == kFileCaptureName && device.second == kFileCaptureDisplayName);
  EXPECT_TRUE(found);
}

TEST_F(DeviceTest, NoCameraMeansNoV4l2Devices) {
  if (access("/dev/video0", F_OK) == 0) GTEST_SKIP() << "this machine has a camera";
  kcm_test::TestDevicesSwitch off("0");
  std::vector<std::pair<std::wstring, std::wstring>> video;
  ASSERT_EQ(S_OK, kcm_enumDShowDeviceList(true, video));
  EXPECT_EQ(1u, video.size());
}

TEST_F(DeviceTest, AlsaCaptureDeliversTheFileByteForByte) {
  char directory[] = "/tmp/kcm-devices-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(directory));
  const std::string input = std::string(directory) + "/in.raw";
  const std::vector<BYTE> expected = pattern(48000 * 2 * 2 / 5);  // 200 ms of 16-bit stereo at 48 kHz
  std::ofstream(input, std::ios::binary).write(reinterpret_cast<const char*>(expected.data()),
                                                static_cast<std::streamsize>(expected.size()));
  setenv("KCM_DEVICE_TEST_IN", input.c_str(), 1);

  kcm_test::SampleSinkRecorder recorder;
  {
    DeviceGraph graph;
    IBaseFilter* device = nullptr;
    ASSERT_EQ(S_OK, graph.createDeviceFilter(FALSE, const_cast<wchar_t*>(kFileCaptureName),
                                             const_cast<wchar_t*>(kFileCaptureDisplayName), &device));
    ASSERT_EQ(S_OK, graph.graph()->AddFilter(device, kFileCaptureName));
    ASSERT_EQ(S_OK, graph.configAudioDevice(device, 2, 48000, 16));
    HRESULT hr = S_OK;
    IBaseFilter* render = nullptr;
    ASSERT_EQ(S_OK, kcm_createInstance(CSampleRenderFilter::CreateInstance(nullptr, &hr), IID_IBaseFilter,
                                       reinterpret_cast<void**>(&render)));
    ISampleRender* sampleRender = nullptr;
    render->QueryInterface(IID_ISampleRender, reinterpret_cast<void**>(&sampleRender));
    sampleRender->put_SampleRenderSink(&recorder);
    sampleRender->Release();
    ASSERT_EQ(S_OK, graph.graph()->AddFilter(render, L"sample render filter"));
    ASSERT_EQ(S_OK, CDShowGraphBase::ConnectFilters(graph.graph(), device, render));
    ASSERT_EQ(S_OK, graph.control()->Run());
    // The file PCM does not pace: ten 20 ms blocks hold the whole file.
    EXPECT_TRUE(recorder.WaitFor(10));
    graph.control()->Stop();
    render->Release();
    device->Release();
  }
  std::vector<BYTE> captured;
  for (const kcm_test::RenderedSample& sample : recorder.Received()) {
    EXPECT_EQ(3840u, sample.bytes.size());
    captured.insert(captured.end(), sample.bytes.begin(), sample.bytes.end());
  }
  ASSERT_GE(captured.size(), expected.size());
  captured.resize(expected.size());  // past the end the file PCM reads garbage
  EXPECT_EQ(expected, captured);
  std::remove(input.c_str());
  rmdir(directory);
}

}  // namespace
