#include "TestPatternCamera.h"

#include <cstring>
#include <vector>

#include "CaptureFilter.h"
#include "Pacer.h"
#include "TestCrossbarFilter.h"
#include "uuids.h"

namespace kcm::devices {

namespace {

DEFINE_GUID(CLSID_KcmTestPatternCamera, 0x8A3C5E11, 0x1F4B, 0x4C7A, 0x9E, 0x52, 0x0D, 0x6B, 0x21, 0x7F, 0x3A, 0x90);

constexpr DWORD fourCC(const char (&text)[5]) {
  return DWORD(BYTE(text[0])) | DWORD(BYTE(text[1])) << 8 | DWORD(BYTE(text[2])) << 16 | DWORD(BYTE(text[3])) << 24;
}
constexpr LONGLONG kLongestFrameInterval = 10000000;  // 1 fps

// How one FourCC lays out its pixels.
struct PixelLayout {
  DWORD code;
  GUID subtype;
  WORD bitCount;
  DWORD compression;
};

const PixelLayout kLayouts[] = {
    {fourCC("YUY2"), MEDIASUBTYPE_YUY2, 16, fourCC("YUY2")},
    {fourCC("I420"), MEDIASUBTYPE_I420, 12, fourCC("I420")},
    {fourCC("RV32"), MEDIASUBTYPE_RGB32, 32, BI_RGB},
    {fourCC("RGBA"), MEDIASUBTYPE_ARGB32, 32, BI_RGB},
};

const PixelLayout* layoutOfCode(DWORD code) {
  for (const PixelLayout& layout : kLayouts) {
    if (layout.code == code) return &layout;
  }
  return nullptr;
}

const PixelLayout* layoutOfSubtype(const GUID& subtype) {
  for (const PixelLayout& layout : kLayouts) {
    if (layout.subtype == subtype) return &layout;
  }
  return nullptr;
}

DWORD imageSize(const PixelLayout& layout, LONG width, LONG height) {
  const DWORD pixels = static_cast<DWORD>(width) * static_cast<DWORD>(height < 0 ? -height : height);
  return pixels * layout.bitCount / 8;
}

CMediaType videoType(const PixelLayout& layout, SIZE size, LONGLONG interval) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&layout.subtype);
  type.SetFormatType(&FORMAT_VideoInfo);
  VIDEOINFOHEADER* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  std::memset(info, 0, sizeof(VIDEOINFOHEADER));
  info->AvgTimePerFrame = interval;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = size.cx;
  info->bmiHeader.biHeight = size.cy;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = layout.bitCount;
  info->bmiHeader.biCompression = layout.compression;
  info->bmiHeader.biSizeImage = imageSize(layout, size.cx, size.cy);
  info->dwBitRate = static_cast<DWORD>(static_cast<LONGLONG>(info->bmiHeader.biSizeImage) * 8 * 10000000 / interval);
  type.SetSampleSize(info->bmiHeader.biSizeImage);
  type.SetTemporalCompression(FALSE);
  return type;
}

std::vector<BYTE> videoCaps(SIZE size, LONGLONG shortestInterval) {
  VIDEO_STREAM_CONFIG_CAPS caps{};
  caps.guid = FORMAT_VideoInfo;
  caps.InputSize = size;
  caps.MinCroppingSize = caps.MaxCroppingSize = size;
  caps.MinOutputSize = caps.MaxOutputSize = size;
  caps.CropGranularityX = caps.CropGranularityY = 1;
  caps.OutputGranularityX = caps.OutputGranularityY = 1;
  caps.MinFrameInterval = shortestInterval;
  caps.MaxFrameInterval = kLongestFrameInterval;
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&caps);
  return std::vector<BYTE>(bytes, bytes + sizeof(caps));
}

// Moving stripes: each frame shifts the picture four pixels to the left, so that
// consecutive frames differ and a frozen picture shows.
class PatternSource final : public CaptureSource {
 public:
  explicit PatternSource(const KcmTestCameraShape& shape) {
    LONGLONG shortest = kLongestFrameInterval;
    for (int i = 0; i < shape.frameIntervalCount; ++i) shortest = std::min(shortest, shape.frameIntervals[i]);
    shortest_ = shortest;
    for (int c = 0; c < shape.fourCCCount; ++c) {
      const PixelLayout* layout = layoutOfCode(shape.fourCCs[c]);
      if (layout == nullptr) continue;
      for (int s = 0; s < shape.sizeCount; ++s) {
        for (int i = 0; i < shape.frameIntervalCount; ++i) {
          formats_.push_back(CaptureFormat{videoType(*layout, shape.sizes[s], shape.frameIntervals[i]),
                                           videoCaps(shape.sizes[s], shortest)});
        }
      }
    }
  }

