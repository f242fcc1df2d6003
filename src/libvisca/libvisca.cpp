#include "libvisca.h"

#include <stdio.h>

#include <initializer_list>

#include "SourcePath.h"

namespace visca {

namespace {

const uint8_t kTerminator = 0xFF;
const uint8_t kLetterPresetHeader = 0xA1;
const int kSendAttempts = 3;

Packet MakePacket(std::initializer_list<uint8_t> body) {
  Packet packet{};
  packet.length = 1;  // byte 0 is the header's
  for (uint8_t byte : body) packet.bytes[packet.length++] = byte;
  return packet;
}

void ConfigurePort(HANDLE port) {
  // As the camera layer always did: the results are not examined.
  SetupComm(port, 4, 4);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(port, &dcb);
  dcb.fAbortOnError = 1;
  dcb.BaudRate = CBR_9600;
  dcb.ByteSize = 8;
  dcb.StopBits = ONESTOPBIT;
  SetCommState(port, &dcb);
}

}  // namespace

uint32_t openSerial(Interface* iface, const char* deviceName) {
  HANDLE port = CreateFileA(deviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "(%s): cannot open serial device %s\n", KCM_SOURCE_PATH("libvisca"), deviceName);
    iface->port = nullptr;
    return kFailure;
  }
  ConfigurePort(port);
  iface->port = port;
  iface->alternateHeader = 0;
  return kSuccess;
}

uint32_t closeSerial(Interface* iface) {
  if (iface->port == nullptr) return kFailure;
  CloseHandle(iface->port);
  iface->port = nullptr;
  return kSuccess;
}

uint32_t sendPacket(Interface* iface, Packet* packet, uint8_t header) {
  packet->bytes[0] = header;
  packet->bytes[packet->length++] = kTerminator;
  DWORD written = 0;
  for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
    if (attempt > 0) {
      DWORD errors = 0;
      ClearCommError(iface->port, &errors, nullptr);
    }
    if (WriteFile(iface->port, packet->bytes, packet->length, &written, nullptr)) break;
  }
  return written >= packet->length ? kSuccess : kFailure;
}

uint32_t sendPacket(Interface* iface, const Camera& camera, Packet* packet) {
  return sendPacket(iface, packet, static_cast<uint8_t>(0x80 | (camera.address & 0x0F)));
}

uint32_t panTiltDrive(Interface* iface, const Camera& camera, uint8_t panSpeed, uint8_t tiltSpeed, PanDirection pan,
                      TiltDirection tilt) {
  Packet packet = MakePacket({0x01, 0x06, 0x01, panSpeed, tiltSpeed, pan, tilt});
  return sendPacket(iface, camera, &packet);
}

uint32_t zoomDrive(Interface* iface, const Camera& camera, ZoomDirection direction, uint8_t speed) {
  const uint8_t code = direction == ZoomStop ? 0x00 : static_cast<uint8_t>(direction | (speed & 0x07));
  Packet packet = MakePacket({0x01, 0x04, 0x07, code});
  return sendPacket(iface, camera, &packet);
}

uint32_t focusDrive(Interface* iface, const Camera& camera, FocusDirection direction, uint8_t speed) {
  const uint8_t code = direction == FocusStop ? 0x00 : static_cast<uint8_t>(direction | (speed & 0x07));
  Packet packet = MakePacket({0x01, 0x04, 0x08, code});
  return sendPacket(iface, camera, &packet);
}

uint32_t memory(Interface* iface, const Camera& camera, MemoryAction action, uint8_t channel) {
  Packet packet = MakePacket({0x01, 0x04, 0x3F, action, channel});
  return sendPacket(iface, camera, &packet);
}

uint32_t letterPreset(Interface* iface, const Camera& camera, uint8_t letter) {
  const uint8_t code = letter == 'P' ? 0x14 : 0x15;
  Packet packet = MakePacket({code, 0x00, 0x00, 0x00, 0x00, 0x00, static_cast<uint8_t>(camera.address & 0x0F)});
  return sendPacket(iface, &packet, kLetterPresetHeader);
}

}  // namespace visca
