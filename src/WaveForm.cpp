#include "WaveForm.h"

#include <string.h>

#include <algorithm>
#include <new>
#include <vector>

#include "handleapi.h"
#include "interlockedapi.h"
#include "process.h"

namespace {

const size_t kMaxListFrames = 16;
const LONG kMaxFramesInFlight = 8;
const int kInitialInputFrames = 4;
const int kStopWaitRounds = 10;
const DWORD kStopWaitMs = 100;

LONG readCount(volatile LONG* value) { return InterlockedExchangeAdd(value, 0); }

unsigned long frameSizeOf(int frameMs, int mask, const WAVEFORMATEX* input, const WAVEFORMATEX* output) {
  const WAVEFORMATEX* format = (mask & CWaveForm::kInput) ? input : (mask & CWaveForm::kOutput) ? output : nullptr;
  if (format == nullptr) return 4096;
  const unsigned long long bytes = static_cast<unsigned long long>(format->nAvgBytesPerSec) *
                                   static_cast<unsigned long long>(frameMs > 0 ? frameMs : 0) / 1000;
  return static_cast<unsigned long>(std::min<unsigned long long>(bytes, stWaveFrame::kMaxDataBytes));
}

WAVEHDR* headerOf(stWaveFrame* frame) { return &frame->header; }
stWaveFrame* frameOf(WAVEHDR* header) { return reinterpret_cast<stWaveFrame*>(header); }

}  // namespace

CWaveForm::Direction::Direction()
    : state(kCreated), handle(nullptr), format(), device(0), volume(0), bytesInFlight(0), semaphore(nullptr),
      thread(nullptr) {
  InitializeCriticalSection(&feedLock);
  InitializeCriticalSection(&freeLock);
  InitializeCriticalSection(&doneLock);
  InitializeCriticalSection(&queueLock);
}

CWaveForm::Direction::~Direction() {
  DeleteCriticalSection(&feedLock);
  DeleteCriticalSection(&freeLock);
  DeleteCriticalSection(&doneLock);
  DeleteCriticalSection(&queueLock);
}

CWaveForm::CWaveForm(int frameMs, int mask, UINT inputDevice, UINT outputDevice, const WAVEFORMATEX* inputFormat,
                     const WAVEFORMATEX* outputFormat, DWORD inputVolume, DWORD outputVolume)
    : _references(1),
      _mask(mask & (kInput | kOutput)),
      _frameSize(frameSizeOf(frameMs, mask, inputFormat, outputFormat)),
      _running(1) {
  _input.device = inputDevice;
  _input.volume = inputVolume;
  if (inputFormat != nullptr) _input.format = *inputFormat;
  _output.device = outputDevice;
  _output.volume = outputVolume;
  if (outputFormat != nullptr) _output.format = *outputFormat;
  if (isConfigured(kInput)) startWorker(kInput);
  if (isConfigured(kOutput)) startWorker(kOutput);
}

CWaveForm::~CWaveForm() {
  InterlockedExchange(&_running, 0);
  stopWorker(_input);
  stopWorker(_output);
  shutdown(kInput);
  shutdown(kOutput);
  for (Direction* dir : {&_input, &_output}) {
    // Frames a worker was still holding when close swept the lists come to rest here.
    for (WAVEHDR* header : takeDoneHeaders(*dir)) delete frameOf(header);
    freeFrames(*dir, dir->queueLock, dir->queuedFrames);
    freeFrames(*dir, dir->freeLock, dir->freeFrames);
    // The wave callback may still release a semaphore during the shutdown above.
    if (dir->semaphore != nullptr) CloseHandle(dir->semaphore);
  }
}

long CWaveForm::AddRef() { return InterlockedIncrement(&_references); }

long CWaveForm::Release() {
  const LONG left = InterlockedDecrement(&_references);
  if (left == 0) delete this;
  return left;
}

void CWaveForm::startWorker(int mask) {
  Direction& dir = direction(mask);
  dir.semaphore = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, nullptr);
  dir.thread = reinterpret_cast<HANDLE>(
      _beginthreadex(nullptr, 0, mask == kInput ? inputWorker : outputWorker, this, 0, nullptr));
}

