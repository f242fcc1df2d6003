#include "FFDShowTestSupport.h"

#include "libloaderapi.h"

namespace kcm_test {

namespace {

HMODULE FFDShowModule() {
  static HMODULE module = LoadLibraryW(L"ffdshow.dll");  // kept for the whole run
  return module;
}

}  // namespace

PFN_createTffdshowFilter FFDShowEntryPoint(FFDShowEntry entry) {
  static const char* const kNames[] = {"createTffdshowVideoDecodecFilter", "createTffdshowAudioDecodecFilter",
                                       "createTffdshowVideoRawFilter", "createTffdshowAudioRawFilter"};
  HMODULE module = FFDShowModule();
  if (module == nullptr) return nullptr;
  return reinterpret_cast<PFN_createTffdshowFilter>(GetProcAddress(module, kNames[static_cast<int>(entry)]));
}

IBaseFilter* CreateFFDShowFilter(FFDShowEntry entry) {
  PFN_createTffdshowFilter create = FFDShowEntryPoint(entry);
  if (create == nullptr) return nullptr;
  IBaseFilter* filter = nullptr;
  HRESULT hr = E_FAIL;
  create(&filter, nullptr, &hr, 1);
  return SUCCEEDED(hr) ? filter : nullptr;
}

IKcmFFDShowSettings* SettingsOf(IBaseFilter* filter) {
  IKcmFFDShowSettings* settings = nullptr;
  filter->QueryInterface(IID_IKcmFFDShowSettings, reinterpret_cast<void**>(&settings));
  return settings;
}

FFDShowRig::FFDShowRig(FFDShowEntry entry) : filter(CreateFFDShowFilter(entry)), harness(nullptr) {
  if (filter == nullptr) return;
  harness = new FilterHarness(filter);
  harness->upstream().wanted = ALLOCATOR_PROPERTIES{4, 1 << 20, 1, 0};
}

FFDShowRig::~FFDShowRig() {
  delete harness;
  if (filter != nullptr) filter->Release();
}

HRESULT FFDShowRig::Start(const AM_MEDIA_TYPE& input) {
  if (harness == nullptr) return E_FAIL;
  HRESULT hr = harness->Connect(&input);
  if (SUCCEEDED(hr)) hr = harness->Run();
  return hr;
}

void FFDShowRig::PushAll(const EncodedStream& stream) {
  for (const EncodedPacket& packet : stream.packets) harness->Push(packet.bytes, packet.start, packet.end);
  harness->upstream().DeliverEndOfStream();
}

std::vector<std::string> ReceivedYv12Md5s(const std::vector<ReceivedSample>& samples, int width, int height,
                                          bool flipped) {
  std::vector<std::string> md5s;
  const int chromaWidth = (width + 1) / 2;
  const int chromaHeight = (height + 1) / 2;
  for (const ReceivedSample& sample : samples) {
    const uint8_t* bytes = sample.bytes.data();
    const uint8_t* v = bytes + width * height;
    const uint8_t* u = v + chromaWidth * chromaHeight;
    const uint8_t* data[4] = {bytes, u, v, nullptr};
    int linesize[4] = {width, chromaWidth, chromaWidth, 0};
    if (flipped) {
      const int rows[3] = {height, chromaHeight, chromaHeight};
      for (int plane = 0; plane < 3; ++plane) {
        data[plane] += linesize[plane] * (rows[plane] - 1);
        linesize[plane] = -linesize[plane];
      }
    }
    md5s.push_back(PlanesMd5(AV_PIX_FMT_YUV420P, width, height, data, linesize));
  }
  return md5s;
}

}  // namespace kcm_test
