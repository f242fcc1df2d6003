// The platform's signal-processing DMOs and their properties.
//
// The video frame-rate converter (CLSID_CFrameRateConvertDmo, category
// DMOCATEGORY_VIDEO_EFFECT, hosted by the DMO wrapper filter) takes uncompressed video
// of one FORMAT_VideoInfo type and gives the same type at another frame duration,
// repeating or dropping frames by their time stamps. Its IPropertyStore holds the two
// rates as VT_UI8 ratios, frames per second = high 32 bits / low 32 bits; they start
// from the types' AvgTimePerFrame (10,000,000 : duration).
#pragma once

#include "propsys.h"
#include "uuids.h"

DEFINE_PROPERTYKEY(MFPKEY_CONV_INPUTFRAMERATE, 0x52F8D29B, 0x2E76, 0x43F7, 0xA4, 0xF6, 0x17, 0x17, 0x90, 0x4E, 0x35,
                   0xDF, 1);
DEFINE_PROPERTYKEY(MFPKEY_CONV_OUTPUTFRAMERATE, 0x52F8D29B, 0x2E76, 0x43F7, 0xA4, 0xF6, 0x17, 0x17, 0x90, 0x4E, 0x35,
                   0xDF, 2);
