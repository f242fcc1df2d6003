// The software test devices as filters: their pins, capabilities, formats, pin
// categories, the camera's crossbar and the tone generator's mixer.
#include <gtest/gtest.h>

#include <vector>

#include "DeviceTestSupport.h"
#include "KestroDeviceCapabilities.h"
#include "streams.h"
#include "uuids.h"

namespace {

using kcm_test::DeviceTest;

IBaseFilter* openStandardCamera() {
  IBaseFilter* camera = nullptr;
  EXPECT_EQ(S_OK, KcmCreateTestPatternCamera(nullptr, nullptr, &camera));
  return camera;
}

// The first pin of `direction` (one reference).
IPin* firstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  IEnumPins* pins = nullptr;
  filter->EnumPins(&pins);
  IPin* pin = nullptr;
  IPin* found = nullptr;
  while (found == nullptr && pins->Next(1, &pin, nullptr) == S_OK) {
    PIN_DIRECTION pinDirection;
    pin->QueryDirection(&pinDirection);
    if (pinDirection == direction) found = pin;
    else pin->Release();
  }
  pins->Release();
  return found;
}

template <class Interface>
Interface* query(IUnknown* object, REFIID iid) {
  Interface* found = nullptr;
  EXPECT_EQ(S_OK, object->QueryInterface(iid, reinterpret_cast<void**>(&found)));
  return found;
}

GUID pinCategory(IPin* pin) {
  IKsPropertySet* properties = query<IKsPropertySet>(pin, IID_IKsPropertySet);
  GUID category = GUID_NULL;
  DWORD returned = 0;
  EXPECT_EQ(S_OK, properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category),
                                  &returned));
  EXPECT_EQ(sizeof(GUID), returned);
  DWORD small = 0;
  EXPECT_EQ(E_UNEXPECTED, properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &small, 4, &returned));
  EXPECT_EQ(E_PROP_ID_UNSUPPORTED, properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_MEDIUM, nullptr, 0, &category,
                                                   sizeof(category), &returned));
  EXPECT_EQ(E_PROP_SET_UNSUPPORTED, properties->Get(GUID_NULL, 0, nullptr, 0, &category, sizeof(category), &returned));
  properties->Release();
  return category;
}

VIDEOINFOHEADER* videoInfo(AM_MEDIA_TYPE* type) { return reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat); }

TEST_F(DeviceTest, CameraOffersEachFormatSizeAndRateAsOneCapability) {
  IBaseFilter* camera = openStandardCamera();
  IPin* capture = firstPin(camera, PINDIR_OUTPUT);
  EXPECT_EQ(PIN_CATEGORY_CAPTURE, pinCategory(capture));
  IAMStreamConfig* config = query<IAMStreamConfig>(capture, IID_IAMStreamConfig);
  int count = 0;
  int size = 0;
  ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
  EXPECT_EQ(3 * 4 * 3, count);  // YUY2, RV32, I420 × four sizes × three rates
  EXPECT_EQ(static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)), size);

  AM_MEDIA_TYPE* type = nullptr;
  VIDEO_STREAM_CONFIG_CAPS caps{};
  ASSERT_EQ(S_OK, config->GetStreamCaps(0, &type, reinterpret_cast<BYTE*>(&caps)));
  EXPECT_EQ(MEDIASUBTYPE_YUY2, type->subtype);
  EXPECT_EQ(160, videoInfo(type)->bmiHeader.biWidth);
  EXPECT_EQ(333333, videoInfo(type)->AvgTimePerFrame);
  EXPECT_EQ(160u * 120u * 2u, videoInfo(type)->bmiHeader.biSizeImage);
  EXPECT_EQ(160, caps.MaxOutputSize.cx);
  EXPECT_EQ(333333, caps.MinFrameInterval);
  DeleteMediaType(type);

  ASSERT_EQ(S_OK, config->GetStreamCaps(count - 1, &type, reinterpret_cast<BYTE*>(&caps)));
  EXPECT_EQ(MEDIASUBTYPE_I420, type->subtype);
  EXPECT_EQ(1280u * 720u * 3u / 2u, videoInfo(type)->bmiHeader.biSizeImage);
  DeleteMediaType(type);

  type = reinterpret_cast<AM_MEDIA_TYPE*>(&caps);
  EXPECT_EQ(S_FALSE, config->GetStreamCaps(count, &type, reinterpret_cast<BYTE*>(&caps)));
  EXPECT_EQ(nullptr, type);
  EXPECT_EQ(E_INVALIDARG, config->GetStreamCaps(-1, &type, reinterpret_cast<BYTE*>(&caps)));
  config->Release();
  capture->Release();
  camera->Release();
}

