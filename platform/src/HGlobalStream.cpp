// IStream over a global memory block (CreateStreamOnHGlobal).
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "ComObject.h"
#include "KestroDataTransfer.h"

namespace {

// The block and its logical size, shared by a stream and its clones.
class SharedBlock {
 public:
  SharedBlock(HGLOBAL memory, bool deleteOnRelease)
      : memory_(memory), size_(GlobalSize(memory)), deleteOnRelease_(deleteOnRelease) {}
  ~SharedBlock() {
    if (deleteOnRelease_) GlobalFree(memory_);
  }
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  ULONG read(ULONGLONG position, void* buffer, ULONG count) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (position >= size_) return 0;
    const ULONG done = ULONG(std::min<ULONGLONG>(count, size_ - position));
    copyOut(position, buffer, done);
    return done;
  }

  HRESULT write(ULONGLONG position, const void* buffer, ULONG count) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (position + count > size_ && !resize(position + count)) return E_OUTOFMEMORY;
    if (void* data = GlobalLock(memory_)) {
      std::memcpy(static_cast<char*>(data) + position, buffer, count);
      GlobalUnlock(memory_);
    }
    return S_OK;
  }

  HRESULT setSize(ULONGLONG size) {
    std::lock_guard<std::mutex> guard(mutex_);
    return resize(size) ? S_OK : E_OUTOFMEMORY;
  }

  ULONGLONG size() {
    std::lock_guard<std::mutex> guard(mutex_);
    return size_;
  }

  HGLOBAL memory() {
    std::lock_guard<std::mutex> guard(mutex_);
    return memory_;
  }

 private:
  // Guarded by mutex_. The block grows in whole steps so that byte-wise writes stay cheap;
  // the logical size is what the stream reports.
  bool resize(ULONGLONG size) {
    if (size > GlobalSize(memory_)) {
      const ULONGLONG capacity = std::max<ULONGLONG>(size, GlobalSize(memory_) * 2);
      HGLOBAL grown = GlobalReAlloc(memory_, SIZE_T(capacity), GMEM_MOVEABLE | GMEM_ZEROINIT);
      if (grown == nullptr) return false;
      memory_ = grown;
    }
    size_ = size;
    return true;
  }

  void copyOut(ULONGLONG position, void* buffer, ULONG count) {
    if (const void* data = GlobalLock(memory_)) {
      std::memcpy(buffer, static_cast<const char*>(data) + position, count);
      GlobalUnlock(memory_);
    }
  }

  std::mutex mutex_;
  HGLOBAL memory_;   // guarded by mutex_
  ULONGLONG size_;   // guarded by mutex_
  const bool deleteOnRelease_;
};

class HGlobalStream final : public kcm::com::RefCounted<IStream> {
 public:
  HGlobalStream(std::shared_ptr<SharedBlock> block, ULONGLONG position)
      : block_(std::move(block)), position_(position) {}

  HGLOBAL memory() const { return block_->memory(); }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_ISequentialStream && iid != IID_IStream) return E_NOINTERFACE;
    return kcm::com::handOut(static_cast<IStream*>(this), object);
  }

  STDMETHODIMP Read(void* buffer, ULONG count, ULONG* done) override {
    if (buffer == nullptr) return E_POINTER;
    const ULONG read = block_->read(position_, buffer, count);
    position_ += read;
    if (done != nullptr) *done = read;
    return S_OK;
  }

  STDMETHODIMP Write(const void* buffer, ULONG count, ULONG* done) override {
    if (done != nullptr) *done = 0;
    if (buffer == nullptr) return E_POINTER;
    const HRESULT hr = block_->write(position_, buffer, count);
    if (FAILED(hr)) return hr;
    position_ += count;
    if (done != nullptr) *done = count;
    return S_OK;
  }

  // A position before the start is refused; one past the end is allowed (a later write
  // fills the gap).
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    LONGLONG base = 0;
    if (origin == STREAM_SEEK_CUR) base = LONGLONG(position_);
    else if (origin == STREAM_SEEK_END) base = LONGLONG(block_->size());
    else if (origin != STREAM_SEEK_SET) return E_INVALIDARG;
    if (base + move.QuadPart < 0) return E_INVALIDARG;
    position_ = ULONGLONG(base + move.QuadPart);
    if (position != nullptr) position->QuadPart = position_;
    return S_OK;
  }

  STDMETHODIMP SetSize(ULARGE_INTEGER size) override { return block_->setSize(size.QuadPart); }

  STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
    if (target == nullptr) return E_POINTER;
    ULONGLONG total = 0;
    ULONGLONG totalWritten = 0;
    HRESULT hr = S_OK;
    char chunk[4096];
    while (total < count.QuadPart && SUCCEEDED(hr)) {
      const ULONG got = block_->read(position_, chunk, ULONG(std::min<ULONGLONG>(sizeof(chunk), count.QuadPart - total)));
      if (got == 0) break;
      position_ += got;
      total += got;
      ULONG put = 0;
      hr = target->Write(chunk, got, &put);
      totalWritten += put;
    }
    if (read != nullptr) read->QuadPart = total;
    if (written != nullptr) written->QuadPart = totalWritten;
    return hr;
  }

  STDMETHODIMP Commit(DWORD) override { return S_OK; }
  STDMETHODIMP Revert() override { return S_OK; }
  // Region locks are not offered by memory streams.
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }

  STDMETHODIMP Stat(STATSTG* stat, DWORD) override {
    if (stat == nullptr) return E_POINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = block_->size();
    return S_OK;
  }

  STDMETHODIMP Clone(IStream** stream) override {
    if (stream == nullptr) return E_POINTER;
    *stream = new (std::nothrow) HGlobalStream(block_, position_);
    return *stream == nullptr ? E_OUTOFMEMORY : S_OK;
  }

 private:
  const std::shared_ptr<SharedBlock> block_;
  ULONGLONG position_;  // the stream's own; clones keep theirs
};

}  // namespace

HRESULT WINAPI CreateStreamOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease, LPSTREAM* stream) {
  if (stream == nullptr) return E_INVALIDARG;
  *stream = nullptr;
  const bool created = memory == nullptr;
  if (created) memory = GlobalAlloc(GMEM_MOVEABLE, 0);
  if (memory == nullptr) return E_OUTOFMEMORY;
  if (!created && GlobalLock(memory) == nullptr) return E_INVALIDARG;
  if (!created) GlobalUnlock(memory);
  try {
    auto block = std::make_shared<SharedBlock>(memory, deleteOnRelease != FALSE);
    *stream = new HGlobalStream(std::move(block), 0);
    return S_OK;
  } catch (const std::bad_alloc&) {
    if (created) GlobalFree(memory);
    return E_OUTOFMEMORY;
  }
}

HRESULT WINAPI GetHGlobalFromStream(LPSTREAM stream, HGLOBAL* memory) {
  if (memory == nullptr) return E_INVALIDARG;
  auto* ours = dynamic_cast<HGlobalStream*>(stream);
  if (ours == nullptr) return E_INVALIDARG;
  *memory = ours->memory();
  return S_OK;
}
