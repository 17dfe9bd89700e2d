// The engine's pure formats: hash text, manifest parsing and its path rule, the version documents,
// local_version.txt, version order, URL escaping and the status report.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "tests/support/temp_dir.h"
#include "update/compare_versions.h"
#include "update/file_hash.h"
#include "update/local_version.h"
#include "update/manifest.h"
#include "update/progress.h"
#include "update/update_status.h"
#include "update/url_text.h"
#include "update/version_documents.h"

using testing_support::TempDir;

namespace {

std::vector<ManifestEntry> ParseEntries(const std::string& text) {
  std::vector<ManifestEntry> entries;
  std::string version;
  manifest::Parse(text, entries, version);
  return entries;
}

std::string ParseError(const std::string& text) {
  try {
    ParseEntries(text);
  } catch (const std::exception& error) {
    return error.what();
  }
  return "no error";
}

std::int64_t SizeOf(const std::string& sizeJson) {
  const auto entries = ParseEntries(R"({"files":[{"path":"a","size":)" + sizeJson + "}]}");
  EXPECT_EQ(entries.size(), 1u);
  return entries.empty() ? -1 : entries[0].size;
}

template <typename Parse>
std::string ErrorOf(Parse parse) {
  try {
    parse();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "no error";
}

}  // namespace

TEST(FileHash, MatchesTheReferenceToolAcrossBlockBoundaries) {
  TempDir dir;
  // Reference texts from `xxhsum -H3`.
  dir.Write("empty", "");
  EXPECT_EQ(HashFile(dir.utf8() + "/empty"), "2d06800538d394c2");
  dir.Write("name", "Velmora");
  EXPECT_EQ(HashFile(dir.utf8() + "/name"), "3f0910d5b911ca3f");
  dir.Write("zeros", std::string(200000, '\0'));  // three full 64 KiB blocks and a partial one
  EXPECT_EQ(HashFile(dir.utf8() + "/zeros"), "91c9851cfe25f231");
}

TEST(FileHash, KeepsLeadingZerosAndReportsUnreadableFilesAsEmpty) {
  TempDir dir("velmora hash ÄÖ");
  dir.Write("sub/ünï code", "file 3145");
  EXPECT_EQ(HashFile(dir.utf8() + "/sub/ünï code"), "000a6592ae57d1b4");
  EXPECT_EQ(FormatHashText(1), "0000000000000001");
  EXPECT_EQ(HashFile(dir.utf8() + "/missing"), "");
  EXPECT_EQ(HashFile(dir.utf8() + "/sub"), "") << "a folder cannot be hashed";
}

TEST(Manifest, ReadsEntriesInOrderAndDropsPathlessOnes) {
  std::vector<ManifestEntry> entries;
  std::string version;
  manifest::Parse(R"({"version":"2.1","files":[
      {"path":"data/a.pak","hash":"00ff","size":3},
      {"hash":"dropped"},
      {"path":"","size":9},
      {"path":"b.bin"}]})",
                  entries, version);
  EXPECT_EQ(version, "2.1");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].path, "data/a.pak");
  EXPECT_EQ(entries[0].hash, "00ff");
  EXPECT_EQ(entries[0].size, 3);
  EXPECT_EQ(entries[1].path, "b.bin");
  EXPECT_EQ(entries[1].hash, "");
  EXPECT_EQ(entries[1].size, 0);
}

TEST(Manifest, FilesMemberMissingNullObjectOrPlainValue) {
  EXPECT_TRUE(ParseEntries(R"({"version":"1"})").empty());
  EXPECT_TRUE(ParseEntries(R"({"files":null})").empty());
  const auto byKey = ParseEntries(R"({"files":{"z":{"path":"last"},"a":{"path":"first"}}})");
  ASSERT_EQ(byKey.size(), 2u);
  EXPECT_EQ(byKey[0].path, "first") << "an object's members come in key order";
  EXPECT_EQ(ParseError(R"({"files":"x.pak"})"),
            "[json.exception.type_error.306] cannot use value() with string");
  EXPECT_EQ(ParseError(R"([1,2])"),
            "[json.exception.type_error.306] cannot use value() with array");
  EXPECT_EQ(ParseError(R"({"files":[{"path":7}]})"),
            "[json.exception.type_error.302] type must be string, but is number");
}

