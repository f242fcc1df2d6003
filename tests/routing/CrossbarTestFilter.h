// Crossbar hardware we do not have, for the routing tests: a filter with IAMCrossbar
// whose connectors are given as a list, plus a stand-in capture filter. Pins of both carry analog video and connect directly, without allocators.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "streams.h"

namespace kcm_test {

class AnalogTestPin : public CBasePin {
 public:
  AnalogTestPin(CBaseFilter* filter, CCritSec* lock, LPCWSTR name, PIN_DIRECTION direction);
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT GetMediaType(int position, CMediaType* type) override;
  // No samples flow over analog pins.
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  // Connects this output pin to `input` with the analog video type.
  HRESULT ConnectTo(IPin* input);
};

struct CrossbarConnector {
  long physicalType;
  long relatedIndex;  // -1 when none
};

class CrossbarTestFilter : public CBaseFilter, public IAMCrossbar {
  CCritSec m_lock;  // first: the pins are built with it

 public:
  // A crossbar that routes every video input to every video output and every audio
  // input to every audio output. The new filter holds one reference, the caller's.
  static CrossbarTestFilter* Create(std::vector<CrossbarConnector> inputs, std::vector<CrossbarConnector> outputs);
  // The usual analog device: tuner, composite and S-video inputs with their audio, one
  // video decoder output (0) and one audio decoder output (1).
  static CrossbarTestFilter* CreateDeviceCrossbar();
  ~CrossbarTestFilter() override;

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;
  int GetPinCount() override { return static_cast<int>(m_pins.size()); }
  CBasePin* GetPin(int index) override;

  STDMETHODIMP get_PinCounts(long* outputPinCount, long* inputPinCount) override;
  STDMETHODIMP CanRoute(long outputPinIndex, long inputPinIndex) override;
  STDMETHODIMP Route(long outputPinIndex, long inputPinIndex) override;
  STDMETHODIMP get_IsRoutedTo(long outputPinIndex, long* inputPinIndex) override;
  STDMETHODIMP get_CrossbarPinInfo(BOOL isInputPin, long pinIndex, long* pinIndexRelated,
                                   long* physicalType) override;

  AnalogTestPin* Input(long index) { return m_pins[static_cast<size_t>(index)].get(); }
  AnalogTestPin* Output(long index) { return m_pins[m_inputs.size() + static_cast<size_t>(index)].get(); }
  // Every Route call in order, as (output, input).
  std::vector<std::pair<long, long>> routeCalls;

 private:
  CrossbarTestFilter(std::vector<CrossbarConnector> inputs, std::vector<CrossbarConnector> outputs);
  bool validIndex(long index, bool isInput) const;

  std::vector<CrossbarConnector> m_inputs;
  std::vector<CrossbarConnector> m_outputs;
  std::vector<long> m_routedTo;  // per output, -1 when not routed
  std::vector<std::unique_ptr<AnalogTestPin>> m_pins;  // inputs, then outputs
};

// The capture filter: an analog video input pin and an output pin; no crossbar.
class CaptureTestFilter : public CBaseFilter {
  CCritSec m_lock;

 public:
  static CaptureTestFilter* Create();
  int GetPinCount() override { return 2; }
  CBasePin* GetPin(int index) override;

  AnalogTestPin input;
  AnalogTestPin output;

 private:
  CaptureTestFilter();
};

}  // namespace kcm_test
