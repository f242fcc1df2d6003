#include <string.h>

#include <vector>

#include "AudioDataQueueSink.h"
#include "AudioRenderPortAudio.h"
#include "KestroAudioRender.h"
#include "KestroLog.h"
#include "SourcePath.h"
#include "winerror.h"

namespace {

const unsigned long kAudioBlockType = 2;
const unsigned long kVolumeType = 255;
const unsigned long kFramesPerBuffer = 256;
const unsigned int kPullBufferReserve = 1024;

#define KCM_AUDIO_LOG(text, type) kcm_logExpression(KCM_SOURCE_PATH("KestroAudioRender"), __LINE__, text, type, true)

bool isValidStream(const tagKestroStreamType& type) { return (type.valid & 0xFF) != 0; }

}  // namespace

CKestroAudioRender::CKestroAudioRender()
    : _streamType(),
      _queueServiceHelper(new CQueueServiceHelper),
      _audioDataQueueService(nullptr),
      _audioDataQueueSink(new CAudioDataQueueSink(this)),
      _stream(nullptr),
      _audioStreamBuffer(kPullBufferReserve),
      _bytesPerSecond(0),
      _pullMode(0),
      _maxCacheMS(500),
      _enablePlayback(1),
      _deviceName(),
      _gain(1.0f) {}

CKestroAudioRender::CKestroAudioRender(const CKestroAudioRender& other)
    : _streamType(other._streamType),
      _queueServiceHelper(new CQueueServiceHelper),
      _audioDataQueueService(nullptr),
      _audioDataQueueSink(new CAudioDataQueueSink(this)),
      _stream(nullptr),
      _audioStreamBuffer(kPullBufferReserve),
      _bytesPerSecond(other._bytesPerSecond),
      _pullMode(other._pullMode),
      _maxCacheMS(other._maxCacheMS),
      _enablePlayback(other._enablePlayback),
      _deviceName(),
      _gain(1.0f) {
  memcpy(_deviceName, other._deviceName, sizeof(_deviceName));
  CKestroAudioRender& source = const_cast<CKestroAudioRender&>(other);
  CThreadLockHandle hold(&source._audioStreamBufferLock, true);
  _audioStreamBuffer.write(source._audioStreamBuffer.data(), source._audioStreamBuffer.size());
}

CKestroAudioRender::~CKestroAudioRender() {
  delete _queueServiceHelper;  // releases the engine; a started one stops first
  delete _audioDataQueueSink;
}

long CKestroAudioRender::openAudioPlayback(tagKestroStreamType& type) {
  if (_audioDataQueueService == nullptr || !_audioDataQueueService->Ex_IsValid()) {
    _audioDataQueueService = _queueServiceHelper->CreateInstance() ? _queueServiceHelper->GetInterface() : nullptr;
    if (_audioDataQueueService == nullptr) {
      closeAudioPlayback();
      return E_FAIL;
    }
  }
  if (_audioDataQueueService->IsServiceStarted()) return S_OK;
  _streamType = type;
  if (!isValidStream(_streamType)) {
    _bytesPerSecond = 0;
    return S_OK;
  }
  WAVEFORMATEX& format = _streamType.waveFormat;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nBlockAlign = static_cast<WORD>((format.wBitsPerSample / 8) * format.nChannels);
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  format.cbSize = 0;
  _bytesPerSecond = static_cast<unsigned long>(format.wBitsPerSample / 8) * format.nChannels * format.nSamplesPerSec;
  if (format.nBlockAlign == 0 || _bytesPerSecond == 0) {
    // Frames are counted by dividing by the block align: nothing could be played.
    KCM_AUDIO_LOG("\"hr = E_FAIL\"", KcmLogCritical);
    _bytesPerSecond = 0;
    return E_FAIL;
  }
  if (!_audioDataQueueService->StartService(_audioDataQueueSink, 1, INFINITE)) {
    KCM_AUDIO_LOG("\"hr = E_NOINTERFACE\"", KcmLogCritical);
    closeAudioPlayback();
    return E_NOINTERFACE;
  }
  return S_OK;
}

long CKestroAudioRender::write(int mediaType, __int64 time1, __int64 time2, void* sample, unsigned long len,
                               int queued, tagKestroStreamType*) {
  if (mediaType != 2) return E_FAIL;
  if (!_enablePlayback || _audioDataQueueService == nullptr || !_audioDataQueueService->IsServiceStarted())
    return S_OK;
  if (_bytesPerSecond == 0) return E_FAIL;
  if (_pullMode) {
    CThreadLockHandle hold(&_audioStreamBufferLock, true);
    if (_maxCacheMS != 0 && static_cast<unsigned long long>(_audioStreamBuffer.size()) * 1000 / _bytesPerSecond >=
                                static_cast<unsigned long long>(_maxCacheMS)) {
      KCM_AUDIO_LOG("CKestroAudioRender::write::_audioStreamBuffer.write((const Kestro::CIOBuffer::byte_type*)sample, len)",
                    KcmLogDebug);
      return E_FAIL;
    }
    _audioStreamBuffer.write(static_cast<const Kestro::CIOBuffer::byte_type*>(sample), static_cast<unsigned int>(len));
    return S_OK;
  }
  if (_maxCacheMS != 0) {
    const unsigned long long waiting = _audioDataQueueService->GetQueueMemSize();
    if (waiting * 1000 / _bytesPerSecond >= static_cast<unsigned long long>(static_cast<unsigned int>(_maxCacheMS))) {
      KCM_AUDIO_LOG("CKestroAudioRender::write::_audioDataQueueService->AddToQueue", KcmLogDebug);
      return E_FAIL;
    }
  }
  if (queued == 0) {
    writeAudioStreamData(sample, len);
    return S_OK;
  }
  _audioDataQueueService->AddToQueue(0, kAudioBlockType, sample, len, 0, 0, time1, time2);
  return S_OK;
}

