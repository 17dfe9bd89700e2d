// LoadEmbeddedResource reads this program's own RT_RCDATA resources, which the launcher's
// resource script (launcher/win32/launcher.rc.in) made from the page files the build prepared:
// the bytes must come back exactly, CR LF line ends and all.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "launcher/page_resources.h"
#include "platform/resources.h"

namespace {

// The build wrote the file at a Linux path; wine shows the Linux root as drive Z:.
std::string ReadBuildFile(const std::string& linuxPath) {
  std::ifstream in("Z:" + linuxPath, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(EmbeddedResources, EachPageFileComesBackByteForByte) {
  const struct {
    int id;
    const char* file;
  } pageFiles[] = {{VELMORA_PAGE_HTML_RESOURCE, PAGE_HTML_FILE},
                   {VELMORA_PAGE_CSS_RESOURCE, PAGE_CSS_FILE},
                   {VELMORA_PAGE_JS_RESOURCE, PAGE_JS_FILE}};
  for (const auto& page : pageFiles) {
    const std::string expected = ReadBuildFile(page.file);
    ASSERT_FALSE(expected.empty()) << "cannot read " << page.file;
    const std::string resource = LoadEmbeddedResource(page.id);
    EXPECT_EQ(resource.size(), expected.size()) << "resource " << page.id;
    EXPECT_TRUE(resource == expected) << "resource " << page.id << " differs from " << page.file;
  }
}

TEST(EmbeddedResources, ThePageIsStoredWithCrLfAndTheInformationAddress) {
  const std::string html = LoadEmbeddedResource(VELMORA_PAGE_HTML_RESOURCE);
  ASSERT_FALSE(html.empty());
  EXPECT_NE(html.rfind("\xEF\xBB\xBF", 0), 0u) << "no byte-order mark";
  std::size_t lineFeeds = 0;
  for (std::size_t at = html.find('\n'); at != std::string::npos; at = html.find('\n', at + 1)) {
    ++lineFeeds;
    EXPECT_TRUE(at > 0 && html[at - 1] == '\r') << "bare LF at byte " << at;
  }
  EXPECT_GT(lineFeeds, 10u);
  EXPECT_NE(html.find("https://patch.velmora.example/mini/"), std::string::npos);
}

TEST(EmbeddedResources, AMissingResourceGivesAnEmptyText) {
  EXPECT_EQ(LoadEmbeddedResource(106), "");
  EXPECT_EQ(LoadEmbeddedResource(101), "") << "101 is the icon group, not RT_RCDATA";
}

}  // namespace
