// The studio's signing key: making a key pair and signing what is published, with OpenSSL.
//
// The launcher checks with the public half built in (VELMORA_SIGNING_KEY): ECDSA over P-256 with
// SHA-256. The formats are the launcher's (update/signed_content.h): the public key as 128
// hexadecimal digits (X then Y), a signature as 128 hexadecimal digits (r then s).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "tools/publish/publisher.h"

namespace publish {

// Makes a new key pair: the private key in PEM form (PKCS #8, not encrypted, mode 0600) at
// `privateKey`, the public key's 128 digits and a line feed at `publicKey`. Neither file may
// exist yet (Refused); IoFailed when they cannot be written, and then neither is left behind.
PublishResult MakeKeyPair(const std::filesystem::path& privateKey,
                          const std::filesystem::path& publicKey);

class Signer {
 public:
  // The private key of a PEM file (a P-256 key; MakeKeyPair writes one). Nothing, with the reason
  // in `error`, when the file cannot be read or holds another kind of key.
  static std::unique_ptr<Signer> Load(const std::filesystem::path& privateKey, std::string& error);
  ~Signer();
  Signer(const Signer&) = delete;
  Signer& operator=(const Signer&) = delete;

  // The signature text of `bytes`, or of the whole file at `file`; empty when signing failed
  // (for a file: when it cannot be read).
  std::string Sign(std::string_view bytes) const;
  std::string SignFile(const std::filesystem::path& file) const;
  // The public half, as the launcher's build setting takes it.
  std::string PublicKeyText() const;

  struct Key;

 private:
  explicit Signer(std::unique_ptr<Key> key);
  std::unique_ptr<Key> key_;
};

}  // namespace publish
