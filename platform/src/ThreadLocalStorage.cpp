// Thread-local storage slots over pthread keys.
//
// Our own record of which keys TlsAlloc handed out lets every call refuse an index
// that is not allocated, instead of passing it to pthread_getspecific unchecked.
#include <limits.h>
#include <pthread.h>

#include <atomic>

#include "errhandlingapi.h"
#include "processthreadsapi.h"
#include "winerror.h"

namespace {

std::atomic<bool> g_allocated[PTHREAD_KEYS_MAX];

bool allocatedIndex(DWORD index) {
  if (index < PTHREAD_KEYS_MAX && g_allocated[index].load(std::memory_order_acquire)) return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

}  // namespace

DWORD WINAPI TlsAlloc(void) {
  pthread_key_t key;
  if (pthread_key_create(&key, nullptr) != 0 || key >= PTHREAD_KEYS_MAX) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return TLS_OUT_OF_INDEXES;
  }
  g_allocated[key].store(true, std::memory_order_release);
  return key;
}

BOOL WINAPI TlsFree(DWORD index) {
  if (!allocatedIndex(index)) return FALSE;
  g_allocated[index].store(false, std::memory_order_release);
  pthread_key_delete(index);
  return TRUE;
}

LPVOID WINAPI TlsGetValue(DWORD index) {
  if (!allocatedIndex(index)) return nullptr;
  // Windows clears the last error so that a stored null can be told from a failure.
  SetLastError(ERROR_SUCCESS);
  return pthread_getspecific(index);
}

BOOL WINAPI TlsSetValue(DWORD index, LPVOID value) {
  if (!allocatedIndex(index)) return FALSE;
  if (pthread_setspecific(index, value) != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}
