// A serial port on a tty.
#include "SerialPort.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "SerialPortSettings.h"
#include "errhandlingapi.h"
#include "fileapi.h"
#include "synchapi.h"
#include "winerror.h"

namespace kcm::serial {

namespace {

// Opens the device without becoming its controlling process and takes the sharing lock.
int OpenLocked(const std::string& device, bool exclusive, DWORD* error) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // A device node that is missing or has no device behind it: no such port.
    *error = (errno == ENXIO || errno == ENODEV || errno == EIO) ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(errno);
    return -1;
  }
  if (!isatty(fd)) {
    ::close(fd);
    *error = ERROR_FILE_NOT_FOUND;
    return -1;
  }
  if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    ::close(fd);
    *error = ERROR_ACCESS_DENIED;
    return -1;
  }
  return fd;
}

bool MakeRaw(int fd, termios* settings) {
  if (tcgetattr(fd, settings) != 0) return false;
  cfmakeraw(settings);
  settings->c_cflag |= CLOCAL | CREAD;
  // One byte minimum: a non-blocking read with nothing buffered then fails with EAGAIN,
  // and 0 bytes means end of file (a hang-up), never "no data yet".
  settings->c_cc[VMIN] = 1;
  settings->c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, settings) == 0;
}

}  // namespace

std::shared_ptr<SerialPort> SerialPort::open(const std::string& device, bool exclusive, bool overlapped,
                                             DWORD* error) {
  const int fd = OpenLocked(device, exclusive, error);
  if (fd < 0) return nullptr;
  termios settings{};
  if (!MakeRaw(fd, &settings)) {
    *error = Win32ErrorFromErrno(errno);
    ::close(fd);
    return nullptr;
  }
  return std::shared_ptr<SerialPort>(new SerialPort(fd, overlapped, DcbFromTermios(settings)));
}

SerialPort::SerialPort(int fd, bool overlapped, const DCB& dcb) : fd_(fd), overlapped_(overlapped), dcb_(dcb) {}

SerialPort::~SerialPort() {
  closing_ = true;
  writes_.stop();
  reads_.stop();
  ::close(fd_);  // also gives up the sharing lock
}

void SerialPort::onLastHandleClosed() {
  closing_ = true;
  writes_.stop();
  reads_.stop();
}

DCB SerialPort::state() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dcb_;
}

bool SerialPort::setState(const DCB& dcb, DWORD* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  termios original{};
  if (tcgetattr(fd_, &original) != 0) {
    *error = Win32ErrorFromErrno(errno);
    return false;
  }
  termios settings = original;
  if (!ApplyDcbToTermios(dcb, &settings, error)) return false;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (tcsetattr(fd_, TCSANOW, &settings) != 0) {
    // The driver may have taken part of it (glibc reports a refused CSIZE or PARENB after
    // the rest went through): the line goes back to what GetCommState still reports.
    *error = errno == EINVAL ? ERROR_INVALID_PARAMETER : Win32ErrorFromErrno(errno);
    tcsetattr(fd_, TCSANOW, &original);
    return false;
  }
  ApplyDcbToModemLines(fd_, dcb);
  dcb_ = dcb;
  return true;
}

COMMTIMEOUTS SerialPort::timeouts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timeouts_;
}

void SerialPort::setTimeouts(const COMMTIMEOUTS& timeouts) {
  std::lock_guard<std::mutex> lock(mutex_);
  timeouts_ = timeouts;
}

DWORD SerialPort::eventMask() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return eventMask_;
}

void SerialPort::setEventMask(DWORD mask) {
  std::lock_guard<std::mutex> lock(mutex_);
  eventMask_ = mask;
}

void SerialPort::purge(DWORD flags) {
  if (flags & PURGE_TXABORT) writes_.abortAll();
  if (flags & PURGE_RXABORT) reads_.abortAll();
  const bool output = (flags & PURGE_TXCLEAR) != 0;
  const bool input = (flags & PURGE_RXCLEAR) != 0;
  if (output || input) tcflush(fd_, output && input ? TCIOFLUSH : (output ? TCOFLUSH : TCIFLUSH));
}

