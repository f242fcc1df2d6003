#include "TestCrossbarFilter.h"

#include <memory>
#include <vector>

#include "CaptureFilter.h"
#include "DevicePages.h"
#include "uuids.h"

namespace kcm::devices {

namespace {

DEFINE_GUID(CLSID_KcmTestCrossbar, 0x8A3C5E10, 0x1F4B, 0x4C7A, 0x9E, 0x52, 0x0D, 0x6B, 0x21, 0x7F, 0x3A, 0x90);

struct Connector {
  const wchar_t* name;
  long physicalType;
  long related;  // index of the paired pin of the same direction, -1 for none
};

// Inputs, then outputs, in pin order.
const Connector kInputs[] = {{L"0: Video Composite In", PhysConn_Video_Composite, 2},
                             {L"1: Video SVideo In", PhysConn_Video_SVideo, 2},
                             {L"2: Audio Line In", PhysConn_Audio_Line, 0}};
const Connector kOutputs[] = {{L"0: Video Decoder Out", PhysConn_Video_VideoDecoder, 1},
                              {L"1: Audio Decoder Out", PhysConn_Audio_AudioDecoder, 0}};
constexpr long kInputCount = 3;
constexpr long kOutputCount = 2;

bool isVideo(long physicalType) { return physicalType < PhysConn_Audio_Tuner; }

class TestCrossbar final : public CBaseFilter, public IAMCrossbar, public ISpecifyPropertyPages, public IKcmPropertyText {
 public:
  TestCrossbar() : CBaseFilter(NAME("test crossbar"), nullptr, &lock_, CLSID_KcmTestCrossbar) {
    HRESULT hr = S_OK;
    for (const Connector& input : kInputs) addPin(input, PINDIR_INPUT, &hr);
    for (const Connector& output : kOutputs) addPin(output, PINDIR_OUTPUT, &hr);
  }
  ~TestCrossbar() override { pins_.clear(); }

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override {
    CheckPointer(object, E_POINTER);
    if (iid == IID_IAMCrossbar) return GetInterface(static_cast<IAMCrossbar*>(this), object);
    if (iid == IID_ISpecifyPropertyPages) return GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
    if (iid == IID_IKcmPropertyText) return GetInterface(static_cast<IKcmPropertyText*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
  }

  int GetPinCount() override { return static_cast<int>(pins_.size()); }
  CBasePin* GetPin(int index) override {
    return index >= 0 && index < GetPinCount() ? pins_[static_cast<size_t>(index)].get() : nullptr;
  }

  STDMETHODIMP get_PinCounts(long* outputs, long* inputs) override {
    CheckPointer(outputs, E_POINTER);
    CheckPointer(inputs, E_POINTER);
    *outputs = kOutputCount;
    *inputs = kInputCount;
    return S_OK;
  }
  STDMETHODIMP CanRoute(long output, long input) override {
    if (!validOutput(output) || input < -1 || input >= kInputCount) return E_INVALIDARG;
    if (input == -1) return S_OK;
    return isVideo(kOutputs[output].physicalType) == isVideo(kInputs[input].physicalType) ? S_OK : S_FALSE;
  }
  STDMETHODIMP Route(long output, long input) override {
    const HRESULT routable = CanRoute(output, input);
    if (routable != S_OK) return routable == S_FALSE ? E_INVALIDARG : routable;
    CAutoLock hold(&lock_);
    routes_[output] = input;
    return S_OK;
  }
  STDMETHODIMP get_IsRoutedTo(long output, long* input) override {
    CheckPointer(input, E_POINTER);
    if (!validOutput(output)) return E_INVALIDARG;
    CAutoLock hold(&lock_);
    *input = routes_[output];
    return S_OK;
  }
  STDMETHODIMP get_CrossbarPinInfo(BOOL isInput, long index, long* related, long* physicalType) override {
    CheckPointer(related, E_POINTER);
    CheckPointer(physicalType, E_POINTER);
    if (index < 0 || index >= (isInput ? kInputCount : kOutputCount)) return E_INVALIDARG;
    const Connector& connector = isInput ? kInputs[index] : kOutputs[index];
    *related = connector.related;
    *physicalType = connector.physicalType;
    return S_OK;
  }

  STDMETHODIMP GetPages(CAUUID* pages) override { return describePages(pages, CLSID_KcmCrossbarPage); }
  STDMETHODIMP GetPropertyText(LPOLESTR* text) override {
    std::wstring description;
    CAutoLock hold(&lock_);
    for (long output = 0; output < kOutputCount; ++output) {
      const long input = routes_[output];
      description += std::wstring(kOutputs[output].name) + L" <- " + (input < 0 ? L"none" : kInputs[input].name) + L"\n";
    }
    return copyPropertyText(description, text);
  }

 private:
  static bool validOutput(long output) { return output >= 0 && output < kOutputCount; }
  void addPin(const Connector& connector, PIN_DIRECTION direction, HRESULT* hr) {
    const GUID& major = isVideo(connector.physicalType) ? MEDIATYPE_AnalogVideo : MEDIATYPE_AnalogAudio;
    pins_.push_back(std::make_unique<AnalogPin>(this, &lock_, connector.name, direction, major, hr));
  }

  CCritSec lock_;
  std::vector<std::unique_ptr<CBasePin>> pins_;
  long routes_[kOutputCount] = {0, 2};  // composite and line audio, as the hardware powers up
};

}  // namespace

IBaseFilter* createTestCrossbarFilter() {
  TestCrossbar* crossbar = new TestCrossbar();
  crossbar->AddRef();
  return crossbar;
}

}  // namespace kcm::devices