void CWaveForm::stopWorker(Direction& dir) {
  if (dir.thread != nullptr) {
    ReleaseSemaphore(dir.semaphore, 1, nullptr);
    WaitForSingleObject(dir.thread, INFINITE);
    CloseHandle(dir.thread);
    dir.thread = nullptr;
  }
}

// A direction the host did not stop and close in order is taken down here: the wave
// handle must not outlive the engine its callback points at.
void CWaveForm::shutdown(int mask) {
  Direction& dir = direction(mask);
  if (dir.handle == nullptr) return;
  if (mask == kInput)
    waveInReset(static_cast<HWAVEIN>(dir.handle));
  else
    waveOutReset(static_cast<HWAVEOUT>(dir.handle));
  for (WAVEHDR* header : takeDoneHeaders(dir)) recycleFrame(dir, frameOf(header));
  dir.state = kStopped;
  close(mask);
}

int CWaveForm::open(int mask) {
  int opened = 0;
  for (int which : {kInput, kOutput}) {
    if (!(mask & which) || !isConfigured(which)) continue;
    Direction& dir = direction(which);
    if (dir.state != kCreated) continue;
    MMRESULT result = which == kInput
                          ? waveInOpen(reinterpret_cast<HWAVEIN*>(&dir.handle), dir.device, &dir.format,
                                       reinterpret_cast<DWORD_PTR>(&waveCallback), reinterpret_cast<DWORD_PTR>(this),
                                       CALLBACK_FUNCTION)
                          : waveOutOpen(reinterpret_cast<HWAVEOUT*>(&dir.handle), dir.device, &dir.format,
                                        reinterpret_cast<DWORD_PTR>(&waveCallback), reinterpret_cast<DWORD_PTR>(this),
                                        CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
      dir.handle = nullptr;
      continue;
    }
    dir.state = kOpened;
    setVolume(which, dir.volume);
    opened = 1;
  }
  return opened;
}

int CWaveForm::start(int mask) {
  int started = 0;
  if ((mask & kInput) && isConfigured(kInput) && _input.state == kOpened) {
    // Started before the device is: its first frames may come back before waveInStart
    // returns, and the worker hands them on and tops the device up only while started.
    _input.state = kStarted;
    for (int i = 0; i < kInitialInputFrames; ++i) feedDevice(kInput);
    if (waveInStart(static_cast<HWAVEIN>(_input.handle)) == MMSYSERR_NOERROR)
      started = 1;
    else
      _input.state = kOpened;
  }
  if ((mask & kOutput) && isConfigured(kOutput) && _output.state == kOpened) {
    _output.state = kStarted;
    topUp(kOutput);
    started = 1;
  }
  return started;
}

int CWaveForm::stop(int mask) {
  int stopped = 0;
  for (int which : {kInput, kOutput}) {
    if (!(mask & which) || !isConfigured(which)) continue;
    Direction& dir = direction(which);
    EnterCriticalSection(&dir.feedLock);
    const bool started = dir.state == kStarted;
    if (started) dir.state = kResetting;
    LeaveCriticalSection(&dir.feedLock);
    if (!started) continue;
    if (which == kInput)
      waveInReset(static_cast<HWAVEIN>(dir.handle));
    else
      waveOutReset(static_cast<HWAVEOUT>(dir.handle));
    waitForFramesInFlight(dir);
    ReleaseSemaphore(dir.semaphore, 1, nullptr);
    dir.state = kStopped;
    if (which == kInput) waveInStop(static_cast<HWAVEIN>(dir.handle));
    stopped = 1;
  }
  return stopped;
}

void CWaveForm::waitForFramesInFlight(Direction& dir) {
  for (int round = 0; round < kStopWaitRounds && readCount(&dir.bytesInFlight) > 0; ++round) Sleep(kStopWaitMs);
}

int CWaveForm::pause(int mask) {
  if (!(mask & kOutput) || !isConfigured(kOutput) || _output.state != kStarted) return 0;
  if (waveOutPause(static_cast<HWAVEOUT>(_output.handle)) != MMSYSERR_NOERROR) return 0;
  _output.state = kPaused;
  return 1;
}

