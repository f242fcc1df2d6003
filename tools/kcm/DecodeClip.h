// The decode step's own test clip: a 2 s MP4 made with libavcodec on the spot, so the
// step runs on a machine that holds no media of the user's.
#pragma once

#include <string>

struct DecodeClipInfo {
  int width = 0;
  int height = 0;
  int frames = 0;
  const char* audioCoding = nullptr;  // "aac" or "mp2"; null when no audio encoder exists
  int sampleRate = 0;
  int channels = 0;
};

// Writes MPEG-4 part 2 video with an AAC (else MP2) stereo track to `path`; false on failure.
bool WriteDecodeClip(const std::string& path, DecodeClipInfo* info);
