// Reads and writes on a non-blocking tty descriptor under the rules of COMMTIMEOUTS.
#pragma once

#include <functional>

#include "minwindef.h"
#include "winbase.h"

namespace kcm::serial {

struct IoResult {
  DWORD bytes = 0;
  DWORD error = 0;          // a Win32 error code; 0 for success (a timeout included)
  bool deviceLost = false;  // the device failed or hung up (not an abort)
};

// Asked between waits; true ends the transfer with ERROR_OPERATION_ABORTED.
using AbortCheck = std::function<bool()>;

// Writes until everything is out, the write timeout passes (success with fewer bytes)
// or the device fails.
IoResult WriteWithTimeouts(int fd, const BYTE* data, DWORD length, const COMMTIMEOUTS& timeouts,
                           const AbortCheck& aborted);

// Writes what the line takes without waiting; *done counts the bytes. False when the
// device failed (*error set).
bool WriteAvailable(int fd, const BYTE* data, DWORD length, DWORD* done, DWORD* error);

// Reads as COMMTIMEOUTS says: at once with what is buffered (MAXDWORD, 0, 0); the first
// bytes within the constant (MAXDWORD, MAXDWORD, constant); otherwise the whole count,
// cut short by the total timeout (multiplier * count + constant, when either is set) or
// by a pause longer than the interval timeout once bytes came.
IoResult ReadWithTimeouts(int fd, BYTE* data, DWORD length, const COMMTIMEOUTS& timeouts, const AbortCheck& aborted);

// The Win32 error an errno value stands for.
DWORD Win32ErrorFromErrno(int error);

}  // namespace kcm::serial