DWORD SerialPort::takeErrors(COMSTAT* status) {
  int inQueue = 0;
  int outQueue = 0;
  if (ioctl(fd_, TIOCINQ, &inQueue) != 0) inQueue = 0;
  if (ioctl(fd_, TIOCOUTQ, &outQueue) != 0) outQueue = 0;
  if (status != nullptr) {
    *status = COMSTAT{};
    status->cbInQue = static_cast<DWORD>(inQueue);
    status->cbOutQue = static_cast<DWORD>(outQueue);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const DWORD errors = errors_;
  errors_ = 0;
  return errors;
}

IoResult SerialPort::recordFailure(const IoResult& result) {
  if (result.deviceLost) {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_ |= CE_IOE;
  }
  return result;
}

AbortCheck SerialPort::closingCheck() const {
  return [this] { return closing_.load(); };
}

IoResult SerialPort::write(const BYTE* data, DWORD length) {
  return recordFailure(WriteWithTimeouts(fd_, data, length, timeouts(), closingCheck()));
}

IoResult SerialPort::read(BYTE* data, DWORD length) {
  return recordFailure(ReadWithTimeouts(fd_, data, length, timeouts(), closingCheck()));
}

BOOL SerialPort::writeOverlapped(const BYTE* data, DWORD length, LPDWORD written, LPOVERLAPPED overlapped) {
  if (overlapped->hEvent != nullptr) ResetEvent(overlapped->hEvent);
  DWORD doneAtOnce = 0;
  if (!writes_.busy()) {
    // Try without waiting: on a line that keeps up, the write is over before we return.
    IoResult first;
    if (!WriteAvailable(fd_, data, length, &doneAtOnce, &first.error)) {
      first.deviceLost = true;
      first.bytes = doneAtOnce;
      // The event is set as well, so that a caller who waits on it anyway does not hang.
      CompleteOverlapped(overlapped, recordFailure(first));
      SetLastError(first.error);
      return FALSE;
    }
    if (doneAtOnce == length) {
      CompleteOverlapped(overlapped, IoResult{length, 0, false});
      if (written != nullptr) *written = length;
      return TRUE;
    }
  }
  __atomic_store_n(&overlapped->Internal, static_cast<ULONG_PTR>(STATUS_PENDING), __ATOMIC_RELAXED);
  const COMMTIMEOUTS limits = timeouts();
  writes_.submit(
      [this, data, length, doneAtOnce, limits](const AbortCheck& aborted) {
        IoResult rest = recordFailure(WriteWithTimeouts(fd_, data + doneAtOnce, length - doneAtOnce, limits, aborted));
        rest.bytes += doneAtOnce;
        return rest;
      },
      overlapped);
  SetLastError(ERROR_IO_PENDING);
  return FALSE;
}

BOOL SerialPort::readOverlapped(BYTE* data, DWORD length, LPDWORD read, LPOVERLAPPED overlapped) {
  if (overlapped->hEvent != nullptr) ResetEvent(overlapped->hEvent);
  const COMMTIMEOUTS limits = timeouts();
  int buffered = 0;
  if (ioctl(fd_, TIOCINQ, &buffered) != 0) buffered = 0;
  const bool immediate = limits.ReadIntervalTimeout == MAXDWORD && limits.ReadTotalTimeoutMultiplier == 0 &&
                         limits.ReadTotalTimeoutConstant == 0;
  if (!reads_.busy() && (immediate || static_cast<DWORD>(buffered) >= length)) {
    const IoResult result = recordFailure(ReadWithTimeouts(fd_, data, length, limits, closingCheck()));
    CompleteOverlapped(overlapped, result);
    if (result.error != 0) {
      SetLastError(result.error);
      return FALSE;
    }
    if (read != nullptr) *read = result.bytes;
    return TRUE;
  }
  __atomic_store_n(&overlapped->Internal, static_cast<ULONG_PTR>(STATUS_PENDING), __ATOMIC_RELAXED);
  reads_.submit([this, data, length, limits](
                    const AbortCheck& aborted) { return recordFailure(ReadWithTimeouts(fd_, data, length, limits, aborted)); },
                overlapped);
  SetLastError(ERROR_IO_PENDING);
  return FALSE;
}

}  // namespace kcm::serial
