#include "definitions/cipher.h"

namespace quillon {

namespace {
int encodeByte(unsigned char c) {
  const int e = int(c) + kCipherKey;
  return e > 255 ? e - 255 : e;
}
}  // namespace

std::string decodeDefinitionLine(const std::string& line) {
  std::string out(line);
  for (char& ch : out) ch = decodeDefinitionByte(ch);
  return out;
}

std::string encodeDefinitionLine(const std::string& line) {
  std::string out(line);
  for (char& ch : out) ch = char(encodeByte(static_cast<unsigned char>(ch)));
  return out;
}

bool decodeDefinition(const std::string& line, std::string& plain) {
  plain.resize(line.size());
  for (size_t i = 0; i < line.size(); ++i)
    if ((plain[i] = decodeDefinitionByte(line[i])) == '\0') {
      plain.clear();
      return false;
    }
  return true;
}

const char* unstorableByteReason(unsigned char plain) {
  const int e = encodeByte(plain);
  if (e == '\r' || e == '\n') return "would be enciphered as a line break, so the stored line would break in two";
  if (plain == 0xFF) return "would come back as NUL, which ends a name there";
  if (plain == 0) return "is NUL, which ends a name there, so every reader would skip the line";
  return nullptr;
}

size_t unencodableByte(const std::string& plainLine) {
  for (size_t i = 0; i < plainLine.size(); ++i)
    if (unstorableByteReason(static_cast<unsigned char>(plainLine[i]))) return i;
  return std::string::npos;
}

}  // namespace quillon
