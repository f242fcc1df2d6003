#include "SerialCommHelper.h"

namespace {

const DWORD kQueueSize = 32;
const DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
const DWORD kTimeoutMilliseconds = 10;

BYTE StopBitsCode(unsigned char stopBits) {
  if (stopBits == 1) return ONESTOPBIT;
  if (stopBits == 2) return TWOSTOPBITS;
  return ONE5STOPBITS;
}

}  // namespace

CSerialCommHelper::CSerialCommHelper()
    : _state(StateNotInitialised),
      _port(INVALID_HANDLE_VALUE),
      _readerThread(nullptr),
      _dataReceivedEvent(nullptr),
      _readerStopEvent(nullptr),
      _readerStartedEvent(nullptr),
      _connected(0) {}

CSerialCommHelper::~CSerialCommHelper() { UnInit(); }

long CSerialCommHelper::Init(std::wstring port, unsigned long baud, unsigned char parity, unsigned char stopBits,
                             unsigned char dataBits) {
  _dataReceivedEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  _port = CreateFileW(port.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (_port == INVALID_HANDLE_VALUE) return E_FAIL;
  if (Configure(baud, parity, stopBits, dataBits) != S_OK) return E_FAIL;
  _readerStopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  _readerStartedEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  _connected = 1;
  _state = StateInitialised;
  return S_OK;
}

long CSerialCommHelper::Configure(unsigned long baud, unsigned char parity, unsigned char stopBits,
                                  unsigned char dataBits) {
  if (!SetupComm(_port, kQueueSize, kQueueSize) || !PurgeComm(_port, kPurgeAll) ||
      !SetCommMask(_port, EV_RXCHAR | EV_RXFLAG)) {
    return E_FAIL;
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(_port, &dcb)) return E_FAIL;
  dcb.BaudRate = static_cast<DWORD>(baud);
  dcb.ByteSize = dataBits;
  dcb.Parity = parity;
  dcb.StopBits = StopBitsCode(stopBits);
  dcb.fOutxDsrFlow = 0;
  dcb.fDsrSensitivity = 0;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  if (!SetCommState(_port, &dcb)) return E_FAIL;
  COMMTIMEOUTS timeouts{MAXDWORD, kTimeoutMilliseconds, kTimeoutMilliseconds, kTimeoutMilliseconds,
                        kTimeoutMilliseconds};
  return SetCommTimeouts(_port, &timeouts) ? S_OK : E_FAIL;
}

long CSerialCommHelper::Start() {
  _state = StateStarted;
  return S_OK;
}

long CSerialCommHelper::Stop() {
  _state = StateStopped;
  return S_OK;
}

long CSerialCommHelper::Write(const void* bytes, unsigned long length) {
  if (_state != StateStarted) return E_FAIL;
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD written = 0;
  if (!WriteFile(_port, bytes, static_cast<DWORD>(length), &written, &overlapped) &&
      GetLastError() == ERROR_IO_PENDING) {
    WaitForSingleObject(overlapped.hEvent, INFINITE);
  }
  CloseHandle(overlapped.hEvent);
  return S_OK;
}

long CSerialCommHelper::UnInit() {
  _connected = 0;
  if (_readerThread != nullptr) {
    SetEvent(_readerStopEvent);
    WaitForSingleObject(_readerThread, INFINITE);
  }
  CloseIfValid(&_readerThread, nullptr);
  CloseIfValid(&_dataReceivedEvent, nullptr);
  CloseIfValid(&_readerStopEvent, nullptr);
  CloseIfValid(&_readerStartedEvent, nullptr);
  CloseIfValid(&_port, INVALID_HANDLE_VALUE);
  _state = StateNotInitialised;
  return S_OK;
}

void CSerialCommHelper::CloseIfValid(HANDLE* handle, HANDLE closedValue) {
  if (*handle != nullptr && *handle != INVALID_HANDLE_VALUE) CloseHandle(*handle);
  *handle = closedValue;
}
