// Which driver modes the page offers, and in what order.
#include "settings/resolution_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::DisplayMode;

std::string Listed(platform::ScreenSize screen, const std::vector<DisplayMode>& modes) {
  return FormatResolutionsJson(SortByHeight(SelectableResolutions(screen, modes)));
}

TEST(Resolutions, TypicalDriverListOnA1080pScreen) {
  std::vector<DisplayMode> modes;
  // Every size twice, as a driver reports it at two refresh rates.
  for (int rate = 0; rate < 2; ++rate) {
    for (const DisplayMode mode :
         {DisplayMode{800, 600}, DisplayMode{1024, 768}, DisplayMode{1280, 720},
          DisplayMode{1280, 1024}, DisplayMode{1366, 768}, DisplayMode{1600, 900},
          DisplayMode{1920, 1080}, DisplayMode{2560, 1440}}) {
      modes.push_back(mode);
    }
  }
  EXPECT_EQ(Listed({1920, 1080}, modes), R"([{"width":1024,"height":768,"label":"1024x768"},)"
                                         R"({"width":1366,"height":768,"label":"1366x768"},)"
                                         R"({"width":1600,"height":900,"label":"1600x900"},)"
                                         R"({"width":1920,"height":1080,"label":"1920x1080"}])");
}

TEST(Resolutions, EqualHeightsKeepTheDriverOrder) {
  const std::vector<DisplayMode> modes = {{1920, 1080}, {1366, 768}, {1600, 900},
                                          {1024, 768},  {1360, 768}, {1366, 768}};
  const std::vector<DisplayMode> list = SortByHeight(SelectableResolutions({1920, 1080}, modes));
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[0].width, 1366);
  EXPECT_EQ(list[1].width, 1024);
  EXPECT_EQ(list[2].width, 1360);
  EXPECT_EQ(list[3].width, 1600);
  EXPECT_EQ(list[4].width, 1920);
}

TEST(Resolutions, LongListsSortByHeightAndStayStable) {
  // More than 32 entries, heights descending in pairs, so a sort that is not stable shows.
  std::vector<DisplayMode> modes;
  for (int i = 0; i < 40; ++i) {
    const int height = 2000 - (i / 2) * 10;
    modes.push_back({height * 2 + (i % 2), height});
  }
  const std::vector<DisplayMode> list = SortByHeight(SelectableResolutions({8000, 8000}, modes));
  ASSERT_EQ(list.size(), 40u);
  for (std::size_t i = 1; i < list.size(); ++i) {
    ASSERT_LE(list[i - 1].height, list[i].height);
    if (list[i - 1].height == list[i].height) {
      EXPECT_LT(list[i - 1].width, list[i].width);
    }
  }
}

TEST(Resolutions, ScreensThatListFewOrNoModes) {
  const std::vector<DisplayMode> modes = {
      {1024, 768}, {1280, 960}, {1280, 1024}, {1600, 1200}, {1280, 800}};
  // A 5:4 desktop does not list its own size; 1280x960 is exactly 4:3 and 1280x800 is 16:10.
  EXPECT_EQ(Listed({1280, 1024}, modes), R"([{"width":1024,"height":768,"label":"1024x768"},)"
                                         R"({"width":1280,"height":800,"label":"1280x800"},)"
                                         R"({"width":1280,"height":960,"label":"1280x960"}])");
  EXPECT_EQ(Listed({1366, 767}, {{1366, 767}, {1024, 768}, {1024, 600}}), "[]");
  EXPECT_EQ(Listed({0, 0}, modes), "[]");
  EXPECT_EQ(Listed({1920, 1080}, {}), "[]");
}

TEST(Resolutions, AspectLimitIsDecidedInSinglePrecision) {
  // 998.4 / 768 is exactly 1.3; 999/768 is above it, 998/768 below. In single precision
  // 1.3f is slightly above 1.3, and 1300/1000 rounds to that same float: not strictly greater.
  EXPECT_TRUE(IsSelectableResolution({999, 768}, {4000, 4000}));
  EXPECT_FALSE(IsSelectableResolution({998, 768}, {4000, 4000}));
  EXPECT_FALSE(IsSelectableResolution({1300, 1000}, {4000, 4000}));
  EXPECT_TRUE(IsSelectableResolution({1301, 1000}, {4000, 4000}));
}

}  // namespace
