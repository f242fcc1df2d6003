#include "AllocationCounter.h"

#include <stdlib.h>

#include <cstddef>
#include <new>

namespace {

// Plain pointers and integers only: both are touched from inside operator new.
thread_local std::atomic<uint64_t>* t_sink = nullptr;
std::atomic<uint64_t> g_processTotal{0};

void note() {
  g_processTotal.fetch_add(1, std::memory_order_relaxed);
  if (t_sink != nullptr) t_sink->fetch_add(1, std::memory_order_relaxed);
}

void* tryAllocate(std::size_t size, std::size_t alignment) {
  if (size == 0) size = 1;  // every allocation is a distinct non-null block
  void* block = nullptr;
  if (alignment <= alignof(std::max_align_t)) {
    block = malloc(size);
  } else if (posix_memalign(&block, alignment, size) != 0) {
    block = nullptr;
  }
  if (block != nullptr) note();
  return block;
}

// The standard loop: call the new handler until it gives up by throwing or is absent.
void* allocate(std::size_t size, std::size_t alignment) {
  for (;;) {
    if (void* block = tryAllocate(size, alignment)) return block;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void* allocateNoThrow(std::size_t size, std::size_t alignment) noexcept {
  try {
    return allocate(size, alignment);
  } catch (...) {
    return nullptr;
  }
}

const std::size_t kPlain = alignof(std::max_align_t);

std::size_t value(std::align_val_t alignment) { return static_cast<std::size_t>(alignment); }

}  // namespace

namespace kcm_test {

AllocationCounter::~AllocationCounter() {
  if (t_sink == &_count) t_sink = nullptr;
}

void AllocationCounter::startOnThisThread() { t_sink = &_count; }

void AllocationCounter::stopOnThisThread() {
  if (t_sink == &_count) t_sink = nullptr;
}

uint64_t AllocationCounter::processTotal() { return g_processTotal.load(std::memory_order_relaxed); }

}  // namespace kcm_test

// Exported, so that they interpose on the operators our shared libraries call.
#define KCM_REPLACED __attribute__((visibility("default")))

KCM_REPLACED void* operator new(std::size_t size) { return allocate(size, kPlain); }
KCM_REPLACED void* operator new[](std::size_t size) { return allocate(size, kPlain); }
KCM_REPLACED void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocateNoThrow(size, kPlain);
}
KCM_REPLACED void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocateNoThrow(size, kPlain);
}
KCM_REPLACED void* operator new(std::size_t size, std::align_val_t alignment) {
  return allocate(size, value(alignment));
}
KCM_REPLACED void* operator new[](std::size_t size, std::align_val_t alignment) {
  return allocate(size, value(alignment));
}
KCM_REPLACED void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocateNoThrow(size, value(alignment));
}
KCM_REPLACED void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return allocateNoThrow(size, value(alignment));
}

KCM_REPLACED void operator delete(void* block) noexcept { free(block); }
KCM_REPLACED void operator delete[](void* block) noexcept { free(block); }
KCM_REPLACED void operator delete(void* block, std::size_t) noexcept { free(block); }
KCM_REPLACED void operator delete[](void* block, std::size_t) noexcept { free(block); }
KCM_REPLACED void operator delete(void* block, const std::nothrow_t&) noexcept { free(block); }
KCM_REPLACED void operator delete[](void* block, const std::nothrow_t&) noexcept { free(block); }
KCM_REPLACED void operator delete(void* block, std::align_val_t) noexcept { free(block); }
KCM_REPLACED void operator delete[](void* block, std::align_val_t) noexcept { free(block); }
KCM_REPLACED void operator delete(void* block, std::size_t, std::align_val_t) noexcept { free(block); }
KCM_REPLACED void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { free(block); }
KCM_REPLACED void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { free(block); }
KCM_REPLACED void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { free(block); }
