// Critical sections as Windows builds them: an owner id and a recursion count on top of
// a plain lock, so that re-entry by the owner costs no lock operation, and a bounded
// spin before a contended thread sleeps (the adaptive mutex spins a little by itself;
// the section's spin count adds tries on top).
//
// RecursionCount and OwningThread are written by the owner while it holds the mutex
// but may be read by any thread (LeaveCriticalSection checks ownership, debug code
// looks at them), so they are accessed atomically.
#include <unistd.h>

#include "errhandlingapi.h"
#include "processthreadsapi.h"
#include "synchapi.h"
#include "winerror.h"

namespace {

bool validSection(LPCRITICAL_SECTION section) {
  if (section) return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

DWORD owner(LPCRITICAL_SECTION section) { return __atomic_load_n(&section->OwningThread, __ATOMIC_RELAXED); }

// Only the owner ever finds its own id there, so a relaxed read is enough.
bool ownedByCaller(LPCRITICAL_SECTION section, DWORD caller) { return owner(section) == caller; }

void noteReentered(LPCRITICAL_SECTION section) {
  __atomic_store_n(&section->RecursionCount, section->RecursionCount + 1, __ATOMIC_RELAXED);
}

void noteAcquired(LPCRITICAL_SECTION section, DWORD caller) {
  __atomic_store_n(&section->OwningThread, caller, __ATOMIC_RELAXED);
  __atomic_store_n(&section->RecursionCount, LONG{1}, __ATOMIC_RELAXED);
}

// Spins on a read of the owner and tries the mutex only when it looks free: a
// try-lock writes, and writing in a loop would steal the line from the owner.
bool spinToAcquire(LPCRITICAL_SECTION section) {
  for (ULONG_PTR tries = 0; tries < section->SpinCount; ++tries) {
    if (owner(section) == 0 && pthread_mutex_trylock(&section->Mutex) == 0) return true;
    __builtin_ia32_pause();
  }
  return false;
}

}  // namespace

// Current Windows spins on every critical section before it sleeps, even one made
// without a spin count; so do we, where there is another processor to wait for.
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
  static const DWORD kDefaultSpinCount = sysconf(_SC_NPROCESSORS_ONLN) > 1 ? 2000 : 0;
  InitializeCriticalSectionAndSpinCount(section, kDefaultSpinCount);
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount) {
  if (!validSection(section)) return FALSE;
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ADAPTIVE_NP);
  pthread_mutex_init(&section->Mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
  section->RecursionCount = 0;
  section->OwningThread = 0;
  section->SpinCount = spinCount;
  return TRUE;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
  if (!validSection(section)) return;
  const DWORD caller = GetCurrentThreadId();
  if (ownedByCaller(section, caller)) return noteReentered(section);
  if (!spinToAcquire(section)) pthread_mutex_lock(&section->Mutex);
  noteAcquired(section, caller);
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section) {
  if (!validSection(section)) return FALSE;
  const DWORD caller = GetCurrentThreadId();
  if (ownedByCaller(section, caller)) {
    noteReentered(section);
    return TRUE;
  }
  if (pthread_mutex_trylock(&section->Mutex) != 0) return FALSE;
  noteAcquired(section, caller);
  return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
  if (!validSection(section)) return;
  // Windows corrupts the section when a non-owner leaves; we refuse instead.
  if (owner(section) != GetCurrentThreadId()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return;
  }
  const LONG remaining = section->RecursionCount - 1;
  __atomic_store_n(&section->RecursionCount, remaining, __ATOMIC_RELAXED);
  if (remaining > 0) return;
  __atomic_store_n(&section->OwningThread, DWORD{0}, __ATOMIC_RELAXED);
  pthread_mutex_unlock(&section->Mutex);
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
  if (!validSection(section)) return;
  pthread_mutex_destroy(&section->Mutex);
  section->RecursionCount = 0;
  section->OwningThread = 0;
}
