// CDShowGraphDeviceBase: the short-lived graph the exported device functions answer a
// host's questions with. Nothing beyond the graph base.
#pragma once

#include "KestroDShowGraphBase.h"

class CDShowGraphDeviceBase : public CDShowGraphBase {
 public:
  // Builds a graph with `device` (one reference in *device, added to the graph under its
  // friendly name); each failure logged, a failed search with `createExpression`.
  HRESULT openDevice(int isVideo, wchar_t* friendlyName, wchar_t* displayName, const char* createExpression,
                     IBaseFilter** device);
};
