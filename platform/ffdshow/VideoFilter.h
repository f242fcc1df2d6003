// VideoFilter: the output side shared by the video decoder and the raw video processor.
// It offers w × h pictures in the colour spaces of the settings (in their order), and
// writes each picture once, straight into the output sample: a row copy when the
// picture already has the negotiated layout, one libswscale pass otherwise. The flip
// setting is applied in the same pass by walking the target rows backwards.
#pragma once

#include <vector>

#include "FFDShowFilter.h"
#include "PictureConverter.h"
#include "PictureLayout.h"

namespace kcm::ffdshow {

class VideoFilter : public FFDShowFilter {
 public:
  VideoFilter(LPCTSTR name, REFCLSID clsid, HRESULT* result);

  HRESULT GetOutputType(int position, CMediaType* type) override;
  HRESULT CheckOutputType(const CMediaType& type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT OnOutputConnected(const CMediaType& type) override;

 protected:
  // The input's picture size and frame duration, set when the input connects.
  void SetPictureFormat(int width, int height, REFERENCE_TIME avgTimePerFrame);
  REFERENCE_TIME AvgTimePerFrame() const { return avgTimePerFrame_; }
  // The colour spaces offered, most wanted first.
  virtual std::vector<DWORD> OfferedColorSpaces() { return Settings().OutputColorSpaces(); }
  // Writes `picture` into a new output sample and delivers it; a picture of another size
  // is scaled to the negotiated one. `end` is used when it lies after `start`.
  HRESULT DeliverPicture(const PictureView& picture, bool timed, REFERENCE_TIME start, REFERENCE_TIME end);

 private:
  int width_ = 0;
  int height_ = 0;
  REFERENCE_TIME avgTimePerFrame_ = 0;
  const RawLayout* outputLayout_ = nullptr;
  bool outputBottomUp_ = false;
  bool reportedConversion_ = false;
  PictureConverter converter_;
};

}  // namespace kcm::ffdshow
