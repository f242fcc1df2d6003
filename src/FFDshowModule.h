// Reaching the ffdshow codec library: "ffdshow.dll", loaded once and kept, and its four
// filter creation entry points.
#pragma once

#include "strmif.h"

namespace Kestro {

enum class FFDshowEntry { VideoDecoder, AudioDecoder, VideoRaw, AudioRaw };

// Calls the entry point as (slot, null outer, phr, 1). Returns the filter (one reference)
// or null; *phr holds the outcome (E_FAIL when the library or the entry is missing).
IBaseFilter* createFFDshowFilter(FFDshowEntry entry, HRESULT* phr);

}  // namespace Kestro
