// The ffdshow parameter helpers over the stand-in's private settings interface.
#include "KestroFFDshowConfigApi.h"

#include <string.h>

#include "KestroLog.h"
#include "SourcePath.h"

namespace {

const char kSourcePath[] = KCM_SOURCE_PATH("FFDshowConfigApi");

HRESULT Logged(HRESULT hr, int line, const char* expression) {
  if (FAILED(hr)) kcm_logExpression(kSourcePath, line, expression, KcmLogCritical, true);
  return hr;
}

// The filter's settings interface with one reference, or the failure (logged).
HRESULT SettingsOf(IUnknown* filter, IKcmFFDShowSettings** settings) {
  *settings = nullptr;
  if (filter == nullptr) return Logged(E_FAIL, __LINE__, "\"hr = E_FAIL\"");
  return Logged(filter->QueryInterface(IID_IKcmFFDShowSettings, reinterpret_cast<void**>(settings)), __LINE__,
                "\"hr = filter->QueryInterface(IID_IKcmFFDShowSettings, (void**)&settings)\"");
}

// Runs `call` on the filter's settings interface and releases it.
template <class Call>
HRESULT WithSettings(IUnknown* filter, Call call) {
  IKcmFFDShowSettings* settings = nullptr;
  HRESULT hr = SettingsOf(filter, &settings);
  if (FAILED(hr)) return hr;
  hr = call(settings);
  settings->Release();
  return hr;
}

HRESULT CheckMediaKind(IKcmFFDShowSettings* settings, _AMTYPE at) {
  int kind = 0;
  HRESULT hr = settings->GetMediaKind(&kind);
  if (FAILED(hr)) return hr;
  return kind == at ? S_OK : E_INVALIDARG;
}

}  // namespace

HRESULT kcm_defaultFFDShowFilterParam(_AMTYPE at, int type, FFDShowFilterParam* param) {
  if (param == nullptr) return E_POINTER;
  memset(param, 0, sizeof(*param));
  param->video.type = type;
  if (at == AMTYPE_Video && type == FFDSHOW_PARAM_VIDEO_OUTPUT) {
    param->bytes[4] = 1;
    memset(param->bytes + 13, 1, 3);
    memset(param->bytes + 17, 1, 8);
    return S_OK;
  }
  if (at == AMTYPE_Audio && type == FFDSHOW_PARAM_AUDIO_VOLUME) {
    param->bytes[4] = 1;
    param->audio.masterVolume = 120;
    return S_OK;
  }
  return S_FALSE;
}

HRESULT kcm_getFFDShowFilterParam(IUnknown* filter, _AMTYPE at, int type, FFDShowFilterParam* param) {
  if (param == nullptr) return Logged(E_FAIL, __LINE__, "\"hr = E_FAIL\"");
  return WithSettings(filter, [&](IKcmFFDShowSettings* settings) {
    HRESULT hr = CheckMediaKind(settings, at);
    if (SUCCEEDED(hr)) hr = settings->GetParam(type, param);
    return Logged(hr, __LINE__, "\"hr = settings->GetParam(type, param)\"");
  });
}

HRESULT kcm_setFFDShowFilterParam(IUnknown* filter, _AMTYPE at, int type, FFDShowFilterParam* param) {
  if (param == nullptr) return Logged(E_FAIL, __LINE__, "\"hr = E_FAIL\"");
  return WithSettings(filter, [&](IKcmFFDShowSettings* settings) {
    HRESULT hr = CheckMediaKind(settings, at);
    if (SUCCEEDED(hr)) hr = settings->SetParam(type, param);
    return Logged(hr, __LINE__, "\"hr = settings->SetParam(type, param)\"");
  });
}

HRESULT kcm_setFFDShowPreset(IUnknown* /*filter*/) { return S_OK; }

HRESULT kcm_setFFDShowFilterMasterVolume(IUnknown* filter, int value) {
  return WithSettings(filter, [&](IKcmFFDShowSettings* settings) {
    return Logged(settings->SetMasterVolume(value), __LINE__, "\"hr = settings->SetMasterVolume(value)\"");
  });
}

HRESULT kcm_setFFDShowFilterVolumeData(IUnknown* filter, const int* volumes, int count) {
  return WithSettings(filter, [&](IKcmFFDShowSettings* settings) {
    return Logged(settings->SetChannelVolumes(volumes, count), __LINE__,
                  "\"hr = settings->SetChannelVolumes(volumes, count)\"");
  });
}

HRESULT kcm_setFFDShowFilterOSDXPos(IUnknown* filter, int x) {
  return WithSettings(filter, [&](IKcmFFDShowSettings* settings) {
    return Logged(settings->SetOSDXPos(x), __LINE__, "\"hr = settings->SetOSDXPos(x)\"");
  });
}

HRESULT kcm_setFFDShowFilterMultiThreadDec(IUnknown* filter, int threads) {
  return WithSettings(filter, [&](IKcmFFDShowSettings* settings) {
    return Logged(settings->SetDecoderThreads(threads), __LINE__, "\"hr = settings->SetDecoderThreads(threads)\"");
  });
}

HRESULT kcm_setFFDShowFilterCSPFccs(IUnknown* filter, const DWORD* fourCCs, int count) {
  return WithSettings(filter, [&](IKcmFFDShowSettings* settings) {
    return Logged(settings->SetOutputColorSpaces(fourCCs, count), __LINE__,
                  "\"hr = settings->SetOutputColorSpaces(fourCCs, count)\"");
  });
}
