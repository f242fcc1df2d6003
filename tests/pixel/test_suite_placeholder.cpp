#include <gtest/gtest.h>

// Keeps the suite buildable while it has no other file.
TEST(PixelSuite, Builds) {}
