#include "launcher/window_placement.h"

#include <gtest/gtest.h>

namespace {

using launcher::CentredOrigin;

TEST(CentredOrigin, CentresTheWindowOnTheScreen) {
  EXPECT_EQ(CentredOrigin({1920, 1080}).x, 560);
  EXPECT_EQ(CentredOrigin({1920, 1080}).y, 240);
  EXPECT_EQ(CentredOrigin({800, 600}).x, 0);
  EXPECT_EQ(CentredOrigin({800, 600}).y, 0);
}

TEST(CentredOrigin, RoundsTowardZeroAndGoesNegativeOnSmallScreens) {
  EXPECT_EQ(CentredOrigin({1025, 769}).x, 112);
  EXPECT_EQ(CentredOrigin({1025, 769}).y, 84);
  // -1 / 2 is 0, not -1: the division truncates.
  EXPECT_EQ(CentredOrigin({799, 599}).x, 0);
  EXPECT_EQ(CentredOrigin({799, 599}).y, 0);
  EXPECT_EQ(CentredOrigin({640, 480}).x, -80);
  EXPECT_EQ(CentredOrigin({640, 480}).y, -60);
  // No display: the window still gets a position.
  EXPECT_EQ(CentredOrigin({0, 0}).x, -400);
  EXPECT_EQ(CentredOrigin({0, 0}).y, -300);
}

}  // namespace