int CWaveForm::restart(int mask) {
  if (!(mask & kOutput) || !isConfigured(kOutput) || _output.state != kPaused) return 0;
  if (waveOutRestart(static_cast<HWAVEOUT>(_output.handle)) != MMSYSERR_NOERROR) return 0;
  _output.state = kStarted;
  return 1;
}

int CWaveForm::reset(int mask) {
  int done = 0;
  if ((mask & kInput) && _input.handle != nullptr)
    done = waveInReset(static_cast<HWAVEIN>(_input.handle)) == MMSYSERR_NOERROR;
  if ((mask & kOutput) && _output.handle != nullptr)
    done = waveOutReset(static_cast<HWAVEOUT>(_output.handle)) == MMSYSERR_NOERROR;
  return done;
}

int CWaveForm::getState(int mask) { return direction(mask == kOutput ? kOutput : kInput).state; }

int CWaveForm::getBytesInFlight(int mask) {
  return readCount(&direction(mask == kOutput ? kOutput : kInput).bytesInFlight);
}

int CWaveForm::close(int mask) {
  int closed = 0;
  for (int which : {kInput, kOutput}) {
    if (!(mask & which) || !isConfigured(which)) continue;
    Direction& dir = direction(which);
    if (dir.state != kStopped) continue;
    // Frames the device still holds (stop waits for them one second at most) come back
    // now: none may stay with the device once it is closed and they are freed.
    if (which == kInput)
      waveInReset(static_cast<HWAVEIN>(dir.handle));
    else
      waveOutReset(static_cast<HWAVEOUT>(dir.handle));
    for (WAVEHDR* header : takeDoneHeaders(dir)) recycleFrame(dir, frameOf(header));
    freeFrames(dir, dir.queueLock, dir.queuedFrames);
    freeFrames(dir, dir.freeLock, dir.freeFrames);
    if (which == kInput)
      waveInClose(static_cast<HWAVEIN>(dir.handle));
    else
      waveOutClose(static_cast<HWAVEOUT>(dir.handle));
    dir.handle = nullptr;
    dir.state = kCreated;
    closed = 1;
  }
  return closed;
}

void CWaveForm::freeFrames(Direction& dir, CRITICAL_SECTION& lock, std::deque<stWaveFrame*>& frames) {
  EnterCriticalSection(&lock);
  std::deque<stWaveFrame*> taken;
  taken.swap(frames);
  LeaveCriticalSection(&lock);
  for (stWaveFrame* frame : taken) {
    if (&dir == &_input)
      waveInUnprepareHeader(static_cast<HWAVEIN>(dir.handle), headerOf(frame), sizeof(WAVEHDR));
    else
      waveOutUnprepareHeader(static_cast<HWAVEOUT>(dir.handle), headerOf(frame), sizeof(WAVEHDR));
    delete frame;
  }
}

stWaveFrame* CWaveForm::newFrame() {
  stWaveFrame* frame = new (std::nothrow) stWaveFrame;
  if (frame == nullptr) return nullptr;
  memset(&frame->header, 0, sizeof(WAVEHDR));
  frame->header.lpData = frame->data;
  frame->header.dwBufferLength = static_cast<DWORD>(_frameSize);
  return frame;
}

// Back to the free list, or freed when the list is full.
void CWaveForm::recycleFrame(Direction& dir, stWaveFrame* frame) {
  frame->header.dwBytesRecorded = 0;
  EnterCriticalSection(&dir.freeLock);
  if (dir.freeFrames.size() < kMaxListFrames) {
    dir.freeFrames.push_back(frame);
    frame = nullptr;
  }
  LeaveCriticalSection(&dir.freeLock);
  if (frame == nullptr) return;
  if (&dir == &_input)
    waveInUnprepareHeader(static_cast<HWAVEIN>(dir.handle), headerOf(frame), sizeof(WAVEHDR));
  else
    waveOutUnprepareHeader(static_cast<HWAVEOUT>(dir.handle), headerOf(frame), sizeof(WAVEHDR));
  delete frame;
}

