// kcm_date_ns: the process-wide 100 ns clock on the system's millisecond counter.
#include "KestroFormatHelpers.h"
#include "WrapClock.h"
#include "timeapi.h"

__int64 kcm_date_ns() {
  static CWrapClock clock(timeGetTime);
  return clock.Now();
}
