// CreateFile, ReadFile, WriteFile and the comm functions on serial-port handles.
#include <memory>
#include <string>

#include "HandleTable.h"
#include "SerialPort.h"
#include "SerialPortMap.h"
#include "WideString.h"
#include "errhandlingapi.h"
#include "fileapi.h"
#include "handleapi.h"
#include "synchapi.h"
#include "winbase.h"
#include "winerror.h"

using kcm::kernel::lookupShared;
using kcm::kernel::openHandle;
using kcm::serial::IoResult;
using kcm::serial::SerialPort;

namespace {

HANDLE Fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

HANDLE OpenPort(const std::string& name, DWORD shareMode, DWORD creationDisposition, DWORD flags) {
  const int number = kcm::serial::ComPortNumber(name);
  if (number <= 0) return Fail(ERROR_FILE_NOT_FOUND);  // only serial ports are files here
  if (creationDisposition != OPEN_EXISTING) return Fail(ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<SerialPort> port = SerialPort::open(kcm::serial::DevicePathForPort(number), shareMode == 0,
                                                      (flags & FILE_FLAG_OVERLAPPED) != 0, &error);
  if (!port) return Fail(error);
  SetLastError(ERROR_SUCCESS);
  return openHandle(std::move(port));
}

std::shared_ptr<SerialPort> PortOf(HANDLE file) { return lookupShared<SerialPort>(file); }

BOOL Refuse(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// A synchronous transfer's answer: TRUE, or FALSE with the error.
BOOL Finish(const IoResult& result, LPDWORD transferred) {
  if (transferred != nullptr) *transferred = result.bytes;
  return result.error == 0 ? TRUE : Refuse(result.error);
}

// Overlapped handles need an OVERLAPPED, synchronous ones refuse one.
bool OverlappedMatches(const SerialPort& port, LPOVERLAPPED overlapped) {
  return port.isOverlapped() == (overlapped != nullptr);
}

}  // namespace

HANDLE WINAPI CreateFileW(LPCWSTR fileName, DWORD /*desiredAccess*/, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
  if (fileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OpenPort(kcm_platform::WideToUtf8(fileName), shareMode, creationDisposition, flagsAndAttributes);
}

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD /*desiredAccess*/, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES /*securityAttributes*/, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
  if (fileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return OpenPort(fileName, shareMode, creationDisposition, flagsAndAttributes);
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED overlapped) {
  auto port = PortOf(file);
  if (!port) return FALSE;
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if ((buffer == nullptr && bytesToWrite != 0) || !OverlappedMatches(*port, overlapped)) {
    return Refuse(ERROR_INVALID_PARAMETER);
  }
  const BYTE* data = static_cast<const BYTE*>(buffer);
  if (overlapped != nullptr) return port->writeOverlapped(data, bytesToWrite, bytesWritten, overlapped);
  return Finish(port->write(data, bytesToWrite), bytesWritten);
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped) {
  auto port = PortOf(file);
  if (!port) return FALSE;
  if (bytesRead != nullptr) *bytesRead = 0;
  if ((buffer == nullptr && bytesToRead != 0) || !OverlappedMatches(*port, overlapped)) {
    return Refuse(ERROR_INVALID_PARAMETER);
  }
  BYTE* data = static_cast<BYTE*>(buffer);
  if (overlapped != nullptr) return port->readOverlapped(data, bytesToRead, bytesRead, overlapped);
  return Finish(port->read(data, bytesToRead), bytesRead);
}

BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD bytesTransferred, BOOL wait) {
  if (!PortOf(file)) return FALSE;
  if (overlapped == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  if (!HasOverlappedIoCompleted(overlapped)) {
    if (!wait) return Refuse(ERROR_IO_INCOMPLETE);
    if (overlapped->hEvent == nullptr || WaitForSingleObject(overlapped->hEvent, INFINITE) != WAIT_OBJECT_0) {
      return Refuse(ERROR_INVALID_PARAMETER);
    }
  }
  const DWORD status = static_cast<DWORD>(__atomic_load_n(&overlapped->Internal, __ATOMIC_ACQUIRE));
  const IoResult result{static_cast<DWORD>(overlapped->InternalHigh), status, false};
  return Finish(result, bytesTransferred);
}

BOOL WINAPI SetupComm(HANDLE file, DWORD /*inQueue*/, DWORD /*outQueue*/) { return PortOf(file) ? TRUE : FALSE; }

BOOL WINAPI PurgeComm(HANDLE file, DWORD flags) {
  auto port = PortOf(file);
  if (!port) return FALSE;
  port->purge(flags);
  return TRUE;
}

BOOL WINAPI SetCommMask(HANDLE file, DWORD eventMask) {
  auto port = PortOf(file);
  if (!port) return FALSE;
  port->setEventMask(eventMask);
  return TRUE;
}

BOOL WINAPI GetCommMask(HANDLE file, LPDWORD eventMask) {
  auto port = PortOf(file);
  if (!port) return FALSE;
  if (eventMask == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  *eventMask = port->eventMask();
  return TRUE;
}

BOOL WINAPI GetCommState(HANDLE file, LPDCB dcb) {
  auto port = PortOf(file);
  if (!port) return FALSE;
  if (dcb == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  *dcb = port->state();
  return TRUE;
}

BOOL WINAPI SetCommState(HANDLE file, LPDCB dcb) {
  auto port = PortOf(file);
  if (!port) return FALSE;
  if (dcb == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  DWORD error = ERROR_SUCCESS;
  return port->setState(*dcb, &error) ? TRUE : Refuse(error);
}

BOOL WINAPI SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
  auto port = PortOf(file);
  if (!port) return FALSE;
  if (timeouts == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  port->setTimeouts(*timeouts);
  return TRUE;
}

BOOL WINAPI GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
  auto port = PortOf(file);
  if (!port) return FALSE;
  if (timeouts == nullptr) return Refuse(ERROR_INVALID_PARAMETER);
  *timeouts = port->timeouts();
  return TRUE;
}

BOOL WINAPI ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status) {
  auto port = PortOf(file);
  if (!port) return FALSE;
  const DWORD gathered = port->takeErrors(status);
  if (errors != nullptr) *errors = gathered;
  return TRUE;
}
