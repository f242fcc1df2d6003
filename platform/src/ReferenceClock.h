// The graph's default reference clock: CLOCK_MONOTONIC in 100 ns units.
#pragma once

#include "strmif.h"

namespace kcm::dshow {

// A new system clock with one reference, or null when out of memory.
IReferenceClock* createSystemClock();

// The current time of the system clock, in 100 ns units.
REFERENCE_TIME systemClockTime();

}  // namespace kcm::dshow
