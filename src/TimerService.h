// CTimerService and its thread.
#pragma once

#include <exception>

#include "KestroArrayTemplate.h"
#include "KestroServiceThread.h"
#include "KestroThreadLock.h"
#include "UnknownExObject.h"
#include "KestroTimerService.h"

class CTimerService;

// Sleeps one tick per pass, then lets the service count it.
class CTimerThread : public CServiceThread {
 public:
  CTimerThread();
  ~CTimerThread() override;
  void Attach(uint32_t tickLength, CTimerService* owner);

 private:
  bool OnThreadRun() override;

  uint32_t _tickLength;
  CTimerService* _owner;
};

class CTimerService : public CUnknownExObject<ITimerService, IID_ITimerService> {
 public:
  CTimerService();
  ~CTimerService() override;

  bool SetTimer(unsigned long timerId, unsigned long elapse, unsigned long repeat, unsigned long param,
                unsigned long bindParam) override;
  bool KillTimerEx(unsigned long timerId, unsigned long bindParam) override;
  bool KillTimer(unsigned long timerId) override;
  bool KillTimersByParam(unsigned long bindParam) override;
  bool KillAllTimers() override;
  bool StartService() override;
  bool StopService() override;
  bool IsServiceStarted() override;
  bool SetTimerServiceSink(IUnknownEx* sink) override;

  // One tick of the clock; run by the timer thread after each sleep.
  void Tick();

 private:
  typedef CArrayTemplate<tagTimerItem*, tagTimerItem* const&> TimerList;

  tagTimerItem* TakeFreeTimer();
  int FindActive(uint32_t timerId, const uint32_t* bindParam);
  int IndexOfActive(const tagTimerItem* timer);
  void RemoveActive(int index);
  void ResetClock();
  void ReleaseAllActive();
  uint32_t FireDueTimers(std::exception_ptr* sinkFailure);
  void NotifySink(const tagTimerItem& timer, std::exception_ptr* sinkFailure);

  const uint32_t _tickLength;
  bool _started;
  uint32_t _timePassed;  // since the last zero point
  uint32_t _timeLeft;    // until the next zero point; INFINITE when nothing is pending
  TimerList _freeTimers;
  TimerList _activeTimers;  // in order of first registration
  CThreadLock _lock;        // guards the clock and both lists
  CTimerThread _thread;
  ITimerServiceSink* _sink;
};
