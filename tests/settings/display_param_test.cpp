// The display record on the game's command line: layout, resolution text and encoding.
#include "settings/display_param.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

// The record of a fresh installation: 1920 x 1080, fullscreen, vsync on, 4 samples. Its 23
// bytes, little-endian, are
//   80 07 00 00  38 04 00 00  00 00 00 00  01 00 00 00  04 00 00 00  00 00 00
// and XORed with the mask A7:
//   27 A0 A7 A7  9F A3 A7 A7  A7 A7 A7 A7  A6 A7 A7 A7  A3 A7 A7 A7  A7 A7 A7
// Each vector below XORs these masked bytes with the repeated key characters by hand.
LAUNCHER_DISPLAY_PARAM DefaultRecord() {
  return MakeDisplayParam(DisplaySettings{});
}

TEST(DisplayParam, LayoutIs23BytesSentOf24InMemory) {
  EXPECT_EQ(sizeof(LAUNCHER_DISPLAY_PARAM), 24u);
  EXPECT_EQ(offsetof(LAUNCHER_DISPLAY_PARAM, antiAliasing), 16u);
  EXPECT_EQ(offsetof(LAUNCHER_DISPLAY_PARAM, reserved), 20u);
  LAUNCHER_DISPLAY_PARAM record;
  record.width = 0x04030201;
  record.height = -2;
  record.windowed = 1;
  record.vsync = 0;
  record.antiAliasing = 0x7F;
  const auto bytes = DisplayParamBytes(record);
  const std::array<std::uint8_t, 23> expected = {0x01, 0x02, 0x03, 0x04, 0xFE, 0xFF, 0xFF, 0xFF,
                                                 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(bytes, expected);
}

TEST(EncodeDisplayParam, HandWorkedVectors) {
  // No name: the output stays 23 zero bytes whatever the record holds.
  EXPECT_EQ(EncodeDisplayParam(DefaultRecord(), ""), std::string(46, '0'));
  // "A" (41), d = 1: every masked byte XOR 41, e.g. 27^41 = 66, A0^41 = E1, A7^41 = E6.
  EXPECT_EQ(EncodeDisplayParam(DefaultRecord(), "A"),
            "66E1E6E6DEE2E6E6E6E6E6E6E7E6E6E6E2E6E6E6E6E6E6");
  // "PC1" (50 43 31), d = 3: key 50 43 31 50 43 31 ...; 27^50 = 77, A0^43 = E3, A7^31 = 96,
  // A7^50 = F7, 9F^43 = DC, A3^31 = 92, then A7s give F7 E4 96 and A6^50 = F6, A3^43 = E0.
  EXPECT_EQ(EncodeDisplayParam(DefaultRecord(), "PC1"),
            "77E396F7DC92F7E496F7E496F6E496F7E096F7E496F7E4");
  // "HOST" (48 4F 53 54), d = 4: 27^48 = 6F, A0^4F = EF, A7^53 = F4, A7^54 = F3, 9F^48 = D7,
  // A3^4F = EC; each later group of A7s gives EF E8 F4 F3; A6^48 = EE, A3^48 = EB.
  EXPECT_EQ(EncodeDisplayParam(DefaultRecord(), "HOST"),
            "6FEFF4F3D7ECF4F3EFE8F4F3EEE8F4F3EBE8F4F3EFE8F4");
  // "GAMEBOX1" (47 41 4D 45 42 4F 58 31), d = 8: bytes 0-7 give 60 E1 EA E2 DD EC FF 96,
  // bytes 8-15 (A7 x4, A6, A7 x3) give E0 E6 EA E2 E4 E8 FF 96, bytes 16-22 E4 E6 EA E2 E5 E8 FF.
  EXPECT_EQ(EncodeDisplayParam(DefaultRecord(), "GAMEBOX1"),
            "60E1EAE2DDECFF96E0E6EAE2E4E8FF96E4E6EAE2E5E8FF");
  // 15 characters, d = 12: only A..L (41..4C) key the bytes. 27^41 = 66, A0^42 = E2,
  // A7^43 = E4, A7^44 = E3, 9F^45 = DA, A3^46 = E5, A7^47..A7^4C = E0 EF EE ED EC EB; byte 12
  // is keyed by A again: A6^41 = E7, then A7^42 = E5, ..., A3^45 = E6 at byte 16.
  EXPECT_EQ(EncodeDisplayParam(DefaultRecord(), "ABCDEFGHIJKLMNO"),
            "66E2E4E3DAE5E0EFEEEDECEBE7E5E4E3E6E1E0EFEEEDEC");
}

TEST(EncodeDisplayParam, OtherRecordsAndTheUnusedNameCharacters) {
  // 2560 x 1440, windowed, vsync off, 8 samples: 00 0A 00 00 A0 05 00 00 01 .. 00 .. 08 ..,
  // masked A7 AD A7 A7 07 A2 A7 A7 A6 A7 A7 A7 A7 A7 A7 A7 AF A7 ...; with HOST as above.
  DisplaySettings settings;
  settings.resolution = "2560x1440";
  settings.windowed = true;
  settings.vsync = false;
  settings.antiAliasing = 8;
  EXPECT_EQ(EncodeDisplayParam(MakeDisplayParam(settings), "HOST"),
            "EFE2F4F34FEDF4F3EEE8F4F3EFE8F4F3E7E8F4F3EFE8F4");

  // Names of 5 to 7 characters use their first 4, names of 13 to 15 their first 12.
  const std::string host = EncodeDisplayParam(DefaultRecord(), "HOST");
  for (const char* name : {"HOSTX", "HOSTXY", "HOSTXYZ"})
    EXPECT_EQ(EncodeDisplayParam(DefaultRecord(), name), host) << name;
  const std::string twelve = EncodeDisplayParam(DefaultRecord(), "ABCDEFGHIJKL");
  for (const char* name : {"ABCDEFGHIJKLM", "ABCDEFGHIJKLXY", "ABCDEFGHIJKLMNO"})
    EXPECT_EQ(EncodeDisplayParam(DefaultRecord(), name), twelve) << name;
  // A longer text than a computer name can be is read as its first 15 characters.
  EXPECT_EQ(EncodeDisplayParam(DefaultRecord(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ"), twelve);
}

TEST(ParseResolution, ReadsWidthXHeightOrFallsBackTo1080p) {
  const auto parsed = [](const char* text) {
    const ScreenResolution r = ParseResolution(text);
    return std::to_string(r.width) + "," + std::to_string(r.height);
  };
  EXPECT_EQ(parsed("2560x1440"), "2560,1440");
  EXPECT_EQ(parsed(" 800x 600 extra"), "800,600");
  EXPECT_EQ(parsed("+1280x-720"), "1280,-720");
  EXPECT_EQ(parsed("0x0"), "0,0");
  // Both numbers or nothing: the width alone is not kept.
  for (const char* text : {"1920X1080", "1280 x720", "1280x", "1280", "x720", "", "abc", "+-5x5",
                           "99999999999x1080", "1280x99999999999"}) {
    EXPECT_EQ(parsed(text), "1920,1080") << text;
  }
}

TEST(MakeDisplayParam, FlagsBecomeZeroOrOneAndTheRestIsSentAsStored) {
  DisplaySettings settings;
  settings.resolution = "garbage";
  settings.windowed = true;
  settings.vsync = false;
  settings.antiAliasing = -3;
  const LAUNCHER_DISPLAY_PARAM record = MakeDisplayParam(settings);
  EXPECT_EQ(record.width, 1920);
  EXPECT_EQ(record.height, 1080);
  EXPECT_EQ(record.windowed, 1);
  EXPECT_EQ(record.vsync, 0);
  EXPECT_EQ(record.antiAliasing, -3);
  EXPECT_EQ(record.reserved[0] | record.reserved[1] | record.reserved[2], 0);
}

}  // namespace
