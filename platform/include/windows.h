// The Win32 surface this platform layer provides, in one include as on Windows.
#pragma once

#include "minwindef.h"
#include "windef.h"
#include "winnt.h"
#include "winerror.h"
#include "guiddef.h"
#include "errhandlingapi.h"
#include "handleapi.h"
#include "synchapi.h"
#include "processthreadsapi.h"
#include "ioapiset.h"
#include "interlockedapi.h"
#include "libloaderapi.h"
#include "timeapi.h"
#include "winuser.h"
#include "combaseapi.h"
