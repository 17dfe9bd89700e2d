// The page files as a launcher program carries them: prepared from tests/launcher/data/page for
// the patch server http://127.0.0.1:47699/patch/ and compiled in under the page's resource
// numbers, next to a binary file compiled in unchanged as 7.
#include <gtest/gtest.h>

#include "launcher/page_resources.h"
#include "platform/resources.h"

namespace {

TEST(EmbeddedPage, HtmlLosesItsByteOrderMarkGetsCrLfAndTheServersInfoPage) {
  EXPECT_EQ(LoadEmbeddedResource(VELMORA_PAGE_HTML_RESOURCE),
            "<html>\r\n<iframe src=\"http://127.0.0.1:47699/mini/\"></iframe>\r\n"
            "<a href=\"http://127.0.0.1:47699/mini/\">info</a>\r\n</html>");
}

TEST(EmbeddedPage, StyleSheetAndScriptEndLinesWithCrLfWithoutDoublingCarriageReturns) {
  EXPECT_EQ(LoadEmbeddedResource(VELMORA_PAGE_CSS_RESOURCE), "a { color: #fff; }\r\n");
  EXPECT_EQ(LoadEmbeddedResource(VELMORA_PAGE_JS_RESOURCE), "x();\r\ny();\r\n");
}

TEST(EmbeddedFiles, KeepEveryByteAndReportUnknownIdsEmpty) {
  EXPECT_EQ(LoadEmbeddedResource(7), std::string("\x00\xff\n\r\r\nA\x00", 8));
  EXPECT_EQ(LoadEmbeddedResource(106), "");
  EXPECT_EQ(LoadEmbeddedResource(-1), "");
}

}  // namespace
