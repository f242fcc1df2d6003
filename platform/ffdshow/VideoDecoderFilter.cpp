#include "VideoDecoderFilter.h"

namespace kcm::ffdshow {

VideoDecoderFilter::VideoDecoderFilter(HRESULT* result)
    : VideoFilter(NAME("ffdshow video decoder"), CLSID_KcmFFDShowVideoDecoder, result) {}

HRESULT VideoDecoderFilter::CheckInputType(const CMediaType& type) {
  VideoInput input;
  const HRESULT hr = ReadVideoInput(type, &input);
  if (FAILED(hr)) return hr;
  return avcodec_find_decoder(input.codec) != nullptr ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT VideoDecoderFilter::OnInputConnected(const CMediaType& type) {
  const HRESULT hr = ReadVideoInput(type, &input_);
  if (FAILED(hr)) return hr;
  SetPictureFormat(input_.width, input_.height, input_.avgTimePerFrame);
  return OpenDecoder();
}

HRESULT VideoDecoderFilter::OpenDecoder() {
  return session_.Open(input_.codec, input_.extraData, Settings().DecoderThreads(), [this](AVCodecContext* context) {
    context->width = input_.width;
    context->height = input_.height;
  });
}

void VideoDecoderFilter::OnInputDisconnected() { session_.Close(); }

HRESULT VideoDecoderFilter::OnStart() {
  lastDelivery_ = S_OK;
  if (session_.IsOpen() && session_.Threads() != Settings().DecoderThreads()) return OpenDecoder();
  return S_OK;
}

HRESULT VideoDecoderFilter::Process(IMediaSample* input) {
  lastDelivery_ = S_OK;
  const bool mayLend = MayLendInput(session_.LentSamplesHeld());
  const HRESULT hr = session_.Decode(input, mayLend, [this](AVFrame* frame) { DeliverFrame(frame); });
  if (FAILED(hr)) return hr;
  return FAILED(lastDelivery_) ? lastDelivery_ : S_OK;
}

void VideoDecoderFilter::DeliverFrame(const AVFrame* frame) {
  PictureView picture;
  picture.format = static_cast<AVPixelFormat>(frame->format);
  picture.width = frame->width;
  picture.height = frame->height;
  for (int plane = 0; plane < 4; ++plane) {
    picture.data[plane] = frame->data[plane];
    picture.linesize[plane] = frame->linesize[plane];
  }
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  const bool timed = FrameTimes(frame, AvgTimePerFrame(), &start, &end);
  const HRESULT hr = DeliverPicture(picture, timed, start, end);
  if (FAILED(hr)) lastDelivery_ = hr;
}

void VideoDecoderFilter::Drain() {
  session_.Drain([this](AVFrame* frame) { DeliverFrame(frame); });
}

void VideoDecoderFilter::Discard() { session_.Flush(); }

}  // namespace kcm::ffdshow
