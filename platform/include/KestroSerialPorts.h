// Which device a Windows serial-port name opens.
//
// "\\.\COMn" (and the short form "COMn"; any case of "com") names port n >= 1. The
// device comes from, in this order:
//   1. the environment variable KCM_COM<n>, e.g. KCM_COM3=/dev/ttyUSB0;
//   2. the settings file "KestroCommonModule.xml" beside the libraries
//      (beside libKestroPlatform.so, which is installed beside libKestroCommonModule.so):
//        <KestroCommonModule>
//          <serial>
//            <port number="3" device="/dev/ttyUSB0"/>
//          </serial>
//        </KestroCommonModule>
//      (any root element; every <port> inside a <serial> element counts, the last one
//      for a number wins; the five XML entities are understood in attribute values);
//   3. /dev/ttyS<n-1>.
// The environment and the file are read at every open, so a change applies to the next
// CreateFile.
#pragma once

#ifdef __cplusplus
#include <string>

#include "KestroPlatformExport.h"

// The device path for a COM port name, or an empty string for a name that names no COM port.
KCM_PLATFORM_API std::string KcmSerialDevicePath(const std::string& portName);
#endif
