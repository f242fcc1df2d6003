// Per-thread message queues.
#pragma once

#include <deque>
#include <memory>

#include "Dispatcher.h"
#include "winuser.h"

namespace kcm::kernel {

// A thread's posted messages, oldest first. As a waitable object it is signalled while
// it holds a message, and a satisfied wait takes nothing: the message stays for
// PeekMessage or GetMessage.
class MessageQueue final : public WaitableObject {
 public:
  bool isSignaled() const override { return !messages_.empty(); }

  void post(UINT message, WPARAM wParam, LPARAM lParam);
  // Copies the oldest message within [filterMin, filterMax] (0, 0: any) to `msg`, and
  // removes it if asked. Dispatcher lock held.
  bool take(MSG* msg, UINT filterMin, UINT filterMax, bool remove);

 private:
  std::deque<MSG> messages_;  // guarded by the dispatcher lock
};

// The queues by thread id, so that PostThreadMessage finds them.
void registerMessageQueue(DWORD threadId, std::shared_ptr<MessageQueue> queue);
void unregisterMessageQueue(DWORD threadId);

}  // namespace kcm::kernel
