#include "WaveStream.h"

#include <string.h>

#include <map>

namespace wave {
namespace {

// How long the worker waits on the device before it looks at its flags again.
const int kDeviceWaitMs = 20;
// Bytes moved per device call, so that a request is served within one chunk.
const unsigned long kChunkBytes = 16384;

std::mutex registryMutex;
std::map<const void*, std::shared_ptr<Stream>>& registry() {
  static std::map<const void*, std::shared_ptr<Stream>> streams;
  return streams;
}
std::map<const void*, alsa::Direction>& registryDirections() {
  static std::map<const void*, alsa::Direction> directions;
  return directions;
}

// Scales 16-bit samples; channel 0 by the low word, channel 1 by the high word, further
// channels by the low word. 0xFFFF is unity.
void scale16(const char* in, char* out, unsigned long bytes, unsigned channels, DWORD volume) {
  const int32_t gains[2] = {static_cast<int32_t>(volume & 0xFFFF), static_cast<int32_t>(volume >> 16)};
  const unsigned long samples = bytes / 2;
  for (unsigned long i = 0; i < samples; ++i) {
    int16_t sample;
    memcpy(&sample, in + 2 * i, 2);
    const int32_t gain = gains[(i % channels) == 1 ? 1 : 0];
    sample = static_cast<int16_t>((static_cast<int32_t>(sample) * gain) / 0xFFFF);
    memcpy(out + 2 * i, &sample, 2);
  }
}

bool isUnity(DWORD volume, alsa::Direction direction) {
  return direction == alsa::Direction::Capture ? (volume & 0xFFFF) == 0xFFFF : volume == 0xFFFFFFFF;
}

}  // namespace

MMRESULT Stream::open(alsa::Direction direction, void** handle, UINT deviceId, LPCWAVEFORMATEX format,
                      DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  if (format == nullptr) return MMSYSERR_INVALPARAM;
  const DWORD kind = flags & CALLBACK_TYPEMASK;
  if (kind != CALLBACK_NULL && kind != CALLBACK_FUNCTION) return MMSYSERR_NOTSUPPORTED;
  const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
  if (!query && handle == nullptr) return MMSYSERR_INVALPARAM;
  const std::vector<std::string> names = alsa::cachedPcmNames(direction);
  const size_t index = deviceId == WAVE_MAPPER ? 0 : deviceId;
  if (index >= names.size()) return MMSYSERR_BADDEVICEID;
  MMRESULT error = MMSYSERR_NOERROR;
  std::unique_ptr<alsa::Pcm> pcm = alsa::Pcm::open(names[index], direction, *format, &error);
  if (pcm == nullptr || query) return error;
  const LPWAVECALLBACK function = kind == CALLBACK_FUNCTION ? reinterpret_cast<LPWAVECALLBACK>(callback) : nullptr;
  std::shared_ptr<Stream> stream(new Stream(direction, std::move(pcm), function, instance));
  {
    std::lock_guard<std::mutex> hold(registryMutex);
    registry()[stream.get()] = stream;
    registryDirections()[stream.get()] = direction;
  }
  *handle = stream.get();
  stream->_worker = std::thread(&Stream::run, stream.get());
  stream->notify(direction == alsa::Direction::Capture ? WIM_OPEN : WOM_OPEN, 0);
  return MMSYSERR_NOERROR;
}

std::shared_ptr<Stream> Stream::find(const void* handle, alsa::Direction direction) {
  std::lock_guard<std::mutex> hold(registryMutex);
  auto found = registry().find(handle);
  if (found == registry().end() || registryDirections()[handle] != direction) return nullptr;
  return found->second;
}

Stream::Stream(alsa::Direction direction, std::unique_ptr<alsa::Pcm> pcm, LPWAVECALLBACK callback,
               DWORD_PTR instance)
    : _direction(direction),
      _pcm(std::move(pcm)),
      _callback(callback),
      _instance(instance),
      _volume(0xFFFFFFFF),
      _softwareGain(false),
      _interrupt(false),
      _request(Request::None),
      _recording(false),
      _paused(false),
      _failed(false),
      _quit(false),
      _workerEnded(false),
      _position(0) {}

Stream::~Stream() {
  if (_worker.joinable()) {
    {
      std::lock_guard<std::mutex> hold(_mutex);
      _quit = true;
    }
    _wake.notify_all();
    _worker.join();
  }
}

void Stream::notify(UINT message, DWORD_PTR param1) {
  if (_callback != nullptr) _callback(static_cast<HANDLE>(this), message, _instance, param1, 0);
}

MMRESULT Stream::close() {
  {
    std::lock_guard<std::mutex> hold(_mutex);
    if (!_queue.empty()) return WAVERR_STILLPLAYING;
    _quit = true;
  }
  _interrupt = true;
  _wake.notify_all();
  if (_worker.joinable()) _worker.join();
  _pcm->finish();
  std::shared_ptr<Stream> self;  // keeps this alive until the CLOSE message is out
  {
    std::lock_guard<std::mutex> hold(registryMutex);
    auto found = registry().find(this);
    if (found == registry().end()) return MMSYSERR_INVALHANDLE;
    self = found->second;
    registry().erase(found);
    registryDirections().erase(this);
  }
  notify(_direction == alsa::Direction::Capture ? WIM_CLOSE : WOM_CLOSE, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT Stream::prepare(LPWAVEHDR header, UINT size) {
  if (header == nullptr || size < sizeof(WAVEHDR) || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT Stream::unprepare(LPWAVEHDR header, UINT size) {
  if (header == nullptr || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> hold(_mutex);
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT Stream::enqueue(LPWAVEHDR header, UINT size) {
  if (header == nullptr || size < sizeof(WAVEHDR) || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
  if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  {
    std::lock_guard<std::mutex> hold(_mutex);
    if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    if (_failed) return MMSYSERR_ERROR;
    header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~static_cast<DWORD>(WHDR_DONE);
    if (_direction == alsa::Direction::Capture) header->dwBytesRecorded = 0;
    _queue.push_back(header);
  }
  _wake.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT Stream::start() {
  {
    std::lock_guard<std::mutex> hold(_mutex);
    if (_direction == alsa::Direction::Capture)
      _recording = true;
    else
      _paused = false;
  }
  _wake.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT Stream::pause() {
  {
    std::lock_guard<std::mutex> hold(_mutex);
    _paused = true;
  }
  _interrupt = true;
  return MMSYSERR_NOERROR;
}

MMRESULT Stream::stop() { return ask(Request::Stop); }

MMRESULT Stream::reset() { return ask(Request::Reset); }

void Stream::setVolume(DWORD volume) {
  _volume = volume;
  const unsigned left = volume & 0xFFFF;
  const unsigned right = _direction == alsa::Direction::Capture ? left : volume >> 16;
  // The card's element is written from this thread while the worker moves samples: ALSA
  // keeps mixer and PCM apart, so no lock is needed.
  _softwareGain = !_pcm->setCardVolume(left, right) && !isUnity(volume, _direction);
}

// Runs `request` on the worker and waits until it is served, callbacks included.
MMRESULT Stream::ask(Request request) {
  std::lock_guard<std::mutex> one(_requestMutex);
  std::unique_lock<std::mutex> lock(_mutex);
  _request = request;
  _interrupt = true;
  _wake.notify_all();
  _served.wait(lock, [this] { return _request == Request::None || _workerEnded; });
  if (_request == Request::None) return MMSYSERR_NOERROR;
  _request = Request::None;
  return MMSYSERR_ERROR;
}

bool Stream::readyToTransfer() const {
  if (_queue.empty()) return false;
  if (_failed) return true;
  return _direction == alsa::Direction::Capture ? _recording : !_paused;
}

void Stream::run() {
  try {
    std::unique_lock<std::mutex> lock(_mutex);
    for (;;) {
      _wake.wait(lock, [this] { return _quit || _request != Request::None || readyToTransfer(); });
      _interrupt = false;
      if (_request != Request::None) {
        serveRequest(lock);
        continue;
      }
      if (_quit) break;
      WAVEHDR* header = _queue.front();
      const bool failed = _failed;
      lock.unlock();
      const bool complete = failed || transferFront(header);
      lock.lock();
      if (!complete) continue;
      std::vector<WAVEHDR*> completed;
      completeFront(completed);
      lock.unlock();
      deliver(completed);
      lock.lock();
    }
  } catch (...) {
    // Only allocation can throw here; the handle stops moving buffers, close still works.
  }
  std::lock_guard<std::mutex> hold(_mutex);
  _workerEnded = true;
  _served.notify_all();
}

// Moves the front buffer until it is full (answers true), the device fails (true, and
// the stream is marked failed) or the worker is asked to look at its flags (false).
bool Stream::transferFront(WAVEHDR* header) {
  const unsigned blockAlign = _pcm->blockAlign();
  while (_position + blockAlign <= header->dwBufferLength) {
    if (_interrupt) return false;
    const unsigned long frames =
        std::min<unsigned long>(header->dwBufferLength - _position, kChunkBytes) / blockAlign;
    const long moved = transferChunk(header->lpData + _position, frames);
    if (moved < 0) {
      std::lock_guard<std::mutex> hold(_mutex);
      _failed = true;
      return true;
    }
    _position += static_cast<DWORD>(moved) * blockAlign;
  }
  return true;
}

long Stream::transferChunk(char* data, unsigned long frames) {
  const unsigned blockAlign = _pcm->blockAlign();
  if (!_softwareGain || !_pcm->isPcm16()) return _pcm->transfer(data, frames, kDeviceWaitMs);
  if (_direction == alsa::Direction::Capture) {
    // The microphone level applies to every channel.
    const long moved = _pcm->transfer(data, frames, kDeviceWaitMs);
    if (moved > 0) scale16(data, data, static_cast<unsigned long>(moved) * blockAlign, 1, _volume);
    return moved;
  }
  const unsigned long bytes = frames * blockAlign;
  _scratch.resize(bytes);
  scale16(data, _scratch.data(), bytes, blockAlign / 2, _volume);
  return _pcm->transfer(_scratch.data(), frames, kDeviceWaitMs);
}

// Caller holds _mutex.
void Stream::completeFront(std::vector<WAVEHDR*>& completed) {
  WAVEHDR* header = _queue.front();
  _queue.pop_front();
  if (_direction == alsa::Direction::Capture) header->dwBytesRecorded = _position;
  header->dwFlags = (header->dwFlags | WHDR_DONE) & ~static_cast<DWORD>(WHDR_INQUEUE);
  _position = 0;
  completed.push_back(header);
}

// Caller holds _mutex (through `lock`); it is let go while the callbacks run.
void Stream::serveRequest(std::unique_lock<std::mutex>& lock) {
  std::vector<WAVEHDR*> completed;
  const Request request = _request;
  if (_direction == alsa::Direction::Capture) {
    _recording = false;
    if (!_queue.empty() && (_position > 0 || request == Request::Reset)) completeFront(completed);
    if (request == Request::Reset)
      while (!_queue.empty()) completeFront(completed);
  } else if (request == Request::Reset) {
    _paused = false;
    while (!_queue.empty()) completeFront(completed);
  }
  lock.unlock();
  if (request == Request::Reset && _direction == alsa::Direction::Playback)
    _pcm->finish();
  else
    _pcm->discard();
  deliver(completed);
  lock.lock();
  _request = Request::None;
  _served.notify_all();
}

void Stream::deliver(const std::vector<WAVEHDR*>& completed) {
  const UINT message = _direction == alsa::Direction::Capture ? WIM_DATA : WOM_DONE;
  for (WAVEHDR* header : completed) notify(message, reinterpret_cast<DWORD_PTR>(header));
}

}  // namespace wave