TEST(Manifest, SizesAreSixtyFourBitByteCounts) {
  EXPECT_EQ(SizeOf("12.9"), 12);
  EXPECT_EQ(SizeOf("true"), 1);
  EXPECT_EQ(SizeOf("false"), 0);
  EXPECT_EQ(SizeOf("5000000000"), 5000000000LL);
  EXPECT_EQ(SizeOf("-5"), 0);
  EXPECT_EQ(SizeOf("1e300"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(SizeOf("18446744073709551615"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(ParseError(R"({"files":[{"path":"a","size":"12"}]})"),
            "[json.exception.type_error.302] type must be number, but is string");
  EXPECT_EQ(ParseError(R"({"files":[{"path":"a","size":null}]})"),
            "[json.exception.type_error.302] type must be number, but is null");
}

TEST(Manifest, PathRuleAcceptsOrdinaryRelativePaths) {
  for (const char* path : {"a", "data/a.pak", "Über Ordner/ß.bin", "x/.hidden", "v1..2/a b.txt"})
    EXPECT_TRUE(IsSafeManifestPath(path)) << path;
}

TEST(Manifest, PathRuleRefusesEveryWayOutOfTheFolder) {
  for (const char* path :
       {"", "/etc/passwd", "C:/Windows/x.dll", "c:x", "data\\a.pak", "../a", "a/../../b", "a/..",
        "./a", "a/./b", "a//b", "a/", "a\nb", "stream:name"}) {
    EXPECT_FALSE(IsSafeManifestPath(path)) << path;
  }
  EXPECT_FALSE(IsSafeManifestPath(std::string("a\0b", 3)));
}

TEST(Manifest, OneUnsafePathFailsTheWholeManifestNamingIt) {
  EXPECT_EQ(ParseError(R"({"files":[{"path":"ok.pak"},{"path":"../evil.dll"}]})"),
            "unsafe path in manifest: ../evil.dll");
}

TEST(VersionDocuments, GameVersionDefaultsAndLibraryErrorTexts) {
  const GameVersionInfo defaults = ParseGameVersion("{}", "http://h/patch/manifest.json");
  EXPECT_EQ(defaults.version, "");
  EXPECT_EQ(defaults.manifestUrl, "http://h/patch/manifest.json");
  const GameVersionInfo full =
      ParseGameVersion(R"({"version":"1.2","manifest_url":"","manifest_hash":"ab"})", "unused");
  EXPECT_EQ(full.version, "1.2");
  EXPECT_EQ(full.manifestUrl, "") << "an empty URL is taken as given";
  EXPECT_EQ(full.manifestHash, "ab");

  EXPECT_EQ(ErrorOf([] { ParseGameVersion("[]", ""); }),
            "[json.exception.type_error.306] cannot use value() with array");
  EXPECT_EQ(ErrorOf([] { ParseGameVersion(R"({"version":5})", ""); }),
            "[json.exception.type_error.302] type must be string, but is number");
  EXPECT_EQ(ErrorOf([] { ParseGameVersion(R"({"manifest_hash":null})", ""); }),
            "[json.exception.type_error.302] type must be string, but is null");
  EXPECT_EQ(ErrorOf([] { ParseGameVersion("<html>", ""); }),
            "[json.exception.parse_error.101] parse error at line 1, column 1: syntax error while "
            "parsing value - invalid literal; last read: '<'");
}

TEST(VersionDocuments, LauncherVersion) {
  const LauncherVersionInfo info =
      ParseLauncherVersion(R"({"version":"1.0.4","launcher_url":"http://h/L.exe","x":1})");
  EXPECT_EQ(info.version, "1.0.4");
  EXPECT_EQ(info.launcherUrl, "http://h/L.exe");
  EXPECT_EQ(ParseLauncherVersion("{}").launcherUrl, "");
  EXPECT_EQ(ErrorOf([] { ParseLauncherVersion(R"("1.0.4")"); }),
            "[json.exception.type_error.306] cannot use value() with string");
  EXPECT_EQ(ErrorOf([] { ParseLauncherVersion(R"({"launcher_url":[]})"); }),
            "[json.exception.type_error.302] type must be string, but is array");
}

TEST(VersionDocuments, LauncherIntegrityMembers) {
  const LauncherVersionInfo plain = ParseLauncherVersion(R"({"version":"1.0.4"})");
  EXPECT_EQ(plain.hash, "");
  EXPECT_FALSE(plain.size.has_value());
  const LauncherVersionInfo full =
      ParseLauncherVersion(R"({"hash":"00c0ffee00c0ffee","size":5000000000})");
  EXPECT_EQ(full.hash, "00c0ffee00c0ffee");
  EXPECT_EQ(full.size, 5000000000u) << "beyond 32 bits";
  EXPECT_EQ(ParseLauncherVersion(R"({"size":0})").size, 0u);
  EXPECT_EQ(plain.signature, "");
  EXPECT_EQ(ParseLauncherVersion(R"({"signature":"00ff"})").signature, "00ff");

  const std::pair<const char*, const char*> refused[] = {
      {R"({"size":-1})", "launcher size is not a byte count: -1"},
      {R"({"size":1.5})", "launcher size is not a byte count: 1.5"},
      {R"({"size":"12"})", "launcher size is not a byte count: \"12\""},
      {R"({"hash":12})", "[json.exception.type_error.302] type must be string, but is number"},
      {R"({"signature":[]})", "[json.exception.type_error.302] type must be string, but is array"},
  };
  for (const auto& [text, error] : refused)
    EXPECT_EQ(ErrorOf([&] { ParseLauncherVersion(text); }), error) << text;
}

TEST(VersionDocuments, LauncherVersionsThatCanNameAFile) {
  for (const char* version : {"1.0.4", "2.0-beta+7", "1_0", "10.20.30.40"})
    EXPECT_TRUE(IsUsableLauncherVersion(version)) << version;
  for (const char* version :
       {"", "9.0/../../x", "1.0.4\\..\\x", "1.0 beta", "1.0.ö", "1:0", "1.0.4\n", "1*"})
    EXPECT_FALSE(IsUsableLauncherVersion(version)) << version;
}

TEST(LocalVersion, ReadsTheFirstLineWithoutItsLineEnd) {
  TempDir dir;
  const std::string path = dir.utf8() + "/local_version.txt";
  EXPECT_EQ(ReadLocalVersion(path), "") << "missing file";
  dir.Write("local_version.txt", "1.4.2\r\nrest");
  EXPECT_EQ(ReadLocalVersion(path), "1.4.2");
  dir.Write("local_version.txt", "2.0\n");
  EXPECT_EQ(ReadLocalVersion(path), "2.0");
  dir.Write("local_version.txt", "");
  EXPECT_EQ(ReadLocalVersion(path), "");
}

TEST(LocalVersion, WriteStoresTheTextAloneAndReplacesTheOldFile) {
  TempDir dir("velmora versión");
  const std::string path = dir.utf8() + "/local_version.txt";
  dir.Write("local_version.txt", "1.0.0-old-and-longer\r\n");
  ASSERT_TRUE(WriteLocalVersion(path, "1.1"));
  EXPECT_EQ(dir.Read("local_version.txt"), "1.1");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "local_version.txt.new"));
  EXPECT_FALSE(WriteLocalVersion(dir.utf8() + "/no such folder/local_version.txt", "1"));
}

TEST(CompareVersions, NumbersNotTextAndMissingPartsAreZero) {
  EXPECT_EQ(CompareVersions("1.0.10", "1.0.3"), 1);
  EXPECT_EQ(CompareVersions("1.0.3", "1.0.10"), -1);
  EXPECT_EQ(CompareVersions("1.1", "1.1.0"), 0);
  EXPECT_EQ(CompareVersions("1.0.4.", "1.0.4"), 0);
  EXPECT_EQ(CompareVersions("2.0-beta", "1.0.3"), 1);
  EXPECT_EQ(CompareVersions("v1.2", "1.0.3"), -1) << "a part without leading digits is 0";
  EXPECT_EQ(CompareVersions("", "1.0.3"), -1);
  EXPECT_EQ(CompareVersions("", ""), 0);
  EXPECT_EQ(CompareVersions("1..3", "1.0.3"), 0);
  EXPECT_EQ(CompareVersions(" -1", "0"), -1);
  EXPECT_EQ(CompareVersions("99999999999", "2147483647"), 0) << "stops at the 32-bit limit";
}

TEST(UrlText, EscapesWhatAUrlCannotCarry) {
  EXPECT_EQ(EscapeUrl("http://h:1/patch/a b/ü?x=1#f"), "http://h:1/patch/a%20b/%C3%BC?x=1#f");
  EXPECT_EQ(EscapeUrl("http://h/%41\"<>\\^`{|}"), "http://h/%41%22%3C%3E%5C%5E%60%7B%7C%7D");
  EXPECT_EQ(EncodeUrlPath("data/a b/50%#?ü.pak"), "data/a%20b/50%25%23%3F%C3%BC.pak");
  EXPECT_EQ(EncodeUrlPath("a-._~!$&'()*+,;=@/Z9"), "a-._~!$&'()*+,;=@/Z9");
}

TEST(StatusReport, FreshStatusText) {
  EXPECT_EQ(FormatStatusReport(UpdateStatus{}),
            R"({"state":"idle","progress":0,"message":"Ready","canStart":true,)"
            R"("currentVersion":"","latestVersion":"","filesTotal":0,"filesComplete":0,)"
            R"("bytesTotal":0,"bytesComplete":0,"errorDetail":""})");
}

TEST(StatusReport, AnyTextStillParsesAndComesBackUnchanged) {
  UpdateStatus status;
  status.state = UpdateState::Error;
  status.message = "Checking: say \"hi\"\\now\ttab\x01";
  status.errorDetail = "bad byte \xff here";
  status.latestVersion = std::string(5000, 'v');  // far past any fixed buffer
  status.bytesTotal = 18446744073709551615ull;
  status.filesTotal = -1;
  const nlohmann::json parsed = nlohmann::json::parse(FormatStatusReport(status));
  EXPECT_EQ(parsed["state"], "error");
  EXPECT_EQ(parsed["message"], status.message);
  EXPECT_EQ(parsed["errorDetail"], "bad byte \xef\xbf\xbd here");
  EXPECT_EQ(parsed["latestVersion"], status.latestVersion);
  EXPECT_EQ(parsed["bytesTotal"].get<std::uint64_t>(), 18446744073709551615ull);
  EXPECT_EQ(parsed["filesTotal"], -1);
}

TEST(StatusReport, StateNamesAndStartRules) {
  EXPECT_STREQ(StatusName(UpdateState::LauncherUpdateReady), "launcher_update_ready");
  EXPECT_STREQ(StatusName(UpdateState::UpToDate), "uptodate");
  EXPECT_STREQ(StatusName(static_cast<UpdateState>(9)), "idle");
  EXPECT_STREQ(StatusName(static_cast<UpdateState>(-1)), "idle");
  EXPECT_FALSE(CanStartIn(UpdateState::Error));
  EXPECT_TRUE(AcceptsNewWorker(UpdateState::Error));
  EXPECT_FALSE(AcceptsNewWorker(UpdateState::LauncherUpdateReady));
  EXPECT_FALSE(AcceptsNewWorker(UpdateState::Extracting));
}

TEST(Progress, WorkerPhaseArithmetic) {
  EXPECT_EQ(progress::AfterLocalCheck(0, 3), 36);
  EXPECT_EQ(progress::AfterLocalCheck(1, 3), 43);
  EXPECT_EQ(progress::AfterLocalCheck(2, 3), 50);
  EXPECT_EQ(progress::BeforeDownload(1, 3), 65);
  EXPECT_EQ(progress::BeforeDownload(2, 3), 80);
  EXPECT_EQ(progress::AfterVerify(0, 3), 16);
  EXPECT_EQ(progress::AfterVerify(1, 3), 33);
  EXPECT_EQ(progress::BeforeRepair(3, 4), 83);
  EXPECT_EQ(progress::AfterLocalCheck(4'000'000'000ull, 5'000'000'000ull), 46)
      << "no overflow with huge counts";
}
