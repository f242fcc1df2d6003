// The two wave-form device objects that kcm_createWaveFormInputDevice and
// kcm_createWaveFormOutputDevice answer: thin fronts over a CWaveForm engine.
#pragma once

#include <wchar.h>

#include <vector>

#include "KestroWaveForm.h"
#include "UnknownExObject.h"
#include "WaveForm.h"

// The index of the device named exactly `name` among those the wave-in or wave-out
// functions list, or -1.
template <class Caps>
int findWaveDevice(const wchar_t* name, UINT (*deviceCount)(), MMRESULT (*deviceCaps)(UINT_PTR, Caps*, UINT)) {
  if (name == nullptr) return -1;
  const UINT count = deviceCount();
  for (UINT index = 0; index < count; ++index) {
    Caps caps = {};
    if (deviceCaps(index, &caps, sizeof(caps)) == MMSYSERR_NOERROR && wcscmp(caps.szPname, name) == 0)
      return static_cast<int>(index);
  }
  return -1;
}

class CWaveFormInputDevice : public CUnknownExObject<IWaveFormInputDevice, IID_IWaveFormInputDevice> {
 public:
  CWaveFormInputDevice();
  virtual ~CWaveFormInputDevice();
  CWaveFormInputDevice(const CWaveFormInputDevice&) = delete;
  CWaveFormInputDevice& operator=(const CWaveFormInputDevice&) = delete;

  long start() override;
  long stop() override;
  long pause() override;
  long close() override;
  long setVolume(unsigned long percent) override;
  unsigned long getFrameSize() override;
  long open(const wchar_t* deviceName, unsigned long reserved, void* context, const WAVEFORMATEX* format,
            IWaveFormDataSink* sink, int restrictToCodec) override;

 private:
  // The engine's function subscription: one captured frame is waiting.
  static void onCapturedFrame(UINT event, void* context, WPARAM wParam, LPARAM lParam);
  void deliverCapturedFrame();

  CWaveForm* _engine;
  volatile LONG _paused;  // toggled by the host, read by the engine's input worker
  void* _context;
  IWaveFormDataSink* _sink;
};

class CWaveFormOutputDevice : public CUnknownExObject<IWaveFormOutputDevice, IID_IWaveFormOutputDevice> {
 public:
  CWaveFormOutputDevice();
  virtual ~CWaveFormOutputDevice();
  CWaveFormOutputDevice(const CWaveFormOutputDevice&) = delete;
  CWaveFormOutputDevice& operator=(const CWaveFormOutputDevice&) = delete;

  long start() override;
  long stop() override;
  long pause() override;
  long close() override;
  long setVolume(unsigned long percent) override;
  unsigned long getFrameSize() override;
  long open(const WAVEFORMATEX* format, const wchar_t* deviceName, int restrictToCodec, int frameMs) override;
  long write(const char* data, unsigned long length) override;

  // The engine, null without one; for diagnostics such as the bytes still in flight.
  CWaveForm* engine() const { return _engine; }

 private:
  CWaveForm* _engine;
  std::vector<char> _staging;  // bytes short of a whole frame
};
