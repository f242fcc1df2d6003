// The clock of a software device: waits until a stream time is due, measured from
// start, and can be interrupted from another thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "strmif.h"

namespace kcm::devices {

class Pacer {
 public:
  void start() {
    std::lock_guard<std::mutex> hold(lock_);
    origin_ = std::chrono::steady_clock::now();
    interrupted_ = false;
  }
  // Waits until `streamTime` (100 ns units from start) has come; false when interrupted.
  bool waitUntil(REFERENCE_TIME streamTime) {
    std::unique_lock<std::mutex> hold(lock_);
    const auto due = origin_ + std::chrono::microseconds(streamTime / 10);
    return !changed_.wait_until(hold, due, [this] { return interrupted_; });
  }
  void interrupt() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      interrupted_ = true;
    }
    changed_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
  bool interrupted_ = false;
};

}  // namespace kcm::devices
