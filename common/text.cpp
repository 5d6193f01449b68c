#include "common/text.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace quillon {

namespace {
inline char up(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
inline char low(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
}  // namespace

std::string trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return std::string(s.substr(b, e - b));
}

std::string toUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = up(c);
  return r;
}

std::string toLower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = low(c);
  return r;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (up(a[i]) != up(b[i])) return false;
  return true;
}

bool istartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && iequals(s.substr(0, prefix.size()), prefix);
}

size_t ifind(std::string_view hay, std::string_view needle, size_t from) {
  if (needle.empty()) return from <= hay.size() ? from : std::string_view::npos;
  if (hay.size() < needle.size()) return std::string_view::npos;
  const char first = up(needle[0]);
  for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
    if (up(hay[i]) != first) continue;
    size_t k = 1;
    while (k < needle.size() && up(hay[i + k]) == up(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
  if (from.empty()) return s;
  size_t pos = s.find(from);
  if (pos == std::string::npos) return s;
  std::string out;
  size_t last = 0;
  for (; pos != std::string::npos; pos = s.find(from, last)) {
    out.append(s, last, pos - last);
    out.append(to);
    last = pos + from.size();
  }
  out.append(s, last, std::string::npos);
  return out;
}

std::string ireplaceAll(std::string s, std::string_view from, std::string_view to) {
  if (from.empty()) return s;
  size_t pos = ifind(s, from);
  if (pos == std::string::npos) return s;
  std::string out;
  size_t last = 0;
  for (; pos != std::string::npos; pos = ifind(s, from, last)) {
    out.append(s, last, pos - last);
    out.append(to);
    last = pos + from.size();
  }
  out.append(s, last, std::string::npos);
  return out;
}

std::vector<std::string> split(std::string_view s, std::string_view sep) {
  std::vector<std::string> parts;
  size_t last = 0;
  for (size_t pos = s.find(sep); pos != std::string_view::npos; pos = s.find(sep, last)) {
    parts.emplace_back(s.substr(last, pos - last));
    last = pos + sep.size();
  }
  parts.emplace_back(s.substr(last));
  return parts;
}

std::string collapseBackslashes(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    out.push_back(s[i]);
    if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\') ++i;
  }
  return out;
}

std::string fileNameFromPath(std::string_view path) {
  size_t p = path.rfind('\\');
  return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string removeChars(std::string_view s, std::string_view chars) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (chars.find(c) == std::string_view::npos) out.push_back(c);
  return out;
}

bool parseNumber(std::string_view s, double& out) {
  // Plain decimal only: strtod alone would also take hexadecimal, exponents, "inf" and "nan",
  // which no stored value of ours is, and whose results callers cannot safely convert.
  std::string t = trim(s);
  size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
  size_t digits = 0, dots = 0;
  for (size_t k = i; k < t.size(); ++k) {
    if (t[k] >= '0' && t[k] <= '9') ++digits;
    else if (t[k] == '.' && dots == 0) ++dots;
    else return false;
  }
  if (digits == 0) return false;
  double v = std::strtod(t.c_str(), nullptr);
  if (!std::isfinite(v)) return false;
  out = v;
  return true;
}

bool parseBoolean(std::string_view s, bool& out) {
  std::string t = trim(s);
  if (iequals(t, "True")) return out = true, true;
  if (iequals(t, "False")) return out = false, true;
  double v;
  if (!parseNumber(t, v)) return false;
  out = v != 0;
  return true;
}

std::string groupDigits(long long n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  std::string out;
  int count = 0;
  for (size_t i = digits.size(); i-- > 0;) {
    out.insert(out.begin(), digits[i]);
    if (++count % 3 == 0 && i > 0) out.insert(out.begin(), ',');
  }
  return n < 0 ? "-" + out : out;
}

int roundPercent(double value) {
  if (std::isnan(value)) return 0;
  double r = std::nearbyint(value);  // default rounding mode: halves to even
  if (r > 32767) return 32767;
  if (r < -32768) return -32768;
  return int(r);
}

std::string utf8FromUtf16le(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  auto unit = [&](size_t i) {
    return uint32_t(static_cast<unsigned char>(bytes[i])) | uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8;
  };
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
      const uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18);
      out += char(0x80 | (c >> 12 & 0x3F));
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string utf16leFromUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  auto put = [&](uint32_t u) {
    out += char(u & 0xFF);
    out += char(u >> 8);
  };
  auto cont = [&](size_t i) { return i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
  for (size_t i = 0; i < text.size();) {
    const uint32_t b = static_cast<unsigned char>(text[i]);
    uint32_t c = b;
    size_t n = 1;
    if (b >= 0xC2 && b <= 0xDF && cont(i + 1)) {
      c = (b & 0x1F) << 6 | (text[i + 1] & 0x3F);
      n = 2;
    } else if (b >= 0xE0 && b <= 0xEF && cont(i + 1) && cont(i + 2)) {
      c = (b & 0x0F) << 12 | (text[i + 1] & 0x3F) << 6 | (text[i + 2] & 0x3F);
      n = c >= 0x800 ? 3 : 1;
    } else if (b >= 0xF0 && b <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
      c = (b & 0x07) << 18 | (text[i + 1] & 0x3F) << 12 | (text[i + 2] & 0x3F) << 6 | (text[i + 3] & 0x3F);
      n = c >= 0x10000 && c <= 0x10FFFF ? 4 : 1;
    }
    if (n == 1) c = b;
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
    i += n;
  }
  return out;
}

std::string toHex(std::string_view bytes) {
  static const char* const digits = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) out += digits[c >> 4], out += digits[c & 15];
  return out;
}

bool fromHex(std::string_view hex, std::string& bytes) {
  if (hex.size() % 2) return false;
  auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
  std::string out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += char(hi * 16 + lo);
  }
  bytes = std::move(out);
  return true;
}

}  // namespace quillon
