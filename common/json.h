// One JSON object per line, for scripts that read the console's output. Texts are UTF-8 by the
// time they get here; the writer escapes what JSON requires and nothing else.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// `text` as a JSON string, quotes included: '"' and '\' escaped, control characters as \n, \r,
// \t, \b, \f or \u00XX; everything else (UTF-8 included) as it is.
std::string jsonQuote(std::string_view text);

// Builds {"name":value,...} one field at a time.
class JsonLine {
 public:
  JsonLine& text(std::string_view name, std::string_view utf8);
  JsonLine& number(std::string_view name, int64_t value);
  JsonLine& boolean(std::string_view name, bool value);
  std::string str() const { return body_.empty() ? "{}" : "{" + body_ + "}"; }

 private:
  void key(std::string_view name);
  std::string body_;
};

}  // namespace quillon
