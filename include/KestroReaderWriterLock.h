// Reader-writer locks that prefer writers: any number of readers or one writer.
//
// CReaderWriterLockNonReentrance keeps no record of who holds it, so a thread must not
// take it twice. CReaderWriterLock adds a per-thread record on top, so that a thread may
// nest read and write locks and read while it writes.
//
// Both wait on events that exist only while somebody has to wait: the writer event
// (auto-reset, one waiting writer per signal) from the first writer that must wait
// until no writer holds or waits any more; the reader event (manual-reset, all waiting
// readers at once) from the first reader that must wait until the last one went in.
// A lock that nobody holds or waits for holds no event.
//
// Releasing what the caller does not hold is a caller error. A release that the lock
// can tell is one does nothing, so it neither corrupts the counts nor wakes anybody; what
// each lock can tell is stated at its release operations.
#pragma once

#include <stdint.h>

#include <map>

#include "KestroExport.h"
#include "synchapi.h"

class KCM_API CReaderWriterLockNonReentrance {
 public:
  CReaderWriterLockNonReentrance();
  // Closes an event that may still exist, then deletes the critical section.
  ~CReaderWriterLockNonReentrance();

  // A copy would share the critical section and the events of a lock in use.
  CReaderWriterLockNonReentrance(const CReaderWriterLockNonReentrance&) = delete;
  CReaderWriterLockNonReentrance& operator=(const CReaderWriterLockNonReentrance&) = delete;

  // Struct() puts the lock in its unused state: no events, all counts 0, the critical
  // section initialised with a spin count of 400. Destruct() closes the events and
  // deletes the critical section. The constructor and destructor call them; call them
  // yourself only as a pair (Destruct, then Struct) on a lock nobody holds.
  void Struct();
  void Destruct();

  void AcquireReaderLock();
  // Ignored when no reader holds the lock. Which reader releases cannot be checked.
  void ReleaseReaderLock();
  // Waits whenever anybody holds the lock or waits for it.
  void AcquireWriterLock();
  // Ignored when no writer can hold the lock: the writer count is 0, or readers hold it
  // (then every counted writer is still waiting). Which writer releases cannot be checked.
  void ReleaseWriterLock();

  // 1 when the lock was taken, 0 otherwise; they never wait.
  int TryAcquireReaderLock();
  int TryAcquireWriterLock();

  // The calling reader becomes a writer. It waits only for the other readers and goes
  // in before writers that were already waiting, unless it has to wait itself; then it
  // queues with them. With no reader in, the caller cannot be one: the call then acquires
  // as AcquireWriterLock does.
  void ReleaseReaderAndAcquireWriterLock();
  // The calling writer becomes a reader. Ignored as ReleaseWriterLock is.
  void DowngradeFromWriterLock();

 protected:
  // Each is entered with the critical section held and leaves it.
  void _AcquireReaderLockAndLeaveCS();
  void _ReleaseReaderLockAndLeaveCS();
  void _AcquireWriterLockAndLeaveCS(int mustWait);
  void _ReleaseWriterLockAndLeaveCS(int downgrade);

  // Guards every other field; mutable so that const queries can take it.
  mutable CRITICAL_SECTION _section;
  HANDLE _writerEvent;
  HANDLE _readerEvent;
  uint32_t _writerCount;  // writers holding plus writers waiting
  uint32_t _readerCount;  // threads holding a read lock
  uint32_t _waitingReaderCount;
};

// Status words: the low 16 bits count a thread's nested read locks, the high 16 bits its
// nested write locks. A thread's read locks taken while it writes, and its nested locks,
// change only its own word; the base's reader count counts threads. Nesting beyond
// 65,535 locks of one kind is the caller's to avoid.
class KCM_API CReaderWriterLock : public CReaderWriterLockNonReentrance {
 public:
  CReaderWriterLock();
  ~CReaderWriterLock();

  CReaderWriterLock(const CReaderWriterLock&) = delete;
  CReaderWriterLock& operator=(const CReaderWriterLock&) = delete;

  void AcquireReaderLock();
  // Ignored when the calling thread holds no read lock.
  void ReleaseReaderLock();
  // A thread holding only read locks upgrades here: it waits only for the other readers.
  void AcquireWriterLock();
  // Ignored when the calling thread holds no write lock. With read locks left, the thread
  // stays in as a reader.
  void ReleaseWriterLock();

  int TryAcquireReaderLock();
  // Succeeds for a reading thread only when it is the only reader.
  int TryAcquireWriterLock();

  // Drops every nested lock of the calling thread at once; nothing when it holds none.
  void ReleaseAllLocks();
  // The calling thread's nested read and write locks; null pointers are skipped.
  void GetCurrentThreadStatus(unsigned long* readerCount, unsigned long* writerCount) const;

 private:
  // The base's upgrade and downgrade bypass the per-thread record and would leave it
  // wrong; here AcquireWriterLock while reading upgrades and ReleaseWriterLock downgrades.
  using CReaderWriterLockNonReentrance::DowngradeFromWriterLock;
  using CReaderWriterLockNonReentrance::ReleaseReaderAndAcquireWriterLock;

  // Thread id to status word; a thread has an entry exactly while it holds a lock.
  // Guarded by the base's critical section.
  std::map<uint32_t, uint32_t> _threadStatus;
};
