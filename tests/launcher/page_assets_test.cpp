#include "launcher/page_assets.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/launcher/support/log_lines.h"

namespace {

using testing::ElementsAre;
using testing_support::LinesUntilNow;
using testing_support::LogCapture;

const std::string kCssMarker = kStyleSheetMarker;
const std::string kJsMarker = kScriptMarker;

template <typename Action>
std::vector<std::string> LinesLoggedBy(Action action) {
  LogCapture log;
  log.Start();
  action();
  return LinesUntilNow(log);
}

TEST(InlinePageAssets, ReplacesBothMarkersWithTheirPartsBetweenSingleLineFeeds) {
  std::string html = "<head>\r\n" + kCssMarker + "\r\n</head>\r\n<body>" + kJsMarker + "</body>";
  const auto lines = LinesLoggedBy([&] { InlinePageAssets(html, "a { b: c; }\r\n", "go();"); });

  EXPECT_EQ(html,
            "<head>\r\n<style>\na { b: c; }\r\n\n</style>\r\n</head>\r\n"
            "<body><script>\ngo();\n</script></body>");
  EXPECT_THAT(lines, ElementsAre("I|WinMain: CSS inlined successfully",
                                 "I|WinMain: JS inlined successfully"));
}

TEST(InlinePageAssets, ReplacesOnlyTheFirstOccurrenceOfEachMarker) {
  std::string html = kCssMarker + kJsMarker + kCssMarker + kJsMarker;
  InlinePageAssets(html, "C", "J");
  EXPECT_EQ(html, "<style>\nC\n</style><script>\nJ\n</script>" + kCssMarker + kJsMarker);
}

TEST(InlinePageAssets, LooksForTheScriptMarkerInThePageAsItStandsAfterTheStyleSheet) {
  // A style sheet that happens to carry the script marker takes the script's place.
  std::string html = kCssMarker + kJsMarker;
  InlinePageAssets(html, "/* " + kJsMarker + " */", "J");
  EXPECT_EQ(html, "<style>\n/* <script>\nJ\n</script> */\n</style>" + kJsMarker);
}

TEST(InlinePageAssets, MissingMarkerOrEmptyPartLeavesThatPartAndLogsNothingForIt) {
  const std::string withoutCss = "<head></head><body>" + kJsMarker + "</body>";
  std::string html = withoutCss;
  auto lines = LinesLoggedBy([&] { InlinePageAssets(html, "C", "J"); });
  EXPECT_EQ(html, "<head></head><body><script>\nJ\n</script></body>");
  EXPECT_THAT(lines, ElementsAre("I|WinMain: JS inlined successfully"));

  const std::string both = kCssMarker + kJsMarker;
  html = both;
  lines = LinesLoggedBy([&] { InlinePageAssets(html, "", ""); });
  EXPECT_EQ(html, both);
  EXPECT_THAT(lines, ElementsAre());
}

TEST(InlinePageAssets, MatchesTheMarkersByteForByte) {
  for (const std::string& lookalike :
       {std::string("<link rel=\"stylesheet\" href=\"css/style.css\" />"),
        std::string("<link rel='stylesheet' href='css/style.css'>"),
        std::string("<LINK rel=\"stylesheet\" href=\"css/style.css\">"),
        std::string("<script src=\"js/launcher.js\" defer></script>"),
        std::string("<script src=\"./js/launcher.js\"></script>")}) {
    std::string html = lookalike;
    InlinePageAssets(html, "C", "J");
    EXPECT_EQ(html, lookalike);
  }
}

}  // namespace
