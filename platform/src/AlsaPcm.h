// One ALSA PCM opened for a wave-form handle, in non-blocking mode so that the handle's
// thread can be stopped while the device has no room or no data.
#pragma once

#include <alsa/asoundlib.h>

#include <memory>
#include <string>

#include "AlsaDeviceList.h"
#include "mmsystem.h"

namespace alsa {

class Pcm {
 public:
  // A PCM playing or recording `format` (PCM 8, 16, 24 or 32 bits, or 32-bit float), or
  // null with *error set to an MMRESULT: WAVERR_BADFORMAT for a format ALSA cannot
  // take, MMSYSERR_BADDEVICEID for a device that does not open.
  static std::unique_ptr<Pcm> open(const std::string& name, Direction direction, const WAVEFORMATEX& format,
                                   MMRESULT* error);
  ~Pcm();
  Pcm(const Pcm&) = delete;
  Pcm& operator=(const Pcm&) = delete;

  // Moves up to `frames` frames and answers how many moved (0 when the device had no
  // room or data within `waitMs`), or a negative errno for a device that failed. An
  // overrun or underrun is recovered from and counts as 0 frames.
  long transfer(void* data, unsigned long frames, int waitMs);
  // Plays out what the device holds (playback) and makes it ready to start again.
  void finish();
  // Drops what the device holds and makes it ready to start again.
  void discard();

  // Sets the first volume element of the PCM's sound card for this direction, both
  // channels, from 0x0000–0xFFFF values. False when the PCM has no card or the card no
  // such element: the caller scales in software then.
  bool setCardVolume(unsigned left, unsigned right);

  unsigned blockAlign() const { return _blockAlign; }
  bool isPcm16() const { return _pcm16; }

 private:
  Pcm(snd_pcm_t* pcm, Direction direction, unsigned blockAlign, bool pcm16);

  snd_pcm_t* _pcm;
  Direction _direction;
  unsigned _blockAlign;
  bool _pcm16;  // 16-bit integer samples: the ones software gain scales
};

}  // namespace alsa
