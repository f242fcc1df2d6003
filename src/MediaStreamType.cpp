#include "KestroMediaStreamType.h"

#include <string.h>

#include <QDebug>
#include <limits>
#include <new>

#include "uuids.h"

namespace Kestro {

namespace {

const unsigned int kInitialCapacity = 1024;
const __int64 kReferenceTimePerSecond = 10000000;

// A source without format bytes contributes none, whatever its cbFormat says.
uint32_t formatSizeOf(const AM_MEDIA_TYPE& mediaType) {
  return mediaType.pbFormat != nullptr ? mediaType.cbFormat : 0;
}

// Header plus format bytes. An image beyond 32 bits cannot be held, which the buffer
// reports as an allocation failure too.
unsigned int imageSizeOf(const AM_MEDIA_TYPE& mediaType) {
  const uint32_t formatSize = formatSizeOf(mediaType);
  if (formatSize > std::numeric_limits<unsigned int>::max() - CMediaStreamType::kImageHeaderSize) {
    throw std::bad_alloc();
  }
  return CMediaStreamType::kImageHeaderSize + formatSize;
}

// Signed 32-bit multiplication that wraps as it does on Windows instead of overflowing.
int32_t wrappingProduct(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

void dumpVideoLine(CMediaStreamType& streamType) {
  const BITMAPINFOHEADER* bitmapHeader = streamType.getBitmapHeader();
  if (bitmapHeader == nullptr) return;
  const __int64 avgTimePerFrame = streamType.getAvgTimePerFrame();
  const __int64 fps = avgTimePerFrame != 0 ? kReferenceTimePerSecond / avgTimePerFrame : 0;
  qDebug() << "width:" << bitmapHeader->biWidth << " height:" << bitmapHeader->biHeight << " fps:" << fps;
}

void dumpAudioLine(CMediaStreamType& streamType) {
  const WAVEFORMATEX* waveFormat = streamType.getWaveFormat();
  if (waveFormat == nullptr) return;
  const WORD channels = waveFormat->nChannels;
  const DWORD samplesPerSec = waveFormat->nSamplesPerSec;
  const WORD bitsPerSample = waveFormat->wBitsPerSample;
  qDebug() << "ch:" << channels << " rate:" << samplesPerSec << " bit:" << bitsPerSample;
}

}  // namespace

CMediaStreamType::CMediaStreamType() : _buffer(kInitialCapacity) {}

CMediaStreamType::CMediaStreamType(const CMediaStreamType& other) : _buffer(other._buffer.size()) {
  const AM_MEDIA_TYPE* source = other.image();
  if (source != nullptr) copyFrom(*source);
}

CMediaStreamType::CMediaStreamType(const AM_MEDIA_TYPE& mediaType) : _buffer(imageSizeOf(mediaType)) {
  copyFrom(mediaType);
}

CMediaStreamType& CMediaStreamType::operator=(const CMediaStreamType& other) {
  if (this == &other) return *this;
  const AM_MEDIA_TYPE* source = other.image();
  if (source != nullptr) {
    copyFrom(*source);
  } else {
    clearImage();
  }
  return *this;
}

CMediaStreamType& CMediaStreamType::operator=(const AM_MEDIA_TYPE& mediaType) {
  copyFrom(mediaType);
  return *this;
}

CMediaStreamType::~CMediaStreamType() = default;

void CMediaStreamType::copyFrom(const AM_MEDIA_TYPE& mediaType) {
  const uint32_t formatSize = formatSizeOf(mediaType);
  if (isInsideBuffer(&mediaType) || (formatSize != 0 && (isInsideBuffer(mediaType.pbFormat) ||
                                                         isInsideBuffer(mediaType.pbFormat + formatSize - 1)))) {
    // Making room may move the store out from under a source that lives in it.
    CMediaStreamType staged(mediaType);
    copyFrom(*staged.image());
    return;
  }
  const unsigned int imageSize = imageSizeOf(mediaType);
  const unsigned int previousSize = _buffer.size();
  _buffer.clear();
  try {
    _buffer.enough(imageSize, true);
  } catch (...) {
    // enough() left the store as it was, so the previous image is still in place.
    _buffer.produce(previousSize);
    throw;
  }
  BYTE* image = _buffer.data();
  memcpy(image, &mediaType, kImageHeaderSize);
  AM_MEDIA_TYPE* header = reinterpret_cast<AM_MEDIA_TYPE*>(image);
  header->cbFormat = formatSize;
  header->pbFormat = image + kImageHeaderSize;
  if (formatSize != 0) memcpy(header->pbFormat, mediaType.pbFormat, formatSize);
  _buffer.produce(imageSize);
}

// The store comes from operator new and the image always starts at its front, so the
// header is aligned like any AM_MEDIA_TYPE.
const AM_MEDIA_TYPE* CMediaStreamType::image() const {
  if (_buffer.size() < kImageHeaderSize) return nullptr;
  return reinterpret_cast<const AM_MEDIA_TYPE*>(_buffer.data());
}

bool CMediaStreamType::isInsideBuffer(const void* address) const {
  const uintptr_t store = reinterpret_cast<uintptr_t>(_buffer.data());
  const uintptr_t candidate = reinterpret_cast<uintptr_t>(address);
  return candidate >= store && candidate - store < _buffer.capacity();
}

// An empty object still hands out a header: an all-zero one.
void CMediaStreamType::clearImage() {
  _buffer.clear();
  memset(_buffer.data(), 0, kImageHeaderSize);
}

AM_MEDIA_TYPE& CMediaStreamType::getAMMediaType() { return *reinterpret_cast<AM_MEDIA_TYPE*>(_buffer.data()); }

bool CMediaStreamType::isVideo() const {
  const AM_MEDIA_TYPE* header = image();
  return header != nullptr && mediaKindOf(*header) == AMTYPE_Video;
}

bool CMediaStreamType::isAudio() const {
  const AM_MEDIA_TYPE* header = image();
  return header != nullptr && mediaKindOf(*header) == AMTYPE_Audio;
}

uint32_t CMediaStreamType::getFourCC() const {
  const AM_MEDIA_TYPE* header = image();
  return header != nullptr ? fourCCFromMediaType(*header) : 0;
}

bool CMediaStreamType::isValidFormat() const {
  const AM_MEDIA_TYPE* header = image();
  return header != nullptr && header->cbFormat > 0;
}

BITMAPINFOHEADER* CMediaStreamType::getBitmapHeader() {
  const AM_MEDIA_TYPE* header = image();
  return header != nullptr ? bitmapHeaderOf(*header) : nullptr;
}

__int64 CMediaStreamType::getAvgTimePerFrame() const {
  const AM_MEDIA_TYPE* header = image();
  return header != nullptr ? avgTimePerFrameOf(*header) : 0;
}

WAVEFORMATEX* CMediaStreamType::getWaveFormat() {
  const AM_MEDIA_TYPE* header = image();
  return header != nullptr ? waveFormatOf(*header) : nullptr;
}

BYTE* CMediaStreamType::getExtraData() {
  const AM_MEDIA_TYPE* header = image();
  return header != nullptr ? extraDataOf(*header) : nullptr;
}

uint32_t CMediaStreamType::getExtraDataSize() const {
  const AM_MEDIA_TYPE* header = image();
  return header != nullptr ? extraDataSizeOf(*header) : 0;
}

bool CMediaStreamType::fillByteStream(uint8_t* bytes, uint32_t size) {
  if (bytes == nullptr || size < kImageHeaderSize) return false;
  // The caller's bytes need not be aligned for an AM_MEDIA_TYPE: work on a copy.
  AM_MEDIA_TYPE header;
  memcpy(&header, bytes, kImageHeaderSize);
  if (size - kImageHeaderSize < header.cbFormat) return false;
  header.pbFormat = bytes + kImageHeaderSize;
  memcpy(bytes + offsetof(AM_MEDIA_TYPE, pbFormat), &header.pbFormat, sizeof(header.pbFormat));
  copyFrom(header);
  return true;
}

void CMediaStreamType::dumpStreamType(CMediaStreamType& streamType) {
  qDebug() << "======== dumpStreamType ========";
  if (streamType.isVideo()) {
    qDebug() << "video stream";
    dumpVideoLine(streamType);
  } else if (streamType.isAudio()) {
    qDebug() << "audio stream";
    dumpAudioLine(streamType);
  } else {
    qDebug() << "unknown stream";
  }
}

CMediaStreamType CMediaStreamType::createVideoStreamType(int width, int height, __int64 avgTimePerFrame) {
  const DWORD imageSize = static_cast<DWORD>(wrappingProduct(wrappingProduct(width, height), 4));
  VIDEOINFO videoInfo = {};
  videoInfo.AvgTimePerFrame = avgTimePerFrame;
  videoInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  videoInfo.bmiHeader.biWidth = width;
  videoInfo.bmiHeader.biHeight = height;
  videoInfo.bmiHeader.biPlanes = 1;
  videoInfo.bmiHeader.biBitCount = 32;
  videoInfo.bmiHeader.biCompression = BI_RGB;
  videoInfo.bmiHeader.biSizeImage = imageSize;

  AM_MEDIA_TYPE mediaType = {};
  mediaType.majortype = MEDIATYPE_Video;
  mediaType.subtype = MEDIASUBTYPE_ARGB32;
  mediaType.bFixedSizeSamples = TRUE;
  mediaType.bTemporalCompression = FALSE;
  mediaType.lSampleSize = imageSize;
  mediaType.formattype = FORMAT_VideoInfo;
  mediaType.cbFormat = sizeof(VIDEOINFO);
  mediaType.pbFormat = reinterpret_cast<BYTE*>(&videoInfo);
  return CMediaStreamType(mediaType);
}

CMediaStreamType CMediaStreamType::createAudioStreamType(int channels, int samplesPerSec, int bitsPerSample) {
  WAVEFORMATEX waveFormat = {};
  waveFormat.wFormatTag = WAVE_FORMAT_PCM;
  waveFormat.nChannels = static_cast<WORD>(channels);
  waveFormat.nSamplesPerSec = static_cast<DWORD>(samplesPerSec);
  waveFormat.nAvgBytesPerSec =
      static_cast<DWORD>(wrappingProduct(wrappingProduct(channels, samplesPerSec), bitsPerSample) / 8);
  waveFormat.nBlockAlign = static_cast<WORD>(wrappingProduct(channels, bitsPerSample) / 8);
  waveFormat.wBitsPerSample = static_cast<WORD>(bitsPerSample);
  waveFormat.cbSize = 0;

  AM_MEDIA_TYPE mediaType = {};
  mediaType.majortype = MEDIATYPE_Audio;
  mediaType.subtype = MEDIASUBTYPE_PCM;
  mediaType.bFixedSizeSamples = FALSE;
  mediaType.lSampleSize = 0;
  mediaType.formattype = FORMAT_WaveFormatEx;
  mediaType.cbFormat = sizeof(WAVEFORMATEX);
  mediaType.pbFormat = reinterpret_cast<BYTE*>(&waveFormat);
  return CMediaStreamType(mediaType);
}

}  // namespace Kestro
