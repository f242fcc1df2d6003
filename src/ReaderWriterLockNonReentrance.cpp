#include "KestroReaderWriterLock.h"

#include "handleapi.h"

namespace {

const DWORD kSpinCount = 400;

HANDLE takeHandle(HANDLE& field) {
  HANDLE handle = field;
  field = nullptr;
  return handle;
}

// Closing outside the section keeps the handle table's lock out of it.
void leaveAndClose(CRITICAL_SECTION* section, HANDLE event) {
  LeaveCriticalSection(section);
  CloseHandle(event);
}

void closeIfOpen(HANDLE& field) {
  if (field != nullptr) CloseHandle(takeHandle(field));
}

// With readers in, every counted writer is still waiting for them.
bool writerMayHold(uint32_t writerCount, uint32_t readerCount) { return writerCount != 0 && readerCount == 0; }

}  // namespace

CReaderWriterLockNonReentrance::CReaderWriterLockNonReentrance() { Struct(); }

CReaderWriterLockNonReentrance::~CReaderWriterLockNonReentrance() { Destruct(); }

void CReaderWriterLockNonReentrance::Struct() {
  _writerEvent = nullptr;
  _readerEvent = nullptr;
  _writerCount = 0;
  _readerCount = 0;
  _waitingReaderCount = 0;
  InitializeCriticalSectionAndSpinCount(&_section, kSpinCount);
}

void CReaderWriterLockNonReentrance::Destruct() {
  closeIfOpen(_writerEvent);
  closeIfOpen(_readerEvent);
  DeleteCriticalSection(&_section);
}

void CReaderWriterLockNonReentrance::_AcquireReaderLockAndLeaveCS() {
  if (_writerCount == 0) {
    ++_readerCount;
    LeaveCriticalSection(&_section);
    return;
  }
  ++_waitingReaderCount;
  if (_readerEvent == nullptr) _readerEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Stays open while this reader is counted as waiting.
  HANDLE readerEvent = _readerEvent;
  // A writer arriving after the event opened resets it again: check the count each time.
  do {
    LeaveCriticalSection(&_section);
    WaitForSingleObject(readerEvent, INFINITE);
    EnterCriticalSection(&_section);
  } while (_writerCount != 0);
  ++_readerCount;
  if (--_waitingReaderCount == 0) {
    leaveAndClose(&_section, takeHandle(_readerEvent));
  } else {
    LeaveCriticalSection(&_section);
  }
}

void CReaderWriterLockNonReentrance::_ReleaseReaderLockAndLeaveCS() {
  --_readerCount;
  HANDLE writerEvent = _readerCount == 0 ? _writerEvent : nullptr;
  LeaveCriticalSection(&_section);
  // The event outlives this: a writer waits on it, so the writer count cannot reach 0.
  if (writerEvent != nullptr) SetEvent(writerEvent);
}

void CReaderWriterLockNonReentrance::_AcquireWriterLockAndLeaveCS(int mustWait) {
  if (++_writerCount == 1 && _readerEvent != nullptr) ResetEvent(_readerEvent);
  if (mustWait != 0 && _writerEvent == nullptr) _writerEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE writerEvent = _writerEvent;
  LeaveCriticalSection(&_section);
  if (mustWait != 0) WaitForSingleObject(writerEvent, INFINITE);
}

void CReaderWriterLockNonReentrance::_ReleaseWriterLockAndLeaveCS(int downgrade) {
  if (downgrade != 0) ++_readerCount;
  if (--_writerCount != 0) {
    HANDLE writerEvent = _writerEvent;
    LeaveCriticalSection(&_section);
    // A downgrading writer still reads: the next writer waits for its release instead.
    if (downgrade == 0) SetEvent(writerEvent);
    return;
  }
  if (_readerEvent != nullptr) SetEvent(_readerEvent);
  if (_writerEvent != nullptr) {
    leaveAndClose(&_section, takeHandle(_writerEvent));
  } else {
    LeaveCriticalSection(&_section);
  }
}

void CReaderWriterLockNonReentrance::AcquireReaderLock() {
  EnterCriticalSection(&_section);
  _AcquireReaderLockAndLeaveCS();
}

void CReaderWriterLockNonReentrance::ReleaseReaderLock() {
  EnterCriticalSection(&_section);
  if (_readerCount == 0) {
    LeaveCriticalSection(&_section);
    return;
  }
  _ReleaseReaderLockAndLeaveCS();
}

void CReaderWriterLockNonReentrance::AcquireWriterLock() {
  EnterCriticalSection(&_section);
  _AcquireWriterLockAndLeaveCS(static_cast<int>(_readerCount + _writerCount));
}

void CReaderWriterLockNonReentrance::ReleaseWriterLock() {
  EnterCriticalSection(&_section);
  if (!writerMayHold(_writerCount, _readerCount)) {
    LeaveCriticalSection(&_section);
    return;
  }
  _ReleaseWriterLockAndLeaveCS(0);
}

int CReaderWriterLockNonReentrance::TryAcquireReaderLock() {
  EnterCriticalSection(&_section);
  int taken = _writerCount == 0 ? 1 : 0;
  _readerCount += taken;
  LeaveCriticalSection(&_section);
  return taken;
}

int CReaderWriterLockNonReentrance::TryAcquireWriterLock() {
  EnterCriticalSection(&_section);
  int taken = (_readerCount == 0 && _writerCount == 0) ? 1 : 0;
  if (taken != 0) _writerCount = 1;
  LeaveCriticalSection(&_section);
  return taken;
}

void CReaderWriterLockNonReentrance::ReleaseReaderAndAcquireWriterLock() {
  EnterCriticalSection(&_section);
  if (_readerCount == 0) {
    _AcquireWriterLockAndLeaveCS(static_cast<int>(_writerCount));
    return;
  }
  --_readerCount;
  _AcquireWriterLockAndLeaveCS(static_cast<int>(_readerCount));
}

void CReaderWriterLockNonReentrance::DowngradeFromWriterLock() {
  EnterCriticalSection(&_section);
  if (!writerMayHold(_writerCount, _readerCount)) {
    LeaveCriticalSection(&_section);
    return;
  }
  _ReleaseWriterLockAndLeaveCS(1);
}
