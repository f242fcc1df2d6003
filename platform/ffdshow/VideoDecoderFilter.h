// VideoDecoderFilter: the stand-in's video decoder (createTffdshowVideoDecodecFilter).
// Takes the compressed types MediaCodecs.h names, decodes them with libavcodec and
// delivers every picture through VideoFilter's output side, stamped with the times of
// the sample it came from.
#pragma once

#include "CodecSession.h"
#include "MediaCodecs.h"
#include "VideoFilter.h"

namespace kcm::ffdshow {

// {3BFD9E86-E84D-41C6-944C-126F90167B82}
DEFINE_GUID(CLSID_KcmFFDShowVideoDecoder, 0x3BFD9E86, 0xE84D, 0x41C6, 0x94, 0x4C, 0x12, 0x6F, 0x90, 0x16, 0x7B, 0x82);

class VideoDecoderFilter : public VideoFilter {
 public:
  explicit VideoDecoderFilter(HRESULT* result);

  HRESULT CheckInputType(const CMediaType& type) override;
  HRESULT OnInputConnected(const CMediaType& type) override;
  void OnInputDisconnected() override;
  HRESULT OnStart() override;
  HRESULT Process(IMediaSample* input) override;
  void Drain() override;
  void Discard() override;

 private:
  HRESULT OpenDecoder();
  void DeliverFrame(const AVFrame* frame);

  VideoInput input_;
  CodecSession session_;
  HRESULT lastDelivery_ = S_OK;
};

}  // namespace kcm::ffdshow
