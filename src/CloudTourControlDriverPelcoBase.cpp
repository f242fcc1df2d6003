#include "CloudTourControlDriverPelco.h"

#include <QDebug>

CCloudTourControlDriverPelcoBase::CCloudTourControlDriverPelcoBase(int protocol, unsigned long baudRate)
    : _open(0),
      _parity(NOPARITY),
      _stopBits(1),
      _dataBits(8),
      _baudRate(static_cast<uint32_t>(baudRate)),
      _address(1),
      _commands(protocol, this) {}

CCloudTourControlDriverPelcoBase::~CCloudTourControlDriverPelcoBase() { close(); }

long CCloudTourControlDriverPelcoBase::open(std::wstring comm, int addr) {
  _address = addr;
  if (_open) return S_OK;
  long status = _serial.Init(comm, _baudRate, _parity, _stopBits, _dataBits);
  if (status >= 0) status = _serial.Start();
  if (status < 0) {
    close();
    return status;
  }
  _open = 1;
  return S_OK;
}

long CCloudTourControlDriverPelcoBase::doOP(int op, void* param) {
  if (param == nullptr) {
    qDebug() << "CCloudTourControlDriverPelcoBase::doOP: no CloudTourOpParam, op" << op << "not sent";
    return S_OK;
  }
  const CloudTourOpParam& opParam = *static_cast<const CloudTourOpParam*>(param);
  _commands.setSpeedLevel(opParam.speed);
  _commands.doOP(_address, op, opParam);
  return S_OK;
}

long CCloudTourControlDriverPelcoBase::close() {
  _serial.Stop();
  const long status = _serial.UnInit();
  _open = 0;
  return status;
}

void CCloudTourControlDriverPelcoBase::sendCommand(const void* bytes, unsigned long length) {
  if (_open) _serial.Write(bytes, length);
}
