// The graph's event queue: what filters report through IMediaEventSink::Notify and the
// application reads through IMediaEvent.
//
// Default handling covers EC_COMPLETE only: while it is on, each renderer's EC_COMPLETE
// is counted instead of queued, and one EC_COMPLETE (param1 the first failure a renderer
// reported or S_OK, param2 0) is queued once every renderer of the session has reported.
// A session starts when the graph leaves the stopped state; a graph without renderers
// passes EC_COMPLETE on as it comes. With default handling cancelled every EC_COMPLETE is
// queued as sent.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "control.h"

namespace kcm::dshow {

class MediaEventQueue {
 public:
  MediaEventQueue();
  ~MediaEventQueue();
  MediaEventQueue(const MediaEventQueue&) = delete;
  MediaEventQueue& operator=(const MediaEventQueue&) = delete;

  // The manual-reset event, signalled while the queue holds events; null if it could
  // not be created.
  HANDLE handle() const { return handle_; }

  void notify(long code, LONG_PTR param1, LONG_PTR param2);
  // E_ABORT when no event arrives within `milliseconds` (INFINITE waits without limit).
  HRESULT get(long* code, LONG_PTR* param1, LONG_PTR* param2, long milliseconds);

  // A new session expecting EC_COMPLETE from `renderers` renderers.
  void beginSession(int renderers);
  // Ends the session: completion waiters return VFW_E_WRONG_STATE.
  void endSession();
  // Waits for the session's completion (EC_COMPLETE, EC_ERRORABORT or EC_USERABORT
  // queued) without taking it from the queue. E_ABORT on time-out.
  HRESULT waitForCompletion(long milliseconds, long* code);

  // E_INVALIDARG for codes without default handling.
  HRESULT setDefaultHandling(long code, bool enabled);
  // AM_MEDIAEVENT_NONOTIFY drops queued events and queues none until cleared.
  HRESULT setNotifyFlags(long flags);
  long notifyFlags();

 private:
  struct Event {
    long code;
    LONG_PTR param1;
    LONG_PTR param2;
  };

  // Called with mutex_ held.
  bool swallowRendererCompletion(LONG_PTR status);
  void push(const Event& event);
  void signalIfNotEmpty();

  const HANDLE handle_;
  std::mutex mutex_;
  std::condition_variable arrived_;  // an event was queued or the session ended
  // All guarded by mutex_.
  std::deque<Event> events_;
  bool completeHandledByDefault_ = true;
  long notifyFlags_ = 0;
  int renderersExpected_ = 0;
  int renderersCompleted_ = 0;
  HRESULT firstRendererFailure_ = S_OK;
  bool inSession_ = false;
  long completionCode_ = 0;  // nonzero once the session completed
};

}  // namespace kcm::dshow
