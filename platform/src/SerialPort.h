// The kernel object behind a serial-port handle: one open tty, its Windows settings and
// the threads of its pending overlapped operations.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "KernelObject.h"
#include "SerialPortIo.h"
#include "SerialPortOverlapped.h"
#include "winbase.h"

namespace kcm::serial {

class SerialPort final : public kernel::KernelObject {
 public:
  // Opens and locks `device` (exclusively when `exclusive`) and makes the line raw.
  // Null with the Win32 error in *error when it cannot.
  static std::shared_ptr<SerialPort> open(const std::string& device, bool exclusive, bool overlapped, DWORD* error);
  ~SerialPort() override;

  bool isOverlapped() const { return overlapped_; }

  DCB state() const;
  bool setState(const DCB& dcb, DWORD* error);
  COMMTIMEOUTS timeouts() const;
  void setTimeouts(const COMMTIMEOUTS& timeouts);
  DWORD eventMask() const;
  void setEventMask(DWORD mask);
  void purge(DWORD flags);
  // The error bits gathered since the last call, cleared; and the queue counts.
  DWORD takeErrors(COMSTAT* status);

  IoResult write(const BYTE* data, DWORD length);
  IoResult read(BYTE* data, DWORD length);
  // TRUE when done at once; FALSE with ERROR_IO_PENDING when queued (see fileapi.h).
  BOOL writeOverlapped(const BYTE* data, DWORD length, LPDWORD written, LPOVERLAPPED overlapped);
  BOOL readOverlapped(BYTE* data, DWORD length, LPDWORD read, LPOVERLAPPED overlapped);

 protected:
  // The last CloseHandle ends pending operations, as on Windows.
  void onLastHandleClosed() override;

 private:
  SerialPort(int fd, bool overlapped, const DCB& dcb);

  IoResult recordFailure(const IoResult& result);
  AbortCheck closingCheck() const;

  const int fd_;
  const bool overlapped_;
  mutable std::mutex mutex_;
  DCB dcb_;               // guarded by mutex_
  COMMTIMEOUTS timeouts_{};  // guarded by mutex_
  DWORD eventMask_ = 0;   // guarded by mutex_
  DWORD errors_ = 0;      // guarded by mutex_: CE_ bits since the last ClearCommError
  std::atomic<bool> closing_{false};
  OverlappedQueue writes_;
  OverlappedQueue reads_;
};

}  // namespace kcm::serial
