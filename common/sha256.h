// SHA-256 of a byte string. The definitions' publisher names an update text by this digest; the
// text is public and several megabytes long, so it is hashed here, fast, while the signature
// over the digest is checked by the system's cryptography.
#pragma once
#include <string>

namespace quillon {

// The 32-byte digest.
std::string sha256(const std::string& data);

}  // namespace quillon
