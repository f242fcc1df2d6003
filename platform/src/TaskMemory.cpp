// Task memory: the C heap, shared by every module of the process.
#include <stdlib.h>

#include "objbase.h"

LPVOID WINAPI CoTaskMemAlloc(SIZE_T size) { return malloc(size == 0 ? 1 : size); }

LPVOID WINAPI CoTaskMemRealloc(LPVOID memory, SIZE_T size) {
  if (size == 0) {
    free(memory);
    return nullptr;
  }
  return realloc(memory, size);
}

void WINAPI CoTaskMemFree(LPVOID memory) { free(memory); }
