#include "AudioFilter.h"

#include <string.h>

#include <algorithm>

#include "AudioVolume.h"
#include "KestroPlatformDiagnostic.h"
#include "mmreg.h"
#include "uuids.h"

namespace kcm::ffdshow {

namespace {

constexpr LONG kOutputBuffers = 4;
constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;

}  // namespace

AudioFilter::AudioFilter(bool decoder, HRESULT* result)
    : FFDShowFilter(decoder ? NAME("ffdshow audio decoder") : NAME("ffdshow raw audio filter"),
                    decoder ? CLSID_KcmFFDShowAudioDecoder : CLSID_KcmFFDShowAudioRaw, 2, result),
      decoder_(decoder) {}

HRESULT AudioFilter::CheckInputType(const CMediaType& type) {
  AudioInput input;
  const HRESULT hr = ReadAudioInput(type, decoder_, &input);
  if (FAILED(hr)) return hr;
  return avcodec_find_decoder(input.codec) != nullptr ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT AudioFilter::OnInputConnected(const CMediaType& type) {
  const HRESULT hr = ReadAudioInput(type, decoder_, &input_);
  if (FAILED(hr)) return hr;
  resampler_ = std::make_unique<AudioResampler>(input_.channels, input_.sampleRate);
  layerChosen_ = false;
  return PassesThrough() ? S_OK : OpenDecoder();
}

void AudioFilter::ChooseMpegAudioLayer(IMediaSample* input) {
  BYTE* data = nullptr;
  const long length = input->GetActualDataLength();
  if (FAILED(input->GetPointer(&data)) || data == nullptr) return;
  for (long at = 0; at + 1 < length; ++at) {
    if (data[at] != 0xFF || (data[at + 1] & 0xE0) != 0xE0) continue;
    // Layer bits: 01 layer III, 10 layer II, 11 layer I.
    static const AVCodecID kByLayerBits[4] = {AV_CODEC_ID_NONE, AV_CODEC_ID_MP3, AV_CODEC_ID_MP2, AV_CODEC_ID_MP1};
    const AVCodecID codec = kByLayerBits[(data[at + 1] >> 1) & 3];
    if (codec == AV_CODEC_ID_NONE) continue;
    layerChosen_ = true;
    if (codec != input_.codec) {
      input_.codec = codec;
      OpenDecoder();
    }
    return;
  }
}

HRESULT AudioFilter::OpenDecoder() {
  return session_.Open(input_.codec, input_.extraData, Settings().DecoderThreads(), [this](AVCodecContext* context) {
    av_channel_layout_default(&context->ch_layout, input_.channels);
    context->sample_rate = input_.sampleRate;
    context->block_align = input_.blockAlign;
    context->bit_rate = input_.bitRate;
    context->bits_per_coded_sample = input_.bitsPerSample;
  });
}

void AudioFilter::OnInputDisconnected() {
  session_.Close();
  resampler_.reset();
}

HRESULT AudioFilter::GetOutputType(int position, CMediaType* type) {
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  auto* wave = reinterpret_cast<WAVEFORMATEX*>(type->AllocFormatBuffer(sizeof(WAVEFORMATEX)));
  if (wave == nullptr) return E_OUTOFMEMORY;
  wave->wFormatTag = WAVE_FORMAT_PCM;
  wave->nChannels = static_cast<WORD>(input_.channels);
  wave->nSamplesPerSec = static_cast<DWORD>(input_.sampleRate);
  wave->nBlockAlign = static_cast<WORD>(BlockAlign());
  wave->nAvgBytesPerSec = wave->nSamplesPerSec * wave->nBlockAlign;
  wave->wBitsPerSample = 16;
  wave->cbSize = 0;
  type->SetType(&MEDIATYPE_Audio);
  type->SetSubtype(&MEDIASUBTYPE_PCM);
  type->SetFormatType(&FORMAT_WaveFormatEx);
  type->SetTemporalCompression(FALSE);
  type->SetSampleSize(static_cast<ULONG>(BlockAlign()));
  return S_OK;
}

HRESULT AudioFilter::CheckOutputType(const CMediaType& type) {
  if (type.majortype != MEDIATYPE_Audio || type.subtype != MEDIASUBTYPE_PCM ||
      type.formattype != FORMAT_WaveFormatEx || type.pbFormat == nullptr || type.cbFormat < sizeof(WAVEFORMATEX)) {
    return E_INVALIDARG;
  }
  const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
  const bool same = wave->nChannels == input_.channels && static_cast<int>(wave->nSamplesPerSec) == input_.sampleRate &&
                    wave->wBitsPerSample == 16;
  return same ? S_OK : E_INVALIDARG;
}

HRESULT AudioFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  // A second of sound per buffer: the largest block upstream hands over at once.
  const LONG size = input_.sampleRate * BlockAlign();
  request->cBuffers = std::max(request->cBuffers, kOutputBuffers);
  request->cbBuffer = std::max(request->cbBuffer, size);
  request->cbAlign = std::max<LONG>(request->cbAlign, 1);
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < BlockAlign() ? E_FAIL : S_OK;
}

HRESULT AudioFilter::OnStart() {
  lastDelivery_ = S_OK;
  nextStart_ = -1;
  if (session_.IsOpen() && session_.Threads() != Settings().DecoderThreads()) return OpenDecoder();
  return S_OK;
}

REFERENCE_TIME AudioFilter::Duration(long frames) const { return frames * kUnitsPerSecond / input_.sampleRate; }

template <class Fill>
HRESULT AudioFilter::DeliverSample(bool timed, REFERENCE_TIME start, Fill fill, long* framesWritten) {
  *framesWritten = 0;
  if (!Output().IsConnected()) return S_OK;
  IMediaSample* sample = nullptr;
  HRESULT hr = GetOutputBuffer(&sample);
  if (FAILED(hr) || sample == nullptr) return FAILED(hr) ? hr : E_FAIL;
  BYTE* buffer = nullptr;
  hr = sample->GetPointer(&buffer);
  const long capacity = sample->GetSize() / BlockAlign();
  const long frames = SUCCEEDED(hr) && capacity > 0 ? fill(reinterpret_cast<int16_t*>(buffer), capacity) : -1;
  if (frames > 0) {
    ApplyVolume(Settings().Volume(), reinterpret_cast<int16_t*>(buffer), frames, input_.channels);
    sample->SetActualDataLength(frames * BlockAlign());
    REFERENCE_TIME end = start + Duration(frames);
    if (timed) sample->SetTime(&start, &end);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(TakeDiscontinuity());
    hr = DeliverOutput(sample);
    *framesWritten = frames;
  } else {
    hr = frames == 0 ? S_OK : E_FAIL;
  }
  sample->Release();
  return hr;
}

HRESULT AudioFilter::Process(IMediaSample* input) {
  lastDelivery_ = S_OK;
  if (PassesThrough()) return ProcessPcm16(input);
  if (!layerChosen_ && (input_.codec == AV_CODEC_ID_MP3 || input_.codec == AV_CODEC_ID_MP2)) ChooseMpegAudioLayer(input);
  const HRESULT hr = session_.Decode(input, MayLendInput(session_.LentSamplesHeld()),
                                     [this](AVFrame* frame) { DeliverFrame(frame); });
  if (FAILED(hr)) return hr;
  return FAILED(lastDelivery_) ? lastDelivery_ : S_OK;
}

HRESULT AudioFilter::ProcessPcm16(IMediaSample* input) {
  BYTE* data = nullptr;
  if (FAILED(input->GetPointer(&data)) || data == nullptr) return E_POINTER;
  const long total = input->GetActualDataLength() / BlockAlign();
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  const HRESULT timed = input->GetTime(&start, &end);
  for (long done = 0; done < total;) {
    long written = 0;
    const HRESULT hr = DeliverSample(
        timed == S_OK || timed == VFW_S_NO_STOP_TIME, start + Duration(done),
        [&](int16_t* target, long capacity) {
          const long frames = std::min(capacity, total - done);
          memcpy(target, data + done * BlockAlign(), static_cast<size_t>(frames) * BlockAlign());
          return frames;
        },
        &written);
    if (FAILED(hr) || written == 0) return hr;
    done += written;
  }
  return S_OK;
}

void AudioFilter::DeliverFrame(const AVFrame* frame) {
  AudioBlock block;
  block.data = frame->extended_data;
  block.frames = frame->nb_samples;
  block.format = static_cast<AVSampleFormat>(frame->format);
  block.layout = &frame->ch_layout;
  block.sampleRate = frame->sample_rate;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  const bool timed = FrameTimes(frame, 0, &start, &end);
  if (!resampler_->Prepare(block)) {
    KcmPlatformDiagnostic("ffdshow: decoded audio cannot be converted to 16-bit PCM");
    lastDelivery_ = E_FAIL;
    return;
  }
  DeliverBlock(block, timed, start);
}

void AudioFilter::DeliverBlock(const AudioBlock& block, bool timed, REFERENCE_TIME start) {
  for (int done = 0; done < block.frames;) {
    long written = 0;
    int taken = 0;
    const HRESULT hr = DeliverSample(
        timed, start + done * kUnitsPerSecond / block.sampleRate,
        [&](int16_t* target, long capacity) {
          // As many input frames as surely fit, so the resampler keeps nothing back.
          taken = block.frames - done;
          while (taken > 1 && resampler_->OutputFramesFor(taken) > capacity) taken /= 2;
          return static_cast<long>(resampler_->Convert(block, done, taken, target, static_cast<int>(capacity)));
        },
        &written);
    if (FAILED(hr)) lastDelivery_ = hr;
    if (FAILED(hr) || taken == 0) return;
    done += taken;
  }
  if (timed) nextStart_ = start + block.frames * kUnitsPerSecond / block.sampleRate;
}

void AudioFilter::DeliverResamplerTail() {
  long written = 0;
  DeliverSample(
      nextStart_ >= 0, nextStart_,
      [&](int16_t* target, long capacity) { return static_cast<long>(resampler_->Flush(target, static_cast<int>(capacity))); },
      &written);
  resampler_->Reset();
}

void AudioFilter::Drain() {
  if (PassesThrough() || resampler_ == nullptr) return;
  session_.Drain([this](AVFrame* frame) { DeliverFrame(frame); });
  DeliverResamplerTail();
  nextStart_ = -1;
}

void AudioFilter::Discard() {
  session_.Flush();
  if (resampler_ != nullptr) resampler_->Reset();
  nextStart_ = -1;
}

}  // namespace kcm::ffdshow
