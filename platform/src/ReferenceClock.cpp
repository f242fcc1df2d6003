// Advises are kept in a map ordered by due time and served by one thread per clock,
// started with the first advise: it signals the event of a one-shot advise (and forgets
// it) or releases the semaphore of a periodic one once per period.
#include "ReferenceClock.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "ComObject.h"
#include "synchapi.h"
#include "windows.h"

namespace kcm::dshow {

namespace {

using Ticks = std::chrono::duration<REFERENCE_TIME, std::ratio<1, 10000000>>;

// Far enough for any schedule, near enough that steady_clock's nanoseconds cannot overflow.
constexpr REFERENCE_TIME kLatestDueTime = REFERENCE_TIME{1} << 56;

struct Advise {
  HANDLE handle;
  REFERENCE_TIME period;  // 0 for a one-shot advise (an event), else a semaphore's period
};

class SystemClock final : public kcm::com::RefCounted<IReferenceClock> {
 public:
  ~SystemClock() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IReferenceClock) return E_NOINTERFACE;
    return kcm::com::handOut(static_cast<IReferenceClock*>(this), object);
  }

  STDMETHODIMP GetTime(REFERENCE_TIME* time) override {
    if (time == nullptr) return E_POINTER;
    *time = systemClockTime();
    return S_OK;
  }

  STDMETHODIMP AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                          DWORD_PTR* cookie) override {
    if (cookie == nullptr) return E_POINTER;
    REFERENCE_TIME due = 0;
    if (event == 0 || __builtin_add_overflow(baseTime, streamTime, &due) || due <= 0) return E_INVALIDARG;
    return add(due, Advise{reinterpret_cast<HANDLE>(event), 0}, cookie);
  }

  STDMETHODIMP AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE semaphore,
                              DWORD_PTR* cookie) override {
    if (cookie == nullptr) return E_POINTER;
    if (semaphore == 0 || startTime < 0 || periodTime <= 0) return E_INVALIDARG;
    const REFERENCE_TIME period = std::min(periodTime, kLatestDueTime);
    return add(startTime, Advise{reinterpret_cast<HANDLE>(semaphore), period}, cookie);
  }

  STDMETHODIMP Unadvise(DWORD_PTR cookie) override {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = advises_.begin(); it != advises_.end(); ++it) {
      if (it->second.first == cookie) {
        advises_.erase(it);
        return S_OK;
      }
    }
    return S_FALSE;
  }

 private:
  using Schedule = std::multimap<REFERENCE_TIME, std::pair<DWORD_PTR, Advise>>;

  HRESULT add(REFERENCE_TIME due, const Advise& advise, DWORD_PTR* cookie) {
    try {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!worker_.joinable()) worker_ = std::thread([this] { serve(); });
      *cookie = ++lastCookie_;
      advises_.emplace(std::min(due, kLatestDueTime), std::make_pair(*cookie, advise));
    } catch (const std::exception&) {
      return E_OUTOFMEMORY;
    }
    wake_.notify_all();
    return S_OK;
  }

  void serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
      if (advises_.empty()) {
        wake_.wait(lock);
        continue;
      }
      const REFERENCE_TIME due = advises_.begin()->first;
      if (systemClockTime() < due) {
        wake_.wait_until(lock, std::chrono::steady_clock::time_point(
                                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(Ticks(due))));
        continue;
      }
      fire(advises_.begin());
    }
  }

  // Signals one due advise; a periodic one is scheduled again at its next period
  // boundary still ahead (periods already missed are not signalled one by one).
  void fire(Schedule::iterator entry) {
    const REFERENCE_TIME due = entry->first;
    const auto [cookie, advise] = entry->second;
    advises_.erase(entry);
    if (advise.period == 0) {
      SetEvent(advise.handle);
      return;
    }
    ReleaseSemaphore(advise.handle, 1, nullptr);
    const REFERENCE_TIME missed = std::max<REFERENCE_TIME>(0, systemClockTime() - due) / advise.period;
    const REFERENCE_TIME next = due + (missed + 1) * advise.period;
    advises_.emplace(std::min(next, kLatestDueTime), std::make_pair(cookie, advise));
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  Schedule advises_;           // guarded by mutex_
  DWORD_PTR lastCookie_ = 0;   // guarded by mutex_
  bool stopping_ = false;      // guarded by mutex_
  std::thread worker_;         // started under mutex_, joined by the destructor
};

}  // namespace

REFERENCE_TIME systemClockTime() {
  return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

IReferenceClock* createSystemClock() { return new (std::nothrow) SystemClock; }

}  // namespace kcm::dshow
