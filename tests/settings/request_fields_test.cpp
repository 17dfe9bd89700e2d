// What api_saveConfig makes of the page's request text.
#include "settings/request_fields.h"

#include <gtest/gtest.h>

namespace {

// The request the page sends: its settings record serialised once more as the only argument.
constexpr char kPageRequest[] =
    R"(["{\"resolution\":\"1600x900\",\"antiAliasing\":8,\"windowed\":true,\"vsync\":false}"])";
constexpr char kPageRecord[] =
    R"({"resolution":"1600x900","antiAliasing":8,"windowed":true,"vsync":false})";

TEST(UnwrapRequest, TakesTheStringArgumentAndUndoesItsEscapes) {
  EXPECT_EQ(UnwrapRequest(kPageRequest), kPageRecord);
  // \\ becomes one backslash and is not read again as the start of \" ; other escapes stay.
  EXPECT_EQ(UnwrapRequest(R"(["a\\\"b\\c\n"])"), R"(a\"b\c\n)");
  EXPECT_EQ(UnwrapRequest(R"(["x\\"])"), R"(x\)");
}

TEST(UnwrapRequest, LeavesEverythingElseUnchanged) {
  const std::string objectArgument =
      R"([{"resolution":"1600x900","antiAliasing":8,"windowed":true,"vsync":false}])";
  // Too short, not a string argument, not closed, or closed right at the start.
  for (const std::string& request :
       {std::string(""), std::string("[]"), std::string(R"([""])"), std::string(R"(["abc)"),
        std::string(R"([""]x)"), objectArgument}) {
    EXPECT_EQ(UnwrapRequest(request), request) << request;
  }
  EXPECT_EQ(UnwrapRequest(R"(["x"])"), "x");  // five characters are enough
}

TEST(ExtractFields, ReadTheFirstOccurrenceOfEachPattern) {
  const std::string record = kPageRecord;
  EXPECT_EQ(ExtractStringField(record, "resolution"), "1600x900");
  EXPECT_EQ(ExtractIntField(record, "antiAliasing"), 8);
  EXPECT_TRUE(ExtractBoolField(record, "windowed"));
  EXPECT_FALSE(ExtractBoolField(record, "vsync"));

  const std::string twice = R"({"resolution":"800x600","resolution":"1024x768"})";
  EXPECT_EQ(ExtractStringField(twice, "resolution"), "800x600");
}

TEST(ExtractFields, MissingOrMalformedValuesGiveTheEmptyResults) {
  EXPECT_EQ(ExtractStringField(R"({"other":"1"})", "resolution"), "");
  EXPECT_EQ(ExtractStringField(R"({"resolution":")", "resolution"), "");
  EXPECT_EQ(ExtractStringField(R"({"resolution":"1600x900)", "resolution"), "");
  EXPECT_EQ(ExtractStringField(R"({"resolution":1600})", "resolution"), "");
  EXPECT_EQ(ExtractStringField(R"({"resolution":""})", "resolution"), "");

  EXPECT_FALSE(ExtractBoolField(R"({"windowed": true})", "windowed"));
  EXPECT_FALSE(ExtractBoolField(R"({"windowed":True})", "windowed"));
  EXPECT_FALSE(ExtractBoolField(R"({"windowed":1})", "windowed"));
  EXPECT_FALSE(ExtractBoolField(R"({"windowed":tru)", "windowed"));
  EXPECT_FALSE(ExtractBoolField(R"({"vsync":true})", "windowed"));
  EXPECT_TRUE(ExtractBoolField(R"({"windowed":trueish})", "windowed"));

  EXPECT_EQ(ExtractIntField(R"({"antiAliasing":"8"})", "antiAliasing"), 0);
  EXPECT_EQ(ExtractIntField(R"({"antiAliasing":x})", "antiAliasing"), 0);
  EXPECT_EQ(ExtractIntField(R"({"other":8})", "antiAliasing"), 0);
  EXPECT_EQ(ExtractIntField(R"({"antiAliasing":)", "antiAliasing"), 0);
}

TEST(ExtractIntField, ReadsLikeAtoiAndStopsAtThe32BitLimits) {
  EXPECT_EQ(ExtractIntField(R"({"aa": 	16,})", "aa"), 16);
  EXPECT_EQ(ExtractIntField(R"({"aa":-3})", "aa"), -3);
  EXPECT_EQ(ExtractIntField(R"({"aa":+7})", "aa"), 7);
  EXPECT_EQ(ExtractIntField(R"({"aa":12.9})", "aa"), 12);
  EXPECT_EQ(ExtractIntField(R"({"aa":- 3})", "aa"), 0);
  EXPECT_EQ(ExtractIntField(R"({"aa":2147483647})", "aa"), 2147483647);
  EXPECT_EQ(ExtractIntField(R"({"aa":99999999999999999999})", "aa"), 2147483647);
  EXPECT_EQ(ExtractIntField(R"({"aa":-2147483648})", "aa"), -2147483647 - 1);
  EXPECT_EQ(ExtractIntField(R"({"aa":-99999999999999999999})", "aa"), -2147483647 - 1);
}

TEST(SettingsFromRequestText, ObjectOrStringArgumentGiveTheSameSettings) {
  const DisplaySettings fromString = SettingsFromRequestText(UnwrapRequest(kPageRequest));
  const DisplaySettings fromObject = SettingsFromRequestText(UnwrapRequest(
      R"([{"resolution":"1600x900","antiAliasing":8,"windowed":true,"vsync":false}])"));
  for (const DisplaySettings& settings : {fromString, fromObject}) {
    EXPECT_EQ(settings.resolution, "1600x900");
    EXPECT_TRUE(settings.windowed);
    EXPECT_FALSE(settings.vsync);
    EXPECT_EQ(settings.antiAliasing, 8);
  }

  const DisplaySettings empty = SettingsFromRequestText("[]");
  EXPECT_EQ(empty.resolution, "");
  EXPECT_FALSE(empty.windowed);
  EXPECT_FALSE(empty.vsync);
  EXPECT_EQ(empty.antiAliasing, 0);
}

}  // namespace
