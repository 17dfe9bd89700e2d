// Checking a signature with the operating system's own cryptography: ECDSA over the NIST P-256
// curve with SHA-256 of the message. Windows: CNG (bcrypt.dll). Linux: OpenSSL's libcrypto.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace platform {

// The public key as the curve point's two coordinates, X then Y, 32 big-endian bytes each.
inline constexpr std::size_t kSigningKeySize = 64;
// A signature as its two numbers, r then s, 32 big-endian bytes each (what CNG produces).
inline constexpr std::size_t kSignatureSize = 64;

enum class SignatureVerdict {
  Valid,     // the signature is the key's over exactly these bytes
  Mismatch,  // a well-formed check that failed: other bytes, another key, a damaged signature
  BadKey,    // the key is not a point of the curve (or not 64 bytes)
  Failure,   // the system's cryptography could not run the check
};

// Fed the message in pieces, then asked once whether a signature fits it.
class SignatureVerifier {
 public:
  explicit SignatureVerifier(std::span<const std::uint8_t> publicKey);
  ~SignatureVerifier();
  SignatureVerifier(const SignatureVerifier&) = delete;
  SignatureVerifier& operator=(const SignatureVerifier&) = delete;

  void Update(const void* data, std::size_t size);
  // Anything but Valid for a signature that is not kSignatureSize bytes. Call once.
  SignatureVerdict Verify(std::span<const std::uint8_t> signature);

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace platform
