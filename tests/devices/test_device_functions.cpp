// The device functions of the graph base and the exported kcm_ device functions, over
// the software test devices and test cameras of particular shapes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "DeviceTestSupport.h"
#include "KestroDeviceCapabilities.h"
#include "core/LogCapture.h"
#include "streams.h"
#include "uuids.h"

namespace {

using kcm_test::DeviceGraph;
using kcm_test::DeviceTest;
using kcm_test::SettingsFile;

constexpr DWORD fourCC(const char (&text)[5]) {
  return DWORD(BYTE(text[0])) | DWORD(BYTE(text[1])) << 8 | DWORD(BYTE(text[2])) << 16 | DWORD(BYTE(text[3])) << 24;
}

// Test cameras of particular shapes, registered as devices for one test.
class ShapedCamera {
 public:
  ShapedCamera(const wchar_t* friendlyName, const wchar_t* path, HRESULT (*open)(LPCWSTR, IBaseFilter**))
      : path_(path) {
    KcmRegisterCaptureDevice(CLSID_VideoInputDeviceCategory, friendlyName, path, open);
  }
  ~ShapedCamera() { KcmRevokeCaptureDevice(path_.c_str()); }
  std::wstring displayName() const { return KCM_DEVICE_DISPLAY_NAME_PREFIX + path_; }

 private:
  const std::wstring path_;
};

const SIZE kOneSize[] = {{320, 240}};
const LONGLONG kOneRate[] = {400000};

// Offers YUY2 and RGBA: the pair the scoring decides between.
HRESULT openYuy2AndRgbaCamera(LPCWSTR, IBaseFilter** filter) {
  static const DWORD codes[] = {fourCC("YUY2"), fourCC("RGBA")};
  const KcmTestCameraShape shape{codes, 2, kOneSize, 1, kOneRate, 1};
  return KcmCreateTestPatternCamera(&shape, L"YUY2 and RGBA camera", filter);
}

// Offers only sizes and a rate that no table row holds.
HRESULT openOddSizeCamera(LPCWSTR, IBaseFilter** filter) {
  static const DWORD codes[] = {fourCC("YUY2")};
  static const SIZE sizes[] = {{1000, 700}, {123, 45}};
  static const LONGLONG rates[] = {370000};
  const KcmTestCameraShape shape{codes, 1, sizes, 2, rates, 1};
  return KcmCreateTestPatternCamera(&shape, L"Odd size camera", filter);
}

HRESULT openTwinCamera(LPCWSTR, IBaseFilter** filter) {
  return KcmCreateTestPatternCamera(nullptr, L"Twin camera", filter);
}

wchar_t* text(const std::wstring& value) { return const_cast<wchar_t*>(value.c_str()); }

IPin* capturePin(IBaseFilter* filter) {
  IEnumPins* pins = nullptr;
  filter->EnumPins(&pins);
  IPin* pin = nullptr;
  IPin* found = nullptr;
  while (found == nullptr && pins->Next(1, &pin, nullptr) == S_OK) {
    PIN_DIRECTION direction;
    pin->QueryDirection(&direction);
    if (direction == PINDIR_OUTPUT) found = pin;
    else pin->Release();
  }
  pins->Release();
  return found;
}

// The format the device's capture pin is set to (caller deletes it).
AM_MEDIA_TYPE* currentFormat(IBaseFilter* device) {
  IPin* pin = capturePin(device);
  IAMStreamConfig* config = nullptr;
  pin->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(&config));
  AM_MEDIA_TYPE* type = nullptr;
  config->GetFormat(&type);
  config->Release();
  pin->Release();
  return type;
}

TEST(DeviceListing, WithoutDevicesOnlyNone) {
  if (access("/dev/video0", F_OK) == 0) GTEST_SKIP() << "this machine has a camera";
  kcm_test::TestDevicesSwitch off("0");
  std::vector<std::pair<std::wstring, std::wstring>> list;
  // COM is not entered on this thread: the listing enters it itself.
  EXPECT_EQ(S_OK, kcm_enumDShowDeviceList(true, list));
  ASSERT_EQ(1u, list.size());  // this machine has no cameras
  EXPECT_EQ(L"None", list[0].first);
  EXPECT_EQ(L"None", list[0].second);
  CoUninitialize();
}

