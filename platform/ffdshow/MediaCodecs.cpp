#include "MediaCodecs.h"

#include <stdlib.h>

#include "dvdmedia.h"
#include "mmreg.h"
#include "uuids.h"
#include "PictureLayout.h"

namespace kcm::ffdshow {

namespace {

constexpr int kMaxPictureSide = 16384;
constexpr ULONG kMaxExtraData = 1 << 20;

// Subtypes of the pipeline that have no SDK name here.
// "mp4a" as the pipeline's FourCC-to-subtype mapping writes it.
DEFINE_GUID(kSubtypeMp4a, 0x00000006, 0x0CEA, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71);
// Raw AAC as some splitters write it (the FourCC base GUID with B000).
DEFINE_GUID(kSubtypeRawAacB000, 0x000000FF, 0x0000, 0x0010, 0xB0, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71);

constexpr WORD kWaveFormatMpeg = 0x0050;
constexpr WORD kWaveFormatMpegLayer3 = 0x0055;
constexpr WORD kWaveFormatRawAac = 0x00FF;
constexpr WORD kWaveFormatHeAac = 0x1610;
constexpr WORD kWaveFormatAc3 = 0x2000;

struct FourCCCodec {
  char name[5];
  AVCodecID codec;
};

const FourCCCodec kVideoFourCCs[] = {
    {"H264", AV_CODEC_ID_H264}, {"h264", AV_CODEC_ID_H264}, {"X264", AV_CODEC_ID_H264}, {"x264", AV_CODEC_ID_H264},
    {"AVC1", AV_CODEC_ID_H264}, {"avc1", AV_CODEC_ID_H264}, {"VSSH", AV_CODEC_ID_H264}, {"DAVC", AV_CODEC_ID_H264},
    {"HEVC", AV_CODEC_ID_HEVC}, {"hevc", AV_CODEC_ID_HEVC}, {"H265", AV_CODEC_ID_HEVC}, {"hvc1", AV_CODEC_ID_HEVC},
    {"hev1", AV_CODEC_ID_HEVC},
    {"mp4v", AV_CODEC_ID_MPEG4}, {"MP4V", AV_CODEC_ID_MPEG4}, {"mpg4", AV_CODEC_ID_MPEG4}, {"MPG4", AV_CODEC_ID_MPEG4},
    {"XVID", AV_CODEC_ID_MPEG4}, {"xvid", AV_CODEC_ID_MPEG4}, {"XviD", AV_CODEC_ID_MPEG4}, {"DIVX", AV_CODEC_ID_MPEG4},
    {"divx", AV_CODEC_ID_MPEG4}, {"DX50", AV_CODEC_ID_MPEG4}, {"dx50", AV_CODEC_ID_MPEG4}, {"FMP4", AV_CODEC_ID_MPEG4},
    {"fmp4", AV_CODEC_ID_MPEG4}, {"3IV2", AV_CODEC_ID_MPEG4}, {"3iv2", AV_CODEC_ID_MPEG4}, {"M4S2", AV_CODEC_ID_MPEG4},
    {"m4s2", AV_CODEC_ID_MPEG4}, {"MP4S", AV_CODEC_ID_MPEG4}, {"mp4s", AV_CODEC_ID_MPEG4}, {"DIV4", AV_CODEC_ID_MPEG4},
    {"div4", AV_CODEC_ID_MPEG4}, {"DIV5", AV_CODEC_ID_MPEG4}, {"div5", AV_CODEC_ID_MPEG4}, {"DIV6", AV_CODEC_ID_MPEG4},
    {"div6", AV_CODEC_ID_MPEG4},
    {"DIV3", AV_CODEC_ID_MSMPEG4V3}, {"div3", AV_CODEC_ID_MSMPEG4V3}, {"MP43", AV_CODEC_ID_MSMPEG4V3},
    {"mp43", AV_CODEC_ID_MSMPEG4V3}, {"MPG3", AV_CODEC_ID_MSMPEG4V3}, {"mpg3", AV_CODEC_ID_MSMPEG4V3},
    {"AP41", AV_CODEC_ID_MSMPEG4V3}, {"3IV1", AV_CODEC_ID_MSMPEG4V3},
    {"MP42", AV_CODEC_ID_MSMPEG4V2}, {"mp42", AV_CODEC_ID_MSMPEG4V2}, {"DIV2", AV_CODEC_ID_MSMPEG4V2},
    {"div2", AV_CODEC_ID_MSMPEG4V2},
    {"MJPG", AV_CODEC_ID_MJPEG}, {"mjpg", AV_CODEC_ID_MJPEG}, {"AVRn", AV_CODEC_ID_MJPEG}, {"dmb1", AV_CODEC_ID_MJPEG},
    {"H263", AV_CODEC_ID_H263}, {"h263", AV_CODEC_ID_H263}, {"U263", AV_CODEC_ID_H263}, {"s263", AV_CODEC_ID_H263},
    {"S263", AV_CODEC_ID_H263}, {"I263", AV_CODEC_ID_H263I}, {"i263", AV_CODEC_ID_H263I},
    {"H261", AV_CODEC_ID_H261}, {"h261", AV_CODEC_ID_H261},
    {"WMV1", AV_CODEC_ID_WMV1}, {"wmv1", AV_CODEC_ID_WMV1}, {"WMV2", AV_CODEC_ID_WMV2}, {"wmv2", AV_CODEC_ID_WMV2},
    {"WMV3", AV_CODEC_ID_WMV3}, {"wmv3", AV_CODEC_ID_WMV3}, {"WVC1", AV_CODEC_ID_VC1}, {"wvc1", AV_CODEC_ID_VC1},
    {"mp2v", AV_CODEC_ID_MPEG2VIDEO}, {"MP2V", AV_CODEC_ID_MPEG2VIDEO}, {"MPG2", AV_CODEC_ID_MPEG2VIDEO},
    {"mpg2", AV_CODEC_ID_MPEG2VIDEO}, {"mp1v", AV_CODEC_ID_MPEG1VIDEO}, {"MPG1", AV_CODEC_ID_MPEG1VIDEO},
    {"mpg1", AV_CODEC_ID_MPEG1VIDEO},
    {"dvsd", AV_CODEC_ID_DVVIDEO}, {"dvsl", AV_CODEC_ID_DVVIDEO}, {"dvhd", AV_CODEC_ID_DVVIDEO},
    {"rv10", AV_CODEC_ID_RV10}, {"RV10", AV_CODEC_ID_RV10}, {"rv20", AV_CODEC_ID_RV20}, {"RV20", AV_CODEC_ID_RV20},
    {"VP80", AV_CODEC_ID_VP8}, {"VP90", AV_CODEC_ID_VP9}, {"FLV1", AV_CODEC_ID_FLV1},
};

bool IsFourCCSubtype(REFGUID subtype) {
  const GUID base = KcmFourCCSubtype(0);
  return memcmp(&subtype.Data2, &base.Data2, sizeof(GUID) - sizeof(subtype.Data1)) == 0;
}

const BITMAPINFOHEADER* BitmapHeaderOf(const AM_MEDIA_TYPE& type) {
  size_t offset = 0;
  if (type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_MPEGVideo) {
    offset = offsetof(VIDEOINFOHEADER, bmiHeader);
  } else if (type.formattype == FORMAT_VideoInfo2 || type.formattype == FORMAT_MPEG2Video) {
    offset = offsetof(VIDEOINFOHEADER2, bmiHeader);
  } else {
    return nullptr;
  }
  if (type.pbFormat == nullptr || type.cbFormat < offset + sizeof(BITMAPINFOHEADER)) return nullptr;
  return reinterpret_cast<const BITMAPINFOHEADER*>(type.pbFormat + offset);
}

// A byte range of the format block, or nothing when it leaves the block.
void TakeFormatBytes(const AM_MEDIA_TYPE& type, size_t offset, size_t size, std::vector<uint8_t>* bytes) {
  bytes->clear();
  if (size == 0 || offset > type.cbFormat || size > type.cbFormat - offset) return;
  bytes->assign(type.pbFormat + offset, type.pbFormat + offset + size);
}

void ReadVideoExtraData(const AM_MEDIA_TYPE& type, const BITMAPINFOHEADER& header, std::vector<uint8_t>* bytes) {
  if (type.formattype == FORMAT_MPEG2Video && type.cbFormat >= sizeof(MPEG2VIDEOINFO)) {
    const auto* info = reinterpret_cast<const MPEG2VIDEOINFO*>(type.pbFormat);
    const size_t offset = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
    const size_t size = info->cbSequenceHeader != 0 ? info->cbSequenceHeader : type.cbFormat - sizeof(MPEG2VIDEOINFO);
    TakeFormatBytes(type, offset, size, bytes);
  } else if (type.formattype == FORMAT_MPEGVideo && type.cbFormat >= sizeof(MPEG1VIDEOINFO)) {
    const auto* info = reinterpret_cast<const MPEG1VIDEOINFO*>(type.pbFormat);
    TakeFormatBytes(type, offsetof(MPEG1VIDEOINFO, bSequenceHeader), info->cbSequenceHeader, bytes);
  } else {
    // Behind the whole record (the pipeline's rule), else behind a bitmap header that
    // says it is longer than 40 bytes (the usual VfW placement).
    const size_t record = type.formattype == FORMAT_VideoInfo2 ? sizeof(VIDEOINFOHEADER2) : sizeof(VIDEOINFO);
    if (type.cbFormat > record) {
      TakeFormatBytes(type, record, type.cbFormat - record, bytes);
    } else if (header.biSize > sizeof(BITMAPINFOHEADER)) {
      const size_t offset = reinterpret_cast<const BYTE*>(&header) - type.pbFormat + sizeof(BITMAPINFOHEADER);
      TakeFormatBytes(type, offset, header.biSize - sizeof(BITMAPINFOHEADER), bytes);
    }
  }
}

AVCodecID VideoCodecOfSubtype(const AM_MEDIA_TYPE& type) {
  if (type.subtype == MEDIASUBTYPE_MPEG2_VIDEO) return AV_CODEC_ID_MPEG2VIDEO;
  if (type.subtype == MEDIASUBTYPE_MPEG1Packet || type.subtype == MEDIASUBTYPE_MPEG1Payload ||
      type.subtype == MEDIASUBTYPE_MPEG1Video) {
    return AV_CODEC_ID_MPEG1VIDEO;
  }
  if (IsFourCCSubtype(type.subtype)) return VideoCodecOfFourCC(type.subtype.Data1);
  return AV_CODEC_ID_NONE;
}

AVCodecID PcmCodec(REFGUID subtype, int bits) {
  if (subtype == MEDIASUBTYPE_IEEE_FLOAT) {
    if (bits == 32) return AV_CODEC_ID_PCM_F32LE;
    if (bits == 64) return AV_CODEC_ID_PCM_F64LE;
    return AV_CODEC_ID_NONE;
  }
  switch (bits) {
    case 8: return AV_CODEC_ID_PCM_U8;
    case 16: return AV_CODEC_ID_PCM_S16LE;
    case 24: return AV_CODEC_ID_PCM_S24LE;
    case 32: return AV_CODEC_ID_PCM_S32LE;
    default: return AV_CODEC_ID_NONE;
  }
}

AVCodecID CompressedAudioCodec(REFGUID subtype) {
  if (subtype == MEDIASUBTYPE_MPEG1Packet || subtype == MEDIASUBTYPE_MPEG1Payload ||
      subtype == MEDIASUBTYPE_MPEG1Audio || subtype == MEDIASUBTYPE_MPEG2_AUDIO) {
    return AV_CODEC_ID_MP3;  // the MPEG audio decoder takes layers 1 to 3 alike
  }
  if (subtype == kSubtypeMp4a || subtype == kSubtypeRawAacB000) return AV_CODEC_ID_AAC;
  if (!IsFourCCSubtype(subtype)) return AV_CODEC_ID_NONE;
  switch (subtype.Data1) {
    case kWaveFormatMpeg:
    case kWaveFormatMpegLayer3: return AV_CODEC_ID_MP3;
    case kWaveFormatRawAac:
    case kWaveFormatHeAac:
    case MakeFourCC('m', 'p', '4', 'a'): return AV_CODEC_ID_AAC;
    case kWaveFormatAc3: return AV_CODEC_ID_AC3;
    default: return AV_CODEC_ID_NONE;
  }
}

}  // namespace

AVCodecID VideoCodecOfFourCC(DWORD fourCC) {
  for (const FourCCCodec& entry : kVideoFourCCs) {
    if (MakeFourCC(entry.name[0], entry.name[1], entry.name[2], entry.name[3]) == fourCC) return entry.codec;
  }
  return AV_CODEC_ID_NONE;
}

HRESULT ReadVideoInput(const AM_MEDIA_TYPE& type, VideoInput* input) {
  if (type.majortype != MEDIATYPE_Video) return E_INVALIDARG;
  const BITMAPINFOHEADER* header = BitmapHeaderOf(type);
  if (header == nullptr) return E_INVALIDARG;
  const int height = abs(header->biHeight);
  if (header->biWidth <= 0 || header->biWidth > kMaxPictureSide || height == 0 || height > kMaxPictureSide) {
    return E_INVALIDARG;
  }
  AVCodecID codec = VideoCodecOfFourCC(header->biCompression);
  if (codec == AV_CODEC_ID_NONE) codec = VideoCodecOfSubtype(type);
  if (codec == AV_CODEC_ID_NONE) return VFW_E_TYPE_NOT_ACCEPTED;
  if (type.cbFormat > kMaxExtraData) return E_INVALIDARG;
  input->codec = codec;
  input->width = header->biWidth;
  input->height = height;
  input->avgTimePerFrame = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->AvgTimePerFrame;
  ReadVideoExtraData(type, *header, &input->extraData);
  return S_OK;
}

HRESULT ReadAudioInput(const AM_MEDIA_TYPE& type, bool compressedAllowed, AudioInput* input) {
  if (type.majortype != MEDIATYPE_Audio || type.formattype != FORMAT_WaveFormatEx) return E_INVALIDARG;
  if (type.pbFormat == nullptr || type.cbFormat < sizeof(WAVEFORMATEX) || type.cbFormat > kMaxExtraData) {
    return E_INVALIDARG;
  }
  const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
  if (wave->nChannels == 0 || wave->nChannels > 8 || wave->nSamplesPerSec == 0 || wave->nSamplesPerSec > 384000) {
    return E_INVALIDARG;
  }
  // Without a subtype the format tag names the coding.
  const GUID subtype = type.subtype == GUID_NULL ? KcmFourCCSubtype(wave->wFormatTag) : type.subtype;
  AVCodecID codec = AV_CODEC_ID_NONE;
  if (subtype == MEDIASUBTYPE_PCM || subtype == MEDIASUBTYPE_IEEE_FLOAT) {
    codec = PcmCodec(subtype, wave->wBitsPerSample);
  } else if (compressedAllowed) {
    codec = CompressedAudioCodec(subtype);
  }
  if (codec == AV_CODEC_ID_NONE) return VFW_E_TYPE_NOT_ACCEPTED;
  input->codec = codec;
  input->channels = wave->nChannels;
  input->sampleRate = static_cast<int>(wave->nSamplesPerSec);
  input->bitsPerSample = wave->wBitsPerSample;
  input->blockAlign = wave->nBlockAlign;
  input->bitRate = static_cast<int>(wave->nAvgBytesPerSec * 8);
  const size_t room = type.cbFormat - sizeof(WAVEFORMATEX);
  const size_t extra = wave->cbSize > 0 && wave->cbSize <= room ? wave->cbSize : room;
  TakeFormatBytes(type, sizeof(WAVEFORMATEX), extra, &input->extraData);
  return S_OK;
}

}  // namespace kcm::ffdshow
