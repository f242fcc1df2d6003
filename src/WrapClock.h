// The clock behind kcm_date_ns: a 32-bit millisecond counter extended to 64 bits by
// counting its wraps. The counter is injected so that tests can drive it across a wrap.
#pragma once

#include <stdint.h>

#include <functional>
#include <mutex>

#include "minwindef.h"

class CWrapClock {
 public:
  explicit CWrapClock(std::function<DWORD()> counter) : _counter(std::move(counter)) {}

  // 100 ns units. A reading below the previous one means the counter wrapped; a wrap
  // missed entirely (no call for 2^32 ms) goes unnoticed.
  int64_t Now() {
    std::lock_guard<std::mutex> hold(_lock);
    if (_wraps < 0) {
      _lastMicroseconds = static_cast<int64_t>(_counter()) * 1000;
      _wraps = 0;
    }
    int64_t now = ((static_cast<int64_t>(_wraps) << 32) + _counter()) * 1000;
    if (now < _lastMicroseconds) {
      ++_wraps;
      now += kWrapMicroseconds;
    }
    _lastMicroseconds = now;
    return now * 10;
  }

 private:
  static constexpr int64_t kWrapMicroseconds = (int64_t{1} << 32) * 1000;

  std::function<DWORD()> _counter;
  std::mutex _lock;
  int32_t _wraps = -1;  // -1 until the first reading
  int64_t _lastMicroseconds = 0;
};
