#include "V4l2CaptureFilter.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "CaptureFilter.h"
#include "uuids.h"

namespace kcm::devices {

namespace {

DEFINE_GUID(CLSID_KcmV4l2Capture, 0x8A3C5E13, 0x1F4B, 0x4C7A, 0x9E, 0x52, 0x0D, 0x6B, 0x21, 0x7F, 0x3A, 0x90);

constexpr wchar_t kPathPrefix[] = L"v4l2:";
constexpr int kBufferCount = 4;
constexpr int kPollMilliseconds = 50;

int xioctl(int fd, unsigned long request, void* argument) {
  int result;
  do {
    result = ioctl(fd, request, argument);
  } while (result == -1 && errno == EINTR);
  return result;
}

// A device that went away answers as missing hardware; anything else as a failure.
HRESULT fromErrno() { return errno == ENODEV || errno == ENOENT ? VFW_E_NO_CAPTURE_HARDWARE : E_FAIL; }

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }
std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(c);
  return out;
}

// A V4L2 pixel format and the DirectShow subtype it is delivered as.
struct PixelMapping {
  __u32 pixelFormat;
  GUID subtype;
  WORD bitCount;
  DWORD compression;
  bool bottomUp;  // DirectShow RGB is bottom-up: rows are flipped on the way
};

const PixelMapping kMappings[] = {
    {V4L2_PIX_FMT_YUYV, MEDIASUBTYPE_YUY2, 16, MEDIASUBTYPE_YUY2.Data1, false},
    {V4L2_PIX_FMT_YUV420, MEDIASUBTYPE_I420, 12, MEDIASUBTYPE_I420.Data1, false},
    {V4L2_PIX_FMT_BGR24, MEDIASUBTYPE_RGB24, 24, BI_RGB, true},
    {V4L2_PIX_FMT_XBGR32, MEDIASUBTYPE_RGB32, 32, BI_RGB, true},
    {V4L2_PIX_FMT_BGR32, MEDIASUBTYPE_RGB32, 32, BI_RGB, true},
};

const PixelMapping* mappingOf(__u32 pixelFormat) {
  for (const PixelMapping& mapping : kMappings) {
    if (mapping.pixelFormat == pixelFormat) return &mapping;
  }
  return nullptr;
}

struct Offer {
  const PixelMapping* mapping;
  __u32 width;
  __u32 height;
  LONGLONG interval;  // 100 ns
};

CMediaType offerType(const Offer& offer) {
  CMediaType type(&MEDIATYPE_Video);
  type.SetSubtype(&offer.mapping->subtype);
  type.SetFormatType(&FORMAT_VideoInfo);
  VIDEOINFOHEADER* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  std::memset(info, 0, sizeof(VIDEOINFOHEADER));
  info->AvgTimePerFrame = offer.interval;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = static_cast<LONG>(offer.width);
  info->bmiHeader.biHeight = static_cast<LONG>(offer.height);
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = offer.mapping->bitCount;
  info->bmiHeader.biCompression = offer.mapping->compression;
  info->bmiHeader.biSizeImage = offer.width * offer.height * offer.mapping->bitCount / 8;
  type.SetSampleSize(info->bmiHeader.biSizeImage);
  return type;
}

std::vector<BYTE> offerCaps(const Offer& offer) {
  VIDEO_STREAM_CONFIG_CAPS caps{};
  caps.guid = FORMAT_VideoInfo;
  caps.InputSize = caps.MinOutputSize = caps.MaxOutputSize = SIZE{LONG(offer.width), LONG(offer.height)};
  caps.MinCroppingSize = caps.MaxCroppingSize = caps.InputSize;
  caps.OutputGranularityX = caps.OutputGranularityY = 1;
  caps.MinFrameInterval = caps.MaxFrameInterval = offer.interval;
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&caps);
  return std::vector<BYTE>(bytes, bytes + sizeof(caps));
}

class V4l2Source final : public CaptureSource {
 public:
  explicit V4l2Source(int fd) : fd_(fd) { enumerateFormats(); }
  ~V4l2Source() override {
    stop();
    close(fd_);
  }

