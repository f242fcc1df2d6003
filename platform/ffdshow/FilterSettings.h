// FilterSettings: what a filter of the stand-in is told through IKcmFFDShowSettings,
// kept as the parameter blocks themselves (see ffdshow_settings.h for their bytes) plus
// the few values that have no block. Thread-safe: the streaming thread reads while the
// host writes.
#pragma once

#include <map>
#include <mutex>
#include <vector>

#include "ffdshow_settings.h"

namespace kcm::ffdshow {

// The gains the audio path applies, in percent; empty channels means master alone.
struct VolumeSettings {
  bool enabled = false;
  int master = 100;
  std::vector<int> channels;
};

class FilterSettings {
 public:
  // mediaKind: 1 video, 2 audio. `colorSpaces` is the default output list (video).
  FilterSettings(int mediaKind, std::vector<DWORD> colorSpaces);

  int MediaKind() const { return mediaKind_; }
  HRESULT SetParam(int type, const FFDShowFilterParam& param);
  HRESULT GetParam(int type, FFDShowFilterParam* param) const;
  HRESULT SetMasterVolume(int percent);
  HRESULT SetChannelVolumes(const int* percents, int count);
  void SetOSDXPos(int x);
  int OSDXPos() const;
  HRESULT SetDecoderThreads(int count);
  int DecoderThreads() const;
  HRESULT SetOutputColorSpaces(const DWORD* fourCCs, int count);
  std::vector<DWORD> OutputColorSpaces() const;
  // Whether the host chose the list (else it is the default).
  bool ColorSpacesChosen() const;

  // The effective values the media path uses.
  bool Flip() const;
  VolumeSettings Volume() const;

  static bool IsOutputColorSpace(DWORD fourCC);

 private:
  FFDShowFilterParam& Block(int type);  // with the lock held

  const int mediaKind_;
  const std::vector<DWORD> defaultColorSpaces_;
  mutable std::mutex lock_;
  std::map<int, FFDShowFilterParam> blocks_;
  std::vector<DWORD> colorSpaces_;
  bool colorSpacesChosen_ = false;
  int osdXPos_ = 0;
  int decoderThreads_ = 1;
};

}  // namespace kcm::ffdshow
