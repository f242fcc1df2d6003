#include "KestroServiceThread.h"

#include <stdlib.h>
#include <time.h>

#include "KestroCrashReport.h"
#include "KestroLog.h"
#include "SourcePath.h"
#include "combaseapi.h"
#include "handleapi.h"
#include "process.h"
#include "processthreadsapi.h"
#include "synchapi.h"
#include "winuser.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("ServiceThread");
constexpr DWORD kGracePeriodMs = 5000;
constexpr DWORD kTerminatedExitCode = 0xFFFFFF9D;  // -99

// Lives on the starter's stack until the start event is signalled.
struct StartBlock {
  bool succeeded;
  HANDLE startEvent;
  CServiceThread* thread;
};

}  // namespace

CServiceThread::CServiceThread() : _running(false), _threadId(0), _thread(nullptr) {}

CServiceThread::~CServiceThread() {}

bool CServiceThread::IsRuning() { return _thread != nullptr && WaitForSingleObject(_thread, 0) == WAIT_TIMEOUT; }

bool CServiceThread::StartThead() {
  if (IsRuning()) return false;
  CloseThreadHandle();
  HANDLE startEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (startEvent == nullptr) return false;
  StartBlock block{false, startEvent, this};
  _running = true;
  unsigned threadId = 0;
  _thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadFunction, &block, 0, &threadId));
  if (_thread == nullptr) {
    _running = false;
    CloseHandle(startEvent);
    return false;
  }
  _threadId = threadId;
  WaitForSingleObject(startEvent, INFINITE);
  CloseHandle(startEvent);
  if (block.succeeded) return true;
  StopThread(INFINITE);
  return false;
}

bool CServiceThread::StopThread(unsigned long timeout) {
  if (IsRuning()) {
    _running = false;
    if (timeout != INFINITE) {
      if (WaitForSingleObject(_thread, static_cast<DWORD>(timeout)) == WAIT_TIMEOUT) return false;
    } else {
      while (WaitForSingleObject(_thread, kGracePeriodMs) == WAIT_TIMEOUT) {
        SleepEx(1, TRUE);
        ::TerminateThread(_thread, kTerminatedExitCode);
      }
    }
  }
  CloseThreadHandle();
  return true;
}

bool CServiceThread::TerminateThread(unsigned long exitCode) {
  if (IsRuning()) ::TerminateThread(_thread, static_cast<DWORD>(exitCode));
  CloseThreadHandle();
  return true;
}

unsigned int CServiceThread::GetThreadID() { return _threadId; }

void* CServiceThread::GetThreadHandle() { return _thread; }

bool CServiceThread::PostThreadMessageW(unsigned int message, unsigned int wParam, long lParam) {
  if (_threadId == 0) return false;
  return ::PostThreadMessageW(_threadId, message, wParam, static_cast<LPARAM>(lParam)) != FALSE;
}

bool CServiceThread::OnThreadStartEvent() { return true; }

bool CServiceThread::OnThreadStopEvent() { return true; }

void CServiceThread::CloseThreadHandle() {
  if (_thread == nullptr) return;
  CloseHandle(_thread);
  _thread = nullptr;
  _threadId = 0;
}

// A forced unwind (the thread being terminated) carries no C++ object; UBSan's null check
// would report the rethrowing handler's reference binding although it is never read.
__attribute__((no_sanitize("null"))) bool CServiceThread::RunStartStep(CServiceThread* thread) {
  se_translator translation;
  try {
    return thread->OnThreadStartEvent();
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (se_translator::access_violation& fault) {
    ZT_Dump_Access_violation(kSourcePath, __LINE__, fault);
  } catch (se_translator::no_memory& fault) {
    ZT_Dump_Se_translator(kSourcePath, __LINE__, fault);
  } catch (...) {
    kcm_logExpression(kSourcePath, __LINE__, "Unknow Exception", KcmLogCritical, true);
  }
  return false;
}

__attribute__((no_sanitize("null"))) void CServiceThread::RunPasses() {
  while (_running) {
    try {
      if (!OnThreadRun()) break;
    } catch (abi::__forced_unwind&) {
      throw;
    } catch (...) {
      kcm_logExpression(kSourcePath, __LINE__, "\"E_FAIL\"", KcmLogCritical, true);
    }
  }
}

__attribute__((no_sanitize("null"))) void CServiceThread::RunStopStep() {
  try {
    OnThreadStopEvent();
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (...) {
    kcm_logExpression(kSourcePath, __LINE__, "\"E_FAIL\"", KcmLogCritical, true);
  }
}

unsigned int __stdcall CServiceThread::ThreadFunction(void* parameter) {
  StartBlock* block = static_cast<StartBlock*>(parameter);
  CServiceThread* thread = block->thread;
  srand(static_cast<unsigned>(time(nullptr)));
  CoInitialize(nullptr);
  block->succeeded = RunStartStep(thread);
  const bool started = block->succeeded;
  SetEvent(block->startEvent);  // the starter's frame may be gone from here on
  if (started) thread->RunPasses();
  thread->RunStopStep();
  CoUninitialize();
  return 0;
}
