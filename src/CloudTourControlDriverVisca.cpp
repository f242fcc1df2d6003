#include "CloudTourControlDriverVisca.h"

#include <QDebug>
#include <QString>

#include "KestroLog.h"
#include "SourcePath.h"

namespace {

const uint8_t kPresetLetterP = 0x50;
const uint8_t kPresetLetterQ = 0x51;

// ((level + 1) * 3) mod 256: levels 0-6 give 3 to 21.
uint8_t SpeedByte(int level) { return static_cast<uint8_t>((static_cast<uint32_t>(level) + 1u) * 3u); }

}  // namespace

CCloudTourControlDriverVisca::CCloudTourControlDriverVisca()
    : _interface{}, _camera{1}, _focusMoving(0), _zoomMoving(0), _panTiltMoving(0) {}

CCloudTourControlDriverVisca::~CCloudTourControlDriverVisca() { close(); }

long CCloudTourControlDriverVisca::open(std::wstring comm, int addr) {
  const QByteArray name = QString::fromStdWString(comm).toLocal8Bit();
  if (visca::openSerial(&_interface, name.constData()) != visca::kSuccess) {
    kcm_logExpression(KCM_SOURCE_PATH("CloudTourControl"), __LINE__, "\"hr = E_FAIL\"", KcmLogCritical, true);
    close();
    return E_FAIL;
  }
  _camera.address = addr;
  _interface.alternateHeader = static_cast<uint8_t>(addr);
  return S_OK;
}

long CCloudTourControlDriverVisca::doOP(int op, void* param) {
  if (param == nullptr) {
    qDebug() << "CCloudTourControlDriverVisca::doOP: no CloudTourOpParam, op" << op << "not sent";
    return S_OK;
  }
  const CloudTourOpParam& opParam = *static_cast<const CloudTourOpParam*>(param);
  const uint8_t speed = SpeedByte(opParam.speed);
  const uint8_t preset = static_cast<uint8_t>(opParam.preset);
  switch (op) {
    case CloudTourOpPanLeft:
      visca::panTiltDrive(&_interface, _camera, speed, speed, visca::PanLeft, visca::TiltStop);
      _panTiltMoving = 1;
      break;
    case CloudTourOpPanRight:
      visca::panTiltDrive(&_interface, _camera, speed, speed, visca::PanRight, visca::TiltStop);
      _panTiltMoving = 1;
      break;
    case CloudTourOpTiltUp:
      visca::panTiltDrive(&_interface, _camera, speed, speed, visca::PanStop, visca::TiltUp);
      _panTiltMoving = 1;
      break;
    case CloudTourOpTiltDown:
      visca::panTiltDrive(&_interface, _camera, speed, speed, visca::PanStop, visca::TiltDown);
      _panTiltMoving = 1;
      break;
    case CloudTourOpZoomWide:
      visca::zoomDrive(&_interface, _camera, visca::ZoomWide, speed);
      _zoomMoving = 1;
      break;
    case CloudTourOpZoomTele:
      visca::zoomDrive(&_interface, _camera, visca::ZoomTele, speed);
      _zoomMoving = 1;
      break;
    case CloudTourOpFocus1:
      visca::focusDrive(&_interface, _camera, visca::FocusNear, speed);
      _focusMoving = 1;
      break;
    case CloudTourOpFocus2:
      visca::focusDrive(&_interface, _camera, visca::FocusFar, speed);
      _focusMoving = 1;
      break;
    case CloudTourOpStop:
      stopMoving(speed);
      break;
    case CloudTourOpStorePreset:
      visca::memory(&_interface, _camera, visca::MemorySet, preset);
      break;
    case CloudTourOpGotoPreset:
      if (preset == kPresetLetterP || preset == kPresetLetterQ) {
        visca::letterPreset(&_interface, _camera, preset);
      } else {
        visca::memory(&_interface, _camera, visca::MemoryRecall, preset);
      }
      break;
    case CloudTourOpClearPreset:
      visca::memory(&_interface, _camera, visca::MemoryReset, preset);
      break;
    default:
      break;
  }
  return S_OK;
}

void CCloudTourControlDriverVisca::stopMoving(uint8_t speed) {
  if (_focusMoving) {
    visca::focusDrive(&_interface, _camera, visca::FocusStop, 0);
    _focusMoving = 0;
  }
  if (_zoomMoving) {
    visca::zoomDrive(&_interface, _camera, visca::ZoomStop, 0);
    _zoomMoving = 0;
  }
  if (_panTiltMoving) {
    visca::panTiltDrive(&_interface, _camera, speed, speed, visca::PanStop, visca::TiltStop);
    _panTiltMoving = 0;
  }
}

long CCloudTourControlDriverVisca::close() {
  return static_cast<long>(visca::closeSerial(&_interface));
}