TEST_F(DeviceTest, CameraTakesOfferedSizesAtAnyRateUpToItsFastest) {
  IBaseFilter* camera = openStandardCamera();
  IPin* capture = firstPin(camera, PINDIR_OUTPUT);
  IAMStreamConfig* config = query<IAMStreamConfig>(capture, IID_IAMStreamConfig);
  AM_MEDIA_TYPE* type = nullptr;
  VIDEO_STREAM_CONFIG_CAPS caps{};
  ASSERT_EQ(S_OK, config->GetStreamCaps(12, &type, reinterpret_cast<BYTE*>(&caps)));  // RV32 160 × 120 at 30 fps
  EXPECT_EQ(MEDIASUBTYPE_RGB32, type->subtype);

  videoInfo(type)->bmiHeader.biWidth = 100;  // not offered
  EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(type));
  videoInfo(type)->bmiHeader.biWidth = 640;
  videoInfo(type)->bmiHeader.biHeight = 480;
  videoInfo(type)->bmiHeader.biSizeImage = 1;  // the camera says what a picture takes
  videoInfo(type)->AvgTimePerFrame = 166666;   // faster than it can
  EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(type));
  videoInfo(type)->AvgTimePerFrame = 500000;  // 20 fps: not listed, but within its range
  EXPECT_EQ(S_OK, config->SetFormat(type));
  DeleteMediaType(type);

  ASSERT_EQ(S_OK, config->GetFormat(&type));
  EXPECT_EQ(640, videoInfo(type)->bmiHeader.biWidth);
  EXPECT_EQ(500000, videoInfo(type)->AvgTimePerFrame);
  EXPECT_EQ(640u * 480u * 4u, videoInfo(type)->bmiHeader.biSizeImage);
  DeleteMediaType(type);

  // Once a format is set, it is the only one the pin proposes.
  IEnumMediaTypes* types = nullptr;
  ASSERT_EQ(S_OK, capture->EnumMediaTypes(&types));
  AM_MEDIA_TYPE* proposed[2] = {nullptr, nullptr};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, types->Next(2, proposed, &fetched));
  EXPECT_EQ(1u, fetched);
  DeleteMediaType(proposed[0]);
  types->Release();
  config->Release();
  capture->Release();
  camera->Release();
}

TEST_F(DeviceTest, CameraBringsItsCrossbarIntoTheGraph) {
  kcm_test::DeviceGraph graph;
  IBaseFilter* camera = openStandardCamera();
  ASSERT_EQ(S_OK, graph.graph()->AddFilter(camera, L"camera"));
  IPin* analog = firstPin(camera, PINDIR_INPUT);
  EXPECT_EQ(PIN_CATEGORY_ANALOGVIDEOIN, pinCategory(analog));
  IPin* upstream = nullptr;
  ASSERT_EQ(S_OK, analog->ConnectedTo(&upstream));
  PIN_INFO info{};
  ASSERT_EQ(S_OK, upstream->QueryPinInfo(&info));
  IAMCrossbar* crossbar = query<IAMCrossbar>(info.pFilter, IID_IAMCrossbar);
  long outputs = 0;
  long inputs = 0;
  EXPECT_EQ(S_OK, crossbar->get_PinCounts(&outputs, &inputs));
  EXPECT_EQ(2, outputs);
  EXPECT_EQ(3, inputs);
  long related = 0;
  long type = 0;
  EXPECT_EQ(S_OK, crossbar->get_CrossbarPinInfo(TRUE, 1, &related, &type));
  EXPECT_EQ(PhysConn_Video_SVideo, type);
  EXPECT_EQ(2, related);
  EXPECT_EQ(S_OK, crossbar->CanRoute(0, 1));
  EXPECT_EQ(S_FALSE, crossbar->CanRoute(0, 2));  // audio never feeds video
  EXPECT_EQ(E_INVALIDARG, crossbar->CanRoute(5, 0));
  EXPECT_EQ(E_INVALIDARG, crossbar->get_CrossbarPinInfo(FALSE, 2, &related, &type));
  crossbar->Release();
  info.pFilter->Release();
  upstream->Release();
  analog->Release();
  camera->Release();
}

