// Pelco-D and Pelco-P frames for the twelve cloud tour operations.
//
//   Pelco-D: FF addr cmd1 cmd2 data1 data2 sum          sum = addr + cmd1 + ... + data2 (mod 256)
//   Pelco-P: A0 addr-1 cmd1 cmd2 data1 data2 AF xor    xor of the seven bytes before it
// Go to preset 80 ('P') or 81 ('Q') sends the host's raw command in a Pelco-D frame
// under either protocol.
#pragma once

#include <stdint.h>

#include "KestroCloudTourControl.h"

// Where built frames go: the driver, which writes them to its port.
class IStageLensSink {
 public:
  virtual void sendCommand(const void* bytes, unsigned long length) = 0;

 protected:
  ~IStageLensSink() = default;
};

// The four bytes between a Pelco frame's address and its end.
struct PelcoCommand {
  uint8_t command1;
  uint8_t command2;
  uint8_t data1;
  uint8_t data2;
};

// A frame as it is sent: its length, then its bytes.
template <uint32_t Size>
struct PelcoFrame {
  uint32_t length;
  uint8_t bytes[Size];
};

class CPelcoDFrameBuilder {
 public:
  static const uint32_t kPanSpeedMax = 0xFF;
  static const uint32_t kTiltSpeedMax = 0x3F;
  const PelcoFrame<7>& build(int address, const PelcoCommand& command);

 private:
  PelcoFrame<7> _frame{};
};

class CPelcoPFrameBuilder {
 public:
  static const uint32_t kPanSpeedMax = 0x40;
  static const uint32_t kTiltSpeedMax = 0x3F;
  // `address` is the driver's (1-based) address; the wire carries address - 1.
  const PelcoFrame<8>& build(int address, const PelcoCommand& command);

 private:
  PelcoFrame<8> _frame{};
};

class CPelcoCommandLayer {
 public:
  enum Protocol { ProtocolPelcoD = 0, ProtocolPelcoP = 2 };

  CPelcoCommandLayer(int protocol, IStageLensSink* sink);

  // speed = level * 63 / 6, rounding toward zero, kept as an unsigned value: levels 0-6
  // give 0 to 63, a negative level a huge value that every clamp caps.
  void setSpeedLevel(int level);
  // Builds the frame of `op` for the head at `address` and sends it; ops outside 0-11
  // send nothing.
  void doOP(int address, int op, const CloudTourOpParam& param);

 private:
  bool commandFor(int op, const CloudTourOpParam& param, PelcoCommand* command) const;
  template <uint32_t Size>
  void send(const PelcoFrame<Size>& frame) {
    _sink->sendCommand(frame.bytes, frame.length);
  }

  const int _protocol;
  CPelcoDFrameBuilder _pelcoD;
  CPelcoPFrameBuilder _pelcoP;
  uint32_t _speed;
  IStageLensSink* _sink;
};
