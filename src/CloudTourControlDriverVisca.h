// The VISCA driver: cloud tour operations as VISCA packets on a synchronous serial port.
//
// Moves set a flag per kind (focus, zoom, pan-tilt); stop (op 8) sends a stop for each
// kind that moves, and the flags outlive close, since the control opens and closes the
// driver around every operation.
#pragma once

#include "KestroCloudTourControl.h"
#include "libvisca/libvisca.h"

class CCloudTourControlDriverVisca final : public ICloudTourControlDriver {
 public:
  CCloudTourControlDriverVisca();
  ~CCloudTourControlDriverVisca();

  // E_FAIL (logged) when the port cannot be opened.
  long open(std::wstring comm, int addr) override;
  // S_OK always; the send results are not looked at. A null `param` or an op outside
  // 0-11 sends nothing.
  long doOP(int op, void* param) override;
  // 0 when a port was closed, 255 when none was open.
  long close() override;

 private:
  void stopMoving(uint8_t speed);

  visca::Interface _interface;
  visca::Camera _camera;
  uint8_t _focusMoving;
  uint8_t _zoomMoving;
  uint8_t _panTiltMoving;
};
