#include "removal/reg_file.h"

#include <cctype>
#include <cstdio>

#include "common/text.h"
#include "removal/quarantine.h"

namespace quillon {

namespace {

constexpr const char* kHeader = "REGEDIT4";
constexpr const char* kUnicodeHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kByteOrderMark = "\xFF\xFE";

// Line breaks in a name are written as "\r" and "\n": the line must stay one line.
std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\r' || c == '\n') {
      out += c == '\r' ? "\\r" : "\\n";
      continue;
    }
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

char unescaped(char c) { return c == 'r' ? '\r' : c == 'n' ? '\n' : c; }

std::string hexBytes(const std::string& data) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(b, sizeof b, "%02x", unsigned(static_cast<unsigned char>(data[i])));
    if (i) out += ',';
    out += b;
  }
  return out;
}

// A string value goes in quotes when it reads back the same: exactly one terminating NUL (a
// quoted string is read back with one; in UTF-16 two bytes, and an even length), and no line
// break that would end the line early.
bool plainString(const RegValue& v, RegFileForm form, std::string& text) {
  if (v.type != kRegSz) return false;
  if (form == RegFileForm::Unicode) {
    const size_t n = v.data.size();
    if (n < 2 || n % 2 || v.data[n - 1] || v.data[n - 2]) return false;
    text = utf8FromUtf16le(std::string_view(v.data).substr(0, n - 2));
  } else {
    if (v.data.empty() || v.data.back() != '\0') return false;
    text = v.data.substr(0, v.data.size() - 1);
  }
  return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

std::string valueLine(const std::string& name, const RegValue& v, RegFileForm form) {
  std::string line = name.empty() ? "@=" : quoted(name) + "=";
  std::string text;
  if (plainString(v, form, text)) return line + quoted(text);
  if (v.type == kRegDword && v.data.size() == 4) {
    uint32_t d = 0;
    for (int i = 3; i >= 0; --i) d = (d << 8) | static_cast<unsigned char>(v.data[size_t(i)]);
    char b[16];
    std::snprintf(b, sizeof b, "dword:%08x", d);
    return line + b;
  }
  if (v.type == kRegBinary) return line + "hex:" + hexBytes(v.data);
  // The type in hexadecimal, as the reader (and the registry editor) takes it: "hex(b)" is a
  // 64-bit number, type 11.
  char type[16];
  std::snprintf(type, sizeof type, "hex(%x):", unsigned(v.type));
  return line + type + hexBytes(v.data);
}

bool exportKey(Registry& reg, uint32_t root, const std::string& path, std::vector<RegFileKey>& out, int depth) {
  if (depth > 512) return false;  // deeper than the registry allows: something is wrong
  // A key line cannot hold a line break.
  if (path.find_first_of("\r\n") != std::string::npos) return false;
  std::vector<std::string> subkeys;
  RegFileKey key{root, path, {}};
  if (!reg.enumerateKeyExact(root, path, subkeys, key.values)) return false;
  out.push_back(std::move(key));
  for (const std::string& sub : subkeys)
    if (!exportKey(reg, root, path + "\\" + sub, out, depth + 1)) return false;
  return true;
}

// "name" or @ at the start of `s`, with the rest after "=" in `rest`.
bool parseName(const std::string& s, std::string& name, std::string& rest) {
  if (s.rfind("@=", 0) == 0) {
    name.clear();
    rest = s.substr(2);
    return true;
  }
  if (s.empty() || s[0] != '"') return false;
  name.clear();
  size_t i = 1;
  for (; i < s.size() && s[i] != '"'; ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      name += unescaped(s[++i]);
      continue;
    }
    name += s[i];
  }
  if (i >= s.size() || i + 1 >= s.size() || s[i + 1] != '=') return false;
  rest = s.substr(i + 2);
  return true;
}

bool parseHex(const std::string& s, std::string& bytes) {
  bytes.clear();
  for (const std::string& part : split(s, ",")) {
    std::string p = trim(part);
    if (p.empty() && s.empty()) break;
    if (p.size() != 2 || !std::isxdigit(static_cast<unsigned char>(p[0])) ||
        !std::isxdigit(static_cast<unsigned char>(p[1])))
      return false;
    bytes += char(std::stoi(p, nullptr, 16));
  }
  return true;
}

