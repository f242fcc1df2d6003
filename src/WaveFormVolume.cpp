// The microphone level of the engine's input: through the mixer of its wave-in handle.
#include <vector>

#include "WaveForm.h"

namespace {

// The control of `type` on the line, or false.
bool findControl(HMIXEROBJ mixer, DWORD lineId, DWORD type, MIXERCONTROLW* control) {
  MIXERLINECONTROLSW controls = {};
  controls.cbStruct = sizeof(controls);
  controls.dwLineID = lineId;
  controls.dwControlType = type;
  controls.cControls = 1;
  controls.cbmxctrl = sizeof(MIXERCONTROLW);
  controls.pamxctrl = control;
  return mixerGetLineControlsW(mixer, &controls, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE) ==
         MMSYSERR_NOERROR;
}

void setDetails(HMIXEROBJ mixer, DWORD controlId, DWORD channels, DWORD items, void* values, DWORD valueSize) {
  MIXERCONTROLDETAILS details = {};
  details.cbStruct = sizeof(details);
  details.dwControlID = controlId;
  details.cChannels = channels;
  details.cMultipleItems = items;
  details.cbDetails = valueSize;
  details.paDetails = values;
  mixerSetControlDetailsW(mixer, &details, MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE);
}

void setMicrophoneLevel(HMIXEROBJ mixer, DWORD microphoneLine, DWORD level) {
  MIXERCONTROLW volume = {};
  if (!findControl(mixer, microphoneLine, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume)) return;
  MIXERCONTROLDETAILS_UNSIGNED values[2] = {{level}, {level}};
  setDetails(mixer, volume.dwControlID, 2, 0, values, sizeof(MIXERCONTROLDETAILS_UNSIGNED));
}

// Makes the microphone the recording source of the destination's multiplexer.
void selectMicrophone(HMIXEROBJ mixer, DWORD destinationLine, DWORD microphoneLine) {
  MIXERCONTROLW mux = {};
  if (!findControl(mixer, destinationLine, MIXERCONTROL_CONTROLTYPE_MUX, &mux) || mux.cMultipleItems == 0) return;
  std::vector<MIXERCONTROLDETAILS_LISTTEXTW> texts(mux.cMultipleItems);
  MIXERCONTROLDETAILS details = {};
  details.cbStruct = sizeof(details);
  details.dwControlID = mux.dwControlID;
  details.cChannels = 1;
  details.cMultipleItems = mux.cMultipleItems;
  details.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXTW);
  details.paDetails = texts.data();
  if (mixerGetControlDetailsW(mixer, &details, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_LISTTEXT) !=
      MMSYSERR_NOERROR)
    return;
  std::vector<MIXERCONTROLDETAILS_BOOLEAN> selected(mux.cMultipleItems);
  for (DWORD item = 0; item < mux.cMultipleItems; ++item)
    selected[item].fValue = texts[item].dwParam1 == microphoneLine ? 1 : 0;
  setDetails(mixer, mux.dwControlID, 1, mux.cMultipleItems, selected.data(), sizeof(MIXERCONTROLDETAILS_BOOLEAN));
}

}  // namespace

// Mixer failures are silent: the level simply stays where it was.
void CWaveForm::setInputVolume(DWORD level) {
  HMIXER mixer = nullptr;
  if (mixerOpen(&mixer, reinterpret_cast<UINT_PTR>(_input.handle), 0, 0, MIXER_OBJECTF_HWAVEIN) !=
      MMSYSERR_NOERROR)
    return;
  HMIXEROBJ object = reinterpret_cast<HMIXEROBJ>(mixer);
  MIXERLINEW destination = {};
  destination.cbStruct = sizeof(destination);
  destination.dwDestination = 1;
  if (mixerGetLineInfoW(object, &destination, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_DESTINATION) ==
      MMSYSERR_NOERROR) {
    for (DWORD source = 0; source < destination.cConnections; ++source) {
      MIXERLINEW line = {};
      line.cbStruct = sizeof(line);
      line.dwDestination = destination.dwDestination;
      line.dwSource = source;
      if (mixerGetLineInfoW(object, &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE) != MMSYSERR_NOERROR)
        continue;
      if (line.dwComponentType != MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE) continue;
      setMicrophoneLevel(object, line.dwLineID, level);
      selectMicrophone(object, destination.dwLineID, line.dwLineID);
      break;
    }
  }
  mixerClose(mixer);
}
