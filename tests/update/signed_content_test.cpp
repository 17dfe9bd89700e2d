// The launcher's signature check, with the system's own cryptography (OpenSSL on Linux, CNG
// under wine), against signatures that the openssl command made at build time: signatures of
// the key over the bytes pass; other bytes, another key, damaged or out-of-range numbers and an
// unusable key never do.
#include "update/signed_content.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

using testing_support::TempDir;

struct Vector {
  std::string expected;  // valid, wrong or badkey
  std::string name;
  std::string key;
  std::string message;  // the bytes
  std::string signature;
};

std::vector<Vector> ReadVectors() {
  std::ifstream in(VELMORA_SIGNATURE_VECTORS);
  std::vector<Vector> vectors;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Vector vector;
    std::string messageHex;
    fields >> vector.expected >> vector.name >> vector.key >> messageHex >> vector.signature;
    if (messageHex != "-") {
      const auto bytes = DecodeHex(messageHex);
      EXPECT_TRUE(bytes) << vector.name;
      if (bytes) vector.message.assign(bytes->begin(), bytes->end());
    }
    vectors.push_back(std::move(vector));
  }
  return vectors;
}

// What each expected verdict allows. A point off the curve is refused as a key by OpenSSL; CNG
// may take it and then find no signature valid. Either way nothing is accepted.
bool Allowed(const std::string& expected, SignatureCheck check) {
  if (expected == "valid") return check == SignatureCheck::Valid;
  if (expected == "wrong") return check == SignatureCheck::Wrong;
  return check == SignatureCheck::KeyUnusable || check == SignatureCheck::Wrong;
}

TEST(SignedContent, SignaturesMadeByOpensslAreJudgedRightInMemoryAndOnDisk) {
  const std::vector<Vector> vectors = ReadVectors();
  ASSERT_GE(vectors.size(), 16u) << "cannot read " << VELMORA_SIGNATURE_VECTORS;
  const TempDir folder("velmora-signed");
  for (const Vector& vector : vectors) {
    const SignatureCheck inMemory = CheckSignature(vector.key, vector.message, vector.signature);
    EXPECT_TRUE(Allowed(vector.expected, inMemory))
        << vector.name << ": " << DescribeSignatureCheck(inMemory);
    const std::string file = folder.Write(vector.name, vector.message).string();
    const SignatureCheck onDisk = CheckFileSignature(vector.key, file, vector.signature);
    EXPECT_EQ(onDisk, inMemory) << vector.name;
  }
}

TEST(SignedContent, SignatureTextIsHexadecimalDigitsWithBlanksAroundIgnored) {
  const std::vector<Vector> vectors = ReadVectors();
  ASSERT_FALSE(vectors.empty());
  const Vector& good = vectors.front();
  ASSERT_EQ(good.expected, "valid");
  std::string upper = good.signature;
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const struct {
    std::string text;
    SignatureCheck check;
  } cases[] = {
      {good.signature, SignatureCheck::Valid},
      {good.signature + "\n", SignatureCheck::Valid},
      {" \t" + good.signature + "\r\n", SignatureCheck::Valid},
      {upper, SignatureCheck::Valid},
      {"", SignatureCheck::Missing},
      {"\n", SignatureCheck::Missing},
      {good.signature.substr(0, 100), SignatureCheck::Malformed},
      {good.signature.substr(0, 127), SignatureCheck::Malformed},
      {good.signature + "00", SignatureCheck::Malformed},
      {good.signature.substr(0, 64) + " " + good.signature.substr(64), SignatureCheck::Malformed},
      {"0x" + good.signature.substr(2), SignatureCheck::Malformed},
      {std::string(128, 'g'), SignatureCheck::Malformed},
      {"<html>Not Found</html>", SignatureCheck::Malformed},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(CheckSignature(good.key, good.message, test.text), test.check) << test.text;
  }
}

TEST(SignedContent, KeyTextMustBe128HexadecimalDigits) {
  const std::vector<Vector> vectors = ReadVectors();
  ASSERT_FALSE(vectors.empty());
  const Vector& good = vectors.front();
  for (const std::string& key :
       {std::string(), good.key.substr(2), "04" + good.key, good.key.substr(0, 127) + "x"}) {
    EXPECT_EQ(CheckSignature(key, good.message, good.signature), SignatureCheck::KeyUnusable)
        << key;
  }
}

TEST(SignedContent, FileThatCannotBeReadIsNeverValid) {
  const std::vector<Vector> vectors = ReadVectors();
  ASSERT_FALSE(vectors.empty());
  const TempDir folder("velmora-signed");
  EXPECT_EQ(
      CheckFileSignature(vectors.front().key, folder.utf8() + "/absent", vectors.front().signature),
      SignatureCheck::Failed);
}

}  // namespace
