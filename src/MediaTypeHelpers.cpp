// The media-type helpers the pipeline shares: classification, canonical FourCCs and the
// blocks inside a format. The FourCC vocabularies are tables; the functions only say in
// which order they are consulted.
#include "KestroMediaStreamType.h"

#include <string.h>

#include <initializer_list>

#include "dvdmedia.h"
#include "uuids.h"

namespace Kestro {

namespace {

// A name given to a whole GUID (a subtype or a format type).
struct GuidName {
  GUID key;
  uint32_t fourCC;
};

// A name given to a subtype's first 32-bit word alone. kSameCode: the word names itself.
struct CodeName {
  uint32_t code;
  uint32_t fourCC;
};

// A canonical FourCC and the subtype a filter offers for it.
struct FourCCSubtype {
  uint32_t fourCC;
  GUID subtype;
  bool compressed;
};

constexpr uint32_t kSameCode = 0;

constexpr uint32_t kMp1v = makeFourCC("mp1v");
constexpr uint32_t kMp2v = makeFourCC("mp2v");
constexpr uint32_t kMp4v = makeFourCC("mp4v");
constexpr uint32_t kMp4s = makeFourCC("MP4S");
constexpr uint32_t kH264 = makeFourCC("h264");
constexpr uint32_t kAvc1 = makeFourCC("avc1");
constexpr uint32_t kH263 = makeFourCC("H263");
constexpr uint32_t kH261 = makeFourCC("h261");
constexpr uint32_t kWmv2 = makeFourCC("wmv2");
constexpr uint32_t kMp3 = makeFourCC("mp3 ");
constexpr uint32_t kMpga = makeFourCC("mpga");
constexpr uint32_t kMp4a = makeFourCC("mp4a");

// AAC subtypes that carry no SDK name: RAW_AAC1's tag under a base GUID whose eighth
// byte is B0 rather than 80, and the one the source filter offers for "mp4a".
constexpr GUID kRawAacVariantSubtype = {0x000000FF, 0x0000, 0x0010, {0xB0, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID kMp4aSubtype = {0x00000006, 0x0CEA, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr uint32_t kWaveFormatMpegHeAac = 0x1610;

constexpr GUID fourCCSubtype(const char (&text)[5]) { return KcmFourCCSubtype(makeFourCC(text)); }

// Video subtypes with a name of their own; the first match is a provisional result.
constexpr GuidName kVideoSubtypeNames[] = {
    {MEDIASUBTYPE_RGB1, makeFourCC("RGB1")},      {MEDIASUBTYPE_RGB4, makeFourCC("RGB4")},
    {MEDIASUBTYPE_RGB8, makeFourCC("RGB8")},      {MEDIASUBTYPE_RGB555, makeFourCC("RV15")},
    {MEDIASUBTYPE_RGB565, makeFourCC("RV16")},    {MEDIASUBTYPE_RGB24, makeFourCC("RV24")},
    {MEDIASUBTYPE_RGB32, makeFourCC("RV32")},     {MEDIASUBTYPE_ARGB32, makeFourCC("RGBA")},
    {MEDIASUBTYPE_I420, makeFourCC("I420")},      {MEDIASUBTYPE_Y41P, makeFourCC("I411")},
    {MEDIASUBTYPE_YV12, makeFourCC("YV12")},      {MEDIASUBTYPE_IYUV, makeFourCC("YV12")},
    {MEDIASUBTYPE_YVU9, makeFourCC("YVU9")},      {MEDIASUBTYPE_YVYU, makeFourCC("YVYU")},
    {MEDIASUBTYPE_YUYV, makeFourCC("YUY2")},      {MEDIASUBTYPE_Y411, makeFourCC("I41N")},
    {MEDIASUBTYPE_Y211, makeFourCC("Y211")},      {MEDIASUBTYPE_YUY2, makeFourCC("YUY2")},
    {MEDIASUBTYPE_UYVY, makeFourCC("UYVY")},      {MEDIASUBTYPE_MPEG2_VIDEO, kMp2v},
    {MEDIASUBTYPE_dvsl, makeFourCC("dvsl")},      {MEDIASUBTYPE_dvsd, makeFourCC("dvsd")},
    {MEDIASUBTYPE_dvhd, makeFourCC("dvhd")},
};

// Video subtypes whose name overrides the provisional one.
constexpr GuidName kVideoSubtypeOverrides[] = {
    {MEDIASUBTYPE_MPEG1Payload, kMp1v},
    {MEDIASUBTYPE_MPEG1Packet, kMp1v},
    {MEDIASUBTYPE_MPEG2_VIDEO, kMp2v},
    {MEDIASUBTYPE_AVC1, kAvc1},
};

// Video codings known by the subtype's first word alone, whatever the rest of the GUID.
// The numeric words 1 and 4 are MPEG-4 too.
constexpr CodeName kVideoCodeNames[] = {
    {makeFourCC("2iv1"), kMp4v}, {makeFourCC("dx50"), kMp4v}, {makeFourCC("DX50"), kMp4v},
    {makeFourCC("AP41"), kMp4v}, {makeFourCC("3IV1"), kMp4v}, {makeFourCC("3IV2"), kMp4v},
    {makeFourCC("3iv2"), kMp4v}, {makeFourCC("3IVD"), kMp4v}, {makeFourCC("3ivd"), kMp4v},
    {makeFourCC("3VID"), kMp4v}, {makeFourCC("3vid"), kMp4v}, {makeFourCC("DIV1"), kMp4v},
    {makeFourCC("div1"), kMp4v}, {makeFourCC("DIV2"), kMp4v}, {makeFourCC("div2"), kMp4v},
    {makeFourCC("DIV3"), kMp4v}, {makeFourCC("div3"), kMp4v}, {makeFourCC("DIV4"), kMp4v},
    {makeFourCC("div4"), kMp4v}, {makeFourCC("DIV5"), kMp4v}, {makeFourCC("div5"), kMp4v},
    {makeFourCC("DIV6"), kMp4v}, {makeFourCC("div6"), kMp4v}, {makeFourCC("DIVX"), kMp4v},
    {makeFourCC("divx"), kMp4v}, {makeFourCC("XVID"), kMp4v}, {makeFourCC("xvid"), kMp4v},
    {makeFourCC("XviD"), kMp4v}, {makeFourCC("MP42"), kMp4v}, {makeFourCC("mp42"), kMp4v},
    {makeFourCC("MP43"), kMp4v}, {makeFourCC("mp43"), kMp4v}, {makeFourCC("MPG3"), kMp4v},
    {makeFourCC("mpg3"), kMp4v}, {makeFourCC("MPG4"), kMp4v}, {makeFourCC("mpg4"), kMp4v},
    {makeFourCC("mp4v"), kMp4v}, {1, kMp4v},                     {4, kMp4v},
    {makeFourCC("M4S2"), kMp4s}, {makeFourCC("m4s2"), kMp4s}, {makeFourCC("MP4S"), kMp4s},
    {makeFourCC("mp4s"), kMp4s}, {makeFourCC("H264"), kH264}, {makeFourCC("h264"), kH264},
    {makeFourCC("VSSH"), kH264}, {makeFourCC("AVC1"), kAvc1}, {makeFourCC("U263"), kH263},
    {makeFourCC("H263"), kH263}, {makeFourCC("I263"), kH263}, {makeFourCC("h263"), kH263},
    {makeFourCC("i263"), kH263}, {makeFourCC("H261"), kH261}, {makeFourCC("h261"), kH261},
    {makeFourCC("WMV1"), kWmv2}, {makeFourCC("wmv1"), kWmv2}, {makeFourCC("WMV2"), kWmv2},
    {makeFourCC("wmv2"), kWmv2}, {makeFourCC("WMV3"), kWmv2}, {makeFourCC("wmv3"), kWmv2},
    {makeFourCC("rv10"), kSameCode}, {makeFourCC("RV10"), kSameCode},
    {makeFourCC("RV20"), kSameCode}, {makeFourCC("rv20"), kSameCode},
};

// MPEG video recognised by its format block when nothing else names it.
constexpr GuidName kFormatNames[] = {
    {FORMAT_MPEGVideo, kMp1v},
    {FORMAT_MPEG2Video, kMp2v},
};

// Compressed audio subtypes, checked before the format.
constexpr GuidName kAudioSubtypeNames[] = {
    {MEDIASUBTYPE_MPEG1Payload, kMp3},
    {MEDIASUBTYPE_MPEG1Packet, kMp3},
    {MEDIASUBTYPE_MPEG2_AUDIO, kMpga},
    {kRawAacVariantSubtype, kMp4a},
    {KcmFourCCSubtype(kWaveFormatMpegHeAac), kMp4a},
    {MEDIASUBTYPE_RAW_AAC1, kMp4a},
    {kMp4aSubtype, kMp4a},
};

// Uncompressed audio subtypes, named only with a WAVEFORMATEX format.
constexpr GuidName kWaveSubtypeNames[] = {
    {MEDIASUBTYPE_PCM, makeFourCC("araw")},
    {MEDIASUBTYPE_IEEE_FLOAT, makeFourCC("fl32")},
};

constexpr GuidName kStreamSubtypeNames[] = {
    {MEDIASUBTYPE_MPEG2_PROGRAM, makeFourCC("mp2p")},
    {MEDIASUBTYPE_MPEG2_TRANSPORT, makeFourCC("mp2t")},
};

constexpr FourCCSubtype kSubtypesOfFourCC[] = {
    {makeFourCC("RGB1"), MEDIASUBTYPE_RGB1, false},
    {makeFourCC("RGB4"), MEDIASUBTYPE_RGB4, false},
    {makeFourCC("RGB8"), MEDIASUBTYPE_RGB8, false},
    {makeFourCC("RV15"), MEDIASUBTYPE_RGB555, false},
    {makeFourCC("RV16"), MEDIASUBTYPE_RGB565, false},
    {makeFourCC("RV24"), MEDIASUBTYPE_RGB24, false},
    {makeFourCC("RV32"), MEDIASUBTYPE_RGB32, false},
    {makeFourCC("RGBA"), MEDIASUBTYPE_ARGB32, false},
    {makeFourCC("I420"), fourCCSubtype("I420"), false},
    {makeFourCC("YV12"), fourCCSubtype("YV12"), false},
    {makeFourCC("YVU9"), fourCCSubtype("YVU9"), false},
    {makeFourCC("YVYU"), fourCCSubtype("YVYU"), false},
    {makeFourCC("YUYV"), fourCCSubtype("YUYV"), false},
    {makeFourCC("Y211"), fourCCSubtype("Y211"), false},
    {makeFourCC("YUY2"), fourCCSubtype("YUY2"), false},
    {makeFourCC("UYVY"), fourCCSubtype("UYVY"), false},
    {makeFourCC("I411"), MEDIASUBTYPE_Y41P, false},
    {makeFourCC("I41N"), MEDIASUBTYPE_Y411, false},
    {makeFourCC("araw"), MEDIASUBTYPE_PCM, false},
    {makeFourCC("fl32"), MEDIASUBTYPE_IEEE_FLOAT, false},
    {kMp2v, MEDIASUBTYPE_MPEG2_VIDEO, true},
    {makeFourCC("dvsl"), fourCCSubtype("dvsl"), true},
    {makeFourCC("dvsd"), fourCCSubtype("dvsd"), true},
    {makeFourCC("dvhd"), fourCCSubtype("dvhd"), true},
    {kH264, fourCCSubtype("h264"), true},
    {kMp4s, fourCCSubtype("MP4S"), true},
    {kWmv2, fourCCSubtype("wmv2"), true},
    {kAvc1, MEDIASUBTYPE_AVC1, true},
    {kMp4v, fourCCSubtype("mpg4"), true},
    {kMp1v, MEDIASUBTYPE_MPEG1Packet, true},
    {kMp3, MEDIASUBTYPE_MPEG1Packet, true},
    {kMpga, MEDIASUBTYPE_MPEG2_AUDIO, true},
    {kMp4a, kMp4aSubtype, true},
    {makeFourCC("mp2p"), MEDIASUBTYPE_MPEG2_PROGRAM, true},
    {makeFourCC("mp2t"), MEDIASUBTYPE_MPEG2_TRANSPORT, true},
};

// Where a format block keeps its bitmap header.
struct FormatOffset {
  GUID formattype;
  uint32_t offset;
};

constexpr FormatOffset kBitmapHeaderOffsets[] = {
    {FORMAT_VideoInfo, offsetof(VIDEOINFOHEADER, bmiHeader)},
    {FORMAT_VideoInfo2, offsetof(VIDEOINFOHEADER2, bmiHeader)},
    {FORMAT_MPEG2Video, offsetof(MPEG2VIDEOINFO, hdr.bmiHeader)},
};

// Where codec private data starts in a format block, and how much of the block is not
// part of it.
struct ExtraDataRule {
  _AMTYPE kind;
  GUID formattype;
  uint32_t offset;
  uint32_t fixedSize;
};

constexpr ExtraDataRule kExtraDataRules[] = {
    {AMTYPE_Video, FORMAT_VideoInfo, sizeof(VIDEOINFO), sizeof(VIDEOINFO)},
    {AMTYPE_Video, FORMAT_VideoInfo2, sizeof(VIDEOINFOHEADER2), sizeof(VIDEOINFOHEADER2)},
    {AMTYPE_Video, FORMAT_MPEG2Video, offsetof(MPEG2VIDEOINFO, dwSequenceHeader), sizeof(MPEG2VIDEOINFO)},
    {AMTYPE_Audio, FORMAT_WaveFormatEx, sizeof(WAVEFORMATEX), sizeof(WAVEFORMATEX)},
};

static_assert(offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == offsetof(VIDEOINFOHEADER2, AvgTimePerFrame),
              "every video format keeps AvgTimePerFrame at the same offset");

// 0 when the GUID is not in the table.
template <size_t N>
uint32_t nameOf(const GuidName (&table)[N], const GUID& key) {
  for (const GuidName& entry : table) {
    if (entry.key == key) return entry.fourCC;
  }
  return 0;
}

bool isOneOf(const GUID& guid, std::initializer_list<GUID> candidates) {
  for (const GUID& candidate : candidates) {
    if (guid == candidate) return true;
  }
  return false;
}

bool isVideoFormat(const GUID& formattype) {
  return isOneOf(formattype, {FORMAT_VideoInfo, FORMAT_VideoInfo2, FORMAT_MPEG2Video});
}

// The first word of the subtype, or the format's MPEG video name, or else |provisional|.
uint32_t fallbackName(const AM_MEDIA_TYPE& mediaType, uint32_t provisional) {
  if (provisional != 0) return provisional;
  const uint32_t formatName = nameOf(kFormatNames, mediaType.formattype);
  return formatName != 0 ? formatName : mediaType.subtype.Data1;
}

uint32_t videoFourCC(const AM_MEDIA_TYPE& mediaType) {
  uint32_t provisional = nameOf(kVideoSubtypeNames, mediaType.subtype);
  const uint32_t override = nameOf(kVideoSubtypeOverrides, mediaType.subtype);
  if (override != 0) provisional = override;
  const uint32_t code = mediaType.subtype.Data1;
  for (const CodeName& entry : kVideoCodeNames) {
    if (entry.code == code) return entry.fourCC == kSameCode ? code : entry.fourCC;
  }
  return fallbackName(mediaType, provisional);
}

uint32_t audioFourCC(const AM_MEDIA_TYPE& mediaType) {
  const uint32_t subtypeName = nameOf(kAudioSubtypeNames, mediaType.subtype);
  if (subtypeName != 0) return subtypeName;
  if (mediaType.formattype == FORMAT_WaveFormatEx) {
    const uint32_t waveName = nameOf(kWaveSubtypeNames, mediaType.subtype);
    if (waveName != 0) return waveName;
  }
  return fallbackName(mediaType, 0);
}

uint32_t streamFourCC(const AM_MEDIA_TYPE& mediaType) {
  const uint32_t subtypeName = nameOf(kStreamSubtypeNames, mediaType.subtype);
  if (subtypeName != 0) return subtypeName;
  // A byte stream's own word comes before its format.
  const uint32_t code = mediaType.subtype.Data1;
  return code != 0 ? code : fallbackName(mediaType, 0);
}

// |length| bytes of the format at |offset|, or null when the block is absent or short.
BYTE* formatBytes(const AM_MEDIA_TYPE& mediaType, uint32_t offset, uint32_t length) {
  if (mediaType.pbFormat == nullptr) return nullptr;
  if (static_cast<uint64_t>(offset) + length > mediaType.cbFormat) return nullptr;
  return mediaType.pbFormat + offset;
}

const ExtraDataRule* extraDataRuleOf(const AM_MEDIA_TYPE& mediaType) {
  if (mediaType.pbFormat == nullptr) return nullptr;
  const _AMTYPE kind = mediaKindOf(mediaType);
  for (const ExtraDataRule& rule : kExtraDataRules) {
    if (rule.kind == kind && rule.formattype == mediaType.formattype) {
      return mediaType.cbFormat > rule.fixedSize ? &rule : nullptr;
    }
  }
  return nullptr;
}

}  // namespace

_AMTYPE mediaKindOf(const AM_MEDIA_TYPE& mediaType) {
  if (isOneOf(mediaType.majortype, {MEDIATYPE_Video, MEDIATYPE_AnalogVideo})) return AMTYPE_Video;
  if (isOneOf(mediaType.majortype, {MEDIATYPE_Audio, MEDIATYPE_AnalogAudio})) return AMTYPE_Audio;
  if (isVideoFormat(mediaType.formattype) || mediaType.formattype == FORMAT_MPEGVideo) return AMTYPE_Video;
  if (mediaType.subtype == MEDIASUBTYPE_MPEG1Audio) return AMTYPE_Audio;
  if (mediaType.formattype == FORMAT_WaveFormatEx) return AMTYPE_Audio;
  return AMTYPE_Unknown;
}

uint32_t fourCCFromMediaType(const AM_MEDIA_TYPE& mediaType) {
  if (mediaType.majortype == MEDIATYPE_Video) return videoFourCC(mediaType);
  if (mediaType.majortype == MEDIATYPE_Audio) return audioFourCC(mediaType);
  if (mediaType.majortype == MEDIATYPE_Stream) return streamFourCC(mediaType);
  return fallbackName(mediaType, 0);
}

GUID subtypeFromFourCC(uint32_t fourCC, bool* compressed) {
  if (compressed != nullptr) *compressed = false;
  for (const FourCCSubtype& entry : kSubtypesOfFourCC) {
    if (entry.fourCC != fourCC) continue;
    if (compressed != nullptr) *compressed = entry.compressed;
    return entry.subtype;
  }
  if (compressed != nullptr) *compressed = true;
  return GUID_NULL;
}

BITMAPINFOHEADER* bitmapHeaderOf(const AM_MEDIA_TYPE& mediaType) {
  for (const FormatOffset& entry : kBitmapHeaderOffsets) {
    if (entry.formattype == mediaType.formattype) {
      return reinterpret_cast<BITMAPINFOHEADER*>(formatBytes(mediaType, entry.offset, sizeof(BITMAPINFOHEADER)));
    }
  }
  return nullptr;
}

__int64 avgTimePerFrameOf(const AM_MEDIA_TYPE& mediaType) {
  if (!isVideoFormat(mediaType.formattype)) return 0;
  const BYTE* bytes =
      formatBytes(mediaType, offsetof(VIDEOINFOHEADER, AvgTimePerFrame), sizeof(REFERENCE_TIME));
  if (bytes == nullptr) return 0;
  // Format blocks handed in by other filters need not be 8-aligned.
  REFERENCE_TIME avgTimePerFrame;
  memcpy(&avgTimePerFrame, bytes, sizeof(avgTimePerFrame));
  return avgTimePerFrame;
}

WAVEFORMATEX* waveFormatOf(const AM_MEDIA_TYPE& mediaType) {
  if (mediaType.formattype != FORMAT_WaveFormatEx) return nullptr;
  return reinterpret_cast<WAVEFORMATEX*>(formatBytes(mediaType, 0, sizeof(WAVEFORMATEX)));
}

BYTE* extraDataOf(const AM_MEDIA_TYPE& mediaType) {
  const ExtraDataRule* rule = extraDataRuleOf(mediaType);
  return rule != nullptr ? mediaType.pbFormat + rule->offset : nullptr;
}

uint32_t extraDataSizeOf(const AM_MEDIA_TYPE& mediaType) {
  const ExtraDataRule* rule = extraDataRuleOf(mediaType);
  return rule != nullptr ? mediaType.cbFormat - rule->fixedSize : 0;
}

}  // namespace Kestro
