// The Pelco-D and Pelco-P drivers: frames from CPelcoCommandLayer, written to an
// overlapped serial port (CSerialCommHelper) that is opened and closed around each
// operation. Nothing is read back from the head.
#pragma once

#include "KestroCloudTourControl.h"
#include "PelcoCommandLayer.h"
#include "SerialCommHelper.h"

class CCloudTourControlDriverPelcoBase : public ICloudTourControlDriver, public IStageLensSink {
 public:
  CCloudTourControlDriverPelcoBase(int protocol, unsigned long baudRate);
  virtual ~CCloudTourControlDriverPelcoBase();

  // Opens the port at 9600 8N1 unless it is open already; the address changes either way.
  long open(std::wstring comm, int addr) override;
  // Sends the frame of `op`; S_OK whatever happened on the line. A null `param` or an op
  // outside 0-11 sends nothing.
  long doOP(int op, void* param) override;
  long close() override;
  // Writes the frame while the port is open; drops it otherwise.
  void sendCommand(const void* bytes, unsigned long length) override;

 private:
  CSerialCommHelper _serial;
  int _open;
  unsigned char _parity;
  unsigned char _stopBits;
  unsigned char _dataBits;
  uint32_t _baudRate;
  int _address;
  CPelcoCommandLayer _commands;
};

class CCloudTourControlDriverPelco_D final : public CCloudTourControlDriverPelcoBase {
 public:
  CCloudTourControlDriverPelco_D() : CCloudTourControlDriverPelcoBase(CPelcoCommandLayer::ProtocolPelcoD, 9600) {}
};

class CCloudTourControlDriverPelco_P final : public CCloudTourControlDriverPelcoBase {
 public:
  CCloudTourControlDriverPelco_P() : CCloudTourControlDriverPelcoBase(CPelcoCommandLayer::ProtocolPelcoP, 9600) {}
};