TEST_F(DeviceTest, ToneGeneratorOffersPcmWithMixerAndBufferNegotiation) {
  IBaseFilter* tone = nullptr;
  ASSERT_EQ(S_OK, kcm_test::DeviceGraph().createDeviceFilter(FALSE, const_cast<wchar_t*>(KCM_TEST_TONE_NAME),
                                                           const_cast<wchar_t*>(kcm_test::testToneDisplayName().c_str()),
                                                           &tone));
  IPin* capture = firstPin(tone, PINDIR_OUTPUT);
  IAMStreamConfig* config = query<IAMStreamConfig>(capture, IID_IAMStreamConfig);
  int count = 0;
  int size = 0;
  ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
  EXPECT_EQ(10, count);
  EXPECT_EQ(static_cast<int>(sizeof(AUDIO_STREAM_CONFIG_CAPS)), size);
  AM_MEDIA_TYPE* type = nullptr;
  AUDIO_STREAM_CONFIG_CAPS caps{};
  ASSERT_EQ(S_OK, config->GetStreamCaps(0, &type, reinterpret_cast<BYTE*>(&caps)));
  EXPECT_EQ(FORMAT_WaveFormatEx, type->formattype);
  EXPECT_EQ(48000u, caps.MaximumSampleFrequency);
  WAVEFORMATEX* wave = reinterpret_cast<WAVEFORMATEX*>(type->pbFormat);
  wave->nChannels = 3;
  EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(type));
  DeleteMediaType(type);
  config->Release();

  IAMAudioInputMixer* mixer = query<IAMAudioInputMixer>(capture, IID_IAMAudioInputMixer);
  EXPECT_EQ(E_INVALIDARG, mixer->put_MixLevel(1.5));
  EXPECT_EQ(S_OK, mixer->put_MixLevel(0.5));
  double level = 0;
  EXPECT_EQ(S_OK, mixer->get_MixLevel(&level));
  EXPECT_EQ(0.5, level);
  mixer->Release();

  IAMBufferNegotiation* negotiation = query<IAMBufferNegotiation>(capture, IID_IAMBufferNegotiation);
  ALLOCATOR_PROPERTIES suggested{20, 3200, 1, 0};
  EXPECT_EQ(S_OK, negotiation->SuggestAllocatorProperties(&suggested));
  ALLOCATOR_PROPERTIES read{};
  EXPECT_EQ(S_OK, negotiation->GetAllocatorProperties(&read));
  EXPECT_EQ(3200, read.cbBuffer);
  negotiation->Release();
  capture->Release();
  tone->Release();
}

// A video pin has no mixer to offer.
TEST_F(DeviceTest, CameraPinHasNoMixer) {
  IBaseFilter* camera = openStandardCamera();
  IPin* capture = firstPin(camera, PINDIR_OUTPUT);
  void* mixer = nullptr;
  EXPECT_EQ(E_NOINTERFACE, capture->QueryInterface(IID_IAMAudioInputMixer, &mixer));
  capture->Release();
  camera->Release();
}

}  // namespace
