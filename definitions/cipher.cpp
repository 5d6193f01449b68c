#include "definitions/cipher.h"

namespace quillon {

std::string decodeDefinitionLine(const std::string& line) {
  std::string out(line);
  for (char& ch : out) ch = decodeDefinitionByte(ch);
  return out;
}

std::string encodeDefinitionLine(const std::string& line) {
  std::string out(line);
  for (char& ch : out) {
    int e = int(static_cast<unsigned char>(ch)) + kCipherKey;
    if (e > 255) e -= 255;
    ch = char(e);
  }
  return out;
}

size_t unencodableByte(const std::string& plainLine) {
  for (size_t i = 0; i < plainLine.size(); ++i) {
    int e = int(static_cast<unsigned char>(plainLine[i])) + kCipherKey;
    if (e > 255) e -= 255;
    if (e == '\r' || e == '\n') return i;
  }
  return std::string::npos;
}

}  // namespace quillon
