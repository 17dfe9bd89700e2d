#include "tools/publish/signing.h"

#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <vector>

#include "tools/publish/client_tree.h"
#include "update/signed_content.h"

namespace publish {

namespace fs = std::filesystem;

struct Signer::Key {
  EVP_PKEY* key = nullptr;
  ~Key() { EVP_PKEY_free(key); }
};

namespace {

constexpr std::size_t kHalf = 32;  // bytes of one coordinate, of r and of s

struct DigestDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestPtr = std::unique_ptr<EVP_MD_CTX, DigestDeleter>;

std::string OpenSslError() {
  const unsigned long code = ERR_get_error();
  if (code == 0) return "unknown error";
  char text[256];
  ERR_error_string_n(code, text, sizeof(text));
  return text;
}

// X and Y of the key's point, 32 bytes each.
std::string PublicText(EVP_PKEY* key) {
  std::array<std::uint8_t, 2 * kHalf> coordinates{};
  BIGNUM* x = nullptr;
  BIGNUM* y = nullptr;
  const bool read = EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_X, &x) == 1 &&
                    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_EC_PUB_Y, &y) == 1 &&
                    BN_bn2binpad(x, coordinates.data(), kHalf) == kHalf &&
                    BN_bn2binpad(y, coordinates.data() + kHalf, kHalf) == kHalf;
  BN_free(x);
  BN_free(y);
  return read ? EncodeHex(coordinates) : std::string();
}

bool IsP256(EVP_PKEY* key) {
  char group[64] = {};
  std::size_t length = 0;
  return EVP_PKEY_is_a(key, "EC") == 1 &&
         EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof(group),
                                        &length) == 1 &&
         (std::strcmp(group, "prime256v1") == 0 || std::strcmp(group, "P-256") == 0);
}

// Opens `path` for writing only if nothing is there yet, readable by its owner alone when
// `secret`.
std::FILE* CreateNew(const fs::path& path, bool secret, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, secret ? 0600 : 0644);
  if (fd < 0) {
    error = "cannot create " + ShowPath(path) + ": " + std::strerror(errno);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    close(fd);
    error = "cannot write " + ShowPath(path);
  }
  return file;
}

// r || s from OpenSSL's DER form of the signature.
std::string RawSignatureText(const std::vector<unsigned char>& der) {
  const unsigned char* in = der.data();
  ECDSA_SIG* signature = d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(der.size()));
  if (signature == nullptr) return {};
  std::array<std::uint8_t, 2 * kHalf> raw{};
  const bool written =
      BN_bn2binpad(ECDSA_SIG_get0_r(signature), raw.data(), kHalf) == kHalf &&
      BN_bn2binpad(ECDSA_SIG_get0_s(signature), raw.data() + kHalf, kHalf) == kHalf;
  ECDSA_SIG_free(signature);
  return written ? EncodeHex(raw) : std::string();
}

// Signs what `feed` hands to the context, SHA-256 and ECDSA.
std::string SignFed(EVP_PKEY* key, const std::function<bool(EVP_MD_CTX*)>& feed) {
  const DigestPtr context(EVP_MD_CTX_new());
  std::size_t size = 0;
  if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key) != 1 ||
      !feed(context.get()) || EVP_DigestSignFinal(context.get(), nullptr, &size) != 1) {
    return {};
  }
  std::vector<unsigned char> der(size);
  if (EVP_DigestSignFinal(context.get(), der.data(), &size) != 1) return {};
  der.resize(size);
  return RawSignatureText(der);
}

}  // namespace

PublishResult MakeKeyPair(const fs::path& privateKey, const fs::path& publicKey) {
  for (const fs::path& path : {privateKey, publicKey}) {
    std::error_code ignored;
    if (fs::exists(fs::symlink_status(path, ignored)))
      return {PublishStatus::Refused, ShowPath(path) + " already exists", 0, 0};
  }
  const auto failed = [&](std::string what) {
    std::error_code ignored;
    fs::remove(privateKey, ignored);
    fs::remove(publicKey, ignored);
    return PublishResult{PublishStatus::IoFailed, std::move(what), 0, 0};
  };
  Signer::Key pair;
  pair.key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
  if (pair.key == nullptr) return failed("cannot make a key: " + OpenSslError());
  const std::string publicText = PublicText(pair.key);
  if (publicText.empty()) return failed("cannot read the new public key: " + OpenSslError());

  std::string error;
  std::FILE* secret = CreateNew(privateKey, true, error);
  if (secret == nullptr) return failed(error);
  const bool privateWritten =
      PEM_write_PrivateKey(secret, pair.key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  if (std::fclose(secret) != 0 || !privateWritten)
    return failed("cannot write " + ShowPath(privateKey));
  std::FILE* shared = CreateNew(publicKey, false, error);
  if (shared == nullptr) return failed(error);
  const std::string line = publicText + "\n";
  const bool publicWritten = std::fwrite(line.data(), 1, line.size(), shared) == line.size();
  if (std::fclose(shared) != 0 || !publicWritten)
    return failed("cannot write " + ShowPath(publicKey));
  return {};
}

std::unique_ptr<Signer> Signer::Load(const fs::path& privateKey, std::string& error) {
  std::FILE* file = std::fopen(privateKey.c_str(), "rb");
  if (file == nullptr) {
    error = "cannot read the signing key " + ShowPath(privateKey) + ": " + std::strerror(errno);
    return nullptr;
  }
  auto key = std::make_unique<Key>();
  key->key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
  std::fclose(file);
  if (key->key == nullptr) {
    error = ShowPath(privateKey) + " holds no private key in PEM form";
    return nullptr;
  }
  if (!IsP256(key->key)) {
    error = ShowPath(privateKey) + " is not a P-256 (prime256v1) key";
    return nullptr;
  }
  return std::unique_ptr<Signer>(new Signer(std::move(key)));
}

Signer::Signer(std::unique_ptr<Key> key) : key_(std::move(key)) {}
Signer::~Signer() = default;

std::string Signer::Sign(std::string_view bytes) const {
  return SignFed(key_->key, [&](EVP_MD_CTX* context) {
    return EVP_DigestSignUpdate(context, bytes.data(), bytes.size()) == 1;
  });
}

std::string Signer::SignFile(const fs::path& file) const {
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) return {};
  return SignFed(key_->key, [&](EVP_MD_CTX* context) {
    std::vector<char> block(65536);
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
      const auto size = static_cast<std::size_t>(in.gcount());
      if (EVP_DigestSignUpdate(context, block.data(), size) != 1) return false;
    }
    return !in.bad();
  });
}

std::string Signer::PublicKeyText() const {
  return PublicText(key_->key);
}

}  // namespace publish