TEST_F(DeviceTest, ListingNamesTheTestDevicesAfterNone) {
  std::vector<std::pair<std::wstring, std::wstring>> video;
  EXPECT_EQ(S_OK, kcm_enumDShowDeviceList(true, video));
  ASSERT_GE(video.size(), 2u);
  EXPECT_EQ(L"None", video.front().first);
  EXPECT_EQ(KCM_TEST_CAMERA_NAME, video.back().first);
  EXPECT_EQ(kcm_test::testCameraDisplayName(), video.back().second);
  std::vector<std::pair<std::wstring, std::wstring>> audio;
  EXPECT_EQ(S_OK, kcm_enumDShowDeviceList(false, audio));
  EXPECT_EQ(KCM_TEST_TONE_NAME, audio.back().first);
}

TEST_F(DeviceTest, DeviceIsFoundByExactNameAndDisplayName) {
  DeviceGraph graph;
  IBaseFilter* device = nullptr;
  EXPECT_EQ(S_OK, graph.createDeviceFilter(TRUE, text(KCM_TEST_CAMERA_NAME), text(kcm_test::testCameraDisplayName()),
                                           &device));
  ASSERT_NE(nullptr, device);
  device->Release();
  device = nullptr;
  EXPECT_EQ(E_FAIL, graph.createDeviceFilter(TRUE, text(L"kestro test pattern camera"),
                                             text(kcm_test::testCameraDisplayName()), &device));
  EXPECT_EQ(E_FAIL, graph.createDeviceFilter(TRUE, text(KCM_TEST_CAMERA_NAME), text(L"@device:kcm:elsewhere"), &device));
  EXPECT_EQ(E_FAIL, graph.createDeviceFilter(FALSE, text(KCM_TEST_CAMERA_NAME), text(kcm_test::testCameraDisplayName()),
                                             &device));
  EXPECT_EQ(nullptr, device);
  // By category and friendly name the case does not matter.
  EXPECT_EQ(S_OK, graph.createFilter(CLSID_AudioInputDeviceCategory, L"KESTRO TEST TONE GENERATOR", &device));
  device->Release();
  EXPECT_EQ(E_INVALIDARG, graph.createFilter(CLSID_AudioInputDeviceCategory, L"no such device", &device));
  EXPECT_EQ(E_POINTER, graph.createFilter(CLSID_AudioInputDeviceCategory, nullptr, &device));
}

TEST_F(DeviceTest, CheckDisplayNameZeroTakesTheFirstDeviceOfTheName) {
  ShapedCamera first(L"Twin camera", L"twin:first", &openTwinCamera);
  ShapedCamera second(L"Twin camera", L"twin:second", &openTwinCamera);
  DeviceGraph graph;
  IBaseFilter* device = nullptr;
  {
    SettingsFile settings("<KestroCommonModule><checkDisplayName value=\"0\"/></KestroCommonModule>");
    EXPECT_EQ(S_OK, graph.createDeviceFilter(TRUE, text(L"Twin camera"), text(L"@device:kcm:no-such"), &device));
    device->Release();
  }
  {
    SettingsFile settings("<KestroCommonModule><checkDisplayName value=\"1\"/></KestroCommonModule>");
    EXPECT_EQ(E_FAIL, graph.createDeviceFilter(TRUE, text(L"Twin camera"), text(L"@device:kcm:no-such"), &device));
    EXPECT_EQ(S_OK, graph.createDeviceFilter(TRUE, text(L"Twin camera"), text(second.displayName()), &device));
    device->Release();
  }
  {
    SettingsFile settings("<KestroCommonModule><checkDisplayName value=");  // malformed: the default, 1
    EXPECT_EQ(E_FAIL, graph.createDeviceFilter(TRUE, text(L"Twin camera"), text(L"@device:kcm:no-such"), &device));
  }
}

