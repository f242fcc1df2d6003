#include "TimerService.h"

#include <algorithm>
#include <exception>

#include "UnknownExFactory.h"
#include "processthreadsapi.h"
#include "synchapi.h"

namespace {

constexpr uint32_t kTickLength = 25;
constexpr uint32_t kRepeatForever = 0xFFFFFFFF;

}  // namespace

CTimerThread::CTimerThread() : _tickLength(kTickLength), _owner(nullptr) {}

CTimerThread::~CTimerThread() {}

void CTimerThread::Attach(uint32_t tickLength, CTimerService* owner) {
  _tickLength = tickLength;
  _owner = owner;
}

bool CTimerThread::OnThreadRun() {
  Sleep(_tickLength);
  _owner->Tick();
  return true;
}

CTimerService::CTimerService()
    : _tickLength(kTickLength), _started(false), _timePassed(0), _timeLeft(INFINITE), _sink(nullptr) {}

CTimerService::~CTimerService() {
  StopService();
  for (int i = 0; i < _freeTimers.GetSize(); ++i) delete _freeTimers[i];
}

bool CTimerService::SetTimer(unsigned long timerId, unsigned long elapse, unsigned long repeat, unsigned long param,
                             unsigned long bindParam) {
  CThreadLockHandle guard(&_lock, true);
  if (repeat == 0) return false;
  const uint32_t ticks = (_tickLength - 1 + static_cast<uint32_t>(elapse)) / _tickLength;
  const uint32_t period = (ticks == 0 ? 1 : ticks) * _tickLength;  // an elapse of 0 is one tick
  const int index = FindActive(static_cast<uint32_t>(timerId), nullptr);
  tagTimerItem* timer = index >= 0 ? _activeTimers[index] : TakeFreeTimer();
  if (timer == nullptr) return false;
  *timer = tagTimerItem{static_cast<uint32_t>(timerId), period, _timePassed + period, static_cast<uint32_t>(repeat),
                        static_cast<uint32_t>(param), static_cast<uint32_t>(bindParam)};
  _timeLeft = std::min(_timeLeft, period);
  if (index < 0) _activeTimers.Add(timer);
  return true;
}

bool CTimerService::KillTimerEx(unsigned long timerId, unsigned long bindParam) {
  CThreadLockHandle guard(&_lock, true);
  const uint32_t bind = static_cast<uint32_t>(bindParam);
  const int index = FindActive(static_cast<uint32_t>(timerId), &bind);
  if (index < 0) return false;
  RemoveActive(index);
  return true;
}

bool CTimerService::KillTimer(unsigned long timerId) {
  CThreadLockHandle guard(&_lock, true);
  const int index = FindActive(static_cast<uint32_t>(timerId), nullptr);
  if (index < 0) return false;
  RemoveActive(index);
  return true;
}

bool CTimerService::KillTimersByParam(unsigned long bindParam) {
  CThreadLockHandle guard(&_lock, true);
  for (int i = 0; i < _activeTimers.GetSize();) {
    if (_activeTimers[i]->bindParam == static_cast<uint32_t>(bindParam)) {
      RemoveActive(i);  // the next timer moves into place i
    } else {
      ++i;
    }
  }
  return true;
}

bool CTimerService::KillAllTimers() {
  CThreadLockHandle guard(&_lock, true);
  ReleaseAllActive();
  return true;
}

bool CTimerService::StartService() {
  if (_started) return true;
  {
    CThreadLockHandle guard(&_lock, true);
    ResetClock();
  }
  _thread.Attach(_tickLength, this);
  if (!_thread.StartThead()) return false;
  _started = true;
  return true;
}

bool CTimerService::StopService() {
  _started = false;
  _thread.StopThread(INFINITE);
  CThreadLockHandle guard(&_lock, true);
  ReleaseAllActive();
  return true;
}

bool CTimerService::IsServiceStarted() { return _started; }

