// Pan-tilt-zoom ("cloud tour") head control over a serial port: Pelco-D, Pelco-P, VISCA.
//
// The host creates the control with CreateCloudTourControl, names the port, the head's
// address and the protocol with configure, and sends operations with doOP. Each doOP
// opens the port, writes the protocol's frame(s) and closes the port again. Between
// operations the control can keep the port open for reading and hand every byte that
// arrives to the host's ICloudTourDataSink, on a thread of its own.
//
// On Linux the port index names "\\.\COM<index + 1>", which maps to a device as
// KestroSerialPorts.h describes: KCM_COM<n>, the settings file beside the library, or
// /dev/ttyS<n-1>.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "KestroExport.h"
#include "KestroUnknownEx.h"

class ICloudTourControl;

// Operation codes of doOP. Codes above CloudTourOpClearPreset are ignored with S_OK.
enum CloudTourOp {
  CloudTourOpPanLeft = 0,
  CloudTourOpPanRight = 1,
  CloudTourOpTiltUp = 2,
  CloudTourOpTiltDown = 3,
  CloudTourOpZoomWide = 4,
  CloudTourOpZoomTele = 5,
  CloudTourOpFocus1 = 6,  // Pelco: focus far; VISCA: focus near
  CloudTourOpFocus2 = 7,  // Pelco: focus near; VISCA: focus far
  CloudTourOpStop = 8,
  CloudTourOpStorePreset = 9,
  CloudTourOpGotoPreset = 10,
  CloudTourOpClearPreset = 11,
};

// What doOP's `param` points to.
struct CloudTourOpParam {
  int32_t speed;   // speed level: 0 to 6 span the protocol's whole range; others are clamped
  int32_t preset;  // preset number; its low byte is sent. With go to preset, 80 ('P') and
                   // 81 ('Q') are special: Pelco sends the raw command below, VISCA its
                   // own letter-preset packet
  uint8_t command1[7];  // first 4 bytes: Pelco cmd1 cmd2 data1 data2 sent for go to preset 80
  uint8_t command2[7];  // the same for go to preset 81
};

// The host's receiver of the bytes the head sends. Only onData is called, on the
// control's reader thread; the three operations before it are the host's affair.
class ICloudTourDataSink : public IUnknownEx {
 public:
  // `data` holds `length` bytes just read; valid during the call only. Must not call back
  // into the control. An exception thrown here is caught and logged; reading goes on.
  virtual void onData(ICloudTourControl* control, const char* data, size_t length) = 0;

 protected:
  ~ICloudTourDataSink() = default;
};

class ICloudTourControl : public IUnknownEx {
 public:
  // portIndex 0 is COM1; address 0 is the head's first address (1 on the wire for
  // Pelco-D and VISCA); protocol 0 Pelco-D, 1 Pelco-P, 2 VISCA (others fail at doOP).
  // With a sink and a non-zero startReader the reader (re)starts now. Always S_OK.
  virtual long configure(int portIndex, int address, int protocol, ICloudTourDataSink* sink, int startReader) = 0;
  // Sends operation `op` (CloudTourOp) with `param` (a CloudTourOpParam; null sends
  // nothing). S_OK; E_NOINTERFACE for an unknown protocol; E_FAIL when the port cannot
  // be opened. The reader pauses for the exchange and resumes after it when a sink is set.
  virtual long doOP(int op, void* param) = 0;
  virtual ~ICloudTourControl() = default;
};

// A protocol driver; the control owns one per protocol.
class ICloudTourControlDriver {
 public:
  // Takes the port named `comm` ("\\.\COMn") for the head at `addr`. S_OK or negative.
  virtual long open(std::wstring comm, int addr) = 0;
  virtual long doOP(int op, void* param) = 0;
  virtual long close() = 0;

 protected:
  ~ICloudTourControlDriver() = default;
};

// Answers a new control as the interface asked for (ICloudTourControl or IUnknownEx with
// an accepted version), or null.
extern "C" KCM_API void* CreateCloudTourControl(const GUID& iid, unsigned long version);
