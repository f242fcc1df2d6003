#include "FilterSettings.h"

#include <string.h>

#include "PictureLayout.h"

namespace kcm::ffdshow {

namespace {

constexpr int kMaxVolume = 1000;
constexpr int kMaxDecoderThreads = 16;

bool IsVolume(int percent) { return percent >= 0 && percent <= kMaxVolume; }

FFDShowFilterParam EmptyBlock(int type) {
  FFDShowFilterParam block;
  memset(&block, 0, sizeof(block));
  block.video.type = type;
  return block;
}

HRESULT CheckAudioBlock(const FFDShowAudioParam& audio) {
  if (!IsVolume(audio.masterVolume)) return E_INVALIDARG;
  if (!audio.useChannelVolumes) return S_OK;
  for (int16_t volume : audio.channelVolumes) {
    if (!IsVolume(volume)) return E_INVALIDARG;
  }
  return S_OK;
}

}  // namespace

FilterSettings::FilterSettings(int mediaKind, std::vector<DWORD> colorSpaces)
    : mediaKind_(mediaKind), defaultColorSpaces_(std::move(colorSpaces)), colorSpaces_(defaultColorSpaces_) {
  if (mediaKind_ == 1) {
    FFDShowFilterParam& video = Block(FFDSHOW_PARAM_VIDEO_OUTPUT);
    video.video.enabled = 1;
  } else {
    FFDShowFilterParam& audio = Block(FFDSHOW_PARAM_AUDIO_VOLUME);
    audio.audio.masterVolume = 100;
  }
}

FFDShowFilterParam& FilterSettings::Block(int type) {
  auto found = blocks_.find(type);
  if (found == blocks_.end()) found = blocks_.emplace(type, EmptyBlock(type)).first;
  return found->second;
}

HRESULT FilterSettings::SetParam(int type, const FFDShowFilterParam& param) {
  if (param.video.type != type) return E_INVALIDARG;
  if (type == FFDSHOW_PARAM_VIDEO_OUTPUT && mediaKind_ != 1) return E_INVALIDARG;
  if (type == FFDSHOW_PARAM_AUDIO_VOLUME) {
    if (mediaKind_ != 2) return E_INVALIDARG;
    const HRESULT valid = CheckAudioBlock(param.audio);
    if (FAILED(valid)) return valid;
  }
  std::lock_guard<std::mutex> lock(lock_);
  Block(type) = param;
  return S_OK;
}

HRESULT FilterSettings::GetParam(int type, FFDShowFilterParam* param) const {
  if (param == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> lock(lock_);
  const auto found = blocks_.find(type);
  if (found == blocks_.end()) {
    *param = EmptyBlock(type);
    return S_FALSE;
  }
  *param = found->second;
  return S_OK;
}

HRESULT FilterSettings::SetMasterVolume(int percent) {
  if (mediaKind_ != 2) return E_NOTIMPL;
  if (!IsVolume(percent)) return E_INVALIDARG;
  std::lock_guard<std::mutex> lock(lock_);
  FFDShowAudioParam& audio = Block(FFDSHOW_PARAM_AUDIO_VOLUME).audio;
  audio.enabled = 1;
  audio.masterVolume = static_cast<int16_t>(percent);
  return S_OK;
}

HRESULT FilterSettings::SetChannelVolumes(const int* percents, int count) {
  if (mediaKind_ != 2) return E_NOTIMPL;
  if (count < 0 || count > FFDSHOW_MAX_CHANNEL_VOLUMES || (count > 0 && percents == nullptr)) return E_INVALIDARG;
  for (int channel = 0; channel < count; ++channel) {
    if (!IsVolume(percents[channel])) return E_INVALIDARG;
  }
  std::lock_guard<std::mutex> lock(lock_);
  FFDShowAudioParam& audio = Block(FFDSHOW_PARAM_AUDIO_VOLUME).audio;
  audio.enabled = 1;
  audio.useChannelVolumes = count > 0 ? 1 : 0;
  for (int channel = 0; channel < FFDSHOW_MAX_CHANNEL_VOLUMES; ++channel) {
    audio.channelVolumes[channel] = static_cast<int16_t>(channel < count ? percents[channel] : 100);
  }
  return S_OK;
}

void FilterSettings::SetOSDXPos(int x) {
  std::lock_guard<std::mutex> lock(lock_);
  osdXPos_ = x;
}

int FilterSettings::OSDXPos() const {
  std::lock_guard<std::mutex> lock(lock_);
  return osdXPos_;
}

HRESULT FilterSettings::SetDecoderThreads(int count) {
  if (count < 0 || count > kMaxDecoderThreads) return E_INVALIDARG;
  std::lock_guard<std::mutex> lock(lock_);
  decoderThreads_ = count;
  return S_OK;
}

int FilterSettings::DecoderThreads() const {
  std::lock_guard<std::mutex> lock(lock_);
  return decoderThreads_;
}

bool FilterSettings::IsOutputColorSpace(DWORD fourCC) {
  const RawLayout* layout = RawLayoutByFourCC(fourCC);
  return layout != nullptr && layout->output;
}

HRESULT FilterSettings::SetOutputColorSpaces(const DWORD* fourCCs, int count) {
  if (mediaKind_ != 1) return E_NOTIMPL;
  if (count < 0 || (count > 0 && fourCCs == nullptr)) return E_INVALIDARG;
  std::vector<DWORD> chosen;
  for (int index = 0; index < count; ++index) {
    if (!IsOutputColorSpace(fourCCs[index])) return E_INVALIDARG;
    chosen.push_back(fourCCs[index]);
  }
  std::lock_guard<std::mutex> lock(lock_);
  colorSpaces_ = count == 0 ? defaultColorSpaces_ : chosen;
  colorSpacesChosen_ = count > 0;
  return S_OK;
}

bool FilterSettings::ColorSpacesChosen() const {
  std::lock_guard<std::mutex> lock(lock_);
  return colorSpacesChosen_;
}

std::vector<DWORD> FilterSettings::OutputColorSpaces() const {
  std::lock_guard<std::mutex> lock(lock_);
  return colorSpaces_;
}

bool FilterSettings::Flip() const {
  std::lock_guard<std::mutex> lock(lock_);
  const auto found = blocks_.find(FFDSHOW_PARAM_VIDEO_OUTPUT);
  return found != blocks_.end() && found->second.video.enabled != 0 && found->second.video.flip != 0;
}

VolumeSettings FilterSettings::Volume() const {
  VolumeSettings volume;
  std::lock_guard<std::mutex> lock(lock_);
  const auto found = blocks_.find(FFDSHOW_PARAM_AUDIO_VOLUME);
  if (found == blocks_.end() || found->second.audio.enabled == 0) return volume;
  const FFDShowAudioParam& audio = found->second.audio;
  volume.enabled = true;
  volume.master = audio.masterVolume;
  if (audio.useChannelVolumes) volume.channels.assign(audio.channelVolumes, audio.channelVolumes + FFDSHOW_MAX_CHANNEL_VOLUMES);
  return volume;
}

}  // namespace kcm::ffdshow
