// A small VISCA command layer: packets to a camera or head on a synchronous Win32 serial
// handle. Only the commands the cloud tour driver needs are built; replies are not read.
//
// A packet is built in a 32-byte buffer: byte 0 is left for the header, the body follows
// from byte 1, and sending writes the header (0x80 | camera address, or an explicit one)
// and the terminator 0xFF.
#pragma once

#include <stdint.h>

#include "windows.h"

namespace visca {

const uint32_t kSuccess = 0x00;
const uint32_t kFailure = 0xFF;

struct Interface {
  HANDLE port;                // null while closed
  uint8_t alternateHeader;    // the head address, kept for the letter-preset packets
  uint8_t reply[32];          // room for a reply; nothing here reads one
  uint32_t replyBytes;
};

struct Camera {
  int address;  // 1 to 7 on a VISCA bus
};

struct Packet {
  uint8_t bytes[32];
  uint32_t length;
};

enum PanDirection : uint8_t { PanLeft = 0x01, PanRight = 0x02, PanStop = 0x03 };
enum TiltDirection : uint8_t { TiltUp = 0x01, TiltDown = 0x02, TiltStop = 0x03 };
enum ZoomDirection : uint8_t { ZoomStop = 0x00, ZoomTele = 0x20, ZoomWide = 0x30 };
enum FocusDirection : uint8_t { FocusStop = 0x00, FocusFar = 0x20, FocusNear = 0x30 };
enum MemoryAction : uint8_t { MemoryReset = 0x00, MemorySet = 0x01, MemoryRecall = 0x02 };

// Opens `deviceName` ("\\.\COMn") exclusively at 9600 8 data bits, one stop bit, the
// parity the port had, abort on error. On failure prints "(src\libvisca): cannot open
// serial device <name>" to standard error and answers kFailure.
uint32_t openSerial(Interface* iface, const char* deviceName);
// kFailure when no port is open.
uint32_t closeSerial(Interface* iface);

// Writes the packet with `header` in byte 0 and the terminator appended, trying up to
// three times (clearing the port's errors before a retry). kSuccess when the last try
// wrote the whole packet.
uint32_t sendPacket(Interface* iface, Packet* packet, uint8_t header);
// The same with the camera's header, 0x80 | address.
uint32_t sendPacket(Interface* iface, const Camera& camera, Packet* packet);

// Commands. Speeds: the zoom and focus speeds use their low three bits.
uint32_t panTiltDrive(Interface* iface, const Camera& camera, uint8_t panSpeed, uint8_t tiltSpeed, PanDirection pan,
                      TiltDirection tilt);
uint32_t zoomDrive(Interface* iface, const Camera& camera, ZoomDirection direction, uint8_t speed);
uint32_t focusDrive(Interface* iface, const Camera& camera, FocusDirection direction, uint8_t speed);
uint32_t memory(Interface* iface, const Camera& camera, MemoryAction action, uint8_t channel);
// The letter presets 'P' (0x50) and 'Q' (0x51): A1 14|15 00 00 00 00 00 address FF.
uint32_t letterPreset(Interface* iface, const Camera& camera, uint8_t letter);

}  // namespace visca
