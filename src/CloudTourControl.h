// CCloudTourControl: the host's pan-tilt-zoom head on a serial port, one driver per
// protocol, and a reader that passes incoming bytes to the host's sink between operations.
#pragma once

#include <boost/asio/serial_port.hpp>

#include <memory>
#include <mutex>
#include <string>

#include "CloudTourControlDriverPelco.h"
#include "CloudTourControlDriverVisca.h"
#include "KestroCloudTourControl.h"
#include "SingleServiceScheduler.h"
#include "UnknownExObject.h"

class CCloudTourControl : public CUnknownExObject<ICloudTourControl, IID_ICloudTourControl> {
 public:
  CCloudTourControl();
  ~CCloudTourControl() override;

  long configure(int portIndex, int address, int protocol, ICloudTourDataSink* sink, int startReader) override;
  long doOP(int op, void* param) override;

 private:
  // One opening of the port by the reader, with the buffer its reads fill. A completion
  // that arrives after the reader moved on to a new opening still delivers its bytes
  // but reads no further.
  struct ReaderPort {
    explicit ReaderPort(boost::asio::io_context& service) : port(service) {}
    boost::asio::serial_port port;
    char buffer[128];
  };

  void startSerialPortCommandHelper();
  void stopSerialPortCommandHelper();
  void handleRead(const std::shared_ptr<ReaderPort>& reader, const boost::system::error_code& error,
                  std::size_t bytesRead);
  void startRead(const std::shared_ptr<ReaderPort>& reader);
  void deliver(ICloudTourDataSink* sink, const char* data, std::size_t length);
  ICloudTourDataSink* currentSink();

  std::wstring _comm;
  int _addr;
  int _protocol;
  ICloudTourDataSink* _sink;  // guarded by _readerLock (the reader thread reads it)
  ICloudTourControlDriver* _driver;
  CCloudTourControlDriverPelco_P* _driverPelcoP;
  CCloudTourControlDriverPelco_D* _driverPelcoD;
  CCloudTourControlDriverVisca* _driverVisca;
  CSingleServiceScheduler _scheduler;
  // Host thread and reader threads both touch the port: it is started, continued and
  // closed under this lock, never while the sink runs.
  std::mutex _readerLock;
  std::shared_ptr<ReaderPort> _reader;  // guarded by _readerLock; null while stopped
};
