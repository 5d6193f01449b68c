// SHA-256 by libgcrypt (linked in), the signature check by the system's cryptography (BCrypt,
// Windows Vista and later; Wine implements it).
#include <windows.h>
#include <bcrypt.h>
#include <gcrypt.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/win32_platform.h"

namespace quillon::win32 {

namespace {
// libgcrypt, initialised once per process.
void gcryptReady() {
  static const bool ready = [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)ready;
}

std::string sha256Of(const std::string& data) {
  gcryptReady();
  std::string out(32, '\0');
  gcry_md_hash_buffer(GCRY_MD_SHA256, out.data(), data.data(), data.size());
  return out;
}

class GcryptSha256 : public Sha256Stream {
 public:
  GcryptSha256() {
    gcryptReady();
    if (gcry_md_open(&h_, GCRY_MD_SHA256, 0) != 0) h_ = nullptr;
  }
  ~GcryptSha256() override {
    if (h_) gcry_md_close(h_);
  }
  GcryptSha256(const GcryptSha256&) = delete;
  void add(const char* data, size_t n) override {
    if (h_) gcry_md_write(h_, data, n);
  }
  std::string finish() override {
    const unsigned char* d = h_ ? gcry_md_read(h_, GCRY_MD_SHA256) : nullptr;
    return d ? std::string(reinterpret_cast<const char*>(d), 32) : std::string();
  }

 private:
  gcry_md_hd_t h_ = nullptr;
};
}  // namespace

// Texts of several megabytes are hashed by libgcrypt, which uses the processor's SHA
// instructions where it has them: Wine's BCrypt hashes at about a tenth of the speed of a plain
// implementation, which would make the check a tenth of a whole update's merge. The signature
// itself is checked by the system below.
std::string Win32Signatures::sha256(const std::string& data) { return sha256Of(data); }

std::unique_ptr<Sha256Stream> Win32Signatures::sha256Stream() { return std::make_unique<GcryptSha256>(); }

bool Win32Signatures::verifyP256(const std::string& publicKey, const std::string& digest, const std::string& signature) {
  if (publicKey.size() != 64 || digest.size() != 32 || signature.size() != 64) return false;
  CryptoProvider ecdsa;
  if (BCryptOpenAlgorithmProvider(ecdsa.out(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) != 0) return false;
  std::vector<unsigned char> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, publicKey.data(), 64);
  CryptoKey key;
  if (BCryptImportKeyPair(ecdsa, nullptr, BCRYPT_ECCPUBLIC_BLOB, key.out(), blob.data(), ULONG(blob.size()), 0) != 0)
    return false;
  const NTSTATUS status = BCryptVerifySignature(key, nullptr, reinterpret_cast<PUCHAR>(const_cast<char*>(digest.data())), 32,
                                                reinterpret_cast<PUCHAR>(const_cast<char*>(signature.data())), 64, 0);
  return status == 0;
}

}  // namespace quillon::win32
