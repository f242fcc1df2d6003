#include "KestroLog.h"
#include "SourcePath.h"
#include "WaveForm.h"
#include "winuser.h"

CAdvise::CAdvise() { InitializeCriticalSection(&_lock); }

CAdvise::~CAdvise() { DeleteCriticalSection(&_lock); }

int CAdvise::Advise(void* target, void* context, DWORD eventMask, DWORD kind) {
  EnterCriticalSection(&_lock);
  _subscriptions.push_back(Subscription{target, context, eventMask, kind});
  LeaveCriticalSection(&_lock);
  return 1;
}

int CAdvise::Unadvise(void* target) {
  int removed = 0;
  EnterCriticalSection(&_lock);
  for (auto it = _subscriptions.begin(); it != _subscriptions.end(); ++it) {
    if (it->target == target) {
      _subscriptions.erase(it);
      removed = 1;
      break;
    }
  }
  LeaveCriticalSection(&_lock);
  return removed;
}

void CAdvise::Notify(UINT event, WPARAM wParam, LPARAM lParam) {
  EnterCriticalSection(&_lock);
  for (const Subscription& subscription : _subscriptions) {
    switch (subscription.kind) {
      case CALLBACK_EVENT:
        SetEvent(static_cast<HANDLE>(subscription.target));
        break;
      case CALLBACK_FUNCTION:
        if (subscription.eventMask & event)
          reinterpret_cast<WaveFormNotifyFunction>(subscription.target)(event, subscription.context, wParam, lParam);
        break;
      case CALLBACK_WINDOW:
        if (subscription.eventMask & event)
          kcm_logExpression(KCM_SOURCE_PATH("WaveForm"), __LINE__, "CAdvise::Notify::SendMessageW", KcmLogDebug, true);
        break;
      case CALLBACK_THREAD:
        if (subscription.eventMask & event)
          PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<uintptr_t>(subscription.target)), event, wParam,
                             lParam);
        break;
      default:
        break;
    }
  }
  LeaveCriticalSection(&_lock);
}
