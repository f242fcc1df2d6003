// Tour step of pixel conversion: a YUY2 frame read from a file (or made here, colour
// bars, when none is given) converted to RGB32 and back, both written to files, with a
// timing line for each direction.
#include <stdio.h>

#include <chrono>
#include <fstream>
#include <vector>

#include "KestroPixelConvert.h"
#include "Tour.h"

namespace {

using Clock = std::chrono::steady_clock;

// Eight vertical bars of the usual test colours, in YUY2.
std::vector<BYTE> ColourBars(int width, int height) {
  static const BYTE kBars[8][3] = {{235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},
                                   {106, 202, 222}, {81, 90, 240},  {41, 240, 110}, {16, 128, 128}};
  std::vector<BYTE> frame(static_cast<size_t>(width / 2) * 4 * height);
  for (int row = 0; row < height; ++row) {
    for (int pair = 0; pair < width / 2; ++pair) {
      const BYTE* bar = kBars[pair * 2 * 8 / width];
      BYTE* out = &frame[(static_cast<size_t>(row) * (width / 2) + pair) * 4];
      out[0] = bar[0], out[1] = bar[1], out[2] = bar[0], out[3] = bar[2];
    }
  }
  return frame;
}

bool ReadFile(const std::string& path, std::vector<BYTE>* bytes) {
  std::ifstream in(path, std::ios::binary);
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.good() || in.eof();
}

bool WriteFile(const std::string& path, const std::vector<BYTE>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

template <class Convert>
void Timed(const char* what, int width, int height, Convert convert) {
  const Clock::time_point start = Clock::now();
  convert();
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  printf("   %s: %dx%d in %.2f ms (%.0f Mpixel/s)\n", what, width, height, ms, width * height / ms / 1000.0);
}

bool ConvertStep() {
  const TourOptions& options = Options();
  const int width = options.width, height = options.height;
  const size_t yuy2Bytes = static_cast<size_t>(width / 2) * 4 * height;
  std::vector<BYTE> yuy2;
  if (options.input.empty()) {
    yuy2 = ColourBars(width, height);
  } else if (!ReadFile(options.input, &yuy2) || yuy2.size() < yuy2Bytes) {
    printf("   %s: cannot read a %dx%d YUY2 frame (%zu bytes)\n", options.input.c_str(), width, height, yuy2Bytes);
    return false;
  }
  std::vector<BYTE> rgb32(static_cast<size_t>(width) * 4 * height);
  std::vector<BYTE> back(yuy2Bytes);
  Timed("YUY2 -> RGB32 (kcm_yuv2ToRGB32)", width, height,
        [&] { kcm_yuv2ToRGB32(yuy2.data(), rgb32.data(), width, height, width * 4); });
  Timed("RGB32 -> YUY2 (kcm_RGB2YUV)", width, height,
        [&] { kcm_RGB2YUV(rgb32.data(), back.data(), width, height, false, true); });
  const std::string rgbPath = options.output.empty() ? "/tmp/kcm-frame.rgb32" : options.output;
  const std::string backPath = rgbPath + ".yuy2";
  if (!WriteFile(rgbPath, rgb32) || !WriteFile(backPath, back)) return false;
  printf("   wrote %s (RGB32, %zu bytes) and %s (YUY2 again)\n", rgbPath.c_str(), rgb32.size(), backPath.c_str());
  return true;
}

}  // namespace

std::vector<TourStep> ConvertTour() {
  return {{"convert", "a frame between YUY2 and RGB32, from and to files (--input, --output, --size)", ConvertStep}};
}
