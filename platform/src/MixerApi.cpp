// mixer…: the mixer of a wave-in handle. Its one control that does something, the
// microphone volume, is the handle's input level (wave::Stream::setVolume).
#include <string.h>
#include <wchar.h>

#include <map>
#include <mutex>

#include "WaveStream.h"
#include "mmsystem.h"

namespace {

const DWORD kObjectTypeMask = 0xF0000000;
const DWORD kSpeakersLine = 0x00000000;
const DWORD kWaveInLine = 0x00000001;
const DWORD kMicrophoneLine = 0x00010001;  // source 0 of destination 1
const DWORD kMicrophoneVolume = 1;
const DWORD kWaveInMux = 2;

std::mutex mixersMutex;
std::map<const void*, std::weak_ptr<wave::Stream>>& mixers() {
  static std::map<const void*, std::weak_ptr<wave::Stream>> open;
  return open;
}

std::shared_ptr<wave::Stream> streamOf(const void* object, DWORD flags) {
  const DWORD type = flags & kObjectTypeMask;
  if (type == MIXER_OBJECTF_HWAVEIN) return wave::Stream::find(object, alsa::Direction::Capture);
  if (type != MIXER_OBJECTF_HMIXER && type != MIXER_OBJECTF_MIXER) return nullptr;
  std::lock_guard<std::mutex> hold(mixersMutex);
  auto found = mixers().find(object);
  return found == mixers().end() ? nullptr : found->second.lock();
}

void describeLine(DWORD lineId, MIXERLINEW* line) {
  const DWORD size = line->cbStruct;
  memset(line, 0, sizeof(MIXERLINEW));
  line->cbStruct = size;
  line->dwLineID = lineId;
  line->fdwLine = MIXERLINE_LINEF_ACTIVE;
  line->cChannels = 1;
  if (lineId == kSpeakersLine) {
    line->dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    line->Target.dwType = MIXERLINE_TARGETTYPE_WAVEOUT;
    wcscpy(line->szShortName, L"Speakers");
    wcscpy(line->szName, L"Speakers");
  } else if (lineId == kWaveInLine) {
    line->dwDestination = 1;
    line->dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    line->cConnections = 1;
    line->cControls = 1;
    line->Target.dwType = MIXERLINE_TARGETTYPE_WAVEIN;
    wcscpy(line->szShortName, L"Recording");
    wcscpy(line->szName, L"Recording Control");
  } else {
    line->dwDestination = 1;
    line->fdwLine |= MIXERLINE_LINEF_SOURCE;
    line->dwComponentType = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    line->cControls = 1;
    wcscpy(line->szShortName, L"Microphone");
    wcscpy(line->szName, L"Microphone");
  }
}

void describeControl(DWORD controlId, MIXERCONTROLW* control) {
  memset(control, 0, sizeof(MIXERCONTROLW));
  control->cbStruct = sizeof(MIXERCONTROLW);
  control->dwControlID = controlId;
  if (controlId == kMicrophoneVolume) {
    control->dwControlType = MIXERCONTROL_CONTROLTYPE_VOLUME;
    control->fdwControl = MIXERCONTROL_CONTROLF_UNIFORM;
    control->Bounds.dwMaximum = 0xFFFF;
    control->Metrics.cSteps = 0xFFFF;
    wcscpy(control->szShortName, L"Volume");
    wcscpy(control->szName, L"Microphone Volume");
  } else {
    control->dwControlType = MIXERCONTROL_CONTROLTYPE_MUX;
    control->fdwControl = MIXERCONTROL_CONTROLF_MULTIPLE | MIXERCONTROL_CONTROLF_UNIFORM;
    control->cMultipleItems = 1;
    control->Bounds.dwMaximum = 1;
    control->Metrics.cSteps = 1;
    wcscpy(control->szShortName, L"Mux");
    wcscpy(control->szName, L"Recording Source");
  }
}

// The control of a line by type, 0 when the line has none of that type.
DWORD controlOf(DWORD lineId, DWORD type) {
  if (lineId == kMicrophoneLine && type == MIXERCONTROL_CONTROLTYPE_VOLUME) return kMicrophoneVolume;
  if (lineId == kWaveInLine && type == MIXERCONTROL_CONTROLTYPE_MUX) return kWaveInMux;
  return 0;
}

DWORD controlOfLine(DWORD lineId) {
  return lineId == kMicrophoneLine ? kMicrophoneVolume : lineId == kWaveInLine ? kWaveInMux : 0;
}

MMRESULT lineIdOf(const MIXERLINEW* line, DWORD query, DWORD* lineId) {
  switch (query) {
    case MIXER_GETLINEINFOF_DESTINATION:
      if (line->dwDestination > 1) return MMSYSERR_INVALPARAM;
      *lineId = line->dwDestination == 0 ? kSpeakersLine : kWaveInLine;
      return MMSYSERR_NOERROR;
    case MIXER_GETLINEINFOF_SOURCE:
      if (line->dwDestination != 1 || line->dwSource != 0) return MMSYSERR_INVALPARAM;
      *lineId = kMicrophoneLine;
      return MMSYSERR_NOERROR;
    case MIXER_GETLINEINFOF_LINEID:
      if (line->dwLineID != kSpeakersLine && line->dwLineID != kWaveInLine && line->dwLineID != kMicrophoneLine)
        return MIXERR_INVALLINE;
      *lineId = line->dwLineID;
      return MMSYSERR_NOERROR;
    default:
      return MMSYSERR_NOTSUPPORTED;
  }
}

bool detailsFit(const MIXERCONTROLDETAILS* details) {
  return details != nullptr && details->cbStruct >= sizeof(MIXERCONTROLDETAILS) && details->paDetails != nullptr &&
         details->cChannels >= 1 && details->cbDetails >= 4;
}

}  // namespace

