// DCB <-> termios: the settings of a serial port as Windows describes them and as the
// tty driver holds them.
#pragma once

#include <termios.h>

#include "minwindef.h"
#include "winbase.h"

namespace kcm::serial {

// The DCB a freshly opened port reports: the termios fields, Windows defaults for the rest.
DCB DcbFromTermios(const termios& settings);

// Writes the fields of `dcb` that termios carries into `settings`. False with
// ERROR_INVALID_PARAMETER in *error for a value the line cannot take.
bool ApplyDcbToTermios(const DCB& dcb, termios* settings, DWORD* error);

// Raises or drops DTR and RTS as the DCB asks. Lines a device does not have (a
// pseudo-terminal has none) are left alone.
void ApplyDcbToModemLines(int fd, const DCB& dcb);

}  // namespace kcm::serial