bool parseValue(const std::string& rest, RegFileForm form, RegValue& v) {
  if (!rest.empty() && rest[0] == '"') {
    if (rest.size() < 2 || rest.back() != '"') return false;
    std::string text;
    for (size_t i = 1; i + 1 < rest.size(); ++i) {
      if (rest[i] == '\\' && i + 2 < rest.size()) {
        text += unescaped(rest[++i]);
        continue;
      }
      text += rest[i];
    }
    v = form == RegFileForm::Unicode ? RegValue{kRegSz, utf16leFromUtf8(text) + std::string(2, '\0')}
                                     : RegValue{kRegSz, text + '\0'};
    return true;
  }
  if (rest.rfind("dword:", 0) == 0) {
    std::string h = rest.substr(6);
    if (h.size() != 8 || h.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    uint32_t d = uint32_t(std::stoul(h, nullptr, 16));
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) data[size_t(i)] = char((d >> (8 * i)) & 0xFF);
    v = RegValue{kRegDword, data};
    return true;
  }
  if (rest.rfind("hex:", 0) == 0) {
    v.type = kRegBinary;
    return parseHex(rest.substr(4), v.data);
  }
  if (rest.rfind("hex(", 0) == 0) {
    size_t close = rest.find("):");
    if (close == std::string::npos || close == 4 || close > 12) return false;
    std::string t = rest.substr(4, close - 4);
    if (t.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    v.type = uint32_t(std::stoul(t, nullptr, 16));
    return parseHex(rest.substr(close + 2), v.data);
  }
  return false;
}

}  // namespace

std::string formatRegFile(const std::vector<RegFileKey>& keys, RegFileForm form) {
  const bool unicode = form == RegFileForm::Unicode;
  std::string out = std::string(unicode ? kUnicodeHeader : kHeader) + "\r\n\r\n";
  for (const RegFileKey& k : keys) {
    out += "[" + registryRootName(k.root) + "\\" + k.path + "]\r\n";
    for (const auto& [name, value] : k.values) out += valueLine(name, value, form) + "\r\n";
    out += "\r\n";
  }
  return unicode ? kByteOrderMark + utf16leFromUtf8(out) : out;
}

bool exportRegistry(Registry& reg, uint32_t root, const std::string& keyPath, const std::string& valueName,
                    bool wholeKey, std::string& text) {
  if (registryRootName(root).empty()) return false;
  std::vector<RegFileKey> keys;
  const std::string path = reg.exactName(keyPath), name = reg.exactName(valueName);
  if (wholeKey) {
    if (path.empty() || !exportKey(reg, root, path, keys, 0)) return false;
  } else {
    RegValue v;
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos ||
        reg.queryValueExact(root, path, name, v) != RegStatus::Ok)
      return false;
    keys.push_back(RegFileKey{root, path, {{name, v}}});
  }
  text = formatRegFile(keys);
  return true;
}

bool parseRegFile(const std::string& input, std::vector<RegFileKey>& keys, std::string& error, RegFileForm* formOut) {
  keys.clear();
  const RegFileForm form = input.rfind(kByteOrderMark, 0) == 0 ? RegFileForm::Unicode : RegFileForm::CodePage;
  if (formOut) *formOut = form;
  const std::string text = form == RegFileForm::Unicode ? utf8FromUtf16le(std::string_view(input).substr(2)) : input;
  std::vector<std::string> lines = split(replaceAll(text, "\r\n", "\n"), "\n");
  int number = 0;
  auto fail = [&](const std::string& why) {
    error = "line " + std::to_string(number) + ": " + why;
    return false;
  };
  if (lines.empty() || trim(lines[0]) != (form == RegFileForm::Unicode ? kUnicodeHeader : kHeader))
    return fail("not a registry export");
  for (size_t i = 1; i < lines.size(); ++i) {
    number = int(i) + 1;
    std::string line = lines[i];
    // A long hex value goes on over several lines, each but the last ending in "\".
    while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos && i + 1 < lines.size()) {
      line.pop_back();
      line += trim(lines[++i]);
    }
    if (trim(line).empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return fail("a key header without its closing bracket");
      std::string full = line.substr(1, line.size() - 2);
      size_t slash = full.find('\\');
      RegFileKey k;
      if (slash == std::string::npos || !registryRootFromName(full.substr(0, slash), k.root) ||
          trim(full.substr(slash + 1)).empty())
        return fail("not a key below a registry root");
      k.path = full.substr(slash + 1);
      keys.push_back(std::move(k));
      continue;
    }
    if (keys.empty()) return fail("a value before any key");
    std::string name, rest;
    RegValue v;
    if (!parseName(line, name, rest) || !parseValue(rest, form, v)) return fail("not a value");
    keys.back().values.emplace_back(name, v);
  }
  return true;
}

}  // namespace quillon
