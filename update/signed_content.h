// Signatures of what the patch server publishes (the manifest, the launcher executable), checked
// against the public key built into the launcher (common/build_config.h).
//
// Formats, shared with the publishing tool:
// - public key: 128 hexadecimal digits, the P-256 point's X then Y coordinate (32 bytes each);
// - signature: 128 hexadecimal digits, ECDSA's r then s (32 bytes each), over SHA-256 of the
//   exact bytes published. A .sig file holds the digits and a line feed; white space around the
//   digits is ignored, upper- and lower-case digits are read alike.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class SignatureCheck {
  Valid,
  Missing,      // no signature at all (no .sig file, no "signature" member)
  Malformed,    // not 128 hexadecimal digits
  Wrong,        // well-formed, but not the key's signature of these bytes
  KeyUnusable,  // the built-in key is not a P-256 public key
  Failed,       // the system's cryptography could not check, or the file could not be read
};

// The bytes of a text of hexadecimal digits (either case); nothing when it holds anything else
// or an odd number of digits.
std::optional<std::vector<std::uint8_t>> DecodeHex(std::string_view text);
// Lower-case hexadecimal digits, two per byte.
std::string EncodeHex(std::span<const std::uint8_t> bytes);

// A signature text as a .sig file or a "signature" member holds it: exactly 128 hexadecimal
// digits, white space around them ignored.
std::optional<std::vector<std::uint8_t>> ParseSignatureText(std::string_view text);

// What already makes a check with these texts fail before any signed bytes are at hand (Missing,
// Malformed or KeyUnusable); nothing when the check can run.
std::optional<SignatureCheck> SignatureProblem(std::string_view keyText,
                                               std::string_view signatureText);

// Whether `signatureText` is the signature of `bytes` (or of the file at `path`, UTF-8) by the
// key `keyText` (128 hexadecimal digits).
SignatureCheck CheckSignature(std::string_view keyText, std::string_view bytes,
                              std::string_view signatureText);
SignatureCheck CheckFileSignature(std::string_view keyText, const std::string& path,
                                  std::string_view signatureText);

// What went wrong, for log lines: "missing", "not 128 hexadecimal digits", ...
const char* DescribeSignatureCheck(SignatureCheck check);
