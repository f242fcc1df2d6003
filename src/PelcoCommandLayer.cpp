#include "PelcoCommandLayer.h"

#include <algorithm>

namespace {

const uint8_t kPresetLetterP = 80;
const uint8_t kPresetLetterQ = 81;

PelcoCommand Motion(uint8_t command2, uint32_t speed, uint32_t maximum) {
  const uint8_t clamped = static_cast<uint8_t>(std::min(speed, maximum));
  return PelcoCommand{0x00, command2, clamped, clamped};
}

PelcoCommand Preset(uint8_t command2, uint8_t preset) { return PelcoCommand{0x00, command2, 0x00, preset}; }

PelcoCommand RawCommand(const uint8_t* area) { return PelcoCommand{area[0], area[1], area[2], area[3]}; }

}  // namespace

const PelcoFrame<7>& CPelcoDFrameBuilder::build(int address, const PelcoCommand& command) {
  const uint8_t wireAddress = static_cast<uint8_t>(address);
  _frame.length = 7;
  _frame.bytes[0] = 0xFF;
  _frame.bytes[1] = wireAddress;
  _frame.bytes[2] = command.command1;
  _frame.bytes[3] = command.command2;
  _frame.bytes[4] = command.data1;
  _frame.bytes[5] = command.data2;
  _frame.bytes[6] = static_cast<uint8_t>(wireAddress + command.command1 + command.command2 + command.data1 +
                                         command.data2);
  return _frame;
}

const PelcoFrame<8>& CPelcoPFrameBuilder::build(int address, const PelcoCommand& command) {
  _frame.length = 8;
  _frame.bytes[0] = 0xA0;
  _frame.bytes[1] = static_cast<uint8_t>(address - 1);
  _frame.bytes[2] = command.command1;
  _frame.bytes[3] = command.command2;
  _frame.bytes[4] = command.data1;
  _frame.bytes[5] = command.data2;
  _frame.bytes[6] = 0xAF;
  uint8_t check = 0;
  for (int i = 0; i < 7; ++i) check ^= _frame.bytes[i];
  _frame.bytes[7] = check;
  return _frame;
}

CPelcoCommandLayer::CPelcoCommandLayer(int protocol, IStageLensSink* sink)
    : _protocol(protocol), _speed(0), _sink(sink) {}

void CPelcoCommandLayer::setSpeedLevel(int level) {
  // 32-bit wrap-around on the product, as the original arithmetic had; only the
  // division is signed.
  const int32_t product = static_cast<int32_t>(static_cast<uint32_t>(level) * 63u);
  _speed = static_cast<uint32_t>(product / 6);
}

bool CPelcoCommandLayer::commandFor(int op, const CloudTourOpParam& param, PelcoCommand* command) const {
  const bool pelcoD = _protocol == ProtocolPelcoD;
  const uint32_t panMax = pelcoD ? CPelcoDFrameBuilder::kPanSpeedMax : CPelcoPFrameBuilder::kPanSpeedMax;
  const uint32_t tiltMax = pelcoD ? CPelcoDFrameBuilder::kTiltSpeedMax : CPelcoPFrameBuilder::kTiltSpeedMax;
  const uint8_t preset = static_cast<uint8_t>(param.preset);
  switch (op) {
    case CloudTourOpPanLeft: *command = Motion(0x04, _speed, panMax); return true;
    case CloudTourOpPanRight: *command = Motion(0x02, _speed, panMax); return true;
    case CloudTourOpTiltUp: *command = Motion(0x08, _speed, tiltMax); return true;
    case CloudTourOpTiltDown: *command = Motion(0x10, _speed, tiltMax); return true;
    case CloudTourOpZoomWide: *command = PelcoCommand{0x00, 0x40, 0x00, 0x00}; return true;
    case CloudTourOpZoomTele: *command = PelcoCommand{0x00, 0x20, 0x00, 0x00}; return true;
    case CloudTourOpFocus1: *command = pelcoD ? PelcoCommand{0x00, 0x80, 0, 0} : PelcoCommand{0x01, 0x00, 0, 0}; return true;
    case CloudTourOpFocus2: *command = pelcoD ? PelcoCommand{0x01, 0x00, 0, 0} : PelcoCommand{0x02, 0x00, 0, 0}; return true;
    case CloudTourOpStop: *command = PelcoCommand{0x00, 0x00, 0x00, 0x00}; return true;
    case CloudTourOpStorePreset: *command = Preset(0x03, preset); return true;
    case CloudTourOpGotoPreset: *command = Preset(0x07, preset); return true;
    case CloudTourOpClearPreset: *command = Preset(0x05, preset); return true;
    default: return false;
  }
}

void CPelcoCommandLayer::doOP(int address, int op, const CloudTourOpParam& param) {
  const uint8_t preset = static_cast<uint8_t>(param.preset);
  if (op == CloudTourOpGotoPreset && (preset == kPresetLetterP || preset == kPresetLetterQ)) {
    // The letter presets carry the host's own command, always as a Pelco-D frame.
    const uint8_t* area = preset == kPresetLetterP ? param.command1 : param.command2;
    send(_pelcoD.build(address, RawCommand(area)));
    return;
  }
  PelcoCommand command{};
  if (!commandFor(op, param, &command)) return;
  if (_protocol == ProtocolPelcoD) {
    send(_pelcoD.build(address, command));
  } else {
    send(_pelcoP.build(address, command));
  }
}
