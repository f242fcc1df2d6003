#include "AlsaPcm.h"

#include <errno.h>

namespace alsa {
namespace {

// The device buffer: short enough that a reset or close waits little for it.
const unsigned kLatencyMicroseconds = 60000;

snd_pcm_format_t alsaFormatOf(const WAVEFORMATEX& format) {
  if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) return format.wBitsPerSample == 32 ? SND_PCM_FORMAT_FLOAT_LE : SND_PCM_FORMAT_UNKNOWN;
  if (format.wFormatTag != WAVE_FORMAT_PCM) return SND_PCM_FORMAT_UNKNOWN;
  switch (format.wBitsPerSample) {
    case 8: return SND_PCM_FORMAT_U8;
    case 16: return SND_PCM_FORMAT_S16_LE;
    case 24: return SND_PCM_FORMAT_S24_3LE;
    case 32: return SND_PCM_FORMAT_S32_LE;
    default: return SND_PCM_FORMAT_UNKNOWN;
  }
}

long scaleToRange(unsigned value, long minimum, long maximum) {
  return minimum + static_cast<long>((static_cast<long long>(maximum - minimum) * value) / 0xFFFF);
}

}  // namespace

std::unique_ptr<Pcm> Pcm::open(const std::string& name, Direction direction, const WAVEFORMATEX& format,
                               MMRESULT* error) {
  const snd_pcm_format_t alsaFormat = alsaFormatOf(format);
  const unsigned blockAlign = format.nChannels * (format.wBitsPerSample / 8u);
  if (alsaFormat == SND_PCM_FORMAT_UNKNOWN || blockAlign == 0 || format.nSamplesPerSec == 0) {
    *error = WAVERR_BADFORMAT;
    return nullptr;
  }
  snd_pcm_t* pcm = nullptr;
  const snd_pcm_stream_t stream = direction == Direction::Capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
  if (snd_pcm_open(&pcm, name.c_str(), stream, SND_PCM_NONBLOCK) < 0) {
    *error = MMSYSERR_BADDEVICEID;
    return nullptr;
  }
  if (snd_pcm_set_params(pcm, alsaFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.nChannels, format.nSamplesPerSec,
                         1, kLatencyMicroseconds) < 0) {
    snd_pcm_close(pcm);
    *error = WAVERR_BADFORMAT;
    return nullptr;
  }
  *error = MMSYSERR_NOERROR;
  return std::unique_ptr<Pcm>(new Pcm(pcm, direction, blockAlign, alsaFormat == SND_PCM_FORMAT_S16_LE));
}

Pcm::Pcm(snd_pcm_t* pcm, Direction direction, unsigned blockAlign, bool pcm16)
    : _pcm(pcm), _direction(direction), _blockAlign(blockAlign), _pcm16(pcm16) {}

Pcm::~Pcm() { snd_pcm_close(_pcm); }

long Pcm::transfer(void* data, unsigned long frames, int waitMs) {
  const snd_pcm_sframes_t moved = _direction == Direction::Capture ? snd_pcm_readi(_pcm, data, frames)
                                                                  : snd_pcm_writei(_pcm, data, frames);
  if (moved >= 0) return static_cast<long>(moved);
  if (moved == -EAGAIN) {
    snd_pcm_wait(_pcm, waitMs);
    return 0;
  }
  if (moved == -EPIPE || moved == -ESTRPIPE || moved == -EINTR)
    return snd_pcm_recover(_pcm, static_cast<int>(moved), 1) < 0 ? static_cast<long>(moved) : 0;
  return static_cast<long>(moved);
}

void Pcm::finish() {
  if (_direction == Direction::Playback) {
    snd_pcm_nonblock(_pcm, 0);
    snd_pcm_drain(_pcm);
    snd_pcm_nonblock(_pcm, 1);
  } else {
    snd_pcm_drop(_pcm);
  }
  snd_pcm_prepare(_pcm);
}

void Pcm::discard() {
  snd_pcm_drop(_pcm);
  snd_pcm_prepare(_pcm);
}

bool Pcm::setCardVolume(unsigned left, unsigned right) {
  snd_pcm_info_t* info = nullptr;
  snd_pcm_info_alloca(&info);
  if (snd_pcm_info(_pcm, info) < 0 || snd_pcm_info_get_card(info) < 0) return false;
  char cardName[32];
  snprintf(cardName, sizeof(cardName), "hw:%d", snd_pcm_info_get_card(info));
  snd_mixer_t* mixer = nullptr;
  if (snd_mixer_open(&mixer, 0) < 0) return false;
  bool done = false;
  if (snd_mixer_attach(mixer, cardName) >= 0 && snd_mixer_selem_register(mixer, nullptr, nullptr) >= 0 &&
      snd_mixer_load(mixer) >= 0) {
    for (snd_mixer_elem_t* elem = snd_mixer_first_elem(mixer); elem != nullptr && !done;
         elem = snd_mixer_elem_next(elem)) {
      long minimum = 0, maximum = 0;
      if (_direction == Direction::Playback && snd_mixer_selem_has_playback_volume(elem)) {
        snd_mixer_selem_get_playback_volume_range(elem, &minimum, &maximum);
        snd_mixer_selem_set_playback_volume(elem, SND_MIXER_SCHN_FRONT_LEFT, scaleToRange(left, minimum, maximum));
        snd_mixer_selem_set_playback_volume(elem, SND_MIXER_SCHN_FRONT_RIGHT, scaleToRange(right, minimum, maximum));
        done = true;
      } else if (_direction == Direction::Capture && snd_mixer_selem_has_capture_volume(elem)) {
        snd_mixer_selem_get_capture_volume_range(elem, &minimum, &maximum);
        snd_mixer_selem_set_capture_volume_all(elem, scaleToRange(left, minimum, maximum));
        done = true;
      }
    }
  }
  snd_mixer_close(mixer);
  return done;
}

}  // namespace alsa