MMRESULT WINAPI mixerOpen(LPHMIXER mixer, UINT_PTR deviceId, DWORD_PTR, DWORD_PTR, DWORD flags) {
  if (mixer == nullptr) return MMSYSERR_INVALPARAM;
  if ((flags & kObjectTypeMask) != MIXER_OBJECTF_HWAVEIN) return MMSYSERR_BADDEVICEID;
  std::shared_ptr<wave::Stream> stream = wave::Stream::find(reinterpret_cast<const void*>(deviceId),
                                                            alsa::Direction::Capture);
  if (stream == nullptr) return MMSYSERR_INVALHANDLE;
  auto* handle = new std::weak_ptr<wave::Stream>(stream);  // its address is the handle
  std::lock_guard<std::mutex> hold(mixersMutex);
  mixers()[handle] = stream;
  *mixer = reinterpret_cast<HMIXER>(handle);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI mixerClose(HMIXER mixer) {
  std::lock_guard<std::mutex> hold(mixersMutex);
  auto found = mixers().find(mixer);
  if (found == mixers().end()) return MMSYSERR_INVALHANDLE;
  mixers().erase(found);
  delete reinterpret_cast<std::weak_ptr<wave::Stream>*>(mixer);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI mixerGetLineInfoW(HMIXEROBJ mixer, LPMIXERLINEW line, DWORD flags) {
  if (line == nullptr || line->cbStruct < sizeof(MIXERLINEW)) return MMSYSERR_INVALPARAM;
  if (streamOf(mixer, flags) == nullptr) return MMSYSERR_INVALHANDLE;
  DWORD lineId = 0;
  const MMRESULT found = lineIdOf(line, flags & MIXER_GETLINEINFOF_QUERYMASK, &lineId);
  if (found != MMSYSERR_NOERROR) return found;
  describeLine(lineId, line);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI mixerGetLineControlsW(HMIXEROBJ mixer, LPMIXERLINECONTROLSW controls, DWORD flags) {
  if (controls == nullptr || controls->pamxctrl == nullptr || controls->cbmxctrl < sizeof(MIXERCONTROLW))
    return MMSYSERR_INVALPARAM;
  if (streamOf(mixer, flags) == nullptr) return MMSYSERR_INVALHANDLE;
  DWORD controlId = 0;
  switch (flags & MIXER_GETLINECONTROLSF_QUERYMASK) {
    case MIXER_GETLINECONTROLSF_ONEBYTYPE:
      controlId = controlOf(controls->dwLineID, controls->dwControlType);
      break;
    case MIXER_GETLINECONTROLSF_ONEBYID:
      controlId = controls->dwControlID == kMicrophoneVolume || controls->dwControlID == kWaveInMux
                      ? controls->dwControlID
                      : 0;
      break;
    case MIXER_GETLINECONTROLSF_ALL:
      if (controls->cControls < 1) return MMSYSERR_INVALPARAM;
      controlId = controlOfLine(controls->dwLineID);
      break;
    default:
      return MMSYSERR_NOTSUPPORTED;
  }
  if (controlId == 0) return MIXERR_INVALCONTROL;
  describeControl(controlId, controls->pamxctrl);
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI mixerGetControlDetailsW(HMIXEROBJ mixer, LPMIXERCONTROLDETAILS details, DWORD flags) {
  if (!detailsFit(details)) return MMSYSERR_INVALPARAM;
  std::shared_ptr<wave::Stream> stream = streamOf(mixer, flags);
  if (stream == nullptr) return MMSYSERR_INVALHANDLE;
  if (details->dwControlID == kWaveInMux && (flags & MIXER_GETCONTROLDETAILSF_QUERYMASK) ==
                                               MIXER_GETCONTROLDETAILSF_LISTTEXT) {
    if (details->cbDetails < sizeof(MIXERCONTROLDETAILS_LISTTEXTW)) return MMSYSERR_INVALPARAM;
    auto* text = static_cast<MIXERCONTROLDETAILS_LISTTEXTW*>(details->paDetails);
    memset(text, 0, sizeof(*text));
    text->dwParam1 = kMicrophoneLine;
    text->dwParam2 = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
    wcscpy(text->szName, L"Microphone");
    return MMSYSERR_NOERROR;
  }
  if ((flags & MIXER_GETCONTROLDETAILSF_QUERYMASK) != MIXER_GETCONTROLDETAILSF_VALUE) return MMSYSERR_NOTSUPPORTED;
  if (details->dwControlID != kMicrophoneVolume && details->dwControlID != kWaveInMux) return MIXERR_INVALCONTROL;
  const DWORD value = details->dwControlID == kMicrophoneVolume ? (stream->volume() & 0xFFFF) : 1;
  auto* values = static_cast<MIXERCONTROLDETAILS_UNSIGNED*>(details->paDetails);
  for (DWORD channel = 0; channel < details->cChannels; ++channel) values[channel].dwValue = value;
  return MMSYSERR_NOERROR;
}

MMRESULT WINAPI mixerSetControlDetailsW(HMIXEROBJ mixer, LPMIXERCONTROLDETAILS details, DWORD flags) {
  if (!detailsFit(details)) return MMSYSERR_INVALPARAM;
  std::shared_ptr<wave::Stream> stream = streamOf(mixer, flags);
  if (stream == nullptr) return MMSYSERR_INVALHANDLE;
  if ((flags & MIXER_SETCONTROLDETAILSF_QUERYMASK) != MIXER_SETCONTROLDETAILSF_VALUE) return MMSYSERR_NOTSUPPORTED;
  const DWORD first = static_cast<const MIXERCONTROLDETAILS_UNSIGNED*>(details->paDetails)->dwValue;
  if (details->dwControlID == kWaveInMux) return first != 0 ? MMSYSERR_NOERROR : MIXERR_INVALVALUE;
  if (details->dwControlID != kMicrophoneVolume) return MIXERR_INVALCONTROL;
  if (first > 0xFFFF) return MIXERR_INVALVALUE;
  stream->setVolume(first);
  return MMSYSERR_NOERROR;
}