TEST_F(DeviceTest, VideoCapabilitiesAreTheTableRowsInDeviceOrder) {
  std::vector<tagVideoSizeItem> sizes;
  std::vector<tagVideoFpsItem> rates;
  ASSERT_EQ(S_OK, kcm_enumVideoDeviceCapabilities(text(KCM_TEST_CAMERA_NAME), text(kcm_test::testCameraDisplayName()),
                                                  sizes, rates));
  ASSERT_EQ(4u, sizes.size());
  EXPECT_STREQ("160  X 120", sizes[0].name);
  EXPECT_STREQ("320  X 240", sizes[1].name);
  EXPECT_STREQ("640  X 480", sizes[2].name);
  EXPECT_STREQ("1280 X 720", sizes[3].name);
  EXPECT_EQ(1280, sizes[3].width);
  EXPECT_EQ(720, sizes[3].height);
  ASSERT_EQ(3u, rates.size());
  EXPECT_STREQ("30 fps", rates[0].name);
  EXPECT_STREQ("25 fps", rates[1].name);
  EXPECT_STREQ("15 fps", rates[2].name);
  EXPECT_EQ(666666, rates[2].AvgTimePerFrame);
}

TEST_F(DeviceTest, SizesOutsideTheTableAreLeftOut) {
  ShapedCamera odd(L"Odd size camera", L"odd:camera", &openOddSizeCamera);
  std::vector<tagVideoSizeItem> sizes;
  std::vector<tagVideoFpsItem> rates;
  ASSERT_EQ(S_OK, kcm_enumVideoDeviceCapabilities(text(L"Odd size camera"), text(odd.displayName()), sizes, rates));
  EXPECT_TRUE(sizes.empty());
  EXPECT_TRUE(rates.empty());
}

TEST_F(DeviceTest, AudioCapabilitiesAreTheTableRows) {
  std::vector<tagAudioChannelItem> channels;
  std::vector<tagAudioSampleRateItem> rates;
  ASSERT_EQ(S_OK, kcm_enumAudioDeviceCapabilities(text(KCM_TEST_TONE_NAME), text(kcm_test::testToneDisplayName()),
                                                  channels, rates));
  ASSERT_EQ(2u, channels.size());
  EXPECT_STREQ("Stereo", channels[0].name);
  EXPECT_STREQ("Mono", channels[1].name);
  ASSERT_EQ(5u, rates.size());
  EXPECT_STREQ("8000  Hz", rates[0].name);
  EXPECT_STREQ("48000 Hz", rates[4].name);
}

TEST_F(DeviceTest, CapabilitiesOfAMissingDeviceFailWithTheirLogLines) {
  kcm_test::LogCapture log;
  std::vector<tagVideoSizeItem> sizes;
  std::vector<tagVideoFpsItem> rates;
  EXPECT_EQ(E_FAIL, kcm_enumVideoDeviceCapabilities(text(L"Nobody's camera"), text(L"@device:kcm:nothing"), sizes, rates));
  EXPECT_EQ(1, log.Count("hr = CDShowGraphBase::createDeviceFilter(TRUE, szDeviceName, szDisplayName, &deviceFilter)"));
  EXPECT_EQ(1, log.Count("kestrocommonmodule"));
  std::vector<tagAudioChannelItem> channels;
  std::vector<tagAudioSampleRateItem> sampleRates;
  EXPECT_EQ(E_FAIL, kcm_enumAudioDeviceCapabilities(nullptr, nullptr, channels, sampleRates));
  EXPECT_EQ(1, log.Count("createDeviceFilter(FALSE"));
  EXPECT_TRUE(sizes.empty() && channels.empty());
}

TEST_F(DeviceTest, PreferRgbChoosesRgbaOverYuy2) {
  ShapedCamera camera(L"YUY2 and RGBA camera", L"pair:camera", &openYuy2AndRgbaCamera);
  for (int preferRGB : {0, 1}) {
    DeviceGraph graph;
    IBaseFilter* device = nullptr;
    ASSERT_EQ(S_OK, graph.createDeviceFilter(TRUE, text(L"YUY2 and RGBA camera"), text(camera.displayName()), &device));
    EXPECT_EQ(S_OK, graph.configVideoDevice(device, 320, 240, 0, preferRGB));
    AM_MEDIA_TYPE* type = currentFormat(device);
    EXPECT_EQ(preferRGB ? MEDIASUBTYPE_ARGB32 : MEDIASUBTYPE_YUY2, type->subtype) << "preferRGB " << preferRGB;
    DeleteMediaType(type);
    device->Release();
  }
}

