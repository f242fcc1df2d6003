// What a capture device produces, behind the pins that deliver it: the formats it can
// take and the samples it fills. Device APIs (V4L2, ALSA) stay behind this interface, in
// their own files; the pins and filters know nothing of them.
#pragma once

#include <string>
#include <vector>

#include <streams.h>

namespace kcm::devices {

// One capability: a full media type and its VIDEO_STREAM_CONFIG_CAPS or
// AUDIO_STREAM_CONFIG_CAPS.
struct CaptureFormat {
  CMediaType type;
  std::vector<BYTE> caps;
};

class CaptureSource {
 public:
  virtual ~CaptureSource() = default;

  virtual const std::vector<CaptureFormat>& formats() const = 0;
  // S_OK when the source can produce `type` (one of its formats, possibly resized or
  // with another frame interval within the capability's range); then `type` may be
  // completed (image size, sample size). VFW_E_INVALIDMEDIATYPE otherwise.
  virtual HRESULT accept(CMediaType& type) const = 0;
  // Bytes of one sample buffer in `type`.
  virtual LONG bufferSize(const CMediaType& type) const { return static_cast<LONG>(type.GetSampleSize()); }
  // Prepares streaming in `type` (called when the pin becomes active).
  virtual HRESULT start(const CMediaType& type) = 0;
  // Fills `sample` with the next frame or block, waiting for the device's pace; sets the
  // length and the stream times (100 ns from start). S_FALSE: nothing this time; a
  // failure ends streaming. Returns soon (S_FALSE) once interrupt was called.
  virtual HRESULT fill(IMediaSample* sample) = 0;
  // Makes a waiting fill return; called from another thread.
  virtual void interrupt() = 0;
  virtual void stop() = 0;
  // The device's settings for the property frame, one per line.
  virtual std::wstring describe() const { return std::wstring(); }
};

}  // namespace kcm::devices
