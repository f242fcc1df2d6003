// COM port names to device paths (the rules stand in KestroSerialPorts.h).
#pragma once

#include <string>

namespace kcm::serial {

// n for "\\.\COMn" or "COMn" (n >= 1, any case of "com"); 0 for any other name.
int ComPortNumber(const std::string& portName);

// The device port `number` opens: KCM_COM<n>, then the settings file, then /dev/ttyS<n-1>.
std::string DevicePathForPort(int number);

// The device of `number` in the text of a settings file; empty when the text names none.
std::string DeviceFromSettings(const std::string& xml, int number);

}  // namespace kcm::serial
