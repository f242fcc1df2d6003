// One open wave-form handle: its ALSA PCM, its queue of WAVEHDR buffers and the thread
// that moves them and calls the handle's callback.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "AlsaPcm.h"
#include "mmsystem.h"

namespace wave {

class Stream : public std::enable_shared_from_this<Stream> {
 public:
  // Opens device `deviceId` of the cached list (WAVE_MAPPER: the first) and registers the
  // new handle. Answers an MMRESULT; with WAVE_FORMAT_QUERY only checks the format.
  static MMRESULT open(alsa::Direction direction, void** handle, UINT deviceId, LPCWAVEFORMATEX format,
                       DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
  // The live stream of `handle` in `direction`, or null.
  static std::shared_ptr<Stream> find(const void* handle, alsa::Direction direction);

  ~Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  MMRESULT close();
  MMRESULT prepare(LPWAVEHDR header, UINT size);
  MMRESULT unprepare(LPWAVEHDR header, UINT size);
  MMRESULT enqueue(LPWAVEHDR header, UINT size);
  MMRESULT start();   // input: begin recording; output: continue after pause
  MMRESULT pause();   // output: hold playback at the current buffer
  MMRESULT stop();    // input: end recording, hand back a partly filled buffer
  MMRESULT reset();   // hand back every queued buffer
  // Left in the low word, right in the high word (input: the low word for every channel).
  void setVolume(DWORD volume);
  DWORD volume() const { return _volume.load(); }

 private:
  enum class Request { None, Stop, Reset };

  Stream(alsa::Direction direction, std::unique_ptr<alsa::Pcm> pcm, LPWAVECALLBACK callback, DWORD_PTR instance);

  void notify(UINT message, DWORD_PTR param1);
  MMRESULT ask(Request request);
  void run();
  bool readyToTransfer() const;
  void serveRequest(std::unique_lock<std::mutex>& lock);
  bool transferFront(WAVEHDR* header);
  long transferChunk(char* data, unsigned long frames);
  void completeFront(std::vector<WAVEHDR*>& completed);
  void deliver(const std::vector<WAVEHDR*>& completed);

  const alsa::Direction _direction;
  std::unique_ptr<alsa::Pcm> _pcm;  // used by the worker, and by close after it ended
  const LPWAVECALLBACK _callback;   // null for CALLBACK_NULL
  const DWORD_PTR _instance;
  std::atomic<DWORD> _volume;
  std::atomic<bool> _softwareGain;
  std::atomic<bool> _interrupt;  // asks the worker to leave a transfer at the next chunk

  std::mutex _requestMutex;  // one host request at a time
  std::mutex _mutex;         // guards everything below
  std::condition_variable _wake;
  std::condition_variable _served;
  std::deque<WAVEHDR*> _queue;
  Request _request;
  bool _recording;  // input started
  bool _paused;     // output paused
  bool _failed;     // the device failed: buffers come back untouched
  bool _quit;
  bool _workerEnded;  // requests are not waited for any more

  DWORD _position;  // bytes of the front buffer done; worker only
  std::vector<char> _scratch;  // gain-scaled copy of output samples; worker only
  std::thread _worker;
};

}  // namespace wave
