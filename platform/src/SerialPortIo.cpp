// Timed reads and writes on a tty.
//
// Waits are cut into short slices, so that an abort (PurgeComm, the last CloseHandle) is
// seen promptly without a wake-up channel per port.
#include "SerialPortIo.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "winerror.h"

namespace kcm::serial {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

constexpr int kSliceMilliseconds = 20;

std::optional<Clock::time_point> TotalDeadline(DWORD multiplier, DWORD constant, DWORD length) {
  if (multiplier == 0 && constant == 0) return std::nullopt;
  const uint64_t total = static_cast<uint64_t>(multiplier) * length + constant;
  return Clock::now() + Milliseconds(total);
}

int SliceUntil(const std::optional<Clock::time_point>& deadline) {
  if (!deadline) return kSliceMilliseconds;
  const auto left = std::chrono::duration_cast<Milliseconds>(*deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, kSliceMilliseconds));
}

bool Passed(const std::optional<Clock::time_point>& deadline) { return deadline && Clock::now() >= *deadline; }

// Waits up to `milliseconds` for `events` (or a hang-up, which the next transfer reports).
void WaitFor(int fd, short events, int milliseconds) {
  pollfd entry{fd, events, 0};
  (void)poll(&entry, 1, milliseconds);
}

bool HungUp(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR)) != 0;
}

// One non-blocking read; answers false (with *error set) when the device is gone.
bool ReadAvailable(int fd, BYTE* data, DWORD length, DWORD* done, DWORD* error) {
  while (*done < length) {
    const ssize_t got = read(fd, data + *done, length - *done);
    if (got > 0) {
      *done += static_cast<DWORD>(got);
      continue;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (got == 0 && !HungUp(fd)) return true;  // a line someone set to VMIN 0: nothing yet
    *error = got == 0 ? ERROR_OPERATION_ABORTED : Win32ErrorFromErrno(errno);
    return false;
  }
  return true;
}

struct ReadPlan {
  bool immediate = false;      // answer with what is buffered
  bool firstBytesOnly = false;  // answer as soon as anything came
  std::optional<Clock::time_point> total;
  DWORD interval = 0;          // 0: none
};

ReadPlan PlanRead(const COMMTIMEOUTS& timeouts, DWORD length) {
  ReadPlan plan;
  const bool maxInterval = timeouts.ReadIntervalTimeout == MAXDWORD;
  plan.immediate = maxInterval && timeouts.ReadTotalTimeoutMultiplier == 0 && timeouts.ReadTotalTimeoutConstant == 0;
  plan.firstBytesOnly = maxInterval && timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
                        timeouts.ReadTotalTimeoutConstant != 0 && timeouts.ReadTotalTimeoutConstant != MAXDWORD;
  if (plan.firstBytesOnly) {
    plan.total = Clock::now() + Milliseconds(timeouts.ReadTotalTimeoutConstant);
  } else {
    plan.total = TotalDeadline(timeouts.ReadTotalTimeoutMultiplier, timeouts.ReadTotalTimeoutConstant, length);
  }
  plan.interval = maxInterval ? 0 : timeouts.ReadIntervalTimeout;
  return plan;
}

}  // namespace

DWORD Win32ErrorFromErrno(int error) {
  switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT:
    case ENOTDIR:
    case ENOTTY: return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    case EIO:
    case ENXIO:
    case ENODEV: return ERROR_OPERATION_ABORTED;  // the device went away
    default: return ERROR_INVALID_PARAMETER;
  }
}

bool WriteAvailable(int fd, const BYTE* data, DWORD length, DWORD* done, DWORD* error) {
  while (*done < length) {
    const ssize_t put = write(fd, data + *done, length - *done);
    if (put > 0) {
      *done += static_cast<DWORD>(put);
      continue;
    }
    if (put < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    *error = put == 0 ? ERROR_OPERATION_ABORTED : Win32ErrorFromErrno(errno);
    return false;
  }
  return true;
}

IoResult WriteWithTimeouts(int fd, const BYTE* data, DWORD length, const COMMTIMEOUTS& timeouts,
                           const AbortCheck& aborted) {
  IoResult result;
  const auto deadline = TotalDeadline(timeouts.WriteTotalTimeoutMultiplier, timeouts.WriteTotalTimeoutConstant, length);
  while (true) {
    if (!WriteAvailable(fd, data, length, &result.bytes, &result.error)) {
      result.deviceLost = true;
      return result;
    }
    if (result.bytes == length) return result;
    if (aborted()) {
      result.error = ERROR_OPERATION_ABORTED;
      return result;
    }
    if (Passed(deadline)) return result;  // a timed-out write succeeds with what went out
    WaitFor(fd, POLLOUT, SliceUntil(deadline));
  }
  return result;
}

IoResult ReadWithTimeouts(int fd, BYTE* data, DWORD length, const COMMTIMEOUTS& timeouts, const AbortCheck& aborted) {
  IoResult result;
  const ReadPlan plan = PlanRead(timeouts, length);
  auto lastByte = Clock::now();
  while (true) {
    const DWORD before = result.bytes;
    if (!ReadAvailable(fd, data, length, &result.bytes, &result.error)) {
      result.deviceLost = true;
      return result;
    }
    if (result.bytes > before) lastByte = Clock::now();
    if (result.bytes == length || plan.immediate || (plan.firstBytesOnly && result.bytes > 0)) return result;
    if (Passed(plan.total)) return result;
    if (plan.interval != 0 && result.bytes > 0 && Clock::now() - lastByte >= Milliseconds(plan.interval)) return result;
    if (aborted()) {
      result.error = ERROR_OPERATION_ABORTED;
      return result;
    }
    WaitFor(fd, POLLIN, SliceUntil(plan.total));
  }
}

}  // namespace kcm::serial
