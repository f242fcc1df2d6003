// Thread message queues: PostThreadMessage, PeekMessage, GetMessage and
// MsgWaitForMultipleObjects.
#include "MessageQueue.h"

#include <mutex>
#include <unordered_map>

#include "Thread.h"
#include "Waits.h"
#include "errhandlingapi.h"
#include "synchapi.h"
#include "timeapi.h"
#include "winerror.h"

namespace kcm::kernel {

namespace {

// The registry has its own lock, never held together with the dispatcher lock.
class MessageQueueRegistry {
 public:
  void add(DWORD threadId, std::shared_ptr<MessageQueue> queue) {
    std::lock_guard<std::mutex> lock(mutex_);
    queues_[threadId] = std::move(queue);
  }
  void remove(DWORD threadId) {
    std::lock_guard<std::mutex> lock(mutex_);
    queues_.erase(threadId);
  }
  std::shared_ptr<MessageQueue> find(DWORD threadId) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto entry = queues_.find(threadId);
    return entry == queues_.end() ? nullptr : entry->second;
  }

 private:
  mutable std::mutex mutex_;
  std::unordered_map<DWORD, std::shared_ptr<MessageQueue>> queues_;  // guarded by mutex_
};

MessageQueueRegistry& registry() {
  // Never destroyed: adopted threads retire their queues from thread-local destructors,
  // which may run after static destruction has begun.
  static MessageQueueRegistry* const instance = new MessageQueueRegistry;
  return *instance;
}

bool passesFilter(UINT message, UINT filterMin, UINT filterMax) {
  if (filterMin == 0 && filterMax == 0) return true;
  return message >= filterMin && message <= filterMax;
}

// Windows refuses a window handle that names no window with ERROR_INVALID_WINDOW_HANDLE;
// our error table lacks that code, and no window exists here, so any window is an
// invalid handle.
bool validMessageArguments(LPMSG msg, HWND window) {
  if (window) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

std::shared_ptr<MessageQueue> ownQueue() { return currentThreadObject()->messageQueue(); }

BOOL postThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<MessageQueue> queue = registry().find(threadId);
  if (!queue) {
    // Windows answers ERROR_INVALID_THREAD_ID, which our error table lacks.
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  queue->post(message, wParam, lParam);
  return TRUE;
}

BOOL peekMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!validMessageArguments(msg, window)) return FALSE;
  std::shared_ptr<MessageQueue> queue = ownQueue();
  DispatcherLock lock;
  return queue->take(msg, filterMin, filterMax, removeFlags & PM_REMOVE) ? TRUE : FALSE;
}

BOOL getMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (!validMessageArguments(msg, window)) return -1;
  std::shared_ptr<MessageQueue> queue = ownQueue();
  DispatcherLock lock;
  waitUntil(lock, {queue.get()}, INFINITE, [&] { return queue->take(msg, filterMin, filterMax, true); });
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

}  // namespace

void MessageQueue::post(UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = GetTickCount();
  DispatcherLock lock;
  messages_.push_back(msg);
  wakeWaiters();
}

bool MessageQueue::take(MSG* msg, UINT filterMin, UINT filterMax, bool remove) {
  for (auto entry = messages_.begin(); entry != messages_.end(); ++entry) {
    if (!passesFilter(entry->message, filterMin, filterMax)) continue;
    *msg = *entry;
    if (remove) messages_.erase(entry);
    return true;
  }
  return false;
}

void registerMessageQueue(DWORD threadId, std::shared_ptr<MessageQueue> queue) {
  registry().add(threadId, std::move(queue));
}

void unregisterMessageQueue(DWORD threadId) { registry().remove(threadId); }

}  // namespace kcm::kernel

using namespace kcm::kernel;

BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  return postThreadMessage(threadId, message, wParam, lParam);
}

BOOL WINAPI PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  return postThreadMessage(threadId, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) { ownQueue()->post(WM_QUIT, static_cast<WPARAM>(exitCode), 0); }

BOOL WINAPI PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  return peekMessage(msg, window, filterMin, filterMax, removeFlags);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  return peekMessage(msg, window, filterMin, filterMax, removeFlags);
}

BOOL WINAPI GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  return getMessage(msg, window, filterMin, filterMax);
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  return getMessage(msg, window, filterMin, filterMax);
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                       DWORD /*wakeMask*/) {
  // One slot of the wait belongs to the queue, as on Windows.
  if (count > MAXIMUM_WAIT_OBJECTS - 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  WaitableList objects;
  if (!resolveWaitHandles(count, handles, waitAll, &objects)) return WAIT_FAILED;
  objects.push_back(ownQueue());
  return waitForObjects(objects, waitAll, milliseconds);
}
