// Stream descriptions of the media pipeline: the owning media-type copy
// Kestro::CMediaStreamType, the fixed-size records tagKestroStreamType and
// tagKestroProgramType, and the helpers that classify a DirectShow media type, name its
// coding by a canonical FourCC and find the blocks inside its format.
//
// FourCCs are 32-bit values holding their four characters in memory order ("YUY2" is
// 0x32595559); makeFourCC builds one from its text.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "amvideo.h"
#include "minwindef.h"
#include "mmreg.h"
#include "strmif.h"
#include "wingdi.h"

#include "KestroExport.h"
#include "KestroIOBuffer.h"

// The kind of a stream. Graph operations take it as their first argument.
enum _AMTYPE : int32_t {
  AMTYPE_Unknown = 0,
  AMTYPE_Video = 1,
  AMTYPE_Audio = 2,
};

// A stream as the filters and graphs exchange it, by reference, across the library
// boundary. For a video stream videoInfo is meaningful, for an audio stream waveFormat;
// extraData (codec private data such as a sequence header) belongs to either. Records
// the library fills itself have every other field zero.
struct tagKestroStreamType {
  uint32_t mediaKind;   // _AMTYPE of the stream
  uint32_t fourCC;      // canonical FourCC of the coding, as fourCCFromMediaType names it
  uint32_t streamKind;  // the sample render filter sets it equal to mediaKind
  uint32_t valid;       // nonzero when the record describes a stream
  uint8_t reserved[8];
  VIDEOINFO videoInfo;  // AvgTimePerFrame in 100 ns units
  WAVEFORMATEX waveFormat;
  uint8_t reserved2[70];
  uint8_t extraData[384];
  uint32_t extraDataSize;  // valid bytes in extraData, 0 to 383
};

// The two streams that open a transform graph. A stream whose valid is zero is absent.
struct tagKestroProgramType {
  tagKestroStreamType video;
  tagKestroStreamType audio;
};

// The layout is the one of the 32-bit Windows library (VIDEOINFO is 8-aligned there too
// and WAVEFORMATEX packed), so records can be exchanged as bytes.
static_assert(offsetof(tagKestroStreamType, fourCC) == 4 && offsetof(tagKestroStreamType, valid) == 12 &&
                  offsetof(tagKestroStreamType, reserved) == 16 && offsetof(tagKestroStreamType, videoInfo) == 24 &&
                  offsetof(tagKestroStreamType, waveFormat) == 1152 &&
                  offsetof(tagKestroStreamType, reserved2) == 1170 &&
                  offsetof(tagKestroStreamType, extraData) == 1240 &&
                  offsetof(tagKestroStreamType, extraDataSize) == 1624 && sizeof(tagKestroStreamType) == 1632,
              "tagKestroStreamType layout");
static_assert(offsetof(tagKestroProgramType, audio) == 1632 && sizeof(tagKestroProgramType) == 3264,
              "tagKestroProgramType layout");