  const std::vector<CaptureFormat>& formats() const override { return formats_; }

  HRESULT accept(CMediaType& type) const override {
    if (*type.Type() != MEDIATYPE_Video || *type.FormatType() != FORMAT_VideoInfo ||
        type.FormatLength() < sizeof(VIDEOINFOHEADER)) {
      return VFW_E_INVALIDMEDIATYPE;
    }
    VIDEOINFOHEADER* info = reinterpret_cast<VIDEOINFOHEADER*>(type.Format());
    const Offer* offer = findOffer(*type.Subtype(), info->bmiHeader.biWidth, info->bmiHeader.biHeight, info->AvgTimePerFrame);
    if (offer == nullptr) return VFW_E_INVALIDMEDIATYPE;
    if (info->AvgTimePerFrame == 0) info->AvgTimePerFrame = offer->interval;
    info->bmiHeader.biBitCount = offer->mapping->bitCount;
    info->bmiHeader.biCompression = offer->mapping->compression;
    info->bmiHeader.biSizeImage = offer->width * offer->height * offer->mapping->bitCount / 8;
    type.SetSampleSize(info->bmiHeader.biSizeImage);
    return S_OK;
  }

  HRESULT start(const CMediaType& type) override {
    const VIDEOINFOHEADER* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.Format());
    active_ = findOffer(*type.Subtype(), info->bmiHeader.biWidth, info->bmiHeader.biHeight, info->AvgTimePerFrame);
    if (active_ == nullptr) return VFW_E_INVALIDMEDIATYPE;
    interrupted_ = false;
    firstTimestamp_ = -1;
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = active_->width;
    format.fmt.pix.height = active_->height;
    format.fmt.pix.pixelformat = active_->mapping->pixelFormat;
    format.fmt.pix.field = V4L2_FIELD_NONE;
    if (xioctl(fd_, VIDIOC_S_FMT, &format) == -1) return fromErrno();
    stride_ = format.fmt.pix.bytesperline;
    setFrameInterval(info->AvgTimePerFrame);
    return mapBuffers();
  }

  HRESULT fill(IMediaSample* sample) override {
    pollfd ready{fd_, POLLIN, 0};
    while (!interrupted_) {
      const int polled = poll(&ready, 1, kPollMilliseconds);
      if (polled < 0 && errno != EINTR) return fromErrno();
      if (polled > 0) return takeFrame(sample);
    }
    return S_FALSE;
  }

  void interrupt() override { interrupted_ = true; }

  void stop() override {
    if (buffers_.empty()) return;
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    xioctl(fd_, VIDIOC_STREAMOFF, &type);
    for (const Mapped& buffer : buffers_) munmap(buffer.start, buffer.length);
    buffers_.clear();
    v4l2_requestbuffers none{};
    none.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    none.memory = V4L2_MEMORY_MMAP;
    xioctl(fd_, VIDIOC_REQBUFS, &none);
  }

  // The device's controls with their values and ranges.
  std::wstring describe() const override {
    std::wstring text;
    v4l2_queryctrl control{};
    control.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (xioctl(fd_, VIDIOC_QUERYCTRL, &control) == 0) {
      if (!(control.flags & V4L2_CTRL_FLAG_DISABLED) && control.type != V4L2_CTRL_TYPE_CTRL_CLASS) {
        v4l2_control value{};
        value.id = control.id;
        const bool read = xioctl(fd_, VIDIOC_G_CTRL, &value) == 0;
        text += widen(reinterpret_cast<const char*>(control.name)) + L" = " +
                (read ? std::to_wstring(value.value) : std::wstring(L"?")) + L" (" + std::to_wstring(control.minimum) +
                L".." + std::to_wstring(control.maximum) + L")\n";
      }
      control.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    return text;
  }

 private:
  struct Mapped {
    void* start;
    size_t length;
  };

  void enumerateFormats() {
    v4l2_fmtdesc description{};
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (description.index = 0; xioctl(fd_, VIDIOC_ENUM_FMT, &description) == 0; ++description.index) {
      if (const PixelMapping* mapping = mappingOf(description.pixelformat)) enumerateSizes(mapping);
    }
    for (const Offer& offer : offers_) formats_.push_back(CaptureFormat{offerType(offer), offerCaps(offer)});
  }
  void enumerateSizes(const PixelMapping* mapping) {
    v4l2_frmsizeenum size{};
    size.pixel_format = mapping->pixelFormat;
    for (size.index = 0; xioctl(fd_, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
      if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
        enumerateIntervals(mapping, size.discrete.width, size.discrete.height);
      } else {
        enumerateIntervals(mapping, size.stepwise.max_width, size.stepwise.max_height);  // the largest only
        return;
      }
    }
  }
  void enumerateIntervals(const PixelMapping* mapping, __u32 width, __u32 height) {
    v4l2_frmivalenum interval{};
    interval.pixel_format = mapping->pixelFormat;
    interval.width = width;
    interval.height = height;
    bool any = false;
    for (interval.index = 0; xioctl(fd_, VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0; ++interval.index) {
      const v4l2_fract& fraction =
          interval.type == V4L2_FRMIVAL_TYPE_DISCRETE ? interval.discrete : interval.stepwise.min;
      if (fraction.denominator == 0) continue;
      offers_.push_back(Offer{mapping, width, height, LONGLONG(fraction.numerator) * 10000000 / fraction.denominator});
      any = true;
      if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE) break;
    }
    if (!any) offers_.push_back(Offer{mapping, width, height, 333333});
  }

  const Offer* findOffer(const GUID& subtype, LONG width, LONG height, LONGLONG interval) const {
    const Offer* sameSize = nullptr;
    for (const Offer& offer : offers_) {
      if (offer.mapping->subtype != subtype || LONG(offer.width) != width || LONG(offer.height) != std::abs(height)) continue;
      if (offer.interval == interval) return &offer;
      if (sameSize == nullptr || interval == 0) sameSize = &offer;
    }
    return interval == 0 ? sameSize : nullptr;
  }

  void setFrameInterval(LONGLONG interval) {
    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parameters.parm.capture.timeperframe.numerator = static_cast<__u32>(interval);
    parameters.parm.capture.timeperframe.denominator = 10000000;
    xioctl(fd_, VIDIOC_S_PARM, &parameters);  // devices without frame-rate control keep theirs
  }

  HRESULT mapBuffers() {
    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd_, VIDIOC_REQBUFS, &request) == -1 || request.count == 0) return fromErrno();
    for (__u32 index = 0; index < request.count; ++index) {
      v4l2_buffer buffer{};
      buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer.memory = V4L2_MEMORY_MMAP;
      buffer.index = index;
      if (xioctl(fd_, VIDIOC_QUERYBUF, &buffer) == -1) return failStart();
      void* start = mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buffer.m.offset);
      if (start == MAP_FAILED) return failStart();
      buffers_.push_back(Mapped{start, buffer.length});
      if (xioctl(fd_, VIDIOC_QBUF, &buffer) == -1) return failStart();
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    return xioctl(fd_, VIDIOC_STREAMON, &type) == -1 ? failStart() : S_OK;
  }
  HRESULT failStart() {
    const HRESULT hr = fromErrno();
    stop();
    return hr;
  }

  HRESULT takeFrame(IMediaSample* sample) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd_, VIDIOC_DQBUF, &buffer) == -1) return errno == EAGAIN ? S_FALSE : fromErrno();
    const HRESULT hr = copyFrame(sample, static_cast<const BYTE*>(buffers_[buffer.index].start), buffer);
    xioctl(fd_, VIDIOC_QBUF, &buffer);
    return hr;
  }
  HRESULT copyFrame(IMediaSample* sample, const BYTE* frame, const v4l2_buffer& buffer) {
    BYTE* out = nullptr;
    sample->GetPointer(&out);
    const size_t rowBytes = active_->width * active_->mapping->bitCount / 8;
    const size_t size = rowBytes * active_->height;
    if (out == nullptr || static_cast<size_t>(sample->GetSize()) < size) return VFW_E_BUFFER_OVERFLOW;
    if (active_->mapping->bottomUp) {
      for (__u32 row = 0; row < active_->height; ++row) {
        std::memcpy(out + (active_->height - 1 - row) * rowBytes, frame + row * stride_, rowBytes);
      }
    } else {
      std::memcpy(out, frame, std::min<size_t>(size, buffer.bytesused));
    }
    const LONGLONG microseconds = LONGLONG(buffer.timestamp.tv_sec) * 1000000 + buffer.timestamp.tv_usec;
    if (firstTimestamp_ < 0) firstTimestamp_ = microseconds;
    REFERENCE_TIME start = (microseconds - firstTimestamp_) * 10;
    REFERENCE_TIME end = start + active_->interval;
    sample->SetTime(&start, &end);
    sample->SetActualDataLength(static_cast<long>(size));
    sample->SetSyncPoint(TRUE);
    return S_OK;
  }

  const int fd_;
  std::vector<Offer> offers_;
  std::vector<CaptureFormat> formats_;
  std::vector<Mapped> buffers_;
  const Offer* active_ = nullptr;
  __u32 stride_ = 0;
  LONGLONG firstTimestamp_ = -1;
  std::atomic<bool> interrupted_{false};
};