void CKestroAudioRender::closeAudioPlayback() {
  if (_audioDataQueueService != nullptr && _audioDataQueueService->Ex_IsValid()) _audioDataQueueService->StopService();
}

long CKestroAudioRender::setAudioMaxCacheMS(int ms) {
  _maxCacheMS = ms;
  return S_OK;
}

long CKestroAudioRender::enableAudioPlayback(int enable) {
  _enablePlayback = enable;
  return S_OK;
}

long CKestroAudioRender::setVolume(float volume) {
  if (_audioDataQueueService != nullptr && _audioDataQueueService->Ex_IsValid())
    _audioDataQueueService->AddToQueue(0, kVolumeType, &volume, sizeof(volume), 0, 0, 0, 0);
  return S_OK;
}

long CKestroAudioRender::initAudioDev(const char* deviceName) {
  if (deviceName == nullptr) return S_OK;
  strncpy(_deviceName, deviceName, sizeof(_deviceName) - 1);
  _deviceName[sizeof(_deviceName) - 1] = '\0';
  return S_OK;
}

bool CKestroAudioRender::OnAudioDataQueueServiceStart() {
  if (!isValidStream(_streamType)) return false;
  audio_render::initializePortAudio();
  const PaDeviceIndex device = audio_render::chooseOutputDevice(_deviceName);
  if (device == paNoDevice) return true;
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  PaStreamParameters output = {};
  output.device = device;
  output.channelCount = _streamType.waveFormat.nChannels;
  output.sampleFormat = paInt16;
  output.suggestedLatency = info != nullptr ? info->defaultLowOutputLatency : 0;
  output.hostApiSpecificStreamInfo = nullptr;
  _gain = 1.0f;
  PaStream* stream = nullptr;
  if (Pa_OpenStream(&stream, nullptr, &output, static_cast<double>(_streamType.waveFormat.nSamplesPerSec),
                    kFramesPerBuffer, paClipOff, _pullMode ? &CKestroAudioRender::paCallback : nullptr,
                    _pullMode ? this : nullptr) == paNoError) {
    _stream = stream;
    Pa_StartStream(_stream);
  }
  return true;
}

bool CKestroAudioRender::OnAudioDataQueueServiceStop() {
  if (_stream != nullptr) {
    Pa_StopStream(_stream);
    Pa_CloseStream(_stream);
    _stream = nullptr;
  }
  audio_render::terminatePortAudio();
  return true;
}

void CKestroAudioRender::OnAudioDataQueueServiceSink(unsigned long, unsigned long type, void* data,
                                                     unsigned long len, __int64, __int64, __int64, __int64) {
  if (type <= kAudioBlockType && !_pullMode) {
    writeAudioStreamData(data, len);
  } else if (type == kVolumeType && len == sizeof(float) && _stream != nullptr) {
    float volume;
    memcpy(&volume, data, sizeof(volume));
    _gain = volume;
  }
}

void CKestroAudioRender::OnAudioDataQueueServiceIdle() {}

long CKestroAudioRender::writeAudioStreamData(void* data, unsigned long len) {
  const unsigned long frames = len / _streamType.waveFormat.nBlockAlign;
  const float gain = _gain;
  PaError result;
  if (gain == 1.0f) {
    result = Pa_WriteStream(_stream, data, frames);
  } else {
    std::vector<uint8_t> scaled(len);
    audio_render::applyGain(data, scaled.data(), len, gain);
    result = Pa_WriteStream(_stream, scaled.data(), frames);
  }
  if (result != paNoError && result != paOutputUnderflowed)
    KCM_AUDIO_LOG("CKestroAudioRender::OnQueueServiceSink::Pa_WriteStream", KcmLogDebug);
  return S_OK;
}

int CKestroAudioRender::onPaCallback(const void*, void* output, unsigned long frameCount,
                                     const PaStreamCallbackTimeInfo*, unsigned long) {
  CThreadLockHandle hold(&_audioStreamBufferLock, true);
  const unsigned long need = static_cast<unsigned long>(_streamType.waveFormat.nBlockAlign) * frameCount;
  if (_audioStreamBuffer.size() > need) {
    audio_render::applyGain(_audioStreamBuffer.data(), output, need, _gain);
    _audioStreamBuffer.consume(static_cast<unsigned int>(need));
  } else {
    memset(output, 0, need);
  }
  return paContinue;
}

int CKestroAudioRender::paCallback(const void* input, void* output, unsigned long frameCount,
                                   const PaStreamCallbackTimeInfo* timeInfo, unsigned long statusFlags,
                                   void* userData) {
  return static_cast<CKestroAudioRender*>(userData)->onPaCallback(input, output, frameCount, timeInfo, statusFlags);
}
