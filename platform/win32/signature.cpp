#include <windows.h>
// after windows.h, which it needs
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "platform/signature.h"

namespace platform {

namespace {

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

}  // namespace

struct SignatureVerifier::State {
  BCRYPT_ALG_HANDLE ecdsa = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  BCRYPT_ALG_HANDLE sha256 = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool badKey = false;
  bool failed = false;

  ~State() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (sha256 != nullptr) BCryptCloseAlgorithmProvider(sha256, 0);
    if (key != nullptr) BCryptDestroyKey(key);
    if (ecdsa != nullptr) BCryptCloseAlgorithmProvider(ecdsa, 0);
  }

  // The key as CNG's public blob: a BCRYPT_ECCKEY_BLOB header, then X and Y.
  void ImportKey(std::span<const std::uint8_t> coordinates) {
    if (coordinates.size() != kSigningKeySize) {
      badKey = true;
      return;
    }
    if (!Succeeded(BCryptOpenAlgorithmProvider(&ecdsa, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) {
      failed = true;
      return;
    }
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + kSigningKeySize);
    BCRYPT_ECCKEY_BLOB header{};
    header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = kSigningKeySize / 2;
    std::memcpy(blob.data(), &header, sizeof(header));
    std::memcpy(blob.data() + sizeof(header), coordinates.data(), kSigningKeySize);
    // CNG refuses a point that is not on the curve.
    if (!Succeeded(BCryptImportKeyPair(ecdsa, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob.data(),
                                       static_cast<ULONG>(blob.size()), 0))) {
      key = nullptr;
      badKey = true;
    }
  }

  void StartHash() {
    if (!Succeeded(BCryptOpenAlgorithmProvider(&sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(BCryptCreateHash(sha256, &hash, nullptr, 0, nullptr, 0, 0))) {
      hash = nullptr;
      failed = true;
    }
  }
};

SignatureVerifier::SignatureVerifier(std::span<const std::uint8_t> publicKey)
    : state_(std::make_unique<State>()) {
  state_->ImportKey(publicKey);
  if (!state_->badKey && !state_->failed) state_->StartHash();
}

SignatureVerifier::~SignatureVerifier() = default;

void SignatureVerifier::Update(const void* data, std::size_t size) {
  if (state_->hash == nullptr || state_->failed) return;
  const auto* bytes = static_cast<const UCHAR*>(data);
  while (size > 0) {  // BCryptHashData takes at most 4 GiB at once
    const ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
    if (!Succeeded(BCryptHashData(state_->hash, const_cast<UCHAR*>(bytes), piece, 0))) {
      state_->failed = true;
      return;
    }
    bytes += piece;
    size -= piece;
  }
}

SignatureVerdict SignatureVerifier::Verify(std::span<const std::uint8_t> signature) {
  if (state_->badKey) return SignatureVerdict::BadKey;
  if (state_->failed || state_->hash == nullptr) return SignatureVerdict::Failure;
  if (signature.size() != kSignatureSize) return SignatureVerdict::Mismatch;
  UCHAR digest[32];
  if (!Succeeded(BCryptFinishHash(state_->hash, digest, sizeof(digest), 0))) {
    return SignatureVerdict::Failure;
  }
  std::vector<UCHAR> copy(signature.begin(), signature.end());  // CNG takes a mutable buffer
  const NTSTATUS status = BCryptVerifySignature(state_->key, nullptr, digest, sizeof(digest),
                                                copy.data(), static_cast<ULONG>(copy.size()), 0);
  // Anything else is STATUS_INVALID_SIGNATURE, or what CNG answers for r or s out of range.
  return Succeeded(status) ? SignatureVerdict::Valid : SignatureVerdict::Mismatch;
}

}  // namespace platform
