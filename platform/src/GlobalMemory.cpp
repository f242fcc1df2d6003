// Global memory blocks behind HGLOBAL handles.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "KestroGlobalMemory.h"
#include "errhandlingapi.h"
#include "winerror.h"

namespace {

struct Block {
  void* data = nullptr;
  SIZE_T size = 0;
  unsigned locks = 0;
};

// Movable handles are odd multiples of 8: malloc answers 16-byte aligned pointers, so a
// token can never equal a fixed block's address.
constexpr uintptr_t kTokenStep = 16;
constexpr uintptr_t kTokenTag = 8;
// Larger requests cannot be met by any allocator; refused before asking one.
constexpr SIZE_T kMaxBlock = SIZE_T(PTRDIFF_MAX);

class GlobalHeap {
 public:
  static GlobalHeap& instance() {
    static GlobalHeap* heap = new GlobalHeap;  // outlives static destructors that free blocks
    return *heap;
  }

  HGLOBAL allocate(UINT flags, SIZE_T bytes) {
    if (bytes > kMaxBlock) return fail(ERROR_NOT_ENOUGH_MEMORY);
    void* data = (flags & GMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (data == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY);
    std::lock_guard<std::mutex> lock(mutex_);
    const uintptr_t key =
        (flags & GMEM_MOVEABLE) ? (nextToken_ += kTokenStep) | kTokenTag : reinterpret_cast<uintptr_t>(data);
    blocks_[key] = Block{data, bytes, 0};
    return reinterpret_cast<HGLOBAL>(key);
  }

  HGLOBAL reallocate(HGLOBAL memory, SIZE_T bytes, UINT flags) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = blocks_.find(key(memory));
    if (found == blocks_.end()) return fail(ERROR_INVALID_HANDLE);
    Block& block = found->second;
    if (bytes > kMaxBlock) return fail(ERROR_NOT_ENOUGH_MEMORY);
    void* data = std::realloc(block.data, bytes ? bytes : 1);
    if (data == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY);
    if ((flags & GMEM_ZEROINIT) && bytes > block.size) std::memset(static_cast<char*>(data) + block.size, 0, bytes - block.size);
    Block resized{data, bytes, block.locks};
    if (isToken(key(memory))) {
      block = resized;
      return memory;
    }
    blocks_.erase(found);  // a fixed block's handle is its address, which may have changed
    blocks_[reinterpret_cast<uintptr_t>(data)] = resized;
    return data;
  }

  LPVOID lock(HGLOBAL memory) {
    std::lock_guard<std::mutex> guard(mutex_);
    Block* block = find(memory);
    if (block == nullptr) return nullptr;
    ++block->locks;
    return block->data;
  }

  BOOL unlock(HGLOBAL memory) {
    std::lock_guard<std::mutex> guard(mutex_);
    Block* block = find(memory);
    if (block == nullptr) return FALSE;
    if (block->locks > 0) --block->locks;
    SetLastError(NO_ERROR);
    return block->locks > 0 ? TRUE : FALSE;
  }

  size_t count() {
    std::lock_guard<std::mutex> guard(mutex_);
    return blocks_.size();
  }

  SIZE_T size(HGLOBAL memory) {
    std::lock_guard<std::mutex> guard(mutex_);
    Block* block = find(memory);
    return block == nullptr ? 0 : block->size;
  }

  HGLOBAL release(HGLOBAL memory) {
    if (memory == nullptr) return nullptr;
    void* data = nullptr;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      auto found = blocks_.find(key(memory));
      if (found == blocks_.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return memory;
      }
      data = found->second.data;
      blocks_.erase(found);
    }
    std::free(data);
    return nullptr;
  }

 private:
  static uintptr_t key(HGLOBAL memory) { return reinterpret_cast<uintptr_t>(memory); }
  static bool isToken(uintptr_t key) { return (key & (kTokenStep - 1)) == kTokenTag; }
  static HGLOBAL fail(DWORD error) {
    SetLastError(error);
    return nullptr;
  }

  // Guarded by mutex_.
  Block* find(HGLOBAL memory) {
    auto found = blocks_.find(key(memory));
    if (found != blocks_.end()) return &found->second;
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }

  std::mutex mutex_;
  std::unordered_map<uintptr_t, Block> blocks_;  // guarded by mutex_
  uintptr_t nextToken_ = 0;                      // guarded by mutex_
};

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) { return GlobalHeap::instance().allocate(flags, bytes); }
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL memory, SIZE_T bytes, UINT flags) {
  return GlobalHeap::instance().reallocate(memory, bytes, flags);
}
LPVOID WINAPI GlobalLock(HGLOBAL memory) { return GlobalHeap::instance().lock(memory); }
BOOL WINAPI GlobalUnlock(HGLOBAL memory) { return GlobalHeap::instance().unlock(memory); }
SIZE_T WINAPI GlobalSize(HGLOBAL memory) { return GlobalHeap::instance().size(memory); }
HGLOBAL WINAPI GlobalFree(HGLOBAL memory) { return GlobalHeap::instance().release(memory); }

size_t KcmGlobalMemoryBlockCount() { return GlobalHeap::instance().count(); }
