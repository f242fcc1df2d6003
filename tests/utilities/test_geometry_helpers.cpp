#include <gtest/gtest.h>

#include <tuple>

#include "KestroFormatHelpers.h"

namespace {

using Edges = std::tuple<LONG, LONG, LONG, LONG>;
Edges edges(const RECT& rect) { return Edges(rect.left, rect.top, rect.right, rect.bottom); }

}  // namespace

// Tests the four branches; the ratio is rounded to float, so 400 / (16/9) truncates to 224.
TEST(AspectLetterBoxRect2, FitsCentredInTheBounds) {
  RECT out{};
  kcm_aspectLetterBoxRect2(16.0f, 9.0f, RECT{0, 0, 400, 400}, out);
  EXPECT_EQ(edges(out), Edges(0, 88, 400, 312));
  kcm_aspectLetterBoxRect2(1.0f, 4.0f, RECT{0, 0, 100, 200}, out);
  EXPECT_EQ(edges(out), Edges(25, 0, 75, 200));
  kcm_aspectLetterBoxRect2(4.0f, 3.0f, RECT{10, 20, 810, 320}, out);
  EXPECT_EQ(edges(out), Edges(210, 20, 610, 320));
  kcm_aspectLetterBoxRect2(4.0f, 1.0f, RECT{0, 0, 300, 200}, out);
  EXPECT_EQ(edges(out), Edges(0, 63, 300, 138));
}

// Tests the scaling into the aspect's own space, and the empty rectangle where the
// letter-box has no size (aspect truncating to 0, empty bounds).
TEST(AspectLetterBoxRect, ScalesIntoTheAspectSpace) {
  RECT out{};
  kcm_aspectLetterBoxRect(16.0f, 9.0f, RECT{0, 0, 1600, 1200}, out);
  EXPECT_EQ(edges(out), Edges(0, 1, 16, 7));
  kcm_aspectLetterBoxRect(0.5f, 9.0f, RECT{0, 0, 400, 300}, out);
  EXPECT_EQ(edges(out), Edges(0, 0, 0, 0));
  out = RECT{1, 2, 3, 4};
  kcm_aspectLetterBoxRect(16.0f, 9.0f, RECT{5, 5, 5, 400}, out);
  EXPECT_EQ(edges(out), Edges(0, 0, 0, 0));
}

// Tests that the area shrinks, relative to 0, only where it is larger than the source.
TEST(AspectRatioRect, ShrinksTheAreaWhereItIsLarger) {
  RECT area{0, 0, 800, 300}, out{};
  kcm_aspectRatioRect(area, RECT{0, 0, 400, 600}, out);
  EXPECT_EQ(edges(area), Edges(200, 0, 600, 300));
  EXPECT_EQ(edges(out), Edges(0, 75, 800, 225));
  area = RECT{100, 100, 500, 400};
  kcm_aspectRatioRect(area, RECT{0, 0, 800, 600}, out);
  EXPECT_EQ(edges(area), Edges(100, 100, 500, 400));
  EXPECT_EQ(edges(out), Edges(100, 75, 300, 225));
}

// Tests that empty, inverted and huge rectangles stay defined (the sanitizers watch).
TEST(AspectRatioRect, DegenerateRectanglesDoNotFault) {
  RECT area{INT32_MIN, 0, INT32_MAX, 10}, out{};
  kcm_aspectRatioRect(area, RECT{0, 0, 0, 0}, out);
  kcm_aspectLetterBoxRect2(1.0f, 0.0f, RECT{0, 0, -5, 10}, out);
  kcm_aspectLetterBoxRect(1e12f, 1.0f, RECT{0, 0, INT32_MAX, 1}, out);
}
