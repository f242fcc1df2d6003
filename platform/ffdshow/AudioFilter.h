// AudioFilter: the stand-in's audio decoder (createTffdshowAudioDecodecFilter: AAC, MPEG
// audio layers 1-3, AC-3 and PCM) and raw audio processor (createTffdshowAudioRawFilter:
// PCM only). Both deliver interleaved 16-bit PCM of the input's channel count and rate
// with the volume settings applied. 16-bit PCM input is copied straight into the output
// samples; everything else goes through libavcodec and libswresample.
#pragma once

#include <memory>

#include "AudioResampler.h"
#include "CodecSession.h"
#include "FFDShowFilter.h"
#include "MediaCodecs.h"

namespace kcm::ffdshow {

// {5F39475B-B09E-4E2A-BBF6-42CC228AEA14}
DEFINE_GUID(CLSID_KcmFFDShowAudioDecoder, 0x5F39475B, 0xB09E, 0x4E2A, 0xBB, 0xF6, 0x42, 0xCC, 0x22, 0x8A, 0xEA, 0x14);
// {5CCA1BF3-F227-4CA7-946C-E2E1EC7398D5}
DEFINE_GUID(CLSID_KcmFFDShowAudioRaw, 0x5CCA1BF3, 0xF227, 0x4CA7, 0x94, 0x6C, 0xE2, 0xE1, 0xEC, 0x73, 0x98, 0xD5);

class AudioFilter : public FFDShowFilter {
 public:
  // `decoder`: compressed input is accepted too.
  AudioFilter(bool decoder, HRESULT* result);

  HRESULT CheckInputType(const CMediaType& type) override;
  HRESULT OnInputConnected(const CMediaType& type) override;
  void OnInputDisconnected() override;
  HRESULT GetOutputType(int position, CMediaType* type) override;
  HRESULT CheckOutputType(const CMediaType& type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT OnStart() override;
  HRESULT Process(IMediaSample* input) override;
  void Drain() override;
  void Discard() override;

 private:
  bool PassesThrough() const { return input_.codec == AV_CODEC_ID_PCM_S16LE; }
  int BlockAlign() const { return input_.channels * 2; }
  HRESULT OpenDecoder();
  // MPEG audio subtypes do not tell the layer: the first frame header does.
  void ChooseMpegAudioLayer(IMediaSample* input);
  HRESULT ProcessPcm16(IMediaSample* input);
  void DeliverFrame(const AVFrame* frame);
  void DeliverBlock(const AudioBlock& block, bool timed, REFERENCE_TIME start);
  void DeliverResamplerTail();
  // Fills one output sample by `fill` (which answers the frames written) and delivers it.
  template <class Fill>
  HRESULT DeliverSample(bool timed, REFERENCE_TIME start, Fill fill, long* framesWritten);
  REFERENCE_TIME Duration(long frames) const;

  const bool decoder_;
  AudioInput input_;
  CodecSession session_;
  std::unique_ptr<AudioResampler> resampler_;
  REFERENCE_TIME nextStart_ = -1;  // where the resampler's tail begins
  HRESULT lastDelivery_ = S_OK;
  bool layerChosen_ = false;
};

}  // namespace kcm::ffdshow