  const std::vector<CaptureFormat>& formats() const override { return formats_; }

  HRESULT accept(CMediaType& type) const override {
    const PixelLayout* layout = layoutOfSubtype(*type.Subtype());
    if (*type.Type() != MEDIATYPE_Video || *type.FormatType() != FORMAT_VideoInfo || layout == nullptr ||
        type.FormatLength() < sizeof(VIDEOINFOHEADER)) {
      return VFW_E_INVALIDMEDIATYPE;
    }
    VIDEOINFOHEADER* info = reinterpret_cast<VIDEOINFOHEADER*>(type.Format());
    if (!offersSize(*layout, info->bmiHeader.biWidth, info->bmiHeader.biHeight)) return VFW_E_INVALIDMEDIATYPE;
    if (info->AvgTimePerFrame == 0) info->AvgTimePerFrame = defaultInterval(*layout);
    if (info->AvgTimePerFrame < shortest_ || info->AvgTimePerFrame > kLongestFrameInterval) return VFW_E_INVALIDMEDIATYPE;
    // The image size is ours to say, whatever the caller computed.
    info->bmiHeader.biBitCount = layout->bitCount;
    info->bmiHeader.biCompression = layout->compression;
    info->bmiHeader.biSizeImage = imageSize(*layout, info->bmiHeader.biWidth, info->bmiHeader.biHeight);
    type.SetSampleSize(info->bmiHeader.biSizeImage);
    return S_OK;
  }

  HRESULT start(const CMediaType& type) override {
    const VIDEOINFOHEADER* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.Format());
    const PixelLayout* layout = layoutOfSubtype(*type.Subtype());
    if (info == nullptr || layout == nullptr) return VFW_E_INVALIDMEDIATYPE;
    layout_ = layout;
    width_ = info->bmiHeader.biWidth;
    height_ = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
    interval_ = info->AvgTimePerFrame > 0 ? info->AvgTimePerFrame : shortest_;
    frame_ = 0;
    pacer_.start();
    return S_OK;
  }

  HRESULT fill(IMediaSample* sample) override {
    REFERENCE_TIME start = frame_ * interval_;
    REFERENCE_TIME end = start + interval_;
    if (!pacer_.waitUntil(start)) return S_FALSE;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    const long size = static_cast<long>(imageSize(*layout_, width_, height_));
    if (buffer == nullptr || sample->GetSize() < size) return VFW_E_BUFFER_OVERFLOW;
    paint(buffer);
    sample->SetActualDataLength(size);
    sample->SetTime(&start, &end);
    sample->SetSyncPoint(TRUE);
    ++frame_;
    return S_OK;
  }

  void interrupt() override { pacer_.interrupt(); }
  void stop() override {}

  std::wstring describe() const override {
    return L"Pattern: moving stripes, " + std::to_wstring(formats_.size()) + L" formats\n";
  }

 private:
  bool offersSize(const PixelLayout& layout, LONG width, LONG height) const {
    for (const CaptureFormat& format : formats_) {
      const VIDEOINFOHEADER* info = reinterpret_cast<const VIDEOINFOHEADER*>(format.type.Format());
      if (*format.type.Subtype() == layout.subtype && info->bmiHeader.biWidth == width &&
          (info->bmiHeader.biHeight == height || info->bmiHeader.biHeight == -height)) {
        return true;
      }
    }
    return false;
  }
  LONGLONG defaultInterval(const PixelLayout& layout) const {
    for (const CaptureFormat& format : formats_) {
      if (*format.type.Subtype() == layout.subtype) {
        return reinterpret_cast<const VIDEOINFOHEADER*>(format.type.Format())->AvgTimePerFrame;
      }
    }
    return shortest_;
  }

  void paint(BYTE* buffer) const {
    const int shift = static_cast<int>(frame_ * 4);
    if (layout_->bitCount == 32) return paintRgb(buffer, shift);
    if (layout_->code == fourCC("YUY2")) return paintYuy2(buffer, shift);
    paintI420(buffer, shift);
  }
  void paintRgb(BYTE* buffer, int shift) const {
    for (LONG y = 0; y < height_; ++y) {
      BYTE* row = buffer + static_cast<size_t>(y) * width_ * 4;
      for (LONG x = 0; x < width_; ++x) {
        row[x * 4 + 0] = BYTE(x + shift);
        row[x * 4 + 1] = BYTE(y);
        row[x * 4 + 2] = BYTE(shift * 2);
        row[x * 4 + 3] = 0xFF;
      }
    }
  }
  void paintYuy2(BYTE* buffer, int shift) const {
    for (LONG y = 0; y < height_; ++y) {
      BYTE* row = buffer + static_cast<size_t>(y) * width_ * 2;
      for (LONG x = 0; x + 1 < width_; x += 2) {
        row[x * 2 + 0] = BYTE(x + shift);
        row[x * 2 + 1] = BYTE(y);
        row[x * 2 + 2] = BYTE(x + 1 + shift);
        row[x * 2 + 3] = BYTE(255 - y);
      }
    }
  }
  void paintI420(BYTE* buffer, int shift) const {
    const size_t lumaSize = static_cast<size_t>(width_) * height_;
    for (LONG y = 0; y < height_; ++y) {
      for (LONG x = 0; x < width_; ++x) buffer[static_cast<size_t>(y) * width_ + x] = BYTE(x + shift);
    }
    const size_t chromaSize = lumaSize / 4;
    std::memset(buffer + lumaSize, 96, chromaSize);
    std::memset(buffer + lumaSize + chromaSize, 160, chromaSize);
  }

  std::vector<CaptureFormat> formats_;
  LONGLONG shortest_ = kLongestFrameInterval;
  const PixelLayout* layout_ = nullptr;
  LONG width_ = 0;
  LONG height_ = 0;
  LONGLONG interval_ = 0;
  LONGLONG frame_ = 0;
  Pacer pacer_;
};

