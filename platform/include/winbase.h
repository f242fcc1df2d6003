// Arithmetic helpers of the Windows base API.
#pragma once

#include "KestroGlobalMemory.h"
#include "minwindef.h"

KCM_EXTERN_C_BEGIN
// number · numerator / denominator over the full 64-bit product, rounded half away from
// zero. Answers -1 when the denominator is 0 or the quotient does not fit 32 bits; a
// true result of -1 looks the same, as on Windows.
KCM_PLATFORM_API int WINAPI MulDiv(int number, int numerator, int denominator);
KCM_EXTERN_C_END

// Serial-port (comm) functions on handles CreateFile answered for a COM port (fileapi.h).
//
// Settings map onto termios: BaudRate (standard rates only: 50 to 4,000,000 as Linux
// names them; others fail with ERROR_INVALID_PARAMETER), ByteSize 5-8, Parity (MARK and
// SPACE through CMSPAR), StopBits (ONE5STOPBITS as two, which the line gives 5-bit
// characters as 1.5), fParity (input parity check), fOutxCtsFlow or RTS_CONTROL_HANDSHAKE
// (RTS/CTS flow control), fOutX/fInX with XonChar/XoffChar (software flow control), and
// the DTR and RTS lines. The other fields have no termios counterpart: they are kept and
// given back by GetCommState unchanged. The line is raw (no echo, no translation) from
// CreateFile on. A setting the device cannot take fails with ERROR_INVALID_PARAMETER and
// the previous settings are reported on (pseudo-terminals take 8N1 only; they have no
// modem lines, which are then left alone).
#define PURGE_TXABORT 0x0001
#define PURGE_RXABORT 0x0002
#define PURGE_TXCLEAR 0x0004
#define PURGE_RXCLEAR 0x0008

#define EV_RXCHAR 0x0001
#define EV_RXFLAG 0x0002
#define EV_TXEMPTY 0x0004
#define EV_CTS 0x0008
#define EV_DSR 0x0010
#define EV_RLSD 0x0020
#define EV_BREAK 0x0040
#define EV_ERR 0x0080
#define EV_RING 0x0100
#define EV_PERR 0x0200
#define EV_RX80FULL 0x0400
#define EV_EVENT1 0x0800
#define EV_EVENT2 0x1000

#define NOPARITY 0
#define ODDPARITY 1
#define EVENPARITY 2
#define MARKPARITY 3
#define SPACEPARITY 4

#define ONESTOPBIT 0
#define ONE5STOPBITS 1
#define TWOSTOPBITS 2

#define DTR_CONTROL_DISABLE 0x00
#define DTR_CONTROL_ENABLE 0x01
#define DTR_CONTROL_HANDSHAKE 0x02
#define RTS_CONTROL_DISABLE 0x00
#define RTS_CONTROL_ENABLE 0x01
#define RTS_CONTROL_HANDSHAKE 0x02
#define RTS_CONTROL_TOGGLE 0x03

#define CBR_110 110
#define CBR_300 300
#define CBR_600 600
#define CBR_1200 1200
#define CBR_2400 2400
#define CBR_4800 4800
#define CBR_9600 9600
#define CBR_14400 14400
#define CBR_19200 19200
#define CBR_38400 38400
#define CBR_57600 57600
#define CBR_115200 115200
#define CBR_128000 128000
#define CBR_256000 256000

#define CE_RXOVER 0x0001
#define CE_OVERRUN 0x0002
#define CE_RXPARITY 0x0004
#define CE_FRAME 0x0008
#define CE_BREAK 0x0010
#define CE_TXFULL 0x0100
#define CE_PTO 0x0200
#define CE_IOE 0x0400
#define CE_DNS 0x0800
#define CE_OOP 0x1000
#define CE_MODE 0x8000

#ifndef MAXDWORD
#define MAXDWORD 0xFFFFFFFF
#endif

typedef struct _DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
} DCB, *LPDCB;

// Milliseconds. ReadIntervalTimeout MAXDWORD with both read totals 0: ReadFile answers at
// once with what is buffered; all read values 0: ReadFile waits for the whole count.
// Both write values 0: WriteFile waits until everything is written.
typedef struct _COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
} COMMTIMEOUTS, *LPCOMMTIMEOUTS;

typedef struct _COMSTAT {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
  DWORD cbInQue;
  DWORD cbOutQue;
} COMSTAT, *LPCOMSTAT;

KCM_EXTERN_C_BEGIN
// Linux tty buffers have a fixed size: the queue sizes are checked for a valid handle only.
KCM_PLATFORM_API BOOL WINAPI SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
// CLEAR flags discard buffered data of that direction; ABORT flags end that direction's
// pending overlapped operations with ERROR_OPERATION_ABORTED.
KCM_PLATFORM_API BOOL WINAPI PurgeComm(HANDLE file, DWORD flags);
// The mask is kept for GetCommMask; no WaitCommEvent is offered.
KCM_PLATFORM_API BOOL WINAPI SetCommMask(HANDLE file, DWORD eventMask);
KCM_PLATFORM_API BOOL WINAPI GetCommMask(HANDLE file, LPDWORD eventMask);
KCM_PLATFORM_API BOOL WINAPI GetCommState(HANDLE file, LPDCB dcb);
KCM_PLATFORM_API BOOL WINAPI SetCommState(HANDLE file, LPDCB dcb);
KCM_PLATFORM_API BOOL WINAPI SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
KCM_PLATFORM_API BOOL WINAPI GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
// Answers and clears the error bits gathered since the last call; `errors` and `status`
// may be null. cbInQue/cbOutQue are the bytes waiting in the tty's buffers.
KCM_PLATFORM_API BOOL WINAPI ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status);
KCM_EXTERN_C_END

#ifdef __cplusplus
static_assert(sizeof(DCB) == 28 && offsetof(DCB, BaudRate) == 4 && offsetof(DCB, wReserved) == 12 &&
                  offsetof(DCB, ByteSize) == 18 && offsetof(DCB, XonChar) == 21 && offsetof(DCB, EvtChar) == 25 &&
                  offsetof(DCB, wReserved1) == 26,
              "DCB as on Windows");
static_assert(sizeof(COMMTIMEOUTS) == 20, "COMMTIMEOUTS as on Windows");
static_assert(sizeof(COMSTAT) == 12 && offsetof(COMSTAT, cbInQue) == 4, "COMSTAT as on Windows");
#endif