namespace Kestro {

// The FourCC of four characters, in memory order: makeFourCC("DIVX").
constexpr uint32_t makeFourCC(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

// The kind of a media type, first rule that holds: major type video or analog video →
// video; audio or analog audio → audio; an MPEG-1, MPEG-2, VideoInfo or VideoInfo2 format
// → video; MPEG-1 audio subtype → audio; WaveFormatEx format → audio; else unknown.
KCM_API _AMTYPE mediaKindOf(const AM_MEDIA_TYPE& mediaType);

// The canonical FourCC of the type's coding: "RV24", "YUY2", "mp4v", "h264", "araw",
// "mp3 ", "mp2t" and so on. The many FourCCs of one coding (DIVX, XVID, DX50, …) collapse
// into one; a subtype with no canonical name gives the first 32-bit word of its GUID.
KCM_API uint32_t fourCCFromMediaType(const AM_MEDIA_TYPE& mediaType);

// The DirectShow subtype of a canonical FourCC, GUID_NULL for an unknown one.
// *compressed (when given) tells whether that coding is compressed; unknown codings count
// as compressed.
KCM_API GUID subtypeFromFourCC(uint32_t fourCC, bool* compressed);

// The blocks inside the format. Each answers null (or 0) when the format type does not
// carry the block, when pbFormat is null, or when cbFormat is too short to hold it.
//   bitmapHeaderOf: FORMAT_VideoInfo → pbFormat + 48; FORMAT_VideoInfo2 or
//     FORMAT_MPEG2Video → pbFormat + 72.
//   avgTimePerFrameOf: the 64-bit value at pbFormat + 40 of the same three format types.
//   waveFormatOf: pbFormat of a FORMAT_WaveFormatEx type.
KCM_API BITMAPINFOHEADER* bitmapHeaderOf(const AM_MEDIA_TYPE& mediaType);
KCM_API __int64 avgTimePerFrameOf(const AM_MEDIA_TYPE& mediaType);
KCM_API WAVEFORMATEX* waveFormatOf(const AM_MEDIA_TYPE& mediaType);

// Codec private data behind the format's fixed part. A video type with FORMAT_VideoInfo
// has it behind the 1128-byte VIDEOINFO, with FORMAT_VideoInfo2 behind the 112-byte
// VIDEOINFOHEADER2, with FORMAT_MPEG2Video at dwSequenceHeader (pbFormat + 132, size
// cbFormat − 136); an audio type with FORMAT_WaveFormatEx behind the 18-byte WAVEFORMATEX.
// Any other type, or a computed size that is not above 0: null and 0.
KCM_API BYTE* extraDataOf(const AM_MEDIA_TYPE& mediaType);
KCM_API uint32_t extraDataSizeOf(const AM_MEDIA_TYPE& mediaType);

// An owning, self-contained copy of a media type and its format block.
//
// The copy is kept as an image in a CIOBuffer: an AM_MEDIA_TYPE header immediately
// followed by cbFormat format bytes, with the header's pbFormat pointing at them. On
// 32-bit Windows the header is 72 bytes; here it is sizeof(AM_MEDIA_TYPE) (88 on LP64),
// so that getAMMediaType() hands out a real AM_MEDIA_TYPE in place. kImageHeaderSize
// names it, and every "header" size below is that one.
//
// pUnk is copied as a plain pointer value: no reference is taken or released. The object
// reports nothing; accessors answer null or 0 when the image lacks what they look for.
// Copying replaces the previous image; the buffer keeps its storage when the new image
// fits (at least 1024 bytes) and otherwise grows to exactly the image size. Allocation
// failure propagates as std::bad_alloc and leaves the previous image in place.
class KCM_API CMediaStreamType {
 public:
  static constexpr unsigned int kImageHeaderSize = sizeof(AM_MEDIA_TYPE);

  // No image: not a valid format, neither video nor audio, and getAMMediaType() is all
  // zero.
  CMediaStreamType();
  // Copies the source's image (an empty source leaves this one empty). The sources are
  // taken by const reference, so the non-const sources of the Windows signatures bind too.
  CMediaStreamType(const CMediaStreamType& other);
  CMediaStreamType(const AM_MEDIA_TYPE& mediaType);
  CMediaStreamType& operator=(const CMediaStreamType& other);
  CMediaStreamType& operator=(const AM_MEDIA_TYPE& mediaType);
  ~CMediaStreamType();

  // The image's header. Its pbFormat stays valid until this object is reassigned or
  // destroyed.
  AM_MEDIA_TYPE& getAMMediaType();

  bool isVideo() const;
  bool isAudio() const;
  uint32_t getFourCC() const;
  // True when the image holds a header whose cbFormat is above 0.
  bool isValidFormat() const;

  BITMAPINFOHEADER* getBitmapHeader();
  __int64 getAvgTimePerFrame() const;
  WAVEFORMATEX* getWaveFormat();
  BYTE* getExtraData();
  uint32_t getExtraDataSize() const;

  // Takes an image the caller laid out in |bytes|: a header followed by its cbFormat
  // format bytes. False when |bytes| is null, |size| is below the header size, or |size|
  // is below the header size + the cbFormat stored in the bytes. Otherwise writes, into
  // the caller's header, a pbFormat pointing just behind it, copies the image and answers
  // true.
  bool fillByteStream(uint8_t* bytes, uint32_t size);

  // Writes the description to the Qt debug stream, one message per line:
  //   "======== dumpStreamType ========"
  //   "video stream" and "width: W  height: H  fps: F" (F = 10,000,000 / AvgTimePerFrame,
  //     0 when that is 0), or "audio stream" and "ch: C  rate: R  bit: B", or
  //   "unknown stream".
  // The second line is left out when the bitmap header or the wave format is missing.
  static void dumpStreamType(CMediaStreamType& streamType);

  // Uncompressed bottom-up ARGB32 video with a whole VIDEOINFO as format.
  static CMediaStreamType createVideoStreamType(int width, int height, __int64 avgTimePerFrame);
  // PCM audio with an 18-byte WAVEFORMATEX as format.
  static CMediaStreamType createAudioStreamType(int channels, int samplesPerSec, int bitsPerSample);

 protected:
  // The copy itself: replaces the image by one of |mediaType|. A null pbFormat counts as
  // no format bytes.
  void copyFrom(const AM_MEDIA_TYPE& mediaType);

 private:
  // The image's header, or null when there is none.
  const AM_MEDIA_TYPE* image() const;
  bool isInsideBuffer(const void* address) const;
  void clearImage();

  CIOBuffer _buffer;
};

}  // namespace Kestro