// The camera puts its crossbar in front of its analog input when it joins a graph, as
// the graph builder does for analog capture hardware on Windows.
class TestPatternCamera final : public CaptureFilter {
 public:
  TestPatternCamera(const KcmTestCameraShape& shape, LPCWSTR friendlyName, LPCWSTR devicePath, HRESULT* hr)
      : CaptureFilter(friendlyName, devicePath, CLSID_KcmTestPatternCamera) {
    addCapturePin(L"Capture", std::make_unique<PatternSource>(shape), PIN_CATEGORY_CAPTURE, hr);
    auto analog = std::make_unique<AnalogInputPin>(this, filterLock(), L"Analog Video In", MEDIATYPE_AnalogVideo, hr);
    analogInput_ = analog.get();
    addPin(std::move(analog));
  }

  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
    const HRESULT hr = CaptureFilter::JoinFilterGraph(graph, name);
    if (SUCCEEDED(hr) && graph != nullptr && !analogInput_->IsConnected()) attachCrossbar(graph);
    return hr;
  }

 private:
  // Best effort: a camera without its crossbar still captures.
  void attachCrossbar(IFilterGraph* graph) {
    IBaseFilter* crossbar = createTestCrossbarFilter();
    IPin* output = nullptr;
    if (SUCCEEDED(graph->AddFilter(crossbar, L"Kestro Test Crossbar")) &&
        SUCCEEDED(crossbar->FindPin(L"0: Video Decoder Out", &output))) {
      if (FAILED(output->Connect(analogInput_, nullptr))) graph->RemoveFilter(crossbar);
      output->Release();
    }
    crossbar->Release();
  }

  AnalogInputPin* analogInput_ = nullptr;
};

const DWORD kStandardFourCCs[] = {fourCC("YUY2"), fourCC("RV32"), fourCC("I420")};
const SIZE kStandardSizes[] = {{160, 120}, {320, 240}, {640, 480}, {1280, 720}};
const LONGLONG kStandardIntervals[] = {333333, 400000, 666666};

}  // namespace

const KcmTestCameraShape& standardTestCameraShape() {
  static const KcmTestCameraShape shape{kStandardFourCCs, 3, kStandardSizes, 4, kStandardIntervals, 3};
  return shape;
}

HRESULT openTestPatternCamera(const KcmTestCameraShape& shape, LPCWSTR friendlyName, LPCWSTR devicePath,
                              IBaseFilter** filter) {
  CheckPointer(filter, E_POINTER);
  *filter = nullptr;
  if ((shape.fourCCCount > 0 && shape.fourCCs == nullptr) || (shape.sizeCount > 0 && shape.sizes == nullptr) ||
      (shape.frameIntervalCount > 0 && shape.frameIntervals == nullptr)) {
    return E_POINTER;
  }
  for (int i = 0; i < shape.frameIntervalCount; ++i) {
    if (shape.frameIntervals[i] <= 0) return E_INVALIDARG;
  }
  HRESULT hr = S_OK;
  TestPatternCamera* camera = new TestPatternCamera(shape, friendlyName, devicePath, &hr);
  camera->AddRef();
  if (FAILED(hr)) {
    camera->Release();
    return hr;
  }
  *filter = camera;
  return S_OK;
}

}  // namespace kcm::devices