std::deque<WAVEHDR*> CWaveForm::takeDoneHeaders(Direction& dir) {
  std::deque<WAVEHDR*> done;
  EnterCriticalSection(&dir.doneLock);
  done.swap(dir.doneHeaders);
  LeaveCriticalSection(&dir.doneLock);
  return done;
}

void CALLBACK CWaveForm::waveCallback(HANDLE handle, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  CWaveForm* self = reinterpret_cast<CWaveForm*>(instance);
  Direction* dir = nullptr;
  if (message == WIM_DATA && handle == self->_input.handle) dir = &self->_input;
  if (message == WOM_DONE && handle == self->_output.handle) dir = &self->_output;
  if (dir == nullptr) return;
  EnterCriticalSection(&dir->doneLock);
  dir->doneHeaders.push_back(reinterpret_cast<WAVEHDR*>(param1));
  LeaveCriticalSection(&dir->doneLock);
  ReleaseSemaphore(dir->semaphore, 1, nullptr);
}

// A free frame or a new prepared one, queued for recording.
bool CWaveForm::addInputFrame() {
  stWaveFrame* frame = nullptr;
  getEmptyFrame(&frame);
  if (frame == nullptr) return false;
  frame->header.dwBytesRecorded = 0;
  InterlockedExchangeAdd(&_input.bytesInFlight, static_cast<LONG>(frame->header.dwBufferLength));
  if (waveInAddBuffer(static_cast<HWAVEIN>(_input.handle), headerOf(frame), sizeof(WAVEHDR)) == MMSYSERR_NOERROR)
    return true;
  InterlockedExchangeAdd(&_input.bytesInFlight, -static_cast<LONG>(frame->header.dwBufferLength));
  recycleFrame(_input, frame);
  return false;
}

