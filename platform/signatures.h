// The digests and signature checks through which definition updates are known to come from
// their publisher.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

namespace quillon {

// A SHA-256 taken piece by piece, so that a file is hashed while it is written or read.
class Sha256Stream {
 public:
  virtual ~Sha256Stream() = default;
  virtual void add(const char* data, size_t n) = 0;
  void add(const std::string& data) { add(data.data(), data.size()); }
  // The digest of everything added (32 bytes); "" when it could not be computed.
  virtual std::string finish() = 0;
};

// The cryptography through which definitions are checked to come from their
// publisher. Nothing here signs: the private key never reaches the program.
class Signatures {
 public:
  virtual ~Signatures() = default;
  // The SHA-256 digest of `data` (32 bytes); "" when the system cannot compute it.
  virtual std::string sha256(const std::string& data) = 0;
  // The same over pieces. Without an implementation of its own, the pieces are kept and hashed
  // whole at the end.
  virtual std::unique_ptr<Sha256Stream> sha256Stream();
  // True only when `signature` (r then s, 32 bytes each, big-endian) is an ECDSA signature on
  // the curve P-256 of the 32-byte `digest`, made with the private half of `publicKey` (the
  // point's x then y, 32 bytes each, big-endian). Any malformed argument is false.
  virtual bool verifyP256(const std::string& publicKey, const std::string& digest, const std::string& signature) = 0;
};

}  // namespace quillon
