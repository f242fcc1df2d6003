// The Pelco drivers' serial port: an overlapped Win32 comm handle that they only write to.
//
// The receive side (a reader thread feeding a receive buffer) exists only as its events:
// it would start on a start-reader flag that nothing in the library sets, so the flag,
// the buffer and the thread are not built here.
#pragma once

#include <string>

#include "windows.h"

class CSerialCommHelper {
 public:
  enum State { StateNotInitialised = 1, StateInitialised = 2, StateStarted = 3, StateStopped = 4 };

  CSerialCommHelper();
  ~CSerialCommHelper();
  CSerialCommHelper(const CSerialCommHelper&) = delete;
  CSerialCommHelper& operator=(const CSerialCommHelper&) = delete;

  // Opens and configures the port. E_FAIL when it cannot be opened or configured; a port
  // that opened but could not be configured stays open until UnInit.
  long Init(std::wstring port, unsigned long baud, unsigned char parity, unsigned char stopBits,
            unsigned char dataBits);
  long Start();
  long Stop();
  // Writes the bytes and waits until the port has taken them. Only when started.
  long Write(const void* bytes, unsigned long length);
  long UnInit();
  int GetState() const { return _state; }

 private:
  long Configure(unsigned long baud, unsigned char parity, unsigned char stopBits, unsigned char dataBits);
  static void CloseIfValid(HANDLE* handle, HANDLE closedValue);

  int _state;
  HANDLE _port;
  HANDLE _readerThread;
  HANDLE _dataReceivedEvent;
  HANDLE _readerStopEvent;
  HANDLE _readerStartedEvent;
  int _connected;
};
