// A throw-away publisher for tests and benchmarks: an ECDSA P-256 key pair made by the
// system's cryptography, which signs update statements as the publishing tool does.
#pragma once
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/text.h"
#include "definitions/definition_store.h"
#include "platform/win32/win32_platform.h"
#include "update/signed_update.h"

namespace quillon::test {

class TestSigner {
 public:
  TestSigner() {
    if (BCryptOpenAlgorithmProvider(&alg_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) == 0 &&
        BCryptGenerateKeyPair(alg_, &key_, 256, 0) == 0)
      BCryptFinalizeKeyPair(key_, 0);
  }
  ~TestSigner() {
    if (key_) BCryptDestroyKey(key_);
    if (alg_) BCryptCloseAlgorithmProvider(alg_, 0);
  }
  TestSigner(const TestSigner&) = delete;

  // x then y, as the program is built with it.
  std::string publicKey() const {
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    ULONG n = 0;
    if (BCryptExportKey(key_, nullptr, BCRYPT_ECCPUBLIC_BLOB, blob, sizeof blob, &n, 0) != 0) return "";
    return std::string(reinterpret_cast<char*>(blob) + sizeof(BCRYPT_ECCKEY_BLOB), 64);
  }
  // r then s over the SHA-256 of `message`.
  std::string sign(const std::string& message) const {
    std::string digest = win32::Win32Signatures().sha256(message);
    std::string sig(64, '\0');
    ULONG n = 0;
    BCryptSignHash(key_, nullptr, reinterpret_cast<PUCHAR>(&digest[0]), 32, reinterpret_cast<PUCHAR>(&sig[0]), 64, &n, 0);
    return sig;
  }
  static std::string hex(const std::string& bytes) { return toHex(bytes); }
  // The lines a statement's signature covers; `files` are the five definition files' digests
  // (32 bytes each, in the order of kDefinitionFiles).
  static std::string statementBody(const std::string& from, const std::string& to, const std::string& text,
                                   const std::vector<std::string>& files) {
    std::string body = std::string(kSignedUpdateHeader) + "\r\nfrom: " + from + "\r\nto: " + to +
                       "\r\nsha256: " + hex(win32::Win32Signatures().sha256(text)) + "\r\n";
    for (size_t i = 0; i < files.size(); ++i) body += std::string(kDefinitionFiles[i]) + ": " + hex(files[i]) + "\r\n";
    return body;
  }
  // The statement a publisher sends beside `text` for a move from `from` to `to` that leaves the
  // five files with the digests `files`.
  std::string statement(const std::string& from, const std::string& to, const std::string& text,
                        const std::vector<std::string>& files) const {
    const std::string body = statementBody(from, to, text, files);
    return body + "signature: " + hex(sign(body)) + "\r\n";
  }

 private:
  BCRYPT_ALG_HANDLE alg_ = nullptr;
  BCRYPT_KEY_HANDLE key_ = nullptr;
};

}  // namespace quillon::test