// The card name of a node that captures video, or empty.
std::string captureCardName(int fd) {
  v4l2_capability capability{};
  if (xioctl(fd, VIDIOC_QUERYCAP, &capability) == -1) return std::string();
  const __u32 capabilities =
      capability.capabilities & V4L2_CAP_DEVICE_CAPS ? capability.device_caps : capability.capabilities;
  if (!(capabilities & V4L2_CAP_VIDEO_CAPTURE) || !(capabilities & V4L2_CAP_STREAMING)) return std::string();
  return reinterpret_cast<const char*>(capability.card);
}

class V4l2CaptureFilter final : public CaptureFilter {
 public:
  V4l2CaptureFilter(const std::wstring& name, LPCWSTR devicePath, int fd, HRESULT* hr)
      : CaptureFilter(name.c_str(), devicePath, CLSID_KcmV4l2Capture) {
    addCapturePin(L"Capture", std::make_unique<V4l2Source>(fd), PIN_CATEGORY_CAPTURE, hr);
  }
};

HRESULT openV4l2Device(LPCWSTR devicePath, IBaseFilter** filter) {
  CheckPointer(filter, E_POINTER);
  *filter = nullptr;
  const std::wstring path(devicePath);
  if (path.compare(0, wcslen(kPathPrefix), kPathPrefix) != 0) return E_INVALIDARG;
  const int fd = open(narrow(path.substr(wcslen(kPathPrefix))).c_str(), O_RDWR | O_NONBLOCK);
  if (fd < 0) return VFW_E_NO_CAPTURE_HARDWARE;  // gone since it was listed
  const std::string card = captureCardName(fd);
  if (card.empty()) {
    close(fd);
    return VFW_E_NO_CAPTURE_HARDWARE;
  }
  HRESULT hr = S_OK;
  V4l2CaptureFilter* device = new V4l2CaptureFilter(widen(card), devicePath, fd, &hr);
  device->AddRef();
  if (FAILED(hr)) {
    device->Release();
    return hr;
  }
  *filter = device;
  return S_OK;
}

}  // namespace

void listV4l2Devices(KcmCaptureDeviceVisitor visit, void* context) {
  DIR* directory = opendir("/dev");
  if (directory == nullptr) return;
  std::vector<std::string> nodes;
  while (dirent* entry = readdir(directory)) {
    if (std::strncmp(entry->d_name, "video", 5) == 0) nodes.push_back(std::string("/dev/") + entry->d_name);
  }
  closedir(directory);
  std::sort(nodes.begin(), nodes.end());
  for (const std::string& node : nodes) {
    const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) continue;
    const std::string card = captureCardName(fd);
    close(fd);
    if (card.empty()) continue;
    const std::wstring path = kPathPrefix + widen(node);
    visit(context, widen(card).c_str(), path.c_str(), &openV4l2Device);
  }
}

}  // namespace kcm::devices
