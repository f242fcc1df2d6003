#include <string.h>
#include <wchar.h>

#include <new>

#include "KestroFormatHelpers.h"
#include "WaveFormDevice.h"
#include "winerror.h"

namespace {

int findDevice(const wchar_t* name) { return findWaveDevice<WAVEOUTCAPSW>(name, waveOutGetNumDevs, waveOutGetDevCapsW); }

}  // namespace

CWaveFormOutputDevice::CWaveFormOutputDevice() : _engine(nullptr) {}

CWaveFormOutputDevice::~CWaveFormOutputDevice() { close(); }

long CWaveFormOutputDevice::start() {
  if (_engine == nullptr) return E_FAIL;
  return _engine->start(CWaveForm::kOutput) ? S_OK : E_FAIL;
}

long CWaveFormOutputDevice::stop() {
  if (_engine != nullptr) _engine->stop(CWaveForm::kOutput);
  return S_OK;
}

long CWaveFormOutputDevice::pause() { return 0; }

long CWaveFormOutputDevice::close() {
  _staging.clear();
  if (_engine == nullptr) return S_OK;
  _engine->stop(CWaveForm::kOutput);
  _engine->close(CWaveForm::kOutput);
  _engine->Release();
  _engine = nullptr;
  return S_OK;
}

long CWaveFormOutputDevice::setVolume(unsigned long percent) {
  const DWORD level = static_cast<DWORD>(percent * 655) & 0xFFFF;
  if (_engine != nullptr) _engine->setVolume(CWaveForm::kOutput, level | (level << 16));
  return S_OK;
}

unsigned long CWaveFormOutputDevice::getFrameSize() { return _engine == nullptr ? 0 : _engine->frameSize(); }

long CWaveFormOutputDevice::open(const WAVEFORMATEX* format, const wchar_t* deviceName, int restrictToCodec,
                                 int frameMs) {
  const int device = deviceName == nullptr ? 0 : findDevice(deviceName);
  if (device < 0 || format == nullptr) {
    close();
    return E_FAIL;
  }
  close();  // a second open replaces the first engine
  WAVEFORMATEX given = *format;
  const WAVEFORMATEX normalised = kcm_checkWaveFormatEx(given, restrictToCodec);
  CWaveForm* engine =
      new CWaveForm(frameMs, CWaveForm::kOutput, 0, static_cast<UINT>(device), nullptr, &normalised, 0, 0xFFFFFFFF);
  if (engine->frameSize() == 0) {
    // Frames of no bytes could never be filled.
    engine->Release();
    return E_INVALIDARG;
  }
  _engine = engine;
  _engine->open(CWaveForm::kOutput);
  return S_OK;
}

long CWaveFormOutputDevice::write(const char* data, unsigned long length) {
  if (_engine == nullptr) return E_FAIL;
  if (data == nullptr || length == 0) return 0;
  _staging.insert(_staging.end(), data, data + length);
  const unsigned long frameSize = _engine->frameSize();
  size_t offset = 0;
  while (_staging.size() - offset >= frameSize) {
    stWaveFrame* frame = nullptr;
    if (!_engine->getEmptyFrame(&frame)) break;
    memcpy(frame->data, _staging.data() + offset, frameSize);
    frame->header.dwBufferLength = static_cast<DWORD>(frameSize);
    _engine->putFrame(frame);
    offset += frameSize;
  }
  _staging.erase(_staging.begin(), _staging.begin() + static_cast<std::ptrdiff_t>(offset));
  return 0;
}

IWaveFormInputDevice* kcm_createWaveFormInputDevice() { return new (std::nothrow) CWaveFormInputDevice; }

IWaveFormOutputDevice* kcm_createWaveFormOutputDevice() { return new (std::nothrow) CWaveFormOutputDevice; }
