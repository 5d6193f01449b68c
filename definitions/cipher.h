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

// A definition line deciphered for use; false, and nothing to use, when it is malformed: a
// NUL in it would end every name made from it there, so that "C:\a\b<NUL> c" reaches the
// system as "C:\a\b". Every reader of the definition files and the merge skip such a line
// whole; none of them ever cuts it.
bool decodeDefinition(const std::string& line, std::string& plain);
// The same test without deciphering: the one enciphered byte that deciphers to NUL.
inline bool malformedDefinition(const std::string& line) { return line.find(char(kCipherKey)) != std::string::npos; }

// Why a plain byte cannot be stored in an enciphered line and come back as itself, or null when
// it can: two bytes encipher to CR and LF (the stored line would break in two), 0xFF comes back
// as NUL, and NUL itself makes the line one that every reader skips.
const char* unstorableByteReason(unsigned char plain);
// Position of the first byte of a plain line that has such a reason, or npos when the line can
// be enciphered safely. Every writer of enciphered lines refuses a line for which this is not
// npos.
size_t unencodableByte(const std::string& plainLine);

}  // namespace quillon
