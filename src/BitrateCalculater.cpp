#include "KestroBitrateCalculater.h"

#include <time.h>

namespace {

const int32_t kAverageWarmUp = 1000;  // milliseconds in which the averages answer 0.0

int64_t monotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

const int64_t g_loadTime = monotonicMilliseconds();

// Wraps after 2^31 ms as the Windows clock_t does.
int32_t clockTicks() { return static_cast<int32_t>(static_cast<uint32_t>(monotonicMilliseconds() - g_loadTime)); }

// Unsigned, so that a wrapped clock still gives the right difference.
uint32_t ticksSince(int32_t start) { return static_cast<uint32_t>(clockTicks()) - static_cast<uint32_t>(start); }

// One rate window: |count| units over the ticks since |start|, times |factor|.
double windowRate(uint32_t& count, int32_t& start, uint32_t& length, double& last, double factor, bool restart) {
  length = ticksSince(start);
  if (length == 0) return last;
  last = static_cast<double>(count) / static_cast<int32_t>(length) * factor;
  if (restart) {
    start = clockTicks();
    count = 0;
  }
  return last;
}

double averageRate(uint32_t total, int32_t startTime, double factor) {
  int32_t elapsed = static_cast<int32_t>(ticksSince(startTime));
  if (elapsed <= kAverageWarmUp) return 0.0;
  return static_cast<double>(total) / elapsed * factor;
}

}  // namespace

CBitrateCalculater::CBitrateCalculater() { Reset(); }

CBitrateCalculater::~CBitrateCalculater() = default;

void CBitrateCalculater::Reset() {
  _totalBytes = 0;
  _windowBytes = 0;
  _totalDeliveries = 0;
  _windowDeliveries = 0;
  _byteWindowLength = 0;
  _deliveryWindowLength = 0;
  // One reading, so that both windows and the whole measurement start in the same tick.
  int32_t now = clockTicks();
  _byteWindowStart = now;
  _deliveryWindowStart = now;
  _startTime = now;
  _lastKbps = 0.0;
  _lastSamplerate = 0.0;
}

void CBitrateCalculater::Deliver(unsigned long bytes) {
  _totalBytes += static_cast<uint32_t>(bytes);
  _windowBytes += static_cast<uint32_t>(bytes);
  ++_totalDeliveries;
  ++_windowDeliveries;
}

double CBitrateCalculater::kbpsCurrent(bool restart) {
  // Bytes per millisecond times 8 is kilobits per second.
  return windowRate(_windowBytes, _byteWindowStart, _byteWindowLength, _lastKbps, 8.0, restart);
}

double CBitrateCalculater::samplerateCurrent(bool restart) {
  return windowRate(_windowDeliveries, _deliveryWindowStart, _deliveryWindowLength, _lastSamplerate, 1.0, restart);
}

unsigned long CBitrateCalculater::KBTotal() { return _totalBytes >> 10; }

unsigned long CBitrateCalculater::tsDuration() { return ticksSince(_startTime); }

double CBitrateCalculater::kbpsAverage() { return averageRate(_totalBytes, _startTime, 8.0); }

double CBitrateCalculater::samplerateAverage() { return averageRate(_totalDeliveries, _startTime, 1.0); }
