#include "CloudTourControl.h"

#include <exception>
#include <new>
#include <stdexcept>

#include <QByteArray>
#include <QDebug>
#include <QString>

#include "KestroLog.h"
#include "KestroSerialPorts.h"
#include "SourcePath.h"
#include "UnknownExFactory.h"

namespace {

const int kProtocolPelcoD = 0;
const int kProtocolPelcoP = 1;
const int kProtocolVisca = 2;

void LogFailedCheck(int line, const char* expression) {
  kcm_logExpression(KCM_SOURCE_PATH("CloudTourControl"), line, expression, KcmLogCritical, true);
}

// The device the reader opens: the Linux device a "\\.\COMn" name maps to.
std::string ReaderDevice(const std::wstring& comm) {
  const std::string name = QString::fromStdWString(comm).toLocal8Bit().toStdString();
  const std::string device = KcmSerialDevicePath(name);
  return device.empty() ? name : device;
}

template <class Driver>
void CloseAndDelete(Driver*& driver) {
  if (driver == nullptr) return;
  driver->close();
  delete driver;
  driver = nullptr;
}

}  // namespace

CCloudTourControl::CCloudTourControl()
    : _addr(1),
      _protocol(kProtocolPelcoD),
      _sink(nullptr),
      _driver(nullptr),
      _driverPelcoP(new (std::nothrow) CCloudTourControlDriverPelco_P),
      _driverPelcoD(new (std::nothrow) CCloudTourControlDriverPelco_D),
      _driverVisca(new (std::nothrow) CCloudTourControlDriverVisca) {}

CCloudTourControl::~CCloudTourControl() {
  CloseAndDelete(_driverPelcoP);
  CloseAndDelete(_driverPelcoD);
  CloseAndDelete(_driverVisca);
  _driver = nullptr;
  stopSerialPortCommandHelper();
}

long CCloudTourControl::configure(int portIndex, int address, int protocol, ICloudTourDataSink* sink,
                                  int startReader) {
  _comm = QString::asprintf("\\\\.\\COM%d", portIndex + 1).toStdWString();
  _addr = address + 1;
  _protocol = protocol;
  {
    std::lock_guard<std::mutex> lock(_readerLock);
    _sink = sink;
  }
  switch (protocol) {
    case kProtocolPelcoD: _driver = _driverPelcoD; break;
    case kProtocolPelcoP: _driver = _driverPelcoP; break;
    case kProtocolVisca: _driver = _driverVisca; break;
    default: _driver = nullptr; break;
  }
  if (startReader != 0 && sink != nullptr) {
    stopSerialPortCommandHelper();
    startSerialPortCommandHelper();
  }
  return S_OK;
}

long CCloudTourControl::doOP(int op, void* param) {
  if (_driver == nullptr) {
    LogFailedCheck(__LINE__, "\"hr = E_NOINTERFACE\"");
    return E_NOINTERFACE;
  }
  stopSerialPortCommandHelper();  // the drivers take the port for themselves
  if (_driver->open(_comm, _addr) < 0) {
    LogFailedCheck(__LINE__, "\"_driver->open(_comm, _addr)\"");
    return E_FAIL;
  }
  if (_driver->doOP(op, param) < 0) {
    LogFailedCheck(__LINE__, "\"_driver->doOP(op, param)\"");
    return E_FAIL;
  }
  _driver->close();
  if (currentSink() != nullptr) startSerialPortCommandHelper();
  return S_OK;
}

ICloudTourDataSink* CCloudTourControl::currentSink() {
  std::lock_guard<std::mutex> lock(_readerLock);
  return _sink;
}

void CCloudTourControl::startSerialPortCommandHelper() {
  if (_scheduler.isRunning()) return;
  try {
    auto reader = std::make_shared<ReaderPort>(_scheduler.getIOService());
    std::lock_guard<std::mutex> lock(_readerLock);
    _reader = reader;
    boost::system::error_code error;
    reader->port.open(ReaderDevice(_comm), error);
    if (error) {
      reader->port.close(error);
      _reader.reset();
      return;
    }
    using boost::asio::serial_port_base;
    reader->port.set_option(serial_port_base::baud_rate(9600));
    reader->port.set_option(serial_port_base::parity(serial_port_base::parity::none));
    reader->port.set_option(serial_port_base::stop_bits(serial_port_base::stop_bits::one));
    reader->port.set_option(serial_port_base::character_size(8));
    startRead(reader);
    _scheduler.startup();
  } catch (const std::exception& error) {
    qDebug() << "CCloudTourControl::startSerialPortCommandHelper" << error.what();
  } catch (...) {
    qDebug() << "CCloudTourControl::startSerialPortCommandHelper";
  }
}

void CCloudTourControl::startRead(const std::shared_ptr<ReaderPort>& reader) {
  reader->port.async_read_some(
      boost::asio::buffer(reader->buffer, sizeof reader->buffer),
      [this, reader](const boost::system::error_code& error, std::size_t bytesRead) {
        handleRead(reader, error, bytesRead);
      });
}

void CCloudTourControl::handleRead(const std::shared_ptr<ReaderPort>& reader, const boost::system::error_code& error,
                                   std::size_t bytesRead) {
  ICloudTourDataSink* sink = currentSink();
  if (error || sink == nullptr) return;  // the read chain ends here
  deliver(sink, reader->buffer, bytesRead);
  std::lock_guard<std::mutex> lock(_readerLock);
  if (_reader == reader) startRead(reader);
}

void CCloudTourControl::deliver(ICloudTourDataSink* sink, const char* data, std::size_t length) {
  try {
    sink->onData(this, data, length);
  } catch (const std::exception& error) {
    qDebug() << "CCloudTourControl::handleRead: the sink failed:" << error.what();
  } catch (...) {
    qDebug() << "CCloudTourControl::handleRead: the sink failed";
  }
}

void CCloudTourControl::stopSerialPortCommandHelper() {
  {
    std::lock_guard<std::mutex> lock(_readerLock);
    if (_reader) {
      try {
        boost::system::error_code error;
        _reader->port.cancel(error);
        if (error) throw std::runtime_error("cancel: " + error.message());
        _reader->port.close(error);
        if (error) throw std::runtime_error("close: " + error.message());
      } catch (const std::exception& error) {
        qDebug() << "CCloudTourControl::stopSerialPortCommandHelper" << error.what();
      } catch (...) {
        qDebug() << "CCloudTourControl::stopSerialPortCommandHelper";
      }
    }
    _reader.reset();
  }
  _scheduler.shutdown();
}

void* CreateCloudTourControl(const GUID& iid, unsigned long version) {
  return CreateUnknownExObject<CCloudTourControl>(iid, version);
}
