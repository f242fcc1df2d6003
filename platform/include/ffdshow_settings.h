// The ffdshow stand-in (libffdshow.so, loaded as "ffdshow.dll"): its four creation
// entry points, the 760-byte parameter blocks its filters read, and the private
// settings interface every one of its filters answers on QueryInterface.
//
// Entry points (exported with C names; fetch them with GetProcAddress):
//   createTffdshowVideoDecodecFilter  compressed video → YV12, I420, YUY2, RGB32, RGB24
//   createTffdshowAudioDecodecFilter  AAC, MPEG audio layers 1-3, PCM → 16-bit PCM
//   createTffdshowVideoRawFilter      raw YUV/RGB → raw YUV/RGB (colour space, flip)
//   createTffdshowAudioRawFilter      PCM → 16-bit PCM with the volume applied
// Each is called as (slot, outer, phr, flags): it leaves a new filter holding one
// reference in *slot and S_OK in *phr, or null in *slot and the failure in *phr.
// `outer` must be null (no aggregation: CLASS_E_NOAGGREGATION); `flags` is 1 as
// callers pass it and is otherwise not read.
//
// Output pictures follow DirectShow's conventions: YUV rows top-down, RGB rows
// bottom-up for a positive biHeight (top-down for a negative one on input, or when a
// downstream pin asks for it). The flip setting mirrors the picture vertically on top
// of that.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "strmif.h"

// Parameter types the stand-in acts on. Blocks of any other type are kept as given and
// handed back by GetParam, but change nothing.
#define FFDSHOW_PARAM_AUDIO_VOLUME 1
#define FFDSHOW_PARAM_VIDEO_OUTPUT 17
#define FFDSHOW_PARAM_BLOCK_SIZE 760
#define FFDSHOW_MAX_CHANNEL_VOLUMES 8

#pragma pack(push, 1)
// Type 17, the video output block. A filter starts with enabled 1 and flip 0.
struct FFDShowVideoParam {
  int32_t type;                // byte 0: 17
  uint8_t enabled;             // byte 4: 0 turns the block's processing (the flip) off
  uint8_t reserved5[7];        // bytes 5-11
  uint8_t outputOptions[13];   // bytes 12-24: kept and handed back, not acted upon
  uint8_t flip;                // byte 25: nonzero mirrors the output picture vertically
  uint8_t reserved26[734];     // bytes 26-759
};

// Type 1, the audio volume block. Volumes are percentages of the decoded level: 100
// leaves samples unchanged, 120 multiplies them by 1.2 (saturating at the 16-bit
// limits), 0 mutes. A filter starts with enabled 0 and a master volume of 100.
struct FFDShowAudioParam {
  int32_t type;                // byte 0: 1
  uint8_t enabled;             // byte 4: nonzero applies the volumes below
  uint8_t useChannelVolumes;   // byte 5: nonzero applies channelVolumes too
  uint8_t reserved6[6];        // bytes 6-11
  int16_t masterVolume;        // bytes 12-13: percent, 0 to 1000
  uint8_t reserved14[2];       // bytes 14-15
  int16_t channelVolumes[FFDSHOW_MAX_CHANNEL_VOLUMES];  // bytes 16-31: percent per channel
  uint8_t reserved32[728];     // bytes 32-759
};

// One parameter block; the first 32-bit word is its type whichever view is used.
union FFDShowFilterParam {
  FFDShowVideoParam video;
  FFDShowAudioParam audio;
  uint8_t bytes[FFDSHOW_PARAM_BLOCK_SIZE];
};
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(FFDShowFilterParam) == FFDSHOW_PARAM_BLOCK_SIZE, "FFDShowFilterParam is 760 bytes");
static_assert(offsetof(FFDShowVideoParam, outputOptions) == 12 && offsetof(FFDShowVideoParam, flip) == 25,
              "video block layout");
static_assert(offsetof(FFDShowAudioParam, masterVolume) == 12 && offsetof(FFDShowAudioParam, channelVolumes) == 16,
              "audio block layout");
#endif

// {049351F9-AA61-4032-B61F-AC9522B56CAB}
DEFINE_GUID(IID_IKcmFFDShowSettings, 0x049351F9, 0xAA61, 0x4032, 0xB6, 0x1F, 0xAC, 0x95, 0x22, 0xB5, 0x6C, 0xAB);

// Answered by every filter of the stand-in. Settings may change at any time; those that
// shape the connection (output colour spaces, decoder threads) take effect at the next
// connection or start.
struct IKcmFFDShowSettings : public IUnknown {
  // 1 for the video filters, 2 for the audio filters.
  STDMETHOD(GetMediaKind)(int* mediaKind) PURE;
  // Applies a block of `type` (its type word must equal `type`): E_POINTER for null,
  // E_INVALIDARG for a type word that disagrees, a type 1 block on a video filter or a
  // type 17 block on an audio filter, or a master volume outside 0-1000.
  STDMETHOD(SetParam)(int type, const FFDShowFilterParam* param) PURE;
  // The block of `type` as the filter holds it now; S_FALSE and a block that is zero
  // but for its type word when the filter has none of that type.
  STDMETHOD(GetParam)(int type, FFDShowFilterParam* param) PURE;
  // The master volume in percent (0-1000), applied at once; audio filters only.
  STDMETHOD(SetMasterVolume)(int percent) PURE;
  // Per-channel volumes in percent (0-1000), channel order of the output; at most 8.
  // count 0 stops applying them. Audio filters only.
  STDMETHOD(SetChannelVolumes)(const int* percents, int count) PURE;
  // Where an on-screen display would start. The stand-in draws none; it keeps the value.
  STDMETHOD(SetOSDXPos)(int x) PURE;
  STDMETHOD(GetOSDXPos)(int* x) PURE;
  // Decoding threads: 0 lets the codec library choose, 1 (the default) decodes on the
  // streaming thread alone, at most 16.
  STDMETHOD(SetDecoderThreads)(int count) PURE;
  STDMETHOD(GetDecoderThreads)(int* count) PURE;
  // The output colour spaces, most wanted first, as FourCCs: "YV12", "I420", "YUY2",
  // "UYVY", "RV32", "RV24" (the canonical names of RGB32 and RGB24). count 0 restores
  // the default list; an unknown code → E_INVALIDARG. Video filters only.
  STDMETHOD(SetOutputColorSpaces)(const DWORD* fourCCs, int count) PURE;
  // The list in use: its length in *count, the codes in fourCCs when capacity allows
  // (else S_FALSE).
  STDMETHOD(GetOutputColorSpaces)(DWORD* fourCCs, int capacity, int* count) PURE;
};

// The signature of the four entry points.
typedef void(WINAPI* PFN_createTffdshowFilter)(IBaseFilter** filter, IUnknown* outer, HRESULT* phr, int flags);
