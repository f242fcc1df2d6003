// DirectShow in one include, as hosts write `#include <dshow.h>`.
#pragma once

#include "windows.h"
#include "objbase.h"
#include "oleauto.h"
#include "amvideo.h"
#include "dvdmedia.h"
#include "mmreg.h"
#include "strmif.h"
#include "control.h"
#include "evcode.h"
#include "uuids.h"
#include "vfwmsgs.h"
