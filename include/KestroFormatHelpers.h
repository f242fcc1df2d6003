// Geometry, format and schedule helpers: fitting a picture's aspect ratio into a
// window, normalising PCM formats, fixing the image size of a video header, a 100 ns
// clock and the test whether a scheduled job is due.
//
// All are pure functions except kcm_date_ns, whose state is process-wide and guarded.
#pragma once

#include <time.h>

#include "KestroExport.h"
#include "amvideo.h"
#include "minwindef.h"
#include "mmreg.h"
#include "windef.h"

// How a scheduled job repeats. Any other value is never due.
enum KestroJobRepeatType : int32_t {
  KestroJobRepeatOnce = 0,
  KestroJobRepeatDaily = 1,
  KestroJobRepeatWeekly = 2,
};

// Fits the source's size into the area, centred in a space of the area's size with its
// origin at 0 (out). Where the area is larger than the source in a dimension, the area
// itself shrinks to the source's extent there, centred, also relative to 0.
KCM_API void kcm_aspectRatioRect(RECT& area, RECT source, RECT& out);

// The letter-box of (int) aspect width : (int) aspect height inside the bounds, scaled
// into a space of aspect width × aspect height with its origin at 0. When an aspect
// value truncates to 0, the bounds are empty or the letter-box does not fit 32 bits,
// out becomes the empty rectangle (0, 0, 0, 0).
KCM_API void kcm_aspectLetterBoxRect(float aspectWidth, float aspectHeight, RECT bounds, RECT& out);

// The largest rectangle of the aspect ratio inside the bounds, centred in them. The ratio
// is rounded to float before the sizes are computed, so 16:9 in 400 × 400 gives a height
// of 224, not 225.
KCM_API void kcm_aspectLetterBoxRect2(float aspectWidth, float aspectHeight, RECT bounds, RECT& out);

// A copy of the format as PCM with its derived fields recomputed. With restrictToCodec
// non-zero it becomes 16-bit mono at 8000, 12000, 16000 or 24000 Hz (any other rate
// becomes 24000), the formats the speech codec takes.
KCM_API WAVEFORMATEX kcm_checkWaveFormatEx(WAVEFORMATEX& format, int restrictToCodec);

// Sets biSizeImage from width, height and bit count when all three are non-zero (a
// negative height gives a negative size, as the signed arithmetic does on Windows).
KCM_API void kcm_updateValidVideoInfo(int unused, VIDEOINFO* header);

// A monotonic clock in 100 ns units from the system's millisecond counter (timeGetTime),
// extended past its 32-bit wrap. It stays monotonic as long as it is called at least once
// every 49.7 days. Not tied to the calendar.
KCM_API __int64 kcm_date_ns();

// 1 if the job that starts at `start` (its time of day repeating daily, or its weekday
// and time within the Monday-to-Sunday week of `now` weekly) and lasts `duration`
// seconds covers `now`, both ends included; else 0. Times are seconds since 1970, read
// as local time and, as the Windows library did, as unsigned 32-bit values.
KCM_API int kcm_checkScheduleJobWorkRequest(time_t start, int duration, KestroJobRepeatType repeat, time_t now);
