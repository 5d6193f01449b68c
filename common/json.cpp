#include "common/json.h"

#include <cstdio>

namespace quillon {

std::string jsonQuote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (u < 0x20 || u == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(u));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

void JsonLine::key(std::string_view name) {
  if (!body_.empty()) body_ += ",";
  body_ += jsonQuote(name) + ":";
}

JsonLine& JsonLine::text(std::string_view name, std::string_view utf8) {
  key(name);
  body_ += jsonQuote(utf8);
  return *this;
}

JsonLine& JsonLine::number(std::string_view name, int64_t value) {
  key(name);
  body_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::boolean(std::string_view name, bool value) {
  key(name);
  body_ += value ? "true" : "false";
  return *this;
}

}  // namespace quillon
