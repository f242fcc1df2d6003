// Reaching the ffdshow stand-in the way the library does - "ffdshow.dll" through the
// platform loader, then its four entry points - and reading back what a filter between
// the harness pins delivered.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ffdshow_settings.h"
#include "media/FilterHarness.h"
#include "TestStreams.h"

namespace kcm_test {

enum class FFDShowEntry { VideoDecoder, AudioDecoder, VideoRaw, AudioRaw };

// The entry point, from the module loaded once for the whole run (null when missing).
PFN_createTffdshowFilter FFDShowEntryPoint(FFDShowEntry entry);
// A new filter from the entry point, with the one reference the caller releases.
IBaseFilter* CreateFFDShowFilter(FFDShowEntry entry);

// The filter's settings interface (one reference), or null.
IKcmFFDShowSettings* SettingsOf(IBaseFilter* filter);

// A harness around a new filter of `entry`, with room upstream for large samples.
struct FFDShowRig {
  explicit FFDShowRig(FFDShowEntry entry);
  ~FFDShowRig();
  // Connects both sides with `input` and runs.
  HRESULT Start(const AM_MEDIA_TYPE& input);
  // Pushes every packet, then the end of the stream.
  void PushAll(const EncodedStream& stream);

  IBaseFilter* filter;
  FilterHarness* harness;
};

// MD5s of the YV12 pictures received, planes in Y, U, V order (the decoder's native
// 4:2:0 planes), flipped back first when `flipped`.
std::vector<std::string> ReceivedYv12Md5s(const std::vector<ReceivedSample>& samples, int width, int height,
                                          bool flipped = false);

}  // namespace kcm_test
