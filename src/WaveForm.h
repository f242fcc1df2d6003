// CWaveForm: the engine behind the wave-form devices. It runs an input and/or an output
// direction on winmm, owns their handles and frame lists, runs one worker thread per
// direction and publishes a notification per captured frame through its CAdvise part.
#pragma once

#include <atomic>
#include <deque>

#include "minwindef.h"
#include "mmsystem.h"
#include "synchapi.h"

// One frame: a WAVEHDR followed by its data.
struct stWaveFrame {
  static const DWORD kMaxDataBytes = 176400;  // one second of 44.1 kHz stereo 16-bit
  WAVEHDR header;
  char data[kMaxDataBytes];
};

class IIUnknown {
 public:
  virtual long AddRef() = 0;
  virtual long Release() = 0;

 protected:
  ~IIUnknown() = default;
};

// Each operation takes the direction mask it acts on and answers nonzero on success.
class IIStreamDevice {
 public:
  virtual int open(int mask) = 0;
  virtual int close(int mask) = 0;
  virtual int start(int mask) = 0;
  virtual int stop(int mask) = 0;
  virtual int pause(int mask) = 0;
  virtual int restart(int mask) = 0;
  virtual int reset(int mask) = 0;
  virtual int getState(int mask) = 0;
  virtual int getBytesInFlight(int mask) = 0;

 protected:
  ~IIStreamDevice() = default;
};

template <class T>
class IIDataSource {
 public:
  virtual int getFrame(T* frame) = 0;
  virtual int releaseFrame(T frame) = 0;

 protected:
  ~IIDataSource() = default;
};

template <class T>
class IIDataSink {
 public:
  virtual int putFrame(T frame) = 0;
  virtual int getEmptyFrame(T* frame) = 0;

 protected:
  ~IIDataSink() = default;
};

// The target of a function subscription.
typedef void (*WaveFormNotifyFunction)(UINT event, void* context, WPARAM wParam, LPARAM lParam);

class IIAdvise {
 public:
  virtual int Advise(void* target, void* context, DWORD eventMask, DWORD kind) = 0;
  virtual int Unadvise(void* target) = 0;
  virtual void Notify(UINT event, WPARAM wParam, LPARAM lParam) = 0;

 protected:
  ~IIAdvise() = default;
};

// Subscriptions of the kinds of winmm's callback flags: CALLBACK_EVENT (the target is an
// event), CALLBACK_FUNCTION (a WaveFormNotifyFunction), CALLBACK_THREAD (a thread id).
// There are no windows on this platform: a CALLBACK_WINDOW subscription is kept but its
// notifications are logged and dropped.
class CAdvise : public IIAdvise {
 public:
  CAdvise();
  virtual ~CAdvise();
  CAdvise(const CAdvise&) = delete;
  CAdvise& operator=(const CAdvise&) = delete;

  int Advise(void* target, void* context, DWORD eventMask, DWORD kind) override;
  int Unadvise(void* target) override;
  void Notify(UINT event, WPARAM wParam, LPARAM lParam) override;

 private:
  struct Subscription {
    void* target;
    void* context;
    DWORD eventMask;
    DWORD kind;
  };

  CRITICAL_SECTION _lock;  // guards _subscriptions
  std::deque<Subscription> _subscriptions;
};

class CWaveForm : public IIUnknown,
                  public IIStreamDevice,
                  public IIDataSource<stWaveFrame*>,
                  public IIDataSink<stWaveFrame*>,
                  public CAdvise {
 public:
  enum { kInput = 1, kOutput = 2 };
  enum State { kOpened = 1, kCreated = 2, kStarted = 3, kStopped = 4, kResetting = 5, kPaused = 6 };
  enum { kCapturedFrameEvent = 0x401 };

  CWaveForm(int frameMs, int mask, UINT inputDevice, UINT outputDevice, const WAVEFORMATEX* inputFormat,
            const WAVEFORMATEX* outputFormat, DWORD inputVolume, DWORD outputVolume);
  ~CWaveForm() override;
  CWaveForm(const CWaveForm&) = delete;
  CWaveForm& operator=(const CWaveForm&) = delete;

  long AddRef() override;
  long Release() override;

  int open(int mask) override;
  int close(int mask) override;
  int start(int mask) override;
  int stop(int mask) override;
  int pause(int mask) override;
  int restart(int mask) override;
  int reset(int mask) override;
  int getState(int mask) override;
  int getBytesInFlight(int mask) override;

  int getFrame(stWaveFrame** frame) override;
  int releaseFrame(stWaveFrame* frame) override;
  int putFrame(stWaveFrame* frame) override;
  int getEmptyFrame(stWaveFrame** frame) override;

  unsigned long frameSize() const { return _frameSize; }
  // Sets and stores the level: input, the microphone's mixer volume (0–0xFFFF);
  // output, waveOutSetVolume (left low word, right high word).
  void setVolume(int mask, DWORD level);

 private:
  // The state of one direction. Lists hold at most kMaxListFrames frames.
  struct Direction {
    Direction();
    ~Direction();
    std::atomic<int> state;  // a State; read by the worker
    // Held while a frame is handed to the device and while the state leaves kStarted, so
    // that no frame reaches the device after the reset that stop relies on.
    CRITICAL_SECTION feedLock;
    HANDLE handle;  // HWAVEIN or HWAVEOUT
    WAVEFORMATEX format;
    UINT device;
    DWORD volume;
    volatile LONG bytesInFlight;
    CRITICAL_SECTION freeLock;
    std::deque<stWaveFrame*> freeFrames;
    CRITICAL_SECTION doneLock;
    std::deque<WAVEHDR*> doneHeaders;  // filled by the wave callback
    CRITICAL_SECTION queueLock;        // input: captured frames; output: pending frames
    std::deque<stWaveFrame*> queuedFrames;
    HANDLE semaphore;
    HANDLE thread;
  };

  static void CALLBACK waveCallback(HANDLE handle, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                    DWORD_PTR param2);
  static unsigned __stdcall inputWorker(void* self);
  static unsigned __stdcall outputWorker(void* self);

  Direction& direction(int mask) { return mask == kInput ? _input : _output; }
  bool isConfigured(int mask) const { return (_mask & mask) != 0; }
  stWaveFrame* newFrame();
  void recycleFrame(Direction& dir, stWaveFrame* frame);
  std::deque<WAVEHDR*> takeDoneHeaders(Direction& dir);
  bool addInputFrame();
  bool writeOldestPending();
  bool feedDevice(int mask);
  void topUp(int mask);
  void runInput();
  void runOutput();
  void setInputVolume(DWORD level);
  void waitForFramesInFlight(Direction& dir);
  void freeFrames(Direction& dir, CRITICAL_SECTION& lock, std::deque<stWaveFrame*>& frames);
  void shutdown(int mask);
  void startWorker(int mask);
  void stopWorker(Direction& dir);

  volatile LONG _references;
  int _mask;
  unsigned long _frameSize;
  volatile LONG _running;  // the workers run while nonzero
  Direction _input;
  Direction _output;
};
