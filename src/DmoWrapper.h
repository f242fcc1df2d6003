// Hosting a DMO in a DMO wrapper filter, shared by the graph base and the frame-rate
// converter insertion.
#pragma once

#include "strmif.h"

// Queries the wrapper's IDMOWrapperFilter and initialises it with the DMO.
HRESULT initDMOWrapperFilter(IBaseFilter* wrapper, const GUID& clsidDMO, const GUID& catDMO);
