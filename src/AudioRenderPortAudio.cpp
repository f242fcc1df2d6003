#include "AudioRenderPortAudio.h"

#include <math.h>
#include <stdint.h>
#include <string.h>

#include <mutex>

namespace audio_render {

// Created on first use and destroyed at process exit.
static std::mutex& initializeLock() {
  static std::mutex lock;
  return lock;
}

static std::mutex& terminateLock() {
  static std::mutex lock;
  return lock;
}

void initializePortAudio() {
  std::lock_guard<std::mutex> hold(initializeLock());
  Pa_Initialize();
}

void terminatePortAudio() {
  std::lock_guard<std::mutex> hold(terminateLock());
  Pa_Terminate();
}

PaDeviceIndex chooseOutputDevice(const char* name) {
  PaDeviceIndex chosen = Pa_GetDefaultOutputDevice();
  if (name == nullptr || name[0] == '\0') return chosen;
  const PaDeviceIndex count = Pa_GetDeviceCount();
  for (PaDeviceIndex index = 0; index < count; ++index) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
    if (info != nullptr && info->name != nullptr && strcmp(info->name, name) == 0) return index;
  }
  return chosen;
}

void applyGain(const void* in, void* out, unsigned long bytes, float gain) {
  const auto* source = static_cast<const uint8_t*>(in);
  auto* target = static_cast<uint8_t*>(out);
  for (unsigned long offset = 0; offset + 1 < bytes; offset += 2) {
    int16_t sample;
    memcpy(&sample, source + offset, 2);
    const float scaled = rintf(static_cast<float>(sample) * gain);
    const int16_t clipped = static_cast<int16_t>(scaled > 32767.0f ? 32767.0f : scaled < -32768.0f ? -32768.0f : scaled);
    memcpy(target + offset, &clipped, 2);
  }
}

}  // namespace audio_render
