// VideoRawFilter: the stand-in's raw video processor (createTffdshowVideoRawFilter).
// Takes uncompressed YUV or RGB pictures and delivers them in the output colour space
// (by default the input's own layout first, so that nothing is converted), flipped when
// the settings say so.
#pragma once

#include "VideoFilter.h"

namespace kcm::ffdshow {

// {E78E08FD-8C6B-475C-B217-1DAE23CCF0E9}
DEFINE_GUID(CLSID_KcmFFDShowVideoRaw, 0xE78E08FD, 0x8C6B, 0x475C, 0xB2, 0x17, 0x1D, 0xAE, 0x23, 0xCC, 0xF0, 0xE9);

class VideoRawFilter : public VideoFilter {
 public:
  explicit VideoRawFilter(HRESULT* result);

  HRESULT CheckInputType(const CMediaType& type) override;
  HRESULT OnInputConnected(const CMediaType& type) override;
  void OnInputDisconnected() override { inputLayout_ = nullptr; }
  HRESULT Process(IMediaSample* input) override;

 protected:
  std::vector<DWORD> OfferedColorSpaces() override;

 private:
  const RawLayout* inputLayout_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  bool inputBottomUp_ = false;
};

}  // namespace kcm::ffdshow