// The pending list stays locked across waveOutWrite so that two writers keep the order.
bool CWaveForm::writeOldestPending() {
  EnterCriticalSection(&_output.queueLock);
  if (_output.queuedFrames.empty()) {
    LeaveCriticalSection(&_output.queueLock);
    return false;
  }
  stWaveFrame* frame = _output.queuedFrames.front();
  _output.queuedFrames.pop_front();
  InterlockedExchangeAdd(&_output.bytesInFlight, static_cast<LONG>(frame->header.dwBufferLength));
  const bool written =
      waveOutWrite(static_cast<HWAVEOUT>(_output.handle), headerOf(frame), sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
  LeaveCriticalSection(&_output.queueLock);
  if (written) return true;
  InterlockedExchangeAdd(&_output.bytesInFlight, -static_cast<LONG>(frame->header.dwBufferLength));
  recycleFrame(_output, frame);
  return false;
}

// Hands one frame to the device while the direction is started and fewer than eight
// frames' worth of bytes are in flight; false when it did not.
bool CWaveForm::feedDevice(int mask) {
  Direction& dir = direction(mask);
  const LONG limit = kMaxFramesInFlight * static_cast<LONG>(_frameSize);
  EnterCriticalSection(&dir.feedLock);
  const bool fed = dir.state == kStarted && readCount(&dir.bytesInFlight) < limit &&
                   (mask == kInput ? addInputFrame() : writeOldestPending());
  LeaveCriticalSection(&dir.feedLock);
  return fed;
}

void CWaveForm::topUp(int mask) {
  while (feedDevice(mask)) {
  }
}

unsigned __stdcall CWaveForm::inputWorker(void* self) {
  static_cast<CWaveForm*>(self)->runInput();
  return 0;
}

unsigned __stdcall CWaveForm::outputWorker(void* self) {
  static_cast<CWaveForm*>(self)->runOutput();
  return 0;
}

void CWaveForm::runInput() {
  while (readCount(&_running) != 0) {
    WaitForSingleObject(_input.semaphore, INFINITE);
    if (readCount(&_running) == 0) break;
    try {
      for (WAVEHDR* header : takeDoneHeaders(_input)) {
        stWaveFrame* frame = frameOf(header);
        const LONG length = static_cast<LONG>(header->dwBufferLength);
        if (header->dwBytesRecorded > 0) {
          EnterCriticalSection(&_input.queueLock);
          const bool keep = _input.queuedFrames.size() < kMaxListFrames;
          if (keep) _input.queuedFrames.push_back(frame);
          LeaveCriticalSection(&_input.queueLock);
          if (!keep) recycleFrame(_input, frame);
          InterlockedExchangeAdd(&_input.bytesInFlight, -length);
          Notify(kCapturedFrameEvent, 1, 0);
        } else {
          recycleFrame(_input, frame);
          InterlockedExchangeAdd(&_input.bytesInFlight, -length);
        }
      }
      topUp(kInput);
    } catch (...) {
      // A host sink's exception stops at the worker; the next frame is served as usual.
    }
  }
}

void CWaveForm::runOutput() {
  while (readCount(&_running) != 0) {
    WaitForSingleObject(_output.semaphore, INFINITE);
    if (readCount(&_running) == 0) break;
    try {
      for (WAVEHDR* header : takeDoneHeaders(_output)) {
        const LONG length = static_cast<LONG>(header->dwBufferLength);
        recycleFrame(_output, frameOf(header));
        InterlockedExchangeAdd(&_output.bytesInFlight, -length);
      }
      topUp(kOutput);
    } catch (...) {
      // Out of memory for a list entry: the frames of this pass are lost, the next pass runs.
    }
  }
}

int CWaveForm::getFrame(stWaveFrame** frame) {
  if (frame == nullptr) return 0;
  *frame = nullptr;
  if (_input.state != kStarted) return 0;
  EnterCriticalSection(&_input.queueLock);
  if (!_input.queuedFrames.empty()) {
    *frame = _input.queuedFrames.front();
    _input.queuedFrames.pop_front();
  }
  LeaveCriticalSection(&_input.queueLock);
  return *frame != nullptr;
}

int CWaveForm::releaseFrame(stWaveFrame* frame) {
  if (frame == nullptr) return 0;
  recycleFrame(_input, frame);
  return 1;
}

int CWaveForm::putFrame(stWaveFrame* frame) {
  if (frame == nullptr) return 0;
  if (_output.state != kStarted) {
    recycleFrame(_output, frame);
    return 1;
  }
  EnterCriticalSection(&_output.queueLock);
  const bool queued = _output.queuedFrames.size() < kMaxListFrames;
  if (queued) _output.queuedFrames.push_back(frame);
  LeaveCriticalSection(&_output.queueLock);
  if (!queued) {
    recycleFrame(_output, frame);
    return 1;
  }
  feedDevice(kOutput);
  return 1;
}

// Input frames for the input direction when it is configured, else output frames.
int CWaveForm::getEmptyFrame(stWaveFrame** frame) {
  if (frame == nullptr) return 0;
  Direction& dir = isConfigured(kInput) ? _input : _output;
  EnterCriticalSection(&dir.freeLock);
  *frame = nullptr;
  if (!dir.freeFrames.empty()) {
    *frame = dir.freeFrames.front();
    dir.freeFrames.pop_front();
  }
  LeaveCriticalSection(&dir.freeLock);
  if (*frame != nullptr) return 1;
  *frame = newFrame();
  if (*frame == nullptr) return 0;
  const MMRESULT prepared =
      &dir == &_input ? waveInPrepareHeader(static_cast<HWAVEIN>(dir.handle), headerOf(*frame), sizeof(WAVEHDR))
                      : waveOutPrepareHeader(static_cast<HWAVEOUT>(dir.handle), headerOf(*frame), sizeof(WAVEHDR));
  if (prepared != MMSYSERR_NOERROR) {
    delete *frame;
    *frame = nullptr;
    return 0;
  }
  return 1;
}

void CWaveForm::setVolume(int mask, DWORD level) {
  if (mask == kInput) {
    _input.volume = level;
    if (_input.handle != nullptr) setInputVolume(level);
  } else if (mask == kOutput) {
    _output.volume = level;
    if (_output.handle != nullptr) waveOutSetVolume(static_cast<HWAVEOUT>(_output.handle), level);
  }
}
