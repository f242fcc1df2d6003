// CKestroAudioRender: plays 16-bit PCM blocks that the host hands it on a sound output
// device through PortAudio.
//
// Queued blocks (and volume changes) go through a queue service obtained from the
// library's own file "KestroCommonModule.dll" by name; its single worker opens the
// PortAudio stream when the service starts, writes each block with a blocking
// Pa_WriteStream and closes the stream when the service stops. The max cache (ms of
// audio) makes write refuse blocks while the waiting items already hold that much.
//
// On Linux the devices are PortAudio's ALSA devices, named as the ALSA configuration
// names its PCMs ("default", …). Stock PortAudio has no stream-volume call: the gain is
// applied to the samples before they are written (clipped to 16 bits).
//
// Calling order: construct; optionally initAudioDev, setAudioMaxCacheMS,
// enableAudioPlayback; openAudioPlayback; any number of write and setVolume;
// closeAudioPlayback; destroy (close first, so that no worker callback runs during
// destruction).
#pragma once

#include <atomic>

#include "KestroExport.h"
#include "KestroIOBuffer.h"
#include "KestroMediaStreamType.h"
#include "KestroQueueService.h"
#include "KestroThreadLock.h"

// PortAudio's own declarations, so that hosts need no PortAudio headers.
typedef void PaStream;
struct PaStreamCallbackTimeInfo;

class CAudioDataQueueSink;

class KCM_API CKestroAudioRender {
 public:
  CKestroAudioRender();
  // Copies the stream type, the settings, the pull-mode switch and the buffered pull-mode
  // bytes. The copy has a sink of its own and no engine or stream until it is opened.
  CKestroAudioRender(const CKestroAudioRender& other);
  CKestroAudioRender& operator=(const CKestroAudioRender&) = delete;
  virtual ~CKestroAudioRender();

  // S_OK (also for a stream type without audio, which starts nothing), E_FAIL when the
  // queue service cannot be loaded or the format has a block align of 0, E_NOINTERFACE
  // when it does not start. A second open while playing changes nothing.
  virtual long openAudioPlayback(tagKestroStreamType& type);
  // mediaType must be 2 (E_FAIL otherwise). Disabled playback, no open yet, or a closed
  // render: S_OK, the block is dropped. Over the max cache: E_FAIL, the block is
  // dropped and logged. queued = 0 writes in the caller's thread.
  virtual long write(int mediaType, __int64 time1, __int64 time2, void* sample, unsigned long len, int queued,
                     tagKestroStreamType* type);
  virtual void closeAudioPlayback();
  virtual long setAudioMaxCacheMS(int ms);
  virtual long enableAudioPlayback(int enable);
  // Takes effect in queue order, after the blocks queued before it.
  virtual long setVolume(float volume);
  // Names longer than 259 characters are cut; null changes nothing.
  virtual long initAudioDev(const char* deviceName);
  virtual bool OnAudioDataQueueServiceStart();
  virtual bool OnAudioDataQueueServiceStop();
  virtual void OnAudioDataQueueServiceSink(unsigned long queue, unsigned long type, void* data, unsigned long len,
                                           __int64 value1, __int64 value2, __int64 value3, __int64 value4);
  virtual void OnAudioDataQueueServiceIdle();

 protected:
  long writeAudioStreamData(void* data, unsigned long len);
  int onPaCallback(const void* input, void* output, unsigned long frameCount, const PaStreamCallbackTimeInfo* timeInfo,
                   unsigned long statusFlags);
  static int paCallback(const void* input, void* output, unsigned long frameCount,
                        const PaStreamCallbackTimeInfo* timeInfo, unsigned long statusFlags, void* userData);

  tagKestroStreamType _streamType;
  CQueueServiceHelper* _queueServiceHelper;  // owned; holds the engine
  IQueueServiceEngine* _audioDataQueueService;
  CAudioDataQueueSink* _audioDataQueueSink;  // owned
  PaStream* _stream;  // touched by the engine's worker (and unqueued writes)
  Kestro::CIOBuffer _audioStreamBuffer;  // pull mode only; guarded by _audioStreamBufferLock
  CThreadLock _audioStreamBufferLock;
  unsigned long _bytesPerSecond;
  int _pullMode;  // 0: the worker pushes with Pa_WriteStream; else PortAudio pulls
  int _maxCacheMS;
  int _enablePlayback;
  char _deviceName[260];
  std::atomic<float> _gain;  // the last volume the worker applied, for every sample path
};