bool CTimerService::SetTimerServiceSink(IUnknownEx* sink) {
  if (_started || sink == nullptr) return false;
  void* answer = sink->Ex_QueryInterface(IID_ITimerServiceSink, KCM_INTERFACE_VERSION);
  if (answer == nullptr) return false;
  _sink = static_cast<ITimerServiceSink*>(answer);
  return true;
}

void CTimerService::Tick() {
  CThreadLockHandle guard(&_lock, true);
  if (_timeLeft == INFINITE) return;
  _timePassed += _tickLength;
  _timeLeft -= _tickLength;
  if (_timeLeft != 0) return;
  std::exception_ptr sinkFailure;
  const uint32_t next = FireDueTimers(&sinkFailure);
  _timePassed = 0;
  _timeLeft = next;
  // The thread's pass logs the failure; the clock was brought to the next zero point
  // first, or one throwing sink would stop every timer for good.
  if (sinkFailure) std::rethrow_exception(sinkFailure);
}

// The sink's exceptions are kept for the caller, the first one only.
__attribute__((no_sanitize("null"))) void CTimerService::NotifySink(const tagTimerItem& timer,
                                                                    std::exception_ptr* failure) {
  try {
    _sink->OnTimerEvent(timer.timerId, timer.param, timer.bindParam);
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    if (!*failure) *failure = std::current_exception();
  }
}

// Walks the active list at a zero point; answers the time to the next one. The sink may
// set or kill timers meanwhile, so the walk re-reads the list's size at every step.
uint32_t CTimerService::FireDueTimers(std::exception_ptr* sinkFailure) {
  uint32_t next = INFINITE;
  for (int i = 0; i < _activeTimers.GetSize();) {
    tagTimerItem* timer = _activeTimers[i];
    timer->remaining -= _timePassed;
    if (timer->remaining == 0) {
      if (_sink != nullptr) {
        NotifySink(*timer, sinkFailure);
        const int now = IndexOfActive(timer);
        if (now < 0) continue;  // the sink killed it: whatever moved into place i is next
        i = now;
      }
      if (timer->repeat == 1) {
        RemoveActive(i);
        continue;
      }
      if (timer->repeat != kRepeatForever) --timer->repeat;
      timer->remaining = timer->elapse;
    }
    next = std::min(next, timer->remaining);
    ++i;
  }
  return next;
}

tagTimerItem* CTimerService::TakeFreeTimer() {
  if (_freeTimers.IsEmpty()) return new (std::nothrow) tagTimerItem();
  const int last = _freeTimers.GetSize() - 1;
  tagTimerItem* timer = _freeTimers[last];
  _freeTimers.RemoveAt(last);
  return timer;
}

int CTimerService::FindActive(uint32_t timerId, const uint32_t* bindParam) {
  for (int i = 0; i < _activeTimers.GetSize(); ++i) {
    const tagTimerItem* timer = _activeTimers[i];
    if (timer->timerId == timerId && (bindParam == nullptr || timer->bindParam == *bindParam)) return i;
  }
  return -1;
}

int CTimerService::IndexOfActive(const tagTimerItem* timer) {
  for (int i = 0; i < _activeTimers.GetSize(); ++i) {
    if (_activeTimers[i] == timer) return i;
  }
  return -1;
}

void CTimerService::RemoveActive(int index) {
  _freeTimers.Add(_activeTimers[index]);
  _activeTimers.RemoveAt(index);
  if (_activeTimers.IsEmpty()) ResetClock();
}

void CTimerService::ResetClock() {
  _timePassed = 0;
  _timeLeft = INFINITE;
}

void CTimerService::ReleaseAllActive() {
  _freeTimers.Append(_activeTimers);
  _activeTimers.RemoveAll();
  ResetClock();
}

void* CreateTimerService(const GUID& iid, unsigned long version) {
  return CreateUnknownExObject<CTimerService>(iid, version);
}
