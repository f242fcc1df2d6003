// Capturing from the test devices through a graph into a sample render filter, the
// camera's input selection through its crossbar, and the settings pages.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "DeviceTestSupport.h"
#include "KestroCrossbar.h"
#include "KestroDeviceCapabilities.h"
#include "KestroPlatformDiagnostic.h"
#include "KestroSampleRenderFilter.h"
#include "KestroSampleSourceFilter.h"
#include "core/LogCapture.h"
#include "media/SampleSinkRecorder.h"
#include "uuids.h"

namespace {

using kcm_test::DeviceGraph;
using kcm_test::DeviceTest;

wchar_t* text(const std::wstring& value) { return const_cast<wchar_t*>(value.c_str()); }

// A device of the graph feeding a sample render filter whose samples a recorder keeps.
class CaptureGraph : public DeviceGraph {
 public:
  CaptureGraph(int isVideo, const std::wstring& name, const std::wstring& displayName) {
    EXPECT_EQ(S_OK, createDeviceFilter(isVideo, text(name), text(displayName), &device));
    EXPECT_EQ(S_OK, graph()->AddFilter(device, name.c_str()));
    HRESULT hr = S_OK;
    EXPECT_EQ(S_OK, kcm_createInstance(CSampleRenderFilter::CreateInstance(nullptr, &hr), IID_IBaseFilter,
                                       reinterpret_cast<void**>(&render)));
    ISampleRender* sampleRender = nullptr;
    render->QueryInterface(IID_ISampleRender, reinterpret_cast<void**>(&sampleRender));
    sampleRender->put_SampleRenderSink(&recorder);
    sampleRender->Release();
    EXPECT_EQ(S_OK, graph()->AddFilter(render, L"sample render filter"));
  }
  ~CaptureGraph() override {
    if (control() != nullptr) control()->Stop();
    render->Release();
    device->Release();
  }
  HRESULT connect() { return ConnectFilters(graph(), device, render); }

