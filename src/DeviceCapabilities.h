// The fixed tables of well-known capture sizes, frame rates, sample rates and channel
// counts the capability lists are made of; row 0 of each is the default entry (value 0).
#pragma once

#include "KestroDeviceCapabilities.h"

extern const tagVideoSizeItem kcm_videoSizeTable[37];
extern const tagVideoFpsItem kcm_videoFpsTable[10];
extern const tagAudioSampleRateItem kcm_audioSampleRateTable[6];
extern const tagAudioChannelItem kcm_audioChannelTable[3];
