// The ffdshow parameter helpers: read and write the settings of a filter made by the
// ffdshow stand-in's entry points (createTffdshow…Filter). They reach the filter
// through its private settings interface (IKcmFFDShowSettings, ffdshow_settings.h);
// a filter that does not answer it gets E_NOINTERFACE, logged.
//
// FFDShowFilterParam is the 760-byte parameter block; ffdshow_settings.h documents every
// byte the stand-in reads. The two types the library writes:
//   17 (video output): byte 4 enabled, bytes 12-24 kept, byte 25 the vertical flip;
//   1 (audio volume): byte 4 enabled, the 16-bit value at byte 12 the master volume in
//     percent (100 leaves the sound as decoded; the library's default, 120, raises it by
//     a fifth, saturating), bytes 16-31 eight per-channel volumes used when byte 5 is set.
// Volumes range from 0 to 1000 percent.
#pragma once

#include "ffdshow_settings.h"

#include "KestroExport.h"
#include "KestroMediaStreamType.h"

// The library's default block of a type: for (AMTYPE_Video, 17) type 17, byte 4 = 1,
// bytes 13-15 and 17-24 = 1, flip 0; for (AMTYPE_Audio, 1) type 1, byte 4 = 1, master
// volume 120. Any other pair: zero but for the type word, S_FALSE. Null block → E_POINTER.
KCM_API HRESULT kcm_defaultFFDShowFilterParam(_AMTYPE at, int type, FFDShowFilterParam* param);
// The block of `type` as the filter holds it (S_FALSE: the filter has none of that type,
// the block is zero but for its type word). Null filter or block → E_FAIL.
KCM_API HRESULT kcm_getFFDShowFilterParam(IUnknown* filter, _AMTYPE at, int type, FFDShowFilterParam* param);
// Applies a block of `type`; its type word must equal `type`. Null filter or block →
// E_FAIL; a filter of the other media kind than `at` → E_INVALIDARG.
KCM_API HRESULT kcm_setFFDShowFilterParam(IUnknown* filter, _AMTYPE at, int type, FFDShowFilterParam* param);
// Presets are ffdshow's own named setting sets; the stand-in has none. S_OK, nothing done.
KCM_API HRESULT kcm_setFFDShowPreset(IUnknown* filter);
// The audio filter's master volume in percent (0-1000), applied from the next sample on.
KCM_API HRESULT kcm_setFFDShowFilterMasterVolume(IUnknown* filter, int value);
// Per-channel volumes in percent (0-1000), in the output's channel order, at most 8;
// `count` 0 stops applying them.
KCM_API HRESULT kcm_setFFDShowFilterVolumeData(IUnknown* filter, const int* volumes, int count);
// Where an on-screen display would start; the stand-in keeps it but draws none.
KCM_API HRESULT kcm_setFFDShowFilterOSDXPos(IUnknown* filter, int x);
// Decoding threads (0: the codec library chooses; 1, the default: none beside the
// streaming thread; at most 16). Takes effect when the filter next starts or connects.
KCM_API HRESULT kcm_setFFDShowFilterMultiThreadDec(IUnknown* filter, int threads);
// The output colour spaces of a video filter, most wanted first ("YV12", "I420", "YUY2",
// "UYVY", "RV32", "RV24" as FourCCs); `count` 0 restores the default order YV12, I420,
// YUY2, RV32, RV24. Takes effect at the filter's next output connection.
KCM_API HRESULT kcm_setFFDShowFilterCSPFccs(IUnknown* filter, const DWORD* fourCCs, int count);
