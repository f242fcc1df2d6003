#include "KestroReaderWriterLock.h"

#include "processthreadsapi.h"

namespace {

const uint32_t kOneReader = 0x1;
const uint32_t kOneWriter = 0x10000;
const uint32_t kReaderMask = 0xFFFF;

uint32_t readLocks(uint32_t status) { return status & kReaderMask; }

}  // namespace

CReaderWriterLock::CReaderWriterLock() = default;

CReaderWriterLock::~CReaderWriterLock() = default;

void CReaderWriterLock::AcquireReaderLock() {
  DWORD thread = GetCurrentThreadId();
  EnterCriticalSection(&_section);
  uint32_t status = _threadStatus[thread] += kOneReader;
  // Any lock the thread already holds lets it read.
  if (status != kOneReader) {
    LeaveCriticalSection(&_section);
    return;
  }
  _AcquireReaderLockAndLeaveCS();
}

void CReaderWriterLock::ReleaseReaderLock() {
  DWORD thread = GetCurrentThreadId();
  EnterCriticalSection(&_section);
  auto entry = _threadStatus.find(thread);
  if (entry == _threadStatus.end() || readLocks(entry->second) == 0) {
    LeaveCriticalSection(&_section);
    return;
  }
  if ((entry->second -= kOneReader) != 0) {
    LeaveCriticalSection(&_section);
    return;
  }
  _threadStatus.erase(entry);
  _ReleaseReaderLockAndLeaveCS();
}

void CReaderWriterLock::AcquireWriterLock() {
  DWORD thread = GetCurrentThreadId();
  EnterCriticalSection(&_section);
  uint32_t status = _threadStatus[thread] += kOneWriter;
  if (status == kOneWriter) {
    _AcquireWriterLockAndLeaveCS(static_cast<int>(_readerCount + _writerCount));
  } else if (status < 2 * kOneWriter) {
    // A reader's first write lock: it stops counting as a reader and waits for the others.
    --_readerCount;
    _AcquireWriterLockAndLeaveCS(static_cast<int>(_readerCount));
  } else {
    LeaveCriticalSection(&_section);
  }
}

void CReaderWriterLock::ReleaseWriterLock() {
  DWORD thread = GetCurrentThreadId();
  EnterCriticalSection(&_section);
  auto entry = _threadStatus.find(thread);
  if (entry == _threadStatus.end() || entry->second < kOneWriter) {
    LeaveCriticalSection(&_section);
    return;
  }
  uint32_t status = entry->second -= kOneWriter;
  if (status >= kOneWriter) {
    LeaveCriticalSection(&_section);
  } else if (status != 0) {
    _ReleaseWriterLockAndLeaveCS(1);
  } else {
    _threadStatus.erase(entry);
    _ReleaseWriterLockAndLeaveCS(0);
  }
}

int CReaderWriterLock::TryAcquireReaderLock() {
  DWORD thread = GetCurrentThreadId();
  EnterCriticalSection(&_section);
  auto entry = _threadStatus.find(thread);
  int taken = 1;
  if (entry != _threadStatus.end()) {
    entry->second += kOneReader;
  } else if (_writerCount != 0) {
    taken = 0;
  } else {
    _threadStatus.emplace(thread, kOneReader);
    ++_readerCount;
  }
  LeaveCriticalSection(&_section);
  return taken;
}

int CReaderWriterLock::TryAcquireWriterLock() {
  DWORD thread = GetCurrentThreadId();
  EnterCriticalSection(&_section);
  auto entry = _threadStatus.find(thread);
  if (entry == _threadStatus.end()) {
    int taken = (_readerCount == 0 && _writerCount == 0) ? 1 : 0;
    if (taken != 0) {
      _threadStatus.emplace(thread, kOneWriter);
      ++_writerCount;
    }
    LeaveCriticalSection(&_section);
    return taken;
  }
  if (entry->second >= kOneWriter) {
    entry->second += kOneWriter;
    LeaveCriticalSection(&_section);
    return 1;
  }
  if (_readerCount != 1) {
    LeaveCriticalSection(&_section);
    return 0;
  }
  // The only reader is this thread: it goes in without waiting.
  entry->second += kOneWriter;
  _readerCount = 0;
  _AcquireWriterLockAndLeaveCS(0);
  return 1;
}

void CReaderWriterLock::ReleaseAllLocks() {
  DWORD thread = GetCurrentThreadId();
  EnterCriticalSection(&_section);
  auto entry = _threadStatus.find(thread);
  if (entry == _threadStatus.end()) {
    LeaveCriticalSection(&_section);
    return;
  }
  uint32_t status = entry->second;
  _threadStatus.erase(entry);
  if (status >= kOneWriter) {
    _ReleaseWriterLockAndLeaveCS(0);
  } else {
    _ReleaseReaderLockAndLeaveCS();
  }
}

void CReaderWriterLock::GetCurrentThreadStatus(unsigned long* readerCount, unsigned long* writerCount) const {
  DWORD thread = GetCurrentThreadId();
  EnterCriticalSection(&_section);
  auto entry = _threadStatus.find(thread);
  uint32_t status = entry == _threadStatus.end() ? 0 : entry->second;
  LeaveCriticalSection(&_section);
  if (readerCount != nullptr) *readerCount = readLocks(status);
  if (writerCount != nullptr) *writerCount = status >> 16;
}
