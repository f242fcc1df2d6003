#include "MediaEventQueue.h"

#include <chrono>

#include "evcode.h"
#include "vfwmsgs.h"
#include "windows.h"

namespace kcm::dshow {

namespace {

bool EndsSession(long code) { return code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT; }

// Waits on `condition` until `done()` or the time-out; false on time-out.
template <class Predicate>
bool WaitFor(std::condition_variable& condition, std::unique_lock<std::mutex>& lock, long milliseconds,
             Predicate done) {
  if (static_cast<DWORD>(milliseconds) == INFINITE) {
    condition.wait(lock, done);
    return true;
  }
  return condition.wait_for(lock, std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds), done);
}

}  // namespace

MediaEventQueue::MediaEventQueue() : handle_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

MediaEventQueue::~MediaEventQueue() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

void MediaEventQueue::notify(long code, LONG_PTR param1, LONG_PTR param2) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (code == EC_COMPLETE && swallowRendererCompletion(param1)) return;
    if (EndsSession(code) && inSession_ && completionCode_ == 0) completionCode_ = code;
    if ((notifyFlags_ & AM_MEDIAEVENT_NONOTIFY) == 0) push(Event{code, param1, param2});
  }
  arrived_.notify_all();
}

// Counts a renderer's EC_COMPLETE under default handling; true when it is not queued.
// The last expected one turns into the graph's own EC_COMPLETE.
bool MediaEventQueue::swallowRendererCompletion(LONG_PTR status) {
  if (!completeHandledByDefault_ || renderersExpected_ == 0) return false;
  if (FAILED(static_cast<HRESULT>(status)) && SUCCEEDED(firstRendererFailure_)) {
    firstRendererFailure_ = static_cast<HRESULT>(status);
  }
  if (++renderersCompleted_ != renderersExpected_) return true;
  if (inSession_ && completionCode_ == 0) completionCode_ = EC_COMPLETE;
  if ((notifyFlags_ & AM_MEDIAEVENT_NONOTIFY) == 0) push(Event{EC_COMPLETE, firstRendererFailure_, 0});
  arrived_.notify_all();
  return true;
}

void MediaEventQueue::push(const Event& event) {
  events_.push_back(event);
  if (handle_ != nullptr) SetEvent(handle_);
}

void MediaEventQueue::signalIfNotEmpty() {
  if (handle_ == nullptr) return;
  if (events_.empty()) {
    ResetEvent(handle_);
  } else {
    SetEvent(handle_);
  }
}

HRESULT MediaEventQueue::get(long* code, LONG_PTR* param1, LONG_PTR* param2, long milliseconds) {
  if (code == nullptr || param1 == nullptr || param2 == nullptr) return E_POINTER;
  std::unique_lock<std::mutex> lock(mutex_);
  if (!WaitFor(arrived_, lock, milliseconds, [this] { return !events_.empty(); })) {
    *code = 0;
    *param1 = *param2 = 0;
    return E_ABORT;
  }
  const Event event = events_.front();
  events_.pop_front();
  signalIfNotEmpty();
  *code = event.code;
  *param1 = event.param1;
  *param2 = event.param2;
  return S_OK;
}

void MediaEventQueue::beginSession(int renderers) {
  std::lock_guard<std::mutex> lock(mutex_);
  renderersExpected_ = renderers;
  renderersCompleted_ = 0;
  firstRendererFailure_ = S_OK;
  inSession_ = true;
  completionCode_ = 0;
}

void MediaEventQueue::endSession() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    inSession_ = false;
  }
  arrived_.notify_all();
}

HRESULT MediaEventQueue::waitForCompletion(long milliseconds, long* code) {
  if (code == nullptr) return E_POINTER;
  *code = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  if (!inSession_) return VFW_E_WRONG_STATE;
  const bool settled =
      WaitFor(arrived_, lock, milliseconds, [this] { return completionCode_ != 0 || !inSession_; });
  if (!settled) return E_ABORT;
  if (completionCode_ == 0) return VFW_E_WRONG_STATE;
  *code = completionCode_;
  return S_OK;
}

HRESULT MediaEventQueue::setDefaultHandling(long code, bool enabled) {
  if (code != EC_COMPLETE) return E_INVALIDARG;
  std::lock_guard<std::mutex> lock(mutex_);
  completeHandledByDefault_ = enabled;
  return S_OK;
}

HRESULT MediaEventQueue::setNotifyFlags(long flags) {
  if ((flags & ~static_cast<long>(AM_MEDIAEVENT_NONOTIFY)) != 0) return E_INVALIDARG;
  std::lock_guard<std::mutex> lock(mutex_);
  notifyFlags_ = flags;
  if ((flags & AM_MEDIAEVENT_NONOTIFY) != 0) events_.clear();
  signalIfNotEmpty();
  return S_OK;
}

long MediaEventQueue::notifyFlags() {
  std::lock_guard<std::mutex> lock(mutex_);
  return notifyFlags_;
}

}  // namespace kcm::dshow
