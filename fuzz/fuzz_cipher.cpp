// The line cipher over any bytes: deciphering undoes enciphering (byte 255, which the modulus
// cannot hold, comes back as 0), and unencodableByte names exactly the first byte that would
// encipher to a line end, come back as NUL (255) or be NUL. A line it accepts comes back whole
// for use; one that deciphers with a NUL is refused whole, never cut.
#include <cstdint>

#include "definitions/cipher.h"
#include "fuzz_check.h"

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string plain = fuzz::bytes(data, size);
  const std::string enciphered = encodeDefinitionLine(plain);
  FUZZ_CHECK(enciphered.size() == plain.size());

  std::string expected = plain;
  for (char& c : expected)
    if (static_cast<unsigned char>(c) == 255) c = '\0';
  FUZZ_CHECK(decodeDefinitionLine(enciphered) == expected);

  // Enciphering gives every code but 0, so the other direction holds where no 0 is present.
  if (plain.find('\0') == std::string::npos) FUZZ_CHECK(encodeDefinitionLine(decodeDefinitionLine(plain)) == plain);

  const size_t bad = unencodableByte(plain);
  size_t first = std::string::npos;
  for (size_t i = 0; i < plain.size() && first == std::string::npos; ++i)
    if (enciphered[i] == '\r' || enciphered[i] == '\n' || plain[i] == '\0' || static_cast<unsigned char>(plain[i]) == 255)
      first = i;
  FUZZ_CHECK(bad == first);
  std::string back = "unset";
  const bool whole = expected.find('\0') == std::string::npos;
  FUZZ_CHECK(decodeDefinition(enciphered, back) == whole && malformedDefinition(enciphered) == !whole);
  FUZZ_CHECK(whole ? back == plain : back.empty());
  return 0;
}
