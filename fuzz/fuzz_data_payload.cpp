// The request address of the data server's reports. Input: the server's base address, NUL,
// then names separated by NUL (the last byte of the input, when it is "|", asks for the
// trailing separator of a single submission).
// After the base and the path, the address holds only unreserved characters, "|" and %XX
// escapes, and decoding it gives the payload back; the payload of names that neither hold nor
// encipher to "|" splits back into the names.
#include <cctype>
#include <string>
#include <vector>

#include "common/text.h"
#include "definitions/cipher.h"
#include "fuzz_check.h"
#include "reports/data_server.h"

using namespace quillon;

namespace {

bool unreserved(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '|';
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // the escapes are written in upper case
}

// Decodes an escaped query value, failing on anything but the allowed characters.
bool decode(const std::string& s, std::string& out) {
  out.clear();
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '%') {
      if (i + 2 >= s.size()) return false;
      const int hi = hexDigit(s[i + 1]), lo = hexDigit(s[i + 2]);
      if (hi < 0 || lo < 0) return false;
      out += char(hi * 16 + lo);
      i += 2;
    } else if (unreserved(c) && c < 128) {
      out += char(c);
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input = fuzz::bytes(data, size);
  const bool trailing = !input.empty() && input.back() == '|';
  if (trailing) input.pop_back();
  std::vector<std::string> parts = split(input, std::string(1, '\0'));
  const std::string base = parts.front();
  const std::vector<std::string> names(parts.begin() + 1, parts.end());

  std::string decoded;
  FUZZ_CHECK(decode(percentEncode(base), decoded) && decoded == base);

  const std::string payload = dataPayload(names, trailing);
  const std::string url = dataRequestUrl(base, payload);
  std::string trimmedBase = base;
  while (!trimmedBase.empty() && trimmedBase.back() == '/') trimmedBase.pop_back();
  const std::string head = trimmedBase + kDataPath;
  FUZZ_CHECK(url.compare(0, head.size(), head) == 0);
  FUZZ_CHECK(decode(url.substr(head.size()), decoded));
  FUZZ_CHECK(decoded == payload);

  bool separable = true;
  for (const std::string& n : names)
    separable = separable && n.find('|') == std::string::npos && encodeDefinitionLine(n).find('|') == std::string::npos;
  if (separable && !names.empty()) {
    std::vector<std::string> back = split(decoded, "|");
    if (trailing) {
      FUZZ_CHECK(!back.empty() && back.back().empty());
      back.pop_back();
    }
    FUZZ_CHECK(back.size() == names.size());
    for (size_t i = 0; i < names.size(); ++i) FUZZ_CHECK(back[i] == encodeDefinitionLine(names[i]));
  }
  return 0;
}