  IBaseFilter* device = nullptr;
  IBaseFilter* render = nullptr;
  kcm_test::SampleSinkRecorder recorder;
};

TEST_F(DeviceTest, CameraCapturesAtTheConfiguredSizeAndRate) {
  CaptureGraph capture(TRUE, KCM_TEST_CAMERA_NAME, kcm_test::testCameraDisplayName());
  ASSERT_EQ(S_OK, capture.configVideoDevice(capture.device, 320, 240, 400000, 0));
  ASSERT_EQ(S_OK, capture.connect());
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(S_OK, capture.control()->Run());
  ASSERT_TRUE(capture.recorder.WaitFor(10));
  const auto elapsed = std::chrono::steady_clock::now() - started;
  capture.control()->Stop();

  const std::vector<kcm_test::RenderedSample> samples = capture.recorder.Received();
  EXPECT_GE(elapsed, std::chrono::milliseconds(9 * 40 - 20));  // paced at 25 fps, not faster
  for (size_t index = 0; index < 10; ++index) {
    const kcm_test::RenderedSample& sample = samples[index];
    ASSERT_EQ(320u * 240u * 2u, sample.bytes.size());
    EXPECT_EQ(S_OK, sample.timeResult);
    EXPECT_EQ(static_cast<REFERENCE_TIME>(index) * 400000, sample.start);
    EXPECT_EQ(sample.start + 400000, sample.end);
    EXPECT_EQ(Kestro::makeFourCC("YUY2"), sample.streamType.fourCC);
  }
  EXPECT_NE(samples[0].bytes, samples[1].bytes);  // the pattern moves
}

TEST_F(DeviceTest, CaptureStopsAndRunsAgain) {
  CaptureGraph capture(TRUE, KCM_TEST_CAMERA_NAME, kcm_test::testCameraDisplayName());
  ASSERT_EQ(S_OK, capture.configVideoDevice(capture.device, 160, 120, 333333, 1));
  ASSERT_EQ(S_OK, capture.connect());
  ASSERT_EQ(S_OK, capture.control()->Run());
  ASSERT_TRUE(capture.recorder.WaitFor(2));
  ASSERT_EQ(S_OK, capture.control()->Stop());
  const size_t afterStop = capture.recorder.Received().size();
  EXPECT_FALSE(capture.recorder.WaitFor(afterStop + 1, std::chrono::milliseconds(150)));
  ASSERT_EQ(S_OK, capture.control()->Run());
  EXPECT_TRUE(capture.recorder.WaitFor(afterStop + 2));
  EXPECT_EQ(160u * 120u * 4u, capture.recorder.Received().back().bytes.size());  // RV32
}

// A connected pin takes only formats its downstream pin accepts, and a running one none:
// the refusals leave the connection's format as it was.
TEST_F(DeviceTest, ConnectedDeviceKeepsItsFormatWhenRefused) {
  CaptureGraph capture(TRUE, KCM_TEST_CAMERA_NAME, kcm_test::testCameraDisplayName());
  ASSERT_EQ(S_OK, capture.connect());  // the first capability: YUY2 160 × 120
  kcm_test::LogCapture log;
  EXPECT_EQ(E_FAIL, capture.configVideoDevice(capture.device, 320, 240, 0, 0));  // the render filter knows its type
  EXPECT_EQ(S_OK, capture.configVideoDevice(capture.device, 160, 120, 0, 0));  // accepted: reconnected
  ASSERT_EQ(S_OK, capture.control()->Run());
  EXPECT_EQ(E_FAIL, capture.configVideoDevice(capture.device, 160, 120, 0, 0));  // running
  ASSERT_TRUE(capture.recorder.WaitFor(1));
  capture.control()->Stop();
  const kcm_test::RenderedSample first = capture.recorder.Received().front();
  EXPECT_EQ(160u * 120u * 2u, first.bytes.size());
  EXPECT_EQ(160, first.streamType.videoInfo.bmiHeader.biWidth);
}

TEST_F(DeviceTest, ToneGeneratorRecordsTwentyMillisecondBlocks) {
  CaptureGraph capture(FALSE, KCM_TEST_TONE_NAME, kcm_test::testToneDisplayName());
  ASSERT_EQ(S_OK, capture.configAudioDevice(capture.device, 2, 48000, 16));
  ASSERT_EQ(S_OK, capture.connect());
  ASSERT_EQ(S_OK, capture.control()->Run());
  ASSERT_TRUE(capture.recorder.WaitFor(3));
  capture.control()->Stop();
  const std::vector<kcm_test::RenderedSample> samples = capture.recorder.Received();
  ASSERT_EQ(3840u, samples[0].bytes.size());  // 2 × 48000 × 2 × 20 / 1000
  EXPECT_EQ(200000, samples[1].start);
  int16_t peak = 0;
  for (size_t at = 0; at + 1 < samples[0].bytes.size(); at += 2) {
    peak = std::max<int16_t>(peak, static_cast<int16_t>(samples[0].bytes[at] | samples[0].bytes[at + 1] << 8));
  }
  EXPECT_NEAR(8192, peak, 50);  // a quarter of full scale
}

TEST_F(DeviceTest, CrossbarRoutesSelectTheCameraInput) {
  DeviceGraph graph;
  IBaseFilter* camera = nullptr;
  ASSERT_EQ(S_OK, graph.createDeviceFilter(TRUE, text(KCM_TEST_CAMERA_NAME), text(kcm_test::testCameraDisplayName()),
                                           &camera));
  CCrossbar* crossbar = nullptr;
  EXPECT_EQ(E_FAIL, graph.getCrossBar(camera, &crossbar));  // not in a graph: no crossbar before it
  EXPECT_EQ(nullptr, crossbar);
  ASSERT_EQ(S_OK, graph.graph()->AddFilter(camera, L"camera"));
  ASSERT_EQ(S_OK, graph.getCrossBar(camera, &crossbar));
  long count = 0;
  EXPECT_EQ(S_OK, crossbar->GetInputCount(&count));
  EXPECT_EQ(2, count);
  wchar_t name[32];
  EXPECT_EQ(S_OK, crossbar->GetInputName(1, name, 32));
  EXPECT_EQ(std::wstring(L"Video SVideo"), name);

  EXPECT_EQ(S_OK, graph.configPhysicalType(crossbar, PhysConn_Video_SVideo));
  long index = -1;
  EXPECT_EQ(S_OK, crossbar->GetInputIndex(&index));
  EXPECT_EQ(1, index);
  IBaseFilter* crossbarFilter = nullptr;
  ASSERT_EQ(S_OK, graph.graph()->FindFilterByName(L"Kestro Test Crossbar", &crossbarFilter));
  IAMCrossbar* routing = nullptr;
  ASSERT_EQ(S_OK, crossbarFilter->QueryInterface(IID_IAMCrossbar, reinterpret_cast<void**>(&routing)));
  long routedVideo = -1;
  long routedAudio = -1;
  routing->get_IsRoutedTo(0, &routedVideo);
  routing->get_IsRoutedTo(1, &routedAudio);
  EXPECT_EQ(1, routedVideo);
  EXPECT_EQ(2, routedAudio);  // the S-video input's paired audio

  EXPECT_EQ(S_OK, graph.configPhysicalType(crossbar, PhysConn_Video_Tuner));  // none: nothing changes
  routing->get_IsRoutedTo(0, &routedVideo);
  EXPECT_EQ(1, routedVideo);
  EXPECT_EQ(S_OK, graph.configPhysicalType(nullptr, PhysConn_Video_Composite));
  EXPECT_EQ(S_OK, graph.configPhysicalType_3rdParty(camera, PhysConn_Video_Composite));  // no card interface
  EXPECT_EQ(E_POINTER, graph.getCrossBar(nullptr, &crossbar));
  routing->Release();
  crossbarFilter->Release();
  delete crossbar;
  camera->Release();
}

std::vector<std::string>& diagnosticLines() {
  static std::vector<std::string> lines;
  return lines;
}

// The property frame's lines, while the object lives.
class DiagnosticCapture {
 public:
  DiagnosticCapture() {
    diagnosticLines().clear();
    previous_ = KcmSetPlatformDiagnosticSink([](const char* line) { diagnosticLines().push_back(line); });
  }
  ~DiagnosticCapture() { KcmSetPlatformDiagnosticSink(previous_); }
  bool has(const std::string& text) const {
    for (const std::string& line : diagnosticLines()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

 private:
  KcmPlatformDiagnosticSink previous_ = nullptr;
};

TEST_F(DeviceTest, SettingsPagesShowTheCaptureFormat) {
  DiagnosticCapture frame;
  EXPECT_EQ(S_OK, kcm_showDShowDeviceSettingPage(TRUE, text(KCM_TEST_CAMERA_NAME), text(kcm_test::testCameraDisplayName())));
  EXPECT_TRUE(frame.has("Property frame"));
  EXPECT_TRUE(frame.has("Format: YUY2 160 x 120, 30.00 fps"));
  EXPECT_TRUE(frame.has("Capabilities: 36"));

  diagnosticLines().clear();
  EXPECT_EQ(S_OK, kcm_showDShowDeviceSettingPage(FALSE, text(KCM_TEST_TONE_NAME), text(kcm_test::testToneDisplayName())));
  EXPECT_TRUE(frame.has("Mixer: enabled"));
  EXPECT_TRUE(frame.has("Format: PCM 2 ch 8000 Hz 16 bit"));
}

TEST_F(DeviceTest, ObjectsWithoutPagesAreRefused) {
  DeviceGraph graph;
  EXPECT_EQ(E_NOINTERFACE, graph.showPropertyPage(graph.graph(), nullptr));
  EXPECT_EQ(E_POINTER, graph.showPropertyPage(nullptr, nullptr));
  kcm_test::LogCapture log;
  EXPECT_EQ(E_FAIL, kcm_showDShowDeviceSettingPage(TRUE, text(L"missing"), text(L"missing")));
  EXPECT_EQ(1, log.Count("hr = CDShowGraphBase::createDeviceFilter(bIsVideo"));
}

TEST_F(DeviceTest, RenderersOfACaptureGraphLeaveTheDeviceOut) {
  CaptureGraph capture(TRUE, KCM_TEST_CAMERA_NAME, kcm_test::testCameraDisplayName());
  ASSERT_EQ(S_OK, capture.connect());
  std::vector<IBaseFilter*> renderers;
  EXPECT_EQ(S_OK, CDShowGraphBase::gatherRenderFilter(capture.graph(), renderers));
  ASSERT_EQ(1u, renderers.size());
  EXPECT_EQ(capture.render, renderers[0]);
  for (IBaseFilter* renderer : renderers) renderer->Release();
}

}  // namespace
