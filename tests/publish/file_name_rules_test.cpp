// Which names and versions the publisher takes, as pure rules.
#include "tools/publish/file_name_rules.h"

#include <gtest/gtest.h>

#include "tools/publish/patch_documents.h"

namespace publish {
namespace {

TEST(PublishNameRules, AcceptsOrdinaryNestedSpacedAndNonAsciiNames) {
  for (const char* path : {"a.pak", "data/maps/harbour.map", "data/sounds/ambient forest.bnk",
                           "data/maps/Fjällheim.map", "日本/語.txt", ".hidden", "console/x",
                           "conx.txt", "COM0.txt", "a..b"})
    EXPECT_EQ(PathRefusal(path), "") << path;
}

TEST(PublishNameRules, RefusesWhatTheLauncherRefuses) {
  for (const char* path :
       {"/abs.pak", "C:/game.pak", "a\\b.pak", "../up.pak", "a/../b", "./a", "a//b", "a/", ""})
    EXPECT_NE(PathRefusal(path), "") << path;
}

TEST(PublishNameRules, RefusesNamesWindowsWouldChangeOrReject) {
  for (const char* path :
       {"a?.pak", "a*b", "quote\".txt", "pipe|x", "less<x", "tab\tname", "trailing.", "trailing /x",
        "CON", "nul.txt", "data/Aux.pak", "LPT9.log", "com1", "con.d/x"})
    EXPECT_NE(PathRefusal(path), "") << path;
}

TEST(PublishNameRules, Utf8Validity) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("\xc3\xa4\xe2\x82\xac\xf0\x9f\x98\x80"));  // ä € emoji
  EXPECT_FALSE(IsValidUtf8("\xff"));
  EXPECT_FALSE(IsValidUtf8("\xc3"));              // cut short
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xe0\x80\xaf"));      // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xf4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xe2\x82x"));         // bad continuation
  EXPECT_NE(PathRefusal("bad\xff.pak"), "");
}

TEST(PublishNameRules, CaseCollisionsBetweenFilesAndFolders) {
  const CaseCollision files = FindCaseCollision({"Data/a.pak", "data/A.PAK"});
  EXPECT_EQ(files.first, "Data/a.pak");
  EXPECT_EQ(files.second, "data/A.PAK");
  const CaseCollision fileAndFolder = FindCaseCollision({"maps", "MAPS/x.map"});
  EXPECT_EQ(fileAndFolder.first, "maps");
  EXPECT_EQ(fileAndFolder.second, "MAPS");
  // Folders that differ in case merge into one folder; their files stay apart.
  EXPECT_EQ(FindCaseCollision({"Data/a.pak", "data/b.pak", "a", "b"}).first, "");
}

TEST(PublishNameRules, Versions) {
  EXPECT_EQ(VersionRefusal("1.2.0"), "");
  EXPECT_EQ(VersionRefusal("2024 spring ä"), "");
  EXPECT_NE(VersionRefusal(""), "");
  EXPECT_NE(VersionRefusal("1.0\n"), "");
  EXPECT_NE(VersionRefusal("1.0\r"), "");
  EXPECT_NE(VersionRefusal("1.\x7f"), "");
  EXPECT_NE(VersionRefusal("1.\xff"), "");
}

}  // namespace
}  // namespace publish
