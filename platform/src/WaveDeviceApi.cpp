// waveIn… and waveOut…: the C entry points over wave::Stream.
#include <string.h>
#include <wchar.h>

#include "AlsaDeviceList.h"
#include "WaveStream.h"
#include "WideString.h"
#include "mmsystem.h"

namespace {

using alsa::Direction;

// Formats and channel counts a PCM of the configuration is assumed to take: ALSA's
// plug layer converts what the device itself does not.
const DWORD kAllFormats = 0x000FFFFF;
const WORD kChannels = 2;

template <class Caps>
MMRESULT fillCaps(Direction direction, UINT_PTR deviceId, Caps* caps, UINT size) {
  if (caps == nullptr || size < sizeof(Caps)) return MMSYSERR_INVALPARAM;
  const std::vector<std::string> names = alsa::cachedPcmNames(direction);
  const size_t index = deviceId == WAVE_MAPPER ? 0 : deviceId;
  if (index >= names.size()) return MMSYSERR_BADDEVICEID;
  memset(caps, 0, sizeof(Caps));
  const std::wstring name = kcm_platform::Utf8ToWide(names[index].c_str());
  wcsncpy(caps->szPname, name.c_str(), MAXPNAMELEN - 1);
  caps->dwFormats = kAllFormats;
  caps->wChannels = kChannels;
  return MMSYSERR_NOERROR;
}

template <class Handle>
std::shared_ptr<wave::Stream> streamOf(Handle handle, Direction direction) {
  return wave::Stream::find(static_cast<const void*>(handle), direction);
}

}  // namespace

#define KCM_WITH_STREAM(handle, direction, call)                               \
  do {                                                                         \
    std::shared_ptr<wave::Stream> stream = streamOf(handle, direction);        \
    return stream == nullptr ? static_cast<MMRESULT>(MMSYSERR_INVALHANDLE) : (call); \
  } while (0)

UINT WINAPI waveInGetNumDevs(void) { return static_cast<UINT>(alsa::listPcmNames(Direction::Capture).size()); }

MMRESULT WINAPI waveInGetDevCapsW(UINT_PTR deviceId, LPWAVEINCAPSW caps, UINT size) {
  return fillCaps(Direction::Capture, deviceId, caps, size);
}

MMRESULT WINAPI waveInOpen(LPHWAVEIN handle, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                           DWORD_PTR instance, DWORD flags) {
  return wave::Stream::open(Direction::Capture, reinterpret_cast<void**>(handle), deviceId, format, callback,
                            instance, flags);
}

MMRESULT WINAPI waveInClose(HWAVEIN handle) { KCM_WITH_STREAM(handle, Direction::Capture, stream->close()); }

MMRESULT WINAPI waveInPrepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size) {
  KCM_WITH_STREAM(handle, Direction::Capture, stream->prepare(header, size));
}

MMRESULT WINAPI waveInUnprepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size) {
  KCM_WITH_STREAM(handle, Direction::Capture, stream->unprepare(header, size));
}

MMRESULT WINAPI waveInAddBuffer(HWAVEIN handle, LPWAVEHDR header, UINT size) {
  KCM_WITH_STREAM(handle, Direction::Capture, stream->enqueue(header, size));
}

MMRESULT WINAPI waveInStart(HWAVEIN handle) { KCM_WITH_STREAM(handle, Direction::Capture, stream->start()); }

MMRESULT WINAPI waveInStop(HWAVEIN handle) { KCM_WITH_STREAM(handle, Direction::Capture, stream->stop()); }

MMRESULT WINAPI waveInReset(HWAVEIN handle) { KCM_WITH_STREAM(handle, Direction::Capture, stream->reset()); }

UINT WINAPI waveOutGetNumDevs(void) { return static_cast<UINT>(alsa::listPcmNames(Direction::Playback).size()); }

MMRESULT WINAPI waveOutGetDevCapsW(UINT_PTR deviceId, LPWAVEOUTCAPSW caps, UINT size) {
  return fillCaps(Direction::Playback, deviceId, caps, size);
}

MMRESULT WINAPI waveOutOpen(LPHWAVEOUT handle, UINT deviceId, LPCWAVEFORMATEX format, DWORD_PTR callback,
                            DWORD_PTR instance, DWORD flags) {
  return wave::Stream::open(Direction::Playback, reinterpret_cast<void**>(handle), deviceId, format, callback,
                            instance, flags);
}

MMRESULT WINAPI waveOutClose(HWAVEOUT handle) { KCM_WITH_STREAM(handle, Direction::Playback, stream->close()); }

MMRESULT WINAPI waveOutPrepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
  KCM_WITH_STREAM(handle, Direction::Playback, stream->prepare(header, size));
}

MMRESULT WINAPI waveOutUnprepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
  KCM_WITH_STREAM(handle, Direction::Playback, stream->unprepare(header, size));
}

MMRESULT WINAPI waveOutWrite(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
  KCM_WITH_STREAM(handle, Direction::Playback, stream->enqueue(header, size));
}

MMRESULT WINAPI waveOutPause(HWAVEOUT handle) { KCM_WITH_STREAM(handle, Direction::Playback, stream->pause()); }

MMRESULT WINAPI waveOutRestart(HWAVEOUT handle) { KCM_WITH_STREAM(handle, Direction::Playback, stream->start()); }

MMRESULT WINAPI waveOutReset(HWAVEOUT handle) { KCM_WITH_STREAM(handle, Direction::Playback, stream->reset()); }

MMRESULT WINAPI waveOutSetVolume(HWAVEOUT handle, DWORD volume) {
  KCM_WITH_STREAM(handle, Direction::Playback, (stream->setVolume(volume), static_cast<MMRESULT>(MMSYSERR_NOERROR)));
}

MMRESULT WINAPI waveOutGetVolume(HWAVEOUT handle, LPDWORD volume) {
  if (volume == nullptr) return MMSYSERR_INVALPARAM;
  KCM_WITH_STREAM(handle, Direction::Playback, (*volume = stream->volume(), static_cast<MMRESULT>(MMSYSERR_NOERROR)));
}
