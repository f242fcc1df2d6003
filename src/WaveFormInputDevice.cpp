#include <wchar.h>

#include "KestroFormatHelpers.h"
#include "WaveFormDevice.h"
#include "interlockedapi.h"
#include "winerror.h"

namespace {

int findDevice(const wchar_t* name) { return findWaveDevice<WAVEINCAPSW>(name, waveInGetNumDevs, waveInGetDevCapsW); }

}  // namespace

CWaveFormInputDevice::CWaveFormInputDevice() : _engine(nullptr), _paused(0), _context(nullptr), _sink(nullptr) {}

CWaveFormInputDevice::~CWaveFormInputDevice() { close(); }

long CWaveFormInputDevice::start() {
  InterlockedExchange(&_paused, 0);
  if (_engine == nullptr) return E_FAIL;
  return _engine->start(CWaveForm::kInput) ? S_OK : E_FAIL;
}

long CWaveFormInputDevice::stop() {
  if (_engine != nullptr) _engine->stop(CWaveForm::kInput);
  return S_OK;
}

long CWaveFormInputDevice::pause() {
  InterlockedExchange(&_paused, InterlockedExchangeAdd(&_paused, 0) ? 0 : 1);
  return S_OK;
}

long CWaveFormInputDevice::close() {
  if (_engine == nullptr) return S_OK;
  _engine->stop(CWaveForm::kInput);
  _engine->close(CWaveForm::kInput);
  _engine->Release();
  _engine = nullptr;
  return S_OK;
}

long CWaveFormInputDevice::setVolume(unsigned long percent) {
  if (_engine != nullptr) _engine->setVolume(CWaveForm::kInput, static_cast<DWORD>(percent * 655));
  return S_OK;
}

unsigned long CWaveFormInputDevice::getFrameSize() { return _engine == nullptr ? 0 : _engine->frameSize(); }

long CWaveFormInputDevice::open(const wchar_t* deviceName, unsigned long, void* context, const WAVEFORMATEX* format,
                                IWaveFormDataSink* sink, int restrictToCodec) {
  const int device = findDevice(deviceName);
  if (device < 0 || format == nullptr) {
    close();
    return E_FAIL;
  }
  close();  // a second open replaces the first engine
  WAVEFORMATEX given = *format;
  const WAVEFORMATEX normalised = kcm_checkWaveFormatEx(given, restrictToCodec);
  _context = context;
  _sink = sink;
  CWaveForm* engine =
      new CWaveForm(20, CWaveForm::kInput, static_cast<UINT>(device), 0, &normalised, nullptr, 0xFFFF, 0);
  if (engine->frameSize() == 0) {
    // Frames of no bytes would come back empty forever.
    engine->Release();
    return E_INVALIDARG;
  }
  _engine = engine;
  _engine->Advise(reinterpret_cast<void*>(&onCapturedFrame), this, 1, CALLBACK_FUNCTION);
  _engine->open(CWaveForm::kInput);
  return S_OK;
}

void CWaveFormInputDevice::onCapturedFrame(UINT, void* context, WPARAM, LPARAM) {
  static_cast<CWaveFormInputDevice*>(context)->deliverCapturedFrame();
}

// On the engine's input worker: frames captured while paused are recycled unseen.
void CWaveFormInputDevice::deliverCapturedFrame() {
  stWaveFrame* frame = nullptr;
  if (!_engine->getFrame(&frame)) return;
  if (_sink != nullptr && InterlockedExchangeAdd(&_paused, 0) == 0)
    _sink->onWaveFormData(_context, frame->data, frame->header.dwBytesRecorded);
  _engine->releaseFrame(frame);
}
