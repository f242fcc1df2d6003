#include "FFDShowFilter.h"

#include "PictureLayout.h"

namespace kcm::ffdshow {

FFDShowFilter::FFDShowFilter(LPCTSTR name, REFCLSID clsid, int mediaKind, HRESULT* result)
    : TransformFilter(name, clsid, result),
      settings_(mediaKind, mediaKind == 1 ? DefaultOutputColorSpaces() : std::vector<DWORD>{}) {}

STDMETHODIMP FFDShowFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  CheckPointer(object, E_POINTER);
  if (iid == IID_IKcmFFDShowSettings) return GetInterface(static_cast<IKcmFFDShowSettings*>(this), object);
  return TransformFilter::NonDelegatingQueryInterface(iid, object);
}

STDMETHODIMP FFDShowFilter::GetMediaKind(int* mediaKind) {
  CheckPointer(mediaKind, E_POINTER);
  *mediaKind = settings_.MediaKind();
  return S_OK;
}

STDMETHODIMP FFDShowFilter::SetParam(int type, const FFDShowFilterParam* param) {
  CheckPointer(param, E_POINTER);
  return settings_.SetParam(type, *param);
}

STDMETHODIMP FFDShowFilter::GetParam(int type, FFDShowFilterParam* param) {
  return settings_.GetParam(type, param);
}

STDMETHODIMP FFDShowFilter::SetMasterVolume(int percent) { return settings_.SetMasterVolume(percent); }

STDMETHODIMP FFDShowFilter::SetChannelVolumes(const int* percents, int count) {
  return settings_.SetChannelVolumes(percents, count);
}

STDMETHODIMP FFDShowFilter::SetOSDXPos(int x) {
  settings_.SetOSDXPos(x);
  return S_OK;
}

STDMETHODIMP FFDShowFilter::GetOSDXPos(int* x) {
  CheckPointer(x, E_POINTER);
  *x = settings_.OSDXPos();
  return S_OK;
}

STDMETHODIMP FFDShowFilter::SetDecoderThreads(int count) { return settings_.SetDecoderThreads(count); }

STDMETHODIMP FFDShowFilter::GetDecoderThreads(int* count) {
  CheckPointer(count, E_POINTER);
  *count = settings_.DecoderThreads();
  return S_OK;
}

STDMETHODIMP FFDShowFilter::SetOutputColorSpaces(const DWORD* fourCCs, int count) {
  const HRESULT hr = settings_.SetOutputColorSpaces(fourCCs, count);
  if (SUCCEEDED(hr)) Output().IncrementTypeVersion();
  return hr;
}

STDMETHODIMP FFDShowFilter::GetOutputColorSpaces(DWORD* fourCCs, int capacity, int* count) {
  CheckPointer(count, E_POINTER);
  const std::vector<DWORD> spaces = settings_.OutputColorSpaces();
  *count = static_cast<int>(spaces.size());
  if (fourCCs == nullptr || capacity < *count) return S_FALSE;
  for (size_t index = 0; index < spaces.size(); ++index) fourCCs[index] = spaces[index];
  return S_OK;
}

}  // namespace kcm::ffdshow
