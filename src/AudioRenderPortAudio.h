// The PortAudio side of CKestroAudioRender: process-wide initialisation, device choice
// and the software gain that stands in for a stream-volume call.
#pragma once

#include <portaudio.h>

namespace audio_render {

// Pa_Initialize and Pa_Terminate, each under a process-wide lock of its own.
void initializePortAudio();
void terminatePortAudio();

// The output device named exactly `name` (byte comparison), else the default one.
PaDeviceIndex chooseOutputDevice(const char* name);

// Copies `bytes` of 16-bit samples scaled by `gain` (clipped) from `in` to `out`.
void applyGain(const void* in, void* out, unsigned long bytes, float gain);

}  // namespace audio_render
