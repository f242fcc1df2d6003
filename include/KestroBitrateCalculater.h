// CBitrateCalculater: counts delivered bytes and deliveries and answers current and
// average bit rates (kilobits per second) and delivery rates (deliveries per millisecond).
//
// The clock counts wall-clock milliseconds as the Windows C run-time clock() does, in a
// signed 32-bit value, but from CLOCK_MONOTONIC: Linux's clock() counts processor time
// instead. It counts from the moment the library was loaded, which for a host linked
// against it is the start of the process; only differences of its values are used.
//
// No lock: one thread uses an object.
#pragma once

#include <stdint.h>

#include "KestroExport.h"

class KCM_API CBitrateCalculater {
 public:
  CBitrateCalculater();
  ~CBitrateCalculater();
  // Copying copies every count, window and start time.

  // Every count 0, both windows and the start time restart now, both last rates 0.0.
  void Reset();
  void Deliver(unsigned long bytes);

  // Kilobits per second since the byte window started. Within the tick the window
  // started in, the previous answer is repeated and the window does not restart.
  double kbpsCurrent(bool restart);
  // Deliveries per millisecond since the delivery window started; otherwise the same.
  double samplerateCurrent(bool restart);

  // Whole kibibytes delivered.
  unsigned long KBTotal();
  // Milliseconds since the construction or the last Reset.
  unsigned long tsDuration();
  // Since the construction or the last Reset; 0.0 during its first second.
  double kbpsAverage();
  double samplerateAverage();

 private:
  uint32_t _totalBytes;
  uint32_t _windowBytes;
  uint32_t _totalDeliveries;
  uint32_t _windowDeliveries;
  uint32_t _byteWindowLength;  // milliseconds seen by the last kbpsCurrent
  uint32_t _deliveryWindowLength;
  // Clock values.
  int32_t _byteWindowStart;
  int32_t _deliveryWindowStart;
  int32_t _startTime;
  double _lastKbps;
  double _lastSamplerate;
};
