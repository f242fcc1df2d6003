// DCB <-> termios.
#include "SerialPortSettings.h"

#include <sys/ioctl.h>

#include <iterator>

#include "winerror.h"

namespace kcm::serial {

namespace {

struct BaudRate {
  DWORD rate;
  speed_t speed;
};

const BaudRate kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedForRate(DWORD rate, speed_t* speed) {
  for (const BaudRate& entry : kBaudRates) {
    if (entry.rate == rate) {
      *speed = entry.speed;
      return true;
    }
  }
  return false;
}

DWORD RateForSpeed(speed_t speed) {
  for (const BaudRate& entry : kBaudRates) {
    if (entry.speed == speed) return entry.rate;
  }
  return CBR_9600;
}

BYTE ByteSizeOf(tcflag_t cflag) {
  switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
  }
}

tcflag_t CsizeOf(BYTE byteSize) {
  switch (byteSize) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

BYTE ParityOf(tcflag_t cflag) {
  if (!(cflag & PARENB)) return NOPARITY;
  const bool odd = (cflag & PARODD) != 0;
  if (cflag & CMSPAR) return odd ? MARKPARITY : SPACEPARITY;
  return odd ? ODDPARITY : EVENPARITY;
}

tcflag_t ParityFlags(BYTE parity) {
  switch (parity) {
    case ODDPARITY: return PARENB | PARODD;
    case EVENPARITY: return PARENB;
    case MARKPARITY: return PARENB | PARODD | CMSPAR;
    case SPACEPARITY: return PARENB | CMSPAR;
    default: return 0;
  }
}

void SetModemLine(int fd, int line, bool raised) {
  // A pseudo-terminal refuses modem-line calls; there is nothing to raise there.
  (void)ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &line);
}

}  // namespace

DCB DcbFromTermios(const termios& settings) {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = RateForSpeed(cfgetospeed(&settings));
  dcb.fBinary = 1;
  dcb.fParity = (settings.c_iflag & INPCK) ? 1 : 0;
  const bool hardwareFlow = (settings.c_cflag & CRTSCTS) != 0;
  dcb.fOutxCtsFlow = hardwareFlow ? 1 : 0;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;  // opening a tty raises DTR
  dcb.fOutX = (settings.c_iflag & IXON) ? 1 : 0;
  dcb.fInX = (settings.c_iflag & IXOFF) ? 1 : 0;
  dcb.fRtsControl = hardwareFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = ByteSizeOf(settings.c_cflag);
  dcb.Parity = ParityOf(settings.c_cflag);
  dcb.StopBits = (settings.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
  dcb.XonChar = static_cast<char>(settings.c_cc[VSTART]);
  dcb.XoffChar = static_cast<char>(settings.c_cc[VSTOP]);
  return dcb;
}

bool ApplyDcbToTermios(const DCB& dcb, termios* settings, DWORD* error) {
  speed_t speed = B9600;
  const bool valid = SpeedForRate(dcb.BaudRate, &speed) && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 &&
                     dcb.Parity <= SPACEPARITY && dcb.StopBits <= TWOSTOPBITS;
  if (!valid) {
    *error = ERROR_INVALID_PARAMETER;
    return false;
  }
  cfsetispeed(settings, speed);
  cfsetospeed(settings, speed);
  settings->c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  settings->c_cflag |= CsizeOf(dcb.ByteSize) | ParityFlags(dcb.Parity) | CLOCAL | CREAD;
  if (dcb.StopBits != ONESTOPBIT) settings->c_cflag |= CSTOPB;
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) settings->c_cflag |= CRTSCTS;
  settings->c_iflag &= ~(INPCK | IXON | IXOFF);
  if (dcb.fParity) settings->c_iflag |= INPCK;
  if (dcb.fOutX) settings->c_iflag |= IXON;
  if (dcb.fInX) settings->c_iflag |= IXOFF;
  settings->c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  settings->c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  return true;
}

void ApplyDcbToModemLines(int fd, const DCB& dcb) {
  SetModemLine(fd, TIOCM_DTR, dcb.fDtrControl != DTR_CONTROL_DISABLE);
  if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE) SetModemLine(fd, TIOCM_RTS, dcb.fRtsControl != RTS_CONTROL_DISABLE);
}

}  // namespace kcm::serial
