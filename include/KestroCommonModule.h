// Everything a host needs, in one include.
#pragma once

#include "windows.h"

#include "KestroExport.h"
#include "KestroInterfaceIds.h"
#include "KestroUnknownEx.h"
#include "KestroTempldateHelper.h"
#include "KestroThreadLock.h"
#include "KestroIOBuffer.h"
#include "KestroArrayTemplate.h"
#include "KestroServiceThread.h"
#include "KestroQueueService.h"
#include "KestroTimerService.h"
#include "KestroDataStorage.h"
#include "KestroBitrateCalculater.h"
#include "KestroReaderWriterLock.h"
#include "KestroLog.h"
#include "KestroCrashReport.h"
#include "KestroCmdLineParser.h"
#include "KestroPixelConvert.h"
#include "KestroFormatHelpers.h"
#include "KestroSystemHelpers.h"
