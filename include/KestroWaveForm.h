// 16-bit PCM capture and playback on the system's wave-form devices, chosen by name.
//
// On Linux the wave-form devices are the ALSA PCMs of the configuration in force, listed
// by their configuration names ("default", …; see mmsystem.h). Frames are 20 ms for
// capture and frameMs for playback; at most eight frames are in flight per direction.
//
// Calling order: kcm_createWaveFormInputDevice / kcm_createWaveFormOutputDevice, open,
// start, (input: frames reach the sink; output: write), stop, close, Ex_Release. A
// stopped device is closed and opened again before it starts once more. Without an
// engine (before open, after close or a failed open) start answers E_FAIL, write answers
// E_FAIL and the other operations do nothing.
#pragma once

#include "KestroExport.h"
#include "KestroUnknownEx.h"
#include "mmreg.h"

// Receives every captured frame, on the input device's worker thread.
class IWaveFormDataSink : public IUnknownEx {
 public:
  // `context` is the one given to open; `data` is valid only during the call.
  virtual void onWaveFormData(void* context, const char* data, unsigned long length) = 0;

 protected:
  ~IWaveFormDataSink() = default;
};

class IWaveFormDevice : public IUnknownEx {
 public:
  // S_OK, or E_FAIL when the device is not opened (or the wave call fails).
  virtual long start() = 0;
  virtual long stop() = 0;
  // Input: toggles delivery to the sink (frames keep being captured and recycled).
  // Output: does nothing and answers 0.
  virtual long pause() = 0;
  // Stops, closes and releases the engine.
  virtual long close() = 0;
  // percent × 655: 100 gives 65,500 (0xFFDC). Output sets both channels.
  virtual long setVolume(unsigned long percent) = 0;
  // Bytes per frame, 0 without an engine.
  virtual unsigned long getFrameSize() = 0;

 protected:
  ~IWaveFormDevice() = default;
};

class IWaveFormInputDevice : public IWaveFormDevice {
 public:
  // Opens the input device whose name is exactly `deviceName` (no match: E_FAIL, the
  // device stays without an engine). The format is normalised with kcm_checkWaveFormatEx
  // (restrictToCodec: the speech codec's formats). `reserved` is not used. `sink` may be
  // null; it must stay alive until close returns.
  virtual long open(const wchar_t* deviceName, unsigned long reserved, void* context, const WAVEFORMATEX* format,
                    IWaveFormDataSink* sink, int restrictToCodec) = 0;

 protected:
  ~IWaveFormInputDevice() = default;
};

class IWaveFormOutputDevice : public IWaveFormDevice {
 public:
  // Opens the output device named exactly `deviceName` (null: device 0, the default),
  // with frames of frameMs milliseconds. A format or frame length that gives 0-byte
  // frames answers E_INVALIDARG.
  virtual long open(const WAVEFORMATEX* format, const wchar_t* deviceName, int restrictToCodec, int frameMs) = 0;
  // Stages the bytes and plays every whole frame; bytes short of a frame wait for the
  // next write. Frames written before start are dropped. Answers 0 (E_FAIL without an
  // engine).
  virtual long write(const char* data, unsigned long length) = 0;

 protected:
  ~IWaveFormOutputDevice() = default;
};

// New devices with no engine; null only when allocation fails.
KCM_API IWaveFormInputDevice* kcm_createWaveFormInputDevice();
KCM_API IWaveFormOutputDevice* kcm_createWaveFormOutputDevice();
