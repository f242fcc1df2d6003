// The DirectShow base classes in one include, as filters written for Windows include
// <streams.h>.
#pragma once

#include "dshow.h"

#include "BaseClassesSupport.h"
#include "CUnknown.h"
#include "CCritSec.h"
#include "CMediaType.h"
#include "CMediaSample.h"
#include "CBaseAllocator.h"
#include "CMemAllocator.h"
#include "CBaseFilter.h"
#include "CBasePin.h"
#include "CBaseOutputPin.h"
#include "CBaseInputPin.h"
#include "CEnumPins.h"
#include "CEnumMediaTypes.h"
