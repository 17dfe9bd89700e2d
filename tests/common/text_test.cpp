// The same expectations hold for the Windows converters and for the Linux implementation.
#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

Utf16String U16(std::u16string_view text) {
  return Utf16String(text.begin(), text.end());
}

TEST(Text, NullAndEmptyGiveEmpty) {
  EXPECT_EQ(Utf16ToUtf8(nullptr), "");
  EXPECT_EQ(Utf8ToUtf16(nullptr), Utf16String());
  EXPECT_EQ(Utf16ToUtf8(U16(u"").c_str()), "");
  EXPECT_EQ(Utf8ToUtf16(""), Utf16String());
}

TEST(Text, StopsAtTheFirstNul) {
  const char narrow[] = "C:\\Games\0Velmora";
  EXPECT_EQ(Utf8ToUtf16(narrow), U16(u"C:\\Games"));
  const Utf16String wide = U16(std::u16string_view(u"Launcher\0.exe", 13));
  EXPECT_EQ(Utf16ToUtf8(wide.c_str()), "Launcher");
}

TEST(Text, NonAsciiRoundTripsThroughEveryEncodingLength) {
  // Two-, three- and four-byte UTF-8 forms; the last is a surrogate pair in UTF-16.
  const char* utf8 = "Spiele/J\xC3\xBCrgen/\xE6\x97\xA5\xE6\x9C\xAC/\xF0\x9F\x8E\xAE.pak";
  const Utf16String utf16 = U16(u"Spiele/Jürgen/日本/🎮.pak");
  EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
  EXPECT_EQ(Utf16ToUtf8(utf16.c_str()), utf8);
}

TEST(Text, MalformedInputBecomesReplacementCharacters) {
  // A stray continuation byte, a lead byte cut short, an overlong form and an unpaired surrogate.
  EXPECT_EQ(Utf8ToUtf16("a\x80z"), U16(u"a\uFFFDz"));
  EXPECT_EQ(Utf8ToUtf16("a\xE6\x97z"), U16(u"a\uFFFDz"));
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), U16(u"\uFFFD\uFFFD"));
  const Utf16Char lone[] = {u'x', static_cast<Utf16Char>(0xD83C), u'y', 0};
  EXPECT_EQ(Utf16ToUtf8(lone), "x\xEF\xBF\xBDy");
}

}  // namespace
