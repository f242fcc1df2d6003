// The timer service: numbered, repeating timers on one thread that ticks every 25 ms.
//
// Time is counted in ticks, periods are rounded up to whole ticks, and the timers are
// only looked at on the tick at which the nearest one is due. The sink's OnTimerEvent
// runs on the timer thread with the service's (re-entrant) lock held: it may set and
// kill timers itself; other threads doing so wait until it returns.
#pragma once

#include "KestroExport.h"
#include "KestroUnknownEx.h"

// One timer. Milliseconds throughout.
struct tagTimerItem {
  uint32_t timerId;
  uint32_t elapse;     // the period, a whole number of ticks
  uint32_t remaining;  // until due, counted from the service's last zero point
  uint32_t repeat;     // firings left; 0xFFFFFFFF: without end
  uint32_t param;
  uint32_t bindParam;  // also the key of KillTimerEx and KillTimersByParam
};

class ITimerService : public IUnknownEx {
 public:
  // Registers a timer, or re-arms the active one with this id in place. `repeat` 0 is
  // refused (false); an `elapse` of 0 counts as one tick. True when the timer is set.
  virtual bool SetTimer(unsigned long timerId, unsigned long elapse, unsigned long repeat, unsigned long param,
                        unsigned long bindParam) = 0;
  virtual bool KillTimerEx(unsigned long timerId, unsigned long bindParam) = 0;
  virtual bool KillTimer(unsigned long timerId) = 0;
  virtual bool KillTimersByParam(unsigned long bindParam) = 0;
  virtual bool KillAllTimers() = 0;
  virtual bool StartService() = 0;
  virtual bool StopService() = 0;
  virtual bool IsServiceStarted() = 0;
  // Only while stopped; the object must answer the ITimerServiceSink identifier.
  virtual bool SetTimerServiceSink(IUnknownEx* sink) = 0;

 protected:
  ~ITimerService() = default;
};

class ITimerServiceSink : public IUnknownEx {
 public:
  // The answer is not used.
  virtual bool OnTimerEvent(unsigned long timerId, unsigned long param, unsigned long bindParam) = 0;

 protected:
  ~ITimerServiceSink() = default;
};

// Answers a new timer service as the interface asked for (ITimerService or IUnknownEx
// with an accepted version), or null.
extern "C" KCM_API void* CreateTimerService(const GUID& iid, unsigned long version);
