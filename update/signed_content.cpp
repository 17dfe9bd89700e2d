#include "update/signed_content.h"

#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/signature.h"

namespace {

constexpr std::size_t kReadBlockSize = 65536;

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

SignatureCheck VerdictToCheck(platform::SignatureVerdict verdict) {
  switch (verdict) {
    case platform::SignatureVerdict::Valid:
      return SignatureCheck::Valid;
    case platform::SignatureVerdict::Mismatch:
      return SignatureCheck::Wrong;
    case platform::SignatureVerdict::BadKey:
      return SignatureCheck::KeyUnusable;
    case platform::SignatureVerdict::Failure:
      break;
  }
  return SignatureCheck::Failed;
}

// The key and the signature decoded, or the check's outcome when one of them is unusable.
struct Inputs {
  std::vector<std::uint8_t> key;
  std::vector<std::uint8_t> signature;
  std::optional<SignatureCheck> early;
};

Inputs Decode(std::string_view keyText, std::string_view signatureText) {
  Inputs inputs;
  const std::optional<std::vector<std::uint8_t>> key = DecodeHex(keyText);
  if (!key || key->size() != platform::kSigningKeySize) {
    inputs.early = SignatureCheck::KeyUnusable;
    return inputs;
  }
  inputs.key = *key;
  if (Trimmed(signatureText).empty()) {
    inputs.early = SignatureCheck::Missing;
    return inputs;
  }
  const std::optional<std::vector<std::uint8_t>> signature = ParseSignatureText(signatureText);
  if (!signature) {
    inputs.early = SignatureCheck::Malformed;
    return inputs;
  }
  inputs.signature = *signature;
  return inputs;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> DecodeHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::string EncodeHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0f]);
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> ParseSignatureText(std::string_view text) {
  std::optional<std::vector<std::uint8_t>> bytes = DecodeHex(Trimmed(text));
  if (!bytes || bytes->size() != platform::kSignatureSize) return std::nullopt;
  return bytes;
}

std::optional<SignatureCheck> SignatureProblem(std::string_view keyText,
                                               std::string_view signatureText) {
  return Decode(keyText, signatureText).early;
}

SignatureCheck CheckSignature(std::string_view keyText, std::string_view bytes,
                              std::string_view signatureText) {
  const Inputs inputs = Decode(keyText, signatureText);
  if (inputs.early) return *inputs.early;
  platform::SignatureVerifier verifier(inputs.key);
  verifier.Update(bytes.data(), bytes.size());
  return VerdictToCheck(verifier.Verify(inputs.signature));
}

SignatureCheck CheckFileSignature(std::string_view keyText, const std::string& path,
                                  std::string_view signatureText) {
  const Inputs inputs = Decode(keyText, signatureText);
  if (inputs.early) return *inputs.early;
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
  if (!file.is_open()) return SignatureCheck::Failed;
  platform::SignatureVerifier verifier(inputs.key);
  const auto block = std::make_unique_for_overwrite<char[]>(kReadBlockSize);
  while (file.read(block.get(), kReadBlockSize) || file.gcount() > 0) {
    verifier.Update(block.get(), static_cast<std::size_t>(file.gcount()));
  }
  if (file.bad()) return SignatureCheck::Failed;
  return VerdictToCheck(verifier.Verify(inputs.signature));
}

const char* DescribeSignatureCheck(SignatureCheck check) {
  switch (check) {
    case SignatureCheck::Valid:
      return "valid";
    case SignatureCheck::Missing:
      return "missing";
    case SignatureCheck::Malformed:
      return "wrong (not 128 hexadecimal digits)";
    case SignatureCheck::Wrong:
      return "wrong (it does not match the signed bytes)";
    case SignatureCheck::KeyUnusable:
      return "not checked: the built-in signing key is not a P-256 public key";
    case SignatureCheck::Failed:
      return "not checked: the check could not run";
  }
  return "not checked";
}
