// The line cipher of the definition files: an additive substitution modulo 255 with one fixed
// key. Any key from 1 to 129 keeps enciphered printable text (codes 32..126) free of CR and LF,
// so an enciphered line stays one line; the definition server uses the same key.
#pragma once
#include <string>

namespace quillon {

constexpr int kCipherKey = 61;
// One byte of an enciphered line, deciphered: the cipher works byte by byte.
inline char decodeDefinitionByte(char ch) {
  int d = int(static_cast<unsigned char>(ch)) - kCipherKey;
  return char(d < 0 ? d + 255 : d);
}

std::string decodeDefinitionLine(const std::string& line);
std::string encodeDefinitionLine(const std::string& line);
// Position of the first byte whose enciphered form is CR or LF (the line would be split in two
// when written), or npos when the line can be enciphered safely. Every writer of enciphered
// lines refuses a line for which this is not npos.
size_t unencodableByte(const std::string& plainLine);

}  // namespace quillon
