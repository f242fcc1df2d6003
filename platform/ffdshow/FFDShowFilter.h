// FFDShowFilter: a TransformFilter that answers IKcmFFDShowSettings, the private
// settings interface through which the library's ffdshow helpers reach every filter of
// the stand-in.
#pragma once

#include "FilterSettings.h"
#include "TransformFilter.h"

namespace kcm::ffdshow {

class FFDShowFilter : public TransformFilter, public IKcmFFDShowSettings {
 public:
  FFDShowFilter(LPCTSTR name, REFCLSID clsid, int mediaKind, HRESULT* result);

  DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

  STDMETHODIMP GetMediaKind(int* mediaKind) override;
  STDMETHODIMP SetParam(int type, const FFDShowFilterParam* param) override;
  STDMETHODIMP GetParam(int type, FFDShowFilterParam* param) override;
  STDMETHODIMP SetMasterVolume(int percent) override;
  STDMETHODIMP SetChannelVolumes(const int* percents, int count) override;
  STDMETHODIMP SetOSDXPos(int x) override;
  STDMETHODIMP GetOSDXPos(int* x) override;
  STDMETHODIMP SetDecoderThreads(int count) override;
  STDMETHODIMP GetDecoderThreads(int* count) override;
  STDMETHODIMP SetOutputColorSpaces(const DWORD* fourCCs, int count) override;
  STDMETHODIMP GetOutputColorSpaces(DWORD* fourCCs, int capacity, int* count) override;

 protected:
  FilterSettings& Settings() { return settings_; }

 private:
  FilterSettings settings_;
};

}  // namespace kcm::ffdshow