TEST_F(DeviceTest, ConfigurationTakesTheRequestedSizeAndRate) {
  DeviceGraph graph;
  IBaseFilter* device = nullptr;
  ASSERT_EQ(S_OK, graph.createDeviceFilter(TRUE, text(KCM_TEST_CAMERA_NAME), text(kcm_test::testCameraDisplayName()),
                                           &device));
  EXPECT_EQ(S_OK, graph.configVideoDevice(device, 0, 0, 0, 0));  // nothing asked: nothing done
  EXPECT_EQ(S_OK, graph.configVideoDevice(device, 640, 480, 1000000, 1));
  AM_MEDIA_TYPE* type = currentFormat(device);
  const VIDEOINFOHEADER* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
  EXPECT_EQ(MEDIASUBTYPE_RGB32, type->subtype);  // RV32 scores 12 with preferRGB
  EXPECT_EQ(640, info->bmiHeader.biWidth);
  EXPECT_EQ(480, info->bmiHeader.biHeight);
  EXPECT_EQ(1000000, info->AvgTimePerFrame);
  DeleteMediaType(type);

  kcm_test::LogCapture log;
  EXPECT_EQ(E_FAIL, graph.configVideoDevice(device, 333, 222, 0, 0));  // no such size
  EXPECT_EQ(1, log.Count("\"E_FAIL\""));
  EXPECT_EQ(1, log.Count("\"hr\""));
  EXPECT_EQ(E_POINTER, graph.configVideoDevice(nullptr, 640, 480, 0, 0));
  DeviceGraph idle;
  idle.destoryGraphBuild();
  EXPECT_EQ(E_POINTER, idle.configVideoDevice(device, 640, 480, 0, 0));
  device->Release();
}

TEST_F(DeviceTest, AudioConfigurationSuggestsTwentyFrameBuffers) {
  DeviceGraph graph;
  IBaseFilter* device = nullptr;
  ASSERT_EQ(S_OK, graph.createDeviceFilter(FALSE, text(KCM_TEST_TONE_NAME), text(kcm_test::testToneDisplayName()), &device));
  EXPECT_EQ(S_OK, graph.configAudioDevice(device, 1, 16000, 16));
  AM_MEDIA_TYPE* type = currentFormat(device);
  const WAVEFORMATEX* wave = reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
  EXPECT_EQ(1, wave->nChannels);
  EXPECT_EQ(16000u, wave->nSamplesPerSec);
  EXPECT_EQ(2, wave->nBlockAlign);
  EXPECT_EQ(32000u, wave->nAvgBytesPerSec);
  DeleteMediaType(type);
  IPin* pin = capturePin(device);
  IAMBufferNegotiation* negotiation = nullptr;
  ASSERT_EQ(S_OK, pin->QueryInterface(IID_IAMBufferNegotiation, reinterpret_cast<void**>(&negotiation)));
  ALLOCATOR_PROPERTIES properties{};
  EXPECT_EQ(S_OK, negotiation->GetAllocatorProperties(&properties));
  EXPECT_EQ(20, properties.cBuffers);
  EXPECT_EQ(640, properties.cbBuffer);  // 1 × 16000 × 16 / 8 × 20 / 1000
  negotiation->Release();
  pin->Release();
  device->Release();
}

// A filter without IAMStreamConfig on its pins: the pin's failure is logged and returned.
TEST_F(DeviceTest, PinWithoutStreamConfigFails) {
  DeviceGraph graph;
  IBaseFilter* device = nullptr;
  ASSERT_EQ(S_OK, graph.createDeviceFilter(TRUE, text(KCM_TEST_CAMERA_NAME), text(kcm_test::testCameraDisplayName()),
                                           &device));
  ASSERT_EQ(S_OK, graph.graph()->AddFilter(device, L"camera"));  // brings the crossbar
  IBaseFilter* crossbar = nullptr;
  ASSERT_EQ(S_OK, graph.graph()->FindFilterByName(L"Kestro Test Crossbar", &crossbar));
  kcm_test::LogCapture log;
  EXPECT_EQ(E_NOINTERFACE, graph.configVideoDevice(crossbar, 320, 240, 0, 0));
  EXPECT_EQ(2, log.Count("hr = pPin->QueryInterface( IID_IAMStreamConfig,(void **)&pSC )"));  // both outputs
  EXPECT_EQ(1, log.Count("\"hr\""));
  crossbar->Release();
  device->Release();
}

}  // namespace
