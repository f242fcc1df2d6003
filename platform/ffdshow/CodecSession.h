// CodecSession: one open libavcodec decoder, fed with the samples of an input pin.
//
// Packets carry the samples' times in 100 ns units (the codec's packet time base), so
// decoded frames come out in presentation order stamped with the times of the samples
// they were decoded from. A sample's bytes are lent to the decoder without a copy when
// the sample has room for the decoder's zero padding and may be written: the decoder
// then holds a reference on the sample for as long as it needs the bytes.
#pragma once

#include <functional>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "streams.h"

namespace kcm::ffdshow {

class CodecSession {
 public:
  using FrameSink = std::function<void(AVFrame*)>;
  using Configure = std::function<void(AVCodecContext*)>;

  CodecSession() = default;
  ~CodecSession() { Close(); }
  CodecSession(const CodecSession&) = delete;
  CodecSession& operator=(const CodecSession&) = delete;

  // VFW_E_TYPE_NOT_ACCEPTED when no decoder exists or it refuses to open.
  HRESULT Open(AVCodecID codec, const std::vector<uint8_t>& extraData, int threads, const Configure& configure);
  void Close();
  bool IsOpen() const { return context_ != nullptr; }
  int Threads() const { return threads_; }
  // How many lent samples the decoder may keep between two Decode calls: one per frame
  // thread and one waiting to be taken in; one when it decodes on the caller's thread.
  int LentSamplesHeld() const;

  // Decodes one sample; every frame it completes goes to `sink`. Corrupt data is
  // reported (S_FALSE) and skipped: the decoder carries on with the next sample.
  HRESULT Decode(IMediaSample* sample, bool mayLend, const FrameSink& sink);
  // Hands out every frame still inside, then readies the decoder for a new stream.
  void Drain(const FrameSink& sink);
  // Forgets every frame inside.
  void Flush();

 private:
  HRESULT Send(const AVPacket* packet, const FrameSink& sink);
  void ReceiveAll(const FrameSink& sink);

  AVCodecContext* context_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int threads_ = 1;
  bool reportedBadData_ = false;
};

// The reference times the frame carries: false when it has no start time.
bool FrameTimes(const AVFrame* frame, REFERENCE_TIME fallbackDuration, REFERENCE_TIME* start, REFERENCE_TIME* end);

}  // namespace kcm::ffdshow
