// Everything a host needs, in one include.
#pragma once

#include "windows.h"

#include "KestroExport.h"
#include "KestroInterfaceIds.h"
#include "KestroUnknownEx.h"
#include "KestroTempldateHelper.h"
#include "KestroThreadLock.h"
#include "KestroIOBuffer.h"
#include "KestroQueueService.h"
#include "KestroLog.h"
