#include "CodecSession.h"

#include <string.h>

#include "KestroPlatformDiagnostic.h"

namespace kcm::ffdshow {

namespace {

constexpr AVRational kReferenceTimeBase{1, 10000000};

void ReleaseLentSample(void* sample, uint8_t* /*data*/) { static_cast<IMediaSample*>(sample)->Release(); }

// Points the packet at the sample's bytes (lent, or copied when they cannot be lent).
HRESULT FillPacket(IMediaSample* sample, bool mayLend, AVPacket* packet) {
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data)) || data == nullptr) return E_POINTER;
  const long length = sample->GetActualDataLength();
  if (length <= 0) return S_FALSE;
  if (mayLend && sample->GetSize() - length >= AV_INPUT_BUFFER_PADDING_SIZE) {
    memset(data + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    sample->AddRef();
    packet->buf = av_buffer_create(data, static_cast<size_t>(length) + AV_INPUT_BUFFER_PADDING_SIZE, ReleaseLentSample,
                                   sample, AV_BUFFER_FLAG_READONLY);
    if (packet->buf == nullptr) {
      sample->Release();
      return E_OUTOFMEMORY;
    }
    packet->data = data;
    packet->size = static_cast<int>(length);
  } else {
    if (av_new_packet(packet, static_cast<int>(length)) < 0) return E_OUTOFMEMORY;
    memcpy(packet->data, data, static_cast<size_t>(length));
  }
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  const HRESULT timed = sample->GetTime(&start, &end);
  if (timed == S_OK || timed == VFW_S_NO_STOP_TIME) {
    packet->pts = start;
    if (timed == S_OK && end > start) packet->duration = end - start;
  }
  if (sample->IsSyncPoint() == S_OK) packet->flags |= AV_PKT_FLAG_KEY;
  return S_OK;
}

}  // namespace

HRESULT CodecSession::Open(AVCodecID codec, const std::vector<uint8_t>& extraData, int threads,
                           const Configure& configure) {
  Close();
  const AVCodec* decoder = avcodec_find_decoder(codec);
  if (decoder == nullptr) return VFW_E_TYPE_NOT_ACCEPTED;
  context_ = avcodec_alloc_context3(decoder);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
    Close();
    return E_OUTOFMEMORY;
  }
  if (!extraData.empty()) {
    context_->extradata = static_cast<uint8_t*>(av_mallocz(extraData.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (context_->extradata == nullptr) {
      Close();
      return E_OUTOFMEMORY;
    }
    memcpy(context_->extradata, extraData.data(), extraData.size());
    context_->extradata_size = static_cast<int>(extraData.size());
  }
  context_->pkt_timebase = kReferenceTimeBase;
  context_->thread_count = threads;
  threads_ = threads;
  if (configure) configure(context_);
  if (avcodec_open2(context_, decoder, nullptr) < 0) {
    KcmPlatformDiagnostic("ffdshow: the decoder refused the stream's parameters");
    Close();
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  reportedBadData_ = false;
  return S_OK;
}

int CodecSession::LentSamplesHeld() const {
  if (context_ == nullptr) return 0;
  return (context_->active_thread_type & FF_THREAD_FRAME) != 0 ? context_->thread_count + 1 : 1;
}

void CodecSession::Close() {
  avcodec_free_context(&context_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
}

HRESULT CodecSession::Decode(IMediaSample* sample, bool mayLend, const FrameSink& sink) {
  if (context_ == nullptr) return VFW_E_NOT_CONNECTED;
  HRESULT hr = FillPacket(sample, mayLend, packet_);
  if (hr == S_OK) hr = Send(packet_, sink);
  av_packet_unref(packet_);
  return hr;
}

HRESULT CodecSession::Send(const AVPacket* packet, const FrameSink& sink) {
  for (;;) {
    const int sent = avcodec_send_packet(context_, packet);
    // A full decoder takes the packet once its finished frames are out.
    const bool full = sent == AVERROR(EAGAIN);
    ReceiveAll(sink);
    if (full) continue;
    if (sent >= 0 || sent == AVERROR_EOF) return S_OK;
    if (!reportedBadData_) {
      KcmPlatformDiagnostic("ffdshow: the decoder skipped a corrupt sample");
      reportedBadData_ = true;
    }
    return S_FALSE;
  }
}

void CodecSession::ReceiveAll(const FrameSink& sink) {
  // A broken picture is skipped and the decoder asked again, a bounded number of times.
  constexpr int kMaxErrorsInARow = 16;
  for (int errors = 0; errors < kMaxErrorsInARow;) {
    const int received = avcodec_receive_frame(context_, frame_);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return;
    if (received < 0) {
      ++errors;
      continue;
    }
    errors = 0;
    sink(frame_);
    av_frame_unref(frame_);
  }
}

void CodecSession::Drain(const FrameSink& sink) {
  if (context_ == nullptr) return;
  avcodec_send_packet(context_, nullptr);
  ReceiveAll(sink);
  avcodec_flush_buffers(context_);
}

void CodecSession::Flush() {
  if (context_ != nullptr) avcodec_flush_buffers(context_);
}

bool FrameTimes(const AVFrame* frame, REFERENCE_TIME fallbackDuration, REFERENCE_TIME* start, REFERENCE_TIME* end) {
  int64_t pts = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE) return false;
#if LIBAVUTIL_VERSION_MAJOR >= 58
  const int64_t duration = frame->duration;
#else
  const int64_t duration = frame->pkt_duration;
#endif
  *start = pts;
  *end = pts + (duration > 0 ? duration : fallbackDuration);
  return true;
}

}  // namespace kcm::ffdshow
