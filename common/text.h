// Small text helpers shared by every subsystem. Text is single-byte (system ANSI code page);
// case folding is ASCII only, which is what path and registry comparisons need here.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

std::string trim(std::string_view s);  // spaces only, both ends
std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);
bool iequals(std::string_view a, std::string_view b);
bool istartsWith(std::string_view s, std::string_view prefix);
// Position of needle in hay ignoring case, or npos.
size_t ifind(std::string_view hay, std::string_view needle, size_t from = 0);
std::string replaceAll(std::string s, std::string_view from, std::string_view to);
std::string ireplaceAll(std::string s, std::string_view from, std::string_view to);
// Split at every occurrence of sep (a field may be empty; n separators give n+1 fields).
std::vector<std::string> split(std::string_view s, std::string_view sep);
// One left-to-right pass turning every "\\" into "\" (so "\\\" becomes "\\").
std::string collapseBackslashes(std::string_view s);
// Text after the last backslash.
std::string fileNameFromPath(std::string_view path);
std::string removeChars(std::string_view s, std::string_view chars);
// Decimal text (optional sign, digits, optional fraction) with surrounding spaces; false for
// anything else, exponents, hexadecimal, "inf" and "nan" included, and for values out of range.
bool parseNumber(std::string_view s, double& out);
// Boolean reading as settings readers do it: "True"/"False" any case, or a number (0 false).
bool parseBoolean(std::string_view s, bool& out);
// Thousands-grouped decimal, as the status page shows counts.
std::string groupDigits(long long n);
// Round half to even and clamp to a 16-bit integer, as progress percentages are.
int roundPercent(double value);

// UTF-16 little-endian bytes (as the system stores registry strings) and UTF-8 text, both
// ways and without loss: an unpaired surrogate, which the system allows in names, is kept as
// its own three bytes (the "WTF-8" form). An odd last byte is not text and is left out.
std::string utf8FromUtf16le(std::string_view bytes);
// Bytes that are not such UTF-8 are taken one by one as the characters U+0000 to U+00FF.
std::string utf16leFromUtf8(std::string_view text);

// Bytes as lower-case hexadecimal, two digits a byte (digests, keys and signatures in text), and
// back; false for an odd length or a character that is not a lower-case hex digit.
std::string toHex(std::string_view bytes);
bool fromHex(std::string_view hex, std::string& bytes);

}  // namespace quillon
