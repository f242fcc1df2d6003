// Buffers for the pixel tests: random content, a chosen misalignment, and guard bytes on
// both sides that prove a conversion wrote nothing outside its frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

class GuardedBuffer {
 public:
  static constexpr std::size_t kGuard = 64;
  static constexpr uint8_t kGuardByte = 0xA5;

  // `misalign` bytes past a 64-byte boundary; the frame is filled from `seed`.
  GuardedBuffer(std::size_t size, std::size_t misalign, uint32_t seed)
      : size_(size), storage_(size + 2 * kGuard + 128, kGuardByte) {
    const auto base = reinterpret_cast<uintptr_t>(storage_.data()) + kGuard;
    offset_ = ((base + 63) & ~uintptr_t{63}) - reinterpret_cast<uintptr_t>(storage_.data()) + misalign;
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < size_; ++i) data()[i] = static_cast<uint8_t>(random());
  }

  uint8_t* data() { return storage_.data() + offset_; }
  std::vector<uint8_t> frame() const {
    return {storage_.begin() + static_cast<std::ptrdiff_t>(offset_),
            storage_.begin() + static_cast<std::ptrdiff_t>(offset_ + size_)};
  }
  bool guardsIntact() const {
    for (std::size_t i = 0; i < storage_.size(); ++i) {
      if ((i < offset_ || i >= offset_ + size_) && storage_[i] != kGuardByte) return false;
    }
    return true;
  }

 private:
  std::size_t size_;
  std::size_t offset_ = 0;
  std::vector<uint8_t> storage_;
};
