#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <cstring>
#include <vector>

#include "platform/signature.h"

namespace platform {

namespace {

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextDeleter {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct DigestDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct EcdsaSigDeleter {
  void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};

using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;
using ContextPtr = std::unique_ptr<EVP_PKEY_CTX, ContextDeleter>;

// The key from its coordinates, as the uncompressed point 04 || X || Y. OpenSSL refuses a point
// that is not on the curve; the public-key check refuses the rest (the point at infinity).
KeyPtr ImportPublicKey(std::span<const std::uint8_t> coordinates) {
  if (coordinates.size() != kSigningKeySize) return nullptr;
  unsigned char point[1 + kSigningKeySize];
  point[0] = 0x04;
  std::memcpy(point + 1, coordinates.data(), kSigningKeySize);
  char group[] = "prime256v1";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point, sizeof(point)),
      OSSL_PARAM_construct_end()};
  const ContextPtr context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* key = nullptr;
  if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY,
                        const_cast<OSSL_PARAM*>(params)) != 1) {
    return nullptr;
  }
  KeyPtr imported(key);
  const ContextPtr check(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
  if (!check || EVP_PKEY_public_check(check.get()) != 1) return nullptr;
  return imported;
}

// OpenSSL takes the signature DER-encoded: SEQUENCE { INTEGER r, INTEGER s }.
std::vector<unsigned char> DerSignature(std::span<const std::uint8_t> raw) {
  std::unique_ptr<ECDSA_SIG, EcdsaSigDeleter> signature(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(raw.data(), kSignatureSize / 2, nullptr);
  BIGNUM* s = BN_bin2bn(raw.data() + kSignatureSize / 2, kSignatureSize / 2, nullptr);
  if (!signature || r == nullptr || s == nullptr || ECDSA_SIG_set0(signature.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return {};
  }
  const int size = i2d_ECDSA_SIG(signature.get(), nullptr);
  if (size <= 0) return {};
  std::vector<unsigned char> der(static_cast<std::size_t>(size));
  unsigned char* out = der.data();
  if (i2d_ECDSA_SIG(signature.get(), &out) != size) return {};
  return der;
}

}  // namespace

struct SignatureVerifier::State {
  KeyPtr key;
  std::unique_ptr<EVP_MD_CTX, DigestDeleter> digest;
  bool failed = false;
};

SignatureVerifier::SignatureVerifier(std::span<const std::uint8_t> publicKey)
    : state_(std::make_unique<State>()) {
  state_->key = ImportPublicKey(publicKey);
  if (!state_->key) return;
  state_->digest.reset(EVP_MD_CTX_new());
  if (!state_->digest || EVP_DigestVerifyInit(state_->digest.get(), nullptr, EVP_sha256(), nullptr,
                                              state_->key.get()) != 1) {
    state_->failed = true;
  }
}

SignatureVerifier::~SignatureVerifier() = default;

void SignatureVerifier::Update(const void* data, std::size_t size) {
  if (!state_->key || state_->failed || size == 0) return;
  if (EVP_DigestVerifyUpdate(state_->digest.get(), data, size) != 1) state_->failed = true;
}

SignatureVerdict SignatureVerifier::Verify(std::span<const std::uint8_t> signature) {
  if (!state_->key) return SignatureVerdict::BadKey;
  if (state_->failed) return SignatureVerdict::Failure;
  if (signature.size() != kSignatureSize) return SignatureVerdict::Mismatch;
  const std::vector<unsigned char> der = DerSignature(signature);
  if (der.empty()) return SignatureVerdict::Failure;
  // 1 is a match; 0 a mismatch; below 0 a signature OpenSSL could not even use (r or s zero or
  // beyond the curve's order), which is a mismatch as well.
  return EVP_DigestVerifyFinal(state_->digest.get(), der.data(), der.size()) == 1
             ? SignatureVerdict::Valid
             : SignatureVerdict::Mismatch;
}

}  // namespace platform
